// Changes to existing Paradox tables (ParadoxTable::UpdateRecord /
// AppendRecords); new tables are written by ParadoxWriter.cpp.
//
// What happens to each file on each kind of write:
//
//  new table (ParadoxWriter): .DB, .PX, .MB and every index of the schema
//    (.XGn/.YGn named, .Xnn/.Ynn single-field; maintained or not as the
//    schema says) are written whole.
//  update, no key field and no indexed field changed: the record is
//    rewritten in place in the .DB (one write of the record); .PX and all
//    .X*/.Y* untouched.
//  update of a field that belongs to secondary indexes (.Xnn or .XGn,
//    maintained or not): the record in place; in each such .X* file the old
//    entry is taken out and the new one put at its key position (blocks
//    split as in the .DB), the matching .Y* tree is rebuilt whole. Indexes
//    without the field stay untouched. .PX untouched.
//  update of a key field: the record moves to its key position in the .DB
//    (blocks split or freed as the format does, free-block list kept); .PX
//    rebuilt whole; every .X*/.Y* rebuilt whole (block hints change).
//  append (keyed): each record goes to its key position: into its block if
//    there is room, a full block splits in halves, a full last block gets a
//    new block after it; header counters, free list, auto-increment updated.
//    .PX rebuilt whole. Each .X* gets the new entries at their key positions
//    and new block hints for the records a split moved; its .Y* is rebuilt.
//  append (unkeyed): records go to the last block or a new one after it;
//    every .X*/.Y* rebuilt whole.
//  memo fields (any write): new memo data are appended to the .MB as new
//    blocks; the blocks of the old value are left unused (never freed).
//  An index whose entries do not match the table before the write (count
//    differs, descending, unknown fields) is rebuilt whole instead of
//    changed in place; one that cannot be mapped to the table's fields
//    stops the write before anything is written.
//
// Crash safety: all new index files are first written under temporary
// names ("<file>.mvnew", synced); the in-place changes of the .DB (records,
// blocks, header) and the renames are listed in a journal "<table>.mvj"
// (synced, with a checksum). Only then are the files renamed and patched.
// Opening a table finishes a complete journal or discards an incomplete one
// with its temporary files, so a crash leaves the previous state or the new
// one, never a half-written record. New memo data are a journal patch past
// the end of the .MB, so a write refused before its commit leaves the .MB as
// it was. Old memo blocks are not freed (the engine reuses nothing of ours,
// and nothing still referenced can be hit).
//
// Before the first write to a table in a program run all its files are
// copied into the backup folder given by the caller.

#include "wawi/ParadoxTable.h"

#include "wawi/ParadoxBuild.h"
#include "wawi/ParadoxFormat.h"
#include "core/ShopSettings.h"
#include "wawi/ParadoxJournal.h"
#include "wawi/ParadoxLock.h"
#include "wawi/WaWiBackup.h"
#include "wawi/WaWiWriteReport.h"
#include "wawi/ParadoxSort.h"

#include <QDateTime>
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

struct PendingChange { int field; QString given, stored; WaWiFieldChange::Kind kind; };

// The text a field can hold: cut at the field width (alpha fields), and
// characters outside the table's code page stored as '?'. Each such field
// is carried out as asked, but reported.
QVariant fitText(const ParadoxField &f, int fieldIndex, const QVariant &v, const Codec &codec, QVector<PendingChange> *pending)
{
    if (f.type != PxType::Alpha && f.type != PxType::Memo && f.type != PxType::FmtMemo) return v;
    if (!v.isValid() || v.isNull() || v.typeId() == QMetaType::QByteArray) return v;
    QString given = v.toString();
    if (f.type == PxType::Alpha) {
        const qsizetype nul = given.indexOf(QChar(0));
        if (nul >= 0) given.truncate(nul);
    }
    QByteArray b = codec.encode(given);
    WaWiFieldChange::Kind kind = WaWiFieldChange::Replaced;
    if (f.type == PxType::Alpha && b.size() > f.size) {
        b.truncate(f.size);
        kind = WaWiFieldChange::Truncated;
    }
    const QString stored = codec.decode(b.constData(), int(b.size()));
    if (stored != given) pending->append({fieldIndex, given, stored, kind});
    return stored;
}

void reportChanges(const ParadoxTable &t, const char *rec, int row, const QVector<PendingChange> &pending)
{
    if (pending.isEmpty()) return;
    QStringList key;
    for (int i = 0; i < t.KeyFieldCount() && t.Keyed(); ++i) key << t.DecodeField(rec, i).toString();
    const QString recordKey = t.Keyed() ? key.join(QLatin1Char(';')) : QStringLiteral("Satz %1").arg(row + 1);
    for (const PendingChange &c : pending)
        WaWiWriteRecorder::AddChange({QFileInfo(t.FilePath()).fileName(), recordKey, t.Fields().at(c.field).name, c.given, c.stored, c.kind});
}

} // namespace

// ==================================================================== edits

struct ParadoxEdit {
    ParadoxTable &t;
    const int rs;
    const int bs;
    struct Blk { int number; QByteArray recs; };  // records only
    QVector<Blk> chain;
    QVector<int> freeBlocks;
    QSet<int> dirty;
    int blocksTotal;
    QByteArray hdr; // first 0x78 bytes (or less)
    bool moved = false; // records changed blocks (splits): block hints elsewhere go stale

    explicit ParadoxEdit(ParadoxTable &tab)
        : t(tab), rs(tab.m_header.recordSize), bs(tab.m_header.blockSize), blocksTotal(tab.m_header.blocksTotal)
    {
        hdr = QByteArray(t.m_data, qMin<qint64>(t.m_header.headerSize, 0x78));
    }

    void loadChain()
    {
        int row = 0;
        int b = t.m_header.firstBlock;
        while (b) {
            const char *blk = t.m_data + t.m_header.headerSize + qint64(b - 1) * bs;
            int n = 0;
            while (row + n < t.m_rows.size() && t.m_rowBlock[row + n] == b) ++n;
            chain.append({b, QByteArray(blk + 6, n * rs)});
            row += n;
            b = le16(blk);
        }
        // free list
        int f = t.m_header.firstFreeBlock;
        QSet<int> seen;
        while (f > 0 && f <= blocksTotal && !seen.contains(f)) {
            seen.insert(f);
            freeBlocks.append(f);
            f = le16(t.m_data + t.m_header.headerSize + qint64(f - 1) * bs);
        }
    }

    int count(int ci) const { return int(chain[ci].recs.size() / rs); }
    int perBlock() const { return (bs - 6) / rs; }

    int allocBlock()
    {
        if (!freeBlocks.isEmpty()) return freeBlocks.takeFirst();
        if (blocksTotal >= 0xFFFF) throw ParadoxError(QStringLiteral("Tabelle zu groß für das Paradox-Format."));
        return ++blocksTotal;
    }

    QByteArray keyOf(const char *rec) const
    {
        QVector<int> keyIdx(t.m_header.keyFieldCount);
        std::iota(keyIdx.begin(), keyIdx.end(), 0);
        return ParadoxRawSortKey(rec, t.m_fields, keyIdx, &t, true);
    }

    bool sorted() const { return t.m_header.keyFieldCount > 0 && t.m_header.fileType != 2; }

    // Returns the block the record went to.
    int insertAt(int ci, int pos, const QByteArray &rec)
    {
        Blk &b = chain[ci];
        if (count(ci) < perBlock()) {
            b.recs.insert(qsizetype(pos) * rs, rec);
            dirty.insert(b.number);
            return b.number;
        }
        const bool last = ci == chain.size() - 1;
        if (last && pos == count(ci)) {
            chain.append({allocBlock(), rec});
            dirty.insert(chain.last().number);
            dirty.insert(b.number);
            return chain.last().number;
        }
        moved = true;
        QByteArray all = b.recs;
        all.insert(qsizetype(pos) * rs, rec);
        const int n = int(all.size() / rs);
        const int keep = (n + 1) / 2;
        Blk nb{allocBlock(), all.mid(qsizetype(keep) * rs)};
        chain[ci].recs = all.left(qsizetype(keep) * rs);
        dirty.insert(chain[ci].number);
        chain.insert(ci + 1, nb);
        dirty.insert(nb.number);
        if (ci + 2 < chain.size()) dirty.insert(chain[ci + 2].number);
        return pos < keep ? chain[ci].number : nb.number;
    }

    int insert(const QByteArray &rec)
    {
        if (chain.isEmpty()) {
            chain.append({allocBlock(), rec});
            dirty.insert(chain.last().number);
            return chain.last().number;
        }
        if (!sorted()) return insertAt(int(chain.size()) - 1, count(int(chain.size()) - 1), rec);
        const QByteArray k = keyOf(rec.constData());
        // last block whose first key <= k
        int lo = 0, hi = int(chain.size()) - 1, ci = 0;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            if (count(mid) == 0 || keyOf(chain[mid].recs.constData()) <= k) { ci = mid; lo = mid + 1; }
            else hi = mid - 1;
        }
        const int n = count(ci);
        int pos = 0;
        while (pos < n) {
            const QByteArray kk = keyOf(chain[ci].recs.constData() + qsizetype(pos) * rs);
            if (kk == k) throw ParadoxError(QStringLiteral("Ein Satz mit diesem Schlüssel existiert bereits in \"%1\".").arg(QFileInfo(t.m_path).fileName()));
            if (k < kk) break;
            ++pos;
        }
        return insertAt(ci, pos, rec);
    }

    // Row of a record with exactly this key in the table as read; -1 if none.
    int findRow(const QByteArray &key) const
    {
        int lo = 0, hi = int(t.m_rows.size());
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (keyOf(t.m_data + t.m_rows[mid]) < key) lo = mid + 1;
            else hi = mid;
        }
        return lo < t.m_rows.size() && keyOf(t.m_data + t.m_rows[lo]) == key ? lo : -1;
    }

    // Overwrites bytes of a record (by its row in the table as read) in place.
    bool patchRow(int row, int offset, const QByteArray &bytes)
    {
        const int b = t.m_rowBlock[row];
        const int slot = int((t.m_rows[row] - (t.m_header.headerSize + qint64(b - 1) * bs + 6)) / rs);
        for (Blk &blk : chain) {
            if (blk.number != b) continue;
            if (qsizetype(slot + 1) * rs > blk.recs.size()) return false;
            std::memcpy(blk.recs.data() + qsizetype(slot) * rs + offset, bytes.constData(), size_t(bytes.size()));
            dirty.insert(b);
            return true;
        }
        return false;
    }

    static std::unique_ptr<ParadoxTable> openIndex(const QString &path)
    {
        std::unique_ptr<ParadoxTable> x(new ParadoxTable);
        x->m_indexFile = true;
        x->m_path = path;
        x->load();
        return x;
    }

    void removeRow(int row)
    {
        const int b = t.m_rowBlock[row];
        int ci = 0;
        while (ci < chain.size() && chain[ci].number != b) ++ci;
        const int slot = int((t.m_rows[row] - (t.m_header.headerSize + qint64(b - 1) * bs + 6)) / rs);
        chain[ci].recs.remove(qsizetype(slot) * rs, rs);
        dirty.insert(b);
        if (count(ci) > 0 || chain.size() == 1) return;
        if (chain[ci].number == 1 && ci + 1 < chain.size()) {
            // block 1 is never free: it takes over the next block's records
            moved = true;
            chain[ci].recs = chain[ci + 1].recs;
            freeBlock(ci + 1);
        } else {
            freeBlock(ci);
        }
    }

    void freeBlock(int ci)
    {
        const int no = chain[ci].number;
        chain.removeAt(ci);
        freeBlocks.prepend(no);
        dirty.insert(no);
        if (ci < chain.size()) dirty.insert(chain[ci].number);
        if (ci > 0) dirty.insert(chain[ci - 1].number);
    }

    // Patches for the changed blocks and the header.
    void writeOut(pxjournal::Transaction &tx, qint64 recordCount, qint32 autoInc)
    {
        QHash<int, int> pos;
        for (int i = 0; i < chain.size(); ++i) pos.insert(chain[i].number, i);
        QList<int> nums = dirty.values();
        std::sort(nums.begin(), nums.end());
        for (int no : nums) {
            QByteArray blk(bs, '\0');
            if (pos.contains(no)) {
                const int i = pos.value(no);
                put16(blk.data(), quint16(i + 1 < chain.size() ? chain[i + 1].number : 0));
                put16(blk.data() + 2, quint16(i > 0 ? chain[i - 1].number : 0));
                put16(blk.data() + 4, quint16(qint16((count(i) - 1) * rs)));
                std::memcpy(blk.data() + 6, chain[i].recs.constData(), size_t(chain[i].recs.size()));
            } else {
                const int fi = int(freeBlocks.indexOf(no));
                put16(blk.data(), quint16(fi + 1 < freeBlocks.size() ? freeBlocks[fi + 1] : 0));
                put16(blk.data() + 4, quint16(qint16(-rs)));
            }
            tx.patch(t.m_path, t.m_header.headerSize + qint64(no - 1) * bs, blk);
        }
        // free list links may have changed for blocks not touched above
        for (int i = 0; i < freeBlocks.size(); ++i) {
            if (dirty.contains(freeBlocks[i])) continue;
            QByteArray link(2, '\0');
            put16(link.data(), quint16(i + 1 < freeBlocks.size() ? freeBlocks[i + 1] : 0));
            tx.patch(t.m_path, t.m_header.headerSize + qint64(freeBlocks[i] - 1) * bs, link);
        }
        char *o = hdr.data();
        put32(o + 0x06, quint32(recordCount));
        put16(o + 0x0A, quint16(chain.size()));
        put16(o + 0x0C, quint16(blocksTotal));
        put16(o + 0x0E, quint16(chain.isEmpty() ? 0 : chain.first().number));
        put16(o + 0x10, quint16(chain.isEmpty() ? 0 : chain.last().number));
        put16(o + 0x3A, quint16(blocksTotal));
        put16(o + 0x4D, quint16(freeBlocks.isEmpty() ? 0 : freeBlocks.first()));
        put32(o + 0x49, quint32(autoInc));
        put16(o + 0x12, quint16(le16(o + 0x12) + 1));
        if (hdr.size() >= 0x72) put16(o + 0x70, quint16(le16(o + 0x70) + 1));
        tx.patch(t.m_path, 0, hdr);
    }

    QVector<RecRef> records() const
    {
        QVector<RecRef> out;
        int ord = 0;
        for (const Blk &b : chain)
            for (int i = 0; i < b.recs.size() / rs; ++i) out.append({b.recs.constData() + qsizetype(i) * rs, b.number, i, ++ord});
        return out;
    }
};

namespace {

void rebuildIndexes(pxjournal::Transaction &tx, const ParadoxTable &t, const QVector<ParadoxIndexInfo> &which,
                    const QVector<RecRef> &recs, int changes)
{
    for (const ParadoxIndexInfo &ix : which) {
        QByteArray xHead = readHead(ix.xFile);
        QVector<ParadoxField> xFields;
        ParadoxHeader xh = ReadParadoxHeader(xHead, &xFields, ix.xFile);
        XLayout l = mapLayout(xFields, int(ix.fields.size()), ix.fields, t.Fields(), ix.xFile);
        l.upperKeys = HasUpperKeys(t, ix);
        QByteArray yHead;
        QString yPath = ix.yFile;
        int yKeyCount = -1;
        if (!yPath.isEmpty() && QFileInfo::exists(yPath)) {
            yHead = readHead(yPath);
            yKeyCount = ReadParadoxHeader(yHead, nullptr, yPath).fieldCount;
        } else {
            HeaderSpec yh;
            yh.fileType = ix.composite ? 7 : 4;
            yh.fields = xFields.mid(0, l.keyCount);
            for (const ParadoxField &f : yh.fields) yh.recordSize += f.size;
            yh.recordSize += 6;
            yh.blockSize = xh.blockSize;
            yh.fileVersion = xh.fileVersion;
            yh.codePage = xh.codePage;
            yh.tableName = xh.tableName;
            yh.changeCount1 = 0; yh.changeCount2 = 0;
            yHead = BuildHeader(yh, Codec(xh.codePage, xh.sortOrderName));
            QString ext = QFileInfo(ix.xFile).suffix();
            ext[0] = ext.at(0).isUpper() ? QLatin1Char('Y') : QLatin1Char('y');
            yPath = QFileInfo(ix.xFile).absoluteDir().filePath(QFileInfo(ix.xFile).completeBaseName() + QLatin1Char('.') + ext);
        }
        BuiltIndex bi = buildSecondary(l, xHead, yHead, recs, xh.blockSize, ix.descending, &t, changes, yKeyCount);
        tx.replaceFile(ix.xFile, bi.x);
        tx.replaceFile(yPath, bi.y);
    }
}


// Builds the .X record of a table record for the given layout.
QByteArray xRecordOf(const XLayout &l, const ParadoxTable &t, const RecRef &r)
{
    int size = 0;
    for (const ParadoxField &f : l.fields) size += f.size;
    QByteArray x(size, '\0');
    for (int i = 0; i < l.cols.size(); ++i) {
        const ParadoxField &xf = l.fields[i];
        char *dst = x.data() + xf.offset;
        if (l.cols[i].src == Src::Field) std::memcpy(dst, r.data + t.Fields()[l.cols[i].field].offset, size_t(xf.size));
        else if (l.cols[i].src == Src::Block) PutUShort(dst, quint16(r.block));
    }
    if (l.upperKeys) upperKeyFields(l, x.data(), t);
    return x;
}

// Changes one index in place: removes the entry of `removed` (if any) and
// inserts entries for `added`; its tree file is rebuilt from the changed
// blocks. Returns false when the index has to be rebuilt whole instead
// (unkeyed table, descending order, index not matching the table).
bool updateIndexIncrementally(pxjournal::Transaction &tx, const ParadoxTable &t, const ParadoxIndexInfo &ix,
                              const RecRef *removed, const QVector<RecRef> &added, int changes,
                              const QVector<RecRef> &moves = {})
{
    if (ix.descending || !t.Keyed() || ix.yFile.isEmpty() || !QFileInfo::exists(ix.yFile)) return false;
    std::unique_ptr<ParadoxTable> x;
    try {
        x = ParadoxEdit::openIndex(ix.xFile);
    } catch (const ParadoxError &) {
        return false;
    }
    if (x->Header().encrypted || x->Header().modified) return false;
    XLayout l;
    try {
        l = mapLayout(x->Fields(), int(ix.fields.size()), ix.fields, t.Fields(), ix.xFile);
    } catch (const ParadoxError &) {
        return false;
    }
    l.upperKeys = HasUpperKeys(t, ix);
    for (const XCol &c : l.cols)
        if (c.src == Src::TupNo || c.src == Src::TupOffset) return false;
    if (l.keyCount != x->Header().keyFieldCount || l.keyCount != l.cols.size() - 1) return false;
    // the index must hold exactly the table's records before the change
    if (x->RowCount() != t.RowCount() || x->Header().recordCount != t.RowCount()) return false;
    const QByteArray yHead = readHead(ix.yFile);
    QVector<ParadoxField> yFields;
    const ParadoxHeader yh = ReadParadoxHeader(yHead, &yFields, ix.yFile);
    if (yh.fieldCount < 1 || yh.fieldCount > l.keyCount) return false;
    ParadoxEdit e(*x);
    e.loadChain();
    // records that changed their data block: same entry, new block hint
    int hintOffset = -1;
    for (int i = 0; i < l.cols.size(); ++i) if (l.cols[i].src == Src::Block) hintOffset = l.fields[i].offset;
    for (const RecRef &m : moves) {
        if (hintOffset < 0) return false;
        const QByteArray xr = xRecordOf(l, t, m);
        const int row = e.findRow(e.keyOf(xr.constData()));
        if (row < 0 || !e.patchRow(row, hintOffset, xr.mid(hintOffset, 2))) return false;
    }
    if (removed) {
        const QByteArray oldX = xRecordOf(l, t, *removed);
        const int row = e.findRow(e.keyOf(oldX.constData()));
        if (row < 0 || std::memcmp(x->RecordData(row), oldX.constData(), size_t(oldX.size())) != 0) return false;
        e.removeRow(row);
    }
    for (const RecRef &r : added) e.insert(xRecordOf(l, t, r));
    e.writeOut(tx, x->Header().recordCount - (removed ? 1 : 0) + added.size(), x->Header().autoIncValue);
    QVector<BlockInfo> infos;
    for (const ParadoxEdit::Blk &b : e.chain)
        if (!b.recs.isEmpty()) infos.append({b.number, b.recs.constData(), int(b.recs.size() / x->Header().recordSize)});
    tx.replaceFile(ix.yFile, buildTreeFile(yHead, infos, l.fields.mid(0, yh.fieldCount), x->Header().blockSize, changes));
    return true;
}

} // namespace

std::function<void()> &ParadoxTable::beforeCommitHook()
{
    static std::function<void()> hook;
    return hook;
}

void ParadoxTable::SetBeforeCommitHook(std::function<void()> hook)
{
    beforeCommitHook() = std::move(hook);
}

void ParadoxTable::releaseMb()
{
    m_mbData.clear();
    m_mbFile.reset();
    m_mbLoaded = false;
}

// Commits with no mapping of ours on the files (Windows does not let a
// mapped file change size), then reads the table again.
void ParadoxTable::commitWrite(pxjournal::Transaction &tx)
{
    releaseMb();
    m_rows.clear();
    m_rowBlock.clear();
    m_data = nullptr;
    m_size = 0;
    m_file.reset();
    m_ownData.clear();
    try {
        if (beforeCommitHook()) beforeCommitHook()();
        checkEngineBeforeCommit();
        tx.commit();
    } catch (...) {
        try { load(); } catch (...) { m_rows.clear(); m_rowBlock.clear(); }
        throw;
    }
    try {
        load();
    } catch (...) {
        m_rows.clear();
        m_rowBlock.clear();
        throw;
    }
}

std::unique_ptr<pxlock::TableLock> ParadoxTable::beginWrite()
{
    if (m_fromBytes) throw ParadoxError(QStringLiteral("Diese Tabelle ist nur im Speicher geöffnet."));
    const QString name = QFileInfo(m_path).fileName();
    // The WaWi first: waiting for it must not hold up our own readers.
    try {
        pxlock::WaitForEngine(m_path);
    } catch (const ParadoxError &e) {
        WaWiWriteRecorder::AddLockRefusal(e.message());
        throw;
    }
    auto lock = std::make_unique<pxlock::TableLock>(m_path, pxlock::TableLock::Exclusive);
    pxjournal::Recover(m_path);
    load();
    if (m_header.writeProtected) throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" ist schreibgeschützt.").arg(name));
    if (m_header.modified || m_rows.size() != m_header.recordCount)
        throw ParadoxError(QStringLiteral("Die Tabelle \"%1\" ist nicht in Ordnung (Satzanzahl oder Änderungskennung); "
                                          "es wird nichts geschrieben. Bitte die Tabelle in der Warenwirtschaft reparieren.").arg(name));
    if (Keyed()) {
        const QString px = siblingPath(m_path, QStringLiteral(".PX"));
        if (!QFileInfo::exists(px)) throw ParadoxError(QStringLiteral("Zur Tabelle \"%1\" fehlt der Primärindex; es wird nichts geschrieben.").arg(name));
    }
    // An index file without even a header would stay stale after our write.
    for (const QString &f : tableFiles(m_path)) {
        const QString ext = QFileInfo(f).suffix().toUpper();
        const bool index = ext == QLatin1String("PX") || ((ext.startsWith(QLatin1Char('X')) || ext.startsWith(QLatin1Char('Y'))) && ext.size() == 3);
        if (index && QFileInfo(f).size() < 0x58)
            throw ParadoxError(QStringLiteral("Die Indexdatei \"%1\" der Tabelle \"%2\" ist leer oder abgeschnitten; es wird nichts "
                                              "geschrieben. Bitte die Tabelle in der Warenwirtschaft reparieren.")
                                   .arg(QFileInfo(f).fileName(), name));
    }
    return lock;
}

// The WaWi may have taken the table while we prepared the write: then
// nothing is committed.
void ParadoxTable::checkEngineBeforeCommit()
{
    const pxlock::EngineLockState st = pxlock::ProbeEngineLocks(m_path);
    if (!st.locked) return;
    try {
        pxlock::WaitForEngine(m_path, 0);
    } catch (const ParadoxError &e) {
        WaWiWriteRecorder::AddLockRefusal(e.message());
        throw;
    }
}

void ParadoxTable::backupOnce()
{
    if (m_backupDir.isEmpty() && !m_backupDefault) return;
    if (WaWiBackedUpThisRun(m_path)) return;
    const QString root = m_backupDir.isEmpty() ? WaWiBackupRoot() : m_backupDir;
    const QString dir = BackupWaWiTable(root, m_path, tableFiles(m_path), Settings().WaWi_Sicherungen);
    MarkWaWiBackedUp(m_path);
    WaWiWriteRecorder::AddBackup(QFileInfo(m_path).fileName(), dir);
}

namespace {

struct MbState {
    QString path;
    qint64 size = 0;
    quint16 mod = 1;
    std::unique_ptr<MbAppender> app;
};

MbState openMb(const ParadoxTable &t)
{
    MbState s;
    bool blobs = false;
    for (const ParadoxField &f : t.Fields()) blobs = blobs || PxIsBlob(f.type);
    if (!blobs) return s;
    s.path = siblingPath(t.FilePath(), QStringLiteral(".MB"));
    QFile f(s.path);
    if (f.open(QIODevice::ReadOnly)) {
        s.size = f.size();
        QByteArray h = f.read(5);
        if (h.size() == 5 && h[0] == 0) s.mod = le16(h.constData() + 3);
        else if (s.size > 0) throw ParadoxError(QStringLiteral("Die Memo-Datei \"%1\" ist beschädigt; es wird nichts geschrieben.").arg(s.path));
    }
    s.app = std::make_unique<MbAppender>(s.size, s.mod);
    return s;
}

// New memo data go into the journal, appended to the .MB by its commit.
void flushMb(MbState &s, pxjournal::Transaction &tx)
{
    if (!s.app) return;
    if (s.size == 0) {
        QByteArray all = s.app->tail();
        if (all.size() <= 4096) return; // header only: no memo was written
        put16(all.data() + 3, s.app->modCount());
        tx.replaceFile(s.path, all);
        return;
    }
    if (s.app->empty()) return;
    // A patch past the end like every other change: a write refused before
    // the commit (the WaWi took the table meanwhile) leaves the file as it was.
    tx.patch(s.path, s.size, s.app->tail());
    QByteArray mod(2, '\0');
    put16(mod.data(), s.app->modCount());
    tx.patch(s.path, 3, mod);
}

} // namespace

static void rebuildPrimary(pxjournal::Transaction &tx, const ParadoxTable &t, const QVector<BlockInfo> &infos, int changes)
{
    if (!t.Keyed()) return;
    const QVector<ParadoxField> &m_fields = t.Fields();
    const ParadoxHeader &m_header = t.Header();
    const QString px = siblingPath(t.FilePath(), QStringLiteral(".PX"));
    QByteArray head = readHead(px);
    QVector<ParadoxField> pf;
    ParadoxHeader ph = ReadParadoxHeader(head, &pf, px);
    if (ph.fileType != 1 || pf.size() != m_header.keyFieldCount)
        throw ParadoxError(QStringLiteral("Der Primärindex \"%1\" passt nicht zur Tabelle; es wird nichts geschrieben.").arg(px));
    for (int i = 0; i < pf.size(); ++i) {
        if (pf[i].type != m_fields[i].type || pf[i].size != m_fields[i].size)
            throw ParadoxError(QStringLiteral("Der Primärindex \"%1\" passt nicht zur Tabelle; es wird nichts geschrieben.").arg(px));
        pf[i].offset = m_fields[i].offset; // read key bytes straight from the record
    }
    put16(head.data() + 0x12, quint16(ph.unknown12 + 1));
    tx.replaceFile(px, buildTreeFile(head, infos, pf, ph.blockSize, changes));
}

int ParadoxTable::UpdateRecord(int row, const QHash<int, QVariant> &changes)
{
    if (row < 0 || row >= m_rows.size()) throw ParadoxError(QStringLiteral("Satz %1 existiert nicht.").arg(row + 1));
    const QByteArray oldRec(RecordData(row), m_header.recordSize);
    const qint64 oldOffset = m_rows[row];
    const auto lock = beginWrite();
    // The table was re-read: find the record again, by its key where it has
    // one (another writer may have moved other records, and this one with
    // them). Only a record whose content changed is a conflict.
    int r = -1;
    if (Keyed()) {
        const ParadoxEdit probe(*this);
        const int at = probe.findRow(probe.keyOf(oldRec.constData()));
        if (at >= 0 && QByteArray(RecordData(at), m_header.recordSize) == oldRec) r = at;
    } else if (row < m_rows.size() && m_rows[row] == oldOffset && QByteArray(RecordData(row), m_header.recordSize) == oldRec) {
        r = row;
    }
    if (r < 0) throw ParadoxError(QStringLiteral("Der Satz wurde inzwischen geändert; bitte neu laden."));
    row = r;
    MbState mb = openMb(*this);
    QByteArray rec = oldRec;
    QVector<PendingChange> pending;
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        if (it.key() < 0 || it.key() >= m_fields.size()) throw ParadoxError(QStringLiteral("Feld %1 existiert nicht.").arg(it.key() + 1));
        const ParadoxField &f = m_fields[it.key()];
        if (PxIsBlob(f.type)) {
            // unchanged memo content keeps its pointer
            if (DecodeField(oldRec.constData(), it.key()) == it.value()) continue;
        }
        encodeValue(rec.data(), f, fitText(f, it.key(), it.value(), *m_codec, &pending), *m_codec, mb.app.get());
    }
    if (rec == oldRec) return row;
    QSet<int> changed;
    for (int i = 0; i < m_fields.size(); ++i)
        if (std::memcmp(rec.constData() + m_fields[i].offset, oldRec.constData() + m_fields[i].offset, size_t(m_fields[i].size)) != 0)
            changed.insert(i);
    bool keyChanged = false;
    for (int i = 0; i < m_header.keyFieldCount; ++i) keyChanged = keyChanged || changed.contains(i);
    const QVector<ParadoxIndexInfo> indexes = SecondaryIndexes();
    backupOnce();
    pxjournal::Transaction tx(m_path);
    releaseMb();
    flushMb(mb, tx);
    QVariantList newKey;
    if (!keyChanged) {
        tx.patch(m_path, m_rows[row], rec);
        QVector<ParadoxIndexInfo> touched;
        for (const ParadoxIndexInfo &ix : indexes) {
            bool hit = false;
            for (int f : ix.fields) hit = hit || changed.contains(f);
            if (hit) touched.append(ix);
        }
        // each touched index: the entry moves to its new place
        {
            const int b = m_rowBlock[row];
            const int slot = int((m_rows[row] - (m_header.headerSize + qint64(b - 1) * m_header.blockSize + 6)) / m_header.recordSize);
            const RecRef before{oldRec.constData(), b, slot, row + 1};
            const RecRef after{rec.constData(), b, slot, row + 1};
            QVector<ParadoxIndexInfo> whole;
            for (const ParadoxIndexInfo &ix : touched)
                if (!updateIndexIncrementally(tx, *this, ix, &before, {after}, 1)) whole.append(ix);
            touched = whole;
        }
        if (!touched.isEmpty()) {
            QVector<RecRef> refs;
            refs.reserve(m_rows.size());
            for (int i = 0; i < m_rows.size(); ++i) {
                const int b = m_rowBlock[i];
                const int slot = int((m_rows[i] - (m_header.headerSize + qint64(b - 1) * m_header.blockSize + 6)) / m_header.recordSize);
                refs.append({i == row ? rec.constData() : m_data + m_rows[i], b, slot, i + 1});
            }
            rebuildIndexes(tx, *this, touched, refs, 1);
        }
        commitWrite(tx);
        reportChanges(*this, rec.constData(), row, pending);
        return row;
    }
    ParadoxEdit e(*this);
    e.loadChain();
    e.removeRow(row);
    e.insert(rec);
    e.writeOut(tx, m_header.recordCount, m_header.autoIncValue);
    QVector<RecRef> refs = e.records();
    QVector<BlockInfo> infos;
    for (const ParadoxEdit::Blk &b : e.chain)
        if (!b.recs.isEmpty()) infos.append({b.number, b.recs.constData(), int(b.recs.size() / m_header.recordSize)});
    rebuildPrimary(tx, *this, infos, 2);
    rebuildIndexes(tx, *this, indexes, refs, 2);
    for (int i = 0; i < m_header.keyFieldCount; ++i) newKey.append(DecodeField(rec.constData(), i));
    commitWrite(tx);
    reportChanges(*this, rec.constData(), row, pending);
    return RowOfKey(newKey);
}

QVector<int> ParadoxTable::AppendRecords(const QVector<QVariantList> &records)
{
    if (records.isEmpty()) return {};
    const auto lock = beginWrite();
    MbState mb = openMb(*this);
    // next value to hand out: one past the header's last value, and past
    // every value in the table (in case the header lags behind)
    qint64 autoInc = qint64(qMax<qint32>(m_header.autoIncValue, 0)) + 1;
    int autoField = -1;
    for (int i = 0; i < m_fields.size(); ++i) if (m_fields[i].type == PxType::AutoInc) { autoField = i; break; }
    if (autoField >= 0)
        for (int r = 0; r < m_rows.size(); ++r) autoInc = qMax<qint64>(autoInc, Value(r, autoField).toLongLong() + 1);
    QVector<QByteArray> recs;
    QVector<QVector<PendingChange>> pendings;
    for (const QVariantList &vals : records) {
        QVector<PendingChange> pending;
        if (vals.size() > m_fields.size()) throw ParadoxError(QStringLiteral("Zu viele Werte für die Tabelle."));
        QByteArray rec(m_header.recordSize, '\0');
        for (int i = 0; i < m_fields.size(); ++i) {
            QVariant v = vals.value(i);
            if (m_fields[i].type == PxType::AutoInc) {
                if (!v.isValid() || v.isNull()) v = autoInc;
                if (i == autoField) autoInc = qMax<qint64>(autoInc, v.toLongLong() + 1);
            }
            encodeValue(rec.data(), m_fields[i], fitText(m_fields[i], i, v, *m_codec, &pending), *m_codec, mb.app.get());
        }
        recs.append(rec);
        pendings.append(pending);
    }
    const QVector<ParadoxIndexInfo> indexes = SecondaryIndexes();
    ParadoxEdit e(*this);
    e.loadChain();
    for (const QByteArray &rec : recs) e.insert(rec); // throws on a duplicate key before anything is written
    backupOnce();
    pxjournal::Transaction tx(m_path);
    releaseMb();
    flushMb(mb, tx);
    e.writeOut(tx, m_header.recordCount + recs.size(), autoField >= 0 ? qint32(autoInc - 1) : m_header.autoIncValue);
    QVector<BlockInfo> infos;
    for (const ParadoxEdit::Blk &b : e.chain)
        if (!b.recs.isEmpty()) infos.append({b.number, b.recs.constData(), int(b.recs.size() / m_header.recordSize)});
    rebuildPrimary(tx, *this, infos, int(recs.size()));
    // Without block splits no record changed its block, so the indexes
    // only gain entries; otherwise their block hints are rebuilt whole.
    // Records in the changed blocks are either new or moved by a split:
    // the indexes gain the new entries and get new block hints for the
    // moved ones.
    QVector<ParadoxIndexInfo> whole;
    if (!Keyed()) {
        whole = indexes;
    } else {
        QHash<QByteArray, int> origBlock;
        for (int r = 0; r < m_rows.size(); ++r)
            if (e.dirty.contains(m_rowBlock[r])) origBlock.insert(e.keyOf(m_data + m_rows[r]), m_rowBlock[r]);
        QVector<RecRef> added, moves;
        for (const ParadoxEdit::Blk &b : e.chain) {
            if (!e.dirty.contains(b.number)) continue;
            for (qsizetype i = 0; i < b.recs.size() / m_header.recordSize; ++i) {
                const char *rec = b.recs.constData() + i * m_header.recordSize;
                auto it = origBlock.constFind(e.keyOf(rec));
                if (it == origBlock.constEnd()) added.append({rec, b.number, 0, 0});
                else if (it.value() != b.number) moves.append({rec, b.number, 0, 0});
            }
        }
        if (added.size() != recs.size()) {
            whole = indexes;
        } else {
            for (const ParadoxIndexInfo &ix : indexes)
                if (!updateIndexIncrementally(tx, *this, ix, nullptr, added, int(recs.size()), moves)) whole.append(ix);
        }
    }
    if (!whole.isEmpty()) rebuildIndexes(tx, *this, whole, e.records(), int(recs.size()));
    QVector<QVariantList> keys;
    for (const QByteArray &rec : recs) {
        QVariantList k;
        for (int i = 0; i < m_header.keyFieldCount; ++i) k.append(DecodeField(rec.constData(), i));
        keys.append(k);
    }
    const qint64 before = m_rows.size();
    commitWrite(tx);
    for (int i = 0; i < recs.size(); ++i) reportChanges(*this, recs[i].constData(), int(before + i), pendings[i]);
    QVector<int> out;
    if (Keyed()) {
        for (const QVariantList &k : keys) out.append(RowOfKey(k));
    } else {
        for (int i = 0; i < recs.size(); ++i) out.append(int(before + i));
    }
    return out;
}


} // namespace mv
