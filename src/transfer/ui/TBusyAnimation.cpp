#include "transfer/ui/TBusyAnimation.h"

#include <QPainter>
#include <QPainterPath>

namespace mv {

namespace {
constexpr int kFrames = 24;
}

TBusyAnimation::TBusyAnimation(QWidget *parent) : QWidget(parent)
{
    m_timer.setInterval(60);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % kFrames;
        update();
    });
    setMinimumSize(sizeHint());
}

void TBusyAnimation::Play()
{
    m_timer.start();
}

void TBusyAnimation::Stop()
{
    m_timer.stop();
    m_frame = 0;
    update();
}

void TBusyAnimation::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect().adjusted(2, 2, -2, -2);
    const QColor ink = palette().color(QPalette::Highlight);
    const QColor paper = palette().color(QPalette::Base);

    // Left: the WaWi as a stack of records; right: the shop as a cloud.
    const QRectF store(r.left(), r.bottom() - r.height() * 0.6, r.width() * 0.22, r.height() * 0.6);
    p.setPen(QPen(ink.darker(130), 1.5));
    p.setBrush(paper);
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(store.adjusted(0, i * store.height() / 3, 0, -(2 - i) * store.height() / 3), 2, 2);
    QPainterPath cloud;
    const QPointF c(r.right() - r.width() * 0.14, r.top() + r.height() * 0.35);
    const double u = std::min(r.width(), r.height()) * 0.18;
    cloud.addEllipse(c + QPointF(-u, 0), u, u * 0.8);
    cloud.addEllipse(c + QPointF(0, -u * 0.5), u * 1.1, u);
    cloud.addEllipse(c + QPointF(u, 0), u, u * 0.8);
    p.setBrush(ink.lighter(170));
    p.drawPath(cloud.simplified());

    // Three pages on their way, each a third of the loop apart.
    const QPointF from(store.right() + 4, store.center().y());
    const QPointF to(c.x() - u * 2, c.y());
    for (int k = 0; k < 3; ++k) {
        const double t = std::fmod(double(m_frame) / kFrames + k / 3.0, 1.0);
        const QPointF at = from + (to - from) * t - QPointF(0, std::sin(t * 3.14159) * r.height() * 0.25);
        QColor page = ink;
        page.setAlphaF(0.35 + 0.65 * (1 - std::abs(2 * t - 1)));
        p.setBrush(page);
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(at.x() - 5, at.y() - 6, 10, 12));
    }
}

} // namespace mv
