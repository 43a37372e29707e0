#pragma once
// The main window: the MDI frame with the navigation bar, the web panel of
// the gateway, the hidden error log and the timers; start-up and shutdown.
// The actions live in MainActions, the bar's items in MainNavigation, the
// web panel in TWebPanel.

#include <QMainWindow>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTimer;

namespace mv {

class MainActions;
class TFM_EinAssi;
class TPanelBar;
class TSplitterBar;
class TWebPanel;

class TFM_Haupt : public QMainWindow {
    Q_OBJECT
public:
    // The create handler runs here (folders, defaults, registry program
    // number, the assistant).
    explicit TFM_Haupt(QWidget *parent = nullptr);
    ~TFM_Haupt() override;

    // Start-up step 3: the windows that live for the whole run.
    void CreateLongLivedWindows();

    // --- components
    TPanelBar *InspectorBar1;
    QSplitter *Splitter2;
    QMdiArea *MdiArea;
    QWidget *PA_Hintergrund;
    QLabel *Image1;
    TWebPanel *PA_WEB;
    TSplitterBar *Splitter1;
    QPlainTextEdit *Memo1;
    QStatusBar *StatusBar1;
    QLabel *StatusPanel;
    QProgressBar *StatusProgress;
    MainActions *ActionManager1;
    QTimer *TI_Hintergrund, *Timer_Config_Up, *Timer_HTTPSleep, *Ti_Connect_Off, *Ti_Connect2_Off;
    TFM_EinAssi *FM_EinAssi = nullptr;

    bool WebPanelReady = false;
    bool DocumentComplete = false;

    // --- operations for the other windows
    QAction *Action(const QString &name) const;
    bool RunAction(const QString &name);
    // Opens w as a child window of the frame; it frees itself when closed.
    QMdiSubWindow *AddChildWindow(QWidget *w);
    void Action_Debug_OnExecute(bool withSender);
    void Action_Debug_OffExecute();
    bool DebugMode() const;
    void ShowWaWiCfg();
    // Ends the program at once (the WaWi's Mandant table is unreadable).
    void EndProgram();

    // The web panel shows the gateway's answer and, in debug mode, its address.
    void ShowGatewayAddress(const QString &text);
    void ShowGatewayPage(const QString &html, const QString &url = QString());
    // Progress and status text of long work (the UiHooks end here).
    void ShowProgress(int position, int max, const QString &text);
    void ShowStatus(const QString &text);
    // Error log of the shop-database calls.
    void AppendErrorLog(const QString &line);

    // ShopMod.ini carries the open panels and step states of the bars.
    void ApplySettingsToWindows();
    void CollectSettingsFromWindows();
    // Ties the assistant to this window's current native window, so the
    // window system keeps it above this one.
    void TieAssistant();

signals:
    // After the show handler ran (start-up measurement, tests).
    void Started();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;
    bool event(QEvent *e) override;

private:
    void newWaWiCFG();
    void FormShow();
    void InspectorBar1ItemClick(int panel, int item);
    void TI_HintergrundTimer();
    // A new gateway page: shown in the web panel when it is open, else
    // when it opens.
    void GatewayPageReceived();
    void ShowPendingGatewayPage();
    void Timer_Config_UpTimer();
    void Timer_HTTPSleepTimer();
    void buildWindow();
    void buildTimers();

    bool m_shown = false;
    bool m_ending = false;
    bool m_gatewayPagePending = false;
    bool m_gatewayPageQueued = false;
    WId m_assistantOwner = 0;   // native window the assistant was last tied to
};

// The main window (null before it exists and after it is gone).
extern TFM_Haupt *FM_Haupt;

// Start address of the next browser window.

} // namespace mv
