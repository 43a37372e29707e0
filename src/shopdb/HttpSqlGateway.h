#pragma once
// The program's side of the gateway script on the shop's web server: request
// addresses, the SQL encoding, the answer grammar and the three result
// tables of the last query.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

namespace mv {

class MemTable;
class GatewayTransport;

// Request counter of the cache-buster, 0 at start.
extern int UrlCounter;

// Encodes the SQL text of a request address (the gateway's own table of
// replacements; everything else passes unchanged).
QString UrlEncodeSql(const QString &sql);
// Whole seconds since 30.12.1899 00:00 of the given local time.
qint64 GatewaySeconds(const QDateTime &localTime = QDateTime::currentDateTime());
// Inserts the cache-buster "xxl" and encodes the SQL text; counts UrlCounter up.
QString GatewayUrl(const QString &address);

enum class GatewayRequest { Statement, Query };
// The raw request address (before GatewayUrl) from the settings: request
// kind, debug flag and SQL text. The access data never stand in it (the
// transport posts them).
QString GatewayAddress(GatewayRequest kind, const QString &sql, bool debug = false);

// --- the answer grammar (pure; fuzzed)
// "&#35;" in names and values stands for "#" (a "#" cannot appear raw).
QString GatewayDecodeValue(const QString &value);
// Statement answer: result 0 on a result mark, -10 without one, else the
// "error" entry. rowCount = the "row_count" entry or 0.
int ParseStatementAnswer(const QString &text, int &rowCount);
// Result tables of one query answer. All columns always hold the same
// number of cells. A null cell is one its record did not name (the
// script's NULL); an empty one was named with an empty value.
// The page-head mark of scripts that leave NULL cells out of their records.
inline constexpr char GatewayNullsUnnamedMeta[] = "<meta name=\"db_check\" content=\"nulls-unnamed\">";

struct GatewayTables {
    QStringList names, types;
    QVector<QStringList> cells;
    void clear() { names.clear(); types.clear(); cells.clear(); }
};
// Query answer: fills the tables; rowCount = number of data records.
// Answers of scripts that name every cell (NULL as an empty value) give
// null cells for every empty value.
int ParseQueryAnswer(const QString &text, GatewayTables &tables, int &rowCount);
// Page lines joined as the answer text (line breaks CR LF).
QString JoinAnswerLines(const QStringList &lines);
// The script's words for the error of an answer (the line after its
// "error" entry), empty when there are none.
QString GatewayErrorText(const QString &text);

// Field type and size of a type text.
struct GatewayFieldType { int type; int size; }; // type: FieldType as int
GatewayFieldType GatewayTypeOf(const QString &typeText);
// Builds a typed table (rows in reverse answer order, positioned on the
// first) from the tables; false when the table could not be built.
bool BuildGatewayTable(const GatewayTables &tables, MemTable &table);

// --- batches of statements
// What a script says in its page head about batches (the meta
// "db_check_batch"); batch false for scripts that do not.
struct GatewayBatchCaps {
    bool batch = false;
    bool gzip = false;          // reads a compressed batch ("batchz")
    qint64 postMaxSize = -1;    // bytes, 0 = no limit, -1 = not said
    int maxInputVars = 0;
    int maxExecutionTime = 0;   // seconds, 0 = no limit
};
// Parses the announcement in a page; `found` false when the page has no
// page head of the script at all (then the caps say nothing).
GatewayBatchCaps ParseBatchCaps(const QString &page, bool *found = nullptr);
// The posted form of a batch: "<bytes>:<text>," per statement.
QByteArray EncodeBatch(const QStringList &sql, const QByteArray &charset);
// One statement's part of a batch answer.
struct GatewayStatementResult {
    bool answered = false;      // the script ran it and said how it went
    int result = -10;           // 0 or the error number
    int rows = 0;
    QString error;              // the script's words for a refusal
};
// Reads a batch answer for n statements. Returns false when the page is
// no batch answer (a script-level error: every entry then holds it).
// `complete`: the closing mark came.
bool ParseBatchAnswer(const QString &text, int n, QVector<GatewayStatementResult> &out, bool &complete);

// The three gateway operations. The transport is the process-wide one
// unless another is set (tests).
class HttpSqlGateway : public QObject {
    Q_OBJECT
public:
    explicit HttpSqlGateway(QObject *parent = nullptr);
    ~HttpSqlGateway() override;

    // Statement request: 0, -10, -9 (form error) or the script's error number.
    int GatewayExecute(const QString &sql, int &rowCount);
    int GatewayExecute(const QString &sql) { int n = 0; return GatewayExecute(sql, n); }
    // Query request into the result tables.
    int GatewayQuery(const QString &sql, int &rowCount);
    // GatewayQuery plus the typed table; -11 when building it failed.
    int GatewayOpen(const QString &sql, int &rowCount, MemTable &table);
    int GatewayOpen(const QString &sql, MemTable &table) { int n = 0; return GatewayOpen(sql, n, table); }

    // A batch request: every statement gets its result in `out` (answered
    // false for those the script did not run). 0 when the answer was a batch
    // answer, else -10/-9 or the script's error number for the whole batch.
    int GatewayBatch(const QStringList &sql, QVector<GatewayStatementResult> &out, bool gzip);
    // The same, started without waiting (plain http only; nullptr when the
    // address needs the waiting road). FinishBatch waits for it; one at a time.
    struct PendingBatch;
    std::shared_ptr<PendingBatch> StartBatch(const QStringList &sql, bool gzip);
    int FinishBatch(PendingBatch &batch, QVector<GatewayStatementResult> &out);
    // What the script said of batches on the last page that had its head.
    const GatewayBatchCaps &BatchCaps() const { return m_caps; }
    void ResetBatchCaps() { m_caps = GatewayBatchCaps(); }

    GatewayTransport &Transport();
    void SetTransport(GatewayTransport *t) { m_transport = t; }
    // Lines of the last page (the hidden memo of the main window).
    const QStringList &LastPage() const { return m_lastPage; }

    // The result tables of the last query: emptied when a query starts,
    // filled from its answer; other windows read them after a query.
    const QStringList &GatewayColumnNames() const { return m_tables.names; }
    const QStringList &GatewayColumnTypes() const { return m_tables.types; }
    const QVector<QStringList> &GatewayCells() const { return m_tables.cells; }
    const GatewayTables &ResultTables() const { return m_tables; }
    void ClearResultTables() { m_tables.clear(); }

    // Why the last request failed, in words (the script's error text, the
    // transport's message); empty after a success.
    QString LastErrorText() const { return m_lastErrorText; }

signals:
    // A gateway page arrived (LastPage() holds it).
    void pageReceived();

private:
    void takePage(const QStringList &lines);
    int takeBatchAnswer(int fetch, const QStringList &lines, const QStringList &sql,
                        QVector<GatewayStatementResult> &out);
    GatewayTransport *m_transport = nullptr;
    QStringList m_lastPage;
    GatewayTables m_tables;
    QString m_lastErrorText;
    GatewayBatchCaps m_caps;
};

// The process-wide gateway.
HttpSqlGateway &Gateway();

} // namespace mv
