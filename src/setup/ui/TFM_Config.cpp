#include "setup/ui/TFM_Config.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace mv {

TFM_Config::TFM_Config(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FM_Config"));
    setWindowTitle(QStringLiteral("Shopkonfiguration"));
    setAttribute(Qt::WA_DeleteOnClose);

    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    BitBtn3 = new QPushButton(ThemeIcon(QStringLiteral("view-refresh")), QString());
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setToolTip(QStringLiteral("Daten nochmals auslesen\n\n(Rückgängig)"));
    auto *top = new QHBoxLayout(Panel1);
    top->addStretch();
    top->addWidget(BitBtn3); // centred, as the panel keeps it
    top->addStretch();

    StringGrid1 = new QTableWidget(0, 3);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("Schlüssel"), QStringLiteral("Wert"), QStringLiteral("Bemerkung")});
    StringGrid1->setColumnWidth(0, 200);
    StringGrid1->setColumnWidth(1, 231);
    StringGrid1->setColumnWidth(2, 200);
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->verticalHeader()->setVisible(false);

    BitBtn1 = new QPushButton(ThemeIcon(QStringLiteral("dialog-ok")), QStringLiteral("OK"));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2 = new QPushButton(ThemeIcon(QStringLiteral("dialog-cancel")), QStringLiteral("Abbruch"));
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addWidget(Panel1);
    v->addWidget(StringGrid1, 1);
    v->addLayout(buttons);
    resize(680, 480);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(true); });
    connect(BitBtn2, &QPushButton::clicked, this, &TFM_Config::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TFM_Config::BitBtn3Click);
}

void TFM_Config::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        BitBtn3Click();
    }
}

bool TFM_Config::LoadConfigIntoGrid(QTableWidget *grid, const QString &file, QVector<ConfigRow> &rows)
{
    QVector<ConfigRow> read;
    if (!ShopConfigFile::Read(file, read) || read.isEmpty())
        return false;
    rows = read;
    grid->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const ConfigRow &r = rows.at(i);
        auto *k = new QTableWidgetItem(r.key);
        k->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        auto *val = new QTableWidgetItem(r.value);
        auto *rem = new QTableWidgetItem(r.remark);
        if (r.raw || (!r.assignment && !r.key.isEmpty())) {
            // Code, "<?php" and "?>" stay as they are.
            val->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            rem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        }
        if (r.raw)
            k->setForeground(grid->palette().color(QPalette::Disabled, QPalette::Text));
        else if (!r.assignment)
            val->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(i, 0, k);
        grid->setItem(i, 1, val);
        grid->setItem(i, 2, rem);
    }
    return true;
}

void TFM_Config::BitBtn3Click()
{
    if (QFileInfo::exists(ShopConfigFile::TemplatePath()) && QFileInfo::exists(ShopConfigFile::PhpPath())) {
        setWindowTitle(QStringLiteral("Bitte warten es wird das Update ausgeführt ..."));
        Ui().ProcessEvents();
    }
    ShopConfigFile::TemplateUpdate(); // a failure leaves the file as it stands
    LoadConfigIntoGrid(StringGrid1, ShopConfigFile::PhpPath(), m_rows);
}

bool TFM_Config::BitBtn1Click(bool sender)
{
    QVector<ConfigRow> rows = m_rows;
    for (int i = 0; i < rows.size() && i < StringGrid1->rowCount(); ++i) {
        if (rows[i].raw)
            continue;
        if (QTableWidgetItem *v = StringGrid1->item(i, 1))
            rows[i].value = v->text();
        if (QTableWidgetItem *r = StringGrid1->item(i, 2))
            rows[i].remark = r->text();
    }
    QString error;
    if (!ShopConfigFile::Write(ShopConfigFile::PhpPath(), rows, &error)) {
        Ui().ShowMessage(error, UiHooks::Icon::Error);
        return false;
    }
    m_rows = rows;
    if (sender)
        close();
    return true;
}

void TFM_Config::BitBtn2Click()
{
    close();
}

} // namespace mv
