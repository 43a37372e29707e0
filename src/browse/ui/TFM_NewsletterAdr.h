#pragma once
// The newsletter window: the recipient list and the exclusion list side by
// side, and the imports that fill them (text/CSV, vCard contacts, sent
// mails from mbox or Maildir, the WaWi's addresses, the shop's tables).

#include "browse/NewsletterLists.h"
#include "masterdata/ui/TDBNavigator.h"

#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;

namespace mv {

class Dataset;
class TDBBGrid;
class TWarten;

class TFM_NewsletterAdr : public QWidget {
    Q_OBJECT
public:
    // dir: where the two list files live (ExeDir when empty).
    explicit TFM_NewsletterAdr(const QString &dir = QString(), QWidget *parent = nullptr);
    ~TFM_NewsletterAdr() override;

    NewsletterLists &Lists() { return m_lists; }

    // The choices a user makes in dialogs; tests replace them.
    std::function<QString(const QString &filter)> ChooseFile;
    std::function<QString()> ChooseFolder;
    std::function<bool()> ConfirmDelete;
    // The shop's query (default ShopOpen).
    NewsletterLists::QueryFn ShopQuery;

    QAction *Action_TextImport, *Action_TextImport_Sperre, *Action_VCard_Adr, *Action_Mbox_Send,
        *Action_Maildir_Send, *Action_Merkant, *Action_ShopImport, *Action_Delete_Echt, *Action_Delete_Not;
    QToolBar *ToolBar1;
    QToolButton *ToolButton1, *ToolButton3, *ToolButton5, *ToolButton7;
    QMenu *PM_Text, *PM_Mail, *PM_Echt, *PM_Not;
    QPushButton *BitBtn1;
    TDBBGrid *DBGrid1, *DBBGrid1;
    TDBNavigator *DBAdvNavigator1, *DBAdvNavigator2;

    void FormShow();
    void BitBtn1Click();
    void Action_TextImportExecute();
    void Action_TextImport_SperreExecute();
    void Action_VCard_AdrExecute();
    void Action_Mbox_SendExecute();
    void Action_Maildir_SendExecute();
    void Action_MerkantExecute();
    void Action_ShopImportExecute();
    void Action_Delete_EchtExecute();
    void Action_Delete_NotExecute();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    using Target = NewsletterLists::Target;
    // Runs one import inside the wait dialog.
    void runImport(const QString &headline, bool findAnimation,
                   const std::function<NewsletterLists::Result(const NewsletterLists::ProgressFn &)> &work);
    void importText(Target target);
    void emptyList(Target target);
    TWarten *waitDialog();

    NewsletterLists m_lists;
    QString m_dir;
    bool m_shown = false;
    bool m_closed = false;
    TWarten *m_ownWait = nullptr;
};

} // namespace mv
