#include "transfer/TransferRun.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shopdb/ShopConnection.h"
#include "transfer/LastTransfer.h"
#include "transfer/PictureCleanup.h"
#include "transfer/RecordWriter.h"
#include "transfer/RunLock.h"
#include "transfer/ShopVersionCheck.h"
#include "transfer/TransferStep.h"
#include "wawi/WaWiBackup.h"
#include "wawi/WaWiWriteReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mv {

namespace {

struct KindEntry {
    TransferKind kind;
    int order;   // place of its step in the run
};

const QVector<KindEntry> &KindTable()
{
    static const QVector<KindEntry> t = {
        {{QStringLiteral("kunden"), QStringLiteral("CB_Kunden"), QStringLiteral("Kunden")}, 3},
        {{QStringLiteral("lieferanten"), QStringLiteral("CB_Lieferanten"), QStringLiteral("Lieferanten")}, 4},
        {{QStringLiteral("interessenten"), QStringLiteral("CB_Interessenten"), QStringLiteral("Interessenten")}, 5},
        {{QStringLiteral("warengruppen"), QStringLiteral("CB_Warengruppe"), QStringLiteral("Warengruppen")}, 8},
        {{QStringLiteral("artikel"), QStringLiteral("CB_Artikel"), QStringLiteral("Artikel")}, 9},
        {{QStringLiteral("sonderpreise"), QStringLiteral("CB_Sonderpreise"), QStringLiteral("Sonderpreise")}, 10},
        {{QStringLiteral("zahlungsarten"), QStringLiteral("CB_Zahlungsarten"), QStringLiteral("Zahlungsarten")}, 6},
        {{QStringLiteral("versandarten"), QStringLiteral("CB_Versandart"), QStringLiteral("Versandarten")}, 7},
        {{QStringLiteral("laender"), QStringLiteral("CB_Land"), QStringLiteral("Länder")}, 1},
        {{QStringLiteral("news"), QStringLiteral("CB_News"), QStringLiteral("News")}, 11},
        {{QStringLiteral("faq"), QStringLiteral("CB_FAQ"), QStringLiteral("FAQ")}, 12},
        {{QStringLiteral("newsletter"), QStringLiteral("CB_Newsletter"), QStringLiteral("Newsletteradressen")}, 13},
        {{QStringLiteral("adressen-holen"), QStringLiteral("CB_Adressen"), QStringLiteral("Adressänderungen aus dem Shop holen")}, 2},
    };
    return t;
}

} // namespace

const QVector<TransferKind> &TransferKinds()
{
    static const QVector<TransferKind> kinds = [] {
        QVector<TransferKind> k;
        for (const KindEntry &e : KindTable())
            k << e.kind;
        return k;
    }();
    return kinds;
}

QString KindOfBox(const QString &box)
{
    for (const TransferKind &k : TransferKinds())
        if (k.box == box)
            return k.name;
    return QString();
}

bool IsTransferKind(const QString &name)
{
    for (const TransferKind &k : TransferKinds())
        if (k.name == name)
            return true;
    return false;
}

QStringList &PictureList()
{
    static QStringList list;
    return list;
}

QString &TransferDateText()
{
    static QString text;
    return text;
}

TransferRun::TransferRun(QObject *parent) : QObject(parent) {}

TransferRun::~TransferRun() = default;

void TransferRun::Stop()
{
    Settings().AbortWait = true;
}

QDate TransferRun::ReferenceDate(const TransferOptions &o)
{
    if (o.allData)
        return QDate(1990, 1, 1);
    return o.date.isValid() ? o.date : QDate::currentDate();
}

QDateTime TransferRun::ReferenceMoment(const TransferOptions &o)
{
    return QDateTime(ReferenceDate(o), o.time.isValid() ? o.time : QTime(0, 0));
}

bool TransferRun::Run(const TransferOptions &options)
{
    if (m_running)
        return false;
    m_running = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_running};

    // One run per program folder across processes (the nightly timer, this
    // window, a manual call). A dry run writes nothing and takes no lock.
    m_lockMessage.clear();
    RunLock lock(Settings().ExeDir);
    if (!options.dryRun && !lock.Acquire(RunLock::DefaultWaitMs())) {
        m_lockMessage = lock.Message();
        Ui().ShowMessage(m_lockMessage, UiHooks::Icon::Warning);
        return false;
    }

    m_report = TransferReport();
    m_report.started = QDateTime::currentDateTime();
    m_report.dryRun = options.dryRun;
    m_report.mode = ShopConnection::GatewayMode() ? QStringLiteral("HTML-Verbindung") : QStringLiteral("direkt");
    m_report.referenceMoment = ReferenceMoment(options);
    if (options.complete)
        m_report.dateMode = QStringLiteral("komplette neue Datenübertragung (Shoptabellen werden zuerst geleert)");
    else if (options.allData)
        m_report.dateMode = QStringLiteral("alle Daten (ohne Zeitbeschränkung)");
    else if (options.sinceDate)
        m_report.dateMode = QStringLiteral("nur Änderungen seit dem %1")
                                .arg(m_report.referenceMoment.toString(QStringLiteral("dd.MM.yyyy HH:mm")));

    Shop().ErrorLog().Clear();
    Settings().AbortWait = false;
    emit started();
    Ui().StatusText(QStringLiteral("starte"));
    emit statusText(QStringLiteral("starte"));
    {
        BusyScope busy;
        Ui().ProcessEvents();
        EnsurePictureDir();
        if (!options.dryRun)
            BeginWaWiBackupRun();   // each WaWi table written is saved once per run
        if (options.pictures)
            PictureList().clear();

        std::unique_ptr<TransferContext> ctx;
        try {
            ctx = std::make_unique<TransferContext>(this, options, m_report);
        } catch (const std::exception &e) {
            TransferStepReport s;
            s.name = QStringLiteral("Vorbereitung");
            s.failed = true;
            s.messages << QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what());
            m_report.steps << s;
            m_report.errorLog << s.messages;
        }
        if (ctx) {
            ctx->BeginStep(QStringLiteral("Schemaprüfung"), QString());
            emit stepStarted(QStringLiteral("Schemaprüfung"));
            const bool ok = CheckShopVersion(*ctx);
            ctx->EndStep();
            m_report.reachable = ok;
            if (!ok) {
                Ui().ShowMessage(NoShopConnectionMessage(), UiHooks::Icon::Warning);
                emit sqlSettingsRequested();
            } else {
                runSteps(*ctx);
                if (!Cancelled() && options.pictures && !ctx->ShopLost())
                    copyPictures(*ctx);
            }
            m_report.shopLost = ctx->ShopLost() && ok;
        }
        m_report.stopped = Cancelled();
    }
    // The status lines and bars do not keep the last step's text.
    Ui().StatusText(QString());
    Ui().Progress(0, 0);
    emit statusText(QString());
    emit progress(0);
    emit messageListVisible(!Shop().ErrorLog().IsEmpty());
    if (!Cancelled() && options.pictures && !PictureList().isEmpty() && m_report.reachable && !options.dryRun)
        Ui().ShowMessage(QStringLiteral("Damit die Bilder auch Online zu sehen sind\rmüssen Sie diese via FTP auch übertragen.\r"
                                        "Benutzen Sie dazu die Funktion \"FTP-Bildübertragung\"."));
    emit messageListVisible(!Shop().ErrorLog().IsEmpty());
    m_report.ended = QDateTime::currentDateTime();
    if (m_report.Succeeded() && !options.dryRun) {
        QString err;
        if (!WriteLastTransferEnd(m_report.ended, &err))
            m_report.errorLog << QStringLiteral("Systemfehler: ") + err;
    }
    Ui().ShowMessage(QStringLiteral("fertig"));
    Settings().AbortWait = false;
    emit finished(m_report);
    return true;
}

void TransferRun::runSteps(TransferContext &ctx)
{
    const QVector<TransferStepEntry> table = TransferStepTable();
    QSet<QString> built;
    for (const TransferStepEntry &e : table)
        built << e.kind;

    // Ticked kinds in the run's order; those without a step yet are named in the report.
    struct Planned {
        int order;
        QString kind, name;
        const TransferStepEntry *entry;
    };
    QVector<Planned> plan;
    for (const TransferStepEntry &e : table)
        if (ctx.Options().Has(e.kind))
            plan.append({e.order, e.kind, e.name, &e});
    for (const KindEntry &k : KindTable())
        if (ctx.Options().Has(k.kind.name) && !built.contains(k.kind.name))
            plan.append({k.order, k.kind.name,
                         k.kind.name == QLatin1String("adressen-holen") ? QStringLiteral("Adressen holen") : k.kind.caption,
                         nullptr});
    std::stable_sort(plan.begin(), plan.end(), [](const Planned &a, const Planned &b) { return a.order < b.order; });

    for (const Planned &p : plan) {
        if (!p.entry) {
            TransferStepReport s;
            s.name = p.name;
            s.kind = p.kind;
            s.messages << QStringLiteral("in dieser Version noch nicht enthalten");
            m_report.steps << s;
            continue;
        }
        if (ctx.Aborted() || ctx.ShopLost()) {
            TransferStepReport s;
            s.name = p.name;
            s.kind = p.kind;
            s.messages << (ctx.ShopLost() ? QStringLiteral("nicht ausgeführt: keine Verbindung zum Shop")
                                          : QStringLiteral("nicht ausgeführt: abgebrochen (STOP)"));
            m_report.steps << s;
            continue;
        }
        emit stepStarted(p.name);
        ctx.BeginStep(p.name, p.kind);
        {
            // What the step's writes into the WaWi changed beyond what was
            // asked (texts cut or with "?"), refused locks and backups.
            WaWiWriteRecorder wawiWrites;
            try {
                p.entry->run(ctx);
            } catch (const std::exception &e) {
                ctx.Step().failed = true;
                ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
            } catch (...) {
                ctx.Step().failed = true;
                ctx.Log(QStringLiteral("Systemfehler: unbekannter Fehler"));
            }
            ctx.Step().messages << wawiWrites.Report().Lines();
        }
        if (ctx.Aborted())
            ctx.Step().stopped = true;
        ctx.EndStep();
    }
}

void TransferRun::copyPictures(TransferContext &ctx)
{
    // A dry run writes nothing into the program folder.
    if (ctx.DryRun())
        return;
    const QString dir = EnsurePictureDir();
    QDir().mkpath(dir);
    for (const QString &src : PictureList()) {
        ctx.ProcessEvents();
        const QString target = QDir(dir).filePath(PictureTargetName(src));
        // A picture that already lies in the folder is its own target.
        if (QFileInfo(src).canonicalFilePath() == QFileInfo(target).canonicalFilePath())
            continue;
        QFile::remove(target);
        if (!QFile::copy(src, target)) {
            const QString line = QStringLiteral("Systemfehler: Das Bild %1 kann nicht nach %2 kopiert werden.").arg(src, target);
            m_report.errorLog << line;
            emit logLine(line);
            break;
        }
    }
}

} // namespace mv
