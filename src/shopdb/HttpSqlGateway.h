#pragma once
// The program's side of the gateway script on the shop's web server: request
// addresses, the SQL encoding, the answer grammar and the three result
// tables of the last query.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace mv {

class MemTable;
class GatewayTransport;

// Result tables of the last gateway query (process-wide; other windows read
// them after a query). All columns always hold the same number of cells.
extern QStringList GatewayColumnNames;
extern QStringList GatewayColumnTypes;
extern QVector<QStringList> GatewayCells;

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
// The raw request address (before GatewayUrl) from the settings. The
// database parameters are percent-encoded so that "&", "#" or "+" in a
// password reach the script intact.
QString GatewayAddress(GatewayRequest kind, const QString &sql, bool debug = false);

// --- the answer grammar (pure; fuzzed)
// "&#35;" in names and values stands for "#" (a "#" cannot appear raw).
QString GatewayDecodeValue(const QString &value);
// Statement answer: result 0 on a result mark, -10 without one, else the
// "error" entry. rowCount = the "row_count" entry or 0.
int ParseStatementAnswer(const QString &text, int &rowCount);
struct GatewayTables {
    QStringList names, types;
    QVector<QStringList> cells;
    void clear() { names.clear(); types.clear(); cells.clear(); }
};
// Query answer: fills the tables; rowCount = number of data records.
int ParseQueryAnswer(const QString &text, GatewayTables &tables, int &rowCount);
// Page lines joined as the answer text (line breaks CR LF).
QString JoinAnswerLines(const QStringList &lines);

// Field type and size of a type text.
struct GatewayFieldType { int type; int size; }; // type: FieldType as int
GatewayFieldType GatewayTypeOf(const QString &typeText);
// Builds a typed table (rows in reverse answer order, positioned on the
// first) from the tables; false when the table could not be built.
bool BuildGatewayTable(const GatewayTables &tables, MemTable &table);

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
    // Query request into the process-wide result tables.
    int GatewayQuery(const QString &sql, int &rowCount);
    // GatewayQuery plus the typed table; -11 when building it failed.
    int GatewayOpen(const QString &sql, int &rowCount, MemTable &table);
    int GatewayOpen(const QString &sql, MemTable &table) { int n = 0; return GatewayOpen(sql, n, table); }

    GatewayTransport &Transport();
    void SetTransport(GatewayTransport *t) { m_transport = t; }
    // Lines of the last page (the hidden memo of the main window).
    const QStringList &LastPage() const { return m_lastPage; }

private:
    GatewayTransport *m_transport = nullptr;
    QStringList m_lastPage;
};

// The process-wide gateway.
HttpSqlGateway &Gateway();

} // namespace mv
