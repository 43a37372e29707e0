#pragma once
// What the benchmarks share: free loopback ports, the mariadb client, a
// private MariaDB, the gateway script served by PHP's built-in server or by
// nginx with php-fpm (which keeps connections alive), and the delaying
// relay of tools/netdelay. Header-only: every benchmark is one executable.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/types.h>
#include <unistd.h>

namespace mv::bench {

inline int freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

inline QString program(const QString &name)
{
    QString p = QStandardPaths::findExecutable(name);
    if (p.isEmpty())
        p = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    return p;
}

inline double seconds(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e9; }

// Runs the mariadb client with input on stdin; out gets its stdout.
inline bool runClient(const QStringList &args, const QByteArray &input, QByteArray *out = nullptr,
                      int timeoutMs = 3600000)
{
    QProcess p;
    if (!out)
        p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program(QStringLiteral("mariadb")), args);
    p.waitForStarted();
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(timeoutMs);
    if (out)
        *out = p.readAllStandardOutput();
    if (p.exitCode() != 0)
        std::fprintf(stderr, "mariadb: %s\n", p.readAllStandardError().constData());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool waitForPort(int port, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Ends a process started in a group of its own, with all its workers.
inline void stopGroup(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    if (p.processId() > 0) {
        ::kill(-pid_t(p.processId()), SIGTERM);
        if (!p.waitForFinished(5000))
            ::kill(-pid_t(p.processId()), SIGKILL);
    }
    p.waitForFinished();
}

inline void startInGroup(QProcess &p, const QString &prog, const QStringList &args, const QString &logFile = QString())
{
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
    // Nobody reads what the servers print: a full pipe would stop them.
    p.setStandardOutputFile(logFile.isEmpty() ? QProcess::nullDevice() : logFile);
    p.setStandardErrorFile(logFile.isEmpty() ? QProcess::nullDevice() : logFile, QIODevice::Append);
    p.start(prog, args);
    p.waitForStarted();
}

// A private MariaDB in dir with a database and a user "mv" (password "pw").
class MariaDb {
public:
    ~MariaDb() { stop(); }

    bool start(const QString &dir, const QString &database, const QStringList &extra = {})
    {
        m_dir = dir;
        m_database = database;
        port = freePort();
        const QString data = dir + QStringLiteral("/data");
        m_sock = dir + QStringLiteral("/mysql.sock");
        QStringList rootOpt;
        if (::geteuid() == 0)
            rootOpt << QStringLiteral("--user=root");
        QProcess inst;
        inst.setProcessChannelMode(QProcess::MergedChannels);
        inst.start(program(QStringLiteral("mariadb-install-db")),
                   QStringList{"--no-defaults", "--datadir=" + data, "--auth-root-authentication-method=normal",
                               "--skip-test-db"} + rootOpt);
        if (!inst.waitForFinished(120000) || inst.exitCode() != 0) {
            std::fprintf(stderr, "mariadb-install-db failed: %s\n", inst.readAll().constData());
            return false;
        }
        startInGroup(m_proc, program(QStringLiteral("mariadbd")),
                     QStringList{"--no-defaults", "--datadir=" + data, "--socket=" + m_sock,
                                 "--port=" + QString::number(port), "--bind-address=127.0.0.1", "--skip-name-resolve",
                                 "--skip-log-bin", "--character-set-server=latin1", "--innodb-buffer-pool-size=128M",
                                 // No disk flush per statement: the figures show the clients, not the disk.
                                 "--innodb-flush-log-at-trx-commit=0", "--sync-binlog=0",
                                 "--max-allowed-packet=64M", "--log-error=" + dir + "/error.log",
                                 "--pid-file=" + dir + "/db.pid"} + extra + rootOpt);
        bool up = false;
        for (int i = 0; i < 300 && !up; ++i) {
            QThread::msleep(100);
            QProcess p;
            p.start(program(QStringLiteral("mariadb")), rootArgs() + QStringList{"-e", "SELECT 1"});
            p.waitForFinished();
            up = p.exitCode() == 0;
        }
        if (!up) {
            std::fprintf(stderr, "mariadbd did not start\n");
            return false;
        }
        return runClient(rootArgs(), "CREATE DATABASE " + database.toUtf8()
                                         + " CHARACTER SET latin1;"
                                           "CREATE USER 'mv'@'%' IDENTIFIED BY 'pw'; GRANT ALL ON *.* TO 'mv'@'%';");
    }

    void stop()
    {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(30000))
            stopGroup(m_proc);
    }

    QStringList rootArgs() const
    {
        return {"--no-defaults", "--protocol=socket", "--socket=" + m_sock, "--user=root"};
    }

    // The client as the program's user over TCP (to `clientPort`, e.g. a relay).
    QStringList clientArgs(int clientPort = 0) const
    {
        return {"--no-defaults", "--protocol=tcp", "-h", "127.0.0.1", "-P", QString::number(clientPort ? clientPort : port),
                "-u", "mv", "-ppw", "--batch", "--skip-column-names", "--default-character-set=utf8mb4", m_database};
    }

    // Drops and creates the shop tables (the scripts beside the program).
    bool installShopSchema() const
    {
        const QString dbDir = QCoreApplication::applicationDirPath() + QStringLiteral("/db/");
        for (const char *script : {"dbdelete.sql", "dbschema.sql"}) {
            QFile f(dbDir + QLatin1String(script));
            if (!f.open(QIODevice::ReadOnly)
                || !runClient(rootArgs() + QStringList{"--default-character-set=latin1", m_database}, f.readAll())) {
                std::fprintf(stderr, "schema script %s failed\n", script);
                return false;
            }
        }
        return true;
    }

    int port = 0;

private:
    QString m_dir, m_sock, m_database;
    QProcess m_proc;
};

// PHP's built-in server (closes every connection after one request).
class PhpBuiltinServer {
public:
    ~PhpBuiltinServer() { stop(); }
    bool start(const QString &docroot, int workers = 4)
    {
        port = freePort();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // More than one worker, so that one idle connection blocks no one.
        env.insert(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(workers));
        m_proc.setProcessEnvironment(env);
        startInGroup(m_proc, program(QStringLiteral("php")),
                     {"-S", QStringLiteral("127.0.0.1:%1").arg(port), "-t", docroot, "-d", "display_errors=0"});
        return waitForPort(port, 10000);
    }
    void stop() { stopGroup(m_proc); }
    int port = 0;

private:
    QProcess m_proc;
};

// nginx in front of php-fpm, both private (configuration and sockets in
// dir): the server a shop host runs, keeping connections alive.
class NginxFpmServer {
public:
    ~NginxFpmServer() { stop(); }
    bool start(const QString &docroot, const QString &dir, int workers = 4)
    {
        const QString nginx = program(QStringLiteral("nginx"));
        QString fpm = program(QStringLiteral("php-fpm"));
        if (fpm.isEmpty())
            for (const QString &v : {QStringLiteral("8.4"), QStringLiteral("8.3"), QStringLiteral("8.2"), QStringLiteral("8.1")})
                if (fpm.isEmpty())
                    fpm = program(QStringLiteral("php-fpm") + v);
        if (nginx.isEmpty() || fpm.isEmpty()) {
            std::fprintf(stderr, "nginx or php-fpm missing (apt-get install nginx-light php-fpm)\n");
            return false;
        }
        QDir().mkpath(dir + QStringLiteral("/tmp"));
        port = freePort();
        const QString sock = dir + QStringLiteral("/fpm.sock");
        const bool root = ::geteuid() == 0;
        QFile fc(dir + QStringLiteral("/fpm.conf"));
        fc.open(QIODevice::WriteOnly);
        fc.write(QStringLiteral("[global]\nerror_log = %1/fpm.log\ndaemonize = no\n[www]\nlisten = %2\n"
                                "pm = static\npm.max_children = %3\npm.max_requests = 0\n"
                                "php_admin_value[display_errors] = 0\nclear_env = no\n")
                     .arg(dir, sock)
                     .arg(workers)
                     .toUtf8());
        fc.close();
        QFile nc(dir + QStringLiteral("/nginx.conf"));
        nc.open(QIODevice::WriteOnly);
        nc.write(QStringLiteral("%4worker_processes 1;\npid %1/nginx.pid;\nerror_log %1/nginx-error.log;\ndaemon off;\n"
                                "events { worker_connections 256; }\n"
                                "http {\n access_log off;\n keepalive_requests 1000000;\n keepalive_timeout 600s;\n"
                                " client_body_temp_path %1/tmp/body;\n fastcgi_temp_path %1/tmp/fastcgi;\n"
                                " proxy_temp_path %1/tmp/proxy;\n uwsgi_temp_path %1/tmp/uwsgi;\n scgi_temp_path %1/tmp/scgi;\n"
                                " client_max_body_size 64m;\n"
                                " server {\n  listen 127.0.0.1:%2;\n  root %3;\n  index index.php index.html;\n"
                                "  location ~ \\.php$ {\n   include /etc/nginx/fastcgi_params;\n"
                                "   fastcgi_param SCRIPT_FILENAME $document_root$fastcgi_script_name;\n"
                                "   fastcgi_pass unix:%5;\n  }\n }\n}\n")
                     .arg(dir)
                     .arg(port)
                     .arg(docroot, root ? QStringLiteral("user root root;\n") : QString(), sock)
                     .toUtf8());
        nc.close();
        QStringList fpmArgs{"-F", "-y", fc.fileName(), "-p", dir};
        if (root)
            fpmArgs << QStringLiteral("-R");
        startInGroup(m_fpm, fpm, fpmArgs, dir + QStringLiteral("/fpm.out"));
        startInGroup(m_nginx, nginx, {"-c", nc.fileName(), "-p", dir}, dir + QStringLiteral("/nginx.out"));
        for (int i = 0; i < 100 && !QFileInfo::exists(sock); ++i)
            QThread::msleep(50);
        return QFileInfo::exists(sock) && waitForPort(port, 10000);
    }
    void stop()
    {
        stopGroup(m_nginx);
        stopGroup(m_fpm);
    }
    int port = 0;

private:
    QProcess m_nginx, m_fpm;
};

// tools/netdelay/delay_proxy.py between a client and a server on 127.0.0.1.
class DelayProxy {
public:
    ~DelayProxy() { stop(); }
    bool start(int targetPort, int rttMs)
    {
        // __FILE__ is relative to the build folder when the build tool says so.
        QString source = QStringLiteral(__FILE__);
        if (QFileInfo(source).isRelative())
            source = QCoreApplication::applicationDirPath() + QLatin1Char('/') + source;
        const QString script = QFileInfo(source).absolutePath() + QStringLiteral("/../netdelay/delay_proxy.py");
        m_proc.setChildProcessModifier([] { ::setpgid(0, 0); });
        m_proc.setStandardErrorFile(QProcess::nullDevice());
        m_proc.start(QStringLiteral("/usr/bin/python3"),
                     {QFileInfo(script).absoluteFilePath(), QString::number(targetPort), "--rtt-ms", QString::number(rttMs)});
        if (!m_proc.waitForStarted() || !m_proc.waitForReadyRead(10000)) {
            std::fprintf(stderr, "%s did not start\n", qPrintable(script));
            return false;
        }
        port = m_proc.readLine().trimmed().toInt();
        return port > 0;
    }
    void stop() { stopGroup(m_proc); }
    int port = 0;

private:
    QProcess m_proc;
};

// A text for a double-quoted value of a curl config file.
inline QByteArray curlQuoted(const QByteArray &v)
{
    QByteArray out = v;
    out.replace('\\', "\\\\");
    out.replace('"', "\\\"");
    out.replace('\n', "\\n");
    out.replace('\r', "\\r");
    out.replace('\t', "\\t");
    return '"' + out + '"';
}

// One gateway request as the program sent it (GatewayTransport::RequestObserver).
struct Request {
    QByteArray url;
    QByteArray body;
    bool post;
};

// curl sending the same requests (address and POST body) over one
// kept-alive connection; the wall time in seconds, -1 when curl failed.
inline double curlReplay(const QList<Request> &requests, const QString &dir)
{
    QByteArray cfg;
    int files = 0;
    for (const Request &q : requests) {
        if (!cfg.isEmpty())
            cfg += "next\n";
        cfg += "url = " + curlQuoted(q.url) + "\noutput = \"/dev/null\"\n";
        if (q.post && q.body.size() > 8192) {
            // Long bodies (batches) from a file: curl's config lines are limited.
            const QString name = dir + QStringLiteral("/curl-body-%1").arg(++files);
            QFile b(name);
            b.open(QIODevice::WriteOnly);
            b.write(q.body);
            cfg += "data-binary = " + curlQuoted("@" + QFile::encodeName(name)) + "\n";
        } else if (q.post) {
            cfg += "data-binary = " + curlQuoted(q.body) + "\n";
        }
    }
    QFile c(dir + QStringLiteral("/curl.cfg"));
    c.open(QIODevice::WriteOnly);
    c.write(cfg);
    c.close();
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(dir + QStringLiteral("/curl.err"));
    QElapsedTimer t;
    t.start();
    p.start(program(QStringLiteral("curl")), {"-s", "-S", "-K", c.fileName()});
    p.waitForFinished(-1);
    const double secs = seconds(t);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "curl ended with %d\n", p.exitCode());
        return -1;
    }
    return secs;
}

} // namespace mv::bench
