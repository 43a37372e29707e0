#include "transfer/MasterDataUploads.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/DatasetUtil.h"
#include "data/FormatSettings.h"
#include "data/MemTable.h"
#include "masterdata/TableFile.h"
#include "transfer/RecordWriter.h"
#include "transfer/TransferStep.h"

#include <QFileInfo>

namespace mv {

void UploadTableFile(TransferContext &ctx, const QString &fileName, const QString &table,
                     const QString &keyField, const QString &pictureField, const QString &filter)
{
    const QString path = Settings().ExeDir + fileName;
    if (!QFileInfo::exists(path))
        return;
    // A plain table, not the file's editor table: reading never writes the file back.
    MemTable ds;
    TableFile::Load(ds, path);
    if (!filter.isEmpty()) {
        ds.SetFilter(filter);
        ds.SetFiltered(true);
    }
    WriteRecords(ctx, ds, table, keyField, pictureField);
    ds.Close();
}

void TransferCountries(TransferContext &ctx)
{
    UploadTableFile(ctx, QStringLiteral("laender4.xml"), QStringLiteral("laender"), QStringLiteral("laendername"),
                    QStringLiteral("fahne"));
}

void TransferShippingMethods(TransferContext &ctx)
{
    ctx.Status(QStringLiteral("Versandarten"));
    UploadTableFile(ctx, QStringLiteral("versandtart6.xml"), QStringLiteral("versand"), QStringLiteral("versandart"),
                    QString());
}

void TransferShippingCosts(TransferContext &ctx)
{
    ctx.Status(QStringLiteral("Versandkosten"));
    UploadTableFile(ctx, QStringLiteral("versandkosten4.xml"), QStringLiteral("nachgewicht"), QStringLiteral("gewicht"),
                    QString());
}

void TransferNews(TransferContext &ctx)
{
    UploadTableFile(ctx, QStringLiteral("news6.xml"), QStringLiteral("news"), QStringLiteral("header"),
                    QStringLiteral("bild"));
}

void TransferFaq(TransferContext &ctx)
{
    // Older shops have the counter named "zaehler": rename it to "z" and
    // add the plain "zaehler" that receives the group numbers of the file.
    try {
        if (ctx.Open(QStringLiteral("SELECT * FROM faq_gruppe ") + LimitSql(0, 1), ctx.ProbeQuery()) == 0) {
            if (IndexOfText(ctx.Probe().FieldNames(), QStringLiteral("z")) < 0) {
                ctx.Execute(QStringLiteral("ALTER TABLE faq_gruppe CHANGE zaehler z INT(11) NOT NULL AUTO_INCREMENT"));
                ctx.Execute(QStringLiteral("ALTER TABLE faq_gruppe ADD zaehler INT AFTER z"));
            }
        }
    } catch (const ShopConnectionLost &) {
        throw;
    } catch (const std::exception &e) {
        ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
    }
    UploadTableFile(ctx, QStringLiteral("faq_gruppe6.xml"), QStringLiteral("faq_gruppe"), QStringLiteral("bezeichnung"),
                    QStringLiteral("bild"));
    UploadTableFile(ctx, QStringLiteral("faq_thema6.xml"), QStringLiteral("faq_thema"), QStringLiteral("beschreibung"),
                    QStringLiteral("bild"));
}

void TransferNewsletter(TransferContext &ctx)
{
    QString filter;
    if (!ctx.Complete()) {
        // The date literal of the filter in the workstation's short format.
        filter = QStringLiteral("iupdate>='") + DateToText(ctx.ReferenceDate()) + QLatin1Char('\'');
    }
    UploadTableFile(ctx, QStringLiteral("newsletter_adr.xml"), QStringLiteral("newsletter"), QStringLiteral("email"),
                    QString(), filter);
    if (ctx.Aborted())
        return;
    UploadTableFile(ctx, QStringLiteral("newsletter_notadr.xml"), QStringLiteral("newsletter_not"),
                    QStringLiteral("email"), QString(), filter);
}

} // namespace mv
