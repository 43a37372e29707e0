// The FTP client and the upload against a real pyftpdlib server on loopback
// (plain and FTPS) and the login conventions against a recording proxy.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/FtpClient.h"
#include "setup/FtpUpload.h"
#include "support/FtpTestServer.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSslCertificate>
#include <QTest>

using namespace mv;
using mv::test::FtpRecordingProxy;
using mv::test::FtpTestServer;
using mv::test::TestEnv;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

bool writeBack(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A small shop folder: files, a subfolder with umlaut names, pictures,
// the configuration, a dot folder and a dot file.
QString makeShop(const QString &base)
{
    const QString shop = base + QStringLiteral("/shop");
    writeFile(shop + QStringLiteral("/index.php"), "<?php echo 1; ?>\n");
    writeFile(shop + QStringLiteral("/Readme.TXT"), "zeile 1\r\nzeile 2\r\n");
    writeFile(shop + QStringLiteral("/script.pl"), "print 1;\r\n");
    writeFile(shop + QStringLiteral("/logo.GIF"), QByteArray("GIF89a\r\n\x00\x01", 10));
    writeFile(shop + QStringLiteral("/.htaccess"), "deny from none\n");
    writeFile(shop + QStringLiteral("/.git/HEAD"), "ref\n");
    writeFile(shop + QString::fromUtf8("/Neu/Bild1.JPG"), QByteArray(70000, 'x'));
    writeFile(shop + QString::fromUtf8("/Neu/Größe Übersicht.html"), "ä");
    writeFile(shop + QStringLiteral("/abilder/a1.jpg"), "bild a1");
    writeFile(shop + QStringLiteral("/abilder/a2.jpg"), "bild a2");
    writeFile(shop + QStringLiteral("/config/config.php"), "<?php\r\n?>\r\n");
    return shop;
}

} // namespace

class FtpUploadTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
    QStringList log;

    FtpUploadJob job(const FtpTestServer &srv, const QString &local, const QString &dir)
    {
        FtpUploadJob j;
        j.params.host = QStringLiteral("127.0.0.1");
        j.params.port = srv.port();
        j.params.user = srv.user();
        j.params.password = srv.password();
        j.params.passive = true;
        j.params.readTimeoutMs = 5000;
        j.remoteDir = dir;
        j.localFolder = local;
        j.manifestPath = local + QStringLiteral("/../ftpupload.lst");
        return j;
    }
    FtpUploadResult run(FtpUpload &up, const FtpUploadJob &j)
    {
        log.clear();
        up.Log = [this](const QString &l) { log << l; };
        return up.Run(j);
    }

private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
        Settings().AbortWait = false;
        FtpClient::SetExtraCaCertificates({});
    }
    void cleanup() { SetUiHooks(nullptr); }

    void uploadsShopTree_data()
    {
        QTest::addColumn<bool>("passive");
        QTest::addColumn<bool>("lower");
        QTest::newRow("passive, lower case") << true << true;
        QTest::newRow("active, names kept") << false << false;
    }
    void uploadsShopTree()
    {
        QFETCH(bool, passive);
        QFETCH(bool, lower);
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        const QString shop = makeShop(env.path());
        FtpUploadJob j = job(srv, shop, QStringLiteral("shop"));
        j.params.passive = passive;
        j.lowerCase = lower;
        FtpUpload up;
        const FtpUploadResult r = run(up, j);
        QVERIFY2(r.uploadOk, qPrintable(log.join('\n') + srv.log()));
        QCOMPARE(r.failed, 0);
        const QString root = srv.root() + QStringLiteral("/shop");
        QVERIFY(log.contains(QStringLiteral("Verzeichnis shop erstellt")));
        // ASCII type: line ends become the server's; binary: byte for byte.
        QCOMPARE(readFile(root + (lower ? "/readme.txt" : "/Readme.TXT")), QByteArray("zeile 1\nzeile 2\n"));
        QCOMPARE(readFile(root + "/script.pl"), QByteArray("print 1;\n"));
        QCOMPARE(readFile(root + (lower ? "/logo.gif" : "/logo.GIF")), QByteArray("GIF89a\r\n\x00\x01", 10));
        // Folder names keep their case; file names follow the option.
        QCOMPARE(readFile(root + (lower ? "/Neu/bild1.jpg" : "/Neu/Bild1.JPG")), QByteArray(70000, 'x'));
        QCOMPARE(readFile(root + QString::fromUtf8(lower ? "/Neu/größe übersicht.html" : "/Neu/Größe Übersicht.html")),
                 QByteArray("ä"));
        QVERIFY(QFile::exists(root + "/.htaccess"));
        QVERIFY(!QFile::exists(root + "/.git"));
        QVERIFY(log.contains(QStringLiteral("sende .htaccess")));
        QVERIFY(!log.contains(QStringLiteral("sende HEAD")));
        // Files of a folder go before its subfolders.
        QVERIFY(log.indexOf(QStringLiteral("sende script.pl")) < log.indexOf(QStringLiteral("Verzeichnis Neu erstellt")));
        // chmod on config.php in a subfolder.
        QVERIFY(log.contains(QStringLiteral("chmod auf config.php erfolgreich gesetzt")));
        QCOMPARE(QFileInfo(root + "/config/config.php").permissions() & QFileDevice::ExeOther, QFileDevice::ExeOther);
        // Never the password.
        for (const QString &l : log)
            QVERIFY(!l.contains(srv.password()));
    }

    void remoteDirectoryCheck_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("ok");
        QTest::newRow("shop") << "shop" << true;
        QTest::newRow("/shop") << "/shop" << true;
        QTest::newRow("shop/") << "shop/" << true;
        QTest::newRow("nested new") << "a/b" << false;   // created, but reported as /a/b
        QTest::newRow("account root") << "" << true;
    }
    void remoteDirectoryCheck()
    {
        QFETCH(QString, field);
        QFETCH(bool, ok);
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        QDir().mkpath(srv.root() + "/shop");
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUpload up;
        const FtpUploadResult r = run(up, job(srv, env.path() + "/up", field));
        if (field == QLatin1String("a/b")) {
            // MKD a/b fails without a, so the change fails: no upload.
            QVERIFY(!r.uploadOk);
            QVERIFY(log.contains(QStringLiteral("Fehler beim Connect")));
            QVERIFY(!QFile::exists(srv.root() + "/a/b/x.txt"));
            return;
        }
        QCOMPARE(r.uploadOk, ok);
        QVERIFY2(QFile::exists(srv.root() + (field.isEmpty() ? QString() : QStringLiteral("/shop")) + "/x.txt"),
                 qPrintable(log.join('\n')));
        QVERIFY(!log.contains(QStringLiteral("Verzeichnis shop erstellt")));
    }

    void directoryElsewhereIsNotFound()
    {
        // The account starts in /home/user; "shop" lands in /home/user/shop,
        // which is not /shop: two attempts, no upload.
        TestEnv env;
        FtpTestServer srv;
        QString err;
        QDir().mkpath(srv.root() + "/home/user");
        MV_REQUIRE_SERVER(srv.start(&err, {QStringLiteral("--start-dir"), QStringLiteral("/home/user")}), err);
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUpload up;
        const FtpUploadResult r = run(up, job(srv, env.path() + "/up", "shop"));
        QVERIFY(!r.uploadOk);
        QVERIFY(r.dirNotFound);
        QCOMPARE(log, (QStringList{"Verzeichnis shop erstellt", "Verzeichnis nicht gefunden: shop",
                                   "Aktuelles Verzeichnis:/home/user/shop", "Verzeichnis shop erstellt",
                                   "Verzeichnis nicht gefunden: shop", "Aktuelles Verzeichnis:/home/user/shop/shop"}));
        QVERIFY(QFileInfo(srv.root() + "/home/user/shop/shop").isDir());
        QVERIFY(!QFile::exists(srv.root() + "/home/user/shop/x.txt"));
    }

    void refusedLogin()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUploadJob j = job(srv, env.path() + "/up", "shop");
        j.params.password = QStringLiteral("falsch");
        FtpUpload up;
        const FtpUploadResult r = run(up, j);
        QVERIFY(!r.uploadOk);
        QVERIFY(r.connectFailed);
        QCOMPARE(log.value(0), QStringLiteral("Fehler beim Connect"));
        QVERIFY2(log.value(1).startsWith(QStringLiteral("Anmeldung abgelehnt: 530")), qPrintable(log.join('\n')));
        QVERIFY(!log.join('\n').contains(QStringLiteral("falsch")));
    }

    void unreachableServer()
    {
        TestEnv env;
        FtpUploadJob j;
        j.params.host = QStringLiteral("127.0.0.1");
        j.params.port = mv::test::freeLoopbackPort();
        j.params.user = QStringLiteral("u");
        j.remoteDir = QStringLiteral("shop");
        j.localFolder = env.path();
        FtpUpload up;
        const FtpUploadResult r = run(up, j);
        QVERIFY(r.connectFailed);
        QCOMPARE(log.value(0), QStringLiteral("Fehler beim Connect"));
        QVERIFY(log.value(1).startsWith(QStringLiteral("Keine Verbindung zu 127.0.0.1:")));
    }

    void droppedConnectionMidFile()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err, {QStringLiteral("--drop-once"), QStringLiteral("b.bin")}), err);
        writeFile(env.path() + "/up/a.bin", "a");
        writeFile(env.path() + "/up/b.bin", QByteArray(4 * 1024 * 1024, 'b'));
        writeFile(env.path() + "/up/c.bin", "c");
        FtpUpload up;
        FtpUploadResult r = run(up, job(srv, env.path() + "/up", "shop"));
        QVERIFY2(!r.uploadOk, qPrintable(log.join('\n') + srv.log()));
        QVERIFY(r.connectionLost);
        QVERIFY2(log.contains(QStringLiteral("** Sendefehler **")), qPrintable(log.join('\n')));
        QVERIFY(log.last().contains(QStringLiteral("abgebrochen")));
        QVERIFY(!log.contains(QStringLiteral("sende c.bin")));
        // The next upload works.
        r = run(up, job(srv, env.path() + "/up", "shop"));
        QVERIFY2(r.uploadOk, qPrintable(log.join('\n')));
        QCOMPARE(readFile(srv.root() + "/shop/b.bin").size(), 4 * 1024 * 1024);
        QCOMPARE(readFile(srv.root() + "/shop/c.bin"), QByteArray("c"));
    }

    void abortDuringUpload()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        for (int i = 0; i < 5; ++i)
            writeFile(env.path() + QStringLiteral("/up/f%1.txt").arg(i), "x");
        writeFile(env.path() + "/up/sub/g.txt", "g");
        FtpUpload up;
        up.FileStarted = [](const QString &name) {
            if (name == QLatin1String("f1.txt"))
                Settings().AbortWait = true; // the abort button
        };
        const FtpUploadResult r = run(up, job(srv, env.path() + "/up", "shop"));
        QVERIFY(r.aborted);
        QVERIFY(!r.uploadOk);
        // The file in flight is finished, nothing after it starts.
        QVERIFY(QFile::exists(srv.root() + "/shop/f1.txt"));
        QVERIFY(!QFile::exists(srv.root() + "/shop/f2.txt"));
        QVERIFY(!QFile::exists(srv.root() + "/shop/sub"));
        Settings().AbortWait = false;
    }

    // A server whose reply never ends, fast or one byte at a time: the
    // client stops at the size limits or the reply's time limit, drops the
    // connection and says which server it was.
    void hostileServerCannotExhaustMemory_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("endless line") << "endless-line" << "sendet eine Antwortzeile von mehr als 64 KB";
        QTest::newRow("endless continuation lines") << "endless-lines" << "sendet eine Antwort von mehr als 1024 KB";
        QTest::newRow("one byte per pause") << "trickle" << "nicht innerhalb von 3 Sekunden beendet";
    }
    void hostileServerCannotExhaustMemory()
    {
        QFETCH(QString, mode);
        QFETCH(QString, message);
        TestEnv env;
        mv::test::FtpHostileServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(mode, &err, 0.1), err);
        FtpUploadJob j;
        j.params.host = QStringLiteral("127.0.0.1");
        j.params.port = srv.port();
        j.params.user = QStringLiteral("u");
        j.params.password = QStringLiteral("p");
        j.params.readTimeoutMs = 1000; // the pause between bytes is shorter
        j.params.replyTimeoutMs = 3000;
        j.remoteDir = QStringLiteral("shop");
        j.localFolder = makeShop(env.path());
        j.manifestPath = env.file(QStringLiteral("ftpupload.lst"));
        FtpUpload up;
        const FtpUploadResult r = run(up, j);
        QVERIFY(r.connectFailed);
        QCOMPARE(r.sent, 0);
        QVERIFY(!up.Client().Connected());
        QCOMPARE(log.value(0), QStringLiteral("Fehler beim Connect"));
        QVERIFY2(log.value(1).contains(message) && log.value(1).contains(QStringLiteral("FTP-Server 127.0.0.1")),
                 qPrintable(log.join('\n')));
    }

    // A server that takes a file ever so slowly, never idle long enough
    // for the idle limit: the file has a time limit of its own.
    void slowServerGetsATimeLimitPerFile()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err, {QStringLiteral("--read-limit"), QStringLiteral("65536")}), err);
        const QString local = env.file(QStringLiteral("gross"));
        QDir().mkpath(local);
        {
            // More than the sockets buffer, so the client has to wait.
            QFile f(local + QStringLiteral("/film.bin"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(32) * 1024 * 1024));
        }
        FtpUploadJob j = job(srv, local, QStringLiteral("shop"));
        j.params.replyTimeoutMs = 2000;
        j.params.minBytesPerSecond = 16 * 1024 * 1024; // 32 MB may take 2 + 2 seconds
        FtpUpload up;
        const FtpUploadResult r = run(up, j);
        QCOMPARE(r.sent, 0);
        QCOMPARE(r.failed, 1);
        QVERIFY2(log.contains(QStringLiteral("** Sendefehler **")), qPrintable(log.join('\n')));
        QVERIFY2(log.filter(QStringLiteral("Der FTP-Server 127.0.0.1 nimmt die Datei film.bin zu langsam an (nicht in 4 "
                                           "Sekunden)")).size() == 1,
                 qPrintable(log.join('\n')));
    }

    void skipsUnchangedPictures()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        const QString pics = env.path() + "/shop/abilder";
        QDir().mkpath(srv.root() + "/shop");
        for (int i = 0; i < 4; ++i)
            writeFile(pics + QStringLiteral("/p%1.jpg").arg(i), QByteArray(100 + i, 'p'));
        FtpUpload up;
        FtpUploadResult r = run(up, job(srv, pics, "shop/abilder"));
        QVERIFY(r.uploadOk);
        QCOMPARE(r.sent, 4);
        r = run(up, job(srv, pics, "shop/abilder"));
        QVERIFY(r.uploadOk);
        QCOMPARE(r.sent, 0);
        QCOMPARE(r.skipped, 4);
        QVERIFY(log.contains(QStringLiteral("4 unveränderte Bilder nicht gesendet")));
        // Touch one, remove another on the server: exactly those two go.
        QFile f(pics + "/p1.jpg");
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(QFile::remove(srv.root() + "/shop/abilder/p3.jpg"));
        r = run(up, job(srv, pics, "shop/abilder"));
        QCOMPARE(r.sent, 2);
        QCOMPARE(log.filter(QStringLiteral("sende ")), (QStringList{"sende p1.jpg", "sende p3.jpg"}));
        // "alle Dateien senden" forces all.
        FtpUploadJob all = job(srv, pics, "shop/abilder");
        all.allFiles = true;
        r = run(up, all);
        QCOMPARE(r.sent, 4);
    }

    // After the complete shop the picture upload sends nothing again: the
    // server holds every picture in its size and not older. A file counts
    // as the same whichever folder the upload started in, and the list
    // decides only where the server cannot tell.
    void pictureUploadAfterTheShopSkipsWhatTheServerHas_data()
    {
        QTest::addColumn<QString>("serverOption");
        QTest::addColumn<bool>("listDecides");
        QTest::newRow("server tells size and time") << QString() << false;
        QTest::newRow("server without MDTM") << "--no-mdtm" << true;
        QTest::newRow("server without SIZE") << "--no-size" << true;
    }
    void pictureUploadAfterTheShopSkipsWhatTheServerHas()
    {
        QFETCH(QString, serverOption);
        QFETCH(bool, listDecides);
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err, serverOption.isEmpty() ? QStringList() : QStringList{serverOption}), err);
        const QString shop = makeShop(env.path());
        const QString pics = shop + "/abilder";
        for (int i = 0; i < 30; ++i)
            writeFile(pics + QStringLiteral("/p%1.jpg").arg(i), QByteArray(200 + i, 'p'));
        // One list in the program folder, as in the program.
        const QString list = env.file(QStringLiteral("ftpupload.lst"));
        const auto job = [&](const QString &local, const QString &dir) {
            FtpUploadJob j = this->job(srv, local, dir);
            j.manifestPath = list;
            return j;
        };
        FtpUpload up;
        FtpUploadResult r = run(up, job(shop, "shop"));
        QVERIFY2(r.uploadOk, qPrintable(log.join('\n')));
        QCOMPARE(r.sent, 8 + 32);
        r = run(up, job(pics, "shop/abilder"));
        QVERIFY(r.uploadOk);
        QVERIFY2(r.sent == 0 && r.skipped == 32, qPrintable(log.join('\n')));
        // The other way round, and with the field spelled differently.
        QVERIFY(writeBack(pics + "/p3.jpg", QByteArray(300, 'n')));
        r = run(up, job(pics, "/shop/abilder/"));
        QCOMPARE(log.filter(QStringLiteral("sende ")), QStringList{"sende p3.jpg"});
        r = run(up, job(shop, "shop"));
        // the other files of the shop always go
        QVERIFY2(r.sent == 8 && r.skipped == 32, qPrintable(log.join('\n')));
        QCOMPARE(readFile(srv.root() + "/shop/abilder/p3.jpg"), QByteArray(300, 'n'));

        // Without the list: the server alone tells, where it can.
        QVERIFY(QFile::remove(list));
        r = run(up, job(pics, "shop/abilder"));
        QCOMPARE(r.sent, listDecides ? 32 : 0);
        QCOMPARE(r.skipped, listDecides ? 0 : 32);
        // A local file newer than the server's copy, same size.
        QFile f(pics + "/p5.jpg");
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(120), QFileDevice::FileModificationTime));
        f.close();
        r = run(up, job(pics, "shop/abilder"));
        QCOMPARE(log.filter(QStringLiteral("sende ")), QStringList{"sende p5.jpg"});
    }

    void picturesWithoutSizeCommandUseTheList()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err, {QStringLiteral("--no-size")}), err);
        const QString shop = env.path() + "/shop";
        writeFile(shop + "/index.php", "i");
        writeFile(shop + "/abilder/p.jpg", "p");
        FtpUpload up;
        QCOMPARE(run(up, job(srv, shop, "shop")).sent, 2);
        // Pictures inside the complete shop are skipped too; other files not.
        const FtpUploadResult r = run(up, job(srv, shop, "shop"));
        QCOMPARE(r.sent, 1);
        QCOMPARE(r.skipped, 1);
    }

    void ftpsWithTrustedCertificate()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.startTls(&err), err);
        FtpClient::SetExtraCaCertificates(QSslCertificate::fromPath(srv.caFile()));
        writeFile(env.path() + "/up/config.php", "<?php\r\n?>\r\n");
        writeFile(env.path() + "/up/sub/b.bin", QByteArray(300000, 'z'));
        for (bool passive : {true, false}) {
            FtpUploadJob j = job(srv, env.path() + "/up", "shop");
            j.params.tls = true;
            j.params.passive = passive;
            FtpUpload up;
            const FtpUploadResult r = run(up, j);
            QVERIFY2(r.uploadOk, qPrintable(log.join('\n') + srv.log()));
            QCOMPARE(readFile(srv.root() + "/shop/sub/b.bin").size(), 300000);
            QVERIFY(log.contains(QStringLiteral("chmod auf config.php erfolgreich gesetzt")));
        }
    }

    void ftpsWithUntrustedCertificate()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.startTls(&err), err);
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUploadJob j = job(srv, env.path() + "/up", "shop");
        j.params.tls = true;
        FtpUpload up;
        const FtpUploadResult r = run(up, j);
        QVERIFY(r.connectFailed);
        QVERIFY2(log.value(1).startsWith(QStringLiteral("Das Zertifikat des FTP-Servers 127.0.0.1 ist nicht vertrauenswürdig")),
                 qPrintable(log.join('\n')));
        QVERIFY(!QFile::exists(srv.root() + "/shop/x.txt"));
    }

    void plainLoginToAnFtpsOnlyServer()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.startTls(&err), err);
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUpload up;
        const FtpUploadResult r = run(up, job(srv, env.path() + "/up", "shop"));
        QVERIFY(r.connectFailed);
        QVERIFY(log.value(1).startsWith(QStringLiteral("Anmeldung abgelehnt: ")));
    }

    void proxyConventions_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("proxyUser");
        QTest::addColumn<bool>("toProxy");
        QTest::addColumn<QStringList>("expected");
        const QString h = QStringLiteral("ftp.example.de");
        QTest::newRow("0 pipe") << 0 << true << false << QStringList{"USER kunde", "PASS geheim"};
        QTest::newRow("1 user login, no proxy user") << 1 << false << true
                                                     << QStringList{"USER kunde@" + h, "PASS geheim"};
        QTest::newRow("1 user login") << 1 << true << true
                                      << QStringList{"USER pu", "PASS pp", "USER kunde@" + h, "PASS geheim"};
        QTest::newRow("2 site, no proxy user") << 2 << false << true
                                               << QStringList{"SITE " + h, "USER kunde", "PASS geheim"};
        QTest::newRow("2 site") << 2 << true << true
                                << QStringList{"USER pu", "PASS pp", "SITE " + h, "USER kunde", "PASS geheim"};
        QTest::newRow("3 open, no proxy user") << 3 << false << true
                                               << QStringList{"OPEN " + h, "USER kunde", "PASS geheim"};
        QTest::newRow("3 open") << 3 << true << true
                                << QStringList{"USER pu", "PASS pp", "OPEN " + h, "USER kunde", "PASS geheim"};
        QTest::newRow("4 user no login, no proxy password")
            << 4 << false << true << QStringList{"USER kunde@@" + h, "PASS geheim"};
        QTest::newRow("4 user no login") << 4 << true << true
                                         << QStringList{"USER kunde@pu@" + h, "PASS geheim@pp"};
        QTest::newRow("5 transparent, no proxy user") << 5 << false << false
                                                      << QStringList{"USER kunde", "PASS geheim"};
        QTest::newRow("5 transparent") << 5 << true << false
                                       << QStringList{"USER pu", "PASS pp", "USER kunde", "PASS geheim"};
        QTest::newRow("unknown index as 0") << 9 << true << false << QStringList{"USER kunde", "PASS geheim"};
    }
    void proxyConventions()
    {
        QFETCH(int, type);
        QFETCH(bool, proxyUser);
        QFETCH(bool, toProxy);
        QFETCH(QStringList, expected);
        FtpRecordingProxy proxy, server;
        QString err;
        MV_REQUIRE_SERVER(proxy.start(&err), err);
        MV_REQUIRE_SERVER(server.start(&err), err);
        FtpParams p;
        // The server's name is what the proxy is told; its stand-in listens
        // on loopback for the types that contact the server directly.
        p.host = QStringLiteral("ftp.example.de");
        p.port = 21;
        p.user = QStringLiteral("kunde");
        p.password = QStringLiteral("geheim");
        p.proxyType = type;
        p.proxyHost = QStringLiteral("127.0.0.1");
        p.proxyPort = proxy.port();
        if (proxyUser) {
            p.proxyUser = QStringLiteral("pu");
            p.proxyPassword = QStringLiteral("pp");
        }
        if (!toProxy) {
            p.host = QStringLiteral("127.0.0.1");
            p.port = server.port();
        }
        FtpClient c;
        QStringList shown;
        c.onStatus = [&](const QString &s) { shown << s; };
        QVERIFY2(c.Connect(p), qPrintable(c.LastError()));
        c.Disconnect();
        QStringList got = (toProxy ? proxy : server).commands();
        got.removeAll(QStringLiteral("QUIT"));
        QCOMPARE(got, expected);
        QVERIFY((toProxy ? server : proxy).commands().isEmpty());
        QVERIFY(!shown.join('\n').contains(QStringLiteral("geheim")));
    }

    void proxyTypeWithoutProxyHostGoesToTheServer()
    {
        FtpRecordingProxy server;
        QString err;
        MV_REQUIRE_SERVER(server.start(&err), err);
        FtpParams p;
        p.host = QStringLiteral("127.0.0.1");
        p.port = server.port();
        p.user = QStringLiteral("kunde");
        p.password = QStringLiteral("geheim");
        p.proxyType = 1;
        FtpClient c;
        QVERIFY(c.Connect(p));
        c.Disconnect();
        QCOMPARE(server.commands().mid(0, 2), (QStringList{"USER kunde", "PASS geheim"}));
    }

    void cliUploadsWithTheProgramSettings()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        QDir().mkpath(srv.root() + "/www");
        makeShop(env.path());
        ShopSettings &s = Settings();
        s.FTP_Host = QStringLiteral("127.0.0.1");
        s.FTP_Port = QString::number(srv.port());
        s.FTP_Username = srv.user();
        s.FTP_Password = srv.password();
        s.FTP_Art = 1;
        s.FTP_Dir = QStringLiteral("www/");
        QVERIFY(SaveSettings(&err));
        auto cli = [&](const QStringList &args, QString *out) {
            QProcess p;
            QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
            e.insert(QStringLiteral("MARKTVOLL_HOME"), env.path());
            p.setProcessEnvironment(e);
            p.start(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"), args);
            p.waitForFinished(60000);
            *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            return p.exitCode();
        };
        QString out;
        QCOMPARE(cli({"ftp", "upload", "--what", "bilder"}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("2 Dateien gesendet")), qPrintable(out));
        QVERIFY(QFile::exists(srv.root() + "/www/abilder/a1.jpg"));
        QCOMPARE(cli({"ftp", "upload", "--what", "bilder"}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("0 Dateien gesendet, 2 unverändert")), qPrintable(out));
        QCOMPARE(cli({"ftp", "upload", "--what", "bilder", "--all-files"}, &out), 0);
        QVERIFY(out.contains(QStringLiteral("2 Dateien gesendet")));
        QCOMPARE(cli({"ftp", "upload", "--what", "config"}, &out), 0);
        QVERIFY(out.contains(QStringLiteral("chmod auf config.php erfolgreich gesetzt")));
        QVERIFY(!out.contains(srv.password()));
        QCOMPARE(cli({"ftp", "upload"}, &out), 0);
        QVERIFY(QFile::exists(srv.root() + "/www/Neu/bild1.jpg"));
        QCOMPARE(cli({"ftp", "upload", "--what", "alles"}, &out), 2);
        s.FTP_Password = QStringLiteral("falsch");
        QVERIFY(SaveSettings(&err));
        QCOMPARE(cli({"ftp", "upload"}, &out), 1);
        QVERIFY(out.contains(QStringLiteral("Fehler beim Connect")));
    }

    // An old session is ended before the new one; one whose line broke
    // meanwhile cannot be ended properly: reported, and the upload goes on.
    void oldSessionEndedFirst_data()
    {
        QTest::addColumn<bool>("broken");
        QTest::newRow("alte Sitzung intakt") << false;
        QTest::newRow("alte Sitzung abgerissen") << true;
    }
    void oldSessionEndedFirst()
    {
        QFETCH(bool, broken);
        TestEnv env;
        FtpTestServer old, srv;
        QString err;
        MV_REQUIRE_SERVER(old.start(&err), err);
        MV_REQUIRE_SERVER(srv.start(&err), err);
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUpload up;
        QVERIFY(up.Client().Connect(job(old, env.path() + "/up", "shop").params));
        if (broken) {
            old.stop();
            QTRY_VERIFY(!up.Client().Connected());
        }
        const FtpUploadResult r = run(up, job(srv, env.path() + "/up", "shop"));
        QVERIFY2(r.uploadOk, qPrintable(log.join('\n')));
        QCOMPARE(log.contains(QStringLiteral("Fehler beim Disconnect")), broken);
        if (broken)
            QCOMPARE(log.value(0), QStringLiteral("Fehler beim Disconnect"));
        QCOMPARE(readFile(srv.root() + "/shop/x.txt"), QByteArray("x"));
        QVERIFY(!up.Client().HasSession());
    }

    // Values the session cannot take are left at their defaults, the rest is set.
    void sessionParams_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("proxyType");
        QTest::addColumn<int>("proxyPort");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("taken");   // port proxyType proxyPort user password
        QTest::newRow("alles gültig") << 2121 << 5 << 8021 << "shop" << "geheim" << true << "2121 5 8021 shop geheim";
        QTest::newRow("Port 0: Standardport") << 0 << 0 << 2121 << "shop" << "geheim" << true << "0 0 2121 shop geheim";
        QTest::newRow("Port zu groß") << 70000 << 0 << 2121 << "shop" << "geheim" << false << "21 0 2121 shop geheim";
        QTest::newRow("Port negativ") << -5 << 0 << 2121 << "shop" << "geheim" << false << "21 0 2121 shop geheim";
        QTest::newRow("kein Proxy-Typ gewählt") << 21 << -1 << 2121 << "shop" << "geheim" << false << "21 0 2121 shop geheim";
        QTest::newRow("Proxy-Typ 6") << 21 << 6 << 2121 << "shop" << "geheim" << false << "21 0 2121 shop geheim";
        QTest::newRow("Proxy-Port zu groß") << 21 << 1 << 65536 << "shop" << "geheim" << false << "21 1 2121 shop geheim";
        QTest::newRow("Befehl im Namen") << 21 << 0 << 2121 << "shop\r\nDELE index.php" << "geheim" << false
                                         << "21 0 2121  geheim";
        QTest::newRow("Zeilenumbruch im Passwort") << 21 << 0 << 2121 << "shop" << "ge\nheim" << false
                                                   << "21 0 2121 shop ";
    }
    void sessionParams()
    {
        QFETCH(int, port);
        QFETCH(int, proxyType);
        QFETCH(int, proxyPort);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, ok);
        QFETCH(QString, taken);
        FtpParams p;
        p.host = QStringLiteral("ftp.example.org");
        p.port = port;
        p.proxyType = proxyType;
        p.proxyPort = proxyPort;
        p.user = user;
        p.password = password;
        QCOMPARE(FtpUpload::SetSessionParams(p), ok);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5").arg(p.port).arg(p.proxyType).arg(p.proxyPort).arg(p.user, p.password),
                 taken);
        QCOMPARE(p.host, QStringLiteral("ftp.example.org"));
    }

    // The upload reports the refused value and goes on with what was set.
    void uploadWithRefusedParams()
    {
        TestEnv env;
        FtpTestServer srv;
        QString err;
        MV_REQUIRE_SERVER(srv.start(&err), err);
        writeFile(env.path() + "/up/x.txt", "x");
        FtpUploadJob j = job(srv, env.path() + "/up", "shop");
        j.params.proxyType = -1;   // no proxy kind chosen in the list
        FtpUpload up;
        FtpUploadResult r = run(up, j);
        QVERIFY2(r.uploadOk, qPrintable(log.join('\n')));
        QCOMPARE(log.value(0), QStringLiteral("Fehler beim Parameter setzen"));
        QCOMPARE(readFile(srv.root() + "/shop/x.txt"), QByteArray("x"));

        j = job(srv, env.path() + "/up", "shop");
        j.params.user += QStringLiteral("\r\nDELE x.txt");
        r = run(up, j);
        QVERIFY(r.connectFailed);
        QCOMPARE(log.value(0), QStringLiteral("Fehler beim Parameter setzen"));
        QCOMPARE(log.value(1), QStringLiteral("Fehler beim Connect"));
        QCOMPARE(readFile(srv.root() + "/shop/x.txt"), QByteArray("x"));
    }

    void asciiNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ascii");
        QTest::newRow("Readme.TXT") << "Readme.TXT" << true;
        QTest::newRow("script.pl") << "script.pl" << true;
        QTest::newRow("logo.GIF") << "logo.GIF" << false;
        QTest::newRow("txt inside") << "a.txt.gz" << false;
    }
    void asciiNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, ascii);
        QCOMPARE(FtpUpload::IsAsciiName(name), ascii);
    }

    void baseDir_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored");
        QTest::newRow("config upload") << "shop/config" << "shop";
        QTest::newRow("picture upload") << "/shop/abilder" << "/shop";
        QTest::newRow("plain") << "shop" << "shop";
        QTest::newRow("own name with config") << "myconfigshop" << "m";
        QTest::newRow("config alone") << "config" << "";
    }
    void baseDir()
    {
        QFETCH(QString, field);
        QFETCH(QString, stored);
        QCOMPARE(FtpUpload::BaseDir(field), stored);
    }
};

QTEST_GUILESS_MAIN(FtpUploadTest)
#include "tst_FtpUpload.moc"
