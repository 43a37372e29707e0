#pragma once
// The browser window: shows the shop, its administration menu or the
// server's PHP information inside the program.

#include <QMainWindow>

class QComboBox;
class QLabel;
class QToolButton;
class QWebEngineView;

namespace mv {

class TFM_Explorer : public QMainWindow {
    Q_OBJECT
public:
    // Starts on startUrl, or on our web site when that is blank.
    explicit TFM_Explorer(const QString &startUrl, QWidget *parent = nullptr);

    static QString MakerSite();

    // A page needs room: the frame opens the window at this size (the
    // browser view alone would ask for almost none).
    QSize sizeHint() const override;

    QToolButton *BackBtn, *ForwardBtn, *RefreshBtn, *ToolButton6;
    QComboBox *URLs;
    QWebEngineView *WebBrowser1;
    // The status bar's panel: the title of the page shown.
    QLabel *StatusPanel;

    void Navigate();
    void URLsClick();
    void ToolButton6Click();
    void BackActionExecute();
    void ForwardActionExecute();
    void StopActionExecute();

protected:
    bool eventFilter(QObject *o, QEvent *e) override;
};

} // namespace mv
