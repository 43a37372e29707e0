// The master-data editor windows, driven through their controls by
// component name (offscreen).

#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/MasterLayouts.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TDBNavigator.h"
#include "masterdata/ui/TFM_FAQ.h"
#include "masterdata/ui/TFM_Laender.h"
#include "masterdata/ui/TFM_News.h"
#include "masterdata/ui/TFM_Versandarten.h"
#include "masterdata/ui/TFM_Versandmodul.h"
#include "masterdata/ui/TFM_Zahlart.h"
#include "support/TestEnv.h"
#include "wawi/WaWiDemo.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace mv;
using mv::test::TestEnv;
using Rows = QVector<QVector<QVariant>>;

namespace {
std::unique_ptr<TMasterEditor> make(const QString &kind, const QString &dir, const QString &wawiDir = QString())
{
    if (kind == QLatin1String("Laender")) return std::make_unique<TFM_Laender>(dir);
    if (kind == QLatin1String("News")) return std::make_unique<TFM_News>(dir);
    if (kind == QLatin1String("Versandmodul")) return std::make_unique<TFM_Versandmodul>(dir);
    if (kind == QLatin1String("Zahlart")) return std::make_unique<TFM_Zahlart>(dir, wawiDir);
    if (kind == QLatin1String("Versandarten")) return std::make_unique<TFM_Versandarten>(dir, wawiDir);
    return std::make_unique<TFM_FAQ>(dir);
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

template <class T> T *child(QWidget *w, const QString &name)
{
    T *c = w->findChild<T *>(name);
    if (!c)
        qWarning("no component %s", qPrintable(name));
    return c;
}

void click(QWidget *w, const QString &navigator, TDBNavigator::Button b)
{
    auto *nav = child<TDBNavigator>(w, navigator);
    QVERIFY(nav);
    QToolButton *btn = nav->findChild<QToolButton *>(QString::fromLatin1(TDBNavigator::ButtonName(b)));
    QVERIFY(btn);
    QVERIFY2(btn->isEnabled(), TDBNavigator::ButtonName(b));
    QTest::mouseClick(btn, Qt::LeftButton);
}

void typeInto(QWidget *w, const QString &name, const QString &text)
{
    QWidget *e = child<QWidget>(w, name);
    QVERIFY(e);
    e->setFocus();
    // Key by key, umlauts and accents included.
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, e, Qt::Key_A, QString(ch), Qt::NoModifier);
}

QStringList gridColumn(TDBBGrid *g, int column)
{
    QStringList out;
    for (int r = 0; r < g->model()->rowCount(); ++r)
        out << g->model()->index(r, column).data().toString();
    return out;
}

QStringList columnOf(const TablePacket &p, const QString &field)
{
    int idx = -1;
    for (int i = 0; i < p.fields.size(); ++i)
        if (p.fields[i].name == field)
            idx = i;
    QStringList out;
    for (const auto &r : p.rows)
        out << FieldValueToText(r.value(idx), p.fields.value(idx).type);
    return out;
}

QString demoWaWi(const TestEnv &env)
{
    const QString dir = env.file(QStringLiteral("wawi"));
    WaWiDemoOptions o;
    o.articles = 3;
    o.addresses = 2;
    o.groups = 3;
    o.mandanten = 1;
    o.registerInRegistry = false;
    WriteWaWiDemo(dir, o);
    return dir;
}
}

class TstEditors : public QObject {
    Q_OBJECT
    RecordingUiHooks m_ui;

private slots:
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void windows_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("titles");      // visible columns of DBGrid1
        QTest::addColumn<QStringList>("components");
        QTest::newRow("countries") << "Laender" << "FM_Laender" << QString::fromUtf8("Länder einstellen")
            << QStringList{QString::fromUtf8("Ländername"), "ISO-Land-Code", "Ausland", "EU-Land", "Sprache",
                           QString::fromUtf8("Währungsname"), "Kurs", "Fahne (Bild)"}
            << QStringList{"DBAdvNavigator1", "BitBtn1", "DBCheckBox1", "DBCheckBox2", "PA_Einstellungen"};
        QTest::newRow("news") << "News" << "FM_News" << "News bearbeiten" << QStringList{"Titel", "Text", "Bild"}
            << QStringList{"DBAdvNavigator1", "BitBtn1", "PageControl1", "ED_header", "ED_header5", "ME_inhalt", "ME_inhalt5"};
        QTest::newRow("shipping costs") << "Versandmodul" << "FM_Versandmodul" << "Versandkosten bearbeiten"
            << QStringList{"Versender", "Gewicht", "Preis", "Auslandspreis", QString::fromUtf8("für Land")}
            << QStringList{"DBAdvNavigator1", "BitBtn1", "ED_preis", "ED_preis_ausland", "ED_gewicht", "ED_Land"};
        QTest::newRow("payment methods") << "Zahlart" << "FM_Zahlart" << "Zahlarten bearbeiten"
            << QStringList{"Zahlungsart", "Online", "Neukunden", "Bezeichnung", "Kundenanzeige", "Versandkosten",
                           "Versandkosten Ausland", "Bankdaten", "Kreditkarte", "Skonto"}
            << QStringList{"DBAdvNavigator1", "BitBtn1", "BitBtn2", "CB_Online", "CB_NeuKunde", "CB_OnlineSchrift",
                           "ED_Skonto", "ED_Art5", "ED_Bezeichnung_2_5", "ME_Bemerkung5", "PA_Bemerkung"};
        QTest::newRow("shipping methods") << "Versandarten" << "FM_Versandarten" << "Versandarten bearbeiten"
            << QStringList{"Versandart"}
            << QStringList{"DBAdvNavigator1", "BitBtn1", "BitBtn2", "ME_Versandarten", "ED_versandart5", "ME_beschreibung5"};
        QTest::newRow("faq") << "FAQ" << "FM_FAQ" << "FAQ bearbeiten" << QStringList{"Thema"}
            << QStringList{"DBAdvNavigator1", "DBAdvNavigator2", "BitBtn1", "DBBGrid1", "DBBGrid5", "ED_bezeichnung5",
                           "ME_hilfe5"};
    }
    void windows()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, components);
        TestEnv env;
        auto w = make(kind, env.path());
        QCOMPARE(w->objectName(), name);
        QCOMPARE(w->windowTitle(), caption);
        for (const QString &c : components)
            QVERIFY2(w->findChild<QWidget *>(c), qPrintable(c));
        auto *nav = child<TDBNavigator>(w.get(), "DBAdvNavigator1");
        for (int b = 0; b < TDBNavigator::ButtonCount; ++b)
            QVERIFY(nav->findChild<QToolButton *>(TDBNavigator::ButtonName(TDBNavigator::Button(b))));
        w->show();
        QVERIFY(w->Table()->Active());
        auto *grid = child<TDBBGrid>(w.get(), "DBGrid1");
        QStringList shown;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            if (!grid->isColumnHidden(c))
                shown << grid->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(shown, titles);
        QVERIFY(m_ui.messages.isEmpty());
    }

    // Closing without any change still writes the file(s).
    void closeWithoutChangeWritesFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("countries") << "Laender" << QStringList{"laender4.xml"};
        QTest::newRow("news") << "News" << QStringList{"news6.xml"};
        QTest::newRow("shipping costs") << "Versandmodul" << QStringList{"versandkosten4.xml"};
        QTest::newRow("payment methods") << "Zahlart" << QStringList{"zahlungsart_6.xml"};
        QTest::newRow("shipping methods") << "Versandarten" << QStringList{"versandtart6.xml"};
        QTest::newRow("faq") << "FAQ" << QStringList{"faq_gruppe6.xml", "faq_thema6.xml"};
    }
    void closeWithoutChangeWritesFile()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, files);
        TestEnv env;
        auto w = make(kind, env.path());
        w->show();
        for (const QString &f : files)
            QVERIFY(!QFile::exists(env.file(f)));
        QTest::mouseClick(child<QPushButton>(w.get(), "BitBtn1"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        for (const QString &f : files) {
            QVERIFY2(QFile::exists(env.file(f)), qPrintable(f));
            QVERIFY(TableFile::ReadPacket(env.file(f)).rows.isEmpty());
        }
    }

    void migrationThroughTheWindow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("legacyKept");
        QTest::newRow("countries into an empty table") << "Laender" << 0 << 2 << false;
        QTest::newRow("countries into a table with rows") << "Laender" << 1 << 1 << true;
        QTest::newRow("news into a table with rows") << "News" << 1 << 3 << false;
    }
    void migrationThroughTheWindow()
    {
        QFETCH(QString, kind);
        QFETCH(int, existing);
        QFETCH(int, rows);
        QFETCH(bool, legacyKept);
        TestEnv env;
        const MasterTableDef def = kind == QLatin1String("Laender") ? LaenderTable() : NewsTable();
        const QVector<FieldDef> old = kind == QLatin1String("Laender") ? LegacyLaenderFields() : LegacyNewsFields();
        Rows current;
        for (int i = 0; i < existing; ++i) {
            QVector<QVariant> r(def.fields.size());
            r[0] = QStringLiteral("Schweiz");
            current << r;
        }
        TableFile::WritePacketFile(env.file(def.fileName), def.fields, current);
        QVector<QVariant> a(old.size()), b(old.size());
        a[0] = QString::fromUtf8("Österreich");
        b[0] = QString::fromUtf8("Frankreich");
        TableFile::WritePacketFile(env.file(def.legacy.fileName), old, {a, b});
        auto w = make(kind, env.path());
        w->show();
        auto *grid = child<TDBBGrid>(w.get(), "DBGrid1");
        QCOMPARE(grid->model()->rowCount(), rows);
        QCOMPARE(QFile::exists(env.file(def.legacy.fileName)), legacyKept);
        if (!legacyKept)
            QVERIFY(gridColumn(grid, 0).contains(QString::fromUtf8("Österreich")));
    }

    // A second editor on the same file is not opened: the open one comes to the front.
    void secondEditorBringsTheOpenOneToFront()
    {
        TestEnv env;
        QMdiArea area;
        area.resize(900, 700);
        area.show();
        auto *laender = new TFM_Laender(env.path());
        laender->setAttribute(Qt::WA_DeleteOnClose);
        QMdiSubWindow *sub = area.addSubWindow(laender);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->show();
        auto *news = new TFM_News(env.path());
        news->setAttribute(Qt::WA_DeleteOnClose);
        QMdiSubWindow *sub2 = area.addSubWindow(news);
        sub2->show();
        area.setActiveSubWindow(sub2);
        QCOMPARE(TMasterEditor::OpenEditorFor(env.file("laender4.xml")), laender);
        QCOMPARE(TMasterEditor::OpenEditorFor(env.file("versandkosten4.xml")), nullptr);
        QVERIFY(TMasterEditor::BringToFront(env.file("laender4.xml")));
        QCOMPARE(area.activeSubWindow(), sub);
        QVERIFY(!TMasterEditor::BringToFront(env.file("faq_gruppe6.xml")));
        QPointer<TFM_Laender> gone(laender);
        sub->close();
        QTRY_VERIFY(gone.isNull());
        QCOMPARE(TMasterEditor::OpenEditorFor(env.file("laender4.xml")), nullptr);
    }

    // A failed save on closing names the file and keeps the window open.
    void failedSaveKeepsTheWindowOpen()
    {
        TestEnv env;
        const QString dir = env.file("fehlt");
        TFM_Versandmodul w(dir);
        w.show();
        typeInto(&w, "ED_preis", "4,95");
        click(&w, "DBAdvNavigator1", TDBNavigator::nbPost);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY2(m_ui.messages.first().contains(QDir::toNativeSeparators(dir + "/versandkosten4.xml")),
                 qPrintable(m_ui.messages.first()));
        QVERIFY(w.Table()->Active());
        // Once the folder is there, closing saves what was typed.
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(w.close());
        QCOMPARE(columnOf(TableFile::ReadPacket(dir + "/versandkosten4.xml"), "preis"), QStringList{"4,95"});
    }

    void unreadableFileIsToldOnce()
    {
        TestEnv env;
        writeAll(env.file("laender4.xml"), "<DATAPACKET Version=\"2.0\"><METADATA>");
        TFM_Laender w(env.path());
        w.show();
        w.hide();
        w.show();
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages.first().contains(".defekt-"));
        QVERIFY(w.Table()->Active());
        QVERIFY(w.Table()->IsEmpty());
        const QStringList backups = QDir(env.path()).entryList({"laender4.defekt-*"});
        QCOMPARE(backups.size(), 1);
    }

    // The "…" button of a picture column, also on a row being inserted.
    void ellipsisButton_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("inserting");
        QTest::addColumn<bool>("confirm");
        QTest::newRow("country flag on a new row") << "Laender" << "fahne" << true << true;
        QTest::newRow("country flag on an existing row") << "Laender" << "fahne" << false << true;
        QTest::newRow("news picture on a new row") << "News" << "bild" << true << true;
        QTest::newRow("dialog cancelled") << "News" << "bild" << false << false;
    }
    void ellipsisButton()
    {
        QFETCH(QString, kind);
        QFETCH(QString, field);
        QFETCH(bool, inserting);
        QFETCH(bool, confirm);
        TestEnv env;
        const QString picture = env.file(QString::fromUtf8("Bilder/Flagge Österreich.jpg"));
        QDir().mkpath(env.file("Bilder"));
        writeAll(picture, "jpg");
        auto w = make(kind, env.path());
        QString offered = QStringLiteral("<nicht gefragt>");
        w->ChoosePicture = [&](QWidget *, const QString &current) {
            offered = current;
            return confirm ? picture : QString();
        };
        w->resize(900, 600);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        TableFile *t = w->Table();
        if (!inserting) {
            t->Append();
            t->FieldAt(0)->SetAsString("vorhanden");
            t->FieldByName(field)->SetAsString("C:\\alt\\bild.jpg");
            t->Post();
        }
        auto *grid = child<TDBBGrid>(w.get(), "DBGrid1");
        if (inserting)
            click(w.get(), "DBAdvNavigator1", TDBNavigator::nbInsert);
        int col = -1;
        for (int c = 0; c < grid->Columns().size(); ++c)
            if (grid->Columns()[c].fieldName == field)
                col = c;
        QVERIFY(col >= 0);
        grid->setCurrentIndex(grid->model()->index(0, col));
        QToolButton *button = w->EllipsisButton(grid);
        QVERIFY(button);
        QTRY_VERIFY(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(offered, inserting ? QString() : QStringLiteral("C:\\alt\\bild.jpg"));
        QCOMPARE(t->RecordCount(), 1);
        if (confirm) {
            QCOMPARE(t->GetState(), Dataset::State::Browse);
            QCOMPARE(t->FieldByName(field)->AsString(), QDir::toNativeSeparators(picture));
        } else {
            QCOMPARE(t->FieldByName(field)->AsString(), QStringLiteral("C:\\alt\\bild.jpg"));
        }
        // The button belongs to the picture column only.
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QTRY_VERIFY(!button->isVisible());
    }

    void countryCheckBoxesStoreOneAndZero()
    {
        TestEnv env;
        TFM_Laender w(env.path());
        w.show();
        TableFile *t = w.Table();
        t->Append();
        t->FieldByName("laendername")->SetAsString("Deutschland");
        t->Post();
        auto *eu = child<TDBCheckBox>(&w, "DBCheckBox1");
        auto *eg = child<TDBCheckBox>(&w, "DBCheckBox2");
        QCOMPARE(eu->text(), QString::fromUtf8("Versandkosten für Ausland"));
        QVERIFY(eg->toolTip().contains(QString::fromUtf8("dieses Land zur EU gehört!")));
        eu->click();
        eg->click();
        eg->click();
        click(&w, "DBAdvNavigator1", TDBNavigator::nbPost);
        QCOMPARE(t->FieldByName("eu")->AsString(), QStringLiteral("1"));
        QCOMPARE(t->FieldByName("egident")->AsString(), QStringLiteral("0"));
        QVERIFY(w.close());
        const TablePacket p = TableFile::ReadPacket(env.file("laender4.xml"));
        QCOMPARE(columnOf(p, "eu"), QStringList{"1"});
        QCOMPARE(columnOf(p, "egident"), QStringList{"0"});
    }

    // Numbers typed with a decimal comma; a text that is no number is refused.
    void shippingCostEdits()
    {
        TestEnv env;
        TFM_Versandmodul w(env.path());
        w.show();
        click(&w, "DBAdvNavigator1", TDBNavigator::nbInsert);
        typeInto(&w, "ED_preis", "12,5");
        typeInto(&w, "ED_Land", QString::fromUtf8("Österreich"));
        typeInto(&w, "ED_gewicht", "zwei");
        QTest::mouseClick(child<TDBNavigator>(&w, "DBAdvNavigator1")->ButtonAt(TDBNavigator::nbPost), Qt::LeftButton);
        QVERIFY(!m_ui.messages.isEmpty());
        QCOMPARE(w.Table()->GetState(), Dataset::State::Insert);
        auto *gewicht = child<TDBEdit>(&w, "ED_gewicht");
        gewicht->clear();
        typeInto(&w, "ED_gewicht", "2");
        click(&w, "DBAdvNavigator1", TDBNavigator::nbPost);
        TableFile *t = w.Table();
        QCOMPARE(t->FieldByName("preis")->AsFloat(), 12.5);
        QCOMPARE(t->FieldByName("gewicht")->AsFloat(), 2.0);
        QCOMPARE(t->FieldByName("Land")->AsString(), QString::fromUtf8("Österreich"));
        QCOMPARE(gridColumn(child<TDBBGrid>(&w, "DBGrid1"), 5), QStringList{QString::fromUtf8("Österreich")});
    }

    // A row deleted in the window no longer reaches the file.
    void deletedRowLeavesTheFile()
    {
        TestEnv env;
        const MasterTableDef def = VersandkostenTable();
        Rows rows;
        for (const char *n : {"DHL", "UPS", "GLS"}) {
            QVector<QVariant> r(def.fields.size());
            r[2] = QString::fromLatin1(n);
            rows << r;
        }
        TableFile::WritePacketFile(env.file(def.fileName), def.fields, rows);
        TFM_Versandmodul w(env.path());
        w.show();
        click(&w, "DBAdvNavigator1", TDBNavigator::nbNext);
        m_ui.answers << false << true;
        click(&w, "DBAdvNavigator1", TDBNavigator::nbDelete);   // "no": stays
        QCOMPARE(w.Table()->RecordCount(), 3);
        click(&w, "DBAdvNavigator1", TDBNavigator::nbDelete);
        QCOMPARE(m_ui.questions, QStringList({QString::fromUtf8("Datensatz löschen?"), QString::fromUtf8("Datensatz löschen?")}));
        QVERIFY(w.close());
        QCOMPARE(columnOf(TableFile::ReadPacket(env.file(def.fileName)), "versender"), QStringList({"DHL", "GLS"}));
    }

    void newsLanguagePages()
    {
        TestEnv env;
        TFM_News w(env.path());
        w.show();
        auto *pages = child<QTabWidget>(&w, "PageControl1");
        QStringList tabs;
        for (int i = 0; i < pages->count(); ++i)
            tabs << pages->tabText(i);
        QCOMPARE(tabs, QStringList({"1.Sprache", "2. Sprache", "3. Sprache", "4. Sprache", "5. Sprache"}));
        click(&w, "DBAdvNavigator1", TDBNavigator::nbInsert);
        typeInto(&w, "ED_header", QString::fromUtf8("Neuheiten"));
        pages->setCurrentIndex(2);
        typeInto(&w, "ED_header3", QString::fromUtf8("Nouveautés"));
        typeInto(&w, "ME_inhalt3", QString::fromUtf8("Première ligne"));
        QTest::keyClick(child<QWidget>(&w, "ME_inhalt3"), Qt::Key_Return);
        typeInto(&w, "ME_inhalt3", "zweite");
        click(&w, "DBAdvNavigator1", TDBNavigator::nbPost);
        QVERIFY(w.close());
        const TablePacket p = TableFile::ReadPacket(env.file("news6.xml"));
        QCOMPARE(columnOf(p, "header"), QStringList{"Neuheiten"});
        QCOMPARE(columnOf(p, "header3"), QStringList{QString::fromUtf8("Nouveautés")});
        QCOMPARE(columnOf(p, "inhalt3"), QStringList{QString::fromUtf8("Première ligne\r\nzweite")});
    }

    // The grid's "Kundenanzeige" and the edit of page 1 show the same field.
    void paymentCustomerTextInGridAndEdit()
    {
        TestEnv env;
        TFM_Zahlart w(env.path());
        w.show();
        click(&w, "DBAdvNavigator1", TDBNavigator::nbInsert);
        typeInto(&w, "ED_Art", "Vorkasse");
        typeInto(&w, "ED_Bezeichnung_2", QString::fromUtf8("Überweisung vorab"));
        click(&w, "DBAdvNavigator1", TDBNavigator::nbPost);
        auto *grid = child<TDBBGrid>(&w, "DBGrid1");
        QCOMPARE(gridColumn(grid, 4), QStringList{QString::fromUtf8("Überweisung vorab")});
        QCOMPARE(child<TDBEdit>(&w, "ED_Bezeichnung_2")->text(), QString::fromUtf8("Überweisung vorab"));
        child<TDBCheckBox>(&w, "CB_NeuKunde")->click();
        QCOMPARE(w.Table()->FieldByName("NeuKunde")->AsInteger(), 1);
    }

    void paymentTakeOverButton()
    {
        TestEnv env;
        const QString wawi = demoWaWi(env);
        TFM_Zahlart w(env.path(), wawi);
        w.show();
        QTest::mouseClick(child<QPushButton>(&w, "BitBtn2"), Qt::LeftButton);
        QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join('|')));
        auto *grid = child<TDBBGrid>(&w, "DBGrid1");
        QCOMPARE(gridColumn(grid, 3), QStringList({"Vorkasse", "Rechnung", "Lastschrift", "Nachnahme", "Kreditkarte",
                                                   "Kauf auf Raten (O'Brien Bank)"}));
        QTest::mouseClick(child<QPushButton>(&w, "BitBtn2"), Qt::LeftButton);
        QCOMPARE(grid->model()->rowCount(), 6);
        QCOMPARE(TableFile::ReadPacket(env.file("zahlungsart_6.xml")).rows.size(), 6);
    }

    void paymentTakeOverWithoutWaWiSaysSo()
    {
        TestEnv env;
        TFM_Zahlart w(env.path(), env.file("keine-wawi"));
        w.show();
        QTest::mouseClick(child<QPushButton>(&w, "BitBtn2"), Qt::LeftButton);
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages.first().startsWith("Die Zahlarten konnten nicht"));
    }

    void shippingTakeOverButton()
    {
        TestEnv env;
        const QString wawi = demoWaWi(env);
        TFM_Versandarten w(env.path(), wawi);
        w.show();
        QTest::mouseClick(child<QPushButton>(&w, "BitBtn2"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(&w, "BitBtn2"), Qt::LeftButton);
        const QStringList expected{"DHL Paket", QString::fromUtf8("Hermes Päckchen"), "Selbstabholung",
                                   QString::fromUtf8("Spedition O´Brien"), "Post & Brief"};
        QCOMPARE(gridColumn(child<TDBBGrid>(&w, "DBGrid1"), 0), expected);
        // The memo shows the file as it is (blank and repeated lines too).
        const QString memo = child<QPlainTextEdit>(&w, "ME_Versandarten")->toPlainText();
        for (const QString &e : expected)
            QVERIFY2(memo.contains(e), qPrintable(e));
        QVERIFY(!child<QWidget>(&w, "PA_Einstellungen")->isVisible());
        // Not written by the take-over, only when the window closes.
        QVERIFY(!QFile::exists(env.file("versandtart6.xml")));
        QVERIFY(w.close());
        QCOMPARE(columnOf(TableFile::ReadPacket(env.file("versandtart6.xml")), "versandart"), expected);
    }

    // Groups and their entries: new groups numbered, entries follow the current group.
    void faqMasterDetail()
    {
        TestEnv env;
        TFM_FAQ w(env.path());
        w.show();
        auto addGroup = [&](const QString &title) {
            click(&w, "DBAdvNavigator1", TDBNavigator::nbInsert);
            typeInto(&w, "ED_bezeichnung", title);
            click(&w, "DBAdvNavigator1", TDBNavigator::nbPost);
        };
        auto addEntry = [&](const QString &title, const QString &help) {
            click(&w, "DBAdvNavigator2", TDBNavigator::nbInsert);
            auto *g = child<TDBBGrid>(&w, "DBBGrid1");
            QVERIFY(g->model()->setData(g->model()->index(w.Entries()->InsertIndex() < 0 ? 0 : w.Entries()->InsertIndex(), 0), title));
            if (w.Entries()->GetState() == Dataset::State::Browse)
                click(&w, "DBAdvNavigator2", TDBNavigator::nbEdit);
            typeInto(&w, "ME_hilfe", help);
            click(&w, "DBAdvNavigator2", TDBNavigator::nbPost);
        };
        addGroup("Versand");
        addEntry("Wie lange?", "3 Tage");
        addEntry("Ausland?", "EU");
        addGroup("Zahlung");
        addEntry("Rechnung?", "Ja");
        TableFile *groups = w.Groups();
        QCOMPARE(groups->FieldByName("zaehler")->AsInteger(), 2);
        QCOMPARE(groups->FieldByName("z")->AsInteger(), 2);
        auto titlesOn = [&](int page) { return gridColumn(child<TDBBGrid>(&w, QStringLiteral("DBBGrid%1").arg(page)), 0); };
        QCOMPARE(titlesOn(1), QStringList{"Rechnung?"});
        for (int page = 2; page <= 5; ++page)
            QCOMPARE(child<TDBBGrid>(&w, QStringLiteral("DBBGrid%1").arg(page))->model()->rowCount(), 1);
        auto *groupGrid = child<TDBBGrid>(&w, "DBGrid1");
        // The navigator inserts before the current row.
        QCOMPARE(gridColumn(groupGrid, 0), QStringList({"Zahlung", "Versand"}));
        groupGrid->setCurrentIndex(groupGrid->model()->index(1, 0));
        QCOMPARE(groups->FieldByName("bezeichnung")->AsString(), QStringLiteral("Versand"));
        QCOMPARE(titlesOn(1), QStringList({"Wie lange?", "Ausland?"}));
        for (int page = 2; page <= 5; ++page)
            QCOMPARE(child<TDBBGrid>(&w, QStringLiteral("DBBGrid%1").arg(page))->model()->rowCount(), 2);
        QCOMPARE(child<TDBMemo>(&w, "ME_hilfe")->toPlainText(), QStringLiteral("3 Tage"));
        QVERIFY(w.close());
        const TablePacket g = TableFile::ReadPacket(env.file("faq_gruppe6.xml"));
        const TablePacket e = TableFile::ReadPacket(env.file("faq_thema6.xml"));
        QStringList numbers = columnOf(g, "zaehler");
        numbers.sort();
        QCOMPARE(numbers, QStringList({"1", "2"}));
        QStringList links;
        for (const auto &r : e.rows)
            links << r.value(1).toString() + QLatin1Char(':') + r.value(7).toString();
        links.sort();
        QCOMPARE(links, QStringList({"1:3 Tage", "1:EU", "2:Ja"}));
    }
};

QTEST_MAIN(TstEditors)
#include "tst_Editors.moc"
