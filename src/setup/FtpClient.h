#pragma once
// A small FTP client (RFC 959) on Qt sockets for the shop upload: the six
// proxy login conventions of the FTP window, active and passive data
// connections, CWD/MKD/PWD/SITE/SIZE, STOR in ASCII or binary type, and
// explicit FTPS (AUTH TLS, PBSZ 0, PROT P) checked against the system's
// trust store. Calls block until the server answered or the read time-out
// passed; pending window events run while they wait.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDateTime;
class QElapsedTimer;
class QSslSocket;
class QTcpServer;

namespace mv {

struct FtpParams {
    QString host;
    int port = 21;
    QString user, password;
    bool passive = false;
    // 0 pipe, 1 user login, 2 SITE, 3 OPEN, 4 user no login, 5 transparent.
    int proxyType = 0;
    QString proxyHost, proxyUser, proxyPassword;
    int proxyPort = 2121;
    bool tls = false;
    // Longest wait for the next byte of a reply.
    int readTimeoutMs = 10000;
    // Longest wait for a whole reply, however steadily it trickles in.
    int replyTimeoutMs = 60000;
    // A file may take replyTimeoutMs plus its size at this rate to go out
    // (a dial-up line sends several times as much).
    int minBytesPerSecond = 2048;
};

// Limits of one reply on the control connection. Real replies are a few
// lines of well under 1 KB (a long FEAT or HELP list some KB); a server
// that sends more is broken or hostile, and the connection is dropped.
constexpr int kFtpMaxReplyLine = 64 * 1024;
constexpr int kFtpMaxReply = 1024 * 1024;

// Takes replies out of the bytes of the control connection: "123 text", or
// "123-" lines up to the line "123 text" (RFC 959), within the limits above.
class FtpReplyReader {
public:
    enum class State { NeedMore, Reply, Garbled, LineTooLong, ReplyTooLong };
    void Feed(const QByteArray &bytes);
    // Reply: code and the reply's lines joined by "\n". Garbled: the first
    // line is no reply (text = its start). NeedMore: feed more bytes. The
    // two limits stay until Clear().
    State Next(int &code, QString &text);
    qsizetype Buffered() const { return m_buffer.size(); }
    void Clear();

private:
    QByteArray m_buffer;
    QStringList m_lines;
    QString m_first;
    qint64 m_replyBytes = 0;
};

class FtpClient : public QObject {
    Q_OBJECT
public:
    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    // Connects and logs in. false with LastError() on failure.
    bool Connect(const FtpParams &params);
    // QUIT and close; harmless when there is no session. false when the
    // session could not be ended properly (the line was already broken or
    // QUIT could not be sent); it is gone either way.
    bool Disconnect();
    bool Connected() const;
    // A session was opened and not yet ended by Disconnect (its line may
    // have broken meanwhile).
    bool HasSession() const { return bool(m_ctrl); }

    bool Cwd(const QString &dir);
    bool Mkd(const QString &dir);
    // The directory from the 257 reply (quotes removed, "" doubled inside).
    bool Pwd(QString &dir);
    // SITE command; true on a 2xx reply.
    bool Site(const QString &command);
    // Size of a remote file: 1 known, 0 the server lacks the file, -1 the
    // server does not tell sizes.
    int Size(const QString &name, qint64 &size);
    // Modification time of a remote file (MDTM, UTC), the same three answers.
    int Mdtm(const QString &name, QDateTime &time);
    // Stores a local file under remoteName in the current directory,
    // replacing it. ASCII type sends line ends as CR LF.
    bool Store(const QString &localPath, const QString &remoteName, bool ascii);

    QString LastError() const { return m_error; }
    int LastCode() const { return m_code; }
    QString LastReply() const { return m_reply; }

    // Called at the start of each file (its size) and as bytes go out.
    std::function<void(qint64 total)> onTransferStart;
    std::function<void(qint64 done, qint64 total)> onProgress;
    // Commands and replies as status text; passwords never appear.
    std::function<void(const QString &)> onStatus;

    // Certificates trusted besides the system's store (a private CA).
    static void SetExtraCaCertificates(const QList<QSslCertificate> &certs);

private:
    // Waits for a complete reply; false on time-out, a lost connection or
    // a reply beyond the limits above (the connection is then dropped).
    bool readReply();
    void dropHostile(const QString &text);
    bool command(const QString &cmd, const QString &shown = QString());
    bool login(const FtpParams &p);
    bool userPass(const QString &user, const QString &pass);
    bool setType(bool ascii);
    // resumeFrom: the control connection whose TLS session the data
    // connection resumes (servers such as vsftpd insist on it).
    bool startTls(QSslSocket *sock, const QString &peerName, const char *what, const QSslSocket *resumeFrom = nullptr);
    std::unique_ptr<QSslSocket> openDataConnection(std::unique_ptr<QTcpServer> &listener);
    // deadline: the whole operation's clock (replyTimeoutMs), or null.
    bool waitFor(const std::function<bool()> &done, QSslSocket *sock, const QElapsedTimer *deadline = nullptr);
    void fail(const QString &text);
    void status(const QString &text);

    std::unique_ptr<QSslSocket> m_ctrl;
    FtpParams m_params;
    QString m_peerName;
    FtpReplyReader m_reader;
    QString m_error, m_reply;
    int m_code = 0;
    int m_type = -1; // 0 ascii, 1 binary, -1 unknown
};

} // namespace mv
