#include "shell/TFM_Haupt.h"

#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "shell/MainActions.h"
#include "shell/MainNavigation.h"
#include "core/ui/TFM_Frage.h"
#include "core/ui/TPanelBar.h"
#include "core/ui/TWarten.h"
#include "shell/TWebPanel.h"
#include "wawi/ui/TFM_WaWiCFG.h"
#include "wawi/WaWiDetect.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/ShopConnection.h"
#include "setup/ShopConfigFile.h"
#include "setup/ui/TFM_EinAssi.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace mv {

TFM_Haupt *FM_Haupt = nullptr;

TFM_Haupt::TFM_Haupt(QWidget *parent)
    : QMainWindow(parent)
{
    FM_Haupt = this;
    InitUiResources();
    setObjectName(QStringLiteral("FM_Haupt"));
    setWindowTitle(QStringLiteral("VLB-Marktvoll DatenManager V7.0"));
    setWindowIcon(ThemeIcon(QStringLiteral("system-file-manager")));

    // Create handler.
    InitPaths();
    WebPanelReady = false;
    ShopSettings &s = Settings();
    s.Assi_Frage = 0;
    s.Assi_Zeige = 1;
    s.RangeLow = QChar(0);
    s.RangeHigh = QChar(127);
    s.RegPath = WaWiProgramNumberKey();
    s.VLB_Programm = ReadWaWiProgramNumber();

    ActionManager1 = new MainActions(this);
    buildWindow();
    buildTimers();
    FM_EinAssi = new TFM_EinAssi(this);
    FM_EinAssi->RunAction = [this](const QString &name) { return RunAction(name); };

    // The shop connection's error log is Memo1; in debug mode the gateway
    // announces its addresses in the status memo.
    ShopErrorLog &log = Shop().ErrorLog();
    for (const QString &line : log.Lines())
        Memo1->appendPlainText(line);
    connect(&log, &ShopErrorLog::lineAdded, Memo1, &QPlainTextEdit::appendPlainText);
    connect(&log, &ShopErrorLog::cleared, Memo1, &QPlainTextEdit::clear);
    connect(&Transport(), &GatewayTransport::debugAddress, this, &TFM_Haupt::ShowGatewayAddress);
    connect(&Gateway(), &HttpSqlGateway::pageReceived, this, &TFM_Haupt::GatewayPageReceived);
}

TFM_Haupt::~TFM_Haupt()
{
    // Destroy handler: the assistant goes with the window.
    delete FM_EinAssi;
    FM_EinAssi = nullptr;
    if (FM_Haupt == this)
        FM_Haupt = nullptr;
}

void TFM_Haupt::buildWindow()
{
    auto *menu = menuBar()->addMenu(QStringLiteral("&Datei"));
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    menu->addAction(ActionManager1->Action(QStringLiteral("Action_Ende")));

    Splitter2 = new QSplitter(Qt::Horizontal, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);

    InspectorBar1 = new TPanelBar;
    InspectorBar1->setObjectName(QStringLiteral("InspectorBar1"));
    BuildNavigation(InspectorBar1, ActionManager1);
    connect(InspectorBar1, &TPanelBar::ItemClicked, this, &TFM_Haupt::InspectorBar1ItemClick);
    auto *barScroll = new QScrollArea;
    barScroll->setObjectName(QStringLiteral("InspectorBar1_Scroll"));
    barScroll->setWidget(InspectorBar1);
    barScroll->setWidgetResizable(true);
    barScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    barScroll->setFrameShape(QFrame::NoFrame);
    // Every caption of every panel fits, also when the open panel needs the
    // vertical scroll bar; 180 px unless the captions need more.
    const int barWidth = qMax(180, InspectorBar1->minimumSizeHint().width()
                                       + barScroll->verticalScrollBar()->sizeHint().width());
    barScroll->setMinimumWidth(barWidth);
    Splitter2->addWidget(barScroll);

    auto *right = new QWidget;
    auto *v = new QVBoxLayout(right);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    MdiArea = new QMdiArea;
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    v->addWidget(MdiArea, 1);

    PA_Hintergrund = new QWidget(MdiArea->viewport());
    PA_Hintergrund->setObjectName(QStringLiteral("PA_Hintergrund"));
    PA_Hintergrund->setAutoFillBackground(true);
    QPalette pal = PA_Hintergrund->palette();
    pal.setColor(QPalette::Window, Qt::white);
    PA_Hintergrund->setPalette(pal);
    auto *bg = new QVBoxLayout(PA_Hintergrund);
    Image1 = new QLabel(PA_Hintergrund);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(QPixmap(QStringLiteral(":/ui/background.jpg")));
    bg->addWidget(Image1);
    PA_Hintergrund->lower();
    MdiArea->viewport()->installEventFilter(this);
    // A new child window hides the picture at once; the timer stays the rule.
    connect(MdiArea, &QMdiArea::subWindowActivated, this, [this] { TI_HintergrundTimer(); });

    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setMaximumHeight(120);
    Memo1->setVisible(false);
    v->addWidget(Memo1);

    PA_WEB = new TWebPanel;
    Splitter1 = new TSplitterBar(PA_WEB);
    Splitter1->setVisible(false);
    PA_WEB->setVisible(false);
    v->addWidget(Splitter1);
    v->addWidget(PA_WEB);

    Splitter2->addWidget(right);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({barWidth, 1024 - barWidth});
    setCentralWidget(Splitter2);
    // Hiding the bar (the greeting of the first start) hides its strip too,
    // so the client area takes the whole width.
    InspectorBar1->installEventFilter(this);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusPanel = new QLabel;
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setMinimumWidth(300);
    StatusBar1->addWidget(StatusPanel);
    StatusProgress = new QProgressBar;
    StatusProgress->setObjectName(QStringLiteral("StatusProgress"));
    StatusProgress->setMaximumWidth(200);
    StatusProgress->setVisible(false);
    StatusBar1->addPermanentWidget(StatusProgress);

    resize(1024, 720);
}

void TFM_Haupt::buildTimers()
{
    auto timer = [this](const char *name, int ms, bool single) {
        auto *t = new QTimer(this);
        t->setObjectName(QString::fromUtf8(name));
        t->setInterval(ms);
        t->setSingleShot(single);
        return t;
    };
    TI_Hintergrund = timer("TI_Hintergrund", 500, false);
    connect(TI_Hintergrund, &QTimer::timeout, this, &TFM_Haupt::TI_HintergrundTimer);
    TI_Hintergrund->start();
    Timer_Config_Up = timer("Timer_Config_Up", 2000, true);
    connect(Timer_Config_Up, &QTimer::timeout, this, &TFM_Haupt::Timer_Config_UpTimer);
    Timer_HTTPSleep = timer("Timer_HTTPSleep", 3000, false);
    connect(Timer_HTTPSleep, &QTimer::timeout, this, &TFM_Haupt::Timer_HTTPSleepTimer);
    // The direct connection's closing timers live with the shop connection.
    Ti_Connect_Off = &Shop().Ti_Connect_Off();
    Ti_Connect_Off->setObjectName(QStringLiteral("Ti_Connect_Off"));
    Ti_Connect2_Off = &Shop().Ti_Connect2_Off();
    Ti_Connect2_Off->setObjectName(QStringLiteral("Ti_Connect2_Off"));
}

void TFM_Haupt::newWaWiCFG()
{
    FM_WaWiCFG = new TFM_WaWiCFG(this);
    connect(FM_WaWiCFG, &TFM_WaWiCFG::EndProgramRequested, this, &TFM_Haupt::EndProgram);
}

void TFM_Haupt::CreateLongLivedWindows()
{
    if (!FM_WaWiCFG)
        newWaWiCFG();
    if (!FM_Frage)
        FM_Frage = new TFM_Frage(this);
    if (!Warten)
        Warten = new TWarten(this);
}

QAction *TFM_Haupt::Action(const QString &name) const
{
    return ActionManager1->Action(name);
}

bool TFM_Haupt::RunAction(const QString &name)
{
    return ActionManager1->Run(name);
}

QMdiSubWindow *TFM_Haupt::AddChildWindow(QWidget *w)
{
    // The size the window gave itself; the frame would otherwise open at
    // its layout's smallest size and cut what the window is for.
    const QSize wanted = w->testAttribute(Qt::WA_Resized) ? w->size() : QSize();
    w->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow *sub = MdiArea->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(w->windowIcon().isNull() ? windowIcon() : w->windowIcon());
    // A window's own OK or Cancel closes the window inside the frame; the
    // frame must follow (see eventFilter).
    w->installEventFilter(this);
    w->show();
    sub->show();
    if (wanted.isValid()) {
        const QMargins m = sub->contentsMargins();
        sub->resize(wanted.grownBy(m).expandedTo(sub->minimumSizeHint()));
    }
    // A window larger than the client area opens inside it, not cut off;
    // what does not fit then scrolls in the client area.
    const QRect room = MdiArea->viewport()->rect();
    if (!room.isEmpty() && !room.contains(sub->geometry())) {
        sub->resize(sub->size().boundedTo(room.size()));
        sub->move(qBound(0, sub->x(), qMax(0, room.width() - sub->width())),
                  qBound(0, sub->y(), qMax(0, room.height() - sub->height())));
    }
    return sub;
}

void TFM_Haupt::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        // Run once the frame is on screen, so the greeting and any message
        // of the start appear over a painted window.
        QTimer::singleShot(0, this, [this] {
            FormShow();
            emit Started();
        });
    }
}

void TFM_Haupt::FormShow()
{
    ShopSettings &s = Settings();
    if (DetectWaWi(true, s.VLB_Programm) == WaWiDetectResult::MandantFailed) {
        EndProgram();
        return;
    }

    // A key missing from ShopMod.ini keeps what the bars show now.
    CollectSettingsFromWindows();
    const int detectedMandant = s.Aktiv_Mandant;
    QString error;
    if (!LoadSettings(&error) && !error.isEmpty())
        Ui().ShowMessage(error, UiHooks::Icon::Error);
    // 0 in the file means no Mandant was ever chosen: it matches no record,
    // and a complete transfer would then empty the shop. Keep the detected one.
    if (s.Aktiv_Mandant <= 0 && detectedMandant > 0)
        s.Aktiv_Mandant = detectedMandant;
    ApplySettingsToWindows();

    if (s.PictureDir.trimmed().isEmpty())
        s.PictureDir = s.ShopDir + QStringLiteral("abilder/");

    if (s.Assi_Zeige > 0) {
        Ui().ProcessEvents();
        FM_EinAssi->SetShowAtStart(true);
        FM_EinAssi->show();
        if (s.Assi_Frage == 0) {
            Ui().ShowMessage(QStringLiteral("Guten Tag, der Assistent\rführt Sie durch die Einrichtung\rdes Shops! Siehe Rechts!"));
            InspectorBar1->setVisible(false);
            s.Assi_Frage = 1;
        }
    }

    if (QFile::exists(s.ExeDir + s.ShopSubdir + QStringLiteral("/config/config.up")))
        Timer_Config_Up->start();
}

void TFM_Haupt::closeEvent(QCloseEvent *e)
{
    ShopSettings &s = Settings();
    // Close query: always yes; every wait loop ends at once.
    s.AbortWait = true;
    MdiArea->closeAllSubWindows();
    if (m_ending) {
        e->accept();
        return;
    }
    CollectSettingsFromWindows();
    QString error;
    if (!SaveSettings(&error))
        Ui().ShowMessage(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden:\r") + error,
                         UiHooks::Icon::Error);
    Gateway().ClearResultTables();
    if (FM_EinAssi)
        FM_EinAssi->hide();
    e->accept();
}

bool TFM_Haupt::event(QEvent *e)
{
    // The embedded browser of the web panel makes Qt recreate this window's
    // native window; the assistant still names the old one as its owner.
    if (e->type() == QEvent::WinIdChange)
        QTimer::singleShot(0, this, &TFM_Haupt::TieAssistant);
    return QMainWindow::event(e);
}

void TFM_Haupt::TieAssistant()
{
    QWindow *own = windowHandle();
    QWindow *assistant = FM_EinAssi ? FM_EinAssi->windowHandle() : nullptr;
    if (!own || !assistant || !internalWinId() || internalWinId() == m_assistantOwner)
        return;
    m_assistantOwner = internalWinId();
    assistant->setTransientParent(own);
    if (FM_EinAssi->isVisible()) {
        // The window system reads the owner when a window is mapped; the
        // assistant shows again at its place at the right edge.
        FM_EinAssi->hide();
        FM_EinAssi->show();
        FM_EinAssi->raise();
    }
}

void TFM_Haupt::ApplySettingsToWindows()
{
    InspectorBar1->SetOpenPanel(Settings().InspectorBar1);
    if (FM_EinAssi)
        FM_EinAssi->ApplySettings();
}

void TFM_Haupt::CollectSettingsFromWindows()
{
    Settings().InspectorBar1 = InspectorBar1->OpenPanel();
    if (FM_EinAssi)
        FM_EinAssi->StoreSettings();
}

void TFM_Haupt::InspectorBar1ItemClick(int panel, int item)
{
    const QString name = InspectorBar1->Item(panel, item)->property("action").toString();
    for (const NavItemDef &d : NavItemTable()) {
        if (name != QLatin1String(d.action))
            continue;
        if (name == QLatin1String("Action_Debug_On"))
            Action_Debug_OnExecute(false);
        else
            RunAction(name);
        return;
    }
}

bool TFM_Haupt::DebugMode() const
{
    return !PA_WEB->isHidden() && !PA_WEB->PA_Web_Status->isHidden();
}

void TFM_Haupt::Action_Debug_OnExecute(bool withSender)
{
    if (!withSender && DebugMode()) {
        Action_Debug_OffExecute();
        return;
    }
    PA_WEB->Caption->setVisible(true);
    PA_WEB->WebBrowser1()->setVisible(true);
    PA_WEB->SetPanelHeight(150);
    PA_WEB->setVisible(true);
    Ui().ProcessEvents();
    PA_WEB->PA_Web_Status->setVisible(true);
    Splitter1->setVisible(true);
    Transport().DebugMode = DebugMode();
}

void TFM_Haupt::Action_Debug_OffExecute()
{
    if (PA_WEB->isHidden())
        return;
    PA_WEB->PA_Web_Status->setVisible(false);
    PA_WEB->Caption->setVisible(false);
    PA_WEB->SetPanelHeight(5);
    Splitter1->setVisible(false);
    Transport().DebugMode = DebugMode();
}

void TFM_Haupt::ShowWaWiCfg()
{
    if (!FM_WaWiCFG)
        newWaWiCFG();
    FM_WaWiCFG->exec();
}

void TFM_Haupt::EndProgram()
{
    m_ending = true;
    Settings().AbortWait = true;
    QTimer::singleShot(0, qApp, [] { QApplication::exit(1); });
}

void TFM_Haupt::ShowGatewayAddress(const QString &text)
{
    PA_WEB->PA_Web_Status->setPlainText(text);
}

void TFM_Haupt::ShowGatewayPage(const QString &html, const QString &url)
{
    PA_WEB->ShowPage(html, url);
}

void TFM_Haupt::ShowProgress(int position, int max, const QString &text)
{
    StatusProgress->setVisible(max > 0);
    if (max > 0) {
        StatusProgress->setRange(0, max);
        StatusProgress->setValue(qBound(0, position, max));
    }
    if (!text.isNull())
        StatusPanel->setText(text);
}

void TFM_Haupt::ShowStatus(const QString &text)
{
    StatusPanel->setText(text);
}

void TFM_Haupt::AppendErrorLog(const QString &line)
{
    Memo1->appendPlainText(line);
}

void TFM_Haupt::TI_HintergrundTimer()
{
    PA_Hintergrund->setVisible(MdiArea->subWindowList().isEmpty());
    // A page that came while the web panel was closed shows when it opens.
    ShowPendingGatewayPage();
}

void TFM_Haupt::GatewayPageReceived()
{
    // The web panel follows the gateway's last answer page. A fast series
    // of requests (a transfer) renders at most every 100 ms, always the
    // last page.
    m_gatewayPagePending = true;
    if (m_gatewayPageQueued)
        return;
    m_gatewayPageQueued = true;
    QTimer::singleShot(100, this, [this] {
        m_gatewayPageQueued = false;
        ShowPendingGatewayPage();
    });
}

void TFM_Haupt::ShowPendingGatewayPage()
{
    if (!m_gatewayPagePending || PA_WEB->isHidden() || PA_WEB->PanelHeight() <= 5)
        return;
    m_gatewayPagePending = false;
    ShowGatewayPage(Gateway().LastPage().join(QLatin1Char('\n')));
}

void TFM_Haupt::Timer_Config_UpTimer()
{
    Timer_Config_Up->stop();
    Ui().ProcessEvents();
    // A new shop version brought a template: its keys with the user's values.
    ShopConfigFile::TemplateUpdate();
}

void TFM_Haupt::Timer_HTTPSleepTimer()
{
    if (PA_WEB->isHidden()) {
        Action_Debug_OnExecute(true);
        Action_Debug_OffExecute();
    }
}

bool TFM_Haupt::eventFilter(QObject *o, QEvent *e)
{
    if (e->type() == QEvent::DeferredDelete) {
        // A child window closed itself (its OK, Cancel, close): it goes now,
        // and its frame with it. Closed through the frame, the frame is
        // already hidden and deletes itself.
        auto *sub = qobject_cast<QMdiSubWindow *>(o->parent());
        if (sub && sub->widget() == o && !sub->isHidden()) {
            sub->setWidget(nullptr);   // no second close event for the window
            sub->close();
        }
    }
    if (o == InspectorBar1 && (e->type() == QEvent::HideToParent || e->type() == QEvent::ShowToParent))
        Splitter2->widget(0)->setVisible(!InspectorBar1->isHidden());
    if (o == MdiArea->viewport() && e->type() == QEvent::Resize) {
        PA_Hintergrund->setGeometry(MdiArea->viewport()->rect());
        PA_Hintergrund->lower();
    }
    return QMainWindow::eventFilter(o, e);
}

} // namespace mv
