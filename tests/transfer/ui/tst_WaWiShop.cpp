// The transfer window driven as a user drives it: its controls, the date
// options and "alle", the grids and the group tree following a run, and a
// real run against a private MariaDB with its report and protocol file.

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "data/ui/TDBBGrid.h"
#include "shopdb/ShopConnection.h"
#include "transfer/TransferProtocol.h"
#include "transfer/TransferRun.h"
#include "transfer/ui/TBusyAnimation.h"
#include "transfer/ui/TFM_WaWiShop.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

using namespace mv;
using namespace mv::test;

namespace {

const QStringList kKindBoxes = {"CB_Kunden", "CB_Lieferanten", "CB_Interessenten", "CB_Warengruppe", "CB_Artikel",
                                "CB_Sonderpreise", "CB_Zahlungsarten", "CB_Versandart", "CB_Land", "CB_News",
                                "CB_FAQ", "CB_Newsletter", "CB_Adressen"};

QCheckBox *cb(QWidget &w, const QString &name)
{
    auto *b = w.findChild<QCheckBox *>(name);
    if (!b)
        qFatal("no check box %s", qPrintable(name));
    return b;
}

// "E" CB_Einschraenkung, "A" CB_alleDaten, "D" CB_abDatum; checked ones in
// that order, "-" for none.
QString dateState(QWidget &w)
{
    QString s;
    if (cb(w, "CB_Einschraenkung")->isChecked())
        s += 'E';
    if (cb(w, "CB_alleDaten")->isChecked())
        s += 'A';
    if (cb(w, "CB_abDatum")->isChecked())
        s += 'D';
    return s.isEmpty() ? QStringLiteral("-") : s;
}

void click(QCheckBox *b)
{
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

} // namespace

class tst_WaWiShop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnv>();
        SetUiHooks(&m_ui);
    }
    void cleanupTestCase()
    {
        SetUiHooks(nullptr);
        m_db.stop();
    }
    void init()
    {
        m_ui = RecordingUiHooks();
        Settings().AbortWait = false;
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("cls");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<int>("checked");   // -1: no check box
        QTest::addColumn<bool>("hidden");
        auto row = [](const char *name, const char *cls, const QString &caption, const QString &hint, int checked = -1,
                      bool hidden = false) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls) << caption << hint << checked << hidden;
        };
        row("Button1", "QPushButton", "Startet Transfer", "Startet Transfer");
        row("CB_Einschraenkung", "QCheckBox", "komplette neue Datenübertragung\n(alle Onlinedaten werden überschrieben)",
            "löscht alle Daten, die z.Z. Online sind und überträgt alle Daten", 0);
        row("CB_alleDaten", "QCheckBox", "alle Daten (ohne Zeitbeschränkung)", "überträgt alle Daten, löscht aber Online keine Daten", 0);
        row("CB_abDatum", "QCheckBox", "nur Änderungen seit dem", "Änderungen seit dem Datum X werden übertragen", 1);
        row("DateTimePicker2", "QDateEdit", QString(), "Datum, ab dem Änderungen übertragen werden");
        row("DTP_Zeit", "QTimeEdit", QString(), "Uhrzeit, bei meheren Änderungen an einem Tag\n\n(wird z.Z. nur für Artikel benutzt)");
        row("Label1", "QLabel", "übertragen", QString());
        row("DateTimePicker1", "QDateEdit", QString(), "Datum der Änderungen", -1, true);
        row("cb_alle", "QCheckBox", "alle", "Ändert alle Optionen", 0);
        row("Panel1", "QFrame", QString(), "Bitte wählen Sie hier die Datenart, die übertragen werden soll");
        row("CB_Kunden", "QCheckBox", "Kunden", QString(), 0);
        row("CB_Lieferanten", "QCheckBox", "Lieferanten", QString(), 0);
        row("CB_Interessenten", "QCheckBox", "Interessenten", QString(), 0);
        row("CB_Warengruppe", "QCheckBox", "Warengruppen", QString(), 0);
        row("CB_Artikel", "QCheckBox", "Artikel", QString(), 0);
        row("CB_Sonderpreise", "QCheckBox", "Sonderpreise", QString(), 0);
        row("CB_Zahlungsarten", "QCheckBox", "Zahlungsarten", QString(), 0);
        row("CB_Versandart", "QCheckBox", "Versandarten", QString(), 0);
        row("CB_Land", "QCheckBox", "Länder", QString(), 0);
        row("CB_News", "QCheckBox", "News", QString(), 0);
        row("CB_FAQ", "QCheckBox", "FAQ", "FAQ Übertragen", 0);
        row("CB_Newsletter", "QCheckBox", "Newsletteradressen", "Newsletteradressen", 0);
        row("CB_Adressen", "QCheckBox", "Adressänderungen aus dem Shop holen", "holt neue und geänderte Adressen aus dem Shop", 1);
        row("CB_Bilder", "QCheckBox", "Bilder", "Sammelt die Bilder, damit diese via FTP-Übertragen werden können", 1);
        row("BitBtn2", "QPushButton", "Bilder löschen",
            "löscht alte Bilder, die aus vorigen Datenabgleichen stammen\n\nDamit wird der FTP-Bilupload schneller.\n"
            "Die Bilder werden immer im Verzeichnis abilder des Shops gesammelt");
        row("RTFtoHTML", "QCheckBox", "RTFtoHTML",
            "wandelt das RTF-Textformat in HTML-Format\n\nD.h.: Textformatierungen z.B. aus dem Artikellangtext werden mit übertragen", 0);
        row("LB_Status", "QLabel", "...", QString());
        row("ProgressBar1", "QProgressBar", QString(), QString());
        row("BitBtn1", "QPushButton", "STOP", QString(), -1, true);
        row("Animate1", "mv::TBusyAnimation", QString(), QString(), -1, true);
        row("PageControl1", "QTabWidget", QString(), QString());
        row("DBGrid1", "mv::TDBBGrid", QString(), "Liste, kann mit der rechten Maustaste verändert werden");
        row("TreeView1", "QTreeWidget", QString(), QString());
        row("DBBGrid1", "mv::TDBBGrid", QString(), QString());
        row("ME_Versandarten", "QPlainTextEdit", QString(), QString(), -1, true);
        row("Memo1", "QPlainTextEdit", QString(), QString(), -1, true);
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, cls);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(int, checked);
        QFETCH(bool, hidden);
        TFM_WaWiShop w;
        w.show();
        auto *c = w.findChild<QWidget *>(name);
        QVERIFY2(c, qPrintable(name));
        QVERIFY2(c->inherits(qPrintable(cls)), c->metaObject()->className());
        QCOMPARE(c->toolTip(), hint);
        if (auto *b = qobject_cast<QAbstractButton *>(c))
            QCOMPARE(b->text(), caption);
        else if (auto *l = qobject_cast<QLabel *>(c))
            QCOMPARE(l->text(), caption);
        if (checked >= 0)
            QCOMPARE(qobject_cast<QCheckBox *>(c)->isChecked(), checked == 1);
        QCOMPARE(c->isHidden(), hidden);
    }

    void startState()
    {
        TFM_WaWiShop w;
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Warenwirtschaft in den Shop"));
        QCOMPARE(w.DateTimePicker2->date(), QDate::currentDate());
        QCOMPARE(w.DTP_Zeit->time(), QTime(0, 0));
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), 100);
        QVERIFY(w.CB_Adressen->font().bold() && w.CB_Bilder->font().bold() && !w.CB_Kunden->font().bold());
        QCOMPARE(w.CB_Bilder->palette().color(QPalette::WindowText), QColor(Qt::red));
        // Pages in their order, grids with their columns.
        QCOMPARE(w.PageControl1->count(), 3);
        const QStringList pages = {"Adressen", "Warengruppen", "Artikel"};
        const QStringList sheets = {"TabSheet1", "TabSheet3", "TabSheet2"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(w.PageControl1->tabText(i), pages.at(i));
            QCOMPARE(w.PageControl1->widget(i)->objectName(), sheets.at(i));
        }
        auto cols = [](const TDBBGrid *g) {
            QStringList out;
            for (const auto &c : g->Columns())
                out << QStringLiteral("%1 %2%3").arg(c.fieldName).arg(c.width).arg(c.alignment == ColumnAlign::Right ? " rechts" : "");
            return out.join(", ");
        };
        QCOMPARE(cols(w.DBGrid1), QStringLiteral("Nummer 68, Anrede 57, Suchbegriff 140, Strasse 106, Plz 55, Ort 111, Telefon 88, Telefax 85"));
        QCOMPARE(cols(w.DBBGrid1), QStringLiteral("Artikelnummer 82, Bezeichnung 227, Einheit 68, VK1 68 rechts"));
        QCOMPARE(w.DBGrid1->parentWidget(), w.TabSheet1);
        QCOMPARE(w.TreeView1->parentWidget(), w.TabSheet3);
        QCOMPARE(w.DBBGrid1->parentWidget(), w.TabSheet2);
        // Both buttons run their actions; the actions carry caption and hint.
        auto *start = w.findChild<QAction *>("Action_Start");
        auto *pic = w.findChild<QAction *>("Action_PicDelete");
        QVERIFY(start && pic);
        QCOMPARE(pic->text(), QStringLiteral("Bilder löschen"));
        QCOMPARE(pic->toolTip(), QStringLiteral("löscht alte Bilder, die aus vorigen Datenabgleichen stammen"));
        QVERIFY(!w.GB_Protokoll->isVisibleTo(&w));
    }

    // The window opens with the date fixed when the first window was made.
    void openingDate()
    {
        const QString saved = TransferDateText();
        TransferDateText() = QStringLiteral("03.02.2025");
        {
            TFM_WaWiShop w;
            w.show();
            QCOMPARE(w.DateTimePicker2->date(), QDate(2025, 2, 3));
        }
        TransferDateText() = QStringLiteral("kein Datum");
        {
            TFM_WaWiShop w;
            w.show();
            QCOMPARE(w.DateTimePicker2->date(), QDate::currentDate());
            QCOMPARE(TransferDateText(), QStringLiteral("kein Datum"));   // never changed by the window
        }
        TransferDateText() = saved;
    }

    void dateOptions_data()
    {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("expected");
        QTest::newRow("komplett") << "E" << "E";
        QTest::newRow("alle Daten") << "A" << "A";
        QTest::newRow("ab Datum, schon an: alle drei aus") << "D" << "-";
        QTest::newRow("komplett, dann alle Daten") << "EA" << "A";
        QTest::newRow("alle Daten zweimal") << "AA" << "-";
        QTest::newRow("komplett, dann ab Datum") << "ED" << "D";
        QTest::newRow("aus, dann wieder ab Datum") << "DD" << "D";
        QTest::newRow("alle drei nacheinander") << "EAD" << "D";
    }
    void dateOptions()
    {
        QFETCH(QString, clicks);
        QFETCH(QString, expected);
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (QChar c : clicks)
            click(cb(w, c == 'E' ? "CB_Einschraenkung" : c == 'A' ? "CB_alleDaten" : "CB_abDatum"));
        QCOMPARE(dateState(w), expected);
        const TransferOptions o = w.Options();
        QCOMPARE(o.complete, expected.contains('E'));
        QCOMPARE(o.allData, expected.contains('A'));
        QCOMPARE(o.sinceDate, expected.contains('D'));
    }

    // While a stop is pending the boxes do not switch each other.
    void dateOptionsDuringStop()
    {
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Settings().AbortWait = true;
        click(w.CB_alleDaten);
        Settings().AbortWait = false;
        QCOMPARE(dateState(w), QStringLiteral("AD"));
    }

    void alle()
    {
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.RTFtoHTML->setChecked(true);
        click(w.cb_alle);
        for (const QString &n : kKindBoxes)
            QVERIFY2(cb(w, n)->isChecked(), qPrintable(n));
        QVERIFY(w.CB_Bilder->isChecked() && w.RTFtoHTML->isChecked());
        QCOMPARE(w.Options().kinds.size(), kKindBoxes.size());
        QVERIFY(w.Options().Has("adressen-holen") && w.Options().Has("newsletter"));

        w.CB_Bilder->setChecked(false);
        click(w.cb_alle);
        for (const QString &n : kKindBoxes)
            QVERIFY2(!cb(w, n)->isChecked(), qPrintable(n));
        QVERIFY(!w.CB_Bilder->isChecked() && w.RTFtoHTML->isChecked());
        QVERIFY(w.Options().kinds.isEmpty());
        QVERIFY(!w.Options().pictures && w.Options().rtfHtml);
    }

    // Each box names its kind; date, time and the two flags reach the run.
    void optionsOfTheBoxes()
    {
        TFM_WaWiShop w;
        for (const TransferKind &k : TransferKinds()) {
            for (const QString &n : kKindBoxes)
                cb(w, n)->setChecked(n == k.box);
            QCOMPARE(w.Options().kinds, QSet<QString>{k.name});
            QCOMPARE(cb(w, k.box)->text(), k.caption);
        }
        w.DateTimePicker2->setDate(QDate(2024, 5, 6));
        w.DTP_Zeit->setTime(QTime(13, 45));
        const TransferOptions o = w.Options();
        QCOMPARE(o.date, QDate(2024, 5, 6));
        QCOMPARE(o.time, QTime(13, 45));
        QCOMPARE(TransferRun::ReferenceMoment(o), QDateTime(QDate(2024, 5, 6), QTime(13, 45)));
        w.CB_alleDaten->setChecked(true);
        QCOMPARE(TransferRun::ReferenceDate(w.Options()), QDate(1990, 1, 1));
    }

    // A step's table shown in its grid follows the step's cursor; the page
    // switches to it; closing the table empties the grid.
    void gridsFollowTheRun_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("Adressen") << "Adressen";
        QTest::newRow("Artikel") << "Artikel";
    }
    void gridsFollowTheRun()
    {
        QFETCH(QString, page);
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MemTable t;
        t.CreateDataSet({{"Nummer", FieldType::String, 20}, {"Artikelnummer", FieldType::String, 20},
                         {"Bezeichnung", FieldType::String, 40}, {"VK1", FieldType::Float}});
        for (int i = 1; i <= 40; ++i)
            t.AppendRawRow({QStringLiteral("K%1").arg(i), QStringLiteral("A-%1").arg(i), QStringLiteral("Öl & Co. %1").arg(i), i * 1.5});
        t.RawRowsDone();
        t.First();
        TDBBGrid *grid = page == "Adressen" ? w.DBGrid1 : w.DBBGrid1;
        emit w.Run().datasetOpened(page, &t);
        QCOMPARE(grid->DataSet(), &t);
        QCOMPARE(w.PageControl1->currentWidget(), page == "Adressen" ? w.TabSheet1 : w.TabSheet2);
        for (int i = 0; i < 25; ++i)
            t.Next();
        QCoreApplication::processEvents();
        QCOMPARE(grid->currentIndex().row(), 25);
        t.MoveBy(-10);
        QCoreApplication::processEvents();
        QCOMPARE(grid->currentIndex().row(), 15);
        emit w.Run().datasetClosed(page);
        QCOMPARE(grid->DataSet(), nullptr);
    }

    // Orphans at the top, children under their parent, cycles end; the
    // tree follows the group table's cursor.
    void groupTree()
    {
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MemTable g;
        g.CreateDataSet({{"Warengruppe", FieldType::Integer}, {"Anhang", FieldType::Integer}, {"Bezeichnung", FieldType::String, 40}});
        g.AppendRawRow({1, 0, "Garten"});
        g.AppendRawRow({2, 1, "Gießkannen"});
        g.AppendRawRow({3, 2, "Zubehör"});
        g.AppendRawRow({4, 0, "Küche"});
        g.AppendRawRow({5, 999, "Verwaist"});
        g.AppendRawRow({6, 5, "Kind der Verwaisten"});
        g.AppendRawRow({7, 8, "Kreis A"});
        g.AppendRawRow({8, 7, "Kreis B"});
        g.RawRowsDone();
        g.First();
        emit w.Run().datasetOpened("Warengruppen", &g);
        QCOMPARE(w.PageControl1->currentWidget(), w.TabSheet3);
        int nodes = 0;
        for (QTreeWidgetItemIterator it(w.TreeView1); *it; ++it)
            ++nodes;
        QCOMPARE(nodes, 8);
        int nr = -1, ident = -1;
        QVERIFY(w.FindGroupNode(1, &nr, &ident));
        QCOMPARE(nr, 0);
        QCOMPARE(ident, 0);
        QVERIFY(w.FindGroupNode(2, &nr, &ident));
        QCOMPARE(nr, 1);
        QCOMPARE(ident, 1);
        QVERIFY(w.FindGroupNode(3, &nr, &ident));
        QCOMPARE(ident, 2);
        QVERIFY(w.FindGroupNode(5, &nr, &ident));
        QCOMPARE(ident, 0);
        QVERIFY(w.FindGroupNode(6, &nr, &ident));
        QCOMPARE(ident, 1);
        QVERIFY(w.FindGroupNode(7, &nr, &ident) && w.FindGroupNode(8, &nr, &ident));
        QVERIFY(!w.FindGroupNode(999));
        // Following the cursor selects the group being sent.
        g.SetRecNo(4);
        QCoreApplication::processEvents();
        QVERIFY(w.TreeView1->currentItem());
        QCOMPARE(w.TreeView1->currentItem()->text(0), QStringLiteral("Küche"));
        emit w.Run().datasetClosed("Warengruppen");
        g.SetRecNo(1);
        QCOMPARE(w.TreeView1->currentItem()->text(0), QStringLiteral("Küche"));
    }

    // "Bilder löschen" empties the collected pictures (not index.html) and
    // the list of a stopped run.
    void pictureDelete()
    {
        const QString dir = m_env->file(QStringLiteral("shop/abilder/"));
        QDir().mkpath(dir);
        for (const char *name : {"a_b.jpg", "INDEX.HTML", "öl_1.jpg"}) {
            QFile f(dir + QString::fromUtf8(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Settings().PictureDir = dir;
        PictureList() = QStringList{QStringLiteral("/irgendwo/a b.jpg")};
        TFM_WaWiShop w;
        w.show();
        QTest::mouseClick(w.BitBtn2, Qt::LeftButton);
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{QStringLiteral("INDEX.HTML")});
        QVERIFY(PictureList().isEmpty());
        QVERIFY(m_ui.messages.isEmpty() && w.Memo1->toPlainText().isEmpty());
    }

    // Last 50 protocols kept, runs in the same second get their own file,
    // other files stay.
    void protocolFiles()
    {
        const QString dir = TransferProtocolDir();
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        QFile other(QDir(dir).filePath("notiz.txt"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        const QDateTime t0(QDate(2026, 3, 1), QTime(9, 0));
        QStringList written;
        for (int i = 0; i < 53; ++i) {
            QString err;
            const QString p = SaveTransferProtocol(QJsonObject{{"lauf", i}}, t0.addSecs(i * 61), &err);
            QVERIFY2(!p.isEmpty(), qPrintable(err));
            written << p;
        }
        QString err;
        const QString same = SaveTransferProtocol(QJsonObject{{"lauf", 99}}, t0.addSecs(52 * 61), &err);
        QCOMPARE(QFileInfo(same).fileName(), QFileInfo(written.last()).completeBaseName() + "-2.json");
        const QStringList left = QDir(dir).entryList({"transfer-*.json"}, QDir::Files, QDir::Name);
        QCOMPARE(left.size(), 50);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(!QFile::exists(written.at(i)), qPrintable(written.at(i)));
        QVERIFY(QFile::exists(written.last()) && QFile::exists(same));
        QVERIFY(other.exists());
        QFile f(same);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).object().value("lauf").toInt(), 99);
        QCOMPARE(QFileInfo(written.last()).fileName(), QStringLiteral("transfer-2026-03-01-095252.json"));
    }

    // A real run with no data kind: only the schema check, "fertig", the
    // report in the panel and in protokolle/; STOP and the animation only
    // during the run.
    void runWithoutKinds()
    {
        startDatabase();
        QDir(TransferProtocolDir()).removeRecursively();
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w.CB_Adressen);   // checked at start
        QVERIFY(w.Options().kinds.isEmpty());
        bool stopShown = false, animating = false;
        connect(&w.Run(), &TransferRun::started, &w, [&] {
            stopShown = w.BitBtn1->isVisible();
            animating = w.Animate1->isVisible() && w.Animate1->Active();
        });
        QTest::mouseClick(w.Button1, Qt::LeftButton);
        QVERIFY(stopShown && animating);
        QVERIFY(!w.BitBtn1->isVisible() && !w.Animate1->isVisible() && !w.Animate1->Active());
        QVERIFY2(m_ui.messages.contains("fertig"), qPrintable(m_ui.messages.join(" | ")));
        const TransferReport &r = w.Run().LastReport();
        QVERIFY(r.reachable);
        QCOMPARE(r.steps.size(), 1);   // the schema check only
        QCOMPARE(w.DateTimePicker1->date(), w.DateTimePicker2->date());
        QVERIFY(w.GB_Protokoll->isVisible());
        QVERIFY(w.ME_Protokoll->isReadOnly());
        QVERIFY(w.ME_Protokoll->toPlainText().contains(r.toText().trimmed()));
        QVERIFY(!w.LastProtocolFile().isEmpty());
        QVERIFY(w.ME_Protokoll->toPlainText().contains(QDir::toNativeSeparators(w.LastProtocolFile())));
        QCOMPARE(QFileInfo(w.LastProtocolFile()).absolutePath(), QFileInfo(TransferProtocolDir()).absoluteFilePath());
        QVERIFY(QFileInfo(w.LastProtocolFile()).fileName().startsWith("transfer-"));
        QFile f(w.LastProtocolFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).object(), r.toJson());

        // "alle Daten": the hidden date becomes 1990-01-01 whatever is shown.
        click(w.CB_alleDaten);
        w.DateTimePicker2->setDate(QDate(2026, 7, 1));
        QTest::mouseClick(w.Button1, Qt::LeftButton);
        QCOMPARE(w.DateTimePicker1->date(), QDate(1990, 1, 1));
        QCOMPARE(w.Run().LastReport().referenceMoment.date(), QDate(1990, 1, 1));
    }

    // A real run of every kind over a demo WaWi. While a step works, its
    // page is shown, its grid holds the rows of the step's table and stands
    // on the record being sent; only STOP can be pressed. Afterwards the
    // tree is the one whose places the shop got, status line and progress
    // are back, and the report can be read without scrolling sideways.
    void runShowsItsWork()
    {
        startDatabase();
        const QString wawi = m_env->file(QStringLiteral("lauf-wawi"));
        WaWiDemoOptions demo;
        demo.articles = 60;
        demo.addresses = 40;
        demo.groups = 12;
        demo.registerInRegistry = false;
        WriteWaWiDemo(wawi, demo);
        QString err;
        QVERIFY2(TVLBDatabase::Connect(wawi, &err), qPrintable(err));
        struct Disconnect {
            ~Disconnect() { TVLBDatabase::Disconnect(); }
        } disconnect;
        Settings().Aktiv_Mandant = 1;
        Settings().WaWiDir = wawi + QLatin1Char('/');
        m_ui.status.clear();

        TFM_WaWiShop w;
        w.resize(820, 900);   // its size on a screen of 1000 pixels' height
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.PageControl1->isVisible());
        click(w.cb_alle);
        click(w.CB_Einschraenkung);
        w.BitBtn2->setEnabled(false);   // disabled before the run: stays so after it
        const QList<QWidget *> options = {w.Button1, w.BitBtn2, w.CB_Einschraenkung, w.CB_alleDaten, w.CB_abDatum,
                                          w.DateTimePicker2, w.DTP_Zeit, w.cb_alle, w.CB_Kunden, w.CB_Artikel,
                                          w.CB_Warengruppe, w.CB_Adressen, w.CB_Newsletter, w.CB_Bilder, w.RTFtoHTML};

        QString step;
        QStringList problems;
        QMap<QString, int> checked;   // step -> progress events looked at
        connect(&w.Run(), &TransferRun::stepStarted, &w, [&](const QString &name) { step = name; });
        connect(&w.Run(), &TransferRun::progress, &w, [&](int) {
            ++checked[step];
            if (w.Action_Start->isEnabled() || !w.BitBtn1->isVisible() || !w.BitBtn1->isEnabled())
                problems << step + ": Start frei oder STOP nicht bedienbar";
            for (QWidget *o : options)
                if (o->isEnabled())
                    problems << step + ": " + o->objectName() + " bedienbar";
            QWidget *page = nullptr;
            TDBBGrid *grid = nullptr;
            if (step == "Kunden" || step == "Lieferanten" || step == "Interessenten") {
                page = w.TabSheet1;
                grid = w.DBGrid1;
            } else if (step == "Artikel") {
                page = w.TabSheet2;
                grid = w.DBBGrid1;
            } else if (step == "Warengruppen") {
                page = w.TabSheet3;
            }
            if (page && w.PageControl1->currentWidget() != page)
                problems << step + ": Seite " + w.PageControl1->currentWidget()->objectName();
            // In the step's own loop (not its closing work such as the counting).
            const QString status = w.LB_Status->text();
            if (!grid || !(status == "Artikel" || status.startsWith("Adressen (")))
                return;
            Dataset *ds = grid->DataSet();
            if (!ds) {
                problems << step + ": Liste ohne Tabelle";
                return;
            }
            if (grid->model()->rowCount() != ds->DisplayRowCount() || ds->DisplayRowCount() == 0)
                problems << step + QStringLiteral(": %1 Zeilen, Tabelle %2").arg(grid->model()->rowCount()).arg(ds->DisplayRowCount());
            if (grid->currentIndex().row() != ds->RecNo() - 1)
                problems << step + QStringLiteral(": Zeile %1, Datensatz %2").arg(grid->currentIndex().row()).arg(ds->RecNo());
        });
        QTest::mouseClick(w.Button1, Qt::LeftButton);
        const TransferReport &r = w.Run().LastReport();
        QVERIFY2(r.reachable, qPrintable(r.toText()));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.mid(0, 20).join('\n')));
        for (const char *name : {"Kunden", "Warengruppen", "Artikel"})
            QVERIFY2(checked.value(name) > 0, name);

        // Afterwards: options usable again (not what was off before), status back.
        for (QWidget *o : options)
            QVERIFY2(o->isEnabled() == (o != w.BitBtn2), qPrintable(o->objectName()));
        QVERIFY(w.Action_Start->isEnabled());
        QCOMPARE(w.LB_Status->text(), QStringLiteral("..."));
        QCOMPARE(w.ProgressBar1->value(), 0);
        QVERIFY(!m_ui.status.isEmpty());
        QCOMPARE(m_ui.status.last(), QString());
        QCOMPARE(m_ui.lastMax, 0);   // the main window's bar is hidden

        // The tree is the article step's (the last to build one): every
        // group sent is in it, at the places the articles got in the shop.
        MemTable shop;
        TShopQuery q{nullptr, &shop};
        QCOMPARE(Shop().ShopOpen(QStringLiteral("SELECT zaehler FROM wgruppen"), q), 0);
        QVERIFY(shop.RecordCount() > 0);
        for (shop.First(); !shop.Eof(); shop.Next())
            QVERIFY2(w.FindGroupNode(shop.FieldAt(0)->AsInteger()), qPrintable(shop.FieldAt(0)->AsString()));
        QCOMPARE(Shop().ShopOpen(QStringLiteral("SELECT DISTINCT warengruppe,hiernr,hierident FROM artikel"), q), 0);
        QVERIFY(shop.RecordCount() > 1);
        for (shop.First(); !shop.Eof(); shop.Next()) {
            int nr = 0, ident = 0;
            w.FindGroupNode(shop.FieldAt(0)->AsInteger(), &nr, &ident);
            QCOMPARE(nr, shop.FieldAt(1)->AsInteger());
            QCOMPARE(ident, shop.FieldAt(2)->AsInteger());
        }

        // The report: most of the room, every line of its width visible.
        QVERIFY(w.GB_Protokoll->isVisible());
        QVERIFY(w.ME_Protokoll->height() > w.PageControl1->height());
        const int lineHeight = QFontMetrics(w.ME_Protokoll->font()).lineSpacing();
        const int visibleLines = w.ME_Protokoll->viewport()->height() / lineHeight;
        QVERIFY2(visibleLines >= 22, qPrintable(QString::number(visibleLines)));
        QCOMPARE(w.ME_Protokoll->horizontalScrollBar()->maximum(), 0);
        const QString text = w.ME_Protokoll->toPlainText();
        QVERIFY(text.contains(QStringLiteral("Shop-Datenbank prüfen")));
        QVERIFY(!text.contains(QStringLiteral("Schemaprüfung")));
        QVERIFY(!text.contains(QStringLiteral("Art ->")));
    }

    // Closing during a run neither stops it nor tears the window down under
    // it: the window goes once the run has returned. A second start inside
    // the run starts nothing.
    void closeDuringRun()
    {
        startDatabase();
        TFM_WaWiShop w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.CB_Adressen->setChecked(false);
        int runs = 0;
        connect(&w.Run(), &TransferRun::started, &w, [&] {
            ++runs;
            w.close();
            w.Button1->click();
            QVERIFY(w.isVisible());
        });
        w.Button1->click();
        QCOMPARE(runs, 1);
        QVERIFY(!w.Run().LastReport().stopped);
        QVERIFY(w.Run().LastReport().reachable);
        QTRY_VERIFY(!w.isVisible());
    }

    // Shop not reachable: the message, the SQL settings asked for, "fertig".
    void shopNotReachable()
    {
        ShopSettings &s = Settings();
        s.SQL_Server = QStringLiteral("MySQL");
        s.SQL_Host = QStringLiteral("127.0.0.1:1");
        s.SQL_User = QStringLiteral("niemand");
        s.SQL_Pass = QStringLiteral("x");
        s.SQL_Data = QStringLiteral("shop");
        Shop().Ti_Connect_OffTimer();
        TFM_WaWiShop w;
        w.show();
        QSignalSpy settings(&w, &TFM_WaWiShop::SqlSettingsRequested);
        w.Action_Start->trigger();
        QCOMPARE(settings.count(), 1);
        QVERIFY(std::any_of(m_ui.messages.cbegin(), m_ui.messages.cend(),
                            [](const QString &m) { return m.startsWith("Keine Verbindung zum Shopserver!"); }));
        QCOMPARE(m_ui.messages.last(), QStringLiteral("fertig"));
        QCOMPARE(w.Run().LastReport().ExitCode(), 2);
        QVERIFY(w.ME_Protokoll->toPlainText().contains("Protokoll gespeichert"));
    }

private:
    void startDatabase()
    {
        if (!m_db.isRunning()) {
            QString err;
            MV_REQUIRE_SERVER(m_db.start(&err), err);
            QVERIFY2(m_db.installShopSchema(QStringLiteral("t_window"), &err), qPrintable(err));
            QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), m_env->file(QStringLiteral("db"))));
        }
        ShopSettings &s = Settings();
        s.SQL_Server = QStringLiteral("MySQL");
        s.SQL_Host = m_db.hostPort();
        s.SQL_User = m_db.user();
        s.SQL_Pass = m_db.password();
        s.SQL_Data = QStringLiteral("t_window");
        s.SQL_Global.clear();
        Shop().Ti_Connect_OffTimer();
    }

    std::unique_ptr<TestEnv> m_env;
    RecordingUiHooks m_ui;
    MariaDbServer m_db;
};

QTEST_MAIN(tst_WaWiShop)
#include "tst_WaWiShop.moc"
