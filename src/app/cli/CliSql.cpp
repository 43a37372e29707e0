// marktvoll-cli sql: one statement or query against the shop database with
// the settings of ShopMod.ini, in either connection mode.
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "data/MemTable.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"

#include <QDate>

namespace {

QString jsonString(const QString &s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : s) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString jsonValue(mv::FieldType type, const QVariant &v)
{
    using mv::FieldType;
    if (!v.isValid() || v.isNull())
        return QStringLiteral("null");
    switch (type) {
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt:
        return QString::number(v.toLongLong());
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD:
        return QString::number(v.toDouble(), 'g', 17);
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case FieldType::Date:
        return jsonString(v.toDate().toString(Qt::ISODate));
    case FieldType::DateTime:
        return jsonString(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    default:
        return jsonString(v.toString());
    }
}

int runSql(const QStringList &argsIn)
{
    using namespace mv;
    QStringList args = argsIn;
    QString mode;
    const bool hasMode = cli::takeOption(args, QStringLiteral("--mode"), mode);
    const bool execute = cli::takeFlag(args, QStringLiteral("--execute"));
    if (args.size() != 1 || (hasMode && mode != QLatin1String("direct") && mode != QLatin1String("gateway"))) {
        cli::err() << "Aufruf: marktvoll-cli sql [--mode direct|gateway] [--execute] \"SQL\"" << Qt::endl;
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
            QStringList cols;
            for (const FieldDef &d : defs)
                cols << QStringLiteral("{\"name\":%1,\"type\":%2,\"size\":%3}")
                            .arg(jsonString(d.name), jsonString(FieldTypeName(d.type)))
                            .arg(d.size);
            cli::out() << "{\"columns\":[" << cols.join(QLatin1Char(',')) << "]}\n";
            for (table.First(); !table.Eof(); table.Next()) {
                QStringList cells;
                for (int i = 0; i < defs.size(); ++i)
                    cells << jsonString(defs.at(i).name) + QLatin1Char(':') + jsonValue(defs.at(i).type, table.CurrentValue(i));
                cli::out() << '{' << cells.join(QLatin1Char(',')) << "}\n";
            }
            cli::out().flush();
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

mv::cli::Register reg("sql", "sql [--mode direct|gateway] [--execute] \"SQL\"", &runSql);

} // namespace
