#include "browse/LongTextRtf.h"

#include "core/TextUtil.h"

#include <QStringList>

namespace mv {

namespace {

QString escapeText(const QString &s)
{
    QString out;
    out.reserve(s.size() + 8);
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u == '\t') {
            out += QLatin1String("\\tab ");
        } else if (u < 0x20) {
            // control characters have no place in the text
        } else if (u < 0x80) {
            out += c;
        } else if (const unsigned char b = UnicodeToAnsi(u)) {
            out += QStringLiteral("\\'%1").arg(b, 2, 16, QLatin1Char('0'));
        } else if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            // both halves as signed 16-bit values, each with "?" for readers without Unicode
            out += QStringLiteral("\\u%1?\\u%2?").arg(qint16(u)).arg(qint16(s.at(i + 1).unicode()));
            ++i;
        } else {
            out += QStringLiteral("\\u%1?").arg(qint16(u));
        }
    }
    return out;
}

QString fontName(const QString &f)
{
    QString n = f;
    n.remove(QLatin1Char(';'));
    n.remove(QLatin1Char('{'));
    n.remove(QLatin1Char('}'));
    n.remove(QLatin1Char('\\'));
    return n.trimmed();
}

} // namespace

QString WriteLongTextRtf(const QVector<LongTextParagraph> &paragraphs, const QString &defaultFont, int defaultSize)
{
    QStringList fonts{fontName(defaultFont).isEmpty() ? QStringLiteral("Arial") : fontName(defaultFont)};
    QVector<quint32> colors;
    for (const auto &p : paragraphs) {
        for (const LongTextRun &r : p) {
            const QString f = fontName(r.font);
            if (!f.isEmpty() && !fonts.contains(f))
                fonts << f;
            if (r.color != 0 && !colors.contains(r.color))
                colors << r.color;
        }
    }
    const int baseSize = defaultSize > 0 ? defaultSize : 10;
    QString out = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl");
    for (int i = 0; i < fonts.size(); ++i)
        out += QStringLiteral("{\\f%1\\fnil %2;}").arg(i).arg(escapeText(fonts[i]));
    out += QLatin1Char('}');
    if (!colors.isEmpty()) {
        out += QStringLiteral("{\\colortbl ;");
        for (quint32 c : colors)
            out += QStringLiteral("\\red%1\\green%2\\blue%3;").arg((c >> 16) & 0xFF).arg((c >> 8) & 0xFF).arg(c & 0xFF);
        out += QLatin1Char('}');
    }
    out += QStringLiteral("\r\n\\viewkind4\\uc1\\pard\\f0\\fs%1 ").arg(baseSize * 2);
    for (int p = 0; p < paragraphs.size(); ++p) {
        for (const LongTextRun &r : paragraphs[p]) {
            if (r.text.isEmpty())
                continue;
            const int f = fontName(r.font).isEmpty() ? 0 : int(fonts.indexOf(fontName(r.font)));
            const int cf = r.color != 0 ? int(colors.indexOf(r.color)) + 1 : 0;
            const int size = r.size > 0 ? r.size : baseSize;
            out += QStringLiteral("{\\f%1\\fs%2").arg(f).arg(size * 2);
            if (cf)
                out += QStringLiteral("\\cf%1").arg(cf);
            if (r.bold)
                out += QLatin1String("\\b");
            if (r.italic)
                out += QLatin1String("\\i");
            if (r.underline)
                out += QLatin1String("\\ul");
            if (r.strike)
                out += QLatin1String("\\strike");
            out += QLatin1Char(' ') + escapeText(r.text) + QLatin1Char('}');
        }
        if (p + 1 < paragraphs.size())
            out += QLatin1String("\\par\r\n");
    }
    out += QLatin1String("\r\n}");
    return out;
}

} // namespace mv
