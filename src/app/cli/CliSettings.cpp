// marktvoll-cli settings [--show-passwords]
// marktvoll-cli settings set KEY VALUE [KEY VALUE ...]
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"

namespace {

int runSettings(const QStringList &argsIn)
{
    using namespace mv;
    using namespace mv::cli;
    QStringList args = argsIn;
    const bool showPasswords = takeFlag(args, QStringLiteral("--show-passwords"));
    if (!args.isEmpty() && args.first() == QLatin1String("set")) {
        args.removeFirst();
        if (args.isEmpty() || args.size() % 2 != 0) {
            err() << "Aufruf: marktvoll-cli settings set SCHLUESSEL WERT [SCHLUESSEL WERT ...]" << Qt::endl;
            return 2;
        }
        if (!loadSettingsForCli())
            return 1;
        for (int i = 0; i < args.size(); i += 2) {
            QString error;
            if (!SetSettingValue(args[i], args[i + 1], &error)) {
                err() << error << Qt::endl;
                return 2; // nothing written
            }
        }
        QString error;
        if (!SaveSettings(&error)) {
            err() << error << Qt::endl;
            return 1;
        }
        return 0;
    }
    if (!args.isEmpty()) {
        err() << "Unbekanntes Argument: " << args.first() << Qt::endl;
        return 2;
    }
    const bool loaded = loadSettingsForCli();
    for (const QString &key : SettingsKeys()) {
        QString v = SettingValue(key);
        if (IsPasswordKey(key) && !showPasswords && !v.isEmpty())
            v = QStringLiteral("********");
        out() << key << '=' << v << '\n';
    }
    return loaded ? 0 : 1;
}

mv::cli::Register reg("settings", "settings [--show-passwords] | settings set KEY VALUE [KEY VALUE ...]", &runSettings);

} // namespace
