#include "core/RtfToText.h"

#include <array>
#include <exception>
#include <limits>
#include <vector>

namespace mv {

namespace {

bool hasRtfHeader(QStringView t)
{
    return t.left(5).contains(QLatin1String("\\rtf"), Qt::CaseInsensitive);
}

// Characters written as named entities; everything else (the ampersand
// included) is written as it is. The tilde's entity is "&tild;" on purpose:
// the shop's pages have always received it that way.
const std::array<const char *, 256> &entityTable()
{
    static const std::array<const char *, 256> table = [] {
        std::array<const char *, 256> t{};
        struct E { unsigned char c; const char *e; };
        static const E entries[] = {
            {'"', "&quot;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'^', "&circ;"}, {'~', "&tild;"},
            {0xA3, "&pound;"}, {0xA7, "&sect;"}, {0xB0, "&deg;"}, {0xB2, "&sup2;"},
            {0xB3, "&sup3;"}, {0xB5, "&micro;"}, {0xB7, "&middot;"}, {0xBC, "&frac14;"},
            {0xBD, "&frac12;"}, {0xBF, "&iquest;"},
            {0xC0, "&Agrave;"}, {0xC1, "&Aacute;"}, {0xC2, "&Acirc;"}, {0xC3, "&Atilde;"},
            {0xC4, "&Auml;"}, {0xC5, "&Aring;"}, {0xC6, "&AElig;"}, {0xC7, "&Ccedil;"},
            {0xC8, "&Egrave;"}, {0xC9, "&Eacute;"}, {0xCA, "&Ecirc;"}, {0xCB, "&Euml;"},
            {0xCC, "&Igrave;"}, {0xCD, "&Iacute;"}, {0xCE, "&Icirc;"}, {0xCF, "&Iuml;"},
            {0xD1, "&Ntilde;"}, {0xD2, "&Ograve;"}, {0xD3, "&Oacute;"}, {0xD4, "&Ocirc;"},
            {0xD5, "&Otilde;"}, {0xD6, "&Ouml;"}, {0xD9, "&Ugrave;"}, {0xDA, "&Uacute;"},
            {0xDB, "&Ucirc;"}, {0xDC, "&Uuml;"}, {0xDD, "&Yacute;"}, {0xDF, "&szlig;"},
            {0xE0, "&agrave;"}, {0xE1, "&aacute;"}, {0xE2, "&acirc;"}, {0xE3, "&atilde;"},
            {0xE4, "&auml;"}, {0xE5, "&aring;"}, {0xE6, "&aelig;"}, {0xE7, "&ccedil;"},
            {0xE8, "&egrave;"}, {0xE9, "&eacute;"}, {0xEA, "&ecirc;"}, {0xEB, "&euml;"},
            {0xEC, "&igrave;"}, {0xED, "&iacute;"}, {0xEE, "&icirc;"}, {0xEF, "&iuml;"},
            {0xF1, "&ntilde;"}, {0xF2, "&ograve;"}, {0xF3, "&oacute;"}, {0xF4, "&ocirc;"},
            {0xF5, "&otilde;"}, {0xF6, "&ouml;"}, {0xF7, "&divide;"}, {0xF9, "&ugrave;"},
            {0xFA, "&uacute;"}, {0xFB, "&ucirc;"}, {0xFC, "&uuml;"}, {0xFD, "&yacute;"},
            {0xFF, "&yuml;"},
        };
        static_assert(sizeof(entries) / sizeof(entries[0]) == 72);
        for (const E &e : entries)
            t[e.c] = e.e;
        return t;
    }();
    return table;
}

// Characters above U+00FF that Windows-1252 holds; the shop's text columns
// keep those, anything else is written as a character reference.
bool inAnsi(char16_t c)
{
    switch (c) {
    case 0x20AC: case 0x201A: case 0x0192: case 0x201E: case 0x2026: case 0x2020:
    case 0x2021: case 0x02C6: case 0x2030: case 0x0160: case 0x2039: case 0x0152:
    case 0x017D: case 0x2018: case 0x2019: case 0x201C: case 0x201D: case 0x2022:
    case 0x2013: case 0x2014: case 0x02DC: case 0x2122: case 0x0161: case 0x203A:
    case 0x0153: case 0x017E: case 0x0178:
        return true;
    default:
        return false;
    }
}

void appendHex2(QString &out, unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    out += QLatin1Char(digits[(v >> 4) & 15]);
    out += QLatin1Char(digits[v & 15]);
}

void openTags(QString &out, const RtfCharFormat &f, const QStringList &names)
{
    out += QLatin1String("<FONT COLOR=\"#");
    appendHex2(out, (f.color >> 16) & 0xFF);
    appendHex2(out, (f.color >> 8) & 0xFF);
    appendHex2(out, f.color & 0xFF);
    out += QLatin1String("\" SIZE=\"");
    out += QString::number(f.size % 8 + 2);
    out += QLatin1String("\" FACE=\"");
    out += names.value(f.fontName);
    out += QLatin1String("\">");
    if (f.bold) out += QLatin1String("<B>");
    if (f.italic) out += QLatin1String("<I>");
    if (f.strike) out += QLatin1String("<STRIKE>");
    if (f.underline) out += QLatin1String("<U>");
}

void closeTags(QString &out, const RtfCharFormat &f)
{
    if (f.underline) out += QLatin1String("</U>");
    if (f.strike) out += QLatin1String("</STRIKE>");
    if (f.italic) out += QLatin1String("</I>");
    if (f.bold) out += QLatin1String("</B>");
    out += QLatin1String("</FONT>");
}

void openPara(QString &out, const RtfParaFormat &p)
{
    if (p.bullet)
        out += QLatin1String("<LI>");
    switch (p.align) {
    case RtfAlign::Left: out += QLatin1String("<P ALIGN=\"LEFT\">"); break;
    case RtfAlign::Right: out += QLatin1String("<P ALIGN=\"RIGHT\">"); break;
    case RtfAlign::Center: out += QLatin1String("<P ALIGN=\"CENTER\">"); break;
    }
}

void closePara(QString &out, const RtfParaFormat &p)
{
    out += QLatin1String("</P>");
    if (p.bullet)
        out += QLatin1String("</LI>");
}

// Lines as views; indent and bracket removal applied while joining.
QString joinLines(const std::vector<QStringView> &lines, int indent)
{
    size_t count = lines.size();
    qsizetype pad = 0;
    if (indent > 0)
        pad = std::min(indent, 72);
    else if (indent < 0)
        count = std::min<size_t>(count, size_t(-qint64(indent)));
    qsizetype total = 0;
    for (size_t i = 0; i < count; ++i)
        total += lines[i].size() + pad + 2;
    QString out;
    out.resize(total);
    QChar *d = out.data();
    QChar *const start = d;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            *d++ = QLatin1Char('\r');
            *d++ = QLatin1Char('\n');
        }
        for (qsizetype k = 0; k < pad; ++k)
            *d++ = QLatin1Char(' ');
        const QChar *s = lines[i].data();
        const QChar *e = s + lines[i].size();
        for (; s < e; ++s) {
            const char16_t c = s->unicode();
            if (c == '{' || c == '}' || c == '[' || c == ']')
                continue;
            *d++ = *s;
        }
    }
    out.truncate(d - start);
    return out;
}

QString plainResult(const RtfDocument &doc, int indent)
{
    std::vector<QStringView> views;
    views.reserve(doc.lines.size());
    for (size_t i = 0; i < doc.lines.size(); ++i)
        views.push_back(doc.lineText(qsizetype(i)));
    return joinLines(views, indent);
}

QString htmlResult(const RtfDocument &doc, int indent)
{
    const QStringList lines = RtfHtmlLines(doc);
    std::vector<QStringView> views;
    views.reserve(size_t(lines.size()));
    for (const QString &l : lines)
        views.push_back(l);
    return joinLines(views, indent);
}

bool readsAsRtf(const RtfDocument &doc)
{
    // The first five characters of the lines joined with line breaks.
    QString head;
    for (size_t i = 0; i < doc.lines.size() && head.size() < 5; ++i) {
        if (i > 0)
            head += QLatin1String("\r\n");
        head += doc.lineText(qsizetype(i)).left(5);
    }
    return hasRtfHeader(QStringView(head).left(5));
}

} // namespace

QString RtfEscapeUnicode(const QString &text)
{
    static const QString marker = QStringLiteral("\\u");
    const QChar *t = text.constData();
    const qsizetype n = text.size();
    QString out;
    qsizetype copied = 0;
    int uc = 1;
    qsizetype p = text.indexOf(marker);
    while (p >= 3) {
        // An escaped backslash followed by "u" is text, not an escape.
        qsizetype slashes = 0;
        while (p - 1 - slashes >= 0 && t[p - 1 - slashes].unicode() == '\\')
            ++slashes;
        const qsizetype digits0 = p + 2;
        qsizetype q = digits0;
        qint64 number = 0;
        while (q < n && q < digits0 + 5 && t[q].isDigit() && t[q].unicode() < 128) {
            number = number * 10 + (t[q].unicode() - '0');
            ++q;
        }
        if (slashes % 2 == 0 && q == digits0 && q + 1 < n && t[q].unicode() == 'c'
            && t[q + 1].unicode() >= '0' && t[q + 1].unicode() <= '9') {
            // \ucN: how many fallback characters follow each escape.
            uc = std::min(t[q + 1].unicode() - '0', 9);
        }
        if (slashes % 2 == 0 && number > 255) {
            qsizetype end = q;
            if (end < n && t[end].unicode() == ' ')
                ++end;   // the escape's delimiter
            for (int k = 0; k < uc && end < n; ++k) {
                const char16_t c = t[end].unicode();
                if (c == '\\') {
                    if (end + 3 < n && t[end + 1].unicode() == '\'') {
                        end += 4;
                        continue;
                    }
                    break;
                }
                if (c == '{' || c == '}')
                    break;
                ++end;
            }
            if (out.isEmpty())
                out.reserve(n);
            out.append(t + copied, p - copied);
            out += QLatin1String("&#");
            out += QString::number(number);
            out += QLatin1Char(';');
            copied = end;
            p = text.indexOf(marker, std::max(end, p + 3));
        } else {
            p = text.indexOf(marker, p + 3);
        }
    }
    if (copied == 0)
        return text;
    out.append(t + copied, n - copied);
    return out;
}

QStringList RtfHtmlLines(const RtfDocument &doc)
{
    const auto &entities = entityTable();
    QStringList out;
    out.reserve(qsizetype(doc.lines.size()) + 5);
    out.append(QString());   // the empty header

    QString line;
    openTags(line, doc.defaultFormat, doc.fontNames);
    out.append(line);

    const RtfCharFormat *last = &doc.defaultFormat;
    bool opened = false;     // a format opened inside the text
    int lastIdx = -1;
    RtfParaFormat lastPara;
    size_t run = 0;

    for (size_t li = 0; li < doc.lines.size(); ++li) {
        const RtfDocument::Line &l = doc.lines[li];
        line.clear();
        line.reserve(l.length + l.length / 4 + 16);
        line += QLatin1String("<BR>");
        const QChar *chars = doc.text.constData();
        for (qsizetype pos = l.start, end = l.start + l.length; pos < end; ++pos) {
            while (run + 1 < doc.runs.size() && doc.runs[run + 1].pos <= pos)
                ++run;
            const int idx = run < doc.runs.size() ? doc.runs[run].format : -1;
            if (idx != lastIdx) {
                const RtfCharFormat &f = idx >= 0 ? doc.formats[size_t(idx)] : doc.defaultFormat;
                if (!(f == *last)) {
                    if (opened)
                        closeTags(line, *last);
                    openTags(line, f, doc.fontNames);
                    last = &f;
                    opened = true;
                }
                lastIdx = idx;
            }
            if (pos == l.start && !(l.para == lastPara)) {
                closePara(line, lastPara);
                openPara(line, l.para);
                lastPara = l.para;
            }
            const char16_t c = chars[pos].unicode();
            if (c < 256) {
                if (const char *e = entities[c])
                    line += QLatin1String(e);
                else
                    line += QChar(c);
            } else if (inAnsi(c)) {
                line += QChar(c);
            } else {
                char32_t code = c;
                if (QChar::isHighSurrogate(c) && pos + 1 < end
                    && QChar::isLowSurrogate(chars[pos + 1].unicode())) {
                    code = QChar::surrogateToUcs4(c, chars[pos + 1].unicode());
                    ++pos;
                }
                line += QLatin1String("&#");
                line += QString::number(quint32(code));
                line += QLatin1Char(';');
            }
        }
        out.append(line);
    }

    line.clear();
    if (opened)
        closeTags(line, *last);
    out.append(line);
    line.clear();
    closePara(line, lastPara);
    out.append(line);
    line.clear();
    closeTags(line, doc.defaultFormat);
    out.append(line);
    return out;
}

QString RtfToText(const QString &text, int indent, bool asHtml)
{
    if (!hasRtfHeader(text))
        return text;
    try {
        RtfDocument doc;
        if (!asHtml) {
            const QString escaped = RtfEscapeUnicode(text);
            if (!RtfReader::read(escaped, doc, false))
                return QString();
            if (!readsAsRtf(doc))
                return plainResult(doc, indent);
            // The engine could not read it as rich text.
            if (!RtfReader::read(escaped, doc, true))
                return QString();
            return htmlResult(doc, indent);
        }
        if (!RtfReader::read(text, doc, true))
            return QString();
        return htmlResult(doc, indent);
    } catch (const std::exception &) {
        return QString();
    }
}

MemoPreview MemoFirstLine(const QString &memo)
{
    MemoPreview r;
    qsizetype eol = 0;
    while (eol < memo.size() && memo.at(eol) != QLatin1Char('\r') && memo.at(eol) != QLatin1Char('\n'))
        ++eol;
    if (QStringView(memo).left(eol).startsWith(QLatin1String("{\\rtf"), Qt::CaseInsensitive)) {
        RtfDocument doc;
        if (!RtfReader::read(memo, doc, false) || doc.lines.empty())
            return r;
        r.firstLine = doc.lineText(0).toString();
        r.moreLines = doc.lines.size() > 1;
        return r;
    }
    r.firstLine = memo.left(eol);
    qsizetype next = eol;
    if (next < memo.size() && memo.at(next) == QLatin1Char('\r'))
        ++next;
    if (next < memo.size() && memo.at(next) == QLatin1Char('\n'))
        ++next;
    r.moreLines = next < memo.size();
    return r;
}

} // namespace mv
