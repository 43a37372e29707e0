// Creating new Paradox tables (ParadoxWriter): every file of the table
// (.DB, .PX, .MB and each index of the schema: .XGn/.YGn named, .Xnn/.Ynn
// single-field, maintained or not) is written whole under a temporary name
// and renamed into place through the journal. Changes to existing tables
// are in ParadoxEdit.cpp.

#include "wawi/ParadoxWriter.h"

#include "wawi/ParadoxBuild.h"
#include "wawi/ParadoxFormat.h"
#include "wawi/ParadoxJournal.h"
#include "wawi/ParadoxSort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace mv {

using namespace pxfmt;
using namespace pxbuild;

namespace {

void checkFieldSpec(const ParadoxFieldSpec &s, ParadoxField *f)
{
    f->name = s.name;
    f->type = s.type;
    auto bad = [&](const QString &why) {
        throw ParadoxError(QStringLiteral("Feld \"%1\": %2").arg(s.name, why));
    };
    if (s.name.trimmed().isEmpty() || s.name.size() > 25) bad(QStringLiteral("ungültiger Name"));
    switch (s.type) {
    case PxType::Alpha: if (s.size < 1 || s.size > 255) bad(QStringLiteral("Länge 1..255")); f->size = s.size; break;
    case PxType::Bytes: if (s.size < 1 || s.size > 255) bad(QStringLiteral("Länge 1..255")); f->size = s.size; break;
    case PxType::Memo: case PxType::FmtMemo:
        if (s.size < 1 || s.size > 240) bad(QStringLiteral("Länge 1..240")); f->size = s.size + 10; break;
    case PxType::Blob: case PxType::Graphic: case PxType::Ole:
        if (s.size < 0 || s.size > 240) bad(QStringLiteral("Länge 0..240")); f->size = s.size + 10; break;
    case PxType::BCD: if (s.size < 0 || s.size > 32) bad(QStringLiteral("0..32 Nachkommastellen")); f->size = 17; f->decimals = s.size; break;
    case PxType::Short: f->size = 2; break;
    case PxType::Long: case PxType::AutoInc: case PxType::Date: case PxType::Time: f->size = 4; break;
    case PxType::Number: case PxType::Currency: case PxType::Timestamp: f->size = 8; break;
    case PxType::Logical: f->size = 1; break;
    }
}

int sortOrderId(const QString &name)
{
    if (name.compare(QLatin1String("ascii"), Qt::CaseInsensitive) == 0) return 0;
    if (name.compare(QLatin1String("intl"), Qt::CaseInsensitive) == 0) return 0xB7;
    return 0x62; // ANSIINTL and the other ANSI drivers
}

QString hexExt(int n, int width) { return QStringLiteral("%1").arg(n, width, 16, QLatin1Char('0')).toUpper(); }

} // namespace

// ==================================================================== new tables

struct ParadoxWriter::Impl {
    QString path;
    ParadoxSchema schema;
    QVector<ParadoxField> fields;
    int recordSize = 0;
    std::unique_ptr<Codec> codec;
    std::unique_ptr<MbAppender> mb;
    bool hasBlobs = false;
    QByteArray records;
    qint64 count = 0;
    qint64 autoInc = 1;
    int autoField = -1;
};

ParadoxWriter::ParadoxWriter(const QString &dbPath, const ParadoxSchema &schema) : d(new Impl)
{
    d->path = QFileInfo(dbPath).absoluteFilePath();
    d->schema = schema;
    if (schema.fields.isEmpty()) throw ParadoxError(QStringLiteral("Tabelle ohne Felder."));
    if (schema.keyFieldCount < 0 || schema.keyFieldCount > schema.fields.size() || schema.keyFieldCount > 16)
        throw ParadoxError(QStringLiteral("Ungültige Anzahl Schlüsselfelder."));
    const int bs = schema.blockSizeKB;
    if (bs != 1 && bs != 2 && bs != 4 && bs != 8 && bs != 16 && bs != 32) throw ParadoxError(QStringLiteral("Ungültige Blockgröße."));
    int off = 0;
    QSet<QString> names;
    for (const ParadoxFieldSpec &s : schema.fields) {
        ParadoxField f;
        checkFieldSpec(s, &f);
        if (names.contains(s.name.toLower())) throw ParadoxError(QStringLiteral("Feld \"%1\" doppelt.").arg(s.name));
        names.insert(s.name.toLower());
        f.offset = off;
        off += f.size;
        if (PxIsBlob(f.type)) d->hasBlobs = true;
        if (f.type == PxType::AutoInc && d->autoField < 0) d->autoField = int(d->fields.size());
        d->fields.append(f);
    }
    d->recordSize = off;
    if (off > bs * 1024 - 6 || off > 0xFFFF) throw ParadoxError(QStringLiteral("Satz zu lang für die Blockgröße."));
    for (int i = 0; i < schema.keyFieldCount; ++i)
        if (PxIsBlob(d->fields[i].type)) throw ParadoxError(QStringLiteral("Memo-Feld \"%1\" kann kein Schlüssel sein.").arg(d->fields[i].name));
    for (const ParadoxIndexSpec &ix : schema.indexes) {
        if (ix.fields.isEmpty() || (ix.name.isEmpty() && ix.fields.size() != 1))
            throw ParadoxError(QStringLiteral("Index \"%1\": ungültige Felder.").arg(ix.name));
        for (const QString &fn : ix.fields) {
            int i = -1;
            for (int k = 0; k < d->fields.size(); ++k) if (d->fields[k].name.compare(fn, Qt::CaseInsensitive) == 0) i = k;
            if (i < 0) throw ParadoxError(QStringLiteral("Index \"%1\": Feld \"%2\" fehlt.").arg(ix.name, fn));
            if (PxIsBlob(d->fields[i].type)) throw ParadoxError(QStringLiteral("Index \"%1\": Memo-Feld \"%2\".").arg(ix.name, fn));
        }
    }
    d->codec = std::make_unique<Codec>(schema.codePage, schema.sortOrder);
    if (d->hasBlobs) d->mb = std::make_unique<MbAppender>(0, 1);
}

ParadoxWriter::~ParadoxWriter() = default;

qint64 ParadoxWriter::RecordCount() const { return d->count; }

void ParadoxWriter::AddRecord(const QVariantList &values)
{
    if (values.size() > d->fields.size()) throw ParadoxError(QStringLiteral("Zu viele Werte für die Tabelle."));
    const qsizetype base = d->records.size();
    d->records.resize(base + d->recordSize);
    char *rec = d->records.data() + base;
    std::memset(rec, 0, size_t(d->recordSize));
    try {
        for (int i = 0; i < d->fields.size(); ++i) {
            QVariant v = values.value(i);
            const ParadoxField &f = d->fields[i];
            if (f.type == PxType::AutoInc) {
                if (!v.isValid() || v.isNull()) v = d->autoInc;
                if (i == d->autoField) d->autoInc = qMax<qint64>(d->autoInc, v.toLongLong() + 1);
            }
            encodeValue(rec, f, v, *d->codec, d->mb.get());
        }
    } catch (...) {
        d->records.resize(base);
        throw;
    }
    ++d->count;
}

void ParadoxWriter::Finish()
{
    const ParadoxSchema &s = d->schema;
    const int rs = d->recordSize;
    const int blockSize = s.blockSizeKB * 1024;
    const QFileInfo fi(d->path);
    const QString tableName = s.tableName.isEmpty() ? fi.completeBaseName() : s.tableName;
    // Scratch table object for sort keys (code page)
    QVector<const char *> recs(d->count);
    for (qint64 i = 0; i < d->count; ++i) recs[i] = d->records.constData() + i * rs;
    const bool keyed = s.keyFieldCount > 0;
    std::unique_ptr<ParadoxTable> codecTable;
    HeaderSpec h;
    h.fileType = keyed ? 0 : 2;
    h.recordSize = rs;
    h.blockSize = blockSize;
    h.fileVersion = s.fileVersion;
    h.codePage = s.codePage;
    h.sortOrderName = s.sortOrder;
    h.sortOrderId = sortOrderId(s.sortOrder);
    h.fields = d->fields;
    h.keyFieldCount = s.keyFieldCount;
    h.tableName = tableName;
    h.unknown12 = keyed ? 12 : 0;
    QByteArray dbHdr = BuildHeader(h, *d->codec);
    // A table object over the bare header gives sort keys the code page.
    codecTable = ParadoxTable::FromBytes(dbHdr);
    if (keyed) {
        QVector<int> keyIdx(s.keyFieldCount);
        std::iota(keyIdx.begin(), keyIdx.end(), 0);
        QVector<QByteArray> keys(recs.size());
        QVector<int> order(recs.size());
        for (int i = 0; i < recs.size(); ++i) { keys[i] = ParadoxRawSortKey(recs[i], d->fields, keyIdx, codecTable.get(), true); order[i] = i; }
        std::sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
        for (int i = 1; i < order.size(); ++i)
            if (keys[order[i]] == keys[order[i - 1]]) {
                QStringList parts;
                for (int k = 0; k < s.keyFieldCount; ++k)
                    parts << codecTable->DecodeField(recs[order[i]], k).toString();
                throw ParadoxError(QStringLiteral("Schlüssel doppelt in Tabelle \"%1\": %2").arg(fi.fileName(), parts.join(QLatin1String(", "))));
            }
        QVector<const char *> sorted(recs.size());
        for (int i = 0; i < order.size(); ++i) sorted[i] = recs[order[i]];
        recs = sorted;
    }
    QVector<BlockInfo> infos;
    QByteArray blocks = packBlocks(recs, rs, blockSize, &infos);
    if (infos.size() > 0xFFFF) throw ParadoxError(QStringLiteral("Tabelle zu groß für das Paradox-Format."));
    patchStructure(dbHdr, recs.size(), int(infos.size()), int(infos.size()), infos.isEmpty() ? 0 : 1, int(infos.size()));
    // the header keeps the last value handed out
    put32(dbHdr.data() + 0x49, quint32(d->autoField >= 0 && d->count > 0 ? qint32(d->autoInc - 1) : 0));

    pxjournal::Transaction tx(d->path);
    QStringList written;
    tx.replaceFile(d->path, dbHdr + blocks);
    written << d->path;
    if (keyed) {
        HeaderSpec ph;
        ph.fileType = 1;
        ph.fields = d->fields.mid(0, s.keyFieldCount);
        int kl = 0;
        for (ParadoxField &f : ph.fields) { f.offset = kl; kl += f.size; }
        ph.recordSize = kl + 6;
        ph.blockSize = blockSize;
        ph.fileVersion = s.fileVersion;
        ph.codePage = s.codePage;
        ph.sortOrderId = h.sortOrderId;
        ph.tableName = tableName;
        ph.unknown12 = 17;
        ph.pxChange2C = 102;
        ph.changeCount1 = 0; ph.changeCount2 = 0;
        const QString px = siblingPath(d->path, QStringLiteral(".PX"));
        tx.replaceFile(px, buildTreeFile(BuildHeader(ph, *d->codec), infos, ph.fields, blockSize, 0));
        written << px;
    }
    if (d->hasBlobs) {
        const QString mbPath = siblingPath(d->path, QStringLiteral(".MB"));
        QByteArray mbBytes = d->mb->tail();
        put16(mbBytes.data() + 3, d->mb->modCount());
        tx.replaceFile(mbPath, mbBytes);
        written << mbPath;
    }
    // Secondary indexes
    QVector<RecRef> refs;
    refs.reserve(recs.size());
    {
        int ordinal = 0;
        for (const BlockInfo &b : infos)
            for (int i = 0; i < b.count; ++i) refs.append({b.firstRecord + i * rs, b.number, i, ++ordinal});
    }
    int groupNo = 0;
    for (const ParadoxIndexSpec &ix : s.indexes) {
        QVector<int> idxFields;
        for (const QString &fn : ix.fields)
            for (int k = 0; k < d->fields.size(); ++k)
                if (d->fields[k].name.compare(fn, Qt::CaseInsensitive) == 0) { idxFields.append(k); break; }
        const bool composite = !ix.name.isEmpty();
        QVector<ParadoxField> xf;
        QVector<int> numbers;
        for (int k : idxFields) { xf.append(d->fields[k]); numbers.append((k + 1) | (ix.descending ? 0x8000 : 0)); }
        if (keyed) {
            for (int k = 0; k < s.keyFieldCount; ++k)
                if (!idxFields.contains(k)) xf.append(d->fields[k]);
            ParadoxField hint;
            hint.name = QStringLiteral("Blk Num");
            hint.type = PxType::Short;
            hint.size = 2;
            xf.append(hint);
        } else {
            ParadoxField a; a.name = QStringLiteral("Tup No"); a.type = PxType::Long; a.size = 4; xf.append(a);
            ParadoxField b; b.name = QStringLiteral("Blk Num"); b.type = PxType::Short; b.size = 2; xf.append(b);
            ParadoxField c; c.name = QStringLiteral("Tup Offset"); c.type = PxType::Short; c.size = 2; xf.append(c);
        }
        int off = 0;
        for (ParadoxField &f : xf) { f.offset = off; off += f.size; }
        while (numbers.size() < xf.size()) numbers.append(int(numbers.size()) + 1);
        const int keyCount = keyed ? int(xf.size()) - 1 : int(idxFields.size());
        HeaderSpec xh;
        xh.fileType = composite ? (ix.maintained ? 8 : 6) : (ix.maintained ? 5 : 3);
        xh.recordSize = off;
        xh.blockSize = blockSize;
        xh.fileVersion = s.fileVersion;
        xh.codePage = s.codePage;
        xh.sortOrderName = s.sortOrder;
        xh.sortOrderId = h.sortOrderId;
        xh.fields = xf;
        xh.fieldNumbers = numbers;
        xh.keyFieldCount = keyCount;
        xh.indexFieldNumber = idxFields.first() + 1;
        xh.tableName = tableName;
        xh.indexName = ix.name;
        xh.descending = ix.descending;
        xh.changeCount1 = 0; xh.changeCount2 = 0;
        HeaderSpec yh;
        yh.fileType = composite ? 7 : 4;
        yh.fields = xf.mid(0, keyCount);
        yh.recordSize = 0;
        for (const ParadoxField &f : yh.fields) yh.recordSize += f.size;
        yh.recordSize += 6;
        yh.blockSize = blockSize;
        yh.fileVersion = s.fileVersion;
        yh.codePage = s.codePage;
        yh.sortOrderId = h.sortOrderId;
        yh.tableName = tableName;
        yh.indexFieldNumber = idxFields.first() + 1;
        yh.changeCount1 = 0; yh.changeCount2 = 0;
        XLayout l = mapLayout(xf, int(idxFields.size()), idxFields, d->fields, tableName);
        l.keyCount = keyCount;
        l.upperKeys = ix.caseInsensitive && s.sortOrder.compare(QLatin1String("ascii"), Qt::CaseInsensitive) == 0;
        BuiltIndex bi = buildSecondary(l, BuildHeader(xh, *d->codec), BuildHeader(yh, *d->codec), refs, blockSize,
                                       ix.descending, codecTable.get(), 0);
        const QString ext = composite ? QStringLiteral("G") + hexExt(groupNo++, 1) : hexExt(idxFields.first() + 1, 2);
        const QString xPath = siblingPath(d->path, QStringLiteral(".X") + ext);
        const QString yPath = siblingPath(d->path, QStringLiteral(".Y") + ext);
        tx.replaceFile(xPath, bi.x);
        tx.replaceFile(yPath, bi.y);
        written << xPath << yPath;
    }
    // Files of an older table of that name that the new one does not have.
    QStringList stale;
    for (const QString &f : tableFiles(d->path)) {
        bool keep = false;
        for (const QString &w : written) if (QFileInfo(w).fileName().compare(QFileInfo(f).fileName(), Qt::CaseInsensitive) == 0) keep = true;
        const QString ext = QFileInfo(f).suffix().toUpper();
        if (!keep && (ext == QLatin1String("PX") || ext == QLatin1String("MB") || ext.startsWith(QLatin1Char('X')) || ext.startsWith(QLatin1Char('Y'))))
            stale << f;
    }
    tx.commit();
    for (const QString &f : stale) QFile::remove(f);
}

} // namespace mv
