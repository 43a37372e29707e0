#include "wawi/WaWiDatasetOps.h"

#include "core/ShopSettings.h"
#include "wawi/TVLBTable.h"

#include <QDateTime>

namespace mv {

void SetMandantRange(TVLBTable &table, const QString &indexName, int kind, int mandant)
{
    table.SetIndexName(indexName);
    const QString low(Settings().RangeLow);
    const QString high(Settings().RangeHigh);
    if (kind == kEmptyKind) {
        table.SetRange({QVariant(), mandant, low}, {QVariant(), mandant, high});
        return;
    }
    try {
        table.SetRange({kind, mandant, low}, {kind, mandant, high});
    } catch (const DatasetError &) {
        table.SetRange({kind, mandant, -32000}, {kind, mandant, 32000});
    }
}

bool EnsureEditing(Dataset &ds)
{
    if (ds.GetState() != Dataset::State::Browse)
        return true;
    try {
        ds.Edit();
    } catch (const std::exception &) {
        return false;
    }
    return ds.GetState() == Dataset::State::Edit;
}

void StampUpdate(Dataset &ds)
{
    if (!EnsureEditing(ds))
        return;
    if (Field *f = ds.FindField(QStringLiteral("Update")))
        f->SetValue(QDateTime::currentDateTime());
}

bool TakeOfflineInsteadOfDelete(Dataset &ds, const QString &field, bool offlineValue)
{
    if (EnsureEditing(ds)) {
        try {
            ds.FieldByName(field)->SetAsBoolean(offlineValue);
            ds.Post();
        } catch (const std::exception &) {
            ds.Cancel();
        }
    }
    return false;
}

QString FieldText(const Dataset &table, const QString &name)
{
    try {
        if (!table.Active())
            return QString();
        if (const Field *f = table.FindField(name))
            return f->AsString();
    } catch (const std::exception &) {
    }
    return QString();
}

} // namespace mv
