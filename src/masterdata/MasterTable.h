#pragma once
// What every master-data editor does with its table file, without a
// window: opening (with the take-over of an older file), saving, and the
// texts the windows show about it.

#include "masterdata/MasterLayouts.h"
#include "masterdata/TableFile.h"

#include <QString>

namespace mv {

struct OpenOutcome {
    bool open = false;          // false: not even an empty table could be opened
    QString backupPath;         // an unreadable file was kept under this name
    int migratedRows = 0;       // rows taken over from the older file
    bool legacyRemoved = false; // the older file is gone (its rows are in the new file)
    QString legacyError;        // the older file could not be taken over (it is kept)
};

// dir: the program folder (with or without a trailing separator).
// Sets the file name, opens the table (empty when the file is missing,
// empty with a backup of the file when it is unreadable) and takes the
// older file over by def.legacy. After a take-over the new file is written
// at once, and only then is the older file removed, so a crash cannot
// lose the rows.
OpenOutcome OpenMasterTable(TableFile &table, const QString &dir, const MasterTableDef &def);

// Copies every row of from into to (appended and posted), field by field
// where the names agree; rows that fail are dropped, the walk goes on.
// Returns the number of rows posted.
int CopyLegacyRows(Dataset &from, Dataset &to, const LegacyRule &rule);

// Writes the table now (a pending edit is posted first); false with a
// German text naming the file when that fails.
bool SaveMasterTable(TableFile &table, QString *error = nullptr);

// 'text' for a filter expression, apostrophes doubled.
QString FilterLiteral(const QString &text);

// The windows' texts.
QString LockedMessage(const QString &path);                               // "Datei … ist gesperrt"
QString BackupNote(const QString &path, const QString &backupPath);
QString SaveFailedMessage(const QString &path, const QString &error);
QString LegacyFailedMessage(const QString &legacyPath, const QString &error);

} // namespace mv
