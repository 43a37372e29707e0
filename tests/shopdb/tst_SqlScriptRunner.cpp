// Installation scripts: "#" lines close statements, blank lines vanish,
// failures of single statements do not stop the run.
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/SqlScriptRunner.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_SqlScriptRunner : public QObject {
    Q_OBJECT
private slots:
    void statements_data();
    void statements();
    void missingFileIsEmpty();
    void runOnServer_data();
    void runOnServer();
};

void tst_SqlScriptRunner::statements_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("last statement without # line") << QByteArray("CREATE TABLE a (x INT)\r\n#\r\nDROP TABLE b")
                                                   << QStringList{"CREATE TABLE a (x INT)", "DROP TABLE b"};
    QTest::newRow("lines joined with blanks, comment after #")
        << QByteArray("CREATE TABLE a (\r\n  x INT,\r\n  y INT\r\n)\r\n# Tabelle a\r\n")
        << QStringList{"CREATE TABLE a (   x INT,   y INT )"};
    QTest::newRow("indented # is part of the statement")
        << QByteArray("INSERT INTO a VALUES (1)\r\n  # no separator\r\n#\r\n")
        << QStringList{"INSERT INTO a VALUES (1)   # no separator"};
    QTest::newRow("two # lines in a row") << QByteArray("A\r\n#\r\n#\r\nB\r\n#") << QStringList{"A", "B"};
    QTest::newRow("blank and control lines skipped")
        << QByteArray("A\r\n   \r\n\t\x01\r\n\r\nB\r\n#") << QStringList{"A B"};
    QTest::newRow("semicolons mean nothing") << QByteArray("A; B;\r\n#\r\n") << QStringList{"A; B;"};
    QTest::newRow("ANSI text, LF only") << QByteArray("INSERT INTO a VALUES ('\xe4\x80')\n#\n")
                                        << QStringList{QString::fromUtf8("INSERT INTO a VALUES ('ä€')")};
    QTest::newRow("only comments") << QByteArray("# eins\r\n# zwei\r\n") << QStringList{};
}

void tst_SqlScriptRunner::statements()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, expected);
    TestEnv env;
    QFile f(env.file("s.sql"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(script);
    f.close();
    QCOMPARE(SqlScriptRunner::Statements(SqlScriptRunner::LoadLines(f.fileName())), expected);
    QStringList ran;
    const auto o = SqlScriptRunner::Run(f.fileName(), [&](const QString &s) { ran << s; return ran.size() % 2 == 1; });
    QCOMPARE(ran, expected);
    QCOMPARE(o.executed, int(expected.size()));
    QCOMPARE(o.failed, int(expected.size()) / 2);
}

void tst_SqlScriptRunner::missingFileIsEmpty()
{
    int calls = 0;
    const auto o = SqlScriptRunner::Run(QStringLiteral("/nonexistent/db/dbschema.sql"), [&](const QString &) { ++calls; return true; });
    QCOMPARE(calls, 0);
    QCOMPARE(o.executed, 0);
}

void tst_SqlScriptRunner::runOnServer_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct connection") << "direct";
    QTest::newRow("ShopExecute, gateway") << "gateway";
    QTest::newRow("ShopExecute, Globals Off") << "globalsoff";
}

void tst_SqlScriptRunner::runOnServer()
{
    QFETCH(QString, mode);
    TestEnv env;
    RecordingUiHooks ui;
    SetUiHooks(&ui);
    MariaDbServer db;
    PhpServer php;
    QString err;
    MV_REQUIRE_SERVER(db.start(&err), err);
    MV_REQUIRE_SERVER(php.startShop(&err), err);
    ShopSettings &s = Settings();
    s.SQL_HTTP = php.baseUrl();
    s.SQL_Host = db.hostPort();
    s.SQL_User = db.user();
    s.SQL_Pass = db.password();
    s.SQL_Data = db.database();
    s.SQL_Server = mode == "direct" ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    s.SQL_Global = mode == "globalsoff" ? QStringLiteral("2") : QString();

    QFile f(env.file("schema.sql"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(ToAnsi(QString::fromUtf8(
        "# Testschema\r\n"
        "DROP TABLE IF EXISTS kunden\r\n#\r\n"
        "CREATE TABLE kunden (\r\n  nr INT NOT NULL,\r\n  name VARCHAR(40),\r\n  PRIMARY KEY (nr)\r\n) DEFAULT CHARSET=latin1;\r\n"
        "#\r\n"
        "INSERT INTO gibtsnicht VALUES (1)\r\n#   fails and is skipped\r\n"
        "INSERT INTO kunden VALUES (1, 'Müller ''Laden'' C:\\Pfad\\')\r\n#\r\n"
        "\r\n   \r\n"
        "INSERT INTO kunden VALUES (2, 'a # b')\r\n")));
    f.close();
    SqlScriptRunner::Outcome o;
    if (mode == "direct") {
        MySqlConnection c;
        QVERIFY2(c.Connect(MySqlParams::fromSettings()), qPrintable(c.LastError()));
        o = SqlScriptRunner::Run(f.fileName(), c);
    } else {
        o = SqlScriptRunner::RunThroughShop(f.fileName());
        QCOMPARE(Shop().ErrorLog().Lines().size(), 1);
        QVERIFY(Shop().ErrorLog().Lines().first().startsWith("Fehlernr:1146 INSERT INTO gibtsnicht"));
        Shop().ErrorLog().Clear();
    }
    QCOMPARE(o.executed, 5);
    QCOMPARE(o.failed, 1);
    QList<QStringList> rows;
    QVERIFY(db.exec(QStringLiteral("SELECT nr, name FROM kunden ORDER BY nr"), &err, &rows));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(1), QString::fromUtf8("Müller 'Laden' C:\\Pfad\\"));
    QCOMPARE(rows.at(1).at(1), QStringLiteral("a # b"));
    Shop().Ti_Connect_OffTimer();
    SetUiHooks(nullptr);
}

QTEST_GUILESS_MAIN(tst_SqlScriptRunner)
#include "tst_SqlScriptRunner.moc"
