#pragma once
// A panel with a caption bar that folds its content away and back.

#include <QWidget>

class QToolButton;

namespace mv {

class TCollapsePanel : public QWidget {
    Q_OBJECT
public:
    explicit TCollapsePanel(const QString &caption, QWidget *parent = nullptr);
    QWidget *Content() const { return m_content; }
    QToolButton *Header() const { return m_header; }
    bool Collapsed() const;
    void SetCollapsed(bool on);

private:
    QToolButton *m_header;
    QWidget *m_content;
};

} // namespace mv
