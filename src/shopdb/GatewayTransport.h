#pragma once
// Carries one gateway request over HTTP, as the embedded browser did: the
// address, and for long SQL texts or "Globals Off" the gateway page's form
// "form1" filled in and submitted. The access data (host, database, user,
// password) and the SQL text travel in the POST body of every request,
// never in the address, so no access log or proxy sees them, and only to
// the configured scheme, host and port (a redirect or form elsewhere is
// refused). An answer has a size and a time limit. One keep-alive connection
// per server is reused between requests: plain http runs on the calling
// thread (a transfer sends tens of thousands of small requests, and the
// network thread's hand-offs cost more than the request on a near server);
// https, proxies and addresses with user data go through
// QNetworkAccessManager.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace mv {

// One HTML form as a browser sees it.
struct HtmlForm {
    struct Control {
        QString tag;    // input, textarea, select, button
        QString type;   // lower-case input type ("text" when missing)
        QString name, value;
        bool checked = false;
        bool disabled = false;
    };
    QString name, action, method, acceptCharset;
    QVector<Control> controls;
};
// Finds the form with the given name (attribute name or id) in a page.
bool FindHtmlForm(const QString &html, const QString &formName, HtmlForm &form);
// The form's data set as a browser submits it with the button `submitName`
// clicked (application/x-www-form-urlencoded in `charset`).
QByteArray EncodeFormData(const HtmlForm &form, const QString &submitName, const QByteArray &charset);
// Text to an address a server accepts: characters outside printable ASCII
// (and the few a request line must not carry raw) as %XX of the charset's bytes.
QByteArray WireUrl(const QString &url, const QByteArray &charset);
// Text to bytes and back in a named character set (Windows-1252 when the
// name is unknown); characters the set lacks become "?".
QByteArray EncodeText(const QString &text, const QByteArray &charset);
QString DecodeText(const QByteArray &bytes, const QByteArray &charset);
// Splits a page into lines (CR LF, LF or CR; no empty last line).
QStringList SplitPageLines(const QString &text);

class GatewayTransport : public QObject {
    Q_OBJECT
public:
    enum class Fetch { Ok, Failed, FormError };

    explicit GatewayTransport(QObject *parent = nullptr);
    ~GatewayTransport() override;

    // Fetches one raw request address (before GatewayUrl). Ok: lines hold
    // the page. Failed: no page or the wait was aborted (lines empty).
    // FormError: a form route found no form "form1" on the page.
    virtual Fetch FetchGatewayPage(const QString &address, QStringList &lines);

    // Posts the access data and `fields` (form-encoded "name=value" pairs)
    // to a raw address without SQL text (a batch of statements). Ok: lines
    // hold the page; Failed: no page or the wait was aborted.
    Fetch PostGatewayFields(const QString &address, const QByteArray &fields, QStringList &lines);

    // The same POST without waiting for it, so the caller builds the next
    // batch meanwhile (plain http without proxy only; nullptr otherwise:
    // then PostGatewayFields). One at a time keeps the statements' order.
    struct PendingPost;
    std::shared_ptr<PendingPost> StartGatewayPost(const QString &address, const QByteArray &fields);
    // Waits for a started POST (finishing also after STOP). `redirected`:
    // the server sent it elsewhere, nothing ran; send it the waiting way.
    Fetch FinishGatewayPost(PendingPost &post, QStringList &lines, bool &redirected);

    // Why the last request failed (German, for the user); empty after a
    // page came back.
    QString LastErrorText() const { return m_lastError; }
    // The POST body that carries the access data of the settings (and the
    // character set of every text of the request).
    QByteArray AccessBody() const;

    // Drops the kept-alive connections (a single-worker server serves no
    // one else while one of them stays open).
    void CloseConnections();

    // Debug mode (the main window's status memo is visible): requests carry
    // "debug=1" and each address is announced through debugAddress.
    bool DebugMode = false;
    // Character set of request texts and of pages that name none.
    QByteArray Charset = "windows-1252";
    // Seconds a request may take in all, however its answer trickles in,
    // before it counts as failed (0 = no limit).
    int TimeoutSeconds = 600;
    // Largest answer taken (bytes of the page, 0 = no limit). Far above any
    // real answer (a query answer of the whole article table, a batch of
    // many statements' results are a few MB): an answer that never ends
    // is stopped here before it fills the memory.
    qint64 MaxAnswerBytes = qint64(256) << 20;
    // Told every request before it goes out (address, POST body or nullptr
    // for a GET); for measuring tools that replay the same requests.
    std::function<void(const QUrl &, const QByteArray *)> RequestObserver;

signals:
    // The raw address, a line break and the encoded one.
    void debugAddress(const QString &text);

private:
    // GET or POST and wait; false when aborted or nothing came back.
    bool request(const QUrl &url, const QByteArray *postBody, QByteArray &body, QString &charset, QUrl &finalUrl);
    bool networkRequest(const QUrl &url, const QByteArray *postBody, QByteArray &body, QString &charset,
                        QUrl &finalUrl);
    bool submitForm(const QString &html, const QUrl &pageUrl, const QHash<QString, QString> &values,
                    QByteArray &body, QString &charset, QUrl &finalUrl, bool &formError);

    QString foreignOriginText(const QUrl &from, const QUrl &to) const;
    QString tooLargeText(const QString &server) const;
    QString timedOutText(const QString &server) const;

    QNetworkAccessManager *m_nam = nullptr;
    // Scheme, host and port of the configured shop address: the only place
    // the access data are sent to.
    QUrl m_origin;
    QNetworkAccessManager *m_postNam = nullptr;
    class PlainHttp;
    std::unique_ptr<PlainHttp> m_plain;
    QString m_lastError;
};

// While one lives, gateway requests finish also after STOP: their
// statements run on the server either way, and their answers count.
class FinishOnStopScope {
public:
    FinishOnStopScope();
    ~FinishOnStopScope();
    FinishOnStopScope(const FinishOnStopScope &) = delete;
    FinishOnStopScope &operator=(const FinishOnStopScope &) = delete;

private:
    bool m_was;
};

// The process-wide transport.
GatewayTransport &Transport();

} // namespace mv
