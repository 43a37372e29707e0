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

#include <sys/resource.h>

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

struct ProcTimes {
    double wallMs = 0;
    double cpuMs = 0;  // user + system of the child
};

double childCpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

// Best of runs, wall clock and CPU time (the machine is shared: CPU time
// is the steadier figure).
ProcTimes runProcess(const QString &program, const QStringList &args, int runs)
{
    ProcTimes best{1e18, 1e18};
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = childCpuMs();
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, args);
        p.waitForFinished(-1);
        const double wall = t.nsecsElapsed() / 1e6;
        if (p.exitCode() != 0)
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        best.wallMs = std::min(best.wallMs, wall);
        best.cpuMs = std::min(best.cpuMs, childCpuMs() - cpu0);
    }
    return best;
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
    ProcTimes lint;
    if (!xmllint.isEmpty()) {
        lint = runProcess(xmllint, {QStringLiteral("--noout"), path}, 5);
        std::printf("xmllint --noout                %8.1f ms  (CPU %.1f ms)\n", lint.wallMs, lint.cpuMs);
    } else {
        std::printf("xmllint not found (Debian package libxml2-utils)\n");
    }
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("marktvoll-cli"));
    if (QFileInfo::exists(cli)) {
        const ProcTimes dump = runProcess(cli, {QStringLiteral("tablefile"), QStringLiteral("dump"), path}, 5);
        std::printf("marktvoll-cli tablefile dump   %8.1f ms  (CPU %.1f ms)", dump.wallMs, dump.cpuMs);
        if (lint.wallMs > 0)
            std::printf("  = %.2f x xmllint (CPU %.2f x)", dump.wallMs / lint.wallMs, dump.cpuMs / std::max(1.0, lint.cpuMs));
        std::printf("\n");
    }
    const bool ok = writeMs < 1000 && loadMs < 1000 && readRows == rows;
    std::printf("%s\n", ok ? "targets met (write and read each within 1 s)" : "TARGET MISSED");
    return ok ? 0 : 1;
}
