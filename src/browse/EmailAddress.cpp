#include "browse/EmailAddress.h"

#include "core/TextUtil.h"

#include <QStringDecoder>

namespace mv {

static bool isAsciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

QString CheckEmailAddress(const QString &text)
{
    const int at = int(text.indexOf(QLatin1Char('@')));
    if (at < 0 || text.count(QLatin1Char('@')) != 1)
        return QString();
    if (text.indexOf(QLatin1Char('.'), at + 1) < 0)
        return QString();
    for (QChar c : text) {
        if (!(isAsciiAlnum(c) || c == QLatin1Char('@') || c == QLatin1Char('-') || c == QLatin1Char('.')
              || c == QLatin1Char('_')))
            return QString();
    }
    if (at + 1 >= text.size() || !isAsciiAlnum(text.at(at + 1)))
        return QString();
    return text;
}

static bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char(':') || c == QLatin1Char(',') || c == QLatin1Char(';');
}

QStringList AddressCandidatesOfLine(const QString &line)
{
    QStringList out;
    QString rest = line.trimmed();
    rest.remove(QLatin1Char('"'));
    // '@' at the second position or later (index 1 or more)
    while (rest.indexOf(QLatin1Char('@')) >= 1) {
        int end = 0;
        while (end < rest.size() && !isSeparator(rest.at(end)))
            ++end;
        const QString token = rest.left(end);
        if (token.count(QLatin1Char('@')) >= 2)
            break;
        if (!token.trimmed().isEmpty())
            out << token;
        rest = end < rest.size() ? rest.mid(end + 1) : QString();
    }
    return out;
}

QStringList AddressCandidates(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines)
        out << AddressCandidatesOfLine(l);
    return out;
}

QString DecodeUtf8OrAnsi(const QByteArray &data)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(data);
    if (!utf8.hasError())
        return s;
    return FromAnsi(data);
}

QStringList TextFileLines(const QByteArray &data)
{
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QString text = DecodeUtf8OrAnsi(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace mv
