#pragma once
// The one way every window reaches the shop database: ShopExecute and
// ShopOpen, in the mode the settings choose on every call (exactly
// "HTML-Verbindung" = the HTTP gateway, anything else = direct MySQL).
// Result 0 is success; -10 no usable answer or direct failure; -11 gateway
// answer not convertible; -9 gateway call failed; any other value is the
// gateway script's error number. Nothing is ever thrown.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "shopdb/ShopErrorLog.h"

namespace mv {

class MemTable;
class MySqlConnection;

// Result codes of ShopExecute/ShopOpen (and of the gateway operations).
// Callers test against Done; any value not listed is the error number the
// gateway script reported.
namespace ShopResult {
inline constexpr int Done = 0;            // the statement or query ran
inline constexpr int NoAnswer = -10;      // no usable answer, or the direct connection/statement failed
inline constexpr int GatewayFailed = -9;  // the gateway call itself failed (no form "form1", unexpected error)
inline constexpr int NotConvertible = -11; // a gateway answer that would not become a table
} // namespace ShopResult


// What a calling window passes to ShopOpen: its direct connection (several
// records may share one) and the table that receives the rows.
struct TShopQuery {
    MySqlConnection *Connection = nullptr;
    MemTable *ClientDataSet = nullptr;
};

class ShopConnection : public QObject {
    Q_OBJECT
public:
    explicit ShopConnection(QObject *parent = nullptr);
    ~ShopConnection() override;

    static bool GatewayMode();

    int ShopExecute(const QString &sql);
    int ShopOpen(const QString &sql, TShopQuery &query);

    ShopErrorLog &ErrorLog() { return *m_log; }
    // What went wrong in the last call, in words: the server's or the
    // gateway script's message, the transport's (German) message or the
    // text of an unexpected error. Always that call's own; empty after a
    // success. The log keeps the shop's line form.
    QString LastErrorText() const { return m_lastErrorText; }

    // Closes the connection of the last opening query (the 1 s timer's
    // work; the SQL viewer runs it when it closes).
    void Ti_Connect2_OffTimer();
    // Closes the statement connection (the 2 s timer's work).
    void Ti_Connect_OffTimer();

    MySqlConnection &SQLConnection1() { return *m_conn; }
    QTimer &Ti_Connect_Off() { return m_connectOff; }
    QTimer &Ti_Connect2_Off() { return m_connect2Off; }

private:
    MySqlConnection *m_conn;
    MySqlConnection *m_queryConn = nullptr;
    ShopErrorLog *m_log;
    QTimer m_connectOff, m_connect2Off;
    QElapsedTimer m_connectOffStarted, m_connect2OffStarted;
    QPointer<MySqlConnection> m_connectionToClose;
    TShopQuery m_lastQuery;
    QString m_lastErrorText;
};

// The process-wide shop connection (owned by nobody; lives for the run).
ShopConnection &Shop();

// Short forms used by the windows and the transfer.
inline int ShopExecute(const QString &sql) { return Shop().ShopExecute(sql); }
inline int ShopOpen(const QString &sql, TShopQuery &query) { return Shop().ShopOpen(sql, query); }

} // namespace mv
