#include "transfer/TransferRun.h"

#include <QHash>
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

// A step as the shop owner knows it (the schema check has an internal name).
QString StepTitle(const TransferStepReport &s)
{
    if (s.kind.isEmpty() && s.name == QStringLiteral("Schemaprüfung"))
        return QStringLiteral("Shop-Datenbank prüfen");
    return s.name;
}

// The shop table whose rows a step's own line counts (others follow below it).
QString MainTable(const TransferStepReport &s)
{
    static const QHash<QString, QString> main = {
        {QStringLiteral("kunden"), QStringLiteral("adressen")},
        {QStringLiteral("lieferanten"), QStringLiteral("adressen")},
        {QStringLiteral("interessenten"), QStringLiteral("adressen")},
        {QStringLiteral("adressen-holen"), QStringLiteral("adressen")},
        {QStringLiteral("artikel"), QStringLiteral("artikel")},
        {QStringLiteral("warengruppen"), QStringLiteral("wgruppen")},
        {QStringLiteral("zahlungsarten"), QStringLiteral("zahlart")},
        {QStringLiteral("sonderpreise"), QStringLiteral("sonderpreise")},
    };
    const QString t = main.value(s.kind);
    return s.tables.contains(t) ? t : QString();
}

// A shop table in words.
QString ShopTableTitle(const QString &table)
{
    static const QHash<QString, QString> titles = {
        {QStringLiteral("adressen"), QStringLiteral("Adressen")},
        {QStringLiteral("artikel"), QStringLiteral("Artikel")},
        {QStringLiteral("wgruppen"), QStringLiteral("Warengruppen")},
        {QStringLiteral("waverbindung"), QStringLiteral("Zuordnungen Artikel zu Warengruppe")},
        {QStringLiteral("sonderpreise"), QStringLiteral("Sonder- und Staffelpreise")},
        {QStringLiteral("varianten"), QStringLiteral("Varianten")},
        {QStringLiteral("adrart"), QStringLiteral("Adressgruppen")},
        {QStringLiteral("adrartver"), QStringLiteral("Zuordnungen Adresse zu Adressgruppe")},
        {QStringLiteral("bestellungen"), QStringLiteral("Bestellungen")},
        {QStringLiteral("favoriten"), QStringLiteral("Favoriten")},
        {QStringLiteral("produktbewertung"), QStringLiteral("Produktbewertungen")},
        {QStringLiteral("counter"), QStringLiteral("Besuchszähler")},
        {QStringLiteral("zahlart"), QStringLiteral("Zahlarten")},
        {QStringLiteral("laender"), QStringLiteral("Länder")},
        {QStringLiteral("versand"), QStringLiteral("Versandarten")},
        {QStringLiteral("nachgewicht"), QStringLiteral("Versandkosten")},
        {QStringLiteral("news"), QStringLiteral("News")},
        {QStringLiteral("faq_gruppe"), QStringLiteral("FAQ-Gruppen")},
        {QStringLiteral("faq_thema"), QStringLiteral("FAQ-Themen")},
        {QStringLiteral("newsletter"), QStringLiteral("Newsletter-Empfänger")},
        {QStringLiteral("newsletter_not"), QStringLiteral("Newsletter-Sperrliste")},
    };
    return titles.value(table.toLower(), table);
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
    const int nameWidth = 22;
    t += Cell(QStringLiteral("Schritt"), nameWidth, false) + Cell(QStringLiteral("gelesen"), 8) + Cell(QStringLiteral("neu"), 7)
         + Cell(QStringLiteral("geändert"), 10) + Cell(QStringLiteral("gelöscht"), 10)
         + Cell(QStringLiteral("abgelehnt"), 11) + Cell(QStringLiteral("Zeit"), 9) + QLatin1Char('\n');
    for (const TransferStepReport &s : steps) {
        const QString name = StepTitle(s);
        if (!s.ran) {
            t += Cell(name, nameWidth, false) + QStringLiteral("  – ") + s.messages.join(QStringLiteral("; ")) + QLatin1Char('\n');
            continue;
        }
        if (s.kind.isEmpty()) {
            // The check of the shop database reads and writes no records.
            t += Cell(name, nameWidth, false) + Cell(QString(), 35)
                 + Cell(s.refused ? QString::number(s.refused) : QString(), 11) + Cell(Seconds(s.elapsedMs), 9);
        } else {
            // The step's own records; rows of further tables are listed below.
            const QString main = MainTable(s);
            const TransferStepReport::TableCounts own =
                main.isEmpty() ? TransferStepReport::TableCounts{s.inserted, s.updated, s.deleted} : s.tables.value(main);
            t += Cell(name, nameWidth, false) + Cell(QString::number(s.read), 8) + Cell(QString::number(own.inserted), 7)
                 + Cell(QString::number(own.updated), 10) + Cell(QString::number(own.deleted), 10)
                 + Cell(QString::number(s.refused), 11) + Cell(Seconds(s.elapsedMs), 9);
        }
        if (s.failed)
            t += QStringLiteral("  Fehler");
        else if (s.stopped)
            t += QStringLiteral("  gestoppt");
        t += QLatin1Char('\n');
        if (!s.skipped.isEmpty()) {
            qint64 all = 0;
            QStringList parts;
            for (auto it = s.skipped.cbegin(); it != s.skipped.cend(); ++it) {
                all += it.value();
                parts << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
            }
            t += QStringLiteral("    nicht übertragen (%1): ").arg(all) + parts.join(QStringLiteral("; ")) + QLatin1Char('\n');
        }
        // Rows of the further shop tables a step writes.
        if (s.tables.size() > 1) {
            const QString main = MainTable(s);
            for (auto it = s.tables.cbegin(); it != s.tables.cend(); ++it) {
                if (it.key() == main)
                    continue;
                QStringList parts;
                if (it.value().inserted)
                    parts << QStringLiteral("%1 neu").arg(it.value().inserted);
                if (it.value().updated)
                    parts << QStringLiteral("%1 geändert").arg(it.value().updated);
                if (it.value().deleted)
                    parts << QStringLiteral("%1 gelöscht").arg(it.value().deleted);
                if (!parts.isEmpty())
                    t += QStringLiteral("    %1 %2: %3\n")
                             .arg(main.isEmpty() ? QStringLiteral("im Shop") : QStringLiteral("außerdem im Shop"),
                                  ShopTableTitle(it.key()), parts.join(QStringLiteral(", ")));
            }
        }
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
    t += QStringLiteral("\ngelesen: Datensätze aus der Warenwirtschaft oder den Tabellendateien; neu, geändert, "
                        "gelöscht: Zeilen im Shop; abgelehnt: Anweisungen, die der Shop nicht ausgeführt hat.\n");
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
        if (!s.skipped.isEmpty()) {
            QJsonObject skipped;
            for (auto it = s.skipped.cbegin(); it != s.skipped.cend(); ++it)
                skipped[it.key()] = double(it.value());
            j[QStringLiteral("skipped")] = skipped;
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
