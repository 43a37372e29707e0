// Table-file speed: writes and reads a 50,000-row file of the newsletter
// layout and compares reading with `xmllint --noout`, with a reader on
// QXmlStreamReader (the same rows, fewer checks) and with
// `marktvoll-cli tablefile dump` on the same file.
//   bench_tablefile [ROWS] [FOLDER]

#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "core/TextUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

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

// The packet read with QXmlStreamReader: the bytes decoded from the code
// page first (the declaration names none), field list, rows with typed
// values. It skips what the table-file reader checks on top (value ranges,
// change log, error positions), so it is the lower bound of a reader on it.
QVector<QVector<QVariant>> readWithStreamReader(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString text = FromAnsi(f.readAll());
    QXmlStreamReader xml(text);
    QHash<QString, int> index;
    QVector<QByteArray> types;
    QVector<QVector<QVariant>> rows;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        const QXmlStreamAttributes attrs = xml.attributes();
        if (name == QLatin1String("FIELD")) {
            index.insert(attrs.value(QLatin1String("attrname")).toString(), int(types.size()));
            types << attrs.value(QLatin1String("fieldtype")).toLatin1();
        } else if (name == QLatin1String("ROW")) {
            QVector<QVariant> row(types.size());
            for (const QXmlStreamAttribute &a : attrs) {
                const int i = index.value(a.name().toString(), -1);
                if (i < 0)
                    continue;
                const QStringView v = a.value();
                const QByteArray &t = types[i];
                if (t == "i4")
                    row[i] = v.toInt();
                else if (t == "dateTime") {
                    const QDate d(v.left(4).toInt(), v.mid(4, 2).toInt(), v.mid(6, 2).toInt());
                    QTime tm(0, 0);
                    if (v.size() > 9) {
                        const int ms = v.mid(15).toInt();
                        tm = QTime(v.mid(9, 2).toInt(), v.mid(12, 2).toInt(), ms / 1000, ms % 1000);
                    }
                    row[i] = QDateTime(d, tm);
                } else
                    row[i] = v.toString();
            }
            rows.push_back(std::move(row));
        }
    }
    if (xml.hasError())
        std::fprintf(stderr, "QXmlStreamReader: %s\n", qPrintable(xml.errorString()));
    return rows;
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
    QVector<QVector<QVariant>> streamRows;
    const double streamMs = bestOf(5, [&] { streamRows = readWithStreamReader(path); });
    const TablePacket ours = TableFile::ReadPacket(path);
    std::printf("read  with QXmlStreamReader    %8.1f ms  (%d rows%s) = %.2f x our reader\n", streamMs,
                int(streamRows.size()), streamRows == ours.rows ? ", same values" : ", VALUES DIFFER",
                streamMs / std::max(0.001, parseMs));

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
