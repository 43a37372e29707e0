#pragma once
// One transfer at a time per program folder: the nightly timer, the
// transfer window and a manual "marktvoll-cli transfer" take this lock
// before a run. It is an OS lock on the file "abgleich.lock" in the program
// folder, so it dies with its process: a killed or crashed run never blocks
// the next one. The file names the holder, for the message of the run that
// has to give way.

#include <QString>

#include <memory>

namespace mv {

// Exit status of "marktvoll-cli transfer" when another run holds the lock.
inline constexpr int kExitRunLocked = 3;

class RunLock {
public:
    explicit RunLock(const QString &programFolder);
    ~RunLock();
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    // Tries for up to waitMs, letting window events run meanwhile; true when
    // this object holds the lock. Otherwise Message() says why, in German.
    bool Acquire(int waitMs);
    void Release();
    bool IsHeld() const;
    QString Message() const { return m_message; }

    static QString FilePath(const QString &programFolder);
    // How long a run waits for the lock: 10 s, or MARKTVOLL_RUNLOCK_WAIT
    // seconds (0 = not at all).
    static int DefaultWaitMs();

private:
    QString m_path;
    QString m_message;
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace mv
