#include "core/ShopSettings.h"
#include "core/TextUtil.h"

#include <QStringDecoder>
#include <QTest>

using namespace mv;

class TextUtilTest : public QObject {
    Q_OBJECT
private slots:
    void substrings_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mid plain") << "mid" << 2 << 3 << "abcdef" << "bcd";
        QTest::newRow("mid start below 1") << "mid" << -4 << 2 << "abcdef" << "ab";
        QTest::newRow("mid negative count") << "mid" << 2 << -1 << "abcdef" << "";
        QTest::newRow("mid beyond end") << "mid" << 7 << 1 << "abcdef" << "";
        QTest::newRow("mid past end stops") << "mid" << 5 << 99 << "abcdef" << "ef";
        QTest::newRow("from") << "from" << 3 << 0 << "abcdef" << "cdef";
        QTest::newRow("from 0") << "from" << 0 << 0 << "abc" << "abc";
        QTest::newRow("between") << "between" << 2 << 4 << "abcdef" << "bcd";
        QTest::newRow("between to<from") << "between" << 4 << 2 << "abcdef" << "";
        QTest::newRow("between past end") << "between" << 5 << 40 << "abcdef" << "ef";
        QTest::newRow("left") << "left" << 2 << 0 << "abcdef" << "ab";
        QTest::newRow("left negative") << "left" << -2 << 0 << "abcdef" << "";
        QTest::newRow("left too long") << "left" << 10 << 0 << "abc" << "abc";
        QTest::newRow("right") << "right" << 2 << 0 << "abcdef" << "ef";
        QTest::newRow("right too long") << "right" << 10 << 0 << "abc" << "abc";
        QTest::newRow("reverse umlauts") << "reverse" << 0 << 0 << "Bär" << "räB";
    }
    void substrings()
    {
        QFETCH(QString, routine);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, s);
        QFETCH(QString, expected);
        QString r;
        if (routine == "mid") r = StrMid(s, a, b);
        else if (routine == "from") r = StrFrom(s, a);
        else if (routine == "between") r = StrBetween(s, a, b);
        else if (routine == "left") r = StrLeft(s, a);
        else if (routine == "right") r = StrRight(s, a);
        else r = StrReverse(s);
        QCOMPARE(r, expected);
    }

    void positions_data()
    {
        QTest::addColumn<bool>("last");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("sub");
        QTest::addColumn<int>("expected");
        QTest::newRow("PosFrom start 0") << false << 0 << "abc" << "c" << 3;
        QTest::newRow("PosFrom later") << false << 4 << "abcabc" << "bc" << 5;
        QTest::newRow("PosFrom none") << false << 1 << "abc" << "x" << 0;
        QTest::newRow("PosFrom empty sub") << false << 1 << "abc" << "" << 0;
        QTest::newRow("PosFrom case") << false << 1 << "abc" << "B" << 0;
        QTest::newRow("PosFrom beyond") << false << 9 << "abc" << "c" << 0;
        QTest::newRow("LastPosFrom") << true << 1 << "abcabc" << "bc" << 5;
        QTest::newRow("LastPosFrom before start") << true << 6 << "abcabc" << "bc" << 0;
        QTest::newRow("LastPosFrom at start") << true << 5 << "abcabc" << "bc" << 5;
        QTest::newRow("LastPosFrom none") << true << 1 << "abc" << "x" << 0;
    }
    void positions()
    {
        QFETCH(bool, last);
        QFETCH(int, start);
        QFETCH(QString, s);
        QFETCH(QString, sub);
        QFETCH(int, expected);
        QCOMPARE(last ? LastPosFrom(start, s, sub) : PosFrom(start, s, sub), expected);
    }

    void replaceAndSafeName()
    {
        QCOMPARE(ReplaceAll("a.b.c", ".", ".."), QString("a..b..c"));
        QCOMPARE(ReplaceAll("aaa", "a", "aa"), QString("aaaaaa"));
        QCOMPARE(ReplaceAll("abc", "", "x"), QString("abc"));
        QCOMPARE(ReplaceAll("Abc", "a", "x"), QString("Abc"));
        QCOMPARE(SafeName("Bürostühle & Co #1"), QString("B_rost_hle___Co__1"));
        QCOMPARE(SafeName("ÄÖÜäöüß"), QString("_______"));
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("intValue");
        QTest::newRow("point") << "12.5" << 12.5 << 12;
        QTest::newRow("comma") << "12,5" << 12.5 << 12;
        QTest::newRow("comma trunc") << "12,9" << 12.9 << 12;
        QTest::newRow("negative") << "-3.7" << -3.7 << -3;
        QTest::newRow("zero") << "0" << 0.0 << 0;
        QTest::newRow("zero comma") << "0,00" << 0.0 << 0;
        QTest::newRow("comma three digits") << "1,234" << 1.234 << 1;
        QTest::newRow("grouped german") << "1.234,56" << 1234.56 << 1234;
        QTest::newRow("grouped commas") << "1,234,56" << 1234.56 << 1234;
        QTest::newRow("grouped millions") << "1.234.567,89" << 1234567.89 << 1234567;
        QTest::newRow("blanks") << "  42 " << 42.0 << 42;
        QTest::newRow("exponent") << "1.5E3" << 1500.0 << 1500;
        QTest::newRow("empty") << "" << 0.0 << 0;
        QTest::newRow("garbage") << "abc" << 0.0 << 0;
        QTest::newRow("digits then garbage") << "12abc" << 12.0 << 12;
        QTest::newRow("huge") << "1e30" << 1e30 << 2147483647;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(int, intValue);
        QVERIFY2(qAbs(StrToFloatX(text) - value) < 1e-9 * qMax(1.0, qAbs(value)),
                 qPrintable(QString::number(StrToFloatX(text), 'g', 17)));
        QCOMPARE(StrToIntX(text), intValue);
    }

    void sqlNumbers()
    {
        QCOMPARE(FloatToSqlStr(2, 1234.5), QString("1234.50"));
        QCOMPARE(FloatToSqlStr(2, -0.001), QString("0.00"));
        QCOMPARE(FloatToSqlStr(2, 1234567.891), QString("1234567.89"));
        QCOMPARE(FloatToSqlStr(0, 2.0), QString("2"));
        QCOMPARE(FloatToSqlStr(2, qQNaN()), QString());
        QCOMPARE(FloatToSqlStr(2, qInf()), QString());
        Settings() = ShopSettings();
        QCOMPARE(LimitSql(-1, 30), QString("LIMIT 30"));
        QCOMPARE(LimitSql(60, 30), QString("LIMIT 60,30"));
        QCOMPARE(LimitSql(0, 30), QString("LIMIT 0,30"));
    }

    void twoDigitYears_data()
    {
        QTest::addColumn<int>("yy");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("year");
        QTest::newRow("recent") << 26 << 2026 << 2026;
        QTest::newRow("upper end") << 60 << 2026 << 2060;
        QTest::newRow("lower end") << 61 << 2026 << 1961;
        QTest::newRow("99") << 99 << 2026 << 1999;
        QTest::newRow("00") << 0 << 2026 << 2000;
        QTest::newRow("other year") << 35 << 2000 << 1935;
        QTest::newRow("other year upper") << 34 << 2000 << 2034;
    }
    void twoDigitYears()
    {
        QFETCH(int, yy);
        QFETCH(int, current);
        QFETCH(int, year);
        QCOMPARE(ExpandTwoDigitYear(yy, current), year);
    }

    void ansi()
    {
        const QString s = QStringLiteral("Grüße € „x“ ÄÖÜ");
        const QByteArray b = ToAnsi(s);
        QCOMPARE(b.size(), s.size());
        QCOMPARE(quint8(b.at(2)), quint8(0xFC));
        QCOMPARE(quint8(b.at(6)), quint8(0x80));
        QCOMPARE(FromAnsi(b), s);
    }

    // The one code page table against the platform's converter, every byte.
    void ansiTable()
    {
        QStringDecoder dec("windows-1252", QStringDecoder::Flag::Stateless);
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        const QString ref = dec.decode(all);
        QCOMPARE(ref.size(), 256);
        for (int b = 0; b < 256; ++b) {
            QCOMPARE(AnsiToUnicode(uchar(b)), ref.at(b).unicode());
            QCOMPARE(int(UnicodeToAnsi(ref.at(b).unicode())), b);
        }
        QCOMPARE(FromAnsi(all), ref);
        QCOMPARE(ToAnsi(ref), all);
    }

    void ansiEncode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("umlauts") << QString::fromUtf8("Grüße") << QByteArray("Gr\xfc\xdf" "e");
        QTest::newRow("euro and quotes") << QString::fromUtf8("€„“") << QByteArray("\x80\x84\x93");
        QTest::newRow("outside the code page") << QString::fromUtf8("aΩb") << QByteArray("a?b");
        QTest::newRow("surrogate pair is one character") << QString::fromUtf8("a😀b") << QByteArray("a?b");
        QTest::newRow("lone surrogate") << (QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b")) << QByteArray("a?b");
        QTest::newRow("C1 control without a byte") << QString(QChar(0x80)) << QByteArray("?");
        QTest::newRow("C1 control with its byte") << QString(QChar(0x81)) << QByteArray("\x81");
        QTest::newRow("NUL stays") << QString(QChar(0)) << QByteArray(1, '\0');
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void ansiEncode()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToAnsi(text), bytes);
        if (!bytes.contains('?'))
            QCOMPARE(FromAnsi(bytes), text);
    }

    void ansiCharsetNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("ansi");
        QTest::newRow("windows-1252") << QByteArray("windows-1252") << true;
        QTest::newRow("upper case, blanks") << QByteArray(" CP1252 ") << true;
        QTest::newRow("MySQL latin1") << QByteArray("latin1") << true;
        QTest::newRow("ISO-8859-1 of web pages") << QByteArray("ISO-8859-1") << true;
        QTest::newRow("ISO-8859-15 differs") << QByteArray("iso-8859-15") << false;
        QTest::newRow("UTF-8") << QByteArray("utf-8") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void ansiCharsetNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, ansi);
        QCOMPARE(IsAnsiCharset(name), ansi);
    }
};

QTEST_GUILESS_MAIN(TextUtilTest)
#include "tst_TextUtil.moc"
