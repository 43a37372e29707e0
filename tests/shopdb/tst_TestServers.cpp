// The private MariaDB and PHP servers start, answer and vanish again.

#include "support/TestServers.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace mv::test;

namespace {

QByteArray httpGet(QNetworkAccessManager &nam, const QUrl &url, int *status = nullptr)
{
    QNetworkReply *reply = nam.get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    if (status) *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return body;
}

} // namespace

class TestServers : public QObject {
    Q_OBJECT
private slots:
    void mariaDbStartsAnswersAndVanishes();
    void phpServesFolderAndReachesMariaDb();
};

void TestServers::mariaDbStartsAnswersAndVanishes()
{
    QString dataDir;
    {
        MariaDbServer db;
        QString err;
        MV_REQUIRE_SERVER(db.start(&err), err);
        dataDir = db.dataDir();
        QVERIFY(QDir(dataDir).exists());
        QVERIFY(db.port() > 0);

        // Root helper: statements, rows, NULL, umlauts through the client.
        QVERIFY2(db.exec(QStringLiteral("CREATE TABLE t (a INT, b VARCHAR(20));"
                                        "INSERT INTO t VALUES (1, 'Grüße €'), (2, NULL)"), &err), qPrintable(err));
        QList<QStringList> rows;
        QVERIFY2(db.exec(QStringLiteral("SELECT a, b FROM t ORDER BY a"), &err, &rows), qPrintable(err));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0], (QStringList{QStringLiteral("1"), QStringLiteral("Grüße €")}));
        QCOMPARE(rows[1], (QStringList{QStringLiteral("2"), QStringLiteral("NULL")}));
        QCOMPARE(db.scalar(QStringLiteral("SELECT @@character_set_server")), QStringLiteral("latin1"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA "
                                          "WHERE SCHEMA_NAME = '%1'").arg(db.database())),
                 QStringLiteral("latin1"));
        QVERIFY(!db.exec(QStringLiteral("SELECT * FROM missing_table"), &err));
        QVERIFY(err.contains(QLatin1String("1146")));

        // The test user logs in over TCP with its password; a wrong one is refused.
        {
            db.addQtConnection(QStringLiteral("ok"));
            QSqlDatabase c = QSqlDatabase::database(QStringLiteral("ok"), false);
            QVERIFY2(c.open(), qPrintable(c.lastError().text()));
            QSqlQuery q(c);
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM t")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 2);
            c.close();

            db.addQtConnection(QStringLiteral("bad"));
            QSqlDatabase b = QSqlDatabase::database(QStringLiteral("bad"), false);
            b.setPassword(QStringLiteral("wrong"));
            QVERIFY(!b.open());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("ok"));
        QSqlDatabase::removeDatabase(QStringLiteral("bad"));

        // A shop database ready for transfer tests.
        QVERIFY2(db.installShopSchema(QStringLiteral("shop"), &err), qPrintable(err));
        QVERIFY(db.scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='shop'"))
                    .toInt() > 26);
        QCOMPARE(db.scalar(QStringLiteral("SELECT version FROM version"), QStringLiteral("shop")), QStringLiteral("7"));
    }
    QVERIFY(!QDir(dataDir).exists());
}

void TestServers::phpServesFolderAndReachesMariaDb()
{
    MariaDbServer db;
    QString err;
    MV_REQUIRE_SERVER(db.start(&err), err);

    QTemporaryDir root;
    QFile f(root.filePath(QStringLiteral("probe.php")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<?php\n"
            "$c = new mysqli($_GET['h'], $_GET['u'], $_GET['p'], $_GET['d'], (int)$_GET['port']);\n"
            "$r = $c->query('SELECT 6*7');\n"
            "echo 'answer:', $r->fetch_row()[0];\n");
    f.close();

    PhpServer php;
    MV_REQUIRE_SERVER(php.start(root.path(), &err), err);
    QNetworkAccessManager nam;
    QUrl url(php.baseUrl() + QStringLiteral("/probe.php"));
    url.setQuery(QStringLiteral("h=127.0.0.1&u=%1&p=%2&d=%3&port=%4")
                     .arg(db.user(), db.password(), db.database()).arg(db.port()));
    int status = 0;
    const QByteArray body = httpGet(nam, url, &status);
    QCOMPARE(status, 200);
    QCOMPARE(body, QByteArray("answer:42"));

    httpGet(nam, QUrl(php.baseUrl() + QStringLiteral("/missing.php")), &status);
    QCOMPARE(status, 404);

    php.stop();
    QVERIFY(!php.isRunning());
}

QTEST_GUILESS_MAIN(TestServers)
#include "tst_TestServers.moc"
