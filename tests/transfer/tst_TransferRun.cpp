// The transfer run against a private MariaDB, directly and through the
// gateway script: master-data uploads byte-exact, second runs, dry runs,
// the schema version ladder, STOP, a server that goes away, the statement
// log of a complete transfer (golden file) and the command-line tool.
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "shopdb/ShopConnection.h"
#include "transfer/LastTransfer.h"
#include "transfer/TransferRun.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"
#include "wawi/WaWiDetect.h"
#include "support/ActingHooks.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <functional>

using namespace mv;
using namespace mv::test;

namespace {

struct HooksScope {
    explicit HooksScope(UiHooks *h) { SetUiHooks(h); }
    ~HooksScope() { SetUiHooks(nullptr); }
};

FieldDef F(const char *name, FieldType t, int size = 0)
{
    return FieldDef{QString::fromUtf8(name), t, size};
}

const QString kBigChunk = QString::fromUtf8("Äpfel & Birnen #1 'süß' C:\\Obst\\ € ");

QString BigText()
{
    QString s;
    while (s.size() < 65536)
        s += kBigChunk;
    return s.left(65536);
}

const QString kNewsText = QString::fromUtf8("Zeile 1\r\nC:\\Pfad\\ mit 'Apostroph' & #\r\n"
                                            "<HTML><p>fett\r\nbleibt</p></HTML>\r\nEnde");
const QString kNewsStored = QString::fromUtf8("Zeile 1<br>C:\\Pfad\\ mit 'Apostroph' & #<br>"
                                              "<p>fett\r\nbleibt</p><br>Ende");

// The table files of the program folder, with every awkward character.
void WriteTableFiles(const QString &dir, bool big, int extraCountries = 0)
{
    QVector<QVector<QVariant>> rows;
    rows << QVector<QVariant>{QString::fromUtf8("Deutschland"), QString::fromUtf8("Euro €"), 1.0,
                              QStringLiteral("bilder\\Flagge DE.png"), QStringLiteral("0"), QString::fromUtf8("deutsch"),
                              QStringLiteral("1"), QStringLiteral("DE")};
    rows << QVector<QVariant>{QString::fromUtf8("Côte d'Ivoire"), QString::fromUtf8("Franc \\ CFA #&"), 655.957,
                              QStringLiteral("fehlt.png"), QStringLiteral("1"), QString::fromUtf8("französisch"),
                              QStringLiteral("0"), QStringLiteral("CI")};
    rows << QVector<QVariant>{QString::fromUtf8("Österreich"), QString::fromUtf8("Euro"), 1.0,
                              QStringLiteral("http://example.org/at.png"), QStringLiteral("0"), QString::fromUtf8("deutsch"),
                              QStringLiteral("1"), QStringLiteral("AT")};
    for (int i = 0; i < extraCountries; ++i)
        rows << QVector<QVariant>{QStringLiteral("Land %1").arg(i, 5, 10, QLatin1Char('0')), QStringLiteral("W"), 1.5,
                                  QStringLiteral("bilder\\Flagge DE.png"), QStringLiteral("0"), QString(), QString(),
                                  QString()};
    TableFile::WritePacketFile(dir + "laender4.xml",
                               {F("laendername", FieldType::String, 80), F("waerungsname", FieldType::String, 60),
                                F("kurs", FieldType::Float), F("fahne", FieldType::String, 200),
                                F("eu", FieldType::String, 20), F("sprache", FieldType::String, 50),
                                F("egident", FieldType::String, 10), F("isolaendercode", FieldType::String, 20)},
                               rows);

    QVector<FieldDef> news = {F("header", FieldType::String, 80), F("header2", FieldType::String, 80),
                              F("inhalt", FieldType::Memo), F("inhalt2", FieldType::Memo), F("bild", FieldType::String, 200)};
    TableFile::WritePacketFile(dir + "news6.xml", news,
                               {{QString::fromUtf8("Grüße & Küsse #1 'Neu'"), QStringLiteral("Greetings"), kNewsText,
                                 big ? BigText() : QStringLiteral("kurz"), QStringLiteral("http://example.org/n.jpg")},
                                {QString::fromUtf8("Zweite \\ Meldung"), QVariant(), QStringLiteral("ohne Umbruch"),
                                 QVariant(), QVariant()}});

    TableFile::WritePacketFile(dir + "versandtart6.xml",
                               {F("versandart", FieldType::String, 80), F("versandart2", FieldType::String, 80),
                                F("versandkosten", FieldType::Float), F("versandkosten_ausland", FieldType::Float),
                                F("beschreibung", FieldType::Memo)},
                               {{QString::fromUtf8("DHL 'Päckchen'"), QStringLiteral("parcel"), 4.9, 12.5,
                                 QStringLiteral("bis 2 kg\r\nversichert")},
                                {QStringLiteral("Abholung"), QVariant(), 0.0, QVariant(), QVariant()}});

    TableFile::WritePacketFile(dir + "versandkosten4.xml",
                               {F("volumen", FieldType::Float), F("gewicht", FieldType::Float),
                                F("versender", FieldType::String, 80), F("preis", FieldType::Float),
                                F("preis_ausland", FieldType::Float), F("Land", FieldType::String, 20)},
                               {{0.0, 1.5, QStringLiteral("DHL"), 4.9, 9.9, QStringLiteral("D")},
                                {0.0, 10.0, QString::fromUtf8("Spedition Müller"), 19.5, 49.0, QStringLiteral("D")}});

    TableFile::WritePacketFile(dir + "faq_gruppe6.xml",
                               {FieldDef{"z", FieldType::AutoInc, 0, true}, F("zaehler", FieldType::Integer),
                                F("bezeichnung", FieldType::String, 255), F("hiernr", FieldType::Integer),
                                F("hierident", FieldType::Integer), F("Bild", FieldType::String, 250)},
                               {{1, 7, QString::fromUtf8("Bestellung & Lieferung"), 1, 0, QStringLiteral("fehlt.gif")},
                                {2, 8, QString::fromUtf8("Rückgabe 'Ware'"), 2, 0, QVariant()}});
    TableFile::WritePacketFile(dir + "faq_thema6.xml",
                               {FieldDef{"zaehler", FieldType::AutoInc, 0, true}, F("gruppe", FieldType::Integer),
                                F("beschreibung", FieldType::String, 80), F("hilfe", FieldType::Memo),
                                F("Bild", FieldType::String, 250)},
                               {{1, 7, QString::fromUtf8("Wie lange dauert's?"), QStringLiteral("2 Tage\r\n<HTML>x\r\ny</HTML>"),
                                 QVariant()}});

    const QDateTime early(QDate(2026, 1, 15), QTime(10, 0));
    const QDateTime late(QDate(2026, 11, 20), QTime(8, 30));
    TableFile::WritePacketFile(dir + "newsletter_adr.xml", NewsletterLayout(),
                               {{QStringLiteral("alt@example.org"), QStringLiteral("K1"), 1, early},
                                {QStringLiteral("o'brien@example.org"), QStringLiteral("K2"), 0, late},
                                {QStringLiteral("neu@example.org"), QVariant(), 1, late},
                                {QStringLiteral("auch.alt@example.org"), QStringLiteral("K4"), 1, early}});
    TableFile::WritePacketFile(dir + "newsletter_notadr.xml", NewsletterLayout(),
                               {{QStringLiteral("nein@example.org"), QVariant(), QVariant(), late}});
}

const QStringList kShopTables = {"laender", "news", "versand", "nachgewicht", "faq_gruppe", "faq_thema",
                                 "newsletter", "newsletter_not"};
const QStringList kMasterKinds = {"laender", "versandarten", "news", "faq", "newsletter"};

QMap<QString, QByteArray> FolderHashes(const QString &dir)
{
    QMap<QString, QByteArray> m;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        QFile f(p);
        if (f.open(QIODevice::ReadOnly))
            m.insert(QDir(dir).relativeFilePath(p), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
    }
    return m;
}

} // namespace

class tst_TransferRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void uploads_data();
    void uploads();
    void faqRepair_data();
    void faqRepair();
    void versionLadder_data();
    void versionLadder();
    void stopDuringUpload_data();
    void stopDuringUpload();
    void serverStopsMidRun();
    void secondRunCannotStart();
    void brokenFileEndsOnlyItsStep();
    void goldenStatements();
    void cli();

private:
    void useShop(const QString &mode, const QString &database);
    QString db(const QString &mode) const { return mode == QLatin1String("direct") ? "t_direct" : "t_gateway"; }
    QList<QStringList> rows(const QString &sql, const QString &database);
    QString hex(const QString &sql, const QString &database) { return m_db.scalar(sql, database); }
    static QString ansiHex(const QString &s) { return QString::fromLatin1(ToAnsi(s).toHex().toUpper()); }
    QMap<QString, QString> checksums(const QString &database);
    QMap<QString, QList<QStringList>> contents(const QString &database);
    TransferOptions options(const QString &dateMode) const;

    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;
};

void tst_TransferRun::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    QVERIFY2(m_db.installShopSchema(QStringLiteral("t_direct"), &err), qPrintable(err));
    QVERIFY2(m_db.installShopSchema(QStringLiteral("t_gateway"), &err), qPrintable(err));
    QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), m_env->file(QStringLiteral("db"))));
    QDir().mkpath(m_env->file(QStringLiteral("bilder")));
    QFile flag(m_env->file(QStringLiteral("bilder/Flagge DE.png")));
    QVERIFY(flag.open(QIODevice::WriteOnly));
    flag.write("PNG-Flagge");
    flag.close();
}

void tst_TransferRun::cleanup()
{
    SetUiHooks(nullptr);
    Settings().AbortWait = false;
    // A connection the server dropped must not outlive the test.
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
}

void tst_TransferRun::useShop(const QString &mode, const QString &database)
{
    ShopSettings &s = Settings();
    s.SQL_Server = mode == QLatin1String("direct") ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    s.SQL_HTTP = m_php.baseUrl();
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = database;
    s.SQL_Global.clear();
    Shop().Ti_Connect_OffTimer();
}

QList<QStringList> tst_TransferRun::rows(const QString &sql, const QString &database)
{
    QList<QStringList> r;
    QString err;
    if (!m_db.exec(sql, &err, &r, database))
        qWarning("%s: %s", qPrintable(sql), qPrintable(err));
    return r;
}

QMap<QString, QString> tst_TransferRun::checksums(const QString &database)
{
    QMap<QString, QString> m;
    for (const QStringList &r : rows(QStringLiteral("CHECKSUM TABLE ") + kShopTables.join(QLatin1Char(',')), database))
        m.insert(r.value(0), r.value(1));
    for (const QString &t : kShopTables)
        m.insert(t + QStringLiteral("#rows"), m_db.scalar(QStringLiteral("SELECT COUNT(*) FROM ") + t, database));
    return m;
}

// Values without the tables' own counters (a complete transfer renumbers them).
QMap<QString, QList<QStringList>> tst_TransferRun::contents(const QString &database)
{
    QMap<QString, QList<QStringList>> m;
    for (const QString &t : kShopTables) {
        QList<QStringList> r = rows(QStringLiteral("SELECT * FROM ") + t, database);
        for (QStringList &row : r)
            row.removeFirst();
        std::sort(r.begin(), r.end());
        m.insert(t, r);
    }
    return m;
}

TransferOptions tst_TransferRun::options(const QString &dateMode) const
{
    TransferOptions o;
    for (const QString &k : kMasterKinds)
        o.kinds.insert(k);
    o.complete = dateMode == QLatin1String("complete");
    o.allData = dateMode == QLatin1String("all");
    o.sinceDate = dateMode == QLatin1String("since");
    o.date = QDate(2026, 6, 1);
    o.pictures = dateMode != QLatin1String("since");
    return o;
}

void tst_TransferRun::uploads_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("dateMode");
    for (const char *mode : {"direct", "gateway"})
        for (const char *dm : {"complete", "all", "since"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(mode, dm))) << QString(mode) << QString(dm);
}

void tst_TransferRun::uploads()
{
    QFETCH(QString, mode);
    QFETCH(QString, dateMode);
    const QString d = db(mode);
    useShop(mode, d);
    WriteTableFiles(Settings().ExeDir, true);
    QDir(Settings().PictureDir).removeRecursively();
    // Rows from an earlier transfer: found again by their keys (an
    // apostrophe in a text key, a decimal number as key) and updated.
    QVERIFY(m_db.exec(QStringLiteral("DELETE FROM laender; DELETE FROM nachgewicht; DELETE FROM news; DELETE FROM versand;"
                                     "DELETE FROM faq_gruppe; DELETE FROM faq_thema; DELETE FROM newsletter; DELETE FROM newsletter_not;"
                                     "INSERT INTO laender (laendername, waerungsname) VALUES ('Côte d''Ivoire', 'alt');"
                                     "INSERT INTO nachgewicht (gewicht, preis) VALUES (1.5, 1.0);"
                                     "INSERT INTO newsletter_not (EMail) VALUES ('bleibt@example.org')"),
                      nullptr, nullptr, d));
    const TransferOptions o = options(dateMode);

    // Dry run: nothing changes anywhere, and it predicts the real run.
    const auto before = checksums(d);
    const auto filesBefore = FolderHashes(m_env->path());
    TransferRun run;
    TransferOptions dry = o;
    dry.dryRun = true;
    {
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        QVERIFY(run.Run(dry));
        QCOMPARE(hooks.messages.last(), QStringLiteral("fertig"));
    }
    const TransferReport dryReport = run.LastReport();
    QVERIFY2(dryReport.ExitCode() == 0, qPrintable(dryReport.toText()));
    QCOMPARE(checksums(d), before);
    QCOMPARE(FolderHashes(m_env->path()), filesBefore);

    {
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        QVERIFY(run.Run(o));
    }
    const TransferReport &r = run.LastReport();
    QVERIFY2(r.ExitCode() == 0, qPrintable(r.toText() + Shop().ErrorLog().Text()));
    QCOMPARE(r.steps.size(), dryReport.steps.size());
    for (int i = 0; i < r.steps.size(); ++i) {
        const TransferStepReport &a = dryReport.steps[i], &b = r.steps[i];
        QCOMPARE(a.name, b.name);
        QCOMPARE(a.read, b.read);
        QCOMPARE(a.inserted, b.inserted);
        QCOMPARE(a.updated, b.updated);
        QCOMPARE(a.deleted, b.deleted);
    }
    QCOMPARE(r.steps.first().name, QStringLiteral("Schemaprüfung"));
    QCOMPARE(r.steps.size(), 6);

    // Byte-exact in the latin1 shop tables.
    QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM laender", d), QStringLiteral("3"));
    QCOMPARE(hex(QString::fromUtf8("SELECT HEX(waerungsname) FROM laender WHERE isolaendercode='CI'"), d),
             ansiHex(QString::fromUtf8("Franc \\ CFA #&")));
    QCOMPARE(hex("SELECT HEX(laendername) FROM laender WHERE isolaendercode='CI'", d), ansiHex(QString::fromUtf8("Côte d'Ivoire")));
    QCOMPARE(m_db.scalar("SELECT kurs FROM laender WHERE isolaendercode='CI'", d), QStringLiteral("655.957"));
    QCOMPARE(m_db.scalar("SELECT fahne FROM laender WHERE isolaendercode='DE'", d),
             o.pictures ? QStringLiteral("abilder/flagge_de.png") : QStringLiteral("NULL"));
    QCOMPARE(m_db.scalar("SELECT fahne FROM laender WHERE isolaendercode='CI'", d), QStringLiteral("NULL"));
    QCOMPARE(m_db.scalar("SELECT fahne FROM laender WHERE isolaendercode='AT'", d),
             o.pictures ? QStringLiteral("http://example.org/at.png") : QStringLiteral("NULL"));
    QCOMPARE(QFileInfo::exists(Settings().PictureDir + QStringLiteral("flagge_de.png")), o.pictures);
    QCOMPARE(hex(QString::fromUtf8("SELECT HEX(header) FROM news WHERE header LIKE 'Grü%'"), d),
             ansiHex(QString::fromUtf8("Grüße & Küsse #1 'Neu'")));
    QCOMPARE(hex(QString::fromUtf8("SELECT HEX(inhalt) FROM news WHERE header LIKE 'Grü%'"), d), ansiHex(kNewsStored));
    QCOMPARE(hex(QString::fromUtf8("SELECT HEX(inhalt2) FROM news WHERE header LIKE 'Grü%'"), d), ansiHex(BigText()));
    QCOMPARE(hex("SELECT HEX(header) FROM news WHERE inhalt='ohne Umbruch'", d), ansiHex(QStringLiteral("Zweite \\ Meldung")));
    QCOMPARE(m_db.scalar("SELECT header2 FROM news WHERE inhalt='ohne Umbruch'", d), QStringLiteral("NULL"));
    QCOMPARE(hex("SELECT HEX(beschreibung) FROM versand WHERE versandart LIKE 'DHL%'", d),
             ansiHex(QStringLiteral("bis 2 kg<br>versichert")));
    QCOMPARE(m_db.scalar("SELECT versandkosten FROM versand WHERE versandart='Abholung'", d), QStringLiteral("0"));
    QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM nachgewicht", d), QStringLiteral("2"));
    QCOMPARE(m_db.scalar("SELECT preis FROM nachgewicht WHERE gewicht=1.5", d), QStringLiteral("4.9"));
    QCOMPARE(m_db.scalar("SELECT GROUP_CONCAT(zaehler ORDER BY zaehler) FROM faq_gruppe", d), QStringLiteral("7,8"));
    QCOMPARE(m_db.scalar("SELECT bild FROM faq_gruppe WHERE zaehler=7", d), QStringLiteral("NULL"));
    QCOMPARE(hex("SELECT HEX(hilfe) FROM faq_thema", d), ansiHex(QStringLiteral("2 Tage<br>x\r\ny")));
    // Newsletter: since the reference date only the later entries.
    const QString expectedMails = dateMode == QLatin1String("since")
                                      ? QStringLiteral("neu@example.org,o'brien@example.org")
                                      : QStringLiteral("alt@example.org,auch.alt@example.org,neu@example.org,o'brien@example.org");
    QCOMPARE(m_db.scalar("SELECT GROUP_CONCAT(EMail ORDER BY EMail) FROM newsletter", d), expectedMails);
    QCOMPARE(m_db.scalar("SELECT GROUP_CONCAT(EMail ORDER BY EMail) FROM newsletter_not", d),
             dateMode == QLatin1String("complete") ? QStringLiteral("nein@example.org")
                                                   : QStringLiteral("bleibt@example.org,nein@example.org"));
    // The complete transfer emptied the tables first.
    const TransferStepReport &countries = r.steps[1];
    QCOMPARE(countries.name, QStringLiteral("Länder"));
    QCOMPARE(countries.read, 3);
    QCOMPARE(countries.deleted, dateMode == QLatin1String("complete") ? 1 : 0);
    QCOMPARE(countries.inserted, dateMode == QLatin1String("complete") ? 3 : 2);
    QCOMPARE(countries.updated, dateMode == QLatin1String("complete") ? 0 : 1);

    // A second identical run changes nothing.
    const auto sums = checksums(d);
    const auto values = contents(d);
    {
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        QVERIFY(run.Run(o));
    }
    QVERIFY2(run.LastReport().ExitCode() == 0, qPrintable(run.LastReport().toText()));
    QCOMPARE(contents(d), values);
    if (dateMode != QLatin1String("complete")) {
        QCOMPARE(checksums(d), sums);
        for (const TransferStepReport &s : run.LastReport().steps)
            QCOMPARE(s.inserted, 0);
    }
}

void tst_TransferRun::faqRepair_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct") << "direct";
    QTest::newRow("gateway") << "gateway";
}

void tst_TransferRun::faqRepair()
{
    QFETCH(QString, mode);
    const QString d = db(mode);
    useShop(mode, d);
    WriteTableFiles(Settings().ExeDir, false);
    // The older layout: the counter is called zaehler, there is no z.
    QVERIFY(m_db.exec(QStringLiteral("DROP TABLE faq_gruppe; CREATE TABLE faq_gruppe (zaehler INT(11) NOT NULL AUTO_INCREMENT,"
                                     " bezeichnung VARCHAR(255), hiernr INT, hierident INT, bild VARCHAR(255),"
                                     " PRIMARY KEY (zaehler)) DEFAULT CHARSET=latin1"),
                      nullptr, nullptr, d));
    TransferOptions o;
    o.kinds = {QStringLiteral("faq")};
    o.allData = true;
    o.sinceDate = false;
    const QString log = m_env->file(QStringLiteral("faq.sql"));
    o.logSqlFile = log;
    TransferRun run;
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    for (int pass = 0; pass < 2; ++pass) {
        QVERIFY(run.Run(o));
        QVERIFY2(run.LastReport().ExitCode() == 0, qPrintable(run.LastReport().toText()));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray sent = f.readAll();
        QCOMPARE(sent.count("ALTER TABLE faq_gruppe"), pass == 0 ? 2 : 0);
        // Column kinds come from the result's types in both modes: numbers bare.
        QVERIFY2(sent.contains(pass == 0 ? "values (7,'Bestellung & Lieferung',1,0,NULL)"
                                         : "SET zaehler=7,bezeichnung='Bestellung & Lieferung',hiernr=1,hierident=0,bild=NULL"),
                 sent.constData());
    }
    QCOMPARE(m_db.scalar("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION) FROM information_schema.columns"
                         " WHERE table_schema=DATABASE() AND table_name='faq_gruppe'", d),
             QStringLiteral("z,zaehler,bezeichnung,hiernr,hierident,bild"));
    QCOMPARE(m_db.scalar("SELECT GROUP_CONCAT(zaehler ORDER BY z) FROM faq_gruppe", d), QStringLiteral("7,8"));
    QFile::remove(log);
}

void tst_TransferRun::versionLadder_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("version");   // "" no version table, "-" table without row
    QTest::addColumn<int>("fillers");       // further tables beside ladder_log (and version)
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("ran");
    const QString all = QStringLiteral("20,25,26,30,31,32,40,60,70");
    for (const char *mode : {"direct", "gateway"}) {
        const QString m = QString::fromLatin1(mode);
        QTest::newRow(qPrintable(m + ": 1.0")) << m << "1.0" << 4 << true << all;
        QTest::newRow(qPrintable(m + ": version table without row")) << m << "-" << 4 << true << all;
        QTest::newRow(qPrintable(m + ": 2.3")) << m << "2.3" << 4 << true << all.mid(3);
        QTest::newRow(qPrintable(m + ": 6.0")) << m << "6.0" << 4 << true << "70";
        QTest::newRow(qPrintable(m + ": 7.0")) << m << "7.0" << 4 << true << "";
        QTest::newRow(qPrintable(m + ": 8.0 too new")) << m << "8.0" << 4 << false << "";
        QTest::newRow(qPrintable(m + ": five tables")) << m << "" << 4 << false << "";
        QTest::newRow(qPrintable(m + ": six tables without version")) << m << "" << 5 << true << all;
    }
}

void tst_TransferRun::versionLadder()
{
    QFETCH(QString, mode);
    QFETCH(QString, version);
    QFETCH(int, fillers);
    QFETCH(bool, reachable);
    QFETCH(QString, ran);
    const QString d = QStringLiteral("ladder");
    m_db.dropDatabase(d);
    QVERIFY(m_db.createDatabase(d));
    QString sql = QStringLiteral("CREATE TABLE ladder_log (seq INT AUTO_INCREMENT PRIMARY KEY, f VARCHAR(10));");
    for (int i = 0; i < fillers; ++i)
        sql += QStringLiteral("CREATE TABLE filler%1 (x INT);").arg(i);
    if (!version.isEmpty()) {
        sql += QStringLiteral("CREATE TABLE version (version DOUBLE NOT NULL, info VARCHAR(255));");
        if (version != QLatin1String("-"))
            sql += QStringLiteral("INSERT INTO version VALUES (%1, 'x');").arg(version);
    }
    QVERIFY(m_db.exec(sql, nullptr, nullptr, d));

    // Update scripts that only leave a trace; a blank line is skipped, a
    // "#" line goes to the database like any other (and is refused).
    TestEnv *env = m_env.get();
    const QString scripts = env->file(QStringLiteral("db/"));
    for (const char *n : {"20", "25", "26", "30", "31", "32", "40", "60", "70"}) {
        QFile f(scripts + QStringLiteral("update%1.sql").arg(n));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray body = "INSERT INTO ladder_log (f) VALUES ('" + QByteArray(n) + "')\r\n";
        if (QByteArray(n) == "25")
            body += "   \r\n";
        if (QByteArray(n) == "26")
            body += "# kein Kommentar\r\n";
        if (QByteArray(n) == "30")
            body += "KEIN GUELTIGES SQL\r\n";
        f.write(body);
    }
    useShop(mode, d);
    TransferRun run;
    QStringList captions;
    connect(&run, &TransferRun::captionChanged, this, [&](const QString &c) { captions << c; });
    bool sqlSettings = false;
    connect(&run, &TransferRun::sqlSettingsRequested, this, [&] { sqlSettings = true; });
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    TransferOptions o;
    o.kinds.clear();
    const QString log = QDir::temp().filePath(QStringLiteral("mv-ladder-%1.sql").arg(QCoreApplication::applicationPid()));
    o.logSqlFile = log;
    QVERIFY(run.Run(o));
    const TransferReport &r = run.LastReport();
    QFile lf(log);
    QVERIFY(lf.open(QIODevice::ReadOnly));
    const QByteArray sent = lf.readAll();
    lf.close();
    QFile::remove(log);
    QCOMPARE(sent.contains("\n# kein Kommentar;\n"), ran.contains(QLatin1String("26")));
    QCOMPARE(r.reachable, reachable);
    QCOMPARE(sqlSettings, !reachable);
    QCOMPARE(m_db.scalar("SELECT IFNULL(GROUP_CONCAT(f ORDER BY seq), '') FROM ladder_log", d), ran);
    QCOMPARE(hooks.messages.last(), QStringLiteral("fertig"));
    if (!reachable)
        QVERIFY(hooks.messages.contains(QStringLiteral("Keine Verbindung zum Shopserver!\rPrüfen Sie die SQL-Einstellungen, diese sind nicht korrekt!\r"
                                                       "Geben Sie diese bitte erneut ein!")));
    QCOMPARE(hooks.messages.contains(QStringLiteral("Dieser Ladenwart passt nicht zu dem Shop!\rBitte auch hier das Update installieren!")),
             version == QLatin1String("8.0"));
    if (ran.isEmpty()) {
        QVERIFY(captions.isEmpty());
    } else {
        QCOMPARE(captions.last(), QStringLiteral("Das Update der Datenbank wurde ausgeführt!"));
        // A refused script line is counted, not reported as success.
        QCOMPARE(r.steps.first().refused, ran.contains(QLatin1String("30")) ? 1 : 0);
        QCOMPARE(r.ExitCode(), ran.contains(QLatin1String("30")) ? 1 : 0);
    }
    if (!reachable)
        QCOMPARE(r.ExitCode(), 2);
    // Back to the real scripts for the other tests.
    QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), scripts));
}

void tst_TransferRun::stopDuringUpload_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("batched");
    QTest::newRow("direct") << "direct" << false;
    QTest::newRow("gateway") << "gateway" << false;
    QTest::newRow("direct batched") << "direct" << true;
    QTest::newRow("gateway batched") << "gateway" << true;
}

void tst_TransferRun::stopDuringUpload()
{
    QFETCH(QString, mode);
    QFETCH(bool, batched);
    const QString d = db(mode);
    useShop(mode, d);
    WriteTableFiles(Settings().ExeDir, false, 300);
    QDir(Settings().PictureDir).removeRecursively();
    TransferOptions o;
    o.kinds = {QStringLiteral("laender"), QStringLiteral("news")};
    o.complete = true;
    o.sinceDate = false;
    o.batched = batched;
    ActingHooks hooks;
    hooks.actAt = 60;
    hooks.act = [&] { hooks.cancel = true; };
    HooksScope scope(&hooks);
    TransferRun run;
    QVERIFY(run.Run(o));
    const TransferReport &r = run.LastReport();
    QVERIFY(r.stopped);
    QCOMPARE(r.ExitCode(), 1);
    QCOMPARE(r.steps.size(), 3);
    QVERIFY(r.steps[1].stopped);
    QVERIFY(r.steps[1].inserted < 303);
    QCOMPARE(r.steps[1].refused, 0);
    const qint64 rowsNow = m_db.scalar("SELECT COUNT(*) FROM laender", d).toLongLong();
    if (batched) {
        // Records still waiting for their batch are dropped; what was sent counts.
        QCOMPARE(rowsNow, r.steps[1].inserted);
    } else {
        QVERIFY(r.steps[1].inserted > 0);
        // Through the gateway the STOP may cut the request of the last record.
        QVERIFY(r.steps[1].read - r.steps[1].inserted <= (mode == QLatin1String("direct") ? 0 : 1));
        QVERIFY(rowsNow >= r.steps[1].inserted && rowsNow <= r.steps[1].read);
    }
    QVERIFY(!r.steps[2].ran);   // news skipped
    QVERIFY(!PictureList().isEmpty());   // collected, but not copied
    QVERIFY(!QFileInfo::exists(Settings().PictureDir + QStringLiteral("flagge_de.png")));
    QCOMPARE(hooks.messages.last(), QStringLiteral("fertig"));
    QVERIFY(!hooks.messages.join('|').contains(QStringLiteral("FTP")));
    QVERIFY(!Settings().AbortWait);
    QVERIFY(!run.IsRunning());
}

void tst_TransferRun::serverStopsMidRun()
{
    MariaDbServer server;
    QString err;
    MV_REQUIRE_SERVER(server.start(&err), err);
    QVERIFY2(server.installShopSchema(QStringLiteral("weg"), &err), qPrintable(err));
    ShopSettings &s = Settings();
    s.SQL_Server = QStringLiteral("MySQL");
    s.SQL_Host = server.hostPort();
    s.SQL_User = server.user();
    s.SQL_Pass = server.password();
    s.SQL_Data = QStringLiteral("weg");
    Shop().Ti_Connect_OffTimer();
    WriteTableFiles(s.ExeDir, false, 300);
    TransferOptions o;
    o.kinds = {QStringLiteral("laender"), QStringLiteral("news"), QStringLiteral("newsletter")};
    o.allData = true;
    o.sinceDate = false;
    const QByteArray iniBefore = [] {
        QFile f(SettingsFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    {
        ActingHooks hooks;
        hooks.actAt = 80;
        hooks.act = [&] { server.stop(); };
        HooksScope scope(&hooks);
        TransferRun run;
        QVERIFY(run.Run(o));
        const TransferReport &r = run.LastReport();
        QVERIFY(r.shopLost);
        QCOMPARE(r.ExitCode(), 2);
        QCOMPARE(r.steps[1].name, QStringLiteral("Länder"));
        QVERIFY(r.steps[1].failed);
        QVERIFY(r.steps[1].refused >= 1);
        QVERIFY2(r.steps[1].messages.join('\n').contains(QStringLiteral("Verbindung zum Shop ist unterbrochen")),
                 qPrintable(r.toText()));
        QVERIFY(!r.steps[2].ran);
        QVERIFY(!r.steps[3].ran);
        QVERIFY(r.toText().contains(QStringLiteral("Verbindung zum Shop während des Abgleichs verloren")));
        QCOMPARE(hooks.messages.last(), QStringLiteral("fertig"));
    }
    // No success was recorded.
    QFile ini(SettingsFilePath());
    QCOMPARE(ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray(), iniBefore);
    ini.close();

    // The server is back (a fresh one): the rerun completes.
    MV_REQUIRE_SERVER(server.start(&err), err);
    QVERIFY2(server.installShopSchema(QStringLiteral("weg"), &err), qPrintable(err));
    s.SQL_Host = server.hostPort();
    Shop().Ti_Connect_OffTimer();
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    TransferRun run;
    QVERIFY(run.Run(o));
    QVERIFY2(run.LastReport().ExitCode() == 0, qPrintable(run.LastReport().toText()));
    QCOMPARE(server.scalar("SELECT COUNT(*) FROM laender", QStringLiteral("weg")), QStringLiteral("303"));
    QVERIFY(ReadLastTransferEnd().isValid());
}

void tst_TransferRun::secondRunCannotStart()
{
    useShop(QStringLiteral("direct"), db(QStringLiteral("direct")));
    WriteTableFiles(Settings().ExeDir, false);
    TransferRun run;
    TransferOptions o;
    o.kinds = {QStringLiteral("laender")};
    bool inner = true;
    int innerRuns = 0;
    connect(&run, &TransferRun::stepStarted, this, [&](const QString &name) {
        if (name == QStringLiteral("Länder")) {
            inner = run.Run(o);
            ++innerRuns;
        }
    });
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    QVERIFY(run.Run(o));
    QCOMPARE(innerRuns, 1);
    QVERIFY(!inner);
    QCOMPARE(hooks.messages.count(QStringLiteral("fertig")), 1);
    QVERIFY(run.Run(o));   // afterwards it starts again
}

void tst_TransferRun::brokenFileEndsOnlyItsStep()
{
    useShop(QStringLiteral("direct"), db(QStringLiteral("direct")));
    WriteTableFiles(Settings().ExeDir, false);
    // A news file without its key field, a truncated countries file.
    TableFile::WritePacketFile(Settings().ExeDir + "news6.xml", {F("titel", FieldType::String, 80)},
                               {{QStringLiteral("ohne header")}});
    QFile f(Settings().ExeDir + "laender4.xml");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIE");
    f.close();
    TransferOptions o;
    o.kinds = {QStringLiteral("laender"), QStringLiteral("news"), QStringLiteral("faq")};
    o.allData = true;
    o.sinceDate = false;
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    TransferRun run;
    QStringList logLines;
    connect(&run, &TransferRun::logLine, this, [&](const QString &l) { logLines << l; });
    QVERIFY(run.Run(o));
    const TransferReport &r = run.LastReport();
    QCOMPARE(r.ExitCode(), 1);
    QCOMPARE(r.steps.size(), 4);
    QVERIFY(r.steps[1].failed);
    QVERIFY(r.steps[2].failed);
    QVERIFY(!r.steps[3].failed);
    QCOMPARE(r.steps[3].name, QStringLiteral("FAQ"));
    QCOMPARE(r.steps[3].read, 3);
    QCOMPARE(logLines.size(), 2);
    QVERIFY(logLines[0].startsWith(QStringLiteral("Systemfehler: ")));
    QVERIFY2(logLines[1].contains(QStringLiteral("header")), qPrintable(logLines[1]));
    QCOMPARE(r.errorLog, logLines);
    QVERIFY(!ReadLastTransferEnd().isValid() || ReadLastTransferEnd() < r.started);
}

void tst_TransferRun::goldenStatements()
{
    const QString d = QStringLiteral("golden");
    m_db.dropDatabase(d);
    QString err;
    QVERIFY2(m_db.installShopSchema(d, &err), qPrintable(err));
    useShop(QStringLiteral("direct"), d);
    WriteTableFiles(Settings().ExeDir, false);
    // A small demo WaWi for groups, articles, side tables and special prices
    // (the demo is the same for the same seed).
    const QString wawi = m_env->file(QStringLiteral("golden-wawi"));
    WaWiDemoOptions demo;
    demo.articles = 25;
    demo.addresses = 12;
    demo.groups = 8;
    demo.registerInRegistry = false;
    WriteWaWiDemo(wawi, demo);
    QVERIFY2(TVLBDatabase::Connect(wawi, &err), qPrintable(err));
    struct Disconnect {
        ~Disconnect() { TVLBDatabase::Disconnect(); }
    } disconnect;
    const ShopSettings saved = Settings();
    struct Restore {
        const ShopSettings &s;
        ~Restore() { Settings() = s; }
    } restore{saved};
    Settings().Aktiv_Mandant = 1;
    Settings().WaWiDir = wawi + QLatin1Char('/');
    Settings().E_VK_Netto = {};
    Settings().E_VK_Netto[1] = true;
    WaWiEdition() = 2;
    TransferOptions o;
    for (const TransferKind &k : TransferKinds())
        o.kinds.insert(k.name);
    o.complete = true;
    o.sinceDate = false;
    // The golden file is the one-by-one protocol's statement log.
    o.batched = false;
    const QString log = QDir::temp().filePath(QStringLiteral("mv-golden-%1.sql").arg(QCoreApplication::applicationPid()));
    o.logSqlFile = log;
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    TransferRun run;
    QVERIFY(run.Run(o));
    QVERIFY2(run.LastReport().TotalRefused() == 0, qPrintable(run.LastReport().toText()));
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray actual = f.readAll();
    f.close();
    QFile::remove(log);
    const QString golden = TestEnv::sourceDir() + QStringLiteral("/tests/transfer/golden/complete_transfer.sql");
    if (qEnvironmentVariableIsSet("MV_UPDATE_GOLDEN")) {
        QFile g(golden);
        QVERIFY(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
        g.write(actual);
        QSKIP("golden file written");
    }
    QFile g(golden);
    QVERIFY2(g.open(QIODevice::ReadOnly), "missing golden file; run once with MV_UPDATE_GOLDEN=1");
    const QList<QByteArray> want = g.readAll().split('\n'), got = actual.split('\n');
    for (int i = 0; i < std::min(want.size(), got.size()); ++i)
        QVERIFY2(want[i] == got[i], qPrintable(QStringLiteral("line %1:\n  want %2\n  got  %3")
                                                   .arg(i + 1)
                                                   .arg(QString::fromUtf8(want[i]), QString::fromUtf8(got[i]))));
    QCOMPARE(got.size(), want.size());
}

void tst_TransferRun::cli()
{
    const QString d = db(QStringLiteral("direct"));
    useShop(QStringLiteral("direct"), d);
    WriteTableFiles(Settings().ExeDir, false);
    QString err;
    QFile::remove(SettingsFilePath());
    QVERIFY(SaveSettings(&err));
    QVERIFY(!ReadLastTransferEnd().isValid());
    struct Result { int exit; QString out, err; };
    auto cli = [&](const QStringList &args) -> Result {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MARKTVOLL_HOME"), m_env->path());
        env.insert(QStringLiteral("MARKTVOLL_REGISTRY"), m_env->file(QStringLiteral("registry.reg")));
        p.setProcessEnvironment(env);
        p.start(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"), QStringList{"transfer"} + args);
        if (!p.waitForFinished(300000))
            return {-1, {}, QStringLiteral("timeout")};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    };
    const QString log = m_env->file(QStringLiteral("cli.sql"));
    QFile::remove(log);

    // Refused before anything is sent.
    Result r = cli({"--kinds", "laender,socken"});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Unbekannte Datenart: socken")), qPrintable(r.err));
    r = cli({"--kinds", "laender", "--since", "31.02.2026", "--log-sql", log});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Ungültiges Datum")), qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(log));
    r = cli({"--kinds", "kunden", "--log-sql", log});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Warenwirtschaft")), qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(log));
    r = cli({"--kinds", "laender", "--all", "--complete"});
    QCOMPARE(r.exit, 2);
    r = cli({"--kinds", "laender", "--all", "--compress", "--no-compress"});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(QStringLiteral("schließen sich aus")), qPrintable(r.err));

    // --since-last without a stored end: everything, with a notice.
    QVERIFY(m_db.exec(QStringLiteral("DELETE FROM laender; DELETE FROM newsletter"), nullptr, nullptr, d));
    const QString report = m_env->file(QStringLiteral("bericht.json"));
    r = cli({"--kinds", "laender, newsletter", "--since-last", "--log-sql", log, "--report", report});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QVERIFY2(r.err.contains(QStringLiteral("noch kein erfolgreicher Abgleich")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("%] Länder")));
    QVERIFY(r.out.contains(QStringLiteral("Ergebnis: erfolgreich")));
    QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM newsletter", d), QStringLiteral("4"));
    QFile rf(report);
    QVERIFY(rf.open(QIODevice::ReadOnly));
    const QJsonObject j = QJsonDocument::fromJson(rf.readAll()).object();
    QCOMPARE(j.value("exitCode").toInt(), 0);
    const QJsonArray steps = j.value("steps").toArray();
    QCOMPARE(steps.size(), 3);
    QCOMPARE(steps[1].toObject().value("name").toString(), QStringLiteral("Länder"));
    QCOMPARE(steps[1].toObject().value("inserted").toInt(), 3);
    QFile lf(log);
    QVERIFY(lf.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = lf.readAll().split('\n');
    QVERIFY(lines.first().startsWith("SET SESSION sql_mode"));
    QVERIFY(lines.contains(QByteArray("SHOW TABLES;")));
    lf.close();
    QFile ini(SettingsFilePath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("LetzterAbgleich="));
    ini.close();

    // The stored end is the reference moment now: the older newsletter
    // entries lie before it, nothing new is sent.
    r = cli({"--kinds", "newsletter", "--since-last", "--dry-run"});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QVERIFY2(r.err.contains(QStringLiteral("seit dem letzten erfolgreichen Abgleich")), qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("Probelauf")));

    // Dry run of a complete transfer: the shop keeps its rows.
    r = cli({"--kinds", "laender", "--complete", "--dry-run"});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM laender", d), QStringLiteral("3"));
    // The switch back to one statement per round trip.
    r = cli({"--kinds", "laender", "--all", "--one-by-one", "--compress"});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM laender", d), QStringLiteral("3"));

    // The shop cannot be reached.
    Settings().SQL_Host = QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort());
    QVERIFY(SaveSettings(&err));
    r = cli({"--all-kinds", "--all"});
    QCOMPARE(r.exit, 2);
    r = cli({"--kinds", "laender", "--all"});
    QCOMPARE(r.exit, 2);
    QVERIFY(r.out.contains(QStringLiteral("keine Verbindung zum Shop")));
    useShop(QStringLiteral("direct"), d);
    QVERIFY(SaveSettings(&err));
}

QTEST_GUILESS_MAIN(tst_TransferRun)
#include "tst_TransferRun.moc"
