#include "masterdata/TableFile.h"

#include "core/TextUtil.h"
#include "core/UiHooks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace mv {

namespace {

// ------------------------------------------------------------ code page

enum class Enc { Cp1252, Utf8, Other };

// RowState bits of a ROW; CHANGE_LOG entries use the same values as kinds.
enum RowState : int {
    RowOriginal = 1,        // the original version of a changed row (hidden)
    RowDeleted = 2,         // hidden
    RowInserted = 4,
    RowModified = 8,        // the current version of a changed row
    RowUnused = 32,         // an unused slot (hidden)
    RowDetailChanged = 64,  // a nested detail row changed
};
constexpr int kRowHidden = RowOriginal | RowDeleted | RowUnused;

// ------------------------------------------------------------ field types

struct FieldInfo {
    FieldDef def;
    QByteArray attr;       // attribute name in ROW elements
    bool base64 = false;   // value is base64 (binary blobs, bytes)
};

bool typeFromPacket(const QByteArray &type, const QByteArray &subtype, FieldInfo &fi)
{
    const QByteArray t = type.toLower();
    const QByteArray st = subtype.toLower();
    FieldType &ft = fi.def.type;
    if (t == "string" || t == "string.uni")
        ft = FieldType::String;
    else if (t == "i4" || t == "ui4")
        ft = st == "autoinc" ? FieldType::AutoInc : (t == "ui4" ? FieldType::LargeInt : FieldType::Integer);
    else if (t == "i2" || t == "i1" || t == "ui1")
        ft = FieldType::SmallInt;
    else if (t == "ui2")
        ft = FieldType::Word;
    else if (t == "i8")
        ft = FieldType::LargeInt;
    else if (t == "r8")
        ft = st == "money" ? FieldType::Currency : FieldType::Float;
    else if (t == "fixed" || t == "fixedfmt")
        ft = FieldType::BCD;
    else if (t == "boolean")
        ft = FieldType::Boolean;
    else if (t == "date")
        ft = FieldType::Date;
    else if (t == "time")
        ft = FieldType::Time;
    else if (t == "datetime" || t == "sqldatetime")
        ft = FieldType::DateTime;
    else if (t == "bin.hex") {
        if (st == "text" || st == "widetext")
            ft = FieldType::Memo;
        else if (st == "formatted")
            ft = FieldType::FmtMemo;
        else if (st == "graphics")
            ft = FieldType::Graphic, fi.base64 = true;
        else
            ft = FieldType::Blob, fi.base64 = true;
    } else if (t == "bytes" || t == "varbytes")
        ft = FieldType::Bytes, fi.base64 = true;
    else
        return false;
    return true;
}

QByteArray typeToPacket(const FieldDef &d)
{
    switch (d.type) {
    case FieldType::String: return "fieldtype=\"string\"";
    case FieldType::Integer: return "fieldtype=\"i4\"";
    case FieldType::AutoInc: return "fieldtype=\"i4\" SUBTYPE=\"Autoinc\"";
    case FieldType::SmallInt: return "fieldtype=\"i2\"";
    case FieldType::Word: return "fieldtype=\"ui2\"";
    case FieldType::LargeInt: return "fieldtype=\"i8\"";
    case FieldType::Float: return "fieldtype=\"r8\"";
    case FieldType::Currency: return "fieldtype=\"r8\" SUBTYPE=\"Money\"";
    case FieldType::BCD: return "fieldtype=\"fixed\" DECIMALS=\"4\"";
    case FieldType::Boolean: return "fieldtype=\"boolean\"";
    case FieldType::Date: return "fieldtype=\"date\"";
    case FieldType::Time: return "fieldtype=\"time\"";
    case FieldType::DateTime: return "fieldtype=\"dateTime\"";
    case FieldType::Memo: return "fieldtype=\"bin.hex\" SUBTYPE=\"Text\"";
    case FieldType::FmtMemo: return "fieldtype=\"bin.hex\" SUBTYPE=\"Formatted\"";
    case FieldType::Graphic: return "fieldtype=\"bin.hex\" SUBTYPE=\"Graphics\"";
    case FieldType::Blob: return "fieldtype=\"bin.hex\" SUBTYPE=\"Binary\"";
    case FieldType::Bytes: return "fieldtype=\"bytes\"";
    }
    return "fieldtype=\"string\"";
}

bool isNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool isNameChar(unsigned char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// ------------------------------------------------------------- scanner

struct Attr {
    const char *name;
    int nameLen;
    const char *val;
    int valLen;
    bool entities;  // value holds '&' (or characters to normalise)
    bool nameIs(const char *s) const { return int(std::strlen(s)) == nameLen && std::memcmp(name, s, size_t(nameLen)) == 0; }
};

struct Tag {
    enum Kind { Start, Empty, End } kind = Start;
    const char *name = nullptr;
    int nameLen = 0;
    const char *at = nullptr;  // '<'
    QVector<Attr> attrs;
    bool is(const char *s) const { return int(std::strlen(s)) == nameLen && std::memcmp(name, s, size_t(nameLen)) == 0; }
    QString nameText() const { return QString::fromUtf8(name, nameLen); }
};

class Parser {
public:
    explicit Parser(const QByteArray &data) : m_begin(data.constData()), m_p(m_begin), m_end(m_begin + data.size()) {}

    TablePacket run();

private:
    [[noreturn]] void fail(const char *at, const QString &what) const
    {
        int line = 1, col = 1;
        for (const char *q = m_begin; q < at && q < m_end; ++q) {
            if (*q == '\n') {
                ++line;
                col = 1;
            } else {
                ++col;
            }
        }
        throw TableFileError(QStringLiteral("%1 (Zeile %2, Spalte %3)").arg(what).arg(line).arg(col));
    }
    [[noreturn]] void truncated() const
    {
        fail(m_end, QStringLiteral("Die Datei endet mitten im Datenpaket (unvollständig)"));
    }

    void skipWs()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\r' || *m_p == '\n'))
            ++m_p;
    }
    bool startsWith(const char *s) const
    {
        const size_t n = std::strlen(s);
        return size_t(m_end - m_p) >= n && std::memcmp(m_p, s, n) == 0;
    }
    void skipPast(const char *s, const QString &what)
    {
        const size_t n = std::strlen(s);
        const char *start = m_p;
        while (size_t(m_end - m_p) >= n) {
            if (std::memcmp(m_p, s, n) == 0) {
                m_p += n;
                return;
            }
            ++m_p;
        }
        fail(start, what);
    }
    void readDeclaration();
    // Next tag; comments, processing instructions and character data are
    // skipped (character data must be blank outside ROW values).
    bool nextTag(Tag &t);
    void readTagBody(Tag &t);
    void skipElement(const Tag &open);
    void parseMetadata(const Tag &open);
    void parseFields(const Tag &open);
    void parseParams(const Tag &t);
    void parseRowData(const Tag &open);
    void parseRow(const Tag &t);

    QString decode(const char *s, int len, bool entities, const char *at) const;
    QByteArray latin(const Attr &a) const;
    QVariant convert(const FieldInfo &fi, const Attr &a) const;

    const char *m_begin;
    const char *m_p;
    const char *m_end;
    Enc m_enc = Enc::Cp1252;
    QByteArray m_encName;

    QVector<FieldInfo> m_fields;
    QHash<QByteArray, int> m_fieldByAttr;
    bool m_haveFields = false;
    struct RawRow {
        int state = 0;
        QVector<QVariant> values;
        QVector<bool> present;
    };
    QVector<RawRow> m_rows;
    QByteArray m_changeLog;
    const char *m_changeLogAt = nullptr;
    int m_autoInc = 0;
};

void Parser::readDeclaration()
{
    // m_p at "<?xml"
    const char *start = m_p;
    m_p += 5;
    const char *close = nullptr;
    for (const char *q = m_p; q + 1 < m_end; ++q)
        if (q[0] == '?' && q[1] == '>') {
            close = q;
            break;
        }
    if (!close)
        fail(start, QStringLiteral("XML-Deklaration ohne Abschluss"));
    const QByteArray decl(m_p, int(close - m_p));
    m_p = close + 2;
    const int e = decl.indexOf("encoding");
    if (e < 0)
        return;
    int q = e + 8;
    while (q < decl.size() && (decl[q] == ' ' || decl[q] == '='))
        ++q;
    if (q >= decl.size() || (decl[q] != '"' && decl[q] != '\''))
        fail(start, QStringLiteral("XML-Deklaration: ungültige Angabe des Zeichensatzes"));
    const char quote = decl[q];
    const int qe = decl.indexOf(quote, q + 1);
    if (qe < 0)
        fail(start, QStringLiteral("XML-Deklaration: ungültige Angabe des Zeichensatzes"));
    m_encName = decl.mid(q + 1, qe - q - 1).trimmed().toLower();
    if (m_encName == "utf-8" || m_encName == "utf8")
        m_enc = Enc::Utf8;
    else if (m_encName.isEmpty() || IsAnsiCharset(m_encName))
        m_enc = Enc::Cp1252;
    else {
        QStringDecoder probe(m_encName.constData());
        if (!probe.isValid())
            fail(start, QStringLiteral("Zeichensatz '%1' wird nicht unterstützt").arg(QString::fromLatin1(m_encName)));
        m_enc = Enc::Other;
    }
}

bool Parser::nextTag(Tag &t)
{
    while (true) {
        while (m_p < m_end && *m_p != '<')
            ++m_p;
        if (m_p >= m_end)
            return false;
        if (startsWith("<!--")) {
            skipPast("-->", QStringLiteral("Kommentar ohne Abschluss"));
            continue;
        }
        if (startsWith("<?")) {
            skipPast("?>", QStringLiteral("Verarbeitungsanweisung ohne Abschluss"));
            continue;
        }
        if (startsWith("<![CDATA[")) {
            skipPast("]]>", QStringLiteral("CDATA-Abschnitt ohne Abschluss"));
            continue;
        }
        if (startsWith("<!")) {
            skipPast(">", QStringLiteral("Deklaration ohne Abschluss"));
            continue;
        }
        readTagBody(t);
        return true;
    }
}

void Parser::readTagBody(Tag &t)
{
    t.at = m_p;
    t.attrs.clear();
    ++m_p;
    t.kind = Tag::Start;
    if (m_p < m_end && *m_p == '/') {
        t.kind = Tag::End;
        ++m_p;
    }
    t.name = m_p;
    if (m_p >= m_end)
        truncated();
    if (!isNameStart((unsigned char)*m_p))
        fail(t.at, QStringLiteral("Ungültiges Element"));
    while (m_p < m_end && isNameChar((unsigned char)*m_p))
        ++m_p;
    t.nameLen = int(m_p - t.name);
    while (true) {
        skipWs();
        if (m_p >= m_end)
            truncated();
        const char c = *m_p;
        if (c == '>') {
            ++m_p;
            return;
        }
        if (c == '/' && t.kind == Tag::Start) {
            if (m_p + 1 >= m_end)
                truncated();
            if (m_p[1] != '>')
                fail(m_p, QStringLiteral("'>' erwartet"));
            m_p += 2;
            t.kind = Tag::Empty;
            return;
        }
        if (t.kind == Tag::End || !isNameStart((unsigned char)c))
            fail(m_p, QStringLiteral("Ungültiges Zeichen '%1' im Element <%2>").arg(QChar::fromLatin1(c), t.nameText()));
        Attr a;
        a.name = m_p;
        while (m_p < m_end && isNameChar((unsigned char)*m_p))
            ++m_p;
        a.nameLen = int(m_p - a.name);
        skipWs();
        if (m_p >= m_end)
            truncated();
        if (*m_p != '=')
            fail(m_p, QStringLiteral("'=' nach Attribut %1 erwartet").arg(QString::fromUtf8(a.name, a.nameLen)));
        ++m_p;
        skipWs();
        if (m_p >= m_end)
            truncated();
        const char quote = *m_p;
        if (quote != '"' && quote != '\'')
            fail(m_p, QStringLiteral("Attributwert ohne Anführungszeichen"));
        ++m_p;
        a.val = m_p;
        a.entities = false;
        const void *hit = std::memchr(m_p, quote, size_t(m_end - m_p));
        if (!hit)
            truncated();
        const char *vend = static_cast<const char *>(hit);
        for (const char *q = m_p; q < vend; ++q) {
            const char ch = *q;
            if (ch == '&' || ch == '\t' || ch == '\n' || ch == '\r')
                a.entities = true;
            else if (ch == '<')
                fail(q, QStringLiteral("Zeichen '<' in einem Attributwert"));
            else if ((unsigned char)ch < 0x20)
                fail(q, QStringLiteral("Steuerzeichen %1 in einem Attributwert").arg(int((unsigned char)ch)));
        }
        a.valLen = int(vend - m_p);
        m_p = vend + 1;
        t.attrs.push_back(a);
        if (m_p < m_end && !(*m_p == ' ' || *m_p == '\t' || *m_p == '\r' || *m_p == '\n' || *m_p == '/' || *m_p == '>'))
            fail(m_p, QStringLiteral("Leerzeichen zwischen Attributen erwartet"));
    }
}

void Parser::skipElement(const Tag &open)
{
    if (open.kind != Tag::Start)
        return;
    QVector<QByteArray> stack;
    stack.push_back(QByteArray(open.name, open.nameLen));
    Tag t;
    while (!stack.isEmpty()) {
        if (!nextTag(t))
            truncated();
        if (t.kind == Tag::Start) {
            stack.push_back(QByteArray(t.name, t.nameLen));
        } else if (t.kind == Tag::End) {
            if (stack.last() != QByteArray::fromRawData(t.name, t.nameLen))
                fail(t.at, QStringLiteral("Ende-Tag </%1> passt nicht zu <%2>").arg(t.nameText(), QString::fromUtf8(stack.last())));
            stack.removeLast();
        }
    }
}

TablePacket Parser::run()
{
    if (m_end - m_p >= 3 && (unsigned char)m_p[0] == 0xEF && (unsigned char)m_p[1] == 0xBB && (unsigned char)m_p[2] == 0xBF) {
        m_p += 3;
        m_enc = Enc::Utf8;
    }
    skipWs();
    if (startsWith("<?xml"))
        readDeclaration();
    Tag root;
    if (!nextTag(root))
        fail(m_p, QStringLiteral("Die Datei enthält kein XML-Datenpaket"));
    if (!root.is("DATAPACKET") || root.kind == Tag::End)
        fail(root.at, QStringLiteral("Die Datei ist kein Datenpaket (Wurzelelement <%1> statt <DATAPACKET>)").arg(root.nameText()));
    if (root.kind == Tag::Start) {
        Tag t;
        while (true) {
            if (!nextTag(t))
                truncated();
            if (t.kind == Tag::End) {
                if (!t.is("DATAPACKET"))
                    fail(t.at, QStringLiteral("Ende-Tag </%1> passt nicht zu <DATAPACKET>").arg(t.nameText()));
                break;
            }
            if (t.is("METADATA"))
                parseMetadata(t);
            else if (t.is("ROWDATA"))
                parseRowData(t);
            else
                skipElement(t);
        }
    }
    // Only blanks, comments and processing instructions may follow.
    Tag extra;
    if (nextTag(extra))
        fail(extra.at, QStringLiteral("Unerwarteter Inhalt nach dem Datenpaket"));
    if (!m_haveFields)
        fail(root.at, QStringLiteral("Das Datenpaket enthält keine Feldliste (METADATA/FIELDS)"));

    TablePacket out;
    out.autoIncValue = m_autoInc;
    for (const FieldInfo &fi : m_fields)
        out.fields << fi.def;

    // Apply the change log: follow each row's chain of versions to the
    // latest one; chains whose latest version is deleted are dropped.
    const int n = int(m_rows.size());
    QVector<int> next(n, -1);
    QVector<bool> deleted(n, false), isSuccessor(n, false);
    if (!m_changeLog.isEmpty()) {
        const QList<QByteArray> parts = m_changeLog.simplified().split(' ');
        if (parts.size() % 3 != 0)
            fail(m_changeLogAt, QStringLiteral("CHANGE_LOG enthält keine vollständigen Zahlentripel"));
        for (int i = 0; i + 2 < parts.size(); i += 3) {
            bool ok1, ok2, ok3;
            const int row = parts[i].toInt(&ok1), prev = parts[i + 1].toInt(&ok2), kind = parts[i + 2].toInt(&ok3);
            if (!ok1 || !ok2 || !ok3)
                fail(m_changeLogAt, QStringLiteral("CHANGE_LOG enthält keine Zahl"));
            if (row < 1 || row > n || prev < 0 || prev > n)
                fail(m_changeLogAt, QStringLiteral("CHANGE_LOG verweist auf Zeile %1, die es nicht gibt").arg(row < 1 || row > n ? row : prev));
            if (kind & RowModified) {
                if (prev >= 1 && prev != row && next[prev - 1] < 0 && !isSuccessor[row - 1]) {
                    next[prev - 1] = row - 1;
                    isSuccessor[row - 1] = true;
                }
            }
            if (kind & RowDeleted)
                deleted[row - 1] = true;
        }
    }
    for (int i = 0; i < n; ++i) {
        if (m_rows[i].state & RowDeleted)
            deleted[i] = true;
    }
    out.rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (isSuccessor[i])
            continue;
        // Walk the chain (bounded: a malformed log cannot loop).
        QVector<int> chain{i};
        int cur = i;
        bool gone = deleted[i];
        for (int guard = 0; next[cur] >= 0 && guard < n; ++guard) {
            cur = next[cur];
            chain << cur;
            gone = gone || deleted[cur];
        }
        const RawRow &last = m_rows[cur];
        if (gone)
            continue;
        if (chain.size() == 1 && (last.state & kRowHidden))
            continue;  // a hidden version without a log entry
        QVector<QVariant> values = last.values;
        // Blobs left out of a modified version come from earlier versions.
        for (int f = 0; f < m_fields.size(); ++f) {
            if (last.present[f] || !IsBlobType(m_fields[f].def.type))
                continue;
            for (int k = int(chain.size()) - 2; k >= 0; --k) {
                if (m_rows[chain[k]].present[f]) {
                    values[f] = m_rows[chain[k]].values[f];
                    break;
                }
            }
        }
        out.rows.push_back(std::move(values));
    }
    return out;
}

void Parser::parseMetadata(const Tag &open)
{
    if (open.kind != Tag::Start)
        return;
    Tag t;
    while (true) {
        if (!nextTag(t))
            truncated();
        if (t.kind == Tag::End) {
            if (!t.is("METADATA"))
                fail(t.at, QStringLiteral("Ende-Tag </%1> passt nicht zu <METADATA>").arg(t.nameText()));
            return;
        }
        if (t.is("FIELDS"))
            parseFields(t);
        else if (t.is("PARAMS")) {
            parseParams(t);
            skipElement(t);
        } else
            skipElement(t);
    }
}

void Parser::parseFields(const Tag &open)
{
    m_haveFields = true;
    if (open.kind != Tag::Start)
        return;
    Tag t;
    while (true) {
        if (!nextTag(t))
            truncated();
        if (t.kind == Tag::End) {
            if (!t.is("FIELDS"))
                fail(t.at, QStringLiteral("Ende-Tag </%1> passt nicht zu <FIELDS>").arg(t.nameText()));
            return;
        }
        if (!t.is("FIELD")) {
            skipElement(t);
            continue;
        }
        FieldInfo fi;
        QByteArray type, subtype;
        QString attrText, displayName;
        bool haveWidth = false;
        for (const Attr &a : t.attrs) {
            if (a.nameIs("attrname")) {
                attrText = decode(a.val, a.valLen, a.entities, a.name);
                // ROW attributes are matched as the bytes the file holds.
                fi.attr = !a.entities ? QByteArray(a.val, a.valLen)
                                      : (m_enc == Enc::Utf8 ? attrText.toUtf8() : ToAnsi(attrText));
            } else if (a.nameIs("fieldname"))
                displayName = decode(a.val, a.valLen, a.entities, a.name);
            else if (a.nameIs("fieldtype"))
                type = latin(a);
            else if (a.nameIs("SUBTYPE"))
                subtype = latin(a);
            else if (a.nameIs("WIDTH")) {
                bool ok = false;
                fi.def.size = latin(a).trimmed().toInt(&ok);
                if (!ok || fi.def.size < 0)
                    fail(t.at, QStringLiteral("Feld %1: WIDTH ist keine Zahl").arg(QString::fromUtf8(fi.attr)));
                haveWidth = true;
            } else if (a.nameIs("readonly"))
                fi.def.readOnly = latin(a).toLower() == "true";
            else if (a.nameIs("required"))
                fi.def.required = latin(a).toLower() == "true";
        }
        if (fi.attr.isEmpty())
            fail(t.at, QStringLiteral("Feld ohne Namen (attrname fehlt)"));
        fi.def.name = displayName.isEmpty() ? attrText : displayName;
        // Attribute names are compared as bytes; keep them as written.
        if (type.isEmpty())
            fail(t.at, QStringLiteral("Feld %1 ohne Feldtyp").arg(fi.def.name));
        if (type.toLower() == "nested")
            fail(t.at, QStringLiteral("Feld %1: verschachtelte Tabellen werden nicht unterstützt").arg(fi.def.name));
        if (!typeFromPacket(type, subtype, fi))
            fail(t.at, QStringLiteral("Feld %1: unbekannter Feldtyp '%2'").arg(fi.def.name, QString::fromLatin1(type)));
        if (fi.def.type == FieldType::AutoInc)
            fi.def.readOnly = true;
        if (!haveWidth && fi.def.type == FieldType::String)
            fi.def.size = 0;
        if (m_fieldByAttr.contains(fi.attr))
            fail(t.at, QStringLiteral("Feld %1 ist doppelt vorhanden").arg(fi.def.name));
        m_fieldByAttr.insert(fi.attr, int(m_fields.size()));
        m_fields.push_back(fi);
        if (t.kind == Tag::Start) {
            // A FIELD with content: nested field lists are not supported.
            Tag inner;
            while (true) {
                if (!nextTag(inner))
                    truncated();
                if (inner.kind == Tag::End) {
                    if (!inner.is("FIELD"))
                        fail(inner.at, QStringLiteral("Ende-Tag </%1> passt nicht zu <FIELD>").arg(inner.nameText()));
                    break;
                }
                if (inner.is("FIELDS"))
                    fail(inner.at, QStringLiteral("Feld %1: verschachtelte Tabellen werden nicht unterstützt").arg(fi.def.name));
                skipElement(inner);
            }
        }
    }
}

void Parser::parseParams(const Tag &t)
{
    for (const Attr &a : t.attrs) {
        if (a.nameIs("AUTOINCVALUE")) {
            bool ok = false;
            const int v = latin(a).trimmed().toInt(&ok);
            if (!ok)
                fail(t.at, QStringLiteral("AUTOINCVALUE ist keine Zahl"));
            m_autoInc = v;
        } else if (a.nameIs("CHANGE_LOG")) {
            m_changeLog = latin(a);
            m_changeLogAt = t.at;
        }
    }
}

void Parser::parseRowData(const Tag &open)
{
    if (!m_haveFields)
        fail(open.at, QStringLiteral("ROWDATA vor der Feldliste"));
    if (open.kind != Tag::Start)
        return;
    // A rough count of the rows saves regrowing the list.
    m_rows.reserve(int(qMin<qsizetype>((m_end - m_p) / 24 + 1, QByteArrayView(m_p, m_end - m_p).count("<ROW"))));
    Tag t;
    while (true) {
        if (!nextTag(t))
            truncated();
        if (t.kind == Tag::End) {
            if (!t.is("ROWDATA"))
                fail(t.at, QStringLiteral("Ende-Tag </%1> passt nicht zu <ROWDATA>").arg(t.nameText()));
            return;
        }
        if (t.is("ROW"))
            parseRow(t);
        skipElement(t);
    }
}

void Parser::parseRow(const Tag &t)
{
    RawRow r;
    const int nf = int(m_fields.size());
    r.values.resize(nf);
    r.present.fill(false, nf);
    int expect = 0;
    for (const Attr &a : t.attrs) {
        int f = -1;
        // Attributes usually come in field order.
        if (expect < nf && m_fields[expect].attr.size() == a.nameLen
            && std::memcmp(m_fields[expect].attr.constData(), a.name, size_t(a.nameLen)) == 0) {
            f = expect;
        } else if (a.nameIs("RowState")) {
            bool ok = false;
            r.state = latin(a).trimmed().toInt(&ok);
            if (!ok)
                fail(t.at, QStringLiteral("Zeile %1: RowState ist keine Zahl").arg(m_rows.size() + 1));
            continue;
        } else {
            f = m_fieldByAttr.value(QByteArray::fromRawData(a.name, a.nameLen), -1);
            if (f < 0)
                continue;  // unknown attribute: ignored
        }
        expect = f + 1;
        r.values[f] = convert(m_fields[f], a);
        r.present[f] = true;
    }
    m_rows.push_back(std::move(r));
}

QString Parser::decode(const char *s, int len, bool entities, const char *at) const
{
    auto plain = [this](const char *b, int n) -> QString {
        switch (m_enc) {
        case Enc::Utf8:
            return QString::fromUtf8(b, n);
        case Enc::Other: {
            QStringDecoder dec(m_encName.constData());
            return dec.decode(QByteArrayView(b, n));
        }
        case Enc::Cp1252:
            break;
        }
        QString out(n, Qt::Uninitialized);
        QChar *d = out.data();
        for (int i = 0; i < n; ++i)
            d[i] = QChar(AnsiToUnicode((unsigned char)b[i]));
        return out;
    };
    if (!entities)
        return plain(s, len);
    QString out;
    out.reserve(len);
    const char *p = s, *e = s + len;
    while (p < e) {
        const char *run = p;
        while (p < e && *p != '&' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        if (p > run)
            out += plain(run, int(p - run));
        if (p >= e)
            break;
        if (*p != '&') {
            // Literal white space in attribute values reads as a blank;
            // CR LF counts once.
            if (*p == '\r' && p + 1 < e && p[1] == '\n')
                ++p;
            out += QLatin1Char(' ');
            ++p;
            continue;
        }
        const char *semi = static_cast<const char *>(std::memchr(p, ';', size_t(e - p)));
        if (!semi || semi - p > 12)
            fail(at, QStringLiteral("Ungültige Zeichenreferenz in einem Attributwert"));
        const QByteArray ent(p + 1, int(semi - p - 1));
        if (ent == "amp")
            out += QLatin1Char('&');
        else if (ent == "lt")
            out += QLatin1Char('<');
        else if (ent == "gt")
            out += QLatin1Char('>');
        else if (ent == "quot")
            out += QLatin1Char('"');
        else if (ent == "apos")
            out += QLatin1Char('\'');
        else if (ent.startsWith('#')) {
            bool ok = false;
            uint code = (ent.size() > 1 && (ent[1] == 'x' || ent[1] == 'X')) ? ent.mid(2).toUInt(&ok, 16) : ent.mid(1).toUInt(&ok, 10);
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
                fail(at, QStringLiteral("Ungültige Zeichenreferenz &%1;").arg(QString::fromLatin1(ent)));
            const char32_t c32 = char32_t(code);
            out += QString::fromUcs4(&c32, 1);
        } else {
            fail(at, QStringLiteral("Unbekannte Zeichenreferenz &%1;").arg(QString::fromLatin1(ent)));
        }
        p = semi + 1;
    }
    return out;
}

QByteArray Parser::latin(const Attr &a) const
{
    if (!a.entities)
        return QByteArray(a.val, a.valLen);
    return decode(a.val, a.valLen, true, a.name).toLatin1();
}

// Parses a plain decimal integer from bytes.
bool parseInt64(const char *b, const char *e, qint64 &out)
{
    while (b < e && *b == ' ')
        ++b;
    while (e > b && e[-1] == ' ')
        --e;
    if (b < e && *b == '+')
        ++b;
    auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e && b < e;
}

bool digits(const char *b, int n, int &out)
{
    out = 0;
    for (int i = 0; i < n; ++i) {
        if (b[i] < '0' || b[i] > '9')
            return false;
        out = out * 10 + (b[i] - '0');
    }
    return true;
}

// "HH:MM:SSSSS" (milliseconds of the minute), also "HH:MM:SS".
bool parsePacketTime(const char *b, int n, QTime &out)
{
    int h, m, ms;
    if (n < 5 || b[2] != ':' || !digits(b, 2, h) || !digits(b + 3, 2, m))
        return false;
    if (n == 5)
        ms = 0;
    else if (b[5] != ':')
        return false;
    else if (n == 8) {
        if (!digits(b + 6, 2, ms))
            return false;
        ms *= 1000;
    } else if (n > 6 && n <= 11) {
        if (!digits(b + 6, n - 6, ms))
            return false;
    } else
        return false;
    if (h > 23 || m > 59 || ms >= 60000)
        return false;
    out = QTime(h, m, ms / 1000, ms % 1000);
    return out.isValid();
}

bool parsePacketDate(const char *b, int n, QDate &out)
{
    int y, mo, d;
    if (n != 8 || !digits(b, 4, y) || !digits(b + 4, 2, mo) || !digits(b + 6, 2, d))
        return false;
    out = QDate(y, mo, d);
    return out.isValid();
}

QVariant Parser::convert(const FieldInfo &fi, const Attr &a) const
{
    const FieldType t = fi.def.type;
    if (IsTextType(t))
        return decode(a.val, a.valLen, a.entities, a.name);
    QByteArray tmp;
    const char *b = a.val;
    int n = a.valLen;
    if (a.entities) {
        tmp = latin(a);
        b = tmp.constData();
        n = int(tmp.size());
    }
    auto bad = [&]() {
        fail(a.name, QStringLiteral("Zeile %1, Feld %2: '%3' ist kein gültiger Wert vom Typ %4")
                         .arg(m_rows.size() + 1)
                         .arg(fi.def.name, QString::fromLatin1(b, qMin(n, 40)), FieldTypeName(t)));
    };
    if (n == 0 && !fi.base64)
        return QVariant();
    switch (t) {
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt: {
        qint64 v;
        if (!parseInt64(b, b + n, v))
            bad();
        if (t == FieldType::LargeInt)
            return QVariant(v);
        if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
            bad();
        if (t == FieldType::SmallInt && (v < -32768 || v > 32767))
            bad();
        if (t == FieldType::Word && (v < 0 || v > 65535))
            bad();
        return QVariant(int(v));
    }
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD: {
        const char *s = b, *e = b + n;
        while (s < e && *s == ' ')
            ++s;
        while (e > s && e[-1] == ' ')
            --e;
        if (s < e && *s == '+')
            ++s;
        double v = 0;
        auto r = std::from_chars(s, e, v);
        if (r.ec != std::errc() || r.ptr != e || s == e) {
            // Tolerate a decimal comma written by hand.
            QByteArray c(s, int(e - s));
            c.replace(',', '.');
            bool ok = false;
            v = c.toDouble(&ok);
            if (!ok)
                bad();
        }
        if (!std::isfinite(v))
            bad();
        return v;
    }
    case FieldType::Boolean: {
        const char c = n ? b[0] : 0;
        if (c == 'T' || c == 't' || c == '1' || c == 'Y' || c == 'y')
            return true;
        if (c == 'F' || c == 'f' || c == '0' || c == 'N' || c == 'n')
            return false;
        bad();
        return QVariant();
    }
    case FieldType::Date: {
        QDate d;
        if (!parsePacketDate(b, n >= 8 ? 8 : n, d) || (n > 8 && b[8] != 'T'))
            bad();
        return d;
    }
    case FieldType::Time: {
        QTime tm;
        if (!parsePacketTime(b, n, tm))
            bad();
        return tm;
    }
    case FieldType::DateTime: {
        QDate d;
        QTime tm(0, 0);
        if (n < 8 || !parsePacketDate(b, 8, d))
            bad();
        if (n > 8) {
            if (b[8] != 'T' || !parsePacketTime(b + 9, n - 9, tm))
                bad();
        }
        return QDateTime(d, tm);
    }
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes: {
        auto res = QByteArray::fromBase64Encoding(QByteArray(b, n), QByteArray::AbortOnBase64DecodingErrors);
        if (!res)
            bad();
        return *res;
    }
    default:
        break;
    }
    return QVariant();
}

// ------------------------------------------------------------- writer

void appendEscaped(QByteArray &out, const QString &s)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(s.constData());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        switch (c) {
        case '&': out += "&amp;"; continue;
        case '<': out += "&lt;"; continue;
        case '>': out += "&gt;"; continue;
        case '"': out += "&quot;"; continue;
        case '\'': out += "&apos;"; continue;
        case '\r': out += "&#013;"; continue;
        case '\n': out += "&#010;"; continue;
        case '\t': out += "&#009;"; continue;
        case '\\': out += "&#092;"; continue;
        default: break;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
            continue;
        }
        const unsigned char b = UnicodeToAnsi(c);
        if (b >= 0x20 && b != 0x7F && !(b >= 0x80 && b < 0xA0 && AnsiToUnicode(b) == char16_t(b))) {
            out += char(b);
            continue;
        }
        // Outside the code page (or a control character): a character
        // reference. NUL cannot stay in an XML file and is dropped; a lone
        // surrogate becomes the replacement character.
        if (c == 0)
            continue;
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            code = QChar::surrogateToUcs4(c, p[i + 1]);
            ++i;
        } else if (QChar::isSurrogate(c)) {
            code = 0xFFFD;
        }
        out += "&#";
        out += QByteArray::number(uint(code));
        out += ';';
    }
}

QByteArray attrNameFor(const QString &name)
{
    // ROW attribute names must be XML names; the original name then goes
    // into "fieldname".
    QByteArray out;
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool ok = c.isLetter() || c == QLatin1Char('_') || (i > 0 && (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.')));
        const QChar use = ok ? c : QLatin1Char('_');
        const unsigned char b = UnicodeToAnsi(use.unicode());
        out += b ? char(b) : '_';
    }
    if (out.isEmpty())
        out = "_";
    return out;
}

void appendTime(QByteArray &out, const QTime &t)
{
    char buf[16];
    const int ms = t.second() * 1000 + t.msec();
    std::snprintf(buf, sizeof buf, "%02d:%02d:%05d", t.hour(), t.minute(), ms);
    out += buf;
}

void appendDate(QByteArray &out, const QDate &d)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
    out += buf;
}

void appendValue(QByteArray &out, const FieldDef &d, const QVariant &v)
{
    switch (d.type) {
    case FieldType::String: case FieldType::Memo: case FieldType::FmtMemo:
        appendEscaped(out, v.typeId() == QMetaType::QString ? v.toString() : FieldValueToText(v, d.type));
        return;
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt:
        out += QByteArray::number(v.toLongLong());
        return;
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD: {
        char buf[32];
        const double x = v.toDouble();
        auto r = std::to_chars(buf, buf + sizeof buf, x);
        out.append(buf, int(r.ptr - buf));
        return;
    }
    case FieldType::Boolean:
        out += v.toBool() ? "TRUE" : "FALSE";
        return;
    case FieldType::Date:
        appendDate(out, v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate());
        return;
    case FieldType::Time:
        appendTime(out, v.typeId() == QMetaType::QDateTime ? v.toDateTime().time() : v.toTime());
        return;
    case FieldType::DateTime: {
        const QDateTime dt = v.typeId() == QMetaType::QDate ? QDateTime(v.toDate(), QTime(0, 0)) : v.toDateTime();
        appendDate(out, dt.date());
        out += 'T';
        appendTime(out, dt.time());
        return;
    }
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes:
        out += (v.typeId() == QMetaType::QByteArray ? v.toByteArray() : ToAnsi(v.toString())).toBase64();
        return;
    }
}

bool isNull(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

bool isWritableValue(const FieldDef &d, const QVariant &v)
{
    if (isNull(v))
        return false;
    switch (d.type) {
    case FieldType::Date: case FieldType::Time: case FieldType::DateTime: {
        const QVariant c = ConvertToFieldType(v, d.type, d.name);
        return c.isValid() && !c.isNull();
    }
    default:
        return true;
    }
}

} // namespace

// ----------------------------------------------------------------- API

TablePacket TableFile::ParsePacket(const QByteArray &data)
{
    Parser p(data);
    return p.run();
}

TablePacket TableFile::ReadPacket(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw TableFileError(QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2").arg(path, f.errorString()));
    const QByteArray data = f.readAll();
    try {
        return ParsePacket(data);
    } catch (const TableFileError &e) {
        throw TableFileError(QStringLiteral("Die Datei %1 ist keine lesbare Tabellendatei: %2").arg(path, e.message()));
    }
}

QByteArray TableFile::WritePacket(const QVector<FieldDef> &fields, const QVector<QVector<QVariant>> &rows, int autoIncValue)
{
    QByteArray out;
    out.reserve(256 + rows.size() * (16 + fields.size() * 24));
    out += "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    QVector<QByteArray> attrs;
    bool hasAutoInc = false;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef &d = fields[i];
        QByteArray a = attrNameFor(d.name);
        // Keep attribute names unique.
        for (int k = 2; attrs.contains(a); ++k)
            a = attrNameFor(d.name) + "_" + QByteArray::number(k);
        attrs << a;
        out += "<FIELD attrname=\"";
        out += a;
        out += '"';
        if (FromAnsi(a) != d.name) {
            out += " fieldname=\"";
            appendEscaped(out, d.name);
            out += '"';
        }
        out += ' ';
        out += typeToPacket(d);
        if (d.type == FieldType::AutoInc)
            hasAutoInc = true;
        int width = d.size;
        if (d.type == FieldType::String && width <= 0) {
            width = 20;
            for (const auto &r : rows)
                if (i < r.size() && !isNull(r[i]))
                    width = qMax(width, int(FieldValueToText(r[i], d.type).size()));
        }
        if (d.type == FieldType::BCD)
            width = width > 0 ? width : 32;
        if (width > 0 && (d.type == FieldType::String || d.type == FieldType::Memo || d.type == FieldType::FmtMemo
                          || d.type == FieldType::Graphic || d.type == FieldType::Blob || d.type == FieldType::Bytes
                          || d.type == FieldType::BCD)) {
            out += " WIDTH=\"";
            out += QByteArray::number(width);
            out += '"';
        }
        if (d.readOnly || d.type == FieldType::AutoInc)
            out += " readonly=\"true\"";
        if (d.required)
            out += " required=\"true\"";
        out += "/>";
    }
    out += "</FIELDS><PARAMS";
    if (hasAutoInc) {
        out += " AUTOINCVALUE=\"";
        out += QByteArray::number(qMax(1, autoIncValue));
        out += '"';
    }
    out += "/></METADATA><ROWDATA>";
    for (const auto &r : rows) {
        out += "<ROW";
        for (int i = 0; i < fields.size() && i < r.size(); ++i) {
            const QVariant &v = r[i];
            if (!isWritableValue(fields[i], v))
                continue;
            out += ' ';
            out += attrs[i];
            out += "=\"";
            appendValue(out, fields[i], v);
            out += '"';
        }
        out += "/>";
    }
    out += "</ROWDATA></DATAPACKET>";
    return out;
}

void TableFile::WritePacketFile(const QString &path, const QVector<FieldDef> &fields, const QVector<QVector<QVariant>> &rows,
                                int autoIncValue)
{
    const QByteArray data = WritePacket(fields, rows, autoIncValue);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw TableFileError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2").arg(path, f.errorString()));
    if (f.write(data) != data.size() || !f.commit())
        throw TableFileError(QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2").arg(path, f.errorString()));
}

void TableFile::Load(MemTable &table, const QString &path)
{
    TablePacket p = ReadPacket(path);
    table.Close();
    table.SetFieldDefList(p.fields);
    table.CreateDataSet(p.fields);
    for (auto &r : p.rows)
        table.AppendRawRow(std::move(r));
    table.RawRowsDone();
    if (p.autoIncValue > table.AutoIncValue())
        table.SetAutoIncValue(p.autoIncValue);
    table.ClearChanged();
}

void TableFile::SaveTable(const MemTable &table, const QString &path)
{
    WritePacketFile(path, table.FieldDefList(), table.RawRows(), table.AutoIncValue());
}

QString TableFile::KeepAsBackup(const QString &path)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return QString();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QString ext = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
    const QString base = fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".defekt-") + stamp);
    QString target = base + ext;
    for (int k = 2; QFile::exists(target); ++k)
        target = base + QLatin1Char('-') + QString::number(k) + ext;
    if (QFile::rename(path, target))
        return target;
    // Renaming failed (another process holds it): keep a copy at least.
    if (QFile::copy(path, target) && QFile::remove(path))
        return target;
    return QString();
}

// ----------------------------------------------------------- the table

TableFile::TableFile(QObject *parent) : MemTable(parent) {}

TableFile::~TableFile()
{
    // What was typed but not yet posted is kept too.
    try {
        if (Active())
            CheckBrowseMode();
    } catch (...) {
    }
    try {
        Close();
    } catch (...) {
    }
}

void TableFile::InternalOpen()
{
    if (!Creating() && !m_fileName.isEmpty() && QFile::exists(m_fileName)) {
        TablePacket p = ReadPacket(m_fileName);
        EmptyRawRows();
        SetFieldDefList(p.fields);
        for (auto &r : p.rows)
            AppendRawRow(std::move(r));
        RawRowsDone();
        if (p.autoIncValue > AutoIncValue())
            SetAutoIncValue(p.autoIncValue);
    }
    MemTable::InternalOpen();
}

void TableFile::InternalClose()
{
    if (!m_fileName.isEmpty() && (ChangedSinceOpen() || !QFile::exists(m_fileName))) {
        try {
            SaveTable(*this, m_fileName);
            m_lastSaveError.clear();
        } catch (const std::exception &e) {
            // The close goes on; the user learns that the edits were not saved.
            m_lastSaveError = QString::fromUtf8(e.what());
            Ui().ShowMessage(m_lastSaveError, UiHooks::Icon::Warning);
        }
    }
    MemTable::InternalClose();
}

void TableFile::Save()
{
    if (m_fileName.isEmpty())
        throw TableFileError(QStringLiteral("Kein Dateiname für die Tabelle angegeben"));
    if (Active()) {
        try {
            CheckBrowseMode();
        } catch (const DatasetError &) {
            Cancel();  // a row that cannot be posted stays out; the rest is written
        }
    }
    SaveTable(*this, m_fileName);
    ClearChanged();
}

bool TableFile::OpenOrStartEmpty(const QVector<FieldDef> &defs, QString *backupPath)
{
    Close();
    if (backupPath)
        backupPath->clear();
    if (m_fileName.isEmpty() || !QFile::exists(m_fileName)) {
        try {
            CreateDataSet(defs);
            return true;
        } catch (const std::exception &) {
            return false;
        }
    }
    SetFieldDefList(defs);
    try {
        Open();
        return true;
    } catch (const std::exception &) {
    }
    const QString backup = KeepAsBackup(m_fileName);
    if (backupPath)
        *backupPath = backup;
    try {
        CreateDataSet(defs);
    } catch (const std::exception &) {
        return false;
    }
    return Active();
}

} // namespace mv
