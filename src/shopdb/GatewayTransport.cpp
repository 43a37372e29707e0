#include "shopdb/GatewayTransport.h"
#include "shopdb/MySqlTls.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "shopdb/HttpSqlGateway.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslError>
#include <QStringConverter>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace mv {

QByteArray EncodeText(const QString &text, const QByteArray &charset)
{
    QStringEncoder enc(charset.constData());
    if (!enc.isValid() || IsAnsiCharset(charset))
        return ToAnsi(text);
    return enc.encode(text);
}

QString DecodeText(const QByteArray &bytes, const QByteArray &charset)
{
    QStringDecoder dec(charset.constData());
    if (!dec.isValid() || IsAnsiCharset(charset))
        return FromAnsi(bytes);
    return dec.decode(bytes);
}

QStringList SplitPageLines(const QString &text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QByteArray WireUrl(const QString &url, const QByteArray &charset)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(url.size() + 16);
    const QByteArray bytes = EncodeText(url, charset);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const bool raw = b > 0x20 && b < 0x7F && !QByteArrayView("\"<>\\^`{|}").contains(ch);
        if (raw) {
            out += ch;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

// ---------------------------------------------------------------- HTML forms

namespace {

QString decodeEntities(QStringView s)
{
    if (!s.contains(QLatin1Char('&')))
        return s.toString();
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('&')) {
            const qsizetype semi = s.indexOf(QLatin1Char(';'), i);
            if (semi > i && semi - i <= 10) {
                const QStringView ent = s.mid(i + 1, semi - i - 1);
                QString rep;
                if (ent == QLatin1String("amp")) rep = QStringLiteral("&");
                else if (ent == QLatin1String("lt")) rep = QStringLiteral("<");
                else if (ent == QLatin1String("gt")) rep = QStringLiteral(">");
                else if (ent == QLatin1String("quot")) rep = QStringLiteral("\"");
                else if (ent == QLatin1String("apos")) rep = QStringLiteral("'");
                else if (ent == QLatin1String("nbsp")) rep = QString(QChar(0xA0));
                else if (ent.startsWith(QLatin1Char('#'))) {
                    bool ok = false;
                    const uint code = (ent.size() > 1 && (ent.at(1) == QLatin1Char('x') || ent.at(1) == QLatin1Char('X')))
                                          ? ent.mid(2).toUInt(&ok, 16) : ent.mid(1).toUInt(&ok, 10);
                    if (ok && code > 0 && code < 0x110000) {
                        const char32_t cp = code;
                        rep = QString::fromUcs4(&cp, 1);
                    }
                }
                if (!rep.isNull()) {
                    out += rep;
                    i = semi;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

struct Tag {
    QString name;            // lower-case, "/form" for end tags
    QHash<QString, QString> attrs; // lower-case names
    qsizetype end = -1;      // index after ">"
};

// Reads the tag that starts at html[pos] == '<'.
bool readTag(const QString &html, qsizetype pos, Tag &tag)
{
    const qsizetype n = html.size();
    qsizetype i = pos + 1;
    qsizetype s = i;
    while (i < n && !html.at(i).isSpace() && html.at(i) != QLatin1Char('>'))
        ++i;
    tag.name = html.mid(s, i - s).toLower();
    if (tag.name.endsWith(QLatin1Char('/')))
        tag.name.chop(1);
    tag.attrs.clear();
    while (i < n) {
        while (i < n && (html.at(i).isSpace() || html.at(i) == QLatin1Char('/')))
            ++i;
        if (i >= n)
            break;
        if (html.at(i) == QLatin1Char('>')) {
            tag.end = i + 1;
            return true;
        }
        s = i;
        while (i < n && !html.at(i).isSpace() && html.at(i) != QLatin1Char('=') && html.at(i) != QLatin1Char('>'))
            ++i;
        const QString an = html.mid(s, i - s).toLower();
        while (i < n && html.at(i).isSpace())
            ++i;
        QString av;
        if (i < n && html.at(i) == QLatin1Char('=')) {
            ++i;
            while (i < n && html.at(i).isSpace())
                ++i;
            if (i < n && (html.at(i) == QLatin1Char('"') || html.at(i) == QLatin1Char('\''))) {
                const QChar q = html.at(i);
                const qsizetype e = html.indexOf(q, i + 1);
                if (e < 0)
                    return false;
                av = decodeEntities(QStringView(html).mid(i + 1, e - i - 1));
                i = e + 1;
            } else {
                s = i;
                while (i < n && !html.at(i).isSpace() && html.at(i) != QLatin1Char('>'))
                    ++i;
                av = decodeEntities(QStringView(html).mid(s, i - s));
            }
        }
        if (!an.isEmpty() && !tag.attrs.contains(an))
            tag.attrs.insert(an, av);
    }
    return false;
}

} // namespace

bool FindHtmlForm(const QString &html, const QString &formName, HtmlForm &form)
{
    qsizetype pos = 0;
    Tag tag;
    // Find the form.
    for (;;) {
        pos = html.indexOf(QLatin1String("<form"), pos, Qt::CaseInsensitive);
        if (pos < 0)
            return false;
        if (!readTag(html, pos, tag))
            return false;
        pos = tag.end;
        if (tag.name == QLatin1String("form")
            && (tag.attrs.value(QStringLiteral("name")).compare(formName, Qt::CaseInsensitive) == 0
                || tag.attrs.value(QStringLiteral("id")).compare(formName, Qt::CaseInsensitive) == 0))
            break;
    }
    form = HtmlForm();
    form.name = formName;
    form.action = tag.attrs.value(QStringLiteral("action"));
    form.method = tag.attrs.value(QStringLiteral("method")).toLower();
    form.acceptCharset = tag.attrs.value(QStringLiteral("accept-charset"));

    // Index, not pointer: later controls may move the list.
    qsizetype select = -1;
    bool selectHasSelected = false;
    for (;;) {
        pos = html.indexOf(QLatin1Char('<'), pos);
        if (pos < 0)
            break;
        if (html.mid(pos, 4) == QLatin1String("<!--")) {
            const qsizetype e = html.indexOf(QLatin1String("-->"), pos + 4);
            if (e < 0)
                break;
            pos = e + 3;
            continue;
        }
        if (!readTag(html, pos, tag))
            break;
        pos = tag.end;
        const QString &t = tag.name;
        if (t == QLatin1String("/form"))
            break;
        auto attr = [&](const char *a) { return tag.attrs.value(QString::fromLatin1(a)); };
        if (t == QLatin1String("input") || t == QLatin1String("button")) {
            HtmlForm::Control c;
            c.tag = t;
            c.type = attr("type").toLower();
            if (c.type.isEmpty())
                c.type = t == QLatin1String("button") ? QStringLiteral("submit") : QStringLiteral("text");
            c.name = attr("name");
            c.value = attr("value");
            if (t == QLatin1String("button") && !tag.attrs.contains(QStringLiteral("value"))) {
                const qsizetype e = html.indexOf(QLatin1String("</button"), pos, Qt::CaseInsensitive);
                if (e >= 0)
                    c.value = decodeEntities(QStringView(html).mid(pos, e - pos)).trimmed();
            }
            c.checked = tag.attrs.contains(QStringLiteral("checked"));
            c.disabled = tag.attrs.contains(QStringLiteral("disabled"));
            form.controls.append(c);
        } else if (t == QLatin1String("textarea")) {
            HtmlForm::Control c;
            c.tag = t;
            c.type = QStringLiteral("textarea");
            c.name = attr("name");
            c.disabled = tag.attrs.contains(QStringLiteral("disabled"));
            qsizetype e = html.indexOf(QLatin1String("</textarea"), pos, Qt::CaseInsensitive);
            if (e < 0)
                e = html.size();
            QString content = decodeEntities(QStringView(html).mid(pos, e - pos));
            // A line break right after the start tag belongs to the markup.
            if (content.startsWith(QLatin1String("\r\n")))
                content.remove(0, 2);
            else if (content.startsWith(QLatin1Char('\n')))
                content.remove(0, 1);
            c.value = content;
            form.controls.append(c);
            pos = e;
        } else if (t == QLatin1String("select")) {
            HtmlForm::Control c;
            c.tag = t;
            c.type = QStringLiteral("select");
            c.name = attr("name");
            c.disabled = tag.attrs.contains(QStringLiteral("disabled"));
            form.controls.append(c);
            select = form.controls.size() - 1;
            selectHasSelected = false;
        } else if (t == QLatin1String("/select")) {
            select = -1;
        } else if (t == QLatin1String("option") && select >= 0) {
            HtmlForm::Control &sc = form.controls[select];
            QString v;
            if (tag.attrs.contains(QStringLiteral("value"))) {
                v = attr("value");
            } else {
                const qsizetype e = html.indexOf(QLatin1Char('<'), pos);
                v = decodeEntities(QStringView(html).mid(pos, (e < 0 ? html.size() : e) - pos)).trimmed();
            }
            const bool sel = tag.attrs.contains(QStringLiteral("selected"));
            if (!sc.checked || (sel && !selectHasSelected)) {
                sc.value = v;
                sc.checked = true;
                selectHasSelected = sel;
            }
        }
    }
    return true;
}

static void appendFormEncoded(QByteArray &out, const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '*' || b == '-'
            || b == '.' || b == '_') {
            out += ch;
        } else if (b == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
}

QByteArray EncodeFormData(const HtmlForm &form, const QString &submitName, const QByteArray &charset)
{
    QByteArray out;
    bool submitted = false;
    for (const HtmlForm::Control &c : form.controls) {
        if (c.name.isEmpty() || c.disabled)
            continue;
        const QString &ty = c.type;
        if (ty == QLatin1String("submit") || ty == QLatin1String("image") || ty == QLatin1String("button")
            || ty == QLatin1String("reset")) {
            if (ty == QLatin1String("reset") || ty == QLatin1String("button") || submitted || c.name != submitName)
                continue;
            submitted = true;
        } else if (ty == QLatin1String("checkbox") || ty == QLatin1String("radio")) {
            if (!c.checked)
                continue;
        } else if (ty == QLatin1String("file")) {
            continue;
        } else if (ty == QLatin1String("select") && !c.checked) {
            continue;
        }
        QString value = c.value;
        if ((ty == QLatin1String("checkbox") || ty == QLatin1String("radio")) && value.isEmpty())
            value = QStringLiteral("on");
        if (!out.isEmpty())
            out += '&';
        appendFormEncoded(out, EncodeText(c.name, charset));
        out += '=';
        appendFormEncoded(out, EncodeText(value, charset));
    }
    return out;
}

// ---------------------------------------------------------------- plain http

namespace {

// Plain http without user data in the address, to a server no proxy
// stands in front of: the case the calling-thread connection serves. The
// proxy answer is asked once per server (the system look-up is slow).
bool plainHttpFits(const QUrl &url)
{
    if (url.scheme() != QLatin1String("http") || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    static QHash<QString, bool> direct;
    const QString key = url.host() + QLatin1Char(':') + QString::number(url.port(80));
    const auto it = direct.constFind(key);
    if (it != direct.constEnd())
        return *it;
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    const bool none = proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy;
    direct.insert(key, none);
    return none;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

// One kept-alive HTTP/1.1 connection driven by the calling thread's event
// loop: no thread hand-off per request, and a server in the same thread
// (the tests') is still served while we wait.
// A batch of statements that went out finishes also after STOP: its
// statements run on the server either way, and their answers count.
static bool g_finishOnStop = false;

static bool stopRequested()
{
    return Cancelled() && !g_finishOnStop;
}

FinishOnStopScope::FinishOnStopScope() : m_was(g_finishOnStop)
{
    g_finishOnStop = true;
}

FinishOnStopScope::~FinishOnStopScope()
{
    g_finishOnStop = m_was;
}

class GatewayTransport::PlainHttp {
public:
    struct Reply {
        int status = 0;
        QByteArray contentType, location, body;
    };
    enum class Result { Ok, Failed, Cancelled, TimedOut, TooLarge };

    Result exchange(const QUrl &url, const QByteArray *postBody, Reply &reply, const QElapsedTimer &clock,
                    int timeoutSeconds, qint64 maxBytes, QString &error)
    {
        m_clock = &clock;
        m_timeoutMs = timeoutSeconds > 0 ? qint64(timeoutSeconds) * 1000 : -1;
        m_maxBytes = maxBytes;
        m_interrupt = Result::Ok;
        m_closedOutside = false;
        const QString host = url.host();
        const quint16 port = quint16(url.port(80));
        if (m_socket && (m_host != host || m_port != port))
            close();
        busy = true;
        m_heartbeat.start(50);
        const Result r = run(url, host, port, postBody, reply, error);
        m_heartbeat.stop();
        busy = false;
        return r;
    }

    // From outside a wait (CloseConnections called by a window event while
    // a request waits) the socket object stays: the wait still uses it.
    void closeSoon()
    {
        if (busy && m_socket) {
            m_closedOutside = true;
            m_socket->abort();
        } else
            close();
    }

    void close()
    {
        if (m_socket) {
            m_socket->abort();
            m_socket.reset();
        }
        m_in.clear();
        m_served = 0;
    }

    // A request is waiting on the connection.
    bool busy = false;

private:
    enum class Read { Ok, Closed, Interrupted, TooLarge };

    Result run(const QUrl &url, const QString &host, quint16 port, const QByteArray *postBody, Reply &reply,
               QString &error)
    {
        QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
        if (!target.startsWith('/'))
            target.prepend('/');
        QByteArray head = (postBody ? "POST " : "GET ") + target + " HTTP/1.1\r\nHost: "
                          + url.authority(QUrl::FullyEncoded).toLatin1()
                          + "\r\nUser-Agent: Mozilla/5.0\r\nCache-Control: no-cache\r\nPragma: no-cache"
                            "\r\nConnection: keep-alive\r\n";
        if (postBody)
            head += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                    + QByteArray::number(postBody->size()) + "\r\n";
        head += "\r\n";
        if (postBody)
            head += *postBody;

        for (int attempt = 0;; ++attempt) {
            const bool reused = m_socket && m_socket->state() == QAbstractSocket::ConnectedState && m_served > 0;
            if (!reused) {
                close();
                const Result c = connectTo(host, port, error);
                if (c != Result::Ok)
                    return c;
            }
            m_socket->write(head);
            m_socket->flush();
            bool nothingCame = false;
            const Result r = readReply(reply, nothingCame, host, error);
            if (r == Result::Ok) {
                ++m_served;
                return r;
            }
            close();
            if (m_closedOutside) {
                error = QStringLiteral("Die Verbindung zum Shop-Server %1 wurde während der Anfrage geschlossen.").arg(host);
                return Result::Failed;
            }
            // A kept connection the server closed while idle: the request
            // never reached it, so it goes once more on a new connection.
            if (r == Result::Failed && nothingCame && reused && attempt == 0) {
                error.clear();
                continue;
            }
            return r;
        }
    }

    bool interrupted()
    {
        if (stopRequested())
            m_interrupt = Result::Cancelled;
        else if (m_timeoutMs >= 0 && m_clock->elapsed() > m_timeoutMs)
            m_interrupt = Result::TimedOut;
        return m_interrupt != Result::Ok;
    }

    // Runs the event loop once; window events get their turn every 50 ms.
    void waitOnce()
    {
        if (!m_events.isValid() || m_events.elapsed() >= 50) {
            Ui().ProcessEvents();
            m_events.start();
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    Result connectTo(const QString &host, quint16 port, QString &error)
    {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->setProxy(QNetworkProxy::NoProxy);
        m_host = host;
        m_port = port;
        m_socket->connectToHost(host, port);
        while (m_socket->state() != QAbstractSocket::ConnectedState) {
            if (m_socket->state() == QAbstractSocket::UnconnectedState) {
                error = QStringLiteral("Der Shop-Server %1 ist nicht erreichbar: %2").arg(host, m_socket->errorString());
                close();
                return Result::Failed;
            }
            if (interrupted()) {
                close();
                return m_interrupt;
            }
            waitOnce();
        }
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return Result::Ok;
    }

    // Waits until more bytes are in m_in. The clock is looked at with data
    // coming too: an answer that never ends meets the total limit.
    Read more()
    {
        for (;;) {
            if (m_socket->bytesAvailable() > 0) {
                if (interrupted())
                    return Read::Interrupted;
                // The buffer holds at most one answer (head and framing
                // besides): anything larger is no gateway answer.
                if (m_maxBytes > 0 && m_in.size() + m_socket->bytesAvailable() > m_maxBytes + kHeadLimit)
                    return Read::TooLarge;
                m_in += m_socket->readAll();
                return Read::Ok;
            }
            if (m_socket->state() != QAbstractSocket::ConnectedState)
                return Read::Closed;
            if (interrupted())
                return Read::Interrupted;
            waitOnce();
        }
    }

    Result readReply(Reply &reply, bool &nothingCame, const QString &host, QString &error)
    {
        const QString cut = QStringLiteral("Der Shop-Server %1 hat die Verbindung ohne vollständige Antwort beendet.").arg(host);
        const QString broken = QStringLiteral("Der Shop-Server %1 hat keine gültige HTTP-Antwort gesendet.").arg(host);
        auto fail = [&](Read r, const QString &text) {
            if (r == Read::Interrupted)
                return m_interrupt;
            if (r == Read::TooLarge)
                return Result::TooLarge;
            error = text;
            return Result::Failed;
        };
        reply = Reply();
        bool keepAlive = true;
        for (;;) { // 1xx answers come before the real one
            qsizetype headEnd = -1, sepLen = 0;
            for (;;) {
                const qsizetype crlf = m_in.indexOf("\r\n\r\n");
                const qsizetype lf = m_in.indexOf("\n\n");
                if (crlf >= 0 && (lf < 0 || crlf < lf)) {
                    headEnd = crlf;
                    sepLen = 4;
                } else if (lf >= 0) {
                    headEnd = lf;
                    sepLen = 2;
                }
                if (headEnd >= 0)
                    break;
                if (m_in.size() > kHeadLimit)
                    return fail(Read::Closed, broken);
                const bool empty = m_in.isEmpty();
                const Read r = more();
                if (r != Read::Ok) {
                    nothingCame = empty && r == Read::Closed;
                    return fail(r, cut);
                }
            }
            const QList<QByteArray> lines = m_in.left(headEnd).split('\n');
            m_in.remove(0, headEnd + sepLen);
            const QByteArray statusLine = lines.value(0).trimmed();
            const QList<QByteArray> parts = statusLine.split(' ');
            bool ok = false;
            reply.status = parts.value(1).toInt(&ok);
            if (!statusLine.startsWith("HTTP/1.") || !ok || reply.status < 100 || reply.status > 999)
                return fail(Read::Closed, broken);
            const bool http10 = statusLine.startsWith("HTTP/1.0");
            qint64 length = -1;
            bool chunked = false;
            QByteArray connection;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray &line = lines.at(i);
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0)
                    continue;
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length") {
                    length = value.toLongLong(&ok);
                    if (!ok || length < 0)
                        return fail(Read::Closed, broken);
                    if (m_maxBytes > 0 && length > m_maxBytes)
                        return fail(Read::TooLarge, broken);
                } else if (name == "transfer-encoding") {
                    chunked = value.toLower().contains("chunked");
                } else if (name == "connection") {
                    connection = value.toLower();
                } else if (name == "content-type") {
                    reply.contentType = value;
                } else if (name == "location") {
                    reply.location = value;
                }
            }
            keepAlive = http10 ? connection.contains("keep-alive") : !connection.contains("close");
            if (reply.status < 200)
                continue;
            if (chunked) {
                // Read through an offset: a large page comes in thousands
                // of chunks, and cutting each off the front would copy the
                // rest of the buffer every time.
                qsizetype pos = 0;
                auto lineEnd = [&](qsizetype &eol) {
                    while ((eol = m_in.indexOf('\n', pos)) < 0) {
                        const Read r = more();
                        if (r != Read::Ok)
                            return r;
                    }
                    return Read::Ok;
                };
                for (;;) {
                    qsizetype eol;
                    if (const Read r = lineEnd(eol); r != Read::Ok)
                        return fail(r, cut);
                    QByteArray sizeText = m_in.mid(pos, eol - pos);
                    const qsizetype semi = sizeText.indexOf(';');
                    if (semi >= 0)
                        sizeText.truncate(semi);
                    const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
                    if (!ok || size < 0)
                        return fail(Read::Closed, broken);
                    if (m_maxBytes > 0 && size > m_maxBytes - reply.body.size())
                        return fail(Read::TooLarge, broken);
                    pos = eol + 1;
                    if (size == 0) {
                        // Trailer lines up to the empty one.
                        for (;;) {
                            if (const Read r = lineEnd(eol); r != Read::Ok)
                                return fail(r, cut);
                            const bool last = m_in.mid(pos, eol - pos).trimmed().isEmpty();
                            pos = eol + 1;
                            if (last)
                                break;
                        }
                        break;
                    }
                    const qsizetype dataEnd = pos + size;
                    while (m_in.size() < dataEnd + 1 || (m_in.size() < dataEnd + 2 && m_in.at(dataEnd) == '\r')) {
                        const Read r = more();
                        if (r != Read::Ok)
                            return fail(r, cut);
                    }
                    reply.body.append(m_in.constData() + pos, size);
                    pos = dataEnd + (m_in.at(dataEnd) == '\r' ? 2 : 1);
                }
                m_in.remove(0, pos);
            } else if (length >= 0) {
                while (m_in.size() < length) {
                    const Read r = more();
                    if (r != Read::Ok)
                        return fail(r, cut);
                }
                reply.body = m_in.left(length);
                m_in.remove(0, length);
            } else if (reply.status != 204 && reply.status != 304) {
                // No length: the body ends with the connection.
                for (;;) {
                    const Read r = more();
                    if (r == Read::Interrupted)
                        return m_interrupt;
                    if (r == Read::TooLarge)
                        return Result::TooLarge;
                    if (r == Read::Closed)
                        break;
                }
                reply.body = m_in;
                m_in.clear();
                keepAlive = false;
            }
            break;
        }
        if (!keepAlive)
            close();
        return Result::Ok;
    }

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_host;
    quint16 m_port = 0;
    QByteArray m_in;
    int m_served = 0;
    QTimer m_heartbeat; // wakes the wait to look at the stop and the clock
    QElapsedTimer m_events;
    const QElapsedTimer *m_clock = nullptr;
    qint64 m_timeoutMs = -1;
    qint64 m_maxBytes = 0;
    // Room for the head of an answer; a head that does not end within it
    // is no HTTP answer.
    static constexpr qint64 kHeadLimit = 1 << 20;
    Result m_interrupt = Result::Ok;
    bool m_closedOutside = false;
};

// ---------------------------------------------------------------- transport

GatewayTransport::GatewayTransport(QObject *parent) : QObject(parent), m_plain(std::make_unique<PlainHttp>()) {}
GatewayTransport::~GatewayTransport() = default;

void GatewayTransport::CloseConnections()
{
    m_plain->closeSoon();
    if (m_nam)
        m_nam->clearConnectionCache();
}

static QByteArray charsetOf(const QByteArray &contentType)
{
    const qsizetype p = contentType.toLower().indexOf("charset=");
    if (p < 0)
        return QByteArray();
    QByteArray cs = contentType.mid(p + 8).trimmed();
    const qsizetype semi = cs.indexOf(';');
    if (semi >= 0)
        cs = cs.left(semi);
    cs = cs.trimmed();
    if (cs.startsWith('"') && cs.endsWith('"') && cs.size() >= 2)
        cs = cs.mid(1, cs.size() - 2);
    // Shops that declare ISO-8859-1 send the ANSI code page (euro sign 0x80).
    const QByteArray l = cs.toLower();
    if (l == "iso-8859-1" || l == "latin1" || l == "us-ascii")
        return "windows-1252";
    return cs;
}

static int portOf(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

// Same scheme, host and port.
static bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
           && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && portOf(a) == portOf(b);
}

static QString originText(const QUrl &url)
{
    return QStringLiteral("%1://%2:%3").arg(url.scheme(), url.host()).arg(portOf(url));
}

QString GatewayTransport::foreignOriginText(const QUrl &from, const QUrl &to) const
{
    return QStringLiteral("Der Shop-Server %1 leitet die Anfrage an %2 weiter. Die Zugangsdaten zur Datenbank "
                          "werden nur an die eingetragene Shop-Adresse %3 gesendet, an keinen anderen Server; "
                          "bitte tragen Sie die richtige Adresse unter \"Shopposition im Netz\" ein.")
        .arg(from.host(), originText(to), originText(m_origin));
}

QString GatewayTransport::tooLargeText(const QString &server) const
{
    return QStringLiteral("Die Antwort des Shop-Servers %1 ist größer als %2 MB; die Anfrage wurde abgebrochen. "
                          "So große Antworten sendet das Gateway-Skript nicht: bitte prüfen Sie die Shop-Adresse "
                          "und das Skript auf dem Server.")
        .arg(server)
        .arg(MaxAnswerBytes / (1024 * 1024));
}

QString GatewayTransport::timedOutText(const QString &server) const
{
    return QStringLiteral("Der Shop-Server %1 hat nicht rechtzeitig geantwortet (höchstens %2 Sekunden je Anfrage); "
                          "die Anfrage wurde abgebrochen.")
        .arg(server)
        .arg(TimeoutSeconds);
}

bool GatewayTransport::request(const QUrl &url, const QByteArray *postBody, QByteArray &body, QString &charset,
                               QUrl &finalUrl)
{
    // Whatever kind of request: its data go to the shop address entered.
    m_origin = QUrl::fromEncoded(WireUrl(Settings().SQL_HTTP, Charset))
                   .adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    if (RequestObserver)
        RequestObserver(url, postBody);
    // A request started from a window event while one waits on the
    // connection takes the other road.
    if (!plainHttpFits(url) || m_plain->busy)
        return networkRequest(url, postBody, body, charset, finalUrl);
    QElapsedTimer clock;
    clock.start();
    QUrl current = url;
    QByteArray post = postBody ? *postBody : QByteArray();
    bool isPost = postBody != nullptr;
    for (int hops = 0;; ++hops) {
        if (!plainHttpFits(current))
            return networkRequest(current, isPost ? &post : nullptr, body, charset, finalUrl);
        PlainHttp::Reply reply;
        QString error;
        const PlainHttp::Result r =
            m_plain->exchange(current, isPost ? &post : nullptr, reply, clock, TimeoutSeconds, MaxAnswerBytes, error);
        const QString server = current.host();
        if (r != PlainHttp::Result::Ok) {
            if (r == PlainHttp::Result::Cancelled)
                m_lastError = QStringLiteral("Die Anfrage an den Shop-Server wurde abgebrochen.");
            else if (r == PlainHttp::Result::TimedOut)
                m_lastError = timedOutText(server);
            else if (r == PlainHttp::Result::TooLarge)
                m_lastError = tooLargeText(server);
            else
                m_lastError = error;
            return false;
        }
        if (isRedirect(reply.status) && !reply.location.isEmpty()) {
            const QUrl next = current.resolved(QUrl::fromEncoded(reply.location));
            if (next.scheme() == QLatin1String("http") || next.scheme() == QLatin1String("https")) {
                if (hops >= 20) {
                    m_lastError = QStringLiteral("Der Shop-Server %1 leitet die Anfrage zu oft weiter.").arg(server);
                    return false;
                }
                // Every gateway request carries the access data: it goes to
                // the configured server only, whatever the method would be.
                if (!sameOrigin(next, m_origin)) {
                    m_plain->closeSoon();
                    m_lastError = foreignOriginText(current, next);
                    return false;
                }
                // The request is posted again to the same server after
                // 301/302 (its SQL text and access data are in the body);
                // "see other" (303) fetches the new address.
                if (reply.status == 303) {
                    isPost = false;
                    post.clear();
                }
                current = next;
                continue;
            }
        }
        body = reply.body;
        finalUrl = current;
        charset = QString::fromLatin1(charsetOf(reply.contentType));
        if (reply.status >= 400)
            m_lastError = QStringLiteral("Der Shop-Server %1 antwortete mit dem HTTP-Status %2.").arg(server).arg(reply.status);
        return true;
    }
}

bool GatewayTransport::networkRequest(const QUrl &url, const QByteArray *postBody, QByteArray &body,
                                      QString &charset, QUrl &finalUrl)
{
    if (!m_nam) {
        m_nam = new QNetworkAccessManager(this);
        // Each redirect is looked at: only to the configured server.
        m_nam->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    }
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setRawHeader("Cache-Control", "no-cache");
    req.setRawHeader("Pragma", "no-cache");
    QNetworkReply *reply = nullptr;
    if (postBody) {
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        reply = m_nam->post(req, *postBody);
    } else {
        reply = m_nam->get(req);
    }
    QPointer<QNetworkReply> guard(reply);
    bool done = false;
    connect(reply, &QNetworkReply::finished, this, [&done] { done = true; });
    // The certificate is checked (nothing is ignored); what was wrong with
    // it goes into the message.
    QStringList sslProblems;
    connect(reply, &QNetworkReply::sslErrors, this, [&sslProblems](const QList<QSslError> &errors) {
        for (const QSslError &e : errors)
            sslProblems << SslProblemText(e);
    });
    QString refused;
    QUrl current = url;
    connect(reply, &QNetworkReply::redirected, this, [&, reply](const QUrl &next) {
        if (sameOrigin(next, m_origin)) {
            current = next;
            emit reply->redirectAllowed();
        } else if (refused.isEmpty()) {
            refused = foreignOriginText(current, next);
            reply->abort();
        }
    });
    bool tooLarge = false;
    const qint64 maxBytes = MaxAnswerBytes;
    connect(reply, &QNetworkReply::downloadProgress, this, [&tooLarge, maxBytes, reply](qint64 received, qint64 total) {
        if (maxBytes > 0 && !tooLarge && (received > maxBytes || total > maxBytes)) {
            tooLarge = true;
            reply->abort();
        }
    });
    // A heartbeat so that a wait always wakes up to look at the cancel check.
    QTimer heartbeat;
    heartbeat.start(50);
    QElapsedTimer clock;
    clock.start();
    bool aborted = false;
    while (!done) {
        if (stopRequested() || (TimeoutSeconds > 0 && clock.elapsed() > qint64(TimeoutSeconds) * 1000)) {
            aborted = true;
            break;
        }
        Ui().ProcessEvents();
        if (done || stopRequested())
            continue;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const QString server = url.host();
    if (guard && (tooLarge || !refused.isEmpty())) {
        reply->disconnect(this);
        reply->deleteLater();
        m_lastError = tooLarge ? tooLargeText(server) : refused;
        return false;
    }
    if (aborted || !guard) {
        if (guard) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
        m_lastError = Cancelled() ? QStringLiteral("Die Anfrage an den Shop-Server wurde abgebrochen.")
                                  : timedOutText(server);
        return false;
    }
    body = reply->readAll();
    finalUrl = reply->url();
    charset = QString::fromLatin1(charsetOf(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool ok = !body.isEmpty() || reply->error() == QNetworkReply::NoError || status.isValid();
    if (!ok) {
        if (!sslProblems.isEmpty() || reply->error() == QNetworkReply::SslHandshakeFailedError)
            m_lastError = QStringLiteral("Die sichere Verbindung (https) zum Shop-Server %1 wurde abgebrochen: "
                                         "das Zertifikat des Servers ist nicht gültig (%2). Bitte prüfen Sie die "
                                         "Shop-Adresse und das Zertifikat des Servers.")
                              .arg(server, sslProblems.isEmpty() ? reply->errorString() : sslProblems.join(QStringLiteral("; ")));
        else
            m_lastError = QStringLiteral("Der Shop-Server %1 ist nicht erreichbar: %2").arg(server, reply->errorString());
    } else if (status.toInt() >= 400) {
        m_lastError = QStringLiteral("Der Shop-Server %1 antwortete mit dem HTTP-Status %2.").arg(server).arg(status.toInt());
    }
    reply->deleteLater();
    return ok;
}

bool GatewayTransport::submitForm(const QString &html, const QUrl &pageUrl, const QHash<QString, QString> &values,
                                  QByteArray &body, QString &charset, QUrl &finalUrl, bool &formError)
{
    formError = false;
    HtmlForm form;
    if (!FindHtmlForm(html, QStringLiteral("form1"), form)) {
        formError = true;
        return false;
    }
    bool hasSubmit = false;
    for (HtmlForm::Control &c : form.controls) {
        if (c.name == QLatin1String("Submit"))
            hasSubmit = true;
        else if (values.contains(c.name) && c.type != QLatin1String("submit") && c.type != QLatin1String("button"))
            c.value = values.value(c.name);
    }
    if (!hasSubmit)
        return true; // nothing clicked: the page stays the form page
    QByteArray cs = form.acceptCharset.section(QLatin1Char(' '), 0, 0).section(QLatin1Char(','), 0, 0).toLatin1();
    if (cs.isEmpty() || QByteArrayView(cs).compare("UNKNOWN", Qt::CaseInsensitive) == 0)
        cs = charset.isEmpty() ? Charset : charset.toLatin1();
    const QByteArray data = EncodeFormData(form, QStringLiteral("Submit"), cs);
    QUrl action = pageUrl.resolved(QUrl::fromEncoded(WireUrl(form.action, cs)));
    action.setFragment(QString());
    // The form carries the access data and the SQL text: never in an
    // address (a form with method "get"), never to another server.
    if (form.method != QLatin1String("post")) {
        m_lastError = QStringLiteral("Das Formular \"form1\" der Gateway-Seite auf %1 würde die Zugangsdaten und den "
                                     "SQL-Text in der Adresse senden (method=get). Sie werden nur im Inhalt einer "
                                     "POST-Anfrage gesendet, nie in einer Adresse; bitte spielen Sie das Gateway-Skript "
                                     "(module/db_check) des Programms neu auf den Shop-Server.")
                          .arg(pageUrl.host());
        return false;
    }
    if (!sameOrigin(action, m_origin)) {
        m_lastError = QStringLiteral("Das Formular \"form1\" der Gateway-Seite würde die Zugangsdaten an %1 senden. "
                                     "Sie werden nur an die eingetragene Shop-Adresse %2 gesendet, an keinen anderen "
                                     "Server; bitte prüfen Sie die Shop-Adresse und das Gateway-Skript auf dem Server.")
                          .arg(originText(action), originText(m_origin));
        return false;
    }
    return request(action, &data, body, charset, finalUrl);
}

QByteArray GatewayTransport::AccessBody() const
{
    const ShopSettings &s = Settings();
    QByteArray body;
    auto add = [&](const char *name, const QString &value) {
        if (!body.isEmpty())
            body += '&';
        body += name;
        body += '=';
        appendFormEncoded(body, EncodeText(value, Charset));
    };
    add("dbhost", s.SQL_Host);
    add("dbname", s.SQL_Data);
    add("dbuser", s.SQL_User);
    add("dbpass", s.SQL_Pass);
    // The script reads every text of the request in this character set.
    add("charset", QString::fromLatin1(Charset));
    return body;
}

GatewayTransport::Fetch GatewayTransport::FetchGatewayPage(const QString &rawAddress, QStringList &lines)
{
    BusyScope busy;
    lines.clear();
    m_lastError.clear();
    static const QString key = QStringLiteral("&sql_query");
    const bool globalsOff = Settings().SQL_Global == QLatin1String("2");
    QString address = rawAddress;
    QString formRequest;
    auto cut = [&] {
        formRequest = address;
        const qsizetype p = address.indexOf(key);
        if (p >= 0)
            address.truncate(p);
    };
    if (address.size() >= 1500 && !globalsOff)
        cut();
    if (DebugMode)
        emit debugAddress(address + QLatin1Char('\n') + GatewayUrl(address));
    if (globalsOff)
        cut();

    QByteArray body;
    QString charset;
    QUrl finalUrl;
    QString wire = GatewayUrl(address);
    QByteArray access = AccessBody();
    // Web servers log request addresses: the SQL text, with the customer
    // data in it, goes in the body as well, the address keeps the request
    // kind, the debug flag and the cache-buster.
    if (const qsizetype p = address.indexOf(QLatin1String("&sql_query=")); p >= 0) {
        QString sql = address.mid(p + 11);
        sql.replace(QChar(0xB4), QLatin1String("&acute;"));
        access += "&sql_query=";
        appendFormEncoded(access, EncodeText(sql, Charset));
        wire.truncate(wire.indexOf(QLatin1String("&sql_query=")));
    }
    const QUrl url = QUrl::fromEncoded(WireUrl(wire, Charset));
    if (!request(url, &access, body, charset, finalUrl))
        return Fetch::Failed;

    if (!formRequest.isNull()) {
        const qsizetype p = formRequest.indexOf(QLatin1String("&sql_query="));
        // The acute accent is written as "&acute;" on every route, so a value
        // is stored the same whether its statement was short or long.
        QString sql = p >= 0 ? formRequest.mid(p + 11) : QString();
        sql.replace(QChar(0xB4), QLatin1String("&acute;"));
        const QString page = DecodeText(body, charset.isEmpty() ? Charset : charset.toLatin1());
        const ShopSettings &s = Settings();
        QHash<QString, QString> values;
        values.insert(QStringLiteral("sql_query"), sql);
        // The page does not carry the access data back: fill them in.
        values.insert(QStringLiteral("dbhost"), s.SQL_Host);
        values.insert(QStringLiteral("dbname"), s.SQL_Data);
        values.insert(QStringLiteral("dbuser"), s.SQL_User);
        values.insert(QStringLiteral("dbpass"), s.SQL_Pass);
        if (globalsOff) {
            values.insert(QStringLiteral("debug"), QStringLiteral("1"));
            values.insert(QStringLiteral("show"), QStringLiteral("2"));
        }
        bool formError = false;
        if (!submitForm(page, finalUrl, values, body, charset, finalUrl, formError)) {
            // An error page of the server says more than the missing form.
            if (formError && m_lastError.isEmpty())
                m_lastError = QStringLiteral("Die Seite des Gateway-Skripts enthält das Formular \"form1\" nicht.");
            return formError ? Fetch::FormError : Fetch::Failed;
        }
    }
    if (stopRequested()) {
        m_lastError = QStringLiteral("Die Anfrage an den Shop-Server wurde abgebrochen.");
        return Fetch::Failed;
    }
    lines = SplitPageLines(DecodeText(body, charset.isEmpty() ? Charset : charset.toLatin1()));
    return Fetch::Ok;
}

GatewayTransport::Fetch GatewayTransport::PostGatewayFields(const QString &address, const QByteArray &fields,
                                                            QStringList &lines)
{
    BusyScope busy;
    lines.clear();
    m_lastError.clear();
    if (DebugMode)
        emit debugAddress(address + QLatin1Char('\n') + GatewayUrl(address));
    FinishOnStopScope finish;
    QByteArray post = AccessBody();
    post += '&';
    post += fields;
    QByteArray body;
    QString charset;
    QUrl finalUrl;
    const QUrl url = QUrl::fromEncoded(WireUrl(GatewayUrl(address), Charset));
    if (!request(url, &post, body, charset, finalUrl))
        return Fetch::Failed;
    // An answer that came in after STOP still counts: the server ran the batch.
    lines = SplitPageLines(DecodeText(body, charset.isEmpty() ? Charset : charset.toLatin1()));
    return Fetch::Ok;
}

struct GatewayTransport::PendingPost {
    QPointer<QNetworkReply> reply;
    QString server;
    bool done = false;
    bool tooLarge = false;
    ~PendingPost()
    {
        if (reply) {
            reply->abort();
            reply->deleteLater();
        }
    }
};

std::shared_ptr<GatewayTransport::PendingPost> GatewayTransport::StartGatewayPost(const QString &address,
                                                                                 const QByteArray &fields)
{
    const QUrl url = QUrl::fromEncoded(WireUrl(GatewayUrl(address), Charset));
    if (!plainHttpFits(url))
        return nullptr;
    if (DebugMode)
        emit debugAddress(address + QLatin1Char('\n') + url.toString());
    QByteArray post = AccessBody();
    post += '&';
    post += fields;
    if (RequestObserver)
        RequestObserver(url, &post);
    if (!m_postNam) {
        m_postNam = new QNetworkAccessManager(this);
        m_postNam->setProxy(QNetworkProxy::NoProxy);
        // A redirect is answered by the waiting road, which checks where it goes.
        m_postNam->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    req.setRawHeader("Cache-Control", "no-cache");
    req.setRawHeader("Pragma", "no-cache");
    auto p = std::make_shared<PendingPost>();
    p->server = url.host();
    p->reply = m_postNam->post(req, post);
    connect(p->reply, &QNetworkReply::finished, this, [weak = std::weak_ptr<PendingPost>(p)] {
        if (const auto q = weak.lock())
            q->done = true;
    });
    // The same cap as every other answer: a broken server cannot fill the memory.
    const qint64 maxBytes = MaxAnswerBytes;
    connect(p->reply, &QNetworkReply::downloadProgress, this,
            [weak = std::weak_ptr<PendingPost>(p), maxBytes](qint64 received, qint64 total) {
                const auto q = weak.lock();
                if (!q || maxBytes <= 0 || (received <= maxBytes && total <= maxBytes))
                    return;
                q->tooLarge = true;
                q->done = true;
                if (q->reply)
                    q->reply->abort();
            });
    return p;
}

GatewayTransport::Fetch GatewayTransport::FinishGatewayPost(PendingPost &p, QStringList &lines, bool &redirected)
{
    BusyScope busy;
    lines.clear();
    redirected = false;
    m_lastError.clear();
    QTimer heartbeat;
    heartbeat.start(50);
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer events;
    while (p.reply && !p.done && !p.reply->isFinished()) {
        if (TimeoutSeconds > 0 && clock.elapsed() > qint64(TimeoutSeconds) * 1000) {
            m_lastError = timedOutText(p.server);
            return Fetch::Failed;
        }
        if (!events.isValid() || events.elapsed() >= 50) {
            Ui().ProcessEvents();
            events.start();
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!p.reply) {
        m_lastError = QStringLiteral("Die Verbindung zum Shop-Server %1 wurde während der Anfrage geschlossen.").arg(p.server);
        return Fetch::Failed;
    }
    if (p.tooLarge) {
        m_lastError = tooLargeText(p.server);
        return Fetch::Failed;
    }
    QNetworkReply *reply = p.reply;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (isRedirect(status)) {
        redirected = true;
        return Fetch::Failed;
    }
    const QByteArray body = reply->readAll();
    if (body.isEmpty() && reply->error() != QNetworkReply::NoError && status == 0) {
        m_lastError = QStringLiteral("Der Shop-Server %1 ist nicht erreichbar: %2").arg(p.server, reply->errorString());
        return Fetch::Failed;
    }
    if (status >= 400)
        m_lastError = QStringLiteral("Der Shop-Server %1 antwortete mit dem HTTP-Status %2.").arg(p.server).arg(status);
    const QByteArray cs = charsetOf(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
    lines = SplitPageLines(DecodeText(body, cs.isEmpty() ? Charset : cs));
    return Fetch::Ok;
}

GatewayTransport &Transport()
{
    static GatewayTransport *t = new GatewayTransport();
    return *t;
}

} // namespace mv
