// marktvoll-cli tablefile dump FILE | fields FILE | write FILE
// Shows what a table file holds: its current rows as JSON lines (what the
// transfer sends) or its field list; writes one from JSON lines as the
// program's editors would (the program's field list for that file name).

#include "app/cli/CliCommand.h"

#include "data/JsonRowWriter.h"
#include "masterdata/MasterLayouts.h"
#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <cstdio>

namespace {

using namespace mv;

// The field list the program keeps for a table file of that name (empty
// when the name is none of its files).
QVector<FieldDef> ProgramFields(const QString &fileName)
{
    for (const MasterTableDef &d : {LaenderTable(), NewsTable(), VersandkostenTable(), ZahlartTable(),
                                    VersandartTable(), FaqGruppeTable(), FaqThemaTable()})
        if (d.fileName.compare(fileName, Qt::CaseInsensitive) == 0)
            return d.fields;
    if (fileName.compare(QLatin1String("warengruppen.xml"), Qt::CaseInsensitive) == 0)
        return WarengruppenLayout();
    if (fileName.compare(QLatin1String("newsletter_adr.xml"), Qt::CaseInsensitive) == 0
        || fileName.compare(QLatin1String("newsletter_notadr.xml"), Qt::CaseInsensitive) == 0)
        return NewsletterLayout();
    return {};
}

// A JSON value as a value of the field: dates as dump writes them (ISO),
// or as the workstation writes them; texts as they stand.
QVariant FieldValue(const QJsonValue &v, const FieldDef &d)
{
    if (v.isNull() || v.isUndefined())
        return QVariant();
    if (v.isString() && (d.type == FieldType::Date || d.type == FieldType::DateTime || d.type == FieldType::Time)) {
        const QString t = v.toString().trimmed();
        if (t.isEmpty())
            return QVariant();
        if (d.type == FieldType::Time) {
            const QTime tm = QTime::fromString(t, Qt::ISODateWithMs);
            if (tm.isValid())
                return tm;
        } else {
            const QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
            if (dt.isValid())
                return d.type == FieldType::Date ? QVariant(dt.date()) : QVariant(dt);
            const QDate day = QDate::fromString(t, Qt::ISODate);
            if (day.isValid())
                return d.type == FieldType::Date ? QVariant(day) : QVariant(QDateTime(day, QTime(0, 0)));
        }
    }
    if (v.isDouble() && IsNumericType(d.type) && d.type != FieldType::Float && d.type != FieldType::Currency
        && d.type != FieldType::BCD && v.toDouble() != std::trunc(v.toDouble()))
        throw DatasetError(QStringLiteral("%1 ist keine ganze Zahl (Feld '%2')").arg(v.toDouble()).arg(d.name));
    if (v.isArray() || v.isObject())
        throw DatasetError(QStringLiteral("Feld '%1': Listen und Objekte sind keine Feldwerte").arg(d.name));
    return ConvertToFieldType(v.toVariant(), d.type, d.name);
}

int writeTableFile(const QString &path)
{
    QVector<FieldDef> fields = ProgramFields(QFileInfo(path).fileName());
    if (fields.isEmpty()) {
        if (!QFileInfo::exists(path)) {
            cli::err() << QStringLiteral("%1 ist keine Tabellendatei des Programms; Felder sind unbekannt.")
                              .arg(QFileInfo(path).fileName())
                       << Qt::endl;
            return 2;
        }
        try {
            fields = TableFile::ReadPacket(path).fields;   // an existing file keeps its own fields
        } catch (const TableFileError &e) {
            cli::err() << e.message() << Qt::endl;
            return 1;
        }
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        cli::err() << QStringLiteral("Die Standardeingabe kann nicht gelesen werden.") << Qt::endl;
        return 1;
    }
    const QList<QByteArray> lines = in.readAll().split('\n');
    QVector<QVector<QVariant>> rows;
    qint64 nextAuto = 1;
    try {
        int lineNo = 0;
        for (const QByteArray &raw : lines) {
            ++lineNo;
            const QByteArray line = raw.trimmed();
            if (line.isEmpty())
                continue;
            QJsonParseError pe;
            const QJsonDocument doc = QJsonDocument::fromJson(line, &pe);
            if (pe.error != QJsonParseError::NoError || !doc.isObject())
                throw DatasetError(QStringLiteral("Zeile %1: kein JSON-Objekt (%2)")
                                       .arg(lineNo)
                                       .arg(pe.error != QJsonParseError::NoError ? pe.errorString()
                                                                                 : QStringLiteral("erwartet {...}")));
            const QJsonObject o = doc.object();
            QVector<QVariant> row(fields.size());
            QStringList used;
            for (int i = 0; i < fields.size(); ++i) {
                const FieldDef &d = fields.at(i);
                if (!o.contains(d.name))
                    continue;
                used << d.name;
                try {
                    row[i] = FieldValue(o.value(d.name), d);
                } catch (const DatasetError &e) {
                    throw DatasetError(QStringLiteral("Zeile %1: %2").arg(lineNo).arg(e.message()));
                }
                if (d.type == FieldType::AutoInc && row[i].isValid())
                    nextAuto = std::max(nextAuto, row[i].toLongLong() + 1);
            }
            for (auto it = o.constBegin(); it != o.constEnd(); ++it)
                if (!used.contains(it.key()))
                    throw DatasetError(QStringLiteral("Zeile %1: die Datei hat kein Feld '%2'").arg(lineNo).arg(it.key()));
            rows << row;
        }
        // Counters not given are numbered on, as the editor would; the
        // article list leaves the "id" of its links empty.
        const bool numberCounters = QFileInfo(path).fileName().compare(QLatin1String("warengruppen.xml"),
                                                                       Qt::CaseInsensitive) != 0;
        for (int i = 0; i < fields.size() && numberCounters; ++i)
            if (fields.at(i).type == FieldType::AutoInc)
                for (QVector<QVariant> &row : rows)
                    if (!row[i].isValid())
                        row[i] = int(nextAuto++);
        TableFile::WritePacketFile(path, fields, rows, int(nextAuto));
    } catch (const DatasetError &e) {
        cli::err() << e.message() << Qt::endl;
        return 1;
    }
    cli::out() << QStringLiteral("%1 Datensätze nach %2 geschrieben").arg(rows.size()).arg(path) << Qt::endl;
    return 0;
}

int runTableFile(const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (args.size() != 2
        || (args[0] != QLatin1String("dump") && args[0] != QLatin1String("fields") && args[0] != QLatin1String("write"))) {
        cli::err() << cli::usageText(QStringLiteral("tablefile")) << Qt::flush;
        return 2;
    }
    if (args[0] == QLatin1String("write"))
        return writeTableFile(args[1]);
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

mv::cli::Register reg("tablefile", "tablefile dump DATEI | tablefile fields DATEI | tablefile write DATEI",
                      &runTableFile,
                      "  dump    eine JSON-Zeile je aktuellem Datensatz (null für NULL)\n"
                      "  fields  Name, Typ und Größe je Feld, durch Tabulatoren getrennt\n"
                      "  write   schreibt die Datei neu aus JSON-Zeilen der Standardeingabe (ein Objekt je\n"
                      "          Datensatz, wie dump sie ausgibt), mit den Feldern, die das Programm für\n"
                      "          diesen Dateinamen führt (sonst denen der vorhandenen Datei); Texte und\n"
                      "          Memos so, wie sie dastehen; fehlende Zähler werden fortlaufend vergeben");

} // namespace
