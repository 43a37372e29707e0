#pragma once
// RTF memo texts of the WaWi (article long texts, group descriptions,
// payment remarks) as plain text or as an HTML fragment for the shop.

#include "core/RtfReader.h"

#include <QString>
#include <QStringList>

namespace mv {

// Text that does not start with an RTF header comes back unchanged. Plain
// mode writes Unicode escapes above 255 as "&#N;"; HTML mode writes the
// character formats as FONT/B/I/STRIKE/U tags and the paragraphs as P/LI
// tags. indent > 0 puts up to 72 blanks before every line, indent < 0
// keeps the first -indent lines. "{", "}", "[" and "]" are removed from the
// result. Unreadable RTF gives empty text.
QString RtfToText(const QString &text, int indent, bool asHtml);

// The Unicode-escape pass of the plain mode: \uN with N > 255 (and its
// fallback characters) becomes "&#N;".
QString RtfEscapeUnicode(const QString &text);

// What a grid cell shows of a memo: its first line, converted to plain
// text first when the memo is RTF; moreLines when further lines follow.
struct MemoPreview {
    QString firstLine;
    bool moreLines = false;
};
MemoPreview MemoFirstLine(const QString &memo);

} // namespace mv
