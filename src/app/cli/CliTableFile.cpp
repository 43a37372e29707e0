// marktvoll-cli tablefile dump FILE | tablefile fields FILE
// Shows what a table file holds: its current rows as JSON lines (what the
// transfer sends) or its field list.

#include "app/cli/CliCommand.h"

#include "data/JsonRowWriter.h"
#include "masterdata/TableFile.h"

#include <cstdio>

namespace {

using namespace mv;

int runTableFile(const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.size() != 2 || (args[0] != QLatin1String("dump") && args[0] != QLatin1String("fields"))) {
        cli::err() << cli::usageText(QStringLiteral("tablefile")) << Qt::flush;
        return 2;
    }
    TablePacket p;
    try {
        p = TableFile::ReadPacket(args[1]);
    } catch (const TableFileError &e) {
        cli::err() << e.message() << Qt::endl;
        return 1;
    }
    cli::out().flush();
    if (args[0] == QLatin1String("fields")) {
        QByteArray out;
        for (const FieldDef &d : p.fields) {
            out += d.name.toUtf8();
            out += '\t';
            out += FieldTypeName(d.type).toUtf8();
            out += '\t';
            out += QByteArray::number(d.size);
            if (d.readOnly)
                out += "\tschreibgeschützt";
            if (d.required)
                out += "\tPflichtfeld";
            out += '\n';
        }
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return 0;
    }
    const JsonRowWriter writer(p.fields);
    QByteArray out;
    out.reserve(1 << 20);
    for (const auto &row : p.rows) {
        writer.AppendRow(out, row);
        out += '\n';
        if (out.size() > (1 << 20) - 4096) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.resize(0);
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}

mv::cli::Register reg("tablefile", "tablefile dump DATEI | tablefile fields DATEI", &runTableFile,
                      "  dump    eine JSON-Zeile je aktuellem Datensatz (null für NULL)\n"
                      "  fields  Name, Typ und Größe je Feld, durch Tabulatoren getrennt");

} // namespace
