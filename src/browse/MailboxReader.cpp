#include "browse/MailboxReader.h"

#include "browse/EmailAddress.h"
#include "core/TextUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace mv {

static QString decodeCharset(const QByteArray &bytes, const QString &charset)
{
    const QString cs = charset.toLower();
    if (cs == QLatin1String("windows-1252") || cs == QLatin1String("cp1252"))
        return FromAnsi(bytes);
    if (cs == QLatin1String("utf-8") || cs == QLatin1String("utf8"))
        return QString::fromUtf8(bytes);
    QStringDecoder dec(cs.toLatin1().constData());
    if (dec.isValid())
        return dec.decode(bytes);
    return DecodeUtf8OrAnsi(bytes);
}

static QByteArray decodeQ(const QString &text)
{
    QByteArray out;
    const QByteArray in = text.toLatin1();
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(v));
                i += 2;
            } else {
                out.append(c);
            }
        } else {
            out.append(c);
        }
    }
    return out;
}

QString DecodeMimeHeader(const QString &text)
{
    static const QRegularExpression word(
        QStringLiteral("=\\?([^?\\s]+)\\?([QqBb])\\?([^?\\s]*)\\?="));
    QString out;
    qsizetype pos = 0;
    bool lastWasEncoded = false;
    auto it = word.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString between = text.mid(pos, m.capturedStart() - pos);
        // white space between two encoded words is not shown
        if (!(lastWasEncoded && between.trimmed().isEmpty()))
            out += between;
        QString charset = m.captured(1);
        const int star = int(charset.indexOf(QLatin1Char('*')));   // RFC 2231 language
        if (star >= 0)
            charset = charset.left(star);
        const QByteArray bytes = m.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0
            ? QByteArray::fromBase64(m.captured(3).toLatin1())
            : decodeQ(m.captured(3));
        out += decodeCharset(bytes, charset);
        pos = m.capturedEnd();
        lastWasEncoded = true;
    }
    out += text.mid(pos);
    return out;
}

QVector<MailAddress> ParseAddressList(const QString &value)
{
    QVector<MailAddress> out;
    QString phrase, angle;
    bool haveAngle = false;
    auto flush = [&]() {
        MailAddress a;
        if (haveAngle) {
            QString spec = angle.trimmed();
            const int colon = int(spec.lastIndexOf(QLatin1Char(':')));   // source route
            if (colon >= 0)
                spec = spec.mid(colon + 1);
            a.address = spec.trimmed();
            a.name = DecodeMimeHeader(phrase.simplified());
        } else {
            a.address = phrase.simplified().remove(QLatin1Char(' '));
        }
        if (!a.address.isEmpty())
            out << a;
        phrase.clear();
        angle.clear();
        haveAngle = false;
    };
    const int n = int(value.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('"')) {
            QString q;
            for (++i; i < n && value.at(i) != QLatin1Char('"'); ++i) {
                if (value.at(i) == QLatin1Char('\\') && i + 1 < n)
                    ++i;
                q += value.at(i);
            }
            phrase += q;
        } else if (c == QLatin1Char('(')) {
            int depth = 1;
            for (++i; i < n && depth > 0; ++i) {
                if (value.at(i) == QLatin1Char('\\'))
                    ++i;
                else if (value.at(i) == QLatin1Char('('))
                    ++depth;
                else if (value.at(i) == QLatin1Char(')'))
                    --depth;
            }
            --i;
            phrase += QLatin1Char(' ');
        } else if (c == QLatin1Char('<')) {
            int end = int(value.indexOf(QLatin1Char('>'), i + 1));
            if (end < 0)
                end = n;
            angle = value.mid(i + 1, end - i - 1);
            haveAngle = true;
            i = end;
        } else if (c == QLatin1Char(':')) {
            phrase.clear();   // group name
        } else if (c == QLatin1Char(',') || c == QLatin1Char(';')) {
            flush();
        } else {
            phrase += c;
        }
    }
    flush();
    return out;
}

// Header fields of a message: name (lower case) and unfolded raw value.
static QVector<QPair<QByteArray, QByteArray>> headerFields(const QByteArray &message)
{
    QVector<QPair<QByteArray, QByteArray>> fields;
    const QList<QByteArray> lines = message.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if ((line.at(0) == ' ' || line.at(0) == '\t')) {
            if (!fields.isEmpty())
                fields.last().second += ' ' + line.trimmed();
            continue;
        }
        const int colon = int(line.indexOf(':'));
        if (colon <= 0)
            continue;   // the mbox "From " line and other noise
        fields.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    return fields;
}

QVector<MailAddress> MessageRecipients(const QByteArray &message)
{
    QVector<MailAddress> out;
    const auto fields = headerFields(message);
    for (const char *wanted : {"to", "cc", "bcc"}) {
        for (const auto &f : fields) {
            if (f.first == wanted)
                out << ParseAddressList(DecodeUtf8OrAnsi(f.second));
        }
    }
    return out;
}

QVector<QByteArray> SplitMbox(const QByteArray &data)
{
    // A "From " line separates messages only at the start or after an
    // empty line; elsewhere it is body text of a writer that did not quote it.
    QVector<QByteArray> messages;
    qsizetype start = -1;
    qsizetype pos = 0;
    bool prevEmpty = true;
    while (pos < data.size()) {
        qsizetype eol = data.indexOf('\n', pos);
        if (eol < 0)
            eol = data.size();
        const QByteArray line = data.mid(pos, eol - pos);
        if (prevEmpty && line.startsWith("From ")) {
            if (start >= 0)
                messages << data.mid(start, pos - start);
            start = eol + 1;
        } else if (start < 0 && pos == 0) {
            start = 0;   // a single message without a separator line
        }
        prevEmpty = line.isEmpty() || line == "\r";
        pos = eol + 1;
    }
    if (start >= 0 && start < data.size())
        messages << data.mid(start);
    return messages;
}

QVector<MailAddress> MboxRecipients(const QByteArray &data)
{
    QVector<MailAddress> out;
    for (const QByteArray &m : SplitMbox(data))
        out << MessageRecipients(m);
    return out;
}

QVector<MailAddress> MailboxRecipients(const QString &path, QString *error)
{
    auto readFile = [&](const QString &p, QByteArray &into) {
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("Datei %1 kann nicht gelesen werden").arg(QDir::toNativeSeparators(p));
            return false;
        }
        into = f.readAll();
        return true;
    };
    QVector<MailAddress> out;
    const QFileInfo info(path);
    if (!info.isDir()) {
        QByteArray data;
        if (readFile(path, data))
            out = MboxRecipients(data);
        return out;
    }
    QStringList dirs;
    const QDir root(path);
    if (root.exists(QStringLiteral("cur")) || root.exists(QStringLiteral("new")))
        dirs << root.filePath(QStringLiteral("cur")) << root.filePath(QStringLiteral("new"));
    else
        dirs << path;
    for (const QString &d : dirs) {
        const QFileInfoList files = QDir(d).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &fi : files) {
            QByteArray data;
            if (readFile(fi.filePath(), data))
                out << MessageRecipients(data);
        }
    }
    return out;
}

} // namespace mv
