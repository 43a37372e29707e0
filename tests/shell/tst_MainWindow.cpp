#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shell/MainActions.h"
#include "shell/MainNavigation.h"
#include "shell/TFM_Haupt.h"
#include "wawi/ui/TFM_WaWiCFG.h"
#include "wawi/WaWiDemo.h"
#include "wawi/WaWiDetect.h"
#include "shopdb/ShopConnection.h"
#include "core/ui/TPanelBar.h"
#include "shell/TWebPanel.h"
#include "setup/ui/TFM_EinAssi.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>

#include <memory>
#include <unistd.h>

using namespace mv;
using mv::test::TestEnv;

namespace {
const QString kGreeting = QStringLiteral("Guten Tag, der Assistent\rführt Sie durch die Einrichtung\rdes Shops! Siehe Rechts!");

// A small demo WaWi in the test folder, registered where detection looks.
void demoWaWi(const TestEnv &env, int mandanten = 2)
{
    WaWiDemoOptions o;
    o.articles = 30;
    o.addresses = 10;
    o.groups = 6;
    o.mandanten = mandanten;
    WriteWaWiDemo(env.file(QStringLiteral("wawi")), o);
}

// One program start: a fresh settings record, the main window shown and its
// show handler done.
std::unique_ptr<TFM_Haupt> start()
{
    Settings() = ShopSettings();
    auto w = std::make_unique<TFM_Haupt>();
    QSignalSpy started(w.get(), &TFM_Haupt::Started);
    w->show();
    if (!started.wait(5000))
        qWarning("show handler did not run");
    return w;
}

void writeIni(const QByteArray &lines)
{
    QFile f(SettingsFilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Allgemeine_Einstellung]\r\n" + lines);
}

QToolButton *barItem(TFM_Haupt *w, const QString &action)
{
    return w->InspectorBar1->findChild<QToolButton *>(QStringLiteral("IB_") + action);
}
}

class MainWindowTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void firstStartGreetsAndHidesTheBarNextStartDoesNot()
    {
        TestEnv env;
        demoWaWi(env);
        {
            auto w = start();
            QCOMPARE(ui.messages, QStringList{kGreeting});
            QVERIFY(w->InspectorBar1->isHidden());
            QVERIFY(w->FM_EinAssi->isVisible());
            QVERIFY(w->FM_EinAssi->CheckBox1->isChecked());
            QCOMPARE(Settings().Assi_Frage, 1);
            // The assistant's last step brings the bar back.
            w->RunAction(QStringLiteral("Action_FTP_Config"));
            QVERIFY(!w->InspectorBar1->isHidden());
            w->InspectorBar1->SetOpenPanel(3);
            w->FM_EinAssi->MarkStepDone(QStringLiteral("ftp"));
            w->close();
        }
        QVERIFY(QFile::exists(SettingsFilePath()));
        ui.messages.clear();
        {
            auto w = start();
            QVERIFY(ui.messages.isEmpty());
            QVERIFY(!w->InspectorBar1->isHidden());
            QVERIFY(w->FM_EinAssi->isVisible());      // still "Anzeigen beim Start"
            QCOMPARE(w->InspectorBar1->OpenPanel(), 3);
            QVERIFY(w->FM_EinAssi->StepDone(QStringLiteral("ftp")));
            QVERIFY(!w->FM_EinAssi->StepDone(QStringLiteral("sql")));
        }
    }

    void firstStartOpensTheFirstPanels()
    {
        TestEnv env;
        demoWaWi(env);
        auto w = start();
        QCOMPARE(w->InspectorBar1->OpenPanel(), 0);
        QCOMPARE(w->FM_EinAssi->IB_Ass->OpenPanel(), 1);   // "Datenübertragung"
    }

    void assistantHiddenAtStartStaysReachable()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=0\r\nAssi_Zeige=0\r\n");
        auto w = start();
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(!w->FM_EinAssi->isVisible());
        QVERIFY(!w->InspectorBar1->isHidden());
        barItem(w.get(), QStringLiteral("Action_CFG_Assistent"))->click();
        QVERIFY(w->FM_EinAssi->isVisible());
        QVERIFY(!w->FM_EinAssi->Blinking());
        // Pressed again while visible: it blinks to draw attention.
        barItem(w.get(), QStringLiteral("Action_CFG_Assistent"))->click();
        QVERIFY(w->FM_EinAssi->Blinking());
    }

    void badIntegerInSettingsIsReported()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nVLB_Programm=drei\r\n");
        auto w = start();
        // Loading stops at the bad key: the keys after it (Assi_Frage) keep
        // their values, so the greeting follows the error.
        QCOMPARE(ui.messages.size(), 2);
        QVERIFY(ui.messages.first().contains(QStringLiteral("VLB_Programm")));
        QCOMPARE(ui.messages.at(1), kGreeting);
    }

    void debugModeShortcutsAndBarItem()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        TWebPanel *web = w->PA_WEB;
        QVERIFY(web->isHidden());
        QVERIFY(!w->DebugMode());

        QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(w->DebugMode());
        QCOMPARE(web->PanelHeight(), 150);
        QVERIFY(!w->Splitter1->isHidden());
        QVERIFY(!web->Caption->isHidden());
        // Ctrl+Alt+D only switches on.
        QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(w->DebugMode());

        QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!w->DebugMode());
        QVERIFY(!web->isHidden());          // the thin strip stays
        QCOMPARE(web->PanelHeight(), 5);
        QVERIFY(w->Splitter1->isHidden());
        QVERIFY(web->Caption->isHidden());
        QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!w->DebugMode());

        // The bar item toggles.
        w->InspectorBar1->SetOpenPanel(4);
        QToolButton *item = barItem(w.get(), QStringLiteral("Action_Debug_On"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Problemlösung (Debug-Modus)"));
        item->click();
        QVERIFY(w->DebugMode());
        item->click();
        QVERIFY(!w->DebugMode());
        item->click();
        QVERIFY(w->DebugMode());
    }

    void debugOffBeforeThePanelWasEverShownDoesNothing()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        w->RunAction(QStringLiteral("Action_Debug_Off"));
        QVERIFY(w->PA_WEB->isHidden());
    }

    void gatewayAnswerAndAddressShowInTheWebPanel()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        w->RunAction(QStringLiteral("Action_Debug_On"));
        w->ShowGatewayAddress(QStringLiteral("http://shop/x.php?sql_query=1\nhttp://shop/x.php?xxl=1"));
        QCOMPARE(w->PA_WEB->PA_Web_Status->toPlainText().count(QLatin1Char('\n')), 1);
        w->ShowGatewayPage(QStringLiteral("<html><body>+++datatype+++</body></html>"));
        QCOMPARE(w->PA_WEB->LastPage(), QStringLiteral("<html><body>+++datatype+++</body></html>"));
        QVERIFY(w->PA_WEB->findChild<QWidget *>(QStringLiteral("WebBrowser1")));
    }

    void debugModeShowsGatewayAddressesAndAnswers()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        // A shop answering every request with one page.
        const QByteArray page = "<html><body>###row_count:1#<br>\r\nGatewayseite</body></html>";
        QTcpServer shop;
        QVERIFY(shop.listen(QHostAddress::LocalHost));
        connect(&shop, &QTcpServer::newConnection, &shop, [&] {
            while (QTcpSocket *s = shop.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [s, page] {
                    s->readAll();
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1252\r\nContent-Length: "
                             + QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
                    s->disconnectFromHost();
                });
        });
        Settings().SQL_Server = QStringLiteral("HTML-Verbindung");
        Settings().SQL_HTTP = QStringLiteral("http://127.0.0.1:%1").arg(shop.serverPort());
        Settings().AbortWait = false;
        w->RunAction(QStringLiteral("Action_Debug_On"));
        QCOMPARE(ShopExecute(QStringLiteral("UPDATE artikel SET a=1")), 0);
        const QString status = w->PA_WEB->PA_Web_Status->toPlainText();
        QVERIFY2(status.contains(QStringLiteral("/module/db_check/db_check.php")), qPrintable(status));
        QVERIFY(status.contains(QStringLiteral("debug=1")));
        QTRY_VERIFY_WITH_TIMEOUT(w->PA_WEB->LastPage().contains(QStringLiteral("Gatewayseite")), 1500);
        // Out of debug mode the addresses are no longer announced.
        w->RunAction(QStringLiteral("Action_Debug_Off"));
        w->PA_WEB->PA_Web_Status->clear();
        QCOMPARE(ShopExecute(QStringLiteral("UPDATE artikel SET a=2")), 0);
        QVERIFY(w->PA_WEB->PA_Web_Status->toPlainText().isEmpty());
    }

    void backgroundHidesWithin500msOfAChildWindow()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        QTRY_VERIFY_WITH_TIMEOUT(!w->PA_Hintergrund->isHidden(), 1000);
        QVERIFY(!w->Image1->pixmap().isNull());
        auto *child = new QLabel(QStringLiteral("Kind"));
        QMdiSubWindow *sub = w->AddChildWindow(child);
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(w->PA_Hintergrund->isHidden(), 500);
        sub->close();
        QTRY_VERIFY_WITH_TIMEOUT(!w->PA_Hintergrund->isHidden(), 1000);
    }

    void closingEndsAGatewayWait()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        // A shop that takes the request and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, &silent, [&] {
            while (QTcpSocket *s = silent.nextPendingConnection())
                held << s;
        });
        Settings().SQL_Server = QStringLiteral("HTML-Verbindung");
        Settings().SQL_HTTP = QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort());
        Settings().AbortWait = false;
        QTimer::singleShot(300, w.get(), [&w] { w->close(); });
        QElapsedTimer t;
        t.start();
        const int result = ShopExecute(QStringLiteral("SELECT 1"));
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(result != 0);
        QVERIFY(Settings().AbortWait);
        QVERIFY(!held.isEmpty());      // the request was on its way
        QVERIFY(!w->isVisible());
    }

    void closingEndsAWaitLoop()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        Settings().AbortWait = false;
        QTimer::singleShot(100, w.get(), [&w] { w->close(); });
        // A gateway wait: events run until an answer or AbortWait.
        QElapsedTimer t;
        t.start();
        while (!Settings().AbortWait && t.elapsed() < 5000)
            Ui().ProcessEvents();
        QVERIFY(Settings().AbortWait);
        QVERIFY(t.elapsed() < 2000);
        QVERIFY(QFile::exists(SettingsFilePath()));
    }

    void everyBarItemRunsAnExistingAction()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        QCOMPARE(w->InspectorBar1->PanelCount(), 5);
        int items = 0;
        for (int p = 0; p < w->InspectorBar1->PanelCount(); ++p)
            for (int i = 0; i < w->InspectorBar1->ItemCount(p); ++i, ++items) {
                const QString action = w->InspectorBar1->Item(p, i)->property("action").toString();
                QVERIFY2(w->Action(action), qPrintable(action));
            }
        QCOMPARE(items, 23);
        for (const TFM_EinAssi::StepDef &d : TFM_EinAssi::Steps())
            QVERIFY2(w->Action(QString::fromUtf8(d.action)), d.action);
        QAction *on = w->Action(QStringLiteral("Action_Debug_On"));
        QCOMPARE(on->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+D")));
        QCOMPARE(on->property("category").toString(), QStringLiteral("Datei"));
        QCOMPARE(w->Action(QStringLiteral("ArtikelZeigen2"))->toolTip(),
                 QStringLiteral("Warengruppenzuweisung\n\n(Einen Artikel mehreren Warengruppen zuweisen)"));
    }

    void withoutAWaWiTheProgramRunsOn()
    {
        TestEnv env;
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.messages.first().startsWith(QStringLiteral("Es wurde keine Warenwirtschaft gefunden:\rRegpath: ")));
        QVERIFY(w->isVisible());
        w->CreateLongLivedWindows();
        FM_WaWiCFG->show();
        QVERIFY(FM_WaWiCFG->CB_Mandant->isHidden());
        QVERIFY(FM_WaWiCFG->Label2->isHidden());
        FM_WaWiCFG->close();
    }

    void wawiWindowSelectsProgramAndMandant()
    {
        TestEnv env;
        demoWaWi(env, 3);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(Settings().Aktiv_Mandant, 1);
        w->CreateLongLivedWindows();
        TFM_WaWiCFG *cfg = FM_WaWiCFG;
        QCOMPARE(cfg->windowTitle(), QStringLiteral("Warenwirtschaft - Einstellungen"));
        QCOMPARE(cfg->CB_Programm->count(), 9);
        cfg->show();
        QCOMPARE(cfg->CB_Programm->currentIndex(), 3);
        QCOMPARE(cfg->CB_Mandant->count(), 3);
        QVERIFY(!cfg->CB_Mandant->isHidden());
        QCOMPARE(cfg->CB_Mandant->currentIndex(), 0);
        cfg->CB_Mandant->setCurrentIndex(1);
        QCOMPARE(Settings().Aktiv_Mandant, 2);
        // The cancel button keeps the change.
        cfg->BitBtn2->click();
        QCOMPARE(Settings().Aktiv_Mandant, 2);
        cfg->show();
        QCOMPARE(cfg->CB_Mandant->currentIndex(), 1);
        // Another program: its key is searched; the demo's key answers.
        cfg->CB_Programm->setCurrentIndex(0);
        QCOMPARE(Settings().VLB_Programm, 3);
        QCOMPARE(cfg->CB_Mandant->count(), 3);
        cfg->close();
    }

    void storedMandantReplacesTheDetectedOne_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        // A stored 0 (never chosen) would match no Mandant: a complete
        // transfer would then read nothing and empty the shop.
        QTest::newRow("none stored") << QString() << 1;
        QTest::newRow("0 stored") << QStringLiteral("Aktiv_Mandant=0\r\n") << 1;
        QTest::newRow("2 stored") << QStringLiteral("Aktiv_Mandant=2\r\n") << 2;
    }

    void storedMandantReplacesTheDetectedOne()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        TestEnv env;
        demoWaWi(env, 3);
        writeIni(QByteArray("Assi_Frage=1\r\nAssi_Zeige=0\r\n") + stored.toLatin1());
        auto w = start();
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(Settings().Aktiv_Mandant, expected);
    }

    void assistantStepWaWiMarksDoneWithAMandant()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=1\r\nSHOPASSI_0_0=1\r\nSHOPASSI_0_1=1\r\n");
        auto w = start();
        w->CreateLongLivedWindows();
        // The modal window is answered by its OK button.
        QTimer::singleShot(0, [] { FM_WaWiCFG->BitBtn1->click(); });
        w->FM_EinAssi->IB_Ass->SetOpenPanel(0);
        w->FM_EinAssi->IB_Ass->findChild<QToolButton *>(QStringLiteral("wawi"))->click();
        QVERIFY(w->FM_EinAssi->StepDone(QStringLiteral("wawi")));
        QVERIFY(ui.messages.isEmpty());
    }

    void shopErrorLogFeedsMemo1()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        Shop().ErrorLog().Clear();
        QVERIFY(w->Memo1->toPlainText().isEmpty());
        // A gateway statement to a server that is not there fails into the log.
        Settings().SQL_Server = QStringLiteral("HTML-Verbindung");
        Settings().SQL_HTTP = QStringLiteral("http://127.0.0.1:1");
        QCOMPARE(ShopExecute(QStringLiteral("UPDATE x SET y=1")), -10);
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("Fehlernr:-10 UPDATE x SET y=1"));
        QVERIFY(w->Memo1->isHidden());
        Shop().ErrorLog().Clear();
        QVERIFY(w->Memo1->toPlainText().isEmpty());
    }

    void shopAddressesHaveNoDoubledSlash_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trailing slash") << "http://shop.example/" << "http://shop.example/module/phpinfo/phpinfo.php";
        QTest::newRow("two slashes") << "http://shop.example//" << "http://shop.example/module/phpinfo/phpinfo.php";
        QTest::newRow("none") << "http://shop.example" << "http://shop.example/module/phpinfo/phpinfo.php";
        QTest::newRow("empty") << "" << "/module/phpinfo/phpinfo.php";
    }
    void shopAddressesHaveNoDoubledSlash()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);
        Settings().SQL_HTTP = base;
        QCOMPARE(MainActions::ShopAddress(QStringLiteral("/module/phpinfo/phpinfo.php")), expected);
    }
};

int main(int argc, char **argv)
{
    // The embedded browser: shared GL contexts before the application, and
    // no Chromium sandbox when the tests run as root (containers, CI).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    MainWindowTest t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}
#include "tst_MainWindow.moc"
