#include "browse/ui/TFM_NewsletterAdr.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "core/ui/TFM_Frage.h"
#include "core/ui/TWarten.h"
#include "data/GridLayout.h"
#include "data/ui/TDBBGrid.h"
#include "wawi/TVLBTable.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

// --- window

// The shared record navigator; deleting a list entry needs no question.
static TDBNavigator *newNavigator(const QString &name)
{
    auto *n = new TDBNavigator;
    n->setObjectName(name);
    n->ConfirmDelete = false;
    return n;
}

static QAction *makeAction(QObject *owner, const char *name, const QString &caption, const QString &hint,
                           const char *icon)
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QString::fromUtf8(name));
    a->setToolTip(hint);
    a->setStatusTip(hint);
    a->setProperty("category", QStringLiteral("Newsletter"));
    if (*icon)
        a->setIcon(AppIcon(QString::fromUtf8(icon)));
    return a;
}

static QWidget *listPanel(const QString &name, const QString &caption, TDBNavigator *nav, TDBBGrid *grid,
                          QWidget *parent)
{
    auto *p = new QWidget(parent);
    p->setObjectName(name);
    auto *v = new QVBoxLayout(p);
    v->setContentsMargins(2, 2, 2, 2);
    auto *l = new QLabel(caption, p);
    l->setObjectName(name + QStringLiteral("Caption"));
    l->setTextFormat(Qt::RichText);
    v->addWidget(l);
    v->addWidget(nav);
    v->addWidget(grid, 1);
    return p;
}

TFM_NewsletterAdr::TFM_NewsletterAdr(const QString &dir, QWidget *parent) : QWidget(parent), m_dir(dir)
{
    setObjectName(QStringLiteral("FM_NewsletterAdr"));
    setWindowTitle(QStringLiteral("Newsletteradressen bearbeiten"));
    setWindowIcon(AppIcon(QStringLiteral("mail")));

    Action_TextImport = makeAction(this, "Action_TextImport", QStringLiteral("Textimport"),
                                   QStringLiteral("Import aus einer Textdatei"), "document");
    Action_TextImport_Sperre = makeAction(
        this, "Action_TextImport_Sperre", QStringLiteral("Textimport in den Ausschluss"),
        QStringLiteral("Textimport in den Newsletterausschluss\r\n\r\nDiese Adressen bekommen keinen Newsletter und "
                       "sind gesperrt!"),
        "stop");
    Action_VCard_Adr = makeAction(this, "Action_VCard_Adr", QStringLiteral("vCard-Adressen"),
                                  QStringLiteral("E-Mailadressen aus vCard-Dateien (.vcf) übernehmen"), "people");
    Action_Mbox_Send = makeAction(this, "Action_Mbox_Send", QStringLiteral("Gesendete Mails (mbox)"),
                                  QStringLiteral("Empfänger gesendeter Mails aus einer mbox-Datei übernehmen"), "mail");
    Action_Maildir_Send = makeAction(this, "Action_Maildir_Send", QStringLiteral("Gesendete Mails (Maildir)"),
                                     QStringLiteral("Empfänger gesendeter Mails aus einem Maildir-Ordner übernehmen"),
                                     "folder");
    Action_Merkant = makeAction(this, "Action_Merkant", QStringLiteral("Import aus aus Warenwirtschaft"),
                                QStringLiteral("Adressen aus der Warenwirtschaft"), "warehouse");
    Action_ShopImport = makeAction(
        this, "Action_ShopImport", QStringLiteral("Shopimport"),
        QStringLiteral("Liest die Daten als den Shop ein\r\n\r\nÄnderungen, die von Kunden gemacht wurden"), "shop");
    Action_Delete_Echt = makeAction(this, "Action_Delete_Echt", QStringLiteral("Löscht alle E-Mailadressen"),
                                    QStringLiteral("Löscht alle E-Mailadressen"), "remove");
    Action_Delete_Not = makeAction(this, "Action_Delete_Not", QStringLiteral("Löscht alle E-Mailadressen"),
                                   QStringLiteral("Löscht alle E-Mailadressen"), "remove");

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    auto *panel1 = new QWidget(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    auto *ph = new QHBoxLayout(panel1);
    ph->setContentsMargins(2, 2, 6, 2);
    ToolBar1 = new QToolBar(panel1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setIconSize(QSize(32, 32));
    auto toolButton = [this](const char *name, QAction *a, QMenu *menu) {
        auto *b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromUtf8(name));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setDefaultAction(a);
        if (menu) {
            b->setMenu(menu);
            b->setPopupMode(QToolButton::MenuButtonPopup);
        }
        ToolBar1->addWidget(b);
        return b;
    };
    PM_Text = new QMenu(this);
    PM_Text->setObjectName(QStringLiteral("PM_Text"));
    // the menu items are the actions themselves (Import1, extimportindenAusschluss1)
    PM_Text->addAction(Action_TextImport);
    PM_Text->addSeparator();
    PM_Text->addAction(Action_TextImport_Sperre);
    PM_Mail = new QMenu(this);
    PM_Mail->setObjectName(QStringLiteral("PM_Mail"));
    PM_Mail->addAction(Action_VCard_Adr);
    PM_Mail->addSeparator();
    PM_Mail->addAction(Action_Mbox_Send);
    PM_Mail->addAction(Action_Maildir_Send);
    ToolButton1 = toolButton("ToolButton1", Action_TextImport, PM_Text);
    ToolButton3 = toolButton("ToolButton3", Action_VCard_Adr, PM_Mail);
    ToolButton5 = toolButton("ToolButton5", Action_Merkant, nullptr);
    ToolButton7 = toolButton("ToolButton7", Action_ShopImport, nullptr);
    ph->addWidget(ToolBar1, 1);
    BitBtn1 = new QPushButton(AppIcon(QStringLiteral("ok")), QStringLiteral("OK"), panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    ph->addWidget(BitBtn1);
    v->addWidget(panel1);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("Splitter1"));
    DBAdvNavigator1 = newNavigator(QStringLiteral("DBAdvNavigator1"));
    DBGrid1 = new TDBBGrid;
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBAdvNavigator2 = newNavigator(QStringLiteral("DBAdvNavigator2"));
    DBBGrid1 = new TDBBGrid;
    DBBGrid1->setObjectName(QStringLiteral("DBBGrid1"));
    split->addWidget(listPanel(QStringLiteral("AdvPanel1"), QStringLiteral("Newsletter <B>empfänger</B>"),
                               DBAdvNavigator1, DBGrid1, split));
    split->addWidget(listPanel(QStringLiteral("AdvPanel2"), QStringLiteral("Newsletter <B>ausschliessen</B>"),
                               DBAdvNavigator2, DBBGrid1, split));
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    v->addWidget(split, 1);

    PM_Echt = new QMenu(this);
    PM_Echt->setObjectName(QStringLiteral("PM_Echt"));
    PM_Echt->addAction(Action_Delete_Echt);
    PM_Not = new QMenu(this);
    PM_Not->setObjectName(QStringLiteral("PM_Not"));
    PM_Not->addAction(Action_Delete_Not);
    for (auto [grid, menu] : {std::pair{DBGrid1, PM_Echt}, std::pair{DBBGrid1, PM_Not}}) {
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        QMenu *m = menu;
        TDBBGrid *g = grid;
        connect(grid, &QWidget::customContextMenuRequested, this,
                [m, g](const QPoint &p) { m->popup(g->viewport()->mapToGlobal(p)); });
    }
    addActions({Action_TextImport, Action_TextImport_Sperre, Action_VCard_Adr, Action_Mbox_Send,
                Action_Maildir_Send, Action_Merkant, Action_ShopImport, Action_Delete_Echt, Action_Delete_Not});

    connect(BitBtn1, &QPushButton::clicked, this, &TFM_NewsletterAdr::BitBtn1Click);
    connect(Action_TextImport, &QAction::triggered, this, &TFM_NewsletterAdr::Action_TextImportExecute);
    connect(Action_TextImport_Sperre, &QAction::triggered, this, &TFM_NewsletterAdr::Action_TextImport_SperreExecute);
    connect(Action_VCard_Adr, &QAction::triggered, this, &TFM_NewsletterAdr::Action_VCard_AdrExecute);
    connect(Action_Mbox_Send, &QAction::triggered, this, &TFM_NewsletterAdr::Action_Mbox_SendExecute);
    connect(Action_Maildir_Send, &QAction::triggered, this, &TFM_NewsletterAdr::Action_Maildir_SendExecute);
    connect(Action_Merkant, &QAction::triggered, this, &TFM_NewsletterAdr::Action_MerkantExecute);
    connect(Action_ShopImport, &QAction::triggered, this, &TFM_NewsletterAdr::Action_ShopImportExecute);
    connect(Action_Delete_Echt, &QAction::triggered, this, &TFM_NewsletterAdr::Action_Delete_EchtExecute);
    connect(Action_Delete_Not, &QAction::triggered, this, &TFM_NewsletterAdr::Action_Delete_NotExecute);

    ChooseFile = [this](const QString &filter) {
        return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
    };
    ChooseFolder = [this] { return QFileDialog::getExistingDirectory(this, QStringLiteral("Maildir-Ordner")); };
    ConfirmDelete = [] {
        return AskQuestion(0, {QStringLiteral("ACHTUNG:"), QStringLiteral("Möchten Sie wirklich alle E-Mailadressen löschen?")},
                           {QStringLiteral("Löschen"), QStringLiteral("&Abbruch")})
            == 1;
    };
    resize(720, 480);
}

TFM_NewsletterAdr::~TFM_NewsletterAdr()
{
    if (!m_closed)
        m_lists.Close();
}

void TFM_NewsletterAdr::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFM_NewsletterAdr::FormShow()
{
    for (const QString &m : m_lists.Open(m_dir))
        Ui().ShowMessage(m, UiHooks::Icon::Error);
    DBGrid1->SetDataSet(&m_lists.Recipients());
    DBBGrid1->SetDataSet(&m_lists.Exclusions());
    auto col = [](const char *field, const char *title, int width) {
        GridColumnLayout c;
        c.fieldName = QString::fromUtf8(field);
        c.titleCaption = QString::fromUtf8(title);
        c.width = width;
        return c;
    };
    DBGrid1->SetColumns({col("EMAIL", "EMAIL", 172), col("kdnummer", "Kundennr", 50), col("html", "html", 51)});
    DBBGrid1->SetColumns({col("EMAIL", "EMAIL", 235)});
    // "Kundennr" does not fit 50 pixels at today's fonts.
    DBGrid1->FitColumnsToTitles();
    DBBGrid1->FitColumnsToTitles();
    DBAdvNavigator1->SetDataSource(&m_lists.Recipients());
    DBAdvNavigator2->SetDataSource(&m_lists.Exclusions());
}

void TFM_NewsletterAdr::closeEvent(QCloseEvent *e)
{
    if (m_lists.Busy()) {
        // the running import still writes into the lists; it stops first
        Settings().AbortWait = true;
        if (TWarten *w = waitDialog())
            w->Cancelled = true;
        e->ignore();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        m_lists.Close();   // write failures are ignored at close
    }
    QWidget::closeEvent(e);
}

void TFM_NewsletterAdr::BitBtn1Click()
{
    close();
}

TWarten *TFM_NewsletterAdr::waitDialog()
{
    if (Warten)
        return Warten;
    if (!m_ownWait)
        m_ownWait = new TWarten(this);
    return m_ownWait;
}

void TFM_NewsletterAdr::runImport(const QString &headline, bool findAnimation,
                                  const std::function<NewsletterLists::Result(const NewsletterLists::ProgressFn &)> &work)
{
    if (m_lists.Busy())
        return;   // one import at a time in this window
    TWarten *w = waitDialog();
    w->LB_HeadLine->setText(headline);
    w->LB_Action->setText(QString());
    w->show();
    w->Cancelled = false;
    w->Animate1->SetKind(findAnimation ? TAnimate::Kind::FindFolder : TAnimate::Kind::CopyFiles);
    w->Animate1->SetActive(true);
    Ui().ProcessEvents();
    const auto progress = [w](int i, int n) {
        w->LB_Action->setText(QString::number(i) + QStringLiteral(" von ") + QString::number(n));
        w->ProgressBar1->setValue(n > 0 ? int(qint64(i) * 100 / n) : 100);
        Ui().ProcessEvents();
        return !w->Cancelled;
    };
    NewsletterLists::Result r;
    for (QAction *a : actions())
        a->setEnabled(false);
    try {
        r = work(progress);
    } catch (const std::exception &e) {
        r.error = QString::fromUtf8(e.what());
    }
    for (QAction *a : actions())
        a->setEnabled(true);
    w->Animate1->SetActive(false);
    w->close();
    // keep what was taken in, also when the program ends unexpectedly later
    const QString saveError = m_lists.Save();
    if (!r.error.isEmpty())
        Ui().ShowMessage(r.error, UiHooks::Icon::Error);
    else if (!saveError.isEmpty())
        Ui().ShowMessage(saveError, UiHooks::Icon::Error);
}

void TFM_NewsletterAdr::importText(Target target)
{
    const QString path = ChooseFile(QStringLiteral("*.TXT (*.TXT *.txt);;*.CSV (*.CSV *.csv)"));
    if (path.isEmpty())
        return;
    runImport(QStringLiteral("E-Mailadressen einlesen ..."), false, [&](const auto &progress) {
        return m_lists.ImportTextFile(target, path, progress, [this](const QString &action) {
            waitDialog()->LB_Action->setText(action);
            Ui().ProcessEvents();
        });
    });
}

void TFM_NewsletterAdr::Action_TextImportExecute() { importText(Target::Recipients); }
void TFM_NewsletterAdr::Action_TextImport_SperreExecute() { importText(Target::Exclusions); }

void TFM_NewsletterAdr::Action_VCard_AdrExecute()
{
    const QString path = ChooseFile(QStringLiteral("vCard (*.vcf *.VCF)"));
    if (path.isEmpty())
        return;
    runImport(QStringLiteral("E-Mailadressen einlesen ..."), true,
              [&](const auto &progress) { return m_lists.ImportVCardFile(path, progress); });
}

void TFM_NewsletterAdr::Action_Mbox_SendExecute()
{
    const QString path = ChooseFile(QStringLiteral("mbox (*.mbox *.mbx *);;Alle Dateien (*)"));
    if (path.isEmpty())
        return;
    runImport(QStringLiteral("E-Mailadressen einlesen ..."), true,
              [&](const auto &progress) { return m_lists.ImportMailbox(path, progress); });
}

void TFM_NewsletterAdr::Action_Maildir_SendExecute()
{
    const QString path = ChooseFolder();
    if (path.isEmpty())
        return;
    runImport(QStringLiteral("E-Mailadressen einlesen ..."), true,
              [&](const auto &progress) { return m_lists.ImportMailbox(path, progress); });
}

void TFM_NewsletterAdr::Action_MerkantExecute()
{
    runImport(QStringLiteral("Adressen aus der Warenwirtschaft"), true, [&](const auto &progress) {
        TVLBTable Tbl_Adressen;
        Tbl_Adressen.setObjectName(QStringLiteral("Tbl_Adressen"));
        Tbl_Adressen.SetDatabaseName(QStringLiteral("Merkant"));
        Tbl_Adressen.SetTableName(QStringLiteral("Adressen.DB"));
        NewsletterLists::Result r;
        try {
            Tbl_Adressen.Open();
            r = m_lists.ImportWaWiAddresses(Tbl_Adressen, Settings().Aktiv_Mandant, progress);
        } catch (const std::exception &e) {
            r.error = QString::fromUtf8(e.what());
        }
        Tbl_Adressen.Close();
        return r;
    });
}

void TFM_NewsletterAdr::Action_ShopImportExecute()
{
    runImport(QStringLiteral("Shopimport"), true,
              [&](const auto &progress) { return m_lists.ImportShop(ShopQuery, progress); });
}

void TFM_NewsletterAdr::emptyList(Target target)
{
    if (m_lists.Busy() || !ConfirmDelete())
        return;
    m_lists.EmptyList(target);
}

void TFM_NewsletterAdr::Action_Delete_EchtExecute() { emptyList(Target::Recipients); }
void TFM_NewsletterAdr::Action_Delete_NotExecute() { emptyList(Target::Exclusions); }

} // namespace mv
