#pragma once
// Reading and writing the WaWi's Paradox tables (.DB with .PX, .MB,
// .Xnn/.Ynn, .XGn/.YGn) with our own code.
//
// Usage:
//   auto t = mv::ParadoxTable::Open(dir + "/Artikel.DB");   // throws ParadoxError
//   int fNr = t->FieldIndex("ArtikelNr");                     // -1 when missing
//   for (int row = 0; row < t->RowCount(); ++row) {           // rows in chain
//       QVariant v = t->Value(row, fNr);                      // order = primary key
//       ...                                                   // order for keyed tables
//   }
//   t->SecondaryIndexes();   // names + key fields read from the index files
//   ParadoxCompare(a, b, type) / ParadoxCompareKeys(...)     // table sort order
//
//   // writing (see ParadoxWriter.h for creating new tables):
//   t->SetBackupDir(settings.TempDir);        // copy of the files before 1st write
//   t->UpdateRecord(row, {{fieldIdx, value}, ...});  // returns the record's new row
//   t->AppendRecord(values);                  // keyed: placed in key order
//
// Value forms (QVariant; invalid = NULL) follow Dataset.h: alpha/memo/fmt
// memo QString, short/long/autoinc int, logical bool, number/currency/BCD
// double, date QDate, time QTime, timestamp QDateTime, graphic/blob/bytes/
// OLE QByteArray.
//
// A ParadoxTable keeps the .DB mapped read-only; every write goes through a
// redo journal (ParadoxEdit.cpp) and reloads the table afterwards, so row
// numbers may change after a write. Not thread-safe; one writer per folder.

#include "data/Dataset.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <stdexcept>

class QFile;

namespace mv {

namespace pxfmt { class Codec; }
namespace pxjournal { class Transaction; }
namespace pxlock { class TableLock; }

// Damaged or unreadable file, or a write that could not be done. The
// message is German and names the file; it can be shown to the user.
class ParadoxError : public std::runtime_error {
public:
    explicit ParadoxError(const QString &msg) : std::runtime_error(msg.toStdString()), m_msg(msg) {}
    QString message() const { return m_msg; }
private:
    QString m_msg;
};

enum class PxType : quint8 {
    Alpha = 0x01, Date = 0x02, Short = 0x03, Long = 0x04, Currency = 0x05,
    Number = 0x06, Logical = 0x09, Memo = 0x0C, Blob = 0x0D, FmtMemo = 0x0E,
    Ole = 0x0F, Graphic = 0x10, Time = 0x14, Timestamp = 0x15, AutoInc = 0x16,
    BCD = 0x17, Bytes = 0x18
};

bool PxTypeKnown(quint8 code);
bool PxIsBlob(PxType t);              // Memo, Blob, FmtMemo, Ole, Graphic
FieldType PxToFieldType(PxType t);    // the Dataset field type
QString PxTypeName(PxType t);         // "A", "D", "S", "I", "$", "N", "L", "M", ...

struct ParadoxField {
    QString name;
    PxType type = PxType::Alpha;
    int size = 0;      // bytes in the record (BCD: 17; blob: leader + 10)
    int decimals = 0;  // BCD only: digits after the point (the header's size byte)
    int offset = 0;    // byte offset inside the record
};

struct ParadoxHeader {
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;        // 0 keyed .DB, 2 unkeyed .DB, 1 .PX, 3/5 .Xnn, 4 .Ynn, 6/8 .XGn, 7 .YGn
    int blockSize = 0;       // bytes
    qint64 recordCount = 0;  // as the header says
    int blocksUsed = 0;      // "nextBlock"
    int blocksTotal = 0;     // "fileBlocks"
    int firstBlock = 0;
    int lastBlock = 0;
    int fieldCount = 0;
    int keyFieldCount = 0;
    int indexFieldNumber = 0; // .Xnn: table field number (1-based)
    int indexRoot = 0;        // .PX/.Y*: root block
    int indexLevels = 0;
    int fileVersion = 0;      // header byte 0x39 (3..12)
    int codePage = 0;         // DOS/Windows code page number (0 when absent)
    int sortOrderId = 0;      // header byte 0x29
    QString sortOrderName;    // e.g. "ANSIINTL", "ascii", "intl"
    QString tableName;
    QString indexName;        // secondary index files only
    int changeCount1 = 0;     // 0x2D
    int changeCount2 = 0;     // 0x2E
    int changeCount4 = 0;     // 0x70
    int unknown12 = 0;        // 0x12, changes with the primary index
    quint32 fileUpdateTime = 0;
    qint32 autoIncValue = 0;  // last auto-increment value handed out
    int firstFreeBlock = 0;
    bool encrypted = false;
    bool writeProtected = false;
    bool modified = false;    // modified flags set: the engine wants a rebuild
    bool descending = false;  // secondary index files (Paradox 7)
    QVector<int> fieldNumbers; // the header's field number array (secondary index files: table fields, 1-based)
};

struct ParadoxIndexInfo {
    QString name;            // index name; for .Xnn the name of its field
    QString xFile, yFile;    // absolute paths (yFile empty when missing)
    bool composite = false;  // .XGn (true) or .Xnn
    bool maintained = true;  // file type 8/5 (true) or 6/3
    bool descending = false;
    QVector<int> fields;     // table field indexes (0-based) of the index fields
    QStringList fieldNames;  // their table names
};

// One entry of a primary index (.PX) or secondary index tree (.Y*) level 1.
struct ParadoxIndexEntry {
    QVariantList key;
    int block = 0;   // data block number the entry points to
    int count = 0;   // records in that block (statistics)
};

// A secondary index record read from an .X* file, in file order.
struct ParadoxIndexRecord {
    QVariantList values;  // all fields of the index file (index fields, key fields, Blk Num...)
};

class ParadoxTable {
public:
    ~ParadoxTable();
    ParadoxTable(const ParadoxTable &) = delete;
    ParadoxTable &operator=(const ParadoxTable &) = delete;

    // Opens NAME.DB (extension required). Finishes or rolls back a write
    // that a crash interrupted. Throws ParadoxError on any damage.
    static std::unique_ptr<ParadoxTable> Open(const QString &dbPath);

    // Parses an in-memory .DB image (no side files). For tests and fuzzing.
    static std::unique_ptr<ParadoxTable> FromBytes(const QByteArray &db, const QByteArray &mb = {});

    QString FilePath() const { return m_path; }
    const ParadoxHeader &Header() const { return m_header; }
    const QVector<ParadoxField> &Fields() const { return m_fields; }
    int FieldIndex(const QString &name) const; // case-insensitive; -1 when missing
    int KeyFieldCount() const { return m_header.keyFieldCount; }
    bool Keyed() const { return m_header.fileType == 0 && m_header.keyFieldCount > 0; }
    QString CodecName() const { return m_codecName; } // e.g. "windows-1252"

    // --- rows (records in data-block chain order)
    int RowCount() const { return int(m_rows.size()); }
    const char *RecordData(int row) const;                 // raw record bytes
    QVariant Value(int row, int field) const;              // decodes one field only
    bool IsNull(int row, int field) const;
    QVariantList Values(int row) const;
    QVariantList KeyValues(int row) const;                 // the primary key fields
    QByteArray BlobData(int row, int field) const;         // raw memo/blob bytes (not decoded)
    int BlockOfRow(int row) const;                         // data block number
    int RowOfKey(const QVariantList &key) const;           // keyed tables: row or -1

    // Decodes one field value from raw record bytes of this table.
    QVariant DecodeField(const char *rec, int field) const;
    QString DecodeText(const char *data, int len) const;   // by the table's code page, up to the first NUL
    QByteArray EncodeText(const QString &s) const;          // by the table's code page ('?' for what it lacks)

    // --- indexes
    QVector<ParadoxIndexInfo> SecondaryIndexes() const;    // from the .X*/.Y* files beside the table
    QVector<ParadoxIndexEntry> ReadPrimaryIndex() const;   // level-1 entries of the .PX in key order
    // All records of a secondary index file in file (= index) order.
    QVector<ParadoxIndexRecord> ReadSecondaryIndex(const ParadoxIndexInfo &idx) const;

    // Inconsistencies a reader can live with but a user should hear of
    // (German, one line each): a header count the file does not hold, an
    // empty or short index file, an index whose entry count differs.
    QStringList ConsistencyWarnings() const;

    // --- writing (see the comment at the top of ParadoxEdit.cpp)
    // Folder that receives a copy of the table's files before the first
    // write in this program run. Empty = no copy.
    void SetBackupDir(const QString &dir) { m_backupDir = dir; }
    // The same into the user's private backup folder (WaWiBackup.h),
    // resolved at the first write.
    void SetDefaultBackup(bool on) { m_backupDefault = on; }
    // Sets the given fields (field index -> value) of one record. Returns
    // the record's row afterwards.
    int UpdateRecord(int row, const QHash<int, QVariant> &changes);
    // Appends records (all fields, in field order; a missing auto-increment
    // value is assigned). Keyed tables: each record goes to its key position;
    // a duplicate key is an error and nothing is written.
    // Returns the new rows.
    QVector<int> AppendRecords(const QVector<QVariantList> &records);
    int AppendRecord(const QVariantList &values) { return AppendRecords({values}).value(0, -1); }
    // Re-reads the files.
    void Reload();
    // True when another writer changed the table's structure since it was
    // read (header or file size differ); then Reload() before using rows.
    bool Stale() const;

    // Test hook: the write aborts (throws ParadoxError) after this many
    // file operations of the commit; -1 = off.
    static void SetFailAfterSteps(int steps);
    // Test hook: runs in each write right before the last look at the
    // WaWi's lock files; empty = off.
    static void SetBeforeCommitHook(std::function<void()> hook);

private:
    ParadoxTable() = default;
    void load();
    void parse(const char *data, qint64 size, bool strict);
    std::unique_ptr<pxlock::TableLock> beginWrite();
    void checkEngineBeforeCommit();
    void backupOnce();
    void releaseMb();
    void commitWrite(pxjournal::Transaction &tx);
    static std::function<void()> &beforeCommitHook();
    QStringList warningsUnderLock() const;
    friend class ParadoxWriter;
    friend struct ParadoxEdit;

    QString m_path;
    std::unique_ptr<QFile> m_file;
    QByteArray m_ownData;   // FromBytes / fallback when mapping fails
    const char *m_data = nullptr;
    qint64 m_size = 0;
    mutable QByteArray m_mbData;    // .MB of FromBytes
    mutable std::unique_ptr<QFile> m_mbFile; // opened at the first memo read
    mutable bool m_mbLoaded = false;
    enum MbFileState { MbMissing, MbOpen, MbUnreadable };
    mutable MbFileState m_mbState = MbMissing;
    mutable QString m_mbError;
    std::shared_ptr<pxfmt::Codec> m_codec;
    ParadoxHeader m_header;
    QVector<ParadoxField> m_fields;
    QByteArray m_headCopy;  // header as read (the mapping follows the file)
    QVector<qint64> m_rows; // offsets of the records in m_data
    QVector<int> m_rowBlock;
    QString m_codecName;
    QString m_backupDir;
    bool m_backupDefault = false;
    bool m_backedUp = false;
    bool m_fromBytes = false;
    bool m_indexFile = false; // an .X* file opened by the writer
    QByteArray mbRead(qint64 off, qint64 len) const;
    QByteArray blobBytes(const char *rec, int field) const;
};

// Reads just a header of any Paradox file (.DB, .PX, .X*, .Y*).
ParadoxHeader ReadParadoxHeader(const QByteArray &data, QVector<ParadoxField> *fields = nullptr,
                                const QString &fileName = {});

} // namespace mv
