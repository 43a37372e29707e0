#pragma once
// The window every master-data editor is made of: its table files (opened
// with the take-over of older files when shown, written when closed), the
// navigator bars, the grids with the picture choice on their ellipsis
// columns, and the field editors. A subclass states only its fields,
// columns, panels and differences.

#include "data/GridLayout.h"
#include "masterdata/MasterLayouts.h"

#include <QPointer>
#include <QVector>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace mv {

class TableFile;
class TDBBGrid;
class TDBCheckBox;
class TDBEdit;
class TDBMemo;
class TDBNavigator;

class TMasterEditor : public QWidget {
    Q_OBJECT
public:
    ~TMasterEditor() override;

    // The open editor whose main table is this file (full path), if any.
    static TMasterEditor *OpenEditorFor(const QString &path);
    // Brings that editor to the front; false when there is none.
    static bool BringToFront(const QString &path);

    // Full path of the main table's file (folder as given at creation).
    QString FileName() const;
    TableFile *Table(int i = 0) const;
    int TableCount() const { return int(m_tables.size()); }

    // Opens the tables (runs once, on the first show at the latest).
    void FormShow();
    bool Opened() const { return m_opened; }
    // Writes the tables and closes them. False when a row cannot be
    // posted or a file cannot be written: the user was told, the tables
    // stay open and so does the window.
    bool FormClose();
    // "OK": closes the window.
    void BitBtn1Click();
    // The picture choice on the current cell of the grid.
    void DBGrid1EditButtonClick(TDBBGrid *grid);

    // The picture dialog: the current value in, the chosen file out ("" =
    // cancelled). Tests replace it.
    std::function<QString(QWidget *parent, const QString &current)> ChoosePicture;

    // The "…" button on the current cell of an ellipsis column.
    QToolButton *EllipsisButton(TDBBGrid *grid) const;

signals:
    void tablesOpened();

protected:
    // dir: program folder; empty = the settings' ExeDir.
    TMasterEditor(const QString &name, const QString &caption, const QString &dir, QWidget *parent);

    // Declares a table (the first is the main one). saveAlways: written
    // on every close; otherwise only when changed or missing.
    TableFile *AddTable(const MasterTableDef &def, bool saveAlways = true);
    // After the tables are open (links between tables).
    virtual void TablesOpened() {}

    // --- building blocks
    TDBNavigator *MakeNavigator(const QString &name, TableFile *table);
    QPushButton *MakeButton(const QString &name, const QString &caption, const QString &hint = QString());
    // The top row of the one-table editors: navigator, with takeOver given
    // "Daten aus Warenwirtschaft holen" (BitBtn2, returned there), and OK.
    QHBoxLayout *MakeTopBar(TableFile *table, QPushButton **takeOver = nullptr);
    // The right end of a top row: space, then OK (BitBtn1).
    void AddOkButton(QHBoxLayout *top);
    TDBBGrid *MakeGrid(const QString &name, TableFile *table, const QVector<GridColumnLayout> &columns,
                       const QStringList &ellipsisFields = {});
    TDBEdit *MakeEdit(const QString &name, TableFile *table, const QString &field, const QString &hint = QString());
    TDBMemo *MakeMemo(const QString &name, TableFile *table, const QString &field);
    TDBCheckBox *MakeCheckBox(const QString &name, const QString &caption, TableFile *table, const QString &field,
                              const QString &checked = QString(), const QString &unchecked = QString(),
                              const QString &hint = QString());
    static GridColumnLayout Col(const QString &field, const QString &title = QString(), int width = 100,
                                bool visible = true, bool readOnly = false);
    // The window's first size: at least `size`, and wide enough that the
    // grid, which spans the window, shows every column.
    void ResizeToShow(TDBBGrid *grid, const QSize &size);
    // A label pair ("Versandkosten" over "(normal)") beside an edit.
    QWidget *LabeledEdit(const QString &label, const QString &label2, QWidget *edit);

    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    struct TableEntry {
        MasterTableDef def;
        TableFile *table;
        bool saveAlways;
    };
    struct EllipsisGrid {
        QPointer<TDBBGrid> grid;
        QStringList fields;
        QToolButton *button;
    };
    void flushEdits(TableFile *table);
    void placeEllipsis(EllipsisGrid &e);

    QString m_dir;
    QVector<TableEntry> m_tables;
    QVector<EllipsisGrid> m_ellipsis;
    bool m_opened = false;
};

} // namespace mv
