#pragma once
// The WaWi data-access components: TVLBTable (one WaWi table on Paradox
// files), TVLBQuery and TVLBConnection, and the database alias "Merkant"
// they are opened through.

#include "wawi/WaWiTableStore.h"
#include "data/Dataset.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>

namespace mv {

// The database alias "Merkant" (one per process): the folder the WaWi
// tables are opened from, and the session's private folder.
class TVLBDatabase {
public:
    static bool Connect(const QString &dir, QString *error = nullptr);
    static void Disconnect();
    static bool Connected();
    static QString Path();         // "" while disconnected
    static QString Params();       // "PATH=" + folder
};

// Opens the files of a table; the default opens Paradox files. Tests may
// install another.
using WaWiStoreOpener = std::function<std::unique_ptr<WaWiTableStore>(const QString &dir, const QString &table)>;
void SetWaWiStoreOpener(WaWiStoreOpener opener);
// The file of a table in a folder, matched without regard to case; "" when missing.
QString FindTableFile(const QString &dir, const QString &fileName);

// Collation of the international sort orders: case-insensitive, umlauts
// and accented letters with their base letters, chr(127) above all text.
QString WaWiCollationKey(const QString &text);
// -1, 0, 1; NULL (invalid) first.
int WaWiCompareValues(const QVariant &a, const QVariant &b, FieldType type, bool international = true);

class TVLBTable : public Dataset {
    Q_OBJECT
public:
    struct IndexDef {
        QString name;          // "" = primary
        QStringList fields;
        bool primary = false;
        bool fromCatalog = false;
        bool descending = false;
    };

    explicit TVLBTable(QObject *parent = nullptr);
    ~TVLBTable() override;

    // Carried members of the component family; "BDE" = file tables.
    QString Kind = QStringLiteral("BDE");
    bool VLBOpenByRange = false;
    bool VLBIndexWithoutOpen = false;
    int CacheSize = 1;
    int CommandTimeout = 30;
    int MaxRecords = 0;
    bool TableDirect = false;
    bool EnableBCD = true;
    QString ConnectionString;

    void SetDatabaseName(const QString &name) { m_database = name; }
    QString DatabaseName() const { return m_database; }
    void SetTableName(const QString &name);
    QString TableName() const { return m_tableName; }
    // Folder to open from instead of the alias's (the command-line dump).
    void SetDirectory(const QString &dir) { m_directory = dir; }
    QString Directory() const;
    // Path of the table's data file after Open.
    QString FilePath() const { return m_filePath; }

    // --- indexes
    QVector<IndexDef> IndexDefs() const;   // valid after Open
    QStringList IndexNames() const;
    void SetIndexName(const QString &name);   // "" = primary; DatasetError for an unknown name
    // Keeps the record order of each index once built until the next
    // write or re-read, for a list that switches between indexes while the
    // user clicks; costs the keys' memory once per index used.
    void SetKeepIndexOrders(bool on)
    {
        m_keepOrders = on;
        m_parked.clear();
    }
    QString IndexName() const { return m_indexName; }
    void SetIndexFieldNames(const QString &names);  // ";"-separated
    QString IndexFieldNames() const;
    QStringList CurrentIndexFields() const;

    // --- key search on the current index (partial keys allowed)
    bool FindKey(const QVariantList &key);
    void FindNearest(const QVariantList &key);

    // --- key ranges on the current index (inclusive; partial keys allowed).
    // A text bound ends at its first chr(0). A value that cannot be
    // converted to its key field's type raises DatasetError.
    void SetRange(const QVariantList &low, const QVariantList &high);
    void CancelRange();
    bool HasRange() const { return m_hasRange; }

    // --- master-detail: the detail shows the records whose leading fields
    // of the current index (or detailFields when given) equal the master's
    // fields.
    void SetMasterSource(Dataset *master, const QString &masterFields, const QString &detailFields = QString());
    void ClearMasterSource();

    // False when the table's file cannot be written (read-only share):
    // Edit then fails at once instead of at Post.
    bool CanModify() const override;

    // RecNo: 0 when closed; setting it on a closed table does nothing.
    int RecNo() const override;
    void SetRecNo(int recNo) override;

    // Re-read the files (other programs may have written).
    void Refresh();

    // Physical record number of the current record (-1 if none).
    int PhysicalRecord() const;
    WaWiTableStore *Store() const { return m_store.get(); }

protected:
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
    struct KeyCache;
    void loadIndexes();
    void selectIndex(const QVector<int> &fields, bool resync = true);
    void buildOrder();
    void buildKeys() const;
    void applyBounds();
    int compareRecordToKey(int rec, const QByteArray &key) const;
    QByteArray convertKey(const QVariantList &key) const;
    int lowerBound(const QByteArray &key) const;
    int upperBound(const QByteArray &key) const;
    void masterChanged();
    int posOfRecord(int rec) const;

    QString m_database = QStringLiteral("Merkant");
    QString m_tableName;
    QString m_directory;
    QString m_filePath;
    std::unique_ptr<WaWiTableStore> m_store;
    QVector<FieldDef> m_defs;
    QVector<IndexDef> m_indexes;
    QString m_indexName;
    QString m_indexFieldNames;
    QVector<int> m_keyFields;        // current index fields
    QVector<FieldType> m_keyTypes;
    QVector<int> m_order;            // physical record numbers in index order
    // Per physical record: the index fields (then the primary key for
    // ties) as order-preserving bytes.
    mutable QVector<QByteArray> m_keys;
    mutable bool m_keysPending = false;
    mutable QVector<int> m_indexPartLen; // bytes of m_keys[r] that hold the index fields
    bool m_desc = false;             // the current index walks descending
    bool m_keyFold = false;          // texts of this index compare folded
    bool m_keyUpper = false;         // texts of this index compare upper-cased (case-insensitive "ascii" index)
    bool m_linearSearch = false;     // the file's order is not ours: finds walk
    QVector<int> m_tiebreak;         // primary key fields appended for ties
    struct ParkedOrder {
        QVector<int> order;
        QVector<QByteArray> keys;
        QVector<int> partLen;
        bool keysPending, desc, keyFold, keyUpper, linearSearch;
    };
    bool m_keepOrders = false;
    QString m_orderKey;              // index name and fields of m_order
    QHash<QString, ParkedOrder> m_parked;
    bool m_international = true;
    int m_lo = 0, m_hi = 0;          // visible window of m_order
    bool m_hasRange = false;
    QByteArray m_rangeLow, m_rangeHigh;
    QPointer<Dataset> m_master;
    QStringList m_masterFields, m_detailFields;
    QMetaObject::Connection m_masterConn1, m_masterConn2;
};

// SQL query on the WaWi database; in this system every query is of the
// "BDE" kind and only carries its members.
class TVLBQuery : public QObject {
    Q_OBJECT
public:
    explicit TVLBQuery(QObject *parent = nullptr) : QObject(parent) {}
    QString Kind = QStringLiteral("BDE");
    QStringList SQL;
    bool Prepared = false;
    int CacheSize = 1;
    int CommandTimeout = 30;
    int MaxRecords = 0;
    bool EnableBCD = true;
    QString ConnectionString;
    const QVariantMap &Parameters() const { return m_params; }
    // Before every open the text is assigned anew.
    void ReassignSql() { const QStringList s = SQL; SQL.clear(); SQL = s; }
private:
    QVariantMap m_params;
};

// Connection object of an SQL-based WaWi: only its connection string is used.
class TVLBConnection : public QObject {
    Q_OBJECT
public:
    explicit TVLBConnection(QObject *parent = nullptr) : QObject(parent) {}
    int MaxRecords = 0;
    int UserID = 0;
    QString ConnectionString;
    bool Connected = false;
    void Close() { Connected = false; }
};

} // namespace mv
