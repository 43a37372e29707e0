#pragma once
// The workstation's number and date formats (a German Windows installation:
// decimal comma, dd.MM.yyyy). Fields show and read text in these forms, and
// filter expressions read date literals in them.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace mv {

struct FormatSettings {
    QChar DecimalSeparator = QLatin1Char(',');
    QChar ThousandSeparator = QLatin1Char('.');
    QChar DateSeparator = QLatin1Char('.');
    QChar TimeSeparator = QLatin1Char(':');
    // Qt patterns of the short date and the long time.
    QString ShortDateFormat = QStringLiteral("dd.MM.yyyy");
    QString LongTimeFormat = QStringLiteral("hh:mm:ss");
};

// Process-wide formats; tests and the command-line tool may change them.
FormatSettings &Formats();

// Float as the workstation writes it: up to 15 significant digits,
// locale decimal separator, no grouping.
QString FloatToText(double v);
// Reads a number typed with a decimal comma or point, grouping allowed
// (1.234,56 / 1,234.56 / 12,5 / 12.5); surrounding blanks ignored.
bool TextToFloat(const QString &s, double *out);

QString DateToText(const QDate &d);
QString TimeToText(const QTime &t);
// Date, a blank and the time; the time is left out at midnight.
QString DateTimeToText(const QDateTime &dt);
// Short-format readers; also accept ISO 8601 (yyyy-MM-dd[Thh:mm[:ss[.zzz]]])
// and two-digit years. Invalid result when the text is no date.
QDate TextToDate(const QString &s);
QTime TextToTime(const QString &s);
QDateTime TextToDateTime(const QString &s);

// Delphi-style number mask: "#,##0.00", sections "pos;neg;zero",
// quoted literals. Output uses the locale separators.
QString FormatFloatMask(const QString &mask, double v);
// Delphi-style date pattern (d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn
// s ss z zzz c ddddd t tt am/pm ampm, "/" and ":" separators, quoted text).
QString FormatDateTimeMask(const QString &mask, const QDateTime &dt);

} // namespace mv
