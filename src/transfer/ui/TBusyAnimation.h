#pragma once
// A small looping animation for long work: pages rising into the shop,
// drawn with the palette (no bundled video).

#include <QTimer>
#include <QWidget>

namespace mv {

class TBusyAnimation : public QWidget {
    Q_OBJECT
public:
    explicit TBusyAnimation(QWidget *parent = nullptr);
    void Play();
    void Stop();
    bool Active() const { return m_timer.isActive(); }
    int Frame() const { return m_frame; }
    QSize sizeHint() const override { return QSize(120, 48); }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QTimer m_timer;
    int m_frame = 0;
};

} // namespace mv
