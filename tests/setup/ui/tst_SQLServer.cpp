// The SQL server dialog against a private MariaDB, directly and through the
// gateway script on PHP's built-in server: listing databases, creating and
// installing the schema (with the fallback script), the question before a
// live shop is emptied, the failures, and config.php on OK.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/ShopConfigFile.h"
#include "setup/ShopSchemaSetup.h"
#include "setup/ui/TFM_SQLServer.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace mv;
using namespace mv::test;

namespace {
const QString kInstalled29 = QStringLiteral("Datenbanktabellen wurden angelegt!\r29 Tabellen");
const QString kReminder = QStringLiteral(
    "Die Einstellungen wurden in der Shopkonfiguration gespeichert!\rDiese muß nochmals per FTP-Übertragen werden!");
}

class SQLServerTest : public QObject {
    Q_OBJECT
    MariaDbServer db;
    PhpServer web;
    bool up = false;
    RecordingUiHooks ui;
    std::unique_ptr<TestEnv> env;

    void settingsFor(bool gateway, const QString &database)
    {
        ShopSettings &s = Settings();
        s.SQL_Server = gateway ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
        s.SQL_HTTP = web.baseUrl() + QStringLiteral("/");
        s.SQL_Host = db.hostPort();
        s.SQL_User = db.user();
        s.SQL_Pass = db.password();
        s.SQL_Data = database;
        s.SQL_Global.clear();
    }
    int tableCount(const QString &database)
    {
        return db.scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema='%1'")
                             .arg(database))
            .toInt();
    }

private slots:
    void initTestCase()
    {
        QString err;
        MV_REQUIRE_SERVER(db.start(&err), err);
        MV_REQUIRE_SERVER(web.startShop(&err), err);
        up = true;
    }
    void init()
    {
        if (!up)
            QSKIP("no servers");
        env = std::make_unique<TestEnv>();
        QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), env->file(QStringLiteral("db"))));
        QDir().mkpath(env->file(QStringLiteral("shop/config")));
        QFile::copy(TestEnv::sourceDir() + QStringLiteral("/shop/config/config.up"),
                    env->file(QStringLiteral("shop/config/config.php")));
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup()
    {
        SetUiHooks(nullptr);
        env.reset();
    }

    void listDatabases_data()
    {
        QTest::addColumn<bool>("gateway");
        QTest::newRow("direct") << false;
        QTest::newRow("gateway") << true;
    }
    void listDatabases()
    {
        QFETCH(bool, gateway);
        settingsFor(gateway, db.database());
        TFM_SQLServer d;
        int prepared = 0;
        d.PrepareGateway = [&] { ++prepared; };
        d.FormShow();
        QCOMPARE(d.ED_Http->text(), web.baseUrl()); // trailing "/" removed
        d.BitBtn3Click();
        QStringList items;
        for (int i = 0; i < d.CB_Databases->count(); ++i)
            items << d.CB_Databases->itemText(i);
        QVERIFY2(items.contains(db.database()), qPrintable(items.join(',') + ui.messages.join(',')));
        QVERIFY(items.contains(QStringLiteral("information_schema")));
        QCOMPARE(d.CB_Databases->currentText(), db.database());
        QCOMPARE(prepared, gateway ? 1 : 0);
        QVERIFY(ui.messages.isEmpty());
    }

    void listWithEmptyNameFallsBackToMysql()
    {
        settingsFor(false, QString());
        Settings().SQL_Server = QStringLiteral("mysql");
        TFM_SQLServer d;
        d.FormShow();
        d.BitBtn3Click();
        QVERIFY(d.CB_Databases->count() > 0);
        QVERIFY(ui.messages.isEmpty());
    }

    void createAndInstall_data()
    {
        QTest::addColumn<bool>("gateway");
        QTest::newRow("direct, new database") << false;
        QTest::newRow("gateway") << true;
    }
    void createAndInstall()
    {
        QFETCH(bool, gateway);
        const QString name = gateway ? QStringLiteral("gwshop") : QStringLiteral("neushop");
        db.dropDatabase(name);
        if (gateway)
            QVERIFY(db.createDatabase(name));
        settingsFor(gateway, name);
        TFM_SQLServer d;
        d.FormShow();
        d.Button1Click();
        QCOMPARE(ui.messages, QStringList{kInstalled29});
        QCOMPARE(tableCount(name), 29);
        QCOMPARE(db.scalar(QStringLiteral("SELECT version FROM version"), name), QStringLiteral("7"));
        QCOMPARE(d.SchemaFile, QStringLiteral("db/dbschema.sql"));
        QVERIFY(ui.questions.isEmpty());
        QCOMPARE(d.Memo1->toPlainText().split('\n').size(), 29);

        // Again on the installed shop: the question, default No leaves
        // every table and row as it was.
        QVERIFY(db.exec(QStringLiteral("INSERT INTO version (version, info) VALUES (9.5, 'live')"), nullptr, nullptr, name));
        ui.messages.clear();
        d.Button1Click();
        QCOMPARE(ui.questions, QStringList{ShopSchemaSetup::kExistingShopQuestion});
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM version"), name), QStringLiteral("2"));
        QCOMPARE(tableCount(name), 29);
        // Yes installs afresh.
        ui.answers = {true};
        d.Button1Click();
        QCOMPARE(ui.messages, QStringList{kInstalled29});
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM version"), name), QStringLiteral("1"));
        db.dropDatabase(name);
    }

    void fallbackScript()
    {
        const QString name = QStringLiteral("altshop");
        db.dropDatabase(name);
        settingsFor(false, name);
        // A schema script the server refuses from the third table on.
        QFile f(env->file(QStringLiteral("db/dbschema.sql")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("CREATE TABLE adressen (id INT)\r\n#\r\nCREATE TABLE artikel (id INT)\r\n#\r\nKAPUTT\r\n#\r\n");
        f.close();
        TFM_SQLServer d;
        d.FormShow();
        d.Button1Click();
        QCOMPARE(d.SchemaFile, QStringLiteral("db/dbschema_old.sql"));
        QCOMPARE(ui.messages, QStringList{QStringLiteral("Datenbanktabellen wurden angelegt!\r27 Tabellen")});
        QCOMPARE(tableCount(name), 27);
        db.dropDatabase(name);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << QString() << "falsch";
        QTest::newRow("unreachable host") << QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort()) << QString();
    }
    void failures()
    {
        QFETCH(QString, host);
        QFETCH(QString, password);
        settingsFor(false, QStringLiteral("nirgends"));
        if (!host.isEmpty())
            Settings().SQL_Host = host;
        if (!password.isEmpty())
            Settings().SQL_Pass = password;
        TFM_SQLServer d;
        d.FormShow();
        d.CB_Databases->addItem(QStringLiteral("vorher"));
        d.BitBtn3Click();
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.messages.first().startsWith(QStringLiteral("Keine Verbindung zur Datenbank!\r")));
        QCOMPARE(d.CB_Databases->count(), 1); // list as it was
        ui.messages.clear();
        d.Button1Click();
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(ui.messages.first().startsWith(
                     QStringLiteral("Ein Datenbankcheck konnte nicht durchgeführt werden!\rSind die Serverdaten richtig?")),
                 qPrintable(ui.messages.first()));
        QVERIFY(!ui.messages.first().contains(QStringLiteral("falsch")));
    }

    void gatewayWithoutDatabase()
    {
        settingsFor(true, QStringLiteral("gibtsnicht"));
        TFM_SQLServer d;
        d.FormShow();
        d.Button1Click();
        QCOMPARE(ui.messages, QStringList{QStringLiteral("Keine Verbindung zur Datenbank!")});
    }

    void okWritesConfigAndReminds()
    {
        settingsFor(false, db.database());
        Settings().AssiSteps[1][2] = 1;
        TFM_SQLServer d;
        d.FormShow();
        // Unchanged: no reminder, config.php still written.
        d.BitBtn1Click(true);
        QVERIFY(ui.messages.isEmpty());
        QByteArray cfg;
        {
            QFile f(ShopConfigFile::PhpPath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            cfg = f.readAll();
        }
        QVERIFY(cfg.contains("\r\n$dbhost = \"" + db.hostPort().toLatin1() + "\";\r\n"));
        QVERIFY(cfg.contains("\r\n$dbpass = \"" + db.password().toLatin1() + "\";\r\n"));
        QVERIFY(cfg.contains("\r\n$dbcharset = \"latin1\"; //Zeichensatz"));
        QCOMPARE(Settings().AssiSteps[1][2], 0);
        // A changed password: the reminder, and the hostile text escaped.
        d.ED_Pass->setText(QStringLiteral("a$b\"c"));
        d.BitBtn1Click(true);
        QCOMPARE(ui.messages, QStringList{kReminder});
        QCOMPARE(Settings().SQL_Pass, QStringLiteral("a$b\"c"));
        // "zeige" stored a change: the next OK reminds although nothing differs now.
        ui.messages.clear();
        d.ED_User->setText(QStringLiteral("anders"));
        d.BitBtn1Click(false);
        QVERIFY(d.SettingsChanged);
        d.BitBtn1Click(true);
        QCOMPARE(ui.messages, QStringList{kReminder});
        // The assistant's form never reminds.
        ui.messages.clear();
        d.SetReduced(true);
        d.ED_User->setText(QStringLiteral("wieder anders"));
        d.BitBtn1Click(true);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(d.GroupBox2->isHidden());
        QVERIFY(d.BitBtn3->isHidden());
    }

    void tlsCheckBox_data()
    {
        QTest::addColumn<QString>("stored");   // SQL_SSL before
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("shown");       // CB_SSL after FormShow
        QTest::addColumn<QString>("newHost");  // typed into ED_Host (empty: none)
        QTest::addColumn<bool>("click");       // the user clicks the box
        QTest::addColumn<bool>("checked");     // CB_SSL before OK
        QTest::addColumn<QString>("result");   // SQL_SSL after OK
        QTest::newRow("remote by default") << "" << "db.example.de:3306" << true << "" << false << true << "";
        QTest::newRow("local by default") << "" << "127.0.0.1:3306" << false << "" << false << false << "";
        QTest::newRow("default follows the host") << "" << "localhost" << false << "shop.example.de" << false << true << "";
        QTest::newRow("stored off stays off") << "0" << "db.example.de" << false << "ander.example.de" << false << false << "0";
        QTest::newRow("stored on for the local host") << "1" << "localhost" << true << "" << false << true << "1";
        QTest::newRow("switched off by the user") << "" << "db.example.de" << true << "" << true << false << "0";
        QTest::newRow("switched on by the user") << "" << "127.0.0.1" << false << "" << true << true << "1";
        QTest::newRow("the user's choice outlives a host change") << "" << "db.example.de" << true << "localhost" << true
                                                                  << false << "0";
    }
    void tlsCheckBox()
    {
        QFETCH(QString, stored);
        QFETCH(QString, host);
        QFETCH(bool, shown);
        QFETCH(QString, newHost);
        QFETCH(bool, click);
        QFETCH(bool, checked);
        QFETCH(QString, result);
        settingsFor(false, db.database());
        Settings().SQL_Host = host;
        Settings().SQL_SSL = stored;
        TFM_SQLServer d;
        QCOMPARE(d.CB_SSL->objectName(), QStringLiteral("CB_SSL"));
        d.FormShow();
        QCOMPARE(d.CB_SSL->isChecked(), shown);
        if (click)
            d.CB_SSL->click();
        if (!newHost.isEmpty())
            d.ED_Host->setText(newHost);
        QCOMPARE(d.CB_SSL->isChecked(), checked);
        d.BitBtn1Click(false);
        QCOMPARE(Settings().SQL_SSL, result);
        Settings().SQL_SSL.clear();
    }

    void configMissing()
    {
        settingsFor(false, db.database());
        QFile::remove(ShopConfigFile::PhpPath());
        TFM_SQLServer d;
        d.FormShow();
        d.Button2Click();
        QCOMPARE(ui.messages, QStringList{QStringLiteral("Configdatei wurde nicht gefunden!")});
    }
};

QTEST_MAIN(SQLServerTest)
#include "tst_SQLServer.moc"
