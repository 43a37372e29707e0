// An https shop address: the gateway works through TLS when the server's
// certificate checks out, and refuses with a clear message when it does
// not (untrusted certificate, certificate for another name).
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/ShopErrorLog.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_GatewayHttps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void certificateChecked_data();
    void certificateChecked();
    void cleanupTestCase();

private:
    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;
    TlsProxy m_tls;
    RecordingUiHooks m_ui;
    QSslConfiguration m_defaultSsl;
};

void tst_GatewayHttps::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    SetUiHooks(&m_ui);
    m_defaultSsl = QSslConfiguration::defaultConfiguration();
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    MV_REQUIRE_SERVER(m_tls.start(m_php.port(), &err), err);
    QVERIFY2(m_db.exec(QStringLiteral("CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(20)) CHARACTER SET latin1"), &err),
             qPrintable(err));
    ShopSettings &s = Settings();
    s.SQL_Server = QStringLiteral("HTML-Verbindung");
    s.SQL_Global.clear();
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = m_db.database();
}

void tst_GatewayHttps::init()
{
    Settings().AbortWait = false;
    Shop().ErrorLog().Clear();
    QSslConfiguration::setDefaultConfiguration(m_defaultSsl);
    Transport().CloseConnections();
}

void tst_GatewayHttps::cleanupTestCase()
{
    QSslConfiguration::setDefaultConfiguration(m_defaultSsl);
    SetUiHooks(nullptr);
}

void tst_GatewayHttps::certificateChecked_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<bool>("works");
    QTest::newRow("trusted certificate") << true << QStringLiteral("127.0.0.1") << true;
    QTest::newRow("self-signed, not trusted") << false << QStringLiteral("127.0.0.1") << false;
    QTest::newRow("trusted, other name") << true << QStringLiteral("localhost") << false;
}

void tst_GatewayHttps::certificateChecked()
{
    QFETCH(bool, trusted);
    QFETCH(QString, hostName);
    QFETCH(bool, works);
    if (trusted) {
        QSslConfiguration c = m_defaultSsl;
        c.addCaCertificates(QSslCertificate::fromData(m_tls.certificatePem(), QSsl::Pem));
        QSslConfiguration::setDefaultConfiguration(c);
    }
    Settings().SQL_HTTP = QStringLiteral("https://%1:%2").arg(hostName).arg(m_tls.port());
    static int id = 0;
    ++id;
    const QString insert = QStringLiteral("INSERT INTO t VALUES (%1, 'Grüße')").arg(id);
    const int r = Shop().ShopExecute(insert);
    if (!works) {
        QCOMPARE(r, ShopResult::NoAnswer);
        QVERIFY2(Shop().LastErrorText().contains(QLatin1String("Zertifikat")), qPrintable(Shop().LastErrorText()));
        QVERIFY(Shop().LastErrorText().contains(hostName));
        QCOMPARE(Shop().ErrorLog().Lines(), QStringList{QStringLiteral("Fehlernr:-10 ") + insert});
        QCOMPARE(m_db.scalar(QStringLiteral("SELECT COUNT(*) FROM t WHERE id = %1").arg(id)), QStringLiteral("0"));
        return;
    }
    QVERIFY2(r == ShopResult::Done, qPrintable(Shop().LastErrorText()));
    QVERIFY(Shop().LastErrorText().isEmpty());
    MemTable table;
    TShopQuery q{nullptr, &table};
    QCOMPARE(Shop().ShopOpen(QStringLiteral("SELECT name FROM t WHERE id = %1").arg(id), q), ShopResult::Done);
    QCOMPARE(table.RecordCount(), 1);
    QCOMPARE(table.FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("Grüße"));
}

QTEST_GUILESS_MAIN(tst_GatewayHttps)
#include "tst_GatewayHttps.moc"
