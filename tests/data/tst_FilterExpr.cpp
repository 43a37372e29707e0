// Filter expressions on a small table: null rules, precedence, dates,
// literals and error positions.

#include "data/FilterExpr.h"
#include "data/MemTable.h"

#include <QtTest>

using namespace mv;

class TstFilterExpr : public QObject {
    Q_OBJECT
private:
    MemTable t;
    QString visibleNrs(const QString &expr)
    {
        t.SetFilter(expr);
        t.SetFiltered(true);
        QStringList out;
        for (t.First(); !t.Eof(); t.Next())
            out << t.FieldByName(QStringLiteral("Nr"))->AsString();
        t.SetFiltered(false);
        return out.join(QLatin1Char(','));
    }

private slots:
    void initTestCase()
    {
        t.CreateDataSet({{"Nr", FieldType::Integer},
                         {"Name", FieldType::String, 40},
                         {"ART", FieldType::Integer},
                         {"Preis", FieldType::Float},
                         {"Internet", FieldType::Boolean},
                         {"Update", FieldType::DateTime},
                         {"Datum", FieldType::Date}});
        const QVariant null;
        auto dt = [](int d, int h, int m, int s = 0, int ms = 0) { return QDateTime(QDate(2026, 12, d), QTime(h, m, s, ms)); };
        t.AppendRawRow({1, "Apfel", 100, 1.5, true, dt(1, 10, 30), QDate(2026, 12, 1)});
        t.AppendRawRow({2, "", null, null, null, null, null});
        t.AppendRawRow({3, null, 250, 3.0, false, dt(5, 0, 0), QDate(2026, 12, 5)});
        t.AppendRawRow({4, "birne", 199, 2.25, true, QDateTime(QDate(2026, 11, 30), QTime(23, 59, 59)), QDate(2026, 11, 30)});
        t.AppendRawRow({5, "O'Neil", 200, 0.0, false, dt(9, 10, 30, 15, 250), QDate(2026, 12, 9)});
        t.RawRowsDone();
    }

    void cases_data()
    {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<QString>("rows");
        // NULL sorts below every value: an empty ART passes "ART<200".
        QTest::newRow("null numeric passes <") << "ART<200" << "1,2,4";
        QTest::newRow("null numeric fails >=") << "ART>=200" << "3,5";
        QTest::newRow("null numeric <> number") << "Preis<>0" << "1,2,3,4";
        QTest::newRow("null numeric = number") << "ART=0" << "";
        // On text NULL and '' are the same.
        QTest::newRow("text <> empty drops null and empty") << "Name<>''" << "1,4,5";
        QTest::newRow("text = empty") << "Name=''" << "2,3";
        QTest::newRow("text = is case-sensitive") << "Name='apfel'" << "";
        QTest::newRow("text =") << "Name='Apfel'" << "1";
        QTest::newRow("doubled apostrophe") << "Name='O''Neil'" << "5";
        QTest::newRow("text ordering case-sensitive") << "Name>='b'" << "4";
        QTest::newRow("bool WAHR") << "Internet=WAHR" << "1,4";
        QTest::newRow("bool FALSCH") << "Internet=FALSCH" << "3,5";
        QTest::newRow("bool <> TRUE keeps null") << "Internet<>TRUE" << "2,3,5";
        QTest::newRow("bare bool field") << "Internet" << "1,4";
        QTest::newRow("NOT bare bool") << "NOT Internet" << "2,3,5";
        QTest::newRow("and/or: AND binds tighter") << "ART=100 OR ART=199 AND Preis>5" << "1";
        QTest::newRow("parentheses change it") << "(ART=100 OR ART=199) AND Preis>2" << "4";
        QTest::newRow("or of ands") << "ART=250 AND Preis=3 OR Name='birne' AND Internet=TRUE" << "3,4";
        QTest::newRow("NOT binds tighter than AND") << "NOT ART<200 AND Preis>1" << "3";
        QTest::newRow("NOT of group") << "NOT (ART<200)" << "3,5";
        QTest::newRow("nested parentheses") << "((ART=100) OR ((Preis=3)))" << "1,3";
        QTest::newRow("transfer filter") << "(Name<>'') AND (Internet<>WAHR) AND ART<201" << "5";
        QTest::newRow("date >= short date") << "Update>='01.12.2026'" << "1,3,5";
        QTest::newRow("date < short date keeps null") << "Update<'01.12.2026'" << "2,4";
        QTest::newRow("date-time seconds") << "Update>='09.12.2026 10:30:15'" << "5";
        QTest::newRow("date-time milliseconds") << "Update>'09.12.2026 10:30:15.250'" << "";
        QTest::newRow("date-time minutes or date") << "(Update>='01.12.2026 10:30') OR (Update>'04.12.2026')" << "1,3,5";
        QTest::newRow("two-digit year") << "Datum='30.11.26'" << "4";
        QTest::newRow("iso date") << "Datum>'2026-12-04'" << "3,5";
        QTest::newRow("float literal") << "Preis>=1.5" << "1,3,4";
        QTest::newRow("float as text with comma") << "Preis='2,25'" << "4";
        QTest::newRow("negative number") << "Preis>-1 AND Preis<1" << "5";
        QTest::newRow("literal first") << "200>ART" << "1,2,4";
        QTest::newRow("IS NULL") << "ART IS NULL" << "2";
        QTest::newRow("IS NOT NULL") << "ART IS NOT NULL" << "1,3,4,5";
        QTest::newRow("= NULL") << "ART = NULL" << "2";
        QTest::newRow("text IS NULL covers empty") << "Name IS NULL" << "2,3";
        QTest::newRow("bracketed name") << "[Name]='Apfel'" << "1";
        QTest::newRow("quoted name") << "\"ART\"=100" << "1";
        QTest::newRow("field names ignore case") << "art=100 and NAME='Apfel'" << "1";
        QTest::newRow("field against field") << "Preis<ART" << "1,3,4,5";
        QTest::newRow("constant true") << "1=1" << "1,2,3,4,5";
        QTest::newRow("!= operator") << "ART!=100 AND ART<>250" << "2,4,5";
        QTest::newRow("empty filter") << "" << "1,2,3,4,5";
    }
    void cases()
    {
        QFETCH(QString, expr);
        QFETCH(QString, rows);
        QCOMPARE(visibleNrs(expr), rows);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<QString>("part"); // must appear in the message
        QTest::newRow("missing operand") << "ART<" << "Position 5";
        QTest::newRow("unclosed parenthesis") << "(ART<200" << "Position 9";
        QTest::newRow("unclosed string") << "Name='abc" << "Position 6";
        QTest::newRow("single apostrophe inside") << "Name='O'Neil'" << "Position 13";
        QTest::newRow("unknown field") << "Unbekannt=1" << "Unbekannt";
        QTest::newRow("trailing token") << "ART<200 Name" << "Position 9";
        QTest::newRow("bad date") << "Update>='32.13.2026'" << "32.13.2026";
        QTest::newRow("text for number") << "ART<>'abc'" << "abc";
        QTest::newRow("bad character") << "ART<200 ; Name=''" << "Position 9";
        QTest::newRow("dangling AND") << "ART<200 AND" << "Position 12";
        QTest::newRow("nesting too deep") << QString(5000, QLatin1Char('(')) + "ART<200" << "verschachtelt";
        QTest::newRow("OR chain too long") << QStringLiteral("ART=1 OR ").repeated(6000) + "ART=2" << "zu lang";
        QTest::newRow("NOT chain too deep") << QStringLiteral("NOT ").repeated(5000) + "ART<200" << "verschachtelt";
    }
    void errors()
    {
        QFETCH(QString, expr);
        QFETCH(QString, part);
        t.SetFilter(QString());
        try {
            t.SetFilter(expr);
            t.SetFiltered(true);
            QFAIL("no error");
        } catch (const DatasetError &e) {
            QVERIFY2(e.message().contains(part), qPrintable(e.message()));
        }
        t.SetFiltered(false);
        t.SetFilter(QString());
    }

    void syntaxCheckedBeforeOpen()
    {
        MemTable closed;
        QVERIFY_THROWS_EXCEPTION(DatasetError, closed.SetFilter(QStringLiteral("A=")));
        closed.SetFilter(QStringLiteral("A=1")); // fields are checked at open
        closed.SetFiltered(true);
        closed.SetFieldDefList({{"B", FieldType::Integer}});
        QVERIFY_THROWS_EXCEPTION(DatasetError, closed.Open());
        QVERIFY(!closed.Active());
    }

    void evaluatorWithCallback()
    {
        // The evaluator works on any row source (the WaWi engine uses it too).
        auto e = FilterExpr::Compile(QStringLiteral("A<200 AND B<>''"), [](const QString &n) -> std::optional<FilterExpr::FieldRef> {
            if (n == QLatin1String("A"))
                return FilterExpr::FieldRef{0, FieldType::SmallInt};
            if (n == QLatin1String("B"))
                return FilterExpr::FieldRef{1, FieldType::String};
            return std::nullopt;
        });
        QVector<QVariant> row{QVariant(), QStringLiteral("x")};
        QVERIFY(e->Evaluate([&](int i) { return row[i]; }));
        row[1] = QString();
        QVERIFY(!e->Evaluate([&](int i) { return row[i]; }));
        QCOMPARE(e->UsedFields(), (QVector<int>{0, 1}));
    }

    void speed()
    {
        // Per-record evaluation must stay cheap for 100,000 WaWi records.
        MemTable big;
        big.SetFieldDefList({{"Bezeichnung", FieldType::String, 40}, {"Internet", FieldType::Boolean},
                             {"ART", FieldType::Integer}, {"Update", FieldType::DateTime}});
        for (int i = 0; i < 100000; ++i)
            big.AppendRawRow({i % 7 ? QVariant(QStringLiteral("Gruppe %1").arg(i)) : QVariant(), i % 2 == 0,
                              i % 300, QDateTime(QDate(2026, 1, 1).addDays(i % 365), QTime(12, 0))});
        big.Open();
        QElapsedTimer timer;
        timer.start();
        big.SetFilter(QStringLiteral("(Bezeichnung<>'') AND (Internet<>WAHR) AND ART<200 AND (Update>='01.06.2026')"));
        big.SetFiltered(true);
        const qint64 ms = timer.elapsed();
        qInfo() << "100000 rows filtered in" << ms << "ms," << big.RecordCount() << "visible";
        QVERIFY(big.RecordCount() > 0);
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
    }
};

QTEST_GUILESS_MAIN(TstFilterExpr)
#include "tst_FilterExpr.moc"
