// Product groups, articles, their side tables and special prices against a
// private MariaDB, directly and through the gateway script: a small demo
// WaWi with hand-made records for every rule that matters, a second run
// that changes nothing, a dry run that writes neither shop nor WaWi.
#include "core/RtfToText.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "shopdb/ShopConnection.h"
#include "transfer/ArticleTransfer.h"
#include "transfer/RecordWriter.h"
#include "transfer/TransferRun.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"
#include "wawi/WaWiDetect.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtTest>

using namespace mv;
using namespace mv::test;

namespace {

const QString kName = QString::fromUtf8("Äpfel 'süß' \\ C:\\Obst\\ Ö€");
const QString kGroupTop = QString::fromUtf8("Obst & Gemüse 'frisch' \\");
const QString kVariant = QString::fromUtf8("grün 'hell' \\");
const QString kRtf = QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 S\\'fc\\'df und {\\b fett}\\par zwei\\par}");

void Append(const QString &table, const QVariantMap &values)
{
    TVLBTable t;
    t.SetTableName(table);
    t.Open();
    t.Append();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        t.FieldByName(it.key())->SetValue(it.value());
    t.Post();
    t.Close();
}

int FirstAddressOf(int mandant)
{
    TVLBTable t;
    t.SetTableName(QStringLiteral("Adressen.DB"));
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
        if (t.FieldByName(QStringLiteral("Mandant"))->AsInteger() == mandant)
            return t.FieldAt(0)->AsInteger();
    return -1;
}

void WriteFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
}

QByteArray TableHash(const QString &dir)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    const QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    for (const QString &f : files) {
        QFile file(QDir(dir).filePath(f));
        if (file.open(QIODevice::ReadOnly))
            h.addData(file.readAll());
    }
    return h.result();
}

} // namespace

class tst_Articles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void transfer_data();
    void transfer();
    void columns_data();
    void columns();
    void secondRunChangesNothing_data();
    void secondRunChangesNothing();
    void dryRunWritesNothing();
    void sinceRunSendsEditedArticles();
    void helpers_data();
    void helpers();

private:
    void useShop(const QString &mode);
    QString db(const QString &mode) const { return mode == QLatin1String("direct") ? "a_direct" : "a_gateway"; }
    QString scalar(const QString &sql, const QString &mode) { return m_db.scalar(sql, db(mode)); }
    QString dump(const QString &mode);
    TransferReport run(bool complete, bool dryRun = false, const QString &logSql = QString());
    static QString ansiHex(const QString &s) { return QString::fromLatin1(ToAnsi(s).toHex().toUpper()); }

    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;
    QString m_wawi;
    int m_customer1 = -1, m_customer2 = -1;
    bool m_ran[2] = {false, false};
};

void tst_Articles::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    for (const char *mode : {"direct", "gateway"})
        QVERIFY2(m_db.installShopSchema(db(QString::fromLatin1(mode)), &err), qPrintable(err));

    m_wawi = m_env->file(QStringLiteral("wawi"));
    WaWiDemoOptions o;
    o.articles = 40;
    o.addresses = 20;
    o.groups = 9;
    o.mandanten = 2;
    o.registerInRegistry = false;
    WriteWaWiDemo(m_wawi, o);
    QVERIFY2(TVLBDatabase::Connect(m_wawi, &err), qPrintable(err));
    ShopSettings &s = Settings();
    s.Aktiv_Mandant = 1;
    s.WaWiDir = m_wawi + QLatin1Char('/');
    s.E_VK_Netto = {};
    s.E_VK_Netto[1] = true;
    s.E_VK_Netto[3] = true;
    WaWiEdition() = 2;
    m_customer1 = FirstAddressOf(1);
    m_customer2 = FirstAddressOf(2);
    QVERIFY(m_customer1 > 0 && m_customer2 > 0);

    // Pictures in the three places: the program folder, the WaWi folder, vorlagen/.
    WriteFile(Settings().ExeDir + QStringLiteral("bilder/Klein A.jpg"), "JPEG-klein");
    WriteFile(m_wawi + QStringLiteral("/wbild.jpg"), "JPEG-wawi");
    WriteFile(Settings().ExeDir + QStringLiteral("vorlagen/vbild.jpg"), "JPEG-vorlage");

    const QDateTime stamp(QDate(2026, 3, 1), QTime(12, 0));
    // Groups: a tree with awkward names, a sibling sharing the first
    // letters, a hidden one, an orphan, a cycle, one of the other Mandant.
    auto group = [&](int nr, int parent, const QString &name, QVariantMap more = {}) {
        more.insert(QStringLiteral("Warengruppe"), nr);
        more.insert(QStringLiteral("Mandant"), more.value(QStringLiteral("Mandant"), 1));
        more.insert(QStringLiteral("Anhang"), parent);
        more.insert(QStringLiteral("Bezeichnung"), name);
        more.insert(QStringLiteral("Update"), stamp);
        Append(QStringLiteral("Warengruppe.DB"), more);
    };
    group(9001, 0, kGroupTop, {{"Bild", "vbild.jpg"}, {"Beschreibung", kRtf}, {"Link1", "http://x.example/a'b"}});
    group(9002, 9001, QStringLiteral("Kind_1"));
    group(9003, 9002, QStringLiteral("Enkel%"));
    group(9004, 0, kGroupTop + QStringLiteral("x"));
    group(9005, 0, QStringLiteral("Versteckt"), {{"Internet", true}});
    group(9006, 9007, QStringLiteral("Kreis A"));
    group(9007, 9006, QStringLiteral("Kreis B"));
    group(9008, 987654, QStringLiteral("Waise"));
    group(9009, 0, QStringLiteral("Fremd"), {{"Mandant", 2}});

    // VAT records: plain 19, a change already in force, one not yet in force.
    auto vat = [&](int key, double before, double now, const QDate &from, const QVariant &newDate, const QVariant &newRate) {
        Append(QStringLiteral("MWST.DB"), {{"MwSt_Satz", key}, {"Bezeichnung", QStringLiteral("Test %1").arg(key)},
                                         {"Datum", from}, {"MwST", before}, {"NMwST", now}, {"NEU_Datum", newDate},
                                         {"NEU_MWST", newRate}});
    };
    vat(50, 16.0, 19.0, QDate(2007, 1, 1), QVariant(), QVariant());
    vat(51, 7.0, 7.0, QDate(2007, 1, 1), QDate(2020, 1, 1), 5.0);
    vat(52, 17.0, 19.0, QDate(2099, 1, 1), QVariant(), QVariant());

    auto article = [&](int nr, int group, bool online, QVariantMap more = {}) {
        more.insert(QStringLiteral("Artikel"), nr);
        more.insert(QStringLiteral("Art"), 0);
        more.insert(QStringLiteral("Mandant"), 1);
        more.insert(QStringLiteral("Artikelnummer"), more.value(QStringLiteral("Artikelnummer"), QStringLiteral("T-%1").arg(nr)));
        more.insert(QStringLiteral("Suchbegriff"), QStringLiteral("TEST %1").arg(nr));
        more.insert(QStringLiteral("Warengruppe"), group);
        more.insert(QStringLiteral("Internet"), online);
        more.insert(QStringLiteral("Update"), stamp);
        Append(QStringLiteral("Artikel.DB"), more);
    };
    article(9101, 9003, true,
            {{"Bezeichnung", kName}, {"VK1", 10.0}, {"VK2", 10.0}, {"VK3", 20.0}, {"Umsatzsteuer", 50},
             {"PreiseNetto", false}, {"Langtext", kRtf}, {"Warengruppen", "9002;9003,0;x"},
             {"bild1", "bilder\\Klein A.jpg"}, {"bild2", "wbild.jpg"}, {"Bild_klein", "wawi-eigenes.jpg"},
             {"Katalog", true}, {"Zusatzfeld01", "Z'eins"}, {"Angelegt", QDate(2026, 3, 9)},
             {"Artikelnummer", QStringLiteral("T-9101 'x'")}});
    article(9102, 9001, true, {{"VK1", 10.0}, {"Umsatzsteuer", 77}, {"PreiseNetto", false},
                               {"bild1", "http://bilder.example/p.jpg"}});
    article(9103, 9001, true, {{"VK1", 9.99}, {"Umsatzsteuer", 51}, {"PreiseNetto", true},
                               {"Grundpreiseinheit", "1 kg"}, {"Grundpreisfaktor", 0.5}});
    article(9104, 9001, false);                                  // offline: deleted in the shop
    article(9105, 9005, true, {{"Umsatzsteuer", 52}});            // hidden group, extra link: written
    article(9106, 9005, true);                                   // hidden group, no link: deleted
    article(9107, 123456, true);                                 // unknown group: left alone
    article(9108, 9009, true);                                   // group without node: top of the tree
    article(9109, 9004, true);                                   // the sibling's article

    // Graduated prices of 9101, levels 0..5, and variants using eigen2 and eigen4 only.
    int z = 90000;
    for (int level = 0; level <= 5; ++level)
        Append(QStringLiteral("VK_Staffel.db"), {{"Zaehler", z++}, {"Artikel", 9101}, {"Preisstufe", level},
                                                 {"Menge", 10.0 + level}, {"Preis", 10.0}});
    Append(QStringLiteral("Artikel_Eig.DB"), {{"id", 9901}, {"artikel", 9101}, {"ean", "40'01"}, {"eigen2", kVariant},
                                              {"eigen4", "XL"}, {"bestand", 2.5}, {"vk", 1.25}, {"Aufpreise", true}});
    Append(QStringLiteral("Artikel_Eig.DB"), {{"id", 9902}, {"artikel", 9101}, {"ean", "4002"}, {"eigen2", "rot"},
                                              {"bestand", 0.0}, {"vk", 0.0}});

    // Special prices: own customer, other Mandant, negative price.
    Append(QStringLiteral("Rabatt.DB"), {{"Zaehler", 99001}, {"Adresse", m_customer1}, {"Art", 0}, {"Artikel", 9101},
                                         {"Warengruppe", 0}, {"Menge", 2.5}, {"Preis", 8.5}, {"Rabatt", 0.0}, {"Update", stamp}});
    Append(QStringLiteral("Rabatt.DB"), {{"Zaehler", 99002}, {"Adresse", m_customer2}, {"Art", 0}, {"Artikel", 9102},
                                         {"Warengruppe", 0}, {"Menge", 1.0}, {"Preis", 7.0}, {"Rabatt", 0.0}, {"Update", stamp}});
    Append(QStringLiteral("Rabatt.DB"), {{"Zaehler", 99003}, {"Adresse", m_customer1}, {"Art", 0}, {"Artikel", 9103},
                                         {"Warengruppe", 0}, {"Menge", 1.0}, {"Preis", -1.0}, {"Rabatt", 0.0}, {"Update", stamp}});

    TableFile::WritePacketFile(Settings().ExeDir + QStringLiteral("warengruppen.xml"), WarengruppenLayout(),
                               {{1, 9004, 9105}, {2, 9002, 9109}});
}

void tst_Articles::cleanup()
{
    SetUiHooks(nullptr);
    Settings().AbortWait = false;
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
}

void tst_Articles::useShop(const QString &mode)
{
    ShopSettings &s = Settings();
    s.SQL_Server = mode == QLatin1String("direct") ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    s.SQL_HTTP = m_php.baseUrl();
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = db(mode);
    s.SQL_Global.clear();
    Shop().Ti_Connect_OffTimer();
}

TransferReport tst_Articles::run(bool complete, bool dryRun, const QString &logSql)
{
    TransferOptions o;
    o.kinds = {QStringLiteral("warengruppen"), QStringLiteral("artikel"), QStringLiteral("sonderpreise")};
    o.complete = complete;
    o.allData = !complete;
    o.sinceDate = false;
    o.dryRun = dryRun;
    o.logSqlFile = logSql;
    RecordingUiHooks hooks;
    SetUiHooks(&hooks);
    TransferRun r;
    r.Run(o);
    SetUiHooks(nullptr);
    return r.LastReport();
}

QString tst_Articles::dump(const QString &mode)
{
    QString out;
    const QStringList sqls = {
        "SELECT * FROM artikel ORDER BY zaehler", "SELECT * FROM wgruppen ORDER BY zaehler",
        "SELECT artikel,warengruppe,stufe FROM waverbindung ORDER BY 1,2,3",
        "SELECT kunde,kfmadr,kfmart,artikel,wgruppe,kfmwg,menge,preis,rabatt FROM sonderpreise ORDER BY 1,2,3,4,5,6,7,8",
        "SELECT id,artikel,ean,eigen1,eigen2,eigen3,eigen4,eigen5,bestand,vk,aufpreis FROM varianten ORDER BY 1,2"};
    for (const QString &sql : sqls) {
        QList<QStringList> rows;
        QString err;
        m_db.exec(sql, &err, &rows, db(mode));
        for (const QStringList &r : rows)
            out += r.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

void tst_Articles::transfer_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct") << "direct";
    QTest::newRow("gateway") << "gateway";
}

void tst_Articles::transfer()
{
    QFETCH(QString, mode);
    useShop(mode);
    // Rows the run must delete, keep or leave alone.
    QString err;
    QVERIFY2(m_db.exec("INSERT INTO artikel (zaehler,artikelnummer) VALUES (9104,'T-9104'),(9106,'T-9106'),(9107,'T-9107')",
                       &err, nullptr, db(mode)), qPrintable(err));
    QVERIFY2(m_db.exec(QStringLiteral("INSERT INTO sonderpreise (kunde,artikel,wgruppe,menge,preis) VALUES (%1,9103,0,1,3)")
                           .arg(m_customer1), &err, nullptr, db(mode)), qPrintable(err));
    QVERIFY2(m_db.exec("INSERT INTO sonderpreise (kunde,kfmart,artikel,wgruppe) VALUES (0,0,5,1),(3,1,0,0)",
                       &err, nullptr, db(mode)), qPrintable(err));
    QVERIFY2(m_db.exec("INSERT INTO waverbindung (artikel,warengruppe,stufe) VALUES (1,9001,NULL),(9101,9001,99)",
                       &err, nullptr, db(mode)), qPrintable(err));

    const TransferReport rep = run(false);
    QVERIFY2(rep.Succeeded(), qPrintable(rep.toText()));
    m_ran[mode == QLatin1String("direct") ? 0 : 1] = true;
    QVector<QString> names;
    for (const TransferStepReport &s : rep.steps)
        names << s.name;
    QCOMPARE(names, (QVector<QString>{"Schemaprüfung", "Warengruppen", "Artikel", "Sonderpreise"}));
}

void tst_Articles::columns_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    const QString pic = Settings().PictureSubdir;
    struct Case { const char *name; QString sql; QString expected; };
    const QVector<Case> cases = {
        {"net level converted with NMwSt", "SELECT vk1 FROM artikel WHERE zaehler=9101", "11.9"},
        {"level without conversion", "SELECT vk2 FROM artikel WHERE zaehler=9101", "10"},
        {"VAT rate of the record", "SELECT umsatzsteuer FROM artikel WHERE zaehler=9101", "19"},
        {"no VAT record gives 16", "SELECT umsatzsteuer FROM artikel WHERE zaehler=9102", "16"},
        {"no VAT record converts with 16", "SELECT vk1 FROM artikel WHERE zaehler=9102", "11.6"},
        {"NEU_Datum in force", "SELECT umsatzsteuer FROM artikel WHERE zaehler=9103", "5"},
        {"Datum not yet reached", "SELECT umsatzsteuer FROM artikel WHERE zaehler=9105", "17"},
        {"net prices stay", "SELECT vk1 FROM artikel WHERE zaehler=9103", "9.99"},
        {"grundanzeige", "SELECT grundanzeige FROM artikel WHERE zaehler=9103", "1 kg = 19.98"},
        {"zfeld1 from Zusatzfeld01", "SELECT zfeld1 FROM artikel WHERE zaehler=9101", "Z'eins"},
        {"startseite", "SELECT startseite FROM artikel WHERE zaehler=9101", "true"},
        {"startseite off", "SELECT startseite FROM artikel WHERE zaehler=9102", "false"},
        {"date column", "SELECT angelegt FROM artikel WHERE zaehler=9101", "2026-03-09"},
        {"kfmart", "SELECT kfmart FROM artikel WHERE zaehler=9101", "Artikel"},
        {"preisnetto", "SELECT preisnetto FROM artikel WHERE zaehler=9103", "1"},
        {"picture in the program folder, rule beats WaWi field", "SELECT bild_klein FROM artikel WHERE zaehler=9101",
         pic + PictureTargetName("Klein A.jpg")},
        {"picture in the WaWi folder", "SELECT bild_gross FROM artikel WHERE zaehler=9101", pic + "wbild.jpg"},
        {"web address kept", "SELECT bild_klein FROM artikel WHERE zaehler=9102", "http://bilder.example/p.jpg"},
        {"group picture from vorlagen", "SELECT bild FROM wgruppen WHERE zaehler=9001", pic + "vbild.jpg"},
        {"article number with apostrophe", "SELECT artikelnummer FROM artikel WHERE zaehler=9101", "T-9101 'x'"},
        {"name byte-exact", "SELECT HEX(bezeichnung) FROM artikel WHERE zaehler=9101", ansiHex(kName)},
        {"group name byte-exact", "SELECT HEX(bezeichnung) FROM wgruppen WHERE zaehler=9001", ansiHex(kGroupTop)},
        {"RTF long text as plain text", "SELECT langtext FROM artikel WHERE zaehler=9101",
         RtfToText(kRtf, 0, false).replace("\r\n", "<br>")},
        {"offline article deleted", "SELECT COUNT(*) FROM artikel WHERE zaehler=9104", "0"},
        {"hidden group without link deleted", "SELECT COUNT(*) FROM artikel WHERE zaehler=9106", "0"},
        {"hidden group with extra link written", "SELECT COUNT(*) FROM artikel WHERE zaehler=9105", "1"},
        {"unknown group left alone", "SELECT COUNT(*) FROM artikel WHERE zaehler=9107", "1"},
        {"hidden group not sent", "SELECT COUNT(*) FROM wgruppen WHERE zaehler=9005", "0"},
        {"first top group", "SELECT CONCAT(hierident) FROM wgruppen WHERE zaehler=9001", "0"},
        {"child one level down", "SELECT CONCAT(hierident) FROM wgruppen WHERE zaehler=9002", "1"},
        {"child right after its parent",
         "SELECT (SELECT hiernr FROM wgruppen WHERE zaehler=9002)-(SELECT hiernr FROM wgruppen WHERE zaehler=9001)", "1"},
        {"grandchild", "SELECT hierident FROM wgruppen WHERE zaehler=9003", "2"},
        {"article takes its group's place",
         "SELECT CONCAT(a.hierident=g.hierident) FROM artikel a, wgruppen g WHERE a.zaehler=9101 AND g.zaehler=9003", "1"},
        {"group without node: 0 and 0", "SELECT CONCAT(hiernr,'/',hierident) FROM artikel WHERE zaehler=9108", "0/0"},
        {"cycle placed once at the top", "SELECT GROUP_CONCAT(hierident ORDER BY zaehler) FROM wgruppen WHERE zaehler IN (9006,9007)", "1,0"},
        {"internal name path", "SELECT bezeichnung_intern FROM wgruppen WHERE zaehler=9003",
         kGroupTop + "_Kind_1_Enkel%"},
        {"orphan's internal name", "SELECT bezeichnung_intern FROM wgruppen WHERE zaehler=9008", "_Waise"},
        {"subtree count, not the sibling", "SELECT anzahl FROM wgruppen WHERE zaehler=9001", "3"},
        {"sibling counts its own and its link", "SELECT anzahl FROM wgruppen WHERE zaehler=9004", "2"},
        {"links of level 99", "SELECT GROUP_CONCAT(warengruppe ORDER BY warengruppe) FROM waverbindung WHERE artikel=9101 AND stufe=99", "9002,9003"},
        {"extra links of the file", "SELECT GROUP_CONCAT(CONCAT(artikel,'>',warengruppe) ORDER BY artikel) FROM waverbindung WHERE stufe IS NULL", "9105>9004,9109>9002"},
        {"graduated prices -1..-6", "SELECT GROUP_CONCAT(CONCAT(kunde,':',menge,':',preis) ORDER BY kunde DESC) FROM sonderpreise WHERE artikel=9101 AND kunde<0",
         "-1:10:10,-2:11:11.9,-3:12:10,-4:13:11.9,-5:14:10,-6:15:10"},
        {"variant gap closed", "SELECT CONCAT(HEX(eigen1),'|',COALESCE(eigen2,'null'),'|',eigen3,'|',ean,'|',bestand,'|',vk,'|',aufpreis) FROM varianten WHERE id=9901",
         ansiHex(kVariant) + "|null|XL|40'01|2.5|1.25|1"},
        {"variant without second property", "SELECT CONCAT(eigen1,'|',COALESCE(eigen3,'null'),'|',aufpreis) FROM varianten WHERE id=9902", "rot|null|0"},
        {"special price of own customer", "SELECT CONCAT(menge,':',preis) FROM sonderpreise WHERE kunde=%1 AND artikel=9101", "2.5:8.5"},
        {"other Mandant skipped", "SELECT COUNT(*) FROM sonderpreise WHERE artikel=9102 AND kunde>=0", "0"},
        {"negative price neither sent nor deleted", "SELECT preis FROM sonderpreise WHERE artikel=9103 AND kunde>=0", "3"},
        {"clean-up deletes", "SELECT COUNT(*) FROM sonderpreise WHERE (kunde=0 AND kfmart=0) OR (wgruppe=0 AND artikel=0)", "0"},
    };
    for (const char *mode : {"direct", "gateway"})
        for (const Case &c : cases)
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QString::fromLatin1(mode), QString::fromUtf8(c.name))))
                << QString::fromLatin1(mode) << c.sql << c.expected;
}

void tst_Articles::columns()
{
    QFETCH(QString, mode);
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    if (!m_ran[mode == QLatin1String("direct") ? 0 : 1])
        QSKIP("transfer did not run in this mode");
    if (sql.contains(QLatin1String("%1")))
        sql = sql.arg(m_customer1);
    QCOMPARE(scalar(sql, mode), expected);
}

void tst_Articles::secondRunChangesNothing_data()
{
    transfer_data();
}

void tst_Articles::secondRunChangesNothing()
{
    QFETCH(QString, mode);
    useShop(mode);
    const QString before = dump(mode);
    QVERIFY(!before.isEmpty());
    const TransferReport rep = run(false);
    QVERIFY2(rep.Succeeded(), qPrintable(rep.toText()));
    QCOMPARE(dump(mode), before);
}

void tst_Articles::dryRunWritesNothing()
{
    useShop(QStringLiteral("direct"));
    // A blank internal name a real run would fill.
    {
        TVLBTable t;
        t.SetTableName(QStringLiteral("Warengruppe.DB"));
        t.Open();
        QVERIFY(t.FindKey({9002}));
        t.Edit();
        t.FieldByName(QStringLiteral("Bezeichnung_Intern"))->Clear();
        t.Post();
    }
    const QByteArray wawiBefore = TableHash(m_wawi);
    const QString shopBefore = dump(QStringLiteral("direct"));
    const TransferReport rep = run(true, true);
    QVERIFY2(rep.Succeeded(), qPrintable(rep.toText()));
    QCOMPARE(TableHash(m_wawi), wawiBefore);
    QCOMPARE(dump(QStringLiteral("direct")), shopBefore);
    bool reported = false;
    for (const TransferStepReport &s : rep.steps)
        for (const QString &m : s.messages)
            reported = reported || (m.contains(QStringLiteral("9002")) && m.contains(kGroupTop + QStringLiteral("_Kind_1")));
    QVERIFY(reported);
    auto backupLines = [](const TransferReport &r) {
        QStringList out;
        for (const TransferStepReport &s : r.steps)
            for (const QString &m : s.messages)
                if (m.startsWith(QStringLiteral("Sicherung von ")))
                    out << s.name + QStringLiteral(": ") + m;
        return out;
    };
    QCOMPARE(backupLines(rep), QStringList());
    // The real run fills it again, after saving the table it writes.
    const TransferReport real = run(false);
    QVERIFY(real.Succeeded());
    QCOMPARE(scalar("SELECT bezeichnung_intern FROM wgruppen WHERE zaehler=9002", "direct"), kGroupTop + QStringLiteral("_Kind_1"));
    const QStringList backups = backupLines(real);
    QCOMPARE(backups.size(), 1);
    QVERIFY2(backups.first().startsWith(QStringLiteral("Warengruppen: Sicherung von Warengruppe.DB vor dem Schreiben: ")),
             qPrintable(backups.first()));
}

void tst_Articles::sinceRunSendsEditedArticles()
{
    useShop(QStringLiteral("direct"));
    QVERIFY(run(false).Succeeded());
    const QDateTime since = QDateTime::currentDateTime().addSecs(-1);
    {
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.Open();
        for (int nr : {9102, 9103, 9109}) {
            QVERIFY(t.FindKey({nr}));
            t.Edit();
            t.FieldByName(QStringLiteral("Bezeichnung2"))->SetAsString(QStringLiteral("geändert %1").arg(nr));
            t.FieldByName(QStringLiteral("Update"))->SetValue(QDateTime::currentDateTime().addSecs(60));
            t.Post();
        }
    }
    TransferOptions o;
    o.kinds = {QStringLiteral("artikel")};
    o.sinceDate = true;
    o.date = since.date();
    o.time = since.time();
    o.logSqlFile = m_env->file(QStringLiteral("since.sql"));
    TransferRun r;
    RecordingUiHooks hooks;
    SetUiHooks(&hooks);
    r.Run(o);
    SetUiHooks(nullptr);
    QVERIFY2(r.LastReport().Succeeded(), qPrintable(r.LastReport().toText()));
    QFile f(o.logSqlFile);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList written;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("UPDATE artikel SET") || line.startsWith("insert into artikel"))
            written << QString::fromUtf8(line.mid(line.indexOf("zaehler=") + 8, 4));
    written.sort();
    QCOMPARE(written, (QStringList{"9102", "9103", "9109"}));
    QCOMPARE(scalar("SELECT bezeichnung2 FROM artikel WHERE zaehler=9103", "direct"), QStringLiteral("geändert 9103"));
}

void tst_Articles::helpers_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    QTest::newRow("iso date") << IsoDateText("09.03.2026") << "2026-3-9";
    QTest::newRow("iso date blank") << IsoDateText("  ") << "";
    QTest::newRow("iso date no date") << IsoDateText("kein Datum") << "";
    QTest::newRow("gap closing") << VariantNames({"", "eigen2", "", "eigen4", ""}).join('|') << "eigen2||eigen4||";
    QTest::newRow("no gap") << VariantNames({"eigen1", "eigen2", "", "", ""}).join('|') << "eigen1|eigen2|||";
    QTest::newRow("accessories need the mark") << AccessoryNumbers("A-000001;A-000002", 1) << "";
}

void tst_Articles::helpers()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(tst_Articles)
#include "tst_Articles.moc"
