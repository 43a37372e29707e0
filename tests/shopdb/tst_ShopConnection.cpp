// ShopExecute/ShopOpen in both modes against a private MariaDB and the
// shop's gateway script on PHP's built-in server: the same statements and
// queries must give the same typed tables.
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/ShopErrorLog.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QtTest>

using namespace mv;
using namespace mv::test;

namespace {

enum class Mode { Direct, Gateway, GlobalsOff };

void setMode(Mode m)
{
    Settings().SQL_Server = m == Mode::Direct ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    Settings().SQL_Global = m == Mode::GlobalsOff ? QStringLiteral("2") : QString();
}

QString q(const QString &s)
{
    QString t = s;
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

// Values that have broken shops: every one must come back as written.
QStringList sampleTexts()
{
    return {
        QString::fromUtf8("Müller Ärger Öl Übel straße"),
        QString::fromUtf8("Preis 5 € netto"),
        QStringLiteral("O'Brien's \"Laden\""),
        QStringLiteral("C:\\Pfad\\n\\' Ende\\"),
        QStringLiteral("a#b ###x:1# +++newline+++ <br> &#35;"),
        QStringLiteral("x&y=1?z&dbpass=2"),
        QStringLiteral("1+1 = 2 %20 100%"),
        QString::fromUtf8("acute´ grave` both´`"),
        QStringLiteral("Zeile1\r\nZeile2\nZeile3"),
        QStringLiteral("  Blanks  "),
        QString(),
    };
}

QString describe(const MemTable &t)
{
    QStringList parts;
    for (const FieldDef &d : t.FieldDefList())
        parts << QStringLiteral("%1:%2:%3").arg(d.name, FieldTypeName(d.type)).arg(d.size);
    return parts.join(QLatin1Char(' '));
}

bool sameValue(const FieldDef &d, const QVariant &a, const QVariant &b)
{
    // The gateway cannot tell an empty text from NULL: both read empty.
    if (IsTextType(d.type))
        return a.toString() == b.toString();
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    return a == b;
}

} // namespace

class tst_ShopConnection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void sameTablesInAllModes_data();
    void sameTablesInAllModes();
    void longStatementsAndTexts_data();
    void longStatementsAndTexts();
    void errors_data();
    void errors();
    void modeSwitchIsCaseSensitive();
    void errorPageWithoutMarkGivesMinus10();
    void directConnectionReuseAndTimers();
    void acuteAccent();
    void errorTextIsTheFailuresOwn_data();
    void errorTextIsTheFailuresOwn();
    void unexpectedErrorKeepsItsText();
    void cleanupTestCase();

private:
    MemTable *open(Mode m, const QString &sql, int *result = nullptr);
    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;
    RecordingUiHooks m_ui;
    MySqlConnection *m_queryConn = nullptr;
};

void tst_ShopConnection::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    SetUiHooks(&m_ui);
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    ShopSettings &s = Settings();
    s.SQL_HTTP = m_php.baseUrl();
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = m_db.database();
    QVERIFY2(m_db.exec(QStringLiteral(
                 "CREATE TABLE mix (id INT NOT NULL PRIMARY KEY, big BIGINT, f DOUBLE, d DECIMAL(10,2),"
                 " dt DATE, ts DATETIME, name VARCHAR(40), t MEDIUMTEXT, n INT NULL) DEFAULT CHARSET=latin1"),
                       &err),
             qPrintable(err));
    m_queryConn = new MySqlConnection(this);
}

void tst_ShopConnection::init()
{
    Settings().AbortWait = false;
    Shop().ErrorLog().Clear();
}

void tst_ShopConnection::cleanupTestCase()
{
    SetUiHooks(nullptr);
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
}

MemTable *tst_ShopConnection::open(Mode m, const QString &sql, int *result)
{
    setMode(m);
    auto *t = new MemTable(this);
    TShopQuery query{m_queryConn, t};
    const int r = Shop().ShopOpen(sql, query);
    if (result)
        *result = r;
    return t;
}

void tst_ShopConnection::sameTablesInAllModes_data()
{
    QTest::addColumn<int>("writer");
    QTest::newRow("written directly") << int(Mode::Direct);
    QTest::newRow("written through the gateway") << int(Mode::Gateway);
    QTest::newRow("written with Globals Off") << int(Mode::GlobalsOff);
}

void tst_ShopConnection::sameTablesInAllModes()
{
    QFETCH(int, writer);
    const int base = 1000 * (writer + 1);
    const QStringList texts = sampleTexts();
    setMode(Mode(writer));
    for (int i = 0; i < texts.size(); ++i) {
        const QString v = texts.at(i).isNull() ? QStringLiteral("NULL") : q(texts.at(i));
        const QString sql = QStringLiteral("INSERT INTO mix VALUES (%1, %2, %3, %4, %5, %6, %7, %8, %9)")
                                .arg(base + i)
                                .arg(i == 0 ? QStringLiteral("NULL") : QString::number(5000000000LL + i))
                                .arg(i % 2 ? QStringLiteral("-2.25") : QStringLiteral("1234.5"))
                                .arg(QStringLiteral("12.50"))
                                .arg(i == 1 ? QStringLiteral("NULL") : QStringLiteral("'2024-02-%1'").arg(10 + i))
                                .arg(QStringLiteral("'2023-12-31 23:59:%1'").arg(10 + i))
                                .arg(v, v)
                                .arg(i % 3 ? QStringLiteral("NULL") : QString::number(-i));
        QCOMPARE(Shop().ShopExecute(sql), 0);
    }
    QVERIFY2(Shop().ErrorLog().IsEmpty(), qPrintable(Shop().ErrorLog().Text()));

    const QString select = QStringLiteral("SELECT * FROM mix WHERE id >= %1 AND id < %2 ORDER BY id").arg(base).arg(base + 1000);
    int r = -1;
    MemTable *direct = open(Mode::Direct, select, &r);
    QCOMPARE(r, 0);
    QCOMPARE(direct->RecordCount(), int(texts.size()));
    // What was written is what comes back.
    int i = 0;
    for (direct->First(); !direct->Eof(); direct->Next(), ++i) {
        QString expected = texts.at(i);
        expected.replace(QChar(0xB4), QLatin1String("&acute;"));
        QCOMPARE(direct->FieldByName("name")->AsString(), expected);
        QCOMPARE(direct->FieldByName("t")->AsString(), expected);
        QCOMPARE(direct->FieldByName("name")->IsNull(), texts.at(i).isNull());
    }
    QCOMPARE(describe(*direct), QStringLiteral("id:Integer:0 big:LargeInt:0 f:Float:0 d:Float:0 dt:Date:0 ts:String:255 "
                                               "name:String:40 t:Memo:0 n:Integer:0"));

    for (Mode m : {Mode::Gateway, Mode::GlobalsOff}) {
        MemTable *gw = open(m, select, &r);
        QCOMPARE(r, 0);
        QCOMPARE(describe(*gw), describe(*direct));
        QCOMPARE(gw->RecordCount(), direct->RecordCount());
        const auto &dr = direct->RawRows();
        const auto &gr = gw->RawRows();
        const auto defs = direct->FieldDefList();
        // The gateway's table holds the rows in reverse order.
        for (int row = 0; row < dr.size(); ++row)
            for (int f = 0; f < defs.size(); ++f)
                QVERIFY2(sameValue(defs.at(f), dr.at(row).at(f), gr.at(gr.size() - 1 - row).at(f)),
                         qPrintable(QStringLiteral("row %1 field %2: %3 / %4").arg(row).arg(defs.at(f).name,
                             dr.at(row).at(f).toString(), gr.at(gr.size() - 1 - row).at(f).toString())));
        gw->First();
        QCOMPARE(gw->FieldByName("id")->AsInteger(), base + int(texts.size()) - 1);
    }
}

void tst_ShopConnection::longStatementsAndTexts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("length");
    // 1499 / 1500 characters of request address decide between address and form
    for (Mode m : {Mode::Gateway, Mode::GlobalsOff}) {
        const char *name = m == Mode::Gateway ? "gateway" : "Globals Off";
        QTest::addRow("%s 1499", name) << int(m) << 1499;
        QTest::addRow("%s 1500", name) << int(m) << 1500;
        QTest::addRow("%s 70000 (over 64 kB)", name) << int(m) << -70000;
    }
    QTest::addRow("direct 70000") << int(Mode::Direct) << -70000;
}

void tst_ShopConnection::longStatementsAndTexts()
{
    QFETCH(int, mode);
    QFETCH(int, length);
    static int id = 5000;
    ++id;
    setMode(Mode(mode));
    const QString head = QStringLiteral("INSERT INTO mix (id, t) VALUES (%1, '").arg(id);
    QString sql;
    QString text;
    if (length > 0) {
        // Pad the SQL text so that the whole request address has exactly `length` characters.
        const int fixed = int(GatewayAddress(GatewayRequest::Statement, head + QStringLiteral("')")).size());
        text = QString(length - fixed, QLatin1Char('x'));
        text[0] = QChar(0xFC); // ü
        text[1] = QLatin1Char('#');
        sql = head + text + QStringLiteral("')");
        QCOMPARE(GatewayAddress(GatewayRequest::Statement, sql).size(), length);
    } else {
        QString unit = QString::fromUtf8("Grüße & 100% + #1 'quoted' €\\ ");
        unit.replace(QLatin1Char('\''), QLatin1String("''"));
        while (text.size() < -length)
            text += unit;
        sql = head + text + QStringLiteral("')");
        text.replace(QLatin1String("''"), QLatin1String("'"));
    }
    QCOMPARE(Shop().ShopExecute(sql), 0);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT LENGTH(t) FROM mix WHERE id = %1").arg(id)).toInt(), int(ToAnsi(text).size()));
    int r = -1;
    MemTable *t = open(Mode(mode), QStringLiteral("SELECT t FROM mix WHERE id = %1").arg(id), &r);
    QCOMPARE(r, 0);
    QCOMPARE(t->RecordCount(), 1);
    QCOMPARE(t->FieldByName("t")->AsString(), text);
}

void tst_ShopConnection::errors_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("query");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("logLine");
    const QString missing = QStringLiteral("INSERT INTO gibtsnicht VALUES (1)");
    const QString syntax = QStringLiteral("INSERT INTO mix VALUE S (1)");
    const QString missingQ = QStringLiteral("SELECT * FROM gibtsnicht");
    for (Mode m : {Mode::Gateway, Mode::GlobalsOff}) {
        const char *n = m == Mode::Gateway ? "gateway" : "Globals Off";
        QTest::addRow("%s missing table", n) << int(m) << false << missing << 1146 << "Fehlernr:1146 " + missing;
        QTest::addRow("%s syntax", n) << int(m) << false << syntax << 1064 << "Fehlernr:1064 " + syntax;
        QTest::addRow("%s query missing table", n) << int(m) << true << missingQ << 1146 << "Fehlernr:1146 " + missingQ;
    }
    // Direct statements log the statement text alone.
    QTest::addRow("direct missing table") << int(Mode::Direct) << false << missing << -10 << missing;
    QTest::addRow("direct query") << int(Mode::Direct) << true << missingQ << -10 << "Fehlernr:-10 " + missingQ;
}

void tst_ShopConnection::errors()
{
    QFETCH(int, mode);
    QFETCH(bool, query);
    QFETCH(QString, sql);
    QFETCH(int, result);
    QFETCH(QString, logLine);
    QSignalSpy spy(&Shop().ErrorLog(), &ShopErrorLog::lineAdded);
    int r = 0;
    if (query) {
        open(Mode(mode), sql, &r);
    } else {
        setMode(Mode(mode));
        r = Shop().ShopExecute(sql);
    }
    QCOMPARE(r, result);
    QCOMPARE(Shop().ErrorLog().Lines(), QStringList{logLine});
    QCOMPARE(spy.count(), 1);
    QCOMPARE(m_ui.busyDepth, 0);
}

void tst_ShopConnection::modeSwitchIsCaseSensitive()
{
    // With no web server behind the address only the direct mode can succeed.
    const QString http = Settings().SQL_HTTP;
    Settings().SQL_HTTP = QStringLiteral("http://127.0.0.1:%1").arg(freeLoopbackPort());
    Settings().SQL_Server = QStringLiteral("html-verbindung");
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM mix WHERE id = -1")), 0);
    Settings().SQL_Server = QStringLiteral("HTML-Verbindung");
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM mix WHERE id = -1")), -10);
    Settings().SQL_HTTP = http;
}

void tst_ShopConnection::errorPageWithoutMarkGivesMinus10()
{
    const QString http = Settings().SQL_HTTP;
    Settings().SQL_HTTP = m_php.baseUrl() + QStringLiteral("/gibtsnicht"); // 404 page of the server
    setMode(Mode::Gateway);
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM mix WHERE id = -1")), -10);
    int r = 0;
    MemTable *t = open(Mode::Gateway, QStringLiteral("SELECT 1"), &r);
    QCOMPARE(r, -10);
    QVERIFY(!t->Active());
    QVERIFY(Gateway().GatewayColumnNames().isEmpty());
    Settings().SQL_HTTP = http;
    QCOMPARE(Shop().ErrorLog().Lines().size(), 2);
}

void tst_ShopConnection::directConnectionReuseAndTimers()
{
    setMode(Mode::Direct);
    Shop().Ti_Connect_OffTimer();
    QCOMPARE(Shop().ShopExecute(QStringLiteral("SET @mv_marker = 42")), 0);
    QVERIFY(Shop().SQLConnection1().Connected());
    QVERIFY(Shop().Ti_Connect_Off().isActive());
    QCOMPARE(Shop().Ti_Connect_Off().interval(), 2000);
    // A session variable survives only on the same connection.
    QCOMPARE(Shop().ShopExecute(QStringLiteral("INSERT INTO mix (id, n) VALUES (7001, @mv_marker)")), 0);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT n FROM mix WHERE id = 7001")), QStringLiteral("42"));
    QTRY_VERIFY_WITH_TIMEOUT(!Shop().SQLConnection1().Connected(), 3500);
    QCOMPARE(Shop().ShopExecute(QStringLiteral("INSERT INTO mix (id, n) VALUES (7002, @mv_marker)")), 0);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT n FROM mix WHERE id = 7002")), QStringLiteral("NULL"));

    // Queries: the opening record's connection is closed 1 s after the last one.
    int r = -1;
    open(Mode::Direct, QStringLiteral("SELECT 1"), &r);
    QCOMPARE(r, 0);
    QVERIFY(m_queryConn->Connected());
    QCOMPARE(Shop().Ti_Connect2_Off().interval(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_queryConn->Connected(), 2500);

    // A failed connect: -10, no log line, closed; the next call tries again.
    const QString pass = Settings().SQL_Pass;
    Settings().SQL_Pass = QStringLiteral("falsch");
    Shop().Ti_Connect_OffTimer();
    QCOMPARE(Shop().ShopExecute(QStringLiteral("SELECT 1")), -10);
    QVERIFY(Shop().ErrorLog().IsEmpty());
    QVERIFY(!Shop().LastErrorText().isEmpty());
    Settings().SQL_Pass = pass;
    QCOMPARE(Shop().ShopExecute(QStringLiteral("SELECT 1")), 0);
    QCOMPARE(Shop().ShopExecute(QString()), 0); // empty: nothing happens
}

void tst_ShopConnection::acuteAccent()
{
    // Statements carry "&acute;" for the acute accent in both modes; a
    // direct query's text is left alone.
    const QString value = QString::fromUtf8("a´b");
    for (Mode m : {Mode::Direct, Mode::Gateway}) {
        setMode(m);
        const int id = m == Mode::Direct ? 7101 : 7102;
        QCOMPARE(Shop().ShopExecute(QStringLiteral("INSERT INTO mix (id, name) VALUES (%1, %2)").arg(id).arg(q(value))), 0);
        QCOMPARE(m_db.scalar(QStringLiteral("SELECT name FROM mix WHERE id = %1").arg(id)), QStringLiteral("a&acute;b"));
    }
    QVERIFY(m_db.exec(QStringLiteral("INSERT INTO mix (id, name) VALUES (7103, CONCAT('a', CHAR(180 USING latin1), 'b'))")));
    int r = -1;
    MemTable *t = open(Mode::Direct, QStringLiteral("SELECT id FROM mix WHERE name = %1").arg(q(value)), &r);
    QCOMPARE(r, 0);
    QCOMPARE(t->RecordCount(), 1);
    QCOMPARE(t->FieldByName("id")->AsInteger(), 7103);
}

void tst_ShopConnection::errorTextIsTheFailuresOwn_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("direct") << int(Mode::Direct);
    QTest::newRow("gateway") << int(Mode::Gateway);
    QTest::newRow("Globals Off") << int(Mode::GlobalsOff);
}

void tst_ShopConnection::errorTextIsTheFailuresOwn()
{
    QFETCH(int, mode);
    setMode(Mode(mode));
    // A failed statement names its own table ...
    QVERIFY(Shop().ShopExecute(QStringLiteral("INSERT INTO gibtsnicht_eins VALUES (1)")) != ShopResult::Done);
    QVERIFY2(Shop().LastErrorText().contains(QLatin1String("gibtsnicht_eins")), qPrintable(Shop().LastErrorText()));
    // ... a success leaves no text behind ...
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM mix WHERE id = -1")), ShopResult::Done);
    QCOMPARE(Shop().LastErrorText(), QString());
    int r = 0;
    open(Mode(mode), QStringLiteral("SELECT 1"), &r);
    QCOMPARE(r, ShopResult::Done);
    QCOMPARE(Shop().LastErrorText(), QString());
    // ... and the next failure is told by its own text, not the one before.
    QVERIFY(Shop().ShopExecute(QStringLiteral("INSERT INTO gibtsnicht_zwei VALUES (1)")) != ShopResult::Done);
    open(Mode(mode), QStringLiteral("SELECT spalte_drei FROM mix"), &r);
    QVERIFY(r != ShopResult::Done);
    QVERIFY2(Shop().LastErrorText().contains(QLatin1String("spalte_drei")), qPrintable(Shop().LastErrorText()));
    QVERIFY(!Shop().LastErrorText().contains(QLatin1String("gibtsnicht")));
    if (Mode(mode) != Mode::Direct) {
        // No gateway behind the address: the transport says why.
        const QString http = Settings().SQL_HTTP;
        Settings().SQL_HTTP = m_php.baseUrl() + QStringLiteral("/gibtsnicht");
        // (Globals Off looks for the form on the error page and finds none.)
        QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM mix WHERE id = -1")),
                 Mode(mode) == Mode::Gateway ? ShopResult::NoAnswer : ShopResult::GatewayFailed);
        Settings().SQL_HTTP = http;
        QVERIFY2(Shop().LastErrorText().contains(QLatin1String("404")), qPrintable(Shop().LastErrorText()));
    }
}

namespace {
// A transport that fails in a way nobody planned for.
class ThrowingTransport : public GatewayTransport {
public:
    Fetch FetchGatewayPage(const QString &, QStringList &) override { throw std::runtime_error("Speicher voll"); }
};
} // namespace

void tst_ShopConnection::unexpectedErrorKeepsItsText()
{
    setMode(Mode::Gateway);
    ThrowingTransport broken;
    Gateway().SetTransport(&broken);
    const int r = Shop().ShopExecute(QStringLiteral("DELETE FROM mix WHERE id = -1"));
    MemTable t;
    TShopQuery q{nullptr, &t};
    const QString executeText = Shop().LastErrorText();
    const int ro = Shop().ShopOpen(QStringLiteral("SELECT 1"), q);
    Gateway().SetTransport(nullptr);
    QCOMPARE(r, ShopResult::GatewayFailed);
    QCOMPARE(ro, ShopResult::GatewayFailed);
    QVERIFY2(executeText.contains(QLatin1String("Speicher voll")), qPrintable(executeText));
    QVERIFY2(Shop().LastErrorText().contains(QLatin1String("Speicher voll")), qPrintable(Shop().LastErrorText()));
    QCOMPARE(Shop().ErrorLog().Lines(), (QStringList{QStringLiteral("Fehlernr:-9 DELETE FROM mix WHERE id = -1"),
                                                     QStringLiteral("Fehlernr:-9 SELECT 1")}));
}

QTEST_GUILESS_MAIN(tst_ShopConnection)
#include "tst_ShopConnection.moc"
