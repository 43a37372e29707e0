#pragma once
// The data grid of every list window: rows in two colours by record
// number, the selected row highlighted, text aligned per column, memo fields
// as their first line and picture fields as a scaled picture.

#include "data/GridLayout.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

namespace mv {

class Dataset;
class DatasetModel;
class Field;
class TDBBGrid;

// The grid's columns over the dataset's model: column i shows the field
// of Columns()[i] (a field may appear twice).
class TGridColumnsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TGridColumnsModel(TDBBGrid *grid);
    void SetSource(QAbstractItemModel *source);
    QAbstractItemModel *Source() const { return m_source; }
    // Source column of grid column c (-1 when the field is unknown).
    int SourceColumn(int c) const;
    // The dataset field behind grid column c (null when unknown).
    Field *FieldOf(int c) const;
    // The field's value in its value form (memo text, picture bytes).
    QVariant RawValue(const QModelIndex &index) const;
    void ColumnsChanged();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    void remap();
    TDBBGrid *m_grid;
    QPointer<QAbstractItemModel> m_source;
    QVector<int> m_map;
};

class TDBBGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TDBBGridDelegate(TDBBGrid *grid);
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Boolean cells toggle on a click or the space bar.
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    QRect checkRect(const QStyleOptionViewItem &opt) const;
    TDBBGrid *m_grid;
};

class TDBBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBBGrid(QWidget *parent = nullptr);

    // Shows a dataset through a model of its own.
    void SetDataSet(Dataset *ds);
    // The dataset and a model that shows it: a DatasetModel, or any table
    // model whose columns are the fields in order.
    void SetDataSource(Dataset *ds, QAbstractItemModel *model);
    Dataset *DataSet() const { return m_ds; }
    QAbstractItemModel *SourceModel() const { return m_columns->Source(); }
    TGridColumnsModel *ColumnsModel() const { return m_columns; }

    // --- the column collection
    const QVector<GridColumnLayout> &Columns() const { return m_cols; }
    GridColumnLayout &Column(int i) { return m_cols[i]; }
    void SetColumns(const QVector<GridColumnLayout> &cols);
    // Columns set by a window or a layout, as opposed to one per field.
    bool Customised() const { return m_customised; }
    void SetCustomised(bool on);
    void AddColumn(const QString &fieldName);
    void RemoveColumn(int i);
    void ClearColumns();
    void SwapColumns(int a, int b);
    // Push column changes (width, fonts, alignment) to the view.
    void ColumnsChanged();
    // Widens every column whose title would be cut to the title's width.
    void FitColumnsToTitles();
    // Width the grid needs to show every visible column side by side
    // (row header, frame and a vertical scroll bar included).
    int FullWidth() const;

    // --- own properties
    qint32 ColorL() const { return m_colorL; }
    qint32 ColorH() const { return m_colorH; }
    qint32 ColorI() const { return m_colorI; }
    bool TwoColor() const { return m_twoColor; }
    void SetColorL(qint32 c);
    void SetColorH(qint32 c);
    void SetColorI(qint32 c);
    void SetTwoColor(bool on);
    bool AutoDisp_Image = true;
    bool AutoDisp_Memo = true;
    // The grid's own colour and font colour (Windows colour integers).
    qint32 Color() const { return m_color; }
    void SetColor(qint32 c);
    qint32 FontColor() const { return m_fontColor; }
    void SetFontColor(qint32 c);

    // The window's own cell painting, run before the background rule; it
    // may change the option's text colour (as the article list does).
    std::function<void(QStyleOptionViewItem &option, int row, int column)> OnDrawColumnCell;

    // Record number of a row (1-based; -1 unknown).
    int RecordNumber(int row) const;
    // What a cell shows (memo first line with "..." cut to width, or the
    // display text).
    QString CellText(const QModelIndex &index, int width, const QFontMetrics &fm) const;
    // Background the rule gives a row (for an unselected cell).
    QColor RowBackground(int row) const;

private:
    friend class TDBBGridDelegate;
    void defaultColumns();

    Dataset *m_ds = nullptr;
    DatasetModel *m_ownModel = nullptr;
    QMetaObject::Connection m_resetConn, m_cursorConn;
    bool m_syncing = false;
    TGridColumnsModel *m_columns;
    QVector<GridColumnLayout> m_cols;
    bool m_customised = false;
    qint32 m_colorL = WinColor::clWindow, m_colorH = WinColor::clInfoBk, m_colorI = WinColor::clWindow;
    qint32 m_color = WinColor::clWindow, m_fontColor = WinColor::clWindowText;
    bool m_twoColor = true;
};

} // namespace mv
