#ifdef MV_HAVE_WEBENGINE
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shell/TFM_Haupt.h"
#include "setup/ui/TFM_Explorer.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>

#include <memory>
#include <unistd.h>

using namespace mv;
using mv::test::TestEnv;

class ExplorerTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TFM_Haupt> main;

    TFM_Explorer *openWith(const char *action, const QString &shop)
    {
        Settings().SQL_HTTP = shop;
        main->RunAction(QString::fromLatin1(action));
        QMdiSubWindow *sub = main->MdiArea->subWindowList().last();
        return qobject_cast<TFM_Explorer *>(sub->widget());
    }

private slots:
    void initTestCase()
    {
        SetUiHooks(&ui);
        env = std::make_unique<TestEnv>();
        QFile f(SettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Allgemeine_Einstellung]\r\nAssi_Frage=1\r\nAssi_Zeige=0\r\n");
        f.close();
        main = std::make_unique<TFM_Haupt>();
        QSignalSpy started(main.get(), &TFM_Haupt::Started);
        main->show();
        QVERIFY(started.wait(5000));
    }
    void cleanupTestCase()
    {
        main.reset();
        env.reset();
        SetUiHooks(nullptr);
    }

    void actionsOpenTheirAddresses_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("shop");
        QTest::addColumn<QString>("address");
        QTest::newRow("Server Info, shop with /") << "Action_Server_Info" << "http://127.0.0.1:9/shop/"
                                                 << "http://127.0.0.1:9/shop/module/phpinfo/phpinfo.php";
        QTest::newRow("Adminmenü") << "Action_Adminmenue" << "http://127.0.0.1:9/shop"
                                  << "http://127.0.0.1:9/shop/admin/index.php";
        QTest::newRow("Shop anzeigen") << "Action_WebBrowser" << "http://127.0.0.1:9/shop/"
                                      << "http://127.0.0.1:9/shop/";
        QTest::newRow("Admin without shop") << "Action_Adminmenue" << "" << "/admin/index.php";
        QTest::newRow("Info without shop") << "Action_Server_Info" << "" << "/module/phpinfo/phpinfo.php";
        QTest::newRow("Shop without shop: our site") << "Action_WebBrowser" << ""
                                                    << TFM_Explorer::MakerSite();
    }
    void actionsOpenTheirAddresses()
    {
        QFETCH(QString, action);
        QFETCH(QString, shop);
        QFETCH(QString, address);
        const int before = main->MdiArea->subWindowList().size();
        TFM_Explorer *x = openWith(action.toLatin1().constData(), shop);
        QVERIFY(x);
        QCOMPARE(main->MdiArea->subWindowList().size(), before + 1);
        QTRY_COMPARE(x->URLs->currentText(), address);
        QCOMPARE(x->windowTitle(), QStringLiteral("Internet-Vorschau"));
        main->MdiArea->subWindowList().last()->close();
    }

    // The caption stays the window's own; the page's title goes to the
    // status bar.
    void pageTitleShowsInTheStatusBar()
    {
        TFM_Explorer *x = openWith("Action_WebBrowser", QStringLiteral("http://127.0.0.1:9/"));
        QVERIFY(x);
        x->WebBrowser1->setHtml(QStringLiteral("<html><head><title>404 Not Found</title></head><body>x</body></html>"));
        QTRY_COMPARE(x->StatusPanel->text(), QStringLiteral("404 Not Found"));
        QVERIFY(x->statusBar()->isAncestorOf(x->StatusPanel));
        QCOMPARE(x->windowTitle(), QStringLiteral("Internet-Vorschau"));
        QCOMPARE(main->MdiArea->subWindowList().last()->windowTitle(), QStringLiteral("Internet-Vorschau"));
        main->MdiArea->subWindowList().last()->close();
    }

    void opensAtAUsableSizeWithThePageFillingIt()
    {
        TFM_Explorer *x = openWith("Action_WebBrowser", QStringLiteral("http://127.0.0.1:9/"));
        QVERIFY(x);
        QMdiSubWindow *sub = main->MdiArea->subWindowList().last();
        QApplication::processEvents();
        const QRect room = main->MdiArea->viewport()->rect();
        // Inside the client area, and most of it.
        QVERIFY2(room.contains(sub->geometry()), qPrintable(QStringLiteral("%1x%2").arg(sub->width()).arg(sub->height())));
        QVERIFY(sub->height() >= qMin(room.height(), 500));
        QVERIFY(sub->width() >= qMin(room.width(), 700));
        // The page takes what the bars leave: full width, down to the status bar.
        QWidget *page = x->WebBrowser1;
        QCOMPARE(x->centralWidget(), page);
        QCOMPARE(page->width(), x->width());
        QVERIFY2(page->height() >= x->height() / 2, qPrintable(QString::number(page->height())));
        QCOMPARE(page->mapTo(x, QPoint(0, page->height())).y(), x->statusBar()->y());
        // The address shows beside the buttons' row, not behind an overflow mark.
        QVERIFY(x->URLs->isVisible());
        QVERIFY2(x->URLs->width() >= x->width() / 2, qPrintable(QString::number(x->URLs->width())));
        if (!qEnvironmentVariableIsEmpty("MV_SCREENSHOT_DIR")) {
            // A page worth showing, e.g. a local server's PHP information.
            const QString url = qEnvironmentVariable("MV_SCREENSHOT_URL");
            if (!url.isEmpty()) {
                QSignalSpy loaded(x->WebBrowser1, &QWebEngineView::loadFinished);
                x->URLs->setEditText(url);
                x->Navigate();
                loaded.wait(10000);
            }
            QTest::qWait(1500);
            x->grab().save(qEnvironmentVariable("MV_SCREENSHOT_DIR") + QStringLiteral("/browser.png"));
            main->grab().save(qEnvironmentVariable("MV_SCREENSHOT_DIR") + QStringLiteral("/main-browser.png"));
        }
        sub->close();
    }

    void enterNavigatesOtherKeysDoNot()
    {
        TFM_Explorer *x = openWith("Action_Server_Info", QStringLiteral("http://127.0.0.1:9"));
        QVERIFY(x);
        const QUrl first = x->WebBrowser1->url();
        x->URLs->setEditText(QStringLiteral("http://127.0.0.1:9/neu.html"));
        QTest::keyClick(x->URLs->lineEdit(), Qt::Key_A);
        QCOMPARE(x->WebBrowser1->url(), first);
        x->URLs->setEditText(QStringLiteral("http://127.0.0.1:9/neu.html"));
        QTest::keyClick(x->URLs->lineEdit(), Qt::Key_Return);
        QTRY_COMPARE(x->WebBrowser1->url(), QUrl(QStringLiteral("http://127.0.0.1:9/neu.html")));
        // The link button leads to our site.
        x->ToolButton6->click();
        QCOMPARE(x->URLs->currentText(), TFM_Explorer::MakerSite());
        main->MdiArea->subWindowList().last()->close();
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    ExplorerTest t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_Explorer.moc"

#else
// Built without an embedded HTML view: the desktop browser shows pages, and
// there is no browser window to test. Say so instead of passing.
#include "support/TestServers.h"

#include <QTest>

class ExplorerTest : public QObject {
    Q_OBJECT
private slots:
    void browserWindow()
    {
        // The CI machine installs WebEngine; there its absence is a fault.
        if (mv::test::isCi())
            QFAIL("built without Qt WebEngine");
        QSKIP("built without Qt WebEngine: no browser window (pages open in the desktop browser)");
    }
};

QTEST_GUILESS_MAIN(ExplorerTest)
#include "tst_Explorer.moc"
#endif
