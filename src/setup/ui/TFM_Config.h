#pragma once
// "Shopkonfiguration": config.php as a table of key, value and remark;
// OK writes it back, the round button reads it again. Lines the editor
// does not understand are shown greyed and kept as they are.

#include "setup/ShopConfigFile.h"

#include <QWidget>

class QPushButton;
class QTableWidget;
class QWidget;

namespace mv {

class TFM_Config : public QWidget {
    Q_OBJECT
public:
    explicit TFM_Config(QWidget *parent = nullptr);

    QWidget *Panel1;
    QTableWidget *StringGrid1;
    QPushButton *BitBtn1, *BitBtn2, *BitBtn3;

    // Template update when due, then config.php into the grid.
    void BitBtn3Click();
    // Grid into config.php; with sender also closes. false when writing failed.
    bool BitBtn1Click(bool sender);
    void BitBtn2Click();
    // Reads a file into a grid; the grid stays when the file is unreadable.
    static bool LoadConfigIntoGrid(QTableWidget *grid, const QString &file, QVector<ConfigRow> &rows);

    const QVector<ConfigRow> &Rows() const { return m_rows; }

protected:
    void showEvent(QShowEvent *e) override;

private:
    QVector<ConfigRow> m_rows;
    bool m_shown = false;
};

} // namespace mv
