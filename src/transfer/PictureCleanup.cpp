#include "transfer/PictureCleanup.h"

#include "core/ShopSettings.h"
#include "transfer/TransferRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mv {

int DeleteFilesExcept(const QString &folder, const QStringList &keep)
{
    QStringList keepLower;
    for (const QString &k : keep)
        keepLower << k.toLower();
    QDir dir(folder);
    if (!dir.exists())
        return 0;
    int deleted = 0;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo &fi : entries) {
        if (fi.isDir() || keepLower.contains(fi.fileName().toLower()))
            continue;
        const QString path = fi.absoluteFilePath();
        // The "archive only" attribute of the original: whatever protects
        // the file is cleared before it goes.
        QFile f(path);
        if (!fi.isWritable())
            f.setPermissions(f.permissions() | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
        if (f.remove())
            ++deleted;
    }
    return deleted;
}

QString EnsurePictureDir()
{
    ShopSettings &s = Settings();
    if (s.PictureDir.trimmed().isEmpty())
        s.PictureDir = s.ShopDir + QStringLiteral("abilder/");
    return s.PictureDir;
}

QString DeleteCollectedPictures()
{
    try {
        const QString dir = EnsurePictureDir();
        PictureList().clear();
        if (dir.toLower().contains(QLatin1String("abild")))
            DeleteFilesExcept(dir, {QStringLiteral("alt.gif"), QStringLiteral("alt.jpg"), QStringLiteral("index.htm"),
                                    QStringLiteral("index.html")});
    } catch (const std::exception &e) {
        return QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what());
    }
    return QString();
}

} // namespace mv
