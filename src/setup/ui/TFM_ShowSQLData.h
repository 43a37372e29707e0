#pragma once
// "zeige alle Tabellen und Daten der ausgewählten SQL-Serverdatenbank": the
// shop database's tables, the first rows of one, or the result of a
// statement of the user's own, in either connection mode.

#include "shopdb/ShopConnection.h"

#include <QWidget>

class QAction;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;
class QToolButton;

namespace mv {

class MemTable;
class MySqlConnection;
class TDBBGrid;

class TFM_ShowSQLData : public QWidget {
    Q_OBJECT
public:
    explicit TFM_ShowSQLData(QWidget *parent = nullptr);
    ~TFM_ShowSQLData() override;

    QAction *Action_zeigeTabellen, *Action_zeigeTabelle, *Action_SQL_Befehl;
    QToolButton *ToolButton1, *ToolButton3, *ToolButton5;
    QTabWidget *PageControl1;
    QListWidget *LB_Tables;
    QPlainTextEdit *Memo1;
    TDBBGrid *DBBGrid1;
    // The server's message when a query fails (instead of a result grid).
    QLabel *LB_Fehler;
    MySqlConnection *SQLConnection1;
    MemTable *ClientDataSet1;
    TShopQuery Query;

    void FormCreate();
    void Action_zeigeTabellenExecute();
    void Action_zeigeTabelleExecute();
    void Action_SQL_BefehlExecute();
    void ClientDataSet1AfterOpen();
    // The statement Action_SQL_Befehl sends.
    QString StatementText() const;

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    // Shows the outcome of one query: its rows, or what the server said.
    void showResult(int result);
};

} // namespace mv
