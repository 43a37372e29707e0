#include "transfer/ShopLookAhead.h"

#include "data/MemTable.h"
#include "transfer/TransferStep.h"

#include <QRegularExpression>

namespace mv {

namespace {

// One read answers at most this many records and stays well inside the
// packet and request limits of a shop (the conditions go in twice).
constexpr int kMaxRecords = 400;
constexpr int kMaxChars = 200 * 1024;

} // namespace

QString LooseKey(const QString &text)
{
    // Vowels (and y, which some collations equal to ü) and s (ß is s or ss)
    // are left out altogether, so is everything that is no letter or digit.
    const QString d = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(d.size());
    for (QChar c : d) {
        if (!c.isLetterOrNumber())
            continue;
        const QChar l = c.toLower();
        if (l.unicode() < 128) {
            if (QStringLiteral("aeiouys").contains(l))
                continue;
            out += l;
            continue;
        }
        switch (l.unicode()) {
        case 0x00DF: case 0x00E6: case 0x0153: case 0x00F8: case 0x0131:   // ß æ œ ø ı
            break;
        case 0x0111: case 0x00F0:   // đ ð
            out += QLatin1Char('d');
            break;
        case 0x0142:                // ł
            out += QLatin1Char('l');
            break;
        case 0x00FE:                // þ
            out += QLatin1String("th");
            break;
        default:
            out += l;
        }
    }
    return out;
}

QString NumberKey(const QString &text)
{
    static const QRegularExpression lead(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?"));
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.isEmpty())
        return QStringLiteral("null");
    const auto m = lead.match(t);
    const double v = m.hasMatch() ? m.captured(0).toDouble() : 0.0;
    return QString::number(v, 'g', 17);
}

ShopLookAhead::ShopLookAhead(TransferContext &ctx, const QString &table, const QStringList &columns, int count,
                             std::function<Candidate(int)> candidate,
                             std::function<QStringList(const Row &)> rowTokens)
    : m_ctx(ctx), m_table(table), m_columns(columns), m_count(count), m_candidate(std::move(candidate)),
      m_rowTokens(std::move(rowTokens))
{
}

void ShopLookAhead::fetch(int from)
{
    m_from = from;
    m_to = from;
    m_failed = false;
    m_rows.clear();
    m_tokens.clear();
    m_touched.clear();
    QString conditions, marks;
    int n = 0, chars = 0;
    QVector<QString> conds;
    while (m_to < m_count && n < kMaxRecords) {
        const Candidate c = m_candidate(m_to);
        if (!c.condition.isEmpty()) {
            if (n > 0 && chars + 2 * c.condition.size() > kMaxChars)
                break;
            const int k = m_to - m_from;
            conditions += (conditions.isEmpty() ? QString() : QStringLiteral(" OR ")) + QLatin1Char('(')
                          + c.condition + QLatin1Char(')');
            marks += QStringLiteral(",IF((") + c.condition + QStringLiteral("),") + QString::number(k)
                     + QStringLiteral(",NULL)");
            chars += 2 * c.condition.size() + 32;
            ++n;
        }
        m_tokens.append(c.tokens);
        m_rows.append(QVector<Row>());
        ++m_to;
    }
    if (n == 0)
        return;
    QString sql = QStringLiteral("SELECT ");
    for (const QString &c : std::as_const(m_columns))
        sql += c + QLatin1Char(',');
    sql += QStringLiteral("CONCAT_WS(','") + marks + QStringLiteral(") FROM ") + m_table + QStringLiteral(" WHERE ")
           + conditions;
    ++m_reads;
    // Open sends what is still pending first, so the read sees every write before it.
    if (m_ctx.Open(sql, m_ctx.LookupQuery()) != 0) {
        m_failed = true;
        return;
    }
    MemTable &t = m_ctx.Lookup();
    const int ncols = int(m_columns.size());
    if (t.FieldCount() < ncols + 1) {
        m_failed = true;
        return;
    }
    for (t.First(); !t.Eof(); t.Next()) {
        Row row;
        for (int c = 0; c < ncols; ++c)
            row << t.FieldAt(c)->AsString();
        const QStringList hits = t.FieldAt(ncols)->AsString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &h : hits) {
            bool ok = false;
            const int k = h.trimmed().toInt(&ok);
            if (ok && k >= 0 && k < m_rows.size())
                m_rows[k].append(row);
        }
    }
    for (int k = 0; k < m_rows.size(); ++k)
        for (const Row &r : std::as_const(m_rows[k]))
            m_tokens[k] += m_rowTokens(r);
}

bool ShopLookAhead::Find(int i, QVector<Row> *rows)
{
    auto stale = [&] {
        for (const QString &t : std::as_const(m_tokens[i - m_from]))
            if (m_touched.contains(t))
                return true;
        return false;
    };
    if (i < m_from || i >= m_to || stale())
        fetch(i);
    if (m_failed || i >= m_to)
        return false;
    if (m_candidate(i).condition.isEmpty())
        return false;
    *rows = m_rows[i - m_from];
    return true;
}

void ShopLookAhead::Touch(int i, const QStringList &extra)
{
    if (i >= m_from && i < m_to) {
        for (const QString &t : std::as_const(m_tokens[i - m_from]))
            m_touched.insert(t);
    } else {
        for (const QString &t : m_candidate(i).tokens)
            m_touched.insert(t);
    }
    for (const QString &t : extra)
        m_touched.insert(t);
}

} // namespace mv
