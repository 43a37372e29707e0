#include "browse/ui/TFM_Adressen.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "data/DatasetUtil.h"
#include "data/ui/TDBBGrid.h"
#include "data/ui/TDBGridDesigner.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace mv {

static QAction *makeAction(QObject *owner, const char *name, const QString &caption, const QString &hint,
                           const char *icon)
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QString::fromUtf8(name));
    // Without a hint the action shows its caption without the mnemonic.
    if (!hint.isEmpty())
        a->setToolTip(hint);
    a->setProperty("category", QStringLiteral("Adressen"));
    if (*icon)
        a->setIcon(AppIcon(QString::fromUtf8(icon)));
    return a;
}

TFM_Adressen::TFM_Adressen(const QString &layoutDir, QWidget *parent) : QWidget(parent), m_layoutDir(layoutDir)
{
    setObjectName(QStringLiteral("FM_Adressen"));
    setWindowTitle(QStringLiteral("Adressen"));
    setWindowIcon(AppIcon(QStringLiteral("people")));

    Action_Spalten = makeAction(this, "Action_Spalten", QStringLiteral("&Spalteneditor"), QString(), "table");
    Action_Selection = makeAction(this, "Action_Selection", QStringLiteral("Selektion dieses Datensatzes"), QString(), "flag");
    Action_Selection_off = makeAction(this, "Action_Selection_off",
                                      QStringLiteral("Selektion dieses Datensatzes aufheben"), QString(), "");
    Action_Online = makeAction(this, "Action_Online", QStringLiteral("Online schalten"),
                               QStringLiteral("Adresse in den Onlineshop aufnehmen"), "globe");
    Action_Online->setShortcut(QKeySequence(Qt::Key_Insert));
    Action_Offline = makeAction(this, "Action_Offline", QStringLiteral("Offline schalten"),
                                QStringLiteral("Adresse aus dem Onlineshop entfernen"), "stop");
    Action_Offline->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    for (QAction *a : {Action_Online, Action_Offline})
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addActions({Action_Spalten, Action_Selection, Action_Selection_off, Action_Online, Action_Offline});

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    auto *panel1 = new QWidget(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    auto *h = new QHBoxLayout(panel1);
    h->setContentsMargins(4, 2, 4, 2);
    h->addWidget(new QLabel(QStringLiteral("Sortierung nach :"), panel1));
    CB_Sort = new QComboBox(panel1);
    CB_Sort->setObjectName(QStringLiteral("CB_Sort"));
    CB_Sort->setToolTip(QStringLiteral("Sortierung ; und Schnellsuche nach"));
    CB_Sort->setMinimumContentsLength(14);
    h->addWidget(CB_Sort);
    ToolBar1 = new QToolBar(panel1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolBar1->addAction(Action_Spalten);
    ToolBar1->addAction(Action_Online);
    ToolBar1->addAction(Action_Offline);
    h->addWidget(ToolBar1, 1);
    h->addWidget(new QLabel(QStringLiteral("Suche:"), panel1));
    Ed_Suche = new QLineEdit(panel1);
    Ed_Suche->setObjectName(QStringLiteral("Ed_Suche"));
    Ed_Suche->installEventFilter(this);
    h->addWidget(Ed_Suche);
    v->addWidget(panel1);

    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->addTab(QStringLiteral("Kunden"));
    TabControl1->addTab(QStringLiteral("Lieferanten"));
    TabControl1->addTab(QStringLiteral("Interessenten"));
    v->addWidget(TabControl1);
    DBGrid1 = new TDBBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setToolTip(QStringLiteral("Liste, kann mit der rechten Maustaste verändert werden"));
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->addWidget(DBGrid1, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(Action_Spalten);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Action_Selection);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Action_Selection_off);
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(p)); });

    DBGridDesigner1 = new TDBGridDesigner(this);
    DBGridDesigner1->setObjectName(QStringLiteral("DBGridDesigner1"));
    DBGridDesigner1->Autoload = true;
    DBGridDesigner1->Autosave = true;

    DBGrid1->OnDrawColumnCell = [this](QStyleOptionViewItem &option, int row, int) {
        Dataset *ds = DBGrid1->DataSet();
        if (!ds || !ds->Active())
            return;
        const Field *sel = ds->FindField(QStringLiteral("Selekt"));
        const Field *onl = ds->FindField(QStringLiteral("Online"));
        if (sel && ds->RowValue(row, sel->Index()).toInt() != 0)
            option.palette.setColor(QPalette::Text, Qt::red);
        if (onl && ds->RowValue(row, onl->Index()).toBool())
            option.palette.setColor(QPalette::Text, QColor(0xC0, 0xC0, 0xC0));
    };

    connect(CB_Sort, &QComboBox::activated, this, &TFM_Adressen::CB_SortChange);
    connect(TabControl1, &QTabBar::currentChanged, this, &TFM_Adressen::TabControl1Change);
    connect(Ed_Suche, &QLineEdit::textEdited, this, &TFM_Adressen::search);
    connect(DBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this, &TFM_Adressen::DBGrid1TitleClick);
    connect(Action_Spalten, &QAction::triggered, this, [this] { DBGridDesigner1->TabellenEditor(); });
    connect(Action_Online, &QAction::triggered, this, [this] {
        const QItemSelection marked = DBGrid1->selectionModel()->selection();
        m_list.SetOnline(SelectedBookmarks(), true);
        DBGrid1->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
        refreshGrid();
    });
    connect(Action_Offline, &QAction::triggered, this, [this] {
        const QItemSelection marked = DBGrid1->selectionModel()->selection();
        m_list.SetOnline(SelectedBookmarks(), false);
        DBGrid1->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
        refreshGrid();
    });
    connect(Action_Selection, &QAction::triggered, this, [this] {
        const QItemSelection marked = DBGrid1->selectionModel()->selection();
        m_list.Select(SelectedBookmarks(), true);
        DBGrid1->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
        refreshGrid();
    });
    connect(Action_Selection_off, &QAction::triggered, this, [this] {
        const QItemSelection marked = DBGrid1->selectionModel()->selection();
        m_list.Select(SelectedBookmarks(), false);
        DBGrid1->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
        refreshGrid();
    });
    resize(900, 520);
}

TFM_Adressen::~TFM_Adressen() = default;

void TFM_Adressen::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFM_Adressen::FormShow()
{
    const QString dir = m_layoutDir.isEmpty() ? Settings().ExeDir : m_layoutDir;
    try {
        m_list.Open();
    } catch (const std::exception &e) {
        Ui().ShowMessage(QString::fromUtf8(e.what()), UiHooks::Icon::Error);
        return;
    }
    DBGrid1->SetDataSet(&m_list.Table());
    QVector<GridColumnLayout> cols;
    const QVector<QPair<const char *, int>> defaults = {{"Nummer", 68},  {"Anrede", 57},  {"Suchbegriff", 140},
                                                         {"Strasse", 106}, {"Plz", 55},     {"Ort", 111},
                                                         {"Telefon", 88},  {"Telefax", 85}};
    for (const auto &d : defaults) {
        GridColumnLayout c;
        c.fieldName = QString::fromUtf8(d.first);
        c.width = d.second;
        cols << c;
    }
    DBGrid1->SetColumns(cols);
    DBGridDesigner1->SetDBGrid(DBGrid1);
    DBGridDesigner1->SetCfg(QDir(dir).filePath(QStringLiteral("Adressen.tei")));
    CB_Sort->clear();
    CB_Sort->addItems(m_list.SortNames());
    CB_Sort->setCurrentIndex(IndexOfText(m_list.SortNames(), QStringLiteral("Suchbegriff")));
    CB_SortChange();
}

void TFM_Adressen::closeEvent(QCloseEvent *e)
{
    if (DBGridDesigner1->Autosave && !DBGridDesigner1->Cfg().isEmpty())
        DBGridDesigner1->Save();
    m_list.Close();
    QWidget::closeEvent(e);
}

void TFM_Adressen::search()
{
    if (CB_Sort->currentIndex() < 0)
        return;
    m_list.Apply(CB_Sort->currentIndex(), TabControl1->currentIndex(), Settings().Aktiv_Mandant, Ed_Suche->text());
}

void TFM_Adressen::CB_SortChange()
{
    if (CB_Sort->currentIndex() < 0)
        return;
    // the order with no key first, then the search text as it stands
    m_list.Apply(CB_Sort->currentIndex(), TabControl1->currentIndex(), Settings().Aktiv_Mandant, QString());
    search();
    Ed_Suche->setFocus();
    Ed_Suche->selectAll();
}

void TFM_Adressen::TabControl1Change()
{
    CB_SortChange();
}

void TFM_Adressen::DBGrid1TitleClick(int column)
{
    if (column >= 0 && column < DBGrid1->Columns().size()) {
        const int i = IndexOfText(m_list.SortNames(), DBGrid1->Columns().at(column).fieldName);
        if (i >= 0)
            CB_Sort->setCurrentIndex(i);
    }
    CB_SortChange();
}

bool TFM_Adressen::eventFilter(QObject *o, QEvent *e)
{
    if (o == Ed_Suche && e->type() == QEvent::KeyPress && CB_Sort->currentIndex() >= 0) {
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() == Qt::Key_Down || k->key() == Qt::Key_Up) {
            if (m_list.Table().Active())
                k->key() == Qt::Key_Down ? m_list.Table().Next() : m_list.Table().Prior();
            return true;
        }
    }
    return QWidget::eventFilter(o, e);
}

QVariantList TFM_Adressen::SelectedBookmarks() const
{
    QVariantList out;
    Dataset &ds = const_cast<AddressList &>(m_list).Table();
    if (!ds.Active())
        return out;
    const QVariant here = ds.Bookmark();
    // moving the cursor moves the grid's current row, which clears the marks
    const QItemSelection marked = DBGrid1->selectionModel()->selection();
    QList<int> rows;
    for (const QModelIndex &i : DBGrid1->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        const int rec = DBGrid1->RecordNumber(row);
        if (rec <= 0)
            continue;
        ds.SetRecNo(rec);
        out << ds.Bookmark();
    }
    ds.GotoBookmark(here);
    DBGrid1->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
    return out;
}

void TFM_Adressen::refreshGrid()
{
    DBGrid1->viewport()->update();
}

} // namespace mv
