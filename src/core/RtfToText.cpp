#include "core/RtfToText.h"

#include "core/TextUtil.h"

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
    return UnicodeToAnsi(c) != 0;
}

// Writes the result lines: the line breaks, the indent, the line limit and
// the removal of brackets happen here, in one buffer without per-character
// allocations.
class Sink {
public:
    Sink(int indent, qsizetype expected)
    {
        if (indent > 0)
            m_pad = std::min(indent, 72);
        else if (indent < 0)
            m_maxLines = -qint64(indent);
        m_buf.resize(std::max<qsizetype>(expected, 64));
        m_d = m_buf.data();
        m_end = m_d + m_buf.size();
    }

    // Starts the next line; false once the line limit is reached.
    bool line()
    {
        if (m_lines >= m_maxLines)
            return false;
        reserve(m_pad + 2);
        if (m_lines > 0) {
            *m_d++ = QLatin1Char('\r');
            *m_d++ = QLatin1Char('\n');
        }
        for (int k = 0; k < m_pad; ++k)
            *m_d++ = QLatin1Char(' ');
        ++m_lines;
        return true;
    }

    // Markup without brackets.
    void tag(QLatin1StringView s)
    {
        reserve(s.size());
        const char *p = s.data();
        for (qsizetype i = 0; i < s.size(); ++i)
            *m_d++ = QLatin1Char(p[i]);
    }

    void text(const QChar *s, qsizetype n)
    {
        reserve(n);
        for (const QChar *e = s + n; s < e; ++s) {
            const char16_t c = s->unicode();
            if (c == '{' || c == '}' || c == '[' || c == ']')
                continue;
            *m_d++ = *s;
        }
    }
    void text(QStringView s) { text(s.data(), s.size()); }

    void ch(char16_t c)
    {
        if (c == '{' || c == '}' || c == '[' || c == ']')
            return;
        reserve(1);
        *m_d++ = QChar(c);
    }

    void number(quint32 v)
    {
        char digits[12];
        int n = 0;
        do {
            digits[n++] = char('0' + v % 10);
            v /= 10;
        } while (v);
        reserve(n);
        while (n > 0)
            *m_d++ = QLatin1Char(digits[--n]);
    }

    void reserve(qsizetype n)
    {
        if (m_end - m_d >= n)
            return;
        const qsizetype used = m_d - m_buf.data();
        m_buf.resize(std::max(m_buf.size() * 2, used + n + 64));
        m_d = m_buf.data() + used;
        m_end = m_buf.data() + m_buf.size();
    }

    QString take()
    {
        m_buf.truncate(m_d - m_buf.data());
        return std::move(m_buf);
    }

private:
    QString m_buf;
    QChar *m_d = nullptr;
    QChar *m_end = nullptr;
    int m_pad = 0;
    qint64 m_maxLines = std::numeric_limits<qint64>::max();
    qint64 m_lines = 0;
};

void hex2(Sink &out, unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    const char s[2] = {digits[(v >> 4) & 15], digits[v & 15]};
    out.tag(QLatin1StringView(s, 2));
}

void openTags(Sink &out, const RtfCharFormat &f, const QStringList &names)
{
    out.tag(QLatin1StringView("<FONT COLOR=\"#"));
    hex2(out, (f.color >> 16) & 0xFF);
    hex2(out, (f.color >> 8) & 0xFF);
    hex2(out, f.color & 0xFF);
    out.tag(QLatin1StringView("\" SIZE=\""));
    out.number(quint32(f.size % 8 + 2));
    out.tag(QLatin1StringView("\" FACE=\""));
    if (f.fontName >= 0 && f.fontName < names.size())
        out.text(names.at(f.fontName));
    out.tag(QLatin1StringView("\">"));
    if (f.bold) out.tag(QLatin1StringView("<B>"));
    if (f.italic) out.tag(QLatin1StringView("<I>"));
    if (f.strike) out.tag(QLatin1StringView("<STRIKE>"));
    if (f.underline) out.tag(QLatin1StringView("<U>"));
}

void closeTags(Sink &out, const RtfCharFormat &f)
{
    if (f.underline) out.tag(QLatin1StringView("</U>"));
    if (f.strike) out.tag(QLatin1StringView("</STRIKE>"));
    if (f.italic) out.tag(QLatin1StringView("</I>"));
    if (f.bold) out.tag(QLatin1StringView("</B>"));
    out.tag(QLatin1StringView("</FONT>"));
}

void openPara(Sink &out, const RtfParaFormat &p)
{
    if (p.bullet)
        out.tag(QLatin1StringView("<LI>"));
    switch (p.align) {
    case RtfAlign::Left: out.tag(QLatin1StringView("<P ALIGN=\"LEFT\">")); break;
    case RtfAlign::Right: out.tag(QLatin1StringView("<P ALIGN=\"RIGHT\">")); break;
    case RtfAlign::Center: out.tag(QLatin1StringView("<P ALIGN=\"CENTER\">")); break;
    }
}

void closePara(Sink &out, const RtfParaFormat &p)
{
    out.tag(QLatin1StringView("</P>"));
    if (p.bullet)
        out.tag(QLatin1StringView("</LI>"));
}

QString plainResult(const RtfDocument &doc, int indent)
{
    Sink out(indent, doc.text.size() + qsizetype(doc.lines.size()) * 2 + 16);
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        if (!out.line())
            break;
        out.text(doc.lineText(qsizetype(i)));
    }
    return out.take();
}

// The HTML conversion: header line, default format, one "<BR>" line per
// text line, closing lines.
void writeHtml(const RtfDocument &doc, Sink &out)
{
    static const auto entities = [] {
        std::array<QLatin1StringView, 256> t{};
        const auto &names = entityTable();
        for (size_t i = 0; i < 256; ++i)
            if (names[i])
                t[i] = QLatin1StringView(names[i]);
        return t;
    }();

    if (!out.line())   // the empty header
        return;
    if (!out.line())
        return;
    openTags(out, doc.defaultFormat, doc.fontNames);

    const RtfCharFormat *last = &doc.defaultFormat;
    bool opened = false;     // a format opened inside the text
    int lastIdx = -1;
    RtfParaFormat lastPara;
    size_t run = 0;
    const QChar *chars = doc.text.constData();

    for (size_t li = 0; li < doc.lines.size(); ++li) {
        if (!out.line())
            return;
        out.tag(QLatin1StringView("<BR>"));
        const RtfDocument::Line &l = doc.lines[li];
        const qsizetype end = l.start + l.length;
        qsizetype pos = l.start;
        while (pos < end) {
            while (run + 1 < doc.runs.size() && doc.runs[run + 1].pos <= pos)
                ++run;
            const int idx = run < doc.runs.size() ? doc.runs[run].format : -1;
            if (idx != lastIdx) {
                const RtfCharFormat &f = idx >= 0 ? doc.formats[size_t(idx)] : doc.defaultFormat;
                if (!(f == *last)) {
                    if (opened)
                        closeTags(out, *last);
                    openTags(out, f, doc.fontNames);
                    last = &f;
                    opened = true;
                }
                lastIdx = idx;
            }
            if (pos == l.start && !(l.para == lastPara)) {
                closePara(out, lastPara);
                openPara(out, l.para);
                lastPara = l.para;
            }
            // The characters up to the next format change.
            qsizetype spanEnd = end;
            if (run + 1 < doc.runs.size() && doc.runs[run + 1].pos < spanEnd)
                spanEnd = doc.runs[run + 1].pos;
            out.reserve((spanEnd - pos) * 9);
            for (; pos < spanEnd; ++pos) {
                const char16_t c = chars[pos].unicode();
                if (c < 256) {
                    const QLatin1StringView e = entities[c];
                    if (e.isEmpty())
                        out.ch(c);
                    else
                        out.tag(e);
                } else if (inAnsi(c)) {
                    out.ch(c);
                } else {
                    char32_t code = c;
                    if (QChar::isHighSurrogate(c) && pos + 1 < spanEnd
                        && QChar::isLowSurrogate(chars[pos + 1].unicode())) {
                        code = QChar::surrogateToUcs4(c, chars[pos + 1].unicode());
                        ++pos;
                    }
                    out.tag(QLatin1StringView("&#"));
                    out.number(quint32(code));
                    out.ch(';');
                }
            }
        }
    }

    if (!out.line())
        return;
    if (opened)
        closeTags(out, *last);
    if (!out.line())
        return;
    closePara(out, lastPara);
    if (!out.line())
        return;
    closeTags(out, doc.defaultFormat);
}

QString htmlResult(const RtfDocument &doc, int indent)
{
    Sink out(indent, doc.text.size() * 2 + qsizetype(doc.lines.size()) * 8 + 256);
    writeHtml(doc, out);
    return out.take();
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

// Reused between calls: the transfer converts thousands of texts, and
// fresh buffers for each would cost more than the conversion.
RtfDocument &workDocument()
{
    thread_local RtfDocument doc;
    return doc;
}

} // namespace

namespace {

// The Unicode-escape pass; writes into buf when something changes and
// returns the text to read (text itself or buf).
const QString &escapeUnicode(const QString &text, QString &buf)
{
    const QChar *t = text.constData();
    const qsizetype n = text.size();
    bool changed = false;
    qsizetype copied = 0;
    int uc = 1;
    auto next = [&](qsizetype from) -> qsizetype {
        for (qsizetype b = from; b + 1 < n; ++b)
            if (t[b].unicode() == '\\' && t[b + 1].unicode() == 'u')
                return b;
        return -1;
    };
    qsizetype p = next(0);
    while (p >= 3) {
        // An escaped backslash followed by "u" is text, not an escape.
        qsizetype slashes = 0;
        while (p - 1 - slashes >= 0 && t[p - 1 - slashes].unicode() == '\\')
            ++slashes;
        const qsizetype digits0 = p + 2;
        qsizetype q = digits0;
        qint64 number = 0;
        while (q < n && q < digits0 + 5 && t[q].unicode() >= '0' && t[q].unicode() <= '9') {
            number = number * 10 + (t[q].unicode() - '0');
            ++q;
        }
        if (slashes % 2 == 0 && q == digits0 && q + 1 < n && t[q].unicode() == 'c'
            && t[q + 1].unicode() >= '0' && t[q + 1].unicode() <= '9') {
            // \ucN: how many fallback characters follow each escape.
            uc = t[q + 1].unicode() - '0';
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
            if (!changed) {
                buf.resize(0);
                if (buf.capacity() < n + 16)
                    buf.reserve(n + 16);
                changed = true;
            }
            buf.append(t + copied, p - copied);
            buf += QLatin1String("&#");
            buf += QString::number(number);
            buf += QLatin1Char(';');
            copied = end;
            p = next(std::max(end, p + 3));
        } else {
            p = next(p + 3);
        }
    }
    if (!changed)
        return text;
    buf.append(t + copied, n - copied);
    return buf;
}

} // namespace

QString RtfEscapeUnicode(const QString &text)
{
    QString buf;
    return escapeUnicode(text, buf);
}

namespace {

QString convert(const QString &text, int indent, bool asHtml, RtfDocument &doc)
{
    if (!asHtml) {
        thread_local QString buf;
        const QString &escaped = escapeUnicode(text, buf);
        QString result;
        if (!RtfReader::read(escaped, doc, false))
            result = QString();
        else if (!readsAsRtf(doc))
            result = plainResult(doc, indent);
        else if (RtfReader::read(escaped, doc, true))   // not readable as rich text
            result = htmlResult(doc, indent);
        if (buf.capacity() > (1 << 20))
            buf = QString();
        return result;
    }
    if (!RtfReader::read(text, doc, true))
        return QString();
    return htmlResult(doc, indent);
}

} // namespace

QString RtfToText(const QString &text, int indent, bool asHtml)
{
    if (!hasRtfHeader(text))
        return text;
    RtfDocument &doc = workDocument();
    QString result;
    try {
        result = convert(text, indent, asHtml, doc);
    } catch (const std::exception &) {
        result = QString();
    }
    // Keep the buffers of article-sized texts only.
    if (doc.text.capacity() > (1 << 20))
        doc = RtfDocument();
    return result;
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
