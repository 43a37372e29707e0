#pragma once
// Private FTP servers for tests: pyftpdlib (tools/ftp/ftp_server.py) on a
// free 127.0.0.1 port, optionally with TLS from a certificate made by
// openssl at test time, and the recording proxy stand-in
// (tools/ftp/ftp_record_proxy.py), and a hostile server. All are stopped by
// their destructors.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace mv::test {

class FtpTestServer {
public:
    FtpTestServer();
    ~FtpTestServer();

    // extra: further options of ftp_server.py ("--drop-once", "x.jpg").
    bool start(QString *error = nullptr, const QStringList &extra = {});
    // FTPS with a certificate of a private CA for 127.0.0.1.
    bool startTls(QString *error = nullptr);
    void stop();

    int port() const { return m_port; }
    QString user() const { return QStringLiteral("shopftp"); }
    QString password() const { return QStringLiteral("Ftp$Pass\"wort"); }
    // The FTP account's root folder on disk.
    QString root() const { return m_dir->filePath(QStringLiteral("root")); }
    // PEM files of the private CA and of a second, untrusted one.
    QString caFile() const { return m_dir->filePath(QStringLiteral("ca.pem")); }
    QString log() const;

private:
    bool run(const QStringList &args, QString *error);
    bool makeCertificates(QString *error);
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
};

class FtpRecordingProxy {
public:
    FtpRecordingProxy();
    ~FtpRecordingProxy();
    bool start(QString *error = nullptr);
    int port() const { return m_port; }
    // Command lines received so far (all connections, in order).
    QStringList commands() const;
    void clear();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
};

// A server whose greeting never ends (tools/ftp/ftp_hostile_server.py):
// mode "endless-line", "endless-lines" or "trickle" (one byte per interval).
class FtpHostileServer {
public:
    FtpHostileServer();
    ~FtpHostileServer();
    bool start(const QString &mode, QString *error = nullptr, double intervalSeconds = 0.2);
    int port() const { return m_port; }

private:
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
};

// Starts a python helper and reads "READY <port>".
bool startReadyProcess(QProcess &p, const QStringList &args, int &port, QString *error);

} // namespace mv::test
