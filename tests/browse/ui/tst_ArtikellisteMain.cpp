// The main window's two actions open the article list, each call a new
// window of its own, in the mode the action names.

#include "browse/ui/TFM_Artikelliste.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "shell/TFM_Haupt.h"
#include "support/TestEnv.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"

#include <QFile>
#include <QGroupBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_ArtikellisteMain : public QObject {
    Q_OBJECT
private slots:
    void actionsOpenBothModes();
};

void tst_ArtikellisteMain::actionsOpenBothModes()
{
    RecordingUiHooks ui;
    SetUiHooks(&ui);
    TestEnv env;
    WaWiDemoOptions o;
    o.articles = 40;
    o.addresses = 10;
    o.groups = 8;
    WriteWaWiDemo(env.file("wawi"), o);
    {
        QFile f(SettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Allgemeine_Einstellung]\r\nAssi_Frage=1\r\nAssi_Zeige=0\r\n");
    }
    Settings() = ShopSettings();
    auto w = std::make_unique<TFM_Haupt>();
    QSignalSpy started(w.get(), &TFM_Haupt::Started);
    w->show();
    QVERIFY(started.wait(5000));
    QVERIFY(TVLBDatabase::Connected());

    auto lists = [&] {
        QList<TFM_Artikelliste *> out;
        for (QMdiSubWindow *s : w->MdiArea->subWindowList())
            if (auto *l = qobject_cast<TFM_Artikelliste *>(s->widget()))
                out << l;
        return out;
    };
    w->RunAction("ArtikelZeigen");
    w->RunAction("ArtikelZeigen2");
    w->RunAction("ArtikelZeigen2");
    QTRY_COMPARE(lists().size(), 3);
    int listMode = 0, assignment = 0;
    for (TFM_Artikelliste *l : lists()) {
        const bool assign = l->WindowMode() == TFM_Artikelliste::Mode::Assignment;
        (assign ? assignment : listMode)++;
        QCOMPARE(l->windowTitle(), assign ? QString("Warengruppenzuweisung") : QString("Artikelliste"));
        QCOMPARE(l->findChild<QGroupBox *>("GB_Mehrfach")->isVisibleTo(l), assign);
        QVERIFY(l->findChild<TDBBGrid *>("DBBGrid1")->model()->rowCount() > 0);
    }
    QCOMPARE(listMode, 1);
    QCOMPARE(assignment, 2);
    // a closed window is freed
    QPointer<TFM_Artikelliste> first = lists().first();
    w->MdiArea->subWindowList().first()->close();
    QTRY_VERIFY(first.isNull());
    QCOMPARE(lists().size(), 2);
    w->close();
    w.reset();
    SetUiHooks(nullptr);
}

QTEST_MAIN(tst_ArtikellisteMain)
#include "tst_ArtikellisteMain.moc"
