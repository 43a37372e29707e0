#pragma once
// Writing statements sent on a connection of their own in a worker thread,
// in order, while the caller builds the next ones: a long run of inserts
// then costs the server's time, not the server's time plus ours. Results
// come back in the order the statements were given.
//
// Batched, the worker takes what has piled up (bounded by count and size)
// and sends it in multi-statement packets, one round trip per packet
// instead of one per statement.

#include "shopdb/MySqlConnection.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace mv {

class StatementPipe {
public:
    struct Result {
        quint64 id = 0;
        bool ok = false;
        qint64 rows = 0;        // rows affected
        QString error;          // the database's text
        int errorNumber = 0;    // the client library's or the server's number
        bool connected = true;  // the session was still open afterwards
    };
    struct Limits {
        bool batched = false;
        int maxStatements = 1000;        // per packet
        qsizetype maxBytes = 1 << 20;    // per packet (characters)
        int depth = 4096;                // unanswered statements
        qsizetype depthBytes = 16 << 20; // unanswered characters
    };

    // Connects lazily in the worker with these access data.
    explicit StatementPipe(const MySqlParams &params, int depth = 256);
    StatementPipe(const MySqlParams &params, const Limits &limits);
    ~StatementPipe();
    StatementPipe(const StatementPipe &) = delete;
    StatementPipe &operator=(const StatementPipe &) = delete;

    // Queues a statement (waits while too much is unanswered). `tag` is the
    // caller's (a record number). Returns its id.
    quint64 Send(const QString &sql, qint64 tag = 0);
    // Takes the next answered result without waiting; false when none is ready.
    bool TakeReady(Result &r);
    // Waits for the next result; false when nothing is outstanding.
    bool TakeNext(Result &r);
    // Statements sent and not yet taken.
    int Outstanding() const;
    // Takes back the queued statements the worker has not begun to send
    // whose tag is above the tag of the last statement it took (or all
    // when it took none); returns their ids. `lastTag` gets that tag, -1
    // when nothing was taken yet.
    std::vector<quint64> DropUnstarted(qint64 &lastTag);

private:
    struct Item {
        quint64 id;
        QString sql;
        qint64 tag;
    };
    void work();

    MySqlParams m_params;
    Limits m_limits;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<Item> m_todo;
    std::deque<Result> m_results;
    quint64 m_next = 1;
    int m_outstanding = 0;
    qsizetype m_outstandingBytes = 0;
    qint64 m_lastTakenTag = -1;
    bool m_takenAny = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace mv
