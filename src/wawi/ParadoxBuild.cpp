// Building blocks of the Paradox files we write: packed data blocks, the
// B-tree files (.PX, .Y*), secondary index files (.X*) and field values.
// Shared by new tables (ParadoxWriter.cpp) and edits (ParadoxEdit.cpp).

#include "wawi/ParadoxBuild.h"

#include "wawi/ParadoxSort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <numeric>

namespace mv::pxbuild {

using namespace pxfmt;

QString siblingPath(const QString &dbPath, const QString &ext)
{
    const QFileInfo fi(dbPath);
    QDir dir = fi.absoluteDir();
    const QString want = fi.completeBaseName() + ext;
    for (const QString &e : dir.entryList(QDir::Files | QDir::Hidden))
        if (e.compare(want, Qt::CaseInsensitive) == 0) return dir.filePath(e);
    return dir.filePath(want);
}

QStringList tableFiles(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    QDir dir = fi.absoluteDir();
    const QString prefix = fi.completeBaseName() + QLatin1Char('.');
    QStringList out;
    for (const QString &e : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (!e.startsWith(prefix, Qt::CaseInsensitive)) continue;
        const QString ext = e.mid(prefix.size());
        if (ext.contains(QLatin1Char('.')) || ext.compare(QLatin1String("mvj"), Qt::CaseInsensitive) == 0) continue;
        out << dir.filePath(e);
    }
    return out;
}

// ---- packed block files

// Packs records into consecutive blocks 1..n, chained in order.
QByteArray packBlocks(const QVector<const char *> &recs, int recordSize, int blockSize, QVector<BlockInfo> *infos)
{
    const int per = (blockSize - 6) / recordSize;
    const int nBlocks = recs.isEmpty() ? 0 : int((recs.size() + per - 1) / per);
    QByteArray out(qsizetype(nBlocks) * blockSize, '\0');
    for (int b = 0; b < nBlocks; ++b) {
        char *blk = out.data() + qsizetype(b) * blockSize;
        const int first = b * per;
        const int n = qMin(per, int(recs.size()) - first);
        put16(blk, quint16(b + 1 < nBlocks ? b + 2 : 0));
        put16(blk + 2, quint16(b > 0 ? b : 0));
        put16(blk + 4, quint16(qint16((n - 1) * recordSize)));
        for (int i = 0; i < n; ++i) std::memcpy(blk + 6 + i * recordSize, recs[first + i], size_t(recordSize));
        if (infos) infos->append({b + 1, blk + 6, n});
    }
    return out;
}

void patchStructure(QByteArray &hdr, qint64 records, int blocksTotal, int blocksUsed, int first, int last)
{
    char *o = hdr.data();
    put32(o + 0x06, quint32(records));
    put16(o + 0x0A, quint16(blocksUsed));
    put16(o + 0x0C, quint16(blocksTotal));
    put16(o + 0x0E, quint16(first));
    put16(o + 0x10, quint16(last));
    put16(o + 0x3A, quint16(blocksTotal));
}

// A B-tree index file (.PX, .Ynn, .YGn) over the blocks of a data file.
// Entry = key bytes of the block's first record + block number + count.
QByteArray buildTreeFile(QByteArray hdr, const QVector<BlockInfo> &blocks, const QVector<ParadoxField> &keyFields,
                         int blockSize, int changes)
{
    int keyLen = 0;
    for (const ParadoxField &f : keyFields) keyLen += f.size;
    const int recSize = keyLen + 6;
    const int per = (blockSize - 6) / recSize;
    if (per < 2) throw ParadoxError(QStringLiteral("Schlüssel zu lang für die Blockgröße."));
    struct Entry { QByteArray key; int child; int count; };
    QVector<Entry> level;
    for (const BlockInfo &b : blocks) {
        QByteArray k(keyLen, '\0');
        int pos = 0;
        for (const ParadoxField &f : keyFields) { std::memcpy(k.data() + pos, b.firstRecord + f.offset, size_t(f.size)); pos += f.size; }
        level.append({k, b.number, b.count});
    }
    QByteArray body;
    int nextBlock = 1;
    int levels = 0;
    int root = 0;
    qint64 totalEntries = 0;
    while (!level.isEmpty()) {
        ++levels;
        const int n = int((level.size() + per - 1) / per);
        QVector<Entry> up;
        const int firstNo = nextBlock;
        for (int b = 0; b < n; ++b) {
            QByteArray blk(blockSize, '\0');
            const int start = b * per;
            const int cnt = qMin(per, int(level.size()) - start);
            put16(blk.data(), quint16(b + 1 < n ? firstNo + b + 1 : 0));
            put16(blk.data() + 2, quint16(b > 0 ? firstNo + b - 1 : 0));
            put16(blk.data() + 4, quint16(qint16((cnt - 1) * recSize)));
            int sum = 0;
            for (int i = 0; i < cnt; ++i) {
                const Entry &e = level[start + i];
                char *p = blk.data() + 6 + i * recSize;
                std::memcpy(p, e.key.constData(), size_t(keyLen));
                PutUShort(p + keyLen, quint16(e.child));
                PutUShort(p + keyLen + 2, quint16(qMin(e.count, 0xFFFF)));
                PutUShort(p + keyLen + 4, 0);
                sum += e.count;
            }
            totalEntries += cnt;
            body.append(blk);
            up.append({level[start].key, firstNo + b, sum});
        }
        nextBlock += n;
        if (n == 1) { root = firstNo; break; }
        level = up;
    }
    const int total = nextBlock - 1;
    if (total > 0xFFFF) throw ParadoxError(QStringLiteral("Index zu groß für das Paradox-Format."));
    patchStructure(hdr, totalEntries, total, total, total ? 1 : 0, total);
    char *o = hdr.data();
    // an empty index: root 1, no levels (as the engine writes it)
    put16(o + 0x1E, quint16(total ? root : 1));
    o[0x20] = char(total ? levels : 0);
    o[0x2C] = char(uchar(o[0x2C]) + changes);
    return hdr + body;
}

// ---- secondary indexes

XLayout mapLayout(const QVector<ParadoxField> &xFields, int indexFieldCount, const QVector<int> &indexFields,
                  const QVector<ParadoxField> &tableFields, const QString &xName)
{
    XLayout l;
    l.fields = xFields;
    for (int i = 0; i < xFields.size(); ++i) {
        const QString &n = xFields[i].name;
        if (i < indexFieldCount && i < indexFields.size()) { l.cols.append({Src::Field, indexFields[i]}); continue; }
        if (n.compare(QLatin1String("Blk Num"), Qt::CaseInsensitive) == 0 || n.compare(QLatin1String("Hint"), Qt::CaseInsensitive) == 0) {
            l.cols.append({Src::Block, -1}); continue;
        }
        if (n.compare(QLatin1String("Tup No"), Qt::CaseInsensitive) == 0) { l.cols.append({Src::TupNo, -1}); continue; }
        if (n.compare(QLatin1String("Tup Offset"), Qt::CaseInsensitive) == 0) { l.cols.append({Src::TupOffset, -1}); continue; }
        int found = -1;
        for (int t = 0; t < tableFields.size(); ++t)
            if (tableFields[t].name.compare(n, Qt::CaseInsensitive) == 0) { found = t; break; }
        if (found < 0 || tableFields[found].type != xFields[i].type || tableFields[found].size != xFields[i].size)
            throw ParadoxError(QStringLiteral("Die Indexdatei \"%1\" hat ein unbekanntes Feld \"%2\"; "
                                              "die Tabelle wird nicht geändert.").arg(QFileInfo(xName).fileName(), n));
        l.cols.append({Src::Field, found});
    }
    l.keyCount = 0;
    for (const XCol &c : l.cols) if (c.src == Src::Field) ++l.keyCount; else break;
    l.indexFieldCount = indexFieldCount;
    return l;
}

void upperKeyFields(const XLayout &l, char *xrec, const ParadoxTable &codecOf)
{
    for (int i = 0; i < l.indexFieldCount && i < l.fields.size(); ++i) {
        const ParadoxField &f = l.fields[i];
        if (f.type != PxType::Alpha || !xrec[f.offset]) continue;
        QString s = codecOf.DecodeText(xrec + f.offset, f.size);
        for (QChar &c : s) c = c.toUpper(); // one for one: the width stays
        const QByteArray b = codecOf.EncodeText(s);
        if (b.size() > f.size) continue;
        std::memset(xrec + f.offset, 0, size_t(f.size));
        std::memcpy(xrec + f.offset, b.constData(), size_t(b.size()));
    }
}

bool HasUpperKeys(const ParadoxTable &t, const ParadoxIndexInfo &ix)
{
    if (t.Header().sortOrderName.compare(QLatin1String("ascii"), Qt::CaseInsensitive) != 0) return false;
    bool alpha = false;
    for (int f : ix.fields) alpha = alpha || t.Fields()[f].type == PxType::Alpha;
    if (!alpha) return false;
    QVector<ParadoxIndexRecord> recs;
    try {
        recs = t.ReadSecondaryIndex(ix);
    } catch (const ParadoxError &) {
        return false;
    }
    auto hasLower = [](const QString &s) {
        for (QChar c : s) if (c.toUpper() != c) return true;
        return false;
    };
    for (const ParadoxIndexRecord &r : recs)
        for (int i = 0; i < ix.fields.size(); ++i)
            if (t.Fields()[ix.fields[i]].type == PxType::Alpha && hasLower(r.values.value(i).toString())) return false;
    for (int row = 0; row < t.RowCount(); ++row)
        for (int f : ix.fields)
            if (t.Fields()[f].type == PxType::Alpha && hasLower(t.Value(row, f).toString())) return true;
    return false;
}

BuiltIndex buildSecondary(const XLayout &l, QByteArray xHdr, QByteArray yHdr, const QVector<RecRef> &recs, int blockSize,
                          bool descending, const ParadoxTable *codecOf, int changes, int yKeyCount)
{
    int xRec = 0;
    for (const ParadoxField &f : l.fields) xRec += f.size;
    QByteArray all(qsizetype(recs.size()) * xRec, '\0');
    for (int r = 0; r < recs.size(); ++r) {
        char *p = all.data() + qsizetype(r) * xRec;
        for (int i = 0; i < l.cols.size(); ++i) {
            const ParadoxField &xf = l.fields[i];
            char *dst = p + xf.offset;
            switch (l.cols[i].src) {
            case Src::Field: {
                // same type and size as the table field
                std::memcpy(dst, recs[r].data + codecOf->Fields()[l.cols[i].field].offset, size_t(xf.size));
                break;
            }
            case Src::Block: PutUShort(dst, quint16(recs[r].block)); break;
            case Src::TupNo:
                if (xf.size == 4) PutLong(dst, recs[r].ordinal); else PutUShort(dst, quint16(recs[r].ordinal));
                break;
            case Src::TupOffset:
                if (xf.size == 4) PutLong(dst, recs[r].slot); else PutUShort(dst, quint16(recs[r].slot));
                break;
            }
        }
        if (l.upperKeys) upperKeyFields(l, p, *codecOf);
    }
    QVector<int> keyIdx(l.keyCount);
    std::iota(keyIdx.begin(), keyIdx.end(), 0);
    QVector<QByteArray> keys(recs.size());
    QVector<int> order(recs.size());
    for (int r = 0; r < recs.size(); ++r) {
        keys[r] = ParadoxRawSortKey(all.constData() + qsizetype(r) * xRec, l.fields, keyIdx, codecOf, true);
        order[r] = r;
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    if (descending) std::reverse(order.begin(), order.end());
    QVector<const char *> sorted;
    sorted.reserve(order.size());
    for (int r : order) sorted.append(all.constData() + qsizetype(r) * xRec);
    QVector<BlockInfo> infos;
    QByteArray blocks = packBlocks(sorted, xRec, blockSize, &infos);
    if (infos.size() > 0xFFFF) throw ParadoxError(QStringLiteral("Index zu groß für das Paradox-Format."));
    patchStructure(xHdr, sorted.size(), int(infos.size()), int(infos.size()), infos.isEmpty() ? 0 : 1, int(infos.size()));
    BuiltIndex out;
    out.x = xHdr + blocks;
    QVector<ParadoxField> keyFields = l.fields.mid(0, yKeyCount > 0 ? qMin(yKeyCount, l.keyCount) : l.keyCount);
    out.y = buildTreeFile(yHdr, infos, keyFields, blockSize, changes);
    return out;
}

// Encodes one field value of a table into rec (blob data go into mb).
void encodeValue(char *rec, const ParadoxField &f, const QVariant &v, const Codec &codec, MbAppender *mb)
{
    if (!PxIsBlob(f.type)) { EncodeScalar(rec + f.offset, f, v, codec); return; }
    QByteArray data;
    if (v.isValid() && !v.isNull()) {
        if (f.type == PxType::Memo || f.type == PxType::FmtMemo) data = v.typeId() == QMetaType::QByteArray ? v.toByteArray() : codec.encode(v.toString());
        else data = v.toByteArray();
    }
    EncodeBlob(rec + f.offset, f, data, mb);
}

QByteArray readHead(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw ParadoxError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden.").arg(path));
    QByteArray head = f.read(0x800);
    if (head.size() >= 4) {
        const int hs = le16(head.constData() + 2);
        if (hs > head.size()) { f.seek(0); head = f.read(hs); }
        head = head.left(hs);
    }
    return head;
}

} // namespace mv::pxbuild
