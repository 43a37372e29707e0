#include "support/FtpTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace mv::test {

namespace {

QString python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                            : QStringLiteral("python3");
}

QString tool(const char *name)
{
    return QStringLiteral(MV_SOURCE_DIR "/tools/ftp/") + QString::fromLatin1(name);
}

void setErr(QString *e, const QString &t)
{
    if (e)
        *e = t;
}

void stopProc(std::unique_ptr<QProcess> &p)
{
    if (!p)
        return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    p.reset();
}

bool openssl(const QStringList &args, const QString &dir, QString *error)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        setErr(error, QStringLiteral("openssl ") + args.join(QLatin1Char(' ')) + QStringLiteral(": ")
                          + QString::fromLocal8Bit(p.readAll()) + p.errorString());
        return false;
    }
    return true;
}

} // namespace

bool startReadyProcess(QProcess &p, const QStringList &args, int &port, QString *error)
{
#ifdef Q_OS_LINUX
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(python(), args);
    if (!p.waitForStarted(10000)) {
        setErr(error, QStringLiteral("python3: ") + p.errorString());
        return false;
    }
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 20000) {
        if (p.canReadLine() || p.waitForReadyRead(200)) {
            out += p.readLine();
            if (out.startsWith("READY ")) {
                port = out.mid(6).trimmed().toInt();
                return port > 0;
            }
        }
        if (p.state() == QProcess::NotRunning)
            break;
    }
    setErr(error, QStringLiteral("FTP helper did not start: ") + QString::fromLocal8Bit(out + p.readAllStandardError()));
    return false;
}

FtpTestServer::FtpTestServer() : m_dir(std::make_unique<QTemporaryDir>())
{
    QDir().mkpath(root());
}

FtpTestServer::~FtpTestServer() { stop(); }

void FtpTestServer::stop() { stopProc(m_proc); }

bool FtpTestServer::run(const QStringList &args, QString *error)
{
    stop();
    m_proc = std::make_unique<QProcess>();
    m_proc->setStandardErrorFile(m_dir->filePath(QStringLiteral("server.log")), QIODevice::Append);
    QStringList a{tool("ftp_server.py"), QStringLiteral("--root"), root(), QStringLiteral("--user"), user(),
                  QStringLiteral("--password"), password()};
    a += args;
    return startReadyProcess(*m_proc, a, m_port, error);
}

bool FtpTestServer::start(QString *error, const QStringList &extra)
{
    return run(extra, error);
}

bool FtpTestServer::makeCertificates(QString *error)
{
    const QString d = m_dir->path();
    QFile ext(m_dir->filePath(QStringLiteral("ext.cnf")));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
    ext.close();
    return openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=mv test CA",
                    "-keyout", "ca.key", "-out", "ca.pem"}, d, error)
           && openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", "server.key",
                       "-out", "server.csr"}, d, error)
           && openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                       "-days", "2", "-extfile", "ext.cnf", "-out", "server.pem"}, d, error);
}

bool FtpTestServer::startTls(QString *error)
{
    if (!makeCertificates(error))
        return false;
    return run({QStringLiteral("--tls"), m_dir->filePath(QStringLiteral("server.pem")),
                m_dir->filePath(QStringLiteral("server.key"))},
               error);
}

QString FtpTestServer::log() const
{
    QFile f(m_dir->filePath(QStringLiteral("server.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

FtpRecordingProxy::FtpRecordingProxy() : m_dir(std::make_unique<QTemporaryDir>()) {}

FtpRecordingProxy::~FtpRecordingProxy() { stopProc(m_proc); }

bool FtpRecordingProxy::start(QString *error)
{
    m_proc = std::make_unique<QProcess>();
    return startReadyProcess(*m_proc,
                             {tool("ftp_record_proxy.py"), QStringLiteral("--log"),
                              m_dir->filePath(QStringLiteral("commands.log"))},
                             m_port, error);
}

QStringList FtpRecordingProxy::commands() const
{
    QFile f(m_dir->filePath(QStringLiteral("commands.log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void FtpRecordingProxy::clear()
{
    QFile f(m_dir->filePath(QStringLiteral("commands.log")));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

FtpHostileServer::FtpHostileServer() = default;

FtpHostileServer::~FtpHostileServer() { stopProc(m_proc); }

bool FtpHostileServer::start(const QString &mode, QString *error, double intervalSeconds)
{
    m_proc = std::make_unique<QProcess>();
    return startReadyProcess(*m_proc,
                             {tool("ftp_hostile_server.py"), QStringLiteral("--mode"), mode,
                              QStringLiteral("--interval"), QString::number(intervalSeconds)},
                             m_port, error);
}

} // namespace mv::test
