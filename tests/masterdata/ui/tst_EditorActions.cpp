// The main window's actions of the master-data editors and the assistant
// step that fetches payment and shipping methods from the WaWi.

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/TMasterEditor.h"
#include "setup/ui/TFM_EinAssi.h"
#include "shell/TFM_Haupt.h"
#include "support/TestEnv.h"
#include "wawi/WaWiDemo.h"

#include <QAction>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace mv;
using mv::test::TestEnv;

namespace {
std::unique_ptr<TFM_Haupt> start(const TestEnv &env)
{
    WaWiDemoOptions o;
    o.articles = 5;
    o.addresses = 3;
    o.groups = 3;
    o.mandanten = 1;
    WriteWaWiDemo(env.file(QStringLiteral("wawi")), o);
    Settings() = ShopSettings();
    auto w = std::make_unique<TFM_Haupt>();
    QSignalSpy started(w.get(), &TFM_Haupt::Started);
    w->show();
    if (!started.wait(5000))
        qWarning("show handler did not run");
    return w;
}
}

class TstEditorActions : public QObject {
    Q_OBJECT
    RecordingUiHooks m_ui;

private slots:
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void actionsOpenOneEditorPerFile_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("file");
        QTest::newRow("countries") << "Action_LandCFG" << "FM_Laender" << "laender4.xml";
        QTest::newRow("news") << "Action_SQLNews" << "FM_News" << "news6.xml";
        QTest::newRow("shipping costs") << "Action_Versandmodul" << "FM_Versandmodul" << "versandkosten4.xml";
        QTest::newRow("payment methods") << "Action_Zahlarten" << "FM_Zahlart" << "zahlungsart_6.xml";
        QTest::newRow("shipping methods") << "Action_Versandarten" << "FM_Versandarten" << "versandtart6.xml";
        QTest::newRow("faq") << "Action_FAQ" << "FM_FAQ" << "faq_gruppe6.xml";
    }
    void actionsOpenOneEditorPerFile()
    {
        QFETCH(QString, action);
        QFETCH(QString, window);
        QFETCH(QString, file);
        TestEnv env;
        auto main = start(env);
        QVERIFY(main->RunAction(action));
        QCOMPARE(main->MdiArea->subWindowList().size(), 1);
        QMdiSubWindow *first = main->MdiArea->subWindowList().first();
        QCOMPARE(first->widget()->objectName(), window);
        // Another window in front, then the same action again.
        QVERIFY(main->RunAction(action == "Action_FAQ" ? "Action_SQLNews" : "Action_FAQ"));
        QCOMPARE(main->MdiArea->subWindowList().size(), 2);
        QVERIFY(main->MdiArea->activeSubWindow() != first);
        QVERIFY(main->RunAction(action));
        QCOMPARE(main->MdiArea->subWindowList().size(), 2);
        QCOMPARE(main->MdiArea->activeSubWindow(), first);
        main->MdiArea->closeAllSubWindows();
        QTRY_COMPARE(main->MdiArea->subWindowList().size(), 0);
        QVERIFY(QFile::exists(env.file(file)));
        QVERIFY(main->RunAction(action));
        QCOMPARE(main->MdiArea->subWindowList().size(), 1);
        main->MdiArea->closeAllSubWindows();
    }

    void assistantFetchesPaymentAndShippingMethods()
    {
        TestEnv env;
        auto main = start(env);
        QVERIFY(!Settings().WaWiDir.isEmpty());
        TFM_EinAssi *assi = main->FM_EinAssi;
        // Only after the WaWi step.
        QVERIFY(main->RunAction("Action_Ass_Sonderdaten"));
        QVERIFY(!assi->StepDone("sonderdaten"));
        QVERIFY(!QFile::exists(env.file("zahlungsart_6.xml")));
        m_ui.messages.clear();
        assi->MarkStepDone("wawi");
        QVERIFY(main->RunAction("Action_Ass_Sonderdaten"));
        QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join('|')));
        QVERIFY(assi->StepDone("sonderdaten"));
        QCOMPARE(TableFile::ReadPacket(env.file("zahlungsart_6.xml")).rows.size(), 6);
        QCOMPARE(TableFile::ReadPacket(env.file("versandtart6.xml")).rows.size(), 5);
        // Again: nothing doubles.
        QVERIFY(main->RunAction("Action_Ass_Sonderdaten"));
        QCOMPARE(TableFile::ReadPacket(env.file("zahlungsart_6.xml")).rows.size(), 6);
        QCOMPARE(TableFile::ReadPacket(env.file("versandtart6.xml")).rows.size(), 5);
        QCOMPARE(main->MdiArea->subWindowList().size(), 0);
    }

    // An editor open on one of the files takes the data over itself.
    void assistantUsesAnOpenEditor()
    {
        TestEnv env;
        auto main = start(env);
        TFM_EinAssi *assi = main->FM_EinAssi;
        assi->MarkStepDone("wawi");
        QVERIFY(main->RunAction("Action_Versandarten"));
        auto *open = TMasterEditor::OpenEditorFor(env.file("versandtart6.xml"));
        QVERIFY(open);
        QVERIFY(main->RunAction("Action_Ass_Sonderdaten"));
        QVERIFY(assi->StepDone("sonderdaten"));
        QCOMPARE(open->Table()->RecordCount(), 5);
        QCOMPARE(TableFile::ReadPacket(env.file("versandtart6.xml")).rows.size(), 5);
        // Closing the open editor later keeps the rows.
        main->MdiArea->closeAllSubWindows();
        QTRY_COMPARE(main->MdiArea->subWindowList().size(), 0);
        QCOMPARE(TableFile::ReadPacket(env.file("versandtart6.xml")).rows.size(), 5);
    }

    // Without the WaWi's payment table the step stays open and says why.
    void assistantStepStaysOpenWhenATakeOverFails()
    {
        TestEnv env;
        auto main = start(env);
        TFM_EinAssi *assi = main->FM_EinAssi;
        assi->MarkStepDone("wawi");
        QVERIFY(QFile::remove(env.file("wawi/Zahlart.DB")));
        m_ui.messages.clear();
        QVERIFY(main->RunAction("Action_Ass_Sonderdaten"));
        QVERIFY(!assi->StepDone("sonderdaten"));
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY2(m_ui.messages.first().startsWith("Die Zahlarten konnten nicht"), qPrintable(m_ui.messages.first()));
        // The shipping methods were still taken over.
        QCOMPARE(TableFile::ReadPacket(env.file("versandtart6.xml")).rows.size(), 5);
    }
};

QTEST_MAIN(TstEditorActions)
#include "tst_EditorActions.moc"
