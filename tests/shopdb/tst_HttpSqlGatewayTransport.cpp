// The gateway transport against a small scripted HTTP server: address or
// form route, "Globals Off", the cache-buster, abort, debug display,
// keep-alive reuse, the ways a server frames, cuts or redirects an answer,
// and broken pages.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/ShopConnection.h"
#include "shopdb/ShopErrorLog.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

using namespace mv;

namespace {

struct Request {
    QByteArray method, target, body;
    int connection = 0;
};
struct Response {
    int status = 200;
    QByteArray contentType = "text/html; charset=windows-1252";
    QByteArray body;
    bool hang = false;  // never answer
    bool drop = false;  // close without an answer
    // Sent as they stand instead of a composed answer, 20 ms apart, then
    // the connection is closed when closeAfter says so.
    QList<QByteArray> raw;
    bool closeAfter = false;
    // A hostile answer: head, then piece after piece every interval ms
    // until streamBytes went out; the connection then stays open, silent.
    QByteArray streamHead, streamPiece;
    qint64 streamBytes = 0;
    int streamInterval = 1;
};

class FakeHttpServer : public QObject {
public:
    std::function<Response(const Request &)> handler;
    QList<Request> requests;
    int connections = 0;

    FakeHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                const int id = ++connections;
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, id, buffer] {
                    *buffer += s->readAll();
                    serve(s, id, *buffer);
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    void serve(QTcpSocket *s, int id, QByteArray &buf)
    {
        for (;;) {
            const qsizetype end = buf.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = buf.left(end);
            qsizetype length = 0;
            for (const QByteArray &line : head.split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            if (buf.size() < end + 4 + length)
                return;
            Request r;
            const QList<QByteArray> first = head.left(head.indexOf("\r\n")).split(' ');
            r.method = first.value(0);
            r.target = first.value(1);
            r.body = buf.mid(end + 4, length);
            r.connection = id;
            buf.remove(0, end + 4 + length);
            requests << r;
            const Response resp = handler ? handler(r) : Response{};
            if (resp.hang)
                return;
            if (resp.drop) {
                s->disconnectFromHost();
                return;
            }
            if (!resp.streamHead.isEmpty()) {
                s->write(resp.streamHead);
                auto *timer = new QTimer(s);
                auto sent = std::make_shared<qint64>(0);
                QObject::connect(timer, &QTimer::timeout, s, [s, timer, sent, resp] {
                    if (*sent >= resp.streamBytes || s->state() != QAbstractSocket::ConnectedState) {
                        timer->stop();
                        return;
                    }
                    if (s->bytesToWrite() > (1 << 20))
                        return;
                    s->write(resp.streamPiece);
                    *sent += resp.streamPiece.size();
                });
                timer->start(resp.streamInterval);
                return;
            }
            if (!resp.raw.isEmpty()) {
                QPointer<QTcpSocket> guard(s);
                for (qsizetype i = 0; i < resp.raw.size(); ++i) {
                    const bool last = i + 1 == resp.raw.size();
                    QTimer::singleShot(int(i) * 20, s, [guard, piece = resp.raw.at(i), close = last && resp.closeAfter] {
                        if (!guard)
                            return;
                        guard->write(piece);
                        if (close)
                            guard->disconnectFromHost();
                    });
                }
                continue;
            }
            QByteArray out = "HTTP/1.1 " + QByteArray::number(resp.status) + " X\r\nContent-Type: " + resp.contentType
                             + "\r\nContent-Length: " + QByteArray::number(resp.body.size())
                             + "\r\nConnection: keep-alive\r\n\r\n" + resp.body;
            s->write(out);
        }
    }
    QTcpServer m_server;
};

const QByteArray formPage =
    "<html><body><form name=\"form1\" id=\"form1\" method=\"post\" action=\"db_check.php\">\n"
    "dbhost: <input type=\"text\" name=\"dbhost\" value=\"\"><br>\n"
    "dbname: <input type=\"text\" name=\"dbname\" value=\"\"><br>\n"
    "dbuser: <input type=\"text\" name=\"dbuser\" value=\"\"><br>\n"
    "dbpass: <input type=\"password\" name=\"dbpass\" value=\"\"><br>\n"
    "debug: <input type=\"text\" name=\"debug\" value=\"\"><br>\n"
    "show: <input type=\"text\" name=\"show\" value=\"\"><br>\n"
    "insert: <input type=\"text\" name=\"insert\" value=\"1\"><br>\n"
    "<textarea name=\"sql_query\"></textarea>\n"
    "<input type=\"submit\" name=\"Submit\" value=\"Submit\">\n</form></body></html>\n";

// Form page for requests without SQL, an answer naming the route otherwise:
// 2 for a submitted form, 1 for SQL posted with the request itself.
Response gatewayLike(const Request &r)
{
    Response resp;
    if (r.body.contains("Submit="))
        resp.body = "###row_count:2#<br>\n";
    else if (r.body.contains("sql_query="))
        resp.body = "###row_count:1#<br>\n";
    else
        resp.body = formPage;
    return resp;
}

QByteArray formValue(const QByteArray &body, const QByteArray &name)
{
    for (const QByteArray &kv : body.split('&'))
        if (kv.startsWith(name + '='))
            return kv.mid(name.size() + 1);
    return "<missing>";
}

} // namespace

class tst_HttpSqlGatewayTransport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void addressOrForm_data();
    void addressOrForm();
    void globalsOffForEveryRequest();
    void sqlArrivesEncoded();
    void cacheBuster();
    void abortEndsWaitAtOnce();
    void debugModeShowsAddresses();
    void everyPageIsAnnounced();
    void keepAliveReuse();
    void answerFraming_data();
    void answerFraming();
    void idleConnectionClosedByServer();
    void cutAnswers_data();
    void cutAnswers();
    void redirects_data();
    void redirects();
    void redirectLoop();
    void slowServerTimesOut();
    void connectionsClosedWhileWaiting();
    void brokenPages_data();
    void brokenPages();
    void pageCharset();
    void hostileAnswers_data();
    void hostileAnswers();
    void answerTimeLimit_data();
    void answerTimeLimit();
    void foreignRedirects_data();
    void foreignRedirects();
    void hostileForms_data();
    void hostileForms();
    void cleanupTestCase();

private:
    std::unique_ptr<mv::test::TestEnv> m_env;
    std::unique_ptr<FakeHttpServer> m_http;
    std::unique_ptr<FakeHttpServer> m_other; // a server the access data must never reach
    RecordingUiHooks m_ui;
    // The shop address for each road: plain http on the calling thread, or
    // QNetworkAccessManager (taken for addresses with user data).
    QString shopAddress(const QString &road) const;
};

void tst_HttpSqlGatewayTransport::initTestCase()
{
    m_env = std::make_unique<mv::test::TestEnv>();
    SetUiHooks(&m_ui);
    m_http = std::make_unique<FakeHttpServer>();
    m_other = std::make_unique<FakeHttpServer>();
}

QString tst_HttpSqlGatewayTransport::shopAddress(const QString &road) const
{
    QString a = m_http->base();
    if (road == QLatin1String("network"))
        a.replace(QLatin1String("http://"), QLatin1String("http://web:x@"));
    return a;
}

void tst_HttpSqlGatewayTransport::cleanupTestCase() { SetUiHooks(nullptr); }

void tst_HttpSqlGatewayTransport::init()
{
    ShopSettings &s = Settings();
    s.SQL_Server = QStringLiteral("HTML-Verbindung");
    s.SQL_HTTP = m_http->base();
    s.SQL_Host = QStringLiteral("db.example:3306");
    s.SQL_Data = QStringLiteral("shop");
    s.SQL_User = QStringLiteral("user");
    s.SQL_Pass = QString::fromUtf8("pa&ss#wört+");
    s.SQL_Global.clear();
    s.AbortWait = false;
    Transport().DebugMode = false;
    m_http->requests.clear();
    m_http->handler = gatewayLike;
    m_other->requests.clear();
    m_other->handler = gatewayLike;
    Shop().ErrorLog().Clear();
}

void tst_HttpSqlGatewayTransport::addressOrForm_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("rowCount");
    QTest::newRow("1499: posted with the request") << 1499 << 1;
    QTest::newRow("1500: through the form") << 1500 << 2;
}

void tst_HttpSqlGatewayTransport::addressOrForm()
{
    QFETCH(int, length);
    QFETCH(int, rowCount);
    const QString head = QString::fromUtf8("UPDATE t SET a='ä´");
    const int fixed = int(GatewayAddress(GatewayRequest::Statement, head + QLatin1Char('\'')).size());
    const QString sql = head + QString(length - fixed, QLatin1Char(' ')) + QLatin1Char('\'');
    QCOMPARE(GatewayAddress(GatewayRequest::Statement, sql).size(), length);
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(sql, n), 0);
    QCOMPARE(n, rowCount);
    // Every request posts the access data; the address has none of them,
    // nor the SQL text (web servers log addresses).
    const QByteArray access = "dbhost=db.example%3A3306&dbname=shop&dbuser=user&dbpass=pa%26ss%23w%F6rt%2B"
                              "&charset=windows-1252";
    const Request &get = m_http->requests.at(0);
    QCOMPARE(get.method, QByteArray("POST"));
    QVERIFY(!get.target.contains("dbpass") && !get.target.contains("dbhost") && !get.target.contains("dbuser"));
    QVERIFY2(!get.target.contains("sql_query") && !get.target.contains("UPDATE"), get.target.constData());
    QString expected = sql;
    expected.replace(QChar(0xB4), QLatin1String("&acute;"));
    if (rowCount == 1) {
        QCOMPARE(m_http->requests.size(), 1);
        QVERIFY(get.target.startsWith("/module/db_check/db_check.php?insert=1&xxl="));
        QVERIFY(get.body.startsWith(access + "&sql_query="));
        QCOMPARE(QByteArray::fromPercentEncoding(formValue(get.body, "sql_query").replace('+', ' ')),
                 EncodeText(expected, "windows-1252"));
        return;
    }
    QCOMPARE(get.body, access);
    QCOMPARE(m_http->requests.size(), 2);
    QVERIFY(get.target.startsWith("/module/db_check/db_check.php?insert=1&xxl="));
    const Request &post = m_http->requests.at(1);
    QCOMPARE(post.method, QByteArray("POST"));
    QCOMPARE(post.target, QByteArray("/module/db_check/db_check.php"));
    // The raw text in the form (acute accent as "&acute;"), the other fields as the page had them.
    QCOMPARE(QString::fromLatin1(QByteArray::fromPercentEncoding(formValue(post.body, "sql_query").replace('+', ' '))),
             QString::fromLatin1(EncodeText(expected, "windows-1252")));
    QCOMPARE(formValue(post.body, "insert"), QByteArray("1"));
    QCOMPARE(formValue(post.body, "Submit"), QByteArray("Submit"));
    // The page does not carry the access data: the form gets them filled in.
    QCOMPARE(formValue(post.body, "dbhost"), QByteArray("db.example%3A3306"));
    QCOMPARE(formValue(post.body, "dbpass"), QByteArray("pa%26ss%23w%F6rt%2B"));
}

void tst_HttpSqlGatewayTransport::globalsOffForEveryRequest()
{
    Settings().SQL_Global = QStringLiteral("2");
    for (const QString &sql : {QStringLiteral("SELECT 1"), QStringLiteral("DELETE FROM x")}) {
        m_http->requests.clear();
        int n = 0;
        QCOMPARE(Gateway().GatewayExecute(sql, n), 0);
        QCOMPARE(n, 2);
        QCOMPARE(m_http->requests.size(), 2);
        const Request &get = m_http->requests.at(0);
        QVERIFY2(get.target.startsWith("/module/db_check/db_check2.php?insert=1&xxl="), get.target.constData());
        QVERIFY(!get.target.contains("dbpass"));
        QVERIFY(get.target.contains("&xxl="));
        QVERIFY(!get.target.contains("sql_query"));
        const QByteArray body = m_http->requests.at(1).body;
        QCOMPARE(formValue(body, "dbhost"), QByteArray("db.example%3A3306"));
        QCOMPARE(formValue(body, "dbname"), QByteArray("shop"));
        QCOMPARE(formValue(body, "dbuser"), QByteArray("user"));
        QCOMPARE(formValue(body, "dbpass"), QByteArray("pa%26ss%23w%F6rt%2B"));
        QCOMPARE(formValue(body, "debug"), QByteArray("1"));
        QCOMPARE(formValue(body, "show"), QByteArray("2"));
        QCOMPARE(formValue(body, "sql_query"), EncodeText(sql, "windows-1252").toPercentEncoding().replace("%20", "+"));
    }
}

void tst_HttpSqlGatewayTransport::sqlArrivesEncoded()
{
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QString::fromUtf8("a b%´`+ 'ä€'\r\n\"&#"), n), 0);
    const QByteArray target = m_http->requests.last().target;
    QVERIFY2(!target.contains("sql_query") && !target.contains("dbpass"), target.constData());
    const QByteArray body = m_http->requests.last().body;
    QVERIFY2(body.endsWith("&sql_query=a+b%25%26acute%3B%60%2B+%27%E4%80%27%0D%0A%22%26%23"), body.constData());
    QVERIFY(body.contains("&dbpass=pa%26ss%23w%F6rt%2B&"));
}

void tst_HttpSqlGatewayTransport::cacheBuster()
{
    const int c0 = UrlCounter;
    const qint64 s0 = GatewaySeconds();
    int n = 0;
    Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n);
    Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n);
    const qint64 s1 = GatewaySeconds();
    QCOMPARE(m_http->requests.size(), 2);
    const QRegularExpression re(QStringLiteral("&xxl=(\\d+)_(\\d+)$"));
    const auto a = re.match(QString::fromLatin1(m_http->requests.at(0).target));
    const auto b = re.match(QString::fromLatin1(m_http->requests.at(1).target));
    QVERIFY(a.hasMatch() && b.hasMatch());
    QCOMPARE(a.captured(1).toInt(), c0);
    QCOMPARE(b.captured(1).toInt(), c0 + 1);
    QVERIFY(a.captured(2).toLongLong() >= s0 && b.captured(2).toLongLong() <= s1);
    QVERIFY(m_http->requests.at(0).target != m_http->requests.at(1).target);
}

void tst_HttpSqlGatewayTransport::abortEndsWaitAtOnce()
{
    m_http->handler = [](const Request &) { Response r; r.hang = true; return r; };
    QTimer::singleShot(300, [] { Settings().AbortWait = true; });
    QElapsedTimer clock;
    clock.start();
    QStringList lines{"old"};
    QCOMPARE(Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, "SELECT 1"), lines),
             GatewayTransport::Fetch::Failed);
    QVERIFY(lines.isEmpty());
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    // Through the shop connection: -10 and a log line, at once.
    clock.restart();
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM x")), -10);
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(Shop().ErrorLog().Lines(), QStringList{"Fehlernr:-10 DELETE FROM x"});
    QCOMPARE(m_ui.busyDepth, 0);
}

void tst_HttpSqlGatewayTransport::debugModeShowsAddresses()
{
    Transport().DebugMode = true;
    QSignalSpy spy(&Transport(), &GatewayTransport::debugAddress);
    const int c0 = UrlCounter;
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n), 0);
    QCOMPARE(spy.count(), 1);
    const QStringList shown = spy.at(0).at(0).toString().split(QLatin1Char('\n'));
    QCOMPARE(shown.size(), 2);
    QVERIFY(shown.at(0).startsWith(m_http->base() + "/module/db_check/db_check.php?insert=1&debug=1&sql_query="));
    QVERIFY(!shown.join(QLatin1Char('\n')).contains(QLatin1String("dbpass")));
    QVERIFY(shown.at(0).endsWith("&sql_query=SELECT 1"));
    QVERIFY(shown.at(1).contains(QStringLiteral("&xxl=%1_").arg(c0)));
    QVERIFY(shown.at(1).endsWith("&sql_query=SELECT%201"));
    // The address navigated has the next counter value.
    QVERIFY(m_http->requests.last().target.contains(QStringLiteral("&xxl=%1_").arg(c0 + 1).toLatin1()));
    QVERIFY(m_http->requests.last().target.startsWith("/module/db_check/db_check.php?insert=1&debug=1&"));
    Transport().DebugMode = false;
}

void tst_HttpSqlGatewayTransport::everyPageIsAnnounced()
{
    // Two answers of the same size one after the other: each is announced
    // and is the last page when it is.
    int n = 0;
    m_http->handler = [&n](const Request &) {
        Response r;
        r.body = "###row_count:" + QByteArray::number(++n) + "#<br>\n";
        return r;
    };
    QStringList seen;
    const auto c = connect(&Gateway(), &HttpSqlGateway::pageReceived, this,
                           [&seen] { seen << Gateway().LastPage().join(QLatin1Char('\n')); });
    int rows = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), rows), 0);
    QCOMPARE(Gateway().GatewayQuery(QStringLiteral("SELECT 2"), rows), 0);
    disconnect(c);
    QCOMPARE(seen, (QStringList{QStringLiteral("###row_count:1#<br>"), QStringLiteral("###row_count:2#<br>")}));
}

void tst_HttpSqlGatewayTransport::keepAliveReuse()
{
    const int before = m_http->connections;
    for (int i = 0; i < 20; ++i)
        QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT %1").arg(i)), 0);
    QCOMPARE(m_http->requests.size(), 20);
    QVERIFY2(m_http->connections - before <= 1, qPrintable(QString::number(m_http->connections - before)));
}

namespace {
const QByteArray sevenRows = "###row_count:7#<br>\n";
}

void tst_HttpSqlGatewayTransport::answerFraming_data()
{
    QTest::addColumn<QList<QByteArray>>("raw");
    QTest::addColumn<bool>("closeAfter");
    const QByteArray len = QByteArray::number(sevenRows.size());
    QTest::newRow("length, in pieces")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: " + len + "\r\n\r\n###row_", "count:7#<br>\n"} << false;
    QTest::newRow("chunked, split inside a chunk, extension and trailer")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n5;x=1\r\n###ro\r\n",
                             "f\r\nw_count:7#<br>\n", "\r\n0\r\nX-Trailer: 1\r\n\r\n"}
        << false;
    QByteArray oneByteChunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const char c : sevenRows)
        oneByteChunks += "1\r\n" + QByteArray(1, c) + "\r\n";
    QTest::newRow("one chunk per byte") << QList<QByteArray>{oneByteChunks + "0\r\n\r\n"} << false;
    QTest::newRow("no length, ends with the connection")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n###row_count:", "7#<br>\n"} << true;
    // HTTP/1.0 without keep-alive: the server may leave the connection open,
    // the length ends the answer and the next request takes a new one.
    QTest::newRow("HTTP/1.0 with length, left open")
        << QList<QByteArray>{"HTTP/1.0 200 OK\r\nContent-Length: " + len + "\r\n\r\n" + sevenRows} << false;
    QTest::newRow("100 Continue first")
        << QList<QByteArray>{"HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: " + len + "\r\n\r\n" + sevenRows}
        << false;
    QTest::newRow("LF line ends") << QList<QByteArray>{"HTTP/1.1 200 OK\nContent-Length: " + len + "\n\n" + sevenRows} << false;
}

void tst_HttpSqlGatewayTransport::answerFraming()
{
    QFETCH(QList<QByteArray>, raw);
    QFETCH(bool, closeAfter);
    int served = 0;
    m_http->handler = [&](const Request &r) {
        if (served++ > 0)
            return gatewayLike(r);
        Response resp;
        resp.raw = raw;
        resp.closeAfter = closeAfter;
        return resp;
    };
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n), 0);
    QCOMPARE(n, 7);
    // Nothing of the answer is left over for the next one.
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 2"), n), 0);
    QCOMPARE(n, 1);
    QCOMPARE(m_http->requests.size(), 2);
}

void tst_HttpSqlGatewayTransport::idleConnectionClosedByServer()
{
    // The server drops the kept connection when the second request comes:
    // that request goes once more on a new connection and is answered.
    int served = 0;
    m_http->handler = [&](const Request &r) {
        Response resp = gatewayLike(r);
        resp.drop = ++served == 2;
        return resp;
    };
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n), 0);
    const int connections = m_http->connections;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 2"), n), 0);
    QCOMPARE(n, 1);
    QCOMPARE(m_http->requests.size(), 3);
    QCOMPARE(m_http->connections, connections + 1);
    QVERIFY(Shop().ErrorLog().Lines().isEmpty());
}

void tst_HttpSqlGatewayTransport::cutAnswers_data()
{
    QTest::addColumn<QList<QByteArray>>("raw");
    QTest::newRow("shorter than its length")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n###row_count:7#<br>\n"};
    QTest::newRow("chunked, last chunk missing")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n14\r\n###row_count:7#<br>\n\r\n"};
    QTest::newRow("head only") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 20\r\n"};
    QTest::newRow("not HTTP") << QList<QByteArray>{"###row_count:7#<br>\n\n"};
    QTest::newRow("bad length") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: -3\r\n\r\nabc"};
}

void tst_HttpSqlGatewayTransport::cutAnswers()
{
    // A cut page could read as fewer rows than the shop has: it is an error.
    QFETCH(QList<QByteArray>, raw);
    m_http->handler = [&](const Request &) {
        Response resp;
        resp.raw = raw;
        resp.closeAfter = true;
        return resp;
    };
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM x")), -10);
    QVERIFY(!Transport().LastErrorText().isEmpty());
    QVERIFY(Shop().ErrorLog().Lines().value(0).startsWith(QStringLiteral("Fehlernr:-10 DELETE")));
    m_http->handler = gatewayLike;
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n), 0);
    QCOMPARE(n, 1);
}

void tst_HttpSqlGatewayTransport::redirects_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<int>("result");
    QTest::newRow("301: posted again to the same server") << 301 << QByteArray("POST") << 0;
    QTest::newRow("302: posted again to the same server") << 302 << QByteArray("POST") << 0;
    // "See other" drops the request's data: the statement is not run.
    QTest::newRow("303") << 303 << QByteArray("GET") << -10;
    QTest::newRow("307 keeps the POST") << 307 << QByteArray("POST") << 0;
    QTest::newRow("308 keeps the POST") << 308 << QByteArray("POST") << 0;
}

void tst_HttpSqlGatewayTransport::redirects()
{
    QFETCH(int, status);
    QFETCH(QByteArray, method);
    QFETCH(int, result);
    m_http->handler = [&](const Request &r) {
        if (r.target.startsWith("/neu/"))
            return gatewayLike(r);
        Response resp;
        resp.raw = {"HTTP/1.1 " + QByteArray::number(status) + " Moved\r\nLocation: /neu" + r.target
                    + "\r\nContent-Length: 0\r\n\r\n"};
        return resp;
    };
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n), result);
    QCOMPARE(n, result == 0 ? 1 : 0);
    QCOMPARE(m_http->requests.size(), 2);
    const Request &moved = m_http->requests.at(1);
    QVERIFY(moved.target.startsWith("/neu/module/db_check/db_check.php?insert=1&xxl="));
    QCOMPARE(moved.method, method);
    QCOMPARE(moved.body.contains("dbpass="), method == "POST");
}

void tst_HttpSqlGatewayTransport::redirectLoop()
{
    m_http->handler = [](const Request &r) {
        Response resp;
        resp.raw = {"HTTP/1.1 302 Found\r\nLocation: " + r.target + "\r\nContent-Length: 0\r\n\r\n"};
        return resp;
    };
    QStringList lines;
    QCOMPARE(Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, "SELECT 1"), lines),
             GatewayTransport::Fetch::Failed);
    QVERIFY2(Transport().LastErrorText().contains(QStringLiteral("zu oft weiter")), qPrintable(Transport().LastErrorText()));
    QCOMPARE(m_http->requests.size(), 21);
}

void tst_HttpSqlGatewayTransport::slowServerTimesOut()
{
    m_http->handler = [](const Request &) { Response r; r.hang = true; return r; };
    const int saved = Transport().TimeoutSeconds;
    Transport().TimeoutSeconds = 1;
    QElapsedTimer clock;
    clock.start();
    QStringList lines;
    QCOMPARE(Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, "SELECT 1"), lines),
             GatewayTransport::Fetch::Failed);
    Transport().TimeoutSeconds = saved;
    QVERIFY(clock.elapsed() >= 1000 && clock.elapsed() < 3000);
    QVERIFY(Transport().LastErrorText().contains(QStringLiteral("nicht rechtzeitig")));
    // The late answer never reaches the next request.
    m_http->handler = gatewayLike;
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 2"), n), 0);
    QCOMPARE(n, 1);
}

void tst_HttpSqlGatewayTransport::connectionsClosedWhileWaiting()
{
    // A window event drops the connections while a request waits on one.
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 1"), n), 0);
    m_http->handler = [](const Request &) { Response r; r.hang = true; return r; };
    QTimer::singleShot(200, [] { Transport().CloseConnections(); });
    QElapsedTimer clock;
    clock.start();
    QStringList lines;
    QCOMPARE(Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, "SELECT 2"), lines),
             GatewayTransport::Fetch::Failed);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(Transport().LastErrorText().contains(QStringLiteral("geschlossen")));
    m_http->handler = gatewayLike;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 3"), n), 0);
    QCOMPARE(n, 1);
}

void tst_HttpSqlGatewayTransport::brokenPages_data()
{
    QTest::addColumn<QByteArray>("global");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<int>("result");
    QTest::newRow("server error page") << QByteArray() << 500 << QByteArray("<h1>Internal Server Error</h1>") << false << -10;
    QTest::newRow("not found") << QByteArray() << 404 << QByteArray("Not Found") << false << -10;
    QTest::newRow("connection dropped") << QByteArray() << 200 << QByteArray() << true << -10;
    QTest::newRow("empty page") << QByteArray() << 200 << QByteArray() << false << -10;
    QTest::newRow("Globals Off, no form1") << QByteArray("2") << 200 << QByteArray("<html>no form</html>") << false << -9;
    QByteArray noSubmit = formPage;
    noSubmit.replace("name=\"Submit\"", "name=\"Other\"");
    QTest::newRow("Globals Off, form without Submit") << QByteArray("2") << 200 << noSubmit << false << -10;
}

void tst_HttpSqlGatewayTransport::brokenPages()
{
    QFETCH(QByteArray, global);
    QFETCH(int, status);
    QFETCH(QByteArray, page);
    QFETCH(bool, drop);
    QFETCH(int, result);
    Settings().SQL_Global = QString::fromLatin1(global);
    m_http->handler = [&](const Request &) {
        Response r;
        r.status = status;
        r.body = page;
        r.drop = drop;
        return r;
    };
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM x")), result);
    MemTable t;
    TShopQuery q{nullptr, &t};
    QCOMPARE(Shop().ShopOpen(QStringLiteral("SELECT 1"), q), result);
    QCOMPARE(Shop().ErrorLog().Lines().size(), 2);
    QVERIFY(Shop().ErrorLog().Lines().at(0).startsWith(QStringLiteral("Fehlernr:%1 DELETE").arg(result)));
}

void tst_HttpSqlGatewayTransport::pageCharset()
{
    QByteArray type;
    QByteArray body;
    m_http->handler = [&](const Request &) {
        Response r;
        r.contentType = type;
        r.body = body;
        return r;
    };
    const QString expected = QString::fromUtf8("Grüße €");
    const QList<QPair<QByteArray, QByteArray>> cases = {
        {"text/html; charset=utf-8", expected.toUtf8()},
        {"text/html; charset=ISO-8859-1", EncodeText(expected, "windows-1252")},
        {"text/html", EncodeText(expected, "windows-1252")},
    };
    for (const auto &c : cases) {
        type = c.first;
        body = "+++newline+++<br>###t:" + c.second + "#<br>";
        int n = 0;
        QCOMPARE(Gateway().GatewayQuery(QStringLiteral("SELECT t"), n), 0);
        QCOMPARE(Gateway().GatewayCells().value(0).value(0), expected);
    }
}

void tst_HttpSqlGatewayTransport::hostileAnswers_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<QString>("message");
    const QByteArray piece(64 * 1024, '#');
    const QString large = QStringLiteral("ist größer als 2 MB");
    for (const char *road : {"plain", "network"}) {
        auto row = [&](const char *name) -> QTestData & { return QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(road), QLatin1String(name)))); };
        row("no length, never ends") << road << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n") << piece << large;
        row("chunked, never ends") << road << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
                                   << "10000\r\n" + piece + "\r\n" << large;
        row("huge length") << road << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10000000000\r\n\r\n") << piece << large;
    }
    QTest::newRow("plain, head never ends") << "plain" << QByteArray("HTTP/1.1 200 OK\r\nX-Pad: ")
                                            << piece << QStringLiteral("keine gültige HTTP-Antwort");
}

void tst_HttpSqlGatewayTransport::hostileAnswers()
{
    // A server that answers without end is stopped at the size limit, long
    // before the time limit, with a message naming the server; the next
    // request is served on a new connection.
    QFETCH(QString, road);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, piece);
    QFETCH(QString, message);
    Settings().SQL_HTTP = shopAddress(road);
    m_http->handler = [&](const Request &) {
        Response r;
        r.streamHead = head;
        r.streamPiece = piece;
        r.streamBytes = 16 << 20;
        return r;
    };
    const qint64 savedMax = Transport().MaxAnswerBytes;
    const int savedTime = Transport().TimeoutSeconds;
    Transport().MaxAnswerBytes = 2 << 20;
    Transport().TimeoutSeconds = 30;
    QElapsedTimer clock;
    clock.start();
    QStringList lines;
    const auto got = Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, "SELECT 1"), lines);
    Transport().MaxAnswerBytes = savedMax;
    Transport().TimeoutSeconds = savedTime;
    QCOMPARE(got, GatewayTransport::Fetch::Failed);
    QVERIFY(lines.isEmpty());
    const QString text = Transport().LastErrorText();
    QVERIFY2(text.contains(message) && text.contains(QLatin1String("127.0.0.1")), qPrintable(text));
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    m_http->handler = gatewayLike;
    int n = 0;
    QCOMPARE(Gateway().GatewayExecute(QStringLiteral("SELECT 2"), n), 0);
    QCOMPARE(n, 1);
}

void tst_HttpSqlGatewayTransport::answerTimeLimit_data()
{
    QTest::addColumn<QString>("road");
    QTest::newRow("plain") << "plain";
    QTest::newRow("network") << "network";
}

void tst_HttpSqlGatewayTransport::answerTimeLimit()
{
    // A few bytes every 20 ms keep the connection busy for ever: the time
    // limit counts the whole request, not the pauses between the bytes.
    QFETCH(QString, road);
    Settings().SQL_HTTP = shopAddress(road);
    m_http->handler = [](const Request &) {
        Response r;
        r.streamHead = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
        r.streamPiece = "<br>\n";
        r.streamBytes = 1 << 20;
        r.streamInterval = 20;
        return r;
    };
    const int saved = Transport().TimeoutSeconds;
    Transport().TimeoutSeconds = 1;
    QElapsedTimer clock;
    clock.start();
    QStringList lines;
    const auto got = Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, "SELECT 1"), lines);
    Transport().TimeoutSeconds = saved;
    QCOMPARE(got, GatewayTransport::Fetch::Failed);
    QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    const QString text = Transport().LastErrorText();
    QVERIFY2(text.contains(QLatin1String("nicht rechtzeitig")) && text.contains(QLatin1String("127.0.0.1")), qPrintable(text));
}

void tst_HttpSqlGatewayTransport::foreignRedirects_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("target"); // %O: the other server, %S: this one
    QTest::addColumn<bool>("form");      // the long route (form page first)
    for (const char *road : {"plain", "network"}) {
        auto row = [&](const char *name) -> QTestData & { return QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(road), QLatin1String(name)))); };
        row("307 to another port") << road << 307 << "%O" << false;
        row("308 to another port") << road << 308 << "%O" << false;
        row("302 to another port") << road << 302 << "%O" << false;
        row("303 to another port, long route") << road << 303 << "%O" << true;
        row("301 to https on the same host") << road << 301 << "https://%S" << false;
        row("307 to another host name") << road << 307 << "http://localhost:%P" << false;
    }
}

void tst_HttpSqlGatewayTransport::foreignRedirects()
{
    // The access data go to the configured scheme, host and port only: a
    // redirect elsewhere ends the request with a message saying so.
    QFETCH(QString, road);
    QFETCH(int, status);
    QFETCH(QString, target);
    QFETCH(bool, form);
    Settings().SQL_HTTP = shopAddress(road);
    const QUrl here(m_http->base());
    const QString location = QString(target)
                                 .replace(QLatin1String("%O"), m_other->base())
                                 .replace(QLatin1String("%S"), here.authority())
                                 .replace(QLatin1String("%P"), QString::number(here.port()));
    m_http->handler = [&](const Request &r) {
        Response resp;
        resp.raw = {"HTTP/1.1 " + QByteArray::number(status) + " Moved\r\nLocation: " + location.toLatin1() + r.target
                    + "\r\nContent-Length: 0\r\n\r\n"};
        return resp;
    };
    QStringList lines;
    const QString sql = form ? QStringLiteral("SELECT '%1'").arg(QString(1600, QLatin1Char('x'))) : QStringLiteral("SELECT 1");
    QCOMPARE(Transport().FetchGatewayPage(GatewayAddress(GatewayRequest::Query, sql), lines), GatewayTransport::Fetch::Failed);
    QVERIFY(m_other->requests.isEmpty());
    const QString text = Transport().LastErrorText();
    QVERIFY2(text.contains(QStringLiteral("nur an die eingetragene Shop-Adresse http://127.0.0.1:%1").arg(here.port())),
             qPrintable(text));
    QVERIFY(!text.contains(Settings().SQL_Pass));
}

void tst_HttpSqlGatewayTransport::hostileForms_data()
{
    QTest::addColumn<QByteArray>("formTag");
    QTest::addColumn<QString>("message");
    QTest::newRow("method get") << QByteArray("<form name=\"form1\" method=\"get\" action=\"db_check2.php\">")
                                << QStringLiteral("nie in einer Adresse");
    QTest::newRow("no method") << QByteArray("<form name=\"form1\" action=\"db_check2.php\">")
                               << QStringLiteral("nie in einer Adresse");
    QTest::newRow("action on another server") << QByteArray("<form name=\"form1\" method=\"post\" action=\"%O/x.php\">")
                                              << QStringLiteral("nur an die eingetragene Shop-Adresse");
}

void tst_HttpSqlGatewayTransport::hostileForms()
{
    // "Globals Off" fills in the page's form with the access data: a form
    // that would put them into an address or send them elsewhere is refused.
    QFETCH(QByteArray, formTag);
    QFETCH(QString, message);
    Settings().SQL_Global = QStringLiteral("2");
    QByteArray page = formPage;
    page.replace("<form name=\"form1\" id=\"form1\" method=\"post\" action=\"db_check.php\">",
                 formTag.replace("%O", m_other->base().toLatin1()));
    m_http->handler = [&](const Request &r) {
        Response resp = gatewayLike(r);
        if (!r.body.contains("Submit="))
            resp.body = page;
        return resp;
    };
    QCOMPARE(Shop().ShopExecute(QStringLiteral("DELETE FROM x")), -10);
    QVERIFY2(Gateway().LastErrorText().contains(message), qPrintable(Gateway().LastErrorText()));
    QVERIFY(m_other->requests.isEmpty());
    for (const Request &r : m_http->requests)
        QVERIFY2(!r.target.contains("dbpass") && !r.target.contains("DELETE"), r.target.constData());
}

QTEST_GUILESS_MAIN(tst_HttpSqlGatewayTransport)
#include "tst_HttpSqlGatewayTransport.moc"
