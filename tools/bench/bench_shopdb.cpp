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
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace mv;
using namespace mv::bench;

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
    MariaDb db;
    if (!db.start(dir.filePath(QStringLiteral("mysql")), QStringLiteral("bench")))
        return 1;
    const QStringList rootArgs = db.rootArgs();
    runClient(rootArgs, "CREATE TABLE bench.artikel (id INT NOT NULL PRIMARY KEY, name VARCHAR(60), preis DOUBLE) "
                        "DEFAULT CHARSET=latin1;");
    PhpBuiltinServer php;
    if (!php.start(QCoreApplication::applicationDirPath() + QStringLiteral("/shop"))) {
        std::fprintf(stderr, "php -S did not start\n");
        return 1;
    }
    const int dbPort = db.port;
    const int httpPort = php.port;

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
    const QStringList clientArgs = db.clientArgs();
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
                QList<Request> requests;
                // The access data go in the POST body, as the program sends them.
                for (const QString &sql : sqls)
                    requests.append({WireUrl(GatewayUrl(GatewayAddress(kind, sql)), "windows-1252"),
                                     Transport().AccessBody(), true});
                return curlReplay(requests, dir.path());
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
    SetUiHooks(nullptr);
    return 0;
}
