// SetNumericFormat, IndexOfText and SplitText.

#include "data/DatasetUtil.h"
#include "data/MemTable.h"

#include <QtTest>

using namespace mv;

class TstDatasetUtil : public QObject {
    Q_OBJECT
private slots:
    void numericFormat()
    {
        MemTable t;
        t.CreateDataSet({{"VK1", FieldType::Float}, {"Menge", FieldType::Integer}, {"Name", FieldType::String, 10},
                         {"Datum", FieldType::Date}});
        const QString fmt = QStringLiteral("#,###,###,##0.00");
        for (int i = 0; i < t.FieldCount(); ++i)
            SetNumericFormat(t.FieldAt(i), fmt);
        SetNumericFormat(nullptr, fmt);
        QCOMPARE(t.FieldAt(0)->DisplayFormat, fmt);
        QCOMPARE(t.FieldAt(0)->EditFormat, fmt);
        QCOMPARE(t.FieldAt(1)->DisplayFormat, fmt);
        QVERIFY(t.FieldAt(2)->DisplayFormat.isEmpty());
        QVERIFY(t.FieldAt(3)->DisplayFormat.isEmpty());
        t.Append();
        t.FieldAt(0)->SetAsString(QStringLiteral("1.234,5"));
        QCOMPARE(t.FieldAt(0)->DisplayText(), QStringLiteral("1.234,50"));
        // The edit text reads back to the same value.
        t.FieldAt(0)->SetAsString(t.FieldAt(0)->EditText());
        QCOMPARE(t.FieldAt(0)->AsFloat(), 1234.5);
        t.Cancel();
    }

    void indexOfText_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        const QStringList l{" Apfel", "birne ", "Straße", "", "BIRNE"};
        QTest::newRow("trimmed and case") << l << "APFEL" << 0;
        QTest::newRow("first match") << l << " Birne" << 1;
        QTest::newRow("umlaut and sharp s") << l << QString::fromUtf8("STRAßE") << 2;
        QTest::newRow("sharp s is no SS") << l << "STRASSE" << -1;
        QTest::newRow("blank finds empty") << l << "   " << 3;
        QTest::newRow("missing") << l << "Kiwi" << -1;
        QTest::newRow("empty list") << QStringList() << "a" << -1;
    }
    void indexOfText()
    {
        QFETCH(QStringList, list);
        QFETCH(QString, text);
        QFETCH(int, index);
        QCOMPARE(IndexOfText(list, text), index);
    }

    void splitText_data()
    {
        QTest::addColumn<int>("maxIndex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delim");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("three parts") << 5 << "a;b;c" << ";" << QStringList{"a", "b", "c"};
        QTest::newRow("limit keeps the rest") << 1 << "a;b;c" << ";" << QStringList{"a", "b;c"};
        QTest::newRow("only one part") << 0 << "a;b" << ";" << QStringList{"a;b"};
        QTest::newRow("no delimiter") << 3 << "abc" << ";" << QStringList{"abc"};
        QTest::newRow("blank text") << 3 << "   " << ";" << QStringList{};
        QTest::newRow("empty parts") << 5 << ";x;" << ";" << QStringList{"", "x", ""};
        QTest::newRow("long delimiter") << 5 << "1, 2, 3" << ", " << QStringList{"1", "2", "3"};
        QTest::newRow("negative max") << -1 << "a;b" << ";" << QStringList{};
    }
    void splitText()
    {
        QFETCH(int, maxIndex);
        QFETCH(QString, text);
        QFETCH(QString, delim);
        QFETCH(QStringList, parts);
        QStringList out{"alt"};
        QCOMPARE(SplitText(out, maxIndex, text, delim), int(parts.size()));
        QCOMPARE(out, parts);
    }
};

QTEST_GUILESS_MAIN(TstDatasetUtil)
#include "tst_DatasetUtil.moc"
