// TVLBTable's view of a table's Paradox files.

#include "wawi/ParadoxTable.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiBackup.h"
#include "wawi/WaWiTableStore.h"

#include <QDir>

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
        m_t->SetBackupDir(WaWiBackupRoot());
    }

    QVector<FieldDef> Fields() const override { return m_defs; }
    int KeyFieldCount() const override { return m_t->Keyed() ? m_t->KeyFieldCount() : 0; }
    QVector<WaWiStoreIndex> Indexes() const override
    {
        QVector<WaWiStoreIndex> out;
        for (const auto &ix : m_t->SecondaryIndexes())
            out << WaWiStoreIndex{ix.name, ix.fieldNames};
        return out;
    }
    bool InternationalSort() const override
    {
        return m_t->Header().sortOrderName.compare(QLatin1String("ascii"), Qt::CaseInsensitive) != 0;
    }
    bool RowsInKeyOrder() const override { return m_t->Keyed(); }
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
