#pragma once
// Locks around the files of one Paradox table.
//
// TableLock: an OS file lock on the table's .DB between our own processes
// (the program's windows, a nightly "marktvoll-cli transfer", a dump).
// A writer holds it exclusively for the whole write, from reading the
// table again through the commit; a reader holds it shared while it reads
// the files into memory. The lock belongs to the open file, so it dies
// with the process: a crash never leaves a stale lock behind.
//
// EngineLockState: what the WaWi's own database engine announces in the
// lock files of the Paradox network protocol (see docs/paradox-locking.md
// for what is implemented and what could not be verified).
//
// Usage:
//   {
//       mv::pxlock::TableLock lock(dbPath, mv::pxlock::TableLock::Exclusive);  // waits; throws ParadoxError
//       ... write ...
//   }

#include <QString>
#include <QStringList>

#include <memory>

namespace mv::pxlock {

class TableLock {
public:
    enum Mode { Shared, Exclusive };
    // Waits up to timeoutMs for the lock; throws ParadoxError naming the
    // table when it does not come.
    TableLock(const QString &dbPath, Mode mode, int timeoutMs = 30000);
    ~TableLock();
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;

    // Takes the lock only when nobody holds it; false otherwise.
    static bool TryExclusive(const QString &dbPath, std::unique_ptr<TableLock> *out);

private:
    TableLock() = default;
    bool acquire(Mode mode, bool wait, int timeoutMs);
    QString m_path;
#ifdef _WIN32
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

// Lock files of the WaWi's engine in a table's folder.
struct EngineLockState {
    bool locked = false;       // the table may not be written now
    QString reason;            // German, for the message ("Verzeichnis exklusiv gesperrt", ...)
    QStringList lockFiles;     // the files that said so
};

// Looks at the lock files beside the table (never creates or changes one).
EngineLockState ProbeEngineLocks(const QString &dbPath);

// Waits (polling every pollMs, up to waitMs) while the engine's lock files
// say the table is locked; throws ParadoxError with the message
// "Die Tabelle \"X\" ist in der Warenwirtschaft gerade gesperrt ..." when
// the lock stays. waitMs < 0 uses EngineLockWaitMs().
void WaitForEngine(const QString &dbPath, int waitMs = -1, int pollMs = 200);

// How long a write waits for the WaWi (default 5000 ms).
int EngineLockWaitMs();
void SetEngineLockWaitMs(int ms);

// True when the message of a ParadoxError/DatasetError is the refusal
// of WaitForEngine (the transfer counts those apart from other errors).
bool IsEngineLockMessage(const QString &message);

} // namespace mv::pxlock
