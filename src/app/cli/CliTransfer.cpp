// marktvoll-cli transfer: the WaWi-to-shop transfer without windows, for a
// nightly job. Progress on stderr, the report on stdout (and as JSON).
#include "app/cli/CliCommand.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/FormatSettings.h"
#include "transfer/LastTransfer.h"
#include "transfer/RunLock.h"
#include "transfer/TransferProtocol.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferStep.h"
#include "transfer/UnattendedRun.h"
#include "wawi/WaWiDetect.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <csignal>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onSignal(int)
{
    g_interrupted = 1;
}

// Console hooks that also take Ctrl+C (or a job scheduler's SIGTERM) as STOP.
class CliTransferHooks : public mv::ConsoleUiHooks {
public:
    CliTransferHooks() : mv::ConsoleUiHooks(false) {}
    bool CancelRequested() override { return g_interrupted != 0 || mv::UiHooks::CancelRequested(); }
    void ProcessEvents() override
    {
        mv::ConsoleUiHooks::ProcessEvents();
        // No event loop runs around the transfer here: objects the network
        // layer let go of would otherwise pile up for the whole run.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

const char *kUsage =
    "transfer [--kinds LIST | --all-kinds] [--complete | --all | --since DATE[ TIME] | --since-last] "
    "[--no-pictures] [--rtf-html] [--dry-run] [--log-sql FILE] [--report FILE] [--one-by-one] "
    "[--compress | --no-compress]";

int usageError(const QString &message)
{
    mv::cli::err() << message << "\nAufruf: marktvoll-cli " << kUsage << Qt::endl;
    return 2;
}

// Kinds that read the WaWi (the others read only the program folder).
bool NeedsWaWi(const QString &kind)
{
    static const QStringList masterData = {QStringLiteral("versandarten"), QStringLiteral("zahlungsarten"),
                                           QStringLiteral("laender"),
                                           QStringLiteral("news"), QStringLiteral("faq"),
                                           QStringLiteral("newsletter")};
    return !masterData.contains(kind);
}

int runTransfer(const QStringList &argsIn)
{
    using namespace mv;
    QStringList args = argsIn;
    TransferOptions o;
    o.sinceDate = false;

    QString kindsText, sinceText, logSql, reportFile;
    const bool hasKinds = cli::takeOption(args, QStringLiteral("--kinds"), kindsText);
    const bool allKinds = cli::takeFlag(args, QStringLiteral("--all-kinds"));
    const bool complete = cli::takeFlag(args, QStringLiteral("--complete"));
    const bool all = cli::takeFlag(args, QStringLiteral("--all"));
    const bool sinceLast = cli::takeFlag(args, QStringLiteral("--since-last"));
    bool since = false;
    {
        const int i = args.indexOf(QStringLiteral("--since"));
        if (i >= 0) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("Nach --since fehlt das Datum."));
            sinceText = args.at(i + 1);
            args.remove(i, 2);
            // "--since 01.12.2026 18:30" as two arguments.
            static const QRegularExpression timeRe(QStringLiteral("^\\d{1,2}:\\d{2}(:\\d{2})?$"));
            if (i < args.size() && timeRe.match(args.at(i)).hasMatch()) {
                sinceText += QLatin1Char(' ') + args.at(i);
                args.removeAt(i);
            }
            since = true;
        }
    }
    o.pictures = !cli::takeFlag(args, QStringLiteral("--no-pictures"));
    o.rtfHtml = cli::takeFlag(args, QStringLiteral("--rtf-html"));
    o.dryRun = cli::takeFlag(args, QStringLiteral("--dry-run"));
    // One statement per round trip, for a shop whose server misbehaves with
    // batches (also ShopMod.ini "SQL_Einzeln=1").
    if (cli::takeFlag(args, QStringLiteral("--one-by-one")) || Settings().SQL_Einzeln != 0)
        o.batched = false;
    if (cli::takeFlag(args, QStringLiteral("--compress")))
        o.compress = 1;
    if (cli::takeFlag(args, QStringLiteral("--no-compress")))
        o.compress = o.compress == 1 ? -2 : 0;
    if (o.compress == -2)
        return usageError(QStringLiteral("--compress und --no-compress schließen sich aus."));
    const bool hasLog = cli::takeOption(args, QStringLiteral("--log-sql"), logSql);
    const bool hasReport = cli::takeOption(args, QStringLiteral("--report"), reportFile);
    if (!args.isEmpty())
        return usageError(QStringLiteral("Unbekannte Angabe: %1").arg(args.join(QLatin1Char(' '))));
    if (args.contains(QStringLiteral("--log-sql")) || (argsIn.contains(QStringLiteral("--log-sql")) && !hasLog))
        return usageError(QStringLiteral("Nach --log-sql fehlt der Dateiname."));
    if (argsIn.contains(QStringLiteral("--report")) && !hasReport)
        return usageError(QStringLiteral("Nach --report fehlt der Dateiname."));

    if (hasKinds == allKinds)
        return usageError(QStringLiteral("Bitte genau eine Angabe: --kinds LISTE oder --all-kinds."));
    if (allKinds) {
        for (const TransferKind &k : TransferKinds())
            o.kinds.insert(k.name);
    } else {
        QStringList unknown;
        for (const QString &part : kindsText.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString k = part.trimmed().toLower();
            if (IsTransferKind(k))
                o.kinds.insert(k);
            else
                unknown << part.trimmed();
        }
        if (!unknown.isEmpty() || o.kinds.isEmpty()) {
            QStringList known;
            for (const TransferKind &k : TransferKinds())
                known << k.name;
            return usageError(QStringLiteral("Unbekannte Datenart: %1\nBekannt sind: %2")
                                  .arg(unknown.isEmpty() ? kindsText : unknown.join(QStringLiteral(", ")),
                                       known.join(QStringLiteral(", "))));
        }
    }
    if (int(complete) + int(all) + int(since) + int(sinceLast) > 1)
        return usageError(QStringLiteral("--complete, --all, --since und --since-last schließen sich aus."));
    if (since) {
        const QStringList parts = sinceText.simplified().split(QLatin1Char(' '));
        const QDate d = TextToDate(parts.value(0));
        const QTime t = parts.size() > 1 ? TextToTime(parts.value(1)) : QTime(0, 0);
        if (!d.isValid() || !t.isValid() || parts.size() > 2)
            return usageError(QStringLiteral("Ungültiges Datum: %1 (erwartet TT.MM.JJJJ [HH:MM] oder JJJJ-MM-TT [HH:MM])")
                                  .arg(sinceText));
        o.sinceDate = true;
        o.date = d;
        o.time = t;
    }

    if (!cli::loadSettingsForCli())
        return 2;

    if (sinceLast) {
        const QDateTime last = ReadLastTransferEnd();
        if (last.isValid()) {
            o.sinceDate = true;
            o.date = last.date();
            o.time = last.time();
            cli::err() << "Änderungen seit dem letzten erfolgreichen Abgleich: "
                       << last.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) << Qt::endl;
        } else {
            o.allData = true;
            cli::err() << "Hinweis: Es ist noch kein erfolgreicher Abgleich gespeichert; es werden alle Daten übertragen."
                       << Qt::endl;
        }
    } else if (complete) {
        o.complete = true;
    } else if (all || !since) {
        // Without a date option a nightly job wants everything, not just today's changes.
        o.allData = true;
    }

    if (hasLog) {
        const QFileInfo fi(logSql);
        if (!QFileInfo(fi.absolutePath()).isDir())
            return usageError(QStringLiteral("Der Ordner für --log-sql fehlt: %1").arg(fi.absolutePath()));
        o.logSqlFile = logSql;
    }
    if (hasReport && !QFileInfo(QFileInfo(reportFile).absolutePath()).isDir())
        return usageError(QStringLiteral("Der Ordner für --report fehlt: %1").arg(QFileInfo(reportFile).absolutePath()));

    bool wawi = false;
    for (const QString &k : o.kinds)
        wawi = wawi || NeedsWaWi(k);
    if (wawi) {
        const WaWiDetectResult r = DetectWaWi(true, Settings().VLB_Programm);
        if (r != WaWiDetectResult::Found) {
            cli::err() << "Die Warenwirtschaft wurde nicht gefunden oder kann nicht geöffnet werden"
                       << (Settings().WaWiDir.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(Settings().WaWiDir))
                       << ". Bitte zuerst mit \"marktvoll-cli wawi\" einrichten." << Qt::endl;
            return 2;
        }
    }

    CliTransferHooks hooks;
    SetUiHooks(&hooks);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    // One line per step on stderr.
    int planned = 0;
    for (const TransferStepEntry &e : TransferStepTable())
        if (o.Has(e.kind))
            ++planned;
    int done = 0;
    TransferRun run;
    QObject::connect(&run, &TransferRun::stepStarted, [&](const QString &name) {
        const int total = planned + 1;
        cli::err() << "[" << QString::number(done * 100 / total).rightJustified(3) << " %] " << name << Qt::endl;
        ++done;
    });
    if (!run.Run(o)) {
        // Another run holds the program folder; its message is out already.
        SetUiHooks(nullptr);
        return kExitRunLocked;
    }
    SetUiHooks(nullptr);
    const TransferReport &report = run.LastReport();
    cli::err() << "[100 %] fertig" << Qt::endl;
    // Kept in protokolle/ like the window's runs; the window shows the last.
    if (!o.dryRun) {
        QString protocolError;
        const QString protocol = SaveTransferProtocol(UnattendedProtocol(report),
                                                      report.ended.isValid() ? report.ended : QDateTime::currentDateTime(),
                                                      &protocolError);
        if (protocol.isEmpty())
            cli::err() << "Protokoll nicht gespeichert: " << protocolError << Qt::endl;
        else
            cli::err() << "Protokoll gespeichert: " << QDir::toNativeSeparators(protocol) << Qt::endl;
    }

    cli::out() << report.toText();
    cli::out().flush();
    if (hasReport) {
        QSaveFile f(reportFile);
        const QByteArray json = QJsonDocument(report.toJson()).toJson(QJsonDocument::Indented);
        if (!f.open(QIODevice::WriteOnly) || f.write(json) != json.size() || !f.commit()) {
            cli::err() << "Der Bericht kann nicht geschrieben werden: " << reportFile << ": " << f.errorString() << Qt::endl;
            return std::max(1, report.ExitCode());
        }
    }
    return report.ExitCode();
}

const char kHelp[] =
    "  Der Datenbankabgleich wie im Fenster \"Warenwirtschaft in den Shop\", ohne Fenster (auch für den nächtlichen Lauf).\n"
    "  --kinds LISTE      kunden,lieferanten,interessenten,warengruppen,artikel,sonderpreise,zahlungsarten,\n"
    "                     versandarten,laender,news,faq,newsletter,adressen-holen; --all-kinds: alle\n"
    "  --complete         Shoptabellen zuerst leeren; --all: alles ohne Löschen (Vorgabe)\n"
    "  --since DATUM [ZEIT] nur Änderungen seit dann; --since-last: seit dem letzten erfolgreichen Abgleich\n"
    "  --no-pictures      ohne Bilder; --rtf-html: RTF-Texte als HTML\n"
    "  --dry-run          nichts schreiben, nur berichten, was geschähe\n"
    "  --log-sql DATEI    jede gesendete Anweisung, mit dem mariadb-Client wieder abspielbar\n"
    "  --report DATEI     den Bericht zusätzlich als JSON schreiben\n"
    "  --one-by-one       jede Anweisung einzeln senden (für einen Server, der Stapel nicht verträgt)\n"
    "  --compress, --no-compress  Kompression erzwingen oder abschalten (Vorgabe: nur zu einem anderen Rechner)\n"
    "  Exit-Status: 0 erfolgreich; 1 Fehler, abgelehnte Anweisungen oder gestoppt; 2 Shop nicht erreichbar,\n"
    "  Verbindung verloren oder falscher Aufruf; 3 ein anderer Abgleich läuft bereits.\n";

mv::cli::Register reg("transfer", kUsage, &runTransfer, kHelp);

} // namespace
