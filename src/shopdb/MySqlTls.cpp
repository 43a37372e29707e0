#include "shopdb/MySqlTls.h"

#include "shopdb/MySqlConnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QtEndian>

namespace mv {

namespace {

// Capability flags of the MySQL client/server protocol.
constexpr quint32 kLongPassword = 0x1;
constexpr quint32 kProtocol41 = 0x200;
constexpr quint32 kSsl = 0x800;
constexpr quint32 kSecureConnection = 0x8000;

const QString kSwitchOff = QStringLiteral(
    "Nur wenn der Server im eigenen, geschützten Netz steht, kann die Verschlüsselung im Fenster "
    "\"SQL-Server einstellungen\" (Schalter \"Verschlüsselt (TLS)\") oder mit "
    "\"marktvoll-cli settings set SQL_SSL 0\" ausgeschaltet werden.");


// Reads one protocol packet (3 bytes length, 1 byte sequence).
bool readPacket(QSslSocket &s, QByteArray &payload, const QElapsedTimer &clock, int timeoutMs)
{
    QByteArray buf;
    auto need = [&](qint64 n) {
        while (s.bytesAvailable() < n) {
            const int left = timeoutMs - int(clock.elapsed());
            if (left <= 0 || !s.waitForReadyRead(left))
                return false;
        }
        return true;
    };
    if (!need(4))
        return false;
    const QByteArray head = s.read(4);
    const quint32 len = quint8(head[0]) | (quint8(head[1]) << 8) | (quint8(head[2]) << 16);
    // A greeting is a few hundred bytes.
    if (len == 0 || len > 65536 || !need(len))
        return false;
    payload = s.read(len);
    return true;
}

} // namespace

bool IsLocalDbHost(const QString &hostPort)
{
    QString h;
    int port = 0;
    SplitHostPort(hostPort, h, port);
    h = h.toLower();
    if (h.startsWith(QLatin1Char('[')) && h.contains(QLatin1Char(']')))
        h = h.mid(1, h.indexOf(QLatin1Char(']')) - 1);
    if (h.isEmpty() || h == QLatin1String("localhost") || h == QLatin1String("::1"))
        return true;
    QHostAddress a;
    return a.setAddress(h) && a.isLoopback();
}

bool MySqlTlsWanted(const QString &setting, const QString &host)
{
    const QString v = setting.trimmed();
    if (v == QLatin1String("1"))
        return true;
    if (v == QLatin1String("0"))
        return false;
    return !IsLocalDbHost(host);
}

QString MySqlExtraCaFile()
{
    return qEnvironmentVariable("MARKTVOLL_SQL_CA");
}

QString MySqlTlsConnectOptions()
{
    // The value ends at ";" in Qt's option string: a path with one cannot be passed.
    const QString extra = MySqlExtraCaFile();
    if (!extra.isEmpty() && !extra.contains(QLatin1Char(';')))
        return QStringLiteral("SSL_CA=") + extra;
    for (const char *bundle : {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt",
                               "/etc/ssl/cert.pem", "/etc/ssl/ca-bundle.pem"})
        if (QFileInfo::exists(QLatin1String(bundle)))
            return QStringLiteral("SSL_CA=") + QLatin1String(bundle);
    if (QFileInfo(QStringLiteral("/etc/ssl/certs")).isDir())
        return QStringLiteral("SSL_CAPATH=/etc/ssl/certs");
    return QStringLiteral("SSL_CIPHER=HIGH");
}

bool ProbeMySqlTls(const QString &host, int port, QString *error, int timeoutMs)
{
    auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const QString name = host.trimmed();
    const quint16 p = quint16(port > 0 ? port : 3306);
    QSslSocket s;
    s.setProxy(QNetworkProxy::NoProxy);
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> cas = QSslConfiguration::systemCaCertificates();
    const QString extra = MySqlExtraCaFile();
    if (!extra.isEmpty()) {
        const QList<QSslCertificate> own = QSslCertificate::fromPath(extra, QSsl::Pem);
        if (own.isEmpty())
            return fail(QStringLiteral("Die Zertifikatsdatei %1 (MARKTVOLL_SQL_CA) enthält kein Zertifikat.").arg(extra));
        cas += own;
    }
    conf.setCaCertificates(cas);
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    s.setSslConfiguration(conf);
    s.setPeerVerifyName(name);

    QElapsedTimer clock;
    clock.start();
    s.connectToHost(name, p);
    if (!s.waitForConnected(timeoutMs))
        return fail(QStringLiteral("Der MySQL-Server %1 ist nicht erreichbar: %2").arg(name, s.errorString()));

    QByteArray greeting;
    if (!readPacket(s, greeting, clock, timeoutMs))
        return fail(QStringLiteral("Der MySQL-Server %1 hat nicht wie ein MySQL-Server geantwortet.").arg(name));
    if (quint8(greeting.at(0)) == 0xFF) {
        // An error instead of the greeting (host blocked, too many connections).
        const QByteArray msg = greeting.size() > 3 ? greeting.mid(3) : QByteArray();
        return fail(QStringLiteral("Der MySQL-Server %1 lehnt die Verbindung ab: %2")
                        .arg(name, QString::fromUtf8(msg.startsWith('#') ? msg.mid(6) : msg)));
    }
    // Protocol 10: version text, connection id, 8 bytes of scramble, a
    // filler, then the lower two bytes of the capabilities.
    const qsizetype nul = greeting.indexOf('\0', 1);
    if (quint8(greeting.at(0)) != 10 || nul < 0 || greeting.size() < nul + 1 + 4 + 8 + 1 + 2)
        return fail(QStringLiteral("Der MySQL-Server %1 hat nicht wie ein MySQL-Server geantwortet.").arg(name));
    const quint32 caps = qFromLittleEndian<quint16>(greeting.constData() + nul + 1 + 4 + 8 + 1);
    if (!(caps & kSsl))
        return fail(QStringLiteral("Der MySQL-Server %1 bietet keine verschlüsselte Verbindung (TLS) an. Die Verbindung "
                                   "wurde nicht aufgebaut, damit keine Daten unverschlüsselt über das Netz gehen. Bitte "
                                   "lassen Sie TLS auf dem Server einschalten (Zertifikat und Schlüssel: ssl_cert, "
                                   "ssl_key). %2")
                        .arg(name, kSwitchOff));

    // The SSL request: capabilities, largest packet, character set, 23 zero bytes.
    QByteArray req(4 + 32, '\0');
    req[0] = 32;
    req[3] = 1; // sequence
    qToLittleEndian<quint32>(kLongPassword | kProtocol41 | kSsl | kSecureConnection, req.data() + 4);
    qToLittleEndian<quint32>(16u << 20, req.data() + 8);
    req[12] = 45; // utf8mb4
    s.write(req);
    bool handshakeDone = false;
    QList<QSslError> problems;
    QObject::connect(&s, &QSslSocket::sslErrors, &s, [&problems](const QList<QSslError> &e) { problems += e; });
    s.startClientEncryption();
    const int left = timeoutMs - int(clock.elapsed());
    handshakeDone = left > 0 && s.waitForEncrypted(left);
    s.abort();
    if (handshakeDone)
        return true;
    if (!problems.isEmpty()) {
        QStringList why;
        for (const QSslError &e : problems)
            if (!why.contains(SslProblemText(e)))
                why << SslProblemText(e);
        return fail(QStringLiteral("Das Zertifikat des MySQL-Servers %1 ist nicht vertrauenswürdig (%2); die Verbindung "
                                   "wurde nicht aufgebaut. Der Server braucht ein Zertifikat einer anerkannten "
                                   "Zertifizierungsstelle, ausgestellt auf den Namen, der als Hostname eingetragen ist "
                                   "(%1). %3")
                        .arg(name, why.join(QStringLiteral("; ")), kSwitchOff));
    }
    return fail(QStringLiteral("Die verschlüsselte Verbindung (TLS) zum MySQL-Server %1 kam nicht zustande: %2. %3")
                    .arg(name, s.errorString(), kSwitchOff));
}

bool CheckSessionCipher(QSqlDatabase &db, const QString &host, QString *error)
{
    QSqlQuery q(db);
    QString cipher;
    if (q.exec(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'")) && q.next())
        cipher = q.value(1).toString().trimmed();
    if (!cipher.isEmpty())
        return true;
    if (error)
        *error = QStringLiteral("Die Verbindung zum MySQL-Server %1 ist nicht verschlüsselt; sie wurde sofort wieder "
                                "getrennt. Bitte lassen Sie TLS auf dem Server einschalten. %2")
                     .arg(host.trimmed(), kSwitchOff);
    return false;
}

QString SslProblemText(const QSslError &e)
{
    switch (e.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("es ist selbst signiert");
    case QSslError::HostNameMismatch:
        return QStringLiteral("es gilt nicht für diesen Servernamen");
    case QSslError::CertificateExpired:
        return QStringLiteral("es ist abgelaufen");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("es ist noch nicht gültig");
    case QSslError::CertificateRevoked:
        return QStringLiteral("es wurde widerrufen");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("sein Aussteller ist nicht als vertrauenswürdig bekannt");
    default:
        return e.errorString();
    }
}

} // namespace mv
