#pragma once
// The WaWi article list by product group, and in its second mode the
// assignment of articles to further groups (drag an article onto a group).

#include "browse/ArticleList.h"
#include "browse/GroupLinks.h"

#include <QWidget>

class QAction;
class QComboBox;
class QDropEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QSplitter;
class QTextEdit;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace mv {

class TDBBGrid;
class TDBGridDesigner;

class TFM_Artikelliste : public QWidget {
    Q_OBJECT
public:
    enum class Mode { List, Assignment };
    // programDir: where "Artikel.tei" and "warengruppen.xml" live (ExeDir
    // when empty).
    explicit TFM_Artikelliste(Mode mode = Mode::List, const QString &programDir = QString(),
                              QWidget *parent = nullptr);
    ~TFM_Artikelliste() override;

    // What a drag from the article grid carries: the article's key.
    static constexpr const char *kArticleMime = "application/x-marktvoll-artikel";

    Mode WindowMode() const { return m_mode; }
    ArticleList &List() { return m_list; }
    GroupLinks &Links() { return m_links; }

    QWidget *Panel1 = nullptr, *Panel4 = nullptr;
    QToolBar *ToolBar1 = nullptr, *ToolBar2 = nullptr;
    QComboBox *CB_Sort = nullptr;
    QLineEdit *Ed_Suche = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QSplitter *Splitter1 = nullptr, *Splitter2 = nullptr, *Splitter3 = nullptr, *Splitter4 = nullptr;
    TDBBGrid *DBBGrid1 = nullptr, *DBBGrid2 = nullptr;
    TDBGridDesigner *DBGridDesigner1 = nullptr;
    QTextEdit *DBRichEdit1 = nullptr;
    QLabel *Image1 = nullptr;
    QGroupBox *GB_Mehrfach = nullptr;
    QMenu *PopupMenu1 = nullptr, *PopupMenu2 = nullptr;
    QAction *Action_Spalten = nullptr, *Action_Refresh = nullptr, *Action_Online = nullptr, *Action_Offline = nullptr,
            *Action_Selection = nullptr, *Action_Selection_off = nullptr, *DataSetDelete1 = nullptr,
            *Sortiert1 = nullptr, *Refresh1 = nullptr, *beimffnenalleWarengruppenzeigen1 = nullptr;

    void FormShow();
    void Action_RefreshExecute();
    void TreeView1Change();
    void CB_SortChange();
    void DBBGrid1TitleClick(TDBBGrid *grid, int column);
    // The group number of a tree node; -1 for the root or no node.
    static int NodeGroup(const QTreeWidgetItem *item);
    // The node carrying a group (null when none).
    QTreeWidgetItem *FindNode(int group) const;
    // Whether a drag with this data may be dropped at pos of the tree's viewport.
    bool TreeView1DragOver(const QMimeData *data, const QPoint &pos) const;
    // Handles a drop; true when a link was stored.
    bool TreeView1DragDrop(const QMimeData *data, const QPoint &pos);
    // The data a drag of the current article carries.
    QMimeData *ArticleDragData() const;
    // Bookmarks of the selected rows (the current record when none).
    QVariantList SelectedBookmarks() const;

signals:
    void closed();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void changeEvent(QEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    void buildActions();
    void buildLayout();
    void readWindowSettings();
    void writeWindowSettings();
    // readSort: the tree's sorting from the settings (at opening).
    void fillTree(bool readSort);
    void fitTreeWidth();
    void currentArticleChanged();
    void longTextEdited();
    void chooseImage();
    void runOnSelection(bool online);
    void runSelect(bool on);
    void reportProblems();
    void updateDeleteAction();
    void syncGridRow();
    void openLookups();
    ArticleSort sortOrder() const;

    Mode m_mode;
    QString m_dir;
    ArticleList m_list;
    GroupLinks m_links;
    LinkGridModel *m_linkModel = nullptr;
    GroupTree m_tree;
    bool m_shown = false;
    bool m_treeBusy = false;
    bool m_loadingText = false;
    bool m_maximizedStart = false;
    bool m_treeWidthStored = false;
    bool m_lookupPending = false;
    QPoint m_dragStart;
};

} // namespace mv
