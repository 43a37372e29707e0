// The child windows inside the main window as a user meets them: a window's
// own OK or Cancel takes its frame along, each opens at a size that shows
// what it is for, Qt's own texts are German, no tooltip shows a mnemonic
// "&", the editors' navigators show pictures only, and the assistant stays
// tied to the main window when the web panel recreates its native window.

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/TPanelBar.h"
#include "core/ui/Translations.h"
#include "data/Dataset.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/ui/TDBNavigator.h"
#include "setup/ShopConfigFile.h"
#include "setup/ui/TFM_EinAssi.h"
#include "setup/ui/TFM_SQLServer.h"
#include "shell/TFM_Haupt.h"
#include "shell/TWebPanel.h"
#include "support/TestEnv.h"
#include "wawi/WaWiDemo.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include <memory>
#include <unistd.h>

using namespace mv;
using mv::test::TestEnv;

namespace {
void demoWaWi(const TestEnv &env)
{
    WaWiDemoOptions o;
    o.articles = 20;
    o.addresses = 5;
    o.groups = 6;
    o.mandanten = 1;
    WriteWaWiDemo(env.file(QStringLiteral("wawi")), o);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// One program start on the demo WaWi; the frame as large as a common screen
// (a smaller one shrinks the windows into it, see below).
std::unique_ptr<TFM_Haupt> start(const QByteArray &ini)
{
    writeFile(SettingsFilePath(), "[Allgemeine_Einstellung]\r\n" + ini);
    // A config.php with a remark, for the configuration editor.
    writeFile(ShopConfigFile::PhpPath(), "<?php\r\n$dbhost = \"localhost\"; //Datenbankserver des Shops\r\n"
                                         "$shopname = \"Gartenmöbel Müller & Söhne\"; //Name des Shops\r\n?>\r\n");
    Settings() = ShopSettings();
    auto w = std::make_unique<TFM_Haupt>();
    QSignalSpy started(w.get(), &TFM_Haupt::Started);
    w->resize(1600, 1000);
    w->show();
    if (!started.wait(5000))
        qWarning("show handler did not run");
    QApplication::processEvents();
    return w;
}

// Runs an action and returns the child window it opened.
QMdiSubWindow *open(TFM_Haupt *w, const QString &action)
{
    const QList<QMdiSubWindow *> before = w->MdiArea->subWindowList();
    w->RunAction(action);
    QApplication::processEvents();
    for (QMdiSubWindow *s : w->MdiArea->subWindowList())
        if (!before.contains(s))
            return s;
    return nullptr;
}

QString noMnemonic(QString s)
{
    return s.remove(QLatin1Char('&'));
}

// Where a title or caption is cut in a window: empty when nothing is.
QStringList cutTitles(QWidget *root)
{
    QStringList cut;
    for (TDBBGrid *g : root->findChildren<TDBBGrid *>()) {
        if (!g->isVisible())
            continue;
        QHeaderView *h = g->horizontalHeader();
        const QFontMetrics fm(h->font());
        for (int i = 0; i < h->count(); ++i) {
            if (h->isSectionHidden(i))
                continue;
            const QString t = g->model()->headerData(i, Qt::Horizontal).toString();
            if (h->sectionSize(i) < fm.horizontalAdvance(t) + 4)
                cut << g->objectName() + QLatin1Char(':') + t;
        }
    }
    for (QTabBar *bar : root->findChildren<QTabBar *>()) {
        if (!bar->isVisible())
            continue;
        const QFontMetrics fm(bar->font());
        for (int i = 0; i < bar->count(); ++i)
            if (bar->tabRect(i).width() < fm.horizontalAdvance(bar->tabText(i)) + 8
                || bar->tabRect(i).right() >= bar->width())
                cut << QStringLiteral("Reiter ") + bar->tabText(i);
    }
    return cut;
}
}

class ChildWindowsTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
private slots:
    void initTestCase() { QVERIFY(LoadGermanTranslations()); }
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    // A window's own OK/Cancel closes its frame too; no empty grey frame
    // stays behind, and the background picture comes back.
    void ownButtonClosesTheFrame_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("button");   // empty: the frame's close box
        QTest::newRow("Länder OK") << "Action_LandCFG" << "BitBtn1";
        QTest::newRow("Zahlarten OK") << "Action_Zahlarten" << "BitBtn1";
        QTest::newRow("FAQ OK") << "Action_FAQ" << "BitBtn1";
        QTest::newRow("config.php Abbruch") << "Action_CFG_Config" << "BitBtn2";
        QTest::newRow("config.php OK") << "Action_CFG_Config" << "BitBtn1";
        QTest::newRow("FTP Abbruch") << "Action_FTP" << "BitBtn1";
        QTest::newRow("FTP-Zugang OK") << "Action_Ass_FTP" << "BitBtn6";
        QTest::newRow("Newsletter OK") << "Action_NewsletterAdr" << "BitBtn1";
        QTest::newRow("Länder, Schließfeld") << "Action_LandCFG" << "";
        QTest::newRow("SQL-Ansicht, Schließfeld") << "Action_TablesSQL" << "";
    }
    void ownButtonClosesTheFrame()
    {
        QFETCH(QString, action);
        QFETCH(QString, button);
        TestEnv env;
        demoWaWi(env);
        auto w = start("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        // Another window stays open: only the closed one's frame goes.
        QMdiSubWindow *other = open(w.get(), QStringLiteral("Action_TablesSQL"));
        QVERIFY(other);
        QMdiSubWindow *sub = open(w.get(), action);
        QVERIFY(sub);
        QWidget *child = sub->widget();
        QVERIFY(child);
        QCOMPARE(w->MdiArea->subWindowList().size(), 2);
        const QPointer<QMdiSubWindow> frame = sub;
        if (button.isEmpty()) {
            sub->close();
        } else {
            auto *b = child->findChild<QPushButton *>(button);
            QVERIFY(b);
            QVERIFY(b->isVisible());
            b->click();
        }
        QTRY_VERIFY(frame.isNull());
        QCOMPARE(w->MdiArea->subWindowList(), QList<QMdiSubWindow *>{other});
        other->close();
        QTRY_VERIFY(w->MdiArea->subWindowList().isEmpty());
        QTRY_VERIFY(w->PA_Hintergrund->isVisible());
    }

    // The frame opens at the size the window gave itself, and at that size
    // no column title or page tab is cut; grids named show every column.
    void windowsShowTheirContent_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QSize>("size");           // the window's own size, when fixed
        QTest::addColumn<QStringList>("fullGrids");   // every column on screen
        QTest::newRow("Länder") << "Action_LandCFG" << QSize() << QStringList{"DBGrid1"};
        QTest::newRow("Zahlarten") << "Action_Zahlarten" << QSize() << QStringList{"DBGrid1"};
        QTest::newRow("News") << "Action_SQLNews" << QSize(760, 560) << QStringList{"DBGrid1"};
        QTest::newRow("Versandarten") << "Action_Versandarten" << QSize(820, 500) << QStringList{};
        QTest::newRow("Versandkosten") << "Action_Versandmodul" << QSize(700, 460) << QStringList{"DBGrid1"};
        QTest::newRow("FAQ") << "Action_FAQ" << QSize(900, 560) << QStringList{};
        QTest::newRow("config.php") << "Action_CFG_Config" << QSize(680, 480) << QStringList{"StringGrid1"};
        QTest::newRow("SQL-Ansicht") << "Action_TablesSQL" << QSize(720, 520) << QStringList{};
        QTest::newRow("FTP") << "Action_FTP" << QSize(650, 404) << QStringList{};
        QTest::newRow("Newsletter") << "Action_NewsletterAdr" << QSize(720, 480) << QStringList{"DBGrid1"};
        QTest::newRow("Artikelliste") << "ArtikelZeigen" << QSize() << QStringList{"DBBGrid1"};
        QTest::newRow("Warengruppenzuweisung") << "ArtikelZeigen2" << QSize() << QStringList{"DBBGrid1"};
    }
    void windowsShowTheirContent()
    {
        QFETCH(QString, action);
        QFETCH(QSize, size);
        QFETCH(QStringList, fullGrids);
        TestEnv env;
        demoWaWi(env);
        auto w = start("Assi_Frage=1\r\nAssi_Zeige=0\r\nAktiv_Mandant=1\r\n");
        QMdiSubWindow *sub = open(w.get(), action);
        QVERIFY(sub);
        QWidget *child = sub->widget();
        QApplication::processEvents();
        QVERIFY(w->MdiArea->viewport()->rect().contains(sub->geometry()));
        if (size.isValid())
            QCOMPARE(child->size(), size);
        // The frame is the window plus its border and title, no smaller.
        QVERIFY(sub->width() > child->width() && sub->height() > child->height() + 10);
        const QStringList cut = cutTitles(child);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
        for (const QString &name : fullGrids) {
            auto *grid = child->findChild<QTableView *>(name);
            QVERIFY2(grid, qPrintable(name));
            const int shown = grid->horizontalHeader()->length();
            QVERIFY2(shown <= grid->viewport()->width(),
                     qPrintable(QStringLiteral("%1: %2 > %3").arg(name).arg(shown).arg(grid->viewport()->width())));
        }
        // A tool bar keeps all its buttons on screen (no overflow arrow).
        for (QToolBar *bar : child->findChildren<QToolBar *>()) {
            auto *ext = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
            QVERIFY2(!ext || !ext->isVisible(), qPrintable(bar->objectName()));
        }
        // The article list's groups show their names whole.
        if (auto *tree = child->findChild<QTreeWidget *>(QStringLiteral("TreeView1"))) {
            QVERIFY(tree->topLevelItemCount() > 0 && tree->topLevelItem(0)->childCount() > 0);
            QVERIFY2(tree->columnWidth(0) <= tree->viewport()->width(),
                     qPrintable(QStringLiteral("%1 > %2").arg(tree->columnWidth(0)).arg(tree->viewport()->width())));
        }
        // With MV_SCREENSHOT_DIR set: the payment-method editor after the
        // take-over from the demo WaWi, for the docs.
        const QString shots = qEnvironmentVariable("MV_SCREENSHOT_DIR");
        if (!shots.isEmpty() && action == QLatin1String("Action_Zahlarten")) {
            child->findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
            QTest::qWait(200);
            QVERIFY(child->grab().save(shots + QStringLiteral("/screenshot-zahlarten.png")));
        }
        if (action == QLatin1String("ArtikelZeigen2")) {
            // The links below get a useful height, the one button a slim row.
            auto *links = child->findChild<QWidget *>(QStringLiteral("DBBGrid2"));
            auto *bar = child->findChild<QToolBar *>(QStringLiteral("ToolBar2"));
            QVERIFY(links->height() >= 140);
            QVERIFY2(bar->height() <= 30, qPrintable(QString::number(bar->height())));
        }
    }

    // Too large for the client area: shrunk into it, the rest scrolls.
    void aWindowLargerThanTheClientAreaFitsIn()
    {
        TestEnv env;
        demoWaWi(env);
        auto w = start("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        w->resize(800, 500);
        QApplication::processEvents();
        QMdiSubWindow *sub = open(w.get(), QStringLiteral("Action_Zahlarten"));
        QVERIFY(sub);
        QVERIFY(w->MdiArea->viewport()->rect().contains(sub->geometry()));
    }

    void sqlServerFieldsAreReadable()
    {
        TestEnv env;
        TFM_SQLServer d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY2(d.CB_Databases->width() >= 150, qPrintable(QString::number(d.CB_Databases->width())));
        const QString shop = QStringLiteral("https://www.gartenmoebel-mueller.de/shop");
        QVERIFY(d.ED_Http->width() >= d.ED_Http->fontMetrics().horizontalAdvance(shop));
    }

    // Qt's own dialogs and menus in German.
    void qtTextsAreGerman()
    {
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes
                             | QDialogButtonBox::No);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
        QCOMPARE(noMnemonic(box.button(QDialogButtonBox::Yes)->text()), QStringLiteral("Ja"));
        QCOMPARE(noMnemonic(box.button(QDialogButtonBox::No)->text()), QStringLiteral("Nein"));

        QFileDialog files(nullptr, QString(), QDir::tempPath());
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setFileMode(QFileDialog::ExistingFile);
        auto *lookIn = files.findChild<QLabel *>(QStringLiteral("lookInLabel"));
        auto *fileName = files.findChild<QLabel *>(QStringLiteral("fileNameLabel"));
        QVERIFY(lookIn && fileName);
        QCOMPARE(noMnemonic(lookIn->text()), QStringLiteral("Suchen in:"));
        QCOMPARE(noMnemonic(fileName->text()), QStringLiteral("Dateiname:"));

        QMdiArea area;
        QMdiSubWindow *sub = area.addSubWindow(new QWidget);
        QStringList items;
        for (QAction *a : sub->systemMenu()->actions())
            if (!a->isSeparator())
                items << noMnemonic(a->text());
        QVERIFY2(items.contains(QStringLiteral("Wiederherstellen")), qPrintable(items.join(',')));
        QVERIFY2(items.contains(QStringLiteral("Schließen")), qPrintable(items.join(',')));
        QVERIFY2(!items.contains(QStringLiteral("Close")), qPrintable(items.join(',')));
    }

    // No tooltip anywhere shows the "&" that marks a shortcut letter.
    void tooltipsShowNoMnemonic()
    {
        TestEnv env;
        demoWaWi(env);
        auto w = start("Assi_Frage=1\r\nAssi_Zeige=1\r\n");
        for (const char *a : {"Action_Adressen", "ArtikelZeigen", "ArtikelZeigen2", "Action_LandCFG", "Action_Zahlarten",
                              "Action_Versandarten", "Action_SQLNews", "Action_FAQ", "Action_Versandmodul",
                              "Action_NewsletterAdr", "Action_CFG_Config", "Action_TablesSQL", "Action_FTP"})
            QVERIFY2(open(w.get(), QString::fromLatin1(a)), a);
        const QRegularExpression mnemonic(QStringLiteral("(^|[^&])&[^&\\s]"));
        QStringList bad;
        QList<QObject *> all;
        for (QWidget *top : {static_cast<QWidget *>(w.get()), static_cast<QWidget *>(w->FM_EinAssi)}) {
            all << top;
            for (QObject *o : top->findChildren<QObject *>())
                all << o;
        }
        int seen = 0;
        for (QObject *o : all) {
            QString tip;
            if (auto *a = qobject_cast<QAction *>(o))
                tip = a->toolTip();
            else if (auto *wd = qobject_cast<QWidget *>(o))
                tip = wd->toolTip();
            if (tip.isEmpty())
                continue;
            ++seen;
            if (mnemonic.match(tip).hasMatch())
                bad << o->objectName() + QStringLiteral(": ") + tip;
        }
        QVERIFY(seen > 100);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QStringLiteral("\n"))));
        // The column editor's action in particular.
        auto *spalten = w->findChild<QAction *>(QStringLiteral("Action_Spalten"));
        QVERIFY(spalten);
        QCOMPARE(spalten->toolTip(), QStringLiteral("Spalteneditor"));
    }

    // Navigators show one set of pictures, no text glyphs beside them.
    void navigatorsShowPicturesOnly()
    {
        TestEnv env;
        demoWaWi(env);
        auto w = start("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        for (const char *a : {"Action_LandCFG", "Action_FAQ", "Action_NewsletterAdr"})
            QVERIFY2(open(w.get(), QString::fromLatin1(a)), a);
        const QList<TDBNavigator *> navs = w->findChildren<TDBNavigator *>();
        QVERIFY(navs.size() >= 4);
        for (TDBNavigator *nav : navs) {
            QList<QImage> pictures;
            for (int i = 0; i < TDBNavigator::ButtonCount; ++i) {
                auto *b = nav->findChild<QToolButton *>(QString::fromLatin1(TDBNavigator::ButtonName(TDBNavigator::Button(i))));
                QVERIFY(b);
                QVERIFY2(b->text().isEmpty(), qPrintable(b->objectName() + QStringLiteral(": ") + b->text()));
                QVERIFY2(!b->icon().isNull(), qPrintable(b->objectName()));
                const QImage img = b->icon().pixmap(QSize(16, 16)).toImage();
                QVERIFY2(!pictures.contains(img), qPrintable(b->objectName()));
                pictures << img;
            }
        }
    }

    // The embedded browser of the web panel makes Qt recreate the main
    // window's native window; the assistant must stay tied to the current
    // one (the window system keeps it above the main window by that tie).
    // The offscreen platform recreates nothing; run under X (xcb) to see
    // the recreation itself.
    void assistantStaysTiedWhenTheWebPanelComes()
    {
        TestEnv env;
        demoWaWi(env);
        auto w = start("Assi_Frage=0\r\nAssi_Zeige=1\r\n");   // first start: bar hidden
        TFM_EinAssi *a = w->FM_EinAssi;
        QVERIFY(a->isVisible());
        QVERIFY(a->windowHandle());
        QCOMPARE(a->windowHandle()->transientParent(), w->windowHandle());
        w->Action_Debug_OnExecute(true);   // creates the embedded browser
        w->Action_Debug_OffExecute();
        QTest::qWait(200);
        QVERIFY(w->PA_WEB->WebBrowser1());
        QTRY_COMPARE(a->windowHandle()->transientParent(), w->windowHandle());
        QVERIFY(a->isVisible());
        // "Einrichtungsassistent" while it is visible brings it up and blinks.
        w->RunAction(QStringLiteral("Action_CFG_Assistent"));
        QVERIFY(a->Blinking());
        QVERIFY(a->isVisible());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    ChildWindowsTest t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}
#include "tst_ChildWindows.moc"
