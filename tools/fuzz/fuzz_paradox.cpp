// libFuzzer target for the Paradox reader: table headers and data blocks,
// memo files, the primary index and secondary index files.
//
// Input: one mode byte, then the file images.
//   mode 0: .DB image
//   mode 1: 4-byte length of the .DB image, .DB, .MB
//   mode 2: four 4-byte lengths (.DB .PX .XG0 .YG0), then the images; the
//           files are written to a private folder and opened from there.
//   mode 3: as mode 2, then one record is updated and one appended (the
//           write path over damaged index files).
// Any damage must come back as ParadoxError: never a crash, a hang or an
// out-of-bounds access.

#include "wawi/ParadoxSort.h"
#include "wawi/ParadoxTable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace {

quint32 len32(const uint8_t *p) { return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24); }

void readAll(mv::ParadoxTable &t)
{
    const int rows = qMin(t.RowCount(), 2000);
    QVector<int> keyIdx;
    for (int i = 0; i < t.KeyFieldCount(); ++i) keyIdx << i;
    for (int r = 0; r < rows; ++r) {
        for (int f = 0; f < t.Fields().size(); ++f) {
            try {
                t.Value(r, f);
                t.IsNull(r, f);
            } catch (const mv::ParadoxError &) {
            }
        }
        mv::ParadoxRecordSortKey(t, r, keyIdx);
    }
}

void writeFile(const QString &path, const QByteArray &b)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(b);
}

QString workDir()
{
    static QString dir;
    if (dir.isEmpty()) {
        const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        dir = QStringLiteral("%1/fuzz_paradox_%2").arg(base).arg(::getpid());
        QDir().mkpath(dir);
    }
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const int mode = data[0] % 4;
    const uint8_t *p = data + 1;
    size_t n = size - 1;
    try {
        if (mode == 0) {
            auto t = mv::ParadoxTable::FromBytes(QByteArray(reinterpret_cast<const char *>(p), qsizetype(n)));
            readAll(*t);
        } else if (mode == 1) {
            if (n < 4) return 0;
            const quint32 l = qMin<quint32>(len32(p), quint32(n - 4));
            QByteArray db(reinterpret_cast<const char *>(p + 4), qsizetype(l));
            QByteArray mb(reinterpret_cast<const char *>(p + 4 + l), qsizetype(n - 4 - l));
            auto t = mv::ParadoxTable::FromBytes(db, mb);
            readAll(*t);
        } else {
            if (n < 16) return 0;
            QByteArray parts[4];
            size_t off = 16;
            for (int i = 0; i < 4; ++i) {
                const size_t l = qMin<size_t>(len32(p + 4 * i), n - off);
                parts[i] = QByteArray(reinterpret_cast<const char *>(p + off), qsizetype(l));
                off += l;
            }
            const QString dir = workDir();
            writeFile(dir + "/T.DB", parts[0]);
            writeFile(dir + "/T.PX", parts[1]);
            writeFile(dir + "/T.XG0", parts[2]);
            writeFile(dir + "/T.YG0", parts[3]);
            auto t = mv::ParadoxTable::Open(dir + "/T.DB");
            readAll(*t);
            try { t->ReadPrimaryIndex(); } catch (const mv::ParadoxError &) {}
            for (const mv::ParadoxIndexInfo &ix : t->SecondaryIndexes()) {
                try { t->ReadSecondaryIndex(ix); } catch (const mv::ParadoxError &) {}
            }
            if (mode == 3 && t->RowCount() > 0) {
                const int f = int(data[size - 1]) % int(t->Fields().size());
                try { t->UpdateRecord(0, {{f, t->Value(t->RowCount() - 1, f)}}); } catch (const mv::ParadoxError &) {}
                try {
                    QVariantList v = t->Values(t->RowCount() - 1);
                    if (!v.isEmpty() && t->Fields()[0].type == mv::PxType::Long) v[0] = v[0].toLongLong() + 1;
                    t->AppendRecord(v);
                } catch (const mv::ParadoxError &) {}
            }
        }
    } catch (const mv::ParadoxError &) {
    }
    return 0;
}
