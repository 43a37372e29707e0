// One table of typed values written and read through every route the
// program has to the shop database (direct, the gateway's address route,
// its form route, "Globals Off"), on a latin1 and on a utf8mb4 shop: every
// route must store the same bytes and read the same typed values. The
// gateway routes run the program's own transport (Windows-1252 requests)
// against the shop's script on PHP's built-in server.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/ShopErrorLog.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QStringEncoder>
#include <QtTest>

using namespace mv;
using namespace mv::test;

namespace {

enum class Route { Direct, Address, Form, GlobalsOff };
const Route kRoutes[] = {Route::Direct, Route::Address, Route::Form, Route::GlobalsOff};

const char *routeName(Route r)
{
    switch (r) {
    case Route::Direct: return "direct";
    case Route::Address: return "address";
    case Route::Form: return "form";
    case Route::GlobalsOff: return "Globals Off";
    }
    return "?";
}

// A value as SQL literal and as the field value every route must read.
struct Cell {
    QString literal;
    QVariant expected;
};

struct ValueRow {
    const char *tag;
    QString text;        // null: NULL
    Cell u, big, ubig, d, dt;
};

QString textLiteral(const QString &s)
{
    if (s.isNull())
        return QStringLiteral("NULL");
    QString t = s;
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

Cell nullCell() { return {QStringLiteral("NULL"), QVariant()}; }
Cell integer(const char *v) { return {QString::fromLatin1(v), QVariant(QByteArray(v).toLongLong())}; }
Cell date(const char *v, const QDate &d) { return {QStringLiteral("'%1'").arg(QLatin1String(v)), d.isValid() ? QVariant(d) : QVariant()}; }
Cell dateTime(const char *v, const char *read) { return {QStringLiteral("'%1'").arg(QLatin1String(v)), QVariant(QString::fromLatin1(read))}; }

QList<ValueRow> valueTable()
{
    return {
        {"umlauts", QStringLiteral("Müller Ärger Öl Übel Straße"), integer("4294967295"),
         integer("9223372036854775807"), integer("9223372036854775807"), date("2024-02-29", QDate(2024, 2, 29)),
         dateTime("2024-02-29 13:45:00", "2024-02-29 13:45:00")},
        {"euro and cp1252 quotes", QStringLiteral("Preis 5 € netto – „gut“ … ™"), integer("3000000000"),
         integer("-9223372036854775808"), integer("18446744073709551"), date("2024-02-00", QDate()),
         dateTime("2024-02-00 10:00:00", "0000-00-00 00:00:00")},
        {"apostrophes", QStringLiteral("O'Brien's \"Laden\" '' '"), integer("0"), integer("-1"), integer("0"),
         date("0000-00-00", QDate()), dateTime("0000-00-00 00:00:00", "0000-00-00 00:00:00")},
        {"empty string", QString(QLatin1String("")), integer("2147483648"), integer("2147483648"),
         integer("4294967296"), nullCell(), nullCell()},
        {"NULL", QString(), nullCell(), nullCell(), nullCell(), nullCell(), nullCell()},
        {"marks and backslash", QStringLiteral("a#b ###x:1# +++newline+++ <br> C:\\neu\\ 100% & 1+1"), integer("1"),
         integer("5000000000"), integer("1"), date("1999-12-31", QDate(1999, 12, 31)),
         dateTime("1999-12-31 23:59:59", "1999-12-31 23:59:59")},
    };
}

// Makes a statement long enough that its request address goes through
// the gateway page's form (1500 characters or more).
QString padded(const QString &sql)
{
    return sql + QStringLiteral(" /*") + QString(1500, QLatin1Char('x')) + QStringLiteral("*/");
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    return !a.isValid() || (a.typeId() == b.typeId() && a == b);
}

QString show(const QVariant &v)
{
    return v.isValid() ? QStringLiteral("%1(%2)").arg(QLatin1String(v.typeName()), v.toString()) : QStringLiteral("NULL");
}

} // namespace

class tst_ShopTypedValues : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void sameValuesOnEveryRoute_data();
    void sameValuesOnEveryRoute();
    void umlautAccessDataOnEveryRoute_data();
    void umlautAccessDataOnEveryRoute();
    void cleanupTestCase();

private:
    struct ShopDb {
        QString charset, database;
        PhpServer php;
    };
    void use(ShopDb &shop, Route r);
    int write(ShopDb &shop, Route r, const QString &sql);
    MemTable *read(ShopDb &shop, Route r, const QString &sql, int *result);

    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    ShopDb m_shops[2];
    RecordingUiHooks m_ui;
    MySqlConnection *m_queryConn = nullptr;
    ShopDb *m_current = nullptr;
};

void tst_ShopTypedValues::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    SetUiHooks(&m_ui);
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    m_shops[0].charset = QStringLiteral("latin1");
    m_shops[0].database = QStringLiteral("shop_latin1");
    m_shops[1].charset = QStringLiteral("utf8mb4");
    m_shops[1].database = QStringLiteral("shop_utf8mb4");
    for (ShopDb &s : m_shops) {
        QVERIFY2(m_db.createDatabaseWithCharset(s.database, s.charset, &err), qPrintable(err));
        QVERIFY2(m_db.exec(QStringLiteral("CREATE TABLE typed (id INT NOT NULL PRIMARY KEY, txt VARCHAR(60),"
                                          " memo MEDIUMTEXT, u INT UNSIGNED, big BIGINT, ubig BIGINT UNSIGNED,"
                                          " d DATE, dt DATETIME, n INT)"),
                           &err, nullptr, s.database),
                 qPrintable(err));
        MV_REQUIRE_SERVER(s.php.startShop(&err), err);
        // As the settings window writes it: the shop's own database host.
        QVERIFY2(s.php.writeShopConfig(m_db.hostPort(), s.charset, &err), qPrintable(err));
    }
    ShopSettings &st = Settings();
    st.SQL_Host = m_db.hostPort();
    st.SQL_User = m_db.user();
    st.SQL_Pass = m_db.password();
    m_queryConn = new MySqlConnection(this);
}

void tst_ShopTypedValues::init()
{
    Settings().AbortWait = false;
    Shop().ErrorLog().Clear();
}

void tst_ShopTypedValues::cleanupTestCase()
{
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
    SetUiHooks(nullptr);
}

void tst_ShopTypedValues::use(ShopDb &shop, Route r)
{
    ShopSettings &s = Settings();
    if (m_current != &shop) {
        // Direct connections read the settings when they open.
        Shop().Ti_Connect_OffTimer();
        m_queryConn->Disconnect();
        m_current = &shop;
    }
    s.SQL_Data = shop.database;
    s.SQL_HTTP = shop.php.baseUrl();
    s.SQL_Server = r == Route::Direct ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    s.SQL_Global = r == Route::GlobalsOff ? QStringLiteral("2") : QString();
}

int tst_ShopTypedValues::write(ShopDb &shop, Route r, const QString &sql)
{
    use(shop, r);
    const QString text = r == Route::Form ? padded(sql) : sql;
    if (r == Route::Form && GatewayAddress(GatewayRequest::Statement, text).size() < 1500)
        return -1000;
    if (r == Route::Address && GatewayAddress(GatewayRequest::Statement, text).size() >= 1500)
        return -1000;
    return Shop().ShopExecute(text);
}

MemTable *tst_ShopTypedValues::read(ShopDb &shop, Route r, const QString &sql, int *result)
{
    use(shop, r);
    auto *t = new MemTable(this);
    TShopQuery q{m_queryConn, t};
    *result = Shop().ShopOpen(r == Route::Form ? padded(sql) : sql, q);
    return t;
}

void tst_ShopTypedValues::sameValuesOnEveryRoute_data()
{
    QTest::addColumn<int>("shop");
    QTest::addColumn<int>("writer");
    for (int shop = 0; shop < 2; ++shop)
        for (Route w : kRoutes)
            QTest::addRow("%s shop, written %s", shop == 0 ? "latin1" : "utf8mb4", routeName(w)) << shop << int(w);
}

void tst_ShopTypedValues::sameValuesOnEveryRoute()
{
    QFETCH(int, shop);
    QFETCH(int, writer);
    ShopDb &s = m_shops[shop];
    const QList<ValueRow> rows = valueTable();
    const int base = 100 * (writer + 1);

    for (int i = 0; i < rows.size(); ++i) {
        const ValueRow &v = rows.at(i);
        const QString sql = QStringLiteral("INSERT INTO typed (id, txt, memo, u, big, ubig, d, dt, n) "
                                           "VALUES (%1, %2, %2, %3, %4, %5, %6, %7, NULL)")
                                .arg(base + i)
                                .arg(textLiteral(v.text), v.u.literal, v.big.literal, v.ubig.literal, v.d.literal,
                                     v.dt.literal);
        const int r = write(s, Route(writer), sql);
        QVERIFY2(r == 0, qPrintable(QStringLiteral("%1: %2 %3").arg(QLatin1String(v.tag)).arg(r).arg(Shop().LastErrorText())));
    }
    QVERIFY2(Shop().ErrorLog().IsEmpty(), qPrintable(Shop().ErrorLog().Text()));

    // The bytes in the table are the text in the shop's character set.
    const char *encoding = s.charset == QLatin1String("latin1") ? "windows-1252" : "utf-8";
    for (int i = 0; i < rows.size(); ++i) {
        const ValueRow &v = rows.at(i);
        const QString stored = m_db.scalar(QStringLiteral("SELECT IFNULL(HEX(txt), 'NULL') FROM typed WHERE id = %1").arg(base + i),
                                           s.database);
        const QString expected = v.text.isNull() ? QStringLiteral("NULL")
                                                 : QString::fromLatin1(QByteArray(QStringEncoder(encoding).encode(v.text)).toHex().toUpper());
        QVERIFY2(stored == expected, qPrintable(QStringLiteral("%1: %2 / %3").arg(QLatin1String(v.tag), stored, expected)));
    }

    const QString select = QStringLiteral("SELECT id, txt, memo, u, big, ubig, d, dt, n FROM typed "
                                          "WHERE id >= %1 AND id < %2 ORDER BY id").arg(base).arg(base + 100);
    for (Route r : kRoutes) {
        int result = -1;
        MemTable *t = read(s, r, select, &result);
        QVERIFY2(result == 0, qPrintable(QStringLiteral("read %1: %2 %3").arg(QLatin1String(routeName(r))).arg(result)
                                             .arg(Shop().LastErrorText())));
        QStringList types;
        for (const FieldDef &d : t->FieldDefList())
            types << QStringLiteral("%1:%2:%3").arg(d.name, FieldTypeName(d.type)).arg(d.size);
        QCOMPARE(types.join(QLatin1Char(' ')),
                 QStringLiteral("id:Integer:0 txt:String:60 memo:Memo:0 u:LargeInt:0 big:LargeInt:0 ubig:LargeInt:0 "
                                "d:Date:0 dt:String:255 n:Integer:0"));
        QCOMPARE(t->RecordCount(), int(rows.size()));
        // The gateway's table holds the rows in reverse order: look them up by id.
        for (t->First(); !t->Eof(); t->Next()) {
            const int i = t->FieldByName(QStringLiteral("id"))->AsInteger() - base;
            QVERIFY(i >= 0 && i < rows.size());
            const ValueRow &v = rows.at(i);
            const QVariant text = v.text.isNull() ? QVariant() : QVariant(v.text);
            const QList<QPair<const char *, QVariant>> expected{
                {"txt", text}, {"memo", text}, {"u", v.u.expected}, {"big", v.big.expected},
                {"ubig", v.ubig.expected}, {"d", v.d.expected}, {"dt", v.dt.expected}, {"n", QVariant()}};
            for (const auto &[name, want] : expected) {
                const QVariant got = t->FieldByName(QLatin1String(name))->Value();
                QVERIFY2(sameValue(got, want), qPrintable(QStringLiteral("read %1, %2.%3: %4, expected %5")
                                                              .arg(QLatin1String(routeName(r)), QLatin1String(v.tag),
                                                                   QLatin1String(name), show(got), show(want))));
            }
        }

        // Comparisons with text literals find the rows on every route.
        for (int i : {0, 1, 2, 3}) {
            const QString where = QStringLiteral("SELECT COUNT(*) AS c FROM typed WHERE id >= %1 AND id < %2 AND txt = %3")
                                      .arg(base).arg(base + 100).arg(textLiteral(rows.at(i).text));
            MemTable *c = read(s, r, where, &result);
            QCOMPARE(result, 0);
            QVERIFY2(c->FieldByName(QStringLiteral("c"))->AsInteger() == 1,
                     qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(routeName(r)), QLatin1String(rows.at(i).tag))));
        }
        MemTable *like = read(s, r, QStringLiteral("SELECT id FROM typed WHERE id >= %1 AND id < %2 AND memo LIKE '%€%'")
                                        .arg(base).arg(base + 100), &result);
        QCOMPARE(result, 0);
        QCOMPARE(like->RecordCount(), 1);
        QCOMPARE(like->FieldByName(QStringLiteral("id"))->AsInteger(), base + 1);
    }
    QVERIFY2(Shop().ErrorLog().IsEmpty(), qPrintable(Shop().ErrorLog().Text()));
}

void tst_ShopTypedValues::umlautAccessDataOnEveryRoute_data()
{
    QTest::addColumn<int>("shop");
    QTest::addColumn<int>("route");
    for (int shop = 0; shop < 2; ++shop)
        for (Route r : kRoutes)
            QTest::addRow("%s shop, %s", shop == 0 ? "latin1" : "utf8mb4", routeName(r)) << shop << int(r);
}

void tst_ShopTypedValues::umlautAccessDataOnEveryRoute()
{
    // A user and password with umlauts and "€" log in the same on every
    // route (the server compares what the direct client sends: UTF-8).
    QFETCH(int, shop);
    QFETCH(int, route);
    static bool created = false;
    const QString user = QStringLiteral("mv_müller");
    const QString pass = QStringLiteral("Pässwört€&#+ 1");
    QString err;
    if (!created) {
        QVERIFY2(m_db.exec(QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY '%2'; GRANT ALL ON *.* TO '%1'@'%';")
                               .arg(user, pass),
                           &err, nullptr, QStringLiteral("mysql")),
                 qPrintable(err));
        created = true;
    }
    ShopSettings &s = Settings();
    const QString oldUser = s.SQL_User, oldPass = s.SQL_Pass;
    s.SQL_User = user;
    s.SQL_Pass = pass;
    Shop().Ti_Connect_OffTimer();
    m_queryConn->Disconnect();
    const int r = write(m_shops[shop], Route(route), QStringLiteral("DELETE FROM typed WHERE id = -1"));
    const QString text = Shop().LastErrorText();
    int q = -1;
    MemTable *t = read(m_shops[shop], Route(route), QStringLiteral("SELECT CURRENT_USER() AS u"), &q);
    Shop().Ti_Connect_OffTimer();
    m_queryConn->Disconnect();
    s.SQL_User = oldUser;
    s.SQL_Pass = oldPass;
    QVERIFY2(r == 0, qPrintable(QStringLiteral("%1 %2").arg(r).arg(text)));
    QCOMPARE(q, 0);
    QCOMPARE(t->FieldByName(QStringLiteral("u"))->AsString(), user + QStringLiteral("@%"));
}

QTEST_GUILESS_MAIN(tst_ShopTypedValues)
#include "tst_ShopTypedValues.moc"
