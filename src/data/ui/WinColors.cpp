#include "data/ui/WinColors.h"

#include "data/GridLayout.h"

#include <QApplication>
#include <QPalette>

namespace mv {

QColor ToQColor(qint32 c)
{
    if (!WinColor::IsSystem(c))
        return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    const QPalette p = QApplication::palette();
    switch (WinColor::SystemIndex(c)) {
    case 0: return p.color(QPalette::Mid);                  // scroll bar
    case 1: return p.color(QPalette::Window);               // desktop
    case 2: case 3: return p.color(QPalette::Highlight);    // captions
    case 4: return p.color(QPalette::Window);               // menu
    case 5: return p.color(QPalette::Base);                 // clWindow
    case 6: return p.color(QPalette::Shadow);               // frame
    case 7: return p.color(QPalette::WindowText);           // menu text
    case 8: return p.color(QPalette::Text);                 // clWindowText
    case 9: return p.color(QPalette::HighlightedText);      // caption text
    case 12: return p.color(QPalette::Window);              // app workspace
    case 13: return p.color(QPalette::Highlight);           // clHighlight
    case 14: return p.color(QPalette::HighlightedText);     // clHighlightText
    case 15: return p.color(QPalette::Button);              // clBtnFace
    case 16: return p.color(QPalette::Dark);                // clBtnShadow
    case 17: return p.color(QPalette::Disabled, QPalette::Text); // clGrayText
    case 18: return p.color(QPalette::ButtonText);          // clBtnText
    case 20: return p.color(QPalette::Light);               // clBtnHighlight
    case 21: return p.color(QPalette::Shadow);              // cl3DDkShadow
    case 22: return p.color(QPalette::Midlight);            // cl3DLight
    case 23: return p.color(QPalette::ToolTipText);         // clInfoText
    case 24: return p.color(QPalette::ToolTipBase);         // clInfoBk
    default: return p.color(QPalette::Window);
    }
}

qint32 FromQColor(const QColor &c)
{
    return WinColor::FromRgb(c.red(), c.green(), c.blue());
}

} // namespace mv
