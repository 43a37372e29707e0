#include "shopdb/HttpSqlGateway.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/ShopConnection.h"

#include <QDate>
#include <QLocale>
#include <QUrl>

#include <algorithm>
#include <exception>

namespace mv {

int UrlCounter = 0;

QString UrlEncodeSql(const QString &sql)
{
    QString s = sql;
    s.replace(QLatin1Char('%'), QLatin1String("%25"));
    s.replace(QLatin1Char(' '), QLatin1String("%20"));
    s.replace(QChar(0xB4), QLatin1String("&acute;"));
    // A grave accent must arrive as itself: turned into an apostrophe it
    // would end a quoted text early and change the statement.
    s.replace(QLatin1Char('`'), QLatin1String("%60"));
    s.replace(QLatin1Char('"'), QLatin1String("%22"));
    s.replace(QLatin1Char('&'), QLatin1String("%26"));
    s.replace(QLatin1Char('#'), QLatin1String("%23"));
    s.replace(QLatin1Char('+'), QLatin1String("%2B"));
    return s;
}

qint64 GatewaySeconds(const QDateTime &localTime)
{
    // Counted on the wall clock, as the shop's date arithmetic does.
    const QDate base(1899, 12, 30);
    const qint64 days = base.daysTo(localTime.date());
    return days * 86400 + localTime.time().msecsSinceStartOfDay() / 1000;
}

QString GatewayUrl(const QString &address)
{
    static const QString key = QStringLiteral("&sql_query");
    QString result;
    const qsizetype p = address.indexOf(key);
    if (p >= 0) {
        const QString prefix = address.left(p);
        const QString sql = address.mid(p + 11);
        result = prefix + QLatin1String("&xxl=") + QString::number(UrlCounter) + QLatin1Char('_')
                 + QString::number(GatewaySeconds()) + QLatin1String("&sql_query=") + UrlEncodeSql(sql);
    } else {
        result = address + QLatin1String("&xxl=") + QString::number(UrlCounter);
    }
    ++UrlCounter;
    return result;
}

QString GatewayAddress(GatewayRequest kind, const QString &sql, bool debug)
{
    // The access data are not part of the address: the transport posts them.
    const ShopSettings &s = Settings();
    QString a = s.SQL_HTTP + QLatin1String("/module/db_check/db_check") + s.SQL_Global
                + (kind == GatewayRequest::Statement ? QLatin1String(".php?insert=1") : QLatin1String(".php?show=2"));
    if (debug)
        a += QLatin1String("&debug=1");
    a += QLatin1String("&sql_query=") + sql;
    return a;
}

// ---------------------------------------------------------------- parser

namespace {

// Length of a decimal reference "&#digits;" whose "#" stands at text[hash]
// (the "&" before it), 0 when there is none.
qsizetype referenceAt(QStringView text, qsizetype hash)
{
    if (hash < 1 || text.at(hash - 1) != QLatin1Char('&'))
        return 0;
    qsizetype i = hash + 1;
    const qsizetype n = text.size();
    while (i < n && i - hash <= 8 && text.at(i).isDigit() && text.at(i).unicode() < 128)
        ++i;
    if (i == hash + 1 || i >= n || text.at(i) != QLatin1Char(';'))
        return 0;
    return i - hash + 2; // "&" .. ";"
}

} // namespace

QString GatewayDecodeValue(const QString &value)
{
    if (!value.contains(QLatin1String("&#")))
        return value;
    QString out;
    out.reserve(value.size());
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (value.at(i) == QLatin1Char('&') && i + 1 < n && value.at(i + 1) == QLatin1Char('#')) {
            const qsizetype len = referenceAt(value, i + 1);
            if (len > 0) {
                const uint code = QStringView(value).mid(i + 2, len - 3).toUInt();
                if (code > 0 && code < 0x110000 && !(code >= 0xD800 && code < 0xE000)) {
                    const char32_t cp = code;
                    out += QString::fromUcs4(&cp, 1);
                    i += len - 1;
                    continue;
                }
            }
        }
        out += value.at(i);
    }
    return out;
}

QString GatewayErrorText(const QString &text)
{
    // The script writes "MySQL: " and the HTML-escaped message after the
    // entry; only the first such line counts.
    static const QString head = QStringLiteral("MySQL: ");
    const qsizetype entry = text.lastIndexOf(QLatin1String("###error:"));
    const qsizetype p = entry < 0 ? -1 : text.indexOf(head, entry);
    if (p < 0)
        return QString();
    qsizetype e = text.indexOf(QLatin1String("<br>"), p);
    const qsizetype nl = text.indexOf(QLatin1Char('\n'), p);
    if (e < 0 || (nl >= 0 && nl < e))
        e = nl;
    QString words = text.mid(p + head.size(), e < 0 ? -1 : e - p - head.size()).trimmed();
    words.replace(QLatin1String("&lt;"), QLatin1String("<"));
    words.replace(QLatin1String("&gt;"), QLatin1String(">"));
    words.replace(QLatin1String("&quot;"), QLatin1String("\""));
    words.replace(QLatin1String("&#39;"), QLatin1String("'"));
    words = GatewayDecodeValue(words);
    words.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return words;
}

GatewayBatchCaps ParseBatchCaps(const QString &page, bool *found)
{
    GatewayBatchCaps caps;
    // Only the page head counts: data never reach the caps.
    const qsizetype body = page.indexOf(QLatin1String("<body"), 0, Qt::CaseInsensitive);
    const QStringView head = QStringView(page).left(body < 0 ? page.size() : body);
    if (found)
        *found = head.contains(QLatin1String("<meta name=\"db_check\""));
    static const QString mark = QStringLiteral("<meta name=\"db_check_batch\" content=\"");
    const qsizetype p = head.indexOf(mark);
    if (p < 0)
        return caps;
    const qsizetype e = head.indexOf(QLatin1Char('"'), p + mark.size());
    if (e < 0)
        return caps;
    const QString content = head.mid(p + mark.size(), e - p - mark.size()).toString();
    for (const QString &raw : content.split(QLatin1Char(';'))) {
        const QString part = raw.trimmed();
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? part : part.left(eq).trimmed();
        const qint64 value = eq < 0 ? 0 : part.mid(eq + 1).trimmed().toLongLong();
        if (name == QLatin1String("statements"))
            caps.batch = true;
        else if (name == QLatin1String("gzip"))
            caps.gzip = true;
        else if (name == QLatin1String("post_max_size"))
            caps.postMaxSize = std::max<qint64>(0, value);
        else if (name == QLatin1String("max_input_vars"))
            caps.maxInputVars = int(std::clamp<qint64>(value, 0, 1 << 30));
        else if (name == QLatin1String("max_execution_time"))
            caps.maxExecutionTime = int(std::clamp<qint64>(value, 0, 1 << 30));
    }
    return caps;
}

QByteArray EncodeBatch(const QStringList &sql, const QByteArray &charset)
{
    QByteArray out;
    for (const QString &s : sql) {
        // The acute accent travels as on every single-statement route.
        QString text = s;
        if (text.contains(QChar(0xB4)))
            text.replace(QChar(0xB4), QLatin1String("&acute;"));
        const QByteArray bytes = EncodeText(text, charset);
        out += QByteArray::number(bytes.size());
        out += ':';
        out += bytes;
        out += ',';
    }
    return out;
}

bool ParseBatchAnswer(const QString &text, int n, QVector<GatewayStatementResult> &out, bool &complete)
{
    out.clear();
    out.resize(n);
    complete = false;
    static const QString start = QStringLiteral("+++batch+++");
    static const QString item = QStringLiteral("+++statement:");
    static const QString end = QStringLiteral("+++batchend:");
    const qsizetype s = text.indexOf(start);
    if (s < 0) {
        // A script-level answer (no connection, host refused): one result for all.
        int rows = 0;
        int result = ParseStatementAnswer(text, rows);
        if (result == 0)
            result = ShopResult::NoAnswer;
        const QString words = GatewayErrorText(text);
        for (GatewayStatementResult &r : out) {
            r.result = result;
            r.error = words;
        }
        return false;
    }
    const qsizetype e = text.indexOf(end, s);
    qsizetype p = text.indexOf(item, s);
    while (p >= 0) {
        const qsizetype numEnd = text.indexOf(QLatin1String("+++"), p + item.size());
        if (numEnd < 0)
            break;
        bool ok = false;
        const int i = QStringView(text).mid(p + item.size(), numEnd - p - item.size()).toInt(&ok);
        const qsizetype next = text.indexOf(item, numEnd);
        const qsizetype chunkEnd = next >= 0 ? next : e;
        // A part with nothing after it was cut off: not answered.
        if (!ok || i < 0 || i >= n || chunkEnd < 0)
            break;
        const QString chunk = text.mid(numEnd + 3, chunkEnd - numEnd - 3);
        GatewayStatementResult &r = out[i];
        r.answered = chunk.contains(QLatin1String("###"));
        r.result = ParseStatementAnswer(chunk, r.rows);
        if (r.result != 0)
            r.error = GatewayErrorText(chunk);
        p = next;
    }
    complete = e >= 0;
    return true;
}

QString JoinAnswerLines(const QStringList &lines)
{
    qsizetype n = 0;
    for (const QString &l : lines)
        n += l.size() + 2;
    QString text;
    text.reserve(n);
    for (const QString &l : lines) {
        text += l;
        text += QLatin1String("\r\n");
    }
    return text;
}

namespace {

// Walks the entries "###name:value#" of a text; f(name, value) per entry.
// Positions are 0-based here; the walk follows the script grammar exactly:
// the next entry is searched from the closing "#" on.
template<typename F>
void walkEntries(QStringView text, F &&f)
{
    static const QString marks = QStringLiteral("###");
    qsizetype p = text.indexOf(marks);
    while (p >= 0) {
        const qsizetype a = text.indexOf(QLatin1Char(':'), p);
        if (a < 0)
            break;
        // A "#" inside a reference "&#35;" is data, not the end of the value.
        qsizetype c = text.indexOf(QLatin1Char('#'), a);
        while (c >= 0 && referenceAt(text, c) > 0)
            c = text.indexOf(QLatin1Char('#'), c + 1);
        const QStringView name = text.mid(p + 3, qMax<qsizetype>(0, a - p - 3));
        const QStringView value = c < 0 ? QStringView() : text.mid(a + 1, c - a - 1);
        f(name, value);
        if (c < 0)
            break;
        p = text.indexOf(marks, c);
    }
}

} // namespace

int ParseStatementAnswer(const QString &text, int &rowCount)
{
    rowCount = 0;
    int result = -10;
    if (text.contains(QLatin1String("###")))
        result = 0;
    walkEntries(text, [&](QStringView name, QStringView value) {
        const QString n = name.toString().toLower();
        if (n == QLatin1String("row_count"))
            rowCount = StrToIntX(GatewayDecodeValue(value.toString()));
        else if (n == QLatin1String("error"))
            result = StrToIntX(GatewayDecodeValue(value.toString()));
    });
    return result;
}

int ParseQueryAnswer(const QString &answer, GatewayTables &t, int &rowCount)
{
    t.clear();
    rowCount = 0;
    int result = -10;
    if (answer.contains(QLatin1String("###")) || answer.contains(QLatin1String("+++")))
        result = 0;

    QString text = answer;
    text.replace(QLatin1String("<br>"), QLatin1String("\r\n"));
    const QStringList lines = SplitPageLines(text);

    static const QString newlineMark = QStringLiteral("+++newline+++");
    static const QString typeMark = QStringLiteral("+++datatype+++");
    // Scripts that leave NULL cells out of their records say so in the page
    // head; their named empty values are empty texts, not NULL.
    const qsizetype firstMark = answer.indexOf(QLatin1String("+++"));
    const bool nullsUnnamed = QStringView(answer).left(firstMark < 0 ? answer.size() : firstMark)
                                  .contains(QLatin1String(GatewayNullsUnnamedMeta));
    bool single = text.contains(QLatin1String("###")) && !text.contains(newlineMark) && !text.contains(typeMark);

    int count = 0;
    int filled = 0; // cells every column holds
    bool isType = false;
    QHash<QString, int> columnIndex;
    qsizetype i = 0;
    const qsizetype n = lines.size();

    auto readRecord = [&](const QString &record) {
        walkEntries(record, [&](QStringView nameView, QStringView valueView) {
            const QString name = GatewayDecodeValue(nameView.trimmed().toString());
            QString value = GatewayDecodeValue(valueView.toString());
            if (value.isEmpty())
                value = nullsUnnamed ? QString(QLatin1String("")) : QString();
            if (name == QLatin1String("row_count"))
                rowCount = StrToIntX(value);
            else if (name == QLatin1String("error"))
                result = StrToIntX(value);
            int col = columnIndex.value(name, -1);
            if (col < 0) {
                col = int(t.names.size());
                columnIndex.insert(name, col);
                t.names.append(name);
                t.types.append(QString());
                t.cells.append(QStringList());
                t.cells.last().resize(filled);
            }
            if (filled != count) {
                for (QStringList &c : t.cells)
                    c.resize(count);
                filled = count;
            }
            if (isType)
                t.types[col] = value;
            else if (count > 0)
                t.cells[col][count - 1] = value;
        });
    };

    while (i < n) {
        QString record;
        if (single) {
            single = false;
            record = text;
        } else {
            while (i < n && !lines.at(i).contains(newlineMark) && !lines.at(i).contains(typeMark))
                ++i;
            if (i < n) {
                isType = lines.at(i).contains(typeMark);
                ++i;
            }
            while (i < n && !lines.at(i).contains(newlineMark) && !lines.at(i).contains(typeMark)) {
                record += lines.at(i);
                record += QLatin1String("\r\n");
                ++i;
            }
        }
        if (!record.isEmpty() && !isType)
            ++count;
        readRecord(record);
    }
    // From a script that leaves NULL cells unnamed, a last record that
    // named no cell is a row of NULLs.
    if (nullsUnnamed && filled != count)
        for (QStringList &c : t.cells)
            c.resize(count);
    rowCount = count;
    return result;
}

GatewayFieldType GatewayTypeOf(const QString &typeText)
{
    const QString t = typeText.toLower();
    GatewayFieldType r{int(FieldType::String), 255};
    auto sizeAfterPlus = [&]() {
        const qsizetype p = t.indexOf(QLatin1Char('+'));
        return StrToIntX(t.mid(p + 1));
    };
    if (t.contains(QLatin1String("int+"))) {
        // A BIGINT (display width 20) does not fit 32 bits: keep its values whole.
        r = {int(sizeAfterPlus() >= 20 ? FieldType::LargeInt : FieldType::Integer), 0};
    }
    if (t.contains(QLatin1String("real+")))
        r = {int(FieldType::Float), 0};
    if (t.contains(QLatin1String("date+")))
        r = {int(FieldType::Date), 0};
    if (t.contains(QLatin1String("timestamp+")))
        r = {int(FieldType::String), sizeAfterPlus()};
    if (t.contains(QLatin1String("blob+")))
        r = {int(FieldType::Memo), 0};
    if (t.contains(QLatin1String("string+")))
        r = {int(FieldType::String), sizeAfterPlus()};
    return r;
}

namespace {

QVariant dateCell(const QString &cell)
{
    const QString c = cell.trimmed();
    // The shop writes ISO dates. A zero date or one the calendar lacks
    // (2024-02-00, 2023-02-30) is no date: an invented one would be worse.
    QDate d = QDate::fromString(c.left(10), Qt::ISODate);
    if (d.isValid())
        return d;
    d = QLocale().toDate(c, QLocale::ShortFormat);
    if (d.isValid())
        return d;
    d = QDate::fromString(c, QStringLiteral("dd.MM.yyyy"));
    if (d.isValid())
        return d;
    return QVariant();
}

// A date-time text the direct connection would read: what it cannot read
// as a date and time it shows as the zero date-time, and so does this.
QString dateTimeCell(const QString &cell)
{
    const QString c = cell.trimmed();
    const QDateTime dt = QDateTime::fromString(c.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return dt.isValid() ? cell : QStringLiteral("0000-00-00 00:00:00");
}

QVariant cellValue(FieldType type, const QString &cell)
{
    switch (type) {
    case FieldType::Float:
        return StrToFloatX(cell);
    case FieldType::Integer: {
        bool ok = false;
        const int v = cell.trimmed().toInt(&ok);
        return ok ? QVariant(v) : QVariant();
    }
    case FieldType::LargeInt: {
        bool ok = false;
        const qint64 v = cell.trimmed().toLongLong(&ok);
        return ok ? QVariant(v) : QVariant();
    }
    case FieldType::Date:
        return dateCell(cell);
    default:
        return cell;
    }
}

} // namespace

bool BuildGatewayTable(const GatewayTables &t, MemTable &table)
{
    try {
        table.Close();
        QVector<FieldDef> defs;
        for (qsizetype c = 0; c < t.names.size(); ++c) {
            const GatewayFieldType ft = GatewayTypeOf(t.types.value(c));
            FieldDef d;
            d.name = t.names.at(c);
            d.type = FieldType(ft.type);
            d.size = d.type == FieldType::String ? ft.size : 0;
            // A refused definition (no name, no usable size) becomes text(255).
            if (d.type == FieldType::String && (d.size <= 0 || d.size > 65535))
                d.size = 255;
            if (d.name.isEmpty())
                d.name = QStringLiteral("Feld%1").arg(c + 1);
            defs.append(d);
        }
        // Names repeated after trimming would clash: number the later ones.
        for (qsizetype c = 0; c < defs.size(); ++c)
            for (qsizetype k = 0; k < c; ++k)
                if (defs[k].name.compare(defs[c].name, Qt::CaseInsensitive) == 0) {
                    defs[c].name += QStringLiteral("_%1").arg(c + 1);
                    break;
                }
        table.CreateDataSet(defs);
        QVector<bool> dateTimes(defs.size());
        for (qsizetype c = 0; c < defs.size(); ++c) {
            const QString ty = t.types.value(c).toLower();
            dateTimes[c] = ty.startsWith(QLatin1String("datetime+")) || ty.startsWith(QLatin1String("timestamp+"));
        }
        const qsizetype rows = t.cells.isEmpty() ? 0 : t.cells.first().size();
        for (qsizetype r = rows - 1; r >= 0; --r) {
            QVector<QVariant> values(defs.size());
            for (qsizetype c = 0; c < defs.size(); ++c) {
                const QString &cell = t.cells.at(c).at(r);
                // Null: the record did not name the cell. Empty: an empty
                // text, and no value for any other type.
                if (cell.isNull() || (cell.isEmpty() && !IsTextType(defs.at(c).type)))
                    continue;
                values[c] = dateTimes.at(c) && !cell.isEmpty() ? QVariant(dateTimeCell(cell))
                                                               : cellValue(defs.at(c).type, cell);
            }
            table.AppendRawRow(std::move(values));
        }
        table.RawRowsDone();
        table.First();
        return true;
    } catch (...) {
        return false;
    }
}

// ---------------------------------------------------------------- operations

HttpSqlGateway::HttpSqlGateway(QObject *parent) : QObject(parent) {}
HttpSqlGateway::~HttpSqlGateway() = default;

GatewayTransport &HttpSqlGateway::Transport()
{
    return m_transport ? *m_transport : mv::Transport();
}

void HttpSqlGateway::takePage(const QStringList &lines)
{
    // The script's head is on the first line of its page.
    if (!lines.isEmpty()) {
        bool found = false;
        const GatewayBatchCaps caps = ParseBatchCaps(lines.first(), &found);
        if (found)
            m_caps = caps;
    }
    m_lastPage = lines;
    emit pageReceived();
}

namespace {

// Why an answer gave `result`, in words.
QString answerErrorText(int result, const QString &text, const GatewayTransport &tr)
{
    if (result == ShopResult::Done)
        return QString();
    if (!tr.LastErrorText().isEmpty())
        return tr.LastErrorText();
    if (result == ShopResult::NoAnswer)
        return QStringLiteral("Die Antwort des Shop-Servers enthält kein Ergebnis des Gateway-Skripts "
                              "(module/db_check auf dem Server?).");
    const QString words = GatewayErrorText(text);
    return words.isEmpty() ? QStringLiteral("Das Gateway-Skript meldet den Fehler %1.").arg(result) : words;
}

} // namespace

int HttpSqlGateway::GatewayExecute(const QString &sql, int &rowCount)
{
    rowCount = 0;
    m_lastErrorText.clear();
    GatewayTransport &tr = Transport();
    QStringList lines;
    const auto got = tr.FetchGatewayPage(GatewayAddress(GatewayRequest::Statement, sql, tr.DebugMode), lines);
    takePage(lines);
    if (got != GatewayTransport::Fetch::Ok) {
        m_lastErrorText = tr.LastErrorText();
        return got == GatewayTransport::Fetch::FormError ? ShopResult::GatewayFailed : ShopResult::NoAnswer;
    }
    const QString text = JoinAnswerLines(lines);
    const int result = ParseStatementAnswer(text, rowCount);
    m_lastErrorText = answerErrorText(result, text, tr);
    return result;
}

int HttpSqlGateway::GatewayQuery(const QString &sql, int &rowCount)
{
    m_tables.clear();
    m_lastErrorText.clear();
    rowCount = 0;
    GatewayTransport &tr = Transport();
    QStringList lines;
    const auto got = tr.FetchGatewayPage(GatewayAddress(GatewayRequest::Query, sql, tr.DebugMode), lines);
    takePage(lines);
    if (got != GatewayTransport::Fetch::Ok) {
        m_lastErrorText = tr.LastErrorText();
        return got == GatewayTransport::Fetch::FormError ? ShopResult::GatewayFailed : ShopResult::NoAnswer;
    }
    const QString text = JoinAnswerLines(lines);
    const int result = ParseQueryAnswer(text, m_tables, rowCount);
    m_lastErrorText = answerErrorText(result, text, tr);
    return result;
}

int HttpSqlGateway::GatewayOpen(const QString &sql, int &rowCount, MemTable &table)
{
    BusyScope busy;
    Ui().ProcessEvents();
    int result = GatewayQuery(sql, rowCount);
    if (!m_tables.names.isEmpty()) {
        for (QString &t : m_tables.types)
            t = t.toLower();
        if (!BuildGatewayTable(m_tables, table)) {
            result = ShopResult::NotConvertible;
            m_lastErrorText = QStringLiteral("Die Antwort des Shop-Servers ließ sich nicht in eine Tabelle umsetzen.");
        }
    }
    return result;
}

namespace {

QByteArray BatchFields(const QStringList &sql, const QByteArray &charset, bool gzip)
{
    const QByteArray data = EncodeBatch(sql, charset);
    if (gzip) {
        // qCompress puts the length before the zlib stream; the script reads the stream.
        const QByteArray z = qCompress(data, 6).mid(4);
        return "batchz=" + z.toBase64(QByteArray::Base64UrlEncoding);
    }
    return "batch=" + data.toPercentEncoding();
}

QString BatchAddress()
{
    const ShopSettings &s = Settings();
    return s.SQL_HTTP + QLatin1String("/module/db_check/db_check") + s.SQL_Global + QLatin1String(".php?batch=1");
}

} // namespace

struct HttpSqlGateway::PendingBatch {
    QStringList sql;
    bool gzip = false;
    std::shared_ptr<GatewayTransport::PendingPost> post;
};

std::shared_ptr<HttpSqlGateway::PendingBatch> HttpSqlGateway::StartBatch(const QStringList &sql, bool gzip)
{
    GatewayTransport &tr = Transport();
    auto b = std::make_shared<PendingBatch>();
    b->sql = sql;
    b->gzip = gzip;
    b->post = tr.StartGatewayPost(BatchAddress(), BatchFields(sql, tr.Charset, gzip));
    if (!b->post)
        return nullptr;
    return b;
}

int HttpSqlGateway::FinishBatch(PendingBatch &b, QVector<GatewayStatementResult> &out)
{
    m_lastErrorText.clear();
    out.clear();
    out.resize(b.sql.size());
    GatewayTransport &tr = Transport();
    QStringList lines;
    bool redirected = false;
    const auto got = tr.FinishGatewayPost(*b.post, lines, redirected);
    b.post.reset();
    if (redirected)
        return GatewayBatch(b.sql, out, b.gzip);
    return takeBatchAnswer(int(got), lines, b.sql, out);
}

int HttpSqlGateway::GatewayBatch(const QStringList &sql, QVector<GatewayStatementResult> &out, bool gzip)
{
    m_lastErrorText.clear();
    out.clear();
    out.resize(sql.size());
    GatewayTransport &tr = Transport();
    QStringList lines;
    const auto got = tr.PostGatewayFields(BatchAddress(), BatchFields(sql, tr.Charset, gzip), lines);
    return takeBatchAnswer(int(got), lines, sql, out);
}

int HttpSqlGateway::takeBatchAnswer(int got_, const QStringList &lines, const QStringList &sql,
                                    QVector<GatewayStatementResult> &out)
{
    const auto got = GatewayTransport::Fetch(got_);
    GatewayTransport &tr = Transport();
    takePage(lines);
    if (got != GatewayTransport::Fetch::Ok) {
        m_lastErrorText = tr.LastErrorText();
        return got == GatewayTransport::Fetch::FormError ? ShopResult::GatewayFailed : ShopResult::NoAnswer;
    }
    const QString text = JoinAnswerLines(lines);
    bool complete = false;
    if (!ParseBatchAnswer(text, int(sql.size()), out, complete)) {
        const int result = out.isEmpty() ? int(ShopResult::NoAnswer) : out.first().result;
        m_lastErrorText = answerErrorText(result, text, tr);
        return result;
    }
    if (!complete)
        m_lastErrorText = QStringLiteral("Die Antwort des Shop-Servers auf einen Stapel von Anweisungen ist unvollständig.");
    return ShopResult::Done;
}

HttpSqlGateway &Gateway()
{
    static HttpSqlGateway g;
    return g;
}

} // namespace mv
