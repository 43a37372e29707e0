#pragma once
// Creates the shop database and its tables from the installation scripts
// beside the program ("db/dbdelete.sql", then the schema script), and
// checks the tables afterwards. Messages are left to the caller.

#include <QString>
#include <QStringList>

namespace mv {

class SchemaInstaller {
public:
    enum class Check { NoConnection, TooFew, Installed };
    struct Result {
        Check check = Check::NoConnection;
        QStringList tables;   // lower-case, as SHOW TABLES gave them
        QString schemaFile;   // the schema script used last
        QString error;        // server text of a failed check
    };

    // Script paths relative to the program folder.
    static QString ScriptPath(const QString &relative);
    // The database name the settings give: trimmed SQL_Data, "mysql" when
    // empty and the server type reads "MYSQL".
    static QString DatabaseName();
    // Whether a table list counts as an installed shop (more than 26
    // tables, among them adressen, artikel and zahlart).
    static bool LooksInstalled(const QStringList &tables);

    // Runs the scripts in the mode of the settings and checks; with
    // fallback, a failed check repeats the run once with
    // "db/dbschema_old.sql". schemaFile: the script of the first run.
    static Result Install(bool fallback = true, const QString &schemaFile = QStringLiteral("db/dbschema.sql"));
    // SHOW TABLES in the mode of the settings; false when the query failed.
    static bool ListTables(QStringList &tables, QString *error = nullptr);
    // The first column of a query through the gateway; false (error
    // "Fehlernr:N") when the query failed.
    static bool GatewayFirstColumn(const QString &sql, QStringList &values, QString *error = nullptr);

private:
    static void runOnce(const QString &schemaFile);
};

} // namespace mv
