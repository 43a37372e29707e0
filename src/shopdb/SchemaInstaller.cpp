#include "shopdb/SchemaInstaller.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/SqlScriptRunner.h"

#include <QDir>

namespace mv {

QString SchemaInstaller::ScriptPath(const QString &relative)
{
    QString r = relative;
    r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir(Settings().ExeDir).filePath(r);
}

QString SchemaInstaller::DatabaseName()
{
    QString name = Settings().SQL_Data.trimmed();
    if (name.isEmpty() && Settings().SQL_Server.toUpper() == QLatin1String("MYSQL"))
        name = QStringLiteral("mysql");
    return name;
}

bool SchemaInstaller::LooksInstalled(const QStringList &tables)
{
    const QString all = tables.join(QLatin1Char('\n')).toLower();
    return tables.size() > 26 && all.contains(QLatin1String("adressen")) && all.contains(QLatin1String("artikel"))
           && all.contains(QLatin1String("zahlart"));
}

bool SchemaInstaller::ListTables(QStringList &tables, QString *error)
{
    tables.clear();
    if (ShopConnection::GatewayMode()) {
        if (!GatewayFirstColumn(QStringLiteral("SHOW TABLES"), tables, error))
            return false;
    } else {
        MySqlConnection c;
        MySqlParams p = MySqlParams::fromSettings();
        p.database = DatabaseName();
        if (!c.Connect(p) || !c.FirstColumn(QStringLiteral("SHOW TABLES"), tables)) {
            if (error)
                *error = c.LastError();
            return false;
        }
    }
    for (QString &t : tables)
        t = t.trimmed().toLower();
    return true;
}

bool SchemaInstaller::GatewayFirstColumn(const QString &sql, QStringList &values, QString *error)
{
    values.clear();
    int rows = 0;
    const int r = Gateway().GatewayQuery(sql, rows);
    if (r != 0) {
        if (error)
            *error = QStringLiteral("Fehlernr:%1").arg(r);
        return false;
    }
    const QVector<QStringList> &cells = Gateway().GatewayCells();
    if (!cells.isEmpty())
        for (int i = 0; i < rows && i < cells.first().size(); ++i)
            values << cells.first().at(i);
    return true;
}

void SchemaInstaller::runOnce(const QString &schemaFile)
{
    const QString name = DatabaseName();
    if (ShopConnection::GatewayMode()) {
        SqlScriptRunner::RunThroughShop(ScriptPath(QStringLiteral("db/dbdelete.sql")));
        SqlScriptRunner::RunThroughShop(ScriptPath(schemaFile));
        return;
    }
    MySqlConnection c;
    MySqlParams p = MySqlParams::fromSettings();
    p.database = QStringLiteral("mysql");
    // An existing database makes CREATE fail harmlessly.
    if (c.Connect(p))
        c.Execute(QStringLiteral("CREATE DATABASE ") + name);
    c.Disconnect();
    p.database = name;
    if (!c.Connect(p))
        return; // shows in the table check
    SqlScriptRunner::Run(ScriptPath(QStringLiteral("db/dbdelete.sql")), c);
    SqlScriptRunner::Run(ScriptPath(schemaFile), c);
}

SchemaInstaller::Result SchemaInstaller::Install(bool fallback, const QString &schemaFile)
{
    BusyScope busy;
    Result res;
    res.schemaFile = schemaFile;
    for (;;) {
        runOnce(res.schemaFile);
        if (!ListTables(res.tables, &res.error)) {
            res.check = Check::NoConnection;
            return res;
        }
        if (res.tables.isEmpty()) {
            res.check = Check::NoConnection;
            return res;
        }
        if (LooksInstalled(res.tables)) {
            res.check = Check::Installed;
            return res;
        }
        res.check = Check::TooFew;
        if (!fallback || res.schemaFile != QLatin1String("db/dbschema.sql"))
            return res;
        res.schemaFile = QStringLiteral("db/dbschema_old.sql");
    }
}

} // namespace mv
