#pragma once
// Field lists and file names of the master-data tables the editors keep
// (and the transfer uploads). Field names are part of the contract with
// the shop database: keep their spelling and case exactly.

#include "data/Dataset.h"

#include <QString>
#include <QVector>

namespace mv {

// How an editor takes over an older file of its table.
struct LegacyRule {
    QString fileName;               // beside the new file; empty = none
    bool onlyIntoEmpty = false;     // copy only when the table has no rows
    bool skipFirstField = false;    // the old auto-increment numbering is not kept
    bool failureEndsRow = false;    // a failing field ends that row's copy (else it is skipped)
};

struct MasterTableDef {
    QString fileName;               // in the program folder
    QVector<FieldDef> fields;
    LegacyRule legacy;
};

MasterTableDef LaenderTable();        // "laender4.xml"
MasterTableDef NewsTable();           // "news6.xml"
MasterTableDef VersandkostenTable();  // "versandkosten4.xml"
MasterTableDef ZahlartTable();        // "zahlungsart_6.xml"
MasterTableDef VersandartTable();     // "versandtart6.xml"
MasterTableDef FaqGruppeTable();      // "faq_gruppe6.xml"
MasterTableDef FaqThemaTable();       // "faq_thema6.xml"

// Field lists of the older files (what the previous program wrote).
QVector<FieldDef> LegacyLaenderFields();
QVector<FieldDef> LegacyNewsFields();
QVector<FieldDef> LegacyVersandkostenFields();
QVector<FieldDef> LegacyZahlartFields();
QVector<FieldDef> LegacyVersandartFields();
QVector<FieldDef> LegacyFaqGruppeFields();
QVector<FieldDef> LegacyFaqThemaFields();

} // namespace mv
