// The configuration editor window and the FTP window's callers in the main
// window: what each caller sets, what the editor shows and writes.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/ShopConfigFile.h"
#include "setup/ui/TFM_Config.h"
#include "setup/ui/TFM_FTP.h"
#include "shell/TFM_Haupt.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

using namespace mv;
using mv::test::TestEnv;

namespace {
void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}

class ConfigWindowTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void editorShowsEditsAndWrites()
    {
        TestEnv env;
        write(ShopConfigFile::PhpPath(), "<?php\r\n$dbhost = \"alt\"; //Server\r\n$n = 5;\r\n?>\r\n");
        write(ShopConfigFile::TemplatePath(), "<?php\r\n//Neu\r\n$dbhost = \"localhost\"; //Datenbankserver\r\n"
                                              "$n = 5;\r\n?>\r\n");
        QPointer<TFM_Config> w = new TFM_Config;
        w->show();
        QCOMPARE(w->windowTitle(), QStringLiteral("Bitte warten es wird das Update ausgeführt ..."));
        QVERIFY(!QFile::exists(ShopConfigFile::TemplatePath()));
        QTableWidget *g = w->StringGrid1;
        QCOMPARE(g->rowCount(), 5);
        QCOMPARE(g->horizontalHeaderItem(0)->text(), QStringLiteral("Schlüssel"));
        QCOMPARE(g->item(2, 0)->text(), QStringLiteral("$dbhost"));
        QCOMPARE(g->item(2, 1)->text(), QStringLiteral("alt"));             // the user's value
        QCOMPARE(g->item(2, 2)->text(), QStringLiteral("Datenbankserver")); // the template's remark
        QVERIFY(!(g->item(2, 0)->flags() & Qt::ItemIsEditable));
        QVERIFY(g->item(2, 1)->flags() & Qt::ItemIsEditable);
        QVERIFY(!(g->item(3, 1)->flags() & Qt::ItemIsEditable));           // code is kept as it is
        g->item(2, 1)->setText(QStringLiteral("  neu$\"  "));
        // Re-reading discards the edit.
        w->BitBtn3->click();
        QCOMPARE(g->item(2, 1)->text(), QStringLiteral("alt"));
        g->item(2, 1)->setText(QStringLiteral("  neu$\"  "));
        Settings().AssiSteps[1][2] = 1;
        w->BitBtn1->click();
        QCOMPARE(read(ShopConfigFile::PhpPath()),
                 QByteArray("<?php\r\n//Neu\r\n$dbhost = \"neu\\$\\\"\"; //Datenbankserver\r\n$n = 5;\r\n?>\r\n"));
        QCOMPARE(Settings().AssiSteps[1][2], 0);
        QTRY_VERIFY(!w);  // OK closes the window
    }

    void abortWritesNothing()
    {
        TestEnv env;
        const QByteArray cfg = "<?php\r\n$a = \"1\";\r\n?>\r\n";
        write(ShopConfigFile::PhpPath(), cfg);
        auto *w = new TFM_Config;
        w->show();
        w->StringGrid1->item(1, 1)->setText(QStringLiteral("2"));
        w->BitBtn2->click();
        QCOMPARE(read(ShopConfigFile::PhpPath()), cfg);
    }

    void ftpCallers_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<bool>("assistant");
        QTest::addColumn<QString>("stored");
        QTest::newRow("complete") << "Action_FTP" << "Shopeinrichtung via FTP" << "shop" << "www/shop/" << false << "www/shop/";
        QTest::newRow("pictures") << "Action_FTPBilder" << "Bilder im Shop ergänzen" << "shop/abilder"
                                  << "www/shop/abilder" << false << "www/shop";
        QTest::newRow("configuration") << "Action_FTP_Config" << "Einstellungen übertragen" << "shop/config"
                                       << "www/shop/config" << true << "www/shop";
        QTest::newRow("access data") << "Action_Ass_FTP" << "FTP-Zugang einrichten" << "shop" << "www/shop/" << false << "www/shop/";
    }
    void ftpCallers()
    {
        QFETCH(QString, action);
        QFETCH(QString, caption);
        QFETCH(QString, folder);
        QFETCH(QString, dir);
        QFETCH(bool, assistant);
        QFETCH(QString, stored);
        TestEnv env;
        {
            QFile f(SettingsFilePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Allgemeine_Einstellung]\r\nAssi_Zeige=0\r\nAssi_Frage=1\r\nFTP_Dir=www/shop/\r\n");
        }
        Settings() = ShopSettings();
        TFM_Haupt main;
        QSignalSpy started(&main, &TFM_Haupt::Started);
        main.show();
        QVERIFY(started.wait(10000));
        main.RunAction(action);
        QList<TFM_FTP *> wins = main.findChildren<TFM_FTP *>();
        QCOMPARE(wins.size(), 1);
        TFM_FTP *f = wins.first();
        QCOMPARE(f->windowTitle(), caption);
        QCOMPARE(f->LocalFolder, folder);
        QCOMPARE(f->ED_Verzeichnis->text(), dir);
        QCOMPARE(f->AssistantMode, assistant);
        QCOMPARE(f->BitBtn6->isHidden(), action != QLatin1String("Action_Ass_FTP"));
        // Closing stores the base directory again.
        f->close();
        QCOMPARE(Settings().FTP_Dir, stored);
    }

    // A start without a server: the reason once, beside "Fehler beim
    // Connect", whether or not the client's status lines are shown; the
    // log takes the place of the hidden start button.
    void ftpFailedStartLogsTheReasonOnce_data()
    {
        QTest::addColumn<bool>("statusShown");
        QTest::newRow("web panel hidden") << false;
        QTest::newRow("web panel shown") << true;
    }
    void ftpFailedStartLogsTheReasonOnce()
    {
        QFETCH(bool, statusShown);
        TestEnv env;
        Settings() = ShopSettings();
        TFM_FTP w;
        w.StatusVisible = [statusShown] { return statusShown; };
        w.resize(650, 404);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.BitBtn2->click();
        QWidget *logBox = w.ME_Log->parentWidget();
        const int buttonTop = w.BitBtn4->mapTo(&w, QPoint(0, 0)).y();
        w.BitBtn4->click();
        const QStringList lines = w.ME_Log->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.count(QStringLiteral("Kein FTP-Server angegeben")), 1);
        QCOMPARE(lines.count(QStringLiteral("Fehler beim Connect")), 1);
        QCOMPARE(lines.size(), 2);
        QVERIFY(!w.BitBtn4->isVisible());
        QVERIFY(w.BitBtn3->isVisible());
        QApplication::processEvents();
        QVERIFY2(logBox->mapTo(&w, QPoint(0, 0)).y() <= buttonTop + 2,
                 qPrintable(QStringLiteral("%1 > %2").arg(logBox->mapTo(&w, QPoint(0, 0)).y()).arg(buttonTop)));
    }
};

QTEST_MAIN(ConfigWindowTest)
#include "tst_ConfigWindow.moc"
