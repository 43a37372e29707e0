// Second process of the multi-process tests of the WaWi tables.
//   wawi_stress_helper write DIR N SEED   N edits of every kind; prints "DIGEST <hex>" of what it wrote
//   wawi_stress_helper write-own DIR N SEED MANDANT
//                                          the same on the records of one Mandant only, beside a writer
//                                          of the other; the digest covers that Mandant's records
//   wawi_stress_helper read DIR MS        opens, reads and walks every index for MS milliseconds
// Exit code 0 = every write (read) went through.

#include "ParadoxStressCommon.h"

#include "wawi/TVLBTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>

using namespace mv;

namespace {

// mandant 0: every record; 1 or 2: only that Mandant's (records of the
// other may move at any time).
int writeLoop(const QString &dir, int n, quint32 seed, int mandant = 0)
{
    QTextStream out(stdout);
    QRandomGenerator rnd(seed);
    const QString path = dir + QStringLiteral("/Artikel.DB");
    auto t = ParadoxTable::Open(path);
    QMap<QString, QVariantList> expect = stress::rows(*t);
    int next = 100000 + (mandant == 2 ? 1 : 0); // stress::record: Mandant 1 + nr % 2
    const auto pickRow = [&]() {
        if (mandant == 0) return int(rnd.bounded(t->RowCount()));
        QVector<int> own;
        for (int r = 0; r < t->RowCount(); ++r)
            if (t->Value(r, 0).toInt() == mandant) own.append(r);
        return own.at(int(rnd.bounded(int(own.size()))));
    };
    for (int i = 0; i < n; ++i) {
        const int kind = i % 5;
        if (kind == 4) {
            QVariantList v = stress::record(next);
            next += mandant == 0 ? 1 : 2;
            const int row = t->AppendRecord(v);
            v = t->Values(row);
            v[8] = QVariant();
            expect.insert(stress::keyOf(v), v);
            continue;
        }
        const int row = pickRow();
        const QString oldKey = stress::keyOf(t->Values(row));
        QHash<int, QVariant> change;
        switch (kind) {
        case 0: change = {{3, QStringLiteral("Intern %1").arg(i)}, {5, i % 2 == 0}}; break;          // plain
        case 1: change = {{2, QStringLiteral("Neu %1").arg(i % 53)}, {7, double(i) * 0.25}}; break; // indexed
        case 2: change = {{1, QStringLiteral("B%1").arg(i, 6, 10, QLatin1Char('0'))}}; break;       // key
        case 3: change = {{9, QStringLiteral("Memo %1 ").arg(i).repeated(1 + i % 60)}}; break;       // memo
        }
        const int newRow = t->UpdateRecord(row, change);
        QVariantList v = t->Values(newRow);
        for (auto it = change.constBegin(); it != change.constEnd(); ++it)
            if (v.value(it.key()) != it.value()) {
                out << "LOST " << i << " field " << it.key() << "\n";
                return 1;
            }
        v[8] = QVariant();
        expect.remove(oldKey);
        expect.insert(stress::keyOf(v), v);
    }
    if (mandant != 0) {
        const QString prefix = QString::number(mandant) + QLatin1Char('|');
        for (auto it = expect.begin(); it != expect.end();)
            it = it.key().startsWith(prefix) ? std::next(it) : expect.erase(it);
    }
    out << "DIGEST " << stress::digest(expect) << "\n";
    return 0;
}

int readLoop(const QString &dir, int ms)
{
    QElapsedTimer timer;
    timer.start();
    int rounds = 0;
    while (timer.elapsed() < ms) {
        auto t = ParadoxTable::Open(dir + QStringLiteral("/Artikel.DB"));
        for (int r = 0; r < t->RowCount(); ++r) t->Values(r);
        TVLBTable v;
        v.SetDirectory(dir);
        v.SetTableName(QStringLiteral("Artikel"));
        v.SetIndexName(QStringLiteral("Schnellsuche"));
        v.Open();
        for (v.First(); !v.Eof(); v.Next()) v.FieldByName(QStringLiteral("Langtext"))->Value();
        ++rounds;
    }
    QTextStream(stdout) << "ROUNDS " << rounds << "\n";
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    try {
        if (a.size() == 5 && a[1] == QLatin1String("write")) return writeLoop(a[2], a[3].toInt(), a[4].toUInt());
        if (a.size() == 4 && a[1] == QLatin1String("read")) return readLoop(a[2], a[3].toInt());
        if (a.size() == 6 && a[1] == QLatin1String("write-own"))
            return writeLoop(a[2], a[3].toInt(), a[4].toUInt(), a[5].toInt());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "FEHLER %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "Aufruf: wawi_stress_helper write DIR N SEED | write-own DIR N SEED MANDANT | read DIR MS\n");
    return 2;
}
