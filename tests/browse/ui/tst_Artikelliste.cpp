// The article list and the group assignment on the demo WaWi, driven like
// a user: tree and grid against the tables, online/offline on a
// multi-selection written into Artikel.DB (re-read through every index and
// by pxlib), the quick search with umlaut names, a link made by dropping
// an article onto a group that reaches the shop through
// "marktvoll-cli transfer", and the drops that are refused.

#include "../ArticleChecks.h"

#include "browse/ui/TFM_Artikelliste.h"
#include "core/Registry.h"
#include "core/RtfToText.h"
#include "core/TextUtil.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/TableFile.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"
#include "wawi/WaWiDemo.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace mv;
using namespace mv::test;

namespace {

int countNodes(QTreeWidgetItem *item)
{
    int n = 0;
    for (int i = 0; i < item->childCount(); ++i)
        n += 1 + countNodes(item->child(i));
    return n;
}

// Types text as key presses carrying it (QTest::keyClicks knows no umlauts).
void typeText(QWidget *w, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

// A drag over and a drop at a node's centre, handed to the window's
// handler of the tree's events as the tree's viewport gets them (outside a
// running drag QApplication does not deliver synthetic drag events).
// Returns whether the drag-over was accepted.
bool dropOn(TFM_Artikelliste &w, QTreeWidgetItem *node, QMimeData *data)
{
    QTreeWidget *tree = w.findChild<QTreeWidget *>("TreeView1");
    tree->scrollToItem(node);
    const QPoint pos = tree->visualItemRect(node).center();
    QObject &handler = w;
    QDragMoveEvent move(pos, Qt::LinkAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    move.ignore();
    handler.eventFilter(tree->viewport(), &move);
    QDropEvent drop(QPointF(pos), Qt::LinkAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    handler.eventFilter(tree->viewport(), &drop);
    return move.isAccepted();
}

// A visible group without articles of its own (a top group of the demo).
int readEmptyGroup()
{
    QSet<int> used;
    for (const auto &a : artcheck::readAll())
        used.insert(a.group);
    TVLBTable g;
    g.SetTableName("Warengruppe.DB");
    g.Open();
    for (g.First(); !g.Eof(); g.Next())
        if (g.FieldByName("Mandant")->AsInteger() == 1 && g.FieldByName("Anhang")->AsInteger() <= 0
            && !used.contains(g.FieldAt(0)->AsInteger())
            && (g.FieldByName("ART")->IsNull() || g.FieldByName("ART")->AsInteger() < 200))
            return g.FieldAt(0)->AsInteger();
    return -1;
}

} // namespace

class tst_Artikelliste : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanupTestCase()
    {
        TVLBDatabase::Disconnect();
        SetUiHooks(nullptr);
    }
    void treeAndGridAgreeWithWaWi();
    void sortingAndTitles();
    void onlineOfflineOnSelection_data();
    void onlineOfflineOnSelection();
    void quickSearchUmlauts_data();
    void quickSearchUmlauts();
    void enterAndEscMark();
    void longTextEditSavedWhenLeft();
    void windowSettings_data();
    void windowSettings();
    void treeMenu();
    void dropMakesLinkThatReachesShop();
    void dropRefused();

private:
    std::unique_ptr<TestEnv> m_env;
    RecordingUiHooks m_ui;
    QString m_wawi;
};

void tst_Artikelliste::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    SetUiHooks(&m_ui);
    WaWiDemoOptions o;
    o.articles = 300;
    o.addresses = 20;
    o.groups = 40;
    m_wawi = m_env->file("wawi");
    WriteWaWiDemo(m_wawi, o);
    QVERIFY(TVLBDatabase::Connect(m_wawi));
    Settings().Aktiv_Mandant = 1;
    Settings().WaWiDir = m_wawi + QLatin1Char('/');
}

void tst_Artikelliste::treeAndGridAgreeWithWaWi()
{
    TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
    w.show();
    QCOMPARE(w.windowTitle(), QString("Artikelliste"));
    QVERIFY(!w.findChild<QGroupBox *>("GB_Mehrfach")->isVisibleTo(&w));
    auto *tree = w.findChild<QTreeWidget *>("TreeView1");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QString("alle Artikel"));
    QCOMPARE(TFM_Artikelliste::NodeGroup(root), -1);

    // the groups of kind below 200, each once
    QHash<int, QString> visible;
    {
        TVLBTable g;
        g.SetTableName("Warengruppe.DB");
        g.Open();
        for (g.First(); !g.Eof(); g.Next())
            if (g.FieldByName("Mandant")->AsInteger() == 1
                && (g.FieldByName("ART")->IsNull() || g.FieldByName("ART")->AsInteger() < 200))
                visible.insert(g.FieldAt(0)->AsInteger(), g.FieldByName("Bezeichnung")->AsString());
    }
    QCOMPARE(countNodes(root), int(visible.size()));
    for (auto it = visible.cbegin(); it != visible.cend(); ++it) {
        QTreeWidgetItem *node = w.FindNode(it.key());
        QVERIFY(node);
        QCOMPARE(node->text(0), it.value());
    }

    const auto all = artcheck::readAll();
    auto *grid = w.findChild<TDBBGrid *>("DBBGrid1");
    int mandant1 = 0;
    QHash<int, int> perGroup;
    for (const auto &a : all)
        if (a.mandant == 1 && a.art == 0) {
            ++mandant1;
            ++perGroup[a.group];
        }
    QCOMPARE(grid->model()->rowCount(), mandant1);
    int checked = 0;
    for (auto it = perGroup.cbegin(); it != perGroup.cend() && checked < 6; ++it) {
        QTreeWidgetItem *node = w.FindNode(it.key());
        if (!node)
            continue;
        tree->setCurrentItem(node);
        QCOMPARE(grid->model()->rowCount(), it.value());
        Dataset &t = w.List().Articles();
        for (t.First(); !t.Eof(); t.Next())
            QCOMPARE(t.FieldByName("Warengruppe")->AsInteger(), it.key());
        ++checked;
    }
    QVERIFY(checked >= 3);
    tree->setCurrentItem(root);
    QCOMPARE(grid->model()->rowCount(), mandant1);
    // the long text is shown as rich text
    w.List().Articles().First();
    QVERIFY(!w.findChild<QTextEdit *>("DBRichEdit1")->toPlainText().isEmpty());
}

void tst_Artikelliste::sortingAndTitles()
{
    TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
    w.show();
    auto *sort = w.findChild<QComboBox *>("CB_Sort");
    auto *grid = w.findChild<TDBBGrid *>("DBBGrid1");
    QCOMPARE(sort->currentText(), QString("Nummer"));
    QCOMPARE(w.List().Articles().IndexName(), QString("Nummer"));
    const int rows = grid->model()->rowCount();
    sort->setCurrentIndex(1);
    QCOMPARE(w.List().Articles().IndexName(), QString("Schnellsuche"));
    QCOMPARE(grid->model()->rowCount(), rows);
    // title clicks: Einheit and VK1 change nothing, Artikelnummer is "Nummer"
    QStringList fields;
    for (const auto &c : grid->Columns())
        fields << c.fieldName;
    QCOMPARE(fields, (QStringList{"Artikelnummer", "Bezeichnung", "Einheit", "VK1"}));
    emit grid->horizontalHeader()->sectionClicked(2);
    emit grid->horizontalHeader()->sectionClicked(3);
    QCOMPARE(sort->currentText(), QString("Bezeichnung"));
    emit grid->horizontalHeader()->sectionClicked(0);
    QCOMPARE(sort->currentText(), QString("Nummer"));
    QCOMPARE(w.List().Articles().IndexName(), QString("Nummer"));
    emit grid->horizontalHeader()->sectionClicked(1);
    QCOMPARE(sort->currentText(), QString("Bezeichnung"));
    // in a group the group's indexes
    auto *tree = w.findChild<QTreeWidget *>("TreeView1");
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    QCOMPARE(w.List().Articles().IndexName(), QString("WGruppe"));
    sort->setCurrentIndex(0);
    QCOMPARE(w.List().Articles().IndexName(), QString("WGruppe_Nr"));
}

void tst_Artikelliste::onlineOfflineOnSelection_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("internet");
    QTest::newRow("offline") << "Action_Offline" << false;
    QTest::newRow("online") << "Action_Online" << true;
}

void tst_Artikelliste::onlineOfflineOnSelection()
{
    QFETCH(QString, action);
    QFETCH(bool, internet);
    const auto before = artcheck::readAll();
    QSet<int> chosen;
    const QDateTime start = QDateTime::currentDateTime().addSecs(-1);
    {
        TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
        w.show();
        auto *grid = w.findChild<TDBBGrid *>("DBBGrid1");
        QItemSelection sel;
        for (int row : {1, 4, 5, 9, 20}) {
            sel.select(grid->model()->index(row, 0), grid->model()->index(row, 3));
            chosen.insert(grid->model()->data(grid->model()->index(row, 0)).toString().isEmpty() ? -1 : row);
        }
        grid->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // the keys behind the marked rows
        chosen.clear();
        Dataset &t = w.List().Articles();
        for (const QVariant &bm : w.SelectedBookmarks()) {
            QVERIFY(t.GotoBookmark(bm));
            chosen.insert(t.FieldAt(0)->AsInteger());
        }
        QCOMPARE(chosen.size(), 5);
        grid->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        w.findChild<QAction *>(action)->trigger();
        // the marks stay for the next action
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 5);
        QVERIFY(w.close());
    }
    const auto after = artcheck::readAll(true);
    QCOMPARE(after.size(), before.size());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const auto &a = after[it.key()];
        if (chosen.contains(it.key())) {
            QCOMPARE(a.internet, internet);
            QVERIFY(a.update >= start);
        } else {
            QCOMPARE(a.internet, it->internet);
            QCOMPARE(a.update, it->update);
        }
    }
    artcheck::crossCheck(m_wawi, after);
}

void tst_Artikelliste::quickSearchUmlauts_data()
{
    QTest::addColumn<QString>("initial");   // the search term of an article of Mandant 1 begins so
    QTest::addColumn<int>("length");        // so many characters are typed
    QTest::addColumn<bool>("lower");        // typed in lower case
    QTest::newRow("O umlaut") << QString::fromUtf8("Ö") << 3 << false;
    QTest::newRow("U umlaut lower case") << QString::fromUtf8("Ü") << 4 << true;
    QTest::newRow("O umlaut lower case") << QString::fromUtf8("Ö") << 2 << true;
    QTest::newRow("umlaut alone") << QString::fromUtf8("Ü") << 1 << true;
}

void tst_Artikelliste::quickSearchUmlauts()
{
    QFETCH(QString, initial);
    QFETCH(int, length);
    QFETCH(bool, lower);
    QString typed;
    for (const auto &a : artcheck::readAll())
        if (a.mandant == 1 && a.art == 0 && a.such.startsWith(initial) && (typed.isEmpty() || a.such < typed))
            typed = a.such.left(length);
    QVERIFY2(!typed.isEmpty(), "the demo WaWi has articles beginning with umlauts");
    if (lower)
        typed = typed.toLower();
    TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
    w.show();
    w.findChild<QComboBox *>("CB_Sort")->setCurrentIndex(1);
    auto *ed = w.findChild<QLineEdit *>("Ed_Suche");
    typeText(ed, typed);
    QCOMPARE(ed->text(), typed);
    const QString found = w.List().Articles().FieldByName("Suchbegriff")->AsString();
    QVERIFY2(WaWiCollationKey(found).startsWith(WaWiCollationKey(typed)),
             qPrintable(QString("%1 found %2").arg(typed, found)));
    // the grid's current row follows
    auto *grid = w.findChild<TDBBGrid *>("DBBGrid1");
    QCOMPARE(grid->currentIndex().row() + 1, w.List().Articles().RecNo());
    // within a group too: the group of the found article
    const int group = w.List().CurrentArticleGroup();
    w.findChild<QTreeWidget *>("TreeView1")->setCurrentItem(w.FindNode(group));
    QCOMPARE(w.List().Articles().FieldByName("Suchbegriff")->AsString(), found);
}

void tst_Artikelliste::enterAndEscMark()
{
    TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
    w.show();
    w.findChild<QComboBox *>("CB_Sort")->setCurrentIndex(1);
    auto *ed = w.findChild<QLineEdit *>("Ed_Suche");
    Dataset &t = w.List().Articles();
    // blank text: Enter marks nothing
    QTest::keyClicks(ed, "   ");
    const int firstKey = t.FieldAt(0)->AsInteger();
    const QVariant firstMark = artcheck::readAll()[firstKey].selekt;
    QTest::keyClick(ed, Qt::Key_Return);
    QCOMPARE(artcheck::readAll()[firstKey].selekt, firstMark);
    ed->clear();
    typeText(ed, QString::fromUtf8("Öl"));
    const int key = t.FieldAt(0)->AsInteger();
    QTest::keyClick(ed, Qt::Key_Escape);
    QVERIFY(!artcheck::readAll()[key].selekt.isValid());
    QTest::keyClick(ed, Qt::Key_Return);
    QCOMPARE(ed->selectedText(), QString::fromUtf8("Öl"));
    QTest::keyClick(ed, Qt::Key_Enter);
    QCOMPARE(artcheck::readAll()[key].selekt.toInt(), 2);
    QTest::keyClick(ed, Qt::Key_Escape);
    QVERIFY(!artcheck::readAll()[key].selekt.isValid());
    // cursor keys move through the list
    const int rec = t.RecNo();
    QTest::keyClick(ed, Qt::Key_Down);
    QCOMPARE(t.RecNo(), rec + 1);
    QTest::keyClick(ed, Qt::Key_Up);
    QCOMPARE(t.RecNo(), rec);
}

void tst_Artikelliste::longTextEditSavedWhenLeft()
{
    int key = 0;
    {
        TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
        w.show();
        auto *edit = w.findChild<QTextEdit *>("DBRichEdit1");
        QVERIFY(!edit->isReadOnly());
        Dataset &t = w.List().Articles();
        t.First();
        key = t.FieldAt(0)->AsInteger();
        edit->selectAll();
        typeText(edit, QString::fromUtf8("Neu: Größe {XL} \\ 5 €"));
        QCOMPARE(edit->toPlainText(), QString::fromUtf8("Neu: Größe {XL} \\ 5 €"));
        // pending until the article is left
        {
            TVLBTable a;
            a.SetTableName("Artikel.DB");
            a.Open();
            QVERIFY(a.FindKey({key}));
            QVERIFY(!RtfToText(a.FieldByName("Langtext")->AsString(), 0, false).contains("Neu:"));
        }
        t.Next();
        QVERIFY(t.FieldAt(0)->AsInteger() != key);
        // an empty group: nothing to describe
        w.findChild<QTreeWidget *>("TreeView1")->setCurrentItem(w.FindNode(readEmptyGroup()));
        QVERIFY(t.IsEmpty());
        QVERIFY(edit->isReadOnly());
        QVERIFY(w.close());
    }
    TVLBTable a;
    a.SetTableName("Artikel.DB");
    a.Open();
    QVERIFY(a.FindKey({key}));
    const QString stored = a.FieldByName("Langtext")->AsString();
    QVERIFY2(stored.startsWith("{\\rtf"), qPrintable(stored));
    QCOMPARE(RtfToText(stored, 0, false).trimmed(), QString::fromUtf8("Neu: Größe XL \\ 5 €"));
}

void tst_Artikelliste::windowSettings_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("expectWidth");
    QTest::addColumn<int>("expectHeight");
    QTest::newRow("too small") << "100" << "50" << 646 << 471;
    QTest::newRow("stored") << "900" << "600" << 900 << 600;
    QTest::newRow("not numbers") << "breit" << "" << 646 << 471;
}

void tst_Artikelliste::windowSettings()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, expectWidth);
    QFETCH(int, expectHeight);
    const QString section = "WINPOS\\Artikelliste";
    RegWriteSetting(section, "WIDTH", width);
    RegWriteSetting(section, "HEIGHT", height);
    RegWriteSetting(section, "WINDOWSTATE", "0");
    {
        TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
        QCOMPARE(w.width(), expectWidth);
        QCOMPARE(w.height(), expectHeight);
        w.show();
        w.resize(700, 500);
        QVERIFY(w.close());
    }
    QCOMPARE(RegReadSetting(section, "WINDOWSTATE"), QString("0"));
    QCOMPARE(RegReadSetting(section, "WIDTH"), QString("700"));
    QCOMPARE(RegReadSetting(section, "HEIGHT"), QString("500"));
    QVERIFY(StrToIntX(RegReadSetting(section, "TreeView1")) >= 30);
}

void tst_Artikelliste::treeMenu()
{
    RegWriteSetting("Sort", "Warengruppe", "0");
    RegWriteSetting("WINPOS\\Artikelliste", "TreeAuf", "1");
    // top groups whose names sort by their base letters, not their case
    for (const auto &g : {qMakePair(9990, QString::fromUtf8("Ärmel-Ecke")), qMakePair(9991, QString("bastelbedarf"))}) {
        TVLBTable t;
        t.SetTableName("Warengruppe.DB");
        t.Open();
        t.Append();
        t.FieldAt(0)->SetAsInteger(g.first);
        t.FieldByName("Mandant")->SetAsInteger(1);
        t.FieldByName("Anhang")->SetAsInteger(0);
        t.FieldByName("ART")->SetAsInteger(0);
        t.FieldByName("Bezeichnung")->SetAsString(g.second);
        t.Post();
    }
    auto texts = [](QTreeWidgetItem *parent) {
        QStringList out;
        for (int i = 0; i < parent->childCount(); ++i)
            out << parent->child(i)->text(0);
        return out;
    };
    QStringList tableOrder;
    {
        TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
        w.show();
        auto *tree = w.findChild<QTreeWidget *>("TreeView1");
        QTreeWidgetItem *root = tree->topLevelItem(0);
        QVERIFY(root->child(0)->isExpanded());
        tableOrder = texts(root);
        QStringList sorted = tableOrder;
        std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) { return WaWiCollationKey(a) < WaWiCollationKey(b); });
        QVERIFY2(sorted != tableOrder, "the demo's top groups are not in alphabetical order");
        auto *sortAction = w.findChild<QAction *>("Sortiert1");
        sortAction->trigger();
        QVERIFY(sortAction->isChecked());
        QCOMPARE(texts(tree->topLevelItem(0)), sorted);
        QCOMPARE(RegReadSetting("Sort", "Warengruppe"), QString("-1"));
        sortAction->trigger();
        QCOMPARE(texts(tree->topLevelItem(0)), tableOrder);
        QCOMPARE(RegReadSetting("Sort", "Warengruppe"), QString("0"));
        sortAction->trigger();
        w.findChild<QAction *>("beimffnenalleWarengruppenzeigen1")->trigger();
        QCOMPARE(RegReadSetting("WINPOS\\Artikelliste", "TreeAuf"), QString("0"));
        QVERIFY(w.close());
    }
    {
        // the next window reads both
        TFM_Artikelliste w(TFM_Artikelliste::Mode::List);
        w.show();
        auto *tree = w.findChild<QTreeWidget *>("TreeView1");
        QVERIFY(w.findChild<QAction *>("Sortiert1")->isChecked());
        QVERIFY(!w.findChild<QAction *>("beimffnenalleWarengruppenzeigen1")->isChecked());
        QVERIFY(!tree->topLevelItem(0)->child(0)->isExpanded());
        QStringList sorted = tableOrder;
        std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) { return WaWiCollationKey(a) < WaWiCollationKey(b); });
        QCOMPARE(texts(tree->topLevelItem(0)), sorted);
        // refreshing keeps the sorting
        w.findChild<QAction *>("Action_Refresh")->trigger();
        QCOMPARE(texts(tree->topLevelItem(0)), sorted);
        w.findChild<QAction *>("Sortiert1")->trigger();
        w.findChild<QAction *>("beimffnenalleWarengruppenzeigen1")->trigger();
        QVERIFY(w.close());
    }
}

void tst_Artikelliste::dropMakesLinkThatReachesShop()
{
    const QString file = QDir(Settings().ExeDir).filePath("warengruppen.xml");
    QFile::remove(file);
    int article = 0, own = 0, other = 0;
    {
        TFM_Artikelliste w(TFM_Artikelliste::Mode::Assignment);
        w.resize(1000, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QString("Warengruppenzuweisung"));
        QVERIFY(w.findChild<QGroupBox *>("GB_Mehrfach")->isVisible());
        auto *tree = w.findChild<QTreeWidget *>("TreeView1");
        auto *links = w.findChild<TDBBGrid *>("DBBGrid2");
        w.List().Articles().MoveBy(3);
        article = w.List().CurrentArticleKey();
        own = w.List().CurrentArticleGroup();
        // a group with articles of its own, so both grids show rows
        QHash<int, int> perGroup;
        for (const auto &a : artcheck::readAll())
            if (a.mandant == 1 && a.art == 0)
                ++perGroup[a.group];
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            const int g = TFM_Artikelliste::NodeGroup(*it);
            if (g > 0 && g != own && perGroup.value(g) > 2) {
                other = g;
                break;
            }
        }
        QVERIFY(article > 0 && own > 0 && other > 0);
        std::unique_ptr<QMimeData> data(w.ArticleDragData());
        QVERIFY(dropOn(w, w.FindNode(other), data.get()));
        QVERIFY(w.Links().Contains(other, article));
        QVERIFY(m_ui.messages.isEmpty());
        // the drop selects the group: its own articles above, the link below
        QCOMPARE(TFM_Artikelliste::NodeGroup(tree->currentItem()), other);
        QCOMPARE(links->model()->rowCount(), 1);
        const QString title = links->model()->headerData(4, Qt::Horizontal).toString();
        QCOMPARE(title, QString("zugewiesene Warengruppe"));
        QString number;
        {
            TVLBTable a;
            a.SetTableName("Artikel.DB");
            a.Open();
            QVERIFY(a.FindKey({article}));
            number = a.FieldByName("Artikelnummer")->AsString();
        }
        QCOMPARE(links->model()->data(links->model()->index(0, 0)).toString(), number);
        // twice onto the same group
        QVERIFY(dropOn(w, w.FindNode(other), data.get()));
        QCOMPARE(m_ui.messages, QStringList{"Dieser Artikel ist schon zugewiesen!"});
        QCOMPARE(w.Links().Count(), 1);

        const QString shots = qEnvironmentVariable("MV_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QTest::qWait(200);
            QVERIFY(w.grab().save(shots + "/screenshot-artikelliste.png"));
        }
        // the link is deleted and made again
        w.findChild<QAction *>("DataSetDelete1")->trigger();
        QCOMPARE(w.Links().Count(), 0);
        QVERIFY(!w.findChild<QAction *>("DataSetDelete1")->isEnabled());
        QVERIFY(dropOn(w, w.FindNode(other), data.get()));
        QCOMPARE(w.Links().Count(), 1);
        QVERIFY(w.close());
    }
    const TablePacket p = TableFile::ReadPacket(file);
    QCOMPARE(p.rows.size(), 1);
    {
        // opened again: the link with its look-ups once the articles are shown
        TFM_Artikelliste w(TFM_Artikelliste::Mode::Assignment);
        w.show();
        auto *links = w.findChild<TDBBGrid *>("DBBGrid2");
        QCOMPARE(links->model()->rowCount(), 1);
        QTRY_VERIFY(!links->model()->data(links->model()->index(0, 0)).toString().isEmpty());
        QVERIFY(!links->model()->data(links->model()->index(0, 5)).toString().isEmpty());
        QVERIFY(w.close());
    }
    QCOMPARE(p.rows[0].value(1).toInt(), other);
    QCOMPARE(p.rows[0].value(2).toInt(), article);

    // into the shop
    MariaDbServer db;
    QString err;
    MV_REQUIRE_SERVER(db.start(&err), err);
    QVERIFY2(db.installShopSchema(QString(), &err), qPrintable(err));
    QVERIFY(copyTree(TestEnv::sourceDir() + "/db", m_env->file("db")));
    ShopSettings &s = Settings();
    s.SQL_Server = "MySQL";
    s.SQL_Host = db.hostPort();
    s.SQL_User = db.user();
    s.SQL_Pass = db.password();
    s.SQL_Data = db.database();
    QVERIFY2(SaveSettings(&err), qPrintable(err));
    QProcess cli;
    cli.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    cli.start(TestEnv::binaryDir() + "/marktvoll-cli", {"transfer", "--kinds", "warengruppen", "--all"});
    QVERIFY(cli.waitForFinished(300000));
    const QString out = QString::fromUtf8(cli.readAllStandardOutput() + cli.readAllStandardError());
    QVERIFY2(cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0, qPrintable(out));
    QCOMPARE(db.scalar(QString("SELECT COUNT(*) FROM waverbindung WHERE warengruppe=%1 AND artikel=%2").arg(other).arg(article)),
             QString("1"));
    QCOMPARE(db.scalar("SELECT COUNT(*) FROM waverbindung WHERE warengruppe=0 OR warengruppe IS NULL"), QString("0"));
}

void tst_Artikelliste::dropRefused()
{
    const QString file = QDir(Settings().ExeDir).filePath("warengruppen.xml");
    QFile::remove(file);
    for (auto mode : {TFM_Artikelliste::Mode::Assignment, TFM_Artikelliste::Mode::List}) {
        TFM_Artikelliste w(mode);
        w.resize(1000, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *tree = w.findChild<QTreeWidget *>("TreeView1");
        w.List().Articles().First();
        const int own = w.List().CurrentArticleGroup();
        std::unique_ptr<QMimeData> data(w.ArticleDragData());
        // the root carries no group
        QVERIFY(!dropOn(w, tree->topLevelItem(0), data.get()));
        // the article's own group
        QVERIFY(w.FindNode(own));
        QVERIFY(!dropOn(w, w.FindNode(own), data.get()));
        // a drag from anywhere else
        QMimeData text;
        text.setText("123");
        QTreeWidgetItem *other = tree->topLevelItem(0)->child(0);
        if (TFM_Artikelliste::NodeGroup(other) == own)
            other = tree->topLevelItem(0)->child(1);
        QVERIFY(!dropOn(w, other, &text));
        // in the list mode the tree takes nothing at all
        if (mode == TFM_Artikelliste::Mode::List)
            QVERIFY(!dropOn(w, other, data.get()));
        QCOMPARE(w.Links().Count(), 0);
        QVERIFY(m_ui.messages.isEmpty());
        QVERIFY(w.close());
    }
    QCOMPARE(TableFile::ReadPacket(file).rows.size(), 0);
}

QTEST_MAIN(tst_Artikelliste)
#include "tst_Artikelliste.moc"
