#include "masterdata/ui/TFM_Zahlart.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TCollapsePanel.h"
#include "masterdata/ui/TDBNavigator.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace mv {

TFM_Zahlart::TFM_Zahlart(const QString &dir, const QString &wawiDir, QWidget *parent)
    : TMasterEditor(QStringLiteral("FM_Zahlart"), QStringLiteral("Zahlarten bearbeiten"), dir, parent),
      m_wawiDir(wawiDir)
{
    TableFile *t = AddTable(ZahlartTable());
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(MakeTopBar(t, &BitBtn2));
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    DBGrid1 = MakeGrid(QStringLiteral("DBGrid1"), t,
                       {Col("Zahlungsart", QString(), 80), Col("Online", QString(), 50),
                        Col("NeuKunde", "Neukunden", 70), Col("Art", "Bezeichnung", 140),
                        Col("Bezeichnung_2", "Kundenanzeige", 200), Col("Versandgebuehren", "Versandkosten", 90),
                        Col("Versandgebuehren_ausland", "Versandkosten Ausland", 130), Col("Bankdaten", QString(), 70),
                        Col("Kreditkarte", QString(), 70), Col("Skonto", QString(), 60)});
    lay->addWidget(DBGrid1, 1);

    auto *settings = new TCollapsePanel(QStringLiteral("Einstellungen"), this);
    settings->setObjectName(QStringLiteral("PA_Einstellungen"));
    auto *g = new QGridLayout(settings->Content());
    g->addWidget(MakeCheckBox(QStringLiteral("CB_Online"), QStringLiteral("im Onlineshop"), t, QStringLiteral("Online")), 0, 0);
    g->addWidget(MakeCheckBox(QStringLiteral("CB_OnlineAusland"), QStringLiteral("auch für Ausland"), t,
                              QStringLiteral("OnlineAusland")), 1, 0);
    g->addWidget(MakeCheckBox(QStringLiteral("CB_Kreditkarte"), QStringLiteral("Kreditkarteneingabe"), t,
                              QStringLiteral("Kreditkarte")), 2, 0);
    g->addWidget(MakeCheckBox(QStringLiteral("CB_Bankdaten"), QStringLiteral("Bankdateneingabe"), t,
                              QStringLiteral("Bankdaten")), 3, 0);
    g->addWidget(MakeCheckBox(QStringLiteral("CB_NeuKunde"), QStringLiteral("für Kunden auswählbar (auch Neukunden)"), t,
                              QStringLiteral("NeuKunde"), QStringLiteral("1"), QStringLiteral("0"),
                              QStringLiteral("Diese Zahlart kann der Kunde selbst auswählen")), 4, 0);
    TDBCheckBox *schrift = MakeCheckBox(QStringLiteral("CB_OnlineSchrift"), QStringLiteral("nur schriftlich"), t,
                                        QStringLiteral("OnlineSchrift"));
    schrift->hide();
    g->addWidget(schrift, 5, 0);
    g->addWidget(LabeledEdit(QStringLiteral("Versandkosten"), QStringLiteral("(normal)"),
                             MakeEdit(QStringLiteral("ED_Versandgebuehren"), t, QStringLiteral("Versandgebuehren"))), 0, 1);
    g->addWidget(LabeledEdit(QStringLiteral("Versandkosten"), QStringLiteral("(Ausland)"),
                             MakeEdit(QStringLiteral("ED_Versandgebuehren_ausland"), t,
                                      QStringLiteral("Versandgebuehren_ausland"))), 1, 1);
    g->addWidget(LabeledEdit(QStringLiteral("Skonto"), QStringLiteral("(in %)"),
                             MakeEdit(QStringLiteral("ED_Skonto"), t, QStringLiteral("Skonto"),
                                      QStringLiteral("Skonto wenn diese Zahlart ausgewählt wurde"))), 2, 1);
    lay->addWidget(settings);

    auto *remark = new TCollapsePanel(QStringLiteral("Bemerkung"), this);
    remark->setObjectName(QStringLiteral("PA_Bemerkung"));
    auto *rl = new QVBoxLayout(remark->Content());
    rl->setContentsMargins(0, 0, 0, 0);
    auto *pages = new QTabWidget(remark->Content());
    pages->setObjectName(QStringLiteral("PageControl1"));
    for (int i = 0; i < 5; ++i) {
        const QString n = i == 0 ? QString() : QString::number(i + 1);
        const QString bez2 = i == 0 ? QStringLiteral("Bezeichnung_2") : QStringLiteral("Bezeichnung_2_") + n;
        auto *page = new QWidget(pages);
        page->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        auto *form = new QFormLayout(page);
        form->addRow(QStringLiteral("Bezeichnung:"), MakeEdit(QStringLiteral("ED_Art") + n, t, QStringLiteral("Art") + n));
        form->addRow(QStringLiteral("Kundenanzeige:"), MakeEdit(QStringLiteral("ED_") + bez2, t, bez2));
        form->addRow(MakeMemo(QStringLiteral("ME_Bemerkung") + n, t, QStringLiteral("Bemerkung") + n));
        pages->addTab(page, QStringLiteral("%1.Sprache").arg(i + 1));
    }
    rl->addWidget(pages);
    lay->addWidget(remark, 1);
    ResizeToShow(DBGrid1, QSize(900, 640));
}

TakeOverResult TFM_Zahlart::BitBtn2Click(bool quiet)
{
    TableFile *t = Table();
    if (!t || !t->Active())
        return {};
    const QString wawiDir = m_wawiDir.isEmpty() ? Settings().WaWiDir : m_wawiDir;
    TakeOverResult r = TakeOverPaymentMethodsFromWaWi(*t, wawiDir);
    if (!r.ok() && !quiet)
        Ui().ShowMessage(QStringLiteral("Die Zahlarten konnten nicht aus der Warenwirtschaft geholt werden:\n") + r.error,
                         UiHooks::Icon::Warning);
    return r;
}

} // namespace mv
