#include "data/ui/TFM_TabellenDesigner.h"

#include "data/GridLayout.h"
#include "data/ui/TDBBGrid.h"
#include "data/ui/TDBGridDesigner.h"
#include "data/ui/WinColors.h"
#include "core/ui/Icons.h"
#include "data/Dataset.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

TShape::TShape(QWidget *parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setMinimumSize(48, 22);
    setCursor(Qt::PointingHandCursor);
}

void TShape::SetBrush(const QColor &c)
{
    m_color = c;
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    setPalette(p);
}

QString TFM_TabellenDesigner::BackupPath()
{
    return QDir::tempPath() + QStringLiteral("/TBLOLD.TMP");
}

QAction *TFM_TabellenDesigner::action(const char *name, const QString &hint, const char *icon)
{
    auto *a = new QAction(hint, this);
    a->setObjectName(QString::fromUtf8(name));
    // The caption's "&" marks the shortcut letter; a tooltip shows it literally.
    QString tip;
    for (qsizetype i = 0; i < hint.size(); ++i) {
        if (hint.at(i) == QLatin1Char('&') && i + 1 < hint.size())
            ++i;
        tip += hint.at(i);
    }
    a->setToolTip(tip);
    if (*icon)
        a->setIcon(ThemeIcon(QString::fromUtf8(icon)));
    return a;
}

TFM_TabellenDesigner::TFM_TabellenDesigner(TDBBGrid *grid, const QString &layoutPath, bool autosave,
                                           QStringList *colorList, QWidget *parent)
    : QDialog(parent), m_grid(grid), m_path(layoutPath), m_autosave(autosave), m_colors(colorList)
{
    setObjectName(QStringLiteral("FM_TabellenDesigner"));
    setWindowTitle(QStringLiteral("Tabellen - Designer"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_tempDir = QDir::tempPath() + QLatin1Char('/');

    PickColor = [this](const QColor &c) -> std::optional<QColor> {
        const QColor r = QColorDialog::getColor(c, this);
        return r.isValid() ? std::optional<QColor>(r) : std::nullopt;
    };
    PickFont = [this](const QFont &f) -> std::optional<QFont> {
        bool ok = false;
        const QFont r = QFontDialog::getFont(&ok, f, this);
        return ok ? std::optional<QFont>(r) : std::nullopt;
    };

    Action3 = action("Action3", QStringLiteral("Feld hinzufügen"), "go-next");
    Action4 = action("Action4", QStringLiteral("alle Felder hinzufügen"), "list-add");
    Action2 = action("Action2", QStringLiteral("Feld entfernen"), "go-previous");
    Action1 = action("Action1", QStringLiteral("alle Felder entfernen"), "list-remove");
    Action6 = action("Action6", QStringLiteral("nach unten"), "go-down");
    Action5 = action("Action5", QStringLiteral("nach oben"), "go-up");
    Act_OK = action("Act_OK", QStringLiteral("Feldeinstellungen speichern"), "dialog-ok");
    Act_Schriftart = action("Act_Schriftart", QStringLiteral("&Schriftart wählen"), "preferences-desktop-font");
    Act_TSchriftart = action("Act_TSchriftart", QStringLiteral("&Schriftart wählen"), "preferences-desktop-font");
    Act_Left = action("Act_Left", QStringLiteral("Linksbündig"), "format-justify-left");
    Act_Center = action("Act_Center", QStringLiteral("Zentriert"), "format-justify-center");
    Act_Right = action("Act_Right", QStringLiteral("Rechtsbündig"), "format-justify-right");
    Act_TLeft = action("Act_TLeft", QStringLiteral("Linksbündig"), "format-justify-left");
    Act_TCenter = action("Act_TCenter", QStringLiteral("Zentriert"), "format-justify-center");
    Act_TRight = action("Act_TRight", QStringLiteral("Rechtsbündig"), "format-justify-right");
    for (QAction *a : {Act_Left, Act_Center, Act_Right, Act_TLeft, Act_TCenter, Act_TRight})
        a->setCheckable(true);

    auto toolFor = [this](QAction *a, const char *name, bool textToo = false) {
        auto *b = new QToolButton(this);
        b->setDefaultAction(a);
        if (*name)
            b->setObjectName(QString::fromUtf8(name));
        b->setToolButtonStyle(textToo ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
        return b;
    };

    // Lists
    GroupBox2 = new QGroupBox(QStringLiteral("verfügbare Felder"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    LB_DataSet = new QListWidget(GroupBox2);
    LB_DataSet->setObjectName(QStringLiteral("LB_DataSet"));
    LB_DataSet->setToolTip(QStringLiteral("Liste der verfügbaren Felder"));
    (new QVBoxLayout(GroupBox2))->addWidget(LB_DataSet);
    GroupBox3 = new QGroupBox(QStringLiteral("sichtbare Felder"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    LB_Colum = new QListWidget(GroupBox3);
    LB_Colum->setObjectName(QStringLiteral("LB_Colum"));
    LB_Colum->setToolTip(QStringLiteral("Liste der angezeigten Felder"));
    (new QVBoxLayout(GroupBox3))->addWidget(LB_Colum);
    auto *mid = new QVBoxLayout;
    mid->addStretch();
    for (QAction *a : {Action3, Action4, Action2, Action1})
        mid->addWidget(toolFor(a, ""));
    mid->addStretch();
    auto *lists = new QHBoxLayout;
    lists->addWidget(GroupBox2, 1);
    lists->addLayout(mid);
    lists->addWidget(GroupBox3, 1);

    // Field settings
    GB_Feld = new QGroupBox(this);
    GB_Feld->setObjectName(QStringLiteral("GB_Feld"));
    auto *g = new QGridLayout(GB_Feld);
    g->addWidget(new QLabel(QStringLiteral("Daten:"), GB_Feld), 0, 0);
    g->addWidget(toolFor(Act_Schriftart, "", true), 0, 1);
    Sb_Left = toolFor(Act_Left, "Sb_Left");
    Sb_Center = toolFor(Act_Center, "Sb_Center");
    Sb_Right = toolFor(Act_Right, "Sb_Right");
    auto *al = new QHBoxLayout;
    al->addWidget(Sb_Left);
    al->addWidget(Sb_Center);
    al->addWidget(Sb_Right);
    g->addLayout(al, 0, 2);
    g->addWidget(new QLabel(QStringLiteral("Breite:"), GB_Feld), 0, 3);
    Ed_Breite = new QLineEdit(GB_Feld);
    Ed_Breite->setObjectName(QStringLiteral("Ed_Breite"));
    Ed_Breite->setToolTip(QStringLiteral("Breite der Spalte in Pixeln"));
    Ed_Breite->setMaximumWidth(70);
    g->addWidget(Ed_Breite, 0, 4);
    g->addWidget(new QLabel(QStringLiteral("[Pixel]"), GB_Feld), 0, 5);
    auto *moves = new QHBoxLayout;
    moves->addWidget(toolFor(Action6, "", true));
    moves->addWidget(toolFor(Action5, "", true));
    moves->addStretch();
    moves->addWidget(toolFor(Act_OK, "", true));
    g->addLayout(moves, 1, 0, 1, 6);
    g->addWidget(new QLabel(QStringLiteral("Titelzeile:"), GB_Feld), 2, 0);
    Ed_Titel = new QLineEdit(GB_Feld);
    Ed_Titel->setObjectName(QStringLiteral("Ed_Titel"));
    Ed_Titel->setToolTip(QStringLiteral("Titelbeschriftung"));
    g->addWidget(Ed_Titel, 2, 1);
    auto *tl = new QHBoxLayout;
    tl->addWidget(toolFor(Act_TSchriftart, "", true));
    Sb_TLeft = toolFor(Act_TLeft, "Sb_TLeft");
    Sb_TCenter = toolFor(Act_TCenter, "Sb_TCenter");
    Sb_TRight = toolFor(Act_TRight, "Sb_TRight");
    tl->addWidget(Sb_TLeft);
    tl->addWidget(Sb_TCenter);
    tl->addWidget(Sb_TRight);
    g->addLayout(tl, 2, 2, 1, 4);

    // Colours
    Panel6 = new QWidget(this);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    GB_Colors = new QGroupBox(QStringLiteral("Farbeinstellungen"), Panel6);
    GB_Colors->setObjectName(QStringLiteral("GB_Colors"));
    (new QVBoxLayout(Panel6))->addWidget(GB_Colors);
    auto *cg = new QGridLayout(GB_Colors);
    CheckBox1 = new QCheckBox(QStringLiteral("Zebramuster ein"), GB_Colors);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    cg->addWidget(CheckBox1, 0, 0, 1, 2);
    auto shape = [this](const char *name) {
        auto *s = new TShape(GB_Colors);
        s->setObjectName(QString::fromUtf8(name));
        return s;
    };
    Shape1 = shape("Shape1");
    Shape2 = shape("Shape2");
    Shape3 = shape("Shape3");
    Shape4 = shape("Shape4");
    cg->addWidget(new QLabel(QStringLiteral("1. Farbe"), GB_Colors), 1, 0);
    cg->addWidget(Shape1, 1, 1);
    cg->addWidget(new QLabel(QStringLiteral("2. Farbe"), GB_Colors), 2, 0);
    cg->addWidget(Shape2, 2, 1);
    cg->addWidget(new QLabel(QStringLiteral("Schriftfarbe"), GB_Colors), 3, 0);
    auto *previews = new QHBoxLayout;
    for (auto [s, name] : {std::pair{Shape3, "Label8"}, std::pair{Shape4, "Label9"}}) {
        auto *l = new QLabel(QStringLiteral("Test"), s);
        l->setObjectName(QString::fromUtf8(name));
        l->setAlignment(Qt::AlignCenter);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        (new QVBoxLayout(s))->addWidget(l);
        previews->addWidget(s);
    }
    Label8 = Shape3->findChild<QLabel *>(QStringLiteral("Label8"));
    Label9 = Shape4->findChild<QLabel *>(QStringLiteral("Label9"));
    cg->addLayout(previews, 3, 1);

    BitBtn1 = new QPushButton(ThemeIcon(QStringLiteral("dialog-ok")), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("speichert die Einstellung ab"));
    BitBtn2 = new QPushButton(ThemeIcon(QStringLiteral("dialog-cancel")), QStringLiteral("Abbruch"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("schließt das Fenster"));
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto *v = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addLayout(lists, 1);
    left->addWidget(GB_Feld);
    top->addLayout(left, 1);
    top->addWidget(Panel6);
    v->addLayout(top, 1);
    v->addLayout(buttons);
    Panel6->setVisible(m_colors != nullptr);
    resize(720, 460);

    // --- behaviour
    connect(BitBtn1, &QPushButton::clicked, this, &TFM_TabellenDesigner::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFM_TabellenDesigner::BitBtn2Click);
    connect(LB_Colum, &QListWidget::currentRowChanged, this, [this] { showColumn(); });
    connect(Act_Left, &QAction::triggered, this, [this] { setAlignment(false, 0); });
    connect(Act_Right, &QAction::triggered, this, [this] { setAlignment(false, 1); });
    connect(Act_Center, &QAction::triggered, this, [this] { setAlignment(false, 2); });
    connect(Act_TLeft, &QAction::triggered, this, [this] { setAlignment(true, 0); });
    connect(Act_TRight, &QAction::triggered, this, [this] { setAlignment(true, 1); });
    connect(Act_TCenter, &QAction::triggered, this, [this] { setAlignment(true, 2); });
    auto fontAction = [this](bool title) {
        const int i = SelectedColumn();
        if (!m_grid || i < 0)
            return;
        GridColumnLayout &c = m_grid->Column(i);
        QFont f = m_grid->font();
        const QString &desc = title ? c.titleFont : c.font;
        if (!desc.isEmpty())
            f.fromString(desc);
        if (auto r = PickFont(f)) {
            (title ? c.titleFont : c.font) = r->toString();
            m_grid->ColumnsChanged();
        }
    };
    connect(Act_Schriftart, &QAction::triggered, this, [fontAction] { fontAction(false); });
    connect(Act_TSchriftart, &QAction::triggered, this, [fontAction] { fontAction(true); });
    connect(Act_OK, &QAction::triggered, this, [this] {
        const int i = SelectedColumn();
        if (!m_grid || i < 0)
            return;
        GridColumnLayout &c = m_grid->Column(i);
        if (!Ed_Titel->text().isEmpty())
            c.titleCaption = Ed_Titel->text();
        bool ok = false;
        const int w = Ed_Breite->text().trimmed().toInt(&ok);
        if (ok && w > 0)
            c.width = w;
        m_grid->ColumnsChanged();
        showColumn();
    });
    connect(Action3, &QAction::triggered, this, [this] {
        if (!m_grid || !LB_DataSet->currentItem())
            return;
        m_grid->AddColumn(LB_DataSet->currentItem()->text());
        LB_Colum->addItem(m_grid->Columns().last().fieldName);
    });
    connect(Action4, &QAction::triggered, this, [this] {
        if (!m_grid)
            return;
        m_grid->ClearColumns();
        for (int i = 0; i < LB_DataSet->count(); ++i)
            m_grid->AddColumn(LB_DataSet->item(i)->text());
        fillLists();
    });
    connect(Action2, &QAction::triggered, this, [this] {
        const int i = SelectedColumn();
        if (!m_grid || i < 0)
            return;
        m_grid->RemoveColumn(i);
        delete LB_Colum->takeItem(i);
    });
    connect(Action1, &QAction::triggered, this, [this] {
        if (!m_grid)
            return;
        m_grid->ClearColumns();
        LB_Colum->clear();
        LB_DataSet->setCurrentRow(-1);
        LB_DataSet->clearSelection();
    });
    auto move = [this](int delta) {
        const int i = SelectedColumn();
        const int j = i + delta;
        if (!m_grid || i < 0 || j < 0 || j >= LB_Colum->count())
            return;
        m_grid->SwapColumns(i, j);
        const QString a = LB_Colum->item(i)->text();
        LB_Colum->item(i)->setText(LB_Colum->item(j)->text());
        LB_Colum->item(j)->setText(a);
        LB_Colum->setCurrentRow(j);
    };
    connect(Action5, &QAction::triggered, this, [move] { move(-1); });
    connect(Action6, &QAction::triggered, this, [move] { move(+1); });
    connect(Shape1, &TShape::clicked, this, [this] {
        if (auto c = PickColor(Shape1->Brush())) {
            Shape1->SetBrush(*c);
            Shape3->SetBrush(*c);
        }
    });
    connect(Shape2, &TShape::clicked, this, [this] {
        if (auto c = PickColor(Shape2->Brush())) {
            Shape2->SetBrush(*c);
            Shape4->SetBrush(*c);
        }
    });
    auto fontColour = [this] {
        // Preset with the first colour, as the previews show it.
        if (auto c = PickColor(Shape3->Brush()))
            setFontColor(*c);
    };
    connect(Shape3, &TShape::clicked, this, fontColour);
    connect(Shape4, &TShape::clicked, this, fontColour);
}

int TFM_TabellenDesigner::SelectedColumn() const
{
    return LB_Colum->currentRow();
}

void TFM_TabellenDesigner::SelectColumn(int i)
{
    LB_Colum->setCurrentRow(i);
    showColumn();
}

bool TFM_TabellenDesigner::SaveLayout(const QString &path)
{
    if (!m_grid)
        return false;
    bool ok = WriteColumnFile(path, m_grid->Columns());
    if (m_colors)
        ok = WriteColorFile(ColorFilePath(path), *m_colors) && ok;
    return ok;
}

void TFM_TabellenDesigner::LoadLayout(const QString &path)
{
    if (m_grid && QFile::exists(path)) {
        QVector<GridColumnLayout> cols;
        if (ReadColumnFile(path, cols))
            m_grid->SetColumns(cols);
    }
    if (m_colors && QFile::exists(ColorFilePath(path)))
        ReadColorFile(ColorFilePath(path), *m_colors);
}

void TFM_TabellenDesigner::StoreColors()
{
    if (m_colors)
        *m_colors = MakeColorList(CheckBox1->isChecked(), FromQColor(Shape1->Brush()),
                                  FromQColor(Shape2->Brush()), FromQColor(m_fontColor));
    SaveLayout(m_path);
}

void TFM_TabellenDesigner::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!m_grid) {
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    // The backup file may belong to another grid when it cannot be written:
    // then the cancel button restores from memory.
    m_backupCols = m_grid->Columns();
    if (m_colors)
        m_backupColors = *m_colors;
    m_backupOk = SaveLayout(BackupPath());
    fillLists();
    SelectColumn(m_grid->Columns().isEmpty() ? -1 : 0);
    if (m_colors) {
        const GridColors c = ParseColorList(*m_colors);
        CheckBox1->setChecked(c.twoColor);
        // A list without a colour keeps the grid's own (a white grid has no
        // Color2 line): the previews show what the grid paints.
        Shape1->SetBrush(ToQColor(c.color1 ? *c.color1 : m_grid->ColorL()));
        Shape2->SetBrush(ToQColor(c.color2 ? *c.color2 : m_grid->ColorH()));
        setFontColor(c.color3 ? ToQColor(*c.color3) : ToQColor(m_grid->FontColor()));
        Shape3->SetBrush(Shape1->Brush());
        Shape4->SetBrush(Shape2->Brush());
    }
    Panel6->setVisible(m_colors != nullptr);
}

void TFM_TabellenDesigner::fillLists()
{
    LB_DataSet->clear();
    LB_Colum->clear();
    if (!m_grid)
        return;
    if (Dataset *ds = m_grid->DataSet())
        LB_DataSet->addItems(ds->FieldNames());
    for (const GridColumnLayout &c : m_grid->Columns())
        LB_Colum->addItem(c.fieldName);
}

void TFM_TabellenDesigner::showColumn()
{
    const int i = SelectedColumn();
    if (!m_grid || i < 0 || i >= m_grid->Columns().size()) {
        GB_Feld->setTitle(QString());
        return;
    }
    const GridColumnLayout &c = m_grid->Columns()[i];
    GB_Feld->setTitle(c.fieldName);
    Ed_Breite->setText(QString::number(c.width));
    Ed_Titel->setText(c.titleCaption.isEmpty() ? c.fieldName : c.titleCaption);
    Act_Left->setChecked(c.alignment == ColumnAlign::Left);
    Act_Right->setChecked(c.alignment == ColumnAlign::Right);
    Act_Center->setChecked(c.alignment == ColumnAlign::Center);
    Act_TLeft->setChecked(c.titleAlignment == ColumnAlign::Left);
    Act_TRight->setChecked(c.titleAlignment == ColumnAlign::Right);
    Act_TCenter->setChecked(c.titleAlignment == ColumnAlign::Center);
}

void TFM_TabellenDesigner::setAlignment(bool title, int align)
{
    const int i = SelectedColumn();
    if (m_grid && i >= 0) {
        const ColumnAlign a = ColumnAlign(align);
        (title ? m_grid->Column(i).titleAlignment : m_grid->Column(i).alignment) = a;
        m_grid->ColumnsChanged();
    }
    showColumn();
}

void TFM_TabellenDesigner::setFontColor(const QColor &c)
{
    m_fontColor = c;
    for (QLabel *l : {Label8, Label9}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, c);
        l->setPalette(p);
    }
}

void TFM_TabellenDesigner::BitBtn1Click()
{
    accept();
    if (!m_path.trimmed().isEmpty() && m_autosave) {
        StoreColors();
        if (m_colors)
            TDBGridDesigner::ApplyColors(m_grid, *m_colors);
    }
}

void TFM_TabellenDesigner::BitBtn2Click()
{
    if (m_backupOk) {
        LoadLayout(BackupPath());
    } else if (m_grid) {
        m_grid->SetColumns(m_backupCols);
        if (m_colors)
            *m_colors = m_backupColors;
    }
    reject();
}

} // namespace mv
