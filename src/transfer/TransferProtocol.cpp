#include "transfer/TransferProtocol.h"

#include "core/ShopSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <utility>

namespace mv {

QString TransferProtocolDir()
{
    return QDir(Settings().ExeDir).filePath(QStringLiteral("protokolle"));
}

QString SaveTransferProtocol(const QJsonObject &report, const QDateTime &moment, QString *error, int keep)
{
    auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return QString();
    };
    QDir dir(TransferProtocolDir());
    if (!dir.exists() && !QDir().mkpath(dir.absolutePath()))
        return fail(QStringLiteral("Der Ordner %1 kann nicht angelegt werden.").arg(dir.absolutePath()));
    const QString stem = QStringLiteral("transfer-") + moment.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString path = dir.filePath(stem + QStringLiteral(".json"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1-%2.json").arg(stem).arg(n));
    QSaveFile f(path);
    const QByteArray bytes = QJsonDocument(report).toJson(QJsonDocument::Indented);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        return fail(QStringLiteral("Das Protokoll %1 kann nicht geschrieben werden: %2").arg(path, f.errorString()));

    // Oldest first: by the moment in the name, then by the suffix of runs
    // in the same second. Other files in the folder are left alone.
    QStringList old = dir.entryList({QStringLiteral("transfer-*.json")}, QDir::Files);
    auto key = [](const QString &name) {
        const QString base = name.chopped(5);                 // ".json"
        const QString moment = base.left(26);                 // transfer-yyyy-MM-dd-HHmmss
        const int suffix = base.size() > 27 ? base.mid(27).toInt() : 1;
        return std::make_pair(moment, suffix);
    };
    std::sort(old.begin(), old.end(), [&](const QString &a, const QString &b) { return key(a) < key(b); });
    while (old.size() > keep)
        dir.remove(old.takeFirst());
    return path;
}

} // namespace mv
