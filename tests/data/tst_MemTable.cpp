// The in-memory table: index order, key ranges, master-detail, auto-increment
// and change tracking.

#include "data/MemTable.h"

#include <QtTest>

using namespace mv;

namespace {
QString column(Dataset &t, const QString &field)
{
    QStringList out;
    for (t.First(); !t.Eof(); t.Next())
        out << t.FieldByName(field)->AsString();
    return out.join(QLatin1Char(','));
}
}

class TstMemTable : public QObject {
    Q_OBJECT
private:
    void people(MemTable &t)
    {
        t.CreateDataSet({{"Nr", FieldType::Integer}, {"Name", FieldType::String, 20}, {"Ort", FieldType::String, 20}});
        t.AppendRawRow({3, "meier", "Bonn"});
        t.AppendRawRow({1, "Müller", "Aachen"});
        t.AppendRawRow({2, "Adam", QVariant()});
        t.AppendRawRow({5, "Meier", "Aachen"});
        t.AppendRawRow({4, QVariant(), "Bonn"});
        t.RawRowsDone();
    }

private slots:
    void indexOrder_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("nrs");
        QTest::newRow("storage order") << "" << "3,1,2,5,4";
        QTest::newRow("integer") << "Nr" << "1,2,3,4,5";
        // Text ignores case (equal ignoring case: upper case first), NULL first.
        QTest::newRow("text") << "Name" << "4,2,5,3,1";
        QTest::newRow("two fields") << "Ort;Nr" << "2,1,5,3,4";
        QTest::newRow("two fields reversed") << "Ort;Name" << "2,5,1,4,3";
    }
    void indexOrder()
    {
        QFETCH(QString, index);
        QFETCH(QString, nrs);
        MemTable t;
        people(t);
        t.SetIndexFieldNames(index);
        QCOMPARE(column(t, "Nr"), nrs);
    }

    void indexFollowsPosts()
    {
        MemTable t;
        people(t);
        t.SetIndexFieldNames("Nr");
        t.Locate("Nr", {2});
        t.Edit();
        t.FieldByName("Nr")->SetAsInteger(9);
        t.Post();
        QCOMPARE(t.RecNo(), 5); // the cursor stays on the moved row
        QCOMPARE(t.FieldByName("Name")->AsString(), QStringLiteral("Adam"));
        t.Insert();
        t.FieldByName("Nr")->SetAsInteger(0);
        t.Post();
        QCOMPARE(t.RecNo(), 1);
        QCOMPARE(column(t, "Nr"), QStringLiteral("0,1,3,4,5,9"));
        t.SetIndexFieldNames(QString());
        QCOMPARE(column(t, "Nr"), QStringLiteral("3,1,9,5,4,0"));
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QVariantList>("low");
        QTest::addColumn<QVariantList>("high");
        QTest::addColumn<QString>("nrs");
        QTest::newRow("integer span") << "Nr" << QVariantList{2} << QVariantList{4} << "2,3,4";
        QTest::newRow("single key") << "Nr" << QVariantList{5} << QVariantList{5} << "5";
        QTest::newRow("empty span") << "Nr" << QVariantList{7} << QVariantList{9} << "";
        QTest::newRow("leading field only") << "Ort;Name" << QVariantList{"Aachen"} << QVariantList{"Aachen"} << "5,1";
        QTest::newRow("text prefix") << "Name" << QVariantList{QString("M") + QChar(0)} << QVariantList{QString("M") + QChar(127)} << "5,3";
        QTest::newRow("two parts") << "Ort;Nr" << QVariantList{"Bonn", 4} << QVariantList{"Bonn", 4} << "4";
    }
    void ranges()
    {
        QFETCH(QString, index);
        QFETCH(QVariantList, low);
        QFETCH(QVariantList, high);
        QFETCH(QString, nrs);
        MemTable t;
        people(t);
        t.SetIndexFieldNames(index);
        t.SetRange(low, high);
        QCOMPARE(column(t, "Nr"), nrs);
        t.CancelRange();
        QCOMPARE(t.RecordCount(), 5);
    }

    void rowLeavesRange()
    {
        MemTable t;
        people(t);
        t.SetIndexFieldNames("Nr");
        t.SetRange({2}, {4});
        t.Append();
        t.FieldByName("Nr")->SetAsInteger(10);
        t.Post();
        QCOMPARE(column(t, "Nr"), QStringLiteral("2,3,4"));
        t.CancelRange();
        QCOMPARE(column(t, "Nr"), QStringLiteral("1,2,3,4,5,10"));
    }

    void masterDetail()
    {
        MemTable groups, entries;
        groups.CreateDataSet({{"z", FieldType::AutoInc, 0, true}, {"zaehler", FieldType::Integer}, {"bezeichnung", FieldType::String, 50}});
        groups.AppendRawRow({1, 10, "Versand"});
        groups.AppendRawRow({2, 20, "Zahlung"});
        groups.AppendRawRow({3, 30, "Leer"});
        groups.RawRowsDone();
        entries.CreateDataSet({{"zaehler", FieldType::AutoInc, 0, true}, {"gruppe", FieldType::Integer}, {"beschreibung", FieldType::String, 80}});
        entries.AppendRawRow({1, 20, "Rechnung"});
        entries.AppendRawRow({2, 10, "Dauer"});
        entries.AppendRawRow({3, 20, "Vorkasse"});
        entries.AppendRawRow({4, 10, "Kosten"});
        entries.RawRowsDone();
        entries.SetIndexFieldNames("gruppe");
        entries.SetMasterSource(&groups, "zaehler", "gruppe");

        QCOMPARE(column(entries, "beschreibung"), QStringLiteral("Dauer,Kosten"));
        groups.Next();
        QCOMPARE(column(entries, "beschreibung"), QStringLiteral("Rechnung,Vorkasse"));
        groups.Next();
        QCOMPARE(entries.RecordCount(), 0);
        QVERIFY(entries.Eof());

        // A new detail row gets the master's key.
        entries.Append();
        QCOMPARE(entries.FieldByName("gruppe")->AsInteger(), 30);
        entries.FieldByName("beschreibung")->SetAsString("neu");
        entries.Post();
        QCOMPARE(entries.FieldByName("zaehler")->AsInteger(), 5);
        QCOMPARE(column(entries, "beschreibung"), QStringLiteral("neu"));

        // Moving the master posts a pending detail edit first.
        entries.Edit();
        entries.FieldByName("beschreibung")->SetAsString("neu2");
        groups.First();
        QCOMPARE(column(entries, "beschreibung"), QStringLiteral("Dauer,Kosten"));
        groups.Last();
        QCOMPARE(column(entries, "beschreibung"), QStringLiteral("neu2"));

        // A master row being inserted has no key yet: no details.
        groups.Append();
        QCOMPARE(entries.RecordCount(), 0);
        groups.Cancel();
        QCOMPARE(entries.RecordCount(), 1);

        // Changing the master's key re-links.
        groups.Edit();
        groups.FieldByName("zaehler")->SetAsInteger(10);
        groups.Post();
        QCOMPARE(column(entries, "beschreibung"), QStringLiteral("Dauer,Kosten"));

        entries.ClearMasterSource();
        QCOMPARE(entries.RecordCount(), 5);
        groups.Close();
    }

    void masterClosedOrGone()
    {
        auto *master = new MemTable;
        master->CreateDataSet({{"k", FieldType::Integer}});
        master->AppendRawRow({1});
        master->RawRowsDone();
        MemTable detail;
        detail.CreateDataSet({{"k", FieldType::Integer}});
        detail.AppendRawRow({1});
        detail.AppendRawRow({2});
        detail.RawRowsDone();
        detail.SetMasterSource(master, "k", "k");
        QCOMPARE(detail.RecordCount(), 1);
        master->Close();
        QCOMPARE(detail.RecordCount(), 0);
        delete master; // no dangling master
        detail.First();
        QCOMPARE(detail.RecordCount(), 0);
        detail.ClearMasterSource();
        QCOMPARE(detail.RecordCount(), 2);
    }

    void autoIncrement()
    {
        MemTable t;
        t.CreateDataSet({{"id", FieldType::AutoInc, 0, true}, {"x", FieldType::Integer}});
        t.AppendRawRow({7, 1});
        t.RawRowsDone();
        QCOMPARE(t.AutoIncValue(), 8);
        t.SetAutoIncValue(20); // as read from a file's AUTOINCVALUE
        t.Append();
        QVERIFY(t.FieldByName("id")->IsNull()); // numbered when posted
        t.Post();
        QCOMPARE(t.FieldByName("id")->AsInteger(), 20);
        t.Append();
        t.Cancel();
        t.Append();
        t.FieldByName("x")->SetAsInteger(2);
        t.Post();
        QCOMPARE(t.FieldByName("id")->AsInteger(), 21);
        QCOMPARE(t.AutoIncValue(), 22);
    }

    void changeTracking()
    {
        MemTable t;
        people(t);
        QVERIFY(!t.ChangedSinceOpen());
        t.SetIndexFieldNames("Name");
        t.SetFilter("Nr>1");
        t.SetFiltered(true);
        t.Edit();
        t.Cancel();
        QVERIFY(!t.ChangedSinceOpen());
        t.Delete();
        QVERIFY(t.ChangedSinceOpen());
        t.ClearChanged();
        t.EmptyDataSet();
        QVERIFY(t.ChangedSinceOpen());
        QCOMPARE(t.RecordCount(), 0);
        t.Close();
        t.Open();
        QVERIFY(!t.ChangedSinceOpen());
    }

    void manyAppendsStayFast()
    {
        // Imports append row by row: that must not turn quadratic.
        MemTable t;
        t.CreateDataSet({{"EMAIL", FieldType::String, 100}, {"html", FieldType::Integer}});
        QElapsedTimer timer;
        timer.start();
        t.DisableControls();
        for (int i = 0; i < 50000; ++i) {
            t.Append();
            t.FieldAt(0)->SetAsString(QStringLiteral("a%1@b.de").arg(i));
            t.FieldAt(1)->SetAsInteger(1);
            t.Post();
        }
        t.EnableControls();
        QCOMPARE(t.RecordCount(), 50000);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        t.Last();
        QCOMPARE(t.FieldAt(0)->AsString(), QStringLiteral("a49999@b.de"));
    }

    void fieldsSurviveReopen()
    {
        // Field pointers and their formats stay valid over Close/Open with
        // the same layout.
        MemTable t;
        people(t);
        Field *f = t.FieldByName("Nr");
        f->DisplayFormat = "000";
        t.Close();
        t.Open();
        QCOMPARE(t.FieldByName("Nr"), f);
        t.AppendRawRow({7, "x", "y"});
        t.RawRowsDone();
        QCOMPARE(f->DisplayText(), QStringLiteral("007"));
    }
};

QTEST_GUILESS_MAIN(TstMemTable)
#include "tst_MemTable.moc"
