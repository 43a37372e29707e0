#include "shell/TWebPanel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#ifdef MV_HAVE_WEBENGINE
#include <QWebEngineView>
#endif

namespace mv {

TWebPanel::TWebPanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("PA_WEB"));
    setFrameShape(QFrame::StyledPanel);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    Caption = new QLabel(QStringLiteral("HTML-Verbindung"), this);
    Caption->setObjectName(QStringLiteral("PA_WEB_Caption"));
    Caption->setStyleSheet(QStringLiteral(
        "QLabel { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0a246a, stop:1 #3a6ea5);"
        " color: white; font-weight: bold; padding: 2px 4px; }"));
    m_layout->addWidget(Caption);

    PA_Web_Status = new QPlainTextEdit(this);
    PA_Web_Status->setObjectName(QStringLiteral("PA_Web_Status"));
    PA_Web_Status->setFixedHeight(35);
    PA_Web_Status->setLineWrapMode(QPlainTextEdit::NoWrap);
    PA_Web_Status->setReadOnly(true);
    PA_Web_Status->setVisible(false);
    m_layout->addWidget(PA_Web_Status);
    m_layout->addStretch(1);
    SetPanelHeight(150);
}

QWidget *TWebPanel::WebBrowser1()
{
    if (!m_browser) {
#ifdef MV_HAVE_WEBENGINE
        m_browser = new QWebEngineView(this);
#else
        m_browser = new QTextBrowser(this);
#endif
        m_browser->setObjectName(QStringLiteral("WebBrowser1"));
        // replace the stretch
        delete m_layout->takeAt(m_layout->count() - 1);
        m_layout->addWidget(m_browser, 1);
        if (!m_lastPage.isEmpty())
            ShowPage(m_lastPage);
    }
    return m_browser;
}

void TWebPanel::ShowPage(const QString &html, const QString &url)
{
    m_lastPage = html;
    QWidget *b = WebBrowser1();
#ifdef MV_HAVE_WEBENGINE
    static_cast<QWebEngineView *>(b)->setHtml(html, QUrl(url));
#else
    Q_UNUSED(url);
    static_cast<QTextBrowser *>(b)->setHtml(html);
#endif
}

void TWebPanel::SetPanelHeight(int h)
{
    m_height = h;
    setFixedHeight(h);
}

TSplitterBar::TSplitterBar(TWebPanel *panel, QWidget *parent)
    : QFrame(parent), m_panel(panel)
{
    setObjectName(QStringLiteral("Splitter1"));
    setFixedHeight(5);
    setCursor(Qt::SizeVerCursor);
    setFrameShape(QFrame::NoFrame);
}

void TSplitterBar::mousePressEvent(QMouseEvent *e)
{
    m_startY = int(e->globalPosition().y());
    m_startH = m_panel->PanelHeight();
}

void TSplitterBar::mouseMoveEvent(QMouseEvent *e)
{
    const int dy = int(e->globalPosition().y()) - m_startY;
    m_panel->SetPanelHeight(qMax(5, m_startH - dy));
}

} // namespace mv
