#include "shopdb/StatementPipe.h"

#include <QStringList>

#include <algorithm>

namespace mv {

namespace {
constexpr int kWakeEvery = 16;
}

StatementPipe::StatementPipe(const MySqlParams &params, int depth)
    : StatementPipe(params, Limits{false, 1, 1, std::max(1, depth), qsizetype(1) << 40})
{
}

StatementPipe::StatementPipe(const MySqlParams &params, const Limits &limits)
    : m_params(params), m_limits(limits)
{
    m_limits.depth = std::max(1, m_limits.depth);
    m_limits.maxStatements = std::max(1, m_limits.maxStatements);
    m_thread = std::thread([this] { work(); });
}

StatementPipe::~StatementPipe()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

quint64 StatementPipe::Send(const QString &sql, qint64 tag)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Unanswered ones count; answers wait for the caller to take them. One
    // statement always goes, however long.
    m_done.wait(lock, [this] {
        const int unanswered = m_outstanding - int(m_results.size());
        return unanswered == 0
            || (unanswered < m_limits.depth && m_outstandingBytes < m_limits.depthBytes);
    });
    const quint64 id = m_next++;
    m_todo.push_back({id, sql, tag});
    ++m_outstanding;
    m_outstandingBytes += sql.size();
    // The worker is woken for a handful at a time: a wake-up per statement
    // would cost as much as the statement.
    const bool wake = m_todo.size() >= size_t(kWakeEvery);
    lock.unlock();
    if (wake)
        m_wake.notify_one();
    return id;
}

bool StatementPipe::TakeReady(Result &r)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_results.empty())
        return false;
    r = std::move(m_results.front());
    m_results.pop_front();
    --m_outstanding;
    m_done.notify_all();
    return true;
}

bool StatementPipe::TakeNext(Result &r)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_outstanding == 0)
        return false;
    m_wake.notify_one();
    m_done.wait(lock, [this] { return !m_results.empty(); });
    r = std::move(m_results.front());
    m_results.pop_front();
    --m_outstanding;
    m_done.notify_all();
    return true;
}

int StatementPipe::Outstanding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outstanding;
}

std::vector<quint64> StatementPipe::DropUnstarted(qint64 &lastTag)
{
    std::vector<quint64> dropped;
    std::lock_guard<std::mutex> lock(m_mutex);
    lastTag = m_takenAny ? m_lastTakenTag : -1;
    while (!m_todo.empty() && (!m_takenAny || m_todo.back().tag > m_lastTakenTag)) {
        dropped.push_back(m_todo.back().id);
        m_outstandingBytes -= m_todo.back().sql.size();
        m_todo.pop_back();
        --m_outstanding;
    }
    std::reverse(dropped.begin(), dropped.end());
    m_done.notify_all();
    return dropped;
}

void StatementPipe::work()
{
    // The connection belongs to this thread: made, used and closed here.
    MySqlConnection conn;
    bool lost = false;
    QString lostText;
    int lostNumber = 0;
    std::deque<Item> batch;
    std::deque<Result> answers;
    QStringList texts;
    QVector<MySqlConnection::StatementResult> batchResults;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!answers.empty()) {
                for (Result &a : answers)
                    m_results.push_back(std::move(a));
                answers.clear();
                m_done.notify_all();
            }
            m_wake.wait(lock, [this] { return m_stop || !m_todo.empty(); });
            if (m_stop)
                break;
            if (!m_limits.batched) {
                // All that is queued at once: one lock per handful, not per statement.
                batch.swap(m_todo);
            } else {
                // One packet's worth; what comes meanwhile waits for the next.
                qsizetype bytes = 0;
                while (!m_todo.empty() && int(batch.size()) < m_limits.maxStatements
                       && (batch.empty() || bytes + m_todo.front().sql.size() <= m_limits.maxBytes)) {
                    bytes += m_todo.front().sql.size();
                    batch.push_back(std::move(m_todo.front()));
                    m_todo.pop_front();
                }
            }
            if (!batch.empty()) {
                m_takenAny = true;
                m_lastTakenTag = batch.back().tag;
                for (const Item &item : batch)
                    m_outstandingBytes -= item.sql.size();
            }
        }
        if (m_limits.batched && !lost && (conn.Connected() || conn.Connect(m_params))) {
            texts.clear();
            for (const Item &item : batch)
                texts << item.sql;
            conn.ExecuteBatch(texts, batchResults);
            for (qsizetype k = 0; k < qsizetype(batch.size()); ++k) {
                const MySqlConnection::StatementResult &s = batchResults.at(k);
                Result r;
                r.id = batch[k].id;
                r.ok = s.ok;
                r.rows = s.rows;
                r.error = s.error;
                r.errorNumber = s.errorNumber;
                r.connected = s.connected;
                if (!r.ok && !r.connected && !lost) {
                    lost = true;
                    lostText = r.error;
                    lostNumber = r.errorNumber;
                }
                answers.push_back(std::move(r));
            }
            batch.clear();
            continue;
        }
        for (auto &item : batch) {
            Result r;
            r.id = item.id;
            if (lost) {
                // Nothing after a lost session is sent, as a direct call would not.
                r.error = lostText;
                r.errorNumber = lostNumber;
                r.connected = false;
            } else if (!conn.Connected() && !conn.Connect(m_params)) {
                r.error = conn.LastError();
                r.errorNumber = conn.LastErrorNumber();
                r.connected = false;
            } else {
                r.ok = conn.Execute(item.sql);
                if (!r.ok) {
                    r.error = conn.LastError();
                    r.errorNumber = conn.LastErrorNumber();
                    r.connected = conn.Connected();
                }
            }
            if (!r.ok && !r.connected && !lost) {
                lost = true;
                lostText = r.error;
                lostNumber = r.errorNumber;
            }
            answers.push_back(std::move(r));
        }
        batch.clear();
    }
    conn.Disconnect();
}

} // namespace mv
