#pragma once
// Copies of a WaWi table's files before the first write of a program run,
// in a folder only the user can read (the address table holds customers'
// data): <root>/<Table>_<yyyyMMdd-HHmmss>/, the newest `keep` per table
// kept, older ones removed.
//
// Root: $MARKTVOLL_BACKUP_DIR when set; otherwise below the program's
// temporary folder (TempDir, on Windows the user's own): "WaWi-Sicherung",
// elsewhere "WaWi-Sicherung-<uid>" (or ~/.cache/marktvoll/WaWi-Sicherung
// when that folder cannot be made private); mode 0700.

#include <QString>
#include <QStringList>

namespace mv {

QString WaWiBackupRoot();

// Copies the files into a new folder below root (made private when it
// is not); returns the backup folder. Throws ParadoxError (and
// leaves no half backup) when the folder cannot be made private or a copy
// fails.
QString BackupWaWiTable(const QString &root, const QString &dbPath, const QStringList &files, int keep);

// A new run (a transfer, an address fetch): the next write to each table
// takes a new backup. Until then one backup per table and program run.
void BeginWaWiBackupRun();
bool WaWiBackedUpThisRun(const QString &dbPath);
void MarkWaWiBackedUp(const QString &dbPath);

// The backup folders of a table in root, newest first.
QStringList WaWiBackupsOf(const QString &root, const QString &tableBaseName);

} // namespace mv
