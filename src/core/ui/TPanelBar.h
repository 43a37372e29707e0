#pragma once
// A navigation bar of collapsible panels holding large-icon items; one
// panel is open at a time. Used by the main window's navigation and the
// assistant's step bar.

#include <QColor>
#include <QIcon>
#include <QVector>
#include <QWidget>

class QToolButton;
class QVBoxLayout;

namespace mv {

class TPanelBar : public QWidget {
    Q_OBJECT
public:
    explicit TPanelBar(QWidget *parent = nullptr);

    int AddPanel(const QString &caption);
    // name: what the item stands for (an action or step name); it is also
    // the item's objectName.
    QToolButton *AddItem(int panel, const QString &caption, const QString &hint,
                         const QString &name, const QIcon &icon = QIcon());

    int PanelCount() const { return int(m_panels.size()); }
    int ItemCount(int panel) const;
    QToolButton *Item(int panel, int item) const;
    QString ItemName(int panel, int item) const;
    QToolButton *PanelHeader(int panel) const;

    // The open (top) panel; out-of-range indexes are ignored.
    int OpenPanel() const { return m_open; }
    void SetOpenPanel(int panel);

    // Image list for items shown by state (assistant): index -> icon.
    void SetImages(const QVector<QIcon> &images) { m_images = images; }
    int ImageIndex(int panel, int item) const;
    void SetImageIndex(int panel, int item, int index);

    // Gradient end colour of a panel's caption bar.
    QColor GradientEnd(int panel) const;
    void SetGradientEnd(int panel, const QColor &c);

    void SetItemSize(QSize iconSize, int minHeight);

    // Wide enough for every panel's items, open or not, so that opening
    // another panel never cuts a caption off.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

signals:
    void ItemClicked(int panel, int item);
    void OpenPanelChanged(int panel);

private:
    struct Item_ {
        QToolButton *button;
        QString name;
        int image = -1;
    };
    struct Panel {
        QToolButton *header;
        QWidget *body;
        QVBoxLayout *layout;
        QVector<Item_> items;
        QColor end;
    };
    void styleHeader(int panel);
    void fitHeight(QToolButton *b);

    QVector<Panel> m_panels;
    QVector<QIcon> m_images;
    QVBoxLayout *m_layout;
    int m_open = -1;
    QSize m_iconSize{32, 32};
    int m_itemHeight = 56;
};

} // namespace mv
