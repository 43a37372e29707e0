#pragma once
// Writes an article's long text back as RTF after it was edited in the
// list: paragraphs of runs with their character formats, in the form the
// WaWi's rich-edit fields hold (ANSI with \'hh escapes, \uN for the rest).

#include <QString>
#include <QVector>

namespace mv {

struct LongTextRun {
    QString text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    quint32 color = 0;   // 0xRRGGBB
    int size = 0;        // points; 0 = the document's default
    QString font;        // "" = the document's default
};

using LongTextParagraph = QVector<LongTextRun>;

// defaultFont/defaultSize: the first font table entry and the size of
// runs without one.
QString WriteLongTextRtf(const QVector<LongTextParagraph> &paragraphs,
                         const QString &defaultFont = QStringLiteral("Arial"), int defaultSize = 10);

} // namespace mv
