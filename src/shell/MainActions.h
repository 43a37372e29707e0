#pragma once
// Every function of the program as a named action of the main window
// (ActionManager1): the bar, the menu and the assistant run them by name.

#include <QHash>
#include <QObject>
#include <QVector>

#include <functional>

class QAction;

namespace mv {

class TFM_FTP;
class TFM_Haupt;
class TFM_SQLServer;
class TMasterEditor;

struct MainActionDef {
    const char *name;
    const char *category;   // "" for none
    const char *caption;
    const char *hint;
    const char *shortcut;   // "" for none
    const char *icon;       // one of our drawings (src/resources/ui/icons), "" for none
};

// The action table in its order.
const QVector<MainActionDef> &MainActionTable();

class MainActions : public QObject {
    Q_OBJECT
public:
    explicit MainActions(TFM_Haupt *main);

    QAction *Action(const QString &name) const { return m_actions.value(name); }
    QList<QAction *> All() const { return m_ordered; }
    // Runs the action of that name; false when there is none.
    bool Run(const QString &name);

    // The address the browser actions open: base without trailing "/" + path.
    static QString ShopAddress(const QString &path);

    // The SQL server dialog of the whole run (created on first use).
    TFM_SQLServer *SQLServer();
    // Opens the FTP window as a caller of the upload sets it up.
    TFM_FTP *OpenFtp(const QString &caption, const QString &folderSuffix, bool assistantMode);

private:
    void connectHandlers();
    void openExplorer(const QString &url);
    bool stepAllowed(const QString &key);
    // Opens the editor of a table file, or brings the open one to the front.
    void openEditor(const QString &fileName, const std::function<TMasterEditor *()> &make);
    // The assistant's "sonderdaten": both WaWi take-overs; false when one failed.
    bool runSonderdaten();
    void markStepDone(const QString &key);

    TFM_Haupt *m_main;
    TFM_SQLServer *m_sqlServer = nullptr;
    QHash<QString, QAction *> m_actions;
    QList<QAction *> m_ordered;
};

} // namespace mv
