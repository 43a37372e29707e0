#include "masterdata/ui/TFM_Versandmodul.h"

#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TCollapsePanel.h"
#include "masterdata/ui/TDBNavigator.h"
#include "data/ui/TDBBGrid.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv {

TFM_Versandmodul::TFM_Versandmodul(const QString &dir, QWidget *parent)
    : TMasterEditor(QStringLiteral("FM_Versandmodul"), QStringLiteral("Versandkosten bearbeiten"), dir, parent)
{
    TableFile *t = AddTable(VersandkostenTable());
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(MakeTopBar(t));

    DBGrid1 = MakeGrid(QStringLiteral("DBGrid1"), t,
                       {Col("versender", "Versender", 160), Col("volumen", "Volumen", 70, false),
                        Col("gewicht", "Gewicht", 80), Col("preis", "Preis", 80),
                        Col("preis_ausland", "Auslandspreis", 100), Col("Land", QStringLiteral("für Land"), 100)});
    lay->addWidget(DBGrid1, 1);

    auto *panel = new TCollapsePanel(QStringLiteral("Einstellungen"), this);
    panel->setObjectName(QStringLiteral("PA_Einstellungen"));
    auto *g = new QGridLayout(panel->Content());
    g->addWidget(LabeledEdit(QStringLiteral("Versandkosten"), QStringLiteral("(normal)"),
                             MakeEdit(QStringLiteral("ED_preis"), t, QStringLiteral("preis"))), 0, 0);
    g->addWidget(LabeledEdit(QStringLiteral("Versandkosten"), QStringLiteral("(Ausland)"),
                             MakeEdit(QStringLiteral("ED_preis_ausland"), t, QStringLiteral("preis_ausland"))), 0, 1);
    g->addWidget(LabeledEdit(QStringLiteral("Gewicht"), QString(),
                             MakeEdit(QStringLiteral("ED_gewicht"), t, QStringLiteral("gewicht"))), 1, 0);
    g->addWidget(LabeledEdit(QStringLiteral("für Land"), QString(),
                             MakeEdit(QStringLiteral("ED_Land"), t, QStringLiteral("Land"),
                                      QStringLiteral("diese Einstellung gibt nur für das angegebe Land,\n"
                                                     "die Landangabe mit mit der Ländereinstellung übereinstimmen!\n\n"
                                                     "keine Angabe = alle nicht definierten anderen Länder\n"))),
                 1, 1);
    lay->addWidget(panel);
    resize(700, 460);
}

} // namespace mv
