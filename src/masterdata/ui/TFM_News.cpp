#include "masterdata/ui/TFM_News.h"

#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TDBNavigator.h"
#include "data/ui/TDBBGrid.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace mv {

TFM_News::TFM_News(const QString &dir, QWidget *parent)
    : TMasterEditor(QStringLiteral("FM_News"), QStringLiteral("News bearbeiten"), dir, parent)
{
    TableFile *t = AddTable(NewsTable());
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(MakeTopBar(t));

    DBGrid1 = MakeGrid(QStringLiteral("DBGrid1"), t,
                       {Col("header", "Titel", 200), Col("inhalt", "Text", 280, true, true), Col("bild", "Bild", 220)},
                       {QStringLiteral("bild")});
    lay->addWidget(DBGrid1, 1);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    const char *const titles[] = {"1.Sprache", "2. Sprache", "3. Sprache", "4. Sprache", "5. Sprache"};
    for (int i = 0; i < 5; ++i) {
        const QString suffix = i == 0 ? QString() : QString::number(i + 1);
        auto *page = new QWidget(PageControl1);
        page->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        auto *form = new QFormLayout(page);
        form->addRow(QStringLiteral("Titel:"), MakeEdit(QStringLiteral("ED_header") + suffix, t,
                                                        QStringLiteral("header") + suffix));
        form->addRow(MakeMemo(QStringLiteral("ME_inhalt") + suffix, t, QStringLiteral("inhalt") + suffix));
        PageControl1->addTab(page, QString::fromLatin1(titles[i]));
    }
    lay->addWidget(PageControl1, 1);
    resize(760, 560);
}

} // namespace mv
