#pragma once
// Installation scripts ("db/dbdelete.sql", "db/dbschema.sql",
// "db/dbschema_old.sql"): statements over any number of lines, each closed
// by a line that starts with "#" in column 1 (the rest of that line is a
// comment). Blank lines are skipped; a ";" means nothing to the runner.
// Failures of single statements are ignored.

#include <QString>
#include <QStringList>

#include <functional>

namespace mv {

class MySqlConnection;

class SqlScriptRunner {
public:
    // Lines of a script file in the ANSI code page; none when the file is
    // missing or unreadable.
    static QStringList LoadLines(const QString &path);
    // The statements of the lines, in order.
    static QStringList Statements(const QStringList &lines);

    struct Outcome {
        int executed = 0;
        int failed = 0;
    };
    // Runs every statement of the file through exec (true = done).
    static Outcome Run(const QString &path, const std::function<bool(const QString &)> &exec);
    // ... as commands on a direct connection.
    static Outcome Run(const QString &path, MySqlConnection &connection);
    // ... through ShopExecute (either mode).
    static Outcome RunThroughShop(const QString &path);
};

} // namespace mv
