#include "wawi/ParadoxLock.h"

#include "wawi/ParadoxTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mv::pxlock {

namespace {

std::atomic<int> g_engineWaitMs{5000};

QString tableName(const QString &dbPath) { return QFileInfo(dbPath).fileName(); }

QString findInDir(const QDir &dir, const QString &name)
{
    if (dir.exists(name)) return dir.filePath(name);
    for (const QString &e : dir.entryList(QDir::Files | QDir::Hidden))
        if (e.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(e);
    return {};
}

} // namespace

// ---------------------------------------------------------------- own lock

#ifdef _WIN32

// A byte range far beyond the data: the lock never stands in the way of
// reading or writing the file itself (Windows locks are mandatory).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFF00;

bool TableLock::acquire(Mode mode, bool wait, int timeoutMs)
{
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(m_path).utf16()), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" kann nicht geöffnet werden.").arg(tableName(m_path)));
    QElapsedTimer t;
    t.start();
    for (;;) {
        OVERLAPPED ov{};
        ov.Offset = kLockOffsetLow;
        ov.OffsetHigh = kLockOffsetHigh;
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        if (LockFileEx(h, flags, 0, 1, 0, &ov)) {
            m_handle = h;
            return true;
        }
        if (!wait || t.elapsed() >= timeoutMs) {
            CloseHandle(h);
            return false;
        }
        QThread::msleep(10);
    }
}

TableLock::~TableLock()
{
    if (m_handle) {
        OVERLAPPED ov{};
        ov.Offset = kLockOffsetLow;
        ov.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(static_cast<HANDLE>(m_handle), 0, 1, 0, &ov);
        CloseHandle(static_cast<HANDLE>(m_handle));
    }
}

#else

bool TableLock::acquire(Mode mode, bool wait, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    const QByteArray native = QFile::encodeName(m_path);
    for (;;) {
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" kann nicht geöffnet werden.").arg(tableName(m_path)));
        for (;;) {
            if (::flock(fd, (mode == Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) break;
            if (errno != EWOULDBLOCK && errno != EINTR) {
                ::close(fd);
                throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" kann nicht gesperrt werden.").arg(tableName(m_path)));
            }
            if (!wait || t.elapsed() >= timeoutMs) {
                ::close(fd);
                return false;
            }
            QThread::msleep(5);
        }
        // A table created anew replaces the file: the lock must be on the
        // file the name points to now.
        struct stat a {}, b {};
        if (::fstat(fd, &a) == 0 && ::stat(native.constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
            m_fd = fd;
            return true;
        }
        ::close(fd);
    }
}

TableLock::~TableLock()
{
    if (m_fd >= 0) ::close(m_fd); // releases the lock
}

#endif

TableLock::TableLock(const QString &dbPath, Mode mode, int timeoutMs) : m_path(QFileInfo(dbPath).absoluteFilePath())
{
    if (!acquire(mode, true, timeoutMs))
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" wird gerade von einem anderen Vorgang dieses Programms "
                                          "geschrieben; bitte später noch einmal versuchen.").arg(tableName(m_path)));
}

bool TableLock::TryExclusive(const QString &dbPath, std::unique_ptr<TableLock> *out)
{
    std::unique_ptr<TableLock> l(new TableLock);
    l->m_path = QFileInfo(dbPath).absoluteFilePath();
    if (!l->acquire(Exclusive, false, 0)) return false;
    *out = std::move(l);
    return true;
}

// ---------------------------------------------------------------- the engine's lock files

EngineLockState ProbeEngineLocks(const QString &dbPath)
{
    EngineLockState st;
    const QFileInfo fi(dbPath);
    const QDir dir = fi.absoluteDir();
    // The folder taken exclusively (a private folder, or a program that
    // opened the whole folder for itself).
    const QString exclusive = findInDir(dir, QStringLiteral("PARADOX.LCK"));
    if (!exclusive.isEmpty()) {
        st.locked = true;
        st.reason = QStringLiteral("der Ordner ist exklusiv gesperrt");
        st.lockFiles << exclusive;
    }
    // The table's own lock file: its table locks and record locks.
    const QString own = findInDir(dir, fi.completeBaseName() + QStringLiteral(".LCK"));
    if (!own.isEmpty() && QFileInfo(own).size() > 0) {
        if (!st.locked) st.reason = QStringLiteral("die Tabelle oder ein Satz ist gesperrt");
        st.locked = true;
        st.lockFiles << own;
    }
    return st;
}

int EngineLockWaitMs() { return g_engineWaitMs.load(); }
void SetEngineLockWaitMs(int ms) { g_engineWaitMs.store(qMax(0, ms)); }

namespace {
const QString kLockedPhrase = QStringLiteral("ist in der Warenwirtschaft gerade gesperrt");
}

bool IsEngineLockMessage(const QString &message) { return message.contains(kLockedPhrase); }

void WaitForEngine(const QString &dbPath, int waitMs, int pollMs)
{
    if (waitMs < 0) waitMs = EngineLockWaitMs();
    QElapsedTimer t;
    t.start();
    for (;;) {
        const EngineLockState st = ProbeEngineLocks(dbPath);
        if (!st.locked) return;
        if (t.elapsed() >= waitMs) {
            QStringList names;
            for (const QString &f : st.lockFiles) names << QFileInfo(f).fileName();
            throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" %2 (%3: %4); die Änderung wurde nicht geschrieben. "
                                              "Bitte später noch einmal versuchen.")
                                   .arg(tableName(dbPath), kLockedPhrase, st.reason, names.join(QLatin1String(", "))));
        }
        QThread::msleep(qMax(1, qMin<int>(pollMs, int(waitMs - t.elapsed()) + 1)));
    }
}

} // namespace mv::pxlock
