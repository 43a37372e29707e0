// Speed of a complete master-data upload (20,000 newsletter addresses,
// 2,000 countries, 2,000 news) against what a shop owner would compare
// with: the mariadb client replaying the run's --log-sql file in one
// session (direct mode), and curl fetching the same gateway addresses over
// one keep-alive connection (gateway mode).
//
//   bench_transfer [--newsletter N] [--rows N] [--repeat N] [--mode direct|gateway]
//   bench_transfer --addresses N [--fetch M] [--repeat N] [--mode direct|gateway]
//
// --addresses measures the address steps instead (fetch, customers,
// suppliers, prospects, payment methods) on a demo WaWi with N addresses;
// --fetch puts M shop-registered customers (with an order each) into the
// shop before each run.
//
// With --repeat the two sides take turns and the best time of each counts
// (the machine's disk and other work make single figures noisy).
//
// Starts a private MariaDB and PHP's built-in server on the shop folder
// beside the program, on free loopback ports, and removes them afterwards.
#include "BenchSupport.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/ShopConnection.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferStep.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

using namespace mv;
using namespace mv::bench;

namespace {

FieldDef F(const char *name, FieldType t, int size = 0) { return FieldDef{QString::fromUtf8(name), t, size}; }

void writeFiles(const QString &dir, int newsletter, int rows)
{
    QVector<QVector<QVariant>> countries, news, mails;
    for (int i = 0; i < rows; ++i) {
        countries << QVector<QVariant>{QString::fromUtf8("Land Nr. %1 'Ü'").arg(i), QStringLiteral("Währung %1").arg(i % 40),
                                       1.0 + i / 1000.0, QVariant(), QStringLiteral("0"), QStringLiteral("deutsch"),
                                       QStringLiteral("1"), QStringLiteral("X%1").arg(i)};
        news << QVector<QVariant>{QString::fromUtf8("Meldung %1: Grüße & mehr").arg(i),
                                  QString::fromUtf8("Text der Meldung %1 mit C:\\Pfad und 'Apostroph', "
                                                    "lang genug für eine echte Nachricht aus dem Laden.")
                                      .arg(i),
                                  QVariant()};
    }
    const QDateTime when(QDate(2026, 11, 1), QTime(12, 0));
    for (int i = 0; i < newsletter; ++i)
        mails << QVector<QVariant>{QStringLiteral("kunde%1@example.org").arg(i), QStringLiteral("K%1").arg(i), 1, when};
    TableFile::WritePacketFile(dir + "laender4.xml",
                               {F("laendername", FieldType::String, 80), F("waerungsname", FieldType::String, 60),
                                F("kurs", FieldType::Float), F("fahne", FieldType::String, 200),
                                F("eu", FieldType::String, 20), F("sprache", FieldType::String, 50),
                                F("egident", FieldType::String, 10), F("isolaendercode", FieldType::String, 20)},
                               countries);
    TableFile::WritePacketFile(dir + "news6.xml",
                               {F("header", FieldType::String, 80), F("inhalt", FieldType::Memo), F("bild", FieldType::String, 200)},
                               news);
    TableFile::WritePacketFile(dir + "newsletter_adr.xml", NewsletterLayout(), mails);
}

// The statements of a --log-sql file (the generated data hold no ";\n").
QStringList loggedStatements(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QStringList out = QString::fromUtf8(f.readAll()).split(QStringLiteral(";\n"), Qt::SkipEmptyParts);
    if (!out.isEmpty() && out.first().startsWith(QLatin1String("SET SESSION")))
        out.removeFirst();
    return out;
}

// The command-line tool's hooks: quiet, and what the network layer let go
// of is freed between records (no event loop runs around the transfer).
class BenchHooks : public ConsoleUiHooks {
public:
    BenchHooks() { quiet = true; }
    void ProcessEvents() override
    {
        ConsoleUiHooks::ProcessEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int newsletter = 20000, rows = 2000, repeat = 1, addresses = 0, fetch = 0;
    QString only;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--newsletter"))
            newsletter = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rows"))
            rows = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--repeat"))
            repeat = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--mode"))
            only = args[i + 1];
        else if (args[i] == QLatin1String("--addresses"))
            addresses = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--fetch"))
            fetch = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("MARKTVOLL_HOME", QFile::encodeName(home));
    InitPaths();
    BenchHooks quietUi;
    SetUiHooks(&quietUi);

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
                         "--character-set-server=latin1", "--innodb-buffer-pool-size=64M", "--max-allowed-packet=64M",
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
                        "CREATE USER 'mv'@'%' IDENTIFIED BY 'pw'; GRANT ALL ON *.* TO 'mv'@'%';");
    const QString dbDir = QCoreApplication::applicationDirPath() + QStringLiteral("/db/");
    for (const char *script : {"dbdelete.sql", "dbschema.sql"}) {
        QFile f(dbDir + QLatin1String(script));
        if (!f.open(QIODevice::ReadOnly) || !runClient(rootArgs + QStringList{"--default-character-set=latin1", "bench"}, f.readAll())) {
            std::fprintf(stderr, "schema script %s failed\n", script);
            return 1;
        }
    }

    // The gateway behind a server that keeps connections alive, as a shop
    // host runs it; PHP's built-in server closes every connection.
    NginxFpmServer web;
    QDir().mkpath(dir.filePath(QStringLiteral("web")));
    if (!web.start(QCoreApplication::applicationDirPath() + QStringLiteral("/shop"), dir.filePath(QStringLiteral("web")))) {
        std::fprintf(stderr, "nginx/php-fpm did not start\n");
        return 1;
    }
    const int httpPort = web.port;
    QList<Request> requests;
    Transport().RequestObserver = [&](const QUrl &url, const QByteArray *body) {
        requests.append({url.toEncoded(), body ? *body : QByteArray(), body != nullptr});
    };

    ShopSettings &s = Settings();
    s.SQL_Host = QStringLiteral("127.0.0.1:%1").arg(dbPort);
    s.SQL_User = QStringLiteral("mv");
    s.SQL_Pass = QStringLiteral("pw");
    s.SQL_Data = QStringLiteral("bench");
    s.SQL_HTTP = QStringLiteral("http://127.0.0.1:%1").arg(httpPort);
    writeFiles(s.ExeDir, newsletter, rows);
    const QStringList clientArgs{"--no-defaults", "--protocol=tcp", "-h", "127.0.0.1", "-P", QString::number(dbPort),
                                 "-u", "mv", "-ppw", "--batch", "--skip-column-names",
                                 "--default-character-set=utf8mb4", "bench"};

    TransferOptions o;
    o.kinds = {QStringLiteral("laender"), QStringLiteral("news"), QStringLiteral("newsletter")};
    if (addresses > 0) {
        WaWiDemoOptions wo;
        wo.addresses = addresses;
        wo.articles = 10;
        wo.groups = 3;
        wo.mandanten = 1;
        wo.registerInRegistry = false;
        const QString wawi = dir.filePath(QStringLiteral("wawi"));
        WriteWaWiDemo(wawi, wo);
        TVLBDatabase::Connect(wawi);
        s.WaWiDir = wawi + QLatin1Char('/');
        s.Aktiv_Mandant = 1;
        o.kinds = {QStringLiteral("adressen-holen"), QStringLiteral("kunden"), QStringLiteral("lieferanten"),
                   QStringLiteral("interessenten"), QStringLiteral("zahlungsarten")};
    }
    o.complete = true;
    o.sinceDate = false;
    for (const char *mode : {"direct", "gateway"}) {
        if (!only.isEmpty() && only != QLatin1String(mode))
            continue;
        const bool gw = QByteArray(mode) == "gateway";
        s.SQL_Server = gw ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
        o.logSqlFile = dir.filePath(QStringLiteral("%1.sql").arg(mode));
        double ours = 1e300, ref = 1e300;
        qint64 written = 0;
        QStringList statements;
        for (int round = 0; round < repeat; ++round) {
            if (addresses > 0 && fetch > 0) {
                QStringList rowsSql, orders;
                for (int i = 1; i <= fetch; ++i) {
                    rowsSql << QStringLiteral("(%1,0,'neu%2@example.org','Neukunde %2')").arg(-i).arg(i);
                    orders << QStringLiteral("(%1,%2)").arg(-i).arg(i);
                }
                runClient(clientArgs, ("INSERT INTO adressen (adresse,art,email,name1) VALUES " + rowsSql.join(',')
                                       + ";INSERT INTO bestellungen (person,summe) VALUES " + orders.join(',') + ";")
                                          .toUtf8());
            }
            requests.clear();
            TransferRun run;
            QElapsedTimer t;
            t.start();
            run.Run(o);
            ours = std::min(ours, seconds(t));
            const TransferReport &r = run.LastReport();
            written = 0;
            for (const TransferStepReport &st : r.steps)
                written += st.inserted + st.updated;
            if (r.ExitCode() != 0)
                std::fprintf(stderr, "%s: run ended with %d\n%s", mode, r.ExitCode(), qPrintable(r.toText()));
            for (const TransferStepReport &st : r.steps)
                if (addresses > 0)
                    std::fprintf(stderr, "  %-16s %8.3f s\n", qPrintable(st.name), st.elapsedMs / 1000.0);
            Shop().Ti_Connect_OffTimer();
            Shop().Ti_Connect2_OffTimer();

            QFile logFile(o.logSqlFile);
            logFile.open(QIODevice::ReadOnly);
            const QByteArray log = logFile.readAll();
            statements = loggedStatements(o.logSqlFile);
            if (!gw) {
                // The log begins with its own DELETEs: the replay starts from the same state.
                t.restart();
                runClient(clientArgs, log);
                ref = std::min(ref, seconds(t));
            } else {
                Transport().CloseConnections();
                const double secs = curlReplay(requests, dir.path());
                if (secs >= 0)
                    ref = std::min(ref, secs);
            }
        }
        std::printf("%-8s %6lld statements (%lld rows written)  ours %8.3f s   %-8s %8.3f s   ratio %.2f\n", mode,
                    (long long)statements.size(), (long long)written, ours, gw ? "curl" : "mariadb", ref, ours / ref);
        std::fflush(stdout);
    }
    Transport().RequestObserver = nullptr;
    web.stop();
    db.terminate();
    db.waitForFinished(30000);
    SetUiHooks(nullptr);
    return 0;
}
