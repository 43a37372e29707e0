// The direct connection's TLS against private MariaDB servers: one with a
// certificate of a test CA made here (trusted through MARKTVOLL_SQL_CA, or
// not), one with a certificate for another name, and one without TLS at
// all. Encrypted connections must really be encrypted; a server that
// cannot be trusted or offers no TLS is refused with a German message
// before any access data go out.
#include "shopdb/MySqlConnection.h"
#include "shopdb/MySqlTls.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QFile>
#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_MySqlTls : public QObject {
    Q_OBJECT
private slots:
    void wanted_data();
    void wanted();
    void initTestCase();
    void connect_data();
    void connect();
    void cleanupTestCase();

private:
    bool useCertificate(const QString &which, QString *error);

    std::unique_ptr<TestEnv> m_env;
    TestCa m_ca, m_otherCa;
    MariaDbServer m_tls, m_plain;
    QString m_live; // the certificate and key files the TLS server reads
    QHash<QString, QPair<QString, QString>> m_certs;
};

void tst_MySqlTls::wanted_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("tls");
    QTest::newRow("default, remote name") << "" << "db.example.de" << true;
    QTest::newRow("default, remote address") << "" << "192.0.2.7" << true;
    QTest::newRow("default, remote IPv6") << "" << "2001:db8::1" << true;
    QTest::newRow("default, localhost") << "" << "localhost" << false;
    QTest::newRow("default, LOCALHOST") << "" << "LOCALHOST" << false;
    QTest::newRow("default, 127.0.0.1") << "" << "127.0.0.1" << false;
    QTest::newRow("default, 127.1.2.3") << "" << "127.1.2.3" << false;
    QTest::newRow("default, ::1") << "" << "::1" << false;
    QTest::newRow("default, no host") << "" << "" << false;
    QTest::newRow("default, local with port") << "" << "127.0.0.1:3307" << false;
    QTest::newRow("default, localhost with port") << "" << "localhost:3307" << false;
    QTest::newRow("default, [::1] with port") << "" << "[::1]:3307" << false;
    QTest::newRow("default, remote with port") << "" << "db.example.de:3306" << true;
    QTest::newRow("default, name starting like localhost") << "" << "localhost.example.de" << true;
    QTest::newRow("on, local") << "1" << "127.0.0.1" << true;
    QTest::newRow("off, remote") << "0" << "db.example.de" << false;
    QTest::newRow("unknown value counts as default") << "ja" << "db.example.de" << true;
}

void tst_MySqlTls::wanted()
{
    QFETCH(QString, setting);
    QFETCH(QString, host);
    QFETCH(bool, tls);
    QCOMPARE(MySqlTlsWanted(setting, host), tls);
}

void tst_MySqlTls::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    QString err;
    MV_REQUIRE_SERVER(m_ca.create(&err) && m_otherCa.create(&err), err);
    for (const auto &[name, cn, alt] :
         {std::tuple<const char *, const char *, const char *>{"server", "127.0.0.1", "IP:127.0.0.1,DNS:localhost"},
          {"other-name", "db.example", "DNS:db.example"}}) {
        QString cert, key;
        QVERIFY2(m_ca.issue(QLatin1String(name), QLatin1String(cn), QString::fromLatin1(alt).split(QLatin1Char(',')),
                            &cert, &key, &err),
                 qPrintable(err));
        m_certs.insert(QLatin1String(name), {cert, key});
    }
    m_live = QFileInfo(m_ca.caFile()).absolutePath() + QStringLiteral("/live");
    QVERIFY2(useCertificate(QStringLiteral("server"), &err), qPrintable(err));
    MV_REQUIRE_SERVER(m_tls.start(&err, {QStringLiteral("--ssl-cert=") + m_live + QStringLiteral(".pem"),
                                         QStringLiteral("--ssl-key=") + m_live + QStringLiteral(".key")}),
                      err);
    MV_REQUIRE_SERVER(m_plain.start(&err), err);
}

void tst_MySqlTls::cleanupTestCase()
{
    qunsetenv("MARKTVOLL_SQL_CA");
}

bool tst_MySqlTls::useCertificate(const QString &which, QString *error)
{
    const auto files = m_certs.value(which);
    for (const auto &[from, to] : {std::pair{files.first, m_live + QStringLiteral(".pem")},
                                   std::pair{files.second, m_live + QStringLiteral(".key")}}) {
        QFile::remove(to);
        if (!QFile::copy(from, to)) {
            *error = QStringLiteral("cannot copy %1").arg(from);
            return false;
        }
    }
    // A running server takes the new files at once.
    return !m_tls.isRunning() || m_tls.exec(QStringLiteral("FLUSH SSL"), error);
}

void tst_MySqlTls::connect_data()
{
    QTest::addColumn<QString>("server");      // "tls" or "plain"
    QTest::addColumn<QString>("certificate"); // on the TLS server
    QTest::addColumn<QString>("ca");          // "test", "other" or "" (system certificates only)
    QTest::addColumn<QString>("setting");     // SQL_SSL
    QTest::addColumn<bool>("encrypted");      // connected, and encrypted or not
    QTest::addColumn<QString>("message");     // when refused

    QTest::newRow("trusted") << "tls" << "server" << "test" << "1" << true << "";
    QTest::newRow("untrusted: CA unknown") << "tls" << "server" << "" << "1" << false
                                           << "ist nicht vertrauenswürdig (sein Aussteller";
    QTest::newRow("untrusted: another CA") << "tls" << "server" << "other" << "1" << false
                                           << "ist nicht vertrauenswürdig (sein Aussteller";
    QTest::newRow("certificate for another name") << "tls" << "other-name" << "test" << "1" << false
                                                   << "es gilt nicht für diesen Servernamen";
    QTest::newRow("server without TLS") << "plain" << "server" << "test" << "1" << false
                                        << "bietet keine verschlüsselte Verbindung (TLS) an";
    // Switched off by the user, or the local host by default: clear text.
    QTest::newRow("off: server without TLS") << "plain" << "server" << "" << "0" << false << "";
    QTest::newRow("default on the local host") << "plain" << "server" << "" << "" << false << "";
}

void tst_MySqlTls::connect()
{
    QFETCH(QString, server);
    QFETCH(QString, certificate);
    QFETCH(QString, ca);
    QFETCH(QString, setting);
    QFETCH(bool, encrypted);
    QFETCH(QString, message);
    QString err;
    QVERIFY2(useCertificate(certificate, &err), qPrintable(err));
    if (ca.isEmpty())
        qunsetenv("MARKTVOLL_SQL_CA");
    else
        qputenv("MARKTVOLL_SQL_CA", QFile::encodeName(ca == QLatin1String("test") ? m_ca.caFile() : m_otherCa.caFile()));
    const MariaDbServer &db = server == QLatin1String("tls") ? m_tls : m_plain;

    MySqlConnection c;
    const MySqlParams p{db.hostPort(), db.user(), db.password(), db.database(), setting};
    const bool ok = c.Connect(p);
    if (!message.isEmpty()) {
        QVERIFY(!ok);
        QVERIFY(!c.Connected());
        const QString text = c.LastError();
        QVERIFY2(text.contains(message) && text.contains(QLatin1String("127.0.0.1")), qPrintable(text));
        // It says what to change, and never shows the password.
        QVERIFY2(text.contains(QLatin1String("SQL_SSL 0")), qPrintable(text));
        QVERIFY(!text.contains(db.password()));
        return;
    }
    QVERIFY2(ok, qPrintable(c.LastError()));
    QStringList cipher;
    QVERIFY2(c.FirstColumn(QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.SESSION_STATUS "
                                          "WHERE VARIABLE_NAME = 'SSL_CIPHER'"),
                           cipher),
             qPrintable(c.LastError()));
    QCOMPARE(cipher.size(), 1);
    QCOMPARE(!cipher.first().isEmpty(), encrypted);
    // The session works as every other: a statement and a query.
    QVERIFY2(c.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS t (a VARCHAR(20))")), qPrintable(c.LastError()));
    QStringList one;
    QVERIFY(c.FirstColumn(QStringLiteral("SELECT 'Grüße'"), one));
    QCOMPARE(one, QStringList{QStringLiteral("Grüße")});
}

QTEST_GUILESS_MAIN(tst_MySqlTls)
#include "tst_MySqlTls.moc"
