#include "data/FormatSettings.h"

#include "core/TextUtil.h"

#include <QFile>
#include <QStringList>

#include <cmath>

namespace mv {

#if defined(__GLIBC__)
namespace {
// While TZ is unset, glibc reads /etc/localtime again for every local-time
// conversion (a file system call per date value: reading 50,000 dates took
// ten times longer). Naming the same file once lets it cache the zone.
struct LocalZoneCache {
    LocalZoneCache()
    {
        if (!qEnvironmentVariableIsSet("TZ") && QFile::exists(QStringLiteral("/etc/localtime")))
            qputenv("TZ", ":/etc/localtime");
    }
} localZoneCache;
}
#endif

FormatSettings &Formats()
{
    static FormatSettings f;
    return f;
}

QString FloatToText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (v == 0)
        return QStringLiteral("0");
    QString s = QString::number(v, 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        QString mant = s.left(e);
        QString exp = s.mid(e + 1);
        bool neg = exp.startsWith(QLatin1Char('-'));
        if (exp.startsWith(QLatin1Char('+')) || neg)
            exp.remove(0, 1);
        while (exp.size() > 1 && exp.startsWith(QLatin1Char('0')))
            exp.remove(0, 1);
        s = mant + QLatin1Char('E') + (neg ? QStringLiteral("-") : QString()) + exp;
    }
    s.replace(QLatin1Char('.'), Formats().DecimalSeparator);
    return s;
}

bool TextToFloat(const QString &in, double *out)
{
    QString s = in.trimmed();
    if (s.isEmpty())
        return false;
    // Separate mantissa and exponent so "1,5E3" works too.
    qsizetype e = s.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
    QString mant = e >= 0 ? s.left(e) : s;
    const QString exp = e >= 0 ? s.mid(e) : QString();
    const qsizetype commas = mant.count(QLatin1Char(','));
    const qsizetype points = mant.count(QLatin1Char('.'));
    if (commas && points) {
        const qsizetype lc = mant.lastIndexOf(QLatin1Char(','));
        const qsizetype lp = mant.lastIndexOf(QLatin1Char('.'));
        if (lc > lp) {
            mant.remove(QLatin1Char('.'));
            mant.replace(QLatin1Char(','), QLatin1Char('.'));
        } else {
            mant.remove(QLatin1Char(','));
        }
    } else if (commas > 1) {
        mant.remove(QLatin1Char(','));
    } else if (commas == 1) {
        mant.replace(QLatin1Char(','), QLatin1Char('.'));
    } else if (points > 1) {
        mant.remove(QLatin1Char('.'));
    }
    bool ok = false;
    const double v = (mant + exp).toDouble(&ok);
    if (!ok)
        return false;
    if (out)
        *out = v;
    return true;
}

QString DateToText(const QDate &d)
{
    return d.isValid() ? d.toString(Formats().ShortDateFormat) : QString();
}

QString TimeToText(const QTime &t)
{
    return t.isValid() ? t.toString(Formats().LongTimeFormat) : QString();
}

QString DateTimeToText(const QDateTime &dt)
{
    if (!dt.isValid())
        return QString();
    if (dt.time() == QTime(0, 0))
        return DateToText(dt.date());
    return DateToText(dt.date()) + QLatin1Char(' ') + TimeToText(dt.time());
}

namespace {

bool allDigits(const QString &s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

QDate parseDatePart(const QString &s)
{
    QString t = s.trimmed();
    if (t.isEmpty())
        return {};
    QChar sep;
    for (QChar c : t) {
        if (c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('/')) {
            sep = c;
            break;
        }
    }
    if (sep.isNull())
        return {};
    QStringList p = t.split(sep);
    if (!p.isEmpty() && p.last().isEmpty())
        p.removeLast(); // "09.12." style
    if (p.size() < 2 || p.size() > 3)
        return {};
    for (const QString &x : p)
        if (!allDigits(x))
            return {};
    int y, m, d;
    if (p.size() == 3 && p[0].size() == 4) {
        y = p[0].toInt(); m = p[1].toInt(); d = p[2].toInt();
    } else {
        d = p[0].toInt(); m = p[1].toInt();
        if (p.size() == 3) {
            y = p[2].toInt();
            if (p[2].size() <= 2)
                y = ExpandTwoDigitYear(y);
        } else {
            y = QDate::currentDate().year();
        }
    }
    return QDate(y, m, d);
}

} // namespace

QTime TextToTime(const QString &s)
{
    QString t = s.trimmed();
    if (t.isEmpty())
        return {};
    QStringList p = t.split(QLatin1Char(':'));
    if (p.size() < 2 || p.size() > 3)
        return {};
    int ms = 0;
    if (p.size() == 3) {
        QString sec = p[2];
        qsizetype dot = sec.indexOf(QLatin1Char('.'));
        if (dot < 0)
            dot = sec.indexOf(QLatin1Char(','));
        if (dot >= 0) {
            QString frac = sec.mid(dot + 1);
            sec = sec.left(dot);
            if (!allDigits(frac) || frac.size() > 3)
                return {};
            while (frac.size() < 3)
                frac += QLatin1Char('0');
            ms = frac.toInt();
        }
        p[2] = sec;
    }
    for (const QString &x : p)
        if (!allDigits(x) || x.size() > 2)
            return {};
    return QTime(p[0].toInt(), p[1].toInt(), p.size() == 3 ? p[2].toInt() : 0, ms);
}

QDate TextToDate(const QString &s)
{
    const QDateTime dt = TextToDateTime(s);
    return dt.isValid() ? dt.date() : QDate();
}

QDateTime TextToDateTime(const QString &s)
{
    QString t = s.trimmed();
    if (t.isEmpty())
        return {};
    qsizetype split = t.indexOf(QLatin1Char(' '));
    if (split < 0) {
        const qsizetype tpos = t.indexOf(QLatin1Char('T'));
        if (tpos == 10 && t.at(4) == QLatin1Char('-'))
            split = tpos;
    }
    const QDate d = parseDatePart(split < 0 ? t : t.left(split));
    if (!d.isValid())
        return {};
    QTime tm(0, 0);
    if (split >= 0) {
        tm = TextToTime(t.mid(split + 1));
        if (!tm.isValid())
            return {};
    }
    return QDateTime(d, tm);
}

// ---------------------------------------------------------------- masks

namespace {

// Splits a mask at ';' outside quotes.
QStringList maskSections(const QString &mask)
{
    QStringList out;
    QString cur;
    QChar quote;
    for (QChar c : mask) {
        if (!quote.isNull()) {
            cur += c;
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            cur += c;
        } else if (c == QLatin1Char(';')) {
            out << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    out << cur;
    return out;
}

QString formatSection(const QString &sec, double absValue, bool negSign)
{
    // Locate the number part: from the first to the last placeholder.
    qsizetype first = -1, last = -1;
    QChar quote;
    for (qsizetype i = 0; i < sec.size(); ++i) {
        const QChar c = sec.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            continue;
        }
        if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    auto literal = [](const QString &part) {
        QString r;
        QChar q;
        for (QChar c : part) {
            if (!q.isNull()) {
                if (c == q)
                    q = QChar();
                else
                    r += c;
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                q = c;
            } else {
                r += c;
            }
        }
        return r;
    };
    if (first < 0)
        return literal(sec);
    const QString prefix = literal(sec.left(first));
    const QString suffix = literal(sec.mid(last + 1));
    const QString num = sec.mid(first, last - first + 1);
    const qsizetype dot = num.indexOf(QLatin1Char('.'));
    const QString intPart = dot < 0 ? num : num.left(dot);
    const QString fracPart = dot < 0 ? QString() : num.mid(dot + 1);
    const bool grouping = intPart.contains(QLatin1Char(','));
    const int minInt = int(intPart.count(QLatin1Char('0')));
    const int minFrac = int(fracPart.count(QLatin1Char('0')));
    const int maxFrac = minFrac + int(fracPart.count(QLatin1Char('#')));

    QString digits = QString::number(absValue, 'f', maxFrac);
    QString ip = digits, fp;
    const qsizetype d = digits.indexOf(QLatin1Char('.'));
    if (d >= 0) {
        ip = digits.left(d);
        fp = digits.mid(d + 1);
    }
    while (fp.size() > minFrac && fp.endsWith(QLatin1Char('0')))
        fp.chop(1);
    if (ip == QLatin1String("0") && minInt == 0)
        ip.clear();
    while (ip.size() < minInt)
        ip.prepend(QLatin1Char('0'));
    if (grouping && ip.size() > 3) {
        QString g;
        int n = 0;
        for (qsizetype i = ip.size() - 1; i >= 0; --i) {
            g.prepend(ip.at(i));
            if (++n % 3 == 0 && i > 0)
                g.prepend(Formats().ThousandSeparator);
        }
        ip = g;
    }
    QString out = ip;
    if (!fp.isEmpty())
        out += Formats().DecimalSeparator + fp;
    if (out.isEmpty())
        out = QStringLiteral("0");
    // A value that rounds to zero shows without sign.
    bool allZero = true;
    for (QChar c : out)
        if (c.isDigit() && c != QLatin1Char('0'))
            allZero = false;
    return prefix + (negSign && !allZero ? QStringLiteral("-") : QString()) + out + suffix;
}

} // namespace

QString FormatFloatMask(const QString &mask, double v)
{
    if (mask.isEmpty())
        return FloatToText(v);
    if (std::isnan(v) || std::isinf(v))
        return FloatToText(v);
    const QStringList secs = maskSections(mask);
    if (v == 0 && secs.size() >= 3 && !secs[2].isEmpty())
        return formatSection(secs[2], 0, false);
    if (v < 0 && secs.size() >= 2 && !secs[1].isEmpty())
        return formatSection(secs[1], -v, false);
    return formatSection(secs[0], std::fabs(v), v < 0);
}

QString FormatDateTimeMask(const QString &mask, const QDateTime &dt)
{
    if (!dt.isValid())
        return QString();
    if (mask.isEmpty())
        return DateTimeToText(dt);
    static const char *shortDays[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
    static const char *longDays[] = {"Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag", "Sonntag"};
    static const char *shortMonths[] = {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
    static const char *longMonths[] = {"Januar", "Februar", "M\xc3\xa4rz", "April", "Mai", "Juni", "Juli", "August",
                                       "September", "Oktober", "November", "Dezember"};
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString out;
    bool lastWasHour = false;
    const qsizetype n = mask.size();
    auto count = [&](qsizetype i, QChar c) {
        qsizetype k = i;
        while (k < n && mask.at(k).toLower() == c)
            ++k;
        return int(k - i);
    };
    auto two = [](int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); };
    // Does an am/pm marker follow? Then hours are 12-hour.
    const bool twelve = mask.contains(QLatin1String("am/pm"), Qt::CaseInsensitive)
                        || mask.contains(QLatin1String("ampm"), Qt::CaseInsensitive);
    for (qsizetype i = 0; i < n;) {
        const QChar c = mask.at(i);
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            qsizetype j = mask.indexOf(c, i + 1);
            if (j < 0)
                j = n;
            out += mask.mid(i + 1, j - i - 1);
            i = j + 1;
            continue;
        }
        if (lc == QLatin1Char('a')) {
            if (mask.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
                out += t.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
                i += 5;
                continue;
            }
            if (mask.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0) {
                out += t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
                i += 4;
                continue;
            }
        }
        if (lc == QLatin1Char('d')) {
            const int k = count(i, lc);
            const int dow = d.dayOfWeek() - 1;
            switch (k) {
            case 1: out += QString::number(d.day()); break;
            case 2: out += two(d.day()); break;
            case 3: out += QString::fromLatin1(shortDays[dow]); break;
            case 4: out += QString::fromLatin1(longDays[dow]); break;
            case 5: out += DateToText(d); break;
            default: out += QString::number(d.day()) + QStringLiteral(". ") + QString::fromUtf8(longMonths[d.month() - 1])
                            + QLatin1Char(' ') + QString::number(d.year()); break;
            }
            i += k;
            lastWasHour = false;
            continue;
        }
        if (lc == QLatin1Char('m')) {
            const int k = count(i, lc);
            if (lastWasHour && k <= 2) {
                out += k == 1 ? QString::number(t.minute()) : two(t.minute());
            } else {
                switch (k) {
                case 1: out += QString::number(d.month()); break;
                case 2: out += two(d.month()); break;
                case 3: out += QString::fromLatin1(shortMonths[d.month() - 1]); break;
                default: out += QString::fromUtf8(longMonths[d.month() - 1]); break;
                }
            }
            i += k;
            lastWasHour = false;
            continue;
        }
        if (lc == QLatin1Char('y')) {
            const int k = count(i, lc);
            out += k <= 2 ? two(d.year() % 100) : QString::number(d.year()).rightJustified(4, QLatin1Char('0'));
            i += k;
            continue;
        }
        if (lc == QLatin1Char('h')) {
            const int k = count(i, lc);
            int h = t.hour();
            if (twelve) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += k == 1 ? QString::number(h) : two(h);
            i += k;
            lastWasHour = true;
            continue;
        }
        if (lc == QLatin1Char('n')) {
            const int k = count(i, lc);
            out += k == 1 ? QString::number(t.minute()) : two(t.minute());
            i += k;
            continue;
        }
        if (lc == QLatin1Char('s')) {
            const int k = count(i, lc);
            out += k == 1 ? QString::number(t.second()) : two(t.second());
            i += k;
            continue;
        }
        if (lc == QLatin1Char('z')) {
            const int k = count(i, lc);
            out += k >= 3 ? QString::number(t.msec()).rightJustified(3, QLatin1Char('0')) : QString::number(t.msec());
            i += k;
            continue;
        }
        if (lc == QLatin1Char('t')) {
            const int k = count(i, lc);
            out += k == 1 ? t.toString(QStringLiteral("hh:mm")) : TimeToText(t);
            i += k;
            continue;
        }
        if (lc == QLatin1Char('c')) {
            out += DateTimeToText(dt);
            ++i;
            continue;
        }
        if (c == QLatin1Char('/')) {
            out += Formats().DateSeparator;
            ++i;
            continue;
        }
        if (c == QLatin1Char(':')) {
            out += Formats().TimeSeparator;
            ++i;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace mv
