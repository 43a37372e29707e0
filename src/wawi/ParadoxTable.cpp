#include "wawi/ParadoxTable.h"

#include "wawi/ParadoxFormat.h"
#include "wawi/ParadoxJournal.h"
#include "wawi/ParadoxLock.h"
#include "wawi/ParadoxSort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <functional>

namespace mv {

using namespace pxfmt;

namespace {

[[noreturn]] void damaged(const QString &file, const QString &why)
{
    throw ParadoxError(QStringLiteral("Die Datei \"%1\" ist beschädigt oder keine Paradox-Datei: %2.")
                           .arg(QFileInfo(file).fileName(), why));
}

// Reads the header of any Paradox file. codec is set from the header.
struct ParsedHeader {
    ParadoxHeader h;
    QVector<ParadoxField> fields;
    std::shared_ptr<Codec> codec;
};

ParsedHeader parseHeaderBytes(const char *d, qint64 size, const QString &file)
{
    ParsedHeader r;
    ParadoxHeader &h = r.h;
    if (size < 0x58) damaged(file, QStringLiteral("Datei zu kurz"));
    h.recordSize = le16(d + 0x00);
    h.headerSize = le16(d + 0x02);
    h.fileType = uchar(d[0x04]);
    const int bs = uchar(d[0x05]);
    h.recordCount = le32(d + 0x06);
    h.blocksUsed = le16(d + 0x0A);
    h.blocksTotal = le16(d + 0x0C);
    h.firstBlock = le16(d + 0x0E);
    h.lastBlock = le16(d + 0x10);
    h.unknown12 = le16(d + 0x12);
    h.modified = d[0x14] != 0 || d[0x2A] != 0;
    h.indexFieldNumber = uchar(d[0x15]);
    h.indexRoot = le16(d + 0x1E);
    h.indexLevels = uchar(d[0x20]);
    h.fieldCount = qint16(le16(d + 0x21));
    h.keyFieldCount = qint16(le16(d + 0x23));
    h.sortOrderId = uchar(d[0x29]);
    h.changeCount1 = uchar(d[0x2D]);
    h.changeCount2 = uchar(d[0x2E]);
    h.writeProtected = d[0x38] != 0;
    h.fileVersion = uchar(d[0x39]);
    h.autoIncValue = qint32(le32(d + 0x49));
    h.firstFreeBlock = le16(d + 0x4D);
    h.descending = uchar(d[0x55]) == 0x11 && h.fileType >= 3 && h.fileType != 4 && h.fileType != 7;

    if (h.fileType > 8) damaged(file, QStringLiteral("unbekannter Dateityp %1").arg(h.fileType));
    if (bs < 1 || bs > 32) damaged(file, QStringLiteral("ungültige Blockgröße"));
    h.blockSize = bs * 1024;
    if (h.fileVersion < 3 || h.fileVersion > 15) damaged(file, QStringLiteral("unbekannte Version %1").arg(h.fileVersion));
    if (h.recordSize <= 0) damaged(file, QStringLiteral("Satzlänge 0"));
    if (h.headerSize < 0x58 || h.headerSize > size) damaged(file, QStringLiteral("ungültige Kopflänge"));
    if (h.recordSize > h.blockSize - 6) damaged(file, QStringLiteral("Satz größer als ein Block"));
    if (h.fieldCount <= 0 || h.fieldCount > 1024) damaged(file, QStringLiteral("ungültige Feldanzahl"));
    if (h.keyFieldCount < 0 || h.keyFieldCount > h.fieldCount) damaged(file, QStringLiteral("ungültige Schlüsselfeldanzahl"));

    const bool dataHeader = HasDataHeader(h.fileType, h.fileVersion);
    const bool dataLike = IsDataLike(h.fileType);
    const int limit = h.headerSize; // everything below lives in the header block
    quint32 enc = le32(d + 0x25);
    if (dataHeader) {
        if (limit < 0x78) damaged(file, QStringLiteral("Kopf zu kurz"));
        if (enc == 0xFF00FF00u) enc = le32(d + 0x5C);
        h.fileUpdateTime = le32(d + 0x60);
        h.codePage = le16(d + 0x6A);
        h.changeCount4 = le16(d + 0x70);
    }
    h.encrypted = enc != 0;
    int pos = dataHeader ? 0x78 : 0x58;
    if (pos + h.fieldCount * 2 > limit) damaged(file, QStringLiteral("Feldliste außerhalb des Kopfes"));
    r.codec = std::make_shared<Codec>(h.codePage, QString());
    int offset = 0;
    r.fields.reserve(h.fieldCount);
    for (int i = 0; i < h.fieldCount; ++i) {
        const quint8 code = uchar(d[pos + 2 * i]);
        const int sz = uchar(d[pos + 2 * i + 1]);
        if (!PxTypeKnown(code)) damaged(file, QStringLiteral("unbekannter Feldtyp 0x%1 in Feld %2").arg(code, 2, 16, QLatin1Char('0')).arg(i + 1));
        ParadoxField f;
        f.type = PxType(code);
        f.size = RecordBytes(f.type, sz);
        f.decimals = f.type == PxType::BCD ? sz : 0;
        if (f.size <= 0) damaged(file, QStringLiteral("Feld %1 hat die Länge 0").arg(i + 1));
        if (PxIsBlob(f.type) && f.size < 10) damaged(file, QStringLiteral("Memo-Feld %1 zu kurz").arg(i + 1));
        if (f.type == PxType::BCD && sz > 32) damaged(file, QStringLiteral("ungültige BCD-Stellen in Feld %1").arg(i + 1));
        f.offset = offset;
        offset += f.size;
        r.fields.append(f);
    }
    const int expected = h.fileType == 1 || h.fileType == 4 || h.fileType == 7 ? offset + 6 : offset;
    if (expected != h.recordSize) damaged(file, QStringLiteral("Satzlänge passt nicht zu den Feldern"));
    pos += h.fieldCount * 2;
    pos += 4; // table name pointer
    if (dataLike) pos += 4 * h.fieldCount;

    // Table name: 79 bytes, 261 in Paradox 7 files. Take the length whose
    // field names come out sound.
    QList<int> lens = h.fileVersion >= 12 ? QList<int>{261, 79} : QList<int>{79, 261};
    bool ok = false;
    for (int tnLen : lens) {
        if (pos + tnLen > limit) continue;
        if (!dataLike) {
            h.tableName = QString::fromLatin1(d + pos, int(qstrnlen(d + pos, size_t(tnLen))));
            ok = true;
            break;
        }
        int p = pos + tnLen;
        QVector<QString> names;
        bool good = true;
        for (int i = 0; i < h.fieldCount; ++i) {
            int e = p;
            while (e < limit && d[e]) ++e;
            if (e >= limit || e == p || e - p > 255) { good = false; break; }
            names.append(r.codec->decode(d + p, e - p));
            p = e + 1;
        }
        if (!good) continue;
        h.tableName = QString::fromLatin1(d + pos, int(qstrnlen(d + pos, size_t(tnLen))));
        for (int i = 0; i < h.fieldCount; ++i) r.fields[i].name = names[i];
        // field numbers, sort order name, index name
        if (p + 2 * h.fieldCount <= limit) {
            for (int i = 0; i < h.fieldCount; ++i) h.fieldNumbers.append(le16(d + p + 2 * i));
            p += 2 * h.fieldCount;
            int e = p;
            while (e < limit && d[e]) ++e;
            if (e < limit) {
                h.sortOrderName = QString::fromLatin1(d + p, e - p);
                p = e + 1;
                if (h.fileType != 0 && h.fileType != 2) {
                    e = p;
                    while (e < limit && d[e]) ++e;
                    if (e < limit) h.indexName = r.codec->decode(d + p, e - p);
                }
            }
        }
        ok = true;
        break;
    }
    if (!ok) damaged(file, QStringLiteral("Feldnamen nicht lesbar"));
    if (!h.sortOrderName.isEmpty()) r.codec = std::make_shared<Codec>(h.codePage, h.sortOrderName);
    return r;
}

QString findSibling(const QString &dir, const QString &fileName)
{
    QDir d(dir);
    if (d.exists(fileName)) return d.filePath(fileName);
    const QStringList all = d.entryList(QDir::Files | QDir::Hidden);
    for (const QString &e : all)
        if (e.compare(fileName, Qt::CaseInsensitive) == 0) return d.filePath(e);
    return {};
}

struct Walked {
    QVector<qint64> rows;
    QVector<int> rowBlock;
};

Walked walkChain(const char *d, qint64 size, const ParadoxHeader &h, const QString &file)
{
    Walked w;
    if (h.recordCount < 0) damaged(file, QStringLiteral("ungültige Satzanzahl"));
    if (h.firstBlock == 0) {
        if (h.recordCount != 0) damaged(file, QStringLiteral("keine Datenblöcke, aber %1 Sätze").arg(h.recordCount));
        return w;
    }
    w.rows.reserve(int(qMin<qint64>(h.recordCount, 10'000'000)));
    w.rowBlock.reserve(w.rows.capacity());
    std::vector<bool> seen(size_t(h.blocksTotal) + 1, false);
    int b = h.firstBlock;
    int prev = 0;
    const int maxRecs = (h.blockSize - 6) / h.recordSize;
    while (b != 0) {
        if (b < 0 || b > h.blocksTotal) damaged(file, QStringLiteral("Blockkette zeigt auf Block %1 außerhalb der Datei").arg(b));
        if (seen[size_t(b)]) damaged(file, QStringLiteral("Blockkette enthält eine Schleife bei Block %1").arg(b));
        seen[size_t(b)] = true;
        const qint64 off = qint64(h.headerSize) + qint64(b - 1) * h.blockSize;
        // The engine may leave the unused tail of the last block unwritten:
        // only the used part has to be inside the file.
        if (off + 6 > size) damaged(file, QStringLiteral("Datei kürzer als im Kopf angegeben (Block %1 fehlt)").arg(b));
        const char *blk = d + off;
        const int next = le16(blk);
        const int add = qint16(le16(blk + 4));
        Q_UNUSED(prev);
        int n = 0;
        if (add >= 0) {
            if (add % h.recordSize) damaged(file, QStringLiteral("Datenblock %1 hat eine ungültige Belegung").arg(b));
            n = add / h.recordSize + 1;
            if (n > maxRecs) damaged(file, QStringLiteral("Datenblock %1 ist überfüllt").arg(b));
            if (off + 6 + qint64(n) * h.recordSize > size) damaged(file, QStringLiteral("Datei kürzer als im Kopf angegeben (Block %1 unvollständig)").arg(b));
        }
        for (int i = 0; i < n; ++i) {
            w.rows.append(off + 6 + qint64(i) * h.recordSize);
            w.rowBlock.append(b);
        }
        prev = b;
        b = next;
    }
    return w;
}

QString blobError(const QString &file, const QString &field, const QString &why)
{
    return QStringLiteral("Memo-Datei \"%1\", Feld \"%2\": %3.").arg(QFileInfo(file).fileName(), field, why);
}

} // namespace

// ---------------------------------------------------------------- types

bool PxTypeKnown(quint8 c)
{
    switch (c) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x09: case 0x0C: case 0x0D:
    case 0x0E: case 0x0F: case 0x10: case 0x14: case 0x15: case 0x16: case 0x17: case 0x18:
        return true;
    default:
        return false;
    }
}

bool PxIsBlob(PxType t)
{
    return t == PxType::Memo || t == PxType::Blob || t == PxType::FmtMemo || t == PxType::Ole || t == PxType::Graphic;
}

FieldType PxToFieldType(PxType t)
{
    switch (t) {
    case PxType::Alpha: return FieldType::String;
    case PxType::Date: return FieldType::Date;
    case PxType::Short: return FieldType::SmallInt;
    case PxType::Long: return FieldType::Integer;
    case PxType::Currency: return FieldType::Currency;
    case PxType::Number: return FieldType::Float;
    case PxType::Logical: return FieldType::Boolean;
    case PxType::Memo: return FieldType::Memo;
    case PxType::Blob: return FieldType::Blob;
    case PxType::FmtMemo: return FieldType::FmtMemo;
    case PxType::Ole: return FieldType::Blob;
    case PxType::Graphic: return FieldType::Graphic;
    case PxType::Time: return FieldType::Time;
    case PxType::Timestamp: return FieldType::DateTime;
    case PxType::AutoInc: return FieldType::AutoInc;
    case PxType::BCD: return FieldType::BCD;
    case PxType::Bytes: return FieldType::Bytes;
    }
    return FieldType::String;
}

QString PxTypeName(PxType t)
{
    switch (t) {
    case PxType::Alpha: return QStringLiteral("A");
    case PxType::Date: return QStringLiteral("D");
    case PxType::Short: return QStringLiteral("S");
    case PxType::Long: return QStringLiteral("I");
    case PxType::Currency: return QStringLiteral("$");
    case PxType::Number: return QStringLiteral("N");
    case PxType::Logical: return QStringLiteral("L");
    case PxType::Memo: return QStringLiteral("M");
    case PxType::Blob: return QStringLiteral("B");
    case PxType::FmtMemo: return QStringLiteral("F");
    case PxType::Ole: return QStringLiteral("O");
    case PxType::Graphic: return QStringLiteral("G");
    case PxType::Time: return QStringLiteral("T");
    case PxType::Timestamp: return QStringLiteral("@");
    case PxType::AutoInc: return QStringLiteral("+");
    case PxType::BCD: return QStringLiteral("#");
    case PxType::Bytes: return QStringLiteral("Y");
    }
    return QStringLiteral("?");
}

ParadoxHeader ReadParadoxHeader(const QByteArray &data, QVector<ParadoxField> *fields, const QString &fileName)
{
    ParsedHeader p = parseHeaderBytes(data.constData(), data.size(), fileName.isEmpty() ? QStringLiteral("(Daten)") : fileName);
    if (fields) *fields = p.fields;
    return p.h;
}

// ---------------------------------------------------------------- table

ParadoxTable::~ParadoxTable() = default;

std::unique_ptr<ParadoxTable> ParadoxTable::Open(const QString &dbPath)
{
    std::unique_ptr<ParadoxTable> t(new ParadoxTable);
    t->m_path = QFileInfo(dbPath).absoluteFilePath();
    if (!QFileInfo::exists(t->m_path))
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" wurde nicht gefunden.").arg(dbPath));
    // A write that a crash interrupted is finished (or rolled back) under
    // the exclusive lock only: a live writer's files are never touched.
    if (pxjournal::NeedsRecovery(t->m_path)) {
        pxlock::TableLock ex(t->m_path, pxlock::TableLock::Exclusive);
        pxjournal::Recover(t->m_path);
    }
    pxlock::TableLock sh(t->m_path, pxlock::TableLock::Shared);
    t->load();
    return t;
}

std::unique_ptr<ParadoxTable> ParadoxTable::FromBytes(const QByteArray &db, const QByteArray &mb)
{
    std::unique_ptr<ParadoxTable> t(new ParadoxTable);
    t->m_fromBytes = true;
    t->m_path = QStringLiteral("(Daten).DB");
    t->m_ownData = db;
    t->m_data = t->m_ownData.constData();
    t->m_size = t->m_ownData.size();
    t->m_mbData = mb;
    t->parse(t->m_data, t->m_size, true);
    return t;
}

void ParadoxTable::load()
{
    m_file.reset();
    m_ownData.clear();
    m_mbData.clear();
    m_mbFile.reset();
    m_mbLoaded = false;
    // A copy in memory, read under the lock: another process may change the
    // file right after, and no mapping of ours keeps a writer from growing
    // it (Windows refuses to change the size of a mapped file).
    QFile f(m_path);
    if (!QFileInfo(m_path).isFile())
        throw ParadoxError(QStringLiteral("\"%1\" ist keine Datei und damit keine Paradox-Tabelle.").arg(m_path));
    if (!f.open(QIODevice::ReadOnly))
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" kann nicht geöffnet werden: %2").arg(m_path, f.errorString()));
    // The format numbers blocks with 16 bits, each at most 32 KB, behind a
    // header of at most 64 KB: anything bigger is not a table, and reading
    // it whole would only exhaust memory. The header is checked before the
    // rest is read.
    constexpr qint64 kMaxFileBytes = 0xFFFF + qint64(0xFFFF) * 32 * 1024;
    if (f.size() > kMaxFileBytes)
        damaged(m_path, QStringLiteral("%1 MB, mehr als eine Paradox-Datei groß sein kann").arg(f.size() / (1024 * 1024)));
    {
        const QByteArray head = f.read(0x10000);
        parseHeaderBytes(head.constData(), head.size(), m_path);
        f.seek(0);
    }
    m_ownData = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" kann nicht gelesen werden: %2").arg(m_path, f.errorString()));
    m_data = m_ownData.constData();
    m_size = m_ownData.size();
    parse(m_data, m_size, !m_indexFile);
}

void ParadoxTable::Reload()
{
    if (m_fromBytes) return;
    pxlock::TableLock sh(m_path, pxlock::TableLock::Shared);
    load();
}

bool ParadoxTable::Stale() const
{
    if (m_fromBytes) return false;
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) return true;
    if (f.size() != m_size) return true;
    const QByteArray head = f.read(0x78);
    return head != m_headCopy;
}

void ParadoxTable::parse(const char *data, qint64 size, bool strict)
{
    ParsedHeader p = parseHeaderBytes(data, size, m_path);
    if (strict && p.h.fileType != 0 && p.h.fileType != 2)
        damaged(m_path, QStringLiteral("keine Datentabelle (Dateityp %1)").arg(p.h.fileType));
    if (p.h.encrypted)
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" ist verschlüsselt und kann nicht gelesen werden.").arg(QFileInfo(m_path).fileName()));
    m_header = p.h;
    m_headCopy = QByteArray(data, int(qMin<qint64>(size, 0x78)));
    m_fields = p.fields;
    m_codec = p.codec;
    m_codecName = m_codec->name();
    Walked w = walkChain(data, size, m_header, m_path);
    m_rows = std::move(w.rows);
    m_rowBlock = std::move(w.rowBlock);
}

int ParadoxTable::FieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const char *ParadoxTable::RecordData(int row) const
{
    if (row < 0 || row >= m_rows.size()) throw ParadoxError(QStringLiteral("Satz %1 existiert nicht.").arg(row + 1));
    return m_data + m_rows[row];
}

int ParadoxTable::BlockOfRow(int row) const
{
    if (row < 0 || row >= m_rowBlock.size()) return 0;
    return m_rowBlock[row];
}

QString ParadoxTable::DecodeText(const char *data, int len) const
{
    return m_codec->decode(data, len);
}

QByteArray ParadoxTable::EncodeText(const QString &s) const
{
    return m_codec->encode(s);
}

QVariant ParadoxTable::DecodeField(const char *rec, int field) const
{
    const ParadoxField &f = m_fields.at(field);
    const char *p = rec + f.offset;
    if (!PxIsBlob(f.type)) return DecodeScalar(p, f, *m_codec);
    if (IsNullBytes(p, f)) return {};
    QByteArray b = blobBytes(rec, field);
    if (f.type == PxType::Memo || f.type == PxType::FmtMemo) return m_codec->decode(b.constData(), int(b.size()));
    return b;
}

QVariant ParadoxTable::Value(int row, int field) const
{
    if (field < 0 || field >= m_fields.size()) throw ParadoxError(QStringLiteral("Feld %1 existiert nicht.").arg(field + 1));
    return DecodeField(RecordData(row), field);
}

bool ParadoxTable::IsNull(int row, int field) const
{
    const ParadoxField &f = m_fields.at(field);
    return IsNullBytes(RecordData(row) + f.offset, f);
}

QVariantList ParadoxTable::Values(int row) const
{
    QVariantList r;
    r.reserve(m_fields.size());
    const char *rec = RecordData(row);
    for (int i = 0; i < m_fields.size(); ++i) r.append(DecodeField(rec, i));
    return r;
}

QVariantList ParadoxTable::KeyValues(int row) const
{
    QVariantList r;
    const char *rec = RecordData(row);
    for (int i = 0; i < m_header.keyFieldCount; ++i) r.append(DecodeField(rec, i));
    return r;
}

QByteArray ParadoxTable::BlobData(int row, int field) const
{
    const ParadoxField &f = m_fields.at(field);
    if (!PxIsBlob(f.type)) return {};
    const char *rec = RecordData(row);
    if (IsNullBytes(rec + f.offset, f)) return {};
    return blobBytes(rec, field);
}

// Reads len bytes of the .MB at off (fewer at its end). Blocks that a
// record points to are never rewritten by a writer (new memo data go into
// new blocks), so reading them later than the .DB is safe.
QByteArray ParadoxTable::mbRead(qint64 off, qint64 len) const
{
    if (!m_mbLoaded) {
        m_mbLoaded = true;
        m_mbState = MbMissing;
        if (!m_fromBytes) {
            const QFileInfo fi(m_path);
            // any entry of that name: one we cannot open is unreadable, not missing
            QString path;
            const QDir dir(fi.absolutePath());
            for (const QString &e : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
                if (e.compare(fi.completeBaseName() + QStringLiteral(".MB"), Qt::CaseInsensitive) == 0) path = dir.filePath(e);
            if (!path.isEmpty()) {
                auto f = std::make_unique<QFile>(path);
                if (QFileInfo(path).isFile() && f->open(QIODevice::ReadOnly)) {
                    m_mbFile = std::move(f);
                    m_mbState = MbOpen;
                } else {
                    m_mbState = MbUnreadable;
                    m_mbError = QFileInfo(path).isDir() ? QStringLiteral("ein Ordner dieses Namens") : f->errorString();
                }
            }
        } else if (!m_mbData.isEmpty()) {
            m_mbState = MbOpen;
        }
    }
    if (off < 0 || len <= 0) return {};
    if (m_fromBytes) return off < m_mbData.size() ? m_mbData.mid(off, len) : QByteArray();
    if (!m_mbFile || !m_mbFile->seek(off)) return {};
    return m_mbFile->read(len);
}

QByteArray ParadoxTable::blobBytes(const char *rec, int field) const
{
    const ParadoxField &f = m_fields.at(field);
    const char *p = rec + f.offset;
    const int leader = f.size - 10;
    const quint32 ptr = le32(p + leader);
    qint64 len = le32(p + leader + 4);
    const bool graphic = f.type == PxType::Graphic;
    if (len == 0) return {};
    if (graphic && len >= 8 && ptr == 0) len -= 8;
    if (len <= leader && ptr == 0) return QByteArray(p, int(len));
    const QString mbName = QFileInfo(m_path).completeBaseName() + QStringLiteral(".MB");
    mbRead(0, 0);
    if (m_mbState == MbMissing) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Memo-Datei fehlt")));
    if (m_mbState == MbUnreadable)
        throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Memo-Datei nicht lesbar (%1)").arg(m_mbError)));
    const qint64 off = ptr & 0xFFFFFF00u;
    const int index = int(ptr & 0xFF);
    const QByteArray head = off == 0 ? QByteArray() : mbRead(off, 4096);
    if (off == 0 || head.size() < 12) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Verweis außerhalb der Datei")));
    const char *b = head.constData();
    const int type = uchar(b[0]);
    const qint64 blkLen = qint64(le16(b + 1)) * 4096;
    if (type == 2) {
        if (index != 0xFF) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("ungültiger Verweis")));
        const qint64 stored = le32(b + 3);
        if (stored != len && !(graphic && stored == len + 8))
            throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Länge passt nicht (%1 statt %2)").arg(stored).arg(len)));
        int hdr = 9;
        qint64 dataLen = stored;
        if (graphic && stored >= 8) { hdr = 17; dataLen = stored - 8; }
        if (hdr + dataLen > blkLen || dataLen > 0x7FFFFFF0)
            throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Daten außerhalb der Datei")));
        const QByteArray data = mbRead(off + hdr, dataLen);
        if (data.size() != dataLen) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Daten außerhalb der Datei")));
        return data;
    }
    if (type == 3) {
        if (index > 63 || head.size() < 4096) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("ungültiger Verweis")));
        const char *e = b + 12 + 5 * index;
        const int start = uchar(e[0]) * 16;
        const int chunks = uchar(e[1]);
        const int lastLen = uchar(e[4]);
        if (start == 0 || chunks == 0 || lastLen == 0 || lastLen > 16)
            throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Eintrag gelöscht oder leer")));
        const qint64 dataLen = qint64(chunks - 1) * 16 + lastLen;
        if (dataLen != len) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Länge passt nicht (%1 statt %2)").arg(dataLen).arg(len)));
        if (start + dataLen > 4096) throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Daten außerhalb des Blocks")));
        return QByteArray(b + start, int(dataLen));
    }
    throw ParadoxError(blobError(mbName, f.name, QStringLiteral("Verweis auf einen %1-Block").arg(type == 4 ? QStringLiteral("freien") : QStringLiteral("ungültigen"))));
}

int ParadoxTable::RowOfKey(const QVariantList &key) const
{
    if (!Keyed() || key.size() < m_header.keyFieldCount) return -1;
    // the key in the records' own form, compared as the records are sorted
    QByteArray rec(m_header.recordSize, '\0');
    QVector<int> keyIdx;
    try {
        for (int i = 0; i < m_header.keyFieldCount; ++i) {
            EncodeScalar(rec.data() + m_fields[i].offset, m_fields[i], key.at(i), *m_codec);
            keyIdx << i;
        }
    } catch (const ParadoxError &) {
        return -1;
    }
    const QByteArray want = ParadoxRawSortKey(rec.constData(), m_fields, keyIdx, this, true);
    int lo = 0, hi = RowCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (ParadoxRawSortKey(RecordData(mid), m_fields, keyIdx, this, true) < want) lo = mid + 1;
        else hi = mid;
    }
    if (lo < RowCount() && ParadoxRawSortKey(RecordData(lo), m_fields, keyIdx, this, true) == want) return lo;
    return -1;
}

// ---------------------------------------------------------------- indexes

QVector<ParadoxIndexInfo> ParadoxTable::SecondaryIndexes() const
{
    QVector<ParadoxIndexInfo> out;
    if (m_fromBytes) return out;
    const QFileInfo fi(m_path);
    const QString base = fi.completeBaseName();
    QDir dir(fi.absolutePath());
    static const QRegularExpression re(QStringLiteral("^\\.X(G[0-9A-F]|[0-9A-F]{2})$"), QRegularExpression::CaseInsensitiveOption);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &e : entries) {
        if (!e.startsWith(base + QLatin1Char('.'), Qt::CaseInsensitive) || e.size() != base.size() + 4) continue;
        const QString ext = e.mid(base.size());
        if (!re.match(ext).hasMatch()) continue;
        const QString xPath = dir.filePath(e);
        QFile f(xPath);
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray head = f.read(65536);
        ParsedHeader p;
        try {
            p = parseHeaderBytes(head.constData(), head.size(), xPath);
        } catch (const ParadoxError &) {
            continue; // a damaged index file is not an index we can offer
        }
        const int t = p.h.fileType;
        if (t != 3 && t != 5 && t != 6 && t != 8) continue;
        ParadoxIndexInfo info;
        info.xFile = xPath;
        info.composite = ext.at(2).toUpper() == QLatin1Char('G');
        info.maintained = t == 5 || t == 8;
        info.descending = p.h.descending;
        QString yExt = ext;
        yExt[1] = ext.at(1).isUpper() ? QLatin1Char('Y') : QLatin1Char('y');
        info.yFile = findSibling(dir.path(), base + yExt);
        if (info.yFile.isEmpty()) info.yFile = findSibling(dir.path(), base + QStringLiteral(".Y") + ext.mid(2));
        int m = 1;
        if (info.composite) {
            // The index fields come first, then the primary key fields that
            // are not index fields (some writers repeat all of them), then
            // the hint fields. Find the split that fits.
            auto isHint = [](const QString &n) {
                return n.compare(QLatin1String("Blk Num"), Qt::CaseInsensitive) == 0 || n.compare(QLatin1String("Hint"), Qt::CaseInsensitive) == 0
                    || n.compare(QLatin1String("Tup No"), Qt::CaseInsensitive) == 0 || n.compare(QLatin1String("Tup Offset"), Qt::CaseInsensitive) == 0;
            };
            m = 0;
            for (int pass = 0; pass < 2 && m == 0; ++pass) {
                const bool strict = pass == 0; // tail field numbers must be positions
                for (int cand = 1; cand <= p.fields.size() && m == 0; ++cand) {
                    QVector<int> idx;
                    bool ok = cand <= p.h.fieldNumbers.size();
                    for (int i = 0; ok && i < cand; ++i) {
                        const int nr = p.h.fieldNumbers[i] & 0x7FFF;
                        ok = nr >= 1 && nr <= m_fields.size() && !isHint(p.fields[i].name);
                        if (ok) idx.append(nr - 1);
                    }
                    if (!ok) break;
                    for (int variant = 0; variant < 2 && m == 0; ++variant) {
                        QStringList tail;
                        for (int k = 0; k < m_header.keyFieldCount; ++k)
                            if (variant == 1 || !idx.contains(k)) tail << m_fields[k].name;
                        int j = cand;
                        bool fits = true;
                        for (const QString &n : tail) {
                            if (j >= p.fields.size() || p.fields[j].name.compare(n, Qt::CaseInsensitive) != 0) { fits = false; break; }
                            ++j;
                        }
                        for (; fits && j < p.fields.size(); ++j) fits = isHint(p.fields[j].name);
                        for (int k = cand; fits && strict && k < p.fields.size(); ++k)
                            fits = k < p.h.fieldNumbers.size() && p.h.fieldNumbers[k] == k + 1;
                        if (fits) m = cand;
                    }
                }
            }
        }
        bool good = m >= 1;
        for (int i = 0; i < m && good; ++i) {
            int nr = 0;
            if (!info.composite && p.h.indexFieldNumber > 0) nr = p.h.indexFieldNumber;
            else if (i < p.h.fieldNumbers.size()) nr = p.h.fieldNumbers[i] & 0x7FFF;
            if (!info.composite && nr == 0) nr = ext.mid(1).toInt(nullptr, 16);
            if (nr < 1 || nr > m_fields.size()) { good = false; break; }
            if (i < p.h.fieldNumbers.size() && (p.h.fieldNumbers[i] & 0x8000)) info.descending = true;
            info.fields.append(nr - 1);
            info.fieldNames.append(m_fields[nr - 1].name);
        }
        if (!good) continue;
        info.name = info.composite ? p.h.indexName : info.fieldNames.value(0);
        if (info.name.isEmpty()) info.name = info.fieldNames.join(QLatin1Char(';'));
        out.append(info);
    }
    return out;
}

QVector<ParadoxIndexRecord> ParadoxTable::ReadSecondaryIndex(const ParadoxIndexInfo &idx) const
{
    QFile f(idx.xFile);
    if (!f.open(QIODevice::ReadOnly))
        throw ParadoxError(QStringLiteral("Die Indexdatei \"%1\" kann nicht geöffnet werden.").arg(idx.xFile));
    const QByteArray data = f.readAll();
    ParsedHeader p = parseHeaderBytes(data.constData(), data.size(), idx.xFile);
    if (p.h.encrypted) throw ParadoxError(QStringLiteral("Die Indexdatei \"%1\" ist verschlüsselt.").arg(idx.xFile));
    for (const ParadoxField &fd : p.fields)
        if (PxIsBlob(fd.type)) damaged(idx.xFile, QStringLiteral("Memo-Feld im Index"));
    Walked w = walkChain(data.constData(), data.size(), p.h, idx.xFile);
    QVector<ParadoxIndexRecord> out;
    out.reserve(w.rows.size());
    for (qint64 off : w.rows) {
        ParadoxIndexRecord r;
        for (const ParadoxField &fd : p.fields) {
            if (fd.name.compare(QLatin1String("Blk Num"), Qt::CaseInsensitive) == 0
                || fd.name.compare(QLatin1String("Hint"), Qt::CaseInsensitive) == 0)
                r.values.append(int(GetUShort(data.constData() + off + fd.offset)));
            else
                r.values.append(DecodeScalar(data.constData() + off + fd.offset, fd, *m_codec));
        }
        out.append(r);
    }
    return out;
}

QVector<ParadoxIndexEntry> ParadoxTable::ReadPrimaryIndex() const
{
    QVector<ParadoxIndexEntry> out;
    if (m_fromBytes || !Keyed()) return out;
    const QFileInfo fi(m_path);
    const QString pxPath = findSibling(fi.absolutePath(), fi.completeBaseName() + QStringLiteral(".PX"));
    if (pxPath.isEmpty()) throw ParadoxError(QStringLiteral("Zur Tabelle \"%1\" fehlt der Primärindex (.PX).").arg(fi.fileName()));
    QFile f(pxPath);
    if (!f.open(QIODevice::ReadOnly)) throw ParadoxError(QStringLiteral("Der Primärindex \"%1\" kann nicht geöffnet werden.").arg(pxPath));
    const QByteArray data = f.readAll();
    ParsedHeader p = parseHeaderBytes(data.constData(), data.size(), pxPath);
    if (p.h.fileType != 1) damaged(pxPath, QStringLiteral("kein Primärindex"));
    if (p.h.fieldCount != m_header.keyFieldCount) damaged(pxPath, QStringLiteral("Schlüsselfelder passen nicht zur Tabelle"));
    if (p.h.indexRoot == 0 || p.h.indexLevels == 0 || p.h.blocksTotal == 0) return out; // empty index
    const int keyLen = p.h.recordSize - 6;
    std::vector<bool> seen(size_t(p.h.blocksTotal) + 1, false);
    // Depth-first walk from the root; level 1 points into the .DB.
    std::function<void(int, int)> walk = [&](int block, int level) {
        if (block < 1 || block > p.h.blocksTotal) damaged(pxPath, QStringLiteral("Verweis auf Block %1 außerhalb der Datei").arg(block));
        if (seen[size_t(block)]) damaged(pxPath, QStringLiteral("Schleife bei Block %1").arg(block));
        seen[size_t(block)] = true;
        const qint64 off = p.h.headerSize + qint64(block - 1) * p.h.blockSize;
        if (off + 6 > data.size()) damaged(pxPath, QStringLiteral("Datei kürzer als im Kopf angegeben (Block %1 fehlt)").arg(block));
        const char *b = data.constData() + off;
        const int add = qint16(le16(b + 4));
        if (add < 0) return;
        if (add % p.h.recordSize) damaged(pxPath, QStringLiteral("Block %1 hat eine ungültige Belegung").arg(block));
        const int n = add / p.h.recordSize + 1;
        if (n * p.h.recordSize > p.h.blockSize - 6) damaged(pxPath, QStringLiteral("Block %1 ist überfüllt").arg(block));
        if (off + 6 + qint64(n) * p.h.recordSize > data.size()) damaged(pxPath, QStringLiteral("Datei kürzer als im Kopf angegeben (Block %1 unvollständig)").arg(block));
        for (int i = 0; i < n; ++i) {
            const char *e = b + 6 + i * p.h.recordSize;
            const int child = GetUShort(e + keyLen);
            if (level <= 1) {
                ParadoxIndexEntry ent;
                for (const ParadoxField &fd : p.fields) ent.key.append(DecodeScalar(e + fd.offset, fd, *m_codec));
                ent.block = child;
                ent.count = GetUShort(e + keyLen + 2);
                out.append(ent);
            } else {
                walk(child, level - 1);
            }
        }
    };
    if (p.h.indexLevels < 1 || p.h.indexLevels > 16) damaged(pxPath, QStringLiteral("ungültige Indextiefe"));
    walk(p.h.indexRoot, p.h.indexLevels);
    return out;
}

QStringList ParadoxTable::ConsistencyWarnings() const
{
    if (m_fromBytes) return {};
    // The index files are compared with the data under one shared lock, so
    // a writer in between cannot make them look inconsistent. When the
    // table changed since it was read, the check is made on it as it is now.
    pxlock::TableLock sh(m_path, pxlock::TableLock::Shared);
    if (!Stale()) return warningsUnderLock();
    std::unique_ptr<ParadoxTable> now(new ParadoxTable);
    now->m_path = m_path;
    now->m_indexFile = m_indexFile;
    now->load();
    return now->warningsUnderLock();
}

QStringList ParadoxTable::warningsUnderLock() const
{
    QStringList out;
    const QString name = QFileInfo(m_path).fileName();
    if (m_header.recordCount != m_rows.size())
        out << QStringLiteral("%1: der Dateikopf nennt %2 Sätze, die Datenblöcke enthalten %3.").arg(name).arg(m_header.recordCount).arg(m_rows.size());
    const QFileInfo fi(m_path);
    const QDir dir(fi.absolutePath());
    static const QRegularExpression re(QStringLiteral("^\\.(PX|[XY](G[0-9A-F]|[0-9A-F]{2}))$"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &e : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (!e.startsWith(fi.completeBaseName() + QLatin1Char('.'), Qt::CaseInsensitive)) continue;
        const QString ext = e.mid(fi.completeBaseName().size());
        if (!re.match(ext).hasMatch()) continue;
        QFile f(dir.filePath(e));
        if (f.size() < 0x58) {
            out << QStringLiteral("%1: die Indexdatei \"%2\" ist leer oder abgeschnitten (%3 Bytes).").arg(name, e).arg(f.size());
            continue;
        }
        if (!f.open(QIODevice::ReadOnly)) {
            out << QStringLiteral("%1: die Indexdatei \"%2\" ist nicht lesbar.").arg(name, e);
            continue;
        }
        const QByteArray head = f.read(0x800);
        try {
            const ParsedHeader p = parseHeaderBytes(head.constData(), head.size(), e);
            const int t = p.h.fileType;
            if ((t == 3 || t == 5 || t == 6 || t == 8) && p.h.recordCount != m_rows.size())
                out << QStringLiteral("%1: der Index \"%2\" hat %3 Einträge für %4 Sätze.").arg(name, e).arg(p.h.recordCount).arg(m_rows.size());
            if (t == 1 && Keyed()) {
                const QVector<ParadoxIndexEntry> px = ReadPrimaryIndex();
                QSet<int> blocks(m_rowBlock.cbegin(), m_rowBlock.cend());
                if (px.size() != blocks.size())
                    out << QStringLiteral("%1: der Primärindex \"%2\" verweist auf %3 Blöcke, die Tabelle hat %4.").arg(name, e).arg(px.size()).arg(blocks.size());
            }
        } catch (const ParadoxError &err) {
            out << QStringLiteral("%1: %2").arg(name, err.message());
        }
    }
    return out;
}

void ParadoxTable::SetFailAfterSteps(int steps)
{
    pxjournal::SetFailAfter(steps);
}

} // namespace mv
