#include "transfer/UnattendedRun.h"

#include "transfer/TransferProtocol.h"
#include "transfer/TransferRun.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <algorithm>

namespace mv {

namespace {
const QString kMark = QStringLiteral("unbeaufsichtigt");

// The words of the report's "Ergebnis:" line.
QString outcomeOf(const QJsonObject &o)
{
    if (!o.value(QStringLiteral("reachable")).toBool())
        return QStringLiteral("keine Verbindung zum Shop oder Shopdatenbank nicht verwendbar");
    if (o.value(QStringLiteral("shopLost")).toBool())
        return QStringLiteral("Verbindung zum Shop während des Abgleichs verloren");
    if (o.value(QStringLiteral("stopped")).toBool())
        return QStringLiteral("abgebrochen");
    if (o.value(QStringLiteral("succeeded")).toBool())
        return QStringLiteral("erfolgreich");
    return QStringLiteral("mit Fehlern (%1 abgelehnte Anweisungen)").arg(qint64(o.value(QStringLiteral("refused")).toDouble()));
}
} // namespace

QJsonObject UnattendedProtocol(const TransferReport &report)
{
    QJsonObject o = report.toJson();
    o[kMark] = true;
    return o;
}

bool IsUnattendedProtocol(const QJsonObject &protocol)
{
    return protocol.value(kMark).toBool();
}

LastUnattendedRun FindLastUnattendedRun(const QString &dirIn)
{
    LastUnattendedRun r;
    const QDir dir(dirIn.isEmpty() ? TransferProtocolDir() : dirIn);
    // transfer-yyyy-MM-dd-HHmmss[-n].json: the name orders by time.
    QStringList names = dir.entryList({QStringLiteral("transfer-*.json")}, QDir::Files);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const QString ka = a.left(26), kb = b.left(26);
        if (ka != kb)
            return ka > kb;
        return a.chopped(5).mid(27).toInt() > b.chopped(5).mid(27).toInt();
    });
    for (const QString &name : names) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly) || f.size() > 64 * 1024 * 1024)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        if (!IsUnattendedProtocol(o))
            continue;
        r.found = true;
        r.file = f.fileName();
        r.ended = QDateTime::fromString(o.value(QStringLiteral("ended")).toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        r.outcome = outcomeOf(o);
        r.succeeded = o.value(QStringLiteral("succeeded")).toBool();
        break;
    }
    return r;
}

QString LastUnattendedRunText(const LastUnattendedRun &run)
{
    if (!run.found)
        return QStringLiteral("Letzter Abgleich ohne Fenster (Zeitplan, marktvoll-cli): noch keiner");
    const QString when = run.ended.isValid() ? run.ended.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                                             : QStringLiteral("unbekannt");
    return QStringLiteral("Letzter Abgleich ohne Fenster (Zeitplan, marktvoll-cli): beendet %1, %2").arg(when, run.outcome);
}

} // namespace mv
