#include "setup/FtpClient.h"

#include "core/UiHooks.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimeZone>

namespace mv {

namespace {

QList<QSslCertificate> &extraCas()
{
    static QList<QSslCertificate> certs;
    return certs;
}

// Accepted data connections become QSslSocket, so PROT P can encrypt them.
class DataListener : public QTcpServer {
public:
    QList<qintptr> pending;
protected:
    void incomingConnection(qintptr d) override { pending << d; }
};

// Host as a proxy expects it in USER/SITE/OPEN: the port only when not 21.
QString hostSpec(const FtpParams &p)
{
    return p.port == 21 || p.port <= 0 ? p.host : p.host + QLatin1Char(':') + QString::number(p.port);
}

constexpr int kSliceMs = 50;

} // namespace

FtpClient::FtpClient(QObject *parent) : QObject(parent) {}

FtpClient::~FtpClient()
{
    if (m_ctrl)
        m_ctrl->abort();
}

void FtpClient::SetExtraCaCertificates(const QList<QSslCertificate> &certs)
{
    extraCas() = certs;
}

bool FtpClient::Connected() const
{
    return m_ctrl && m_ctrl->state() == QAbstractSocket::ConnectedState;
}

void FtpClient::fail(const QString &text)
{
    m_error = text;
    status(text);
}

void FtpClient::status(const QString &text)
{
    if (onStatus)
        onStatus(text);
}

bool FtpClient::waitFor(const std::function<bool()> &done, QSslSocket *sock, const QElapsedTimer *deadline)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (sock->state() != QAbstractSocket::ConnectedState && sock->bytesAvailable() == 0) {
            fail(QStringLiteral("Die Verbindung zum FTP-Server %1 wurde unterbrochen").arg(m_peerName));
            return false;
        }
        if (t.elapsed() >= m_params.readTimeoutMs) {
            fail(QStringLiteral("Zeitüberschreitung: der FTP-Server %1 antwortet nicht").arg(m_peerName));
            return false;
        }
        if (deadline && deadline->elapsed() >= m_params.replyTimeoutMs) {
            dropHostile(QStringLiteral("Der FTP-Server %1 hat seine Antwort nicht innerhalb von %2 Sekunden beendet; "
                                       "die Verbindung wurde abgebrochen.")
                            .arg(m_peerName)
                            .arg((m_params.replyTimeoutMs + 999) / 1000));
            return false;
        }
        if (!sock->waitForReadyRead(kSliceMs))
            Ui().ProcessEvents();
    }
    return true;
}

void FtpClient::dropHostile(const QString &text)
{
    // The rest of such a reply would only be taken for the next one.
    if (m_ctrl)
        m_ctrl->abort();
    m_reader.Clear();
    fail(text);
}

void FtpReplyReader::Clear()
{
    m_buffer.clear();
    m_lines.clear();
    m_first.clear();
    m_replyBytes = 0;
}

void FtpReplyReader::Feed(const QByteArray &bytes)
{
    m_buffer += bytes;
}

FtpReplyReader::State FtpReplyReader::Next(int &code, QString &text)
{
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n');
        if (nl > kFtpMaxReplyLine || (nl < 0 && m_buffer.size() > kFtpMaxReplyLine))
            return State::LineTooLong;
        if (m_replyBytes + (nl < 0 ? m_buffer.size() : nl + 1) > kFtpMaxReply)
            return State::ReplyTooLong;
        if (nl < 0)
            return State::NeedMore;
        QByteArray raw = m_buffer.left(nl);
        m_buffer.remove(0, nl + 1);
        m_replyBytes += nl + 1;
        if (raw.endsWith('\r'))
            raw.chop(1);
        // Server texts are mostly ASCII; UTF-8 where the server speaks it.
        const QString line = QString::fromUtf8(raw);
        m_lines << line;
        if (m_first.isEmpty()) {
            if (line.size() < 3 || !line.at(0).isDigit()) {
                text = line.left(200);
                m_lines.clear();
                m_replyBytes = 0;
                return State::Garbled;
            }
            m_first = line.left(3);
            if (line.size() > 3 && line.at(3) == QLatin1Char('-'))
                continue;
        } else if (!line.startsWith(m_first) || (line.size() != 3 && line.at(3) != QLatin1Char(' '))) {
            continue;
        }
        code = m_first.toInt();
        text = m_lines.join(QLatin1Char('\n'));
        m_lines.clear();
        m_first.clear();
        m_replyBytes = 0;
        return State::Reply;
    }
}

bool FtpClient::readReply()
{
    m_code = 0;
    m_reply.clear();
    QElapsedTimer total;
    total.start();
    for (;;) {
        int code = 0;
        QString text;
        const FtpReplyReader::State state = m_reader.Next(code, text);
        switch (state) {
        case FtpReplyReader::State::Reply:
            m_code = code;
            m_reply = text;
            status(m_reply);
            return true;
        case FtpReplyReader::State::Garbled:
            fail(QStringLiteral("Unverständliche Antwort des FTP-Servers: ") + text);
            return false;
        case FtpReplyReader::State::LineTooLong:
        case FtpReplyReader::State::ReplyTooLong: {
            const bool line = state == FtpReplyReader::State::LineTooLong;
            dropHostile(QStringLiteral("Der FTP-Server %1 sendet eine %2 von mehr als %3 KB; die Verbindung wurde "
                                       "abgebrochen.")
                            .arg(m_peerName, line ? QStringLiteral("Antwortzeile") : QStringLiteral("Antwort"))
                            .arg((line ? kFtpMaxReplyLine : kFtpMaxReply) / 1024));
            return false;
        }
        case FtpReplyReader::State::NeedMore:
            break;
        }
        if (!m_ctrl)
            return false;
        if (!waitFor([this] { return m_ctrl->bytesAvailable() > 0; }, m_ctrl.get(), &total))
            return false;
        // Never more than the reader can take before it gives up.
        m_reader.Feed(m_ctrl->read(kFtpMaxReplyLine + 2));
    }
}

bool FtpClient::command(const QString &cmd, const QString &shown)
{
    if (!Connected()) {
        fail(QStringLiteral("Keine Verbindung zum FTP-Server"));
        return false;
    }
    status(shown.isNull() ? cmd : shown);
    // Names with umlauts go as UTF-8, as today's servers expect.
    m_ctrl->write(cmd.toUtf8() + "\r\n");
    return readReply();
}

bool FtpClient::startTls(QSslSocket *sock, const QString &peerName, const char *what, const QSslSocket *resumeFrom)
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    if (resumeFrom) {
        const QByteArray ticket = resumeFrom->sslConfiguration().sessionTicket();
        if (!ticket.isEmpty())
            conf.setSessionTicket(ticket);
    }
    if (!extraCas().isEmpty()) {
        QList<QSslCertificate> cas = conf.caCertificates();
        cas += extraCas();
        conf.setCaCertificates(cas);
    }
    sock->setSslConfiguration(conf);
    sock->setPeerVerifyName(peerName);
    QElapsedTimer t;
    t.start();
    sock->startClientEncryption();
    while (!sock->isEncrypted()) {
        if (!sock->sslHandshakeErrors().isEmpty())
            break;
        if (sock->state() != QAbstractSocket::ConnectedState)
            break;
        if (t.elapsed() >= m_params.readTimeoutMs)
            break;
        if (!sock->waitForEncrypted(kSliceMs))
            Ui().ProcessEvents();
    }
    if (sock->isEncrypted())
        return true;
    const QList<QSslError> errs = sock->sslHandshakeErrors();
    if (!errs.isEmpty()) {
        QStringList texts;
        for (const QSslError &e : errs)
            texts << e.errorString();
        fail(QStringLiteral("Das Zertifikat des FTP-Servers %1 ist nicht vertrauenswürdig (%2): %3")
                 .arg(peerName, QString::fromLatin1(what), texts.join(QStringLiteral("; "))));
    } else if (t.elapsed() >= m_params.readTimeoutMs) {
        fail(QStringLiteral("Zeitüberschreitung bei der verschlüsselten Verbindung (%1)").arg(QString::fromLatin1(what)));
    } else {
        fail(QStringLiteral("Verschlüsselte Verbindung (%1) fehlgeschlagen: %2")
                 .arg(QString::fromLatin1(what), sock->errorString()));
    }
    return false;
}

bool FtpClient::Connect(const FtpParams &params)
{
    Disconnect();
    m_params = params;
    m_error.clear();
    m_reader.Clear();
    m_type = -1;
    const bool viaProxy = params.proxyType >= 1 && params.proxyType <= 4 && !params.proxyHost.trimmed().isEmpty();
    const QString host = viaProxy ? params.proxyHost.trimmed() : params.host;
    const int port = viaProxy ? (params.proxyPort > 0 ? params.proxyPort : 2121) : (params.port > 0 ? params.port : 21);
    if (host.isEmpty()) {
        fail(QStringLiteral("Kein FTP-Server angegeben"));
        return false;
    }
    if (params.tls && !QSslSocket::supportsSsl()) {
        fail(QStringLiteral("FTPS ist nicht möglich: keine TLS-Bibliothek vorhanden"));
        return false;
    }
    m_peerName = host;
    m_ctrl = std::make_unique<QSslSocket>();
    status(QStringLiteral("Verbinde mit %1:%2 ...").arg(host).arg(port));
    m_ctrl->connectToHost(host, quint16(port));
    QElapsedTimer t;
    t.start();
    while (m_ctrl->state() != QAbstractSocket::ConnectedState) {
        if (m_ctrl->state() == QAbstractSocket::UnconnectedState || t.elapsed() >= params.readTimeoutMs) {
            fail(QStringLiteral("Keine Verbindung zu %1:%2: %3")
                     .arg(host)
                     .arg(port)
                     .arg(m_ctrl->state() == QAbstractSocket::UnconnectedState ? m_ctrl->errorString()
                                                                               : QStringLiteral("Zeitüberschreitung")));
            m_ctrl.reset();
            return false;
        }
        if (!m_ctrl->waitForConnected(kSliceMs))
            Ui().ProcessEvents();
    }
    if (!readReply() || m_code / 100 != 2) {
        if (m_error.isEmpty())
            fail(QStringLiteral("Der FTP-Server lehnt die Verbindung ab: ") + m_reply);
        Disconnect();
        return false;
    }
    if (params.tls) {
        if (!command(QStringLiteral("AUTH TLS")) || m_code != 234) {
            if (m_code != 0)
                fail(QStringLiteral("Der FTP-Server bietet kein FTPS (AUTH TLS): ") + m_reply);
            Disconnect();
            return false;
        }
        if (!startTls(m_ctrl.get(), m_peerName, "Steuerverbindung")) {
            m_ctrl->abort();
            m_ctrl.reset();
            return false;
        }
    }
    if (!login(params)) {
        Disconnect();
        return false;
    }
    if (params.tls) {
        if (!command(QStringLiteral("PBSZ 0")) || m_code / 100 != 2 || !command(QStringLiteral("PROT P"))
            || m_code / 100 != 2) {
            if (m_code != 0)
                fail(QStringLiteral("Der FTP-Server verweigert geschützte Datenverbindungen: ") + m_reply);
            Disconnect();
            return false;
        }
    }
    return true;
}

bool FtpClient::userPass(const QString &user, const QString &pass)
{
    if (!command(QStringLiteral("USER ") + user))
        return false;
    if (m_code == 230)
        return true;
    if (m_code == 331 || m_code == 332) {
        if (!command(QStringLiteral("PASS ") + pass, QStringLiteral("PASS ****")))
            return false;
        if (m_code / 100 == 2)
            return true;
    }
    fail(QStringLiteral("Anmeldung abgelehnt: ") + m_reply);
    return false;
}

bool FtpClient::login(const FtpParams &p)
{
    const bool viaProxy = p.proxyType >= 1 && p.proxyType <= 4 && !p.proxyHost.trimmed().isEmpty();
    // Without a proxy host the proxy types 1 to 4 reach the server itself,
    // which only understands the plain login.
    const int type = (p.proxyType >= 1 && p.proxyType <= 4 && !viaProxy) || p.proxyType < 0 || p.proxyType > 5
                         ? 0
                         : p.proxyType;
    auto proxyLogin = [&]() {
        if (p.proxyUser.isEmpty())
            return true;
        return userPass(p.proxyUser, p.proxyPassword);
    };
    switch (type) {
    case 1:
        return proxyLogin() && userPass(p.user + QLatin1Char('@') + hostSpec(p), p.password);
    case 2:
        if (!proxyLogin())
            return false;
        if (!command(QStringLiteral("SITE ") + hostSpec(p)))
            return false;
        if (m_code / 100 != 2) {
            fail(QStringLiteral("Der Proxy erreicht den FTP-Server nicht: ") + m_reply);
            return false;
        }
        return userPass(p.user, p.password);
    case 3:
        if (!proxyLogin())
            return false;
        if (!command(QStringLiteral("OPEN ") + hostSpec(p)))
            return false;
        if (m_code / 100 != 2) {
            fail(QStringLiteral("Der Proxy erreicht den FTP-Server nicht: ") + m_reply);
            return false;
        }
        return userPass(p.user, p.password);
    case 4:
        return userPass(p.user + QLatin1Char('@') + p.proxyUser + QLatin1Char('@') + hostSpec(p),
                        p.proxyPassword.isEmpty() ? p.password : p.password + QLatin1Char('@') + p.proxyPassword);
    case 5:
        return proxyLogin() && userPass(p.user, p.password);
    default:
        return userPass(p.user, p.password);
    }
}

bool FtpClient::Disconnect()
{
    if (!m_ctrl)
        return true;
    bool ok = Connected();
    if (ok) {
        status(QStringLiteral("QUIT"));
        ok = m_ctrl->write("QUIT\r\n") > 0 && (m_ctrl->bytesToWrite() == 0 || m_ctrl->waitForBytesWritten(1000));
        // The goodbye is not waited for: the session is over either way.
        m_ctrl->disconnectFromHost();
        if (m_ctrl->state() != QAbstractSocket::UnconnectedState)
            m_ctrl->waitForDisconnected(200);
    }
    m_ctrl->abort();
    m_ctrl.reset();
    m_reader.Clear();
    return ok;
}

bool FtpClient::Cwd(const QString &dir)
{
    return command(QStringLiteral("CWD ") + dir) && m_code / 100 == 2;
}

bool FtpClient::Mkd(const QString &dir)
{
    return command(QStringLiteral("MKD ") + dir) && m_code / 100 == 2;
}

bool FtpClient::Pwd(QString &dir)
{
    if (!command(QStringLiteral("PWD")) || m_code != 257)
        return false;
    const QString text = m_reply.section(QLatin1Char('\n'), 0, 0).mid(4);
    const int a = text.indexOf(QLatin1Char('"'));
    if (a < 0) {
        dir = text.trimmed();
        return true;
    }
    QString out;
    for (int i = a + 1; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('"')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                out += QLatin1Char('"');
                ++i;
                continue;
            }
            break;
        }
        out += text.at(i);
    }
    dir = out;
    return true;
}

bool FtpClient::Site(const QString &cmd)
{
    return command(QStringLiteral("SITE ") + cmd) && m_code / 100 == 2;
}

bool FtpClient::setType(bool ascii)
{
    const int want = ascii ? 0 : 1;
    if (m_type == want)
        return true;
    if (!command(ascii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I")) || m_code / 100 != 2)
        return false;
    m_type = want;
    return true;
}

int FtpClient::Size(const QString &name, qint64 &size)
{
    size = -1;
    if (!setType(false))
        return -1;
    if (!command(QStringLiteral("SIZE ") + name))
        return -1;
    if (m_code == 213) {
        bool ok = false;
        size = m_reply.mid(4).trimmed().toLongLong(&ok);
        return ok ? 1 : -1;
    }
    if (m_code == 550)
        return 0;
    return -1;
}

int FtpClient::Mdtm(const QString &name, QDateTime &time)
{
    time = QDateTime();
    if (!command(QStringLiteral("MDTM ") + name))
        return -1;
    if (m_code == 213) {
        // YYYYMMDDHHMMSS[.sss], always UTC
        const QString stamp = m_reply.mid(4).trimmed().left(14);
        time = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmmss"));
        time.setTimeZone(QTimeZone::utc());
        return time.isValid() ? 1 : -1;
    }
    if (m_code == 550)
        return 0;
    return -1;
}

std::unique_ptr<QSslSocket> FtpClient::openDataConnection(std::unique_ptr<QTcpServer> &listener)
{
    if (m_params.passive) {
        if (!command(QStringLiteral("PASV")) || m_code != 227) {
            if (m_code)
                fail(QStringLiteral("Passive Datenverbindung abgelehnt: ") + m_reply);
            return nullptr;
        }
        static const QRegularExpression re(QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
        const QRegularExpressionMatch m = re.match(m_reply);
        if (!m.hasMatch()) {
            fail(QStringLiteral("Unverständliche PASV-Antwort: ") + m_reply);
            return nullptr;
        }
        const int port = m.captured(5).toInt() * 256 + m.captured(6).toInt();
        // The address in the reply is ignored: the data go where the control
        // connection goes (servers behind NAT report private addresses, and a
        // hostile one could point elsewhere).
        auto data = std::make_unique<QSslSocket>();
        data->connectToHost(m_ctrl->peerAddress(), quint16(port));
        QElapsedTimer t;
        t.start();
        while (data->state() != QAbstractSocket::ConnectedState) {
            if (data->state() == QAbstractSocket::UnconnectedState || t.elapsed() >= m_params.readTimeoutMs) {
                fail(QStringLiteral("Datenverbindung fehlgeschlagen: ") + data->errorString());
                return nullptr;
            }
            if (!data->waitForConnected(kSliceMs))
                Ui().ProcessEvents();
        }
        return data;
    }
    auto *l = new DataListener;
    listener.reset(l);
    const QHostAddress local = m_ctrl->localAddress();
    if (local.protocol() != QAbstractSocket::IPv4Protocol || !l->listen(local, 0)) {
        fail(QStringLiteral("Aktive Datenverbindung nicht möglich (nur IPv4)"));
        return nullptr;
    }
    const quint32 a = local.toIPv4Address();
    const quint16 port = l->serverPort();
    const QString arg = QStringLiteral("%1,%2,%3,%4,%5,%6")
                            .arg(a >> 24).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255)
                            .arg(port >> 8).arg(port & 255);
    if (!command(QStringLiteral("PORT ") + arg) || m_code / 100 != 2) {
        if (m_code)
            fail(QStringLiteral("Aktive Datenverbindung abgelehnt: ") + m_reply);
        return nullptr;
    }
    return nullptr; // the connection arrives after the transfer command
}

bool FtpClient::Store(const QString &localPath, const QString &remoteName, bool ascii)
{
    m_error.clear();
    QFile f(localPath);
    if (!f.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("Datei nicht lesbar: ") + localPath);
        return false;
    }
    if (!setType(ascii))
        return false;
    std::unique_ptr<QTcpServer> listener;
    std::unique_ptr<QSslSocket> data = openDataConnection(listener);
    if (!data && !listener)
        return false;
    if (!data && !listener->isListening())
        return false;
    if (!command(QStringLiteral("STOR ") + remoteName))
        return false;
    if (m_code / 100 != 1) {
        fail(QStringLiteral("Speichern abgelehnt: ") + m_reply);
        return false;
    }
    if (!data) {
        auto *l = static_cast<DataListener *>(listener.get());
        QElapsedTimer t;
        t.start();
        while (l->pending.isEmpty()) {
            if (t.elapsed() >= m_params.readTimeoutMs) {
                fail(QStringLiteral("Der FTP-Server baut die Datenverbindung nicht auf"));
                return false;
            }
            if (!l->waitForNewConnection(kSliceMs))
                Ui().ProcessEvents();
        }
        data = std::make_unique<QSslSocket>();
        data->setSocketDescriptor(l->pending.takeFirst());
        l->close();
    }
    if (m_params.tls && !startTls(data.get(), m_peerName, "Datenverbindung", m_ctrl.get())) {
        data->abort();
        readReply();
        return false;
    }

    const qint64 total = f.size();
    if (onTransferStart)
        onTransferStart(total);
    qint64 done = 0;
    bool lastCr = false;
    bool ok = true;
    QElapsedTimer idle, whole;
    whole.start();
    const qint64 limitMs = m_params.replyTimeoutMs + total * 1000 / qMax(1, m_params.minBytesPerSecond);
    bool tooSlow = false;
    while (ok) {
        QByteArray chunk = f.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        const qint64 raw = chunk.size();
        if (ascii) {
            QByteArray conv;
            conv.reserve(chunk.size() + chunk.size() / 16);
            for (char c : chunk) {
                if (c == '\n' && !lastCr)
                    conv += '\r';
                conv += c;
                lastCr = c == '\r';
            }
            chunk = conv;
        }
        data->write(chunk);
        idle.start();
        while (data->bytesToWrite() > 0) {
            if (data->state() != QAbstractSocket::ConnectedState) {
                ok = false;
                break;
            }
            if (idle.elapsed() >= m_params.readTimeoutMs) {
                ok = false;
                break;
            }
            if (whole.elapsed() >= limitMs) {
                ok = false;
                tooSlow = true;
                break;
            }
            const qint64 before = data->bytesToWrite();
            if (!data->waitForBytesWritten(kSliceMs))
                Ui().ProcessEvents();
            if (data->bytesToWrite() < before)
                idle.start();
        }
        done += raw;
        if (ok && onProgress)
            onProgress(done, total);
    }
    if (!ok) {
        data->abort();
        if (tooSlow)
            fail(QStringLiteral("Der FTP-Server %1 nimmt die Datei %2 zu langsam an (nicht in %3 Sekunden); die "
                                "Übertragung wurde abgebrochen.")
                     .arg(m_peerName, remoteName)
                     .arg((limitMs + 999) / 1000));
        else
            fail(QStringLiteral("Die Datenverbindung wurde unterbrochen"));
        // The server's answer to the abort; the reason stays ours.
        const QString why = m_error;
        if (Connected())
            readReply();
        m_error = why;
        return false;
    }
    // End of file = end of the data connection; the server answers on the
    // control connection once it has everything.
    data->disconnectFromHost();
    idle.start();
    while (data->state() != QAbstractSocket::UnconnectedState && data->bytesToWrite() > 0
           && idle.elapsed() < m_params.readTimeoutMs)
        data->waitForBytesWritten(kSliceMs);
    const bool replied = readReply();
    data->abort();
    if (!replied)
        return false;
    if (m_code / 100 != 2) {
        fail(QStringLiteral("Übertragung fehlgeschlagen: ") + m_reply);
        return false;
    }
    return true;
}

} // namespace mv
