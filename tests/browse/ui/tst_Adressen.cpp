// The address list on the demo WaWi, driven like a user: sort entries from
// the indexes, kinds, quick search with umlauts, online/offline on a
// multi-selection written back into Adressen.DB, deletes that only switch
// an address offline.

#include "browse/ui/TFM_Adressen.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "support/TestEnv.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QtTest>

using namespace mv;

namespace {
struct Rec {
    int art, mandant;
    QString such, ort, nummer;
    bool online;
    QDateTime update;
};

QHash<int, Rec> readAll(int *perIndexCheck = nullptr)
{
    QHash<int, Rec> out;
    TVLBTable t;
    t.SetDatabaseName("Merkant");
    t.SetTableName("Adressen.DB");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
        out.insert(t.FieldByName("Adresse")->AsInteger(),
                   {t.FieldByName("Art")->AsInteger(), t.FieldByName("Mandant")->AsInteger(),
                    t.FieldByName("Suchbegriff")->AsString(), t.FieldByName("Ort")->AsString(),
                    t.FieldByName("Nummer")->AsString(), t.FieldByName("Online")->AsBoolean(),
                    t.FieldByName("Update")->AsDateTime()});
    if (perIndexCheck) {
        // every index still reaches every record with the same values
        *perIndexCheck = 0;
        for (const QString &ix : t.IndexNames()) {
            t.SetIndexName(ix);
            int n = 0;
            for (t.First(); !t.Eof(); t.Next()) {
                const Rec &r = out.value(t.FieldByName("Adresse")->AsInteger());
                if (r.online == t.FieldByName("Online")->AsBoolean())
                    ++n;
            }
            if (n != out.size())
                ++*perIndexCheck;
        }
    }
    return out;
}
} // namespace

class tst_Adressen : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { TVLBDatabase::Disconnect(); SetUiHooks(nullptr); }
    void sortAndKinds();
    void quickSearch();
    void onlineOfflineSelection();
    void deleteSwitchesOffline();

private:
    test::TestEnv m_env;
    RecordingUiHooks m_ui;
};

void tst_Adressen::initTestCase()
{
    SetUiHooks(&m_ui);
    WaWiDemoOptions o;
    o.articles = 10;
    o.addresses = 300;
    o.registerInRegistry = false;
    WriteWaWiDemo(m_env.file("wawi"), o);
    QVERIFY(TVLBDatabase::Connect(m_env.file("wawi")));
    Settings().Aktiv_Mandant = 1;
}

void tst_Adressen::sortAndKinds()
{
    TFM_Adressen w(m_env.path());
    w.show();
    auto *sort = w.findChild<QComboBox *>("CB_Sort");
    QStringList entries;
    for (int i = 0; i < sort->count(); ++i)
        entries << sort->itemText(i);
    QCOMPARE(entries, (QStringList{"Strasse", "Suchbegriff", "Telefon", "Plz", "Nummer", "Ort"}));
    QCOMPARE(sort->currentText(), QString("Suchbegriff"));
    const auto all = readAll();
    for (int kind = 0; kind < 3; ++kind) {
        w.findChild<QTabBar *>("TabControl1")->setCurrentIndex(kind);
        int expected = 0;
        for (const Rec &r : all)
            expected += r.art == kind && r.mandant == 1;
        QCOMPARE(w.findChild<TDBBGrid *>("DBGrid1")->model()->rowCount(), expected);
    }
    const QString shots = qEnvironmentVariable("MV_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        w.findChild<QTabBar *>("TabControl1")->setCurrentIndex(0);
        QTest::qWait(200);
        QVERIFY(w.grab().save(shots + "/screenshot-adressen.png"));
    }
}

void tst_Adressen::quickSearch()
{
    const auto all = readAll();
    // a customer whose search word begins with an umlaut or sharp letter, else any
    QString prefix;
    for (const Rec &r : all) {
        if (r.art == 0 && r.mandant == 1 && !r.such.isEmpty() && r.such.at(0).unicode() > 127) {
            prefix = r.such.left(2);
            break;
        }
    }
    if (prefix.isEmpty()) {
        for (const Rec &r : all) {
            if (r.art == 0 && r.mandant == 1 && r.such.size() > 2 && r.such.left(3).contains(QRegularExpression("[äöüÄÖÜß]"))) {
                prefix = r.such.left(3);
                break;
            }
        }
    }
    QVERIFY2(!prefix.isEmpty(), "the demo WaWi has customers with umlauts");
    TFM_Adressen w(m_env.path());
    w.show();
    auto *ed = w.findChild<QLineEdit *>("Ed_Suche");
    QTest::keyClicks(ed, prefix);
    int expected = 0;
    for (const Rec &r : all)
        expected += r.art == 0 && r.mandant == 1 && WaWiCollationKey(r.such).startsWith(WaWiCollationKey(prefix));
    QVERIFY(expected > 0);
    auto *grid = w.findChild<TDBBGrid *>("DBGrid1");
    QCOMPARE(grid->model()->rowCount(), expected);
    // the kind changes, the search stays
    w.findChild<QTabBar *>("TabControl1")->setCurrentIndex(1);
    QCOMPARE(ed->text(), prefix);
    int suppliers = 0;
    for (const Rec &r : all)
        suppliers += r.art == 1 && r.mandant == 1 && WaWiCollationKey(r.such).startsWith(WaWiCollationKey(prefix));
    QCOMPARE(grid->model()->rowCount(), suppliers);
    ed->clear();
    QTest::keyClick(ed, Qt::Key_Backspace);
}

void tst_Adressen::onlineOfflineSelection()
{
    const auto before = readAll();
    QList<int> chosen;
    {
        TFM_Adressen w(m_env.path());
        w.show();
        auto *grid = w.findChild<TDBBGrid *>("DBGrid1");
        QVERIFY(grid->model()->rowCount() > 5);
        grid->selectionModel()->clearSelection();
        const int idCol = w.List().Table().FieldByName("Adresse")->Index();
        for (int row : {1, 3, 4}) {
            chosen << w.List().Table().RowValue(row, idCol).toInt();
            grid->selectionModel()->select(grid->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        w.findChild<QAction *>("Action_Offline")->trigger();
    }
    int badIndexes = -1;
    auto after = readAll(&badIndexes);
    QCOMPARE(badIndexes, 0);
    QCOMPARE(after.size(), before.size());
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (chosen.contains(it.key())) {
            QVERIFY(it->online);
            QVERIFY(it->update.isValid() && it->update.secsTo(QDateTime::currentDateTime()) < 600);
        } else {
            QCOMPARE(it->online, before.value(it.key()).online);
            QCOMPARE(it->update, before.value(it.key()).update);
        }
    }
    {
        TFM_Adressen w(m_env.path());
        w.show();
        auto *grid = w.findChild<TDBBGrid *>("DBGrid1");
        grid->selectionModel()->select(grid->model()->index(3, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w.findChild<QAction *>("Action_Online")->trigger();
    }
    after = readAll();
    QCOMPARE(after.value(chosen.at(1)).online, false);
    QCOMPARE(after.value(chosen.at(0)).online, true);
}

void tst_Adressen::deleteSwitchesOffline()
{
    TFM_Adressen w(m_env.path());
    w.show();
    TVLBTable &t = w.List().Table();
    t.First();
    t.Next();
    const int id = t.FieldByName("Adresse")->AsInteger();
    const int count = t.RecordCount();
    t.Delete();
    QCOMPARE(t.RecordCount(), count);
    const auto after = readAll();
    QVERIFY(after.contains(id));
    QVERIFY(after.value(id).online);
}

QTEST_MAIN(tst_Adressen)
#include "tst_Adressen.moc"
