// The transfer window and runs without it: it shows when the last one ended
// and how, and a start while one runs gives way with the lock's message.

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "support/TestEnv.h"
#include "transfer/RunLock.h"
#include "transfer/TransferProtocol.h"
#include "transfer/TransferRun.h"
#include "transfer/UnattendedRun.h"
#include "transfer/ui/TFM_WaWiShop.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace mv;
using mv::test::TestEnv;

class tst_WaWiShopUnattended : public QObject {
    Q_OBJECT
    RecordingUiHooks m_ui;
private slots:
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void lastUnattendedRunLabel()
    {
        TestEnv env;
        {
            TFM_WaWiShop w;
            w.show();
            auto *label = w.findChild<QLabel *>(QStringLiteral("LB_Unbeaufsichtigt"));
            QVERIFY(label && label->isVisible());
            QCOMPARE(label->text(), QStringLiteral("Letzter Abgleich ohne Fenster (Zeitplan, marktvoll-cli): noch keiner"));
        }
        TransferReport nightly;
        nightly.reachable = true;
        nightly.shopLost = true;
        nightly.ended = QDateTime(QDate(2026, 12, 11), QTime(2, 34, 56));
        QVERIFY(!SaveTransferProtocol(UnattendedProtocol(nightly), nightly.ended).isEmpty());
        TransferReport window;
        window.reachable = true;
        window.ended = nightly.ended.addSecs(3600);
        QVERIFY(!SaveTransferProtocol(window.toJson(), window.ended).isEmpty());
        TFM_WaWiShop w;
        w.show();
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("LB_Unbeaufsichtigt"))->text(),
                 QStringLiteral("Letzter Abgleich ohne Fenster (Zeitplan, marktvoll-cli): beendet 11.12.2026 02:34:56, "
                                "Verbindung zum Shop während des Abgleichs verloren"));
    }

    void startWhileAnotherRuns()
    {
        TestEnv env;
        qputenv("MARKTVOLL_RUNLOCK_WAIT", "0");
        RunLock nightly(Settings().ExeDir);
        QVERIFY(nightly.Acquire(0));
        TFM_WaWiShop w;
        w.show();
        QTest::mouseClick(w.Button1, Qt::LeftButton);
        qunsetenv("MARKTVOLL_RUNLOCK_WAIT");
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY2(m_ui.messages.first().startsWith(QStringLiteral("Ein anderer Datenbankabgleich läuft bereits")),
                 qPrintable(m_ui.messages.first()));
        QCOMPARE(w.Run().LockMessage(), m_ui.messages.first());
        QVERIFY(!w.GB_Protokoll->isVisible());
        QVERIFY(w.LastProtocolFile().isEmpty());
        QVERIFY(!QDir(TransferProtocolDir()).exists());
        QVERIFY(!w.BitBtn1->isVisible());
    }
};

QTEST_MAIN(tst_WaWiShopUnattended)
#include "tst_WaWiShopUnattended.moc"
