#include "core/TextUtil.h"

#include "core/ShopSettings.h"


#include <cmath>
#include <limits>
#include <optional>

namespace mv {

namespace {
// 1-based start and count to a 0-based slice; empty when out of range.
bool slice(const QString &s, int from, int count, qsizetype &pos, qsizetype &len)
{
    if (from < 1)
        from = 1;
    if (count < 0 || from > s.size())
        return false;
    pos = from - 1;
    len = qMin<qsizetype>(count, s.size() - pos);
    return len > 0;
}
}

QString StrMid(const QString &s, int from, int count)
{
    qsizetype pos, len;
    return slice(s, from, count, pos, len) ? s.mid(pos, len) : QString();
}

QString StrFrom(const QString &s, int from)
{
    return StrMid(s, from, std::numeric_limits<int>::max());
}

QString StrBetween(const QString &s, int from, int to)
{
    if (from < 1)
        from = 1;
    if (to < from)
        return QString();
    return StrMid(s, from, to - from + 1);
}

QString StrLeft(const QString &s, int n)
{
    return n <= 0 ? QString() : s.left(n);
}

QString StrRight(const QString &s, int n)
{
    return n <= 0 ? QString() : s.right(n);
}

int PosFrom(int start, const QString &s, const QString &sub)
{
    if (sub.isEmpty())
        return 0;
    if (start < 1)
        start = 1;
    if (start > s.size())
        return 0;
    const qsizetype i = s.indexOf(sub, start - 1, Qt::CaseSensitive);
    return i < 0 ? 0 : int(i + 1);
}

int LastPosFrom(int start, const QString &s, const QString &sub)
{
    if (sub.isEmpty())
        return 0;
    if (start < 1)
        start = 1;
    const qsizetype i = s.lastIndexOf(sub, -1, Qt::CaseSensitive);
    return (i < 0 || i + 1 < start) ? 0 : int(i + 1);
}

QString StrReverse(const QString &s)
{
    QString r(s.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i)
        r[s.size() - 1 - i] = s.at(i);
    return r;
}

QString ReplaceAll(const QString &s, const QString &oldText, const QString &newText)
{
    if (oldText.isEmpty())
        return s;
    QString r = s;
    return r.replace(oldText, newText, Qt::CaseSensitive); // continues after each insert
}

QString SafeName(const QString &s)
{
    static const QString bad = QStringLiteral(" \u00e4\u00c4\u00f6\u00d6\u00fc\u00dc\u00df#&");
    QString r = s;
    for (QChar &c : r)
        if (bad.contains(c))
            c = QLatin1Char('_');
    return r;
}

namespace {
// Strict number reading: optional sign, digits, optional separator with
// digits, optional exponent; nothing else.
std::optional<double> readNumber(const QString &t, QChar sep)
{
    const qsizetype n = t.size();
    qsizetype i = 0;
    QByteArray buf;
    buf.reserve(n);
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        buf.append(char(t[i++].unicode()));
    qsizetype digits = 0;
    while (i < n && t[i].isDigit() && t[i].unicode() < 128) {
        buf.append(char(t[i++].unicode()));
        ++digits;
    }
    if (i < n && t[i] == sep) {
        buf.append('.');
        ++i;
        while (i < n && t[i].unicode() < 128 && t[i].isDigit()) {
            buf.append(char(t[i++].unicode()));
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        buf.append('e');
        ++i;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
            buf.append(char(t[i++].unicode()));
        qsizetype expDigits = 0;
        while (i < n && t[i].unicode() < 128 && t[i].isDigit()) {
            buf.append(char(t[i++].unicode()));
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double v = buf.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double leadingDigits(const QString &t)
{
    qsizetype i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        neg = t[i++] == QLatin1Char('-');
    double v = 0;
    while (i < t.size() && t[i].unicode() < 128 && t[i].isDigit())
        v = v * 10 + (t[i++].unicode() - '0');
    return neg ? -v : v;
}
}

double StrToFloatX(const QString &s)
{
    QString t = s.trimmed();
    if (auto v = readNumber(t, QLatin1Char('.')); v && *v != 0)
        return *v;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (auto v = readNumber(t, QLatin1Char('.')); v && *v != 0)
        return *v;
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    if (auto v = readNumber(t, QLatin1Char(',')))
        return *v;
    const QString tt = t.trimmed();
    if (tt.size() > 1) {
        const qsizetype p = qMax<qsizetype>(1, tt.size() - 6); // 1-based
        if (tt.at(p - 1) == QLatin1Char(',')) {
            QString head = tt.left(tt.size() - 3);
            head.remove(QLatin1Char(','));
            const QString composed = head + QLatin1Char('.') + tt.right(2);
            if (composed != s) // a text that reads as itself again would loop
                return StrToFloatX(composed);
        }
    }
    return leadingDigits(tt);
}

int StrToIntX(const QString &s)
{
    const double v = std::trunc(StrToFloatX(s));
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

QString FloatToSqlStr(int decimals, double x)
{
    if (!std::isfinite(x) || decimals < 0 || decimals > 18)
        return QString();
    QString r = QString::number(x, 'f', decimals);
    // "-0.00" is not a number anyone wrote
    bool allZero = true;
    for (QChar c : r)
        if (c.isDigit() && c != QLatin1Char('0'))
            allZero = false;
    if (allZero && r.startsWith(QLatin1Char('-')))
        r.remove(0, 1);
    return r;
}

QString LimitSql(int offset, int count)
{
    const QString &word = Settings().LimitWord;
    if (offset < 0)
        return word + QLatin1Char(' ') + QString::number(count);
    return word + QLatin1Char(' ') + QString::number(offset) + QLatin1Char(',') + QString::number(count);
}

int ExpandTwoDigitYear(int yy, int currentYear)
{
    if (yy < 0 || yy > 99)
        return yy;
    const int low = currentYear - 65;
    int year = (low / 100) * 100 + yy;
    if (year < low)
        year += 100;
    return year;
}

namespace {
// Windows-1252 bytes 0x80..0x9F; the other bytes equal Latin-1. The five
// bytes the code page leaves open read as the C1 control of that number,
// as Windows reads them.
constexpr char16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

char16_t AnsiToUnicode(unsigned char b)
{
    return (b >= 0x80 && b < 0xA0) ? kAnsiHigh[b - 0x80] : char16_t(b);
}

unsigned char UnicodeToAnsi(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    if (c < 0xA0)  // C1 controls: only the five the code page leaves open
        return kAnsiHigh[c - 0x80] == c ? static_cast<unsigned char>(c) : 0;
    switch (c) {
    case 0x20AC: return 0x80; case 0x201A: return 0x82; case 0x0192: return 0x83; case 0x201E: return 0x84;
    case 0x2026: return 0x85; case 0x2020: return 0x86; case 0x2021: return 0x87; case 0x02C6: return 0x88;
    case 0x2030: return 0x89; case 0x0160: return 0x8A; case 0x2039: return 0x8B; case 0x0152: return 0x8C;
    case 0x017D: return 0x8E; case 0x2018: return 0x91; case 0x2019: return 0x92; case 0x201C: return 0x93;
    case 0x201D: return 0x94; case 0x2022: return 0x95; case 0x2013: return 0x96; case 0x2014: return 0x97;
    case 0x02DC: return 0x98; case 0x2122: return 0x99; case 0x0161: return 0x9A; case 0x203A: return 0x9B;
    case 0x0153: return 0x9C; case 0x017E: return 0x9E; case 0x0178: return 0x9F;
    default: return 0;
    }
}

QByteArray ToAnsi(const QString &s)
{
    const qsizetype n = s.size();
    const char16_t *p = reinterpret_cast<const char16_t *>(s.constData());
    QByteArray out(n, Qt::Uninitialized);
    char *d = out.data();
    qsizetype k = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        const unsigned char b = UnicodeToAnsi(c);
        if (b || c == 0) {
            d[k++] = char(b);
            continue;
        }
        // One '?' per character the code page lacks, as Windows writes it.
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1]))
            ++i;
        d[k++] = '?';
    }
    out.truncate(k);
    return out;
}

QString FromAnsi(const QByteArray &b)
{
    return FromAnsi(b.constData(), b.size());
}

QString FromAnsi(const char *data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < size; ++i)
        d[i] = QChar(AnsiToUnicode(static_cast<unsigned char>(data[i])));
    return out;
}

bool IsAnsiCharset(QByteArrayView name)
{
    const QByteArray n = name.trimmed().toByteArray().toLower();
    return n == "windows-1252" || n == "cp1252" || n == "x-cp1252" || n == "iso-8859-1" || n == "latin1"
           || n == "us-ascii";
}

} // namespace mv
