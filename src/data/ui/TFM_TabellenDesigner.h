#pragma once
// The column designer: which fields the grid shows, in which order, how
// wide, aligned and titled, and the row colours.

#include <QDialog>
#include <QFrame>
#include <QPointer>

#include "data/GridLayout.h"

#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace mv {

class TDBBGrid;

// A coloured rectangle that reports clicks.
class TShape : public QFrame {
    Q_OBJECT
public:
    explicit TShape(QWidget *parent = nullptr);
    QColor Brush() const { return m_color; }
    void SetBrush(const QColor &c);
signals:
    void clicked();
protected:
    void mousePressEvent(QMouseEvent *) override { emit clicked(); }
private:
    QColor m_color;
};

class TFM_TabellenDesigner : public QDialog {
    Q_OBJECT
public:
    // colorList null: no colour part.
    TFM_TabellenDesigner(TDBBGrid *grid, const QString &layoutPath, bool autosave,
                         QStringList *colorList, QWidget *parent = nullptr);

    // Where the backup of the layout goes (system temporary path).
    static QString BackupPath();

    bool SaveLayout(const QString &path);
    void LoadLayout(const QString &path);
    void StoreColors();

    // Colour and font choosers (dialogs by default; replaceable in tests).
    std::function<std::optional<QColor>(const QColor &)> PickColor;
    std::function<std::optional<QFont>(const QFont &)> PickFont;

    QListWidget *LB_DataSet, *LB_Colum;
    QGroupBox *GroupBox2, *GroupBox3, *GB_Feld, *GB_Colors;
    QWidget *Panel6;
    QLineEdit *Ed_Breite, *Ed_Titel;
    QToolButton *Sb_Left, *Sb_Center, *Sb_Right, *Sb_TLeft, *Sb_TCenter, *Sb_TRight;
    QCheckBox *CheckBox1;
    TShape *Shape1, *Shape2, *Shape3, *Shape4;
    QLabel *Label8, *Label9;
    QPushButton *BitBtn1, *BitBtn2;
    QAction *Action1, *Action2, *Action3, *Action4, *Action5, *Action6;
    QAction *Act_Schriftart, *Act_TSchriftart, *Act_Left, *Act_Center, *Act_Right,
        *Act_TLeft, *Act_TCenter, *Act_TRight, *Act_OK;

    int SelectedColumn() const;
    void SelectColumn(int i);

public slots:
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent *e) override;

private:
    QAction *action(const char *name, const QString &hint, const char *icon = "");
    void fillLists();
    void showColumn();
    void setFontColor(const QColor &c);
    void setAlignment(bool title, int align);

    QPointer<TDBBGrid> m_grid;
    QString m_path;
    bool m_autosave;
    QStringList *m_colors;
    QString m_tempDir;
    QColor m_fontColor;
    bool m_backupOk = false;
    QVector<GridColumnLayout> m_backupCols;
    QStringList m_backupColors;
};

} // namespace mv
