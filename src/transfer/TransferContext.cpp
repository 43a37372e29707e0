#include "transfer/TransferStep.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "shopdb/MySqlConnection.h"

#include <QRegularExpression>

namespace mv {

namespace {

// Messages of one step are for reading, not for replaying: long statements
// (64 kB memos) are cut.
QString Shortened(const QString &sql)
{
    constexpr int kMax = 400;
    if (sql.size() <= kMax)
        return sql;
    return sql.left(kMax) + QStringLiteral(" … (%1 Zeichen)").arg(sql.size());
}

} // namespace

TransferContext::TransferContext(TransferRun *run, const TransferOptions &options, TransferReport &report)
    : m_run(run), m_options(options), m_report(report),
      m_refDate(TransferRun::ReferenceDate(options)),
      m_refMoment(TransferRun::ReferenceMoment(options))
{
    m_conn = new MySqlConnection();
    m_probe = {m_conn, &m_probeTable};
    m_list = {m_conn, &m_listTable};
    m_lookup = {m_conn, &m_lookupTable};
    if (!options.logSqlFile.isEmpty()) {
        m_sqlLog.setFileName(options.logSqlFile);
        if (!m_sqlLog.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2")
                                         .arg(options.logSqlFile, m_sqlLog.errorString())
                                         .toStdString());
        // Both connection modes read backslashes literally; a replay must too.
        m_sqlLog.write("SET SESSION sql_mode = TRIM(BOTH ',' FROM CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES'));\n");
    }
}

TransferContext::~TransferContext()
{
    flush(false);
    m_pipe.reset();
    // The queries' connection ends with the run (no timer outlives it).
    if (Shop().Ti_Connect2_Off().isActive())
        Shop().Ti_Connect2_OffTimer();
    delete m_conn;
    if (m_sqlLog.isOpen())
        m_sqlLog.close();
}

bool TransferContext::Aborted() const
{
    return Cancelled();
}

void TransferContext::ProcessEvents()
{
    Ui().ProcessEvents();
}

bool TransferContext::IsWritingStatement(const QString &sql)
{
    static const QRegularExpression lead(QStringLiteral("^[\\s(]*([A-Za-z]+)"));
    const auto m = lead.match(sql);
    if (!m.hasMatch())
        return !sql.trimmed().isEmpty();
    const QString word = m.captured(1).toUpper();
    return !(word == QLatin1String("SELECT") || word == QLatin1String("SHOW")
             || word == QLatin1String("DESCRIBE") || word == QLatin1String("DESC")
             || word == QLatin1String("EXPLAIN"));
}

void TransferContext::logSql(const QString &sql)
{
    ++Step().statements;
    if (!m_sqlLog.isOpen())
        return;
    // The shop's code page; the log replays into the same database.
    QByteArray line = sql.toUtf8();
    line += ";\n";
    m_sqlLog.write(line);
}

bool TransferContext::connectionError(int code, const MySqlConnection *conn) const
{
    // A request cut short by STOP is no lost shop.
    if (Aborted())
        return false;
    if (ShopConnection::GatewayMode())
        return code == -9;
    if (!conn)
        return false;
    return connectionError(code, conn->LastErrorNumber(), conn->Connected());
}

bool TransferContext::connectionError(int code, int n, bool connected) const
{
    if (Aborted() || code != -10)
        return false;
    // Client errors: cannot connect, server gone away, lost during query.
    return n == 2002 || n == 2003 || n == 2005 || n == 2006 || n == 2013 || n == 2055
        || (!connected && n != 1044 && n != 1045 && n != 1049);
}

void TransferContext::refused(int code, const QString &sql, const QString &dbText)
{
    TransferStepReport &r = Step();
    ++r.refused;
    QString line = QStringLiteral("Fehlernr:") + QString::number(code) + QLatin1Char(' ') + Shortened(sql);
    if (!dbText.isEmpty())
        line += QStringLiteral(" (") + dbText + QLatin1Char(')');
    // A step that fails on every record would fill the report; the count says the rest.
    constexpr int kMaxMessages = 50;
    if (r.messages.size() < kMaxMessages)
        r.messages << line;
    else if (r.messages.size() == kMaxMessages)
        r.messages << QStringLiteral("… weitere abgelehnte Anweisungen siehe Anzahl");
}

void TransferContext::ExecuteLater(const QString &sql, const std::function<void(int)> &onDone)
{
    if (sql.isEmpty() || (m_options.dryRun && IsWritingStatement(sql))) {
        if (onDone)
            onDone(0);
        return;
    }
    if (ShopConnection::GatewayMode()) {
        const int r = Execute(sql);
        if (onDone)
            onDone(r);
        return;
    }
    // Answers that came in meanwhile first: a refusal or a lost shop shows
    // up as close to its statement as it can.
    StatementPipe::Result r;
    if (m_pending.size() >= 64)
        while (m_pipe && m_pipe->TakeReady(r))
            takeResult(r, true);
    if (!m_pipe)
        m_pipe = std::make_unique<StatementPipe>(MySqlParams::fromSettings());
    logSql(sql);
    QString text = sql;
    if (text.contains(QChar(0xB4)))
        text.replace(QChar(0xB4), QLatin1String("&acute;"));
    m_pending.push_back({m_pipe->Send(text), text, onDone});
}

void TransferContext::takeResult(const StatementPipe::Result &r, bool mayThrow)
{
    if (m_pending.empty() || m_pending.front().id != r.id)
        return;
    const Pending p = std::move(m_pending.front());
    m_pending.pop_front();
    const int code = r.ok ? 0 : ShopResult::NoAnswer;
    if (!r.ok) {
        Shop().ErrorLog().Append(p.sql);
        refused(code, p.sql, r.error);
        if (connectionError(code, r.errorNumber, r.connected)) {
            m_lost = true;
            if (mayThrow) {
                // What is still under way was sent after the loss: it is not taken any more.
                m_pipe.reset();
                m_pending.clear();
                throw ShopConnectionLost(QStringLiteral("Die Verbindung zum Shop ist unterbrochen: %1")
                                             .arg(r.error.isEmpty() ? QStringLiteral("keine Antwort") : r.error)
                                             .toStdString());
            }
        }
    }
    if (p.onDone)
        p.onDone(code);
}

void TransferContext::flush(bool mayThrow)
{
    StatementPipe::Result r;
    while (m_pipe && !m_pending.empty() && m_pipe->TakeNext(r))
        takeResult(r, mayThrow);
}

void TransferContext::Flush()
{
    flush(true);
}

int TransferContext::Execute(const QString &sql)
{
    if (sql.isEmpty())
        return 0;
    if (m_options.dryRun && IsWritingStatement(sql))
        return 0;
    Flush();
    logSql(sql);
    const int result = Shop().ShopExecute(sql);
    if (result != 0) {
        refused(result, sql, Shop().LastErrorText());
        if (connectionError(result, &Shop().SQLConnection1())) {
            m_lost = true;
            throw ShopConnectionLost(QStringLiteral("Die Verbindung zum Shop ist unterbrochen: %1")
                                         .arg(Shop().LastErrorText().isEmpty() ? QStringLiteral("keine Antwort")
                                                                               : Shop().LastErrorText())
                                         .toStdString());
        }
    }
    return result;
}

int TransferContext::Open(const QString &sql, TShopQuery &query)
{
    if (m_options.dryRun && IsWritingStatement(sql))
        return 0;
    // A query sees every statement before it.
    Flush();
    logSql(sql);
    const int result = Shop().ShopOpen(sql, query);
    if (result != 0) {
        refused(result, sql, Shop().LastErrorText());
        if (connectionError(result, query.Connection)) {
            m_lost = true;
            throw ShopConnectionLost(QStringLiteral("Die Verbindung zum Shop ist unterbrochen: %1")
                                         .arg(Shop().LastErrorText().isEmpty() ? QStringLiteral("keine Antwort")
                                                                               : Shop().LastErrorText())
                                         .toStdString());
        }
    }
    return result;
}

qint64 TransferContext::Count(const QString &sql)
{
    if (Open(sql, m_lookup) != 0)
        return -1;
    MemTable &t = Lookup();
    if (!t.Active() || t.FieldCount() == 0 || t.RecordCount() == 0)
        return -1;
    t.First();
    return qint64(StrToFloatX(t.FieldAt(0)->AsString()));
}

void TransferContext::Status(const QString &text)
{
    Ui().StatusText(text);
    emit m_run->statusText(text);
}

void TransferContext::Progress(qint64 done, qint64 total)
{
    const int percent = int(done * 100 / std::max<qint64>(1, total - 1));
    Ui().Progress(percent, 100);
    emit m_run->progress(percent);
}

void TransferContext::Log(const QString &line)
{
    m_report.errorLog << line;
    Step().messages << line;
    emit m_run->logLine(line);
}

void TransferContext::Caption(const QString &text)
{
    emit m_run->captionChanged(text);
}

void TransferContext::ShowDataset(const QString &page, Dataset *ds)
{
    emit m_run->datasetOpened(page, ds);
}

void TransferContext::HideDataset(const QString &page)
{
    emit m_run->datasetClosed(page);
}

void TransferContext::ShowGroupTree(const GroupTree &tree)
{
    emit m_run->groupTreeBuilt(tree);
}

TransferStepReport &TransferContext::BeginStep(const QString &name, const QString &kind)
{
    EndStep();
    m_report.steps.append(TransferStepReport());
    m_current = &m_report.steps.last();
    m_current->name = name;
    m_current->kind = kind;
    m_current->ran = true;
    m_stepTimer.start();
    return *m_current;
}

void TransferContext::EndStep()
{
    if (!m_current)
        return;
    flush(false);
    m_current->elapsedMs = m_stepTimer.elapsed();
    if (m_sqlLog.isOpen())
        m_sqlLog.flush();
    m_current = nullptr;
}

} // namespace mv
