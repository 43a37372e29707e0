#include "shopdb/ShopConnection.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopErrorLog.h"

#include <QElapsedTimer>

#include <exception>

namespace mv {

namespace {

// The window stays alive between statements without an event round per
// statement (a transfer sends tens of thousands of them).
void KeepUiAlive()
{
    static QElapsedTimer last;
    if (last.isValid() && last.elapsed() < 20)
        return;
    Ui().ProcessEvents();
    last.start();
}

// A disconnect timer is pushed back by a new statement; restarting it on
// every statement would cost more than the statement's own work.
void PushBack(QTimer &timer, QElapsedTimer &started)
{
    if (timer.isActive() && started.isValid() && started.elapsed() < 100)
        return;
    timer.start();
    started.start();
}

} // namespace

ShopConnection::ShopConnection(QObject *parent)
    : QObject(parent), m_conn(new MySqlConnection(this)), m_log(new ShopErrorLog(this))
{
    m_connectOff.setSingleShot(true);
    m_connectOff.setInterval(2000);
    m_connect2Off.setSingleShot(true);
    m_connect2Off.setInterval(1000);
    connect(&m_connectOff, &QTimer::timeout, this, &ShopConnection::Ti_Connect_OffTimer);
    connect(&m_connect2Off, &QTimer::timeout, this, &ShopConnection::Ti_Connect2_OffTimer);
}

ShopConnection::~ShopConnection() = default;

bool ShopConnection::GatewayMode()
{
    return Settings().SQL_Server == QLatin1String("HTML-Verbindung");
}

void ShopConnection::Ti_Connect_OffTimer()
{
    m_connectOff.stop();
    m_conn->Disconnect();
}

void ShopConnection::Ti_Connect2_OffTimer()
{
    m_connect2Off.stop();
    if (m_connectionToClose)
        m_connectionToClose->Disconnect();
    m_connectionToClose = nullptr;
}

namespace {

QString unexpectedText(const char *what)
{
    const QString w = QString::fromLocal8Bit(what ? what : "").trimmed();
    return w.isEmpty() ? QStringLiteral("Unerwarteter Fehler beim Zugriff auf die Shop-Datenbank.")
                       : QStringLiteral("Unerwarteter Fehler beim Zugriff auf die Shop-Datenbank: ") + w;
}

} // namespace

int ShopConnection::ShopExecute(const QString &sql)
{
    m_lastErrorText.clear();
    if (sql.isEmpty())
        return ShopResult::Done;
    BusyScope busy;
    KeepUiAlive();
    int result = ShopResult::NoAnswer;
    if (GatewayMode()) {
        try {
            result = Gateway().GatewayExecute(sql);
            m_lastErrorText = Gateway().LastErrorText();
        } catch (const std::exception &e) {
            result = ShopResult::GatewayFailed;
            m_lastErrorText = unexpectedText(e.what());
        } catch (...) {
            result = ShopResult::GatewayFailed;
            m_lastErrorText = unexpectedText(nullptr);
        }
        if (result != ShopResult::Done)
            m_log->Append(QStringLiteral("Fehlernr:") + QString::number(result) + QLatin1Char(' ') + sql);
        return result;
    }
    QString text = sql;
    if (text.contains(QChar(0xB4)))
        text.replace(QChar(0xB4), QLatin1String("&acute;"));
    try {
        if (!m_conn->Connected() && !m_conn->Connect(MySqlParams::fromSettings())) {
            m_lastErrorText = m_conn->LastError();
            return ShopResult::NoAnswer;
        }
        if (m_conn->Execute(text))
            result = ShopResult::Done;
        else
            m_lastErrorText = m_conn->LastError();
    } catch (const std::exception &e) {
        m_lastErrorText = unexpectedText(e.what());
    } catch (...) {
        m_lastErrorText = unexpectedText(nullptr);
    }
    if (result != ShopResult::Done)
        m_log->Append(text);
    PushBack(m_connectOff, m_connectOffStarted);
    return result;
}

int ShopConnection::ShopOpen(const QString &sql, TShopQuery &query)
{
    BusyScope busy;
    KeepUiAlive();
    int result = ShopResult::NoAnswer;
    m_lastErrorText.clear();
    if (GatewayMode()) {
        try {
            if (query.ClientDataSet) {
                result = Gateway().GatewayOpen(sql, *query.ClientDataSet);
                m_lastErrorText = Gateway().LastErrorText();
            } else {
                m_lastErrorText = QStringLiteral("Keine Tabelle für das Ergebnis der Abfrage.");
            }
        } catch (const std::exception &e) {
            result = ShopResult::GatewayFailed;
            m_lastErrorText = unexpectedText(e.what());
        } catch (...) {
            result = ShopResult::GatewayFailed;
            m_lastErrorText = unexpectedText(nullptr);
        }
    } else {
        // A record without a connection of its own shares the default one.
        if (!m_queryConn)
            m_queryConn = new MySqlConnection(this);
        MySqlConnection *conn = query.Connection ? query.Connection : m_queryConn;
        if (!query.ClientDataSet) {
            m_lastErrorText = QStringLiteral("Keine Tabelle für das Ergebnis der Abfrage.");
        } else {
            try {
                query.ClientDataSet->Close();
            } catch (...) {
            }
            bool ok = conn->Connected();
            if (!ok) {
                ok = conn->Connect(MySqlParams::fromSettings());
                if (ok) {
                    m_lastQuery = query;
                    m_connectionToClose = conn;
                } else {
                    m_lastErrorText = conn->LastError();
                }
            }
            if (ok) {
                try {
                    if (conn->Query(sql, *query.ClientDataSet))
                        result = ShopResult::Done;
                    else
                        m_lastErrorText = conn->LastError();
                } catch (const std::exception &e) {
                    m_lastErrorText = unexpectedText(e.what());
                } catch (...) {
                    m_lastErrorText = unexpectedText(nullptr);
                }
                PushBack(m_connect2Off, m_connect2OffStarted);
            }
        }
    }
    if (result != ShopResult::Done)
        m_log->Append(QStringLiteral("Fehlernr:") + QString::number(result) + QLatin1Char(' ') + sql);
    return result;
}

ShopConnection &Shop()
{
    static ShopConnection *s = new ShopConnection();
    return *s;
}

} // namespace mv
