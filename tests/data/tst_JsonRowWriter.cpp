// The JSON lines every record-printing command writes: one table of typed
// values, the exact text each gives, and rows that a JSON reader accepts.

#include "data/JsonRowWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cfloat>
#include <limits>

using namespace mv;

class TstJsonRowWriter : public QObject {
    Q_OBJECT
private slots:
    void values_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("json");
        const int S = int(FieldType::String), I = int(FieldType::Integer), L = int(FieldType::LargeInt),
                  F = int(FieldType::Float);

        QTest::newRow("null text") << S << QVariant() << QByteArray("null");
        QTest::newRow("empty text") << S << QVariant(QString()) << QByteArray("\"\"");
        QTest::newRow("umlauts and euro") << S << QVariant(QString::fromUtf8("Grüße € „x“")) << QByteArray("\"Grüße € „x“\"");
        QTest::newRow("escapes") << S << QVariant(QStringLiteral("a\"b\\c\r\n\t\x01\x1f/"))
                                 << QByteArray("\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u001f/\"");
        QTest::newRow("apostrophe") << int(FieldType::Memo) << QVariant(QStringLiteral("O'Brien")) << QByteArray("\"O'Brien\"");
        QTest::newRow("outside the BMP") << S << QVariant(QString::fromUtf8("😀")) << QByteArray("\"😀\"");

        QTest::newRow("integer") << I << QVariant(-42) << QByteArray("-42");
        QTest::newRow("unsigned above 2^31") << I << QVariant(quint32(4294967295u)) << QByteArray("4294967295");
        QTest::newRow("2^53 + 1") << L << QVariant(qint64(9007199254740993LL)) << QByteArray("9007199254740993");
        QTest::newRow("int64 max") << L << QVariant(std::numeric_limits<qint64>::max()) << QByteArray("9223372036854775807");
        QTest::newRow("int64 min") << L << QVariant(std::numeric_limits<qint64>::min()) << QByteArray("-9223372036854775808");
        QTest::newRow("uint64 max") << L << QVariant(std::numeric_limits<quint64>::max()) << QByteArray("18446744073709551615");
        QTest::newRow("uint64 as text") << L << QVariant(QStringLiteral("18446744073709551615")) << QByteArray("18446744073709551615");
        QTest::newRow("text in an integer field") << I << QVariant(QStringLiteral("zwölf")) << QByteArray("\"zwölf\"");
        QTest::newRow("fraction in an integer field") << I << QVariant(2.5) << QByteArray("2.5");
        QTest::newRow("auto-increment") << int(FieldType::AutoInc) << QVariant(7) << QByteArray("7");

        QTest::newRow("price") << F << QVariant(234.64) << QByteArray("234.64");
        QTest::newRow("sum with binary error") << F << QVariant(0.1 + 0.2) << QByteArray("0.30000000000000004");
        QTest::newRow("whole number") << int(FieldType::Currency) << QVariant(19.0) << QByteArray("19");
        QTest::newRow("negative zero") << F << QVariant(-0.0) << QByteArray("-0");
        QTest::newRow("small") << F << QVariant(1e-7) << QByteArray("1e-07");
        QTest::newRow("large") << F << QVariant(1e21) << QByteArray("1e+21");
        QTest::newRow("float stays short") << F << QVariant(0.1f) << QByteArray("0.1");
        QTest::newRow("BCD as text") << int(FieldType::BCD) << QVariant(QStringLiteral("12.50")) << QByteArray("12.5");
        QTest::newRow("NaN") << F << QVariant(std::numeric_limits<double>::quiet_NaN()) << QByteArray("null");
        QTest::newRow("infinity") << F << QVariant(-std::numeric_limits<double>::infinity()) << QByteArray("null");

        QTest::newRow("true") << int(FieldType::Boolean) << QVariant(true) << QByteArray("true");
        QTest::newRow("false") << int(FieldType::Boolean) << QVariant(false) << QByteArray("false");

        QTest::newRow("date") << int(FieldType::Date) << QVariant(QDate(2026, 12, 9)) << QByteArray("\"2026-12-09\"");
        QTest::newRow("date of a date-time") << int(FieldType::Date) << QVariant(QDateTime(QDate(2026, 1, 2), QTime(23, 59)))
                                             << QByteArray("\"2026-01-02\"");
        QTest::newRow("invalid date") << int(FieldType::Date) << QVariant(QDate(2024, 2, 30)) << QByteArray("null");
        QTest::newRow("time") << int(FieldType::Time) << QVariant(QTime(7, 5, 3, 250)) << QByteArray("\"07:05:03.250\"");
        QTest::newRow("date-time") << int(FieldType::DateTime) << QVariant(QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15, 250)))
                                   << QByteArray("\"2026-12-09T10:30:15.250\"");
        QTest::newRow("date-time from a date") << int(FieldType::DateTime) << QVariant(QDate(2026, 12, 9))
                                               << QByteArray("\"2026-12-09T00:00:00.000\"");
        QTest::newRow("invalid date-time") << int(FieldType::DateTime) << QVariant(QDateTime()) << QByteArray("null");

        QTest::newRow("graphic") << int(FieldType::Graphic) << QVariant(QByteArray("\x01\x02", 2)) << QByteArray("\"AQI=\"");
        QTest::newRow("empty blob") << int(FieldType::Blob) << QVariant(QByteArray("")) << QByteArray("\"\"");
    }
    void values()
    {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, json);
        const QByteArray got = JsonRowWriter::Value(FieldType(type), value);
        QCOMPARE(got, json);
        // Whatever comes out is a JSON value.
        QJsonParseError e;
        QJsonDocument::fromJson("[" + got + "]", &e);
        QCOMPARE(e.error, QJsonParseError::NoError);
    }

    void floatsReadBack_data()
    {
        QTest::addColumn<double>("x");
        QTest::newRow("a third") << 1.0 / 3.0;
        QTest::newRow("price") << 234.64;
        QTest::newRow("largest") << DBL_MAX;
        QTest::newRow("smallest normal") << DBL_MIN;
        QTest::newRow("smallest subnormal") << 5e-324;
        QTest::newRow("negative") << -9876.54321;
        QTest::newRow("2^53 + 2") << 9007199254740994.0;
    }
    void floatsReadBack()
    {
        QFETCH(double, x);
        const QByteArray text = JsonRowWriter::Value(FieldType::Float, x);
        QCOMPARE(QJsonDocument::fromJson("[" + text + "]").array().at(0).toDouble(), x);
        QCOMPARE(text.toDouble(), x);
    }

    void rows()
    {
        const JsonRowWriter w({{QStringLiteral("Nr"), FieldType::Integer},
                               {QStringLiteral("Name \"Zitat\""), FieldType::String, 20},
                               {QStringLiteral("Preis"), FieldType::Currency}});
        QCOMPARE(w.Row({1, QStringLiteral("Müller"), 9.99}),
                 QByteArray("{\"Nr\":1,\"Name \\\"Zitat\\\"\":\"Müller\",\"Preis\":9.99}"));
        // Missing trailing values are null, not left out.
        QCOMPARE(w.Row({2}), QByteArray("{\"Nr\":2,\"Name \\\"Zitat\\\"\":null,\"Preis\":null}"));
        QByteArray out = "x";
        w.AppendRow(out, {QVariant(), QString(), QVariant()});
        QCOMPARE(out, QByteArray("x{\"Nr\":null,\"Name \\\"Zitat\\\"\":\"\",\"Preis\":null}"));
        const QJsonObject o = QJsonDocument::fromJson(w.Row({3, QStringLiteral("a\nb"), 0.5})).object();
        QCOMPARE(o.keys().size(), 3);
        QCOMPARE(o.value(QStringLiteral("Name \"Zitat\"")).toString(), QStringLiteral("a\nb"));
    }
};

QTEST_GUILESS_MAIN(TstJsonRowWriter)
#include "tst_JsonRowWriter.moc"
