// The master-data tables without windows: opening with the take-over of
// older files, unreadable files, change logs, and the two WaWi take-overs
// against the demo WaWi.

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "masterdata/FaqTables.h"
#include "masterdata/MasterLayouts.h"
#include "masterdata/MasterTable.h"
#include "masterdata/TableFile.h"
#include "masterdata/WaWiTakeOver.h"
#include "support/TestEnv.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace mv;
using Rows = QVector<QVector<QVariant>>;

Q_DECLARE_METATYPE(mv::MasterTableDef)

namespace {
void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Values of one column of a packet's current rows, as text.
QStringList column(const TablePacket &p, const QString &field)
{
    int idx = -1;
    for (int i = 0; i < p.fields.size(); ++i)
        if (p.fields[i].name == field)
            idx = i;
    QStringList out;
    for (const auto &r : p.rows)
        out << (idx < 0 ? QStringLiteral("<kein Feld>") : FieldValueToText(r.value(idx), p.fields[idx].type));
    return out;
}

QStringList column(Dataset &ds, const QString &field)
{
    QStringList out;
    ds.First();
    while (!ds.Eof()) {
        out << ds.FieldByName(field)->AsString();
        ds.Next();
    }
    return out;
}

MasterTableDef byName(const QString &name)
{
    if (name == QLatin1String("laender")) return LaenderTable();
    if (name == QLatin1String("news")) return NewsTable();
    if (name == QLatin1String("versandkosten")) return VersandkostenTable();
    if (name == QLatin1String("zahlart")) return ZahlartTable();
    if (name == QLatin1String("versandart")) return VersandartTable();
    if (name == QLatin1String("faq_gruppe")) return FaqGruppeTable();
    return FaqThemaTable();
}

QVector<FieldDef> legacyFields(const QString &name)
{
    if (name == QLatin1String("laender")) return LegacyLaenderFields();
    if (name == QLatin1String("news")) return LegacyNewsFields();
    if (name == QLatin1String("versandkosten")) return LegacyVersandkostenFields();
    if (name == QLatin1String("zahlart")) return LegacyZahlartFields();
    if (name == QLatin1String("versandart")) return LegacyVersandartFields();
    if (name == QLatin1String("faq_gruppe")) return LegacyFaqGruppeFields();
    return LegacyFaqThemaFields();
}

// A row for the field list with text in the first text field ("key") and
// simple values elsewhere.
QVector<QVariant> rowFor(const QVector<FieldDef> &fields, const QString &key, int n)
{
    QVector<QVariant> r;
    bool keySet = false;
    for (const FieldDef &f : fields) {
        switch (f.type) {
        case FieldType::String:
        case FieldType::Memo:
        case FieldType::FmtMemo:
            r << (keySet ? QVariant(f.name + QLatin1Char('-') + key) : QVariant(key));
            keySet = true;
            break;
        case FieldType::Integer:
        case FieldType::AutoInc: r << n; break;
        case FieldType::Float: r << n + 0.25; break;
        case FieldType::Boolean: r << true; break;
        case FieldType::DateTime: r << QDateTime(QDate(2024, 3, n), QTime(10, 30)); break;
        default: r << QVariant(); break;
        }
    }
    return r;
}
}

class TstMasterData : public QObject {
    Q_OBJECT
    RecordingUiHooks m_ui;

private slots:
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    // ------------------------------------------------------------ migration
    void migration_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("existingRows");   // -1: no new file yet
        QTest::addColumn<int>("expectedRows");
        QTest::addColumn<bool>("legacyRemoved");
        QTest::newRow("countries into a missing file") << "laender" << -1 << 2 << true;
        QTest::newRow("countries into an empty file") << "laender" << 0 << 2 << true;
        QTest::newRow("countries: file with rows, nothing copied") << "laender" << 1 << 1 << false;
        QTest::newRow("shipping costs into an empty file") << "versandkosten" << 0 << 2 << true;
        QTest::newRow("shipping costs: file with rows") << "versandkosten" << 3 << 3 << false;
        QTest::newRow("news appended to rows") << "news" << 1 << 3 << true;
        QTest::newRow("payment methods appended") << "zahlart" << 1 << 3 << true;
        QTest::newRow("shipping methods appended") << "versandart" << 2 << 4 << true;
        QTest::newRow("faq groups appended") << "faq_gruppe" << 1 << 3 << true;
        QTest::newRow("faq entries into a missing file") << "faq_thema" << -1 << 2 << true;
    }
    void migration()
    {
        QFETCH(QString, table);
        QFETCH(int, existingRows);
        QFETCH(int, expectedRows);
        QFETCH(bool, legacyRemoved);
        test::TestEnv env;
        const MasterTableDef def = byName(table);
        const QString file = env.file(def.fileName), legacy = env.file(def.legacy.fileName);
        if (existingRows >= 0) {
            Rows rows;
            for (int i = 0; i < existingRows; ++i)
                rows << rowFor(def.fields, QStringLiteral("neu%1").arg(i), i + 1);
            TableFile::WritePacketFile(file, def.fields, rows, existingRows + 1);
        }
        const QVector<FieldDef> old = legacyFields(table);
        TableFile::WritePacketFile(legacy, old,
                                   {rowFor(old, QString::fromUtf8("Müller's"), 7), rowFor(old, QStringLiteral("alt2"), 8)});

        TableFile t;
        const OpenOutcome o = OpenMasterTable(t, env.path(), def);
        QVERIFY(o.open);
        QVERIFY(o.legacyError.isEmpty());
        QCOMPARE(t.RecordCount(), expectedRows);
        QCOMPARE(QFile::exists(legacy), !legacyRemoved);
        QCOMPARE(o.legacyRemoved, legacyRemoved);
        if (legacyRemoved) {
            // The taken-over rows are on disk before the old file goes.
            const TablePacket p = TableFile::ReadPacket(file);
            QCOMPARE(p.rows.size(), expectedRows);
            const auto firstText = std::find_if(old.begin(), old.end(), [](const FieldDef &f) { return IsTextType(f.type); });
            const QStringList keys = column(p, firstText->name);
            QVERIFY2(keys.contains(QString::fromUtf8("Müller's")), qPrintable(keys.join('|')));
            // Fields of the new table only: they are empty in the taken-over rows.
            for (const FieldDef &f : def.fields) {
                const bool inOld = std::any_of(old.begin(), old.end(), [&](const FieldDef &o) { return o.name == f.name; });
                if (!inOld)
                    QCOMPARE(column(p, f.name).mid(p.rows.size() - 2), QStringList({QString(), QString()}));
            }
        }
    }

    void migrationCopiesByEqualNamesOnly()
    {
        test::TestEnv env;
        const MasterTableDef def = ZahlartTable();
        QVector<QVariant> r = rowFor(LegacyZahlartFields(), QStringLiteral("Vorkasse"), 1);
        TableFile::WritePacketFile(env.file(def.legacy.fileName), LegacyZahlartFields(), {r});
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), def).open);
        QCOMPARE(t.RecordCount(), 1);
        QCOMPARE(t.FieldByName("Art")->AsString(), QStringLiteral("Vorkasse"));
        // The old "Bezeichnung2" is not the new "Bezeichnung_2".
        QVERIFY(t.FieldByName("Bezeichnung_2")->IsNull());
        QCOMPARE(t.FieldByName("Bemerkung")->AsString(), QStringLiteral("Bemerkung-Vorkasse"));
        QCOMPARE(t.FieldByName("Update")->AsDateTime(), QDateTime(QDate(2024, 3, 1), QTime(10, 30)));
    }

    void faqMigrationNumbersEntriesAfreshButKeepsGroups()
    {
        test::TestEnv env;
        const auto oldG = LegacyFaqGruppeFields();
        const auto oldT = LegacyFaqThemaFields();
        // Groups 40 and 41 with their entries (old numbers 90, 91, 92).
        TableFile::WritePacketFile(env.file("faq_gruppe.xml"), oldG,
                                   {{5, 40, QStringLiteral("Versand"), 0, 0, QVariant()},
                                    {6, 41, QStringLiteral("Zahlung"), 0, 0, QVariant()}});
        TableFile::WritePacketFile(env.file("faq_thema.xml"), oldT,
                                   {{90, 40, QStringLiteral("Wie lange?"), QStringLiteral("3 Tage"), QVariant()},
                                    {91, 41, QStringLiteral("Rechnung?"), QStringLiteral("Ja"), QVariant()},
                                    {92, 40, QStringLiteral("Ausland?"), QStringLiteral("EU"), QVariant()}});
        TableFile groups, entries;
        QVERIFY(OpenMasterTable(groups, env.path(), FaqGruppeTable()).open);
        QVERIFY(OpenMasterTable(entries, env.path(), FaqThemaTable()).open);
        QCOMPARE(column(groups, "zaehler"), QStringList({"40", "41"}));
        QCOMPARE(column(groups, "z"), QStringList({"1", "2"}));
        QCOMPARE(column(entries, "zaehler"), QStringList({"1", "2", "3"}));
        LinkFaqTables(groups, entries);
        groups.First();
        QCOMPARE(column(entries, "beschreibung"), QStringList({"Wie lange?", "Ausland?"}));
        groups.Next();
        QCOMPARE(column(entries, "beschreibung"), QStringList({"Rechnung?"}));
    }

    void unreadableLegacyFileIsKept()
    {
        test::TestEnv env;
        writeAll(env.file("laender2.xml"), "<DATAPACKET kaputt");
        TableFile t;
        const OpenOutcome o = OpenMasterTable(t, env.path(), LaenderTable());
        QVERIFY(o.open);
        QVERIFY(!o.legacyError.isEmpty());
        QCOMPARE(readAll(env.file("laender2.xml")), QByteArray("<DATAPACKET kaputt"));
    }

    void unreadableFileKeptAsBackup()
    {
        test::TestEnv env;
        writeAll(env.file("news6.xml"), "kein XML \xe4");
        TableFile t;
        const OpenOutcome o = OpenMasterTable(t, env.path(), NewsTable());
        QVERIFY(o.open);
        QVERIFY(t.IsEmpty());
        QVERIFY(!o.backupPath.isEmpty());
        QVERIFY(o.backupPath.contains(".defekt-"));
        QCOMPARE(readAll(o.backupPath), QByteArray("kein XML \xe4"));
        QCOMPARE(t.FieldNames().size(), NewsTable().fields.size());
    }

    // Files of the older program carry their change log: only the current
    // rows count, and saving keeps every current value.
    void changeLogFileOpensWithCurrentRows()
    {
        test::TestEnv env;
        QFile::copy(test::TestEnv::sourceDir() + "/tests/masterdata/fixtures/changelog.xml", env.file("log.xml"));
        const MasterTableDef def{QStringLiteral("log.xml"), {}, {}};
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), def).open);
        const QStringList names = column(t, "name");
        const TablePacket before = TableFile::ReadPacket(env.file("log.xml"));
        QCOMPARE(names, column(before, "name"));
        QVERIFY(!names.contains("Carl"));   // deleted in the log
        QVERIFY(names.contains("Berta 2")); // latest version of a changed row
        QVERIFY(SaveMasterTable(t));
        const TablePacket after = TableFile::ReadPacket(env.file("log.xml"));
        QCOMPARE(after.rows, before.rows);
        QVERIFY(!readAll(env.file("log.xml")).contains("RowState=\"2\""));
    }

    void deletedRowNoLongerInFile()
    {
        test::TestEnv env;
        const MasterTableDef def = VersandkostenTable();
        TableFile::WritePacketFile(env.file(def.fileName), def.fields,
                                   {rowFor(def.fields, "DHL", 1), rowFor(def.fields, "UPS", 2), rowFor(def.fields, "GLS", 3)});
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), def).open);
        QVERIFY(t.Locate("versender", {QStringLiteral("UPS")}));
        t.Delete();
        QVERIFY(SaveMasterTable(t));
        QCOMPARE(column(TableFile::ReadPacket(env.file(def.fileName)), "versender"), QStringList({"DHL", "GLS"}));
    }

    void saveFailureNamesTheFile()
    {
        test::TestEnv env;
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.file("fehlt/ordner"), LaenderTable()).open);
        QString error;
        QVERIFY(!SaveMasterTable(t, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(env.file("fehlt/ordner/laender4.xml"))), qPrintable(error));
        QVERIFY(error.startsWith(QString::fromUtf8("Die Datei ")));
    }

    void filterLiteralQuotesCompletely_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("literal");
        QTest::newRow("plain") << "Vorkasse" << "'Vorkasse'";
        QTest::newRow("apostrophe") << "O'Brien" << "'O''Brien'";
        QTest::newRow("only apostrophes") << "''" << "''''''";
        QTest::newRow("umlauts") << QString::fromUtf8("Überweisung") << QString::fromUtf8("'Überweisung'");
    }
    void filterLiteralQuotesCompletely()
    {
        QFETCH(QString, text);
        QFETCH(QString, literal);
        QCOMPARE(FilterLiteral(text), literal);
    }

    // --------------------------------------------------------- FAQ numbering
    void faqGroupNumbering_data()
    {
        QTest::addColumn<QVariant>("typed");
        QTest::addColumn<int>("expected");   // 0: = z
        QTest::newRow("empty number gets z") << QVariant() << 0;
        QTest::newRow("zero gets z") << QVariant(0) << 0;
        QTest::newRow("typed number kept") << QVariant(77) << 77;
    }
    void faqGroupNumbering()
    {
        QFETCH(QVariant, typed);
        QFETCH(int, expected);
        test::TestEnv env;
        TableFile groups, entries;
        QVERIFY(OpenMasterTable(groups, env.path(), FaqGruppeTable()).open);
        QVERIFY(OpenMasterTable(entries, env.path(), FaqThemaTable()).open);
        LinkFaqTables(groups, entries);
        groups.Append();
        groups.FieldByName("bezeichnung")->SetAsString("Versand");
        groups.Post();   // a first group, z = 1
        groups.Append();
        groups.FieldByName("bezeichnung")->SetAsString("Zahlung");
        groups.FieldByName("zaehler")->SetValue(typed);
        groups.Post();
        const int z = groups.FieldByName("z")->AsInteger();
        QCOMPARE(z, 2);
        const int number = groups.FieldByName("zaehler")->AsInteger();
        QCOMPARE(number, expected ? expected : z);
        entries.Append();
        entries.FieldByName("beschreibung")->SetAsString("Frage");
        entries.Post();
        QCOMPARE(entries.FieldByName("gruppe")->AsInteger(), number);
        groups.First();
        QVERIFY(entries.IsEmpty());
    }

    void entryOfAGroupBeingTypedGetsItsNumber()
    {
        test::TestEnv env;
        TableFile groups, entries;
        QVERIFY(OpenMasterTable(groups, env.path(), FaqGruppeTable()).open);
        QVERIFY(OpenMasterTable(entries, env.path(), FaqThemaTable()).open);
        LinkFaqTables(groups, entries);
        groups.Append();
        groups.FieldByName("bezeichnung")->SetAsString("Neu");
        entries.Append();   // posts and numbers the group first
        entries.FieldByName("beschreibung")->SetAsString("Frage");
        entries.Post();
        QCOMPARE(groups.FieldByName("zaehler")->AsInteger(), 1);
        QCOMPARE(entries.FieldByName("gruppe")->AsInteger(), 1);
    }

    // ------------------------------------------------ payment-method take-over
    void paymentTakeOverFromDemoWaWi()
    {
        test::TestEnv env;
        const QString wawi = env.file("wawi");
        WaWiDemoOptions opt;
        opt.articles = 5;
        opt.addresses = 3;
        opt.groups = 5;
        opt.mandanten = 1;
        opt.registerInRegistry = false;
        WriteWaWiDemo(wawi, opt);

        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), ZahlartTable()).open);
        // A local method the WaWi does not know stays.
        t.Append();
        t.FieldByName("Art")->SetAsString("Bar");
        t.Post();
        TakeOverResult r = TakeOverPaymentMethodsFromWaWi(t, wawi);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.added, 6);
        QCOMPARE(column(t, "Art"), QStringList({"Bar", "Vorkasse", "Rechnung", "Lastschrift", "Nachnahme", "Kreditkarte",
                                               "Kauf auf Raten (O'Brien Bank)"}));
        QVERIFY(t.Locate("Art", {QStringLiteral("Lastschrift")}));
        QCOMPARE(t.FieldByName("Bezeichnung_2")->AsString(), QString::fromUtf8("Bankeinzug – bitte Kontodaten angeben"));
        QVERIFY(t.FieldByName("Bankdaten")->AsBoolean());
        QCOMPARE(t.FieldByName("Zahlungsart")->AsInteger(), 3);
        // The remark arrives as plain text, not RTF.
        QCOMPARE(t.FieldByName("Bemerkung")->AsString().trimmed(),
                 QString::fromUtf8("Hinweis zu Lastschrift: bitte beachten Sie unsere AGB's."));
        QVERIFY(t.FieldByName("Art2")->AsString() == "Lastschrift (en)");
        // On disk as well.
        QCOMPARE(TableFile::ReadPacket(env.file("zahlungsart_6.xml")).rows.size(), 7);

        // Changed, removed and new WaWi entries, with umlauts and an apostrophe.
        {
            TVLBTable z;
            z.SetDirectory(wawi);
            z.SetTableName("Zahlart.DB");
            z.Open();
            QVERIFY(z.Locate("Art", {QStringLiteral("Rechnung")}));
            z.Edit();
            z.FieldByName("Bezeichnung_2")->SetAsString(QString::fromUtf8("Auf Rechnung – nur für Stammkunden"));
            z.Post();
            // The WaWi cannot delete: a blanked name is gone for the take-over.
            QVERIFY(z.Locate("Art", {QStringLiteral("Nachnahme")}));
            z.Edit();
            z.FieldByName("Art")->SetAsString("   ");
            z.Post();
            z.Append();
            z.FieldByName("Zahlungsart")->SetAsInteger(7);
            z.FieldByName("Art")->SetAsString(QString::fromUtf8("Kunde's Überweisung"));
            z.FieldByName("Bezeichnung_2")->SetAsString(QString::fromUtf8("Zahlung über's Konto"));
            z.Post();
            z.Close();
        }
        for (int run = 0; run < 2; ++run) {
            r = TakeOverPaymentMethodsFromWaWi(t, wawi);
            QVERIFY2(r.ok(), qPrintable(r.error));
            QCOMPARE(r.added, run == 0 ? 1 : 0);
            QCOMPARE(r.updated, run == 0 ? 5 : 6);
            QCOMPARE(r.skipped, 1);
            QCOMPARE(t.RecordCount(), 8);   // the removed "Nachnahme" stays, no duplicates
            QVERIFY(!t.Filtered());
        }
        QVERIFY(t.Locate("Art", {QStringLiteral("Rechnung")}));
        QCOMPARE(t.FieldByName("Bezeichnung_2")->AsString(), QString::fromUtf8("Auf Rechnung – nur für Stammkunden"));
        const TablePacket p = TableFile::ReadPacket(env.file("zahlungsart_6.xml"));
        QVERIFY(column(p, "Art").contains(QString::fromUtf8("Kunde's Überweisung")));
        QVERIFY(column(p, "Bezeichnung_2").contains(QString::fromUtf8("Zahlung über's Konto")));
    }

    void paymentTakeOverWithoutOnlineField()
    {
        test::TestEnv env;
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), ZahlartTable()).open);
        MemTable wawi;
        wawi.CreateDataSet({{"Art", FieldType::String, 80}, {"Bezeichnung_2", FieldType::String, 80},
                            {"Bemerkung", FieldType::Memo, 0}});
        wawi.AppendRawRow({QStringLiteral("Vorkasse"), QStringLiteral("vorab"),
                           QStringLiteral("{\\rtf1\\ansi Zahlung \\'fcber Bank\\par}")});
        wawi.AppendRawRow({QStringLiteral("vorkasse"), QStringLiteral("klein geschrieben"), QVariant()});
        wawi.AppendRawRow({QStringLiteral(" Vorkasse"), QStringLiteral("mit Blank"), QVariant()});
        wawi.RawRowsDone();
        TakeOverResult r = TakeOverPaymentMethods(t, wawi);
        QVERIFY(r.ok());
        // Case and blanks count: three rows.
        QCOMPARE(r.added, 3);
        QCOMPARE(column(t, "Online"), QStringList({"", "", ""}));
        QCOMPARE(t.FieldByName("Bemerkung")->AsString(), QStringLiteral(""));
        t.First();
        QCOMPARE(t.FieldByName("Bemerkung")->AsString().trimmed(), QString::fromUtf8("Zahlung über Bank"));
        r = TakeOverPaymentMethods(t, wawi);
        QCOMPARE(r.updated, 3);
        QCOMPARE(t.RecordCount(), 3);
        QCOMPARE(column(t, "Online"), QStringList({"True", "True", "True"}));
    }

    void paymentTakeOverCancelledStillSaves()
    {
        test::TestEnv env;
        const QString wawi = env.file("wawi");
        WaWiDemoOptions opt;
        opt.articles = 3;
        opt.addresses = 2;
        opt.groups = 3;
        opt.mandanten = 1;
        opt.registerInRegistry = false;
        WriteWaWiDemo(wawi, opt);
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), ZahlartTable()).open);
        QVERIFY(!QFile::exists(env.file("zahlungsart_6.xml")));
        m_ui.cancel = true;
        const TakeOverResult r = TakeOverPaymentMethodsFromWaWi(t, wawi);
        m_ui.cancel = false;
        QVERIFY(r.cancelled);
        QCOMPARE(r.added, 0);
        QVERIFY(QFile::exists(env.file("zahlungsart_6.xml")));
        QVERIFY(t.Active());
    }

    void paymentTakeOverWithoutWaWiTable()
    {
        test::TestEnv env;
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), ZahlartTable()).open);
        const TakeOverResult r = TakeOverPaymentMethodsFromWaWi(t, env.file("leer"));
        QVERIFY(!r.ok());
        QVERIFY(t.Active());
    }

    // ----------------------------------------------- shipping-method take-over
    void shippingTakeOver()
    {
        test::TestEnv env;
        const QString dir = env.file("wawi");
        QDir().mkpath(dir);
        writeAll(dir + "/Lieferart.TXT",
                 ToAnsi(QString::fromUtf8("DHL Paket\r\n\r\n   \r\nDHL Paket\r\nSpedition O'Brien\r\n  Hermes\r\nHermes\r\n"
                                          "Päckchen\nPost & Brief\r")));
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), VersandartTable()).open);
        t.Append();
        t.FieldByName("versandart")->SetAsString("Hermes");
        t.FieldByName("versandkosten")->SetAsFloat(4.9);
        t.FieldByName("beschreibung")->SetAsString("bis 5 kg");
        t.Post();
        const QStringList lines = ReadDeliveryMethods(DeliveryMethodsPath(dir));
        for (int run = 0; run < 2; ++run) {
            const TakeOverResult r = TakeOverShippingMethods(t, lines);
            QVERIFY(r.ok());
            QCOMPARE(r.added, run == 0 ? 5 : 0);
            QCOMPARE(r.skipped, 2);
        }
        QCOMPARE(column(t, "versandart"),
                 QStringList({"Hermes", "DHL Paket", QString::fromUtf8("Spedition O´Brien"), "  Hermes",
                              QString::fromUtf8("Päckchen"), "Post & Brief"}));
        QVERIFY(t.Locate("versandart", {QStringLiteral("Hermes")}));
        QCOMPARE(t.FieldByName("versandkosten")->AsFloat(), 4.9);
        QCOMPARE(t.FieldByName("beschreibung")->AsString(), QStringLiteral("bis 5 kg"));
        QVERIFY(!t.Filtered());
    }

    void shippingTakeOverPaths_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("with separator") << "/";
        QTest::newRow("without separator") << "";
    }
    void shippingTakeOverPaths()
    {
        QFETCH(QString, suffix);
        test::TestEnv env;
        const QString dir = env.file("wawi");
        WaWiDemoOptions opt;
        opt.articles = 3;
        opt.addresses = 2;
        opt.groups = 3;
        opt.mandanten = 1;
        opt.registerInRegistry = false;
        WriteWaWiDemo(dir, opt);
        // The demo file holds 8 lines, a blank, a blanks-only and a repeated one among them.
        QCOMPARE(ReadDeliveryMethods(DeliveryMethodsPath(dir + suffix)).size(), 8);
    }

    void shippingTakeOverWithoutFile()
    {
        test::TestEnv env;
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), VersandartTable()).open);
        QVERIFY(ReadDeliveryMethods(DeliveryMethodsPath(env.path())).isEmpty());
        const TakeOverResult r = TakeOverShippingMethods(t, ReadDeliveryMethods(DeliveryMethodsPath(env.path())));
        QVERIFY(r.ok());
        QVERIFY(t.IsEmpty());
        QVERIFY(!t.ChangedSinceOpen());
    }

    void overlongShippingNameMatchedAgain()
    {
        test::TestEnv env;
        TableFile t;
        QVERIFY(OpenMasterTable(t, env.path(), VersandartTable()).open);
        const QStringList lines{QString(95, QLatin1Char('x'))};
        TakeOverShippingMethods(t, lines);
        TakeOverShippingMethods(t, lines);
        QCOMPARE(t.RecordCount(), 1);
        QCOMPARE(t.FieldByName("versandart")->AsString().size(), 80);
    }
};

QTEST_GUILESS_MAIN(TstMasterData)
#include "tst_MasterData.moc"
