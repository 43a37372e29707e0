#pragma once
// Creating new Paradox tables (.DB with .PX, .MB and secondary indexes).
//
// Usage:
//   mv::ParadoxSchema s;
//   s.fields = {{"Nummer", mv::PxType::Long}, {"Name", mv::PxType::Alpha, 40},
//               {"Text", mv::PxType::Memo, 20}};       // memo size = leader bytes
//   s.keyFieldCount = 1;                                 // the first n fields
//   s.indexes = {{"Ix_Name", {"Name", "Nummer"}},        // named: .XGn/.YGn
//                {"", {"Name"}}};                        // unnamed: .Xnn/.Ynn
//   mv::ParadoxWriter w(dir + "/Adressen.DB", s);       // throws ParadoxError
//   w.AddRecord({1, "Müller", "{\\rtf1 ...}"});          // any order
//   w.Finish();   // sorts by key, writes all files (temporary names, renamed at the end)
//
// Existing files of the table are replaced by Finish(). Duplicate primary
// keys make Finish() throw; nothing is replaced then.

#include "wawi/ParadoxTable.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

namespace mv {

struct ParadoxFieldSpec {
    QString name;
    PxType type = PxType::Alpha;
    int size = 0; // Alpha: characters (1..255); Memo/FmtMemo: leader bytes (1..240);
                  // Blob/Graphic/Ole: leader (0..240); Bytes: 1..255;
                  // BCD: digits after the point (0..32); others: ignored
};

struct ParadoxIndexSpec {
    QString name;        // empty: single-field index .Xnn/.Ynn (nn = field number, hex)
    QStringList fields;  // table field names
    bool maintained = true;
    bool descending = false;
    // "ascii" tables: the index ignores case; its keys are kept upper-cased
    // (as the engine writes them).
    bool caseInsensitive = false;
};

struct ParadoxSchema {
    QVector<ParadoxFieldSpec> fields;
    int keyFieldCount = 0;           // 0 = unkeyed table
    int codePage = 1252;             // 437, 850, 1252 ...
    QString sortOrder = QStringLiteral("ANSIINTL");
    int blockSizeKB = 4;             // 1, 2, 4, 8, 16, 32
    int fileVersion = 12;            // header version byte (12 = Paradox 7)
    QVector<ParadoxIndexSpec> indexes;
    QString tableName;               // stored in the header; default: file base name
};

class ParadoxWriter {
public:
    ParadoxWriter(const QString &dbPath, const ParadoxSchema &schema);
    ~ParadoxWriter();
    void AddRecord(const QVariantList &values); // throws ParadoxError on a value that does not fit
    qint64 RecordCount() const;
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace mv
