#pragma once
// Local table files: the XML data packet of the client dataset (DATAPACKET
// Version 2.0), Windows-1252 unless the declaration names another encoding.
// Reading applies a change log (RowState, CHANGE_LOG) so only current rows
// count; writing writes the current rows without a log. Writes go to a
// temporary file that replaces the old one only when complete.
//
// The reader is a scanner of our own over the bytes, not QXmlStreamReader:
// on the 50,000-row newsletter file of tools/bench/bench_tablefile.cpp
// (4.7 MB) it reads file -> rows in 124-133 ms, while the bytes decoded from
// Windows-1252 and read with QXmlStreamReader take 356-374 ms (2.7-3.0 times
// as long), although that reader skips the range checks, the change log and
// the error positions (best of 5, shared two-core machine, Qt 6.4).

#include "data/MemTable.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace mv {

// A file that is no readable data packet (not XML, truncated, unknown
// field type, a value that does not fit its type) or cannot be written.
class TableFileError : public DatasetError {
public:
    using DatasetError::DatasetError;
};

struct TablePacket {
    QVector<FieldDef> fields;
    QVector<QVector<QVariant>> rows;  // current rows, in packet order
    int autoIncValue = 0;             // AUTOINCVALUE; 0 when not given
};

class TableFile : public MemTable {
    Q_OBJECT
public:
    explicit TableFile(QObject *parent = nullptr);
    // Closes the table, which writes it when needed (see InternalClose).
    ~TableFile() override;

    void SetFileName(const QString &path) { m_fileName = path; }
    QString FileName() const { return m_fileName; }

    // Writes all rows (not only those a filter, range or master link shows)
    // to FileName now; a pending edit is posted first. TableFileError on failure.
    void Save();

    // The editors' opening rule: a missing file gives an empty table with
    // defs; an unreadable one is renamed to a backup name (returned in
    // *backupPath) and the table starts empty under the same file name.
    // Returns false only when even the empty table could not be opened.
    bool OpenOrStartEmpty(const QVector<FieldDef> &defs, QString *backupPath = nullptr);

    // Text of the last failed automatic write on close (empty when none).
    QString LastSaveError() const { return m_lastSaveError; }

    // --- packets without a table
    static TablePacket ParsePacket(const QByteArray &data);
    static TablePacket ReadPacket(const QString &path);
    static QByteArray WritePacket(const QVector<FieldDef> &fields, const QVector<QVector<QVariant>> &rows,
                                  int autoIncValue = 0);
    static void WritePacketFile(const QString &path, const QVector<FieldDef> &fields,
                                const QVector<QVector<QVariant>> &rows, int autoIncValue = 0);

    // Any MemTable: read a file into it (opened, unchanged) / write all its rows.
    static void Load(MemTable &table, const QString &path);
    static void SaveTable(const MemTable &table, const QString &path);

    // Renames an unreadable file out of the way ("name.defekt-<time>.xml");
    // returns the new name, empty when that failed.
    static QString KeepAsBackup(const QString &path);

protected:
    // Reads FileName when it exists (except in CreateDataSet); otherwise
    // starts empty with FieldDefList().
    void InternalOpen() override;
    // Writes the table when it changed since opening or its file is missing.
    void InternalClose() override;

private:
    QString m_fileName;
    QString m_lastSaveError;
};

} // namespace mv
