// marktvoll-cli ftp upload [--what shop|bilder|config] [--all-files]
// The FTP window's upload without the window, with the FTP access of
// ShopMod.ini: for a nightly job after "marktvoll-cli transfer".
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/FtpUpload.h"

#include <QDir>

namespace {

int runFtp(const QStringList &argsIn)
{
    using namespace mv;
    using namespace mv::cli;
    QStringList args = argsIn;
    QString what = QStringLiteral("shop");
    takeOption(args, QStringLiteral("--what"), what);
    const bool all = takeFlag(args, QStringLiteral("--all-files"));
    const bool verbose = takeFlag(args, QStringLiteral("--verbose"));
    if (args != QStringList{QStringLiteral("upload")}
        || (what != QLatin1String("shop") && what != QLatin1String("bilder") && what != QLatin1String("config"))) {
        err() << "Aufruf: marktvoll-cli ftp upload [--what shop|bilder|config] [--all-files] [--verbose]" << Qt::endl;
        return 2;
    }
    if (!loadSettingsForCli())
        return 1;
    ShopSettings &s = Settings();
    FtpUploadJob job;
    job.params = FtpUpload::ParamsFromSettings();
    job.allFiles = all;
    QString folder = s.ShopSubdir;
    QString dir = s.FTP_Dir;
    if (what != QLatin1String("shop")) {
        const QString suffix = what == QLatin1String("bilder") ? QStringLiteral("/abilder") : QStringLiteral("/config");
        while (dir.endsWith(QLatin1Char('/')))
            dir.chop(1);
        dir += suffix;
        folder += suffix;
    }
    job.remoteDir = dir;
    job.localFolder = QDir(s.ExeDir).filePath(folder);
    if (job.params.host.isEmpty()) {
        err() << "Kein FTP-Server eingestellt (FTP_Host)." << Qt::endl;
        return 1;
    }

    s.AbortWait = false;
    FtpUpload up;
    up.Log = [](const QString &l) { out() << l << Qt::endl; };
    if (verbose)
        up.Status = [](const QString &t) { err() << t << Qt::endl; };
    const FtpUploadResult r = up.Run(job);
    out() << r.sent << " Dateien gesendet";
    if (r.skipped)
        out() << ", " << r.skipped << " unverändert";
    if (r.failed)
        out() << ", " << r.failed << " Fehler";
    out() << Qt::endl;
    return r.uploadOk && r.failed == 0 ? 0 : 1;
}

mv::cli::Register reg("ftp", "ftp upload [--what shop|bilder|config] [--all-files] [--verbose]", &runFtp);

} // namespace
