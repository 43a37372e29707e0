#pragma once
// Byte-level helpers shared by the Paradox reader and writer (not a public
// interface; use ParadoxTable / ParadoxWriter).

#include "wawi/ParadoxTable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <array>
#include <cstring>

namespace mv::pxfmt {

inline quint16 le16(const char *p) { return quint16(uchar(p[0]) | (uchar(p[1]) << 8)); }
inline quint32 le32(const char *p)
{
    return quint32(uchar(p[0])) | (quint32(uchar(p[1])) << 8) | (quint32(uchar(p[2])) << 16) | (quint32(uchar(p[3])) << 24);
}
inline void put16(char *p, quint16 v) { p[0] = char(v & 0xFF); p[1] = char(v >> 8); }
inline void put32(char *p, quint32 v)
{
    p[0] = char(v & 0xFF); p[1] = char((v >> 8) & 0xFF); p[2] = char((v >> 16) & 0xFF); p[3] = char(v >> 24);
}

// Days between 0001-01-01 (day 1 in Paradox) and the Julian day origin.
constexpr qint64 kJulianOffset = 1721425;

// Single-byte code page conversion by table (fast), with a fallback to
// QStringDecoder/Encoder for anything else.
class Codec {
public:
    explicit Codec(int codePage = 1252, const QString &sortOrderName = {});
    QString name() const { return m_name; }
    QString decode(const char *p, int len) const; // stops at the first NUL
    QByteArray encode(const QString &s) const;    // unmappable characters become '?'
private:
    QString m_name;
    bool m_table = false;
    std::array<char16_t, 256> m_to{};
    QHash<char16_t, uchar> m_from;
};

// Header-byte field size (BCD: 17) for a type code and the size byte.
int RecordBytes(PxType t, int sizeByte);

// Big-endian sign-flipped integers, as stored in records and index entries.
void PutShort(char *p, int v);
void PutLong(char *p, qint32 v);
void PutDouble(char *p, double v);
// Raw encodings for index "Blk Num"/statistics shorts (unsigned).
void PutUShort(char *p, quint16 v);
quint16 GetUShort(const char *p);

// Decodes a non-blob field; blob fields are handled by the table (they need
// the .MB). Returns invalid QVariant for NULL.
QVariant DecodeScalar(const char *p, const ParadoxField &f, const Codec &codec);
bool IsNullBytes(const char *p, const ParadoxField &f);

// Encodes a non-blob value into p (f.size bytes). Throws ParadoxError naming
// the field when the value does not fit.
void EncodeScalar(char *p, const ParadoxField &f, const QVariant &v, const Codec &codec);

// Appends blobs to an .MB image: new blocks only, never touching existing
// ones. base = size of the existing file (0 = new file, header written).
class MbAppender {
public:
    MbAppender(qint64 existingSize, quint16 modCount);
    // Stores data; returns the record pointer (offset | index) and sets *mod.
    quint32 add(const QByteArray &data, bool graphic, quint16 *mod);
    const QByteArray &tail() const { return m_tail; } // bytes to append at existingSize (or whole file when new)
    qint64 base() const { return m_base; }
    quint16 modCount() const { return m_mod; }
    bool empty() const { return m_tail.isEmpty(); }
private:
    qint64 m_base;
    quint16 m_mod;
    QByteArray m_tail;
    qint64 m_subBlock = -1; // offset in m_tail of the open sub-allocation block
    int m_subFreeChunk = 0; // next free 16-byte chunk
    int m_subNextEntry = 0; // next free pointer-array entry (counting down from 63)
};

// Encodes a blob field's record part (leader + 10 bytes). Puts data into mb
// when it does not fit into the leader (mb may be null only if it fits).
void EncodeBlob(char *p, const ParadoxField &f, const QByteArray &data, MbAppender *mb);

// Header building for files we write.
struct HeaderSpec {
    int fileType = 0;
    int recordSize = 0;
    int blockSize = 4096;
    int fileVersion = 12;
    int codePage = 1252;
    QString sortOrderName = QStringLiteral("ANSIINTL");
    int sortOrderId = 0x62;
    QVector<ParadoxField> fields;   // names used for .DB/.X* files
    QVector<int> fieldNumbers;      // .DB: 1..n; .X*: table numbers then positions
    int keyFieldCount = 0;
    int indexFieldNumber = 0;
    QString tableName;
    QString indexName;
    bool descending = false;
    // Counters and structure
    qint64 recordCount = 0;
    int blocksTotal = 0;
    int blocksUsed = 0;
    int firstBlock = 0;
    int lastBlock = 0;
    int indexRoot = 0;
    int indexLevels = 0;
    qint32 autoInc = 0;
    int unknown12 = 0;
    int changeCount1 = 2;
    int changeCount2 = 1;
    int changeCount4 = 0;
    int pxChange2C = 0;
};
QByteArray BuildHeader(const HeaderSpec &h, const Codec &codec);

bool IsDataLike(int fileType);     // files with field names (.DB, .X*)
bool HasDataHeader(int fileType, int version);

} // namespace mv::pxfmt
