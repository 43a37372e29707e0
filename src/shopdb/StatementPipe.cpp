#include "shopdb/StatementPipe.h"

namespace mv {

namespace {
constexpr int kBatch = 16;
}

StatementPipe::StatementPipe(const MySqlParams &params, int depth)
    : m_params(params), m_depth(std::max(1, depth))
{
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

quint64 StatementPipe::Send(const QString &sql)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Unanswered ones count; answers wait for the caller to take them.
    m_done.wait(lock, [this] { return m_outstanding - int(m_results.size()) < m_depth; });
    const quint64 id = m_next++;
    m_todo.emplace_back(id, sql);
    ++m_outstanding;
    // The worker is woken for a handful at a time: a wake-up per statement
    // would cost as much as the statement.
    const bool wake = m_todo.size() >= size_t(kBatch);
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

void StatementPipe::work()
{
    // The connection belongs to this thread: made, used and closed here.
    MySqlConnection conn;
    bool lost = false;
    QString lostText;
    int lostNumber = 0;
    std::deque<std::pair<quint64, QString>> batch;
    std::deque<Result> answers;
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
            // All that is queued at once: one lock per handful, not per statement.
            batch.swap(m_todo);
        }
        for (auto &item : batch) {
            Result r;
            r.id = item.first;
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
                r.ok = conn.Execute(item.second);
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
