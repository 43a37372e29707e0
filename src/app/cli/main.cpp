#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"

#include <QCoreApplication>
#include <QMap>

#include <cstdio>

namespace mv::cli {

namespace {
struct Entry { QString usage; Runner run; };
QMap<QString, Entry> &commands()
{
    static QMap<QString, Entry> map;
    return map;
}
}

Register::Register(const char *name, const char *usage, Runner run)
{
    commands().insert(QString::fromUtf8(name), Entry{QString::fromUtf8(usage), std::move(run)});
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
    auto &cmds = mv::cli::commands();
    if (args.isEmpty() || args.first() == QLatin1String("--help") || !cmds.contains(args.first())) {
        if (!args.isEmpty() && args.first() != QLatin1String("--help"))
            mv::cli::err() << "Unbekannter Befehl: " << args.first() << Qt::endl;
        mv::cli::err() << "Aufruf: marktvoll-cli BEFEHL ...\n";
        for (auto it = cmds.cbegin(); it != cmds.cend(); ++it)
            mv::cli::err() << "  marktvoll-cli " << it->usage << "\n";
        mv::cli::err().flush();
        return args.isEmpty() || args.first() == QLatin1String("--help") ? 0 : 2;
    }
    const QString name = args.takeFirst();
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
