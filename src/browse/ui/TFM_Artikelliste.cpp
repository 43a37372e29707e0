#include "browse/ui/TFM_Artikelliste.h"

#include "browse/LongTextRtf.h"
#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "data/DatasetUtil.h"
#include "data/ui/TDBBGrid.h"
#include "data/ui/TDBGridDesigner.h"
#include "wawi/ParadoxSort.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace mv {

namespace {

const QString kSection = QStringLiteral("WINPOS\\Artikelliste");

QAction *makeAction(QObject *owner, const char *name, const QString &caption, const QString &hint, const char *icon)
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QString::fromUtf8(name));
    // Without a hint the action shows its caption without the mnemonic.
    if (!hint.isEmpty())
        a->setToolTip(hint);
    a->setProperty("category", QStringLiteral("Artikel"));
    if (*icon)
        a->setIcon(AppIcon(QString::fromUtf8(icon)));
    return a;
}

int readInt(const QString &name, const QString &def, int minimum)
{
    return std::max(minimum, StrToIntX(RegReadSettingDef(kSection, name, def)));
}

// Registry yes/no as text: "-1"/"TRUE" yes, "0"/"FALSE" no.
bool readBoolText(const QString &section, const QString &name, bool def)
{
    const QString v = RegReadSettingDef(section, name, def ? QStringLiteral("TRUE") : QStringLiteral("FALSE"))
                          .trimmed()
                          .toUpper();
    if (v == QLatin1String("-1") || v == QLatin1String("TRUE") || v == QLatin1String("1"))
        return true;
    if (v == QLatin1String("0") || v == QLatin1String("FALSE"))
        return false;
    return def;
}

GridColumnLayout column(const char *field, int width, const QString &title = QString(), bool right = false)
{
    GridColumnLayout c;
    c.fieldName = QString::fromLatin1(field);
    c.width = width;
    c.titleCaption = title;
    if (right) {
        c.alignment = ColumnAlign::Right;
        c.titleAlignment = ColumnAlign::Right;
    }
    return c;
}

// Tree nodes sort as the WaWi sorts its texts: umlauts with their base
// letters, without regard to case.
class GroupItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem &other) const override
    {
        return ParadoxCompareText(text(0), other.text(0)) < 0;
    }
};

// Windows colour integer (BGR) of the cream background.
constexpr qint32 kCream = 0x00F0FBFF;

} // namespace

TFM_Artikelliste::TFM_Artikelliste(Mode mode, const QString &programDir, QWidget *parent)
    : QWidget(parent), m_mode(mode), m_dir(programDir.isEmpty() ? Settings().ExeDir : programDir), m_links(m_list)
{
    setObjectName(QStringLiteral("FM_Artikelliste"));
    setWindowTitle(mode == Mode::List ? QStringLiteral("Artikelliste") : QStringLiteral("Warengruppenzuweisung"));
    setWindowIcon(AppIcon(mode == Mode::List ? QStringLiteral("package") : QStringLiteral("groups")));
    buildActions();
    buildLayout();
    readWindowSettings();
}

TFM_Artikelliste::~TFM_Artikelliste() = default;

void TFM_Artikelliste::buildActions()
{
    Action_Spalten = makeAction(this, "Action_Spalten", QStringLiteral("&Spalteneditor"), QString(), "table");
    Action_Refresh = makeAction(this, "Action_Refresh", QStringLiteral("&Aktualisieren"), QString(), "sync");
    Action_Refresh->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    Action_Online = makeAction(this, "Action_Online", QStringLiteral("Online schalten"),
                               QStringLiteral("Artikel in den Onlineshop aufnehmen"), "globe");
    Action_Online->setShortcut(QKeySequence(Qt::Key_Insert));
    Action_Offline = makeAction(this, "Action_Offline", QStringLiteral("Offline schalten"),
                                QStringLiteral("Artikel aus dem Onlineshop entfernen"), "stop");
    Action_Offline->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    Action_Selection = makeAction(this, "Action_Selection", QStringLiteral("Selektion dieses Datensatzes"), QString(), "flag");
    Action_Selection_off = makeAction(this, "Action_Selection_off",
                                      QStringLiteral("Selektion dieses Datensatzes aufheben"), QString(), "");
    DataSetDelete1 = makeAction(this, "DataSetDelete1", QStringLiteral("Zuordnung löschen"), QString(), "remove");
    Sortiert1 = makeAction(this, "Sortiert1", QStringLiteral("Sortiert"), QStringLiteral("sortieren"), "");
    Sortiert1->setCheckable(true);
    Refresh1 = makeAction(this, "Refresh1", QStringLiteral("&Aktualisieren"), QString(), "sync");
    beimffnenalleWarengruppenzeigen1 = makeAction(this, "beimffnenalleWarengruppenzeigen1",
                                                  QStringLiteral("beim öffnen alle Warengruppen zeigen"), QString(), "");
    beimffnenalleWarengruppenzeigen1->setCheckable(true);
    for (QAction *a : {Action_Refresh, Action_Online, Action_Offline})
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addActions({Action_Spalten, Action_Refresh, Action_Online, Action_Offline, Action_Selection, Action_Selection_off,
                DataSetDelete1});

    connect(Action_Spalten, &QAction::triggered, this, [this] { DBGridDesigner1->TabellenEditor(); });
    connect(Action_Refresh, &QAction::triggered, this, &TFM_Artikelliste::Action_RefreshExecute);
    connect(Refresh1, &QAction::triggered, this, &TFM_Artikelliste::Action_RefreshExecute);
    connect(Action_Online, &QAction::triggered, this, [this] { runOnSelection(true); });
    connect(Action_Offline, &QAction::triggered, this, [this] { runOnSelection(false); });
    connect(Action_Selection, &QAction::triggered, this, [this] { runSelect(true); });
    connect(Action_Selection_off, &QAction::triggered, this, [this] { runSelect(false); });
    connect(DataSetDelete1, &QAction::triggered, this, [this] {
        m_links.DeleteCurrent();
        updateDeleteAction();
    });
    connect(Sortiert1, &QAction::toggled, this, [this](bool on) {
        if (m_treeBusy)
            return;
        if (on)
            TreeView1->sortItems(0, Qt::AscendingOrder);
        else
            Action_RefreshExecute();
        RegWriteSetting(QStringLiteral("Sort"), QStringLiteral("Warengruppe"), on ? QStringLiteral("-1") : QStringLiteral("0"));
    });
    connect(beimffnenalleWarengruppenzeigen1, &QAction::toggled, this, [this](bool on) {
        if (!m_treeBusy)
            RegWriteSetting(kSection, QStringLiteral("TreeAuf"), on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

void TFM_Artikelliste::buildLayout()
{
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto *h = new QHBoxLayout(Panel1);
    h->setContentsMargins(4, 2, 4, 2);
    ToolBar1 = new QToolBar(Panel1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolBar1->addAction(Action_Spalten);
    ToolBar1->addAction(Action_Refresh);
    ToolBar1->addAction(Action_Online);
    ToolBar1->addAction(Action_Offline);
    h->addWidget(ToolBar1, 1);
    h->addWidget(new QLabel(QStringLiteral("Sortierung:"), Panel1));
    CB_Sort = new QComboBox(Panel1);
    CB_Sort->setObjectName(QStringLiteral("CB_Sort"));
    CB_Sort->addItems({QStringLiteral("Nummer"), QStringLiteral("Bezeichnung")});
    CB_Sort->setToolTip(QStringLiteral("Sortierung der Artikel"));
    h->addWidget(CB_Sort);
    h->addWidget(new QLabel(QStringLiteral("Suchbegriff"), Panel1));
    Ed_Suche = new QLineEdit(Panel1);
    Ed_Suche->setObjectName(QStringLiteral("Ed_Suche"));
    Ed_Suche->setToolTip(QStringLiteral(
        "Diese Suche dient zur schnellen Suche.\r\nEs wird nach dem Feld gesucht, nachdem sortiert ist!\r\n"
        "Mit Enter wird der Artikel gleich selektiert\r\nund Sie können direkt eine neuen Suchbegriff\r\n"
        "eingeben!\r\nDie Selektion des Datensatzes können Sie mit Esc wieder aufheben!\r\n\r\n"
        "(Die richtige Suche starten Sie mit F8)"));
    Ed_Suche->installEventFilter(this);
    h->addWidget(Ed_Suche);
    v->addWidget(Panel1);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    TreeView1 = new QTreeWidget(Splitter1);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setToolTip(QStringLiteral("Warengruppe"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TreeView1->setAllColumnsShowFocus(true);
    TreeView1->setAcceptDrops(true);
    TreeView1->viewport()->setAcceptDrops(true);
    TreeView1->setDragDropMode(QAbstractItemView::DropOnly);
    TreeView1->viewport()->installEventFilter(this);
    TreeView1->installEventFilter(this);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);

    Splitter4 = new QSplitter(Qt::Vertical, Splitter1);
    Splitter4->setObjectName(QStringLiteral("Splitter4"));
    Splitter2 = new QSplitter(Qt::Vertical, Splitter4);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    DBBGrid1 = new TDBBGrid(Splitter2);
    DBBGrid1->setObjectName(QStringLiteral("DBBGrid1"));
    DBBGrid1->SetColor(WinColor::clWhite);
    DBBGrid1->SetColorL(WinColor::clWindow);
    DBBGrid1->SetColorH(WinColor::clInfoBk);
    DBBGrid1->SetColorI(WinColor::clWindow);
    DBBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBBGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBBGrid1->viewport()->installEventFilter(this);
    DBBGrid1->SetColumns({column("Artikelnummer", 82), column("Bezeichnung", 227), column("Einheit", 68),
                          column("VK1", 68, QString(), true)});
    // "Artikelnummer" needs more than 82 pixels at today's fonts.
    DBBGrid1->FitColumnsToTitles();

    Panel4 = new QWidget(Splitter2);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    auto *p4 = new QHBoxLayout(Panel4);
    p4->setContentsMargins(0, 0, 0, 0);
    Splitter3 = new QSplitter(Qt::Horizontal, Panel4);
    Splitter3->setObjectName(QStringLiteral("Splitter3"));
    DBRichEdit1 = new QTextEdit(Splitter3);
    DBRichEdit1->setObjectName(QStringLiteral("DBRichEdit1"));
    DBRichEdit1->setToolTip(QStringLiteral("Artikelbeschreibung"));
    DBRichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    DBRichEdit1->setAcceptRichText(true);
    Image1 = new QLabel(Splitter3);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(QStringLiteral("Artikelbild (klein)"));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setMinimumWidth(30);
    Image1->installEventFilter(this);
    Splitter3->setStretchFactor(0, 1);
    Splitter3->setStretchFactor(1, 0);
    p4->addWidget(Splitter3);

    GB_Mehrfach = new QGroupBox(
        QStringLiteral("Artikel die einer anderen Hauptwarengruppe angehören und hier mehrfach zugewiesen sind"), Splitter4);
    GB_Mehrfach->setObjectName(QStringLiteral("GB_Mehrfach"));
    auto *gv = new QVBoxLayout(GB_Mehrfach);
    gv->setContentsMargins(2, 2, 2, 2);
    ToolBar2 = new QToolBar(GB_Mehrfach);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // One button: a slim row, so the rows of links get the height.
    ToolBar2->setIconSize(QSize(16, 16));
    ToolBar2->setContentsMargins(0, 0, 0, 0);
    ToolBar2->layout()->setContentsMargins(0, 0, 0, 0);
    ToolBar2->addAction(DataSetDelete1);
    gv->addWidget(ToolBar2);
    DBBGrid2 = new TDBBGrid(GB_Mehrfach);
    DBBGrid2->setObjectName(QStringLiteral("DBBGrid2"));
    DBBGrid2->SetColor(kCream);
    DBBGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBBGrid2->setSelectionMode(QAbstractItemView::SingleSelection);
    DBBGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gv->addWidget(DBBGrid2, 1);
    // The lower panel and its splitter handle belong to the assignment mode.
    GB_Mehrfach->setVisible(m_mode == Mode::Assignment);
    Splitter4->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter2->setStretchFactor(0, 1);
    v->addWidget(Splitter1, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(Action_Spalten);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Action_Selection);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Action_Selection_off);
    for (TDBBGrid *g : {DBBGrid1, DBBGrid2}) {
        g->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(g, &QWidget::customContextMenuRequested, this,
                [this, g](const QPoint &p) { PopupMenu1->popup(g->viewport()->mapToGlobal(p)); });
        connect(g->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this, g](int c) { DBBGrid1TitleClick(g, c); });
    }
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addAction(Sortiert1);
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(Refresh1);
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(beimffnenalleWarengruppenzeigen1);
    connect(TreeView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { PopupMenu2->popup(TreeView1->viewport()->mapToGlobal(p)); });

    DBGridDesigner1 = new TDBGridDesigner(this);
    DBGridDesigner1->setObjectName(QStringLiteral("DBGridDesigner1"));
    DBGridDesigner1->Autoload = true;
    DBGridDesigner1->Autosave = true;

    DBBGrid1->OnDrawColumnCell = [this](QStyleOptionViewItem &option, int row, int) {
        Dataset *ds = DBBGrid1->DataSet();
        if (!ds || !ds->Active())
            return;
        const Field *sel = ds->FindField(QStringLiteral("Selekt"));
        const Field *lief = ds->FindField(QStringLiteral("Lieferbar"));
        const Field *inet = ds->FindField(QStringLiteral("Internet"));
        const QColor silver(0xC0, 0xC0, 0xC0);
        if (sel && ds->RowValue(row, sel->Index()).toInt() != 0)
            option.palette.setColor(QPalette::Text, Qt::red);
        if (lief && ds->RowValue(row, lief->Index()).toBool())
            option.palette.setColor(QPalette::Text, silver);
        if (inet && !ds->RowValue(row, inet->Index()).toBool())
            option.palette.setColor(QPalette::Text, silver);
    };

    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this] {
        if (!m_treeBusy && TreeView1->isEnabled())
            TreeView1Change();
    });
    connect(CB_Sort, &QComboBox::currentIndexChanged, this, [this] {
        if (m_shown)
            CB_SortChange();
    });
    connect(Ed_Suche, &QLineEdit::textChanged, this, [this] {
        if (m_shown)
            TreeView1Change();
    });
    connect(&m_list.Articles(), &Dataset::cursorMoved, this, [this] { currentArticleChanged(); });
    connect(&m_list.Articles(), &Dataset::rowsReset, this, [this] { currentArticleChanged(); });
    connect(DBRichEdit1, &QTextEdit::textChanged, this, &TFM_Artikelliste::longTextEdited);
}

void TFM_Artikelliste::readWindowSettings()
{
    // Failures here leave the defaults.
    try {
        m_maximizedStart = RegReadBool(kSection, QStringLiteral("WINDOWSTATE"), 0) == 1
                           && RegReadBool(QStringLiteral("FENSTER"), QStringLiteral("WinMax"), 0) == 1;
        if (m_maximizedStart) {
            beimffnenalleWarengruppenzeigen1->setChecked(false);
            return;
        }
        move(StrToIntX(RegReadSettingDef(kSection, QStringLiteral("LEFT"), QStringLiteral("0"))),
             StrToIntX(RegReadSettingDef(kSection, QStringLiteral("TOP"), QStringLiteral("0"))));
        // Without a stored width the window is as wide as its top row
        // needs (all tool buttons beside the search), at least 646.
        const int topRow = std::max(646, Panel1->sizeHint().width());
        // The assignment shows two grids: without a stored height it opens
        // tall enough that each shows a useful number of rows.
        const int tall = m_mode == Mode::Assignment ? 620 : 471;
        resize(readInt(QStringLiteral("WIDTH"), QString::number(topRow), 646),
               readInt(QStringLiteral("HEIGHT"), QString::number(tall), 471));
        m_treeWidthStored = !RegReadSettingDef(kSection, QStringLiteral("TreeView1"), QString()).trimmed().isEmpty();
        const int tree = readInt(QStringLiteral("TreeView1"), QStringLiteral("160"), 30);
        Splitter1->setSizes({tree, std::max(100, width() - tree)});
        const int image = readInt(QStringLiteral("Image1"), QStringLiteral("140"), 30);
        Splitter3->setSizes({std::max(100, width() - tree - image), image});
        const int text = readInt(QStringLiteral("Panel4"), QStringLiteral("130"), 30);
        Splitter2->setSizes({std::max(100, height() - text), text});
        if (m_mode == Mode::Assignment) {
            const int links = std::max(170, height() * 2 / 5);
            Splitter4->setSizes({std::max(200, height() - links), links});
        }
        beimffnenalleWarengruppenzeigen1->setChecked(RegReadBool(kSection, QStringLiteral("TreeAuf"), 1) == 1);
    } catch (const std::exception &) {
    }
}

void TFM_Artikelliste::writeWindowSettings()
{
    QWidget *frame = parentWidget() ? parentWidget() : this;
    const bool maximized = frame->isMaximized();
    RegWriteSetting(kSection, QStringLiteral("WINDOWSTATE"), maximized ? QStringLiteral("1") : QStringLiteral("0"));
    if (maximized || frame->isMinimized())
        return;
    RegWriteSetting(kSection, QStringLiteral("LEFT"), QString::number(frame->x()));
    RegWriteSetting(kSection, QStringLiteral("TOP"), QString::number(frame->y()));
    RegWriteSetting(kSection, QStringLiteral("WIDTH"), QString::number(width()));
    RegWriteSetting(kSection, QStringLiteral("HEIGHT"), QString::number(height()));
    RegWriteSetting(kSection, QStringLiteral("Image1"), QString::number(Image1->width()));
    RegWriteSetting(kSection, QStringLiteral("Panel4"), QString::number(Panel4->height()));
    RegWriteSetting(kSection, QStringLiteral("TreeView1"), QString::number(TreeView1->width()));
}

void TFM_Artikelliste::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        if (m_maximizedStart && parentWidget())
            parentWidget()->showMaximized();
        FormShow();
    }
}

void TFM_Artikelliste::FormShow()
{
    DBGridDesigner1->SetDBGrid(DBBGrid1);
    DBGridDesigner1->SetCfg(QDir(m_dir).filePath(QStringLiteral("Artikel.tei")));
    // Steps that fail leave the window open with what was loaded.
    try {
        BusyScope busy;
        m_list.Open(Settings().Aktiv_Mandant);
        DBBGrid1->SetDataSet(&m_list.Articles());
        fillTree(true);
        fitTreeWidth();
        CB_Sort->blockSignals(true);
        CB_Sort->setCurrentIndex(0);
        CB_Sort->blockSignals(false);
        CB_SortChange();
    } catch (const std::exception &) {
    }
    const QString msg = m_links.Open(QDir(m_dir).filePath(QStringLiteral("warengruppen.xml")));
    if (!msg.isEmpty())
        Ui().ShowMessage(msg, UiHooks::Icon::Warning);
    if (m_mode == Mode::Assignment && m_links.IsOpen()) {
        m_linkModel = new LinkGridModel(m_links, this);
        // The look-ups read the article table a second time: after the
        // first rows are on the screen.
        m_linkModel->SetLookupsDeferred(true);
        m_lookupPending = true;
        // in case the article grid is not painted (a minimized window)
        QTimer::singleShot(1000, this, &TFM_Artikelliste::openLookups);
        DBBGrid2->SetColumns({column("Artikelnummer", 82), column("Bezeichnung", 227), column("Einheit", 68),
                              column("VK1", 68, QString(), true),
                              column("WBezeichnung", 250, QStringLiteral("zugewiesene Warengruppe")),
                              column("UWBezeichnung", 250, QStringLiteral("Ursprungswarengruppe"))});
        DBBGrid2->FitColumnsToTitles();
        DBBGrid2->SetDataSource(&m_links.File(), m_linkModel);
        connect(&m_links.File(), &Dataset::rowsReset, this, &TFM_Artikelliste::updateDeleteAction);
        TreeView1Change();
    }
    updateDeleteAction();
}

void TFM_Artikelliste::fitTreeWidth()
{
    // A width the user chose stays; the first opening shows the group
    // names whole, within two fifths of the window.
    if (m_treeWidthStored || m_maximizedStart)
        return;
    TreeView1->resizeColumnToContents(0);
    const int need = TreeView1->columnWidth(0) + 2 * TreeView1->frameWidth()
                     + TreeView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, TreeView1) + 4;
    QList<int> sizes = Splitter1->sizes();
    if (sizes.size() < 2 || sizes[0] >= need)
        return;
    const int total = sizes[0] + sizes[1];
    sizes[0] = std::min(need, total * 2 / 5);
    sizes[1] = total - sizes[0];
    Splitter1->setSizes(sizes);
}

void TFM_Artikelliste::fillTree(bool readSort)
{
    m_treeBusy = true;
    TreeView1->setEnabled(false);
    TreeView1->setSortingEnabled(false);
    TreeView1->clear();
    auto *root = new GroupItem(TreeView1, {QStringLiteral("alle Artikel")});
    root->setIcon(0, AppIcon(QStringLiteral("package")));
    try {
        m_list.BuildTree(m_tree);
    } catch (const std::exception &) {
        m_tree.Clear();
    }
    const QIcon folder = AppIcon(QStringLiteral("folder"));
    QVector<QTreeWidgetItem *> items(m_tree.Count(), nullptr);
    for (int i : m_tree.DisplayOrder()) {
        const GroupTree::Node &n = m_tree.Nodes()[i];
        QTreeWidgetItem *parent = n.parent >= 0 ? items[n.parent] : root;
        auto *it = new GroupItem(parent, {n.text});
        it->setData(0, Qt::UserRole, n.number);
        it->setIcon(0, folder);
        items[i] = it;
    }
    root->setExpanded(true);
    m_treeBusy = true;
    if (readSort) {
        try {
            Sortiert1->setChecked(readBoolText(QStringLiteral("Sort"), QStringLiteral("Warengruppe"), false));
        } catch (const std::exception &) {
        }
    }
    if (Sortiert1->isChecked())
        TreeView1->sortItems(0, Qt::AscendingOrder);
    if (beimffnenalleWarengruppenzeigen1->isChecked())
        TreeView1->expandAll();
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clearSelection();
    TreeView1->setEnabled(true);
    m_treeBusy = false;
}

void TFM_Artikelliste::openLookups()
{
    if (!m_lookupPending)
        return;
    m_lookupPending = false;
    m_list.ArticleLookup();
    if (m_linkModel)
        m_linkModel->SetLookupsDeferred(false);
}

void TFM_Artikelliste::Action_RefreshExecute()
{
    fillTree(false);
    TreeView1Change();
}

int TFM_Artikelliste::NodeGroup(const QTreeWidgetItem *item)
{
    if (!item)
        return -1;
    const QVariant v = item->data(0, Qt::UserRole);
    return v.isValid() ? v.toInt() : -1;
}

QTreeWidgetItem *TFM_Artikelliste::FindNode(int group) const
{
    for (QTreeWidgetItemIterator it(TreeView1); *it; ++it)
        if (NodeGroup(*it) == group)
            return *it;
    return nullptr;
}

ArticleSort TFM_Artikelliste::sortOrder() const
{
    return CB_Sort->currentText() == QLatin1String("Bezeichnung") ? ArticleSort::Bezeichnung : ArticleSort::Nummer;
}

void TFM_Artikelliste::TreeView1Change()
{
    if (!TreeView1->isEnabled() || m_treeBusy)
        return;
    if (m_list.Articles().GetState() == Dataset::State::Insert)
        return;
    const int g = NodeGroup(TreeView1->currentItem());
    if (m_mode == Mode::Assignment)
        m_links.ShowGroup(g);
    try {
        m_list.PostPending();
        m_list.ShowGroup(g, sortOrder(), Ed_Suche->text());
    } catch (const std::exception &) {
    }
    reportProblems();
    syncGridRow();
    currentArticleChanged();
    updateDeleteAction();
}

void TFM_Artikelliste::CB_SortChange()
{
    TreeView1Change();
}

void TFM_Artikelliste::DBBGrid1TitleClick(TDBBGrid *grid, int column)
{
    if (column < 0 || column >= grid->Columns().size())
        return;
    QString name = grid->Columns().at(column).fieldName;
    if (name.trimmed().toUpper() == QLatin1String("ARTIKELNUMMER"))
        name = QStringLiteral("Nummer");
    QStringList items;
    for (int i = 0; i < CB_Sort->count(); ++i)
        items << CB_Sort->itemText(i);
    const int i = IndexOfText(items, name);
    if (i < 0)
        return;
    CB_Sort->blockSignals(true);
    CB_Sort->setCurrentIndex(i);
    CB_Sort->blockSignals(false);
    CB_SortChange();
}

void TFM_Artikelliste::currentArticleChanged()
{
    m_loadingText = true;
    // Without an article there is nothing to describe (typing would start
    // a WaWi article without a number).
    TVLBTable &t = m_list.Articles();
    DBRichEdit1->setReadOnly(!t.Active() || t.IsEmpty());
    const QString html = m_list.LongTextHtml();
    if (html.isEmpty())
        DBRichEdit1->clear();
    else
        DBRichEdit1->setHtml(html);
    m_loadingText = false;
    const QString pic = m_list.PictureFile();
    QPixmap pm;
    if (!pic.isEmpty() && pm.load(pic))
        Image1->setPixmap(pm.scaled(Image1->size().boundedTo(QSize(400, 400)).expandedTo(QSize(30, 30)),
                                    Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else
        Image1->clear();
}

void TFM_Artikelliste::longTextEdited()
{
    if (m_loadingText)
        return;
    QVector<LongTextParagraph> paras;
    for (QTextBlock b = DBRichEdit1->document()->begin(); b.isValid(); b = b.next()) {
        LongTextParagraph p;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid())
                continue;
            const QTextCharFormat f = frag.charFormat();
            LongTextRun r;
            r.text = frag.text();
            r.bold = f.fontWeight() >= QFont::Bold;
            r.italic = f.fontItalic();
            r.underline = f.fontUnderline();
            r.strike = f.fontStrikeOut();
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                r.color = f.foreground().color().rgb() & 0xFFFFFF;
            if (f.hasProperty(QTextFormat::FontPointSize))
                r.size = int(f.fontPointSize() + 0.5);
            const QStringList fam = f.fontFamilies().toStringList();
            if (!fam.isEmpty())
                r.font = fam.first();
            p << r;
        }
        paras << p;
    }
    // Stays pending until the article is left, like the picture.
    m_list.SetLongText(WriteLongTextRtf(paras));
}

void TFM_Artikelliste::chooseImage()
{
    if (!m_list.Articles().Active() || m_list.Articles().IsEmpty())
        return;
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Bild auswählen"), QString(),
                                                      QStringLiteral("Bilder (*.jpg *.jpeg *.png *.gif *.bmp);;Alle Dateien (*)"));
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    if (m_list.SetPicture(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())))
        currentArticleChanged();
}

namespace {

// The marked rows by number: a save may reset the grid's model, which
// drops the model indexes a QItemSelection holds.
QList<int> markedRows(const TDBBGrid *grid)
{
    QList<int> rows;
    for (const QModelIndex &i : grid->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void markRows(TDBBGrid *grid, const QList<int> &rows)
{
    QItemSelection sel;
    QAbstractItemModel *m = grid->model();
    const int last = m->columnCount() - 1;
    for (int r : rows)
        if (r >= 0 && r < m->rowCount() && last >= 0)
            sel.select(m->index(r, 0), m->index(r, last));
    grid->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace

void TFM_Artikelliste::runOnSelection(bool online)
{
    const QList<int> rows = markedRows(DBBGrid1);
    m_list.PostPending();
    const QVariantList marks = SelectedBookmarks();
    const QVariant here = m_list.Articles().Bookmark();
    m_list.SetOnline(marks, online);
    m_list.Articles().GotoBookmark(here);
    syncGridRow();
    markRows(DBBGrid1, rows);
    DBBGrid1->viewport()->update();
    reportProblems();
}

void TFM_Artikelliste::runSelect(bool on)
{
    const QList<int> rows = markedRows(DBBGrid1);
    m_list.PostPending();
    const QVariantList marks = SelectedBookmarks();
    const QVariant here = m_list.Articles().Bookmark();
    m_list.Select(marks, on);
    m_list.Articles().GotoBookmark(here);
    syncGridRow();
    markRows(DBBGrid1, rows);
    DBBGrid1->viewport()->update();
    reportProblems();
}

void TFM_Artikelliste::syncGridRow()
{
    TVLBTable &t = m_list.Articles();
    const int row = t.Active() ? t.RecNo() - 1 : -1;
    if (row < 0 || row >= DBBGrid1->model()->rowCount() || DBBGrid1->currentIndex().row() == row)
        return;
    const QSignalBlocker block(DBBGrid1->selectionModel());
    DBBGrid1->selectionModel()->setCurrentIndex(DBBGrid1->model()->index(row, qMax(0, DBBGrid1->currentIndex().column())),
                                                QItemSelectionModel::NoUpdate);
    DBBGrid1->scrollTo(DBBGrid1->currentIndex());
    DBBGrid1->viewport()->update();
}

void TFM_Artikelliste::reportProblems()
{
    // Writes the WaWi refused or changed are not passed over in silence.
    const QStringList p = m_list.LastWriteProblems();
    if (p.isEmpty())
        return;
    Ui().ShowMessage(QStringLiteral("Nicht alle Änderungen wurden wie gewünscht in der Warenwirtschaft gespeichert:\r\n")
                         + p.join(QStringLiteral("\r\n")),
                     UiHooks::Icon::Warning);
}

void TFM_Artikelliste::updateDeleteAction()
{
    DataSetDelete1->setEnabled(m_links.CanDelete());
}

QVariantList TFM_Artikelliste::SelectedBookmarks() const
{
    QVariantList out;
    Dataset &ds = const_cast<ArticleList &>(m_list).Articles();
    if (!ds.Active() || ds.IsEmpty())
        return out;
    const QVariant here = ds.Bookmark();
    const QList<int> rows = markedRows(DBBGrid1);
    for (int row : rows) {
        const int rec = DBBGrid1->RecordNumber(row);
        if (rec <= 0)
            continue;
        ds.SetRecNo(rec);
        out << ds.Bookmark();
    }
    ds.GotoBookmark(here);
    markRows(DBBGrid1, rows);
    return out;
}

QMimeData *TFM_Artikelliste::ArticleDragData() const
{
    auto *md = new QMimeData;
    md->setData(QString::fromLatin1(kArticleMime), QByteArray::number(const_cast<ArticleList &>(m_list).CurrentArticleKey()));
    return md;
}

bool TFM_Artikelliste::TreeView1DragOver(const QMimeData *data, const QPoint &pos) const
{
    // Links are made only in the assignment mode, from the article grid,
    // onto a group (the root carries none).
    if (m_mode != Mode::Assignment || !data || !data->hasFormat(QString::fromLatin1(kArticleMime)))
        return false;
    const int group = NodeGroup(TreeView1->itemAt(pos));
    if (group <= 0)
        return false;
    // the article's own group takes it already
    const int article = data->data(QString::fromLatin1(kArticleMime)).toInt();
    return const_cast<GroupLinks &>(m_links).ArticleGroup(article) != group;
}

bool TFM_Artikelliste::TreeView1DragDrop(const QMimeData *data, const QPoint &pos)
{
    if (!TreeView1->isEnabled() || m_mode != Mode::Assignment || !data
        || !data->hasFormat(QString::fromLatin1(kArticleMime)))
        return false;
    QTreeWidgetItem *node = TreeView1->itemAt(pos);
    if (!node)
        return false;
    bool ok = false;
    const int article = data->data(QString::fromLatin1(kArticleMime)).toInt(&ok);
    if (!ok || article <= 0)
        return false;
    const int group = NodeGroup(node);
    openLookups();
    const auto r = m_links.Add(group, article, m_links.ArticleGroup(article));
    switch (r) {
    case GroupLinks::AddResult::Added:
        break;
    case GroupLinks::AddResult::Duplicate:
        Ui().ShowMessage(QStringLiteral("Dieser Artikel ist schon zugewiesen!"));
        return false;
    case GroupLinks::AddResult::NotOpen:
        Ui().ShowMessage(QStringLiteral("Die Datei %1 ist nicht geöffnet; die Zuweisung wurde nicht gespeichert.")
                             .arg(QDir(m_dir).filePath(QStringLiteral("warengruppen.xml"))),
                         UiHooks::Icon::Error);
        return false;
    case GroupLinks::AddResult::Failed:
        Ui().ShowMessage(QStringLiteral("Die Zuweisung konnte nicht gespeichert werden."), UiHooks::Icon::Error);
        return false;
    default:   // own group, root: nothing happens
        return false;
    }
    Ui().ProcessEvents();
    if (!TreeView1->currentItem())
        TreeView1->setCurrentItem(node);
    else
        TreeView1Change();
    return true;
}

void TFM_Artikelliste::closeEvent(QCloseEvent *e)
{
    m_list.PostPending();
    if (DBGridDesigner1->Autosave && !DBGridDesigner1->Cfg().isEmpty())
        DBGridDesigner1->Save();
    if (m_mode == Mode::Assignment) {
        const QString err = m_links.Save();
        if (!err.isEmpty())
            Ui().ShowMessage(QStringLiteral("Die Zuordnungen konnten nicht gespeichert werden:\r\n") + err,
                             UiHooks::Icon::Warning);
    }
    m_links.Close();
    m_list.Close();
    try {
        writeWindowSettings();
    } catch (const std::exception &) {
    }
    emit closed();
    QWidget::closeEvent(e);
}

void TFM_Artikelliste::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    // Other programs may have changed articles while another window was active.
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && m_shown) {
        try {
            if (m_list.RefreshIfChanged()) {
                syncGridRow();
                currentArticleChanged();
            }
        } catch (const std::exception &) {
        }
    }
}

bool TFM_Artikelliste::eventFilter(QObject *o, QEvent *e)
{
    if (!DBBGrid1 || !m_shown)   // events of the construction
        return QWidget::eventFilter(o, e);
    if (o == Ed_Suche && e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        TVLBTable &t = m_list.Articles();
        switch (k->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!Ed_Suche->text().trimmed().isEmpty() && t.Active() && !t.IsEmpty()) {
                m_list.PostPending();
                m_list.Select({}, true);
                syncGridRow();
                DBBGrid1->viewport()->update();
                reportProblems();
            }
            Ed_Suche->selectAll();
            return true;
        case Qt::Key_Escape:
            m_list.PostPending();
            m_list.Select({}, false);
            syncGridRow();
            DBBGrid1->viewport()->update();
            reportProblems();
            Ed_Suche->selectAll();
            return true;
        case Qt::Key_Down:
        case Qt::Key_Up:
            if (t.Active())
                k->key() == Qt::Key_Down ? t.Next() : t.Prior();
            syncGridRow();
            return true;
        default:
            break;
        }
    } else if (o == Image1 && e->type() == QEvent::MouseButtonDblClick) {
        chooseImage();
        return true;
    } else if (o == TreeView1 && e->type() == QEvent::FocusOut) {
        TreeView1->viewport()->update();
    } else if (o == TreeView1->viewport()) {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *d = static_cast<QDragMoveEvent *>(e);
            if (TreeView1DragOver(d->mimeData(), d->position().toPoint()))
                d->acceptProposedAction();
            else
                d->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *d = static_cast<QDropEvent *>(e);
            if (TreeView1DragOver(d->mimeData(), d->position().toPoint())
                || m_mode == Mode::Assignment) {
                TreeView1DragDrop(d->mimeData(), d->position().toPoint());
                d->acceptProposedAction();
            } else {
                d->ignore();
            }
            return true;
        }
        default:
            break;
        }
    } else if (o == DBBGrid1->viewport()) {
        if (e->type() == QEvent::Paint && m_lookupPending) {
            // runs once this first paint is done
            QTimer::singleShot(0, this, &TFM_Artikelliste::openLookups);
        } else if (e->type() == QEvent::MouseButtonPress) {
            auto *m = static_cast<QMouseEvent *>(e);
            if (m->button() == Qt::LeftButton)
                m_dragStart = m->position().toPoint();
        } else if (e->type() == QEvent::MouseMove) {
            auto *m = static_cast<QMouseEvent *>(e);
            if ((m->buttons() & Qt::LeftButton) && !m_dragStart.isNull()
                && (m->position().toPoint() - m_dragStart).manhattanLength() >= QApplication::startDragDistance()
                && m_list.CurrentArticleKey() > 0) {
                m_dragStart = QPoint();
                auto *drag = new QDrag(DBBGrid1);
                drag->setMimeData(ArticleDragData());
                drag->exec(Qt::LinkAction | Qt::CopyAction, Qt::LinkAction);
                return true;
            }
        } else if (e->type() == QEvent::MouseButtonRelease) {
            m_dragStart = QPoint();
        }
    }
    return QWidget::eventFilter(o, e);
}

} // namespace mv
