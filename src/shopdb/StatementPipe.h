#pragma once
// Writing statements sent on a connection of their own in a worker thread,
// in order, while the caller builds the next ones: a long run of inserts
// then costs the server's time, not the server's time plus ours. Results
// come back in the order the statements were given.

#include "shopdb/MySqlConnection.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace mv {

class StatementPipe {
public:
    struct Result {
        quint64 id = 0;
        bool ok = false;
        QString error;          // the database's text
        int errorNumber = 0;    // the client library's or the server's number
        bool connected = true;  // the session was still open afterwards
    };

    // Connects lazily in the worker with these access data.
    explicit StatementPipe(const MySqlParams &params, int depth = 256);
    ~StatementPipe();
    StatementPipe(const StatementPipe &) = delete;
    StatementPipe &operator=(const StatementPipe &) = delete;

    // Queues a statement (waits while `depth` statements are unanswered).
    // Returns its id.
    quint64 Send(const QString &sql);
    // Takes the next answered result without waiting; false when none is ready.
    bool TakeReady(Result &r);
    // Waits for the next result; false when nothing is outstanding.
    bool TakeNext(Result &r);
    // Statements sent and not yet taken.
    int Outstanding() const;

private:
    void work();

    MySqlParams m_params;
    int m_depth;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<std::pair<quint64, QString>> m_todo;
    std::deque<Result> m_results;
    quint64 m_next = 1;
    int m_outstanding = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace mv
