#pragma once
// What TVLBTable needs from the files of one WaWi table: field list,
// records by physical number, the indexes the folder holds, and writing.
// The Paradox files implement it (ParadoxStore); tests may use a store of
// their own.

#include "data/Dataset.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

namespace mv {

struct WaWiStoreIndex {
    QString name;          // empty for the primary index
    QStringList fields;    // key fields in order
    bool descending = false;
};

class WaWiTableStore {
public:
    virtual ~WaWiTableStore() = default;

    virtual QVector<FieldDef> Fields() const = 0;
    // Leading fields forming the primary key (0 = table without key).
    virtual int KeyFieldCount() const = 0;
    // Indexes that have a file in the folder (secondary ones by name).
    virtual QVector<WaWiStoreIndex> Indexes() const = 0;
    // True when text keys compare case-insensitively with umlauts as base
    // letters (the international sort orders); false for binary "ascii".
    virtual bool InternationalSort() const { return true; }

    // True when the records come in primary-key order (keyed Paradox tables).
    virtual bool RowsInKeyOrder() const { return false; }

    // Record numbers in the order the index file holds them; empty when
    // the file cannot be read or does not cover every record once.
    virtual QVector<int> IndexOrder(const QString &indexName) const { Q_UNUSED(indexName); return {}; }

    // Inconsistencies of the files worth a warning (German, one line each).
    virtual QStringList Warnings() const { return {}; }

    // Records are numbered 0..RecordCount()-1 in physical order.
    virtual int RecordCount() const = 0;
    virtual QVariant Value(int rec, int field) const = 0;
    // Raw record access for fast paths: false when not available.
    virtual bool IsNull(int rec, int field) const { return !Value(rec, field).isValid(); }

    // Overwrites record rec; returns the record's number afterwards (it may
    // move when the primary key changed). Throws DatasetError on failure
    // (locked, key exists, disk full); the files then hold the old state.
    virtual int Update(int rec, const QVector<QVariant> &values) = 0;
    // Adds a record; returns its number. Throws DatasetError on failure.
    virtual int Append(const QVector<QVariant> &values) = 0;
    // Record numbers may shift after a write (records moved between
    // blocks): the store reports the full mapping old -> new here, or an
    // empty vector when nothing moved except the returned record.
    virtual QVector<int> TakeRenumbering() { return {}; }
};

} // namespace mv
