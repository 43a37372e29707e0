// marktvoll-cli sql: one statement or query against the shop database with
// the settings of ShopMod.ini, in either connection mode.
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "data/JsonRowWriter.h"
#include "data/MemTable.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"

#include <cstdio>

namespace {

int runSql(const QStringList &argsIn)
{
    using namespace mv;
    QStringList args = argsIn;
    QString mode;
    const bool hasMode = cli::takeOption(args, QStringLiteral("--mode"), mode);
    const bool execute = cli::takeFlag(args, QStringLiteral("--execute"));
    if (args.size() != 1 || (hasMode && mode != QLatin1String("direct") && mode != QLatin1String("gateway"))) {
        cli::err() << cli::usageText(QStringLiteral("sql")) << Qt::flush;
        return 2;
    }
    if (!cli::loadSettingsForCli())
        return 1;
    if (hasMode)
        Settings().SQL_Server = mode == QLatin1String("gateway") ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
    const QString sql = args.first();
    ShopConnection &shop = Shop();
    int result = 0;
    if (execute) {
        result = shop.ShopExecute(sql);
        if (result == 0)
            cli::out() << "Ergebnis: 0" << Qt::endl;
    } else {
        MySqlConnection conn;
        MemTable table;
        TShopQuery query{&conn, &table};
        result = shop.ShopOpen(sql, query);
        if (result == 0) {
            const QVector<FieldDef> defs = table.FieldDefList();
            QByteArray out = "{\"columns\":[";
            for (int i = 0; i < defs.size(); ++i) {
                const FieldDef &d = defs.at(i);
                if (i)
                    out += ',';
                out += "{\"name\":";
                JsonRowWriter::AppendString(out, d.name);
                out += ",\"type\":";
                JsonRowWriter::AppendString(out, FieldTypeName(d.type));
                out += ",\"size\":" + QByteArray::number(d.size) + '}';
            }
            out += "]}\n";
            const JsonRowWriter writer(defs);
            QVector<QVariant> values(defs.size());
            for (table.First(); !table.Eof(); table.Next()) {
                for (int i = 0; i < defs.size(); ++i)
                    values[i] = table.CurrentValue(i);
                writer.AppendRow(out, values);
                out += '\n';
            }
            cli::out().flush();
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            std::fflush(stdout);
        }
    }
    shop.Ti_Connect_OffTimer();
    shop.Ti_Connect2_OffTimer();
    if (result != 0) {
        cli::err() << "Ergebnis: " << result << Qt::endl;
        for (const QString &line : shop.ErrorLog().Lines())
            cli::err() << line << Qt::endl;
        if (!shop.LastErrorText().isEmpty())
            cli::err() << "MySQL: " << shop.LastErrorText() << Qt::endl;
        return 1;
    }
    return 0;
}

mv::cli::Register reg("sql", "sql [--mode direct|gateway] [--execute] \"SQL\"", &runSql,
                      "Führt eine Anweisung (--execute) oder Abfrage auf der Shop-Datenbank aus, mit den\n"
                      "Zugangsdaten aus ShopMod.ini. Eine Abfrage gibt zuerst {\"columns\":[...]} und dann\n"
                      "eine JSON-Zeile je Datensatz aus (null für NULL).\n"
                      "  --mode direct|gateway   Verbindungsart statt SQL_Server aus ShopMod.ini");

} // namespace
