// Table-file speed: writes and reads a 50,000-row file of the newsletter
// layout and compares reading with `xmllint --noout` and with
// `marktvoll-cli tablefile dump` on the same file.
//   bench_tablefile [ROWS] [FOLDER]

#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace mv;

namespace {

template<class F>
double bestOf(int runs, F &&f)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

double runProcess(const QString &program, const QStringList &args, int runs)
{
    return bestOf(runs, [&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, args);
        p.waitForFinished(-1);
        if (p.exitCode() != 0)
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50000;
    QTemporaryDir tmp;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.path();
    const QString path = QDir(folder).filePath(QStringLiteral("newsletter_adr.xml"));

    MemTable table;
    table.CreateDataSet(NewsletterLayout());
    const QDateTime base(QDate(2026, 1, 1), QTime(8, 0));
    for (int i = 0; i < rows; ++i) {
        table.AppendRawRow({QStringLiteral("kunde.%1@beispiel-%2.de").arg(i).arg(i % 97),
                            i % 3 ? QVariant(QStringLiteral("K%1").arg(100000 + i)) : QVariant(), i % 5 ? 1 : 0,
                            base.addMSecs(qint64(i) * 61237)});
    }
    table.RawRowsDone();

    const double writeMs = bestOf(5, [&] { TableFile::SaveTable(table, path); });
    const qint64 size = QFileInfo(path).size();
    int readRows = 0;
    const double parseMs = bestOf(5, [&] { readRows = int(TableFile::ReadPacket(path).rows.size()); });
    const double loadMs = bestOf(5, [&] {
        MemTable t;
        TableFile::Load(t, path);
        readRows = t.RecordCount();
    });

    std::printf("rows %d, file %.1f MB\n", rows, size / 1e6);
    std::printf("write (MemTable -> file)       %8.1f ms\n", writeMs);
    std::printf("read  (file -> rows)           %8.1f ms\n", parseMs);
    std::printf("read  (file -> open MemTable)  %8.1f ms  (%d rows)\n", loadMs, readRows);

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    double lintMs = 0;
    if (!xmllint.isEmpty()) {
        lintMs = runProcess(xmllint, {QStringLiteral("--noout"), path}, 5);
        std::printf("xmllint --noout                %8.1f ms\n", lintMs);
    } else {
        std::printf("xmllint not found (Debian package libxml2-utils)\n");
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("marktvoll-cli"));
    if (QFileInfo::exists(cli)) {
        const double dumpMs = runProcess(cli, {QStringLiteral("tablefile"), QStringLiteral("dump"), path}, 5);
        std::printf("marktvoll-cli tablefile dump   %8.1f ms", dumpMs);
        if (lintMs > 0)
            std::printf("  (%.2f x xmllint)", dumpMs / lintMs);
        std::printf("\n");
    }
    const bool ok = writeMs < 1000 && loadMs < 1000 && readRows == rows;
    std::printf("%s\n", ok ? "targets met (write and read each within 1 s)" : "TARGET MISSED");
    return ok ? 0 : 1;
}
