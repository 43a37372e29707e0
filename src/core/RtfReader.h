#pragma once
// Reads RTF as rich-edit controls and word processors write it into lines of
// characters with their character and paragraph formats. Works in memory on
// text that was already decoded from the file or table (\'hh escapes are
// decoded by the document's or the font's code page).
//
// Text that does not begin with "{\rtf" is taken as plain text, one line per
// line break, in the default format.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace mv {

struct RtfCharFormat {
    quint32 color = 0;   // 0xRRGGBB; "auto" is black
    int fontName = 0;    // index into RtfDocument::fontNames
    int size = 12;       // points
    bool bold = false;
    bool italic = false;
    bool strike = false;
    bool underline = false;
    bool operator==(const RtfCharFormat &) const = default;
};

enum class RtfAlign : quint8 { Left, Right, Center };

struct RtfParaFormat {
    RtfAlign align = RtfAlign::Left;
    bool bullet = false;
    bool operator==(const RtfParaFormat &) const = default;
};

struct RtfDocument {
    struct Line {
        qsizetype start = 0;   // into text
        qsizetype length = 0;
        RtfParaFormat para;
    };
    // Format of text[pos] up to the next run's pos.
    struct Run {
        qsizetype pos = 0;
        int format = 0;        // index into formats
    };

    bool isRtf = false;
    QString text;              // the characters of all lines, without breaks
    std::vector<Line> lines;
    std::vector<Run> runs;     // sorted by pos; empty when text is empty
    std::vector<RtfCharFormat> formats;   // distinct formats
    QStringList fontNames;
    RtfCharFormat defaultFormat;

    QStringView lineText(qsizetype i) const
    {
        const Line &l = lines[size_t(i)];
        return QStringView(text).mid(l.start, l.length);
    }
    QStringList plainLines() const;
    // Empties the document but keeps its memory for the next text.
    void clear();
};

class RtfReader {
public:
    // Groups nested deeper than this make the text unreadable.
    static constexpr int MaxDepth = 512;

    // Fills doc; false when the text cannot be read (nesting too deep).
    // Without withFormats only the characters and lines are collected.
    static bool read(QStringView text, RtfDocument &doc, bool withFormats = true);
};

} // namespace mv
