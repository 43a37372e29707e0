#include "browse/VCardReader.h"

#include "browse/EmailAddress.h"
#include "core/TextUtil.h"

#include <QStringDecoder>

namespace mv {

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray DecodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '=') {
            out.append(c);
            continue;
        }
        if (i + 1 < in.size() && (in.at(i + 1) == '\n' || in.at(i + 1) == '\r')) {
            i += (in.at(i + 1) == '\r' && i + 2 < in.size() && in.at(i + 2) == '\n') ? 2 : 1;
            continue;
        }
        const int hi = i + 1 < in.size() ? hexValue(in.at(i + 1)) : -1;
        const int lo = i + 2 < in.size() ? hexValue(in.at(i + 2)) : -1;
        if (hi < 0 || lo < 0) {
            out.append(c);   // a lone '=' stays as it is
            continue;
        }
        out.append(char(hi * 16 + lo));
        i += 2;
    }
    return out;
}

namespace {

struct Property {
    QByteArray name;               // upper case, group prefix removed
    QList<QByteArray> params;      // upper case
    QByteArray value;              // raw bytes
};

QByteArray paramValue(const Property &p, const QByteArray &key)
{
    for (const QByteArray &pr : p.params) {
        if (pr.startsWith(key + '='))
            return pr.mid(key.size() + 1);
    }
    return QByteArray();
}

bool isQuotedPrintable(const Property &p)
{
    for (const QByteArray &pr : p.params) {
        if (pr == "QUOTED-PRINTABLE" || pr == "ENCODING=QUOTED-PRINTABLE")
            return true;
    }
    return false;
}

QString decodeText(const QByteArray &bytes, const QByteArray &charset)
{
    if (!charset.isEmpty()) {
        QStringDecoder dec(charset.constData());
        if (dec.isValid()) {
            if (charset.toUpper() == "WINDOWS-1252" || charset.toUpper() == "CP1252")
                return FromAnsi(bytes);
            return dec.decode(bytes);
        }
    }
    // no charset given: UTF-8 when the value's bytes are valid UTF-8
    return DecodeUtf8OrAnsi(bytes);
}

// vCard escapes in text values (3.0/4.0): \, \; \n \\.
QString unescape(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        if (s.at(i) == QLatin1Char('\\') && i + 1 < s.size()) {
            const QChar n = s.at(++i);
            out += (n == QLatin1Char('n') || n == QLatin1Char('N')) ? QLatin1Char(' ') : n;
        } else {
            out += s.at(i);
        }
    }
    return out;
}

// Unfolds the physical lines into logical ones: a line starting with a
// blank or tab continues the previous one; a quoted-printable value whose
// line ends in '=' continues on the next line.
QList<QByteArray> logicalLines(const QByteArray &data)
{
    QList<QByteArray> phys = data.split('\n');
    for (QByteArray &l : phys) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    QList<QByteArray> out;
    bool qpContinues = false;
    for (const QByteArray &l : phys) {
        if (qpContinues && !out.isEmpty()) {
            QByteArray &last = out.last();
            last.chop(1);   // the soft break '='
            last += l;
        } else if (!out.isEmpty() && !l.isEmpty() && (l.at(0) == ' ' || l.at(0) == '\t')) {
            out.last() += l.mid(1);
        } else {
            out << l;
        }
        const QByteArray &cur = out.last();
        const int colon = int(cur.indexOf(':'));
        const QByteArray head = colon >= 0 ? cur.left(colon).toUpper() : QByteArray();
        qpContinues = colon >= 0 && head.contains("QUOTED-PRINTABLE") && cur.endsWith('=');
    }
    return out;
}

bool parseProperty(const QByteArray &line, Property &p)
{
    // the value starts after the first ':' outside double quotes
    bool quoted = false;
    int colon = -1;
    for (int i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return false;
    QList<QByteArray> parts = line.left(colon).split(';');
    QByteArray name = parts.takeFirst().trimmed().toUpper();
    const int dot = int(name.lastIndexOf('.'));
    if (dot >= 0)
        name = name.mid(dot + 1);
    p.name = name;
    p.params.clear();
    for (QByteArray pr : parts) {
        pr = pr.trimmed().toUpper();
        pr.replace('"', QByteArray());
        if (!pr.isEmpty())
            p.params << pr;
    }
    p.value = line.mid(colon + 1);
    return true;
}

} // namespace

QVector<VCardContact> ParseVCards(const QByteArray &raw)
{
    QByteArray data = raw;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);

    QVector<VCardContact> cards;
    bool inCard = false;
    VCardContact cur;
    QString nameFromN;
    for (const QByteArray &line : logicalLines(data)) {
        Property p;
        if (!parseProperty(line, p))
            continue;
        const QByteArray upperValue = p.value.trimmed().toUpper();
        if (p.name == "BEGIN" && upperValue == "VCARD") {
            inCard = true;
            cur = VCardContact();
            nameFromN.clear();
            continue;
        }
        if (p.name == "END" && upperValue == "VCARD") {
            if (inCard) {
                if (cur.name.isEmpty())
                    cur.name = nameFromN;
                cards << cur;
            }
            inCard = false;
            continue;
        }
        if (!inCard)
            continue;
        QByteArray bytes = isQuotedPrintable(p) ? DecodeQuotedPrintable(p.value) : p.value;
        const QString text = decodeText(bytes, paramValue(p, "CHARSET")).trimmed();
        if (p.name == "EMAIL") {
            QString v = unescape(text).trimmed();
            if (v.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
                v = v.mid(7);
            if (!v.isEmpty())
                cur.emails << v;
        } else if (p.name == "FN") {
            cur.name = unescape(text);
        } else if (p.name == "N") {
            // family;given;... shown as "given family"
            const QStringList parts = text.split(QLatin1Char(';'));
            QStringList shown;
            if (parts.size() > 1 && !parts.at(1).trimmed().isEmpty())
                shown << parts.at(1).trimmed();
            if (!parts.isEmpty() && !parts.at(0).trimmed().isEmpty())
                shown << parts.at(0).trimmed();
            nameFromN = unescape(shown.join(QLatin1Char(' ')));
        } else if (p.name == "X-CUSTOMER-ID" || p.name == "X-KUNDENNUMMER") {
            cur.customerId = unescape(text);
        }
    }
    return cards;
}

} // namespace mv
