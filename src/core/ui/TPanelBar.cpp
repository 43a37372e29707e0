#include "core/ui/TPanelBar.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

TPanelBar::TPanelBar(QWidget *parent)
    : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(1);
    m_layout->addStretch(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xf3, 0xf6, 0xfa));
    setPalette(pal);
}

int TPanelBar::AddPanel(const QString &caption)
{
    const int index = int(m_panels.size());
    Panel p;
    p.end = QColor(166, 202, 240);
    p.header = new QToolButton(this);
    p.header->setText(caption);
    p.header->setObjectName(QStringLiteral("Panel_%1").arg(index));
    p.header->setToolButtonStyle(Qt::ToolButtonTextOnly);
    p.header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    p.header->setMinimumHeight(24);
    p.header->setAutoRaise(true);
    connect(p.header, &QToolButton::clicked, this, [this, index] { SetOpenPanel(index); });
    p.body = new QWidget(this);
    p.layout = new QVBoxLayout(p.body);
    p.layout->setContentsMargins(4, 4, 4, 4);
    p.layout->setSpacing(2);
    p.body->setVisible(false);
    m_layout->insertWidget(m_layout->count() - 1, p.header);
    m_layout->insertWidget(m_layout->count() - 1, p.body);
    m_panels.push_back(p);
    styleHeader(index);
    if (m_open < 0)
        SetOpenPanel(0);
    return index;
}

QToolButton *TPanelBar::AddItem(int panel, const QString &caption, const QString &hint,
                                    const QString &name, const QIcon &icon)
{
    Panel &p = m_panels[panel];
    const int index = int(p.items.size());
    auto *b = new QToolButton(p.body);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setIconSize(m_iconSize);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    fitHeight(b);
    connect(b, &QToolButton::clicked, this, [this, panel, index] { emit ItemClicked(panel, index); });
    p.layout->addWidget(b);
    p.items.push_back({b, name, -1});
    return b;
}

void TPanelBar::SetItemSize(QSize iconSize, int minHeight)
{
    m_iconSize = iconSize;
    m_itemHeight = minHeight;
    for (Panel &p : m_panels)
        for (Item_ &i : p.items) {
            i.button->setIconSize(iconSize);
            fitHeight(i.button);
        }
}

void TPanelBar::fitHeight(QToolButton *b)
{
    // An explicit minimum replaces the button's own in the layout: never let
    // it be less than what the picture and every caption line need.
    b->setMinimumHeight(qMax(m_itemHeight, b->sizeHint().height()));
}

QSize TPanelBar::minimumSizeHint() const
{
    QSize s = QWidget::minimumSizeHint();
    for (const Panel &p : m_panels) {
        // A closed panel's body is hidden and left out of the layout.
        s.setWidth(qMax(s.width(), p.body->minimumSizeHint().width()));
        s.setWidth(qMax(s.width(), p.header->minimumSizeHint().width()));
    }
    return s;
}

QSize TPanelBar::sizeHint() const
{
    QSize s = QWidget::sizeHint();
    s.setWidth(qMax(s.width(), minimumSizeHint().width()));
    return s;
}

int TPanelBar::ItemCount(int panel) const
{
    return panel >= 0 && panel < m_panels.size() ? int(m_panels[panel].items.size()) : 0;
}

QToolButton *TPanelBar::Item(int panel, int item) const
{
    if (item < 0 || item >= ItemCount(panel))
        return nullptr;
    return m_panels[panel].items[item].button;
}

QString TPanelBar::ItemName(int panel, int item) const
{
    if (item < 0 || item >= ItemCount(panel))
        return QString();
    return m_panels[panel].items[item].name;
}

QToolButton *TPanelBar::PanelHeader(int panel) const
{
    return panel >= 0 && panel < m_panels.size() ? m_panels[panel].header : nullptr;
}

void TPanelBar::SetOpenPanel(int panel)
{
    if (panel < 0 || panel >= m_panels.size() || panel == m_open)
        return;
    m_open = panel;
    // Close before opening: with two bodies shown at once for a moment, a
    // window sized by its layout grows to hold both and stays that tall.
    for (int i = 0; i < m_panels.size(); ++i)
        if (i != panel)
            m_panels[i].body->setVisible(false);
    m_panels[panel].body->setVisible(true);
    for (int i = 0; i < m_panels.size(); ++i)
        styleHeader(i);
    emit OpenPanelChanged(panel);
}

int TPanelBar::ImageIndex(int panel, int item) const
{
    if (item < 0 || item >= ItemCount(panel))
        return -1;
    return m_panels[panel].items[item].image;
}

void TPanelBar::SetImageIndex(int panel, int item, int index)
{
    if (item < 0 || item >= ItemCount(panel))
        return;
    Item_ &it = m_panels[panel].items[item];
    it.image = index;
    if (index >= 0 && index < m_images.size()) {
        it.button->setIcon(m_images[index]);
        fitHeight(it.button);
    }
}

QColor TPanelBar::GradientEnd(int panel) const
{
    return panel >= 0 && panel < m_panels.size() ? m_panels[panel].end : QColor();
}

void TPanelBar::SetGradientEnd(int panel, const QColor &c)
{
    if (panel < 0 || panel >= m_panels.size())
        return;
    m_panels[panel].end = c;
    styleHeader(panel);
}

void TPanelBar::styleHeader(int panel)
{
    Panel &p = m_panels[panel];
    const bool open = panel == m_open;
    p.header->setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid #7f9db9; padding: 3px; font-weight: %1; color: #10244a;"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #ffffff, stop:1 %2); }")
                                .arg(open ? QStringLiteral("bold") : QStringLiteral("normal"),
                                     p.end.name()));
}

} // namespace mv
