#include "app/cli/CliCommand.h"

#include "core/ProgramFolder.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"

#include <QCoreApplication>
#include <QMap>

#include <algorithm>
#include <cstdio>

namespace mv::cli {

namespace {
struct Entry { QString usage; QString help; Runner run; };
QMap<QString, Entry> &commands()
{
    static QMap<QString, Entry> map;
    return map;
}

bool isHelp(const QString &a)
{
    return a == QLatin1String("--help") || a == QLatin1String("-h");
}
} // namespace

Register::Register(const char *name, const char *usage, Runner run, const char *help)
{
    commands().insert(QString::fromUtf8(name),
                      Entry{QString::fromUtf8(usage), help ? QString::fromUtf8(help) : QString(), std::move(run)});
}

QString usageText(const QString &name)
{
    const auto it = commands().constFind(name);
    if (it == commands().cend())
        return QString();
    QString text = QStringLiteral("Aufruf: marktvoll-cli ") + it->usage + QLatin1Char('\n');
    if (!it->help.isEmpty()) {
        text += it->help;
        if (!text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
    }
    return text;
}

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

bool takeFlag(QStringList &args, const QString &flag)
{
    return args.removeAll(flag) > 0;
}

bool takeOption(QStringList &args, const QString &opt, QString &value)
{
    const int i = args.indexOf(opt);
    if (i < 0 || i + 1 >= args.size())
        return false;
    value = args.at(i + 1);
    args.remove(i, 2);
    return true;
}

bool loadSettingsForCli()
{
    InitPaths();
    QString error;
    if (!LoadSettings(&error)) {
        err() << error << Qt::endl;
        return false;
    }
    return true;
}

} // namespace mv::cli

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marktvoll-cli"));
    QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && args.first() == QLatin1String("--version")) {
        mv::cli::out() << "marktvoll-cli " << MV_VERSION << Qt::endl;
        return 0;
    }
    auto &cmds = mv::cli::commands();
    if (args.isEmpty() || mv::cli::isHelp(args.first()) || !cmds.contains(args.first())) {
        // Asked for: the list on stdout; a mistake: on stderr with a failure code.
        const bool asked = !args.isEmpty() && mv::cli::isHelp(args.first());
        QTextStream &s = asked ? mv::cli::out() : mv::cli::err();
        if (!args.isEmpty() && !asked)
            s << "Unbekannter Befehl: " << args.first() << Qt::endl;
        s << "Aufruf: marktvoll-cli BEFEHL ...   (marktvoll-cli BEFEHL --help zeigt die Hilfe eines Befehls)\n";
        for (auto it = cmds.cbegin(); it != cmds.cend(); ++it)
            s << "  marktvoll-cli " << it->usage << "\n";
        s.flush();
        return asked ? 0 : 2;
    }
    const QString name = args.takeFirst();
    // Help is never an argument: "sql --help" must not reach the database.
    if (std::any_of(args.cbegin(), args.cend(), mv::cli::isHelp)) {
        mv::cli::out() << mv::cli::usageText(name);
        mv::cli::out().flush();
        return 0;
    }
    // An installed program works in the user's own folder, made from the
    // templates on first start.
    {
        const mv::TemplateSyncResult folder = mv::PrepareProgramFolder();
        const QString summary = folder.Summary(mv::CurrentProgramFolder().path);
        if (!summary.isEmpty())
            mv::cli::err() << summary << Qt::endl;
        if (!folder.ok)
            return 2;
    }
    int rc = 1;
    try {
        rc = cmds.value(name).run(args);
    } catch (const std::exception &e) {
        mv::cli::err() << QString::fromUtf8(e.what()) << Qt::endl;
        rc = 1;
    }
    mv::cli::out().flush();
    mv::cli::err().flush();
    return rc;
}
