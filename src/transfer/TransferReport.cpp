#include "transfer/TransferRun.h"

#include <QJsonArray>
#include <QLocale>

namespace mv {

qint64 TransferReport::TotalRefused() const
{
    qint64 n = 0;
    for (const TransferStepReport &s : steps)
        n += s.refused;
    return n;
}

bool TransferReport::AnyFailed() const
{
    for (const TransferStepReport &s : steps)
        if (s.failed)
            return true;
    return false;
}

bool TransferReport::Succeeded() const
{
    return reachable && !shopLost && !stopped && !AnyFailed() && TotalRefused() == 0;
}

int TransferReport::ExitCode() const
{
    if (!reachable || shopLost)
        return 2;
    return Succeeded() ? 0 : 1;
}

namespace {

QString Seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(',')) + QStringLiteral(" s");
}

QString Cell(const QString &s, int width, bool right = true)
{
    return right ? s.rightJustified(width) : s.leftJustified(width);
}

} // namespace

QString TransferReport::toText() const
{
    QString t;
    const QString fmt = QStringLiteral("dd.MM.yyyy HH:mm:ss");
    t += (dryRun ? QStringLiteral("Datenbankabgleich (Probelauf, nichts geschrieben)")
                 : QStringLiteral("Datenbankabgleich"));
    t += QStringLiteral("  %1 bis %2").arg(started.toString(fmt), ended.toString(QStringLiteral("HH:mm:ss")));
    if (!mode.isEmpty())
        t += QStringLiteral("  (%1)").arg(mode);
    t += QLatin1Char('\n');
    if (!dateMode.isEmpty())
        t += dateMode + QLatin1Char('\n');
    t += QLatin1Char('\n');
    t += Cell(QStringLiteral("Schritt"), 20, false) + Cell(QStringLiteral("gelesen"), 9) + Cell(QStringLiteral("neu"), 8)
         + Cell(QStringLiteral("geändert"), 10) + Cell(QStringLiteral("gelöscht"), 10)
         + Cell(QStringLiteral("abgelehnt"), 11) + Cell(QStringLiteral("Zeit"), 9) + QLatin1Char('\n');
    for (const TransferStepReport &s : steps) {
        if (!s.ran) {
            t += Cell(s.name, 20, false) + QStringLiteral("  – ") + s.messages.join(QStringLiteral("; ")) + QLatin1Char('\n');
            continue;
        }
        t += Cell(s.name, 20, false) + Cell(QString::number(s.read), 9) + Cell(QString::number(s.inserted), 8)
             + Cell(QString::number(s.updated), 10) + Cell(QString::number(s.deleted), 10)
             + Cell(QString::number(s.refused), 11) + Cell(Seconds(s.elapsedMs), 9);
        if (s.failed)
            t += QStringLiteral("  Fehler");
        else if (s.stopped)
            t += QStringLiteral("  gestoppt");
        t += QLatin1Char('\n');
        for (auto it = s.tables.cbegin(); it != s.tables.cend(); ++it)
            t += QStringLiteral("    %1: %2 neu, %3 geändert, %4 gelöscht\n")
                     .arg(it.key())
                     .arg(it.value().inserted)
                     .arg(it.value().updated)
                     .arg(it.value().deleted);
        if (!s.counts.isEmpty()) {
            QStringList parts;
            for (auto it = s.counts.cbegin(); it != s.counts.cend(); ++it)
                parts << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
            t += QStringLiteral("    ") + parts.join(QStringLiteral(", ")) + QLatin1Char('\n');
        }
        for (const QString &m : s.messages)
            t += QStringLiteral("    ") + m + QLatin1Char('\n');
    }
    t += QLatin1Char('\n');
    if (!reachable)
        t += QStringLiteral("Ergebnis: keine Verbindung zum Shop oder Shopdatenbank nicht verwendbar\n");
    else if (shopLost) {
        t += QStringLiteral("Ergebnis: Verbindung zum Shop während des Abgleichs verloren");
        for (const TransferStepReport &s : steps)
            if (s.lost)
                t += QStringLiteral(" (Schritt \u201E%1\u201C, %2 Anweisungen nicht bestätigt)").arg(s.name).arg(s.unconfirmed);
        t += QLatin1Char('\n');
    }
    else if (stopped)
        t += QStringLiteral("Ergebnis: abgebrochen (STOP)\n");
    else if (Succeeded())
        t += dryRun ? QStringLiteral("Ergebnis: Probelauf ohne Fehler\n") : QStringLiteral("Ergebnis: erfolgreich\n");
    else
        t += QStringLiteral("Ergebnis: mit Fehlern (%1 abgelehnte Anweisungen)\n").arg(TotalRefused());
    return t;
}

QJsonObject TransferReport::toJson() const
{
    QJsonObject o;
    const QString fmt = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
    o[QStringLiteral("started")] = started.toString(fmt);
    o[QStringLiteral("ended")] = ended.toString(fmt);
    o[QStringLiteral("dryRun")] = dryRun;
    o[QStringLiteral("reachable")] = reachable;
    o[QStringLiteral("shopLost")] = shopLost;
    o[QStringLiteral("stopped")] = stopped;
    o[QStringLiteral("mode")] = mode;
    o[QStringLiteral("dateMode")] = dateMode;
    o[QStringLiteral("referenceMoment")] = referenceMoment.isValid() ? referenceMoment.toString(fmt) : QString();
    o[QStringLiteral("succeeded")] = Succeeded();
    o[QStringLiteral("exitCode")] = ExitCode();
    o[QStringLiteral("refused")] = double(TotalRefused());
    QJsonArray arr;
    for (const TransferStepReport &s : steps) {
        QJsonObject j;
        j[QStringLiteral("name")] = s.name;
        j[QStringLiteral("kind")] = s.kind;
        j[QStringLiteral("ran")] = s.ran;
        j[QStringLiteral("failed")] = s.failed;
        j[QStringLiteral("stopped")] = s.stopped;
        j[QStringLiteral("read")] = double(s.read);
        j[QStringLiteral("inserted")] = double(s.inserted);
        j[QStringLiteral("updated")] = double(s.updated);
        j[QStringLiteral("deleted")] = double(s.deleted);
        j[QStringLiteral("refused")] = double(s.refused);
        j[QStringLiteral("statements")] = double(s.statements);
        if (s.lost) {
            j[QStringLiteral("lost")] = true;
            j[QStringLiteral("unconfirmed")] = double(s.unconfirmed);
        }
        j[QStringLiteral("elapsedMs")] = double(s.elapsedMs);
        j[QStringLiteral("messages")] = QJsonArray::fromStringList(s.messages);
        if (!s.tables.isEmpty()) {
            QJsonObject tables;
            for (auto it = s.tables.cbegin(); it != s.tables.cend(); ++it)
                tables[it.key()] = QJsonObject{{QStringLiteral("inserted"), double(it.value().inserted)},
                                               {QStringLiteral("updated"), double(it.value().updated)},
                                               {QStringLiteral("deleted"), double(it.value().deleted)}};
            j[QStringLiteral("tables")] = tables;
        }
        if (!s.counts.isEmpty()) {
            QJsonObject counts;
            for (auto it = s.counts.cbegin(); it != s.counts.cend(); ++it)
                counts[it.key()] = double(it.value());
            j[QStringLiteral("counts")] = counts;
        }
        arr.append(j);
    }
    o[QStringLiteral("steps")] = arr;
    o[QStringLiteral("errorLog")] = QJsonArray::fromStringList(errorLog);
    return o;
}

} // namespace mv
