#include "masterdata/TableLayouts.h"

namespace mv {

QVector<FieldDef> WarengruppenLayout()
{
    // "id" is declared auto-increment; the article list never fills it.
    return {
        {QStringLiteral("id"), FieldType::AutoInc, 0, true},
        {QStringLiteral("warengruppe"), FieldType::Integer},
        {QStringLiteral("artikel"), FieldType::Integer},
    };
}

QVector<FieldDef> NewsletterLayout()
{
    return {
        {QStringLiteral("EMAIL"), FieldType::String, 100},
        {QStringLiteral("kdnummer"), FieldType::String, 40},
        {QStringLiteral("html"), FieldType::Integer},
        {QStringLiteral("iupdate"), FieldType::DateTime},
    };
}

} // namespace mv
