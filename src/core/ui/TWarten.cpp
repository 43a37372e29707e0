#include "core/ui/TWarten.h"

#include "core/ui/Icons.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace mv {

TWarten *Warten = nullptr;

TAnimate::TAnimate(QWidget *parent)
    : QWidget(parent), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("Animate1"));
    m_timer->setInterval(80);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % 24;
        update();
    });
    setMinimumHeight(60);
}

void TAnimate::SetActive(bool on)
{
    if (on) {
        setVisible(true);
        m_timer->start();
    } else {
        m_timer->stop();
        m_frame = 0;
        update();
    }
}

bool TAnimate::Active() const { return m_timer->isActive(); }

void TAnimate::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor folder(0xe8, 0xb8, 0x4a), dark(0x8a, 0x6a, 0x35);
    auto drawFolder = [&](int x) {
        p.setPen(dark);
        p.setBrush(folder);
        p.drawRect(x, 22, 44, 30);
        p.drawRect(x, 16, 18, 6);
    };
    const int w = width();
    if (m_kind == Kind::CopyFiles) {
        drawFolder(10);
        drawFolder(w - 54);
        const double t = m_frame / 23.0;
        const int x0 = 32, x1 = w - 32;
        const int x = int(x0 + (x1 - x0) * t);
        const int y = int(30 - 22 * 4 * t * (1 - t));
        p.setPen(Qt::darkGray);
        p.setBrush(Qt::white);
        p.save();
        p.translate(x, y);
        p.rotate(-20 + 40 * t);
        p.drawRect(-8, -10, 16, 20);
        p.drawLine(-4, -4, 4, -4);
        p.drawLine(-4, 0, 4, 0);
        p.drawLine(-4, 4, 4, 4);
        p.restore();
    } else {
        drawFolder(w / 2 - 22);
        const double a = m_frame / 24.0 * 6.2832;
        const int cx = w / 2 + int(26 * std::cos(a)), cy = 32 + int(10 * std::sin(a));
        p.setPen(QPen(Qt::darkGray, 3));
        p.drawLine(cx + 7, cy + 7, cx + 15, cy + 15);
        p.setBrush(QColor(200, 225, 255, 160));
        p.drawEllipse(QPoint(cx, cy), 10, 10);
    }
}

TWarten::TWarten(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Warten"));
    setWindowTitle(QStringLiteral("bitte warten ...."));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setCursor(Qt::WaitCursor);
    setMinimumWidth(340);

    LB_HeadLine = new QLabel(this);
    LB_HeadLine->setObjectName(QStringLiteral("LB_HeadLine"));
    LB_HeadLine->setAlignment(Qt::AlignCenter);
    QFont f = LB_HeadLine->font();
    f.setBold(true);
    LB_HeadLine->setFont(f);
    Animate1 = new TAnimate(this);
    Animate1->setVisible(false);
    LB_Action = new QLabel(this);
    LB_Action->setObjectName(QStringLiteral("LB_Action"));
    LB_Action->setAlignment(Qt::AlignCenter);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    BitBtn1 = new QPushButton(ThemeIcon(QStringLiteral("dialog-cancel")), QStringLiteral("&Abbrechen"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setCursor(Qt::ArrowCursor);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TWarten::BitBtn1Click);

    auto *v = new QVBoxLayout(this);
    v->addWidget(LB_HeadLine);
    v->addWidget(Animate1);
    v->addWidget(LB_Action);
    v->addWidget(ProgressBar1);
    auto *h = new QHBoxLayout;
    h->addStretch();
    h->addWidget(BitBtn1);
    h->addStretch();
    v->addLayout(h);
}

void TWarten::BitBtn1Click()
{
    Cancelled = true;
}

void TWarten::showEvent(QShowEvent *e)
{
    Cancelled = false;
    ProgressBar1->setValue(0);
    Animate1->SetActive(false);
    Animate1->SetKind(TAnimate::Kind::CopyFiles);
    QDialog::showEvent(e);
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TWarten::closeEvent(QCloseEvent *e)
{
    // Escape only cancels; the window button really closes.
    done(QDialog::Rejected);
    e->accept();
}

void TWarten::hideEvent(QHideEvent *e)
{
    // Closing by any way (close(), the window button) ends the wait.
    Animate1->SetActive(false);
    Cancelled = true;
    BitBtn1->setVisible(true);
    QDialog::hideEvent(e);
}

TWarten::~TWarten()
{
    if (Warten == this)
        Warten = nullptr;
}

} // namespace mv
