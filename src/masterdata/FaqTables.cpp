#include "masterdata/FaqTables.h"

namespace mv {

void NumberNewGroup(Dataset &groups)
{
    Field *zaehler = groups.FindField(QStringLiteral("zaehler"));
    Field *z = groups.FindField(QStringLiteral("z"));
    if (!zaehler || !z || groups.IsEmpty())
        return;
    if (zaehler->AsInteger() != 0 || z->AsInteger() <= 0)
        return;
    try {
        groups.Edit();
    } catch (const DatasetError &) {
        return;
    }
    zaehler->SetAsInteger(z->AsInteger());
    groups.Post();
}

void LinkFaqTables(TableFile &groups, TableFile &entries)
{
    groups.AfterPost = [](Dataset &ds) { NumberNewGroup(ds); };
    entries.BeforeInsert = [&groups](Dataset &) {
        if (groups.Active())
            groups.CheckBrowseMode();
    };
    if (!groups.Active() || !entries.Active())
        return;
    if (entries.FindField(QStringLiteral("gruppe")) && groups.FindField(QStringLiteral("zaehler"))) {
        entries.SetIndexFieldNames(QStringLiteral("gruppe"));
        entries.SetMasterSource(&groups, QStringLiteral("zaehler"), QStringLiteral("gruppe"));
    }
}

} // namespace mv
