#include "shopdb/HttpSqlGateway.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"

#include <QDate>
#include <QLocale>
#include <QUrl>

#include <exception>

namespace mv {

QStringList GatewayColumnNames;
QStringList GatewayColumnTypes;
QVector<QStringList> GatewayCells;
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

static QString paramEncode(const QString &v)
{
    // Bytes in the request character set, every reserved one as %XX.
    return QString::fromLatin1(EncodeText(v, Transport().Charset).toPercentEncoding());
}

QString GatewayAddress(GatewayRequest kind, const QString &sql, bool debug)
{
    const ShopSettings &s = Settings();
    QString a = s.SQL_HTTP + QLatin1String("/module/db_check/db_check") + s.SQL_Global
                + (kind == GatewayRequest::Statement ? QLatin1String(".php?insert=1") : QLatin1String(".php?show=2"));
    if (debug)
        a += QLatin1String("&debug=1");
    a += QLatin1String("&dbhost=") + paramEncode(s.SQL_Host);
    a += QLatin1String("&dbname=") + paramEncode(s.SQL_Data);
    a += QLatin1String("&dbuser=") + paramEncode(s.SQL_User);
    a += QLatin1String("&dbpass=") + paramEncode(s.SQL_Pass);
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
            const QString value = GatewayDecodeValue(valueView.toString());
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
    // The shop writes ISO dates; a zero date is no date.
    if (c.startsWith(QLatin1String("0000-00-00")))
        return QVariant();
    QDate d = QDate::fromString(c.left(10), Qt::ISODate);
    if (d.isValid())
        return d;
    d = QLocale().toDate(c, QLocale::ShortFormat);
    if (d.isValid())
        return d;
    d = QDate::fromString(c, QStringLiteral("dd.MM.yyyy"));
    if (d.isValid())
        return d;
    return QDate::currentDate();
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
        const qsizetype rows = t.cells.isEmpty() ? 0 : t.cells.first().size();
        for (qsizetype r = rows - 1; r >= 0; --r) {
            QVector<QVariant> values(defs.size());
            for (qsizetype c = 0; c < defs.size(); ++c) {
                const QString &cell = t.cells.at(c).at(r);
                if (!cell.isEmpty())
                    values[c] = cellValue(defs.at(c).type, cell);
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

int HttpSqlGateway::GatewayExecute(const QString &sql, int &rowCount)
{
    rowCount = 0;
    GatewayTransport &tr = Transport();
    m_lastPage.clear();
    const auto got = tr.FetchGatewayPage(GatewayAddress(GatewayRequest::Statement, sql, tr.DebugMode), m_lastPage);
    if (got == GatewayTransport::Fetch::FormError)
        return -9;
    if (got != GatewayTransport::Fetch::Ok)
        return -10;
    return ParseStatementAnswer(JoinAnswerLines(m_lastPage), rowCount);
}

int HttpSqlGateway::GatewayQuery(const QString &sql, int &rowCount)
{
    GatewayColumnNames.clear();
    GatewayColumnTypes.clear();
    GatewayCells.clear();
    rowCount = 0;
    GatewayTransport &tr = Transport();
    QStringList lines;
    const auto got = tr.FetchGatewayPage(GatewayAddress(GatewayRequest::Query, sql, tr.DebugMode), lines);
    m_lastPage = lines;
    if (got == GatewayTransport::Fetch::FormError)
        return -9;
    if (got != GatewayTransport::Fetch::Ok)
        return -10;
    GatewayTables t;
    const int result = ParseQueryAnswer(JoinAnswerLines(lines), t, rowCount);
    GatewayColumnNames = std::move(t.names);
    GatewayColumnTypes = std::move(t.types);
    GatewayCells = std::move(t.cells);
    return result;
}

int HttpSqlGateway::GatewayOpen(const QString &sql, int &rowCount, MemTable &table)
{
    BusyScope busy;
    Ui().ProcessEvents();
    int result = GatewayQuery(sql, rowCount);
    if (!GatewayColumnNames.isEmpty()) {
        for (QString &t : GatewayColumnTypes)
            t = t.toLower();
        GatewayTables t{GatewayColumnNames, GatewayColumnTypes, GatewayCells};
        if (!BuildGatewayTable(t, table))
            result = -11;
    }
    return result;
}

HttpSqlGateway &Gateway()
{
    static HttpSqlGateway g;
    return g;
}

} // namespace mv
