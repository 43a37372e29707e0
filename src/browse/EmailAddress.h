#pragma once
// The one address rule of the newsletter lists and the scanner that finds
// address candidates in the lines of a text or CSV file.

#include <QString>
#include <QStringList>

namespace mv {

// The text itself when it is a valid address, else empty: exactly one '@',
// a '.' somewhere after it, only ASCII letters, digits, '@', '-', '.', '_',
// and a letter or digit right after the '@'.
QString CheckEmailAddress(const QString &text);

// Candidates of one line: quotes removed; tokens end at a blank, ':', ','
// or ';'; scanning stops when the rest holds no '@' at its second position
// or later, and a token with two or more '@' drops the rest of the line.
QStringList AddressCandidatesOfLine(const QString &line);
QStringList AddressCandidates(const QStringList &lines);

// Splits file bytes into lines: UTF-8 when the bytes are valid UTF-8
// (a BOM is dropped), else Windows-1252.
QStringList TextFileLines(const QByteArray &data);
// Decodes bytes as UTF-8 when valid, else Windows-1252.
QString DecodeUtf8OrAnsi(const QByteArray &data);

} // namespace mv
