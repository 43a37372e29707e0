// TVLBTable's index order, key ranges, key search, filter, master-detail
// and write-back, on an in-memory table store.

#include "core/ShopSettings.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiSchema.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace mv;

namespace {

struct MemStore : WaWiTableStore {
    QVector<FieldDef> defs;
    int keyCount = 1;
    QVector<WaWiStoreIndex> indexes;
    QVector<QVector<QVariant>> rows;
    int writes = 0;
    bool failWrites = false;

    QVector<FieldDef> Fields() const override { return defs; }
    int KeyFieldCount() const override { return keyCount; }
    QVector<WaWiStoreIndex> Indexes() const override { return indexes; }
    int RecordCount() const override { return rows.size(); }
    QVariant Value(int rec, int field) const override { return rows.at(rec).at(field); }
    int Update(int rec, const QVector<QVariant> &values) override
    {
        if (failWrites)
            throw DatasetError(QStringLiteral("gesperrt"));
        ++writes;
        rows[rec] = values;
        return rec;
    }
    int Append(const QVector<QVariant> &values) override
    {
        if (failWrites)
            throw DatasetError(QStringLiteral("gesperrt"));
        ++writes;
        rows.append(values);
        return rows.size() - 1;
    }
};

// Shared by the opener and the test (one store per table name).
QHash<QString, std::shared_ptr<MemStore>> g_stores;

struct StoreProxy : WaWiTableStore {
    std::shared_ptr<MemStore> s;
    explicit StoreProxy(std::shared_ptr<MemStore> st) : s(std::move(st)) {}
    QVector<FieldDef> Fields() const override { return s->Fields(); }
    int KeyFieldCount() const override { return s->KeyFieldCount(); }
    QVector<WaWiStoreIndex> Indexes() const override { return s->Indexes(); }
    int RecordCount() const override { return s->RecordCount(); }
    QVariant Value(int r, int f) const override { return s->Value(r, f); }
    int Update(int r, const QVector<QVariant> &v) override { return s->Update(r, v); }
    int Append(const QVector<QVariant> &v) override { return s->Append(v); }
};

FieldDef fd(const char *n, FieldType t, int size = 0) { return FieldDef{QString::fromUtf8(n), t, size}; }

std::shared_ptr<MemStore> articles()
{
    auto s = std::make_shared<MemStore>();
    s->defs = {fd("Artikel", FieldType::Integer), fd("Art", FieldType::SmallInt), fd("Mandant", FieldType::Integer),
               fd("Artikelnummer", FieldType::String, 30), fd("Suchbegriff", FieldType::String, 40),
               fd("Warengruppe", FieldType::Integer), fd("Selekt", FieldType::Integer),
               fd("Internet", FieldType::Boolean), fd("Update", FieldType::DateTime)};
    // Schnellsuche comes from a file; "Nummer" and the rest from the catalog.
    s->indexes = {{QStringLiteral("Schnellsuche"), {QStringLiteral("Art"), QStringLiteral("Mandant"), QStringLiteral("Suchbegriff")}}};
    auto row = [&](int nr, QVariant art, int m, const char *num, QVariant such, int wg, QVariant sel, bool inet) {
        s->rows.append({nr, art, m, QString::fromUtf8(num), such, wg, sel, inet, QVariant()});
    };
    row(1, 0, 1, "A-000010", QStringLiteral("ZANGE"), 5, QVariant(), true);
    row(2, 0, 1, "A-000002", QStringLiteral("Ölkanne"), 5, 2, true);
    row(3, 0, 1, "A-000030", QStringLiteral("Äpfelschäler"), 6, QVariant(), false);
    row(4, 0, 2, "A-000004", QStringLiteral("apfel"), 5, QVariant(), true);
    row(5, 1, 1, "A-000005", QStringLiteral("apfel"), 5, QVariant(), true);
    row(6, 0, 1, "A-000050", QVariant(), 6, -5, true);
    row(7, 0, 1, "A-000007", QStringLiteral("Übertopf"), 5, 7, true);
    row(8, 0, 1, "A-000008", QStringLiteral("mülleimer"), 6, QVariant(), true);
    row(9, 0, 1, "A-000009", QStringLiteral("MUSTERKOFFER"), 6, QVariant(), true);
    row(10, 0, 1, "A-000011", QStringLiteral("Möhrenreibe"), 5, QVariant(), true);
    row(11, QVariant(), 1, "A-000012", QStringLiteral("ohne Art"), 5, QVariant(), true);
    row(12, 0, 1, "A-000013", QStringLiteral("€-Schild"), 5, QVariant(), true);
    return s;
}

std::shared_ptr<MemStore> groups()
{
    auto s = std::make_shared<MemStore>();
    s->defs = {fd("Warengruppe", FieldType::Integer), fd("Mandant", FieldType::Integer), fd("Anhang", FieldType::Integer),
               fd("ART", FieldType::SmallInt), fd("Bezeichnung", FieldType::String, 60),
               fd("Bezeichnung_Intern", FieldType::String, 250), fd("Update", FieldType::DateTime)};
    auto row = [&](int nr, int m, int parent, QVariant art, const char *name) {
        s->rows.append({nr, m, parent, art, QString::fromUtf8(name), QVariant(), QVariant()});
    };
    row(1, 1, 0, QVariant(), "Küche");
    row(2, 1, 0, QVariant(), "Garten & Freizeit");
    row(3, 1, 1, QVariant(), "Töpfe");
    row(4, 1, 1, 250, "Kostenstelle");
    row(5, 2, 0, QVariant(), "Anderer Mandant");
    row(6, 1, -1, QVariant(), "Öle");
    row(7, 1, 3, 0, "Deckel");
    return s;
}

QStringList column(TVLBTable &t, const char *field)
{
    QStringList out;
    for (t.First(); !t.Eof(); t.Next())
        out << t.FieldByName(QString::fromUtf8(field))->AsString();
    return out;
}

} // namespace

class TestTVLBTable : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        SetWaWiStoreOpener([](const QString &, const QString &table) -> std::unique_ptr<WaWiTableStore> {
            auto it = g_stores.find(table.toLower());
            if (it == g_stores.end())
                throw DatasetError(QStringLiteral("Tabelle %1 nicht gefunden.").arg(table));
            return std::make_unique<StoreProxy>(*it);
        });
    }
    void init()
    {
        g_stores.clear();
        g_stores.insert(QStringLiteral("artikel.db"), articles());
        g_stores.insert(QStringLiteral("warengruppe.db"), groups());
        ResetWaWiCatalog();
    }
    void cleanupTestCase() { SetWaWiStoreOpener({}); }

    void collation_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("cmp");
        QTest::newRow("case") << "apfel" << "APFEL" << 0;
        QTest::newRow("umlaut base") << "Äpfel" << "apfel" << 0;
        QTest::newRow("sz") << "Straße" << "STRASSE" << 0;
        QTest::newRow("umlaut between") << "Öl" << "Pfanne" << -1;
        QTest::newRow("umlaut after n") << "Öl" << "Nagel" << 1;
        QTest::newRow("range high above umlaut") << "Übertopf" << "\x7f" << -1;
        QTest::newRow("range high above euro") << "€-Schild" << "\x7f" << -1;
        QTest::newRow("prefix") << "Mü" << "Müller" << -1;
        QTest::newRow("chr0 ends the text") << QString(QStringLiteral("Mü") + QChar(0)) << "Mü" << 0;
    }
    void collation()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, cmp);
        QCOMPARE(WaWiCompareValues(a, b, FieldType::String), cmp);
    }

    void nullFirstAndNumbers()
    {
        QCOMPARE(WaWiCompareValues(QVariant(), 0, FieldType::Integer), -1);
        QCOMPARE(WaWiCompareValues(QVariant(), QString(), FieldType::String), 0);
        QCOMPARE(WaWiCompareValues(-5, 3, FieldType::Integer), -1);
        QCOMPARE(WaWiCompareValues(QDate(2024, 1, 2), QDate(2023, 12, 31), FieldType::Date), 1);
    }

    void recNoOfClosedTable()
    {
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(QStringLiteral("/nirgends"));
        QCOMPARE(t.RecNo(), 0);
        t.SetRecNo(3);
        QCOMPARE(t.RecNo(), 0);
        QVERIFY(!t.Active());
        t.Open();
        QCOMPARE(t.RecNo(), 1);
        t.SetRecNo(3);
        QCOMPARE(t.RecNo(), 3);
        QCOMPARE(t.FieldByName(QStringLiteral("Artikel"))->AsInteger(), 3);  // primary order
    }

    void unknownNames()
    {
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(QStringLiteral("/x"));
        t.Open();
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.SetIndexName(QStringLiteral("GibtEsNicht")));
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.FieldByName(QStringLiteral("GibtEsNicht")));
        TVLBTable u;
        u.SetTableName(QStringLiteral("Fehlt.DB"));
        u.SetDirectory(QStringLiteral("/x"));
        QVERIFY_THROWS_EXCEPTION(DatasetError, u.Open());
    }

    void catalogSuppliesMissingIndexes()
    {
        TVLBTable t;
        t.SetTableName(QStringLiteral("artikel.db"));
        t.SetDirectory(QStringLiteral("/x"));
        t.Open();
        const QStringList names = t.IndexNames();
        QVERIFY(names.contains(QStringLiteral("Schnellsuche")));
        QVERIFY(names.contains(QStringLiteral("Nummer")));
        QVERIFY(names.contains(QStringLiteral("WGruppe_Nr")));
        t.SetIndexName(QStringLiteral("nummer"));
        QCOMPARE(t.CurrentIndexFields(), QStringList({QStringLiteral("Art"), QStringLiteral("Mandant"), QStringLiteral("Artikelnummer")}));
    }

    void shippedCatalogMatchesTheTables()
    {
        QFile f(test::TestEnv::sourceDir() + QStringLiteral("/wawi/WaWiIndexe.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const auto shipped = ParseWaWiCatalog(QString::fromUtf8(f.readAll()));
        const auto builtIn = ParseWaWiCatalog(WaWiCatalogText());
        QCOMPARE(shipped.size(), builtIn.size());
        for (int i = 0; i < shipped.size(); ++i) {
            QCOMPARE(shipped.at(i).table, builtIn.at(i).table);
            QCOMPARE(shipped.at(i).index, builtIn.at(i).index);
            QCOMPARE(shipped.at(i).fields, builtIn.at(i).fields);
        }
    }

    void catalogFileBesideTheProgram()
    {
        test::TestEnv env;
        QDir(env.path()).mkpath(QStringLiteral("wawi"));
        QFile f(env.file(QStringLiteral("wawi/WaWiIndexe.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# eigene Indexe\nARTIKEL.db\tNachGruppe\tWarengruppe;Artikelnummer\nArtikel.DB\tKaputt\tGibtEsNicht\nzu wenig Spalten\n");
        f.close();
        ResetWaWiCatalog();
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        QVERIFY(t.IndexNames().contains(QStringLiteral("NachGruppe")));
        QVERIFY(!t.IndexNames().contains(QStringLiteral("Kaputt")));   // names a missing field
        QVERIFY(!t.IndexNames().contains(QStringLiteral("Nummer")));   // the file replaces the built-in list
        t.SetIndexName(QStringLiteral("NachGruppe"));
        t.SetRange({5}, {5});
        QCOMPARE(column(t, "Artikel"), QStringList({"2", "4", "5", "7", "1", "10", "11", "12"}));
        ResetWaWiCatalog();
    }

    // (kind, Mandant, text) on "Schnellsuche", bounds RangeLow/RangeHigh.
    void mandantRangeOnSchnellsuche()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
        // Null search term first; umlauts with their base letters; "€" inside.
        QCOMPARE(column(t, "Artikel"),
                 QStringList({"6", "3", "10", "8", "9", "2", "7", "1", "12"}));
        QCOMPARE(t.RecordCount(), 9);
        SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 2);
        QCOMPARE(column(t, "Artikel"), QStringList({"4"}));
        SetMandantRange(t, QStringLiteral("Schnellsuche"), 1, 1);
        QCOMPARE(column(t, "Artikel"), QStringList({"5"}));
        t.CancelRange();
        QCOMPARE(t.RecordCount(), 12);
    }

    void emptyKindRule()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Warengruppe.DB"));
        t.SetDirectory(env.path());
        t.Open();
        SetMandantRange(t, QStringLiteral("Schnellsuche"), kEmptyKind, 1);
        // Only groups of Mandant 1 with an empty kind, by name.
        QCOMPARE(column(t, "Warengruppe"), QStringList({"2", "1", "6", "3"}));
    }

    void integerFallback()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        t.SetIndexFieldNames(QStringLiteral("Art;Mandant;Selekt"));
        // Text bounds do not fit the integer key part.
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.SetRange({0, 1, QString(QChar(0))}, {0, 1, QString(QChar(127))}));
        t.SetIndexName(QString());
        // SetMandantRange falls back to -32000..32000 (NULL stays outside).
        TVLBTable u;
        u.SetTableName(QStringLiteral("Artikel.DB"));
        u.SetDirectory(env.path());
        u.Open();
        g_stores[QStringLiteral("artikel.db")]->indexes << WaWiStoreIndex{QStringLiteral("Selektion"), {QStringLiteral("Art"), QStringLiteral("Mandant"), QStringLiteral("Selekt")}};
        u.Close();
        u.Open();
        SetMandantRange(u, QStringLiteral("Selektion"), 0, 1);
        QCOMPARE(column(u, "Artikel"), QStringList({"6", "2", "7"}));
    }

    void verknRanges()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Warengruppe.DB"));
        t.SetDirectory(env.path());
        t.Open();
        t.SetIndexName(QStringLiteral("Verkn"));
        t.SetRange({1, -999999}, {1, 0});
        QCOMPARE(column(t, "Warengruppe"), QStringList({"6", "1", "2"}));
        t.SetRange({1, 1}, {1, 1});
        QCOMPARE(column(t, "Warengruppe"), QStringList({"3", "4"}));
        t.SetRange({1, -999999}, {1, 999999});
        QCOMPARE(t.RecordCount(), 6);
        // Filter on top of a range: an empty kind passes "ART<200".
        t.SetFilter(QStringLiteral("ART<200"));
        t.SetFiltered(true);
        QCOMPARE(column(t, "Warengruppe"), QStringList({"6", "1", "2", "3", "7"}));
    }

    void prefixRange_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mü") << "mü" << QStringList({"8", "9"});
        QTest::newRow("MU") << "MU" << QStringList({"8", "9"});
        QTest::newRow("ö") << "ö" << QStringList({"2"});
        QTest::newRow("a") << "a" << QStringList({"3"});
        QTest::newRow("empty") << "" << QStringList({"6", "3", "10", "8", "9", "2", "7", "1", "12"});
        QTest::newRow("nothing") << "qq" << QStringList();
        QTest::newRow("whole word") << "Zange" << QStringList({"1"});
    }
    void prefixRange()
    {
        QFETCH(QString, prefix);
        QFETCH(QStringList, expected);
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        t.SetIndexName(QStringLiteral("Schnellsuche"));
        t.SetRange({0, 1, prefix + Settings().RangeLow}, {0, 1, prefix + Settings().RangeHigh});
        QCOMPARE(column(t, "Artikel"), expected);
    }

    void findNearest_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("artikel");
        QTest::newRow("number exact") << "Nummer" << "A-000007" << 7;
        QTest::newRow("number between") << "Nummer" << "A-000006" << 7;
        QTest::newRow("number prefix") << "Nummer" << "A-00001" << 1;
        QTest::newRow("term umlaut") << "Schnellsuche" << "oel" << 2;
        QTest::newRow("term lower") << "Schnellsuche" << "mus" << 9;
        QTest::newRow("term Ü as U") << "Schnellsuche" << "ub" << 7;
        QTest::newRow("past the end") << "Schnellsuche" << "zzz" << 12;
    }
    void findNearest()
    {
        QFETCH(QString, index);
        QFETCH(QString, text);
        QFETCH(int, artikel);
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        SetMandantRange(t, index, 0, 1);
        t.FindNearest({0, 1, text});
        QCOMPARE(t.FieldByName(QStringLiteral("Artikel"))->AsInteger(), artikel);
    }

    void findKey()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        QVERIFY(t.FindKey({9}));
        QCOMPARE(t.FieldByName(QStringLiteral("Artikelnummer"))->AsString(), QStringLiteral("A-000009"));
        QVERIFY(!t.FindKey({99}));
        QCOMPARE(t.FieldByName(QStringLiteral("Artikel"))->AsInteger(), 9);   // stays put
        t.SetIndexName(QStringLiteral("Nummer"));
        QVERIFY(t.FindKey({0, 1, QStringLiteral("a-000030")}));   // case-insensitive
        QCOMPARE(t.FieldByName(QStringLiteral("Artikel"))->AsInteger(), 3);
        // Outside the range the key is not found.
        SetMandantRange(t, QStringLiteral("Nummer"), 0, 2);
        QVERIFY(!t.FindKey({0, 1, QStringLiteral("A-000030")}));
    }

    void masterDetail()
    {
        test::TestEnv env;
        TVLBTable master, detail;
        master.SetTableName(QStringLiteral("Warengruppe.DB"));
        master.SetDirectory(env.path());
        detail.SetTableName(QStringLiteral("Artikel.DB"));
        detail.SetDirectory(env.path());
        master.Open();
        detail.Open();
        detail.SetMasterSource(&master, QStringLiteral("Warengruppe"), QStringLiteral("Warengruppe"));
        QVERIFY(master.FindKey({6}));
        QCOMPARE(column(detail, "Artikel"), QStringList({"3", "6", "8", "9"}));
        QVERIFY(master.FindKey({5}));
        QCOMPARE(detail.RecordCount(), 8);
        QVERIFY(master.FindKey({2}));
        QCOMPARE(detail.RecordCount(), 0);
        // A new detail record takes the master's key.
        QVERIFY(master.FindKey({6}));
        detail.Append();
        detail.FieldByName(QStringLiteral("Artikel"))->SetValue(13);
        detail.Post();
        QCOMPARE(g_stores[QStringLiteral("artikel.db")]->rows.last().at(5).toInt(), 6);
        QCOMPARE(detail.RecordCount(), 5);
    }

    void editPostKeepsOrder()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
        t.FindNearest({0, 1, QStringLiteral("zange")});
        QVERIFY(EnsureEditing(t));
        t.FieldByName(QStringLiteral("Suchbegriff"))->SetValue(QStringLiteral("Ärmelschoner"));
        t.FieldByName(QStringLiteral("Internet"))->SetValue(false);
        StampUpdate(t);
        t.Post();
        auto store = g_stores[QStringLiteral("artikel.db")];
        QCOMPARE(store->rows.at(0).at(7).toBool(), false);
        QVERIFY(store->rows.at(0).at(8).toDateTime().isValid());
        // The record moved to its new key position and stays current.
        QCOMPARE(t.FieldByName(QStringLiteral("Artikel"))->AsInteger(), 1);
        QCOMPARE(column(t, "Artikel"), QStringList({"6", "3", "1", "10", "8", "9", "2", "7", "12"}));
    }

    void keptOrdersFollowWrites()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.SetKeepIndexOrders(true);
        t.Open();
        const QStringList byName{"6", "3", "10", "8", "9", "2", "7", "1", "12"};
        for (int round = 0; round < 2; ++round) {   // the second round takes the kept orders
            SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
            QCOMPARE(column(t, "Artikel"), byName);
            t.CancelRange();
            t.SetIndexName(QString());
            QCOMPARE(t.RecordCount(), 12);
            QCOMPARE(column(t, "Artikel").first(), QStringLiteral("1"));
        }
        // A write under the primary index moves the record in the kept
        // search order: it must not come back stale.
        QVERIFY(t.FindKey({1}));
        QVERIFY(EnsureEditing(t));
        t.FieldByName(QStringLiteral("Suchbegriff"))->SetValue(QStringLiteral("Ärmelschoner"));
        t.Post();
        SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
        QCOMPARE(column(t, "Artikel"), QStringList({"6", "3", "1", "10", "8", "9", "2", "7", "12"}));
    }

    void ensureEditingFailure()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(env.path());
        t.Open();
        QVERIFY(EnsureEditing(t));
        QCOMPARE(t.GetState(), Dataset::State::Edit);
        QVERIFY(EnsureEditing(t));   // already editing
        g_stores[QStringLiteral("artikel.db")]->failWrites = true;
        t.FieldByName(QStringLiteral("Selekt"))->SetValue(3);
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.Post());
        t.Cancel();
        QCOMPARE(g_stores[QStringLiteral("artikel.db")]->rows.at(0).at(6), QVariant());
    }

    void fieldText()
    {
        test::TestEnv env;
        TVLBTable t;
        t.SetTableName(QStringLiteral("Warengruppe.DB"));
        t.SetDirectory(env.path());
        QCOMPARE(FieldText(t, QStringLiteral("Bezeichnung")), QString());
        t.Open();
        QCOMPARE(FieldText(t, QStringLiteral("Bezeichnung")), QStringLiteral("Küche"));
        QCOMPARE(FieldText(t, QStringLiteral("Bild_gross")), QString());
    }
};

QTEST_GUILESS_MAIN(TestTVLBTable)
#include "tst_TVLBTable.moc"
