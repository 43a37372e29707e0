// The item model over a dataset: columns, formats, edits through the state
// machine, following the dataset's signals, and random access on big tables.

#include "data/DatasetModel.h"
#include "data/MemTable.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace mv;

namespace {
void fill(MemTable &t)
{
    t.CreateDataSet({{"Nr", FieldType::Integer}, {"Name", FieldType::String, 20}, {"Preis", FieldType::Float},
                     {"Intern", FieldType::String, 5}, {"Aktiv", FieldType::Boolean}, {"Pflicht", FieldType::String, 5, false, true}});
    t.AppendRawRow({1, "Apfel", 1234.5, "x", true, "p"});
    t.AppendRawRow({2, "Birne", 0.25, "y", false, "p"});
    t.AppendRawRow({3, QVariant(), QVariant(), QVariant(), QVariant(), "p"});
    t.RawRowsDone();
}
}

class TstDatasetModel : public QObject {
    Q_OBJECT
private slots:
    void columnsAndTexts()
    {
        MemTable t;
        fill(t);
        t.FieldByName("Intern")->Visible = false;
        t.FieldByName("Name")->DisplayLabel = QStringLiteral("Bezeichnung");
        t.FieldByName("Preis")->DisplayFormat = QStringLiteral("#,###,###,##0.00");
        DatasetModel m(&t);
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(m.columnCount(), 5);
        QCOMPARE(m.rowCount(), 3);
        QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Nr"));
        QCOMPARE(m.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Bezeichnung"));
        QCOMPARE(m.ColumnOfField("Intern"), -1);
        QCOMPARE(m.ColumnOfField("Aktiv"), 3);
        QCOMPARE(m.data(m.index(0, 2)).toString(), QStringLiteral("1.234,50"));
        QCOMPARE(m.data(m.index(1, 2)).toString(), QStringLiteral("0,25"));
        QCOMPARE(m.data(m.index(2, 2)).toString(), QString());
        QCOMPARE(m.data(m.index(0, 2), Qt::EditRole).toString(), QStringLiteral("1234,5"));
        QCOMPARE(m.data(m.index(0, 3), Qt::EditRole).toBool(), true);
        QVERIFY(m.data(m.index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(m.data(m.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
        QCOMPARE(m.data(m.index(0, 2), DatasetModel::ValueRole).toDouble(), 1234.5);
        // Reading cells does not move the cursor.
        QCOMPARE(t.RecNo(), 1);
    }

    void editsGoThroughTheDataset()
    {
        MemTable t;
        fill(t);
        DatasetModel m(&t);
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&m, &QAbstractItemModel::dataChanged), failed(&m, &DatasetModel::editFailed);
        QStringList posted;
        t.AfterPost = [&](Dataset &d) { posted << d.FieldByName("Name")->AsString(); };
        QVERIFY(m.setData(m.index(1, 2), QStringLiteral("3,75")));
        QCOMPARE(t.GetState(), Dataset::State::Browse);
        QCOMPARE(t.RecNo(), 2);
        QCOMPARE(t.FieldByName("Preis")->AsFloat(), 3.75);
        QCOMPARE(posted, QStringList({"Birne"}));
        QVERIFY(changed.count() >= 1);
        QVERIFY(t.ChangedSinceOpen());
        QVERIFY(m.setData(m.index(2, 4), true));
        QCOMPARE(t.FieldByName("Aktiv")->AsBoolean(), true);

        // A value that does not fit: nothing changes, the error is reported.
        QVERIFY(!m.setData(m.index(0, 0), QStringLiteral("eins")));
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed.at(0).at(0).toString().contains("Nr"));
        QCOMPARE(t.GetState(), Dataset::State::Browse);
        QCOMPARE(m.data(m.index(0, 0)).toString(), QStringLiteral("1"));

        // A refused post keeps the row in edit mode with what was typed.
        QVERIFY(!m.setData(m.index(0, 5), QString()));
        QCOMPARE(t.GetState(), Dataset::State::Edit);
        QCOMPARE(failed.count(), 2);
        t.Cancel();
        QCOMPARE(m.data(m.index(0, 5)).toString(), QStringLiteral("p"));

        m.SetReadOnly(true);
        QVERIFY(!(m.flags(m.index(0, 1)) & Qt::ItemIsEditable));
    }

    void followsTheDataset()
    {
        MemTable t;
        fill(t);
        DatasetModel m(&t);
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        t.Append();
        QCOMPARE(m.rowCount(), 4);
        t.FieldByName("Name")->SetAsString("neu");
        QCOMPARE(m.data(m.index(3, 1)).toString(), QStringLiteral("neu"));
        // Typing into the new row posts it.
        QVERIFY(m.setData(m.index(3, 5), QStringLiteral("q")));
        QCOMPARE(t.RecordCount(), 4);
        QCOMPARE(m.rowCount(), 4);
        t.SetFilter("Nr>1");
        t.SetFiltered(true);
        QCOMPARE(m.rowCount(), 2);
        QCOMPARE(m.data(m.index(0, 1)).toString(), QStringLiteral("Birne"));
        t.SetFiltered(false);
        t.First();
        t.Delete();
        QCOMPARE(m.rowCount(), 3);
        QCOMPARE(m.data(m.index(0, 1)).toString(), QStringLiteral("Birne"));
        t.Close();
        QCOMPARE(m.rowCount(), 0);
        t.Open();
        QCOMPARE(m.rowCount(), 0);
    }

    void bigTable()
    {
        MemTable t;
        t.CreateDataSet({{"Nr", FieldType::Integer}, {"Text", FieldType::String, 30}});
        for (int i = 0; i < 100000; ++i)
            t.AppendRawRow({i, QStringLiteral("Zeile %1").arg(i)});
        t.RawRowsDone();
        DatasetModel m(&t);
        QElapsedTimer timer;
        timer.start();
        QString last;
        for (int r = 99999; r >= 0; r -= 7)
            last = m.data(m.index(r, 1)).toString();
        QCOMPARE(last, QStringLiteral("Zeile 4"));
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(t.RecNo(), 1);
    }
};

QTEST_GUILESS_MAIN(TstDatasetModel)
#include "tst_DatasetModel.moc"
