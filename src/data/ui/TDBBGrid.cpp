#include "data/ui/TDBBGrid.h"

#include "data/ui/WinColors.h"
#include "core/RtfToText.h"
#include "core/UiHooks.h"
#include "data/Dataset.h"
#include "data/DatasetModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOptionButton>

#include <cmath>

namespace mv {

namespace {
Qt::Alignment toQt(ColumnAlign a)
{
    switch (a) {
    case ColumnAlign::Right: return Qt::AlignRight;
    case ColumnAlign::Center: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
    }
}
QFont fontFrom(const QString &desc, const QFont &fallback)
{
    QFont f = fallback;
    if (!desc.isEmpty())
        f.fromString(desc);
    return f;
}
}

// ------------------------------------------------------------ columns model

TGridColumnsModel::TGridColumnsModel(TDBBGrid *grid)
    : QAbstractTableModel(grid), m_grid(grid)
{
}

void TGridColumnsModel::SetSource(QAbstractItemModel *source)
{
    beginResetModel();
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        auto reset = [this] {
            beginResetModel();
            remap();
            endResetModel();
        };
        connect(source, &QAbstractItemModel::modelReset, this, reset);
        connect(source, &QAbstractItemModel::layoutChanged, this, reset);
        connect(source, &QAbstractItemModel::rowsInserted, this, reset);
        connect(source, &QAbstractItemModel::rowsRemoved, this, reset);
        connect(source, &QAbstractItemModel::columnsInserted, this, reset);
        connect(source, &QAbstractItemModel::columnsRemoved, this, reset);
        connect(source, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &tl, const QModelIndex &br) {
                    if (columnCount() > 0)
                        emit dataChanged(index(tl.row(), 0), index(br.row(), columnCount() - 1));
                });
    }
    remap();
    endResetModel();
}

void TGridColumnsModel::remap()
{
    m_map.clear();
    QHash<QString, int> byName;
    if (m_source) {
        auto *dm = qobject_cast<DatasetModel *>(m_source.data());
        for (int c = 0; c < m_source->columnCount(); ++c) {
            QString name;
            if (dm) {
                if (Field *f = dm->FieldOfColumn(c))
                    name = f->FieldName();
            } else if (Dataset *ds = m_grid->DataSet(); ds && c < ds->FieldCount()) {
                name = ds->FieldAt(c)->FieldName();
            } else {
                name = m_source->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            }
            if (!byName.contains(name.toLower()))
                byName.insert(name.toLower(), c);
        }
    }
    for (const GridColumnLayout &col : m_grid->Columns())
        m_map << byName.value(col.fieldName.toLower(), -1);
}

void TGridColumnsModel::ColumnsChanged()
{
    beginResetModel();
    remap();
    endResetModel();
}

int TGridColumnsModel::SourceColumn(int c) const
{
    return c >= 0 && c < m_map.size() ? m_map[c] : -1;
}

Field *TGridColumnsModel::FieldOf(int c) const
{
    const int sc = SourceColumn(c);
    if (!m_source || sc < 0)
        return nullptr;
    if (auto *dm = qobject_cast<DatasetModel *>(m_source.data()))
        return dm->FieldOfColumn(sc);
    Dataset *ds = m_grid->DataSet();
    return ds && sc < ds->FieldCount() ? ds->FieldAt(sc) : nullptr;
}

QVariant TGridColumnsModel::RawValue(const QModelIndex &index) const
{
    const int sc = SourceColumn(index.column());
    if (!m_source || sc < 0)
        return QVariant();
    const QModelIndex si = m_source->index(index.row(), sc);
    if (qobject_cast<DatasetModel *>(m_source.data()))
        return m_source->data(si, DatasetModel::ValueRole);
    return m_source->data(si, Qt::EditRole);
}

int TGridColumnsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_source ? 0 : m_source->rowCount();
}

int TGridColumnsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_map.size());
}

QVariant TGridColumnsModel::data(const QModelIndex &index, int role) const
{
    const int sc = SourceColumn(index.column());
    if (!m_source || sc < 0)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(toQt(m_grid->Columns()[index.column()].alignment) | Qt::AlignVCenter);
    if (role == Qt::FontRole) {
        const QString f = m_grid->Columns()[index.column()].font;
        return f.isEmpty() ? QVariant() : QVariant(fontFrom(f, m_grid->font()));
    }
    return m_source->data(m_source->index(index.row(), sc), role);
}

bool TGridColumnsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const int sc = SourceColumn(index.column());
    if (!m_source || sc < 0 || m_grid->Columns()[index.column()].readOnly)
        return false;
    return m_source->setData(m_source->index(index.row(), sc), value, role);
}

Qt::ItemFlags TGridColumnsModel::flags(const QModelIndex &index) const
{
    const int sc = SourceColumn(index.column());
    if (!m_source || sc < 0)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    Qt::ItemFlags f = m_source->flags(m_source->index(index.row(), sc));
    if (m_grid->Columns()[index.column()].readOnly)
        f &= ~(Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
    return f;
}

QVariant TGridColumnsModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Vertical)
        return m_source ? m_source->headerData(section, o, role) : QVariant();
    if (section < 0 || section >= m_grid->Columns().size())
        return QVariant();
    const GridColumnLayout &c = m_grid->Columns()[section];
    switch (role) {
    case Qt::DisplayRole: {
        if (!c.titleCaption.isEmpty())
            return c.titleCaption;
        const int sc = SourceColumn(section);
        if (m_source && sc >= 0) {
            const QVariant h = m_source->headerData(sc, Qt::Horizontal, Qt::DisplayRole);
            if (!h.toString().isEmpty())
                return h;
        }
        return c.fieldName;
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(toQt(c.titleAlignment) | Qt::AlignVCenter);
    case Qt::FontRole:
        return c.titleFont.isEmpty() ? QVariant() : QVariant(fontFrom(c.titleFont, m_grid->font()));
    default:
        return QVariant();
    }
}

// ------------------------------------------------------------ painting

TDBBGridDelegate::TDBBGridDelegate(TDBBGrid *grid)
    : QStyledItemDelegate(grid), m_grid(grid)
{
}

void TDBBGridDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    const bool focused = (opt.state & QStyle::State_HasFocus) && m_grid->currentIndex() == index;
    opt.palette.setColor(QPalette::Text, ToQColor(m_grid->FontColor()));
    // The window's own painting runs first.
    if (m_grid->OnDrawColumnCell)
        m_grid->OnDrawColumnCell(opt, index.row(), index.column());

    Field *field = m_grid->ColumnsModel()->FieldOf(index.column());
    const FieldType type = field ? field->DataType() : FieldType::String;
    if (focused && type != FieldType::Boolean) {
        QStyledItemDelegate::paint(p, opt, index);
        return;
    }
    QColor bg, fg = opt.palette.color(QPalette::Text);
    if (selected) {
        bg = ToQColor(WinColor::clHighlight);
        fg = ToQColor(WinColor::clHighlightText);
    } else {
        bg = m_grid->RowBackground(index.row());
    }
    p->save();
    p->fillRect(opt.rect, bg);
    const QRect r = opt.rect;
    if (type == FieldType::Graphic && m_grid->AutoDisp_Image) {
        const QByteArray bytes = m_grid->ColumnsModel()->RawValue(index).toByteArray();
        const QString key = QStringLiteral("mvgrid:%1:%2").arg(qHash(bytes)).arg(bytes.size());
        QPixmap pm;
        if (!QPixmapCache::find(key, &pm)) {
            QImage img;
            if (img.loadFromData(bytes))
                pm = QPixmap::fromImage(img);
            QPixmapCache::insert(key, pm);
        }
        if (!pm.isNull()) {
            const int w = int(std::lround(pm.width() / (pm.height() + 0.001) * r.height()));
            p->drawPixmap(QRect(r.left(), r.top(), w, r.height()), pm);
        }
    } else if (type == FieldType::Boolean) {
        // A check box, centred; the same box the click toggles.
        QStyleOptionButton box;
        box.rect = checkRect(opt);
        box.state = QStyle::State_Enabled;
        box.state |= index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked ? QStyle::State_On
                                                                                          : QStyle::State_Off;
        if (!(index.flags() & Qt::ItemIsUserCheckable))
            box.state &= ~QStyle::State_Enabled;
        box.palette = opt.palette;
        QStyle *st = m_grid->style();
        st->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, m_grid);
    } else {
        p->setFont(opt.font);
        p->setPen(fg);
        const QString text = m_grid->CellText(index, r.width(), QFontMetrics(opt.font));
        const GridColumnLayout &col = m_grid->Columns()[index.column()];
        const QFontMetrics fm(opt.font);
        const int y = r.top() + 2 + fm.ascent();
        int x = r.left() + 2;
        if (col.alignment == ColumnAlign::Right)
            x = r.right() - 1 - fm.horizontalAdvance(text);
        else if (col.alignment == ColumnAlign::Center)
            x = r.left() + (r.width() - fm.horizontalAdvance(text)) / 2;
        p->setClipRect(r);
        p->drawText(x, y, text);
    }
    p->restore();
}

QRect TDBBGridDelegate::checkRect(const QStyleOptionViewItem &opt) const
{
    QStyle *st = m_grid->style();
    const int w = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_grid);
    const int h = st->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_grid);
    return QRect(opt.rect.center().x() - w / 2, opt.rect.center().y() - h / 2, w, h);
}

bool TDBBGridDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    if (!(index.flags() & Qt::ItemIsUserCheckable))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    bool toggle = false;
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(event);
        // On the box (with a little room around it); a click elsewhere in
        // the cell only selects the row.
        toggle = me->button() == Qt::LeftButton
                 && checkRect(option).adjusted(-3, -3, 3, 3).contains(me->position().toPoint());
        break;
    }
    case QEvent::MouseButtonDblClick:
        return true;   // two toggles, no editor
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        toggle = key == Qt::Key_Space || key == Qt::Key_Select;
        break;
    }
    default:
        break;
    }
    if (!toggle)
        return false;
    const bool on = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    return model->setData(index, QVariant::fromValue(on ? Qt::Unchecked : Qt::Checked), Qt::CheckStateRole);
}

// ------------------------------------------------------------ grid

TDBBGrid::TDBBGrid(QWidget *parent)
    : QTableView(parent), m_columns(new TGridColumnsModel(this))
{
    setObjectName(QStringLiteral("DBBGrid1"));
    setModel(m_columns);
    setItemDelegate(new TDBBGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setMinimumWidth(12);
    horizontalHeader()->setHighlightSections(false);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &cur) {
        if (m_syncing || !m_ds || !m_ds->Active() || !cur.isValid() || m_ds->RecNo() == cur.row() + 1)
            return;
        m_syncing = true;
        try {
            m_ds->SetRecNo(cur.row() + 1);
        } catch (const DatasetError &e) {
            // A record that cannot be posted keeps the cursor where it is.
            Ui().ShowMessage(e.message(), UiHooks::Icon::Error);
            const int row = m_ds->RecNo() - 1;
            if (row >= 0)
                setCurrentIndex(m_columns->index(row, cur.column()));
        }
        m_syncing = false;
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int i, int, int w) {
        if (i >= 0 && i < m_cols.size())
            m_cols[i].width = w;
    });
}

void TDBBGrid::SetDataSet(Dataset *ds)
{
    if (!m_ownModel)
        m_ownModel = new DatasetModel(nullptr, this);
    m_ownModel->SetDataset(ds);
    SetDataSource(ds, m_ownModel);
}

void TDBBGrid::SetDataSource(Dataset *ds, QAbstractItemModel *model)
{
    m_ds = ds;
    if (!m_customised)
        defaultColumns();
    m_columns->SetSource(model);
    // The grid and the dataset's cursor follow each other.
    disconnect(m_cursorConn);
    if (auto *dm = qobject_cast<DatasetModel *>(model))
        m_cursorConn = connect(dm, &DatasetModel::currentRowChanged, this, [this](int row) {
            if (m_syncing || row < 0 || row >= m_columns->rowCount() || currentIndex().row() == row)
                return;
            m_syncing = true;
            setCurrentIndex(m_columns->index(row, qMax(0, currentIndex().column())));
            m_syncing = false;
        });
    disconnect(m_resetConn);
    if (model)
        m_resetConn = connect(model, &QAbstractItemModel::modelReset, this, [this] {
            if (!m_customised) {
                defaultColumns();
                ColumnsChanged();
            }
        });
    ColumnsChanged();
}

void TDBBGrid::defaultColumns()
{
    m_cols.clear();
    if (!m_ds)
        return;
    for (int i = 0; i < m_ds->FieldCount(); ++i) {
        Field *f = m_ds->FieldAt(i);
        GridColumnLayout c;
        c.fieldName = f->FieldName();
        c.titleCaption = f->DisplayLabel;
        c.alignment = f->Alignment & Qt::AlignRight ? ColumnAlign::Right
                      : f->Alignment & Qt::AlignHCenter ? ColumnAlign::Center : ColumnAlign::Left;
        const int chars = f->DisplayWidth > 0 ? f->DisplayWidth : (f->Size() > 0 ? qMin(f->Size(), 30) : 12);
        c.width = qMax(fontMetrics().horizontalAdvance(QLatin1Char('0')) * chars + 6,
                       fontMetrics().horizontalAdvance(f->FieldName()) + 12);
        c.visible = f->Visible;
        m_cols << c;
    }
}

void TDBBGrid::SetColumns(const QVector<GridColumnLayout> &cols)
{
    m_cols = cols;
    m_customised = true;
    ColumnsChanged();
}

void TDBBGrid::SetCustomised(bool on)
{
    m_customised = on;
    if (!on) {
        defaultColumns();
        ColumnsChanged();
    }
    viewport()->update();
}

void TDBBGrid::AddColumn(const QString &fieldName)
{
    GridColumnLayout c;
    c.fieldName = fieldName;
    if (m_ds)
        if (Field *f = m_ds->FindField(fieldName)) {
            c.fieldName = f->FieldName();
            c.titleCaption = f->DisplayLabel;
        }
    c.width = qMax(64, fontMetrics().horizontalAdvance(c.fieldName) + 12);
    m_cols << c;
    m_customised = true;
    ColumnsChanged();
}

void TDBBGrid::RemoveColumn(int i)
{
    if (i < 0 || i >= m_cols.size())
        return;
    m_cols.removeAt(i);
    m_customised = true;
    ColumnsChanged();
}

void TDBBGrid::ClearColumns()
{
    m_cols.clear();
    m_customised = true;
    ColumnsChanged();
}

void TDBBGrid::SwapColumns(int a, int b)
{
    if (a < 0 || b < 0 || a >= m_cols.size() || b >= m_cols.size() || a == b)
        return;
    GridColumnLayout &x = m_cols[a], &y = m_cols[b];
    std::swap(x.alignment, y.alignment);
    std::swap(x.fieldName, y.fieldName);
    std::swap(x.width, y.width);
    std::swap(x.font, y.font);
    std::swap(x.titleAlignment, y.titleAlignment);
    std::swap(x.titleCaption, y.titleCaption);
    std::swap(x.titleFont, y.titleFont);
    ColumnsChanged();
}

void TDBBGrid::ColumnsChanged()
{
    m_columns->ColumnsChanged();
    QHeaderView *h = horizontalHeader();
    const QSignalBlocker block(h);
    for (int i = 0; i < m_cols.size(); ++i) {
        h->resizeSection(i, m_cols[i].width);
        setColumnHidden(i, !m_cols[i].visible);
    }
    viewport()->update();
}

void TDBBGrid::FitColumnsToTitles()
{
    QHeaderView *h = horizontalHeader();
    const QFontMetrics fm(h->font());
    const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h) + 6;
    bool changed = false;
    for (int i = 0; i < m_cols.size(); ++i) {
        const QString title = m_columns->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
        const int need = fm.horizontalAdvance(title) + margin;
        if (m_cols[i].width < need) {
            m_cols[i].width = need;
            changed = true;
        }
    }
    if (changed)
        ColumnsChanged();
}

int TDBBGrid::FullWidth() const
{
    int w = 0;
    for (const GridColumnLayout &c : m_cols)
        if (c.visible)
            w += c.width;
    // The row header grows with the row numbers: room for four digits.
    const QHeaderView *rows = verticalHeader();
    const int rowHeader = rows->isHidden()
        ? 0
        : qMax(rows->sizeHint().width(), rows->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    return w + rowHeader + 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) + 2;
}

void TDBBGrid::SetColorL(qint32 c) { if (c != m_colorL) { m_colorL = c; viewport()->update(); } }
void TDBBGrid::SetColorH(qint32 c) { if (c != m_colorH) { m_colorH = c; viewport()->update(); } }
void TDBBGrid::SetColorI(qint32 c) { if (c != m_colorI) { m_colorI = c; viewport()->update(); } }
void TDBBGrid::SetTwoColor(bool on) { if (on != m_twoColor) { m_twoColor = on; viewport()->update(); } }

void TDBBGrid::SetColor(qint32 c)
{
    m_color = c;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(c));
    setPalette(pal);
    viewport()->update();
}

void TDBBGrid::SetFontColor(qint32 c)
{
    m_fontColor = c;
    viewport()->update();
}

int TDBBGrid::RecordNumber(int row) const
{
    if (!m_columns->Source() || row < 0 || row >= m_columns->rowCount())
        return -1;
    return row + 1;
}

QColor TDBBGrid::RowBackground(int row) const
{
    if (m_customised && m_twoColor && m_ds && m_ds->Active()) {
        const int rec = RecordNumber(row);
        if (rec < 0)
            return ToQColor(m_color);
        return ToQColor(rec % 2 == 1 ? m_colorL : m_colorH);
    }
    return ToQColor(m_color);
}

QString TDBBGrid::CellText(const QModelIndex &index, int width, const QFontMetrics &fm) const
{
    Field *field = m_columns->FieldOf(index.column());
    const FieldType type = field ? field->DataType() : FieldType::String;
    if ((type == FieldType::Memo || type == FieldType::FmtMemo) && AutoDisp_Memo) {
        const MemoPreview m = MemoFirstLine(m_columns->RawValue(index).toString());
        QString line = m.firstLine;
        const QString dots = QStringLiteral("...");
        const int room = width - (m.moreLines ? fm.horizontalAdvance(dots) : 0);
        while (!line.isEmpty() && fm.horizontalAdvance(line) > room)
            line.chop(1);
        return m.moreLines ? line + dots : line;
    }
    return index.data(Qt::DisplayRole).toString();
}

} // namespace mv
