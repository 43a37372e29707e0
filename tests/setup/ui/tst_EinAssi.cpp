#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/TPanelBar.h"
#include "setup/ui/TFM_EinAssi.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace mv;
using mv::test::TestEnv;

namespace {
const QString kStepByStep = QStringLiteral("Der Assisten kann nur Schritt für Schritt abgearbeitet werden!");
}

class EinAssiTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void stepAllowed_data()
    {
        QTest::addColumn<QStringList>("done");
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("ftp always") << QStringList{} << "ftp" << true;
        QTest::newRow("shopcfg always") << QStringList{} << "shopcfg" << true;
        QTest::newRow("sql without ftp") << QStringList{} << "sql" << false;
        QTest::newRow("sql after ftp") << QStringList{"ftp"} << "sql" << true;
        QTest::newRow("wawi needs sql") << QStringList{"ftp"} << "wawi" << false;
        QTest::newRow("wawi after sql") << QStringList{"sql"} << "wawi" << true;
        QTest::newRow("ftpshop after ftp") << QStringList{"ftp"} << "ftpshop" << true;
        QTest::newRow("sqltabellen without ftpshop") << QStringList{"ftp", "sql"} << "sqltabellen" << false;
        QTest::newRow("sqltabellen without sql") << QStringList{"ftp", "ftpshop"} << "sqltabellen" << false;
        QTest::newRow("sqltabellen with both") << QStringList{"sql", "ftpshop"} << "sqltabellen" << true;
        QTest::newRow("sonderdaten needs wawi") << QStringList{"ftp", "sql"} << "sonderdaten" << false;
        QTest::newRow("sonderdaten after wawi") << QStringList{"wawi"} << "sonderdaten" << true;
        QTest::newRow("shopwawi without sonderdaten") << QStringList{"sqltabellen"} << "shopwawi" << false;
        QTest::newRow("shopwawi with both") << QStringList{"sqltabellen", "sonderdaten"} << "shopwawi" << true;
        QTest::newRow("marks ignore case") << QStringList{"FTP"} << "sql" << true;
    }
    void stepAllowed()
    {
        QFETCH(QStringList, done);
        QFETCH(QString, step);
        QFETCH(bool, allowed);
        TestEnv env;
        TFM_EinAssi a;
        for (const QString &d : done)
            a.MarkStepDone(d);
        QCOMPARE(a.StepAllowed(step), allowed);
        QCOMPARE(ui.messages, allowed ? QStringList{} : QStringList{kStepByStep});
    }

    void marksAndUnknownSteps()
    {
        TestEnv env;
        TFM_EinAssi a;
        a.MarkStepDone(QStringLiteral("FTPShop"));
        QVERIFY(a.StepDone(QStringLiteral("ftpshop")));
        QCOMPARE(a.IB_Ass->ImageIndex(0, 3), 1);
        a.MarkStepOpen(QStringLiteral("ftpshop"));
        QCOMPARE(a.IB_Ass->ImageIndex(0, 3), 0);
        a.MarkStepDone(QStringLiteral("nichts"));
        for (const TFM_EinAssi::StepDef &d : TFM_EinAssi::Steps())
            QCOMPARE(a.IB_Ass->ImageIndex(d.panel, d.index), 0);
    }

    void stepStatesThroughTheSettingsFile()
    {
        TestEnv env;
        QFile f(SettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Allgemeine_Einstellung]\r\nIB_Ass=0\r\nSHOPASSI_0_3=1\r\nSHOPASSI_1_2=1\r\n");
        f.close();
        TFM_EinAssi a;
        a.StoreSettings();          // what the bar shows before loading
        QVERIFY(LoadSettings());
        a.ApplySettings();
        QVERIFY(a.StepDone(QStringLiteral("ftpshop")));
        QVERIFY(a.StepDone(QStringLiteral("shopcfg")));
        QVERIFY(!a.StepDone(QStringLiteral("ftp")));
        QCOMPARE(a.IB_Ass->OpenPanel(), 0);

        a.MarkStepDone(QStringLiteral("sql"));
        a.MarkStepOpen(QStringLiteral("shopcfg"));
        a.IB_Ass->SetOpenPanel(1);
        a.StoreSettings();
        QVERIFY(SaveSettings());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("\r\nSHOPASSI_0_1=1\r\n"));
        QVERIFY(text.contains("\r\nSHOPASSI_0_3=1\r\n"));
        QVERIFY(text.contains("\r\nSHOPASSI_1_2=0\r\n"));
        QVERIFY(text.contains("\r\nIB_Ass=1\r\n"));
    }

    void stepButtonRunsItsAction()
    {
        TestEnv env;
        TFM_EinAssi a;
        QStringList ran;
        a.RunAction = [&ran](const QString &n) { ran << n; return true; };
        a.IB_Ass->SetOpenPanel(0);
        a.IB_Ass->findChild<QToolButton *>(QStringLiteral("sql"))->click();
        a.IB_Ass->SetOpenPanel(1);
        a.IB_Ass->findChild<QToolButton *>(QStringLiteral("shopcfg"))->click();
        a.IB_Ass->findChild<QToolButton *>(QStringLiteral("shopwawi"))->click();
        QCOMPARE(ran, (QStringList{"Action_Ass_SQL", "Action_FTP_Config", "Action_Ass_WawiAbgleich"}));
        QCOMPARE(a.IB_Ass->findChild<QToolButton *>(QStringLiteral("shopwawi"))->text(),
                 QStringLiteral("Datenübertragung aus\nder Warenwirtschaft\nstarten"));
    }

    void blinkLastsElevenTicks()
    {
        TestEnv env;
        TFM_EinAssi a;
        const int top = a.IB_Ass->OpenPanel();
        QList<QColor> seen;
        QObject::connect(a.Timer1, &QTimer::timeout, &a, [&] { seen << a.IB_Ass->GradientEnd(top); });
        a.StartBlink();
        QCOMPARE(a.Timer1->interval(), 250);
        QTRY_VERIFY_WITH_TIMEOUT(!a.Blinking(), 5000);
        QCOMPARE(seen.size(), 11);
        int red = 0;
        for (const QColor &c : seen)
            red += c == QColor(255, 0, 0);
        QCOMPARE(red, 5);
        QCOMPARE(a.IB_Ass->GradientEnd(top), QColor(166, 202, 240));
    }

    void showAtStartBoxAndPlacement()
    {
        TestEnv env;
        TFM_EinAssi a;
        a.CheckBox1->setChecked(true);
        a.CheckBox1->click();
        QCOMPARE(Settings().Assi_Zeige, 0);
        a.CheckBox1->click();
        QCOMPARE(Settings().Assi_Zeige, 1);
        a.show();
        QVERIFY(QTest::qWaitForWindowExposed(&a));
        const QRect s = a.screen()->geometry();
        QCOMPARE(a.frameGeometry().right() + 1, s.right() + 1 - 2);
        QCOMPARE(a.windowTitle(), QStringLiteral("Einrichtungsassisten"));
    }
};

QTEST_MAIN(EinAssiTest)
#include "tst_EinAssi.moc"
