#pragma once
// Redo journal that makes a write to several files of one table atomic
// (internal to the Paradox file layer).
//
// A write first puts every new file under a temporary name and collects the
// in-place changes (offset + bytes); Commit() writes the journal file
// "<table>.mvj" (synced), then renames and patches, then removes the
// journal. Recover() finishes a complete journal
// that a crash left behind (the steps are repeatable) or throws away an
// incomplete one together with its temporary files.
//
// Recover() deletes files: only call it while holding the table's
// exclusive lock (pxlock::TableLock), so no live writer's files go.
// A complete journal whose new files are missing (and not already in
// place) is not applied: Recover() and commit() throw and change nothing.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace mv::pxjournal {

struct Patch {
    QString file;     // absolute path
    qint64 offset = 0;
    QByteArray bytes;
};

class Transaction {
public:
    explicit Transaction(const QString &dbPath);
    ~Transaction(); // removes temporary files of an uncommitted transaction
    // Returns the temporary path to write the new content of target to.
    QString replaceFile(const QString &target, const QByteArray &content);
    void patch(const QString &file, qint64 offset, const QByteArray &bytes);
    void commit();
private:
    QString m_db, m_journal;
    struct Repl { QString tmp, target; QByteArray hash; };
    QVector<Repl> m_repl;
    QVector<Patch> m_patches;
    bool m_done = false;
};

void Recover(const QString &dbPath);
// True when a journal or temporary files of a write lie beside the table.
bool NeedsRecovery(const QString &dbPath);
QString JournalPath(const QString &dbPath);

// Test hook: throw after n steps of a commit (-1 = never).
void SetFailAfter(int steps);

// Writes the file and flushes it to disk.
void WriteFileSynced(const QString &path, const QByteArray &content);
void AppendSynced(const QString &path, qint64 offset, const QByteArray &content);

} // namespace mv::pxjournal
