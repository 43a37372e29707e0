#include "masterdata/ui/TMasterEditor.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/MasterTable.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TDBNavigator.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

namespace {
QList<QPointer<TMasterEditor>> &openEditors()
{
    static QList<QPointer<TMasterEditor>> list;
    return list;
}

QString samePath(const QString &p)
{
    return QDir::cleanPath(QFileInfo(p).absoluteFilePath());
}

QString defaultPictureDialog(QWidget *parent, const QString &current)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Bild auswählen"), current,
                                        QStringLiteral("Bilder (*.jpg *.jpeg *.png *.gif *.bmp);;Alle Dateien (*)"));
}
}

TMasterEditor::TMasterEditor(const QString &name, const QString &caption, const QString &dir, QWidget *parent)
    : QWidget(parent), ChoosePicture(defaultPictureDialog), m_dir(dir.isEmpty() ? Settings().ExeDir : dir)
{
    setObjectName(name);
    setWindowTitle(caption);
    openEditors().append(this);
}

TMasterEditor::~TMasterEditor()
{
    openEditors().removeAll(this);
    // Tables still open (the window was destroyed without closing) are
    // written by the table files' own close rule, while the field editors
    // still exist to hand over what was typed.
    for (auto it = m_tables.rbegin(); it != m_tables.rend(); ++it) {
        TableFile *t = it->table;
        try {
            if (t->Active())
                t->CheckBrowseMode();
        } catch (const DatasetError &) {
        }
        t->BeforePost = nullptr;
        t->AfterPost = nullptr;
        t->BeforeInsert = nullptr;
        delete t;
    }
}

TMasterEditor *TMasterEditor::OpenEditorFor(const QString &path)
{
    const QString want = samePath(path);
    for (const auto &e : openEditors())
        if (e && samePath(e->FileName()) == want)
            return e;
    return nullptr;
}

bool TMasterEditor::BringToFront(const QString &path)
{
    TMasterEditor *e = OpenEditorFor(path);
    if (!e)
        return false;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(e->parentWidget())) {
        if (sub->isMinimized())
            sub->showNormal();
        if (QMdiArea *area = sub->mdiArea())
            area->setActiveSubWindow(sub);
        sub->raise();
    } else {
        e->show();
        e->raise();
        e->activateWindow();
    }
    return true;
}

QString TMasterEditor::FileName() const
{
    if (m_tables.isEmpty())
        return QString();
    QString dir = m_dir;
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\')))
        dir += QLatin1Char('/');
    return dir + m_tables.first().def.fileName;
}

TableFile *TMasterEditor::Table(int i) const
{
    return i >= 0 && i < m_tables.size() ? m_tables.at(i).table : nullptr;
}

TableFile *TMasterEditor::AddTable(const MasterTableDef &def, bool saveAlways)
{
    auto *t = new TableFile(this);
    t->setObjectName(QStringLiteral("ClientDataSet%1").arg(m_tables.size() + 1));
    t->SetFieldDefList(def.fields);
    t->BeforePost = [this, t](Dataset &) { flushEdits(t); };
    m_tables.append({def, t, saveAlways});
    return t;
}

void TMasterEditor::flushEdits(TableFile *table)
{
    for (TDBEdit *e : findChildren<TDBEdit *>()) {
        QString error;
        if (e->DataSource() == table && !e->FlushToField(&error))
            throw DatasetError(error);
    }
}

void TMasterEditor::FormShow()
{
    if (m_opened)
        return;
    m_opened = true;
    BusyScope busy;
    bool locked = false;
    for (TableEntry &e : m_tables) {
        const OpenOutcome o = OpenMasterTable(*e.table, m_dir, e.def);
        if (!o.backupPath.isEmpty())
            Ui().ShowMessage(BackupNote(e.table->FileName(), o.backupPath), UiHooks::Icon::Warning);
        if (!o.legacyError.isEmpty())
            Ui().ShowMessage(LegacyFailedMessage(QFileInfo(e.table->FileName()).dir().filePath(e.def.legacy.fileName),
                                                 o.legacyError),
                             UiHooks::Icon::Warning);
        if (!o.open && !locked) {
            locked = true;
            Ui().ShowMessage(LockedMessage(e.table->FileName()), UiHooks::Icon::Error);
        }
    }
    TablesOpened();
    for (TableEntry &e : m_tables)
        if (e.table->Active())
            e.table->First();
    emit tablesOpened();
}

bool TMasterEditor::FormClose()
{
    QStringList failures;
    for (TableEntry &e : m_tables) {
        TableFile *t = e.table;
        if (!t->Active())
            continue;
        try {
            t->CheckBrowseMode();
        } catch (const DatasetError &ex) {
            Ui().ShowMessage(QStringLiteral("Der Datensatz kann nicht gespeichert werden: %1\n"
                                            "Bitte korrigieren oder die Bearbeitung abbrechen.")
                                 .arg(ex.message()),
                             UiHooks::Icon::Warning);
            return false;
        }
    }
    for (TableEntry &e : m_tables) {
        TableFile *t = e.table;
        if (!t->Active())
            continue;
        if (!e.saveAlways && !t->ChangedSinceOpen() && QFile::exists(t->FileName()))
            continue;
        QString error;
        if (!SaveMasterTable(*t, &error))
            failures << error;
    }
    if (!failures.isEmpty()) {
        failures << QStringLiteral("Das Fenster bleibt geöffnet, damit keine Änderung verloren geht.");
        Ui().ShowMessage(failures.join(QStringLiteral("\n\n")), UiHooks::Icon::Error);
        return false;
    }
    for (TableEntry &e : m_tables)
        e.table->Close();
    return true;
}

void TMasterEditor::BitBtn1Click()
{
    close();
}

void TMasterEditor::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    FormShow();
}

void TMasterEditor::closeEvent(QCloseEvent *e)
{
    if (FormClose()) {
        // Closed is gone, even before the window is deleted.
        openEditors().removeAll(this);
        e->accept();
    } else
        e->ignore();
}

void TMasterEditor::DBGrid1EditButtonClick(TDBBGrid *grid)
{
    if (!grid)
        return;
    const QModelIndex cur = grid->currentIndex();
    if (!cur.isValid())
        return;
    Field *f = grid->ColumnsModel()->FieldOf(cur.column());
    if (!f)
        return;
    Dataset *ds = f->DataSet();
    const QString current = f->AsString();
    const QString chosen = ChoosePicture ? ChoosePicture(this, current) : QString();
    if (chosen.isEmpty())
        return;
    try {
        const Dataset::State st = ds->GetState();
        if (st != Dataset::State::Edit && st != Dataset::State::Insert) {
            if (ds->IsEmpty())
                return;
            ds->Edit();
        }
        f->SetAsString(QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath()));
        ds->Post();
    } catch (const DatasetError &) {
        // The row cannot be edited: nothing changes.
        try {
            if (ds->GetState() == Dataset::State::Edit)
                ds->Cancel();
        } catch (const DatasetError &) {
        }
    }
}

QToolButton *TMasterEditor::EllipsisButton(TDBBGrid *grid) const
{
    for (const EllipsisGrid &e : m_ellipsis)
        if (e.grid == grid)
            return e.button;
    return nullptr;
}

void TMasterEditor::placeEllipsis(EllipsisGrid &e)
{
    TDBBGrid *g = e.grid;
    if (!g)
        return;
    const QModelIndex cur = g->currentIndex();
    bool show = false;
    if (cur.isValid() && cur.column() < g->Columns().size())
        show = e.fields.contains(g->Columns().at(cur.column()).fieldName, Qt::CaseInsensitive);
    if (!show) {
        e.button->hide();
        return;
    }
    const QRect r = g->visualRect(cur);
    const int w = qMin(r.height(), 24);
    e.button->setGeometry(r.right() - w + 1, r.top(), w, r.height());
    e.button->show();
    e.button->raise();
}

// ----------------------------------------------------------- building blocks

TDBNavigator *TMasterEditor::MakeNavigator(const QString &name, TableFile *table)
{
    auto *n = new TDBNavigator(this);
    n->setObjectName(name);
    n->SetDataSource(table);
    return n;
}

QPushButton *TMasterEditor::MakeButton(const QString &name, const QString &caption, const QString &hint)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    if (!hint.isEmpty())
        b->setToolTip(hint);
    return b;
}

QHBoxLayout *TMasterEditor::MakeTopBar(TableFile *table, QPushButton **takeOver)
{
    auto *top = new QHBoxLayout;
    top->addWidget(MakeNavigator(QStringLiteral("DBAdvNavigator1"), table));
    if (takeOver) {
        *takeOver = MakeButton(QStringLiteral("BitBtn2"), QStringLiteral("Daten aus Warenwirtschaft holen"),
                               QStringLiteral("Überträgt alle Einstellungen aus der Warenwirtschaft"));
        top->addWidget(*takeOver);
    }
    AddOkButton(top);
    return top;
}

void TMasterEditor::AddOkButton(QHBoxLayout *top)
{
    top->addStretch(1);
    QPushButton *ok = MakeButton(QStringLiteral("BitBtn1"), QStringLiteral("OK"));
    connect(ok, &QPushButton::clicked, this, &TMasterEditor::BitBtn1Click);
    top->addWidget(ok);
}

GridColumnLayout TMasterEditor::Col(const QString &field, const QString &title, int width, bool visible, bool readOnly)
{
    GridColumnLayout c;
    c.fieldName = field;
    c.titleCaption = title;
    c.width = width;
    c.visible = visible;
    c.readOnly = readOnly;
    return c;
}

void TMasterEditor::ResizeToShow(TDBBGrid *grid, const QSize &size)
{
    int frame = 0;
    if (layout()) {
        const QMargins m = layout()->contentsMargins();
        frame = m.left() + m.right();
    }
    resize(qMax(size.width(), grid->FullWidth() + frame), size.height());
}

TDBBGrid *TMasterEditor::MakeGrid(const QString &name, TableFile *table, const QVector<GridColumnLayout> &columns,
                                  const QStringList &ellipsisFields)
{
    auto *g = new TDBBGrid(this);
    g->setObjectName(name);
    g->SetDataSet(table);
    g->SetColumns(columns);
    g->FitColumnsToTitles();
    g->SetColorL(WinColor::clWindow);
    g->SetColorH(WinColor::clInfoBk);
    if (ellipsisFields.isEmpty())
        return g;
    auto *b = new QToolButton(g->viewport());
    b->setObjectName(name + QStringLiteral("_EditButton"));
    b->setText(QStringLiteral("…"));
    b->setToolTip(QStringLiteral("Bild auswählen"));
    b->hide();
    connect(b, &QToolButton::clicked, this, [this, g] { DBGrid1EditButtonClick(g); });
    m_ellipsis.append({g, ellipsisFields, b});
    const int idx = int(m_ellipsis.size()) - 1;
    auto place = [this, idx] { placeEllipsis(m_ellipsis[idx]); };
    auto hookSelection = [g, place, this] {
        if (g->selectionModel())
            connect(g->selectionModel(), &QItemSelectionModel::currentChanged, this, place);
    };
    hookSelection();
    if (g->model()) {
        connect(g->model(), &QAbstractItemModel::modelReset, this, place);
        connect(g->model(), &QAbstractItemModel::layoutChanged, this, place);
        connect(g->model(), &QAbstractItemModel::rowsInserted, this, place);
    }
    connect(g->verticalScrollBar(), &QScrollBar::valueChanged, this, place);
    connect(g->horizontalScrollBar(), &QScrollBar::valueChanged, this, place);
    connect(g->horizontalHeader(), &QHeaderView::sectionResized, this, place);
    return g;
}

TDBEdit *TMasterEditor::MakeEdit(const QString &name, TableFile *table, const QString &field, const QString &hint)
{
    auto *e = new TDBEdit(this);
    e->setObjectName(name);
    e->SetDataField(table, field);
    if (!hint.isEmpty())
        e->setToolTip(hint);
    return e;
}

TDBMemo *TMasterEditor::MakeMemo(const QString &name, TableFile *table, const QString &field)
{
    auto *m = new TDBMemo(this);
    m->setObjectName(name);
    m->SetDataField(table, field);
    return m;
}

TDBCheckBox *TMasterEditor::MakeCheckBox(const QString &name, const QString &caption, TableFile *table,
                                         const QString &field, const QString &checked, const QString &unchecked,
                                         const QString &hint)
{
    auto *c = new TDBCheckBox(caption, this);
    c->setObjectName(name);
    c->ValueChecked = checked;
    c->ValueUnchecked = unchecked;
    c->SetDataField(table, field);
    if (!hint.isEmpty())
        c->setToolTip(hint);
    return c;
}

QWidget *TMasterEditor::LabeledEdit(const QString &label, const QString &label2, QWidget *edit)
{
    auto *w = new QWidget(this);
    auto *lay = new QHBoxLayout(w);
    lay->setContentsMargins(0, 0, 0, 0);
    auto *labels = new QVBoxLayout;
    labels->setSpacing(0);
    labels->addWidget(new QLabel(label, w));
    if (!label2.isEmpty())
        labels->addWidget(new QLabel(label2, w));
    lay->addLayout(labels);
    lay->addWidget(edit, 1);
    return w;
}

} // namespace mv
