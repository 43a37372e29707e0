#pragma once
// The FAQ editor: groups ("faq_gruppe6.xml") and, per group, its entries
// ("faq_thema6.xml") in up to five languages.

#include "masterdata/ui/TMasterEditor.h"

class QTabWidget;

namespace mv {

class TFM_FAQ : public TMasterEditor {
    Q_OBJECT
public:
    explicit TFM_FAQ(const QString &dir = QString(), QWidget *parent = nullptr);

    TableFile *Groups() const { return Table(0); }
    TableFile *Entries() const { return Table(1); }

    TDBBGrid *DBGrid1;          // groups
    TDBBGrid *DBBGrid[5];       // entries, one per language page
    QTabWidget *PageControl1;

protected:
    void TablesOpened() override;
};

} // namespace mv
