#include "core/RtfReader.h"

#include "core/TextUtil.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

namespace mv {

QStringList RtfDocument::plainLines() const
{
    QStringList out;
    out.reserve(qsizetype(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i)
        out.append(lineText(qsizetype(i)).toString());
    return out;
}

void RtfDocument::clear()
{
    isRtf = false;
    text.resize(0);
    lines.clear();
    runs.clear();
    formats.clear();
    fontNames.clear();
    defaultFormat = RtfCharFormat();
}

namespace {

// ---------------------------------------------------------------- code pages

bool isDoubleByte(int cp)
{
    return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361;
}

QByteArray codecName(int cp)
{
    switch (cp) {
    case 437: case 850: case 852: case 855: case 857: case 860: case 861:
    case 862: case 863: case 864: case 865: case 866: case 869:
        return "IBM" + QByteArray::number(cp);
    case 10000: return "macintosh";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1361: return "Johab";
    default: return "windows-" + QByteArray::number(cp);
    }
}

using ByteTable = std::array<char16_t, 256>;

bool buildTable(int cp, ByteTable &t)
{
    if (cp == 1252) {
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = AnsiToUnicode(static_cast<unsigned char>(b));
        return true;
    }
    QStringDecoder dec(codecName(cp).constData(), QStringDecoder::Flag::Stateless);
    if (!dec.isValid())
        return false;
    for (int b = 0; b < 256; ++b) {
        const char ch = char(b);
        const QString s = dec.decode(QByteArrayView(&ch, 1));
        t[size_t(b)] = s.size() == 1 ? s.at(0).unicode() : char16_t(b < 0x80 ? b : 0xFFFD);
    }
    return true;
}

// 256-entry table of a single-byte code page; Windows-1252 for code pages
// the platform does not know.
const ByteTable *byteTable(int cp)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<ByteTable>> tables;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = tables.find(cp);
    if (it != tables.end())
        return it->second.get();
    auto t = std::make_unique<ByteTable>();
    if (!buildTable(cp, *t) && !buildTable(1252, *t)) {
        for (int b = 0; b < 256; ++b)
            (*t)[size_t(b)] = char16_t(b);
    }
    const ByteTable *ref = t.get();
    tables.emplace(cp, std::move(t));
    return ref;
}

int charsetCodePage(int charset)
{
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;   // ANSI, default, symbol: the document's code page
    }
}

// ---------------------------------------------------------------- keywords

enum class Kw : quint8 {
    Unknown,
    // destinations
    SkipDest, FontTbl, ColorTbl, ListTable, ListOverrideTable, Pn,
    // character formats
    B, I, Strike, Ul, UlNone, Plain, F, Fs, Cf, V,
    // paragraph formats
    Pard, Ql, Qr, Qc, Qj, PnLvlBlt, PnLvlOther, Ls, Ilvl,
    // list tables
    List, ListLevel, LevelNfc, ListId, ListOverride,
    // text
    Par, Line, Tab, Cell, Row, Page, Emdash, Endash, Bullet, Lquote, Rquote,
    Ldblquote, Rdblquote, Space, Nothing,
    // encoding
    U, Uc, Bin, Ansi, Mac, Pc, Pca, AnsiCpg, Deff, FCharset, Cpg,
    Red, Green, Blue,
};

struct KwEntry {
    std::string_view name;
    Kw kw;
};

const std::vector<KwEntry> &keywordTable()
{
    static const std::vector<KwEntry> table = [] {
        std::vector<KwEntry> t = {
            {"fonttbl", Kw::FontTbl}, {"colortbl", Kw::ColorTbl},
            {"listtable", Kw::ListTable}, {"listoverridetable", Kw::ListOverrideTable},
            {"pn", Kw::Pn},
            {"stylesheet", Kw::SkipDest}, {"info", Kw::SkipDest}, {"pict", Kw::SkipDest},
            {"object", Kw::SkipDest}, {"header", Kw::SkipDest}, {"headerl", Kw::SkipDest},
            {"headerr", Kw::SkipDest}, {"headerf", Kw::SkipDest}, {"footer", Kw::SkipDest},
            {"footerl", Kw::SkipDest}, {"footerr", Kw::SkipDest}, {"footerf", Kw::SkipDest},
            {"footnote", Kw::SkipDest}, {"annotation", Kw::SkipDest}, {"fldinst", Kw::SkipDest},
            {"filetbl", Kw::SkipDest}, {"revtbl", Kw::SkipDest}, {"rsidtbl", Kw::SkipDest},
            {"xe", Kw::SkipDest}, {"tc", Kw::SkipDest}, {"txe", Kw::SkipDest},
            {"template", Kw::SkipDest}, {"ftnsep", Kw::SkipDest}, {"ftnsepc", Kw::SkipDest},
            {"ftncn", Kw::SkipDest}, {"aftnsep", Kw::SkipDest}, {"aftnsepc", Kw::SkipDest},
            {"aftncn", Kw::SkipDest}, {"nonshppict", Kw::SkipDest}, {"shp", Kw::SkipDest},
            {"shpinst", Kw::SkipDest}, {"pntext", Kw::SkipDest}, {"listtext", Kw::SkipDest},
            {"pntxta", Kw::SkipDest}, {"pntxtb", Kw::SkipDest}, {"leveltext", Kw::SkipDest},
            {"levelnumbers", Kw::SkipDest}, {"listname", Kw::SkipDest}, {"author", Kw::SkipDest},
            {"title", Kw::SkipDest}, {"subject", Kw::SkipDest}, {"operator", Kw::SkipDest},
            {"keywords", Kw::SkipDest}, {"comment", Kw::SkipDest}, {"doccomm", Kw::SkipDest},
            {"bkmkstart", Kw::SkipDest}, {"bkmkend", Kw::SkipDest}, {"atnid", Kw::SkipDest},
            {"atnauthor", Kw::SkipDest}, {"atrfstart", Kw::SkipDest}, {"atrfend", Kw::SkipDest},
            {"datafield", Kw::SkipDest}, {"docvar", Kw::SkipDest}, {"generator", Kw::SkipDest},
            {"userprops", Kw::SkipDest}, {"themedata", Kw::SkipDest},
            {"colorschememapping", Kw::SkipDest}, {"latentstyles", Kw::SkipDest},
            {"datastore", Kw::SkipDest}, {"mmathPr", Kw::SkipDest}, {"listpicture", Kw::SkipDest},
            {"pgdsctbl", Kw::SkipDest}, {"fldtype", Kw::SkipDest}, {"formfield", Kw::SkipDest},
            {"background", Kw::SkipDest}, {"xmlnstbl", Kw::SkipDest}, {"ud", Kw::SkipDest},
            {"b", Kw::B}, {"i", Kw::I}, {"strike", Kw::Strike}, {"striked", Kw::Strike},
            {"ul", Kw::Ul}, {"uld", Kw::Ul}, {"uldash", Kw::Ul}, {"uldashd", Kw::Ul},
            {"uldashdd", Kw::Ul}, {"uldb", Kw::Ul}, {"ulhwave", Kw::Ul}, {"ulldash", Kw::Ul},
            {"ulth", Kw::Ul}, {"ulthd", Kw::Ul}, {"ulthdash", Kw::Ul}, {"ulthdashd", Kw::Ul},
            {"ulthdashdd", Kw::Ul}, {"ulthldash", Kw::Ul}, {"ululdbwave", Kw::Ul},
            {"ulw", Kw::Ul}, {"ulwave", Kw::Ul}, {"ulnone", Kw::UlNone},
            {"plain", Kw::Plain}, {"f", Kw::F}, {"fs", Kw::Fs}, {"cf", Kw::Cf}, {"v", Kw::V},
            {"pard", Kw::Pard}, {"ql", Kw::Ql}, {"qr", Kw::Qr}, {"qc", Kw::Qc}, {"qj", Kw::Qj},
            {"qd", Kw::Qj}, {"pnlvlblt", Kw::PnLvlBlt}, {"pnlvlbody", Kw::PnLvlOther},
            {"pnlvlcont", Kw::PnLvlOther}, {"pnlvl", Kw::PnLvlOther}, {"ls", Kw::Ls},
            {"ilvl", Kw::Ilvl},
            {"list", Kw::List}, {"listlevel", Kw::ListLevel}, {"levelnfc", Kw::LevelNfc},
            {"levelnfcn", Kw::LevelNfc}, {"listid", Kw::ListId}, {"listoverride", Kw::ListOverride},
            {"par", Kw::Par}, {"line", Kw::Line}, {"tab", Kw::Tab}, {"cell", Kw::Cell},
            {"nestcell", Kw::Cell}, {"row", Kw::Row}, {"nestrow", Kw::Row}, {"page", Kw::Page},
            {"emdash", Kw::Emdash}, {"endash", Kw::Endash}, {"bullet", Kw::Bullet},
            {"lquote", Kw::Lquote}, {"rquote", Kw::Rquote}, {"ldblquote", Kw::Ldblquote},
            {"rdblquote", Kw::Rdblquote}, {"emspace", Kw::Space}, {"enspace", Kw::Space},
            {"qmspace", Kw::Space}, {"zwj", Kw::Nothing}, {"zwnj", Kw::Nothing},
            {"u", Kw::U}, {"uc", Kw::Uc}, {"bin", Kw::Bin}, {"ansi", Kw::Ansi}, {"mac", Kw::Mac},
            {"pc", Kw::Pc}, {"pca", Kw::Pca}, {"ansicpg", Kw::AnsiCpg}, {"deff", Kw::Deff},
            {"fcharset", Kw::FCharset}, {"cpg", Kw::Cpg},
            {"red", Kw::Red}, {"green", Kw::Green}, {"blue", Kw::Blue},
        };
        std::sort(t.begin(), t.end(), [](const KwEntry &a, const KwEntry &b) { return a.name < b.name; });
        return t;
    }();
    return table;
}

// Open-addressing hash table over the keyword list: the reader looks up
// every control word, so this is on the hot path.
struct KwHash {
    static constexpr size_t Size = 1024;
    std::array<qint16, Size> slot;

    static size_t hash(std::string_view w)
    {
        size_t h = 2166136261u;
        for (char c : w)
            h = (h ^ quint8(c)) * 16777619u;
        return h;
    }

    KwHash()
    {
        slot.fill(-1);
        const auto &t = keywordTable();
        for (size_t i = 0; i < t.size(); ++i) {
            size_t h = hash(t[i].name) & (Size - 1);
            while (slot[h] >= 0)
                h = (h + 1) & (Size - 1);
            slot[h] = qint16(i);
        }
    }
};

Kw lookup(std::string_view word)
{
    static const KwHash table;
    const auto &t = keywordTable();
    size_t h = KwHash::hash(word) & (KwHash::Size - 1);
    while (table.slot[h] >= 0) {
        const KwEntry &e = t[size_t(table.slot[h])];
        if (e.name.size() == word.size()) {
            size_t i = 0;
            while (i < word.size() && e.name[i] == word[i])
                ++i;
            if (i == word.size())
                return e.kw;
        }
        h = (h + 1) & (KwHash::Size - 1);
    }
    return Kw::Unknown;
}

// ---------------------------------------------------------------- parser

enum class Dest : quint8 { Text, FontTable, ColorTable, ListTable, ListOverride, Pn };

enum : quint8 { FBold = 1, FItalic = 2, FStrike = 4, FUnderline = 8 };

struct State {
    // Character format as RTF numbers, resolved after reading.
    qint32 font = -1;       // RTF font number
    qint32 color = -1;      // colour table index; -1 = auto
    qint32 halfPoints = 24;
    quint8 flags = 0;
    bool hidden = false;
    RtfAlign align = RtfAlign::Left;
    bool pnBullet = false;
    bool pnSet = false;     // inside a \pn group: a level word was seen
    int ls = 0;
    int ilvl = 0;
    int uc = 1;
    int fontCp = 0;         // code page of the current font, 0 = document's
    Dest dest = Dest::Text;

    quint64 key() const
    {
        return quint64(quint16(font)) | (quint64(quint16(color)) << 16)
             | (quint64(quint16(halfPoints)) << 32) | (quint64(flags) << 48);
    }
};

struct Font {
    int num = 0;
    QString name;
    int cp = 0;
};

inline bool isLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isDigit(char16_t c) { return c >= '0' && c <= '9'; }
inline int hexValue(char16_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Parser {
public:
    Parser(QStringView in, RtfDocument &doc, bool withFormats)
        : m_p(in.data()), m_e(in.data() + in.size()), m_doc(doc), m_withFormats(withFormats)
    {
        if (m_doc.text.capacity() < in.size() / 2)
            m_doc.text.reserve(in.size() / 2 + 16);
    }

    bool run();

private:
    // reading
    void controlWord();
    void controlSymbol();
    void keyword(Kw kw, bool hasParam, int param);
    void skipGroup();
    bool push();
    void pop();

    // output
    void put(const QChar *s, qsizetype n);
    void emitChar(char16_t c);
    void emitByte(quint8 b);
    void flushBytes();
    void checkRun();
    void endLine();
    void endParagraph();
    void finish();

    // tables
    void fontText(const QChar *s, qsizetype n);
    void commitFont();
    bool listBullet(int ls, int ilvl) const;
    int currentCodePage() const { return m_st.fontCp ? m_st.fontCp : m_docCp; }
    void resolveFormats();

    const QChar *m_p;
    const QChar *m_e;
    RtfDocument &m_doc;
    bool m_withFormats;

    State m_st;
    std::vector<State> m_stack;
    bool m_star = false;
    int m_ucSkip = 0;
    bool m_fmtDirty = true;

    int m_docCp = 1252;
    int m_deff = 0;
    int m_tableCp = -1;
    const ByteTable *m_table = nullptr;
    QByteArray m_bytes;       // pending bytes of a double-byte code page
    int m_bytesCp = 0;

    qsizetype m_lineStart = 0;
    size_t m_paraFirstLine = 0;
    std::vector<std::pair<qsizetype, quint64>> m_rawRuns;

    std::vector<Font> m_fonts;
    QHash<int, int> m_fontIndex;    // RTF font number -> index into m_fonts
    const Font *findFont(int num) const
    {
        const auto it = m_fontIndex.constFind(num);
        return it == m_fontIndex.cend() ? nullptr : &m_fonts[size_t(it.value())];
    }
    Font m_font;              // entry being read in the font table
    bool m_fontOpen = false;
    std::vector<qint32> m_colors;   // 0xRRGGBB or -1 (auto)
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    // list id -> number formats of its levels; override number -> list id
    QHash<int, std::vector<int>> m_lists;
    std::vector<int> m_curLevels;
    QHash<int, int> m_overrides;
    int m_overrideList = 0;
};

bool Parser::push()
{
    if (m_stack.size() >= size_t(RtfReader::MaxDepth))
        return false;
    m_stack.push_back(m_st);
    m_st.pnSet = false;
    return true;
}

void Parser::pop()
{
    if (m_st.dest == Dest::FontTable)
        commitFont();
    if (m_stack.empty())
        return;
    const State inner = m_st;
    m_st = m_stack.back();
    m_stack.pop_back();
    if (inner.dest == Dest::Pn && m_st.dest != Dest::Pn && inner.pnSet) {
        m_st.pnBullet = inner.pnBullet;
    }
    m_fmtDirty = true;
}

bool Parser::run()
{
    // The caller checked "{\rtf": enter the document group.
    ++m_p;
    while (m_p < m_e) {
        char16_t c = m_p->unicode();
        if (c == '{') {
            ++m_p;
            flushBytes();
            m_ucSkip = 0;
            if (!push())
                return false;
            continue;
        }
        if (c == '}') {
            ++m_p;
            flushBytes();
            m_ucSkip = 0;
            if (m_stack.empty()) {
                pop();
                break;   // end of the document group
            }
            pop();
            continue;
        }
        if (c == '\\') {
            ++m_p;
            if (m_p < m_e && isLetter(m_p->unicode()))
                controlWord();
            else
                controlSymbol();
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++m_p;
            continue;
        }
        m_star = false;
        if (m_ucSkip > 0) {
            --m_ucSkip;
            ++m_p;
            continue;
        }
        const QChar *s = m_p;
        while (m_p < m_e && (c = m_p->unicode()) >= 0x20 && c != '\\' && c != '{' && c != '}')
            ++m_p;
        if (m_p > s) {
            put(s, m_p - s);
        } else {
            ++m_p;
            if (c == '\t')
                emitChar('\t');
        }
    }
    flushBytes();
    finish();
    return true;
}

void Parser::controlWord()
{
    char word[33];
    int n = 0;
    while (m_p < m_e && isLetter(m_p->unicode())) {
        if (n < 32)
            word[n] = char(m_p->unicode());
        ++n;
        ++m_p;
    }
    bool neg = false;
    if (m_p + 1 < m_e && m_p->unicode() == '-' && isDigit(m_p[1].unicode())) {
        neg = true;
        ++m_p;
    }
    bool hasParam = false;
    qint64 v = 0;
    while (m_p < m_e && isDigit(m_p->unicode())) {
        if (v < 100000000000LL)
            v = v * 10 + (m_p->unicode() - '0');
        hasParam = true;
        ++m_p;
    }
    if (m_p < m_e && m_p->unicode() == ' ')
        ++m_p;
    if (v > 2147483647LL)
        v = 2147483647LL;
    const int param = int(neg ? -v : v);
    const Kw kw = n <= 32 ? lookup(std::string_view(word, size_t(n))) : Kw::Unknown;

    if (kw != Kw::U)
        flushBytes();
    if (kw == Kw::Bin) {
        // Binary data is never text; it counts as one fallback unit.
        const qint64 len = hasParam && param > 0 ? param : 0;
        m_p += std::min<qint64>(len, m_e - m_p);
        if (m_ucSkip > 0)
            --m_ucSkip;
        return;
    }
    if (m_ucSkip > 0) {
        --m_ucSkip;
        return;
    }
    const bool star = m_star;
    m_star = false;
    if (star) {
        // Optional destinations we know are read, all others skipped.
        if (kw != Kw::Pn && kw != Kw::ListTable && kw != Kw::ListOverrideTable) {
            skipGroup();
            return;
        }
    }
    keyword(kw, hasParam, param);
}

void Parser::controlSymbol()
{
    if (m_p >= m_e)
        return;
    const char16_t c = m_p->unicode();
    ++m_p;
    if (c == '\'') {
        int hi = m_p < m_e ? hexValue(m_p->unicode()) : -1;
        int lo = m_p + 1 < m_e ? hexValue(m_p[1].unicode()) : -1;
        if (hi < 0 || lo < 0) {
            if (hi >= 0)
                ++m_p;
            return;
        }
        m_p += 2;
        if (m_ucSkip > 0) {
            --m_ucSkip;
            return;
        }
        m_star = false;
        emitByte(quint8(hi * 16 + lo));
        return;
    }
    flushBytes();
    if (c == '*') {
        m_star = true;
        return;
    }
    if (m_ucSkip > 0) {
        if (c != '\r' && c != '\n')
            --m_ucSkip;
        return;
    }
    m_star = false;
    switch (c) {
    case '\\': case '{': case '}':
        emitChar(c);
        break;
    case '~':
        emitChar(0x00A0);
        break;
    case '_':
        emitChar('-');
        break;
    case '\r': case '\n':
        if (m_st.dest == Dest::Text)
            endParagraph();
        break;
    case '\t':
        emitChar('\t');
        break;
    default:
        break;   // \- optional hyphen, \| \: index marks
    }
}

void Parser::skipGroup()
{
    int depth = 1;
    while (m_p < m_e) {
        const char16_t c = m_p->unicode();
        if (c == '\\') {
            // \binN data may hold braces.
            if (m_e - m_p > 4 && m_p[1].unicode() == 'b' && m_p[2].unicode() == 'i'
                && m_p[3].unicode() == 'n' && isDigit(m_p[4].unicode())) {
                m_p += 4;
                qint64 len = 0;
                while (m_p < m_e && isDigit(m_p->unicode())) {
                    if (len < 100000000000LL)
                        len = len * 10 + (m_p->unicode() - '0');
                    ++m_p;
                }
                if (m_p < m_e && m_p->unicode() == ' ')
                    ++m_p;
                m_p += std::min<qint64>(len, m_e - m_p);
                continue;
            }
            m_p += std::min<qsizetype>(2, m_e - m_p);
            continue;
        }
        ++m_p;
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0)
                break;
        }
    }
    m_ucSkip = 0;
    if (depth == 0) {
        if (m_stack.empty()) {
            // The skipped group was the document itself.
            m_p = m_e;
        } else {
            pop();
        }
    }
}

void Parser::keyword(Kw kw, bool hasParam, int param)
{
    const bool on = !hasParam || param != 0;
    auto setFlag = [&](quint8 f) {
        const quint8 old = m_st.flags;
        m_st.flags = on ? quint8(old | f) : quint8(old & ~f);
        m_fmtDirty = true;
    };
    switch (m_st.dest) {
    case Dest::FontTable:
        switch (kw) {
        case Kw::F:
            commitFont();
            m_font = Font();
            m_font.num = param;
            m_fontOpen = true;
            return;
        case Kw::FCharset:
            m_font.cp = charsetCodePage(param);
            return;
        case Kw::Cpg:
            if (param > 0)
                m_font.cp = param == m_docCp ? 0 : param;
            return;
        case Kw::SkipDest:
            skipGroup();
            return;
        case Kw::U:
            if (hasParam) {
                if (param >= -32768 && param <= 65535)
                    emitChar(char16_t(param < 0 ? param + 65536 : param));
                m_ucSkip = m_st.uc;
            }
            return;
        case Kw::Uc:
            m_st.uc = std::max(0, param);
            return;
        default:
            return;
        }
    case Dest::ColorTable:
        switch (kw) {
        case Kw::Red: m_red = std::clamp(param, 0, 255); m_colorSet = true; return;
        case Kw::Green: m_green = std::clamp(param, 0, 255); m_colorSet = true; return;
        case Kw::Blue: m_blue = std::clamp(param, 0, 255); m_colorSet = true; return;
        case Kw::SkipDest: skipGroup(); return;
        default: return;
        }
    case Dest::ListTable:
        switch (kw) {
        case Kw::List:
            m_curLevels.clear();
            return;
        case Kw::ListLevel:
            if (m_curLevels.size() < 9)
                m_curLevels.push_back(-1);
            return;
        case Kw::LevelNfc:
            if (!m_curLevels.empty())
                m_curLevels.back() = param;
            return;
        case Kw::ListId:
            if (m_lists.size() < 10000)
                m_lists.insert(param, m_curLevels);
            return;
        case Kw::SkipDest:
            skipGroup();
            return;
        default:
            return;
        }
    case Dest::ListOverride:
        switch (kw) {
        case Kw::ListOverride: m_overrideList = 0; return;
        case Kw::ListId: m_overrideList = param; return;
        case Kw::Ls:
            if (m_overrides.size() < 10000)
                m_overrides.insert(param, m_overrideList);
            return;
        case Kw::SkipDest: skipGroup(); return;
        default: return;
        }
    case Dest::Pn:
        switch (kw) {
        case Kw::PnLvlBlt: m_st.pnBullet = true; m_st.pnSet = true; return;
        case Kw::PnLvlOther: m_st.pnBullet = false; m_st.pnSet = true; return;
        case Kw::SkipDest: skipGroup(); return;
        default: return;   // the \pn group's own formats belong to the number
        }
    case Dest::Text:
        break;
    }

    switch (kw) {
    case Kw::Unknown:
    case Kw::Nothing:
        return;
    case Kw::SkipDest:
        skipGroup();
        return;
    case Kw::FontTbl:
        m_st.dest = Dest::FontTable;
        m_fontOpen = false;
        return;
    case Kw::ColorTbl:
        m_st.dest = Dest::ColorTable;
        m_red = m_green = m_blue = 0;
        m_colorSet = false;
        return;
    case Kw::ListTable:
        m_st.dest = Dest::ListTable;
        return;
    case Kw::ListOverrideTable:
        m_st.dest = Dest::ListOverride;
        return;
    case Kw::Pn:
        m_st.dest = Dest::Pn;
        return;
    case Kw::B: setFlag(FBold); return;
    case Kw::I: setFlag(FItalic); return;
    case Kw::Strike: setFlag(FStrike); return;
    case Kw::Ul: setFlag(FUnderline); return;
    case Kw::UlNone:
        m_st.flags = quint8(m_st.flags & ~FUnderline);
        m_fmtDirty = true;
        return;
    case Kw::V:
        m_st.hidden = on;
        return;
    case Kw::Plain:
        m_st.font = m_deff;
        m_st.color = -1;
        m_st.halfPoints = 24;
        m_st.flags = 0;
        m_st.hidden = false;
        m_st.fontCp = 0;
        if (const Font *f = findFont(m_deff))
            m_st.fontCp = f->cp;
        m_fmtDirty = true;
        return;
    case Kw::F:
        m_st.font = param;
        m_st.fontCp = 0;
        if (const Font *f = findFont(param))
            m_st.fontCp = f->cp;
        m_fmtDirty = true;
        return;
    case Kw::Fs:
        if (hasParam && param > 0)
            m_st.halfPoints = std::min(param, 3276);
        else
            m_st.halfPoints = 24;
        m_fmtDirty = true;
        return;
    case Kw::Cf:
        m_st.color = hasParam ? std::clamp(param, 0, 30000) : 0;
        m_fmtDirty = true;
        return;
    case Kw::Pard:
        m_st.align = RtfAlign::Left;
        m_st.pnBullet = false;
        m_st.ls = 0;
        m_st.ilvl = 0;
        return;
    case Kw::Ql: case Kw::Qj: m_st.align = RtfAlign::Left; return;
    case Kw::Qr: m_st.align = RtfAlign::Right; return;
    case Kw::Qc: m_st.align = RtfAlign::Center; return;
    case Kw::Ls: m_st.ls = param; return;
    case Kw::Ilvl: m_st.ilvl = std::clamp(param, 0, 8); return;
    case Kw::Par:
        endParagraph();
        return;
    case Kw::Line:
    case Kw::Page:
        endLine();
        return;
    case Kw::Row:
        if (m_doc.text.size() > m_lineStart && m_doc.text.back() == QLatin1Char('\t'))
            m_doc.text.chop(1);
        endParagraph();
        return;
    case Kw::Tab: case Kw::Cell: emitChar('\t'); return;
    case Kw::Emdash: emitChar(0x2014); return;
    case Kw::Endash: emitChar(0x2013); return;
    case Kw::Bullet: emitChar(0x2022); return;
    case Kw::Lquote: emitChar(0x2018); return;
    case Kw::Rquote: emitChar(0x2019); return;
    case Kw::Ldblquote: emitChar(0x201C); return;
    case Kw::Rdblquote: emitChar(0x201D); return;
    case Kw::Space: emitChar(' '); return;
    case Kw::U:
        if (hasParam) {
            if (param >= -32768 && param <= 65535)
                emitChar(char16_t(param < 0 ? param + 65536 : param));
            m_ucSkip = m_st.uc;
        }
        return;
    case Kw::Uc:
        m_st.uc = std::clamp(param, 0, 64);
        return;
    case Kw::Ansi: m_docCp = 1252; return;
    case Kw::Mac: m_docCp = 10000; return;
    case Kw::Pc: m_docCp = 437; return;
    case Kw::Pca: m_docCp = 850; return;
    case Kw::AnsiCpg:
        if (param > 0 && param < 100000)
            m_docCp = param;
        return;
    case Kw::Deff:
        m_deff = param;
        if (m_stack.empty() || m_stack.size() == 1) {
            m_st.font = param;
            for (State &s : m_stack)
                s.font = param;
        }
        return;
    default:
        return;   // words of tables used outside them
    }
}

void Parser::put(const QChar *s, qsizetype n)
{
    switch (m_st.dest) {
    case Dest::Text:
        if (m_st.hidden)
            return;
        flushBytes();
        if (m_withFormats && m_fmtDirty)
            checkRun();
        m_doc.text.append(s, n);
        return;
    case Dest::FontTable:
        fontText(s, n);
        return;
    case Dest::ColorTable:
        for (qsizetype i = 0; i < n; ++i) {
            if (s[i].unicode() == ';') {
                m_colors.push_back(m_colorSet ? qint32((m_red << 16) | (m_green << 8) | m_blue) : -1);
                m_red = m_green = m_blue = 0;
                m_colorSet = false;
            }
        }
        return;
    default:
        return;
    }
}

void Parser::emitChar(char16_t c)
{
    if (c < 0x20 && c != '\t')
        return;   // control characters from escapes are no text
    const QChar ch(c);
    put(&ch, 1);
}

void Parser::emitByte(quint8 b)
{
    const int cp = m_st.dest == Dest::Text ? currentCodePage() : m_docCp;
    if (isDoubleByte(cp)) {
        if (!m_bytes.isEmpty() && m_bytesCp != cp)
            flushBytes();
        m_bytesCp = cp;
        m_bytes.append(char(b));
        return;
    }
    if (cp != m_tableCp) {
        m_table = byteTable(cp);
        m_tableCp = cp;
    }
    emitChar((*m_table)[b]);
}

void Parser::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    QStringDecoder dec(codecName(m_bytesCp).constData());
    QString s = dec.isValid() ? dec.decode(m_bytes) : QString::fromLatin1(m_bytes);
    if (dec.isValid() && dec.hasError() && s.isEmpty())
        s = QString(QChar(0xFFFD));
    m_bytes.clear();
    if (!s.isEmpty())
        put(s.constData(), s.size());
}

void Parser::checkRun()
{
    m_fmtDirty = false;
    const quint64 key = m_st.key();
    const qsizetype pos = m_doc.text.size();
    if (!m_rawRuns.empty()) {
        if (m_rawRuns.back().second == key)
            return;
        if (m_rawRuns.back().first == pos) {
            m_rawRuns.back().second = key;
            if (m_rawRuns.size() > 1 && m_rawRuns[m_rawRuns.size() - 2].second == key)
                m_rawRuns.pop_back();
            return;
        }
    }
    m_rawRuns.emplace_back(pos, key);
}

void Parser::endLine()
{
    if (m_st.dest != Dest::Text)
        return;
    flushBytes();
    const qsizetype end = m_doc.text.size();
    m_doc.lines.push_back({m_lineStart, end - m_lineStart, {}});
    m_lineStart = end;
}

bool Parser::listBullet(int ls, int ilvl) const
{
    if (ls <= 0)
        return false;
    const auto ov = m_overrides.constFind(ls);
    if (ov == m_overrides.cend())
        return false;
    const auto list = m_lists.constFind(ov.value());
    if (list == m_lists.cend() || list->empty())
        return false;
    const size_t level = std::min(size_t(ilvl), list->size() - 1);
    return (*list)[level] == 23;
}

void Parser::endParagraph()
{
    if (m_st.dest != Dest::Text)
        return;
    endLine();
    const RtfParaFormat pf{m_st.align, m_st.pnBullet || listBullet(m_st.ls, m_st.ilvl)};
    for (size_t i = m_paraFirstLine; i < m_doc.lines.size(); ++i)
        m_doc.lines[i].para = pf;
    m_paraFirstLine = m_doc.lines.size();
}

void Parser::finish()
{
    // Whatever the reader stopped in, the last paragraph belongs to the text.
    m_st.dest = Dest::Text;
    endParagraph();
    // The last \par is the document's final paragraph mark and makes no
    // paragraph of its own; an empty paragraph before it is a trailing
    // line break, which gives no line either.
    for (int k = 0; k < 2 && !m_doc.lines.empty() && m_doc.lines.back().length == 0; ++k)
        m_doc.lines.pop_back();
    if (m_withFormats)
        resolveFormats();
}

void Parser::fontText(const QChar *s, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i].unicode() == ';') {
            commitFont();
            continue;
        }
        if (!m_fontOpen) {
            // Font tables without \f words: number the entries in order.
            m_font = Font();
            m_font.num = int(m_fonts.size());
            m_fontOpen = true;
        }
        if (m_font.name.size() < 256)
            m_font.name.append(s[i]);
    }
}

void Parser::commitFont()
{
    if (!m_fontOpen)
        return;
    m_fontOpen = false;
    m_font.name = m_font.name.trimmed();
    if (m_fonts.size() >= 4096)
        return;
    const auto known = m_fontIndex.constFind(m_font.num);
    if (known != m_fontIndex.cend()) {
        m_fonts[size_t(known.value())] = m_font;
        return;
    }
    m_fontIndex.insert(m_font.num, int(m_fonts.size()));
    m_fonts.push_back(m_font);
    // Text before the table was read with the document's code page; now
    // the default font's code page is known.
    if (m_font.num == m_deff) {
        for (State &s : m_stack)
            if (s.font == m_deff)
                s.fontCp = m_font.cp;
    }
}

void Parser::resolveFormats()
{
    // Font names: the default font stands in for numbers the table lacks.
    QString defaultName;
    if (const Font *f = findFont(m_deff))
        defaultName = f->name;
    if (defaultName.isEmpty() && !m_fonts.empty())
        defaultName = m_fonts.front().name;
    if (defaultName.isEmpty())
        defaultName = QStringLiteral("Arial");

    QHash<QString, int> nameIndex;
    auto nameOf = [&](qint32 num) {
        QString name;
        if (const Font *f = findFont(num))
            name = f->name;
        if (name.isEmpty())
            name = defaultName;
        auto it = nameIndex.constFind(name);
        if (it != nameIndex.cend())
            return it.value();
        const int idx = int(m_doc.fontNames.size());
        m_doc.fontNames.append(name);
        nameIndex.insert(name, idx);
        return idx;
    };
    auto resolve = [&](quint64 key) {
        RtfCharFormat f;
        const qint32 font = qint16(key & 0xFFFF);
        const qint32 color = qint16((key >> 16) & 0xFFFF);
        f.fontName = nameOf(font);
        if (color >= 0 && size_t(color) < m_colors.size() && m_colors[size_t(color)] >= 0)
            f.color = quint32(m_colors[size_t(color)]);
        f.size = int((key >> 32) & 0xFFFF) / 2;
        const quint8 flags = quint8((key >> 48) & 0xFF);
        f.bold = flags & FBold;
        f.italic = flags & FItalic;
        f.strike = flags & FStrike;
        f.underline = flags & FUnderline;
        return f;
    };

    State def;
    def.font = m_deff;
    m_doc.defaultFormat = resolve(def.key());

    QHash<quint64, int> byKey;      // RTF format -> index
    QHash<quint64, int> byValue;    // resolved format -> index
    std::vector<RtfCharFormat> &formats = m_doc.formats;
    m_doc.runs.reserve(m_rawRuns.size());
    for (const auto &[pos, key] : m_rawRuns) {
        if (pos >= m_doc.text.size())
            break;   // a run left empty by a removed cell tab
        int idx;
        auto it = byKey.constFind(key);
        if (it != byKey.cend()) {
            idx = it.value();
        } else {
            const RtfCharFormat f = resolve(key);
            const quint64 value = quint64(f.color) | (quint64(f.fontName) << 24)
                | (quint64(f.size) << 40) | (quint64(f.bold) << 56) | (quint64(f.italic) << 57)
                | (quint64(f.strike) << 58) | (quint64(f.underline) << 59);
            auto same = byValue.constFind(value);
            if (same != byValue.cend()) {
                idx = same.value();
            } else {
                idx = int(formats.size());
                formats.push_back(f);
                byValue.insert(value, idx);
            }
            byKey.insert(key, idx);
        }
        if (!m_doc.runs.empty() && m_doc.runs.back().format == idx)
            continue;
        m_doc.runs.push_back({pos, idx});
    }
}

void readPlain(QStringView text, RtfDocument &doc)
{
    if (doc.text.capacity() < text.size())
        doc.text.reserve(text.size());
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = text[i].unicode();
        if (c == '\r' || c == '\n') {
            const qsizetype ls = doc.text.size();
            doc.text.append(text.mid(start, i - start));
            doc.lines.push_back({ls, doc.text.size() - ls, {}});
            ++i;
            if (c == '\r' && i < n && text[i].unicode() == '\n')
                ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n) {
        const qsizetype ls = doc.text.size();
        doc.text.append(text.mid(start));
        doc.lines.push_back({ls, doc.text.size() - ls, {}});
    }
    doc.fontNames = {QStringLiteral("Arial")};
    doc.defaultFormat = RtfCharFormat();
    if (!doc.text.isEmpty()) {
        doc.formats.push_back(doc.defaultFormat);
        doc.runs.push_back({0, 0});
    }
}

bool startsWithRtf(QStringView t)
{
    return t.size() >= 5 && t.left(5).compare(QLatin1String("{\\rtf"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool RtfReader::read(QStringView text, RtfDocument &doc, bool withFormats)
{
    doc.clear();
    if (!startsWithRtf(text)) {
        readPlain(text, doc);
        return true;
    }
    doc.isRtf = true;
    Parser parser(text, doc, withFormats);
    if (!parser.run()) {
        doc.clear();
        return false;
    }
    return true;
}

} // namespace mv
