#pragma once
// A Qt item model over any dataset: one column per visible field (title =
// DisplayLabel or field name), texts through the fields' display formats,
// edits through the dataset's state machine. Rows are read by position
// without moving the dataset's cursor, so large tables stay fast.

#include "data/Dataset.h"

#include <QAbstractTableModel>
#include <QPointer>

namespace mv {

class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The field value in its value form (any column).
    static constexpr int ValueRole = Qt::UserRole + 1;
    // The field index behind a column.
    static constexpr int FieldIndexRole = Qt::UserRole + 2;

    explicit DatasetModel(Dataset *ds = nullptr, QObject *parent = nullptr);

    void SetDataset(Dataset *ds);
    Dataset *GetDataset() const { return m_ds; }
    // No edits through the view at all.
    void SetReadOnly(bool ro) { m_readOnly = ro; }
    bool ReadOnly() const { return m_readOnly; }

    // Column of a field (-1 when hidden or missing) and field of a column.
    int ColumnOfField(const QString &name) const;
    Field *FieldOfColumn(int column) const;
    // Re-reads the column list (after changing Visible or DisplayLabel).
    void RefreshColumns();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Moves to the row, Edit, sets the value from text (or a bool; a
    // boolean field also through CheckStateRole), Post.
    // On failure the edit is cancelled, false returned and editFailed sent.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    QString LastError() const { return m_lastError; }

signals:
    void editFailed(const QString &message);
    // The dataset's cursor moved to this row (0-based; -1 none).
    void currentRowChanged(int row);

private:
    void onReset();
    void onRowChanged(int recNo);
    void invalidate() { m_cacheRow = -1; }
    bool canEdit(const Field *f) const;
    const QVector<QVariant> &rowValues(int row) const;

    QPointer<Dataset> m_ds;
    QVector<int> m_columns;  // column -> field index
    bool m_readOnly = false;
    QString m_lastError;
    QList<QMetaObject::Connection> m_conns;
    mutable int m_cacheRow = -1;
    mutable QVector<QVariant> m_cache;
};

} // namespace mv
