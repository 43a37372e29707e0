#pragma once
// TLS of the direct MySQL connection. Qt's QMYSQL driver (Qt 6.4) passes
// only SSL_KEY, SSL_CERT, SSL_CA, SSL_CAPATH and SSL_CIPHER to the client
// library; it cannot demand that the server's certificate fits the host
// name, and the client library falls back to clear text when the server
// offers no TLS. So before each direct connection the server is checked
// here, before any access data leave the machine: it must offer TLS, and
// its certificate must be trusted (system certificates, plus the file
// named by MARKTVOLL_SQL_CA) and issued for the host name. The session
// itself then runs with the CA options (the library checks the chain) and
// counts only when the server reports a cipher for it (CheckSessionCipher).

#include <QString>

class QSqlDatabase;

class QSslError;

namespace mv {

// "localhost", 127.x.x.x, ::1 or no host (a port may follow): the
// connection stays on the machine.
bool IsLocalDbHost(const QString &host);
// Why a certificate is not trusted, in words for the user.
QString SslProblemText(const QSslError &e);
// The settings value SQL_SSL: "1" on, "0" off, anything else (empty) on for
// every host that is not the local one.
bool MySqlTlsWanted(const QString &setting, const QString &host);
// The extra CA file (PEM) from the environment variable MARKTVOLL_SQL_CA,
// empty when none is set.
QString MySqlExtraCaFile();
// Connect options for the client library ("SSL_CA=..." or "SSL_CAPATH=...").
QString MySqlTlsConnectOptions();
// Asks the server for TLS and checks its certificate without sending any
// access data. false with a German message that says what to change.
bool ProbeMySqlTls(const QString &host, int port, QString *error, int timeoutMs = 20000);
// After the connection is open: true when the session is encrypted.
bool CheckSessionCipher(QSqlDatabase &db, const QString &host, QString *error);

} // namespace mv
