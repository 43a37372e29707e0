#pragma once
// The WaWi tables this program reads and writes: their fields (Paradox
// type letter and size) and their indexes. The demo generator creates
// tables from it, and the index catalog beside the program (wawi/
// WaWiIndexe.txt) lists the same index definitions for tables whose folder
// lacks an index file.

#include "data/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace mv {

struct WaWiFieldDef {
    QString name;
    char type = 'A';   // Paradox letter: A D S I $ N L M F G B T @ + # Y
    int size = 0;      // characters for A, leader bytes for blobs, else 0
};

struct WaWiIndexDef {
    QString name;          // empty for the primary index
    QStringList fields;    // key fields in order
    bool caseInsensitive = true;
};

struct WaWiTableDef {
    QString fileName;      // as the program names it, e.g. "Artikel.DB"
    QVector<WaWiFieldDef> fields;
    int keyFields = 0;     // leading fields that form the primary key
    QVector<WaWiIndexDef> indexes;  // named secondary indexes

    int fieldIndex(const QString &name) const;  // -1 when missing (case-insensitive)
    const WaWiIndexDef *index(const QString &name) const;
    QStringList primaryKey() const;
};

// The fourteen tables, in a fixed order.
const QVector<WaWiTableDef> &WaWiTables();
const WaWiTableDef *WaWiTable(const QString &fileName);  // case-insensitive, with or without ".DB"

// Paradox type letter -> dataset field type.
FieldType ParadoxLetterType(char letter);

// --- index catalog ("table<TAB>index<TAB>field;field;...", "#" comments)
struct WaWiCatalogEntry {
    QString table;
    QString index;
    QStringList fields;
};
// Parses catalog text; lines that cannot be read are skipped.
QVector<WaWiCatalogEntry> ParseWaWiCatalog(const QString &text);
// The catalog text for WaWiTables().
QString WaWiCatalogText();
// Path of the catalog beside the program (ExeDir + "wawi/WaWiIndexe.txt").
QString WaWiCatalogPath();
// The catalog entries for one table (loaded once from WaWiCatalogPath(),
// falling back to the built-in definitions when the file is missing).
QVector<WaWiCatalogEntry> WaWiCatalogFor(const QString &table);
// Forget the loaded catalog (tests that change ExeDir).
void ResetWaWiCatalog();

} // namespace mv
