// marktvoll-cli sql prints a query's values like every other command that
// prints records: the same row through the direct connection and through
// the gateway, against real servers.

#include "core/ShopSettings.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QProcess>
#include <QtTest>

using namespace mv;
using namespace mv::test;

class TstCliSqlValues : public QObject {
    Q_OBJECT
private:
    struct Run {
        int exit = -1;
        QString out, err;
    };
    Run cli(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MARKTVOLL_HOME"), m_env->path());
        p.setProcessEnvironment(env);
        p.start(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"), args);
        Run r;
        if (!p.waitForFinished(300000))
            return r;
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo::exists(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli")));
        m_env = std::make_unique<TestEnv>();
        QString err;
        MV_REQUIRE_SERVER(m_db.start(&err), err);
        MV_REQUIRE_SERVER(m_php.startShop(&err), err);
        QVERIFY2(m_db.createDatabase(QStringLiteral("clivals"), &err), qPrintable(err));
        QVERIFY2(m_db.exec(QStringLiteral("CREATE TABLE v (id INT, d DATE, dt DATETIME, price DOUBLE, big BIGINT, name VARCHAR(20))"
                                          " DEFAULT CHARSET=latin1"),
                           &err, nullptr, QStringLiteral("clivals")),
                 qPrintable(err));
        QVERIFY2(m_db.exec(QString::fromUtf8("INSERT INTO v VALUES (1, '2026-12-09', '2026-12-09 10:30:15', 234.64, 9007199254740993, 'Grüße €'),"
                                             " (2, NULL, NULL, NULL, NULL, NULL)"),
                           &err, nullptr, QStringLiteral("clivals")),
                 qPrintable(err));
        ShopSettings &s = Settings();
        s.SQL_Server = QStringLiteral("MySQL");
        s.SQL_HTTP = m_php.baseUrl();
        s.SQL_Host = m_db.hostPort();
        s.SQL_User = m_db.user();
        s.SQL_Pass = m_db.password();
        s.SQL_Data = QStringLiteral("clivals");
        QVERIFY(SaveSettings(&err));
    }

    void values_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("direct") << "direct";
        QTest::newRow("gateway") << "gateway";
    }
    void values()
    {
        QFETCH(QString, mode);
        const Run r = cli({QStringLiteral("sql"), QStringLiteral("--mode"), mode, QStringLiteral("SELECT * FROM v ORDER BY id")});
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.takeFirst().startsWith(QStringLiteral("{\"columns\":[{\"name\":\"id\",\"type\":\"Integer\"")));
        // The gateway answers in its own row order.
        lines.sort();
        QCOMPARE(lines.at(0), QString::fromUtf8("{\"id\":1,\"d\":\"2026-12-09\",\"dt\":\"2026-12-09 10:30:15\",\"price\":234.64,"
                                                "\"big\":9007199254740993,\"name\":\"Grüße €\"}"));
        QCOMPARE(lines.at(1), QStringLiteral("{\"id\":2,\"d\":null,\"dt\":null,\"price\":null,\"big\":null,\"name\":null}"));
    }
};

QTEST_GUILESS_MAIN(TstCliSqlValues)
#include "tst_CliSqlValues.moc"
