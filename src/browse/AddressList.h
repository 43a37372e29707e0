#pragma once
// The WaWi address list of one Mandant: kinds (customers, suppliers,
// prospects), the sort entries taken from the table's indexes, the prefix
// search, selection marks and the online switch. Addresses are never
// deleted: a delete takes them out of the shop instead, and every save
// stamps "Update".

#include "wawi/TVLBTable.h"

#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVector>

namespace mv {

class AddressList : public QObject {
    Q_OBJECT
public:
    explicit AddressList(QObject *parent = nullptr);
    ~AddressList() override;

    TVLBTable &Table() { return *m_table; }

    // Opens "Adressen.DB" and builds the sort table; DatasetError when the
    // table cannot be opened.
    void Open();
    void Close();

    // (field name, index name) in the order of the table's indexes.
    const QVector<QPair<QString, QString>> &SortTable() const { return m_sort; }
    QStringList SortNames() const;

    // Sets the order of entry (a SortTable index; -1 does nothing) and the
    // range of kind and Mandant, filtered to the sort field beginning with
    // search (all when empty).
    void Apply(int entry, int kind, int mandant, const QString &search);

    // The switch and the marks on the records of the bookmarks (the
    // current record when empty). Returns the number of records saved.
    int SetOnline(const QVariantList &bookmarks, bool online);
    int Select(const QVariantList &bookmarks, bool on);

private:
    template <typename Fn> int forRecords(const QVariantList &bookmarks, Fn fn);
    TVLBTable *m_table;
    QVector<QPair<QString, QString>> m_sort;
};

} // namespace mv
