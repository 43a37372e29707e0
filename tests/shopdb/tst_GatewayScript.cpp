// The shop's gateway scripts db_check.php and db_check2.php, run by PHP's
// built-in server against a private MariaDB and called over HTTP as the
// program calls them.

#include "support/TestServers.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

using namespace mv::test;

namespace {

enum class Enc { Cp1252, Utf8 };

struct Page {
    int status = 0;
    QByteArray raw;
    QString charset;
    QString text;
};

// What the program sends: the SQL text after its URL encoding table,
// then bytes that cannot stand in an address percent-encoded.
QByteArray urlEncodeSql(const QString &sql, Enc enc)
{
    QString s = sql;
    s.replace(QStringLiteral("%"), QStringLiteral("%25"));
    s.replace(QStringLiteral(" "), QStringLiteral("%20"));
    s.replace(QChar(0xB4), QStringLiteral("&acute;"));
    s.replace(QStringLiteral("`"), QStringLiteral("%27"));
    s.replace(QStringLiteral("\""), QStringLiteral("%22"));
    s.replace(QStringLiteral("&"), QStringLiteral("%26"));
    s.replace(QStringLiteral("#"), QStringLiteral("%23"));
    s.replace(QStringLiteral("+"), QStringLiteral("%2B"));
    QByteArray bytes;
    if (enc == Enc::Utf8) {
        bytes = s.toUtf8();
    } else {
        QStringEncoder e("windows-1252");
        bytes = e.encode(s);
    }
    QByteArray out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || QByteArray("<>\\^{|}").contains(ch))
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        else
            out += ch;
    }
    return out;
}

QByteArray formEncode(const QString &value, Enc enc)
{
    QByteArray bytes;
    if (enc == Enc::Utf8) {
        bytes = value.toUtf8();
    } else {
        QStringEncoder e("windows-1252");
        bytes = e.encode(value);
    }
    return bytes.toPercentEncoding();
}

// Entries "###name:value#" of a text, in order; &#N; read back.
QString decodeRefs(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("&#(\\d+);"));
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        out += s.mid(last, m.capturedStart() - last);
        out += QChar(m.captured(1).toInt());
        last = m.capturedEnd();
    }
    out += s.mid(last);
    return out;
}

QList<QPair<QString, QString>> entries(const QString &text)
{
    static const QRegularExpression refAt(QStringLiteral("&#\\d+;"));
    QList<QPair<QString, QString>> list;
    qsizetype p = text.indexOf(QLatin1String("###"));
    while (p >= 0) {
        const qsizetype a = text.indexOf(QLatin1Char(':'), p);
        if (a < 0) break;
        // A "#" inside a reference "&#N;" does not end the value.
        qsizetype c = text.indexOf(QLatin1Char('#'), a);
        while (c > 0 && text[c - 1] == QLatin1Char('&') && refAt.match(text, c - 1, QRegularExpression::NormalMatch,
                                                                            QRegularExpression::AnchorAtOffsetMatchOption).hasMatch())
            c = text.indexOf(QLatin1Char('#'), c + 1);
        list.append({decodeRefs(text.mid(p + 3, a - p - 3).trimmed()),
                     decodeRefs(c < 0 ? QString() : text.mid(a + 1, c - a - 1))});
        if (c < 0) break;
        p = text.indexOf(QLatin1String("###"), c);
    }
    return list;
}

struct QueryAnswer {
    bool marked = false;
    int error = 0;
    QStringList names, types;
    QList<QMap<QString, QString>> rows;
    bool single = false;
    bool nullsUnnamed = false;
};

// The page read the way the program reads a query answer.
QueryAnswer parseQuery(const QString &page)
{
    QueryAnswer a;
    a.marked = page.contains(QLatin1String("###")) || page.contains(QLatin1String("+++"));
    a.nullsUnnamed = page.contains(QLatin1String("<meta name=\"db_check\" content=\"nulls-unnamed\">"));
    QString text = page;
    text.replace(QLatin1String("<br>"), QLatin1String("\n"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto isMarker = [](const QString &l) {
        return l.contains(QLatin1String("+++newline+++")) || l.contains(QLatin1String("+++datatype+++"));
    };
    auto take = [&](const QString &record, bool isType) {
        QMap<QString, QString> row;
        for (const auto &[name, value] : entries(record)) {
            if (name == QLatin1String("error")) a.error = value.toInt();
            if (!a.names.contains(name)) {
                a.names << name;
                a.types << QString();
            }
            if (isType) a.types[a.names.indexOf(name)] = value;
            else row[name] = value;
        }
        if (!isType && !record.isEmpty()) a.rows << row;
    };
    if (text.contains(QLatin1String("###")) && !text.contains(QLatin1String("+++newline+++"))
        && !text.contains(QLatin1String("+++datatype+++"))) {
        a.single = true;
        take(text, false);
        return a;
    }
    int i = 0;
    while (i < lines.size()) {
        while (i < lines.size() && !isMarker(lines[i])) ++i;
        if (i >= lines.size()) break;
        const bool isType = lines[i].contains(QLatin1String("+++datatype+++"));
        ++i;
        QString record;
        while (i < lines.size() && !isMarker(lines[i])) record += lines[i++] + QLatin1Char('\n');
        take(record, isType);
    }
    return a;
}

struct StatementAnswer {
    bool marked = false;
    int error = 0;
    int rowCount = 0;
};

StatementAnswer parseStatement(const QString &page)
{
    StatementAnswer a;
    a.marked = page.contains(QLatin1String("###"));
    for (const auto &[name, value] : entries(page)) {
        if (name.toLower() == QLatin1String("row_count")) a.rowCount = value.toInt();
        if (name.toLower() == QLatin1String("error")) a.error = value.toInt();
    }
    return a;
}

bool hasPhpMessage(const QString &page)
{
    static const QRegularExpression re(QStringLiteral("(Warning|Notice|Deprecated|Fatal error|Parse error)\\s*:"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(page).hasMatch();
}

} // namespace

class GatewayScript : public QObject {
    Q_OBJECT
private:
    MariaDbServer m_db;
    PhpServer m_php;
    QNetworkAccessManager m_nam;

    QByteArray params(const QString &pass = QString()) const;
    Page fetch(QNetworkReply *reply);
    Page get(const QString &kind, const QString &sql, Enc enc = Enc::Cp1252, const QString &pass = QString());
    Page post(const QString &script, const QList<QPair<QByteArray, QString>> &fields, Enc enc = Enc::Cp1252,
              const QByteArray &query = QByteArray());
    QueryAnswer query(const QString &sql, Enc enc = Enc::Cp1252);
    StatementAnswer statement(const QString &sql, Enc enc = Enc::Cp1252);

private slots:
    void initTestCase();
    void typeTexts_data();
    void typeTexts();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void nullsAndEmptyValues();
    void columnNamesWithMarks();
    void dataIsNeverMarkup_data();
    void dataIsNeverMarkup();
    void longTextOver64k();
    void manyRowsInOrder();
    void errors_data();
    void errors();
    void rowCount_data();
    void rowCount();
    void backslashIsLiteral();
    void noDatabaseStillListsDatabases();
    void hostAndPort_data();
    void hostAndPort();
    void configuredCharset();
    void onlyTheConfiguredHost_data();
    void onlyTheConfiguredHost();
    void formPage_data();
    void formPage();
    void longRequestFormRoute();
    void globalsOffTakesEverythingFromForm();
    void batchRequests_data();
    void batchRequests();
    void cleanupTestCase();
};

QByteArray GatewayScript::params(const QString &pass) const
{
    return "&dbhost=" + QUrl::toPercentEncoding(m_db.hostPort()) + "&dbname=" + QUrl::toPercentEncoding(m_db.database())
        + "&dbuser=" + QUrl::toPercentEncoding(m_db.user())
        + "&dbpass=" + QUrl::toPercentEncoding(pass.isNull() ? m_db.password() : pass);
}

Page GatewayScript::fetch(QNetworkReply *reply)
{
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    Page p;
    p.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    p.raw = reply->readAll();
    const QString ct = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    static const QRegularExpression re(QStringLiteral("charset=([\\w-]+)"));
    p.charset = re.match(ct).captured(1).toLower();
    QStringDecoder d(p.charset.isEmpty() ? "windows-1252" : p.charset.toLatin1().constData());
    p.text = d.decode(p.raw);
    reply->deleteLater();
    return p;
}

Page GatewayScript::get(const QString &kind, const QString &sql, Enc enc, const QString &pass)
{
    static int counter = 0;
    QByteArray url = m_php.baseUrl().toLatin1() + "/module/db_check/db_check.php?" + kind.toLatin1() + params(pass)
        + "&xxl=" + QByteArray::number(counter++) + "_46000";
    if (!sql.isNull()) url += "&sql_query=" + urlEncodeSql(sql, enc);
    QNetworkRequest req(QUrl::fromEncoded(url, QUrl::StrictMode));
    return fetch(m_nam.get(req));
}

Page GatewayScript::post(const QString &script, const QList<QPair<QByteArray, QString>> &fields, Enc enc,
                         const QByteArray &query)
{
    QByteArray body;
    for (const auto &[name, value] : fields) {
        if (!body.isEmpty()) body += '&';
        body += name + '=' + formEncode(value, enc);
    }
    QByteArray url = m_php.baseUrl().toLatin1() + "/module/db_check/" + script.toLatin1();
    if (!query.isEmpty()) url += '?' + query;
    QNetworkRequest req(QUrl::fromEncoded(url, QUrl::StrictMode));
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    return fetch(m_nam.post(req, body));
}

QueryAnswer GatewayScript::query(const QString &sql, Enc enc)
{
    const Page p = get(QStringLiteral("show=2"), sql, enc);
    [&] {
        QCOMPARE(p.status, 200);
        QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text.left(2000)));
    }();
    return parseQuery(p.text);
}

StatementAnswer GatewayScript::statement(const QString &sql, Enc enc)
{
    const Page p = get(QStringLiteral("insert=1"), sql, enc);
    [&] {
        QCOMPARE(p.status, 200);
        QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text.left(2000)));
    }();
    return parseStatement(p.text);
}

void GatewayScript::initTestCase()
{
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    QVERIFY2(m_db.exec(QStringLiteral(
                           "CREATE TABLE texte (z INT NOT NULL AUTO_INCREMENT PRIMARY KEY, name VARCHAR(60), "
                           "lang MEDIUMTEXT, preis DOUBLE, datum DATE) CHARACTER SET latin1"),
                       &err),
             qPrintable(err));
}

void GatewayScript::cleanupTestCase()
{
    const QString log = m_php.log();
    QVERIFY2(!hasPhpMessage(log), qPrintable(log.right(3000)));
}

void GatewayScript::typeTexts_data()
{
    QTest::addColumn<QString>("definition");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<QString>("cell");
    QTest::newRow("int") << "INT(11)" << "-42" << "int+11" << "-42";
    QTest::newRow("tinyint") << "TINYINT(1)" << "1" << "int+1" << "1";
    QTest::newRow("smallint") << "SMALLINT" << "7" << "int+6" << "7";
    QTest::newRow("bigint") << "BIGINT" << "5000000000" << "int+20" << "5000000000";
    QTest::newRow("double") << "DOUBLE" << "12.5" << "real+22" << "12.5";
    QTest::newRow("float") << "FLOAT" << "0.25" << "real+12" << "0.25";
    QTest::newRow("decimal") << "DECIMAL(10,2)" << "3.50" << "real+12" << "3.50";
    QTest::newRow("date") << "DATE" << "'2024-02-29'" << "date+10" << "2024-02-29";
    QTest::newRow("zero date") << "DATE" << "'0000-00-00'" << "date+10" << "";
    QTest::newRow("datetime") << "DATETIME" << "'2024-02-29 13:14:15'" << "datetime+19" << "2024-02-29 13:14:15";
    QTest::newRow("timestamp") << "TIMESTAMP NULL" << "'2024-02-29 13:14:15'" << "timestamp+19"
                               << "2024-02-29 13:14:15";
    QTest::newRow("time") << "TIME" << "'13:14:15'" << "time+10" << "13:14:15";
    QTest::newRow("varchar") << "VARCHAR(30)" << "'abc'" << "string+30" << "abc";
    QTest::newRow("char") << "CHAR(5)" << "'ab'" << "string+5" << "ab";
    QTest::newRow("enum") << "ENUM('ja','nein')" << "'nein'" << "string+4" << "nein";
    QTest::newRow("text") << "TEXT" << "'lang'" << "blob+65535" << "lang";
    QTest::newRow("mediumtext") << "MEDIUMTEXT" << "'lang'" << "blob+16777215" << "lang";
    QTest::newRow("longtext") << "LONGTEXT" << "'lang'" << "blob+4294967295" << "lang";
}

void GatewayScript::typeTexts()
{
    QFETCH(QString, definition);
    QFETCH(QString, value);
    QFETCH(QString, typeText);
    QFETCH(QString, cell);
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DROP TABLE IF EXISTS typen; CREATE TABLE typen (c %1) CHARACTER SET latin1; "
                                      "INSERT INTO typen VALUES (%2)").arg(definition, value),
                       &err),
             qPrintable(err));
    const QueryAnswer a = query(QStringLiteral("SELECT c FROM typen"));
    QVERIFY(a.marked);
    QCOMPARE(a.error, 0);
    QCOMPARE(a.names, QStringList{QStringLiteral("c")});
    QCOMPARE(a.types, QStringList{typeText});
    QCOMPARE(a.rows.size(), 1);
    QCOMPARE(a.rows[0].value(QStringLiteral("c")), cell);
}

void GatewayScript::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("enc");
    const QList<QPair<const char *, QString>> values{
        {"umlauts", QStringLiteral("Größe Übermaß äöüÄÖÜß")},
        {"euro and cp1252 extras", QStringLiteral("5 € „Zitat“ – Straße … ™ Š")},
        {"hash", QStringLiteral("Nr. #12 ### x#")},
        {"entity-like text", QStringLiteral("&#35; &#38; &amp; &acute; &#12 &#")},
        {"trailing ampersand", QStringLiteral("A & B &")},
        {"url characters", QStringLiteral("a&b=c?d/e+f%g 100% 1+1")},
        {"quotes", QStringLiteral("O''Brien \"Zoll\"")},
        {"backslash", QStringLiteral("C:\\Pfad\\n\\")},
        {"marks in text", QStringLiteral("+++newline+++ +++datatype+++ <br> <BR> ###a:b#")},
        {"line breaks", QStringLiteral("Zeile 1\r\nZeile 2\nZeile 3\r")},
        {"html", QStringLiteral("<b>fett</b> <p class=\"x\">Absatz</p>")},
        {"semicolon and colon", QStringLiteral("a;b: c;")},
        {"tab", QStringLiteral("a\tb")},
    };
    for (const auto &[name, value] : values) {
        QTest::newRow(qPrintable(QStringLiteral("%1 cp1252").arg(QLatin1String(name)))) << value << int(Enc::Cp1252);
        QTest::newRow(qPrintable(QStringLiteral("%1 utf8").arg(QLatin1String(name)))) << value << int(Enc::Utf8);
    }
}

void GatewayScript::valuesRoundTrip()
{
    QFETCH(QString, value);
    QFETCH(int, enc);
    const Enc e = Enc(enc);
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte"), &err), qPrintable(err));

    // Written through the gateway as the record writer writes it: quotes doubled.
    QString literal = value;
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    const StatementAnswer s =
        statement(QStringLiteral("insert into texte (name,lang) values ('x','%1')").arg(literal), e);
    QVERIFY(s.marked);
    QCOMPARE(s.error, 0);
    QCOMPARE(s.rowCount, 1);

    // Stored as the text itself (checked beside the gateway) ...
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT HEX(lang) FROM texte")),
             QString::fromLatin1(QByteArray(QStringEncoder("windows-1252").encode(value)).toHex().toUpper()));
    // ... and read back unchanged.
    const QueryAnswer a = query(QStringLiteral("SELECT name, lang FROM texte WHERE lang = '%1'").arg(literal), e);
    QCOMPARE(a.error, 0);
    QCOMPARE(a.types, (QStringList{QStringLiteral("string+60"), QStringLiteral("blob+16777215")}));
    QCOMPARE(a.rows.size(), 1);
    QCOMPARE(a.rows[0].value(QStringLiteral("lang")), value);
}

void GatewayScript::nullsAndEmptyValues()
{
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte; INSERT INTO texte (name, lang, preis) VALUES "
                                      "(NULL, NULL, NULL), ('', 'x', 0), ('a', NULL, 1.5)"),
                       &err),
             qPrintable(err));
    const QueryAnswer a = query(QStringLiteral("SELECT name, lang, preis, datum FROM texte ORDER BY z"));
    QCOMPARE(a.error, 0);
    QCOMPARE(a.names, (QStringList{QStringLiteral("name"), QStringLiteral("lang"), QStringLiteral("preis"),
                                   QStringLiteral("datum")}));
    // A row of NULLs is still a row; a NULL cell is not named, an empty
    // text is named with an empty value, and the page head says so.
    QVERIFY(a.nullsUnnamed);
    QCOMPARE(a.rows.size(), 3);
    QCOMPARE(a.rows[0].size(), 0);
    QCOMPARE(a.rows[1].keys(), (QStringList{QStringLiteral("lang"), QStringLiteral("name"), QStringLiteral("preis")}));
    QCOMPARE(a.rows[1].value(QStringLiteral("name")), QString());
    QCOMPARE(a.rows[2].keys(), (QStringList{QStringLiteral("name"), QStringLiteral("preis")}));
    QCOMPARE(a.rows[1].value(QStringLiteral("preis")), QStringLiteral("0"));
    QCOMPARE(a.rows[2].value(QStringLiteral("preis")), QStringLiteral("1.5"));

    // An empty result still names its columns and types.
    const QueryAnswer empty = query(QStringLiteral("SELECT name, preis FROM texte WHERE 1=0"));
    QCOMPARE(empty.error, 0);
    QCOMPARE(empty.names, (QStringList{QStringLiteral("name"), QStringLiteral("preis")}));
    QCOMPARE(empty.types, (QStringList{QStringLiteral("string+60"), QStringLiteral("real+22")}));
    QCOMPARE(empty.rows.size(), 0);
}

void GatewayScript::columnNamesWithMarks()
{
    const QueryAnswer a = query(QStringLiteral("SELECT 1 AS `a:b`, 2 AS `c#d`, 'x' AS `Straße`"));
    QCOMPARE(a.error, 0);
    QCOMPARE(a.names, (QStringList{QStringLiteral("a:b"), QStringLiteral("c#d"), QStringLiteral("Straße")}));
    QCOMPARE(a.rows.size(), 1);
    QCOMPARE(a.rows[0].value(QStringLiteral("c#d")), QStringLiteral("2"));
}

void GatewayScript::dataIsNeverMarkup_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("db_check.php") << "db_check.php";
    QTest::newRow("db_check2.php") << "db_check2.php";
}

void GatewayScript::dataIsNeverMarkup()
{
    // The answer is a text/html page (the debug panel shows it): a stored
    // script or tag, in a value or a column name, must not become markup.
    QFETCH(QString, script);
    const QString value = QStringLiteral("<script>alert('x')</script><br><b onclick=\"y()\">a > b</b><");
    const QString column = QStringLiteral("<img src=x onerror=alert(1)>");
    QString err;
    QString literal = value;
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte; INSERT INTO texte (name, lang) VALUES ('m', '%1')").arg(literal), &err),
             qPrintable(err));
    const QString sql = QStringLiteral("SELECT lang AS `%1` FROM texte").arg(column);
    const Page p = script == QLatin1String("db_check.php")
                       ? get(QStringLiteral("show=2"), sql)
                       : post(script, {{"dbhost", m_db.hostPort()}, {"dbname", m_db.database()}, {"dbuser", m_db.user()},
                                       {"dbpass", m_db.password()}, {"show", QStringLiteral("2")}, {"sql_query", sql},
                                       {"Submit", QStringLiteral("Submit")}});
    QCOMPARE(p.status, 200);
    for (const char *tag : {"<script", "</script", "<img", "<b ", "</b>", "a > b"})
        QVERIFY2(!p.text.contains(QLatin1String(tag), Qt::CaseInsensitive), tag);
    // Read back exactly, the format otherwise unchanged.
    const QueryAnswer a = parseQuery(p.text);
    QCOMPARE(a.error, 0);
    QCOMPARE(a.names, QStringList{column});
    QCOMPARE(a.types, QStringList{QStringLiteral("blob+16777215")});
    QCOMPARE(a.rows.size(), 1);
    QCOMPARE(a.rows[0].value(column), value);
}

void GatewayScript::longTextOver64k()
{
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte"), &err), qPrintable(err));
    QString big;
    for (int i = 0; big.size() < 200000; ++i)
        big += QStringLiteral("Zeile %1: Größe € #%1 & 'x' + 100%\r\n").arg(i);
    QString literal = big;
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    const QString sql = QStringLiteral("insert into texte (name,lang) values ('gross','%1')").arg(literal);

    // Long statements travel in the posted form, the rest of the request in the address.
    const Page p = post(QStringLiteral("db_check.php"), {{"sql_query", sql}, {"Submit", QStringLiteral("Submit")}},
                        Enc::Cp1252, "insert=1" + params());
    QCOMPARE(p.status, 200);
    const StatementAnswer s = parseStatement(p.text);
    QCOMPARE(s.error, 0);
    QCOMPARE(s.rowCount, 1);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT LENGTH(lang) FROM texte")), QString::number(big.size()));

    const QueryAnswer a = query(QStringLiteral("SELECT lang FROM texte WHERE name = 'gross'"));
    QCOMPARE(a.rows.size(), 1);
    QCOMPARE(a.rows[0].value(QStringLiteral("lang")).size(), big.size());
    QVERIFY(a.rows[0].value(QStringLiteral("lang")) == big);
}

void GatewayScript::manyRowsInOrder()
{
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte; INSERT INTO texte (name, preis) "
                                      "SELECT CONCAT('n', seq), seq / 4 FROM seq_1_to_3000"),
                       &err),
             qPrintable(err));
    const QueryAnswer a = query(QStringLiteral("SELECT name, preis FROM texte ORDER BY z"));
    QCOMPARE(a.error, 0);
    QCOMPARE(a.rows.size(), 3000);
    QCOMPARE(a.rows.first().value(QStringLiteral("name")), QStringLiteral("n1"));
    QCOMPARE(a.rows.last().value(QStringLiteral("name")), QStringLiteral("n3000"));
    QCOMPARE(a.rows[1].value(QStringLiteral("preis")), QStringLiteral("0.5"));
}

void GatewayScript::errors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<int>("error");
    const QString ok; // null: the right password
    for (const QString kind : {QStringLiteral("insert=1"), QStringLiteral("show=2")}) {
        const QByteArray k = kind.left(4).toLatin1();
        QTest::newRow(k + " missing table") << kind << "SELECT * FROM gibtsnicht" << ok << 1146;
        QTest::newRow(k + " syntax") << kind << "SELEKT 1" << ok << 1064;
        QTest::newRow(k + " two statements") << kind << "SELECT 1; SELECT 2" << ok << 1064;
        QTest::newRow(k + " unknown column") << kind << "UPDATE texte SET gibtsnicht = 1" << ok << 1054;
        QTest::newRow(k + " duplicate key") << kind << "INSERT INTO texte (z) VALUES (1),(1)" << ok << 1062;
        QTest::newRow(k + " wrong password") << kind << "SELECT 1" << "falsch" << 1045;
    }
}

void GatewayScript::errors()
{
    QFETCH(QString, kind);
    QFETCH(QString, sql);
    QFETCH(QString, pass);
    QFETCH(int, error);
    const Page p = get(kind, sql, Enc::Cp1252, pass);
    QCOMPARE(p.status, 200);
    QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text));
    if (kind.startsWith(QLatin1String("show"))) {
        const QueryAnswer a = parseQuery(p.text);
        QVERIFY(a.marked);
        QCOMPARE(a.error, error);
    } else {
        const StatementAnswer a = parseStatement(p.text);
        QVERIFY(a.marked);
        QCOMPARE(a.error, error);
    }
}

void GatewayScript::rowCount_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("rowCount");
    QTest::newRow("insert three") << "INSERT INTO texte (name) VALUES ('a'),('b'),('c')" << 3;
    QTest::newRow("update two") << "UPDATE texte SET preis = 2 WHERE name IN ('a','b')" << 2;
    QTest::newRow("update none") << "UPDATE texte SET preis = 2 WHERE name = 'nix'" << 0;
    QTest::newRow("select reads rows") << "SELECT * FROM texte" << 3;
    QTest::newRow("delete all") << "DELETE FROM texte" << 3;
    QTest::newRow("create table") << "CREATE TABLE IF NOT EXISTS leer (a INT)" << 0;
}

void GatewayScript::rowCount()
{
    QFETCH(QString, sql);
    QFETCH(int, rowCount);
    if (QTest::currentDataTag() == QLatin1String("insert three")) {
        QString err;
        QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte"), &err), qPrintable(err));
    }
    const StatementAnswer a = statement(sql);
    QVERIFY(a.marked);
    QCOMPARE(a.error, 0);
    QCOMPARE(a.rowCount, rowCount);
}

void GatewayScript::backslashIsLiteral()
{
    const QueryAnswer a = query(QStringLiteral("SELECT 'C:\\neu\\' AS t, @@SESSION.sql_mode AS m"));
    QCOMPARE(a.error, 0);
    QCOMPARE(a.rows.size(), 1);
    QCOMPARE(a.rows[0].value(QStringLiteral("t")), QStringLiteral("C:\\neu\\"));
    QVERIFY(a.rows[0].value(QStringLiteral("m")).contains(QLatin1String("NO_BACKSLASH_ESCAPES")));
}

void GatewayScript::noDatabaseStillListsDatabases()
{
    // A database that does not exist yet: listing and creating still work,
    // a statement that needs it reports the unknown database.
    const QByteArray base = m_php.baseUrl().toLatin1() + "/module/db_check/db_check.php?show=2&dbhost="
        + m_db.hostPort().toLatin1() + "&dbname=neu_db&dbuser=" + m_db.user().toLatin1()
        + "&dbpass=" + m_db.password().toLatin1() + "&xxl=9_9&sql_query=";
    Page p = fetch(m_nam.get(QNetworkRequest(QUrl::fromEncoded(base + "Show%20Databases"))));
    QueryAnswer a = parseQuery(p.text);
    QCOMPARE(a.error, 0);
    QStringList dbs;
    for (const auto &row : a.rows) dbs << row.value(a.names.value(0));
    QVERIFY2(dbs.contains(m_db.database()), qPrintable(dbs.join(u',')));

    p = fetch(m_nam.get(QNetworkRequest(QUrl::fromEncoded(base + "SELECT%20*%20FROM%20artikel"))));
    QCOMPARE(parseQuery(p.text).error, 1049);

    p = fetch(m_nam.get(QNetworkRequest(QUrl::fromEncoded(base + "CREATE%20DATABASE%20neu_db"))));
    QCOMPARE(parseQuery(p.text).error, 0);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='neu_db'")),
             QStringLiteral("1"));
}

void GatewayScript::hostAndPort_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("error");
    const QString port = QString::number(m_db.port());
    QTest::newRow("ip:port") << QStringLiteral("127.0.0.1:") + port << 0;
    // "localhost" alone would mean the local socket; with a port it is TCP.
    QTest::newRow("localhost:port") << QStringLiteral("localhost:") + port << 0;
    QTest::newRow("blanks around") << QStringLiteral(" 127.0.0.1:") + port + QStringLiteral(" ") << 0;
    QTest::newRow("closed port") << QStringLiteral("127.0.0.1:1") << 2002;
}

void GatewayScript::hostAndPort()
{
    QFETCH(QString, host);
    QFETCH(int, error);
    const QByteArray url = m_php.baseUrl().toLatin1() + "/module/db_check/db_check.php?show=2&dbhost="
        + QUrl::toPercentEncoding(host) + "&dbname=" + m_db.database().toLatin1() + "&dbuser=" + m_db.user().toLatin1()
        + "&dbpass=" + QUrl::toPercentEncoding(m_db.password()) + "&xxl=1_1&sql_query=SELECT%2042%20AS%20x";
    const Page p = fetch(m_nam.get(QNetworkRequest(QUrl::fromEncoded(url))));
    QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text));
    const QueryAnswer a = parseQuery(p.text);
    QVERIFY(a.marked);
    QCOMPARE(a.error, error);
    if (!error) QCOMPARE(a.rows.value(0).value(QStringLiteral("x")), QStringLiteral("42"));
}

void GatewayScript::configuredCharset()
{
    // A shop configured for utf8mb4 answers in UTF-8 and says so.
    PhpServer php;
    QString err;
    MV_REQUIRE_SERVER(php.startShop(&err), err);
    QFile cfg(php.docroot() + QStringLiteral("/config/config.php"));
    QVERIFY(cfg.open(QIODevice::WriteOnly));
    cfg.write("<?php\r\n$dbhost = \"" + m_db.hostPort().toLatin1()
              + "\"; //Server\r\n$dbcharset = \"utf8mb4\"; //Zeichensatz\r\n?>\r\n");
    cfg.close();
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte"), &err), qPrintable(err));
    const QString value = QStringLiteral("Grüße € „x“ #1");
    const QByteArray base = php.baseUrl().toLatin1() + "/module/db_check/db_check.php?" ;
    Page p = fetch(m_nam.get(QNetworkRequest(QUrl::fromEncoded(
        base + "insert=1" + params() + "&sql_query="
        + urlEncodeSql(QStringLiteral("insert into texte (name) values ('%1')").arg(value), Enc::Utf8)))));
    QCOMPARE(p.charset, QStringLiteral("utf-8"));
    QCOMPARE(parseStatement(p.text).rowCount, 1);
    p = fetch(m_nam.get(QNetworkRequest(QUrl::fromEncoded(
        base + "show=2" + params() + "&sql_query=" + urlEncodeSql(QStringLiteral("SELECT name FROM texte"), Enc::Utf8)))));
    QCOMPARE(p.charset, QStringLiteral("utf-8"));
    const QueryAnswer a = parseQuery(p.text);
    QCOMPARE(a.types, QStringList{QStringLiteral("string+60")});
    QCOMPARE(a.rows.value(0).value(QStringLiteral("name")), value);
    // Stored in the latin1 column as Windows-1252.
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT HEX(name) FROM texte")),
             QString::fromLatin1(QByteArray(QStringEncoder("windows-1252").encode(value)).toHex().toUpper()));
}

void GatewayScript::onlyTheConfiguredHost_data()
{
    // config.php (null: none; %HOST% = the test server), requested dbhost,
    // error (1130: refused without connecting).
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("error");
    const QString port = QString::number(m_db.port());
    const QString none;
    const QString configured = QStringLiteral("<?php\r\n$dbhost = \"%HOST%\"; //Datenbankserver\r\n?>\r\n");
    QTest::newRow("none configured, local") << none << "127.0.0.1:" + port << 0;
    QTest::newRow("none configured, localhost") << none << "localhost:" + port << 0;
    QTest::newRow("none configured, other host") << none << QStringLiteral("192.0.2.1:3306") << 1130;
    QTest::newRow("none configured, name") << none << QStringLiteral("db.example.de") << 1130;
    QTest::newRow("empty host configured, other host")
        << QStringLiteral("<?php\r\n$dbhost = \"\";\r\n?>") << QStringLiteral("10.0.0.5") << 1130;
    QTest::newRow("configured, same") << configured << "127.0.0.1:" + port << 0;
    QTest::newRow("configured, local alias") << configured << "localhost:" + port << 0;
    QTest::newRow("configured, none requested") << configured << QString() << 0;
    QTest::newRow("configured, other port") << configured << QStringLiteral("127.0.0.1:1") << 1130;
    QTest::newRow("configured, other host") << configured << "192.0.2.1:" + port << 1130;
    QTest::newRow("configured, host with socket") << configured << QStringLiteral("localhost:/tmp/x.sock") << 1130;
    QTest::newRow("single quotes, commented line ignored")
        << QStringLiteral("<?php\n//$dbhost = \"192.0.2.1\";\n$dbhost = '%HOST%'; //x\n?>") << "127.0.0.1:" + port << 0;
    QTest::newRow("other server configured, local refused")
        << QStringLiteral("<?php\n$dbhost = \"192.0.2.1\";\n?>") << "127.0.0.1:" + port << 1130;
    QTest::newRow("last assignment counts")
        << QStringLiteral("<?php\n$dbhost = \"%HOST%\";\n$dbhost = \"192.0.2.1\";\n?>") << "127.0.0.1:" + port << 1130;
}

void GatewayScript::onlyTheConfiguredHost()
{
    QFETCH(QString, config);
    QFETCH(QString, host);
    QFETCH(int, error);
    PhpServer php;
    QString err;
    MV_REQUIRE_SERVER(php.startShop(&err), err);
    if (!config.isNull()) {
        QFile cfg(php.docroot() + QStringLiteral("/config/config.php"));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(QString(config).replace(QLatin1String("%HOST%"), m_db.hostPort()).toLatin1());
    }
    // As the program sends it: the access data in the POST body.
    for (const char *script : {"db_check.php", "db_check2.php"}) {
        QByteArray body = "dbhost=" + QUrl::toPercentEncoding(host) + "&dbname=" + m_db.database().toLatin1()
                          + "&dbuser=" + m_db.user().toLatin1() + "&dbpass=" + QUrl::toPercentEncoding(m_db.password())
                          + "&show=2&charset=windows-1252&sql_query=SELECT%2042%20AS%20x";
        QNetworkRequest req(QUrl(php.baseUrl() + QStringLiteral("/module/db_check/") + QLatin1String(script)
                                 + QStringLiteral("?show=2&xxl=1")));
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
        const Page p = fetch(m_nam.post(req, body));
        QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text));
        const QueryAnswer a = parseQuery(p.text);
        QVERIFY(a.marked);
        QCOMPARE(a.error, error);
        if (error)
            QVERIFY2(p.text.contains(QLatin1String("config/config.php")), qPrintable(p.text));
        else
            QCOMPARE(a.rows.value(0).value(QStringLiteral("x")), QStringLiteral("42"));
    }
}

void GatewayScript::formPage_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<bool>("prefilled");
    QTest::newRow("db_check without sql") << "db_check.php" << QByteArray("show=2&debug=1") + params() << true;
    QTest::newRow("db_check empty sql") << "db_check.php" << QByteArray("insert=1") + params() + "&sql_query=" << true;
    QTest::newRow("db_check2 ignores address") << "db_check2.php"
                                               << QByteArray("show=2") + params() + "&sql_query=SELECT%201" << false;
}

void GatewayScript::formPage()
{
    QFETCH(QString, script);
    QFETCH(QByteArray, query);
    QFETCH(bool, prefilled);
    const Page p = fetch(m_nam.get(QNetworkRequest(
        QUrl::fromEncoded(m_php.baseUrl().toLatin1() + "/module/db_check/" + script.toLatin1() + '?' + query))));
    QCOMPARE(p.status, 200);
    QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text));
    // A form page is no answer: it must not carry a result mark.
    QVERIFY(!p.text.contains(QLatin1String("###")));
    QVERIFY(!p.text.contains(QLatin1String("+++")));
    QVERIFY(p.text.contains(QLatin1String("<form name=\"form1\"")));
    QVERIFY(p.text.contains(QLatin1String("method=\"post\"")));
    QVERIFY(p.text.contains(QStringLiteral("action=\"%1\"").arg(script)));
    for (const char *field : {"dbhost", "dbname", "dbuser", "dbpass", "debug", "show"})
        QVERIFY2(p.text.contains(QStringLiteral("name=\"%1\"").arg(QLatin1String(field))), field);
    QVERIFY(p.text.contains(QLatin1String("<textarea name=\"sql_query\"")));
    QVERIFY(p.text.contains(QLatin1String("name=\"Submit\"")));
    QCOMPARE(p.text.contains(QStringLiteral("value=\"%1\"").arg(m_db.hostPort())), prefilled);
    QVERIFY(!p.text.contains(m_db.password()));
}

void GatewayScript::longRequestFormRoute()
{
    // The address without the SQL text brings the form; posting it with
    // only sql_query filled runs the statement with the address's values.
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte"), &err), qPrintable(err));
    const Page form = get(QStringLiteral("insert=1"), QString());
    static const QRegularExpression input(QStringLiteral("<input type=\"\\w+\" name=\"(\\w+)\" value=\"([^\"]*)\""));
    QList<QPair<QByteArray, QString>> fields;
    auto it = input.globalMatch(form.text);
    while (it.hasNext()) {
        const auto m = it.next();
        fields.append({m.captured(1).toLatin1(), decodeRefs(m.captured(2).replace(QLatin1String("&amp;"), QLatin1String("&")))});
    }
    QVERIFY(fields.size() >= 8);
    // The page never carries the password back.
    for (auto &[name, value] : fields)
        if (name == "dbpass") {
            QCOMPARE(value, QString());
            value = m_db.password();
        }
    fields.append({"sql_query", QStringLiteral("insert into texte (name) values ('Formular # ü')")});
    fields.append({"Submit", QStringLiteral("Submit")});
    const Page p = post(QStringLiteral("db_check.php"), fields);
    const StatementAnswer s = parseStatement(p.text);
    QVERIFY(s.marked);
    QCOMPARE(s.error, 0);
    QCOMPARE(s.rowCount, 1);
    QCOMPARE(m_db.scalar(QStringLiteral("SELECT name FROM texte")), QStringLiteral("Formular # ü"));
}

void GatewayScript::batchRequests_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QByteArray>("rawBatch"); // empty: the statements below, well formed
    QTest::addColumn<QString>("wanted");      // per statement "row_count" or "error:N", then "end:N"; or "error:N"
    QTest::addColumn<QString>("rows");
    QTest::newRow("db_check.php") << QStringLiteral("db_check.php") << false << QByteArray()
                                  << QStringLiteral("1 error:1062 1 0 end:4") << QStringLiteral("1:eins|2:Grüße #&");
    QTest::newRow("db_check2.php") << QStringLiteral("db_check2.php") << false << QByteArray()
                                   << QStringLiteral("1 error:1062 1 0 end:4") << QStringLiteral("1:eins|2:Grüße #&");
    QTest::newRow("compressed") << QStringLiteral("db_check.php") << true << QByteArray()
                                << QStringLiteral("1 error:1062 1 0 end:4") << QStringLiteral("1:eins|2:Grüße #&");
    QTest::newRow("length beyond the value") << QStringLiteral("db_check.php") << false
                                             << QByteArray("99:INSERT INTO stapel VALUES (7, 'x'),")
                                             << QStringLiteral("error:1064") << QString();
    QTest::newRow("no separator after the text") << QStringLiteral("db_check2.php") << false
                                                 << QByteArray("34:INSERT INTO stapel VALUES (7, 'x');")
                                                 << QStringLiteral("error:1064") << QString();
    QTest::newRow("not a length") << QStringLiteral("db_check.php") << false << QByteArray("x:DELETE FROM stapel,")
                                  << QStringLiteral("error:1064") << QString();
}

// Many statements in one request: each runs, also after a refused one,
// and is answered with its own marks; a damaged batch runs nothing.
void GatewayScript::batchRequests()
{
    QFETCH(QString, script);
    QFETCH(bool, compressed);
    QFETCH(QByteArray, rawBatch);
    QFETCH(QString, wanted);
    QFETCH(QString, rows);
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DROP TABLE IF EXISTS stapel; "
                                      "CREATE TABLE stapel (id INT PRIMARY KEY, name VARCHAR(20)) CHARACTER SET latin1"),
                       &err),
             qPrintable(err));
    QByteArray batch = rawBatch;
    if (batch.isEmpty()) {
        QStringEncoder e("windows-1252");
        for (const QString &sql : {QStringLiteral("INSERT INTO stapel VALUES (1, 'eins')"),
                                   QStringLiteral("INSERT INTO stapel VALUES (1, 'doppelt')"),
                                   QString::fromUtf8("INSERT INTO stapel VALUES (2, 'Grüße #&')"),
                                   QStringLiteral("DELETE FROM stapel WHERE id = 99")}) {
            const QByteArray bytes = e.encode(sql);
            batch += QByteArray::number(bytes.size()) + ':' + bytes + ',';
        }
    }
    QByteArray body = "dbhost=" + QUrl::toPercentEncoding(m_db.hostPort()) + "&dbname="
                      + QUrl::toPercentEncoding(m_db.database()) + "&dbuser=" + QUrl::toPercentEncoding(m_db.user())
                      + "&dbpass=" + QUrl::toPercentEncoding(m_db.password()) + "&charset=windows-1252&";
    if (compressed)
        body += "batchz=" + qCompress(batch).mid(4).toBase64(QByteArray::Base64UrlEncoding);
    else
        body += "batch=" + batch.toPercentEncoding();
    QNetworkRequest req(QUrl(m_php.baseUrl() + QStringLiteral("/module/db_check/") + script + QStringLiteral("?batch=1")));
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    const Page p = fetch(m_nam.post(req, body));
    QCOMPARE(p.status, 200);
    QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text));
    // The page head says what the script can do.
    QVERIFY2(p.text.contains(QLatin1String("<meta name=\"db_check_batch\" content=\"statements; gzip; post_max_size=")),
             qPrintable(p.text.left(400)));
    QStringList got;
    if (!p.text.contains(QLatin1String("+++batch+++"))) {
        got << QStringLiteral("error:%1").arg(parseStatement(p.text).error);
    } else {
        const QString answers = p.text.mid(p.text.indexOf(QLatin1String("+++batch+++")));
        static const QRegularExpression part(QStringLiteral("\\+\\+\\+statement:(\\d+)\\+\\+\\+<br>\\n([^+]*)"));
        auto it = part.globalMatch(answers);
        int expectIndex = 0;
        while (it.hasNext()) {
            const auto m = it.next();
            QCOMPARE(m.captured(1).toInt(), expectIndex++);
            const StatementAnswer a = parseStatement(m.captured(2));
            got << (a.error ? QStringLiteral("error:%1").arg(a.error) : QString::number(a.rowCount));
        }
        static const QRegularExpression end(QStringLiteral("\\+\\+\\+batchend:(\\d+)\\+\\+\\+"));
        got << QStringLiteral("end:") + end.match(answers).captured(1);
    }
    QCOMPARE(got.join(QLatin1Char(' ')), wanted);
    QList<QStringList> stored;
    QVERIFY(m_db.exec(QStringLiteral("SELECT id, name FROM stapel ORDER BY id"), &err, &stored));
    QStringList flat;
    for (const QStringList &r : stored)
        flat << r.join(QLatin1Char(':'));
    QCOMPARE(flat.join(QLatin1Char('|')), rows);
}

void GatewayScript::globalsOffTakesEverythingFromForm()
{
    QString err;
    QVERIFY2(m_db.exec(QStringLiteral("DELETE FROM texte"), &err), qPrintable(err));
    auto fields = [&](const QString &sql, const QString &pass) {
        return QList<QPair<QByteArray, QString>>{
            {"dbhost", m_db.hostPort()}, {"dbname", m_db.database()}, {"dbuser", m_db.user()},
            {"dbpass", pass},            {"debug", QStringLiteral("1")}, {"show", QStringLiteral("2")},
            {"sql_query", sql},          {"Submit", QStringLiteral("Submit")}};
    };
    // Statements are posted as show=2 too: the answer still gives the row count.
    Page p = post(QStringLiteral("db_check2.php"),
                  fields(QStringLiteral("insert into texte (name, lang) values ('a#1', 'Grüße € + 50%'), ('b', NULL)"),
                         m_db.password()),
                  Enc::Cp1252, "insert=1&xxl=3_4");
    QVERIFY2(!hasPhpMessage(p.text), qPrintable(p.text));
    const StatementAnswer s = parseStatement(p.text);
    QCOMPARE(s.error, 0);
    QCOMPARE(s.rowCount, 2);
    const QueryAnswer none = parseQuery(p.text);
    QVERIFY(none.marked);
    QCOMPARE(none.names, QStringList());

    p = post(QStringLiteral("db_check2.php"), fields(QStringLiteral("SELECT name, lang FROM texte ORDER BY z"),
                                                     m_db.password()));
    QueryAnswer a = parseQuery(p.text);
    QCOMPARE(a.error, 0);
    QCOMPARE(a.rows.size(), 2);
    QCOMPARE(a.rows[0].value(QStringLiteral("name")), QStringLiteral("a#1"));
    QCOMPARE(a.rows[0].value(QStringLiteral("lang")), QStringLiteral("Grüße € + 50%"));
    QCOMPARE(a.rows[1].value(QStringLiteral("lang")), QString());

    // Values in the address do not count: credentials only from the form.
    p = post(QStringLiteral("db_check2.php"), fields(QStringLiteral("SELECT 1"), QString()), Enc::Cp1252,
             "show=2" + params());
    QCOMPARE(parseQuery(p.text).error, 1045);

    p = post(QStringLiteral("db_check2.php"), fields(QStringLiteral("SELECT * FROM gibtsnicht"), m_db.password()));
    QCOMPARE(parseQuery(p.text).error, 1146);
}

QTEST_GUILESS_MAIN(GatewayScript)
#include "tst_GatewayScript.moc"
