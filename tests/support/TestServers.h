#pragma once
// Private servers for tests: a MariaDB in a temporary data folder and PHP's
// built-in web server, both on free 127.0.0.1 ports, stopped and removed by
// their destructors.
//
// Usage in a test:
//     mv::test::MariaDbServer db;
//     MV_REQUIRE_SERVER(db.start(&err), err);   // QSKIP locally, QFAIL in CI
//
// A server that cannot start is skipped only when the environment variable
// CI is not "true".

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QList>
#include <memory>

namespace mv::test {

// True when the environment variable CI is "true" (a missing server is then
// a failure, never a skip).
bool isCi();

class MariaDbServer {
public:
    MariaDbServer();
    ~MariaDbServer();
    MariaDbServer(const MariaDbServer &) = delete;
    MariaDbServer &operator=(const MariaDbServer &) = delete;

    // Creates the data folder, starts mariadbd and creates the test user
    // and the database database(). Takes a few seconds. Extra mariadbd
    // options (e.g. "--character-set-server=utf8mb4") may be given.
    bool start(QString *error = nullptr, const QStringList &extraOptions = {});
    void stop();
    bool isRunning() const;
    // Stops the server and keeps its data; resume() starts it again on the
    // same data and port (a server going away and coming back).
    void pause();
    bool resume(QString *error = nullptr);

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    // "127.0.0.1:port", the form SQL_Host takes.
    QString hostPort() const;
    // A user with a password and all privileges, reached over TCP.
    QString user() const { return QStringLiteral("mv_test"); }
    QString password() const { return QStringLiteral("Mv-Test_pw1"); }
    QString rootPassword() const { return QStringLiteral("Mv-Root_pw1"); }
    // A database created at start (character set latin1, as a shop has).
    QString database() const { return QStringLiteral("mvshop"); }
    QString socketPath() const;
    QString dataDir() const;

    // Runs SQL text (one or more statements separated by ";") as root
    // through the mariadb client. The client talks utf8mb4, so QString
    // umlauts arrive correctly in latin1 columns. On success returns true
    // and, when rows is given, the result rows of the last statement
    // (NULL reads "NULL"). db empty = database().
    bool exec(const QString &sql, QString *error = nullptr,
              QList<QStringList> *rows = nullptr, const QString &db = QString()) const;
    // Convenience: first cell of the first row, or a null string.
    QString scalar(const QString &sql, const QString &db = QString()) const;
    bool createDatabase(const QString &name, QString *error = nullptr) const;
    // A database in the given character set ("latin1", "utf8mb4"), with
    // that set's default collation.
    bool createDatabaseWithCharset(const QString &name, const QString &charset, QString *error = nullptr) const;
    bool dropDatabase(const QString &name, QString *error = nullptr) const;

    // Installs the shop schema (db/dbdelete.sql, db/dbschema.sql of the
    // source tree) into a database, creating it when missing. The scripts'
    // "#" lines are comments to the mariadb client, so it runs them as is.
    bool installShopSchema(const QString &db = QString(), QString *error = nullptr) const;

    // Adds a QMYSQL connection (not yet opened) with the test user.
    // Returns the connection name.
    QString addQtConnection(const QString &connectionName, const QString &db = QString()) const;

    QString errorLog() const;

private:
    QString clientProgram() const;
    bool waitReady(int timeoutMs, QString *error);
    bool runClient(const QStringList &args, const QByteArray &input, QByteArray *out,
                   QString *error, int timeoutMs = 120000, const char *charset = "utf8mb4") const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    bool m_rootHasPassword = false;
    QString m_daemon;
    QStringList m_args;
};

class PhpServer {
public:
    PhpServer();
    ~PhpServer();
    PhpServer(const PhpServer &) = delete;
    PhpServer &operator=(const PhpServer &) = delete;

    // Serves docroot. With displayErrors PHP prints warnings into the page,
    // so tests see any warning a script would show on a careless host.
    bool start(const QString &docroot, QString *error = nullptr, bool displayErrors = true,
               int workers = 0);
    // Copies the source tree's shop/ folder into a private folder and
    // serves that copy.
    bool startShop(QString *error = nullptr, bool displayErrors = true, int workers = 0);
    void stop();
    bool isRunning() const;

    int port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    // "http://127.0.0.1:port" (no trailing slash), the form SQL_HTTP takes.
    QString baseUrl() const;
    QString docroot() const { return m_docroot; }
    // What the server wrote to stdout/stderr so far (request log, errors).
    QString log() const;
    // Writes config/config.php of the served shop as the program's settings
    // window writes it ("$dbhost", "$dbcharset"; an empty host is left out).
    bool writeShopConfig(const QString &dbhost, const QString &dbcharset, QString *error = nullptr) const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_shopCopy;
    std::unique_ptr<QProcess> m_proc;
    QString m_docroot;
    int m_port = 0;
};

// An https front for a plain HTTP server on 127.0.0.1: a self-signed
// certificate for 127.0.0.1 (made with the openssl program), every TLS
// connection relayed to the target port. Runs in the thread's event loop,
// so it serves while the test waits with processing events.
class TlsProxy {
public:
    TlsProxy();
    ~TlsProxy();
    TlsProxy(const TlsProxy &) = delete;
    TlsProxy &operator=(const TlsProxy &) = delete;

    bool start(int targetPort, QString *error = nullptr);
    void stop();
    int port() const;
    // "https://127.0.0.1:port".
    QString baseUrl() const;
    // The certificate (PEM) a client must trust to accept the proxy.
    QByteArray certificatePem() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A certificate authority made for one test (openssl program) and server
// certificates it signs, in a private folder removed with the object.
class TestCa {
public:
    TestCa();
    ~TestCa();
    TestCa(const TestCa &) = delete;
    TestCa &operator=(const TestCa &) = delete;

    bool create(QString *error = nullptr);
    // The authority's certificate (PEM), the file a client must trust.
    QString caFile() const;
    // A server certificate with the common name `name` and the subject
    // alternative names given ("IP:127.0.0.1", "DNS:db.example"); the two
    // files are written into the folder as <file>.pem and <file>.key.
    bool issue(const QString &file, const QString &name, const QStringList &altNames, QString *certFile,
               QString *keyFile, QString *error = nullptr);

private:
    bool run(const QStringList &args, QString *error);
    std::unique_ptr<QTemporaryDir> m_dir;
};

// Copies a folder tree; returns false on the first failure.
bool copyTree(const QString &from, const QString &to);

// Picks a free TCP port on 127.0.0.1.
int freeLoopbackPort();

} // namespace mv::test

// Starts a server or ends the test: skip locally, fail in CI.
#define MV_REQUIRE_SERVER(startExpr, errVar)                                   \
    do {                                                                       \
        if (!(startExpr)) {                                                    \
            if (mv::test::isCi())                                              \
                QFAIL(qPrintable(QStringLiteral("server not started: ") + (errVar))); \
            QSKIP(qPrintable(QStringLiteral("server not started: ") + (errVar))); \
        }                                                                      \
    } while (0)
