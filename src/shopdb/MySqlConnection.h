#pragma once
// A direct connection to the shop's MySQL database (Qt's QMYSQL driver).
// Every session reads backslashes literally (NO_BACKSLASH_ESCAPES), so text
// quoted by doubling apostrophes is always complete.

#include <QObject>
#include <QString>
#include <QVector>

#include "data/Dataset.h"

#include <memory>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace mv {

class MemTable;

struct MySqlParams {
    QString host;      // "host" or "host:port"
    QString user, password, database;
    QString ssl;       // SQL_SSL: "1", "0" or empty (encrypted unless local)
    // The client protocol's compression (pays on slow links only).
    bool compress = false;
    // From the settings: SQL_Host, SQL_User, SQL_Pass, SQL_Data.
    static MySqlParams fromSettings();
};

class MySqlConnection : public QObject {
    Q_OBJECT
public:
    explicit MySqlConnection(QObject *parent = nullptr);
    ~MySqlConnection() override;

    bool Connected() const;
    // Opens with the given values; false with LastError() on failure.
    bool Connect(const MySqlParams &p);
    void Disconnect();

    // A statement without rows.
    bool Execute(const QString &sql);

    // What one statement of a batch did. `sent` is false for a statement
    // the session never got to (the connection went away before it).
    struct StatementResult {
        bool sent = false;
        bool ok = false;
        qint64 rows = 0;
        QString error;
        int errorNumber = 0;
        bool connected = true;
    };
    // Writing statements, several per round trip (multi-statement packets),
    // in one transaction where none of them ends one itself. Every
    // statement is attempted in order and keeps its own result: the server
    // stops a packet at a refused statement, so the rest of it goes out
    // again. A statement that cannot be joined safely goes alone.
    void ExecuteBatch(const QStringList &sql, QVector<StatementResult> &results);
    // The length of a statement without a closing ";" and trailing blanks,
    // or -1 when it must not be joined with others (an open quote or
    // comment, a ";" inside, a DELIMITER line). Backslashes are literal, as
    // in every session of this program.
    static qsizetype JoinableLength(const QString &sql);
    // A query: all rows into table (typed fields, server order, positioned
    // on the first row).
    bool Query(const QString &sql, MemTable &table);
    // A query's first column as texts.
    bool FirstColumn(const QString &sql, QStringList &values);

    QString LastError() const { return m_lastError; }
    int LastErrorNumber() const { return m_lastErrorNumber; }
    QString ConnectionName() const { return m_name; }

    // Field definition for a server column (type id of the client library,
    // length in bytes as the driver reports it, Qt's value type).
    static FieldDef FieldFor(const QString &name, int mysqlType, int length, int metaTypeId);

private:
    // The statements of a batch in as few packets as they can go.
    void runBatch(const QStringList &sql, QVector<StatementResult> &results, bool stopOnDeadlock);
    bool beginCall(const QSqlDatabase &db);
    void setError(const QSqlError &e);
    // The statement query of the open session, kept between statements.
    QSqlQuery &statementQuery();
    QString m_name;
    std::unique_ptr<QSqlDatabase> m_db;
    std::unique_ptr<QSqlQuery> m_statement;
    QString m_lastError;
    int m_lastErrorNumber = 0;
};

// Splits "host:port" (port 0 when none).
void SplitHostPort(const QString &hostPort, QString &host, int &port);

} // namespace mv
