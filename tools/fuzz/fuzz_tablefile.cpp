// libFuzzer target for the table-file reader. Any input must either read
// or fail with TableFileError; whatever reads must survive a write and a
// second read unchanged.

#include "masterdata/TableFile.h"

#include <cstdint>
#include <cstdlib>

using namespace mv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    TablePacket first;
    try {
        first = TableFile::ParsePacket(input);
    } catch (const TableFileError &) {
        return 0;
    }
    const QByteArray written = TableFile::WritePacket(first.fields, first.rows, first.autoIncValue);
    TablePacket second;
    try {
        second = TableFile::ParsePacket(written);
    } catch (const TableFileError &e) {
        fprintf(stderr, "written packet unreadable: %s\n%s\n", e.what(), written.constData());
        abort();
    }
    if (second.fields.size() != first.fields.size() || second.rows.size() != first.rows.size()) {
        fprintf(stderr, "size differs: %d/%d fields, %d/%d rows\n", int(first.fields.size()), int(second.fields.size()),
                int(first.rows.size()), int(second.rows.size()));
        abort();
    }
    for (int i = 0; i < first.fields.size(); ++i)
        if (first.fields[i].name != second.fields[i].name || first.fields[i].type != second.fields[i].type) {
            fprintf(stderr, "field %d differs: %s / %s\n", i, qPrintable(first.fields[i].name), qPrintable(second.fields[i].name));
            abort();
        }
    for (int r = 0; r < first.rows.size(); ++r)
        for (int f = 0; f < first.fields.size(); ++f) {
            const QVariant &a = first.rows[r][f], &b = second.rows[r][f];
            const bool na = !a.isValid() || a.isNull(), nb = !b.isValid() || b.isNull();
            if (na != nb || (!na && a != b)) {
                fprintf(stderr, "row %d field %d differs: [%s] vs [%s]\n", r, f, qPrintable(a.toString()), qPrintable(b.toString()));
                abort();
            }
        }
    return 0;
}
