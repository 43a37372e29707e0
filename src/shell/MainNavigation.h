#pragma once
// The items of the main navigation bar InspectorBar1, each bound to an
// action by name.

#include <QStringList>
#include <QVector>

namespace mv {

class TPanelBar;
class MainActions;

struct NavItemDef {
    int panel;
    const char *caption;
    const char *hint;   // "" for none
    const char *action;
};

const QStringList &NavPanelCaptions();
const QVector<NavItemDef> &NavItemTable();

// Fills the bar with the five panels and their items (icons from the actions).
void BuildNavigation(TPanelBar *bar, MainActions *actions);

} // namespace mv
