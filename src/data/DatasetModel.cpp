#include "data/DatasetModel.h"

namespace mv {

DatasetModel::DatasetModel(Dataset *ds, QObject *parent) : QAbstractTableModel(parent)
{
    SetDataset(ds);
}

void DatasetModel::SetDataset(Dataset *ds)
{
    beginResetModel();
    for (const auto &c : m_conns)
        disconnect(c);
    m_conns.clear();
    m_ds = ds;
    if (ds) {
        m_conns << connect(ds, &Dataset::rowsReset, this, &DatasetModel::onReset);
        m_conns << connect(ds, &Dataset::rowChanged, this, &DatasetModel::onRowChanged);
        m_conns << connect(ds, &Dataset::stateChanged, this, [this] { invalidate(); });
        m_conns << connect(ds, &Dataset::cursorMoved, this, [this](int recNo) { emit currentRowChanged(recNo - 1); });
        m_conns << connect(ds, &QObject::destroyed, this, [this] {
            beginResetModel();
            m_columns.clear();
            invalidate();
            endResetModel();
        });
    }
    m_columns.clear();
    if (ds)
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (ds->FieldAt(i)->Visible)
                m_columns << i;
    invalidate();
    endResetModel();
}

void DatasetModel::RefreshColumns()
{
    onReset();
}

void DatasetModel::onReset()
{
    beginResetModel();
    m_columns.clear();
    if (m_ds)
        for (int i = 0; i < m_ds->FieldCount(); ++i)
            if (m_ds->FieldAt(i)->Visible)
                m_columns << i;
    invalidate();
    endResetModel();
}

void DatasetModel::onRowChanged(int recNo)
{
    invalidate();
    const int row = recNo - 1;
    if (row < 0 || row >= rowCount() || m_columns.isEmpty())
        return;
    emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

int DatasetModel::ColumnOfField(const QString &name) const
{
    if (!m_ds)
        return -1;
    const Field *f = m_ds->FindField(name);
    return f ? int(m_columns.indexOf(f->Index())) : -1;
}

Field *DatasetModel::FieldOfColumn(int column) const
{
    if (!m_ds || column < 0 || column >= m_columns.size())
        return nullptr;
    return m_ds->FieldAt(m_columns[column]);
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_ds || !m_ds->Active())
        return 0;
    return m_ds->DisplayRowCount();
}

int DatasetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

const QVector<QVariant> &DatasetModel::rowValues(int row) const
{
    if (row != m_cacheRow) {
        const int n = m_ds->FieldCount();
        m_cache.resize(n);
        for (int f = 0; f < n; ++f)
            m_cache[f] = m_ds->RowValue(row, f);
        m_cacheRow = row;
    }
    return m_cache;
}

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_ds || !m_ds->Active() || index.column() >= m_columns.size() || index.row() >= rowCount())
        return QVariant();
    const int fi = m_columns[index.column()];
    Field *f = m_ds->FieldAt(fi);
    const bool isBool = f->DataType() == FieldType::Boolean;
    switch (role) {
    case Qt::DisplayRole: {
        const QVariant v = rowValues(index.row()).value(fi);
        // The shop owner reads German, not "True"/"False"; views show the
        // check box of CheckStateRole beside it or instead of it.
        if (isBool)
            return v.isValid() && !v.isNull() ? (v.toBool() ? QStringLiteral("Ja") : QStringLiteral("Nein")) : QString();
        return f->DisplayTextOf(v);
    }
    case Qt::CheckStateRole: {
        if (!isBool)
            return QVariant();
        const QVariant v = rowValues(index.row()).value(fi);
        return QVariant::fromValue(v.isValid() && v.toBool() ? Qt::Checked : Qt::Unchecked);
    }
    case Qt::EditRole: {
        const QVariant v = rowValues(index.row()).value(fi);
        if (f->DataType() == FieldType::Boolean)
            return v.isValid() ? QVariant(v.toBool()) : QVariant(false);
        return f->EditTextOf(v);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(f->Alignment | Qt::AlignVCenter));
    case ValueRole:
        return rowValues(index.row()).value(fi);
    case FieldIndexRole:
        return fi;
    default:
        return QVariant();
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole)
            return section + 1;
        return QVariant();
    }
    Field *f = FieldOfColumn(section);
    if (!f)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return f->DisplayLabel.isEmpty() ? f->FieldName() : f->DisplayLabel;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(f->Alignment | Qt::AlignVCenter));
    case FieldIndexRole:
        return f->Index();
    default:
        return QVariant();
    }
}

bool DatasetModel::canEdit(const Field *f) const
{
    return f && !m_readOnly && !f->ReadOnly() && m_ds && m_ds->CanModify();
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags fl = QAbstractTableModel::flags(index);
    Field *f = FieldOfColumn(index.column());
    if (!canEdit(f))
        return fl;
    // A boolean is toggled, not typed: no editor with "true"/"false".
    if (f->DataType() == FieldType::Boolean)
        fl |= Qt::ItemIsUserCheckable;
    else
        fl |= Qt::ItemIsEditable;
    return fl;
}

bool DatasetModel::setData(const QModelIndex &index, const QVariant &v, int role)
{
    if ((role != Qt::EditRole && role != Qt::CheckStateRole) || !index.isValid() || !m_ds || !m_ds->Active())
        return false;
    Field *f = FieldOfColumn(index.column());
    if (!canEdit(f))
        return false;
    QVariant value = v;
    if (role == Qt::CheckStateRole) {
        if (f->DataType() != FieldType::Boolean)
            return false;
        const int state = v.metaType() == QMetaType::fromType<Qt::CheckState>() ? int(v.value<Qt::CheckState>())
                                                                              : v.toInt();
        value = state == Qt::Checked;
    }
    const int row = index.row();
    const Dataset::State st = m_ds->GetState();
    const bool onRow = (st == Dataset::State::Insert && row == m_ds->InsertIndex())
                       || (st == Dataset::State::Edit && row == m_ds->RecNo() - 1);
    bool entered = false;
    try {
        if (!onRow) {
            m_ds->CheckBrowseMode();
            if (row >= m_ds->RecordCount())
                return false;
            m_ds->SetRecNo(row + 1);
            m_ds->Edit();
            entered = true;
        }
        f->SetValue(value);
    } catch (const DatasetError &e) {
        // A value that does not fit changes nothing.
        m_lastError = e.message();
        if (entered)
            m_ds->Cancel();
        emit editFailed(m_lastError);
        return false;
    }
    try {
        m_ds->Post();
    } catch (const DatasetError &e) {
        // The row stays in edit mode with what was typed (post or cancel
        // it through the navigator).
        m_lastError = e.message();
        emit editFailed(m_lastError);
        return false;
    }
    m_lastError.clear();
    return true;
}

} // namespace mv
