#include "masterdata/ui/TCollapsePanel.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

TCollapsePanel::TCollapsePanel(const QString &caption, QWidget *parent) : QWidget(parent)
{
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(2);
    m_header = new QToolButton(this);
    m_header->setObjectName(QStringLiteral("Header"));
    m_header->setText(caption);
    m_header->setCheckable(true);
    m_header->setChecked(true);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setArrowType(Qt::DownArrow);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setAutoRaise(true);
    m_content = new QWidget(this);
    lay->addWidget(m_header);
    lay->addWidget(m_content, 1);
    connect(m_header, &QToolButton::toggled, this, [this](bool open) { SetCollapsed(!open); });
}

bool TCollapsePanel::Collapsed() const
{
    return !m_header->isChecked();
}

void TCollapsePanel::SetCollapsed(bool on)
{
    if (m_header->isChecked() == on)
        m_header->setChecked(!on);   // comes back here through toggled
    m_header->setArrowType(on ? Qt::RightArrow : Qt::DownArrow);
    m_content->setVisible(!on);
}

} // namespace mv
