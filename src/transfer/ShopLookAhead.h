#pragma once
// Existence and id look-ups of a transfer step for many records with one
// read: the conditions of the coming records go to the shop in one
// statement, and the shop itself decides which rows each condition finds
// (its collation, its number rules), exactly as the record's own query
// would. Answers stay valid until the step writes something that may
// change them: every record names tokens (its keys, the rows it found),
// and a record whose tokens were touched since the read is read again
// after the pending statements have gone out.

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace mv {

class TransferContext;

// A coarse form of a text key: two texts the shop may take for equal (case,
// accents, umlauts, ß, blanks and punctuation aside) get the same form.
// Coarser than any collation: different keys may share it, equal keys never
// differ in it.
QString LooseKey(const QString &text);
// A number as the shop compares it with a numeric column ('12abc' is 12).
QString NumberKey(const QString &text);

class ShopLookAhead {
public:
    struct Candidate {
        QString condition;     // WHERE condition of the record's own query; empty: no look-up
        QStringList tokens;    // what the record's writes may change, what may change its answer
    };
    using Row = QStringList;

    // columns: what the record's own query selects; rowTokens: the tokens of
    // a row found (the rows a later write of the record changes).
    ShopLookAhead(TransferContext &ctx, const QString &table, const QStringList &columns, int count,
                  std::function<Candidate(int)> candidate, std::function<QStringList(const Row &)> rowTokens);

    // The rows record i's own query would find now. False when there is no
    // certain answer: the caller then asks the shop itself.
    bool Find(int i, QVector<Row> *rows);
    // Record i has written (or is about to delete) what its tokens and the
    // rows it found name; extra: tokens of rows found by the caller's own query.
    void Touch(int i, const QStringList &extra = {});

    // Reads done so far (for the benchmark figures).
    int Reads() const { return m_reads; }

private:
    void fetch(int from);

    TransferContext &m_ctx;
    QString m_table;
    QStringList m_columns;
    int m_count;
    std::function<Candidate(int)> m_candidate;
    std::function<QStringList(const Row &)> m_rowTokens;

    int m_from = 0, m_to = 0;          // records the last read answered: [m_from, m_to)
    bool m_failed = false;             // the last read was refused
    QVector<QVector<Row>> m_rows;      // rows per record of the window
    QVector<QStringList> m_tokens;     // tokens per record of the window
    QSet<QString> m_touched;           // touched since the last read
    int m_reads = 0;
};

} // namespace mv
