// marktvoll-cli schema install: creates the shop database and its tables
// from db/dbdelete.sql and db/dbschema.sql beside the program, as
// "Datenbank anlegen" does. A database that holds a shop already is only
// emptied with --yes.
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/ShopSchemaSetup.h"
#include "shopdb/SchemaInstaller.h"

#include <QFileInfo>

namespace {

int runSchema(const QStringList &argsIn)
{
    using namespace mv;
    QStringList args = argsIn;
    QString mode;
    const bool hasMode = cli::takeOption(args, QStringLiteral("--mode"), mode);
    const bool yes = cli::takeFlag(args, QStringLiteral("--yes"));
    if (args != QStringList{QStringLiteral("install")}
        || (hasMode && mode != QLatin1String("direct") && mode != QLatin1String("gateway"))) {
        cli::err() << "Aufruf: marktvoll-cli schema install [--mode direct|gateway] [--yes]" << Qt::endl;
        return 2;
    }
    if (!cli::loadSettingsForCli())
        return 1;
    if (hasMode)
        Settings().SQL_Server = mode == QLatin1String("gateway") ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
    if (!QFileInfo::exists(SchemaInstaller::ScriptPath(QStringLiteral("db/dbschema.sql"))))
        cli::err() << "Skript fehlt: " << SchemaInstaller::ScriptPath(QStringLiteral("db/dbschema.sql")) << Qt::endl;
    ConsoleUiHooks answers(yes);
    answers.quiet = true;
    SetUiHooks(&answers);
    const ShopSchemaSetup::Run run = ShopSchemaSetup::CreateDatabase();
    SetUiHooks(nullptr);
    const SchemaInstaller::Result &r = run.result;
    switch (run.outcome) {
    case ShopSchemaSetup::Outcome::Declined:
        cli::err() << "Die Datenbank enthält bereits Shoptabellen; mit --yes werden alle Shopdaten gelöscht und "
                      "die Tabellen neu angelegt."
                   << Qt::endl;
        return 1;
    case ShopSchemaSetup::Outcome::Installed:
        cli::out() << "Datenbanktabellen wurden angelegt!\n" << r.tables.size() << " Tabellen" << Qt::endl;
        return 0;
    case ShopSchemaSetup::Outcome::TooFew:
        cli::out() << "Die Datenbanken konnten nicht richtig angelegt werden!\n" << r.tables.size() << " Tabellen" << Qt::endl;
        return 1;
    case ShopSchemaSetup::Outcome::NoTables:
    case ShopSchemaSetup::Outcome::CheckFailed:
        break;
    }
    cli::err() << "Keine Verbindung zur Datenbank!" << Qt::endl;
    if (!r.error.isEmpty())
        cli::err() << r.error << Qt::endl;
    return 1;
}

mv::cli::Register reg("schema", "schema install [--mode direct|gateway] [--yes]", &runSchema);

} // namespace
