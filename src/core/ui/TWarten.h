#pragma once
// The wait dialog of long loops: headline, action line, progress bar, an
// animation and a cancel button the loop polls through Cancelled.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace mv {

// A small drawn animation: sheets flying from folder to folder (copying)
// or a magnifier sweeping over a folder (searching).
class TAnimate : public QWidget {
    Q_OBJECT
public:
    enum class Kind { CopyFiles, FindFolder };
    explicit TAnimate(QWidget *parent = nullptr);
    void SetKind(Kind k) { m_kind = k; update(); }
    Kind GetKind() const { return m_kind; }
    void SetActive(bool on);
    bool Active() const;
    QSize sizeHint() const override { return {272, 60}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    Kind m_kind = Kind::CopyFiles;
    QTimer *m_timer;
    int m_frame = 0;
};

class TWarten : public QDialog {
    Q_OBJECT
public:
    explicit TWarten(QWidget *parent = nullptr);
    ~TWarten() override;

    bool Cancelled = false;

    QLabel *LB_HeadLine;
    QLabel *LB_Action;
    QProgressBar *ProgressBar1;
    TAnimate *Animate1;
    QPushButton *BitBtn1;

public slots:
    void BitBtn1Click();
    // Escape answers like the cancel button; the window stays open.
    void reject() override { BitBtn1Click(); }

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void hideEvent(QHideEvent *e) override;
};

// The long-lived instance created at start.
extern TWarten *Warten;

} // namespace mv
