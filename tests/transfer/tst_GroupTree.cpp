// The product-group tree built from the WaWi's Warengruppe.DB: display
// order, levels, orphans and cyclic parents at the top, other Mandanten
// left out, and the look-ups the transfer uses (FindGroupNode, GroupPath).
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "transfer/GroupTree.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace mv;
using namespace mv::test;

namespace {

// "number:mandant:parent:name" per group, ";" between groups. WaWi records
// cannot be deleted: every case writes its own numbers and Mandanten
// (base + the given ones).
void WriteGroups(const QString &list, int base)
{
    TVLBTable t;
    t.SetTableName(QStringLiteral("Warengruppe.DB"));
    t.Open();
    for (const QString &g : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList p = g.split(QLatin1Char(':'));
        const int parent = p[2].toInt();
        t.Append();
        t.FieldByName(QStringLiteral("Warengruppe"))->SetValue(base + p[0].toInt());
        t.FieldByName(QStringLiteral("Mandant"))->SetValue(base + p[1].toInt());
        t.FieldByName(QStringLiteral("Anhang"))->SetValue(parent > 0 ? base + parent : parent);
        t.FieldByName(QStringLiteral("ART"))->SetValue(0);
        t.FieldByName(QStringLiteral("Bezeichnung"))->SetValue(p[3]);
        t.Post();
    }
    t.Close();
}

QString Join(const QVector<int> &v)
{
    QStringList out;
    for (int n : v)
        out << QString::number(n);
    return out.join(QLatin1Char(','));
}

} // namespace

class tst_GroupTree : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnv>();
        SetUiHooks(&m_ui);
        m_ui.quiet = true;
        const QString wawi = m_env->file(QStringLiteral("wawi"));
        WaWiDemoOptions o;
        o.articles = 1;
        o.addresses = 1;
        o.groups = 1;
        o.mandanten = 1;
        o.registerInRegistry = false;
        WriteWaWiDemo(wawi, o);
        QString err;
        QVERIFY2(TVLBDatabase::Connect(wawi, &err), qPrintable(err));
    }
    void cleanupTestCase() { SetUiHooks(nullptr); }

    void build_data()
    {
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("order");    // group numbers in display order
        QTest::addColumn<QString>("levels");   // their levels
        QTest::addColumn<int>("pathOf");
        QTest::addColumn<QString>("path");

        QTest::newRow("parents before children, siblings in index order")
            << "1:1:0:Garten;2:1:1:Kannen;3:1:2:Zubehör 'groß';4:1:0:Küche;5:1:1:Schläuche"
            << "1,2,3,5,4" << "0,1,2,1,0" << 3 << QString::fromUtf8("Garten_Kannen_Zubehör 'groß'");
        QTest::newRow("orphan at the top with its subtree")
            << "1:1:0:A;6:1:3:Verwaist;7:1:6:Kind" << "1,6,7" << "0,0,1" << 7 << "Verwaist_Kind";
        // Left-over groups are walked in index order (by parent number): a
        // child that comes first is placed on its own, its orphan parent after it.
        QTest::newRow("orphan after its child in index order")
            << "1:1:0:A;6:1:999:Verwaist;7:1:6:Kind" << "1,7,6" << "0,0,0" << 7 << "Kind";
        QTest::newRow("cycle placed once at the top")
            << "1:1:0:A;8:1:9:Kreis A;9:1:8:Kreis B" << "1,9,8" << "0,0,1" << 8 << "Kreis B_Kreis A";
        QTest::newRow("own parent") << "5:1:5:Selbst" << "5" << "0" << 5 << "Selbst";
        QTest::newRow("negative parent is top level") << "3:1:-1:Oben;4:1:3:Unten" << "3,4" << "0,1" << 4 << "Oben_Unten";
        QTest::newRow("other Mandant left out")
            << "1:1:0:Eigene;2:2:0:Fremde;3:2:1:Fremdes Kind" << "1" << "0" << 2 << "";
        QTest::newRow("no groups") << "" << "" << "" << 1 << "";
    }

    void build()
    {
        QFETCH(QString, groups);
        QFETCH(QString, order);
        QFETCH(QString, levels);
        QFETCH(int, pathOf);
        QFETCH(QString, path);
        static int round = 0;
        const int base = ++round * 1000;
        WriteGroups(groups, base);

        TVLBTable waren;
        waren.SetTableName(QStringLiteral("Warengruppe.DB"));
        waren.Open();
        GroupTree tree;
        BuildGroupTree(tree, waren, base + 1, QStringLiteral("Bezeichnung"), QString(), QStringLiteral("Anhang"),
                       QStringLiteral("Verkn"));

        QVector<int> numbers, lv;
        for (int i : tree.DisplayOrder()) {
            numbers << tree.Nodes()[i].number - base;
            lv << tree.Nodes()[i].level;
        }
        QCOMPARE(Join(numbers), order);
        QCOMPARE(Join(lv), levels);
        // hiernr is the display position, hierident the level.
        for (int pos = 0; pos < numbers.size(); ++pos) {
            int hiernr = -1, hierident = -1;
            QVERIFY(tree.FindGroupNode(base + numbers[pos], &hiernr, &hierident));
            QCOMPARE(hiernr, pos);
            QCOMPARE(hierident, lv[pos]);
        }
        QCOMPARE(tree.GroupPath(base + pathOf), path);
        int hiernr = 7, hierident = 7;
        QVERIFY(!tree.FindGroupNode(4711, &hiernr, &hierident));
        QCOMPARE(tree.GroupPath(4711), QString());
    }

    // A number carried twice (a node added twice by hand): the first node in
    // display order answers.
    void firstNodeAnswers()
    {
        GroupTree t;
        const int a = t.Add(10, QStringLiteral("A"), -1);
        t.Add(20, QStringLiteral("B"), a);
        const int c = t.Add(30, QStringLiteral("C"), -1);
        t.Add(20, QStringLiteral("B2"), c);
        t.Finish();
        int hiernr = -1, hierident = -1;
        QVERIFY(t.FindGroupNode(20, &hiernr, &hierident));
        QCOMPARE(hiernr, 1);
        QCOMPARE(hierident, 1);
        QCOMPARE(t.GroupPath(20), QStringLiteral("A_B"));
    }

private:
    std::unique_ptr<TestEnv> m_env;
    ConsoleUiHooks m_ui;
};

QTEST_GUILESS_MAIN(tst_GroupTree)
#include "tst_GroupTree.moc"
