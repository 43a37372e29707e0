#include "browse/AddressList.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "wawi/WaWiDatasetOps.h"

namespace mv {

AddressList::AddressList(QObject *parent) : QObject(parent), m_table(new TVLBTable(this))
{
    m_table->setObjectName(QStringLiteral("TBL_Kunden"));
    m_table->SetDatabaseName(QStringLiteral("Merkant"));
    m_table->SetTableName(QStringLiteral("Adressen.DB"));
    // a delete request takes the address out of the shop, nothing more
    m_table->BeforeDelete = [](Dataset &ds) {
        return TakeOfflineInsteadOfDelete(ds, QStringLiteral("Online"), true);
    };
    m_table->BeforePost = [](Dataset &ds) { StampUpdate(ds); };
}

AddressList::~AddressList() = default;

void AddressList::Open()
{
    m_table->Open();
    m_sort.clear();
    try {
        for (const auto &ix : m_table->IndexDefs()) {
            const QString keys = ix.fields.join(QLatin1Char(';'));
            const int last = LastPosFrom(2, keys, QStringLiteral(";"));
            if (last <= 0)
                continue;
            const QString name = keys.mid(last).trimmed();
            Field *f = m_table->FindField(name);
            if (f && IsTextType(f->DataType()) && f->DataType() == FieldType::String)
                m_sort.append({name, ix.name});
        }
    } catch (const std::exception &) {
        // keep what was added
    }
}

void AddressList::Close()
{
    m_table->Close();
}

QStringList AddressList::SortNames() const
{
    QStringList out;
    for (const auto &p : m_sort)
        out << p.first;
    return out;
}

void AddressList::Apply(int entry, int kind, int mandant, const QString &search)
{
    if (entry < 0 || entry >= m_sort.size() || !m_table->Active())
        return;
    const QString index = m_sort.at(entry).second;
    if (m_table->IndexName() != index || search.isEmpty()) {
        SetMandantRange(*m_table, index, kind, mandant);
        if (search.isEmpty())
            return;
    }
    const QString low = search + QString(Settings().RangeLow);
    const QString high = search + QString(Settings().RangeHigh);
    try {
        m_table->SetRange({kind, mandant, low}, {kind, mandant, high});
    } catch (const DatasetError &) {
        SetMandantRange(*m_table, index, kind, mandant);
    }
}

template <typename Fn> int AddressList::forRecords(const QVariantList &bookmarks, Fn fn)
{
    int saved = 0;
    QVariantList marks = bookmarks;
    if (marks.isEmpty() && !m_table->IsEmpty())
        marks << m_table->Bookmark();
    for (const QVariant &bm : marks) {
        if (!m_table->GotoBookmark(bm))
            continue;
        if (!EnsureEditing(*m_table))
            continue;   // locked or read-only: skipped without a message
        try {
            fn(*m_table);
            m_table->Post();
            ++saved;
        } catch (const std::exception &) {
            m_table->Cancel();
        }
    }
    return saved;
}

int AddressList::SetOnline(const QVariantList &bookmarks, bool online)
{
    // "Online" true means: not offered to the shop
    return forRecords(bookmarks, [online](Dataset &ds) {
        ds.FieldByName(QStringLiteral("Online"))->SetAsBoolean(!online);
    });
}

int AddressList::Select(const QVariantList &bookmarks, bool on)
{
    return forRecords(bookmarks, [on](Dataset &ds) {
        Field *f = ds.FieldByName(QStringLiteral("Selekt"));
        if (on)
            f->SetAsInteger(f->AsInteger() + 1);
        else
            f->Clear();
    });
}

} // namespace mv
