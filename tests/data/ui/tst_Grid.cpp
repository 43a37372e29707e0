#include "data/GridLayout.h"
#include "data/ui/TDBBGrid.h"
#include "data/ui/TDBGridDesigner.h"
#include "data/ui/TFM_TabellenDesigner.h"
#include "data/ui/WinColors.h"
#include "data/MemTable.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace mv;
using mv::test::TestEnv;

namespace {
QByteArray pngOf(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

struct Fixture {
    MemTable table;
    TDBBGrid grid;
    Fixture()
    {
        table.CreateDataSet({{"Nummer", FieldType::Integer, 0}, {"Name", FieldType::String, 40},
                             {"Text", FieldType::Memo, 0}, {"Bild", FieldType::Graphic, 0}});
        table.AppendRawRow({1, QStringLiteral("Gartenstuhl"),
                            QStringLiteral("{\\rtf1\\ansi\\ansicpg1252 Erste Zeile mit \\'e4\\par zweite Zeile}"),
                            pngOf(40, 20)});
        table.AppendRawRow({2, QStringLiteral("Tisch"), QStringLiteral("nur eine Zeile"), QVariant()});
        table.AppendRawRow({3, QStringLiteral("Bank"), QString(), QVariant()});
        table.RawRowsDone();
        table.First();
        grid.SetDataSet(&table);
        grid.resize(600, 200);
    }
    QColor pixel(int row, int column)
    {
        const QImage img = grid.viewport()->grab().toImage();
        const QRect r = grid.visualRect(grid.model()->index(row, column));
        return img.pixelColor(r.right() - 2, r.bottom() - 2);
    }
};
}

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void twoColourRowsByRecordNumber()
    {
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());   // customised columns
        f.grid.SetColorL(WinColor::FromRgb(255, 255, 255));
        f.grid.SetColorH(WinColor::FromRgb(200, 220, 255));
        f.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
        QCOMPARE(f.pixel(0, 1), QColor(255, 255, 255));
        QCOMPARE(f.pixel(1, 1), QColor(200, 220, 255));
        QCOMPARE(f.pixel(2, 1), QColor(255, 255, 255));
        f.grid.SetTwoColor(false);
        QCOMPARE(f.pixel(1, 1), ToQColor(f.grid.Color()));
        // A selected row is highlighted.
        f.grid.SetTwoColor(true);
        f.grid.selectRow(1);
        f.grid.setCurrentIndex(f.grid.model()->index(1, 0));
        QCOMPARE(f.pixel(1, 2), ToQColor(WinColor::clHighlight));
    }

    void gridAndCursorFollowEachOther()
    {
        Fixture f;
        f.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
        f.grid.setCurrentIndex(f.grid.model()->index(1, 1));
        QCOMPARE(f.table.RecNo(), 2);
        QCOMPARE(f.table.FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("Tisch"));
        f.table.Last();
        QCOMPARE(f.grid.currentIndex().row(), 2);
        QCOMPARE(f.grid.currentIndex().column(), 1);
    }

    void cancelWithoutABackupFileRestoresFromMemory()
    {
        TestEnv env;
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());
        const QVector<GridColumnLayout> before = f.grid.Columns();
        // The backup cannot be written (a folder holds its name): the
        // cancel button must still bring the columns back.
        const QString backup = TFM_TabellenDesigner::BackupPath();
        QFile::remove(backup);
        QVERIFY(QDir().mkpath(backup));
        TFM_TabellenDesigner dlg(&f.grid, QString(), false, nullptr);
        dlg.show();
        dlg.Action1->trigger();
        QCOMPARE(f.grid.Columns().size(), 0);
        dlg.BitBtn2->click();
        QDir(backup).removeRecursively();
        QCOMPARE(f.grid.Columns(), before);
    }

    void designerToolTipsShowNoShortcutMarks()
    {
        Fixture f;
        TFM_TabellenDesigner dlg(&f.grid, QString(), false, nullptr);
        QCOMPARE(dlg.Act_Schriftart->toolTip(), QStringLiteral("Schriftart wählen"));
        QCOMPARE(dlg.Act_Schriftart->text(), QStringLiteral("&Schriftart wählen"));
        // What the user sees when hovering any button of the designer.
        for (QToolButton *b : dlg.findChildren<QToolButton *>()) {
            const QString tip = b->toolTip();
            QVERIFY2(!tip.contains(QLatin1Char('&')), qPrintable(tip));
        }
    }

    void defaultColumnsHaveNoStripes()
    {
        Fixture f;
        QVERIFY(!f.grid.Customised());
        QCOMPARE(f.grid.Columns().size(), 4);
        QCOMPARE(f.grid.RowBackground(1), ToQColor(WinColor::clWindow));
    }

    void windowHookRunsBeforeTheBackgroundRule()
    {
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());
        int calls = 0;
        f.grid.OnDrawColumnCell = [&calls](QStyleOptionViewItem &opt, int row, int) {
            ++calls;
            if (row == 0)
                opt.palette.setColor(QPalette::Text, Qt::red);
        };
        f.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
        const QImage img = f.grid.viewport()->grab().toImage();
        QVERIFY(calls > 0);
        const QRect r = f.grid.visualRect(f.grid.model()->index(0, 1));
        bool red = false;
        for (int x = r.left(); x < r.right() && !red; ++x)
            for (int y = r.top(); y < r.bottom() && !red; ++y)
                red = img.pixelColor(x, y) == QColor(Qt::red);
        QVERIFY(red);
    }

    void memoShowsItsFirstLine()
    {
        Fixture f;
        const QFontMetrics fm(f.grid.font());
        const QModelIndex rtf = f.grid.model()->index(0, 2);
        QCOMPARE(f.grid.CellText(rtf, 1000, fm), QStringLiteral("Erste Zeile mit ä..."));
        QCOMPARE(f.grid.CellText(f.grid.model()->index(1, 2), 1000, fm), QStringLiteral("nur eine Zeile"));
        const QString narrow = f.grid.CellText(rtf, fm.horizontalAdvance(QStringLiteral("Erste...")) + 1, fm);
        QCOMPARE(narrow, QStringLiteral("Erste..."));
        f.grid.AutoDisp_Memo = false;
        QVERIFY(f.grid.CellText(rtf, 1000, fm).startsWith(QStringLiteral("{\\rtf1")));
    }

    void pictureIsScaledToTheRowHeight()
    {
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());
        f.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
        const QImage img = f.grid.viewport()->grab().toImage();
        const QRect r = f.grid.visualRect(f.grid.model()->index(0, 3));
        const int expectedWidth = qRound(40 / 20.001 * r.height());
        QCOMPARE(img.pixelColor(r.left() + expectedWidth - 2, r.center().y()), QColor(Qt::red));
        QVERIFY(img.pixelColor(r.left() + expectedWidth + 2, r.center().y()) != QColor(Qt::red));
    }

    void loadAppliesTheColourFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("twoColor");
        QTest::addColumn<int>("colorH");
        QTest::newRow("ColorON=0") << QByteArray("ColorON=0\r\nColor1=1\r\nColor2=2\r\nColor3=3\r\n") << false << 2;
        QTest::newRow("ColorON=no") << QByteArray("ColorON=no\r\nColor2=2\r\n") << true << 2;
        QTest::newRow("no Color2 keeps ColorH") << QByteArray("ColorON=1\r\nColor1=1\r\n") << true << 777;
    }
    void loadAppliesTheColourFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, twoColor);
        QFETCH(int, colorH);
        TestEnv env;
        Fixture f;
        f.grid.SetColorH(777);
        QFile c(env.file(QStringLiteral("Artikel.tef")));
        QVERIFY(c.open(QIODevice::WriteOnly));
        c.write(file);
        c.close();
        TDBGridDesigner d;
        d.SetDBGrid(&f.grid);
        d.Autoload = true;
        d.SetCfg(env.file(QStringLiteral("Artikel.tei")));
        QCOMPARE(f.grid.TwoColor(), twoColor);
        QCOMPARE(f.grid.ColorH(), colorH);
    }

    void withoutAColourFileTheDefaultsReachDiskOnOk()
    {
        TestEnv env;
        Fixture f;
        TDBGridDesigner d;
        d.SetDBGrid(&f.grid);
        d.Autoload = true;
        d.Autosave = true;
        const QString cfg = env.file(QStringLiteral("Artikel.tei"));
        d.SetCfg(cfg);
        QCOMPARE(d.ColorList, (QStringList{"ColorON=1", "Color1=-16777211", "Color2=-16777192", "Color3=-16777208"}));
        QVERIFY(!QFile::exists(env.file(QStringLiteral("Artikel.tef"))));
        QTimer::singleShot(0, [] {
            auto *dlg = qobject_cast<TFM_TabellenDesigner *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            dlg->CheckBox1->setChecked(false);
            dlg->BitBtn1->click();
        });
        QVERIFY(d.TabellenEditor());
        QVERIFY(QFile::exists(cfg));
        QStringList written;
        QVERIFY(ReadColorFile(env.file(QStringLiteral("Artikel.tef")), written));
        QCOMPARE(written.first(), QStringLiteral("ColorON=0"));
        QCOMPARE(written.size(), 4);
        QVERIFY(!f.grid.TwoColor());
        // The next window reads the layout back.
        Fixture g;
        TDBGridDesigner d2;
        d2.SetDBGrid(&g.grid);
        d2.Autoload = true;
        d2.SetCfg(cfg);
        QVERIFY(!g.grid.TwoColor());
        QCOMPARE(g.grid.Columns(), f.grid.Columns());
    }

    void cancelRestoresRemovedColumns()
    {
        TestEnv env;
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());
        f.grid.Column(1).width = 150;
        const QVector<GridColumnLayout> before = f.grid.Columns();
        QStringList colors = DefaultColorList(true, f.grid.Color(), f.grid.FontColor());
        TFM_TabellenDesigner dlg(&f.grid, env.file(QStringLiteral("Artikel.tei")), true, &colors);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.LB_DataSet->count(), 4);
        QCOMPARE(dlg.LB_Colum->count(), 4);
        dlg.findChild<QAction *>(QStringLiteral("Action1"))->trigger();
        QCOMPARE(f.grid.Columns().size(), 0);      // the grid changes at once
        QCOMPARE(dlg.LB_Colum->count(), 0);
        dlg.BitBtn2->click();
        QCOMPARE(f.grid.Columns(), before);
        QVERIFY(!QFile::exists(env.file(QStringLiteral("Artikel.tei"))));
    }

    void columnEditing()
    {
        TestEnv env;
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());
        TFM_TabellenDesigner dlg(&f.grid, QString(), false, nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto names = [&f] {
            QStringList n;
            for (const GridColumnLayout &c : f.grid.Columns())
                n << c.fieldName;
            return n;
        };
        const QStringList start = names();
        // First up and last down change nothing.
        dlg.SelectColumn(0);
        dlg.Action5->trigger();
        dlg.SelectColumn(3);
        dlg.Action6->trigger();
        QCOMPARE(names(), start);
        dlg.SelectColumn(0);
        dlg.Action6->trigger();
        QCOMPARE(names(), (QStringList{"Name", "Nummer", "Text", "Bild"}));
        QCOMPARE(dlg.SelectedColumn(), 1);
        QCOMPARE(dlg.LB_Colum->item(0)->text(), QStringLiteral("Name"));

        // Width: only integers above 0; a blank title keeps the caption.
        dlg.SelectColumn(0);
        dlg.Ed_Breite->setText(QStringLiteral("abc"));
        dlg.Ed_Titel->setText(QString());
        const int w = f.grid.Columns()[0].width;
        dlg.Act_OK->trigger();
        QCOMPARE(f.grid.Columns()[0].width, w);
        dlg.Ed_Breite->setText(QStringLiteral("0"));
        dlg.Act_OK->trigger();
        QCOMPARE(f.grid.Columns()[0].width, w);
        dlg.Ed_Breite->setText(QStringLiteral("222"));
        dlg.Ed_Titel->setText(QStringLiteral("Bezeichnung"));
        dlg.Act_OK->trigger();
        QCOMPARE(f.grid.Columns()[0].width, 222);
        QCOMPARE(f.grid.horizontalHeader()->sectionSize(0), 222);
        QCOMPARE(f.grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Bezeichnung"));

        dlg.Act_Right->trigger();
        QVERIFY(dlg.Sb_Right->isChecked());
        QVERIFY(!dlg.Sb_Left->isChecked());
        QCOMPARE(f.grid.Columns()[0].alignment, ColumnAlign::Right);

        // Adding a field twice is allowed; "all" gives field order.
        dlg.LB_DataSet->setCurrentRow(1);
        dlg.Action3->trigger();
        QCOMPARE(names().last(), QStringLiteral("Name"));
        QCOMPARE(names().count(QStringLiteral("Name")), 2);
        dlg.Action4->trigger();
        QCOMPARE(names(), (QStringList{"Nummer", "Name", "Text", "Bild"}));
        dlg.SelectColumn(2);
        dlg.Action2->trigger();
        QCOMPARE(names(), (QStringList{"Nummer", "Name", "Bild"}));
        QVERIFY(dlg.Panel6->isHidden());   // no colour list handed over
    }

    // A boolean column reads "Ja"/"Nein" with a check box and is toggled by
    // a click on the box or the space bar, never by typing "true".
    void booleanColumnsAreCheckBoxes()
    {
        MemTable t;
        t.CreateDataSet({{"Art", FieldType::String, 20}, {"Online", FieldType::Boolean, 0},
                         {"Fest", FieldType::Boolean, 0}});
        t.AppendRawRow({QStringLiteral("Vorkasse"), true, true});
        t.AppendRawRow({QStringLiteral("Rechnung"), false, false});
        t.AppendRawRow({QStringLiteral("Nachnahme"), QVariant(), QVariant()});
        t.RawRowsDone();
        t.First();
        TDBBGrid grid;
        grid.SetDataSet(&t);
        QVector<GridColumnLayout> cols = grid.Columns();
        cols[2].readOnly = true;
        grid.SetColumns(cols);
        grid.resize(500, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QAbstractItemModel *m = grid.model();
        const QModelIndex online0 = m->index(0, 1), online1 = m->index(1, 1), online2 = m->index(2, 1);
        QCOMPARE(m->data(online0).toString(), QStringLiteral("Ja"));
        QCOMPARE(m->data(online1).toString(), QStringLiteral("Nein"));
        QCOMPARE(m->data(online2).toString(), QString());
        QCOMPARE(m->data(online2, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
        QCOMPARE(m->data(online0, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QVERIFY(m->flags(online0) & Qt::ItemIsUserCheckable);
        QVERIFY(!(m->flags(online0) & Qt::ItemIsEditable));   // no "false/true" editor
        QVERIFY(m->flags(m->index(0, 0)) & Qt::ItemIsEditable);
        QVERIFY(!(m->flags(m->index(0, 2)) & Qt::ItemIsUserCheckable));

        Field *online = t.FieldByName(QStringLiteral("Online"));
        auto clickAt = [&grid](const QModelIndex &i, QPoint offset) {
            QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(i).center() + offset);
        };
        // A click beside the box selects the row and changes nothing.
        clickAt(online1, QPoint(-grid.visualRect(online1).width() / 2 + 3, 0));
        QCOMPARE(t.RecNo(), 2);
        QCOMPARE(online->AsBoolean(), false);
        // On the box: checked and posted.
        clickAt(online1, QPoint());
        QCOMPARE(t.GetState(), Dataset::State::Browse);
        QCOMPARE(online->AsBoolean(), true);
        QCOMPARE(m->data(online1).toString(), QStringLiteral("Ja"));
        // An empty value becomes a real one.
        clickAt(online2, QPoint());
        QCOMPARE(t.RecNo(), 3);
        QCOMPARE(online->AsBoolean(), true);
        // The space bar toggles the current cell back.
        grid.setCurrentIndex(online2);
        QTest::keyClick(grid.viewport(), Qt::Key_Space);
        QCOMPARE(online->AsBoolean(), false);
        // A double click does not open an editor.
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(online0).center());
        QVERIFY(!grid.findChild<QComboBox *>());
        // The read-only column keeps its value.
        Field *fest = t.FieldByName(QStringLiteral("Fest"));
        t.First();
        clickAt(m->index(0, 2), QPoint());
        QCOMPARE(fest->AsBoolean(), true);
    }

    void columnsFitTheirTitles()
    {
        Fixture f;
        QVector<GridColumnLayout> cols = f.grid.Columns();
        cols[0].titleCaption = QStringLiteral("Artikelnummer");
        cols[0].width = 20;
        cols[1].width = 400;
        f.grid.SetColumns(cols);
        f.grid.FitColumnsToTitles();
        const QFontMetrics fm(f.grid.horizontalHeader()->font());
        QVERIFY(f.grid.Columns()[0].width > fm.horizontalAdvance(QStringLiteral("Artikelnummer")));
        QCOMPARE(f.grid.horizontalHeader()->sectionSize(0), f.grid.Columns()[0].width);
        QCOMPARE(f.grid.Columns()[1].width, 400);   // wide enough already: kept
        // At its full width every column is on screen.
        f.grid.resize(f.grid.FullWidth(), 200);
        f.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
        QVERIFY2(f.grid.horizontalHeader()->length() <= f.grid.viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(f.grid.horizontalHeader()->length()).arg(f.grid.viewport()->width())));
    }

    // The colour previews show what the grid paints, also when the colour
    // list has no second colour (a white grid).
    void colourPreviewsShowTheGridsColours_data()
    {
        QTest::addColumn<qint32>("gridColour");
        QTest::newRow("clWindow") << qint32(WinColor::clWindow);
        QTest::newRow("white, no Color2 line") << qint32(WinColor::clWhite);
    }
    void colourPreviewsShowTheGridsColours()
    {
        QFETCH(qint32, gridColour);
        Fixture f;
        f.grid.SetColumns(f.grid.Columns());
        f.grid.SetColor(gridColour);
        f.grid.SetColorH(WinColor::clInfoBk);
        QStringList colors = DefaultColorList(true, f.grid.Color(), f.grid.FontColor());
        TFM_TabellenDesigner dlg(&f.grid, QString(), false, &colors);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QColor second = ToQColor(WinColor::clInfoBk);
        QCOMPARE(dlg.Shape2->Brush(), second);
        QCOMPARE(dlg.Shape4->Brush(), second);
        QCOMPARE(dlg.Shape3->Brush(), dlg.Shape1->Brush());
        // "Test" on the second preview is readable: text and ground differ.
        QVERIFY(dlg.Label9->palette().color(QPalette::WindowText) != dlg.Shape4->Brush());
        const QImage img = dlg.Shape4->grab().toImage();
        QCOMPARE(img.pixelColor(3, 3), second);
    }
};

QTEST_MAIN(GridTest)
#include "tst_Grid.moc"
