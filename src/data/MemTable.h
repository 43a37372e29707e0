#pragma once
// The in-memory table (client dataset): shop query results, gateway
// results and the local table files.

#include "data/Dataset.h"

#include <QPointer>

namespace mv {

class MemTable : public Dataset {
    Q_OBJECT
public:
    explicit MemTable(QObject *parent = nullptr);
    ~MemTable() override;

    // Field list used by Open/CreateDataSet.
    void SetFieldDefList(const QVector<FieldDef> &defs);
    QVector<FieldDef> FieldDefList() const { return m_defs; }
    // Create empty with the field list and open.
    void CreateDataSet(const QVector<FieldDef> &defs);
    void CreateDataSet() { CreateDataSet(m_defs); }
    void EmptyDataSet();

    // Bulk load without events or change tracking (result tables, files).
    // Values must already be in the field types' value forms.
    void AppendRawRow(const QVector<QVariant> &values);
    void AppendRawRow(QVector<QVariant> &&values);
    // Call after a bulk load so the cursor and views see the rows.
    void RawRowsDone();
    // Rows in storage (insertion) order, all of them (no range/filter).
    const QVector<QVector<QVariant>> &RawRows() const { return m_rows; }

    // Index order by fields (";"-separated); empty = storage order. Text
    // compares case-insensitively, NULL first.
    void SetIndexFieldNames(const QString &names);
    QString IndexFieldNames() const { return m_indexFieldNames; }

    // Key range on the leading index fields (inclusive).
    void SetRange(const QVariantList &low, const QVariantList &high);
    void CancelRange();

    // Master-detail: only rows whose detail fields equal the master's
    // current values; new rows get them filled in.
    void SetMasterSource(Dataset *master, const QString &masterFields, const QString &detailFields);
    void ClearMasterSource();

    // Next value of an AutoInc field (stored as AUTOINCVALUE in table files).
    int AutoIncValue() const { return m_autoInc; }
    void SetAutoIncValue(int v) { m_autoInc = v; }
    // Whether posting a new row numbers its empty AutoInc fields (default
    // on). Off keeps them empty, as the article list's link file needs.
    void SetAutoIncFill(bool on) { m_autoIncFill = on; }
    bool AutoIncFill() const { return m_autoIncFill; }

    // True when a row was posted or deleted since Open/CreateDataSet.
    bool ChangedSinceOpen() const { return m_changed; }
    void ClearChanged() { m_changed = false; }

protected:
    // True while CreateDataSet opens the table (subclasses that read a
    // file on open start empty then).
    bool Creating() const { return m_creating; }
    // Drops all stored rows without events (before a reload).
    void EmptyRawRows();
    void InternalOpen() override;
    void InternalClose() override;
    int InternalRowCount() const override;
    QVariant InternalValue(int pos, int fieldIndex) const override;
    int InternalPost(int pos, const QVector<QVariant> &values) override;
    void InternalDelete(int pos) override;
    void InternalInitRecord(QVector<QVariant> &values) override;
    QVariant InternalRowId(int pos) const override;
    int InternalFindRowId(const QVariant &id) const override;

private:
    void rebuildOrder();
    void masterMoved();
    void resolveMaster();
    void ClearMasterSourceQuiet();
    QVariantList masterKey() const;
    bool rowInSet(int storageIndex) const;
    bool rowLess(int a, int b) const;
    int placeRow(int storageIndex);

    QVector<FieldDef> m_defs;
    QVector<QVector<QVariant>> m_rows;   // storage
    QVector<int> m_rowIds;               // stable id per storage row
    int m_nextRowId = 1;
    QVector<int> m_order;                // position -> storage index
    QString m_indexFieldNames;
    QVector<int> m_indexFields;
    bool m_hasRange = false;
    QVariantList m_rangeLow, m_rangeHigh;
    QPointer<Dataset> m_master;
    QVector<int> m_masterFieldIdx;
    QVector<int> m_detailFieldIdx;
    QString m_masterFields, m_detailFields;
    QMetaObject::Connection m_masterConn;
    QObject *m_masterContext = nullptr;  // owns the connections to the master
    QVariantList m_lastMasterKey;
    bool m_masterValid = false;
    int m_autoInc = 1;
    bool m_changed = false;
    bool m_creating = false;
    bool m_autoIncFill = true;
};

} // namespace mv
