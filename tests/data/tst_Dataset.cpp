// The cursor and state machine of every dataset, exercised on a MemTable:
// navigation, edit/insert/delete/cancel, events, bookmarks, Locate, values.

#include "data/MemTable.h"

#include <QSignalSpy>
#include <QtTest>

#include <limits>

using namespace mv;

namespace {
QVector<FieldDef> defs()
{
    return {{"Nr", FieldType::Integer}, {"Name", FieldType::String, 10}, {"Preis", FieldType::Float},
            {"Datum", FieldType::DateTime}, {"Aktiv", FieldType::Boolean}};
}

void fill(MemTable &t, int n)
{
    t.CreateDataSet(defs());
    for (int i = 1; i <= n; ++i)
        t.AppendRawRow({i, QStringLiteral("N%1").arg(i), i * 1.5, QVariant(), i % 2 == 1});
    t.RawRowsDone();
}

QString names(MemTable &t)
{
    QStringList out;
    const QVariant bm = t.Bookmark();
    for (t.First(); !t.Eof(); t.Next())
        out << t.FieldByName(QStringLiteral("Name"))->AsString();
    t.GotoBookmark(bm);
    return out.join(QLatin1Char(','));
}
}

class TstDataset : public QObject {
    Q_OBJECT
private slots:
    void navigation_data()
    {
        // steps: F first, L last, N next, P prior, +k/-k MoveBy, =k RecNo
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("recNo");
        QTest::addColumn<bool>("bof");
        QTest::addColumn<bool>("eof");
        QTest::newRow("empty first") << 0 << "F" << 0 << true << true;
        QTest::newRow("empty next") << 0 << "F N" << 0 << true << true;
        QTest::newRow("first") << 3 << "F" << 1 << true << false;
        QTest::newRow("first next") << 3 << "F N" << 2 << false << false;
        QTest::newRow("next past end") << 3 << "F N N N" << 3 << false << true;
        QTest::newRow("last") << 3 << "L" << 3 << false << true;
        QTest::newRow("last prior") << 3 << "L P" << 2 << false << false;
        QTest::newRow("prior past start") << 3 << "F P" << 1 << true << false;
        QTest::newRow("moveby clamps end") << 3 << "F +5" << 3 << false << true;
        QTest::newRow("moveby clamps start") << 3 << "L -5" << 1 << true << false;
        QTest::newRow("moveby exact") << 5 << "F +2" << 3 << false << false;
        QTest::newRow("set recno") << 5 << "=4" << 4 << false << false;
        QTest::newRow("set recno beyond") << 5 << "=9" << 5 << false << false;
        QTest::newRow("single row next") << 1 << "F N" << 1 << true << true;
    }
    void navigation()
    {
        QFETCH(int, rows);
        QFETCH(QString, steps);
        QFETCH(int, recNo);
        QFETCH(bool, bof);
        QFETCH(bool, eof);
        MemTable t;
        fill(t, rows);
        for (const QString &s : steps.split(QLatin1Char(' '))) {
            if (s == QLatin1String("F")) t.First();
            else if (s == QLatin1String("L")) t.Last();
            else if (s == QLatin1String("N")) t.Next();
            else if (s == QLatin1String("P")) t.Prior();
            else if (s.startsWith(QLatin1Char('='))) t.SetRecNo(s.mid(1).toInt());
            else t.MoveBy(s.toInt());
        }
        QCOMPARE(t.RecNo(), recNo);
        QCOMPARE(t.Bof(), bof);
        QCOMPARE(t.Eof(), eof);
    }

    void moveByReturnsDistance()
    {
        MemTable t;
        fill(t, 5);
        QCOMPARE(t.MoveBy(3), 3);
        QCOMPARE(t.MoveBy(3), 1);
        QCOMPARE(t.MoveBy(-10), -4);
    }

    void closedTable()
    {
        MemTable t;
        fill(t, 3);
        t.Close();
        QCOMPARE(t.RecNo(), 0);
        t.SetRecNo(2); // no effect, no error
        QCOMPARE(t.RecNo(), 0);
        QCOMPARE(t.RecordCount(), 0);
        QVERIFY(t.FieldByName(QStringLiteral("Nr"))->IsNull());
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.First());
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.Edit());
    }

    void loopVisitsEveryRow()
    {
        MemTable t;
        fill(t, 4);
        int n = 0, sum = 0;
        for (t.First(); !t.Eof(); t.Next()) {
            ++n;
            sum += t.FieldByName(QStringLiteral("Nr"))->AsInteger();
        }
        QCOMPARE(n, 4);
        QCOMPARE(sum, 10);
    }

    void editing_data()
    {
        // ops: E edit, I insert, A append, S:v set Name, P post, C cancel,
        // D delete, G:k go to RecNo k
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QString>("result");   // names in order
        QTest::addColumn<int>("recNo");        // afterwards
        QTest::addColumn<bool>("changed");
        QTest::newRow("edit post") << "G:2 E S:x P" << "N1,x,N3" << 2 << true;
        QTest::newRow("edit cancel") << "G:2 E S:x C" << "N1,N2,N3" << 2 << false;
        QTest::newRow("insert before current") << "G:2 I S:x P" << "N1,x,N2,N3" << 2 << true;
        QTest::newRow("insert at first") << "G:1 I S:x P" << "x,N1,N2,N3" << 1 << true;
        QTest::newRow("append") << "G:1 A S:x P" << "N1,N2,N3,x" << 4 << true;
        QTest::newRow("insert cancel") << "G:2 I S:x C" << "N1,N2,N3" << 2 << false;
        QTest::newRow("delete middle") << "G:2 D" << "N1,N3" << 2 << true;
        QTest::newRow("delete last") << "G:3 D" << "N1,N2" << 2 << true;
        QTest::newRow("delete while inserting cancels") << "G:2 I S:x D" << "N1,N2,N3" << 2 << false;
        QTest::newRow("delete while editing drops edit") << "G:2 E S:x D" << "N1,N3" << 2 << true;
        QTest::newRow("navigation posts a modified edit") << "G:1 E S:x G:3" << "x,N2,N3" << 3 << true;
        QTest::newRow("navigation drops an untouched insert") << "G:1 A G:2" << "N1,N2,N3" << 2 << false;
        QTest::newRow("explicit post of untouched append") << "A P" << "N1,N2,N3," << 4 << true;
        QTest::newRow("long text cut to size") << "G:1 E S:abcdefghijklmnop P" << "abcdefghij,N2,N3" << 1 << true;
    }
    void editing()
    {
        QFETCH(QString, ops);
        QFETCH(QString, result);
        QFETCH(int, recNo);
        QFETCH(bool, changed);
        MemTable t;
        fill(t, 3);
        for (const QString &op : ops.split(QLatin1Char(' '))) {
            if (op == QLatin1String("E")) t.Edit();
            else if (op == QLatin1String("I")) t.Insert();
            else if (op == QLatin1String("A")) t.Append();
            else if (op == QLatin1String("P")) t.Post();
            else if (op == QLatin1String("C")) t.Cancel();
            else if (op == QLatin1String("D")) t.Delete();
            else if (op.startsWith(QLatin1String("S:"))) t.FieldByName(QStringLiteral("Name"))->SetAsString(op.mid(2));
            else if (op.startsWith(QLatin1String("G:"))) t.SetRecNo(op.mid(2).toInt());
        }
        QCOMPARE(t.GetState(), Dataset::State::Browse);
        QCOMPARE(t.RecNo(), recNo);
        QCOMPARE(names(t), result);
        QCOMPARE(t.ChangedSinceOpen(), changed);
    }

    void editOnEmptyInserts()
    {
        MemTable t;
        fill(t, 0);
        t.Edit();
        QCOMPARE(t.GetState(), Dataset::State::Insert);
        t.FieldByName(QStringLiteral("Nr"))->SetAsInteger(7);
        t.Post();
        QCOMPARE(t.RecordCount(), 1);
    }

    void setValueNeedsEditState()
    {
        MemTable t;
        fill(t, 1);
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("x")));
        t.Edit();
        try {
            t.FieldByName(QStringLiteral("Nr"))->SetAsString(QStringLiteral("zwölf"));
            QFAIL("no error");
        } catch (const DatasetError &e) {
            QVERIFY(e.message().contains(QLatin1String("Nr")));
        }
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.FieldByName(QStringLiteral("Nr"))->SetAsString(QStringLiteral("99999999999")));
    }

    void missingField()
    {
        MemTable t;
        fill(t, 1);
        QVERIFY(!t.FindField(QStringLiteral("Gibtsnicht")));
        QVERIFY(t.FindField(QStringLiteral("nAmE")));
        try {
            t.FieldByName(QStringLiteral("Gibtsnicht"));
            QFAIL("no error");
        } catch (const DatasetError &e) {
            QVERIFY(e.message().contains(QLatin1String("Gibtsnicht")));
        }
    }

    void events()
    {
        MemTable t;
        QStringList log;
        t.AfterOpen = [&](Dataset &) { log << "AfterOpen"; };
        t.AfterInsert = [&](Dataset &) { log << "AfterInsert"; };
        t.BeforePost = [&](Dataset &d) { log << "BeforePost:" + d.FieldByName("Name")->AsString(); };
        t.AfterPost = [&](Dataset &) { log << "AfterPost"; };
        t.BeforeDelete = [&](Dataset &d) {
            log << "BeforeDelete";
            return d.FieldByName("Name")->AsString() != QLatin1String("keep");
        };
        t.AfterDelete = [&](Dataset &) { log << "AfterDelete"; };
        t.CreateDataSet(defs());
        t.Append();
        t.FieldByName("Name")->SetAsString("keep");
        t.Post();
        t.Delete(); // refused silently
        QCOMPARE(t.RecordCount(), 1);
        t.Append();
        t.FieldByName("Name")->SetAsString("weg");
        t.Post();
        t.Delete();
        QCOMPARE(t.RecordCount(), 1);
        QCOMPARE(log, QStringList({"AfterOpen", "AfterInsert", "BeforePost:keep", "AfterPost", "BeforeDelete",
                                   "AfterInsert", "BeforePost:weg", "AfterPost", "BeforeDelete", "AfterDelete"}));
    }

    void beforePostCanRefuse()
    {
        MemTable t;
        fill(t, 2);
        t.BeforePost = [](Dataset &d) {
            if (d.FieldByName("Name")->AsString().isEmpty())
                throw DatasetError("Name fehlt");
        };
        t.Edit();
        t.FieldByName("Name")->Clear();
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.Post());
        QCOMPARE(t.GetState(), Dataset::State::Edit);
        t.Cancel();
        QCOMPARE(t.FieldByName("Name")->AsString(), QStringLiteral("N1"));
    }

    void requiredField()
    {
        MemTable t;
        t.CreateDataSet({{"Nr", FieldType::Integer, 0, false, true}});
        t.Append();
        QVERIFY_THROWS_EXCEPTION(DatasetError, t.Post());
        t.FieldByName("Nr")->SetAsInteger(1);
        t.Post();
    }

    void renumberInAfterPost()
    {
        // The FAQ editor's pattern: AfterPost edits the same row and posts again.
        MemTable t;
        t.CreateDataSet({{"z", FieldType::AutoInc, 0, true}, {"zaehler", FieldType::Integer}});
        t.AfterPost = [](Dataset &d) {
            if (d.FieldByName("zaehler")->AsInteger() == 0 && d.FieldByName("z")->AsInteger() > 0) {
                d.Edit();
                d.FieldByName("zaehler")->SetAsInteger(d.FieldByName("z")->AsInteger());
                d.Post();
            }
        };
        for (int i = 0; i < 3; ++i) {
            t.Append();
            t.Post();
        }
        t.Append();
        t.FieldByName("zaehler")->SetAsInteger(77);
        t.Post();
        QStringList v;
        for (t.First(); !t.Eof(); t.Next())
            v << t.FieldByName("z")->AsString() + "/" + t.FieldByName("zaehler")->AsString();
        QCOMPARE(v, QStringList({"1/1", "2/2", "3/3", "4/77"}));
        QVERIFY_THROWS_EXCEPTION(DatasetError, (t.Edit(), t.FieldByName("z")->SetAsInteger(5)));
    }

    void bookmarks()
    {
        MemTable t;
        fill(t, 5);
        t.SetRecNo(4);
        const QVariant bm = t.Bookmark();
        t.SetIndexFieldNames(QStringLiteral("Preis"));
        t.First();
        t.SetIndexFieldNames(QString());
        t.Last();
        QVERIFY(t.GotoBookmark(bm));
        QCOMPARE(t.FieldByName("Nr")->AsInteger(), 4);
        t.SetRecNo(2);
        t.Delete();
        QVERIFY(t.GotoBookmark(bm));
        QCOMPARE(t.FieldByName("Nr")->AsInteger(), 4);
        t.Delete();
        t.First();
        QVERIFY(!t.GotoBookmark(bm));
        QCOMPARE(t.RecNo(), 1);
    }

    void locate_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<int>("options");
        QTest::addColumn<int>("nr"); // 0 = not found (cursor stays on row 2)
        QTest::newRow("exact") << "Name" << QVariantList{"N3"} << 0 << 3;
        QTest::newRow("case differs") << "Name" << QVariantList{"n3"} << 0 << 0;
        QTest::newRow("case-insensitive") << "Name" << QVariantList{"n3"} << int(LocateCaseInsensitive) << 3;
        QTest::newRow("partial") << "Name" << QVariantList{"N"} << int(LocatePartialKey) << 1;
        QTest::newRow("number") << "Nr" << QVariantList{4} << 0 << 4;
        QTest::newRow("number as text") << "Nr" << QVariantList{"4"} << 0 << 4;
        QTest::newRow("two fields") << "Nr;Aktiv" << QVariantList{5, true} << 0 << 5;
        QTest::newRow("two fields miss") << "Nr;Aktiv" << QVariantList{4, true} << 0 << 0;
        QTest::newRow("float") << "Preis" << QVariantList{4.5} << 0 << 3;
        QTest::newRow("null") << "Datum" << QVariantList{QVariant()} << 0 << 1;
    }
    void locate()
    {
        QFETCH(QString, fields);
        QFETCH(QVariantList, values);
        QFETCH(int, options);
        QFETCH(int, nr);
        MemTable t;
        fill(t, 5);
        t.SetRecNo(2);
        QCOMPARE(t.Locate(fields, values, options), nr != 0);
        QCOMPARE(t.FieldByName("Nr")->AsInteger(), nr ? nr : 2);
    }

    void filteredEditing()
    {
        MemTable t;
        fill(t, 5);
        t.SetFilter(QStringLiteral("Aktiv=TRUE"));
        t.SetFiltered(true);
        QCOMPARE(names(t), QStringLiteral("N1,N3,N5"));
        t.SetRecNo(2);
        t.Edit();
        t.FieldByName("Aktiv")->SetAsBoolean(false); // leaves the filter
        t.Post();
        QCOMPARE(t.RecordCount(), 2);
        QCOMPARE(t.FieldByName("Name")->AsString(), QStringLiteral("N5"));
        t.Append();
        t.FieldByName("Name")->SetAsString("neu");
        t.FieldByName("Aktiv")->SetAsBoolean(false);
        t.Post();
        QCOMPARE(names(t), QStringLiteral("N1,N5"));
        t.SetFiltered(false);
        QCOMPARE(names(t), QStringLiteral("N1,N2,N3,N4,N5,neu"));
    }

    void valuesAndText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("asString");
        QTest::newRow("float comma") << int(FieldType::Float) << "12,5" << "12,5";
        QTest::newRow("float point") << int(FieldType::Float) << "12.5" << "12,5";
        QTest::newRow("float grouped") << int(FieldType::Float) << "1.234,56" << "1234,56";
        QTest::newRow("integer") << int(FieldType::Integer) << " 42 " << "42";
        QTest::newRow("bool wahr") << int(FieldType::Boolean) << "wahr" << "True";
        QTest::newRow("bool 0") << int(FieldType::Boolean) << "0" << "False";
        QTest::newRow("date") << int(FieldType::Date) << "9.12.2026" << "09.12.2026";
        QTest::newRow("datetime") << int(FieldType::DateTime) << "09.12.2026 10:30:15" << "09.12.2026 10:30:15";
        QTest::newRow("datetime midnight") << int(FieldType::DateTime) << "09.12.2026 00:00" << "09.12.2026";
        QTest::newRow("time") << int(FieldType::Time) << "10:30" << "10:30:00";
        QTest::newRow("empty is null") << int(FieldType::Integer) << "" << "";
        QTest::newRow("memo umlauts") << int(FieldType::Memo) << "Grüße\r\nß" << "Grüße\r\nß";
    }
    void valuesAndText()
    {
        QFETCH(int, type);
        QFETCH(QString, input);
        QFETCH(QString, asString);
        MemTable t;
        t.CreateDataSet({{"F", FieldType(type)}});
        t.Append();
        t.FieldAt(0)->SetAsString(input);
        t.Post();
        QCOMPARE(t.FieldAt(0)->AsString(), asString);
        QCOMPARE(t.FieldAt(0)->IsNull(), asString.isEmpty());
    }

    // Delphi date numbers: days since 30.12.1899, the time of day as the
    // fraction (before 1899 the fraction still counts forward).
    void dateTimeFromNumber_data()
    {
        QTest::addColumn<double>("number");
        QTest::addColumn<QDateTime>("expected");  // invalid: refused
        const QDate epoch(1899, 12, 30);
        const QDate day = epoch.addDays(45000);
        QTest::newRow("epoch") << 0.0 << QDateTime(epoch, QTime(0, 0));
        QTest::newRow("noon") << 45000.5 << QDateTime(day, QTime(12, 0));
        QTest::newRow("last millisecond") << 45000.0 + 86399999.0 / 86400000.0 << QDateTime(day, QTime(23, 59, 59, 999));
        QTest::newRow("just below midnight") << 45001.0 - 0.2 / 86400000.0 << QDateTime(day.addDays(1), QTime(0, 0));
        QTest::newRow("half a millisecond below midnight") << 45001.0 - 0.5 / 86400000.0 << QDateTime(day.addDays(1), QTime(0, 0));
        QTest::newRow("before 1899") << -1.25 << QDateTime(epoch.addDays(-1), QTime(6, 0));
        QTest::newRow("before 1899, just below midnight") << -1.9999999999 << QDateTime(epoch.addDays(-2), QTime(0, 0));
        QTest::newRow("31.12.9999") << double(epoch.daysTo(QDate(9999, 12, 31))) + 0.75
                                    << QDateTime(QDate(9999, 12, 31), QTime(18, 0));
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << QDateTime();
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << QDateTime();
        QTest::newRow("far beyond 9999") << 1e300 << QDateTime();
    }
    void dateTimeFromNumber()
    {
        QFETCH(double, number);
        QFETCH(QDateTime, expected);
        if (!expected.isValid()) {
            QVERIFY_THROWS_EXCEPTION(DatasetError, ConvertToFieldType(number, FieldType::DateTime, QStringLiteral("Am")));
            return;
        }
        QCOMPARE(ConvertToFieldType(number, FieldType::DateTime, QStringLiteral("Am")).toDateTime(), expected);
        QCOMPARE(ConvertToFieldType(number, FieldType::Date, QStringLiteral("Am")).toDate(), expected.date());
    }

    void displayFormats()
    {
        MemTable t;
        t.CreateDataSet({{"Preis", FieldType::Float}, {"Tag", FieldType::DateTime}});
        t.AppendRawRow({1234567.891, QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15))});
        t.AppendRawRow({-0.004, QVariant()});
        t.RawRowsDone();
        Field *p = t.FieldAt(0);
        p->DisplayFormat = QStringLiteral("#,###,###,##0.00");
        QCOMPARE(p->DisplayText(), QStringLiteral("1.234.567,89"));
        t.FieldAt(1)->DisplayFormat = QStringLiteral("dd.mm.yyyy hh:nn");
        QCOMPARE(t.FieldAt(1)->DisplayText(), QStringLiteral("09.12.2026 10:30"));
        t.Next();
        QCOMPARE(p->DisplayText(), QStringLiteral("0,00"));
        QCOMPARE(t.FieldAt(1)->DisplayText(), QString());
        p->DisplayFormat = QStringLiteral("0.00 €;(0.00) €");
        t.Edit();
        p->SetAsFloat(-5.5);
        QCOMPARE(p->DisplayText(), QStringLiteral("(5,50) €"));
        t.Cancel();
    }

    void signalsForViews()
    {
        MemTable t;
        fill(t, 3);
        QSignalSpy reset(&t, &Dataset::rowsReset), changed(&t, &Dataset::rowChanged);
        t.SetRecNo(2);
        t.Edit();
        t.FieldByName("Name")->SetAsString("x");
        t.Post();
        QVERIFY(changed.count() >= 1);
        QCOMPARE(changed.last().at(0).toInt(), 2);
        QCOMPARE(reset.count(), 0);
        t.Append();
        QCOMPARE(t.DisplayRowCount(), 4);
        QCOMPARE(t.InsertIndex(), 3);
        t.FieldByName("Name")->SetAsString("neu");
        QCOMPARE(t.RowValue(3, 1).toString(), QStringLiteral("neu"));
        QCOMPARE(t.RowValue(1, 1).toString(), QStringLiteral("x"));
        t.Post();
        QVERIFY(reset.count() >= 1);
        reset.clear();
        t.DisableControls();
        for (int i = 0; i < 10; ++i) {
            t.Append();
            t.FieldByName("Nr")->SetAsInteger(i);
            t.Post();
        }
        QCOMPARE(reset.count(), 0);
        t.EnableControls();
        QCOMPARE(reset.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstDataset)
#include "tst_Dataset.moc"
