#pragma once
// Reading "Artikel.DB" back for the article list tests: through every index
// of our engine, with the consistency check of table and index files, and
// with pxlib as an independent reader.

#include "wawi/TVLBTable.h"
#include "wawi/tst_ParadoxCommon.h"

#include <QDir>

#include <fcntl.h>
#include <unistd.h>
#include <QHash>
#include <QtTest>

namespace artcheck {

using namespace mv;

struct Article {
    int art = 0, mandant = 0, group = 0;
    QString nummer, such, bez;
    bool internet = false;
    QVariant selekt;
    QDateTime update;
    QString bild;
};

inline Article current(const TVLBTable &t)
{
    Article a;
    a.art = t.FieldByName("Art")->AsInteger();
    a.mandant = t.FieldByName("Mandant")->AsInteger();
    a.group = t.FieldByName("Warengruppe")->AsInteger();
    a.nummer = t.FieldByName("Artikelnummer")->AsString();
    a.such = t.FieldByName("Suchbegriff")->AsString();
    a.bez = t.FieldByName("Bezeichnung")->AsString();
    a.internet = t.FieldByName("Internet")->AsBoolean();
    a.selekt = t.FieldByName("Selekt")->Value();
    a.update = t.FieldByName("Update")->AsDateTime();
    a.bild = t.FieldByName("Bild_klein")->AsString();
    return a;
}

// All articles by key; every index must reach every record with the same
// values (a failure is reported by QVERIFY in the caller's test).
inline QHash<int, Article> readAll(bool everyIndex = false)
{
    QHash<int, Article> out;
    TVLBTable t;
    t.SetTableName("Artikel.DB");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
        out.insert(t.FieldAt(0)->AsInteger(), current(t));
    if (everyIndex) {
        for (const QString &ix : t.IndexNames()) {
            t.SetIndexName(ix);
            int n = 0;
            for (t.First(); !t.Eof(); t.Next()) {
                const Article &a = out[t.FieldAt(0)->AsInteger()];
                const Article b = current(t);
                if (a.internet != b.internet || a.selekt != b.selekt || a.update != b.update)
                    qWarning() << "index" << ix << "differs at" << t.FieldAt(0)->AsInteger();
                else
                    ++n;
            }
            if (n != out.size())
                qWarning() << "index" << ix << "reaches" << n << "of" << out.size();
            if (n != out.size())
                out.clear();   // the caller compares sizes
        }
    }
    return out;
}

// The table and its index files are consistent, and pxlib reads the same
// "Internet" and "Update" values for every article.
inline void crossCheck(const QString &wawiDir, const QHash<int, Article> &expected)
{
    const QString path = FindTableFile(wawiDir, "Artikel.DB");
    QVERIFY(!path.isEmpty());
    {
        auto t = ParadoxTable::Open(path);
        pxtest::verifyConsistency(*t);
        if (QTest::currentTestFailed())
            return;
    }
#ifdef MV_HAVE_PXLIB
    QString err;
    // pxlib complains about every memo it is not given the blob file of
    fflush(stdout);
    fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    const QVector<QVariantList> px = pxtest::pxlibRead(path, &err);
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(null);
    close(savedOut);
    close(savedErr);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QCOMPARE(px.size(), expected.size());
    auto t = ParadoxTable::Open(path);
    int internet = -1, update = -1;
    for (int f = 0; f < t->Fields().size(); ++f) {
        if (t->Fields()[f].name == QLatin1String("Internet"))
            internet = f;
        if (t->Fields()[f].name == QLatin1String("Update"))
            update = f;
    }
    QVERIFY(internet >= 0 && update >= 0);
    for (const QVariantList &row : px) {
        const int key = row.value(0).toInt();
        QVERIFY2(expected.contains(key), qPrintable(QString("pxlib: unknown article %1").arg(key)));
        const Article &a = expected[key];
        QCOMPARE(row.value(internet).toBool(), a.internet);
        QCOMPARE(row.value(update).toDateTime(), a.update);
    }
#else
    Q_UNUSED(expected);
    if (qgetenv("CI") == "true")
        QFAIL("pxlib is required in CI (install pxlib-dev)");
    qWarning("built without pxlib: the independent re-read was skipped");
#endif
}

} // namespace artcheck
