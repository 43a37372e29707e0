// Speed of the article list on a large WaWi: the time from opening the
// window to its first rows painted, and the time from choosing another
// group in the tree to that group's articles painted.
//
//   bench_artlist [DIR] [--articles N] [--runs R] [--groups G]
//
// Without Artikel.DB in DIR (default: a temporary folder) a demo WaWi with
// N articles (default 100000) is written there first. Runs offscreen
// unless QT_QPA_PLATFORM says otherwise. Targets: first rows < 1 s, a
// group change < 200 ms.

#include "browse/ui/TFM_Artikelliste.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "data/ui/TDBBGrid.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

using namespace mv;

namespace {

// Paints the grid now, as the event loop would after the change.
void paintNow(TDBBGrid *grid)
{
    QApplication::processEvents();
    grid->viewport()->repaint();
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int articles = 100000, runs = 5, groupChanges = 20;
    QString dir;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--articles") && i + 1 < args.size())
            articles = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--groups") && i + 1 < args.size())
            groupChanges = std::max(1, args.at(++i).toInt());
        else
            dir = args.at(i);
    }
    QTemporaryDir tmp;
    if (dir.isEmpty())
        dir = tmp.path();
    // window settings and layout files stay in the temporary folder
    qputenv("MARKTVOLL_REGISTRY", QFile::encodeName(tmp.filePath(QStringLiteral("registry.reg"))));
    Settings().ExeDir = tmp.path() + QLatin1Char('/');
    if (FindTableFile(dir, QStringLiteral("Artikel.DB")).isEmpty()) {
        std::printf("writing a demo WaWi with %d articles into %s ...\n", articles, qPrintable(dir));
        std::fflush(stdout);
        QElapsedTimer w;
        w.start();
        WaWiDemoOptions o;
        o.articles = articles;
        o.addresses = 100;
        o.groups = 400;
        o.registerInRegistry = false;
        WriteWaWiDemo(dir, o);
        std::printf("  written in %.1f s\n", w.elapsed() / 1000.0);
    }
    QString err;
    if (!TVLBDatabase::Connect(dir, &err)) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    ConsoleUiHooks hooks;
    SetUiHooks(&hooks);
    Settings().Aktiv_Mandant = 1;
    Settings().WaWiDir = dir + QLatin1Char('/');

    // The engine alone: one cursor on Artikel.DB opened and restricted.
    {
        QVector<double> table;
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer t;
            t.start();
            ArticleList list;
            list.Open(1);
            table << t.nsecsElapsed() / 1e6;
        }
        std::printf("article tables opened and restricted (no window): median %.1f ms\n", median(table));
    }

    // Links as a shop owner has them: a few hundred articles in further groups.
    {
        ArticleList list;
        list.Open(1);
        QVector<QVector<QVariant>> rows;
        TVLBTable &t = list.Articles();
        int i = 0;
        for (t.First(); !t.Eof() && rows.size() < 300; t.Next(), ++i)
            if (i % 97 == 0)
                rows.append({QVariant(), t.FieldByName(QStringLiteral("Warengruppe"))->AsInteger() + 1,
                             t.FieldAt(0)->AsInteger()});
        TableFile::WritePacketFile(Settings().ExeDir + QStringLiteral("warengruppen.xml"), WarengruppenLayout(), rows);
    }

    QVector<double> open, change, linksShown, fromAll, toAll;
    int rows = 0, groupCount = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        auto *w = new TFM_Artikelliste(TFM_Artikelliste::Mode::Assignment);
        w->resize(1000, 700);
        w->show();
        auto *grid = w->findChild<TDBBGrid *>(QStringLiteral("DBBGrid1"));
        paintNow(grid);
        open << t.nsecsElapsed() / 1e6;
        rows = grid->model()->rowCount();
        // the link grid's look-ups follow
        auto *links = w->findChild<TDBBGrid *>(QStringLiteral("DBBGrid2"));
        while (links->model()->rowCount() > 0 && links->model()->data(links->model()->index(0, 0)).toString().isEmpty()
               && t.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        links->viewport()->repaint();
        linksShown << t.nsecsElapsed() / 1e6;

        // the groups in tree order, each one after the other
        auto *tree = w->findChild<QTreeWidget *>(QStringLiteral("TreeView1"));
        QVector<QTreeWidgetItem *> nodes;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if (TFM_Artikelliste::NodeGroup(*it) > 0)
                nodes << *it;
        groupCount = int(nodes.size());
        for (int i = 0; i < groupChanges && !nodes.isEmpty(); ++i) {
            QTreeWidgetItem *node = nodes.at((i * 7 + r) % nodes.size());
            t.restart();
            tree->setCurrentItem(node);
            paintNow(grid);
            // the first change leaves the order of all articles for the groups' order
            (i == 0 ? fromAll : change) << t.nsecsElapsed() / 1e6;
        }
        t.restart();
        tree->setCurrentItem(tree->topLevelItem(0));
        paintNow(grid);
        toAll << t.nsecsElapsed() / 1e6;
        w->close();
        delete w;
        // the window wrote the links back; the next run reads them again
    }
    std::printf("articles of Mandant 1 in the list: %d, groups in the tree: %d\n", rows, groupCount);
    std::printf("open to first rows painted: median %.1f ms, best %.1f ms, worst %.1f ms (%d runs; target < 1000 ms)\n",
                median(open), *std::min_element(open.begin(), open.end()),
                *std::max_element(open.begin(), open.end()), runs);
    std::printf("open to the link grid's look-ups painted (300 links): median %.1f ms\n", median(linksShown));
    if (!change.isEmpty())
        std::printf("group to group, its rows painted: median %.1f ms, best %.1f ms, worst %.1f ms (%d changes; "
                    "target < 200 ms)\n",
                    median(change), *std::min_element(change.begin(), change.end()),
                    *std::max_element(change.begin(), change.end()), int(change.size()));
    if (!fromAll.isEmpty())
        std::printf("\"alle Artikel\" to a group: median %.1f ms; back to \"alle Artikel\": median %.1f ms "
                    "(both change the table's index)\n",
                    median(fromAll), median(toAll));
    TVLBDatabase::Disconnect();
    SetUiHooks(nullptr);
    return 0;
}
