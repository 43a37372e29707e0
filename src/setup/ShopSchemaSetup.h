#pragma once
// "Datenbank anlegen" and "zeige" of the SQL server dialog, shared with
// "marktvoll-cli schema install": list the server's databases, and create
// the database and its tables, asking first when the database already
// holds a shop (the installation script empties every shop table).

#include "shopdb/SchemaInstaller.h"

#include <QString>
#include <QStringList>

namespace mv {

class ShopSchemaSetup {
public:
    static const QString kExistingShopQuestion;

    // Databases on the server in the settings' mode ("Show Databases").
    // Direct mode: the database of the settings, or "mysql" when that
    // cannot be opened. false with *error when the server was not reached.
    static bool ListDatabases(QStringList &names, QString *error = nullptr);

    // Tables of the schema script (CREATE TABLE names, lower case).
    static QStringList SchemaTables(const QString &schemaFile = QStringLiteral("db/dbschema.sql"));
    // The shop tables the database holds now (empty when none or unreachable).
    static QStringList ExistingShopTables();

    enum class Outcome { Declined, Installed, TooFew, NoTables, CheckFailed };
    struct Run {
        Outcome outcome = Outcome::NoTables;
        SchemaInstaller::Result result;
        QString message; // the dialog's message ("" when declined)
    };
    // Asks through Ui() when shop tables exist (default no: nothing is
    // touched). schemaFile is the dialog's current script; the result
    // tells which one was used last.
    static Run CreateDatabase(const QString &schemaFile = QStringLiteral("db/dbschema.sql"), bool ask = true);
};

} // namespace mv
