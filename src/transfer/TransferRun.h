#pragma once
// One run of the WaWi-to-shop transfer, without widgets: the window
// TFM_WaWiShop and "marktvoll-cli transfer" both drive it. The run checks
// the shop schema, calls the registered steps in their fixed order, copies
// the collected pictures and hands back a report of what it did.

#include "transfer/GroupTree.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVector>

#include <memory>

namespace mv {

class Dataset;
class TransferContext;

// The data kinds a user can tick: name = the caption's word in lower case
// (used by the command-line tool and the report), box = component name of
// the check box in the window, caption = the box's caption.
struct TransferKind {
    QString name;
    QString box;
    QString caption;
};
// In the window's order (Kunden .. Adressänderungen).
const QVector<TransferKind> &TransferKinds();
// "" when unknown.
QString KindOfBox(const QString &box);
bool IsTransferKind(const QString &name);

struct TransferOptions {
    QSet<QString> kinds;        // TransferKind::name of every ticked box
    // The three exclusive date options (all three may be unchecked).
    bool complete = false;      // CB_Einschraenkung: empty the shop tables first
    bool allData = false;       // CB_alleDaten: reference date 1990-01-01
    bool sinceDate = true;      // CB_abDatum: only changes since date/time
    QDate date = QDate::currentDate();   // DateTimePicker2
    QTime time = QTime(0, 0);            // DTP_Zeit
    bool pictures = true;       // CB_Bilder
    bool rtfHtml = false;       // RTFtoHTML
    // No writing statement is sent and nothing is written into the WaWi or
    // the program folder; the report says what a real run would do.
    bool dryRun = false;
    // Every statement sent, in order, is appended to this file.
    QString logSqlFile;
    // Writes go out in batches and steps read the shop in bulk; off = the
    // one-by-one protocol (one statement per round trip, reads per record).
    bool batched = true;
    // Compression of what is sent: -1 where it pays (a gateway script that
    // reads compressed batches on a shop that is not on this computer), 0
    // off, 1 on (also the direct connection's protocol compression).
    int compress = -1;

    bool Has(const QString &kind) const { return kinds.contains(kind); }
};

// What one step (or the schema check) did.
struct TransferStepReport {
    QString name;               // shown name, e.g. "Länder"
    QString kind;               // TransferKind::name ("" for the schema check)
    bool ran = false;
    bool failed = false;        // a "Systemfehler" ended it
    bool stopped = false;       // STOP ended it early
    qint64 read = 0;            // records read from the WaWi or a table file
    qint64 inserted = 0, updated = 0, deleted = 0;
    qint64 refused = 0;         // statements the shop refused
    qint64 statements = 0;      // statements sent (reads and writes)
    // The shop went away during this step; statements sent whose outcome
    // never came back (they may or may not have run).
    bool lost = false;
    qint64 unconfirmed = 0;
    QStringList messages;       // refused statements with the database's text, "Systemfehler: " lines
    qint64 elapsedMs = 0;
    // Rows per shop table, for steps that write more than one table.
    struct TableCounts {
        qint64 inserted = 0, updated = 0, deleted = 0;
    };
    QMap<QString, TableCounts> tables;
    // Further figures of a step under their German names ("geholt",
    // "umnummeriert" ...), shown as they are.
    QMap<QString, qint64> counts;
    // Records read but not written, by the reason in the shop owner's
    // words ("nicht online (im Shop gelöscht)" ...): read = new + changed
    // + these + those the shop refused.
    QMap<QString, qint64> skipped;
    void Skipped(const QString &reason, qint64 n = 1) { skipped[reason] += n; }
    void Inserted(const QString &table, qint64 n = 1) { inserted += n; tables[table].inserted += n; }
    void Updated(const QString &table, qint64 n = 1) { updated += n; tables[table].updated += n; }
    void Deleted(const QString &table, qint64 n = 1) { deleted += n; tables[table].deleted += n; }
};

struct TransferReport {
    QDateTime started, ended;
    bool dryRun = false;
    bool reachable = false;     // the schema check let the run go on
    bool stopped = false;       // STOP was pressed
    bool shopLost = false;      // the shop went away during the run
    QString mode;               // "direkt" or "HTML-Verbindung"
    QDateTime referenceMoment;  // date and time the run compared with
    QString dateMode;           // the date option in words
    QVector<TransferStepReport> steps;   // the schema check first, then the steps that ran
    QStringList errorLog;       // the window's log (Memo1)

    qint64 TotalRefused() const;
    bool AnyFailed() const;
    // All steps ran, nothing refused, not stopped, shop reachable.
    bool Succeeded() const;
    // 0 success, 1 a step failed or statements were refused (or stopped),
    // 2 the shop could not be reached or the schema check refused it.
    int ExitCode() const;
    QString toText() const;
    QJsonObject toJson() const;
};

// Program-wide state of the transfer (WaWiEdition lives in wawi/WaWiDetect.h).
QStringList &PictureList();       // full paths of the pictures collected
QString &TransferDateText();      // date the window shows when it opens

class TransferRun : public QObject {
    Q_OBJECT
public:
    explicit TransferRun(QObject *parent = nullptr);
    ~TransferRun() override;

    // Performs one run (Action_StartExecute). Returns false without doing
    // anything when a run is already in progress, here or in another
    // process on the same program folder (LockMessage() says which);
    // otherwise true, the outcome is in LastReport().
    bool Run(const TransferOptions &options);
    // Why the last Run() gave way to another run ("" when it did not).
    QString LockMessage() const { return m_lockMessage; }
    bool IsRunning() const { return m_running; }
    // STOP (BitBtn1Click): the running step ends at its next record.
    void Stop();
    const TransferReport &LastReport() const { return m_report; }

    // The effective reference date (DateTimePicker1) and moment (with the
    // time of DTP_Zeit) of the given options.
    static QDate ReferenceDate(const TransferOptions &options);
    static QDateTime ReferenceMoment(const TransferOptions &options);

    // The window's log Memo1 of the last run ("Systemfehler: " lines).
    const QStringList &ErrorLog() const { return m_report.errorLog; }

signals:
    void started();
    void stepStarted(const QString &name);
    void statusText(const QString &text);       // LB_Status
    void progress(int percent);                 // ProgressBar1
    void logLine(const QString &line);          // a line appended to Memo1
    void captionChanged(const QString &caption);// window caption (schema update)
    // A step shows what it walks through: page "Adressen" or "Artikel"
    // with the WaWi table (valid until datasetClosed), or the group tree.
    void datasetOpened(const QString &page, mv::Dataset *dataset);
    void datasetClosed(const QString &page);
    // The product-group tree a step built (TreeView1); valid during the call.
    void groupTreeBuilt(const mv::GroupTree &tree);
    // Action_SQLServerCFG of the main window is due (shop not reachable).
    void sqlSettingsRequested();
    // Show (true) or hide the main window's message list.
    void messageListVisible(bool visible);
    void finished(const mv::TransferReport &report);

private:
    friend class TransferContext;
    void runSteps(TransferContext &ctx);
    void copyPictures(TransferContext &ctx);

    bool m_running = false;
    TransferReport m_report;
    QString m_lockMessage;
};

} // namespace mv
