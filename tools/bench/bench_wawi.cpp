// Speed of the WaWi table engine on a large article table, compared with a
// bare pxlib loop over the same file.
//
//   bench_wawi [DIR] [--articles N] [--runs R]
//
// Without Artikel.DB in DIR (default: a temporary folder) a demo WaWi with
// N articles (default 100000) is written there first. pxlib is loaded at
// run time (libpx.so.0, Debian package pxlib1); without it only our figure
// is printed.

#include "core/ShopSettings.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiDemo.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/PxLibSymbols.h"

#include <cstdio>

using namespace mv;

namespace {

using PxApi = mv::test::PxLibSymbols;

const char *const kFields[] = {"Artikel", "Artikelnummer", "Bezeichnung", "VK1", "Warengruppe"};

// Every record, the same five fields decoded.
double pxLoop(PxApi &px, const QString &path, long long &checksum, int &records)
{
    QElapsedTimer timer;
    timer.start();
    pxdoc_t *doc = px.create();
    if (px.openFile(doc, QFile::encodeName(path).constData()) < 0) {
        px.del(doc);
        return -1;
    }
    const int nf = px.numFields(doc);
    pxfield_t *f = px.fields(doc);
    int offsets[5], lens[5];
    char types[5];
    int off = 0;
    for (int i = 0; i < nf; ++i) {
        for (int k = 0; k < 5; ++k)
            if (qstrcmp(f[i].px_fname, kFields[k]) == 0) {
                offsets[k] = off;
                lens[k] = f[i].px_flen;
                types[k] = f[i].px_ftype;
            }
        off += f[i].px_flen;
    }
    QByteArray buf(off + 16, 0);
    records = px.numRecords(doc);
    for (int r = 0; r < records; ++r) {
        if (!px.getRecord(doc, r, buf.data()))
            continue;
        for (int k = 0; k < 5; ++k) {
            char *data = buf.data() + offsets[k];
            if (types[k] == pxfAlpha) {
                char *v = nullptr;
                if (px.alpha(doc, data, lens[k], &v) > 0 && v) {
                    checksum += qstrlen(v);
                    doc->free(doc, v);
                }
            } else if (types[k] == pxfLong) {
                long v = 0;
                if (px.getLong(doc, data, lens[k], &v) > 0)
                    checksum += v;
            } else if (types[k] == pxfNumber) {
                double v = 0;
                if (px.getDouble(doc, data, lens[k], &v) > 0)
                    checksum += qint64(v);
            }
        }
    }
    px.close(doc);
    px.del(doc);
    return timer.nsecsElapsed() / 1e6;
}

double ourLoop(const QString &dir, long long &checksum, int &selected)
{
    QElapsedTimer timer;
    timer.start();
    TVLBTable t;
    t.SetTableName(QStringLiteral("Artikel.DB"));
    t.SetDirectory(dir);
    t.Open();
    SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
    t.SetFilter(QStringLiteral("(Artikelnummer<>'') AND (Internet=WAHR)"));
    t.SetFiltered(true);
    Field *f[5];
    for (int k = 0; k < 5; ++k)
        f[k] = t.FieldByName(QString::fromLatin1(kFields[k]));
    selected = 0;
    for (t.First(); !t.Eof(); t.Next()) {
        ++selected;
        checksum += f[0]->AsInteger();
        checksum += f[1]->AsString().size();
        checksum += f[2]->AsString().size();
        checksum += qint64(f[3]->AsFloat());
        checksum += f[4]->AsInteger();
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int articles = 100000, runs = 3;
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--articles")) {
            articles = args.at(i + 1).toInt();
            args.remove(i, 2);
            --i;
        } else if (args.at(i) == QLatin1String("--runs")) {
            runs = std::max(1, args.at(i + 1).toInt());
            args.remove(i, 2);
            --i;
        }
    }
    InitPaths();
    QTemporaryDir tmp;
    const QString dir = args.isEmpty() ? tmp.path() : args.first();
    if (QFileInfo::exists(QDir(dir).filePath(QStringLiteral("Artikel.DB"))) == false) {
        WaWiDemoOptions o;
        o.articles = articles;
        o.addresses = 500;
        o.registerInRegistry = false;
        QElapsedTimer g;
        g.start();
        WriteWaWiDemo(dir, o);
        std::printf("demo written: %d articles in %.0f ms\n", articles, g.nsecsElapsed() / 1e6);
    }
    const QString path = QDir(dir).filePath(QStringLiteral("Artikel.DB"));

    double best = 1e18;
    long long sum = 0;
    int selected = 0;
    for (int r = 0; r < runs; ++r)
        best = std::min(best, ourLoop(dir, sum, selected));
    std::printf("TVLBTable: open, index Schnellsuche, Mandant range, filter, %d records x 5 fields: %.1f ms\n",
                selected, best);

    // One write-back (switch an article offline and on again) on the big table.
    {
        TVLBTable t;
        t.SetTableName(QStringLiteral("Artikel.DB"));
        t.SetDirectory(dir);
        t.Open();
        SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
        // The first write of a run copies the table's files to TempDir.
        QTemporaryDir backup;
        Settings().TempDir = backup.path() + QLatin1Char('/');
        QElapsedTimer w;
        w.start();
        double first = 0;
        double timed = 0;
        for (int i = 0; i < 4; ++i) {   // an even count leaves the table as it was
            EnsureEditing(t);
            Field *inet = t.FieldByName(QStringLiteral("Internet"));
            inet->SetValue(!inet->AsBoolean());
            StampUpdate(t);
            t.Post();
            if (i == 0)
                first = w.nsecsElapsed() / 1e6;
            else
                timed += w.nsecsElapsed() / 1e6;
            w.restart();
        }
        std::printf("TVLBTable: Edit/Post on the same table: first %.1f ms (with backup copy), then %.1f ms each\n",
                    first, timed / 3);
    }

    PxApi px;
    if (!px.ok) {
        std::printf("pxlib not available (libpx.so.0): no comparison\n");
        return best < 1500 ? 0 : 1;
    }
    double pxBest = 1e18;
    int records = 0;
    long long pxSum = 0;
    for (int r = 0; r < runs; ++r) {
        const double ms = pxLoop(px, path, pxSum, records);
        if (ms < 0) {
            std::printf("pxlib cannot open %s\n", qPrintable(path));
            return 1;
        }
        pxBest = std::min(pxBest, ms);
    }
    std::printf("pxlib: every record (%d) x 5 fields: %.1f ms\n", records, pxBest);
    std::printf("ratio: %.2f (target <= 2.0), absolute target < 1500 ms\n", best / pxBest);
    return (best < 1500 && best <= 2 * pxBest) ? 0 : 1;
}
