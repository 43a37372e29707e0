#pragma once
// What the writes into WaWi tables changed beyond what was asked, for the
// run's report: texts whose characters the table's code page cannot hold
// (stored with "?") or that were cut at the field width, writes refused
// because the WaWi had the table locked, and where the backups lie.
//
// Usage (a transfer run, an address fetch ...):
//   mv::WaWiWriteRecorder rec;          // collects while it lives
//   ... writes through TVLBTable / ParadoxTable ...
//   for (const auto &c : rec.Report().changes)
//       log(c.table + ": " + c.recordKey + " " + c.field + ": \"" + c.oldValue + "\" -> \"" + c.newValue + "\"");
//   rec.Report().lockRefusals.size();   // count of refused writes
//   rec.Report().backups;               // "Adressen.DB" -> backup folder
//
// Recorders nest; a write reports to the innermost one alive (none alive:
// nothing is collected). Single-threaded like the rest of the program.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

namespace mv {

struct WaWiFieldChange {
    enum Kind { Replaced, Truncated };  // Truncated wins when both happened
    QString table;      // file name, e.g. "Adressen.DB"
    QString recordKey;  // primary key values joined by ";" (unkeyed tables: "Satz n")
    QString field;
    QString oldValue;   // as given
    QString newValue;   // as stored
    Kind kind = Replaced;
};

struct WaWiWriteReport {
    QVector<WaWiFieldChange> changes;
    QStringList lockRefusals;                 // the messages of refused writes
    QList<QPair<QString, QString>> backups;   // table file name, backup folder
    // One German line per entry, for the error log of a run.
    QStringList Lines() const;
};

class WaWiWriteRecorder {
public:
    WaWiWriteRecorder();
    ~WaWiWriteRecorder();
    WaWiWriteRecorder(const WaWiWriteRecorder &) = delete;
    WaWiWriteRecorder &operator=(const WaWiWriteRecorder &) = delete;
    const WaWiWriteReport &Report() const { return m_report; }
    void Clear() { m_report = {}; }

    // Called by the writers.
    static void AddChange(const WaWiFieldChange &c);
    static void AddLockRefusal(const QString &message);
    static void AddBackup(const QString &table, const QString &folder);

private:
    WaWiWriteReport m_report;
    WaWiWriteRecorder *m_outer = nullptr;
};

} // namespace mv
