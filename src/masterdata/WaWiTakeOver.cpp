#include "masterdata/WaWiTakeOver.h"

#include "core/RtfToText.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "masterdata/MasterTable.h"
#include "wawi/TVLBTable.h"

#include <QFile>
#include <QRegularExpression>

namespace mv {

namespace {
void clearFilter(Dataset &ds)
{
    try {
        ds.SetFiltered(false);
        ds.SetFilter(QString());
    } catch (const DatasetError &) {
    }
}

// First row whose field equals value exactly, as the filtered table
// shows it; false (and no filter) when there is none.
bool filterOn(Dataset &ds, const QString &field, const QString &value)
{
    ds.SetFilter(field + QLatin1Char('=') + FilterLiteral(value));
    ds.SetFiltered(true);
    if (ds.IsEmpty()) {
        clearFilter(ds);
        return false;
    }
    ds.First();
    return true;
}

void takeValue(Field *src, Field *dst)
{
    const FieldType t = src->DataType();
    if (t == FieldType::Memo || t == FieldType::FmtMemo) {
        dst->SetAsString(RtfToText(src->AsString(), 0, false));
        return;
    }
    if (src->IsNull()) {
        dst->Clear();
        return;
    }
    try {
        dst->SetValue(src->Value());
    } catch (const DatasetError &) {
        dst->SetAsString(src->AsString());
    }
}
}

TakeOverResult TakeOverPaymentMethods(TableFile &local, Dataset &wawi)
{
    TakeOverResult r;
    if (!local.Active())
        return r;
    const bool noOnline = !wawi.FindField(QStringLiteral("Online"));
    Field *wArt = wawi.FindField(QStringLiteral("Art"));
    if (!wArt) {
        r.error = QStringLiteral("Die Zahlarten-Tabelle der Warenwirtschaft hat kein Feld \"Art\".");
        return r;
    }
    BusyScope busy;
    try {
        local.CheckBrowseMode();
        const int total = wawi.RecordCount();
        int n = 0;
        wawi.First();
        while (!wawi.Eof()) {
            if (Cancelled()) {
                r.cancelled = true;
                break;
            }
            Ui().Progress(++n, total, QStringLiteral("Zahlarten"));
            Ui().ProcessEvents();
            const QString art = wArt->AsString();
            if (art.trimmed().isEmpty()) {
                ++r.skipped;
                wawi.Next();
                continue;
            }
            const bool existing = filterOn(local, QStringLiteral("Art"), art);
            if (existing)
                local.Edit();
            else
                local.Append();
            for (int i = 0; i < local.FieldCount(); ++i) {
                Field *dst = local.FieldAt(i);
                Field *src = wawi.FindField(dst->FieldName());
                if (!src || dst->ReadOnly())
                    continue;
                try {
                    takeValue(src, dst);
                } catch (const DatasetError &) {
                    // A value that does not fit stays as it was.
                }
            }
            if (noOnline && existing)
                local.FieldByName(QStringLiteral("Online"))->SetAsBoolean(true);
            local.Post();
            ++(existing ? r.updated : r.added);
            wawi.Next();
        }
    } catch (const DatasetError &e) {
        try {
            local.Cancel();
        } catch (const DatasetError &) {
        }
        r.error = e.message();
    }
    clearFilter(local);
    Ui().Progress(0, 0);
    return r;
}

TakeOverResult TakeOverPaymentMethodsFromWaWi(TableFile &local, const QString &wawiDir)
{
    TakeOverResult r;
    if (!local.Active())
        return r;
    {
        TVLBTable wawi;
        wawi.SetTableName(QStringLiteral("Zahlart.DB"));
        if (!TVLBDatabase::Connected() && !wawiDir.trimmed().isEmpty())
            wawi.SetDirectory(wawiDir.trimmed());
        try {
            wawi.Open();
            r = TakeOverPaymentMethods(local, wawi);
            wawi.Close();
        } catch (const DatasetError &e) {
            r.error = e.message();
        }
    }
    // Written even after a stop or a failure: what was taken over stays.
    QString error;
    if (!SaveMasterTable(local, &error)) {
        if (r.error.isEmpty())
            r.error = error;
        return r;
    }
    try {
        local.Close();
        local.Open();
    } catch (const std::exception &e) {
        if (r.error.isEmpty())
            r.error = QString::fromUtf8(e.what());
    }
    return r;
}

QString DeliveryMethodsPath(const QString &wawiDir)
{
    QString dir = wawiDir.trimmed();
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("Lieferart.TXT");
}

QStringList ReadDeliveryMethods(const QString &path)
{
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    QString text = FromAnsi(f.readAll());
    text.replace(QLatin1Char('\''), QChar(0x00B4));
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TakeOverResult TakeOverShippingMethods(TableFile &local, const QStringList &lines)
{
    TakeOverResult r;
    if (!local.Active())
        return r;
    try {
        local.CheckBrowseMode();
        Field *name = local.FieldByName(QStringLiteral("versandart"));
        const int width = name->Size();
        for (const QString &raw : lines) {
            if (Cancelled()) {
                r.cancelled = true;
                break;
            }
            if (raw.trimmed().isEmpty()) {
                ++r.skipped;
                continue;
            }
            // Matched in the form the field keeps, so an overlong name is
            // found again next time.
            const QString line = width > 0 ? raw.left(width) : raw;
            if (filterOn(local, QStringLiteral("versandart"), line)) {
                ++r.updated;
                continue;   // the name is there already: nothing to change
            }
            local.Append();
            local.FieldByName(QStringLiteral("versandart"))->SetAsString(line);
            local.Post();
            ++r.added;
        }
    } catch (const DatasetError &e) {
        try {
            local.Cancel();
        } catch (const DatasetError &) {
        }
        r.error = e.message();
    }
    clearFilter(local);
    return r;
}

} // namespace mv
