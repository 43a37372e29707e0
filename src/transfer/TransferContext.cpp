#include "transfer/TransferStep.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/MySqlTls.h"

#include <QUrl>

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

void TransferContext::countSql()
{
    ++Step().statements;
}

void TransferContext::writeSqlLog(const QString &sql)
{
    if (!m_sqlLog.isOpen())
        return;
    // The shop's code page; the log replays into the same database.
    QByteArray line = sql.toUtf8();
    line += ";\n";
    m_sqlLog.write(line);
}

void TransferContext::logSql(const QString &sql)
{
    countSql();
    writeSqlLog(sql);
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

namespace {

// A gateway request that failed as a whole without a usable answer, or
// whose script could not reach the database server: the shop is gone.
bool GatewayGone(int code)
{
    return code == ShopResult::NoAnswer || code == ShopResult::GatewayFailed || code == 2002 || code == 2003
        || code == 2005 || code == 2006 || code == 2013;
}

QString GatewayWords(int code, const QString &words)
{
    return words.isEmpty() ? QStringLiteral("Das Gateway-Skript meldet den Fehler %1.").arg(code) : words;
}

bool OnLoopback(const QString &hostOrUrl)
{
    return IsLocalDbHost(hostOrUrl.contains(QLatin1String("://")) ? QUrl(hostOrUrl).host() : hostOrUrl);
}

// Compression pays on a slow link, not on this computer: -1 decides by
// the host, 0 and 1 are the user's choice.
bool Compressed(int option, const QString &hostOrUrl)
{
    return option == 1 || (option < 0 && !OnLoopback(hostOrUrl));
}

qsizetype GatewayBatchBytes(const GatewayBatchCaps &caps)
{
    // The body is form-encoded (up to three bytes per character) and must
    // stay under post_max_size and under the 1 MB a web server in front of
    // PHP takes by default (nginx), which no script can report.
    constexpr qint64 kFront = 256 * 1024;
    if (caps.postMaxSize <= 0)
        return kFront;
    return std::clamp<qint64>(caps.postMaxSize / 4 - 8192, 8192, kFront);
}

constexpr size_t kGatewayBatchStatements = 1000;

} // namespace

bool TransferContext::BatchingDirect() const
{
    return m_options.batched && !ShopConnection::GatewayMode();
}

bool TransferContext::BatchingGateway() const
{
    return m_options.batched && ShopConnection::GatewayMode() && Gateway().BatchCaps().batch;
}

void TransferContext::lostShop(const QString &error, qint64 unconfirmed)
{
    m_lost = true;
    Step().lost = true;
    Step().unconfirmed += unconfirmed;
    throw ShopConnectionLost(QStringLiteral("Die Verbindung zum Shop ist unterbrochen: %1")
                                 .arg(error.isEmpty() ? QStringLiteral("keine Antwort") : error)
                                 .toStdString());
}

bool TransferContext::dropAfterStop()
{
    if (!Aborted())
        return false;
    if (!m_stopHandled)
        handleStop();
    return m_record != m_stopRecord;
}

void TransferContext::handleStop()
{
    m_stopHandled = true;
    qint64 sent = m_lastSentRecord;
    std::vector<Pending> dropped;
    if (m_pipe) {
        qint64 lastTag = -1;
        const std::vector<quint64> ids = m_pipe->DropUnstarted(lastTag);
        sent = std::max(sent, lastTag);
        // The dropped ones are the last queued.
        for (size_t i = 0; i < ids.size() && !m_pending.empty(); ++i) {
            dropped.insert(dropped.begin(), std::move(m_pending.back()));
            m_pending.pop_back();
        }
        // What is under way completes and counts.
        StatementPipe::Result r;
        while (m_pipe && !m_pending.empty() && m_pipe->TakeNext(r))
            takeResult(r, true);
    }
    // The gateway batch under way completes and counts.
    finishGatewayInFlight();
    sent = std::max(sent, m_lastSentRecord);
    // Of the gateway's queue only the rest of a record already partly sent goes.
    m_stopRecord = sent;
    std::deque<Pending> keep;
    for (Pending &p : m_gwQueue) {
        if (p.record == sent)
            keep.push_back(std::move(p));
        else
            dropped.push_back(std::move(p));
    }
    m_gwQueue.swap(keep);
    m_gwQueueBytes = 0;
    for (const Pending &p : m_gwQueue)
        m_gwQueueBytes += p.sql.size();
    while (!m_gwQueue.empty())
        sendGatewayBatch(true);
    // Not sent: no result, nothing refused.
    for (const Pending &p : dropped)
        if (p.onDone)
            p.onDone(ShopResult::NoAnswer);
}

void TransferContext::ExecuteLater(const QString &sql, const std::function<void(int)> &onDone)
{
    if (sql.isEmpty() || (m_options.dryRun && IsWritingStatement(sql))) {
        if (onDone)
            onDone(0);
        return;
    }
    if (ShopConnection::GatewayMode() && !BatchingGateway()) {
        const int r = Execute(sql);
        if (onDone)
            onDone(r);
        return;
    }
    if (dropAfterStop()) {
        if (onDone)
            onDone(ShopResult::NoAnswer);
        return;
    }
    if (ShopConnection::GatewayMode()) {
        m_gwQueue.push_back({0, sql, onDone, m_record});
        m_gwQueueBytes += sql.size();
        // Full batches go at once, while the next one is built; the rest
        // waits for the next read or the step's end.
        if (m_gwQueue.size() >= kGatewayBatchStatements || m_gwQueueBytes >= GatewayBatchBytes(Gateway().BatchCaps()))
            sendGatewayBatch(false);
        return;
    }
    // Answers that came in meanwhile first: a refusal or a lost shop shows
    // up as close to its statement as it can.
    StatementPipe::Result r;
    if (m_pending.size() >= 64)
        while (m_pipe && m_pipe->TakeReady(r))
            takeResult(r, true);
    if (!m_pipe) {
        MySqlParams params = MySqlParams::fromSettings();
        // Compressed where it pays: a database server on another computer.
        params.compress = Compressed(m_options.compress, params.host);
        if (BatchingDirect()) {
            StatementPipe::Limits limits;
            limits.batched = true;
            m_pipe = std::make_unique<StatementPipe>(params, limits);
        } else {
            m_pipe = std::make_unique<StatementPipe>(params);
        }
    }
    QString text = sql;
    if (text.contains(QChar(0xB4)))
        text.replace(QChar(0xB4), QLatin1String("&acute;"));
    m_pending.push_back({m_pipe->Send(text, m_record), sql, onDone, m_record, text});
}


void TransferContext::sendGatewayBatch(bool wait)
{
    finishGatewayInFlight();
    const GatewayBatchCaps caps = Gateway().BatchCaps();
    const qsizetype maxBytes = GatewayBatchBytes(caps);
    std::vector<Pending> batch;
    qsizetype bytes = 0;
    while (!m_gwQueue.empty() && batch.size() < kGatewayBatchStatements
           && (batch.empty() || bytes + m_gwQueue.front().sql.size() <= maxBytes)) {
        bytes += m_gwQueue.front().sql.size();
        batch.push_back(std::move(m_gwQueue.front()));
        m_gwQueue.pop_front();
    }
    m_gwQueueBytes -= bytes;
    if (batch.empty())
        return;
    m_lastSentRecord = std::max(m_lastSentRecord, batch.back().record);
    if (!wait) {
        // Compressed where it pays: a shop on another computer.
        const bool gzip = caps.gzip && Compressed(m_options.compress, Settings().SQL_HTTP);
        QStringList sql;
        for (const Pending &p : batch)
            sql << p.sql;
        m_gwCall = Gateway().StartBatch(sql, gzip);
        if (m_gwCall) {
            m_gwInFlight = std::move(batch);
            return;
        }
    }
    sendGatewayNow(batch, 0);
}

void TransferContext::finishGatewayInFlight()
{
    if (!m_gwCall)
        return;
    const std::shared_ptr<HttpSqlGateway::PendingBatch> call = std::move(m_gwCall);
    std::vector<Pending> batch = std::move(m_gwInFlight);
    m_gwCall.reset();
    m_gwInFlight.clear();
    QVector<GatewayStatementResult> res;
    const int rc = Gateway().FinishBatch(*call, res);
    const size_t done = takeGatewayAnswer(batch, 0, rc, res);
    sendGatewayNow(batch, done);
}

void TransferContext::sendGatewayNow(std::vector<Pending> &batch, size_t done)
{
    const GatewayBatchCaps caps = Gateway().BatchCaps();
    const bool gzip = caps.gzip && Compressed(m_options.compress, Settings().SQL_HTTP);
    while (done < batch.size()) {
        QStringList sql;
        for (size_t k = done; k < batch.size(); ++k)
            sql << batch[k].sql;
        QVector<GatewayStatementResult> res;
        const int rc = Gateway().GatewayBatch(sql, res, gzip);
        done = takeGatewayAnswer(batch, done, rc, res);
    }
}

size_t TransferContext::takeGatewayAnswer(std::vector<Pending> &batch, size_t done, int rc,
                                          const QVector<GatewayStatementResult> &res)
{
    if (rc != ShopResult::Done) {
        const QString words = Gateway().LastErrorText();
        if (Aborted() && (rc == ShopResult::NoAnswer || rc == ShopResult::GatewayFailed)) {
            // Cut short after STOP: nothing known, nothing refused.
            for (size_t k = done; k < batch.size(); ++k)
                if (batch[k].onDone)
                    batch[k].onDone(ShopResult::NoAnswer);
            return batch.size();
        }
        if (GatewayGone(rc))
            lostShop(words, qint64(batch.size() - done + m_gwQueue.size()));
        // The script refused the whole request (access data, host): every
        // statement is refused as it would have been alone.
        for (size_t k = done; k < batch.size(); ++k) {
            logSql(batch[k].sql);
            Shop().ErrorLog().Append(QStringLiteral("Fehlernr:") + QString::number(rc) + QLatin1Char(' ') + batch[k].sql);
            refused(rc, batch[k].sql, GatewayWords(rc, words));
            if (batch[k].onDone)
                batch[k].onDone(rc);
        }
        return batch.size();
    }
    size_t k = done;
    bool gone = false;
    QString goneWords;
    for (; k < batch.size(); ++k) {
        const GatewayStatementResult &r = res.at(int(k - done));
        if (!r.answered)
            break;
        logSql(batch[k].sql);
        if (r.result != 0) {
            Shop().ErrorLog().Append(QStringLiteral("Fehlernr:") + QString::number(r.result) + QLatin1Char(' ')
                                     + batch[k].sql);
            refused(r.result, batch[k].sql, GatewayWords(r.result, r.error));
            if (r.result == 2006 || r.result == 2013) {
                gone = true;
                goneWords = GatewayWords(r.result, r.error);
            }
        }
        if (batch[k].onDone)
            batch[k].onDone(r.result);
        if (gone) {
            ++k;
            break;
        }
    }
    if (gone || k == done) {
        if (Aborted() && !gone) {
            for (size_t j = k; j < batch.size(); ++j)
                if (batch[j].onDone)
                    batch[j].onDone(ShopResult::NoAnswer);
            return batch.size();
        }
        lostShop(gone ? goneWords : Gateway().LastErrorText(), qint64(batch.size() - k + m_gwQueue.size()));
    }
    // The script stopped early (its time guard): the rest goes again.
    return k;
}

void TransferContext::takeResult(const StatementPipe::Result &r, bool mayThrow)
{
    if (m_pending.empty() || m_pending.front().id != r.id)
        return;
    const Pending p = std::move(m_pending.front());
    m_pending.pop_front();
    // The log holds what the server ran, in its order.
    logSql(p.sql);
    m_lastSentRecord = std::max(m_lastSentRecord, p.record);
    const int code = r.ok ? 0 : ShopResult::NoAnswer;
    if (!r.ok) {
        Shop().ErrorLog().Append(p.sent);
        refused(code, p.sent, r.error);
        if (connectionError(code, r.errorNumber, r.connected)) {
            m_lost = true;
            if (mayThrow) {
                // What is still under way was sent after the loss: it is not taken any more.
                const qint64 unconfirmed = 1 + qint64(m_pending.size());
                m_pipe.reset();
                m_pending.clear();
                lostShop(r.error, unconfirmed);
            }
        }
    }
    if (p.onDone)
        p.onDone(code);
}

void TransferContext::flush(bool mayThrow)
{
    if (Aborted() && !m_stopHandled && m_current) {
        try {
            handleStop();
        } catch (const ShopConnectionLost &) {
            if (mayThrow)
                throw;
        }
    }
    StatementPipe::Result r;
    while (m_pipe && !m_pending.empty() && m_pipe->TakeNext(r))
        takeResult(r, mayThrow);
    try {
        while (!m_gwQueue.empty())
            sendGatewayBatch(false);
        finishGatewayInFlight();
    } catch (const ShopConnectionLost &) {
        m_gwQueue.clear();
        m_gwQueueBytes = 0;
        m_gwInFlight.clear();
        m_gwCall.reset();
        if (mayThrow)
            throw;
    }
}

void TransferContext::Flush()
{
    flush(true);
}

int TransferContext::Execute(const QString &sql)
{
    if (sql.isEmpty())
        return 0;
    const bool writing = IsWritingStatement(sql);
    if (m_options.dryRun && writing)
        return 0;
    // After STOP only the record already under way completes.
    if (writing && dropAfterStop())
        return ShopResult::NoAnswer;
    Flush();
    logSql(sql);
    int result;
    {
        // A statement that went out completes and counts, also after STOP
        // (the step itself ends at its next record).
        FinishOnStopScope finish;
        result = Shop().ShopExecute(sql);
    }
    if (writing)
        m_lastSentRecord = std::max(m_lastSentRecord, m_record);
    if (result != 0) {
        // A request cut short by STOP is no refusal.
        if (ShopConnection::GatewayMode() && result == ShopResult::NoAnswer && Aborted())
            return result;
        refused(result, sql, Shop().LastErrorText());
        if (connectionError(result, &Shop().SQLConnection1()))
            lostShop(Shop().LastErrorText(), 1);
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
    int result;
    {
        FinishOnStopScope finish;
        result = Shop().ShopOpen(sql, query);
    }
    if (result != 0) {
        if (ShopConnection::GatewayMode() && result == ShopResult::NoAnswer && Aborted())
            return result;
        refused(result, sql, Shop().LastErrorText());
        if (connectionError(result, query.Connection))
            lostShop(Shop().LastErrorText(), 0);
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
    // A record is done: the next statements belong to the next one.
    ++m_record;
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
    m_record = 0;
    m_lastSentRecord = -1;
    m_stopRecord = -1;
    m_stopHandled = false;
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
