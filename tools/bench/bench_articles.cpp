// Speed of the complete article transfer (product groups, articles and
// their side tables) of a demo WaWi, against what a shop owner would
// compare with:
//   direct mode:  the mariadb client replaying the run's --log-sql file in
//                 one session, from the same database state;
//   gateway mode: curl sending the same gateway requests over one
//                 keep-alive connection, the gateway script served by nginx
//                 with php-fpm (PHP's built-in server closes every
//                 connection after one request);
// both on loopback and through tools/netdelay/delay_proxy.py with 20 ms
// added round-trip time. Then the peak resident size of
// `marktvoll-cli transfer` on a larger demo WaWi.
//
//   bench_articles [--articles N] [--repeat N] [--mode direct|gateway]
//                  [--rtt MS[,MS...]] [--memory-articles N (0: skip)]
//                  [--protocol batched|one-by-one[,...]] [--compress -1|0|1[,...]]
//                  [--quick-reference]
//
// Bytes sent per article: what the program put on the wire towards the
// shop (direct: the server's Bytes_received, compressed where the protocol
// compresses; gateway: request lines and bodies).
//
// With --repeat the two sides take turns and the best time of each counts.
// Everything runs on free 127.0.0.1 ports in a temporary folder.
#include "BenchSupport.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/ShopConnection.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferStep.h"
#include "wawi/WaWiDetect.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

using namespace mv;
using namespace mv::bench;

namespace {

class BenchHooks : public ConsoleUiHooks {
public:
    BenchHooks() { quiet = true; }
    void ProcessEvents() override
    {
        ConsoleUiHooks::ProcessEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

struct ChildRun {
    int exitCode = -1;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs a program to its end; wait4 gives its own peak resident size.
ChildRun runMeasured(const QString &prog, const QStringList &args, const QString &outFile)
{
    ChildRun r;
    QList<QByteArray> store;
    store << QFile::encodeName(prog);
    for (const QString &a : args)
        store << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &b : store)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    const QByteArray out = QFile::encodeName(outFile);
    posix_spawn_file_actions_addopen(&fa, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        return r;
    }
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    r.seconds = seconds(t);
    r.maxRssKb = ru.ru_maxrss;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return r;
}

bool runCli(const QStringList &args, const QString &logFile)
{
    const ChildRun r = runMeasured(QCoreApplication::applicationDirPath() + QStringLiteral("/marktvoll-cli"), args, logFile);
    if (r.exitCode != 0) {
        QFile f(logFile);
        f.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "marktvoll-cli %s failed (%d):\n%s\n", qPrintable(args.join(QLatin1Char(' '))), r.exitCode,
                     f.readAll().right(4000).constData());
    }
    return r.exitCode == 0;
}

struct Figures {
    double ours = 1e300, ref = 1e300;
    qint64 statements = 0, requests = 0, articles = 0, bytes = 0;
};

// What the server has read from its clients so far.
qint64 BytesReceived(const MariaDb &db)
{
    QByteArray out;
    runClient(db.rootArgs() + QStringList{"-N", "-B"}, "SHOW GLOBAL STATUS LIKE 'Bytes_received'", &out);
    return out.trimmed().split('\t').value(1).toLongLong();
}

} // namespace

// Statements and reads per step of one run, from its --log-sql file: the
// log holds every statement of the steps before when the next one starts.
// "--reads 1" prints them first, for a complete transfer of every kind and
// for an "all data" transfer over the filled shop, one by one and batched
// (direct mode, loopback).
struct StepReads {
    QString step;
    qint64 statements = 0, reads = 0;
};

QList<StepReads> CountReads(TransferOptions o, const QString &logFile)
{
    o.logSqlFile = logFile;
    QList<StepReads> out;
    qint64 seen = 0;
    auto take = [&](const QString &step) {
        QFile f(logFile);
        if (!f.open(QIODevice::ReadOnly))
            return;
        const QList<QByteArray> lines = f.readAll().split('\n');
        StepReads r;
        r.step = step;
        for (qint64 i = seen; i < lines.size(); ++i) {
            const QByteArray l = lines[i].trimmed();
            // Memo texts continue a statement on lines of their own.
            const QString head = QString::fromUtf8(l.left(12)).toUpper();
            if (!(head.startsWith(QLatin1String("SELECT")) || head.startsWith(QLatin1String("SHOW"))
                  || head.startsWith(QLatin1String("INSERT")) || head.startsWith(QLatin1String("UPDATE"))
                  || head.startsWith(QLatin1String("DELETE")) || head.startsWith(QLatin1String("ALTER"))))
                continue;
            ++r.statements;
            if (!TransferContext::IsWritingStatement(QString::fromUtf8(l)))
                ++r.reads;
        }
        seen = lines.size() - 1;
        if (r.statements > 0)
            out << r;
    };
    TransferRun run;
    QString current = QStringLiteral("Schemaprüfung");
    QObject::connect(&run, &TransferRun::stepStarted, [&](const QString &name) {
        take(current);
        current = name;
    });
    run.Run(o);
    take(current);
    return out;
}

void PrintReads(MariaDb &db, const QString &logFile)
{
    ShopSettings &s = Settings();
    s.SQL_Server = QStringLiteral("MySQL");
    s.SQL_Host = QStringLiteral("127.0.0.1:%1").arg(db.port);
    TransferOptions all;
    for (const TransferKind &k : TransferKinds())
        all.kinds.insert(k.name);
    all.sinceDate = false;
    std::printf("%-28s %-10s %12s %12s %12s %12s\n", "step", "run", "one-by-one", "reads", "batched", "reads");
    for (const bool complete : {true, false}) {
        QList<StepReads> counted[2];
        for (const int batched : {0, 1}) {
            db.installShopSchema();
            all.batched = batched == 1;
            all.complete = true;
            all.allData = false;
            counted[batched] = CountReads(all, logFile);
            if (!complete) {
                all.complete = false;
                all.allData = true;
                counted[batched] = CountReads(all, logFile);
            }
            Shop().Ti_Connect_OffTimer();
            Shop().Ti_Connect2_OffTimer();
        }
        for (const StepReads &a : std::as_const(counted[0])) {
            StepReads b;
            for (const StepReads &x : std::as_const(counted[1]))
                if (x.step == a.step)
                    b = x;
            std::printf("%-28s %-10s %12lld %12lld %12lld %12lld\n", qPrintable(a.step),
                        complete ? "complete" : "all data", (long long)a.statements, (long long)a.reads,
                        (long long)b.statements, (long long)b.reads);
        }
    }
    std::fflush(stdout);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int articles = 10000, repeat = 1, memoryArticles = 100000;
    QString only;
    QList<int> rtts{0, 20};
    QList<int> compressions{-1};
    // The mariadb client sends one statement per round trip: with added
    // round-trip time its replay takes statements x RTT; --quick-reference
    // gives that figure instead of waiting for it.
    bool quickReference = false;
    QStringList protocols{QStringLiteral("batched")};
    QStringList flags = args;
    quickReference = flags.removeAll(QStringLiteral("--quick-reference")) > 0;
    const QStringList &opts = flags;
    for (int i = 0; i + 1 < opts.size(); i += 2) {
        if (opts[i] == QLatin1String("--articles"))
            articles = opts[i + 1].toInt();
        else if (opts[i] == QLatin1String("--repeat"))
            repeat = std::max(1, opts[i + 1].toInt());
        else if (opts[i] == QLatin1String("--mode"))
            only = opts[i + 1];
        else if (opts[i] == QLatin1String("--memory-articles"))
            memoryArticles = opts[i + 1].toInt();
        else if (opts[i] == QLatin1String("--protocol"))
            protocols = opts[i + 1].split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (opts[i] == QLatin1String("--compress")) {
            compressions.clear();
            for (const QString &p : opts[i + 1].split(QLatin1Char(','), Qt::SkipEmptyParts))
                compressions << p.toInt();
        } else if (opts[i] == QLatin1String("--rtt")) {
            rtts.clear();
            for (const QString &p : opts[i + 1].split(QLatin1Char(','), Qt::SkipEmptyParts))
                rtts << p.toInt();
        }
    }

    const qsizetype readsAt = args.indexOf(QStringLiteral("--reads"));
    const bool reads = readsAt >= 0 && args.value(readsAt + 1).toInt() != 0;

    QTemporaryDir dir;
    // MV_BENCH_KEEP=1 leaves the folder (logs, curl requests) for a look.
    if (qEnvironmentVariableIntValue("MV_BENCH_KEEP"))
        dir.setAutoRemove(false);
    std::fprintf(stderr, "working folder %s\n", qPrintable(dir.path()));
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    // The program folder: SQL scripts, the shop folder, the index catalog.
    for (const char *sub : {"db", "shop", "wawi"})
        QProcess::execute(QStringLiteral("cp"), {"-r", QCoreApplication::applicationDirPath() + "/" + sub, home + "/"});
    qputenv("MARKTVOLL_HOME", QFile::encodeName(home));
    qputenv("MARKTVOLL_REGISTRY", QFile::encodeName(dir.filePath(QStringLiteral("registry.reg"))));
    const QString cliLog = dir.filePath(QStringLiteral("cli.log"));

    std::fprintf(stderr, "demo WaWi with %d articles ...\n", articles);
    const QString wawiDir = dir.filePath(QStringLiteral("wawi"));
    if (!runCli({"wawi", "demo", wawiDir, "--articles", QString::number(articles), "--addresses", "10"}, cliLog))
        return 1;

    MariaDb db;
    if (!db.start(dir.filePath(QStringLiteral("mysql")), QStringLiteral("bench")) || !db.installShopSchema())
        return 1;
    NginxFpmServer web;
    const QString docroot = home + QStringLiteral("/shop");
    const bool haveWeb = web.start(docroot, dir.filePath(QStringLiteral("web")));
    if (!haveWeb)
        std::fprintf(stderr, "nginx/php-fpm did not start: no gateway figures\n");

    InitPaths();
    QString error;
    if (!LoadSettings(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    BenchHooks quietUi;
    SetUiHooks(&quietUi);
    ShopSettings &s = Settings();
    s.SQL_User = QStringLiteral("mv");
    s.SQL_Pass = QStringLiteral("pw");
    s.SQL_Data = QStringLiteral("bench");
    if (DetectWaWi(true, s.VLB_Programm) != WaWiDetectResult::Found) {
        std::fprintf(stderr, "demo WaWi not found\n");
        return 1;
    }
    if (reads)
        PrintReads(db, dir.filePath(QStringLiteral("reads.sql")));

    QList<Request> requests;
    Transport().RequestObserver = [&](const QUrl &url, const QByteArray *body) {
        requests.append({url.toEncoded(), body ? *body : QByteArray(), body != nullptr});
    };
    auto requestBytes = [&] {
        qint64 n = 0;
        for (const Request &r : requests)
            n += r.url.size() + r.body.size() + 200; // request line and headers
        return n;
    };

    TransferOptions o;
    o.kinds = {QStringLiteral("warengruppen"), QStringLiteral("artikel")};
    o.complete = true;
    o.sinceDate = false;

    struct Line { QString what; Figures f; };
    QList<Line> lines;
    for (const int rtt : rtts) {
        DelayProxy dbRelay, webRelay;
        if (rtt > 0 && (!dbRelay.start(db.port, rtt) || (haveWeb && !webRelay.start(web.port, rtt)))) {
            std::fprintf(stderr, "delay proxy did not start\n");
            return 1;
        }
        for (const char *mode : {"direct", "gateway"})
        for (const QString &protocol : protocols)
        for (const int compress : compressions) {
            if (!only.isEmpty() && only != QLatin1String(mode))
                continue;
            o.batched = protocol != QLatin1String("one-by-one");
            o.compress = compress;
            const bool gw = QByteArray(mode) == "gateway";
            if (gw && !haveWeb)
                continue;
            s.SQL_Server = gw ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
            // In gateway mode the script talks to its database on its own host.
            s.SQL_Host = QStringLiteral("127.0.0.1:%1").arg(rtt > 0 && !gw ? dbRelay.port : db.port);
            s.SQL_HTTP = QStringLiteral("http://127.0.0.1:%1").arg(rtt > 0 ? webRelay.port : web.port);
            o.logSqlFile = dir.filePath(QStringLiteral("%1-%2.sql").arg(QLatin1String(mode)).arg(rtt));
            Figures f;
            for (int round = 0; round < repeat; ++round) {
                db.installShopSchema();
                requests.clear();
                const qint64 bytesBefore = gw ? 0 : BytesReceived(db);
                {
                    TransferRun run;
                    QElapsedTimer t;
                    t.start();
                    run.Run(o);
                    f.ours = std::min(f.ours, seconds(t));
                    const TransferReport &r = run.LastReport();
                    f.statements = 0;
                    f.articles = 0;
                    for (const TransferStepReport &st : r.steps) {
                        std::fprintf(stderr, "  %-20s %7lld statements %8.3f s\n", qPrintable(st.name),
                                     (long long)st.statements, st.elapsedMs / 1000.0);
                        f.statements += st.statements;
                        if (st.kind == QLatin1String("artikel"))
                            f.articles = st.read;
                    }
                    if (r.ExitCode() != 0)
                        std::fprintf(stderr, "%s: run ended with %d\n%s", mode, r.ExitCode(), qPrintable(r.toText()));
                }
                Shop().Ti_Connect_OffTimer();
                Shop().Ti_Connect2_OffTimer();
                Transport().CloseConnections();
                f.requests = requests.size();
                f.bytes = gw ? requestBytes() : BytesReceived(db) - bytesBefore;

                db.installShopSchema();
                QElapsedTimer t;
                if (!gw && quickReference && rtt > 0) {
                    f.ref = std::min(f.ref, double(f.statements) * rtt / 1000.0);
                } else if (!gw) {
                    QFile logFile(o.logSqlFile);
                    logFile.open(QIODevice::ReadOnly);
                    const QByteArray log = logFile.readAll();
                    t.start();
                    runClient(db.clientArgs(rtt > 0 ? dbRelay.port : 0), log);
                    f.ref = std::min(f.ref, seconds(t));
                } else {
                    const double secs = curlReplay(requests, dir.path());
                    if (secs >= 0)
                        f.ref = std::min(f.ref, secs);
                }
            }
            const QString what = QStringLiteral("%1%2 %3%4")
                                     .arg(QLatin1String(mode), rtt > 0 ? QStringLiteral("+%1ms").arg(rtt) : QString(),
                                          o.batched ? QStringLiteral("batched") : QStringLiteral("one-by-one"),
                                          compress == 1 ? QStringLiteral(" gz") : compress == 0 ? QStringLiteral(" raw") : QString());
            std::printf("%-28s %6lld articles %7lld statements %7lld requests  ours %8.3f s (%6.0f articles/s)   "
                        "%-7s %8.3f s   ratio %.2f   %6.0f bytes/article\n",
                        qPrintable(what), (long long)f.articles, (long long)f.statements, (long long)f.requests, f.ours,
                        f.articles / f.ours, gw ? "curl" : "mariadb", f.ref, f.ours / f.ref,
                        double(f.bytes) / std::max<qint64>(1, f.articles));
            std::fflush(stdout);
            lines << Line{what, f};
        }
    }
    Transport().RequestObserver = nullptr;
    SetUiHooks(nullptr);

    if (memoryArticles > 0) {
        std::fprintf(stderr, "demo WaWi with %d articles for the memory figure ...\n", memoryArticles);
        const QString bigDir = dir.filePath(QStringLiteral("wawi-big"));
        if (!runCli({"wawi", "demo", bigDir, "--articles", QString::number(memoryArticles), "--addresses", "10"}, cliLog))
            return 1;
        db.installShopSchema();
        if (!runCli({"settings", "set", "SQL_Server", "MySQL", "SQL_Host", QStringLiteral("127.0.0.1:%1").arg(db.port),
                     "SQL_User", "mv", "SQL_Pass", "pw", "SQL_Data", "bench"},
                    cliLog))
            return 1;
        const ChildRun r = runMeasured(QCoreApplication::applicationDirPath() + QStringLiteral("/marktvoll-cli"),
                                       {"transfer", "--kinds", "warengruppen,artikel", "--complete"},
                                       dir.filePath(QStringLiteral("big.log")));
        std::printf("memory         %6d articles  marktvoll-cli transfer %8.3f s (%6.0f articles/s)  exit %d  "
                    "peak RSS %.1f MB (limit 300 MB)\n",
                    memoryArticles, r.seconds, memoryArticles / r.seconds, r.exitCode, r.maxRssKb / 1024.0);
        if (r.exitCode != 0) {
            QFile f(dir.filePath(QStringLiteral("big.log")));
            f.open(QIODevice::ReadOnly);
            std::fprintf(stderr, "%s\n", f.readAll().right(3000).constData());
        }
    }
    web.stop();
    db.stop();
    return 0;
}
