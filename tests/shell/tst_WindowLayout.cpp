// How the windows look at their default size: what the user sees must fit.
// With MV_SCREENSHOT_DIR set, each case also saves a picture of its window
// there (run under xvfb-run with QT_QPA_PLATFORM=xcb for real rendering).

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/TPanelBar.h"
#include "setup/ui/TFM_EinAssi.h"
#include "shell/TFM_Haupt.h"
#include "support/TestEnv.h"
#include "wawi/WaWiDemo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

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
    o.groups = 4;
    o.mandanten = 1;
    WriteWaWiDemo(env.file(QStringLiteral("wawi")), o);
}

void writeIni(const QByteArray &lines)
{
    QFile f(SettingsFilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Allgemeine_Einstellung]\r\n" + lines);
}

std::unique_ptr<TFM_Haupt> start()
{
    Settings() = ShopSettings();
    auto w = std::make_unique<TFM_Haupt>();
    QSignalSpy started(w.get(), &TFM_Haupt::Started);
    w->show();
    if (!started.wait(5000))
        qWarning("show handler did not run");
    QApplication::processEvents();
    return w;
}

void saveShot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("MV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QApplication::processEvents();
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Horizontal extent of w inside the area that shows it.
QRect inside(QWidget *w, QWidget *area)
{
    return QRect(w->mapTo(area, QPoint(0, 0)), w->size());
}
}

class WindowLayoutTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void everyCaptionAndHeaderFitsAtTheDefaultSize()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        auto *scroll = w->findChild<QScrollArea *>(QStringLiteral("InspectorBar1_Scroll"));
        QVERIFY(scroll);
        QWidget *view = scroll->viewport();
        TPanelBar *bar = w->InspectorBar1;
        QVERIFY(scroll->width() >= 180);
        for (int p = 0; p < bar->PanelCount(); ++p) {
            bar->SetOpenPanel(p);
            QApplication::processEvents();
            for (int h = 0; h < bar->PanelCount(); ++h) {
                // The header's right border is its last pixel column.
                QToolButton *header = bar->PanelHeader(h);
                QVERIFY2(inside(header, view).right() < view->width(), qPrintable(header->text()));
            }
            for (int i = 0; i < bar->ItemCount(p); ++i) {
                QToolButton *item = bar->Item(p, i);
                const QString what = item->text();
                QVERIFY2(item->width() >= item->sizeHint().width(), qPrintable(what));
                QVERIFY2(inside(item, view).right() < view->width(), qPrintable(what));
                QVERIFY2(inside(item, view).left() >= 0, qPrintable(what));
            }
            if (p == 4)
                saveShot(w.get(), QStringLiteral("main-ansicht"));
        }
    }

    void greetingHidesTheBarWithoutLeavingAStrip()
    {
        TestEnv env;
        demoWaWi(env);
        auto w = start();   // first start: greeting, bar hidden
        QVERIFY(w->InspectorBar1->isHidden());
        QWidget *client = w->MdiArea;
        QWidget *central = w->centralWidget();
        QCOMPARE(client->mapTo(central, QPoint(0, 0)).x(), 0);
        QCOMPARE(client->width(), central->width());
        saveShot(w.get(), QStringLiteral("main-first-start"));
        // The assistant's last step brings the bar back with its width.
        w->RunAction(QStringLiteral("Action_FTP_Config"));
        QApplication::processEvents();
        QVERIFY(w->InspectorBar1->isVisible());
        QVERIFY(client->mapTo(central, QPoint(0, 0)).x() >= 180);
    }

    void everyNavigationItemHasAnIconOfItsOwn()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=0\r\n");
        auto w = start();
        TPanelBar *bar = w->InspectorBar1;
        QList<QImage> seen;
        QStringList names;
        for (int p = 0; p < bar->PanelCount(); ++p)
            for (int i = 0; i < bar->ItemCount(p); ++i) {
                QToolButton *item = bar->Item(p, i);
                QVERIFY2(!item->icon().isNull(), qPrintable(item->text()));
                const QImage img = item->icon().pixmap(item->iconSize()).toImage();
                QVERIFY2(!img.isNull(), qPrintable(item->text()));
                const qsizetype same = seen.indexOf(img);
                QVERIFY2(same < 0, qPrintable(item->text() + QStringLiteral(" = ") + names.value(same)));
                seen << img;
                names << item->text();
            }
        QCOMPARE(seen.size(), 23);
    }

    void assistantStepImagesAre64Pixels()
    {
        TestEnv env;
        demoWaWi(env);
        writeIni("Assi_Frage=1\r\nAssi_Zeige=1\r\nSHOPASSI_0_0=1\r\n");
        auto w = start();
        TPanelBar *steps = w->FM_EinAssi->IB_Ass;
        for (int p = 0; p < steps->PanelCount(); ++p)
            for (int i = 0; i < steps->ItemCount(p); ++i) {
                QToolButton *b = steps->Item(p, i);
                QCOMPARE(b->iconSize(), QSize(64, 64));
                QCOMPARE(b->icon().actualSize(b->iconSize()), QSize(64, 64));
            }
        saveShot(w->FM_EinAssi, QStringLiteral("assistant"));
        steps->SetOpenPanel(0);
        QApplication::processEvents();
        // The longer panel keeps its captions whole too.
        for (int i = 0; i < steps->ItemCount(0); ++i) {
            QToolButton *b = steps->Item(0, i);
            QVERIFY2(b->width() >= b->sizeHint().width(), qPrintable(b->text()));
            QVERIFY2(b->height() >= b->sizeHint().height(), qPrintable(QStringLiteral("%1: %2 < %3, window %4").arg(b->text().simplified()).arg(b->height()).arg(b->sizeHint().height()).arg(w->FM_EinAssi->height())));
        }
        // Back on the short panel the window does not keep growing.
        const int tall = w->FM_EinAssi->height();
        steps->SetOpenPanel(1);
        QApplication::processEvents();
        steps->SetOpenPanel(0);
        QApplication::processEvents();
        QCOMPARE(w->FM_EinAssi->height(), tall);
        QVERIFY(tall <= 720);
        saveShot(w->FM_EinAssi, QStringLiteral("assistant-einrichtung"));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    WindowLayoutTest t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}
#include "tst_WindowLayout.moc"
