#include "setup/ShopSchemaSetup.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/SqlScriptRunner.h"

#include <QRegularExpression>
#include <QSet>

namespace mv {

const QString ShopSchemaSetup::kExistingShopQuestion =
    QStringLiteral("Die Datenbank enthält bereits Shoptabellen. Alle Shopdaten werden gelöscht. Fortfahren?");

bool ShopSchemaSetup::ListDatabases(QStringList &names, QString *error)
{
    names.clear();
    if (ShopConnection::GatewayMode())
        return SchemaInstaller::GatewayFirstColumn(QStringLiteral("Show Databases"), names, error);
    MySqlConnection c;
    MySqlParams p = MySqlParams::fromSettings();
    p.database = SchemaInstaller::DatabaseName();
    if (!c.Connect(p)) {
        p.database = QStringLiteral("mysql");
        if (!c.Connect(p)) {
            if (error)
                *error = c.LastError();
            return false;
        }
    }
    if (!c.FirstColumn(QStringLiteral("Show Databases"), names)) {
        if (error)
            *error = c.LastError();
        return false;
    }
    return true;
}

QStringList ShopSchemaSetup::SchemaTables(const QString &schemaFile)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*CREATE\\s+TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?`?([A-Za-z0-9_]+)`?"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const QString &s : SqlScriptRunner::Statements(SqlScriptRunner::LoadLines(SchemaInstaller::ScriptPath(schemaFile)))) {
        const QRegularExpressionMatch m = re.match(s);
        if (m.hasMatch())
            out << m.captured(1).toLower();
    }
    return out;
}

QStringList ShopSchemaSetup::ExistingShopTables()
{
    QStringList tables;
    // In direct mode the database may not exist yet: then there is nothing to lose.
    if (!SchemaInstaller::ListTables(tables))
        return {};
    QSet<QString> shop;
    for (const QString &t : SchemaTables(QStringLiteral("db/dbschema.sql")) + SchemaTables(QStringLiteral("db/dbschema_old.sql")))
        shop.insert(t);
    QStringList found;
    for (const QString &t : tables)
        if (shop.contains(t.toLower()))
            found << t;
    return found;
}

ShopSchemaSetup::Run ShopSchemaSetup::CreateDatabase(const QString &schemaFile, bool ask)
{
    Run run;
    {
        BusyScope busy;
        if (ask && !ExistingShopTables().isEmpty()) {
            if (!Ui().AskYesNo(kExistingShopQuestion)) {
                run.outcome = Outcome::Declined;
                return run;
            }
        }
    }
    run.result = SchemaInstaller::Install(true, schemaFile);
    const SchemaInstaller::Result &r = run.result;
    switch (r.check) {
    case SchemaInstaller::Check::Installed:
        run.outcome = Outcome::Installed;
        run.message = QStringLiteral("Datenbanktabellen wurden angelegt!\r%1 Tabellen").arg(r.tables.size());
        break;
    case SchemaInstaller::Check::TooFew:
        run.outcome = Outcome::TooFew;
        run.message = QStringLiteral("Die Datenbanken konnten nicht richtig angelegt werden!\r%1 Tabellen").arg(r.tables.size());
        break;
    case SchemaInstaller::Check::NoConnection:
        if (!r.error.isEmpty() && !ShopConnection::GatewayMode()) {
            run.outcome = Outcome::CheckFailed;
            run.message = QStringLiteral("Ein Datenbankcheck konnte nicht durchgeführt werden!\rSind die Serverdaten richtig?\r")
                          + r.error;
        } else {
            run.outcome = Outcome::NoTables;
            run.message = QStringLiteral("Keine Verbindung zur Datenbank!");
        }
        break;
    }
    return run;
}

} // namespace mv
