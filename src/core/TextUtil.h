#pragma once
// Text cutting, searching, numbers for SQL and the ANSI code page.
// Positions count from 1: a start below 1 counts as 1; a negative count or
// a start beyond the end gives empty text; a count past the end stops there.

#include <QByteArray>
#include <QDate>
#include <QString>

namespace mv {

QString StrMid(const QString &s, int from, int count);
QString StrFrom(const QString &s, int from);
QString StrBetween(const QString &s, int from, int to);
QString StrLeft(const QString &s, int n);
QString StrRight(const QString &s, int n);
int PosFrom(int start, const QString &s, const QString &sub);
int LastPosFrom(int start, const QString &s, const QString &sub);
QString StrReverse(const QString &s);
QString ReplaceAll(const QString &s, const QString &oldText, const QString &newText);
QString SafeName(const QString &s);

double StrToFloatX(const QString &s);
int StrToIntX(const QString &s);
QString FloatToSqlStr(int decimals, double x);
QString LimitSql(int offset, int count);

// Two-digit years: placed in the 100-year span that begins 65 years before
// the current year.
int ExpandTwoDigitYear(int yy, int currentYear = QDate::currentDate().year());

// Windows-1252 (the WaWi's and the shop's "ANSI" code page): the one table
// of the program. Every byte reads as a character (the five bytes the code
// page leaves open as the C1 control of that number).
char16_t AnsiToUnicode(unsigned char b);
// The byte of a character; 0 when the code page has none (and for U+0000).
unsigned char UnicodeToAnsi(char16_t c);
// A character the code page lacks becomes one '?' (a surrogate pair too).
QByteArray ToAnsi(const QString &s);
QString FromAnsi(const QByteArray &b);
QString FromAnsi(const char *data, qsizetype size);
// Names that mean this code page: "windows-1252", "cp1252", and
// "iso-8859-1", "latin1", "us-ascii" as MySQL and web pages use them.
bool IsAnsiCharset(QByteArrayView name);

} // namespace mv
