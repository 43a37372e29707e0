#include "masterdata/ui/TFM_FAQ.h"

#include "data/ui/TDBBGrid.h"
#include "masterdata/FaqTables.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TDBNavigator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace mv {

TFM_FAQ::TFM_FAQ(const QString &dir, QWidget *parent)
    : TMasterEditor(QStringLiteral("FM_FAQ"), QStringLiteral("FAQ bearbeiten"), dir, parent)
{
    TableFile *groups = AddTable(FaqGruppeTable());
    // Entries are written when they changed (or their file is missing).
    TableFile *entries = AddTable(FaqThemaTable(), false);

    auto *lay = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Thema:"), this));
    top->addWidget(MakeNavigator(QStringLiteral("DBAdvNavigator1"), groups));
    top->addSpacing(16);
    top->addWidget(new QLabel(QStringLiteral("Titel:"), this));
    top->addWidget(MakeNavigator(QStringLiteral("DBAdvNavigator2"), entries));
    AddOkButton(top);
    lay->addLayout(top);

    auto *split = new QSplitter(this);
    DBGrid1 = MakeGrid(QStringLiteral("DBGrid1"), groups, {Col("bezeichnung", "Thema", 220)});
    split->addWidget(DBGrid1);

    PageControl1 = new QTabWidget(split);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    for (int i = 0; i < 5; ++i) {
        const QString n = i == 0 ? QString() : QString::number(i + 1);
        auto *page = new QWidget(PageControl1);
        page->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        auto *pl = new QVBoxLayout(page);
        pl->addWidget(new QLabel(QStringLiteral("Themenbeschreibung:"), page));
        pl->addWidget(MakeEdit(QStringLiteral("ED_bezeichnung") + n, groups, QStringLiteral("bezeichnung") + n));
        DBBGrid[i] = MakeGrid(QStringLiteral("DBBGrid%1").arg(i + 1), entries,
                              {Col(QStringLiteral("beschreibung") + n, QStringLiteral("Titel"), 260)});
        pl->addWidget(DBBGrid[i], 1);
        pl->addWidget(MakeMemo(QStringLiteral("ME_hilfe") + n, entries, QStringLiteral("hilfe") + n), 1);
        PageControl1->addTab(page, QStringLiteral("%1.Sprache").arg(i + 1));
    }
    split->addWidget(PageControl1);
    split->setStretchFactor(1, 2);
    lay->addWidget(split, 1);
    resize(900, 560);
}

void TFM_FAQ::TablesOpened()
{
    LinkFaqTables(*Groups(), *Entries());
}

} // namespace mv
