#pragma once
// The WaWi address list: one tab per address kind, the order chosen from
// the table's indexes, a prefix search, marks and the online switch.

#include "browse/AddressList.h"

#include <QWidget>

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QTabBar;
class QToolBar;

namespace mv {

class TDBBGrid;
class TDBGridDesigner;

class TFM_Adressen : public QWidget {
    Q_OBJECT
public:
    // layoutDir: where "Adressen.tei" lives (ExeDir when empty).
    explicit TFM_Adressen(const QString &layoutDir = QString(), QWidget *parent = nullptr);
    ~TFM_Adressen() override;

    AddressList &List() { return m_list; }

    QComboBox *CB_Sort;
    QToolBar *ToolBar1;
    QLineEdit *Ed_Suche;
    QTabBar *TabControl1;
    TDBBGrid *DBGrid1;
    TDBGridDesigner *DBGridDesigner1;
    QMenu *PopupMenu1;
    QAction *Action_Spalten, *Action_Selection, *Action_Selection_off, *Action_Online, *Action_Offline;

    void FormShow();
    void CB_SortChange();
    void TabControl1Change();
    void DBGrid1TitleClick(int column);
    // Bookmarks of the selected rows (the current record when none).
    QVariantList SelectedBookmarks() const;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    void search();
    void refreshGrid();
    AddressList m_list;
    QString m_layoutDir;
    bool m_shown = false;
};

} // namespace mv
