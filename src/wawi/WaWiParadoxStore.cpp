// TVLBTable's view of a table's Paradox files.

#include "wawi/ParadoxTable.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiBackup.h"
#include "wawi/WaWiTableStore.h"

#include <QDir>
#include <QFile>
#include <QHash>

namespace mv {

namespace {

class ParadoxStore : public WaWiTableStore {
public:
    explicit ParadoxStore(std::unique_ptr<ParadoxTable> t) : m_t(std::move(t))
    {
        for (const auto &f : m_t->Fields()) {
            FieldDef d;
            d.name = f.name;
            d.type = PxToFieldType(f.type);
            d.size = (f.type == PxType::Alpha || f.type == PxType::Bytes) ? f.size : 0;
            d.readOnly = f.type == PxType::AutoInc;
            m_defs << d;
        }
        m_t->SetDefaultBackup(true);
    }

    QVector<FieldDef> Fields() const override { return m_defs; }
    int KeyFieldCount() const override { return m_t->Keyed() ? m_t->KeyFieldCount() : 0; }
    QVector<WaWiStoreIndex> Indexes() const override
    {
        QVector<WaWiStoreIndex> out;
        for (const auto &ix : m_t->SecondaryIndexes())
            out << WaWiStoreIndex{ix.name, ix.fieldNames, ix.descending};
        return out;
    }
    QVector<int> IndexOrder(const QString &indexName) const override
    {
        for (const auto &ix : m_t->SecondaryIndexes()) {
            if (ix.name.compare(indexName, Qt::CaseInsensitive) != 0)
                continue;
            try {
                return orderOf(ix);
            } catch (const ParadoxError &) {
                return {};
            }
        }
        return {};
    }
    bool InternationalSort() const override
    {
        return m_t->Header().sortOrderName.compare(QLatin1String("ascii"), Qt::CaseInsensitive) != 0;
    }
    bool RowsInKeyOrder() const override { return m_t->Keyed(); }
    QStringList Warnings() const override { return m_t->ConsistencyWarnings(); }
    int RecordCount() const override { return m_t->RowCount(); }
    QVariant Value(int rec, int field) const override { return m_t->Value(rec, field); }
    bool IsNull(int rec, int field) const override { return m_t->IsNull(rec, field); }

    int Update(int rec, const QVector<QVariant> &values) override
    {
        QHash<int, QVariant> changes;
        for (int f = 0; f < values.size() && f < m_defs.size(); ++f) {
            const QVariant old = m_t->Value(rec, f);
            if (!sameValue(old, values.at(f)))
                changes.insert(f, values.at(f));
        }
        if (changes.isEmpty())
            return rec;
        try {
            return m_t->UpdateRecord(rec, changes);
        } catch (const ParadoxError &e) {
            throw DatasetError(e.message());
        }
    }

    int Append(const QVector<QVariant> &values) override
    {
        QVariantList list;
        for (int f = 0; f < m_defs.size(); ++f)
            list << values.value(f);
        try {
            return m_t->AppendRecord(list);
        } catch (const ParadoxError &e) {
            throw DatasetError(e.message());
        }
    }

private:
    // Each entry of the index file mapped to its record: by the primary key
    // it carries (keyed tables) or by its record number ("Tup No").
    QVector<int> orderOf(const ParadoxIndexInfo &ix) const
    {
        const QVector<ParadoxIndexRecord> entries = m_t->ReadSecondaryIndex(ix);
        const int n = m_t->RowCount();
        if (entries.size() != n)
            return {};
        QVector<ParadoxField> xFields;
        {
            QFile f(ix.xFile);
            if (!f.open(QIODevice::ReadOnly))
                return {};
            ReadParadoxHeader(f.read(0x2000), &xFields, ix.xFile);
        }
        QVector<int> order;
        order.reserve(n);
        QVector<bool> seen(n, false);
        if (m_t->Keyed()) {
            // column of each primary key field in the index file
            QVector<int> cols;
            for (int k = 0; k < m_t->KeyFieldCount(); ++k) {
                int col = int(ix.fields.indexOf(k));
                for (int c = int(ix.fields.size()); col < 0 && c < xFields.size(); ++c)
                    if (xFields[c].name.compare(m_t->Fields()[k].name, Qt::CaseInsensitive) == 0)
                        col = c;
                if (col < 0)
                    return {};
                cols << col;
            }
            QHash<QString, int> rowOfKey;
            rowOfKey.reserve(n);
            for (int r = 0; r < n; ++r)
                rowOfKey.insert(keyText(m_t->KeyValues(r)), r);
            for (const ParadoxIndexRecord &e : entries) {
                QVariantList key;
                for (int c : cols)
                    key << e.values.value(c);
                const int r = rowOfKey.value(keyText(key), -1);
                if (r < 0 || seen[r])
                    return {};
                seen[r] = true;
                order << r;
            }
            return order;
        }
        int tup = -1;
        for (int c = 0; c < xFields.size(); ++c)
            if (xFields[c].name.compare(QLatin1String("Tup No"), Qt::CaseInsensitive) == 0)
                tup = c;
        if (tup < 0)
            return {};
        for (const ParadoxIndexRecord &e : entries) {
            const int r = e.values.value(tup).toInt() - 1;
            if (r < 0 || r >= n || seen[r])
                return {};
            seen[r] = true;
            order << r;
        }
        return order;
    }

    static QString keyText(const QVariantList &key)
    {
        QString s;
        for (const QVariant &v : key)
            s += (v.isValid() ? QStringLiteral("1") + v.toString() : QStringLiteral("0")) + QChar(0x1F);
        return s;
    }

    static bool sameValue(const QVariant &a, const QVariant &b)
    {
        const bool an = !a.isValid() || a.isNull();
        const bool bn = !b.isValid() || b.isNull() || (b.typeId() == QMetaType::QString && b.toString().isEmpty());
        if (an || bn)
            return an == bn;
        return a == b;
    }

    std::unique_ptr<ParadoxTable> m_t;
    QVector<FieldDef> m_defs;
};

} // namespace

std::unique_ptr<WaWiTableStore> OpenParadoxStore(const QString &dir, const QString &table)
{
    const QString path = FindTableFile(dir, table);
    if (path.isEmpty())
        throw DatasetError(QStringLiteral("Tabelle %1 nicht gefunden (Verzeichnis %2).").arg(table, QDir::toNativeSeparators(dir)));
    try {
        return std::make_unique<ParadoxStore>(ParadoxTable::Open(path));
    } catch (const ParadoxError &e) {
        throw DatasetError(e.message());
    }
}

} // namespace mv
