// The steps of a run in their order. A new step: its function in a file of
// its own, one line here with its place and the box that enables it.
#include "transfer/TransferStep.h"

#include "transfer/AddressTransfer.h"
#include "transfer/ArticleTransfer.h"
#include "transfer/MasterDataUploads.h"

#include <algorithm>

namespace mv {

QVector<TransferStepEntry> TransferStepTable()
{
    QVector<TransferStepEntry> t = {
        {1, QStringLiteral("laender"), QStringLiteral("Länder"), &TransferCountries},
        {2, QStringLiteral("adressen-holen"), QStringLiteral("Adressen holen"), &FetchShopAddresses},
        {3, QStringLiteral("kunden"), QStringLiteral("Kunden"), [](TransferContext &ctx) { TransferAddresses(ctx, 0); }},
        {4, QStringLiteral("lieferanten"), QStringLiteral("Lieferanten"), [](TransferContext &ctx) { TransferAddresses(ctx, 1); }},
        {5, QStringLiteral("interessenten"), QStringLiteral("Interessenten"), [](TransferContext &ctx) { TransferAddresses(ctx, 2); }},
        {6, QStringLiteral("zahlungsarten"), QStringLiteral("Zahlungsarten"), &TransferPaymentMethods},
        // One guard for both: shipping methods before shipping costs.
        {7, QStringLiteral("versandarten"), QStringLiteral("Versandarten"),
         [](TransferContext &ctx) {
             TransferShippingMethods(ctx);
             if (!ctx.Aborted())
                 TransferShippingCosts(ctx);
         }},
        {8, QStringLiteral("warengruppen"), QStringLiteral("Warengruppen"), &TransferProductGroups},
        {9, QStringLiteral("artikel"), QStringLiteral("Artikel"), &TransferArticles},
        {10, QStringLiteral("sonderpreise"), QStringLiteral("Sonderpreise"), &TransferSpecialPrices},
        {11, QStringLiteral("news"), QStringLiteral("News"), &TransferNews},
        {12, QStringLiteral("faq"), QStringLiteral("FAQ"), &TransferFaq},
        {13, QStringLiteral("newsletter"), QStringLiteral("Newsletteradressen"), &TransferNewsletter},
    };
    std::stable_sort(t.begin(), t.end(), [](const TransferStepEntry &a, const TransferStepEntry &b) {
        return a.order < b.order;
    });
    return t;
}

} // namespace mv
