#pragma once
// The web panel PA_WEB at the bottom of the main window: the embedded
// browser that shows the gateway's answer pages, with a caption bar and
// the status memo of debug mode; and the splitter bar above it.

#include <QFrame>

class QLabel;
class QPlainTextEdit;
class QStackedLayout;
class QVBoxLayout;

namespace mv {

class TWebPanel : public QFrame {
    Q_OBJECT
public:
    explicit TWebPanel(QWidget *parent = nullptr);

    QLabel *Caption;               // "HTML-Verbindung"
    QPlainTextEdit *PA_Web_Status; // gateway addresses in debug mode
    // The browser view; created on first use (it is costly to start).
    QWidget *WebBrowser1();
    bool HasBrowser() const { return m_browser != nullptr; }

    // Shows an answer page of the gateway.
    void ShowPage(const QString &html, const QString &url = QString());
    QString LastPage() const { return m_lastPage; }

    // The panel's height; 5 is the thin strip of normal operation.
    void SetPanelHeight(int h);
    int PanelHeight() const { return m_height; }

private:
    QVBoxLayout *m_layout;
    QWidget *m_browser = nullptr;
    QString m_lastPage;
    int m_height = 150;
};

// A horizontal bar that resizes the panel below it by dragging.
class TSplitterBar : public QFrame {
    Q_OBJECT
public:
    TSplitterBar(TWebPanel *panel, QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    TWebPanel *m_panel;
    int m_startY = 0, m_startH = 0;
};

} // namespace mv
