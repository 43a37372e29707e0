#pragma once
// Building blocks of the Paradox files we write (internal to the Paradox
// file layer; use ParadoxTable / ParadoxWriter).

#include "wawi/ParadoxFormat.h"
#include "wawi/ParadoxTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace mv::pxbuild {

// NAME + ext beside the table, matched without regard to case (the path
// to create when there is none).
QString siblingPath(const QString &dbPath, const QString &ext);
// Every file of the table (NAME.*), without our journal.
QStringList tableFiles(const QString &dbPath);

struct RecRef {
    const char *data;
    int block = 0;  // data block of the record (for index hints)
    int slot = 0;   // position inside its block
    int ordinal = 0;
};

struct BlockInfo {
    int number;
    const char *firstRecord;
    int count;
};

// Packs records into consecutive blocks 1..n, chained in order.
QByteArray packBlocks(const QVector<const char *> &recs, int recordSize, int blockSize, QVector<BlockInfo> *infos);
void patchStructure(QByteArray &hdr, qint64 records, int blocksTotal, int blocksUsed, int first, int last);
// A B-tree index file (.PX, .Ynn, .YGn) over the blocks of a data file.
QByteArray buildTreeFile(QByteArray hdr, const QVector<BlockInfo> &blocks, const QVector<ParadoxField> &keyFields,
                         int blockSize, int changes);

enum class Src { Field, Block, TupNo, TupOffset };
struct XCol { Src src; int field; };

struct XLayout {
    QVector<ParadoxField> fields; // of the .X file
    QVector<XCol> cols;
    int keyCount = 0;             // fields that make up the key (all but the last hint fields)
    int indexFieldCount = 0;      // the leading fields that are the index's own
    bool upperKeys = false;       // case-insensitive index of an "ascii" table: texts upper-cased
};

// Upper-cases the alpha index fields of an .X record in place (upperKeys).
void upperKeyFields(const XLayout &l, char *xrec, const ParadoxTable &codecOf);

// True for an index of an "ascii" table whose file holds its texts
// upper-cased where the table's do not: the engine's case-insensitive
// index.
bool HasUpperKeys(const ParadoxTable &t, const ParadoxIndexInfo &ix);

// Maps the fields of an .X file to the table's fields; throws when one
// cannot be mapped.
XLayout mapLayout(const QVector<ParadoxField> &xFields, int indexFieldCount, const QVector<int> &indexFields,
                  const QVector<ParadoxField> &tableFields, const QString &xName);

struct BuiltIndex { QByteArray x, y; };

BuiltIndex buildSecondary(const XLayout &l, QByteArray xHdr, QByteArray yHdr, const QVector<RecRef> &recs, int blockSize,
                          bool descending, const ParadoxTable *codecOf, int changes, int yKeyCount = -1);

// Encodes one field value of a table into rec (blob data go into mb).
void encodeValue(char *rec, const ParadoxField &f, const QVariant &v, const pxfmt::Codec &codec, pxfmt::MbAppender *mb);

// The header block of a Paradox file.
QByteArray readHead(const QString &path);

} // namespace mv::pxbuild
