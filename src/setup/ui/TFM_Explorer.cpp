#include "setup/ui/TFM_Explorer.h"

#ifdef MV_HAVE_WEBENGINE

#include "core/ui/Icons.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineView>

namespace mv {

QString TFM_Explorer::MakerSite()
{
    return QStringLiteral("https://www.marktvoll.de/");
}

TFM_Explorer::TFM_Explorer(const QString &startUrl, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FM_Explorer"));
    setWindowTitle(QStringLiteral("Internet-Vorschau"));
    setWindowIcon(ThemeIcon(QStringLiteral("web-browser")));

    auto *buttons = addToolBar(QStringLiteral("Buttons"));
    buttons->setObjectName(QStringLiteral("ToolBar1"));
    buttons->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto tool = [&](QToolBar *bar, const char *name, const QString &text, const char *icon) {
        auto *b = new QToolButton(bar);
        b->setObjectName(QString::fromUtf8(name));
        b->setText(text);
        if (*icon)
            b->setIcon(ThemeIcon(QString::fromUtf8(icon)));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        bar->addWidget(b);
        return b;
    };
    BackBtn = tool(buttons, "BackBtn", QStringLiteral("Zurück"), "go-previous");
    ForwardBtn = tool(buttons, "ForwardBtn", QStringLiteral("Vorwärts"), "go-next");
    RefreshBtn = tool(buttons, "RefreshBtn", QStringLiteral("Abbrechen"), "process-stop");

    auto *links = addToolBar(QStringLiteral("Links"));
    links->setObjectName(QStringLiteral("Links"));
    ToolButton6 = tool(links, "ToolButton6", QStringLiteral("Marktvoll"), "applications-internet");
    ToolButton6->setToolTip(MakerSite());

    // The address band gets a row of its own, so the address shows in full.
    addToolBarBreak();
    auto *address = addToolBar(QStringLiteral("Address"));
    address->setObjectName(QStringLiteral("Address"));
    address->addWidget(new QLabel(QStringLiteral(" Adresse "), address));
    URLs = new QComboBox(address);
    URLs->setObjectName(QStringLiteral("URLs"));
    URLs->setEditable(true);
    URLs->setToolTip(QStringLiteral("URL"));
    URLs->setInsertPolicy(QComboBox::NoInsert);
    URLs->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    URLs->setMinimumWidth(300);
    URLs->lineEdit()->installEventFilter(this);
    address->addWidget(URLs);

    WebBrowser1 = new QWebEngineView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    setCentralWidget(WebBrowser1);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    StatusPanel = new QLabel(statusBar());
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    statusBar()->addWidget(StatusPanel, 1);

    connect(BackBtn, &QToolButton::clicked, this, &TFM_Explorer::BackActionExecute);
    connect(ForwardBtn, &QToolButton::clicked, this, &TFM_Explorer::ForwardActionExecute);
    connect(RefreshBtn, &QToolButton::clicked, this, &TFM_Explorer::StopActionExecute);
    connect(ToolButton6, &QToolButton::clicked, this, &TFM_Explorer::ToolButton6Click);
    connect(URLs, &QComboBox::activated, this, &TFM_Explorer::URLsClick);
    // The caption stays the window's own; the page's title goes below.
    connect(WebBrowser1, &QWebEngineView::titleChanged, StatusPanel, &QLabel::setText);
    WebBrowser1->setMinimumSize(200, 150);
    resize(sizeHint());

    // FormCreate
    const QString start = startUrl;
    if (!start.trimmed().isEmpty()) {
        URLs->setEditText(start);
        Navigate();
    } else {
        QTimer::singleShot(0, this, [this] {
            URLs->setEditText(MakerSite());
            Navigate();
        });
    }
}

QSize TFM_Explorer::sizeHint() const
{
    return QSize(800, 600);
}

void TFM_Explorer::Navigate()
{
    WebBrowser1->load(QUrl::fromUserInput(URLs->currentText()));
}

void TFM_Explorer::URLsClick()
{
    Navigate();
}

void TFM_Explorer::ToolButton6Click()
{
    if (ToolButton6->toolTip().isEmpty())
        return;
    URLs->setEditText(ToolButton6->toolTip());
    Navigate();
}

void TFM_Explorer::BackActionExecute() { WebBrowser1->back(); }
void TFM_Explorer::ForwardActionExecute() { WebBrowser1->forward(); }
void TFM_Explorer::StopActionExecute() { WebBrowser1->stop(); }

bool TFM_Explorer::eventFilter(QObject *o, QEvent *e)
{
    if (o == URLs->lineEdit() && e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            Navigate();
            return true;
        }
    }
    return QMainWindow::eventFilter(o, e);
}

} // namespace mv

#endif
