#include "core/TextUtil.h"

#include "core/ShopSettings.h"

#include <QStringDecoder>
#include <QStringEncoder>

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

QByteArray ToAnsi(const QString &s)
{
    QStringEncoder enc("windows-1252", QStringEncoder::Flag::Stateless);
    QByteArray out = enc.encode(s);
    return out;
}

QString FromAnsi(const QByteArray &b)
{
    return FromAnsi(b.constData(), b.size());
}

QString FromAnsi(const char *data, qsizetype size)
{
    QStringDecoder dec("windows-1252", QStringDecoder::Flag::Stateless);
    return dec.decode(QByteArrayView(data, size));
}

} // namespace mv
