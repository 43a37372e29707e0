#pragma once
// Product groups, articles with their side tables (group links of level
// 99, graduated prices, variants) and the customers' special prices.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace mv {

class Dataset;
class GroupTree;
class TransferContext;

// "wgruppen" from Warengruppe.DB (internal names filled in the WaWi where
// empty), the extra links of warengruppen.xml, then the counting unless
// articles follow in the same run.
void TransferProductGroups(TransferContext &ctx);
// "anzahl" of the groups in sentGroups ("1,5,7"; empty = all groups):
// articles of the group's subtree plus its extra links.
void CountGroupArticles(TransferContext &ctx, const QString &sentGroups);

// "artikel" and, per written article, its side tables.
void TransferArticles(TransferContext &ctx);

// "sonderpreise" rows of customers (kunde >= 0); only for edition 2.
void TransferSpecialPrices(TransferContext &ctx);

// Price of level n (1..9; other levels are never converted) as a bare
// number: gross when the article's prices are net ("PreiseNetto" false)
// and E_VK_Netto[n] is set, with the rate NMwSt of the VAT record.
QString PriceText(const Dataset &article, const Dataset *vat, int level, double price);
// Rate of the VAT record in force at t: "MwST" before "Datum", "NEU_MWST"
// from "NEU_Datum" on, "NMwST" otherwise.
double VatRateAt(const Dataset &vat, const QDateTime &t);
// A date in the short format as year-month-day without leading zeros;
// "" for a blank text or one that is no date.
QString IsoDateText(const QString &s);
// "#ArtikelNr:A-1;A-2" -> internal numbers of the Mandant's articles
// "12|15|"; "" for any other text.
QString AccessoryNumbers(const QString &s, int mandant);
// ",'v1',null,..." for the five property names (blank name or value: null).
QString VariantValues(const Dataset &row, const QStringList &names);
// The used property names with gaps closed in one pass from the fourth
// name down, as the shop's variant columns eigen1..eigen5 expect them.
QStringList VariantNames(const QStringList &used);

} // namespace mv
