#include "masterdata/ui/TFM_Versandarten.h"

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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace mv {

TFM_Versandarten::TFM_Versandarten(const QString &dir, const QString &wawiDir, QWidget *parent)
    : TMasterEditor(QStringLiteral("FM_Versandarten"), QStringLiteral("Versandarten bearbeiten"), dir, parent),
      m_wawiDir(wawiDir)
{
    TableFile *t = AddTable(VersandartTable());
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(MakeTopBar(t, &BitBtn2));
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    auto *body = new QHBoxLayout;
    DBGrid1 = MakeGrid(QStringLiteral("DBGrid1"), t, {Col("versandart", "Versandart", 220)});
    body->addWidget(DBGrid1, 1);

    // Costs come from the shipping-cost table; the panel stays hidden.
    auto *settings = new TCollapsePanel(QStringLiteral("Einstellungen"), this);
    settings->setObjectName(QStringLiteral("PA_Einstellungen"));
    auto *g = new QGridLayout(settings->Content());
    g->addWidget(LabeledEdit(QStringLiteral("Versandkosten"), QStringLiteral("(normal)"),
                             MakeEdit(QStringLiteral("ED_versandkosten"), t, QStringLiteral("versandkosten"))), 0, 0);
    g->addWidget(LabeledEdit(QStringLiteral("Versandkosten"), QStringLiteral("(Ausland)"),
                             MakeEdit(QStringLiteral("ED_versandkosten_ausland"), t,
                                      QStringLiteral("versandkosten_ausland"))), 1, 0);
    settings->hide();

    auto *remark = new TCollapsePanel(QStringLiteral("Bemerkung"), this);
    remark->setObjectName(QStringLiteral("PA_Bemerkung"));
    auto *rl = new QVBoxLayout(remark->Content());
    rl->setContentsMargins(0, 0, 0, 0);
    auto *pages = new QTabWidget(remark->Content());
    pages->setObjectName(QStringLiteral("PageControl1"));
    const char *const titles[] = {"1.Sprache", "2. Sprache", "3. Sprache", "4. Sprache", "5.Sprache"};
    for (int i = 0; i < 5; ++i) {
        const QString n = i == 0 ? QString() : QString::number(i + 1);
        auto *page = new QWidget(pages);
        page->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        auto *form = new QFormLayout(page);
        form->addRow(QStringLiteral("Versandart:"),
                     MakeEdit(QStringLiteral("ED_versandart") + n, t, QStringLiteral("versandart") + n));
        form->addRow(MakeMemo(QStringLiteral("ME_beschreibung") + n, t, QStringLiteral("beschreibung") + n));
        pages->addTab(page, QString::fromLatin1(titles[i]));
    }
    rl->addWidget(pages);
    auto *right = new QVBoxLayout;
    right->addWidget(settings);
    right->addWidget(remark, 1);
    body->addLayout(right, 2);
    lay->addLayout(body, 1);

    ME_Versandarten = new QPlainTextEdit(this);
    ME_Versandarten->setObjectName(QStringLiteral("ME_Versandarten"));
    ME_Versandarten->setReadOnly(true);
    ME_Versandarten->hide();
    resize(820, 500);
}

TakeOverResult TFM_Versandarten::BitBtn2Click(bool quiet)
{
    TableFile *t = Table();
    if (!t || !t->Active())
        return {};
    const QString wawiDir = m_wawiDir.isEmpty() ? Settings().WaWiDir : m_wawiDir;
    const QStringList lines = ReadDeliveryMethods(DeliveryMethodsPath(wawiDir));
    ME_Versandarten->setPlainText(lines.join(QLatin1Char('\n')));
    TakeOverResult r = TakeOverShippingMethods(*t, lines);
    if (!r.ok() && !quiet)
        Ui().ShowMessage(QStringLiteral("Die Versandarten konnten nicht aus der Warenwirtschaft geholt werden:\n") + r.error,
                         UiHooks::Icon::Warning);
    return r;
}

} // namespace mv
