// Speed of the shop database access in both modes, against the tools a
// shop owner would compare with: the mariadb client running the same
// statements from one file (direct mode) and curl fetching the same
// gateway addresses over one connection (gateway mode).
//
//   bench_shopdb [--count N]
//
// Starts a private MariaDB (mariadb-install-db, mariadbd) and PHP's
// built-in server on the shop folder beside the program, on free loopback
// ports, and removes them afterwards.
#include "BenchSupport.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace mv;
using namespace mv::bench;

namespace {

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int count = 2000;
    if (args.size() == 2 && args.at(0) == QLatin1String("--count"))
        count = args.at(1).toInt();
    ConsoleUiHooks quietUi;
    quietUi.quiet = true;
    SetUiHooks(&quietUi);

    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString sock = dir.filePath(QStringLiteral("mysql.sock"));
    const int dbPort = freePort();
    QStringList rootOpt;
    if (::geteuid() == 0)
        rootOpt << QStringLiteral("--user=root");
    {
        QProcess inst;
        inst.setProcessChannelMode(QProcess::MergedChannels);
        inst.start(program(QStringLiteral("mariadb-install-db")),
                   QStringList{"--no-defaults", "--datadir=" + data, "--auth-root-authentication-method=normal",
                               "--skip-test-db"} + rootOpt);
        if (!inst.waitForFinished(120000) || inst.exitCode() != 0) {
            std::fprintf(stderr, "mariadb-install-db failed: %s\n", inst.readAll().constData());
            return 1;
        }
    }
    QProcess db;
    db.start(program(QStringLiteral("mariadbd")),
             QStringList{"--no-defaults", "--datadir=" + data, "--socket=" + sock, "--port=" + QString::number(dbPort),
                         "--bind-address=127.0.0.1", "--skip-name-resolve", "--skip-log-bin",
                         "--character-set-server=latin1", "--innodb-buffer-pool-size=64M",
                         "--log-error=" + dir.filePath("error.log"), "--pid-file=" + dir.filePath("db.pid")} + rootOpt);
    const QStringList rootArgs{"--no-defaults", "--protocol=socket", "--socket=" + sock, "--user=root"};
    bool up = false;
    for (int i = 0; i < 300 && !up; ++i) {
        QThread::msleep(100);
        QProcess p;
        p.start(program(QStringLiteral("mariadb")), rootArgs + QStringList{"-e", "SELECT 1"});
        p.waitForFinished();
        up = p.exitCode() == 0;
    }
    if (!up) {
        std::fprintf(stderr, "mariadbd did not start\n");
        return 1;
    }
    runClient(rootArgs, "CREATE DATABASE bench CHARACTER SET latin1;"
                        "CREATE USER 'mv'@'%' IDENTIFIED BY 'pw'; GRANT ALL ON *.* TO 'mv'@'%';"
                        "CREATE TABLE bench.artikel (id INT NOT NULL PRIMARY KEY, name VARCHAR(60), preis DOUBLE) "
                        "DEFAULT CHARSET=latin1;");

    const int httpPort = freePort();
    const QString shop = QCoreApplication::applicationDirPath() + QStringLiteral("/shop");
    QProcess php;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // More than one worker, so that one idle kept-alive connection blocks no one.
    env.insert(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QStringLiteral("4"));
    php.setProcessEnvironment(env);
    // Its own process group: the workers go with the server at the end.
    php.setChildProcessModifier([] { ::setpgid(0, 0); });
    // Nobody reads the request log: a full pipe would stop the server.
    php.setStandardOutputFile(QProcess::nullDevice());
    php.setStandardErrorFile(QProcess::nullDevice());
    php.start(program(QStringLiteral("php")),
              {"-S", QStringLiteral("127.0.0.1:%1").arg(httpPort), "-t", shop, "-d", "display_errors=0"});
    php.waitForStarted();
    QThread::msleep(500);

    ShopSettings &s = Settings();
    s.SQL_Host = QStringLiteral("127.0.0.1:%1").arg(dbPort);
    s.SQL_User = QStringLiteral("mv");
    s.SQL_Pass = QStringLiteral("pw");
    s.SQL_Data = QStringLiteral("bench");
    s.SQL_HTTP = QStringLiteral("http://127.0.0.1:%1").arg(httpPort);

    QStringList inserts, selects;
    for (int i = 0; i < count; ++i) {
        inserts << QStringLiteral("INSERT INTO artikel VALUES (%1, 'Artikel %1 Grüße', %2.5)").arg(i).arg(i % 100);
        selects << QStringLiteral("SELECT id FROM artikel WHERE id = %1").arg((i * 7) % count);
    }
    const QStringList clientArgs{"--no-defaults", "--protocol=tcp", "-h", "127.0.0.1", "-P", QString::number(dbPort),
                                 "-u", "mv", "-ppw", "--batch", "--skip-column-names",
                                 "--default-character-set=utf8mb4", "bench"};
    auto clear = [&] { runClient(rootArgs, "DELETE FROM bench.artikel;"); };

    struct Row { const char *what; double ours, reference; };
    QList<Row> rows;
    MySqlConnection queryConn;
    MemTable table;
    TShopQuery query{&queryConn, &table};

    for (const char *mode : {"direct", "gateway"}) {
        const bool gw = QByteArray(mode) == "gateway";
        s.SQL_Server = gw ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
        clear();
        double refIns = 0, refSel = 0;
        if (gw) {
            // curl first, on a server no kept-alive connection of ours has touched.
            auto curlRun = [&](GatewayRequest kind, const QStringList &sqls) {
                QByteArray cfg;
                for (const QString &sql : sqls) {
                    const QByteArray url = WireUrl(GatewayUrl(GatewayAddress(kind, sql)), "windows-1252");
                    // The access data go in the POST body, as the program sends them.
                    cfg += "url = \"" + url + "\"\noutput = \"/dev/null\"\ndata = \"" + Transport().AccessBody()
                           + "\"\nnext\n";
                }
                QFile f(dir.filePath(QStringLiteral("curl.cfg")));
                f.open(QIODevice::WriteOnly);
                f.write(cfg);
                f.close();
                QElapsedTimer c;
                c.start();
                QProcess p;
                p.setStandardInputFile(QProcess::nullDevice());
                p.setStandardOutputFile(QProcess::nullDevice());
                p.setStandardErrorFile(QProcess::nullDevice());
                p.start(program(QStringLiteral("curl")), {"-s", "-K", f.fileName()});
                p.waitForFinished(600000);
                return seconds(c);
            };
            refIns = curlRun(GatewayRequest::Statement, inserts);
            refSel = curlRun(GatewayRequest::Query, selects);
            clear();
        }
        QElapsedTimer t;
        t.start();
        int failures = 0;
        for (const QString &sql : inserts)
            failures += Shop().ShopExecute(sql) != 0;
        const double ins = seconds(t);
        t.restart();
        for (const QString &sql : selects)
            failures += Shop().ShopOpen(sql, query) != 0 || table.RecordCount() != 1;
        const double sel = seconds(t);
        std::fprintf(stderr, "%s: %.3f s inserts, %.3f s queries\n", mode, ins, sel);
        if (failures)
            std::fprintf(stderr, "%s: %d failures\n", mode, failures);

        clear();
        if (!gw) {
            const QByteArray insFile = (inserts.join(QStringLiteral(";\n")) + QStringLiteral(";\n")).toUtf8();
            const QByteArray selFile = (selects.join(QStringLiteral(";\n")) + QStringLiteral(";\n")).toUtf8();
            t.restart();
            runClient(clientArgs, insFile);
            refIns = seconds(t);
            t.restart();
            QByteArray out;
            runClient(clientArgs, selFile, &out);
            refSel = seconds(t);
            clear();
        }
        const char *ref = gw ? "curl" : "mariadb";
        rows << Row{gw ? "gateway inserts" : "direct inserts", ins, refIns};
        rows << Row{gw ? "gateway existence queries" : "direct existence queries", sel, refSel};
        std::printf("%-28s %8.3f s   %-8s %8.3f s   ratio %.2f\n", rows.at(rows.size() - 2).what, ins, ref, refIns, ins / refIns);
        std::printf("%-28s %8.3f s   %-8s %8.3f s   ratio %.2f\n", rows.last().what, sel, ref, refSel, sel / refSel);
        std::fflush(stdout);
    }
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
    if (php.processId() > 0) {
        ::kill(-pid_t(php.processId()), SIGTERM);
        if (!php.waitForFinished(3000))
            ::kill(-pid_t(php.processId()), SIGKILL);
    }
    php.waitForFinished();
    db.terminate();
    db.waitForFinished(30000);
    SetUiHooks(nullptr);
    return 0;
}
