#include "shopdb/MySqlConnection.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/MemTable.h"
#include "shopdb/MySqlTls.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QRegularExpression>

namespace mv {

namespace {
// Type ids of the MySQL client library.
enum MyType {
    T_DECIMAL = 0, T_TINY = 1, T_SHORT = 2, T_LONG = 3, T_FLOAT = 4, T_DOUBLE = 5, T_NULL = 6,
    T_TIMESTAMP = 7, T_LONGLONG = 8, T_INT24 = 9, T_DATE = 10, T_TIME = 11, T_DATETIME = 12,
    T_YEAR = 13, T_NEWDATE = 14, T_VARCHAR = 15, T_BIT = 16, T_NEWDECIMAL = 246, T_ENUM = 247,
    T_SET = 248, T_TINY_BLOB = 249, T_MEDIUM_BLOB = 250, T_LONG_BLOB = 251, T_BLOB = 252,
    T_VAR_STRING = 253, T_STRING = 254, T_GEOMETRY = 255
};
QAtomicInt g_connectionNo;
}

MySqlParams MySqlParams::fromSettings()
{
    const ShopSettings &s = Settings();
    return {s.SQL_Host, s.SQL_User, s.SQL_Pass, s.SQL_Data, s.SQL_SSL};
}

void SplitHostPort(const QString &hostPort, QString &host, int &port)
{
    host = hostPort.trimmed();
    port = 0;
    const qsizetype c = host.lastIndexOf(QLatin1Char(':'));
    // One colon only: an IPv6 address keeps its colons.
    if (c > 0 && host.indexOf(QLatin1Char(':')) == c) {
        bool ok = false;
        const int p = host.mid(c + 1).toInt(&ok);
        if (ok && p > 0 && p < 65536) {
            port = p;
            host.truncate(c);
        }
    }
}

MySqlConnection::MySqlConnection(QObject *parent)
    : QObject(parent), m_name(QStringLiteral("mv_shop_%1").arg(g_connectionNo.fetchAndAddRelaxed(1)))
{
    // The handle is kept: looking it up by name takes a lock on every call.
    m_db = std::make_unique<QSqlDatabase>(QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_name));
}

MySqlConnection::~MySqlConnection()
{
    m_statement.reset();
    if (m_db->isOpen())
        m_db->close();
    m_db.reset();
    QSqlDatabase::removeDatabase(m_name);
}

bool MySqlConnection::Connected() const
{
    return m_db->isOpen();
}

QSqlQuery &MySqlConnection::statementQuery()
{
    if (!m_statement)
        m_statement = std::make_unique<QSqlQuery>(*m_db);
    return *m_statement;
}

bool MySqlConnection::beginCall(const QSqlDatabase &db)
{
    // Every call reports its own failure, never the one before it.
    m_lastError.clear();
    m_lastErrorNumber = 0;
    if (db.isOpen())
        return true;
    m_lastError = QStringLiteral("Keine Verbindung zur Datenbank!");
    return false;
}

void MySqlConnection::setError(const QSqlError &e)
{
    m_lastError = e.text().trimmed();
    if (m_lastError.isEmpty())
        m_lastError = QStringLiteral("Die Datenbank meldet einen Fehler ohne Text.");
    m_lastErrorNumber = e.nativeErrorCode().toInt();
}

bool MySqlConnection::Connect(const MySqlParams &p)
{
    m_statement.reset();
    QSqlDatabase &db = *m_db;
    if (db.isOpen())
        db.close();
    if (!db.isValid()) {
        m_lastError = QStringLiteral("Der MySQL-Treiber (QMYSQL) ist nicht installiert.");
        m_lastErrorNumber = 0;
        return false;
    }
    QString host;
    int port = 0;
    SplitHostPort(p.host, host, port);
    // The client library would take "localhost" as its local socket and
    // ignore the port.
    if (port > 0 && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        host = QStringLiteral("127.0.0.1");
    db.setHostName(host);
    db.setPort(port > 0 ? port : -1);
    db.setUserName(p.user);
    db.setPassword(p.password);
    db.setDatabaseName(p.database);
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=20"));
    // Leaving the machine the session is encrypted, to a checked
    // certificate, and never falls back to clear text (MySqlTls.h).
    const bool tls = MySqlTlsWanted(p.ssl, host);
    if (tls) {
        QString why;
        if (!ProbeMySqlTls(host, port, &why)) {
            m_lastError = why;
            m_lastErrorNumber = 0;
            return false;
        }
        db.setConnectOptions(db.connectOptions() + QLatin1Char(';') + MySqlTlsConnectOptions());
    }
    if (p.compress)
        db.setConnectOptions(db.connectOptions() + QStringLiteral(";CLIENT_COMPRESS"));
    if (!db.open()) {
        setError(db.lastError());
        return false;
    }
    if (tls) {
        QString why;
        if (!CheckSessionCipher(db, host, &why)) {
            db.close();
            m_lastError = why;
            m_lastErrorNumber = 0;
            return false;
        }
    }
    // Text quoted by doubling apostrophes must stay complete: a backslash
    // is an ordinary character in every statement of this session.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SET SESSION sql_mode = TRIM(BOTH ',' FROM CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES'))"))) {
        setError(q.lastError());
        db.close();
        return false;
    }
    m_lastError.clear();
    m_lastErrorNumber = 0;
    return true;
}

void MySqlConnection::Disconnect()
{
    m_statement.reset();
    if (m_db->isOpen())
        m_db->close();
}

bool MySqlConnection::Execute(const QString &sql)
{
    if (!beginCall(*m_db))
        return false;
    QSqlQuery &q = statementQuery();
    if (!q.exec(sql)) {
        setError(q.lastError());
        return false;
    }
    return true;
}

qsizetype MySqlConnection::JoinableLength(const QString &sql)
{
    const qsizetype n = sql.size();
    qsizetype end = 0;       // after the last character that counts
    bool closed = false;     // a ";" ended the statement
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (c.isSpace())
            continue;
        if (closed)
            return -1;       // something after a ";": two statements in one text
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
            // Quotes end at the next one that is not doubled.
            qsizetype j = i + 1;
            for (;; ++j) {
                if (j >= n)
                    return -1;
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) {
                        ++j;
                        continue;
                    }
                    break;
                }
            }
            i = j;
            end = i + 1;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            const qsizetype j = sql.indexOf(QLatin1String("*/"), i + 2);
            if (j < 0)
                return -1;
            i = j + 1;
            end = i + 1;
        } else if (c == QLatin1Char('#')
                   || (c == QLatin1Char('-') && i + 2 < n && sql.at(i + 1) == QLatin1Char('-')
                       && (sql.at(i + 2) == QLatin1Char(' ') || sql.at(i + 2) == QLatin1Char('\t')))) {
            const qsizetype j = sql.indexOf(QLatin1Char('\n'), i);
            if (j < 0)
                return -1;   // a comment up to the end would swallow the separator
            i = j;
        } else if (c == QLatin1Char(';')) {
            closed = true;
        } else {
            end = i + 1;
        }
    }
    if (end == 0)
        return -1;
    static const QRegularExpression delimiter(QStringLiteral("^\\s*delimiter\\s"), QRegularExpression::CaseInsensitiveOption);
    if (delimiter.match(sql).hasMatch())
        return -1;
    return end;
}

void MySqlConnection::runBatch(const QStringList &sql, QVector<StatementResult> &results, bool stopOnDeadlock)
{
    const qsizetype n = sql.size();
    results.clear();
    results.resize(n);
    qsizetype i = 0;
    while (i < n) {
        if (!beginCall(*m_db)) {
            for (qsizetype k = i; k < n; ++k) {
                results[k].error = m_lastError;
                results[k].connected = false;
            }
            return;
        }
        // A run of joinable statements in one packet, else one alone.
        qsizetype end = i;
        QString text;
        const qsizetype first = JoinableLength(sql.at(i));
        if (first < 0) {
            text = sql.at(i);
            end = i + 1;
        } else {
            qsizetype bytes = 0;
            for (; end < n; ++end) {
                const qsizetype len = end == i ? first : JoinableLength(sql.at(end));
                if (len < 0)
                    break;
                // Well inside the server's packet limit (16 MB by default).
                if (end > i && bytes + len > 4 * 1024 * 1024)
                    break;
                if (end > i)
                    text += QLatin1String("\n;\n");
                text += QStringView(sql.at(end)).left(len);
                bytes += len;
            }
        }
        QSqlQuery &q = statementQuery();
        bool ok = q.exec(text);
        qsizetype j = i;
        for (;;) {
            StatementResult &r = results[j];
            r.sent = true;
            if (ok) {
                r.ok = true;
                r.rows = std::max(0, q.numRowsAffected());
            } else {
                QSqlError e = q.lastError();
                // The same words as for a statement sent alone.
                if (e.driverText().contains(QLatin1String("next query")))
                    e = QSqlError(QStringLiteral("QMYSQL: Unable to execute query"), e.databaseText(), e.type(),
                                  e.nativeErrorCode());
                setError(e);
                r.error = m_lastError;
                r.errorNumber = m_lastErrorNumber;
                r.connected = m_db->isOpen();
            }
            ++j;
            if (!ok || j >= end)
                break;
            ok = q.nextResult();
            if (!ok && !q.lastError().isValid()) {
                // Fewer answers than statements: the rest goes out again.
                break;
            }
        }
        const StatementResult &last = results[j - 1];
        // A deadlock undid the transaction: the caller runs it again.
        if (!last.ok && last.errorNumber == 1213 && stopOnDeadlock)
            return;
        if (!last.ok && (last.errorNumber == 2006 || last.errorNumber == 2013 || last.errorNumber == 2055)) {
            // The session is gone: nothing after it is sent.
            for (qsizetype k = j; k < n; ++k) {
                results[k].error = last.error;
                results[k].errorNumber = last.errorNumber;
                results[k].connected = false;
            }
            return;
        }
        i = j;
    }
}

namespace {

// Statements that end a transaction themselves (or need none).
bool EndsTransaction(const QString &sql)
{
    static const QRegularExpression re(
        QStringLiteral("^[\\s(]*(ALTER|CREATE|DROP|TRUNCATE|RENAME|LOCK|UNLOCK|GRANT|REVOKE|START|BEGIN|COMMIT|ROLLBACK|SET|XA|"
                       "SAVEPOINT|RELEASE|LOAD|FLUSH|OPTIMIZE|ANALYZE|REPAIR|INSTALL|UNINSTALL)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return re.match(sql).hasMatch();
}

bool Gone(int errorNumber)
{
    return errorNumber == 2006 || errorNumber == 2013 || errorNumber == 2055;
}

} // namespace

void MySqlConnection::ExecuteBatch(const QStringList &sql, QVector<StatementResult> &results)
{
    // One transaction per batch: the server writes its log once, not once
    // per statement. A refused statement undoes only itself; a deadlock
    // undoes the whole transaction, which then runs again.
    bool useTx = sql.size() > 1;
    for (const QString &s : sql)
        if (EndsTransaction(s))
            useTx = false;
    if (!useTx) {
        runBatch(sql, results, false);
        return;
    }
    for (int attempt = 0;; ++attempt) {
        if (!Execute(QStringLiteral("START TRANSACTION"))) {
            runBatch(sql, results, false);
            return;
        }
        runBatch(sql, results, true);
        bool deadlock = false, gone = false;
        QString goneText;
        int goneNumber = 0;
        for (const StatementResult &r : results) {
            deadlock = deadlock || (!r.ok && r.errorNumber == 1213);
            if (!r.ok && (Gone(r.errorNumber) || !r.connected) && !gone) {
                gone = true;
                goneText = r.error;
                goneNumber = r.errorNumber;
            }
        }
        if (gone) {
            // The open transaction went with the session: nothing of it is confirmed.
            for (StatementResult &r : results) {
                r.ok = false;
                r.error = goneText;
                r.errorNumber = goneNumber;
                r.connected = false;
            }
            return;
        }
        if (deadlock) {
            Execute(QStringLiteral("ROLLBACK"));
            if (attempt < 2)
                continue;
            // Still a deadlock: statement by statement, as without batches.
            runBatch(sql, results, false);
            return;
        }
        if (!Execute(QStringLiteral("COMMIT"))) {
            for (StatementResult &r : results) {
                if (!r.ok)
                    continue;
                r.ok = false;
                r.error = m_lastError;
                r.errorNumber = m_lastErrorNumber;
                r.connected = !Gone(m_lastErrorNumber);
            }
        }
        return;
    }
}

FieldDef MySqlConnection::FieldFor(const QString &name, int type, int length, int metaTypeId)
{
    FieldDef d;
    d.name = name;
    // The client talks utf8mb4: lengths of text columns come in bytes, four per character.
    const bool text = metaTypeId == QMetaType::QString;
    const int chars = text ? length / 4 : length;
    // The same kinds the gateway script reports for these columns. An
    // unsigned INT reaches 2^32 - 1 and every BIGINT needs 64 bits,
    // whatever display width the column was declared with.
    const bool isUnsigned = metaTypeId == QMetaType::UInt || metaTypeId == QMetaType::ULongLong;
    switch (type) {
    case T_TINY: case T_SHORT: case T_INT24: case T_BIT:
        d.type = FieldType::Integer;
        break;
    case T_LONG:
        d.type = isUnsigned ? FieldType::LargeInt : FieldType::Integer;
        break;
    case T_LONGLONG:
        d.type = FieldType::LargeInt;
        break;
    case T_DECIMAL: case T_NEWDECIMAL: case T_FLOAT: case T_DOUBLE:
        d.type = FieldType::Float;
        break;
    case T_DATE: case T_NEWDATE:
        d.type = FieldType::Date;
        break;
    case 245: case T_TINY_BLOB: case T_MEDIUM_BLOB: case T_LONG_BLOB: case T_BLOB:
        d.type = FieldType::Memo;
        break;
    case T_TIMESTAMP:
        d.type = FieldType::String;
        d.size = length > 0 && length <= 65535 ? length : 255;
        break;
    case T_VARCHAR: case T_ENUM: case T_SET: case T_VAR_STRING: case T_STRING:
        d.type = FieldType::String;
        d.size = chars > 0 && chars <= 65535 ? chars : 255;
        break;
    default: // DATETIME, TIME, YEAR, NULL, GEOMETRY: text
        d.type = FieldType::String;
        d.size = 255;
        break;
    }
    return d;
}

static QVariant valueFor(const FieldDef &d, const QVariant &v)
{
    switch (d.type) {
    case FieldType::Integer:
        return v.toInt();
    case FieldType::LargeInt: {
        // An unsigned BIGINT above the signed range has no 64-bit value:
        // no value rather than a wrapped, negative one.
        bool ok = false;
        const qint64 n = v.metaType().id() == QMetaType::ULongLong && v.toULongLong() > quint64(INT64_MAX)
                             ? 0 : v.toLongLong(&ok);
        return ok ? QVariant(n) : QVariant();
    }
    case FieldType::Float:
        return v.toDouble();
    case FieldType::Date: {
        const QDate date = v.toDate();
        return date.isValid() ? QVariant(date) : QVariant();
    }
    default:
        break;
    }
    switch (v.metaType().id()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.isValid() ? QVariant(dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) : QVariant(QStringLiteral("0000-00-00 00:00:00"));
    }
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QByteArray:
        return FromAnsi(v.toByteArray());
    default:
        return v.toString();
    }
}

bool MySqlConnection::Query(const QString &sql, MemTable &table)
{
    const QSqlDatabase &db = *m_db;
    if (!beginCall(db))
        return false;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql)) {
        setError(q.lastError());
        return false;
    }
    const QSqlRecord rec = q.record();
    QVector<FieldDef> defs;
    for (int i = 0; i < rec.count(); ++i) {
        const QSqlField f = rec.field(i);
        FieldDef d = FieldFor(f.name(), f.typeID(), f.length(), f.metaType().id());
        if (d.name.isEmpty())
            d.name = QStringLiteral("Feld%1").arg(i + 1);
        for (const FieldDef &o : defs)
            if (o.name.compare(d.name, Qt::CaseInsensitive) == 0) {
                d.name += QStringLiteral("_%1").arg(i + 1);
                break;
            }
        defs.append(d);
    }
    table.Close();
    table.CreateDataSet(defs);
    const int n = int(defs.size());
    while (q.next()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            if (!q.isNull(i))
                row[i] = valueFor(defs.at(i), q.value(i));
        table.AppendRawRow(std::move(row));
    }
    if (q.lastError().isValid()) {
        setError(q.lastError());
        return false;
    }
    table.RawRowsDone();
    table.First();
    return true;
}

bool MySqlConnection::FirstColumn(const QString &sql, QStringList &values)
{
    values.clear();
    const QSqlDatabase &db = *m_db;
    if (!beginCall(db))
        return false;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql)) {
        setError(q.lastError());
        return false;
    }
    while (q.next())
        values.append(q.value(0).toString());
    return true;
}

} // namespace mv
