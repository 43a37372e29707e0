// marktvoll-cli config show [--show-passwords]
// marktvoll-cli config set KEY VALUE
// marktvoll-cli config update
// The shop's config.php in the local shop folder of the program folder.
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "setup/ShopConfigFile.h"

#include <QFileInfo>

namespace {

bool isPasswordKey(const QString &key)
{
    const QString k = key.toLower();
    return k.contains(QLatin1String("pass")) || k.contains(QLatin1String("pwd"));
}

int runConfig(const QStringList &argsIn)
{
    using namespace mv;
    using namespace mv::cli;
    QStringList args = argsIn;
    const bool showPasswords = takeFlag(args, QStringLiteral("--show-passwords"));
    const QString usage = QStringLiteral("Aufruf: marktvoll-cli config show [--show-passwords] | set SCHLUESSEL WERT | update");
    const QString sub = args.value(0);
    if (!((sub == QLatin1String("show") && args.size() == 1) || (sub == QLatin1String("set") && args.size() == 3)
          || (sub == QLatin1String("update") && args.size() == 1))) {
        err() << usage << Qt::endl;
        return 2;
    }
    if (!loadSettingsForCli())
        return 1;
    const QString php = ShopConfigFile::PhpPath();
    QString error;

    if (sub == QLatin1String("update")) {
        if (!QFileInfo::exists(ShopConfigFile::TemplatePath())) {
            out() << "Keine neue Vorlage (config.up) vorhanden." << Qt::endl;
            return 0;
        }
        if (!ShopConfigFile::TemplateUpdate(&error)) {
            err() << "Das Update der Shopkonfiguration ist fehlgeschlagen: " << error << Qt::endl;
            return 1;
        }
        SaveSettings(); // the step "shopcfg" is open again
        out() << "Shopkonfiguration aktualisiert: " << php << Qt::endl;
        return 0;
    }

    if (!QFileInfo::exists(php)) {
        err() << "Configdatei wurde nicht gefunden!" << Qt::endl << php << Qt::endl;
        return 1;
    }
    QVector<ConfigRow> rows;
    if (!ShopConfigFile::Read(php, rows, &error)) {
        err() << error << Qt::endl;
        return 1;
    }
    if (sub == QLatin1String("show")) {
        for (const ConfigRow &r : rows) {
            if (!r.assignment)
                continue;
            QString v = r.value;
            if (isPasswordKey(r.key) && !showPasswords && !v.isEmpty())
                v = QStringLiteral("********");
            out() << r.key << '=' << v;
            if (!r.remark.isEmpty())
                out() << "\t// " << r.remark;
            out() << '\n';
        }
        out().flush();
        return 0;
    }
    // set
    if (!ShopConfigFile::SetValue(rows, args.at(1), args.at(2))) {
        err() << "Schlüssel nicht in der Shopkonfiguration: " << args.at(1) << Qt::endl;
        return 2;
    }
    if (!ShopConfigFile::Write(php, rows, &error)) {
        err() << error << Qt::endl;
        return 1;
    }
    SaveSettings();
    return 0;
}

mv::cli::Register reg("config", "config show [--show-passwords] | config set KEY VALUE | config update", &runConfig);

} // namespace
