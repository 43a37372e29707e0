#pragma once
// Helpers shared by the Paradox tests: sample schemas and records, a full
// consistency check of a table and its index files, and pxlib as an
// independent reader.

#include "wawi/ParadoxSort.h"
#include "wawi/ParadoxTable.h"
#include "wawi/ParadoxWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <climits>
#include <cmath>

#ifdef MV_HAVE_PXLIB
extern "C" {
#include <paradox.h>
}
#endif

namespace pxtest {

using namespace mv;

// Every field type, with the key on the first two fields.
inline ParadoxSchema allTypesSchema(bool withBlobs, int keyFields = 2, int blockKB = 4)
{
    ParadoxSchema s;
    s.keyFieldCount = keyFields;
    s.blockSizeKB = blockKB;
    s.fields = {
        {QStringLiteral("Nummer"), PxType::Long},
        {QStringLiteral("Name"), PxType::Alpha, 30},
        {QStringLiteral("Kurz"), PxType::Short},
        {QStringLiteral("Preis"), PxType::Currency},
        {QStringLiteral("Menge"), PxType::Number},
        {QStringLiteral("Datum"), PxType::Date},
        {QStringLiteral("Zeit"), PxType::Time},
        {QStringLiteral("Stempel"), PxType::Timestamp},
        {QStringLiteral("Aktiv"), PxType::Logical},
        {QStringLiteral("Betrag"), PxType::BCD, 4},
        {QStringLiteral("Roh"), PxType::Bytes, 6},
        {QStringLiteral("Zaehler"), PxType::AutoInc},
    };
    if (withBlobs) {
        s.fields += {
            {QStringLiteral("Text"), PxType::Memo, 20},
            {QStringLiteral("Formatiert"), PxType::FmtMemo, 5},
            {QStringLiteral("Bild"), PxType::Graphic, 0},
            {QStringLiteral("Daten"), PxType::Blob, 8},
            {QStringLiteral("Objekt"), PxType::Ole, 0},
        };
    }
    return s;
}

inline QString sampleName(int i)
{
    static const QStringList names = {
        QStringLiteral("Müller & Söhne"), QStringLiteral("Mueller"), QStringLiteral("Äpfel-Grün"), QStringLiteral("apfel"),
        QStringLiteral("O'Brien"), QStringLiteral("Straße"), QStringLiteral("Strasse"), QStringLiteral("Zürich"),
        QStringLiteral("Österreich"), QStringLiteral("Öl"), QStringLiteral("Übermut"), QStringLiteral("éclair"),
        QStringLiteral("ZZ Top"), QStringLiteral("bär"), QStringLiteral("Bar"), QString()};
    return names[i % names.size()];
}

// One record for allTypesSchema; i decides the values (some NULL).
inline QVariantList sampleRecord(int i, bool withBlobs, QRandomGenerator &rnd)
{
    QVariantList v;
    v << i;
    v << (sampleName(i).isEmpty() ? QVariant() : QVariant(sampleName(i) + QStringLiteral(" %1").arg(i % 97)));
    v << (i % 11 == 0 ? QVariant() : QVariant(int(i % 65000) - 32000));
    v << (i % 13 == 0 ? QVariant() : QVariant(double(i) * 1.25 - 5000.5));
    v << (i % 7 == 0 ? QVariant(0.0) : QVariant(-double(i) / 3.0));
    v << (i % 5 == 0 ? QVariant() : QVariant(QDate(1890 + i % 200, 1 + i % 12, 1 + i % 28)));
    v << (i % 9 == 0 ? QVariant() : QVariant(QTime::fromMSecsSinceStartOfDay((i * 7919) % 86400000)));
    v << (i % 4 == 0 ? QVariant() : QVariant(QDateTime(QDate(2001 + i % 30, 1 + i % 12, 1 + i % 27), QTime::fromMSecsSinceStartOfDay((i * 104729) % 86400000))));
    v << (i % 3 == 0 ? QVariant() : QVariant(i % 2 == 0));
    v << (i % 6 == 0 ? QVariant() : QVariant((i % 2 ? -1 : 1) * (double(i) + 0.1234)));
    QByteArray raw(6, '\0');
    for (int k = 0; k < 6; ++k) raw[k] = char(1 + (i * 31 + k) % 250);
    v << (i % 8 == 0 ? QVariant() : QVariant(raw));
    v << QVariant(); // auto-increment assigned
    if (withBlobs) {
        const int kind = i % 5;
        QString text;
        if (kind == 1) text = QStringLiteral("kurz ä");
        else if (kind == 2) text = QStringLiteral("{\\rtf1\\ansi Größe: %1 } ").repeated(3 + i % 40);
        else if (kind == 3) text = QStringLiteral("Langer Text mit Umlauten äöüß %1. ").arg(i).repeated(90); // > 2 KiB
        else if (kind == 4) text = QStringLiteral("x").repeated(20); // exactly the leader
        v << (text.isEmpty() ? QVariant() : QVariant(text));
        v << (kind == 2 ? QVariant(QStringLiteral("{\\rtf1 fmt %1}").arg(i)) : QVariant());
        QByteArray pic;
        if (i % 4 == 1) { pic.resize(3000 + i % 500); for (auto &c : pic) c = char(rnd.bounded(256)); }
        v << (pic.isEmpty() ? QVariant() : QVariant(pic));
        QByteArray blob;
        if (i % 3 == 1) { blob.resize(1 + rnd.bounded(600)); for (auto &c : blob) c = char(rnd.bounded(256)); }
        v << (blob.isEmpty() ? QVariant() : QVariant(blob));
        v << (i % 10 == 3 ? QVariant(QByteArray(5000, char(i))) : QVariant());
    }
    return v;
}

inline bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool na = !a.isValid() || a.isNull(), nb = !b.isValid() || b.isNull();
    if (na || nb) return na == nb;
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double) return std::fabs(a.toDouble() - b.toDouble()) < 1e-9 * (1 + std::fabs(a.toDouble()));
    return a == b;
}

inline QString show(const QVariant &v) { return v.isValid() ? v.toString() + QStringLiteral(" (") + QString::fromLatin1(v.typeName()) + QLatin1Char(')') : QStringLiteral("NULL"); }

inline QByteArray hashFiles(const QString &dir)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    QDir d(dir);
    for (const QString &f : d.entryList(QDir::Files, QDir::Name)) {
        QFile file(d.filePath(f));
        if (file.open(QIODevice::ReadOnly)) { h.addData(f.toUtf8()); h.addData(file.readAll()); }
    }
    return h.result();
}

// Everything a reader relies on: header count = records, keyed records in
// key order without duplicates, primary index = blocks, and every secondary
// index holds each record once, in order, with the right block hint.
inline void verifyConsistency(const ParadoxTable &t)
{
    QCOMPARE(qint64(t.RowCount()), t.Header().recordCount);
    QVector<int> keyIdx;
    for (int i = 0; i < t.KeyFieldCount(); ++i) keyIdx << i;
    if (t.Keyed()) {
        for (int r = 1; r < t.RowCount(); ++r)
            QVERIFY2(ParadoxRecordSortKey(t, r - 1, keyIdx) < ParadoxRecordSortKey(t, r, keyIdx),
                     qPrintable(QStringLiteral("key order broken at row %1").arg(r)));
        const QVector<ParadoxIndexEntry> px = t.ReadPrimaryIndex();
        QVector<int> blocks;
        QVector<int> firstRow;
        for (int r = 0; r < t.RowCount(); ++r)
            if (r == 0 || t.BlockOfRow(r) != t.BlockOfRow(r - 1)) { blocks << t.BlockOfRow(r); firstRow << r; }
        QCOMPARE(px.size(), blocks.size());
        int sum = 0;
        for (int i = 0; i < px.size(); ++i) {
            QCOMPARE(px[i].block, blocks[i]);
            const QVariantList k = t.KeyValues(firstRow[i]);
            for (int j = 0; j < k.size(); ++j) QVERIFY2(sameValue(px[i].key[j], k[j]), qPrintable(show(px[i].key[j]) + " vs " + show(k[j])));
            const int next = i + 1 < firstRow.size() ? firstRow[i + 1] : t.RowCount();
            QCOMPARE(px[i].count, next - firstRow[i]);
            sum += px[i].count;
        }
        QCOMPARE(sum, t.RowCount());
    }
    for (const ParadoxIndexInfo &ix : t.SecondaryIndexes()) {
        const QVector<ParadoxIndexRecord> recs = t.ReadSecondaryIndex(ix);
        QCOMPARE(recs.size(), t.RowCount());
        QVector<PxType> types;
        QVector<int> cols = ix.fields;
        for (int k : keyIdx) if (!cols.contains(k)) cols << k;
        for (int c : cols) types << t.Fields()[c].type;
        QHash<QString, int> seen;
        const bool ascii = t.Header().sortOrderName.compare(QLatin1String("ascii"), Qt::CaseInsensitive) == 0;
        for (int i = 0; i < recs.size(); ++i) {
            const QVariantList &v = recs[i].values;
            QVERIFY(v.size() >= cols.size() + 1);
            if (i > 0) {
                // "ascii" tables sort texts by their bytes, the others fold case and accents
                int c = 0;
                for (int k = 0; ascii && c == 0 && k < cols.size(); ++k) {
                    const QVariant &a = recs[i - 1].values[k], &b = v[k];
                    if (types[k] != PxType::Alpha || !a.isValid() || !b.isValid()) c = ParadoxCompare(a, b, types[k]);
                    else c = QString::compare(a.toString(), b.toString());
                }
                if (!ascii) c = ParadoxCompareKeys(recs[i - 1].values.mid(0, cols.size()), v.mid(0, cols.size()), types);
                QVERIFY2(ix.descending ? c >= 0 : c <= 0, qPrintable(QStringLiteral("index %1 out of order at %2").arg(ix.name).arg(i)));
            }
            if (t.Keyed()) {
                const int block = v.last().toInt();
                // find the record by its primary key and check its block and indexed values
                QVariantList pk;
                for (int k : keyIdx) pk << v[cols.indexOf(k)];
                const int row = t.RowOfKey(pk);
                if (row < 0) qDebug() << "missing" << pk << v;
                QVERIFY2(row >= 0, qPrintable(QStringLiteral("index %1 names a missing record").arg(ix.name)));
                QCOMPARE(block, t.BlockOfRow(row));
                for (int j = 0; j < ix.fields.size(); ++j) {
                    QVariant want = t.Value(row, ix.fields[j]);
                    // case-insensitive indexes of "ascii" tables keep their texts upper-cased
                    if (ascii && want.typeId() == QMetaType::QString && v[j].toString() != want.toString()) {
                        QString u = want.toString();
                        for (QChar &ch : u) ch = ch.toUpper();
                        want = u;
                    }
                    QVERIFY2(sameValue(v[j], want), qPrintable(ix.name + ": " + show(v[j]) + " vs " + show(want)));
                }
                QString id;
                for (const QVariant &p : pk) id += p.toString() + QLatin1Char('|');
                QVERIFY2(!seen.contains(id), "record twice in index");
                seen.insert(id, 1);
            }
        }
    }
}

#ifdef MV_HAVE_PXLIB
// Reads all records with pxlib: values in our forms (text decoded as 1252).
inline QVector<QVariantList> pxlibRead(const QString &path, QString *error)
{
    QVector<QVariantList> out;
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        *error = QStringLiteral("pxlib cannot open ") + path;
        PX_delete(doc);
        return out;
    }
    const int n = PX_get_num_records(doc);
    const int nf = PX_get_num_fields(doc);
    pxfield_t *fields = PX_get_fields(doc);
    for (int r = 0; r < n; ++r) {
        pxval_t **vals = PX_retrieve_record(doc, r);
        if (!vals) { *error = QStringLiteral("pxlib cannot read record %1").arg(r); break; }
        QVariantList row;
        for (int f = 0; f < nf; ++f) {
            pxval_t *v = vals[f];
            QVariant q;
            if (!v->isnull) {
                switch (fields[f].px_ftype) {
                case pxfAlpha: q = QString::fromLatin1(v->value.str.val, int(qstrnlen(v->value.str.val, size_t(v->value.str.len)))); break;
                // pxlib 0.6.8 reports empty dates/times as INT_MIN and empty timestamps as 0, not as NULL
                case pxfDate: if (v->value.lval != INT_MIN) q = QDate::fromJulianDay(v->value.lval + 1721425); break;
                case pxfShort: q = int(v->value.lval); break;
                case pxfLong: case pxfAutoInc: if (v->value.lval != INT_MIN) q = int(v->value.lval); break;
                case pxfLogical: q = bool(v->value.lval); break;
                case pxfCurrency: case pxfNumber: q = v->value.dval; break;
                case pxfTime: if (v->value.lval != INT_MIN) q = QTime::fromMSecsSinceStartOfDay(int(v->value.lval)); break;
                case pxfTimestamp: {
                    if (v->value.dval == 0) break;
                    const qint64 ms = qint64(std::llround(v->value.dval));
                    q = QDateTime(QDate::fromJulianDay(ms / 86400000 + 1721425), QTime::fromMSecsSinceStartOfDay(int(ms % 86400000)));
                    break;
                }
                case pxfBCD: {
                    bool ok = false;
                    const double d = QString::fromLatin1(v->value.str.val).toDouble(&ok);
                    q = ok ? QVariant(d) : QVariant(QStringLiteral("<unparsable>")); // pxlib prints noise digits as they are
                    break;
                }
                case pxfBytes: q = QByteArray(v->value.str.val, v->value.str.len); break;
                default: q = QStringLiteral("<blob>"); break;
                }
            }
            row << q; // pxlib's buffers are left to the test process
        }
        out << row;
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}
#endif

// Compares our reading with pxlib's (tables without memo fields); text
// compared after pxlib's bytes are decoded as Windows-1252.
inline void crossCheckWithPxlib(const QString &path)
{
#ifdef MV_HAVE_PXLIB
    auto t = ParadoxTable::Open(path);
    QString err;
    const QVector<QVariantList> px = pxlibRead(path, &err);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QCOMPARE(px.size(), t->RowCount());
    for (int r = 0; r < t->RowCount(); ++r) {
        for (int f = 0; f < t->Fields().size(); ++f) {
            if (PxIsBlob(t->Fields()[f].type)) continue;
            QVariant ours = t->Value(r, f);
            QVariant theirs = px[r][f];
            // pxlib reports an empty number or currency field as 0
            if ((t->Fields()[f].type == PxType::Number || t->Fields()[f].type == PxType::Currency) && !ours.isValid() && theirs == QVariant(0.0))
                continue;
            if (theirs == QVariant(QStringLiteral("<unparsable>")))
                continue;
            if (t->Fields()[f].type == PxType::Alpha && theirs.isValid())
                theirs = t->DecodeText(theirs.toString().toLatin1().constData(), int(theirs.toString().size()));
            QVERIFY2(sameValue(ours, theirs), qPrintable(QStringLiteral("row %1 field %2: ours %3, pxlib %4")
                                                             .arg(r).arg(t->Fields()[f].name, show(ours), show(theirs))));
        }
    }
#else
    Q_UNUSED(path);
    if (qgetenv("CI") == "true") QFAIL("pxlib is required in CI (install pxlib-dev)");
    QSKIP("built without pxlib");
#endif
}

} // namespace pxtest
