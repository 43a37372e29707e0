// Reading speed of the Paradox reader compared with a bare pxlib loop.
//
//   bench_paradox_pxlib [TABLE.DB]
//
// Without a table, a WaWi-like article table with 100,000 records (memo
// field included) is generated in a temporary folder first. Both loops read
// every field of every record (pxlib without its memo file: it cannot read
// those safely), then our reader alone reads five fields per record.

#include "wawi/ParadoxTable.h"
#include "wawi/ParadoxWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#ifdef MV_HAVE_PXLIB
extern "C" {
#include <paradox.h>
}
#endif

using namespace mv;

static QString generate(const QString &dir, int n)
{
    ParadoxSchema s;
    s.keyFieldCount = 2;
    s.fields = {{"Mandant", PxType::Short}, {"ArtikelNr", PxType::Alpha, 20}, {"Bezeichnung", PxType::Alpha, 60},
                {"Bezeichnung2", PxType::Alpha, 60}, {"Bezeichnung_Intern", PxType::Alpha, 60}, {"Suchbegriff", PxType::Alpha, 30},
                {"Warengruppe", PxType::Long}, {"EAN", PxType::Alpha, 13}, {"Einheit", PxType::Alpha, 10},
                {"VK1", PxType::Currency}, {"VK2", PxType::Currency}, {"VK3", PxType::Currency}, {"EK", PxType::Currency},
                {"MwSt", PxType::Short}, {"Gewicht", PxType::Number}, {"Internet", PxType::Logical}, {"Selekt", PxType::Logical},
                {"Update", PxType::Timestamp}, {"Angelegt", PxType::Date}, {"Bestand", PxType::Number},
                {"Bild", PxType::Alpha, 80}, {"Langtext", PxType::Memo, 30}};
    s.indexes = {{"Schnellsuche", {"Mandant", "Internet", "Suchbegriff"}}, {"Ix_Bez", {"Bezeichnung"}}};
    const QString path = dir + "/Artikel.DB";
    QElapsedTimer t;
    t.start();
    ParadoxWriter w(path, s);
    for (int i = 0; i < n; ++i) {
        const QString nr = QStringLiteral("%1").arg(i, 7, 10, QLatin1Char('0'));
        w.AddRecord({1 + i % 3, nr, QStringLiteral("Müller's Gartenschere Größe %1").arg(i % 50), QStringLiteral("Zweite Zeile & mehr"), QVariant(),
                     QStringLiteral("SCHERE %1").arg(i % 977), i % 300, QStringLiteral("40%1").arg(i, 11, 10, QLatin1Char('0')), "Stück",
                     9.99 + i % 100, 8.5, 7.25, 4.1, 1, 0.25, i % 7 != 0, false, QDateTime::currentDateTime(), QDate(2020, 1, 1).addDays(i % 1000),
                     double(i % 40), QStringLiteral("bilder/a%1.jpg").arg(i), QStringLiteral("{\\rtf1\\ansi Beschreibung für Artikel %1 mit Umlauten äöü }").arg(i).repeated(1 + i % 6)});
    }
    w.Finish();
    std::printf("generated %d records with memos and 2 indexes in %lld ms\n", n, qint64(t.elapsed()));
    return path;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : generate(tmp.path(), 100000);
    QElapsedTimer t;

    // ours: every field
    t.start();
    auto table = ParadoxTable::Open(path);
    qint64 cells = 0;
    for (int r = 0; r < table->RowCount(); ++r)
        for (int f = 0; f < table->Fields().size(); ++f)
            if (!PxIsBlob(table->Fields()[f].type) && table->Value(r, f).isValid()) ++cells;
    const qint64 oursAll = t.elapsed();
    std::printf("ours:  %d records, all non-memo fields: %lld ms (%lld values)\n", table->RowCount(), oursAll, cells);

    // ours: five fields incl. the memo
    t.restart();
    const int f1 = qMax(0, table->FieldIndex("ArtikelNr")), f2 = qMax(0, table->FieldIndex("Bezeichnung")),
              f3 = qMax(0, table->FieldIndex("VK1")), f4 = qMax(0, table->FieldIndex("Internet")), f5 = qMax(0, table->FieldIndex("Langtext"));
    qint64 chars = 0;
    for (int r = 0; r < table->RowCount(); ++r) {
        chars += table->Value(r, f1).toString().size() + table->Value(r, f2).toString().size() + table->Value(r, f5).toString().size();
        chars += table->Value(r, f3).toDouble() > 0 ? 1 : 0;
        chars += table->Value(r, f4).toBool();
    }
    std::printf("ours:  five fields (one memo) of every record: %lld ms\n", qint64(t.elapsed()));

#ifdef MV_HAVE_PXLIB
    t.restart();
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        std::printf("pxlib cannot open the table\n");
        return 1;
    }
    const int n = PX_get_num_records(doc);
    const int nf = PX_get_num_fields(doc);
    pxfield_t *fields = PX_get_fields(doc);
    QByteArray buf(PX_get_recordsize(doc), '\0');
    qint64 pxCells = 0;
    for (int r = 0; r < n; ++r) {
        if (!PX_get_record(doc, r, buf.data())) break;
        int off = 0;
        for (int f = 0; f < nf; ++f) {
            char *p = buf.data() + off;
            const int len = fields[f].px_flen;
            switch (fields[f].px_ftype) {
            case pxfAlpha: { char *s = nullptr; if (PX_get_data_alpha(doc, p, len, &s) > 0) { ++pxCells; doc->free(doc, s); } break; }
            case pxfShort: { short v; if (PX_get_data_short(doc, p, len, &v) > 0) ++pxCells; break; }
            case pxfLong: case pxfDate: case pxfTime: case pxfAutoInc: { long v; if (PX_get_data_long(doc, p, len, &v) > 0) ++pxCells; break; }
            case pxfNumber: case pxfCurrency: case pxfTimestamp: { double v; if (PX_get_data_double(doc, p, len, &v) > 0) ++pxCells; break; }
            case pxfLogical: { char v; if (PX_get_data_byte(doc, p, len, &v) > 0) ++pxCells; break; }
            default: break;
            }
            off += len;
        }
    }
    const qint64 px = t.elapsed();
    PX_close(doc);
    PX_delete(doc);
    std::printf("pxlib: %d records, all non-memo fields: %lld ms (%lld values)\n", n, px, pxCells);
    std::printf("ratio ours/pxlib: %.2f\n", px > 0 ? double(oursAll) / double(px) : 0.0);
#else
    std::printf("pxlib: not built in (install pxlib-dev and reconfigure)\n");
#endif
    return chars < 0;
}
