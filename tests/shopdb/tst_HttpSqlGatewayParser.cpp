// The gateway's answer grammar, addresses and encodings, offline on byte
// fixtures (no server).
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/MemTable.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"

#include <QtTest>

using namespace mv;

namespace {
// A page as the transport delivers it: bytes in the ANSI code page, lines.
QString page(const QByteArray &bytes) { return JoinAnswerLines(SplitPageLines(FromAnsi(bytes))); }

QString columnDump(const GatewayTables &t)
{
    QStringList parts;
    for (qsizetype c = 0; c < t.names.size(); ++c)
        parts << t.names.at(c) + QLatin1Char('(') + t.types.at(c) + QLatin1String(")=") + t.cells.at(c).join(QLatin1Char('|'));
    return parts.join(QLatin1Char(' '));
}
}

class tst_HttpSqlGatewayParser : public QObject {
    Q_OBJECT
private slots:
    void queryAnswer_data();
    void queryAnswer();
    void statementAnswer_data();
    void statementAnswer();
    void fieldTypes_data();
    void fieldTypes();
    void openReversesRows();
    void openCellConversion();
    void cellValues_data();
    void cellValues();
    void urlEncodeSql_data();
    void urlEncodeSql();
    void gatewayUrlCounterAndSeconds();
    void requestAddress();
    void badAnswersDoNotCrash();
    void htmlForm();
    void wireUrl();
    void batchAnswer_data();
    void batchAnswer();
    void batchCaps_data();
    void batchCaps();
    void batchEncoding();
    void joinableStatements_data();
    void joinableStatements();
};

void tst_HttpSqlGatewayParser::queryAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QString>("dump");

    const QByteArray eight = "+++datatype+++\r\n###id:int+#\r\n###name:string+30#\r\n+++newline+++\r\n"
                             "###id:1#\r\n###name:abc#\r\n+++newline+++\r\n###id:2#\r\n";
    QTest::newRow("eight lines") << eight << 0 << 2 << "id(int+)=1|2 name(string+30)=abc|";
    QByteArray br = eight;
    br.replace("\r\n", "<br>");
    QTest::newRow("<br> as line break") << br << 0 << 2 << "id(int+)=1|2 name(string+30)=abc|";
    QTest::newRow("only row_count") << QByteArray("###row_count:7#") << 0 << 1 << "row_count()=7";
    QTest::newRow("column unknown to the type record")
        << QByteArray("+++datatype+++\n###a:int+#\n+++newline+++\n###a:1#\n+++newline+++\n###a:2#\n###b:x#\n")
        << 0 << 2 << "a(int+)=1|2 b()=|x";
    QTest::newRow("ERROR upper-case is a column")
        << QByteArray("+++newline+++\n###ERROR:5#\n") << 0 << 1 << "ERROR()=5";
    QTest::newRow("error entry with rows")
        << QByteArray("+++newline+++\n###a:1#\n###error:1146#\n") << 1146 << 1 << "a()=1 error()=1146";
    QTest::newRow("names trimmed, case kept")
        << QByteArray("+++newline+++\n###  Name :x#\n") << 0 << 1 << "Name()=x";
    QTest::newRow("value over lines")
        << QByteArray("+++newline+++\n###t:line1\nline2#\n") << 0 << 1 << "t()=line1\r\nline2";
    QTest::newRow("escaped hash read back")
        << QByteArray("+++newline+++\n###t:a&#35;b&#35;#\n") << 0 << 1 << "t()=a#b#";
    QTest::newRow("references in names and values")
        << QByteArray("+++newline+++\n###a&#58;b:x&#13;&#10;&#60;br>&&#35;35;&#43;++newline+++&#99999999;&#x;#\n")
        << 0 << 1 << "a:b()=x\r\n<br>&#35;+++newline+++&#99999999;&"; // "&#x;" is no reference: its "#" ends the value
    QTest::newRow("markup written as references")
        << QByteArray("+++newline+++\n###&#60;img src=x&#62;:&#60;script&#62;a&#62;b&#60;/script&#62;&#60;br&#62;#\n")
        << 0 << 1 << "<img src=x>()=<script>a>b</script><br>";
    QTest::newRow("ANSI bytes") << QByteArray("+++newline+++\n###t:\xc4\xd6\xdc\xdf \x80#\n") << 0 << 1
                                << QString::fromUtf8("t()=ÄÖÜß €");
    QTest::newRow("error page without mark")
        << QByteArray("<html><body><h1>500 Internal Server Error</h1></body></html>") << -10 << 0 << "";
    QTest::newRow("plus marks only") << QByteArray("+++\n") << 0 << 0 << "";
    QTest::newRow("text before the first marker ignored")
        << QByteArray("<html>###x:1#\n+++newline+++\n###a:1#\n") << 0 << 1 << "a()=1";
    QTest::newRow("trailing empty record counts, no cells")
        << QByteArray("+++newline+++\n###a:1#\n+++newline+++\n</body>\n") << 0 << 2 << "a()=1";
    QTest::newRow("entry without colon ends the record")
        << QByteArray("+++newline+++\n###a:1#\n###broken\n+++newline+++\n###a:2#\n") << 0 << 2 << "a()=1|2";
    QTest::newRow("no closing hash: empty value")
        << QByteArray("+++newline+++\n###a:1") << 0 << 1 << "a()=";
    QTest::newRow("closing hash followed by ###")
        << QByteArray("+++newline+++\n###a:1####b:2#\n") << 0 << 1 << "a()=1 #b()=2";
}

void tst_HttpSqlGatewayParser::queryAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(int, rowCount);
    QFETCH(QString, dump);
    GatewayTables t;
    int n = -1;
    QCOMPARE(ParseQueryAnswer(page(answer), t, n), result);
    QCOMPARE(n, rowCount);
    QCOMPARE(columnDump(t), dump);
    for (const QStringList &c : t.cells)
        QCOMPARE(c.size(), t.cells.first().size());
}

void tst_HttpSqlGatewayParser::statementAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("rowCount");
    QTest::newRow("row_count") << QByteArray("###row_count:7#") << 0 << 7;
    QTest::newRow("ERROR lower-cased") << QByteArray("###ERROR:5#") << 5 << 0;
    QTest::newRow("error and count") << QByteArray("x ###row_count:0# ###error:1064#") << 1064 << 0;
    QTest::newRow("no mark") << QByteArray("Not Found") << -10 << 0;
    QTest::newRow("plus is no mark for statements") << QByteArray("+++newline+++") << -10 << 0;
    QTest::newRow("name not trimmed") << QByteArray("### error:5#") << 0 << 0;
    QTest::newRow("name runs to the next colon") << QByteArray("###oops ###error:5#") << 0 << 0;
    QTest::newRow("colon missing altogether") << QByteArray("###oops") << 0 << 0;
}

void tst_HttpSqlGatewayParser::statementAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(int, rowCount);
    int n = -1;
    QCOMPARE(ParseStatementAnswer(page(answer), n), result);
    QCOMPARE(n, rowCount);
}

void tst_HttpSqlGatewayParser::fieldTypes_data()
{
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::newRow("none") << "" << int(FieldType::String) << 255;
    QTest::newRow("unknown") << "geometry+4" << int(FieldType::String) << 255;
    QTest::newRow("int") << "int+11" << int(FieldType::Integer) << 0;
    QTest::newRow("bigint keeps 64 bits") << "int+20" << int(FieldType::LargeInt) << 0;
    QTest::newRow("real") << "REAL+12" << int(FieldType::Float) << 0;
    QTest::newRow("date") << "date+10" << int(FieldType::Date) << 0;
    QTest::newRow("datetime is no date+") << "datetime+19" << int(FieldType::String) << 255;
    QTest::newRow("timestamp") << "timestamp+19" << int(FieldType::String) << 19;
    QTest::newRow("blob") << "blob+65535" << int(FieldType::Memo) << 0;
    QTest::newRow("string") << "string+30" << int(FieldType::String) << 30;
}

void tst_HttpSqlGatewayParser::fieldTypes()
{
    QFETCH(QString, typeText);
    QFETCH(int, type);
    QFETCH(int, size);
    const GatewayFieldType t = GatewayTypeOf(typeText);
    QCOMPARE(t.type, type);
    QCOMPARE(t.size, size);
}

void tst_HttpSqlGatewayParser::openReversesRows()
{
    GatewayTables t;
    int n = 0;
    ParseQueryAnswer(page("+++datatype+++\n###v:int+11#\n+++newline+++\n###v:1#\n+++newline+++\n###v:2#\n"
                          "+++newline+++\n###v:3#\n"), t, n);
    MemTable table;
    QVERIFY(BuildGatewayTable(t, table));
    QVERIFY(table.Active());
    QCOMPARE(table.FieldByName("v")->DataType(), FieldType::Integer);
    QStringList seen;
    for (table.First(); !table.Eof(); table.Next())
        seen << table.FieldByName("v")->AsString();
    QCOMPARE(seen, QStringList({"3", "2", "1"}));
    table.First();
    QCOMPARE(table.RecNo(), 1);
}

void tst_HttpSqlGatewayParser::openCellConversion()
{
    GatewayTables t;
    int n = 0;
    ParseQueryAnswer(page("+++datatype+++\n###i:int+11#\n###f:real+12#\n###d:date+10#\n###s:string+0#\n###m:blob+65535#\n"
                          "+++newline+++\n###i:x#\n###f:1,5#\n###d:0000-00-00#\n###s:#\n###m:long#\n"
                          "+++newline+++\n###i:42#\n###f:2.25#\n###d:2024-02-29#\n###s:abc#\n"),
                     t, n);
    MemTable table;
    QVERIFY(BuildGatewayTable(t, table));
    // first row = the answer's last record
    QCOMPARE(table.FieldByName("i")->AsInteger(), 42);
    QCOMPARE(table.FieldByName("f")->AsFloat(), 2.25);
    QCOMPARE(table.FieldByName("d")->Value().toDate(), QDate(2024, 2, 29));
    QCOMPARE(table.FieldByName("s")->DataType(), FieldType::String);
    QCOMPARE(table.FieldByName("s")->Size(), 255); // refused size 0
    QVERIFY(table.FieldByName("m")->IsNull());
    table.Next();
    QVERIFY(table.FieldByName("i")->IsNull());    // not a number: empty, not an error
    QCOMPARE(table.FieldByName("f")->AsFloat(), 1.5);
    QVERIFY(table.FieldByName("d")->IsNull());    // a zero date is no date
    QCOMPARE(table.FieldByName("m")->DataType(), FieldType::Memo);
    QCOMPARE(table.FieldByName("m")->AsString(), QStringLiteral("long"));
}

void tst_HttpSqlGatewayParser::cellValues_data()
{
    // One column of the given type text, one record with `record` (its
    // entry, or nothing); with or without the head mark of scripts that
    // leave NULL cells unnamed. expected: "NULL" or type:value.
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("expected");
    for (bool marked : {true, false}) {
        const char *m = marked ? "marked" : "unmarked";
        QTest::addRow("%s: text named empty", m) << marked << QByteArray("string+20") << QByteArray("###c:#")
                                                 << (marked ? "QString:" : "NULL");
        // (An unmarked record that names nothing adds no cells: see queryAnswer.)
        if (marked)
            QTest::addRow("%s: row of NULLs", m) << marked << QByteArray("string+20") << QByteArray() << "NULL";
        QTest::addRow("%s: memo named empty", m) << marked << QByteArray("blob+65535") << QByteArray("###c:#")
                                                 << (marked ? "QString:" : "NULL");
        QTest::addRow("%s: integer named empty", m) << marked << QByteArray("int+11") << QByteArray("###c:#") << "NULL";
        QTest::addRow("%s: date named empty", m) << marked << QByteArray("date+10") << QByteArray("###c:#") << "NULL";
    }
    QTest::newRow("unsigned INT above 2^31") << true << QByteArray("int+20") << QByteArray("###c:4294967295#")
                                             << "qlonglong:4294967295";
    QTest::newRow("BIGINT minimum") << true << QByteArray("int+20") << QByteArray("###c:-9223372036854775808#")
                                    << "qlonglong:-9223372036854775808";
    QTest::newRow("beyond 64 bits") << true << QByteArray("int+20") << QByteArray("###c:18446744073709551615#") << "NULL";
    QTest::newRow("valid date") << true << QByteArray("date+10") << QByteArray("###c:2024-02-29#") << "QDate:2024-02-29";
    QTest::newRow("day 0") << true << QByteArray("date+10") << QByteArray("###c:2024-02-00#") << "NULL";
    QTest::newRow("30 February") << true << QByteArray("date+10") << QByteArray("###c:2023-02-30#") << "NULL";
    QTest::newRow("zero date") << true << QByteArray("date+10") << QByteArray("###c:0000-00-00#") << "NULL";
    QTest::newRow("no date at all") << true << QByteArray("date+10") << QByteArray("###c:bald#") << "NULL";
    QTest::newRow("datetime") << true << QByteArray("datetime+19") << QByteArray("###c:2024-02-29 13:45:00#")
                              << "QString:2024-02-29 13:45:00";
    QTest::newRow("datetime day 0") << true << QByteArray("datetime+19") << QByteArray("###c:2024-02-00 13:45:00#")
                                    << "QString:0000-00-00 00:00:00";
    QTest::newRow("timestamp zero") << true << QByteArray("timestamp+19") << QByteArray("###c:0000-00-00 00:00:00#")
                                    << "QString:0000-00-00 00:00:00";
}

void tst_HttpSqlGatewayParser::cellValues()
{
    QFETCH(bool, marked);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, record);
    QFETCH(QString, expected);
    QByteArray answer = "<html><head>";
    if (marked)
        answer += GatewayNullsUnnamedMeta;
    answer += "</head><body>\n+++datatype+++<br>\n###c:" + type + "#<br>\n+++newline+++<br>\n";
    if (!record.isEmpty())
        answer += record + "<br>\n";
    answer += "</body></html>\n";
    GatewayTables t;
    int n = 0;
    QCOMPARE(ParseQueryAnswer(page(answer), t, n), 0);
    QCOMPARE(n, 1);
    MemTable table;
    QVERIFY(BuildGatewayTable(t, table));
    QCOMPARE(table.RecordCount(), 1);
    const QVariant v = table.FieldByName("c")->Value();
    QCOMPARE(v.isValid() ? QStringLiteral("%1:%2").arg(QLatin1String(v.typeName()), v.toString()) : QStringLiteral("NULL"),
             expected);
}

void tst_HttpSqlGatewayParser::urlEncodeSql_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("example") << QString::fromUtf8("a b%´`+") << "a%20b%25%26acute;%60%2B";
    QTest::newRow("quote amp hash") << "\"&#" << "%22%26%23";
    QTest::newRow("passes") << QString::fromUtf8("'=?/\r\nä€") << QString::fromUtf8("'=?/\r\nä€");
    QTest::newRow("percent first") << "%20" << "%2520";
}

void tst_HttpSqlGatewayParser::urlEncodeSql()
{
    QFETCH(QString, sql);
    QFETCH(QString, encoded);
    QCOMPARE(UrlEncodeSql(sql), encoded);
}

void tst_HttpSqlGatewayParser::gatewayUrlCounterAndSeconds()
{
    QCOMPARE(GatewaySeconds(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), qint64(0));
    QCOMPARE(GatewaySeconds(QDateTime(QDate(1899, 12, 31), QTime(0, 0, 1))), qint64(86401));
    QCOMPARE(GatewaySeconds(QDateTime(QDate(2000, 1, 1), QTime(12, 0))), qint64(36526) * 86400 + 43200);

    const int c0 = UrlCounter;
    const qint64 before = GatewaySeconds();
    const QString a = GatewayUrl("http://x/db_check.php?show=2&dbhost=h&sql_query=select 1");
    const QString b = GatewayUrl("http://x/db_check.php?show=2&dbhost=h&sql_query=select 1");
    const qint64 after = GatewaySeconds();
    QCOMPARE(UrlCounter, c0 + 2);
    const QRegularExpression re("^http://x/db_check\\.php\\?show=2&dbhost=h&xxl=(\\d+)_(\\d+)&sql_query=select%201$");
    const auto ma = re.match(a), mb = re.match(b);
    QVERIFY2(ma.hasMatch(), qPrintable(a));
    QVERIFY(mb.hasMatch());
    QCOMPARE(ma.captured(1).toInt(), c0);
    QCOMPARE(mb.captured(1).toInt(), c0 + 1);
    QVERIFY(a != b);
    QVERIFY(ma.captured(2).toLongLong() >= before && ma.captured(2).toLongLong() <= after);
    QCOMPARE(GatewayUrl("http://x/a.php?show=2"), QString("http://x/a.php?show=2&xxl=%1").arg(c0 + 2));
}

void tst_HttpSqlGatewayParser::requestAddress()
{
    ShopSettings &s = Settings();
    s.SQL_HTTP = "http://shop.example";
    s.SQL_Host = "db:3307";
    s.SQL_Data = "shop";
    s.SQL_User = "u";
    s.SQL_Pass = "p&w#d+";
    s.SQL_Global.clear();
    // The access data never stand in the address; the transport posts them.
    QCOMPARE(GatewayAddress(GatewayRequest::Statement, "x"),
             QString("http://shop.example/module/db_check/db_check.php?insert=1&sql_query=x"));
    s.SQL_Global = "2";
    QCOMPARE(GatewayAddress(GatewayRequest::Query, "y", true),
             QString("http://shop.example/module/db_check/db_check2.php?show=2&debug=1&sql_query=y"));
    s.SQL_Global.clear();
    QCOMPARE(Transport().AccessBody(), QByteArray("dbhost=db%3A3307&dbname=shop&dbuser=u&dbpass=p%26w%23d%2B"
                                                  "&charset=windows-1252"));
}

void tst_HttpSqlGatewayParser::badAnswersDoNotCrash()
{
    QList<QByteArray> bad;
    bad << QByteArray(1 << 20, 'x');
    bad << "###" + QByteArray(1 << 20, 'y');
    bad << "+++newline+++\n###a:" + QByteArray(1 << 20, 'z');
    bad << QByteArray(1 << 18, '#');
    bad << QByteArray("+++datatype+++\n###a:int+").repeated(20000);
    QByteArray junk(1 << 16, 0);
    quint32 x = 12345;
    for (char &c : junk) {
        x = x * 1103515245 + 12345;
        c = char(x >> 24);
    }
    bad << junk;
    bad << "+++newline+++\n###a:1#\n+++newl"; // truncated page
    for (const QByteArray &b : bad) {
        GatewayTables t;
        int n = 0;
        ParseQueryAnswer(page(b), t, n);
        for (const QStringList &c : t.cells)
            QCOMPARE(c.size(), t.cells.first().size());
        MemTable table;
        QVERIFY(BuildGatewayTable(t, table));
        ParseStatementAnswer(page(b), n);
    }
}

void tst_HttpSqlGatewayParser::htmlForm()
{
    const QString html = QStringLiteral(
        "<html><form name=other action=x><input name=a></form>"
        "<FORM Name=\"form1\" METHOD=post action='db_check2.php?x=1&amp;y=2' accept-charset=\"windows-1252\">"
        "<input type=hidden name=show value=\"2\"><input name=dbhost value='h'>"
        "<textarea name=sql_query>\nold</textarea>"
        "<input type=checkbox name=c1 checked><input type=checkbox name=c2>"
        "<select name=s><option>a<option selected value=b>B</select>"
        "<input type=submit name=Submit value=\"Abschicken\"><input type=submit name=Other value=o>"
        "</form>");
    HtmlForm f;
    QVERIFY(FindHtmlForm(html, "form1", f));
    QCOMPARE(f.action, QString("db_check2.php?x=1&y=2"));
    QCOMPARE(f.method, QString("post"));
    QCOMPARE(f.controls.size(), 8);
    QCOMPARE(f.controls.at(2).value, QString("old"));
    QCOMPARE(EncodeFormData(f, "Submit", "windows-1252"),
             QByteArray("show=2&dbhost=h&sql_query=old&c1=on&s=b&Submit=Abschicken"));
    f.controls[2].value = QString::fromUtf8("a b+c&d=ä€\r\n#%");
    QCOMPARE(EncodeFormData(f, "Submit", "windows-1252").split('&').at(2),
             QByteArray("sql_query=a+b%2Bc%26d%3D%E4%80%0D%0A%23%25"));
    QVERIFY(!FindHtmlForm("<html><form name=x></form>", "form1", f));
    // Controls between a select and its options (found by fuzzing: the list grew under the select).
    QString many = QStringLiteral("<form name=form1><select name=s>");
    for (int i = 0; i < 40; ++i)
        many += QStringLiteral("<input name=i%1>").arg(i);
    many += QStringLiteral("<option selected value=z></select></form>");
    QVERIFY(FindHtmlForm(many, "form1", f));
    QCOMPARE(f.controls.first().value, QString("z"));
    QVERIFY(!FindHtmlForm("<form name=\"form1", "form1", f));
}

void tst_HttpSqlGatewayParser::wireUrl()
{
    QCOMPARE(WireUrl(QString::fromUtf8("a?b=c%20d&e='ä€\\<\r\n"), "windows-1252"),
             QByteArray("a?b=c%20d&e='%E4%80%5C%3C%0D%0A"));
}

void tst_HttpSqlGatewayParser::batchAnswer_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("isBatch");
    QTest::addColumn<bool>("complete");
    // Per statement: answered, result, rows, error words ("-" = none).
    QTest::addColumn<QStringList>("expected");
    const QByteArray head = "<html><head><meta name=\"db_check\" content=\"nulls-unnamed\"></head><body>\n";
    QTest::newRow("all answered, one refused")
        << head + "+++batch+++<br>\n+++statement:0+++<br>\n###row_count:1#<br>\n"
                  "+++statement:1+++<br>\n###error:1062#<br>\nMySQL: Duplicate entry &#39;1&#39; for key &#39;PRIMARY&#39;<br>\n"
                  "+++statement:2+++<br>\n###row_count:0#<br>\n+++batchend:3+++<br>\n</body></html>\n"
        << 3 << true << true
        << QStringList{"1 0 1 -", "1 1062 0 Duplicate entry '1' for key 'PRIMARY'", "1 0 0 -"};
    QTest::newRow("time guard: the rest did not run")
        << head + "+++batch+++<br>\n+++statement:0+++<br>\n###row_count:2#<br>\n+++batchend:1+++<br>\n"
        << 3 << true << true << QStringList{"1 0 2 -", "0 -10 0 -", "0 -10 0 -"};
    QTest::newRow("cut off in the middle")
        << head + "+++batch+++<br>\n+++statement:0+++<br>\n###row_count:1#<br>\n+++statement:1+++<br>\n###row_co"
        << 2 << true << false << QStringList{"1 0 1 -", "0 -10 0 -"};
    QTest::newRow("script-level error applies to all")
        << head + "###error:1045#<br>\nMySQL: Access denied for user &#39;x&#39;<br>\n"
        << 2 << false << false
        << QStringList{"0 1045 0 Access denied for user 'x'", "0 1045 0 Access denied for user 'x'"};
    QTest::newRow("no marks at all")
        << QByteArray("<html><body>502 Bad Gateway</body></html>") << 1 << false << false << QStringList{"0 -10 0 -"};
    QTest::newRow("index out of range is not taken")
        << head + "+++batch+++<br>\n+++statement:5+++<br>\n###row_count:1#<br>\n+++batchend:1+++<br>\n"
        << 1 << true << true << QStringList{"0 -10 0 -"};
    QTest::newRow("data that look like marks stay data")
        << head + "+++batch+++<br>\n+++statement:0+++<br>\n###error:1064#<br>\nMySQL: near &#39;&#43;++statement:1&#43;++&#39;<br>\n"
                  "+++batchend:1+++<br>\n"
        << 2 << true << true << QStringList{"1 1064 0 near '+++statement:1+++'", "0 -10 0 -"};
}

void tst_HttpSqlGatewayParser::batchAnswer()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, n);
    QFETCH(bool, isBatch);
    QFETCH(bool, complete);
    QFETCH(QStringList, expected);
    QVector<GatewayStatementResult> out;
    bool done = !complete;
    QCOMPARE(ParseBatchAnswer(page(bytes), n, out, done), isBatch);
    QCOMPARE(done, complete);
    QStringList got;
    for (const GatewayStatementResult &r : out)
        got << QStringLiteral("%1 %2 %3 %4").arg(int(r.answered)).arg(r.result).arg(r.rows)
                   .arg(r.error.isEmpty() ? QStringLiteral("-") : r.error);
    QCOMPARE(got, expected);
}

void tst_HttpSqlGatewayParser::batchCaps_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("caps"); // batch gzip post vars time
    const QString meta = QStringLiteral("<html><head><meta name=\"db_check\" content=\"nulls-unnamed\">");
    QTest::newRow("today's script")
        << meta + QStringLiteral("<meta name=\"db_check_batch\" content=\"statements; gzip; post_max_size=8388608; "
                                 "max_input_vars=1000; max_execution_time=30\"><title>db_check</title></head><body>")
        << true << QStringLiteral("1 1 8388608 1000 30");
    QTest::newRow("no zlib, no limits said")
        << meta + QStringLiteral("<meta name=\"db_check_batch\" content=\"statements\"></head><body>") << true
        << QStringLiteral("1 0 -1 0 0");
    QTest::newRow("older script") << meta + QStringLiteral("<title>db_check</title></head><body>") << true
                                  << QStringLiteral("0 0 -1 0 0");
    QTest::newRow("announcement only in the data")
        << meta + QStringLiteral("</head><body>###a:<meta name=\"db_check_batch\" content=\"statements\">#")
        << true << QStringLiteral("0 0 -1 0 0");
    QTest::newRow("not the script's page") << QStringLiteral("<html><body>404</body></html>") << false
                                           << QStringLiteral("0 0 -1 0 0");
}

void tst_HttpSqlGatewayParser::batchCaps()
{
    QFETCH(QString, page);
    QFETCH(bool, found);
    QFETCH(QString, caps);
    bool f = !found;
    const GatewayBatchCaps c = ParseBatchCaps(page, &f);
    QCOMPARE(f, found);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5").arg(int(c.batch)).arg(int(c.gzip)).arg(c.postMaxSize)
                 .arg(c.maxInputVars).arg(c.maxExecutionTime),
             caps);
}

void tst_HttpSqlGatewayParser::batchEncoding()
{
    // Lengths in bytes of the request's character set; the acute accent as
    // on every other route; separators inside texts are data.
    const QStringList sql = {QString::fromUtf8("INSERT INTO t VALUES ('Ä´,1:')"), QStringLiteral(""),
                             QStringLiteral("DELETE FROM t")};
    QCOMPARE(EncodeBatch(sql, "windows-1252"),
             QByteArray("36:INSERT INTO t VALUES ('\xC4&acute;,1:'),0:,13:DELETE FROM t,"));
    QCOMPARE(EncodeBatch({QString::fromUtf8("'Ä'")}, "utf-8"), QByteArray("4:'\xC3\x84',"));
}

void tst_HttpSqlGatewayParser::joinableStatements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("length");
    QTest::newRow("plain") << QStringLiteral("DELETE FROM t") << 13;
    QTest::newRow("closing semicolon and blanks") << QStringLiteral("DELETE FROM t ;  \n") << 13;
    QTest::newRow("semicolon inside quotes") << QStringLiteral("UPDATE t SET a='x;y'") << 20;
    QTest::newRow("doubled apostrophe") << QStringLiteral("UPDATE t SET a='it''s;'") << 23;
    QTest::newRow("backslash is literal") << QStringLiteral("UPDATE t SET a='C:\\'") << 20;
    QTest::newRow("backtick name") << QStringLiteral("UPDATE `a;b` SET c=1") << 20;
    QTest::newRow("block comment") << QStringLiteral("DELETE FROM t /* ; */") << 21;
    QTest::newRow("line comment with line end") << QStringLiteral("DELETE FROM t -- ;\n") << 13;
    QTest::newRow("two statements") << QStringLiteral("DELETE FROM t; DELETE FROM u") << -1;
    QTest::newRow("open quote") << QStringLiteral("UPDATE t SET a='x") << -1;
    QTest::newRow("open block comment") << QStringLiteral("DELETE FROM t /* x") << -1;
    QTest::newRow("comment to the end") << QStringLiteral("DELETE FROM t # x") << -1;
    QTest::newRow("empty") << QStringLiteral(" ; ") << -1;
    QTest::newRow("delimiter line") << QStringLiteral("DELIMITER $$") << -1;
}

void tst_HttpSqlGatewayParser::joinableStatements()
{
    QFETCH(QString, sql);
    QFETCH(int, length);
    QCOMPARE(int(MySqlConnection::JoinableLength(sql)), length);
}

QTEST_GUILESS_MAIN(tst_HttpSqlGatewayParser)
#include "tst_HttpSqlGatewayParser.moc"
