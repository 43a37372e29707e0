#include "masterdata/ui/TFM_Laender.h"

#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TCollapsePanel.h"
#include "masterdata/ui/TDBNavigator.h"
#include "data/ui/TDBBGrid.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv {

TFM_Laender::TFM_Laender(const QString &dir, QWidget *parent)
    : TMasterEditor(QStringLiteral("FM_Laender"), QStringLiteral("Länder einstellen"), dir, parent)
{
    TableFile *t = AddTable(LaenderTable());
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(MakeTopBar(t));

    DBGrid1 = MakeGrid(QStringLiteral("DBGrid1"), t,
                       {Col("laendername", QStringLiteral("Ländername"), 150), Col("isolaendercode", "ISO-Land-Code", 90),
                        Col("eu", "Ausland", 60), Col("egident", "EU-Land", 60), Col("sprache", "Sprache", 90),
                        Col("waerungsname", QStringLiteral("Währungsname"), 110), Col("kurs", "Kurs", 70),
                        Col("fahne", "Fahne (Bild)", 220)},
                       {QStringLiteral("fahne")});
    lay->addWidget(DBGrid1, 1);

    auto *panel = new TCollapsePanel(QStringLiteral("Einstellungen"), this);
    panel->setObjectName(QStringLiteral("PA_Einstellungen"));
    auto *pl = new QVBoxLayout(panel->Content());
    pl->addWidget(MakeCheckBox(QStringLiteral("DBCheckBox1"), QStringLiteral("Versandkosten für Ausland"), t,
                               QStringLiteral("eu"), QStringLiteral("1"), QStringLiteral("0"),
                               QStringLiteral("Es sollen Auslandsversandkosten berechnet werden")));
    pl->addWidget(MakeCheckBox(QStringLiteral("DBCheckBox2"), QStringLiteral("Land der EU"), t,
                               QStringLiteral("egident"), QStringLiteral("1"), QStringLiteral("0"),
                               QStringLiteral("Wenn Ihre Firma den Steuersitz in der EU hat und\n"
                                              "dieses Land zur EU gehört!")));
    lay->addWidget(panel);
    ResizeToShow(DBGrid1, QSize(820, 480));
}

} // namespace mv
