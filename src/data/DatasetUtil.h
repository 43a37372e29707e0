#pragma once
// Small helpers around datasets and text lists used by the transfer and
// the list windows.

#include <QString>
#include <QStringList>

namespace mv {

class Field;

// A numeric field gets format as display and edit format; any other field
// (or none) is left alone.
void SetNumericFormat(Field *field, const QString &format);

// First position in list whose entry, trimmed and upper-cased, equals text
// trimmed and upper-cased; -1 when none.
int IndexOfText(const QStringList &list, const QString &text);

// Splits text at delimiter into parts[0..], at most maxIndex + 1 parts (the
// last one keeps the rest of the text); returns the number of parts. A
// blank text gives 0; a text without delimiter comes back whole in parts[0].
int SplitText(QStringList &parts, int maxIndex, const QString &text, const QString &delimiter);

} // namespace mv
