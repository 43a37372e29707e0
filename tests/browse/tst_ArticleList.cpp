// The article list's logic on the demo WaWi: the group tree against the
// table, the articles of a group in both orders, the quick search with
// umlauts, the online switch and the marks written into Artikel.DB, the
// links of warengruppen.xml with their look-ups, and the long text written
// back as RTF.

#include "ArticleChecks.h"

#include "browse/ArticleList.h"
#include "browse/GroupLinks.h"
#include "browse/LongTextRtf.h"
#include "core/RtfReader.h"
#include "core/RtfToText.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "support/TestEnv.h"
#include "wawi/WaWiDemo.h"

#include <QFile>
#include <QtTest>

using namespace mv;

namespace {

struct Group {
    int number, parent, art;
    bool artNull;
    QString text;
};

QVector<Group> readGroups(int mandant)
{
    QVector<Group> out;
    TVLBTable t;
    t.SetTableName("Warengruppe.DB");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
        if (t.FieldByName("Mandant")->AsInteger() == mandant)
            out.append({t.FieldAt(0)->AsInteger(), t.FieldByName("Anhang")->AsInteger(),
                        t.FieldByName("ART")->AsInteger(), t.FieldByName("ART")->IsNull(),
                        t.FieldByName("Bezeichnung")->AsString()});
    return out;
}

void appendRecord(const QString &table, const QVariantMap &values)
{
    TVLBTable t;
    t.SetTableName(table);
    t.Open();
    t.Append();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        t.FieldByName(it.key())->SetValue(it.value());
    t.Post();
}

// Keys of the rows the table shows, in order.
QVector<int> shownKeys(Dataset &t)
{
    QVector<int> out;
    const QVariant here = t.Bookmark();
    for (t.First(); !t.Eof(); t.Next())
        out << t.FieldAt(0)->AsInteger();
    t.GotoBookmark(here);
    return out;
}

} // namespace

class tst_ArticleList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase()
    {
        TVLBDatabase::Disconnect();
        SetUiHooks(nullptr);
    }
    void treeAgreesWithTable();
    void groupArticles_data();
    void groupArticles();
    void quickSearch_data();
    void quickSearch();
    void onlineOfflineWritesExactlyTheSelection();
    void marksAndDelete();
    void rereadWhenChangedElsewhere();
    void mandantWithoutGroups_data();
    void mandantWithoutGroups();
    void links();
    void twoWindowsKeepEachOthersLinks();
    void linkFileUnreadable();
    void lookups();
    void pictureLookup_data();
    void pictureLookup();
    void longTextRoundTrip_data();
    void longTextRoundTrip();

private:
    mv::test::TestEnv m_env;
    RecordingUiHooks m_ui;
    QString m_wawi;
};

void tst_ArticleList::initTestCase()
{
    SetUiHooks(&m_ui);
    WaWiDemoOptions o;
    o.articles = 400;
    o.addresses = 20;
    o.groups = 60;
    o.mandanten = 3;
    o.registerInRegistry = false;
    m_wawi = m_env.file("wawi");
    WriteWaWiDemo(m_wawi, o);
    QVERIFY(TVLBDatabase::Connect(m_wawi));
    Settings().Aktiv_Mandant = 1;
    Settings().ExeDir = m_env.path() + QLatin1Char('/');
    Settings().WaWiDir = m_wawi + QLatin1Char('/');
    // Names that begin above 127 or with characters without a base letter.
    int key = 9000;
    for (const char *name : {"Äpfel aus dem Alten Land", "Öse aus Messing", "Übergröße", "ßpecial", "€-Münze",
                             "©-Etikett", "Zwinge"})
        appendRecord("Artikel.DB", {{"Artikel", ++key},
                                    {"Art", 0},
                                    {"Mandant", 1},
                                    {"Artikelnummer", QString::fromUtf8(name).left(3) + QString::number(key)},
                                    {"Suchbegriff", QString::fromUtf8(name).toUpper()},
                                    {"Bezeichnung", QString::fromUtf8(name)},
                                    {"Warengruppe", readGroups(1).first().number},
                                    {"Internet", true}});
}

void tst_ArticleList::treeAgreesWithTable()
{
    ArticleList list;
    list.Open(1);
    GroupTree tree;
    list.BuildTree(tree);
    const QVector<Group> groups = readGroups(1);
    QHash<int, Group> byNumber;
    for (const Group &g : groups)
        byNumber.insert(g.number, g);
    QSet<int> shown;
    int hidden = 0, orphans = 0;
    for (const Group &g : groups)
        hidden += !g.artNull && g.art >= 200;
    QVERIFY2(hidden > 0, "the demo has groups of kind 200 and above");
    for (const GroupTree::Node &n : tree.Nodes()) {
        QVERIFY2(!shown.contains(n.number), "every group once");
        shown.insert(n.number);
        QVERIFY(byNumber.contains(n.number));
        const Group &g = byNumber[n.number];
        QVERIFY2(g.artNull || g.art < 200, qPrintable(g.text));
        QCOMPARE(n.text, g.text);
        if (n.parent >= 0) {
            QCOMPARE(tree.Nodes()[n.parent].number, g.parent);
        } else if (g.parent > 0) {
            // a parent that is missing (or hidden) puts the group at the top
            QVERIFY(!shown.contains(g.parent) || !byNumber.contains(g.parent));
            ++orphans;
        }
    }
    QCOMPARE(int(shown.size()), int(groups.size()) - hidden);
    QVERIFY2(orphans > 0, "the demo has a group whose parent does not exist");
}

void tst_ArticleList::groupArticles_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<int>("sort");
    QTest::newRow("all by number") << true << int(ArticleSort::Nummer);
    QTest::newRow("all by name") << true << int(ArticleSort::Bezeichnung);
    QTest::newRow("groups by number") << false << int(ArticleSort::Nummer);
    QTest::newRow("groups by name") << false << int(ArticleSort::Bezeichnung);
}

void tst_ArticleList::groupArticles()
{
    QFETCH(bool, all);
    QFETCH(int, sort);
    const auto articles = artcheck::readAll();
    ArticleList list;
    list.Open(1);
    QSet<int> groups;
    for (const auto &a : articles)
        if (a.mandant == 1)
            groups.insert(a.group);
    const QList<int> shownGroups = all ? QList<int>{0} : groups.values();
    QVERIFY(shownGroups.size() > (all ? 0 : 3));
    for (int g : shownGroups) {
        list.ShowGroup(g, ArticleSort(sort), QString());
        const QVector<int> keys = shownKeys(list.Articles());
        QVector<int> expected;
        for (auto it = articles.cbegin(); it != articles.cend(); ++it)
            if (it->mandant == 1 && it->art == 0 && (g == 0 || it->group == g))
                expected << it.key();
        // the order of the index: number or search term, ties by key
        auto sortKey = [&](int k) {
            const auto &a = articles[k];
            return WaWiCollationKey(ArticleSort(sort) == ArticleSort::Nummer ? a.nummer : a.such);
        };
        std::sort(expected.begin(), expected.end(), [&](int x, int y) {
            const QString kx = sortKey(x), ky = sortKey(y);
            return kx != ky ? kx < ky : x < y;
        });
        QVector<QString> got, want;
        for (int k : keys)
            got << sortKey(k);
        for (int k : expected)
            want << sortKey(k);
        QCOMPARE(got, want);
        QCOMPARE(QSet<int>(keys.begin(), keys.end()), QSet<int>(expected.begin(), expected.end()));
        QCOMPARE(list.ShownGroup(), g);
    }
}

void tst_ArticleList::quickSearch_data()
{
    QTest::addColumn<int>("sort");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("expectPrefix");   // the found record's sort text begins so
    QTest::addColumn<bool>("inGroup");           // such a record is in the hand-made articles' group too
    QTest::newRow("name with umlaut A") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("Äpf") << QString::fromUtf8("ÄPF") << true;
    QTest::newRow("name lower-case o-umlaut") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("öse") << QString::fromUtf8("ÖSE") << true;
    QTest::newRow("name with u-umlaut") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("Überg") << QString::fromUtf8("ÜBERG") << true;
    QTest::newRow("name with sharp s") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("ßpec") << QString::fromUtf8("ßPEC") << true;
    QTest::newRow("name with euro sign") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("€-M") << QString::fromUtf8("€-M") << true;
    QTest::newRow("name with copyright") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("©") << QString::fromUtf8("©") << true;
    QTest::newRow("name with blanks around") << int(ArticleSort::Bezeichnung) << QString::fromUtf8("  zwinge ") << QString("ZWINGE") << true;
    QTest::newRow("number") << int(ArticleSort::Nummer) << QString("A-0001") << QString("A-0001") << false;
    QTest::newRow("number with umlaut") << int(ArticleSort::Nummer) << QString::fromUtf8("Übe") << QString::fromUtf8("Übe") << true;
}

void tst_ArticleList::quickSearch()
{
    QFETCH(int, sort);
    QFETCH(QString, search);
    QFETCH(QString, expectPrefix);
    QFETCH(bool, inGroup);
    ArticleList list;
    list.Open(1);
    const int total = list.Articles().RecordCount();
    for (int g : {0, -1}) {
        int group = g;
        if (g < 0) {
            // the group of the hand-made articles
            group = readGroups(1).first().number;
        }
        list.ShowGroup(group, ArticleSort(sort), search);
        TVLBTable &t = list.Articles();
        QVERIFY(!t.IsEmpty());
        const QString field = ArticleSort(sort) == ArticleSort::Nummer ? "Artikelnummer" : "Suchbegriff";
        const QString found = t.FieldByName(field)->AsString();
        if (g == 0 || inGroup)
            QVERIFY2(WaWiCollationKey(found).startsWith(WaWiCollationKey(expectPrefix)),
                     qPrintable(QString("%1 found %2").arg(search, found)));
        QVERIFY2(WaWiCollationKey(found) >= WaWiCollationKey(search.trimmed()), qPrintable(found));
        // find-nearest positions, it does not restrict
        if (g == 0)
            QCOMPARE(t.RecordCount(), total);
        // no record before it sorts at or above the search text
        t.Prior();
        if (!t.Bof())
            QVERIFY(WaWiCollationKey(t.FieldByName(field)->AsString()) < WaWiCollationKey(search.trimmed()));
    }
}

void tst_ArticleList::onlineOfflineWritesExactlyTheSelection()
{
    const auto before = artcheck::readAll();
    ArticleList list;
    list.Open(1);
    list.ShowGroup(0, ArticleSort::Nummer, QString());
    TVLBTable &t = list.Articles();
    // every third of the first 30 rows, offline then some back online
    QVariantList marks;
    QSet<int> keys;
    t.First();
    for (int i = 0; i < 30 && !t.Eof(); ++i, t.Next())
        if (i % 3 == 0) {
            marks << t.Bookmark();
            keys.insert(t.FieldAt(0)->AsInteger());
        }
    const QDateTime start = QDateTime::currentDateTime().addSecs(-1);
    QCOMPARE(list.SetOnline(marks, false), int(marks.size()));
    QVERIFY(list.LastWriteProblems().isEmpty());
    list.Close();

    auto after = artcheck::readAll(true);
    QCOMPARE(after.size(), before.size());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const auto &a = after[it.key()];
        if (keys.contains(it.key())) {
            QVERIFY(!a.internet);
            QVERIFY2(a.update >= start, "a save stamps Update");
        } else {
            QCOMPARE(a.internet, it->internet);
            QCOMPARE(a.update, it->update);
        }
        QCOMPARE(a.nummer, it->nummer);
        QCOMPARE(a.bez, it->bez);
    }
    artcheck::crossCheck(m_wawi, after);
    if (QTest::currentTestFailed())
        return;

    // the current record alone when nothing is marked
    list.Open(1);
    list.ShowGroup(0, ArticleSort::Nummer, QString());
    list.Articles().First();
    const int first = list.Articles().FieldAt(0)->AsInteger();
    QCOMPARE(list.SetOnline({}, true), 1);
    list.Close();
    const auto again = artcheck::readAll(true);
    QCOMPARE(again.size(), before.size());
    QVERIFY(again[first].internet);
    for (int k : keys)
        if (k != first)
            QVERIFY(!again[k].internet);
}

void tst_ArticleList::marksAndDelete()
{
    ArticleList list;
    list.Open(1);
    list.ShowGroup(0, ArticleSort::Nummer, QString());
    TVLBTable &t = list.Articles();
    t.First();
    t.Next();
    const int key = t.FieldAt(0)->AsInteger();
    list.Select({}, false);
    list.Select({}, true);
    list.Select({}, true);
    QCOMPARE(artcheck::readAll()[key].selekt.toInt(), 2);
    list.Select({}, false);
    QVERIFY(!artcheck::readAll()[key].selekt.isValid());
    // a delete switches offline and keeps the article
    list.SetOnline({}, true);
    const int count = t.RecordCount();
    t.Delete();
    QCOMPARE(t.RecordCount(), count);
    list.Close();
    const auto all = artcheck::readAll(true);
    QVERIFY(all.contains(key));
    QVERIFY(!all[key].internet);
}

void tst_ArticleList::rereadWhenChangedElsewhere()
{
    ArticleList list;
    list.Open(1);
    list.ShowGroup(0, ArticleSort::Nummer, QString());
    TVLBTable &t = list.Articles();
    t.First();
    t.Next();
    const int key = t.FieldAt(0)->AsInteger();
    const bool was = t.FieldByName("Internet")->AsBoolean();
    // its own writes need no re-read
    QCOMPARE(list.SetOnline({}, was), 1);
    QVERIFY(!list.RefreshIfChanged());
    // another program switches the article
    QTest::qWait(20);
    {
        TVLBTable other;
        other.SetTableName("Artikel.DB");
        other.Open();
        QVERIFY(other.FindKey({key}));
        other.Edit();
        other.FieldByName("Internet")->SetAsBoolean(!was);
        other.Post();
    }
    QVERIFY(list.RefreshIfChanged());
    QCOMPARE(t.FieldAt(0)->AsInteger(), key);
    QCOMPARE(t.FieldByName("Internet")->AsBoolean(), !was);
    QCOMPARE(t.IndexName(), QString("Nummer"));
    QVERIFY(!list.RefreshIfChanged());
}

void tst_ArticleList::mandantWithoutGroups_data()
{
    QTest::addColumn<int>("mandant");
    QTest::addColumn<int>("art");   // -1: no group at all
    QTest::addColumn<bool>("expectWaren");
    QTest::newRow("no groups") << 7 << -1 << true;
    QTest::newRow("only hidden groups") << 8 << 250 << true;
    QTest::newRow("groups of kind 100") << 9 << 100 << false;
    QTest::newRow("groups of kind 0") << 10 << 0 << false;
}

void tst_ArticleList::mandantWithoutGroups()
{
    QFETCH(int, mandant);
    QFETCH(int, art);
    QFETCH(bool, expectWaren);
    if (art >= 0)
        appendRecord("Warengruppe.DB", {{"Warengruppe", 100000 + 1000 * mandant},
                                        {"Mandant", mandant},
                                        {"Anhang", 0},
                                        {"ART", art},
                                        {"Bezeichnung", QString("Eigene")}});
    int maxKey = 0;
    for (int m = 0; m < 20; ++m)
        for (const Group &g : readGroups(m))
            maxKey = std::max(maxKey, g.number);
    for (int round = 0; round < 2; ++round) {
        ArticleList list;
        list.Open(mandant);
        GroupTree tree;
        list.BuildTree(tree);
        list.Close();
        const QVector<Group> groups = readGroups(mandant);
        int waren = 0;
        for (const Group &g : groups)
            if (g.text == QLatin1String("Waren")) {
                ++waren;
                QCOMPARE(g.parent, 0);
                QVERIFY2(g.number > maxKey, "a number no other group has");
            }
        // once, and not again at the next opening
        QCOMPARE(waren, expectWaren ? 1 : 0);
        if (expectWaren) {
            QCOMPARE(tree.Count(), 1);
            QCOMPARE(tree.Nodes().first().text, QString("Waren"));
        }
    }
}

void tst_ArticleList::links()
{
    const QString path = m_env.file("links.xml");
    QFile::remove(path);
    ArticleList list;
    list.Open(1);
    int own = 0, other = 0, article = 0, second = 0;
    {
        GroupLinks links(list);
        QCOMPARE(links.Open(path), QString());
        QVERIFY(links.IsOpen());
        list.Articles().First();
        article = list.CurrentArticleKey();
        own = list.CurrentArticleGroup();
        list.Articles().Next();
        second = list.CurrentArticleKey();
        for (const Group &g : readGroups(1))
            if (g.number != own) {
                other = g.number;
                break;
            }
        using R = GroupLinks::AddResult;
        QCOMPARE(links.Add(0, article, own), R::RootRefused);
        QCOMPARE(links.Add(-1, article, own), R::RootRefused);
        QCOMPARE(links.Add(own, article, own), R::OwnGroup);
        QCOMPARE(links.Add(other, article, own), R::Added);
        QCOMPARE(links.Add(other, article, own), R::Duplicate);
        QCOMPARE(links.Add(other, second, list.CurrentArticleGroup()), other == list.CurrentArticleGroup() ? R::OwnGroup : R::Added);
        QCOMPARE(links.Add(own, second, list.CurrentArticleGroup()), own == list.CurrentArticleGroup() ? R::OwnGroup : R::Added);
        // the duplicate check sees all links, whatever group is shown
        links.ShowGroup(own);
        QCOMPARE(links.Add(other, article, own), R::Duplicate);
        links.ShowGroup(other);
        QCOMPARE(links.File().RecordCount(), 1 + (other != list.CurrentArticleGroup()));
        links.ShowGroup(0);
        QCOMPARE(links.File().RecordCount(), links.Count());
        QCOMPARE(links.Close(), QString());
    }
    // the file: three fields in order, id empty, no group 0
    const TablePacket p = TableFile::ReadPacket(path);
    QCOMPARE(p.fields.size(), 3);
    QCOMPARE(p.fields[0].name, QString("id"));
    QCOMPARE(p.fields[1].name, QString("warengruppe"));
    QCOMPARE(p.fields[2].name, QString("artikel"));
    QVERIFY(p.rows.size() >= 2);
    bool found = false;
    for (const auto &r : p.rows) {
        QVERIFY(!r[0].isValid());
        QVERIFY(r[1].toInt() > 0);
        found = found || (r[1].toInt() == other && r[2].toInt() == article);
    }
    QVERIFY(found);

    // deleting a link, kept after reopening
    {
        GroupLinks links(list);
        QCOMPARE(links.Open(path), QString());
        const int n = links.Count();
        links.ShowGroup(other);
        QVERIFY(links.Contains(other, article));
        while (!links.File().IsEmpty() && links.File().FieldByName("artikel")->AsInteger() != article)
            links.File().Next();
        QVERIFY(links.DeleteCurrent());
        QVERIFY(!links.Contains(other, article));
        QCOMPARE(links.Count(), n - 1);
        QCOMPARE(links.Close(), QString());
    }
    QCOMPARE(int(TableFile::ReadPacket(path).rows.size()), int(p.rows.size()) - 1);

    // a closed file refuses and says so
    GroupLinks closed(list);
    QCOMPARE(closed.Add(other, article, own), GroupLinks::AddResult::NotOpen);
    QVERIFY(!closed.CanDelete());
    QVERIFY(!closed.DeleteCurrent());
}

void tst_ArticleList::twoWindowsKeepEachOthersLinks()
{
    const QString path = m_env.file("zwei.xml");
    QFile::remove(path);
    TableFile::WritePacketFile(path, WarengruppenLayout(), {{QVariant(), 11, 101}, {QVariant(), 12, 102}});
    ArticleList list;
    list.Open(1);
    GroupLinks a(list), b(list);
    QCOMPARE(a.Open(path), QString());
    QCOMPARE(b.Open(path), QString());
    using R = GroupLinks::AddResult;
    QCOMPARE(a.Add(21, 201, 0), R::Added);
    QCOMPARE(b.Add(22, 202, 0), R::Added);
    QCOMPARE(b.Add(23, 203, 0), R::Added);
    // b deletes a link of the file and one of its own
    for (b.File().First(); !b.File().Eof(); b.File().Next())
        if (b.File().FieldByName("artikel")->AsInteger() == 102)
            break;
    QVERIFY(b.DeleteCurrent());
    for (b.File().First(); !b.File().Eof(); b.File().Next())
        if (b.File().FieldByName("artikel")->AsInteger() == 203)
            break;
    QVERIFY(b.DeleteCurrent());
    QCOMPARE(a.Close(), QString());
    QCOMPARE(b.Close(), QString());
    QSet<QPair<int, int>> got;
    const TablePacket p = TableFile::ReadPacket(path);
    for (const auto &r : p.rows) {
        QVERIFY(!r[0].isValid());
        got.insert({r[1].toInt(), r[2].toInt()});
    }
    QCOMPARE(int(p.rows.size()), int(got.size()));
    QCOMPARE(got, (QSet<QPair<int, int>>{{11, 101}, {21, 201}, {22, 202}}));
    // an unchanged window leaves the file alone
    const QDateTime before = QFileInfo(path).lastModified();
    QTest::qWait(20);
    GroupLinks c(list);
    QCOMPARE(c.Open(path), QString());
    QCOMPARE(c.Close(), QString());
    QCOMPARE(QFileInfo(path).lastModified(), before);
}

void tst_ArticleList::linkFileUnreadable()
{
    ArticleList list;
    list.Open(1);
    for (const QByteArray &content : {QByteArray("<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA>"),
                                      QByteArray("kein XML"),
                                      TableFile::WritePacket({{"name", FieldType::String, 20}}, {{QString("x")}})}) {
        const QString path = m_env.file("kaputt.xml");
        QFile::remove(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        const QStringList before = QDir(m_env.path()).entryList({"kaputt.defekt*"}, QDir::Files);
        GroupLinks links(list);
        const QString msg = links.Open(path);
        QVERIFY2(msg.contains("aufbewahrt"), qPrintable(msg));
        QVERIFY(links.IsOpen());
        QCOMPARE(links.Count(), 0);
        // the unreadable file is kept, not deleted
        const QStringList after = QDir(m_env.path()).entryList({"kaputt.defekt*"}, QDir::Files);
        QCOMPARE(after.size(), before.size() + 1);
        bool kept = false;
        for (const QString &name : after) {
            QFile k(m_env.file(name));
            if (k.open(QIODevice::ReadOnly) && k.readAll() == content)
                kept = true;
        }
        QVERIFY(kept);
        list.Articles().First();
        QCOMPARE(links.Add(readGroups(1).last().number, list.CurrentArticleKey(), 0), GroupLinks::AddResult::Added);
        QCOMPARE(links.Close(), QString());
        QCOMPARE(TableFile::ReadPacket(path).rows.size(), 1);
        for (const QString &name : QDir(m_env.path()).entryList({"kaputt*"}, QDir::Files))
            QFile::remove(m_env.file(name));
    }
}

void tst_ArticleList::lookups()
{
    // an article of known price and groups with internal names
    appendRecord("Warengruppe.DB", {{"Warengruppe", 7001}, {"Mandant", 1}, {"Anhang", 0},
                                    {"Bezeichnung", QString("Zusatz")},
                                    {"Bezeichnung_Intern", QString::fromUtf8("Zusätzliche Gruppe 'intern'")}});
    appendRecord("Warengruppe.DB", {{"Warengruppe", 7002}, {"Mandant", 1}, {"Anhang", 0},
                                    {"Bezeichnung", QString("Haupt")},
                                    {"Bezeichnung_Intern", QString::fromUtf8("Hauptgruppe Ü")}});
    appendRecord("Warengruppe.DB", {{"Warengruppe", 7003}, {"Mandant", 1}, {"Anhang", 0},
                                    {"Bezeichnung", QString::fromUtf8("Ohne Intern")}});
    appendRecord("Artikel.DB", {{"Artikel", 9900}, {"Art", 0}, {"Mandant", 1},
                                {"Artikelnummer", QString("LK-1")},
                                {"Bezeichnung", QString::fromUtf8("Große Kiste")},
                                {"Einheit", QString("Stk")},
                                {"VK1", 1234.5},
                                {"Warengruppe", 7002}});
    ArticleList list;
    list.Open(1);
    GroupLinks links(list);
    QCOMPARE(links.Lookup("Artikelnummer", 7001, 9900), QString("LK-1"));
    QCOMPARE(links.Lookup("Bezeichnung", 7001, 9900), QString::fromUtf8("Große Kiste"));
    QCOMPARE(links.Lookup("Einheit", 7001, 9900), QString("Stk"));
    QCOMPARE(links.Lookup("VK1", 7001, 9900), QString("1234.50"));
    QCOMPARE(links.Lookup("WBezeichnung", 7001, 9900), QString::fromUtf8("Zusätzliche Gruppe 'intern'"));
    QCOMPARE(links.Lookup("UWBezeichnung", 7001, 9900), QString::fromUtf8("Hauptgruppe Ü"));
    // keys that are not found give empty cells
    QCOMPARE(links.Lookup("Artikelnummer", 7001, 123456), QString());
    QCOMPARE(links.Lookup("VK1", 7001, 123456), QString());
    QCOMPARE(links.Lookup("UWBezeichnung", 7001, 123456), QString());
    QCOMPARE(links.Lookup("WBezeichnung", 99999, 9900), QString());
    // a group without an internal name yet shows its name
    QCOMPARE(links.Lookup("WBezeichnung", 7003, 9900), QString::fromUtf8("Ohne Intern"));

    // the grid model shows them beside the stored fields
    QCOMPARE(links.Open(m_env.file("lookups.xml")), QString());
    QCOMPARE(links.Add(7001, 9900, 7002), GroupLinks::AddResult::Added);
    LinkGridModel model(links);
    QCOMPARE(model.columnCount(), 3 + 6);
    QCOMPARE(model.rowCount(), 1);
    QStringList headers, cells;
    for (int c = 0; c < model.columnCount(); ++c) {
        headers << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        cells << model.data(model.index(0, c), Qt::DisplayRole).toString();
    }
    QCOMPARE(headers, (QStringList{"id", "warengruppe", "artikel", "Artikelnummer", "Bezeichnung", "Einheit", "VK1",
                                   "WBezeichnung", "UWBezeichnung"}));
    QCOMPARE(cells.mid(3), (QStringList{"LK-1", QString::fromUtf8("Große Kiste"), "Stk", "1234.50",
                                        QString::fromUtf8("Zusätzliche Gruppe 'intern'"),
                                        QString::fromUtf8("Hauptgruppe Ü")}));
}

void tst_ArticleList::pictureLookup_data()
{
    QTest::addColumn<QString>("stored");    // "Bild_klein"; <WAWI>, <EXE> stand for the folders
    QTest::addColumn<QString>("expected");  // the file found, "" for none
    QTest::newRow("absolute") << "<WAWI>/bilder/Bild 1.jpg" << "<WAWI>/bilder/Bild 1.jpg";
    QTest::newRow("in the WaWi, Windows separators") << "bilder\\Bild 1.jpg" << "<WAWI>/bilder/Bild 1.jpg";
    QTest::newRow("beside the program") << "eigene/klein.jpg" << "<EXE>/eigene/klein.jpg";
    QTest::newRow("program templates") << "vorlage.jpg" << "<EXE>/vorlagen/vorlage.jpg";
    QTest::newRow("web address") << "http://www.example.de/bilder/1.jpg" << "";
    QTest::newRow("missing") << "bilder\\fehlt.jpg" << "";
    QTest::newRow("a folder") << "bilder" << "";
    QTest::newRow("empty") << "" << "";
}

void tst_ArticleList::pictureLookup()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QDir().mkpath(m_env.file("eigene"));
    QDir().mkpath(m_env.file("vorlagen"));
    for (const QString &f : {m_env.file("eigene/klein.jpg"), m_env.file("vorlagen/vorlage.jpg")}) {
        QFile out(f);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(FlatColourJpeg(8, 8, 10, 200, 10));
    }
    QVERIFY(QFileInfo::exists(m_wawi + "/bilder/Bild 1.jpg"));
    auto expand = [&](QString s) {
        s.replace("<WAWI>", m_wawi);
        s.replace("<EXE>", m_env.path());
        return s;
    };
    ArticleList list;
    list.Open(1);
    list.Articles().First();
    QVERIFY(list.SetPicture(expand(stored)));
    QCOMPARE(QFileInfo(list.PictureFile()).canonicalFilePath(), QFileInfo(expand(expected)).canonicalFilePath());
    QCOMPARE(list.PictureFile().isEmpty(), expected.isEmpty());
    list.Articles().Cancel();
}

void tst_ArticleList::longTextRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<quint32>("color");
    QTest::newRow("umlauts") << QString::fromUtf8("Süße Äpfel für 5 €") << false << quint32(0);
    QTest::newRow("braces and backslash") << QString("C:\\Obst {frisch} \\par kein Absatz") << true << quint32(0);
    QTest::newRow("outside 1252") << QString::fromUtf8("Ωmega – ≤ 5 😀") << false << quint32(0xCC0000);
    QTest::newRow("apostrophes") << QString("Jack's 'Profi'") << true << quint32(0x0000FF);
}

void tst_ArticleList::longTextRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(bool, bold);
    QFETCH(quint32, color);
    LongTextRun a;
    a.text = text;
    a.bold = bold;
    a.color = color;
    LongTextRun b;
    b.text = QString::fromUtf8("zweite Zeile ü");
    b.italic = true;
    b.size = 14;
    b.font = "Courier New";
    const QString rtf = WriteLongTextRtf({{a}, {b}});
    QVERIFY(rtf.startsWith("{\\rtf1"));
    // only ANSI characters in the stored text
    for (QChar c : rtf)
        QVERIFY2(c.unicode() < 128, qPrintable(rtf));
    RtfDocument doc;
    QVERIFY(RtfReader::read(rtf, doc));
    QCOMPARE(doc.plainLines(), (QStringList{text, QString::fromUtf8("zweite Zeile ü")}));
    QCOMPARE(doc.formats[size_t(doc.runs.front().format)].bold, bold);
    QCOMPARE(doc.formats[size_t(doc.runs.front().format)].color, color);
    const RtfCharFormat &second = doc.formats[size_t(doc.runs.back().format)];
    QVERIFY(second.italic);
    QCOMPARE(second.size, 14);
    QCOMPARE(doc.fontNames.value(second.fontName), QString("Courier New"));

    // written into the article and shown again as HTML
    ArticleList list;
    list.Open(1);
    list.Articles().First();
    const int key = list.CurrentArticleKey();
    QVERIFY(list.SetLongText(rtf));
    QVERIFY(list.PostPending());
    list.Close();
    list.Open(1);
    QVERIFY(list.Articles().Locate("Artikel", {key}));
    QCOMPARE(list.Articles().FieldByName("Langtext")->AsString(), rtf);
    const QString html = list.LongTextHtml();
    QVERIFY(html.contains(bold ? "font-weight:bold" : "font-style:italic"));
    QVERIFY(html.contains(text.toHtmlEscaped()));
    QVERIFY(html.contains(QString::fromUtf8("zweite Zeile ü")));
}

QTEST_GUILESS_MAIN(tst_ArticleList)
#include "tst_ArticleList.moc"
