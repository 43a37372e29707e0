#include "support/TestServers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace mv::test {

namespace {

// Children die with the test process even if it crashes, so no server is
// left running after an aborted test.
void bindChildToParent(QProcess &p)
{
#ifdef Q_OS_LINUX
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#else
    Q_UNUSED(p);
#endif
}

QString findProgram(const QString &name)
{
    QString p = QStandardPaths::findExecutable(name);
    if (p.isEmpty())
        p = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                                                  QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin")});
    return p;
}

void setErr(QString *error, const QString &text)
{
    if (error) *error = text;
}

void stopProcess(QProcess *p, int graceMs)
{
    if (!p || p->state() == QProcess::NotRunning) return;
    p->terminate();
    if (!p->waitForFinished(graceMs)) {
        p->kill();
        p->waitForFinished(5000);
    }
}

QString sqlString(const QString &s)
{
    QString r = s;
    r.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    r.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + r + QLatin1Char('\'');
}

} // namespace

bool isCi()
{
    return qgetenv("CI") == "true";
}

int freeLoopbackPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0)) return 0;
    const int port = s.serverPort();
    s.close();
    return port;
}

bool copyTree(const QString &from, const QString &to)
{
    QDir src(from);
    if (!src.exists()) return false;
    if (!QDir().mkpath(to)) return false;
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = src.relativeFilePath(path);
        const QString target = QDir(to).filePath(rel);
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target)) return false;
        } else {
            QDir().mkpath(QFileInfo(target).path());
            QFile::remove(target);
            if (!QFile::copy(path, target)) return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- MariaDB

MariaDbServer::MariaDbServer() = default;

MariaDbServer::~MariaDbServer()
{
    stop();
}

QString MariaDbServer::socketPath() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("mysqld.sock")) : QString();
}

QString MariaDbServer::dataDir() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("data")) : QString();
}

QString MariaDbServer::hostPort() const
{
    return host() + QLatin1Char(':') + QString::number(m_port);
}

QString MariaDbServer::errorLog() const
{
    if (!m_dir) return {};
    QFile f(m_dir->filePath(QStringLiteral("error.log")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(f.readAll());
}

bool MariaDbServer::isRunning() const
{
    return m_proc && m_proc->state() == QProcess::Running;
}

QString MariaDbServer::clientProgram() const
{
    QString p = findProgram(QStringLiteral("mariadb"));
    if (p.isEmpty()) p = findProgram(QStringLiteral("mysql"));
    return p;
}

bool MariaDbServer::runClient(const QStringList &args, const QByteArray &input, QByteArray *out,
                              QString *error, int timeoutMs, const char *charset) const
{
    const QString client = clientProgram();
    if (client.isEmpty()) {
        setErr(error, QStringLiteral("mariadb client not found"));
        return false;
    }
    QStringList all{QStringLiteral("--no-defaults"), QStringLiteral("--protocol=socket"),
                    QStringLiteral("--socket=") + socketPath(), QStringLiteral("--user=root"),
                    QStringLiteral("--default-character-set=") + QLatin1String(charset), QStringLiteral("--batch"),
                    QStringLiteral("--raw"), QStringLiteral("--skip-column-names")};
    if (m_rootHasPassword) all << QStringLiteral("--password=") + rootPassword();
    all << args;
    QProcess p;
    bindChildToParent(p);
    p.start(client, all);
    if (!p.waitForStarted(10000)) {
        setErr(error, QStringLiteral("cannot run %1").arg(client));
        return false;
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        setErr(error, QStringLiteral("mariadb client timed out"));
        return false;
    }
    if (out) *out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        setErr(error, QString::fromUtf8(p.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

bool MariaDbServer::waitReady(int timeoutMs, QString *error)
{
    QElapsedTimer t;
    t.start();
    QString last;
    while (t.elapsed() < timeoutMs) {
        if (m_proc->state() != QProcess::Running) {
            setErr(error, QStringLiteral("mariadbd ended: ") + errorLog().right(2000));
            return false;
        }
        if (QFileInfo::exists(socketPath())) {
            QByteArray out;
            if (runClient({QStringLiteral("-e"), QStringLiteral("SELECT 1")}, {}, &out, &last, 10000)) {
                // The TCP port must answer too: the tests use it.
                QTcpSocket sock;
                sock.connectToHost(host(), quint16(m_port));
                if (sock.waitForConnected(2000)) return true;
                last = sock.errorString();
            }
        }
        QThread::msleep(100);
    }
    setErr(error, QStringLiteral("mariadbd not ready: ") + last + QLatin1Char('\n') + errorLog().right(2000));
    return false;
}

bool MariaDbServer::start(QString *error, const QStringList &extraOptions)
{
    stop();
    const QString installDb = findProgram(QStringLiteral("mariadb-install-db"));
    const QString daemon = findProgram(QStringLiteral("mariadbd"));
    if (installDb.isEmpty() || daemon.isEmpty() || clientProgram().isEmpty()) {
        setErr(error, QStringLiteral("MariaDB not installed (packages mariadb-server, mariadb-client)"));
        return false;
    }
    // Socket paths are limited to ~100 characters: keep the folder short.
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/mvdb-XXXXXX"));
    if (!m_dir->isValid()) {
        setErr(error, QStringLiteral("no temporary folder"));
        return false;
    }
    // Its own tmpdir also for the bootstrap: with the shared /tmp, parallel
    // installs failed now and then deleting their temporary tables.
    const QStringList common{QStringLiteral("--innodb-log-file-size=8M"),
                             QStringLiteral("--innodb-buffer-pool-size=32M"),
                             QStringLiteral("--tmpdir=") + m_dir->path()};
    QStringList userOpt;
#ifdef Q_OS_UNIX
    // mariadbd refuses to run as root unless told to.
    if (::geteuid() == 0) userOpt << QStringLiteral("--user=root");
#endif
    {
        QProcess inst;
        bindChildToParent(inst);
        inst.setProcessChannelMode(QProcess::MergedChannels);
        inst.start(installDb, QStringList{QStringLiteral("--no-defaults"),
                                          QStringLiteral("--datadir=") + dataDir(),
                                          QStringLiteral("--auth-root-authentication-method=normal"),
                                          QStringLiteral("--skip-test-db")}
                                  + userOpt + common);
        if (!inst.waitForFinished(180000) || inst.exitStatus() != QProcess::NormalExit || inst.exitCode() != 0) {
            setErr(error, QStringLiteral("mariadb-install-db failed: ") + QString::fromLocal8Bit(inst.readAll()).right(2000));
            inst.kill();
            return false;
        }
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeLoopbackPort();
        if (!m_port) {
            setErr(error, QStringLiteral("no free port"));
            return false;
        }
        m_proc = std::make_unique<QProcess>();
        bindChildToParent(*m_proc);
        m_proc->setProcessChannelMode(QProcess::MergedChannels);
        m_proc->setStandardOutputFile(m_dir->filePath(QStringLiteral("stdout.log")));
        QStringList args{QStringLiteral("--no-defaults"),
                         QStringLiteral("--datadir=") + dataDir(),
                         QStringLiteral("--socket=") + socketPath(),
                         QStringLiteral("--port=") + QString::number(m_port),
                         QStringLiteral("--bind-address=127.0.0.1"),
                         QStringLiteral("--pid-file=") + m_dir->filePath(QStringLiteral("mysqld.pid")),
                         QStringLiteral("--log-error=") + m_dir->filePath(QStringLiteral("error.log")),
                         QStringLiteral("--skip-name-resolve"),
                         QStringLiteral("--skip-log-bin"),
                         QStringLiteral("--character-set-server=latin1"),
                         QStringLiteral("--collation-server=latin1_swedish_ci"),
                         QStringLiteral("--max-allowed-packet=64M"),
                         QStringLiteral("--max-connections=500")};
        args << userOpt << common << extraOptions;
        m_daemon = daemon;
        m_args = args;
        m_proc->start(daemon, args);
        if (!m_proc->waitForStarted(10000)) {
            setErr(error, QStringLiteral("cannot start mariadbd"));
            return false;
        }
        QString err;
        if (waitReady(60000, &err)) break;
        stopProcess(m_proc.get(), 5000);
        // A port taken between picking and binding: try another.
        if (attempt == 2 || !errorLog().contains(QLatin1String("Address already in use"))) {
            setErr(error, err);
            m_proc.reset();
            return false;
        }
        QFile::remove(m_dir->filePath(QStringLiteral("error.log")));
    }
    const QString u = sqlString(user()), pw = sqlString(password());
    const QString setup = QStringLiteral(
        "CREATE USER %1@'%' IDENTIFIED BY %2;\n"
        "CREATE USER %1@'localhost' IDENTIFIED BY %2;\n"
        "GRANT ALL PRIVILEGES ON *.* TO %1@'%' WITH GRANT OPTION;\n"
        "GRANT ALL PRIVILEGES ON *.* TO %1@'localhost' WITH GRANT OPTION;\n"
        "CREATE DATABASE `%3` CHARACTER SET latin1;\n"
        "ALTER USER root@localhost IDENTIFIED BY %4;\n"
        "FLUSH PRIVILEGES;\n")
        .arg(u, pw, database(), sqlString(rootPassword()));
    QString err;
    if (!runClient({}, setup.toUtf8(), nullptr, &err)) {
        setErr(error, QStringLiteral("user set-up failed: ") + err);
        stop();
        return false;
    }
    m_rootHasPassword = true;
    return true;
}

void MariaDbServer::pause()
{
    if (m_proc) {
        stopProcess(m_proc.get(), 20000);
        m_proc.reset();
    }
}

bool MariaDbServer::resume(QString *error)
{
    if (m_proc || !m_dir || m_daemon.isEmpty()) {
        setErr(error, QStringLiteral("server not paused"));
        return false;
    }
    m_proc = std::make_unique<QProcess>();
    bindChildToParent(*m_proc);
    m_proc->setProcessChannelMode(QProcess::MergedChannels);
    m_proc->setStandardOutputFile(m_dir->filePath(QStringLiteral("stdout.log")), QIODevice::Append);
    m_proc->start(m_daemon, m_args);
    if (!m_proc->waitForStarted(10000)) {
        setErr(error, QStringLiteral("cannot start mariadbd"));
        m_proc.reset();
        return false;
    }
    if (!waitReady(60000, error)) {
        stopProcess(m_proc.get(), 5000);
        m_proc.reset();
        return false;
    }
    return true;
}

void MariaDbServer::stop()
{
    if (m_proc) {
        stopProcess(m_proc.get(), 20000);
        m_proc.reset();
    }
    m_dir.reset();
    m_rootHasPassword = false;
}

bool MariaDbServer::exec(const QString &sql, QString *error, QList<QStringList> *rows, const QString &db) const
{
    if (!isRunning()) {
        setErr(error, QStringLiteral("server not running"));
        return false;
    }
    QByteArray out;
    const QString database = db.isEmpty() ? this->database() : db;
    if (!runClient({QStringLiteral("--database=") + database}, sql.toUtf8(), &out, error))
        return false;
    if (rows) {
        rows->clear();
        // --batch --raw: one line per row, cells separated by tabs.
        const QString text = QString::fromUtf8(out);
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            if (i == lines.size() - 1 && lines[i].isEmpty()) break;
            rows->append(lines[i].split(QLatin1Char('\t')));
        }
    }
    return true;
}

QString MariaDbServer::scalar(const QString &sql, const QString &db) const
{
    QList<QStringList> rows;
    QString err;
    if (!exec(sql, &err, &rows, db)) {
        qWarning("scalar query failed: %s", qPrintable(err));
        return {};
    }
    if (rows.isEmpty() || rows.first().isEmpty()) return {};
    return rows.first().first();
}

bool MariaDbServer::createDatabase(const QString &name, QString *error) const
{
    return exec(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET latin1").arg(name), error, nullptr,
                QStringLiteral("mysql"));
}

bool MariaDbServer::createDatabaseWithCharset(const QString &name, const QString &charset, QString *error) const
{
    return exec(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET %2").arg(name, charset), error, nullptr,
                QStringLiteral("mysql"));
}

bool MariaDbServer::dropDatabase(const QString &name, QString *error) const
{
    return exec(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name), error, nullptr, QStringLiteral("mysql"));
}

bool MariaDbServer::installShopSchema(const QString &db, QString *error) const
{
    const QString database = db.isEmpty() ? this->database() : db;
    if (!exec(QStringLiteral("CREATE DATABASE IF NOT EXISTS `%1` CHARACTER SET latin1").arg(database), error, nullptr,
              QStringLiteral("mysql")))
        return false;
    QByteArray script;
    for (const char *name : {"dbdelete.sql", "dbschema.sql"}) {
        QFile f(QStringLiteral(MV_SOURCE_DIR "/db/") + QLatin1String(name));
        if (!f.open(QIODevice::ReadOnly)) {
            setErr(error, QStringLiteral("cannot read ") + f.fileName());
            return false;
        }
        script += f.readAll() + "\n";
    }
    // The files are Windows-1252, which MySQL calls latin1.
    return runClient({QStringLiteral("--database=") + database}, script, nullptr, error, 120000, "latin1");
}

QString MariaDbServer::addQtConnection(const QString &connectionName, const QString &db) const
{
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), connectionName);
    c.setHostName(host());
    c.setPort(m_port);
    c.setUserName(user());
    c.setPassword(password());
    c.setDatabaseName(db.isEmpty() ? database() : db);
    return connectionName;
}

// ---------------------------------------------------------------- PHP

PhpServer::PhpServer() = default;

PhpServer::~PhpServer()
{
    stop();
}

bool PhpServer::isRunning() const
{
    return m_proc && m_proc->state() == QProcess::Running;
}

QString PhpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString PhpServer::log() const
{
    if (!m_dir) return {};
    QFile f(m_dir->filePath(QStringLiteral("php.log")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(f.readAll());
}

bool PhpServer::writeShopConfig(const QString &dbhost, const QString &dbcharset, QString *error) const
{
    QByteArray text = "<?php\r\n//Shopkonfiguration\r\n";
    auto quoted = [](const QString &v) {
        QByteArray b = v.toLatin1();
        b.replace('\\', "\\\\").replace('"', "\\\"").replace('$', "\\$");
        return '"' + b + '"';
    };
    if (!dbhost.isEmpty())
        text += "$dbhost = " + quoted(dbhost) + "; //Datenbankserver\r\n";
    text += "$dbname = \"\"; //Name der Datenbank\r\n";
    if (!dbcharset.isEmpty())
        text += "$dbcharset = " + quoted(dbcharset) + "; //Zeichensatz\r\n";
    text += "?>\r\n";
    QDir().mkpath(m_docroot + QStringLiteral("/config"));
    QFile f(m_docroot + QStringLiteral("/config/config.php"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size()) {
        setErr(error, QStringLiteral("cannot write ") + f.fileName());
        return false;
    }
    return true;
}

bool PhpServer::startShop(QString *error, bool displayErrors, int workers)
{
    stop();
    auto copy = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/mvshop-XXXXXX"));
    if (!copy->isValid()) {
        setErr(error, QStringLiteral("no temporary folder"));
        return false;
    }
    const QString shop = QStringLiteral(MV_SOURCE_DIR) + QStringLiteral("/shop");
    const QString root = copy->filePath(QStringLiteral("shop"));
    if (!copyTree(shop, root)) {
        setErr(error, QStringLiteral("cannot copy %1").arg(shop));
        return false;
    }
    const bool ok = start(root, error, displayErrors, workers);
    // start() created its own folder for the log; keep the copy alive with it.
    m_shopCopy = std::move(copy);
    return ok;
}

bool PhpServer::start(const QString &docroot, QString *error, bool displayErrors, int workers)
{
    if (m_proc) {
        stopProcess(m_proc.get(), 5000);
        m_proc.reset();
    }
    const QString php = findProgram(QStringLiteral("php"));
    if (php.isEmpty()) {
        setErr(error, QStringLiteral("php not installed (packages php-cli, php-mysql)"));
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/mvphp-XXXXXX"));
    if (!m_dir->isValid()) {
        setErr(error, QStringLiteral("no temporary folder"));
        return false;
    }
    m_docroot = docroot;
    QString lastErr;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeLoopbackPort();
        if (!m_port) {
            setErr(error, QStringLiteral("no free port"));
            return false;
        }
        m_proc = std::make_unique<QProcess>();
        bindChildToParent(*m_proc);
        if (workers > 1) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(workers));
            m_proc->setProcessEnvironment(env);
        }
        m_proc->setProcessChannelMode(QProcess::MergedChannels);
        m_proc->setStandardOutputFile(m_dir->filePath(QStringLiteral("php.log")));
        m_proc->start(php, {QStringLiteral("-d"), QStringLiteral("display_errors=") + (displayErrors ? QStringLiteral("1") : QStringLiteral("0")),
                            QStringLiteral("-d"), QStringLiteral("error_reporting=32767"),
                            QStringLiteral("-d"), QStringLiteral("log_errors=0"),
                            QStringLiteral("-d"), QStringLiteral("post_max_size=64M"),
                            QStringLiteral("-d"), QStringLiteral("memory_limit=512M"),
                            QStringLiteral("-d"), QStringLiteral("max_execution_time=120"),
                            QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                            QStringLiteral("-t"), docroot});
        if (!m_proc->waitForStarted(10000)) {
            setErr(error, QStringLiteral("cannot start php"));
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000 && m_proc->state() == QProcess::Running) {
            QTcpSocket sock;
            sock.connectToHost(host(), quint16(m_port));
            if (sock.waitForConnected(1000)) return true;
            QThread::msleep(50);
        }
        lastErr = QStringLiteral("php -S did not answer: ") + log().right(2000);
        stopProcess(m_proc.get(), 5000);
        m_proc.reset();
    }
    setErr(error, lastErr);
    return false;
}

void PhpServer::stop()
{
    if (m_proc) {
        stopProcess(m_proc.get(), 5000);
        m_proc.reset();
    }
    m_dir.reset();
    m_shopCopy.reset();
}

// ---------------------------------------------------------------- test CA

TestCa::TestCa() = default;
TestCa::~TestCa() = default;

bool TestCa::run(const QStringList &args, QString *error)
{
    const QString openssl = findProgram(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        setErr(error, QStringLiteral("openssl not installed (package openssl)"));
        return false;
    }
    QProcess p;
    bindChildToParent(p);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir->path());
    p.start(openssl, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        setErr(error, QStringLiteral("openssl %1 failed: %2").arg(args.value(0), QString::fromLocal8Bit(p.readAll())));
        return false;
    }
    return true;
}

bool TestCa::create(QString *error)
{
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/mvca-XXXXXX"));
    if (!m_dir->isValid()) {
        setErr(error, QStringLiteral("no temporary folder"));
        return false;
    }
    return run({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"), QStringLiteral("ca.pem"),
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Marktvoll Test-CA"),
                QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
               error);
}

QString TestCa::caFile() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("ca.pem")) : QString();
}

bool TestCa::issue(const QString &file, const QString &name, const QStringList &altNames, QString *certFile,
                   QString *keyFile, QString *error)
{
    if (!m_dir) {
        setErr(error, QStringLiteral("CA not created"));
        return false;
    }
    const QString ext = m_dir->filePath(file + QStringLiteral(".ext"));
    QFile f(ext);
    if (!f.open(QIODevice::WriteOnly)
        || f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                   "extendedKeyUsage=serverAuth\nsubjectAltName=" + altNames.join(QLatin1Char(',')).toLatin1() + "\n") < 0) {
        setErr(error, QStringLiteral("cannot write ") + ext);
        return false;
    }
    f.close();
    const QString key = file + QStringLiteral(".key"), csr = file + QStringLiteral(".csr"), pem = file + QStringLiteral(".pem");
    if (!run({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
              QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
              QStringLiteral("-out"), csr, QStringLiteral("-subj"), QStringLiteral("/CN=") + name},
             error)
        || !run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr, QStringLiteral("-CA"),
                 QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-set_serial"),
                 QString::number(QDateTime::currentMSecsSinceEpoch()), QStringLiteral("-days"), QStringLiteral("2"),
                 QStringLiteral("-extfile"), ext, QStringLiteral("-out"), pem},
                error))
        return false;
    if (certFile)
        *certFile = m_dir->filePath(pem);
    if (keyFile)
        *keyFile = m_dir->filePath(key);
    return true;
}

// ---------------------------------------------------------------- TLS

struct TlsProxy::Impl {
    QTemporaryDir dir;
    QSslServer server;
    QByteArray certPem;
    int target = 0;
};

TlsProxy::TlsProxy() = default;

TlsProxy::~TlsProxy()
{
    stop();
}

bool TlsProxy::start(int targetPort, QString *error)
{
    stop();
    if (!QSslSocket::supportsSsl()) {
        setErr(error, QStringLiteral("no TLS support in Qt"));
        return false;
    }
    const QString openssl = findProgram(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        setErr(error, QStringLiteral("openssl not installed (package openssl)"));
        return false;
    }
    d = std::make_unique<Impl>();
    d->target = targetPort;
    const QString key = d->dir.filePath(QStringLiteral("key.pem"));
    const QString cert = d->dir.filePath(QStringLiteral("cert.pem"));
    QProcess p;
    bindChildToParent(p);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                      QStringLiteral("-nodes"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert,
                      QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                      QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        setErr(error, QStringLiteral("openssl req failed: ") + QString::fromLocal8Bit(p.readAll()));
        d.reset();
        return false;
    }
    QFile cf(cert), kf(key);
    if (!cf.open(QIODevice::ReadOnly) || !kf.open(QIODevice::ReadOnly)) {
        setErr(error, QStringLiteral("no certificate written"));
        d.reset();
        return false;
    }
    d->certPem = cf.readAll();
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificate(QSslCertificate(d->certPem, QSsl::Pem));
    conf.setPrivateKey(QSslKey(kf.readAll(), QSsl::Rsa, QSsl::Pem));
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    d->server.setSslConfiguration(conf);
    Impl *impl = d.get();
    QObject::connect(&d->server, &QTcpServer::pendingConnectionAvailable, &d->server, [impl] {
        while (QTcpSocket *s = impl->server.nextPendingConnection()) {
            auto *tls = qobject_cast<QSslSocket *>(s);
            auto *up = new QTcpSocket(tls);
            up->connectToHost(QHostAddress::LocalHost, quint16(impl->target));
            // What comes before the relay connection stands waits in the TLS socket.
            auto pump = [tls, up] {
                if (up->state() == QAbstractSocket::ConnectedState)
                    up->write(tls->readAll());
            };
            QObject::connect(tls, &QSslSocket::readyRead, up, pump);
            QObject::connect(up, &QTcpSocket::connected, tls, pump);
            QObject::connect(up, &QTcpSocket::readyRead, tls, [tls, up] { tls->write(up->readAll()); });
            QObject::connect(up, &QTcpSocket::disconnected, tls, [tls] { tls->disconnectFromHost(); });
            QObject::connect(tls, &QSslSocket::disconnected, tls, [tls, up] {
                up->disconnectFromHost();
                tls->deleteLater();
            });
        }
    });
    // A handshake the client refuses is the test's point, not a fault here.
    QObject::connect(&d->server, &QSslServer::errorOccurred, &d->server,
                     [](QSslSocket *s, QAbstractSocket::SocketError) { s->deleteLater(); });
    if (!d->server.listen(QHostAddress::LocalHost, 0)) {
        setErr(error, d->server.errorString());
        d.reset();
        return false;
    }
    return true;
}

void TlsProxy::stop()
{
    if (d)
        d->server.close();
    d.reset();
}

int TlsProxy::port() const
{
    return d ? d->server.serverPort() : 0;
}

QString TlsProxy::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(port());
}

QByteArray TlsProxy::certificatePem() const
{
    return d ? d->certPem : QByteArray();
}

} // namespace mv::test
