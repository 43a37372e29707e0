// The SQL data viewer in both modes against a private MariaDB and the
// gateway script: table list, the first 30 rows of a table, an own
// statement over several lines.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "data/ui/TDBBGrid.h"
#include "setup/ui/TFM_ShowSQLData.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>

using namespace mv;
using namespace mv::test;

class ShowSQLDataTest : public QObject {
    Q_OBJECT
    MariaDbServer db;
    PhpServer web;
    bool up = false;
    RecordingUiHooks ui;

private slots:
    void initTestCase()
    {
        QString err;
        MV_REQUIRE_SERVER(db.start(&err), err);
        MV_REQUIRE_SERVER(web.startShop(&err), err);
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE zahlen (n INT, t VARCHAR(20));")));
        QString values;
        for (int i = 1; i <= 31; ++i)
            values += QStringLiteral("%1(%2,'Zeile %2')").arg(i > 1 ? "," : "").arg(i);
        QVERIFY(db.exec(QStringLiteral("INSERT INTO zahlen VALUES ") + values));
        QVERIFY(db.exec(QString::fromUtf8("CREATE TABLE `größe` (x INT); INSERT INTO `größe` VALUES (7);")));
        up = true;
    }
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void tablesRowsAndStatements_data()
    {
        QTest::addColumn<bool>("gateway");
        QTest::newRow("direct") << false;
        QTest::newRow("gateway") << true;
    }
    void tablesRowsAndStatements()
    {
        if (!up)
            QSKIP("no servers");
        QFETCH(bool, gateway);
        TestEnv env;
        ShopSettings &s = Settings();
        s.SQL_Server = gateway ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
        s.SQL_HTTP = web.baseUrl();
        s.SQL_Host = db.hostPort();
        s.SQL_User = db.user();
        s.SQL_Pass = db.password();
        s.SQL_Data = db.database();

        TFM_ShowSQLData w;
        w.show();
        // Nothing selected: "zeige Tabelle" does nothing.
        w.Action_zeigeTabelleExecute();
        QCOMPARE(w.ClientDataSet1->RecordCount(), 0);

        w.Action_zeigeTabellenExecute();
        QStringList names;
        for (int i = 0; i < w.LB_Tables->count(); ++i)
            names << w.LB_Tables->item(i)->text();
        QVERIFY2(names.contains(QStringLiteral("zahlen")), qPrintable(names.join(',')));
        QVERIFY(names.contains(QString::fromUtf8("größe")));
        // Through the gateway the button stays disabled; a double click works.
        QCOMPARE(w.Action_zeigeTabelle->isEnabled(), !gateway);

        w.LB_Tables->setCurrentRow(int(names.indexOf(QStringLiteral("zahlen"))));
        w.Action_zeigeTabelleExecute();
        QCOMPARE(w.ClientDataSet1->RecordCount(), 30);
        for (int c = 0; c < w.DBBGrid1->model()->columnCount(); ++c)
            QVERIFY(w.DBBGrid1->columnWidth(c) <= 100);

        w.LB_Tables->setCurrentRow(int(names.indexOf(QString::fromUtf8("größe"))));
        emit w.LB_Tables->itemDoubleClicked(w.LB_Tables->currentItem());
        QCOMPARE(w.ClientDataSet1->RecordCount(), 1);

        w.Memo1->setPlainText(QStringLiteral("SELECT n, t\r\nFROM zahlen\nWHERE n > 25\nORDER BY n"));
        QCOMPARE(w.StatementText(), QStringLiteral("SELECT n, t FROM zahlen WHERE n > 25 ORDER BY n"));
        w.Action_SQL_BefehlExecute();
        QCOMPARE(w.ClientDataSet1->RecordCount(), 6);   // no limit added
        QStringList got;
        for (w.ClientDataSet1->First(); !w.ClientDataSet1->Eof(); w.ClientDataSet1->Next())
            got << w.ClientDataSet1->FieldByName(QStringLiteral("t"))->AsString();
        // The gateway's table holds the answer's rows last first.
        if (gateway)
            std::reverse(got.begin(), got.end());
        QCOMPARE(got, (QStringList{"Zeile 26", "Zeile 27", "Zeile 28", "Zeile 29", "Zeile 30", "Zeile 31"}));
        QVERIFY(ui.messages.isEmpty());
        w.close();
    }

    // A failing statement shows the server's message where the result
    // would be, not a grid with an error column; the next good one brings
    // the grid back.
    void failingStatementShowsTheMessage_data() { tablesRowsAndStatements_data(); }
    void failingStatementShowsTheMessage()
    {
        if (!up)
            QSKIP("no servers");
        QFETCH(bool, gateway);
        TestEnv env;
        ShopSettings &s = Settings();
        s.SQL_Server = gateway ? QStringLiteral("HTML-Verbindung") : QStringLiteral("MySQL");
        s.SQL_HTTP = web.baseUrl();
        s.SQL_Host = db.hostPort();
        s.SQL_User = db.user();
        s.SQL_Pass = db.password();
        s.SQL_Data = db.database();

        TFM_ShowSQLData w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Memo1->setPlainText(QStringLiteral("SELEC n FROM zahlen"));
        w.Action_SQL_BefehlExecute();
        QVERIFY(w.LB_Fehler->isVisible());
        QVERIFY2(w.LB_Fehler->text().contains(QStringLiteral("SQL syntax")), qPrintable(w.LB_Fehler->text()));
        QVERIFY(!w.DBBGrid1->isVisible());
        QVERIFY(!w.ClientDataSet1->Active());

        w.Memo1->setPlainText(QStringLiteral("SELECT n FROM zahlen WHERE n = 7"));
        w.Action_SQL_BefehlExecute();
        QVERIFY(!w.LB_Fehler->isVisible());
        QVERIFY(w.DBBGrid1->isVisible());
        QCOMPARE(w.ClientDataSet1->RecordCount(), 1);
        QCOMPARE(w.DBBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("n"));
        w.close();
    }
};

QTEST_MAIN(ShowSQLDataTest)
#include "tst_ShowSQLData.moc"
