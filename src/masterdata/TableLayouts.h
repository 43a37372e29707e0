#pragma once
// Stored-field layouts of table files that several windows and the
// transfer share. Field names and order are part of the contract with the
// shop database: keep them exactly as they are.

#include "data/Dataset.h"

#include <QVector>

namespace mv {

// "warengruppen.xml": extra article-to-group links of the article list.
// Its "id" is declared auto-increment but stays empty: open the table with
// SetAutoIncFill(false).
QVector<FieldDef> WarengruppenLayout();
// "newsletter_adr.xml" and "newsletter_notadr.xml": recipients and exclusions.
QVector<FieldDef> NewsletterLayout();

} // namespace mv
