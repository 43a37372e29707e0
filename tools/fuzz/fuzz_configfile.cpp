// libFuzzer target for config.php: any file must read; every line read and
// left alone is written back byte for byte; and whatever value and remark
// the editor puts into a row is either refused or written so that it reads
// back as the same row, with nothing after the value that PHP would run.
// Input: the file, then after a NUL byte the new value, after a second NUL
// the new remark (both Windows-1252).

#include "core/TextUtil.h"
#include "setup/ShopConfigFile.h"

#include <QStringEncoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace mv;

namespace {

[[noreturn]] void fail(const char *what, const QString &line)
{
    std::fprintf(stderr, "%s: %s\n", what, line.toUtf8().constData());
    std::abort();
}

bool encodable(const QString &line)
{
    QStringEncoder enc("windows-1252");
    (void)enc(line);
    return !enc.hasError();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\0');
    QString text = FromAnsi(parts.value(0));
    const QString value = FromAnsi(parts.value(1));
    const QString remark = FromAnsi(parts.value(2));

    // The file's lines as ReadLines cuts them.
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(text.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    QStringList lines;
    if (!text.isEmpty())
        for (QString l : text.split(QLatin1Char('\n'))) {
            if (l.endsWith(QLatin1Char('\r')))
                l.chop(1);
            lines << l;
        }

    const QVector<ConfigRow> rows = ShopConfigFile::Parse(lines);
    if (rows.size() != lines.size())
        std::abort();
    for (int i = 0; i < rows.size(); ++i) {
        if (ShopConfigFile::LineOf(rows[i]) != lines[i])
            fail("unchanged line rewritten", lines[i]);
        if (!ShopConfigFile::RowProblem(rows[i]).isEmpty())
            fail("unchanged line refused", lines[i]);
    }

    for (const ConfigRow &orig : rows) {
        if (orig.raw || (!orig.assignment && !orig.key.isEmpty()))
            continue; // the editor does not let these be changed
        if (orig.original.contains(QLatin1Char('\r')))
            continue; // a lone CR of the file: WriteLines refuses the file
        ConfigRow r = orig;
        if (r.assignment)
            r.value = value;
        r.remark = remark;
        if (!r.changed() || !ShopConfigFile::RowProblem(r).isEmpty())
            continue; // kept as it stands (checked above), or refused
        const QString line = ShopConfigFile::LineOf(r);
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
            fail("line break written", line);
        if (!encodable(line))
            continue; // WriteLines refuses it
        const ConfigRow back = ShopConfigFile::ParseLine(line);
        if (r.assignment) {
            if (!back.assignment || back.key != r.key.trimmed())
                fail("assignment not read back", line);
            if (back.value != value.trimmed())
                fail("value not read back", line);
            if (back.remark != remark.trimmed())
                fail("remark not read back", line);
        } else if (!remark.trimmed().isEmpty()) {
            if (back.assignment || back.raw || back.remark != remark.trimmed())
                fail("remark line not read back", line);
        }
        // Read back as written, the value inside its quotes: only the
        // remark could end the PHP block.
        if (remark.contains(QLatin1String("?>")))
            fail("remark with ?> written", line);
    }
    return 0;
}
