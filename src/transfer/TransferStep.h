#pragma once
// What a transfer step sees of its run: the options, the reference date,
// the three shop-query bundles, the one gate every statement passes, and
// the report of the step that is running.
//
// A step is a function void(TransferContext &) listed once in
// TransferSteps.cpp with its place in the run's order. It may throw: the
// run's guard turns the error into a "Systemfehler: " line and goes on with
// the next step.

#include "data/MemTable.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/StatementPipe.h"
#include "transfer/TransferRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace mv {

class MySqlConnection;

// The shop went away in the middle of a run (connection refused or lost,
// gateway unreachable): the step ends and no later step runs.
class ShopConnectionLost : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TransferContext {
public:
    TransferContext(TransferRun *run, const TransferOptions &options, TransferReport &report);
    ~TransferContext();
    TransferContext(const TransferContext &) = delete;
    TransferContext &operator=(const TransferContext &) = delete;

    const TransferOptions &Options() const { return m_options; }
    bool Complete() const { return m_options.complete; }      // CB_Einschraenkung
    bool AllData() const { return m_options.allData; }        // CB_alleDaten
    bool SinceDate() const { return m_options.sinceDate; }    // CB_abDatum
    bool Pictures() const { return m_options.pictures; }      // CB_Bilder
    bool RtfHtml() const { return m_options.rtfHtml; }        // RTFtoHTML
    // A dry run sends no writing statement (Execute sees to that) and a
    // step writes nothing into the WaWi or the program folder either.
    bool DryRun() const { return m_options.dryRun; }
    // Batched protocol: steps may read what they need once per step instead
    // of asking the shop per record. Off, every step sends exactly what the
    // one-by-one protocol sends.
    bool Batched() const { return m_options.batched; }
    QDate ReferenceDate() const { return m_refDate; }         // DateTimePicker1
    QDateTime ReferenceMoment() const { return m_refMoment; } // with DTP_Zeit

    // The stop request (AbortWait / the STOP button).
    bool Aborted() const;
    void ProcessEvents();

    // --- the shop. Every statement goes through these two.
    // A writing statement (INSERT, UPDATE, DELETE, ALTER, update scripts):
    // not sent in a dry run (result 0). A refused one is counted in the
    // step's report with the database's text. Throws ShopConnectionLost
    // when the shop is gone.
    int Execute(const QString &sql);
    // A writing statement whose result only counts: onDone gets the result
    // code. In direct mode it may still be under way when this returns (it
    // goes out on a connection of its own while the caller builds the next
    // one). Results are taken in the statements' order, at the latest by
    // the next Execute, Open, Count, Flush or the end of the step; a refused
    // one is reported as by Execute, a lost shop throws there.
    void ExecuteLater(const QString &sql, const std::function<void(int)> &onDone = {});
    // Waits for every statement of ExecuteLater and takes their results.
    void Flush();
    // A reading statement into a query bundle (sent also in a dry run).
    int Open(const QString &sql, TShopQuery &query);
    // First cell of a one-value query as a number (COUNT(*)); -1 on failure.
    qint64 Count(const QString &sql);

    TShopQuery &ProbeQuery() { return m_probe; }     // ClientDataSet_SQL
    TShopQuery &ListQuery() { return m_list; }       // ClientDataSet_SQL2
    TShopQuery &LookupQuery() { return m_lookup; }   // ClientDataSet1
    MemTable &Probe() { return *m_probe.ClientDataSet; }
    MemTable &List() { return *m_list.ClientDataSet; }
    MemTable &Lookup() { return *m_lookup.ClientDataSet; }

    // --- display
    void Status(const QString &text);             // LB_Status
    // ProgressBar1 = done * 100 / max(1, total - 1).
    void Progress(qint64 done, qint64 total);
    // A line of the window's log Memo1 (also into the step's messages).
    void Log(const QString &line);
    void Caption(const QString &text);
    void ShowDataset(const QString &page, Dataset *ds);
    void HideDataset(const QString &page);
    void ShowGroupTree(const GroupTree &tree);

    // The report of the running step (a scratch one between steps).
    TransferStepReport &Step() { return m_current ? *m_current : m_scratch; }

    // --- used by the run
    TransferStepReport &BeginStep(const QString &name, const QString &kind);
    void EndStep();
    bool ShopLost() const { return m_lost; }
    TransferRun *Run() const { return m_run; }

    // True for statements that change the shop (everything that is not a
    // SELECT/SHOW/DESCRIBE/EXPLAIN).
    static bool IsWritingStatement(const QString &sql);

    // Writing statements go out in batches (both modes) when the run is
    // batched; through the gateway only to a script that announces batches.
    bool BatchingDirect() const;
    bool BatchingGateway() const;

private:
    void logSql(const QString &sql);
    void countSql();
    void writeSqlLog(const QString &sql);
    // After STOP: true when a writing statement of the current record must
    // not go out (only a record whose statements are partly sent completes).
    bool dropAfterStop();
    void handleStop();
    struct Pending;
    // Gateway batches: the next one from the queue goes out (without
    // waiting where the road allows, after the one still under way).
    void sendGatewayBatch(bool wait);
    void finishGatewayInFlight();
    void sendGatewayNow(std::vector<Pending> &batch, size_t done);
    size_t takeGatewayAnswer(std::vector<Pending> &batch, size_t done, int rc,
                             const QVector<GatewayStatementResult> &res);
    [[noreturn]] void lostShop(const QString &error, qint64 unconfirmed);
    void refused(int code, const QString &sql, const QString &dbText);
    bool connectionError(int code, const MySqlConnection *conn) const;
    bool connectionError(int code, int errorNumber, bool connected) const;
    void takeResult(const StatementPipe::Result &r, bool mayThrow);
    void flush(bool mayThrow);

    struct Pending {
        quint64 id;
        QString sql;
        std::function<void(int)> onDone;
        qint64 record = 0;
        QString sent;   // the text as it went to the server, where it differs
    };
    std::unique_ptr<StatementPipe> m_pipe;
    std::deque<Pending> m_pending;
    // Gateway batches: the statements not yet sent, and the batch under way.
    std::deque<Pending> m_gwQueue;
    qsizetype m_gwQueueBytes = 0;
    std::vector<Pending> m_gwInFlight;
    std::shared_ptr<HttpSqlGateway::PendingBatch> m_gwCall;
    // Records of the step (counted by Progress), for STOP at a record boundary.
    qint64 m_record = 0;
    qint64 m_lastSentRecord = -1;
    qint64 m_stopRecord = -1;
    bool m_stopHandled = false;

    TransferRun *m_run;
    TransferOptions m_options;
    TransferReport &m_report;
    QDate m_refDate;
    QDateTime m_refMoment;
    MySqlConnection *m_conn = nullptr;
    MemTable m_probeTable, m_listTable, m_lookupTable;
    TShopQuery m_probe, m_list, m_lookup;
    TransferStepReport *m_current = nullptr;
    TransferStepReport m_scratch;
    QElapsedTimer m_stepTimer;
    QFile m_sqlLog;
    bool m_lost = false;
};

// One entry of the run's order.
struct TransferStepEntry {
    int order;                  // position in the run
    QString kind;               // TransferKind::name of the box that enables it
    QString name;               // name in the report
    std::function<void(TransferContext &)> run;
};
// All steps built so far, sorted by order.
QVector<TransferStepEntry> TransferStepTable();

} // namespace mv
