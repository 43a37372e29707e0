#pragma once
// "Warenwirtschaft in den Shop": the user ticks the data kinds and the date
// option and starts one TransferRun. The window shows the running step, the
// WaWi records it walks through, and afterwards the report, which is also
// kept in the program folder's protokolle folder.

#include "transfer/TransferRun.h"

#include <QDialog>

class QAction;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;
class QFrame;
class QSplitter;

namespace mv {

class Dataset;
class TBusyAnimation;
class TDBBGrid;

class TFM_WaWiShop : public QDialog {
    Q_OBJECT
public:
    explicit TFM_WaWiShop(QWidget *parent = nullptr);
    ~TFM_WaWiShop() override;

    // The options of the boxes as a run takes them (DateTimePicker1 and the
    // reference moment are set by Action_StartExecute).
    TransferOptions Options() const;
    TransferRun &Run() { return m_run; }
    // Path of the protocol file of the last run ("" before a run or when
    // it could not be written).
    QString LastProtocolFile() const { return m_protocolFile; }

    // The group tree: the node carrying that group number, selected so the
    // user sees it; hiernr = index in display order, hierident = level.
    bool FindGroupNode(int group, int *hiernr = nullptr, int *hierident = nullptr);
    // Builds TreeView1 from a product-group table (number, "Anhang",
    // "Bezeichnung") without moving its cursor; a group whose parent is
    // missing goes to the top level, cycles end.
    void BuildGroupTree(const Dataset &groups);
    // Shows the tree a step built, in its display order.
    void ShowGroupTree(const GroupTree &tree);

    // Component handlers of the window.
    void Action_StartExecute();
    void Action_PicDeleteExecute();
    void BitBtn1Click();
    void CB_EinschraenkungClick();
    void CB_alleDatenClick();
    void CB_abDatumClick();
    void cb_alleClick();

signals:
    // The main window's Action_SQLServerCFG is due (shop not reachable).
    void SqlSettingsRequested();
    // Show or hide the main window's message list.
    void MessageListVisible(bool visible);

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void reject() override;

private:
    void buildControls();
    void connectRun();
    void dateOptionClicked(QCheckBox *clicked);
    void setRunning(bool on);
    void showReport(const TransferReport &report);
    void datasetOpened(const QString &page, Dataset *ds);
    void datasetClosed(const QString &page);
    void followGroup(Dataset *ds);

    TransferRun m_run;
    bool m_changing = false;
    bool m_closePending = false;
    QString m_protocolFile;
    Dataset *m_groupSet = nullptr;
    QMetaObject::Connection m_groupConn;
    bool m_treeFromStep = false;          // TreeView1 holds the running step's own tree
    QList<QWidget *> m_lockedControls;    // disabled for the time of a run

public:
    // Components, named as the user's manual names them.
    QAction *Action_Start, *Action_PicDelete;
    QPushButton *Button1, *BitBtn1, *BitBtn2;
    QCheckBox *CB_Einschraenkung, *CB_alleDaten, *CB_abDatum, *cb_alle;
    QDateEdit *DateTimePicker2, *DateTimePicker1;
    QTimeEdit *DTP_Zeit;
    QLabel *Label1, *LB_Status;
    QFrame *Panel1;
    QCheckBox *CB_Kunden, *CB_Lieferanten, *CB_Interessenten, *CB_Warengruppe, *CB_Artikel, *CB_Sonderpreise,
        *CB_Zahlungsarten, *CB_Versandart, *CB_Land, *CB_News, *CB_FAQ, *CB_Newsletter, *CB_Adressen, *CB_Bilder,
        *RTFtoHTML;
    QProgressBar *ProgressBar1;
    TBusyAnimation *Animate1;
    QTabWidget *PageControl1;
    QWidget *TabSheet1, *TabSheet2, *TabSheet3;
    TDBBGrid *DBGrid1, *DBBGrid1;
    QTreeWidget *TreeView1;
    QPlainTextEdit *ME_Versandarten, *Memo1;
    // The report of the last run (read-only), below the pages; the
    // splitter between them gives the report most of the room after a run.
    QSplitter *SP_Protokoll;
    QGroupBox *GB_Protokoll;
    QPlainTextEdit *ME_Protokoll;
    // The last run without the window (UnattendedRun.h).
    QLabel *LB_Unbeaufsichtigt = nullptr;
};

} // namespace mv
