// marktvoll-cli tablefile dump FILE | tablefile fields FILE
// Shows what a table file holds: its current rows as JSON lines (what the
// transfer sends) or its field list.

#include "app/cli/CliCommand.h"

#include "masterdata/TableFile.h"

#include <charconv>
#include <cstdio>

namespace {

using namespace mv;

void appendJsonString(QByteArray &out, const QString &s)
{
    out += '"';
    const QByteArray u = s.toUtf8();
    for (char c : u) {
        const unsigned char b = (unsigned char)c;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", b);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void appendDate(QByteArray &out, const QDate &d)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    out += buf;
}

void appendTime(QByteArray &out, const QTime &t)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.hour(), t.minute(), t.second(), t.msec());
    out += buf;
}

void appendJsonValue(QByteArray &out, const FieldDef &d, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        out += "null";
        return;
    }
    switch (d.type) {
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt:
        out += QByteArray::number(v.toLongLong());
        return;
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD: {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v.toDouble());
        out.append(buf, int(r.ptr - buf));
        return;
    }
    case FieldType::Boolean:
        out += v.toBool() ? "true" : "false";
        return;
    case FieldType::Date:
        out += '"';
        appendDate(out, v.toDate());
        out += '"';
        return;
    case FieldType::Time:
        out += '"';
        appendTime(out, v.toTime());
        out += '"';
        return;
    case FieldType::DateTime: {
        const QDateTime dt = v.toDateTime();
        out += '"';
        appendDate(out, dt.date());
        out += 'T';
        appendTime(out, dt.time());
        out += '"';
        return;
    }
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes:
        out += '"';
        out += v.toByteArray().toBase64();
        out += '"';
        return;
    default:
        appendJsonString(out, v.toString());
        return;
    }
}

int runTableFile(const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.size() != 2 || (args[0] != QLatin1String("dump") && args[0] != QLatin1String("fields"))) {
        cli::err() << "Aufruf: marktvoll-cli tablefile dump DATEI | tablefile fields DATEI" << Qt::endl;
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
    QVector<QByteArray> keys;
    for (const FieldDef &d : p.fields) {
        QByteArray k;
        appendJsonString(k, d.name);
        keys << k + ':';
    }
    QByteArray out;
    out.reserve(1 << 20);
    for (const auto &row : p.rows) {
        out += '{';
        for (int f = 0; f < p.fields.size(); ++f) {
            if (f)
                out += ',';
            out += keys[f];
            appendJsonValue(out, p.fields[f], row.value(f));
        }
        out += "}\n";
        if (out.size() > (1 << 20) - 4096) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}

mv::cli::Register reg("tablefile", "tablefile dump DATEI | tablefile fields DATEI", &runTableFile);

} // namespace
