// The set-up assistant walked from the first step to the last in the real
// main window, offscreen, against a private MariaDB and FTP server; the
// step states land in ShopMod.ini. Also the FTP window on its own: closing
// during an upload, stored settings, the access-data form.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/TPanelBar.h"
#include "setup/ShopConfigFile.h"
#include "setup/ui/TFM_EinAssi.h"
#include "setup/ui/TFM_FTP.h"
#include "setup/ui/TFM_SQLServer.h"
#include "shell/TFM_Haupt.h"
#include "support/FtpTestServer.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"
#include "wawi/WaWiDemo.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace mv;
using namespace mv::test;

namespace {

// Runs handler on the next modal dialog (the step's window), then closes
// any further modal window that would block the test.
class ModalHandler : public QObject {
public:
    explicit ModalHandler(std::function<void(QWidget *)> h) : m_h(std::move(h))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *m = QApplication::activeModalWidget();
            if (!m)
                return;
            if (m_h) {
                auto h = std::move(m_h);
                m_h = nullptr;
                h(m);
            } else if (auto *d = qobject_cast<QDialog *>(m)) {
                d->reject();
            }
        });
        m_timer.start(20);
    }
private:
    std::function<void(QWidget *)> m_h;
    QTimer m_timer;
};

TFM_FTP *lastFtpWindow(TFM_Haupt *w)
{
    const QList<TFM_FTP *> all = w->findChildren<TFM_FTP *>();
    return all.isEmpty() ? nullptr : all.last();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class AssistantWalkTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;
private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
        Settings().AbortWait = false;
    }
    void cleanup() { SetUiHooks(nullptr); }

    void walkFromFirstToLastStep()
    {
        MariaDbServer db;
        FtpTestServer ftp;
        QString err;
        MV_REQUIRE_SERVER(db.start(&err), err);
        MV_REQUIRE_SERVER(ftp.start(&err), err);
        db.dropDatabase(QStringLiteral("assishop"));

        TestEnv env;
        WaWiDemoOptions o;
        o.articles = 10;
        o.addresses = 5;
        o.groups = 3;
        o.mandanten = 1;
        WriteWaWiDemo(env.file(QStringLiteral("wawi")), o);
        QVERIFY(copyTree(TestEnv::sourceDir() + "/db", env.file("db")));
        QVERIFY(copyTree(TestEnv::sourceDir() + "/shop", env.file("shop")));
        QFile::remove(env.file("shop/config/config.php"));
        QVERIFY(QFile::exists(env.file("shop/config/config.up")));
        {
            QFile f(SettingsFilePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Allgemeine_Einstellung]\r\nAktiv_Mandant=1\r\n");
        }

        Settings() = ShopSettings();
        auto w = std::make_unique<TFM_Haupt>();
        QSignalSpy started(w.get(), &TFM_Haupt::Started);
        w->show();
        QVERIFY(started.wait(10000));
        TFM_EinAssi *a = w->FM_EinAssi;
        QVERIFY(a->isVisible());
        // The template of the new shop becomes config.php shortly after start.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ShopConfigFile::PhpPath()), 6000);
        QVERIFY(!QFile::exists(ShopConfigFile::TemplatePath()));

        // "sql" before "ftp": step by step.
        ui.messages.clear();
        a->IB_AssButtonClick(0, 1);
        QCOMPARE(ui.messages, QStringList{QStringLiteral("Der Assisten kann nur Schritt für Schritt abgearbeitet werden!")});

        // 1 "ftp": the access data only.
        a->IB_AssButtonClick(0, 0);
        TFM_FTP *f = lastFtpWindow(w.get());
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("FTP-Zugang einrichten"));
        QVERIFY(f->BitBtn2->isHidden());
        QVERIFY(!f->BitBtn6->isHidden());
        f->ED_Host->setText(QStringLiteral("127.0.0.1"));
        f->ED_Port->setText(QString::number(ftp.port()));
        f->ED_Name->setText(ftp.user());
        f->ED_Passwort->setText(ftp.password());
        f->ED_Verzeichnis->setText(QStringLiteral("/shop/"));
        f->RB_passiv->setChecked(true);
        f->BitBtn6->click();
        QVERIFY(a->StepDone(QStringLiteral("ftp")));
        QCOMPARE(Settings().FTP_Password, ftp.password());
        QCOMPARE(Settings().FTP_Art, 1);

        // 2 "sql": the reduced dialog, filled and confirmed.
        {
            ModalHandler h([&](QWidget *m) {
                auto *d = qobject_cast<TFM_SQLServer *>(m);
                QVERIFY(d);
                QVERIFY(d->GroupBox2->isHidden());
                d->CB_SQL_Server->setEditText(QStringLiteral("MySQL"));
                d->ED_Host->setText(db.hostPort());
                d->ED_User->setText(db.user());
                d->ED_Pass->setText(db.password());
                d->CB_Databases->setEditText(QStringLiteral("assishop"));
                d->BitBtn1->click();
            });
            ui.messages.clear();
            a->IB_AssButtonClick(0, 1);
        }
        QVERIFY(a->StepDone(QStringLiteral("sql")));
        QVERIFY(ui.messages.isEmpty());   // no upload reminder in the reduced form

        // 3 "wawi": the WaWi dialog; the Mandant is set.
        {
            ModalHandler h([](QWidget *m) {
                if (auto *d = qobject_cast<QDialog *>(m))
                    d->accept();
            });
            a->IB_AssButtonClick(0, 2);
        }
        QVERIFY(a->StepDone(QStringLiteral("wawi")));

        // 4 "ftpshop": database access into config.php, then the whole shop.
        a->IB_AssButtonClick(0, 3);
        f = lastFtpWindow(w.get());
        QVERIFY(f && f->AssistantMode);
        f->BitBtn2->click();
        f->BitBtn4->click();
        QVERIFY2(f->UploadOk, qPrintable(f->ME_Log->toPlainText()));
        QVERIFY(a->StepDone(QStringLiteral("ftpshop")));
        QVERIFY(a->StepDone(QStringLiteral("shopcfg")));
        const QByteArray remoteCfg = readFile(ftp.root() + "/shop/config/config.php");
        QVERIFY2(remoteCfg.contains("\r\n$dbname = \"assishop\";"), remoteCfg.constData());
        QVERIFY(QFile::exists(ftp.root() + "/shop/module/db_check/db_check.php"));
        f->BitBtn3->click();

        // 5 "sqltabellen": create the database and its tables.
        ui.messages.clear();
        a->IB_AssButtonClick(0, 4);
        QCOMPARE(ui.messages, QStringList{QStringLiteral("Datenbanktabellen wurden angelegt!\r29 Tabellen")});
        QVERIFY(a->StepDone(QStringLiteral("sqltabellen")));

        // OK in the SQL server dialog rewrites config.php: "shopcfg" is open again.
        {
            ModalHandler h([](QWidget *m) { qobject_cast<TFM_SQLServer *>(m)->BitBtn1->click(); });
            w->RunAction(QStringLiteral("Action_SQLServerCFG"));
        }
        QVERIFY(!a->StepDone(QStringLiteral("shopcfg")));

        // 6 "sonderdaten" belongs to the master-data editors; here it is
        // marked as its action would after fetching the data.
        a->MarkStepDone(QStringLiteral("sonderdaten"));

        // 7 "shopwawi": the transfer window (closed at once).
        {
            ModalHandler h(nullptr);
            a->IB_AssButtonClick(1, 1);
        }
        QVERIFY(a->StepDone(QStringLiteral("shopwawi")));

        // 8 "shopcfg": the configuration folder; the bar comes back.
        w->InspectorBar1->setVisible(false);
        a->IB_AssButtonClick(1, 2);
        QVERIFY(!w->InspectorBar1->isHidden());
        f = lastFtpWindow(w.get());
        QCOMPARE(f->windowTitle(), QStringLiteral("Einstellungen übertragen"));
        QCOMPARE(f->ED_Verzeichnis->text(), QStringLiteral("/shop/config"));
        f->BitBtn2->click();
        f->BitBtn4->click();
        QVERIFY2(f->UploadOk, qPrintable(f->ME_Log->toPlainText()));
        QVERIFY(f->ME_Log->toPlainText().contains(QStringLiteral("chmod auf config.php erfolgreich gesetzt")));
        QVERIFY(a->StepDone(QStringLiteral("shopcfg")));

        w->close();
        w.reset();
        const QByteArray ini = readFile(SettingsFilePath());
        for (const char *key : {"SHOPASSI_0_0", "SHOPASSI_0_1", "SHOPASSI_0_2", "SHOPASSI_0_3", "SHOPASSI_0_4",
                                "SHOPASSI_1_0", "SHOPASSI_1_1", "SHOPASSI_1_2"})
            QVERIFY2(ini.contains(QByteArray("\r\n") + key + "=1\r\n"), key);
        // The configuration upload leaves the base directory stored.
        QVERIFY2(ini.contains("\r\nFTP_Dir=/shop\r\n"), ini.constData());
        QVERIFY(ini.contains("\r\nSQL_Data=assishop\r\n"));
    }

    void closingDuringUploadWaitsForIt()
    {
        FtpTestServer ftp;
        QString err;
        MV_REQUIRE_SERVER(ftp.start(&err), err);
        TestEnv env;
        QDir().mkpath(env.file("shop"));
        for (int i = 0; i < 20; ++i) {
            QFile f(env.file(QStringLiteral("shop/f%1.bin").arg(i, 2, 10, QLatin1Char('0'))));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(20000, 'x'));
        }
        Settings().FTP_Host = QStringLiteral("127.0.0.1");
        Settings().FTP_Port = QString::number(ftp.port());
        Settings().FTP_Username = ftp.user();
        Settings().FTP_Password = ftp.password();
        Settings().FTP_Dir = QStringLiteral("shop");
        QPointer<TFM_FTP> f = new TFM_FTP;
        f->show();
        f->BitBtn2Click();
        bool closedDuring = false;
        int files = 0;
        connect(f->ME_Log, &QPlainTextEdit::textChanged, f, [&] {
            if (f->ME_Log->toPlainText().contains(QStringLiteral("sende f02.bin")) && !closedDuring) {
                closedDuring = true;
                f->close();           // the user closes the window
                QVERIFY(f);           // still there while the upload unwinds
            }
        });
        QSignalSpy done(f.data(), &TFM_FTP::uploadFinished);
        f->BitBtn4Click();
        QVERIFY(closedDuring);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().first().toBool(), false);
        QVERIFY(f);
        QTRY_VERIFY(!f);          // closed and destroyed once the upload ended
        for (int i = 0; i < 20; ++i)
            files += QFile::exists(ftp.root() + QStringLiteral("/shop/f%1.bin").arg(i, 2, 10, QLatin1Char('0')));
        QCOMPARE(files, 3);       // f00, f01 and the file in flight
        QCOMPARE(Settings().FTP_Dir, QStringLiteral("shop"));
        Settings().AbortWait = false;
    }

    void accessDataIncomplete()
    {
        TestEnv env;
        auto *f = new TFM_FTP;
        f->show();
        f->BitBtn6->setVisible(true);
        f->ED_Host->setText(QStringLiteral("ftp.example.de"));
        f->ED_Name->setText(QStringLiteral("kunde"));
        f->ED_Passwort->setText(QStringLiteral("  "));
        f->BitBtn6Click();
        QCOMPARE(ui.messages, QStringList{QStringLiteral("Die FTP-Daten wurden nicht vollständig eingestellt")});
        QCOMPARE(Settings().FTP_Host, QStringLiteral("ftp.example.de"));
        QCOMPARE(Settings().AssiSteps[0][0], 0);
    }

    void longLogIsEmptiedBeforeTheNextFile()
    {
        TestEnv env;
        TFM_FTP f;
        for (int i = 0; i < 151; ++i)
            f.AppendLog(QStringLiteral("zeile %1").arg(i));
        f.AppendLog(QStringLiteral("Verzeichnis x erstellt"));
        QCOMPARE(f.ME_Log->blockCount(), 152);
        f.AppendLog(QStringLiteral("sende a.jpg"));
        QCOMPARE(f.ME_Log->toPlainText(), QStringLiteral("sende a.jpg"));
    }
};

QTEST_MAIN(AssistantWalkTest)
#include "tst_AssistantWalk.moc"
