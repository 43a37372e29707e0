#include "setup/ui/TFM_ShowSQLData.h"

#include "core/ShopSettings.h"
#include "core/ui/Icons.h"
#include "data/MemTable.h"
#include "data/ui/TDBBGrid.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/MySqlConnection.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

TFM_ShowSQLData::TFM_ShowSQLData(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FM_ShowSQLData"));
    setWindowTitle(QStringLiteral("zeige alle Tabellen und Daten der ausgewählten SQL-Serverdatenbank"));
    setAttribute(Qt::WA_DeleteOnClose);

    SQLConnection1 = new MySqlConnection(this);
    SQLConnection1->setObjectName(QStringLiteral("SQLConnection1"));
    ClientDataSet1 = new MemTable(this);
    ClientDataSet1->setObjectName(QStringLiteral("ClientDataSet1"));

    // Our own pictures: the desktop's theme may lack one and leave a bare text button.
    auto action = [this](const char *name, const QString &text, const char *icon) {
        auto *a = new QAction(AppIcon(QString::fromLatin1(icon)), text, this);
        a->setObjectName(QString::fromLatin1(name));
        addAction(a);
        return a;
    };
    Action_zeigeTabellen = action("Action_zeigeTabellen", QStringLiteral("zeige Tabellen"), "database");
    Action_zeigeTabelle = action("Action_zeigeTabelle", QStringLiteral("zeige Tabelle"), "table");
    Action_zeigeTabelle->setToolTip(QStringLiteral("zeige diese Tabelle an"));
    Action_zeigeTabelle->setEnabled(false);
    Action_SQL_Befehl = action("Action_SQL_Befehl", QStringLiteral("SQL-Befehl"), "document");
    Action_SQL_Befehl->setToolTip(QStringLiteral("SQL-Befehl"));

    auto button = [this](QAction *a, const char *name) {
        auto *b = new QToolButton;
        b->setObjectName(QString::fromLatin1(name));
        b->setDefaultAction(a);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        return b;
    };
    ToolButton1 = button(Action_zeigeTabellen, "ToolButton1");
    ToolButton3 = button(Action_zeigeTabelle, "ToolButton3");
    ToolButton5 = button(Action_SQL_Befehl, "ToolButton5");
    auto *bar = new QHBoxLayout;
    bar->addWidget(ToolButton1);
    bar->addWidget(ToolButton3);
    bar->addWidget(ToolButton5);
    bar->addStretch();

    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto *group = new QGroupBox(QStringLiteral("verfügbare Tabellen"));
    LB_Tables = new QListWidget;
    LB_Tables->setObjectName(QStringLiteral("LB_Tables"));
    (new QVBoxLayout(group))->addWidget(LB_Tables);
    auto *page1 = new QWidget;
    (new QVBoxLayout(page1))->addWidget(group);
    PageControl1->addTab(page1, QStringLiteral("Verfügbare Tabellen"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    PageControl1->addTab(Memo1, QStringLiteral("eigener SQL-Befehl"));

    DBBGrid1 = new TDBBGrid;
    DBBGrid1->setObjectName(QStringLiteral("DBBGrid1"));
    DBBGrid1->SetDataSet(ClientDataSet1);

    LB_Fehler = new QLabel;
    LB_Fehler->setObjectName(QStringLiteral("LB_Fehler"));
    LB_Fehler->setWordWrap(true);
    LB_Fehler->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LB_Fehler->setStyleSheet(QStringLiteral("QLabel { color: #a00000; background: #fff0f0; padding: 4px; }"));
    LB_Fehler->setVisible(false);
    auto *result = new QWidget;
    auto *rv = new QVBoxLayout(result);
    rv->setContentsMargins(0, 0, 0, 0);
    rv->setSpacing(2);
    rv->addWidget(LB_Fehler, 0, Qt::AlignTop);
    rv->addWidget(DBBGrid1, 1);

    auto *split = new QSplitter(Qt::Vertical);
    split->setObjectName(QStringLiteral("Splitter1"));
    split->addWidget(PageControl1);
    split->addWidget(result);
    split->setStretchFactor(1, 1);
    auto *v = new QVBoxLayout(this);
    v->addLayout(bar);
    v->addWidget(split, 1);
    resize(720, 520);

    connect(Action_zeigeTabellen, &QAction::triggered, this, &TFM_ShowSQLData::Action_zeigeTabellenExecute);
    connect(Action_zeigeTabelle, &QAction::triggered, this, &TFM_ShowSQLData::Action_zeigeTabelleExecute);
    connect(Action_SQL_Befehl, &QAction::triggered, this, &TFM_ShowSQLData::Action_SQL_BefehlExecute);
    connect(LB_Tables, &QListWidget::itemDoubleClicked, this, &TFM_ShowSQLData::Action_zeigeTabelleExecute);
    ClientDataSet1->AfterOpen = [this](Dataset &) { ClientDataSet1AfterOpen(); };
    // The grid sizes its columns when the rows arrive; the limit follows.
    connect(DBBGrid1->SourceModel(), &QAbstractItemModel::modelReset, this, &TFM_ShowSQLData::ClientDataSet1AfterOpen);

    FormCreate();
}

TFM_ShowSQLData::~TFM_ShowSQLData()
{
    // The grid goes before the table it shows.
    delete DBBGrid1;
    DBBGrid1 = nullptr;
}

void TFM_ShowSQLData::FormCreate()
{
    Settings().AbortWait = false;
    Query.Connection = SQLConnection1;
    Query.ClientDataSet = ClientDataSet1;
}

void TFM_ShowSQLData::Action_zeigeTabellenExecute()
{
    PageControl1->setCurrentIndex(0);
    if (!ShopConnection::GatewayMode()) {
        SQLConnection1->Disconnect();
        QStringList tables;
        const bool ok = SQLConnection1->Connect(MySqlParams::fromSettings())
                        && SQLConnection1->FirstColumn(QStringLiteral("SHOW TABLES"), tables);
        if (ok) {
            LB_Tables->clear();
            LB_Tables->addItems(tables);
        }
        SQLConnection1->Disconnect();
        if (ok)
            Action_zeigeTabelle->setEnabled(true);
        return;
    }
    int rows = 0;
    if (Gateway().GatewayQuery(QStringLiteral("SHOW TABLES"), rows) == 0) {
        LB_Tables->clear();
        const QVector<QStringList> &cells = Gateway().GatewayCells();
        if (!cells.isEmpty())
            for (int i = 0; i < rows && i < cells.first().size(); ++i)
                LB_Tables->addItem(cells.first().at(i));
    }
}

void TFM_ShowSQLData::Action_zeigeTabelleExecute()
{
    FormCreate();
    QListWidgetItem *item = LB_Tables->currentItem();
    if (!item || item->text().trimmed().isEmpty())
        return;
    // Table names come from the server's own list; quoted all the same.
    QString name = item->text().trimmed();
    name.replace(QLatin1Char('`'), QStringLiteral("``"));
    showResult(ShopOpen(QStringLiteral("SELECT * FROM `") + name + QStringLiteral("` ") + Settings().LimitClause, Query));
}

void TFM_ShowSQLData::showResult(int result)
{
    if (result == ShopResult::Done) {
        LB_Fehler->setVisible(false);
        DBBGrid1->setVisible(true);
        ClientDataSet1->First();
        return;
    }
    // Whatever the answer table holds now is no result of the statement:
    // the message takes the grid's place.
    ClientDataSet1->Close();
    DBBGrid1->setVisible(false);
    QString text = Shop().LastErrorText().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("Fehlernummer %1").arg(result);
    LB_Fehler->setText(QStringLiteral("Fehler: ") + text);
    LB_Fehler->setVisible(true);
}

QString TFM_ShowSQLData::StatementText() const
{
    QString t = Memo1->toPlainText();
    t.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t.trimmed();
}

void TFM_ShowSQLData::Action_SQL_BefehlExecute()
{
    PageControl1->setCurrentIndex(1);
    FormCreate();
    showResult(ShopOpen(StatementText(), Query));
    // The connection stays for the next statement until the window closes.
    Shop().Ti_Connect2_Off().stop();
}

void TFM_ShowSQLData::ClientDataSet1AfterOpen()
{
    if (!DBBGrid1)
        return;
    bool changed = false;
    for (int c = 0; c < DBBGrid1->Columns().size(); ++c)
        if (DBBGrid1->Column(c).width > 100) {
            DBBGrid1->Column(c).width = 100;
            changed = true;
        }
    if (changed)
        DBBGrid1->ColumnsChanged();
}

void TFM_ShowSQLData::closeEvent(QCloseEvent *e)
{
    Shop().Ti_Connect2_OffTimer();
    SQLConnection1->Disconnect();
    QWidget::closeEvent(e);
}

} // namespace mv
