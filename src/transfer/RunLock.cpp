#include "transfer/RunLock.h"

#include "core/UiHooks.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QThread>

#ifdef Q_OS_UNIX
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#else
#include <QLockFile>
#endif

namespace mv {

struct RunLock::Handle {
#ifdef Q_OS_UNIX
    int fd = -1;
#else
    std::unique_ptr<QLockFile> file;
#endif
};

namespace {

// "marktvoll-cli, Prozess 1234 auf rechner, seit 11.12.2026 03:00:05"
QString holderText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QString pid, program, host, since;
    for (const QByteArray &line : f.read(4096).split('\n')) {
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(line.mid(eq + 1)).trimmed();
        if (key == "pid")
            pid = value;
        else if (key == "programm")
            program = value;
        else if (key == "rechner")
            host = value;
        else if (key == "seit")
            since = QDateTime::fromString(value, Qt::ISODate).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    }
    QStringList parts;
    if (!program.isEmpty())
        parts << program;
    if (!pid.isEmpty())
        parts << (host.isEmpty() ? QStringLiteral("Prozess %1").arg(pid) : QStringLiteral("Prozess %1 auf %2").arg(pid, host));
    if (!since.isEmpty())
        parts << QStringLiteral("seit %1").arg(since);
    return parts.join(QStringLiteral(", "));
}

QByteArray holderInfo()
{
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationName() : QString();
    return "pid=" + QByteArray::number(QCoreApplication::applicationPid()) + "\nprogramm=" + program.toUtf8()
           + "\nrechner=" + QHostInfo::localHostName().toUtf8()
           + "\nseit=" + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n';
}

} // namespace

RunLock::RunLock(const QString &programFolder) : m_path(FilePath(programFolder)), m_handle(new Handle) {}

RunLock::~RunLock()
{
    Release();
}

QString RunLock::FilePath(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("abgleich.lock"));
}

int RunLock::DefaultWaitMs()
{
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("MARKTVOLL_RUNLOCK_WAIT", &ok);
    return ok && s >= 0 ? s * 1000 : 10000;
}

bool RunLock::IsHeld() const
{
#ifdef Q_OS_UNIX
    return m_handle->fd >= 0;
#else
    return m_handle->file && m_handle->file->isLocked();
#endif
}

bool RunLock::Acquire(int waitMs)
{
    if (IsHeld())
        return true;
    m_message.clear();
    const QDeadlineTimer deadline(qMax(0, waitMs));
    auto cannotCreate = [&](const QString &why) {
        m_message = QStringLiteral("Die Sperrdatei %1 für den Datenbankabgleich kann nicht angelegt werden: %2\n"
                                   "Der Abgleich wurde nicht gestartet.")
                        .arg(QDir::toNativeSeparators(m_path), why);
        return false;
    };
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return cannotCreate(QString::fromLocal8Bit(strerror(errno)));
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const QString why = QString::fromLocal8Bit(strerror(errno));
            ::close(fd);
            return cannotCreate(why);
        }
        if (deadline.hasExpired())
            break;
        Ui().ProcessEvents();
        QThread::msleep(std::min<qint64>(100, qMax<qint64>(1, deadline.remainingTime())));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
    } else {
        m_handle->fd = fd;
        const QByteArray info = holderInfo();
        if (::ftruncate(fd, 0) == 0)
            (void)!::pwrite(fd, info.constData(), size_t(info.size()), 0);
        return true;
    }
#else
    m_handle->file = std::make_unique<QLockFile>(m_path);
    m_handle->file->setStaleLockTime(0);
    while (!m_handle->file->tryLock(100)) {
        if (m_handle->file->error() != QLockFile::LockFailedError)
            return cannotCreate(QStringLiteral("keine Rechte"));
        if (deadline.hasExpired())
            break;
        Ui().ProcessEvents();
    }
    if (m_handle->file->isLocked())
        return true;
#endif
    const QString holder = holderText(m_path);
    m_message = QStringLiteral("Ein anderer Datenbankabgleich läuft bereits%1.\n"
                               "Dieser Abgleich wurde nicht gestartet; bitte später erneut versuchen.")
                    .arg(holder.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(holder));
    return false;
}

void RunLock::Release()
{
#ifdef Q_OS_UNIX
    if (m_handle && m_handle->fd >= 0) {
        // Emptied first, so nobody reads a finished run as the holder.
        (void)!::ftruncate(m_handle->fd, 0);
        ::flock(m_handle->fd, LOCK_UN);
        ::close(m_handle->fd);
        m_handle->fd = -1;
    }
#else
    if (m_handle && m_handle->file)
        m_handle->file->unlock();
#endif
}

} // namespace mv
