// marktvoll-cli sql and schema install, run as a user runs them: the built
// program with a ShopMod.ini in its program folder.
#include "core/ShopSettings.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_ShopConnectionCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void schemaInstall_data();
    void schemaInstall();
    void sqlQuery_data();
    void sqlQuery();
    void sqlFailure_data();
    void sqlFailure();

private:
    struct Run { int exit; QString out, err; };
    Run cli(const QStringList &args);
    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;
};

tst_ShopConnectionCli::Run tst_ShopConnectionCli::cli(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MARKTVOLL_HOME"), m_env->path());
    p.setProcessEnvironment(env);
    p.start(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"), args);
    if (!p.waitForFinished(300000))
        return {-1, {}, QStringLiteral("timeout")};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

void tst_ShopConnectionCli::initTestCase()
{
    QVERIFY(QFileInfo::exists(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli")));
    m_env = std::make_unique<TestEnv>();
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), m_env->file(QStringLiteral("db"))));
    ShopSettings &s = Settings();
    s.SQL_Server = QStringLiteral("MySQL");
    s.SQL_HTTP = m_php.baseUrl();
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = QStringLiteral("clishop");
    QVERIFY(SaveSettings(&err));
}

void tst_ShopConnectionCli::schemaInstall_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct (creates the database)") << "direct";
    QTest::newRow("gateway") << "gateway";
}

void tst_ShopConnectionCli::schemaInstall()
{
    QFETCH(QString, mode);
    // The second row finds the shop of the first: --yes empties it.
    const Run r = cli({"schema", "install", "--mode", mode, "--yes"});
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    const QRegularExpression re(QStringLiteral("^Datenbanktabellen wurden angelegt!\n(\\d+) Tabellen\n$"));
    const auto m = re.match(r.out);
    QVERIFY2(m.hasMatch(), qPrintable(r.out));
    QCOMPARE(m.captured(1), m_db.scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema='clishop'")));
    QVERIFY(m.captured(1).toInt() > 26);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT COUNT(*) FROM artikel"), QStringLiteral("clishop")), QStringLiteral("0"));
}

void tst_ShopConnectionCli::sqlQuery_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct") << "direct";
    QTest::newRow("gateway") << "gateway";
}

void tst_ShopConnectionCli::sqlQuery()
{
    QFETCH(QString, mode);
    QVERIFY(m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS cli (id INT, name VARCHAR(20), p DOUBLE) DEFAULT CHARSET=latin1"),
                      nullptr, nullptr, QStringLiteral("clishop")));
    Run r = cli({"sql", "--mode", mode, "--execute", QString::fromUtf8("INSERT INTO cli VALUES (1, 'Grüße \"€\"', 2.5), (2, NULL, NULL)")});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("Ergebnis: 0\n"));
    r = cli({"sql", "--mode", mode, "SELECT id, name, p FROM cli ORDER BY id"});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("{\"columns\":[{\"name\":\"id\",\"type\":\"Integer\",\"size\":0},"
                                         "{\"name\":\"name\",\"type\":\"String\",\"size\":20},"
                                         "{\"name\":\"p\",\"type\":\"Float\",\"size\":0}]}"));
    // The gateway delivers the rows in reverse order.
    const int first = mode == "direct" ? 1 : 2;
    QCOMPARE(QJsonDocument::fromJson(lines.at(first).toUtf8()).object().value("name").toString(), QString::fromUtf8("Grüße \"€\""));
    QCOMPARE(QJsonDocument::fromJson(lines.at(first).toUtf8()).object().value("p").toDouble(), 2.5);
    QVERIFY(QJsonDocument::fromJson(lines.at(3 - first).toUtf8()).object().value("p").isNull());
    QVERIFY(m_db.exec(QStringLiteral("DELETE FROM cli"), nullptr, nullptr, QStringLiteral("clishop")));
}

void tst_ShopConnectionCli::sqlFailure_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("execute");
    QTest::addColumn<QString>("line");
    QTest::newRow("gateway statement") << "gateway" << true << "Fehlernr:1146 INSERT INTO nix VALUES (1)";
    QTest::newRow("direct statement") << "direct" << true << "INSERT INTO nix VALUES (1)";
    QTest::newRow("gateway query") << "gateway" << false << "Fehlernr:1146 INSERT INTO nix VALUES (1)";
    QTest::newRow("direct query") << "direct" << false << "Fehlernr:-10 INSERT INTO nix VALUES (1)";
}

void tst_ShopConnectionCli::sqlFailure()
{
    QFETCH(QString, mode);
    QFETCH(bool, execute);
    QFETCH(QString, line);
    QStringList args{"sql", "--mode", mode};
    if (execute)
        args << "--execute";
    args << "INSERT INTO nix VALUES (1)";
    const Run r = cli(args);
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QLatin1Char('\n') + line + QLatin1Char('\n')), qPrintable(r.err));
    QVERIFY(r.err.startsWith(QStringLiteral("Ergebnis: ")));
    QCOMPARE(cli({"sql", "--mode", "odbc", "SELECT 1"}).exit, 2);
}

QTEST_GUILESS_MAIN(tst_ShopConnectionCli)
#include "tst_ShopConnectionCli.moc"
