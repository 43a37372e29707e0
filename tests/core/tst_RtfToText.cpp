#include "core/RtfReader.h"
#include "core/RtfToText.h"
#include "core/TextUtil.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

using namespace mv;

namespace {

QString joined(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

QString fixture(const QString &name)
{
    QFile f(test::TestEnv::sourceDir() + QStringLiteral("/tests/core/fixtures/rtf/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("fixture missing: %s", qPrintable(name));
    return FromAnsi(f.readAll());
}

const QString kFont0 = QStringLiteral("<FONT COLOR=\"#000000\" SIZE=\"6\" FACE=\"Arial\">");
const QString kHead = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
                                     "{\\f1\\fmodern Courier New;}}{\\colortbl ;\\red0\\green0\\blue255;\\red255\\green0\\blue0;}");

} // namespace

class TestRtfToText : public QObject {
    Q_OBJECT
private slots:
    void notRtfUnchanged_data();
    void notRtfUnchanged();
    void plain_data();
    void plain();
    void indent_data();
    void indent();
    void html_data();
    void html();
    void entityTable();
    void fallbackToHtml();
    void malformed_data();
    void malformed();
    void tooDeepGivesEmptyText();
    void garbageAfterHeader();
    void largeInputs_data();
    void largeInputs();
    void richEditFixture();
    void libreOfficeArticle();
    void libreOfficeHeaderFooterTable();
    void memoFirstLine_data();
    void memoFirstLine();
    void readerFormats();
    void cliCommand();
};

void TestRtfToText::notRtfUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QStringLiteral("Bürostühle {neu} [Angebot] \\par");
    QTest::newRow("empty") << QString();
    QTest::newRow("header too late") << QStringLiteral("  {\\rtf1 Text}");
    QTest::newRow("multi-line") << QStringLiteral("Zeile 1\r\nZeile 2\r\n");
}

void TestRtfToText::notRtfUnchanged()
{
    QFETCH(QString, text);
    QCOMPARE(RtfToText(text, 0, false), text);
    QCOMPARE(RtfToText(text, 0, true), text);
    QCOMPARE(RtfToText(text, 4, false), text);
}

void TestRtfToText::plain_data()
{
    QTest::addColumn<QString>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("umlauts and euro as hex")
        << kHead + QStringLiteral("\\viewkind4\\uc1\\pard\\f0\\fs20 Gr\\'fc\\'dfe aus M\\'fcnchen: 5 \\'80\\par\n}")
        << QStringLiteral("Grüße aus München: 5 €");
    QTest::newRow("unicode escape becomes reference")
        << QStringLiteral("{\\rtf1\\ansi\\uc1 Preis 5 \\u8364? netto}")
        << QStringLiteral("Preis 5 &#8364; netto");
    QTest::newRow("unicode escape with hex fallback")
        << QStringLiteral("{\\rtf1\\ansi\\uc1 Gr\\u246\\'f6\\u223\\'dfe \\u8222\\'84x\\u8220\\'93 10 \\u8364\\'80}")
        << QStringLiteral("Größe &#8222;x&#8220; 10 &#8364;");
    QTest::newRow("escape delimited by a blank")
        << QStringLiteral("{\\rtf1 a \\u8364 ?b}")
        << QStringLiteral("a &#8364;b");
    QTest::newRow("two fallback characters")
        << QStringLiteral("{\\rtf1\\ansi\\uc2\\u8364??x \\uc0\\u8364 y}")
        << QStringLiteral("&#8364;x &#8364;y");
    QTest::newRow("small escape read as character")
        << QStringLiteral("{\\rtf1\\ansi\\u228?\\u-3913?}")
        << QStringLiteral("ä") + QChar(0xF0B7);
    QTest::newRow("escaped backslash is text")
        << QStringLiteral("{\\rtf1 Pfad C:\\\\u8364?}")
        << QStringLiteral("Pfad C:\\u8364?");
    QTest::newRow("brackets removed")
        << QStringLiteral("{\\rtf1 \\{x\\} [y] {z}}")
        << QStringLiteral("x y z");
    QTest::newRow("line tab par")
        << QStringLiteral("{\\rtf1 a\\line b\\tab c\\par d\\par\\par\\par e\\par }")
        << QStringLiteral("a\r\nb\tc\r\nd\r\n\r\n\r\ne");
    QTest::newRow("trailing empty paragraph")
        << QStringLiteral("{\\rtf1 a\\par\n\\pard\\par\n}")
        << QStringLiteral("a");
    QTest::newRow("empty document")
        << QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\par}")
        << QString();
    QTest::newRow("symbols")
        << QStringLiteral("{\\rtf1 a\\~b\\emdash c\\endash d\\lquote e\\rquote \\ldblquote f\\rdblquote\\-g\\_h}")
        << QStringLiteral("a\u00A0b\u2014c\u2013d\u2018e\u2019\u201Cf\u201Dg-h");
    QTest::newRow("destinations skipped")
        << QStringLiteral("{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s0 Normal;}}"
                          "{\\info{\\title Titel}{\\author Autor}}{\\header Kopf\\par}{\\footer Fuss}{\\*\\unbekannt X}"
                          "{\\pict\\pngblip 89504e47}{\\object\\objemb{\\*\\objdata 0102}{\\result Ersatz}}"
                          "{\\*\\generator Msftedit;}Text{\\footnote Anm.}}")
        << QStringLiteral("Text");
    QTest::newRow("binary data with braces")
        << QStringLiteral("{\\rtf1 a{\\pict\\bin4 }{\\}}b{\\*\\blob\\bin2 {{}c}")
        << QStringLiteral("abc");
    QTest::newRow("document code page")
        << QStringLiteral("{\\rtf1\\ansi\\ansicpg1251 \\'e4\\'e0}")
        << QStringLiteral("да");
    QTest::newRow("font charset")
        << QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}}\\f1 \\'b3\\f0 \\'b3}")
        << QStringLiteral("ł³");
    QTest::newRow("hidden text")
        << QStringLiteral("{\\rtf1 a{\\v verborgen}b\\v c\\v0 d}")
        << QStringLiteral("abd");
    QTest::newRow("unknown words")
        << QStringLiteral("{\\rtf1\\foo12 x\\bar-3 y\\nosupersub z}")
        << QStringLiteral("xyz");
    QTest::newRow("field result")
        << QStringLiteral("{\\rtf1 Siehe {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt Link}}.}")
        << QStringLiteral("Siehe Link.");
    QTest::newRow("table cells")
        << QStringLiteral("{\\rtf1\\trowd\\cellx1000\\cellx2000\\intbl a\\cell b\\cell\\row\\pard Ende}")
        << QStringLiteral("a\tb\r\nEnde");
    QTest::newRow("formats leave text alone")
        << kHead + QStringLiteral("\\plain\\b fett\\b0 \\i kursiv\\i0\\cf1 blau\\cf0\\strike x\\strike0\\ul u\\ulnone\\par}")
        << QStringLiteral("fettkursivblauxu");
    QTest::newRow("upper-case header")
        << QStringLiteral("{\\RTF1 Text}")
        << QStringLiteral("Text");
}

void TestRtfToText::plain()
{
    QFETCH(QString, rtf);
    QFETCH(QString, expected);
    QCOMPARE(RtfToText(rtf, 0, false), expected);
}

void TestRtfToText::indent_data()
{
    QTest::addColumn<int>("indent");
    QTest::addColumn<bool>("asHtml");
    QTest::addColumn<QString>("expected");
    QTest::newRow("3") << 3 << false << QStringLiteral("   a\r\n   b\r\n   c");
    QTest::newRow("capped at 72") << 100 << false
        << QString(72, QLatin1Char(' ')) + QStringLiteral("a\r\n") + QString(72, QLatin1Char(' '))
               + QStringLiteral("b\r\n") + QString(72, QLatin1Char(' ')) + QStringLiteral("c");
    QTest::newRow("first line") << -1 << false << QStringLiteral("a");
    QTest::newRow("first two") << -2 << false << QStringLiteral("a\r\nb");
    QTest::newRow("more than there are") << -9 << false << QStringLiteral("a\r\nb\r\nc");
    QTest::newRow("html first three") << -3 << true << QStringLiteral("\r\n") + kFont0 + QStringLiteral("\r\n<BR>a");
    QTest::newRow("html indented") << 1 << true
        << QStringLiteral(" \r\n ") + kFont0
               + QStringLiteral("\r\n <BR>a\r\n <BR>b\r\n <BR>c\r\n \r\n </P>\r\n </FONT>");
}

void TestRtfToText::indent()
{
    QFETCH(int, indent);
    QFETCH(bool, asHtml);
    QFETCH(QString, expected);
    const QString rtf = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}a\\par b\\par c\\par}");
    QCOMPARE(RtfToText(rtf, indent, asHtml), expected);
}

void TestRtfToText::html_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expected");   // the "<BR>" lines and the three closing lines

    const QString bold = QStringLiteral("<FONT COLOR=\"#000000\" SIZE=\"6\" FACE=\"Arial\"><B>");
    QTest::newRow("unformatted")
        << QStringLiteral("abc\\par}")
        << QStringList{QStringLiteral("<BR>abc"), QString(), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("bold italic runs back to default")
        << QStringLiteral("a\\b b\\i c\\b0\\i0 d\\par}")
        << QStringList{QStringLiteral("<BR>a") + bold + QStringLiteral("b</B></FONT>")
                           + QStringLiteral("<FONT COLOR=\"#000000\" SIZE=\"6\" FACE=\"Arial\"><B><I>c</I></B></FONT>")
                           + kFont0 + QStringLiteral("d"),
                       QStringLiteral("</FONT>"), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("colour size face")
        << QStringLiteral("x{\\cf1\\fs20\\f1 blau}{\\cf2\\fs16 rot}{\\fs36 gross}\\par}")
        << QStringList{QStringLiteral("<BR>x<FONT COLOR=\"#0000FF\" SIZE=\"4\" FACE=\"Courier New\">blau</FONT>"
                                      "<FONT COLOR=\"#FF0000\" SIZE=\"2\" FACE=\"Arial\">rot</FONT>"
                                      "<FONT COLOR=\"#000000\" SIZE=\"4\" FACE=\"Arial\">gross"),
                       QStringLiteral("</FONT>"), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("style order")
        << QStringLiteral("\\ul\\strike\\i\\b z\\par}")
        << QStringList{QStringLiteral("<BR><FONT COLOR=\"#000000\" SIZE=\"6\" FACE=\"Arial\"><B><I><STRIKE><U>z"),
                       QStringLiteral("</U></STRIKE></I></B></FONT>"), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("format kept across lines")
        << QStringLiteral("\\b a\\par b\\par}")
        << QStringList{QStringLiteral("<BR>") + bold + QStringLiteral("a"), QStringLiteral("<BR>b"),
                       QStringLiteral("</B></FONT>"), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("alignment and bullets")
        << QStringLiteral("\\pard\\qc Mitte\\par\\pard\\qr Rechts\\par"
                          "\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}Eins\\par"
                          "{\\pntext\\f1\\'b7\\tab}Zwei\\par\\pard Links\\par}")
        << QStringList{QStringLiteral("<BR></P><P ALIGN=\"CENTER\">Mitte"),
                       QStringLiteral("<BR></P><P ALIGN=\"RIGHT\">Rechts"),
                       QStringLiteral("<BR></P><LI><P ALIGN=\"LEFT\">Eins"),
                       QStringLiteral("<BR>Zwei"),
                       QStringLiteral("<BR></P></LI><P ALIGN=\"LEFT\">Links"),
                       QString(), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("centred bullet, format before paragraph")
        << QStringLiteral("\\pard\\qc{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\b x\\par}")
        << QStringList{QStringLiteral("<BR>") + bold + QStringLiteral("</P><LI><P ALIGN=\"CENTER\">x"),
                       QStringLiteral("</B></FONT>"), QStringLiteral("</P></LI>"), QStringLiteral("</FONT>")};
    QTest::newRow("numbered list is no bullet list")
        << QStringLiteral("\\pard{\\*\\pn\\pnlvlbody\\pndec{\\pntxta .}}x\\par}")
        << QStringList{QStringLiteral("<BR>x"), QString(), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("alignment set at paragraph end")
        << QStringLiteral("\\pard Mitte\\qc\\par}")
        << QStringList{QStringLiteral("<BR></P><P ALIGN=\"CENTER\">Mitte"), QString(),
                       QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("empty line")
        << QStringLiteral("a\\par\\par b\\par}")
        << QStringList{QStringLiteral("<BR>a"), QStringLiteral("<BR>"), QStringLiteral("<BR>b"), QString(),
                       QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("entities and other characters")
        << QStringLiteral("\\'e4\\'f6\\'fc\\'c4\\'d6\\'dc\\'df & \"<>^~ \\'80 \\u8364? \\u1046? \\'d8")
        << QStringList{QStringLiteral("<BR>&auml;&ouml;&uuml;&Auml;&Ouml;&Uuml;&szlig; & &quot;&lt;&gt;&circ;&tild; € € &#1046; Ø"),
                       QString(), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
    QTest::newRow("plain resets")
        << QStringLiteral("\\f1\\fs20\\cf1\\b a\\plain b\\par}")
        << QStringList{QStringLiteral("<BR><FONT COLOR=\"#0000FF\" SIZE=\"4\" FACE=\"Courier New\"><B>a</B></FONT>") + kFont0
                           + QStringLiteral("b"),
                       QStringLiteral("</FONT>"), QStringLiteral("</P>"), QStringLiteral("</FONT>")};
}

void TestRtfToText::html()
{
    QFETCH(QString, body);
    QFETCH(QStringList, expected);
    const QString rtf = kHead + body;
    const QStringList want = QStringList{QString(), kFont0} + expected;
    QCOMPARE(RtfToText(rtf, 0, true), joined(want));
}

void TestRtfToText::entityTable()
{
    // Exactly 72 characters become entities; the ampersand and the rest of
    // the Windows-1252 characters stay as they are.
    int changed = 0;
    for (int b = 0x20; b < 0x100; ++b) {
        if (b >= 0x7F && b < 0xA0)
            continue;
        if (b == '{' || b == '}' || b == '[' || b == ']' || b == '\\')
            continue;
        const QString hex = QString::number(b, 16);
        const QString rtf = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\'") + hex + QLatin1Char('}');
        const QStringList lines = RtfToText(rtf, 0, true).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 6);
        const QString written = lines.at(2).mid(4);
        const QString ch = FromAnsi(QByteArray(1, char(b)));
        if (written != ch) {
            ++changed;
            QVERIFY2(written.startsWith(QLatin1Char('&')) && written.endsWith(QLatin1Char(';')), qPrintable(written));
        }
    }
    QCOMPARE(changed, 72);
}

void TestRtfToText::fallbackToHtml()
{
    // Text the engine reads as plain text that still starts like RTF goes
    // through the HTML conversion.
    const QString text = QStringLiteral("x\\rtf1 <a> & [b]");
    QCOMPARE(RtfToText(text, 0, false),
             joined({QString(), kFont0, QStringLiteral("<BR>x\\rtf1 &lt;a&gt; & b"), QString(),
                     QStringLiteral("</P>"), QStringLiteral("</FONT>")}));
}

void TestRtfToText::malformed_data()
{
    QTest::addColumn<QString>("rtf");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing closing brace") << QStringLiteral("{\\rtf1 abc") << QStringLiteral("abc");
    QTest::newRow("missing inner braces") << QStringLiteral("{\\rtf1 {{{{abc\\par def") << QStringLiteral("abc\r\ndef");
    QTest::newRow("too many closing braces") << QStringLiteral("{\\rtf1 abc}}}} def") << QStringLiteral("abc");
    QTest::newRow("truncated hex") << QStringLiteral("{\\rtf1 a\\'e") << QStringLiteral("a");
    QTest::newRow("truncated unicode") << QStringLiteral("{\\rtf1 a\\u83") << QStringLiteral("aS");
    QTest::newRow("truncated word") << QStringLiteral("{\\rtf1 a\\") << QStringLiteral("a");
    QTest::newRow("truncated font table") << QStringLiteral("{\\rtf1{\\fonttbl{\\f0 Ari") << QString();
    QTest::newRow("huge binary length") << QStringLiteral("{\\rtf1 a\\bin999999999999 xyz}") << QStringLiteral("a");
    QTest::newRow("huge numbers")
        << QStringLiteral("{\\rtf1 \\fs99999999999\\cf99999999\\f-5\\u-99999999?\\uc99999 \\ansicpg-3 \\'41}")
        << QStringLiteral("A");
    QTest::newRow("inside skipped group") << QStringLiteral("{\\rtf1 a{\\*\\x {{{{") << QStringLiteral("a");
    QTest::newRow("nul and controls") << QStringLiteral("{\\rtf1 a") + QChar(0) + QStringLiteral("b\x01\x1f\tc}")
                                      << QStringLiteral("ab\tc");
}

void TestRtfToText::malformed()
{
    QFETCH(QString, rtf);
    QFETCH(QString, expected);
    QCOMPARE(RtfToText(rtf, 0, false), expected);
    // HTML mode survives the same text.
    QVERIFY(!RtfToText(rtf, 0, true).isNull() || expected.isEmpty());
}

void TestRtfToText::tooDeepGivesEmptyText()
{
    QElapsedTimer timer;
    timer.start();
    const QString deep = QStringLiteral("{\\rtf1 Text ") + QString(1 << 20, QLatin1Char('{'));
    QCOMPARE(RtfToText(deep, 0, false), QString());
    QCOMPARE(RtfToText(deep, 0, true), QString());
    // Nesting a real document uses stays readable.
    const QString nested = QStringLiteral("{\\rtf1 ") + QString(300, QLatin1Char('{')) + QStringLiteral("tief")
                           + QString(300, QLatin1Char('}')) + QLatin1Char('}');
    QCOMPARE(RtfToText(nested, 0, false), QStringLiteral("tief"));
    // Braces in skipped groups do not count.
    const QString skipped = QStringLiteral("{\\rtf1 {\\*\\x ") + QString(1 << 20, QLatin1Char('{'))
                            + QString(1 << 20, QLatin1Char('}')) + QStringLiteral("}ok}");
    QCOMPARE(RtfToText(skipped, 0, false), QStringLiteral("ok"));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void TestRtfToText::garbageAfterHeader()
{
    QRandomGenerator rng(4711);
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes = kHead.toLatin1();
        const int n = 1 << 16;
        for (int i = 0; i < n; ++i) {
            // Weighted towards RTF's special characters.
            const quint32 r = rng.bounded(20);
            bytes.append(r == 0 ? '{' : r == 1 ? '}' : r == 2 ? '\\' : r == 3 ? '\'' : char(rng.bounded(256)));
        }
        const QString text = FromAnsi(bytes);
        QElapsedTimer timer;
        timer.start();
        const QString plain = RtfToText(text, 0, false);
        const QString html = RtfToText(text, -5, true);
        QVERIFY(timer.elapsed() < 5000);
        for (const QChar c : plain + html)
            QVERIFY(c != QLatin1Char('{') && c != QLatin1Char('}') && c != QLatin1Char('[') && c != QLatin1Char(']'));
    }
}

void TestRtfToText::largeInputs_data()
{
    // About a megabyte each of patterns that could make a reader slow.
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("count");
    QTest::newRow("fonts") << QStringLiteral("{\\rtf1{\\fonttbl") << QStringLiteral("{\\f%1 F%1;}") << 60000;
    QTest::newRow("font switches") << kHead << QStringLiteral("\\f%1 x") << 120000;
    QTest::newRow("format runs") << kHead << QStringLiteral("\\cf%1\\b x\\b0 y") << 80000;
    QTest::newRow("list levels") << QStringLiteral("{\\rtf1{\\*\\listtable{\\list") << QStringLiteral("\\listlevel\\levelnfc23\\listid%1 ") << 40000;
    QTest::newRow("unicode escapes") << kHead << QStringLiteral("\\u8364?\\u%1?") << 80000;
    QTest::newRow("paragraphs") << kHead << QStringLiteral("\\par\\qc{\\*\\pn\\pnlvlblt}%1") << 60000;
    QTest::newRow("empty groups") << kHead << QStringLiteral("{}{{}}%1") << 100000;
    QTest::newRow("hex") << kHead << QStringLiteral("\\'e4\\'%1") << 100000;
    QTest::newRow("code pages") << kHead << QStringLiteral("\\ansicpg%1\\'e4") << 60000;
}

void TestRtfToText::largeInputs()
{
    QFETCH(QString, head);
    QFETCH(QString, unit);
    QFETCH(int, count);
    QString text = head;
    for (int i = 0; i < count; ++i)
        text += unit.arg(i % 1000);
    QElapsedTimer timer;
    timer.start();
    const QString plain = RtfToText(text, 0, false);
    const QString html = RtfToText(text, 0, true);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(plain.size() < text.size() * 2);
    Q_UNUSED(html);
}

void TestRtfToText::richEditFixture()
{
    const QString rtf = fixture(QStringLiteral("richedit_gartenstuhl.rtf"));
    QCOMPARE(RtfToText(rtf, 0, false),
             joined({QStringLiteral("Gartenstühle aus Holz für 49,90 € Art.-Nr. 4711"),
                     QStringLiteral("Achtung: wetterfest und pflegeleicht."),
                     QStringLiteral("Sonderpreis &#8364; 39,90"),
                     QStringLiteral("Buche"),
                     QStringLiteral("Eiche grün")}));
    const QString f4 = QStringLiteral("<FONT COLOR=\"#000000\" SIZE=\"4\" FACE=\"Arial\">");
    QCOMPARE(RtfToText(rtf, 0, true),
             joined({QString(), kFont0,
                     QStringLiteral("<BR>") + f4 + QStringLiteral("Gartenst&uuml;hle aus Holz f&uuml;r 49,90 € Art.-Nr. 4711"),
                     QStringLiteral("<BR></FONT><FONT COLOR=\"#FF0000\" SIZE=\"4\" FACE=\"Arial\"><B>Achtung:</B></FONT>")
                         + f4 + QStringLiteral(" </FONT>") + f4 + QStringLiteral("<I>wetterfest</I></FONT>") + f4
                         + QStringLiteral(" und </FONT>") + f4 + QStringLiteral("<U>pflegeleicht</U></FONT>") + f4
                         + QStringLiteral("."),
                     QStringLiteral("<BR></P><P ALIGN=\"CENTER\">Sonderpreis € 39,90"),
                     QStringLiteral("<BR></P><LI><P ALIGN=\"LEFT\">Buche"),
                     QStringLiteral("<BR>Eiche </FONT><FONT COLOR=\"#008000\" SIZE=\"4\" FACE=\"Arial\">gr&uuml;n"),
                     QStringLiteral("</FONT>"), QStringLiteral("</P></LI>"), QStringLiteral("</FONT>")}));
}

void TestRtfToText::libreOfficeArticle()
{
    // Written by LibreOffice Writer from lo_artikel.html.
    const QString rtf = fixture(QStringLiteral("lo_artikel.rtf"));
    QCOMPARE(RtfToText(rtf, 0, false),
             joined({QStringLiteral("Bürostuhl &#8222;Komfort&#8220; &#8211; Größe XL für 249,00 &#8364;"),
                     QStringLiteral("Der Stuhl ist besonders bequem, leicht und robust; Farbe: Rot."),
                     QStringLiteral("Nur solange der Vorrat reicht!"),
                     QStringLiteral("Preis inkl. 19 % MwSt."),
                     QStringLiteral("Sitzhöhe 42&#8211;55 cm "),
                     QStringLiteral("Gewicht < 15 kg & Tragkraft > 120 kg "),
                     QStringLiteral("Zeile eins"),
                     QStringLiteral("Zeile zwei mit Tab:\tEnde"),
                     QStringLiteral("Sonderzeichen: ° ² ³ µ ½ ¼ ^ ~ \"Zitat\" Klammer geschweift \\Backslash")}));

    const QStringList html = RtfToText(rtf, 0, true).split(QStringLiteral("\r\n"));
    const QString serif = QStringLiteral("<FONT COLOR=\"#000000\" SIZE=\"6\" FACE=\"Liberation Serif\">");
    QCOMPARE(html.size(), 14);
    QCOMPARE(html.at(1), serif);
    QCOMPARE(html.at(2), QStringLiteral("<BR>B&uuml;rostuhl „Komfort“ – Gr&ouml;&szlig;e XL f&uuml;r 249,00 €"));
    QVERIFY(html.at(3).startsWith(QStringLiteral("<BR>Der Stuhl ist ") + serif + QStringLiteral("<B>besonders bequem</B></FONT>")));
    QVERIFY(html.at(3).contains(QStringLiteral("<FONT COLOR=\"#FF0000\" SIZE=\"6\" FACE=\"Liberation Serif\">Farbe: Rot</FONT>")));
    QCOMPARE(html.at(4), QStringLiteral("<BR></P><P ALIGN=\"CENTER\">Nur solange der Vorrat reicht!"));
    QCOMPARE(html.at(5), QStringLiteral("<BR></P><P ALIGN=\"RIGHT\">Preis inkl. 19 % MwSt."));
    QCOMPARE(html.at(6), QStringLiteral("<BR></P><LI><P ALIGN=\"LEFT\">Sitzh&ouml;he 42–55 cm "));
    QCOMPARE(html.at(7), QStringLiteral("<BR>Gewicht &lt; 15 kg & Tragkraft &gt; 120 kg "));
    QCOMPARE(html.at(8), QStringLiteral("<BR></P></LI><P ALIGN=\"LEFT\">Zeile eins"));
    QCOMPARE(html.at(10), QStringLiteral("<BR>Sonderzeichen: &deg; &sup2; &sup3; &micro; &frac12; &frac14; &circ; &tild; "
                                         "&quot;Zitat&quot; Klammer geschweift \\Backslash"));
    QCOMPARE(html.mid(11), (QStringList{QStringLiteral("</FONT>"), QStringLiteral("</P>"), QStringLiteral("</FONT>")}));
}

void TestRtfToText::libreOfficeHeaderFooterTable()
{
    // lo_kopf.fodt: header, footer, a footnote, a bulleted list, a table.
    const QString rtf = fixture(QStringLiteral("lo_kopf.rtf"));
    QCOMPARE(RtfToText(rtf, 0, false),
             joined({QStringLiteral("Überschrift mit blauer Schrift und durchgestrichen fett."),
                     QStringLiteral("Ein Satz mit Fußnote dahinter."),
                     QStringLiteral("Punkt Ä"),
                     QStringLiteral("Punkt Ö"),
                     QStringLiteral("Maß\tWert"),
                     QStringLiteral("Länge\t2 m"),
                     QStringLiteral("Schluss: 10 &#8364; &#8212; fertig.")}));
    const QString html = RtfToText(rtf, 0, true);
    QVERIFY(html.contains(QStringLiteral("<FONT COLOR=\"#0000FF\" SIZE=\"2\" FACE=\"Liberation Mono\">blauer Schrift</FONT>")));
    QVERIFY(html.contains(QStringLiteral("<B><STRIKE>durchgestrichen fett</STRIKE></B></FONT>")));
    QVERIFY(html.contains(QStringLiteral("<BR></P><LI><P ALIGN=\"LEFT\">Punkt &Auml;\r\n<BR>Punkt &Ouml;\r\n<BR></P></LI>")));
    QVERIFY(!html.contains(QStringLiteral("Kopfzeile")));
    QVERIFY(!html.contains(QStringLiteral("Fu&szlig;zeile")));
}

void TestRtfToText::memoFirstLine_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("more");
    QTest::newRow("rtf two lines") << QStringLiteral("{\\rtf1\\ansi Erste Zeile\\par Zweite\\par\r\n}")
                                   << QStringLiteral("Erste Zeile") << true;
    QTest::newRow("rtf one line") << QStringLiteral("{\\rtf1\\ansi Nur eine\\par\r\n}") << QStringLiteral("Nur eine") << false;
    QTest::newRow("rtf upper case") << QStringLiteral("{\\RTF1 x}") << QStringLiteral("x") << false;
    QTest::newRow("rtf keeps escapes and brackets") << QStringLiteral("{\\rtf1 [\\u8364? 5] M\\'fcller}")
                                                    << QStringLiteral("[€ 5] Müller") << false;
    QTest::newRow("rtf header on second line") << QStringLiteral("Text\r\n{\\rtf1 x}") << QStringLiteral("Text") << true;
    QTest::newRow("plain two lines") << QStringLiteral("Klartext\r\nZeile 2") << QStringLiteral("Klartext") << true;
    QTest::newRow("plain trailing break") << QStringLiteral("Klartext\r\n") << QStringLiteral("Klartext") << false;
    QTest::newRow("empty") << QString() << QString() << false;
}

void TestRtfToText::memoFirstLine()
{
    QFETCH(QString, memo);
    QFETCH(QString, line);
    QFETCH(bool, more);
    const MemoPreview p = MemoFirstLine(memo);
    QCOMPARE(p.firstLine, line);
    QCOMPARE(p.moreLines, more);
}

void TestRtfToText::readerFormats()
{
    // The reader's view of LibreOffice's list tables and font table.
    RtfDocument doc;
    QVERIFY(RtfReader::read(fixture(QStringLiteral("lo_artikel.rtf")), doc));
    QVERIFY(doc.isRtf);
    QCOMPARE(doc.lines.size(), size_t(9));
    QCOMPARE(doc.lineText(4), QStringLiteral("Sitzhöhe 42–55 cm "));
    QVERIFY(doc.lines[4].para.bullet);
    QVERIFY(doc.lines[5].para.bullet);
    QVERIFY(!doc.lines[6].para.bullet);
    QCOMPARE(doc.lines[2].para.align, RtfAlign::Center);
    QCOMPARE(doc.lines[3].para.align, RtfAlign::Right);
    QCOMPARE(doc.fontNames.value(doc.defaultFormat.fontName), QStringLiteral("Liberation Serif"));
}

void TestRtfToText::cliCommand()
{
    QProcess p;
    p.start(test::TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"),
            {QStringLiteral("rtf"), QStringLiteral("--indent"), QStringLiteral("2"),
             test::TestEnv::sourceDir() + QStringLiteral("/tests/core/fixtures/rtf/richedit_gartenstuhl.rtf")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.startsWith(QStringLiteral("  Gartenstühle aus Holz für 49,90 € Art.-Nr. 4711\r\n  Achtung:")), qPrintable(out));

    QProcess missing;
    missing.start(test::TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"),
                  {QStringLiteral("rtf"), QStringLiteral("/nicht/da.rtf")});
    QVERIFY(missing.waitForFinished(30000));
    QCOMPARE(missing.exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestRtfToText)
#include "tst_RtfToText.moc"
