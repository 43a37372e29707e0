#pragma once
// Addresses both ways: the fetch of new and changed shop customers into the
// WaWi (with the renumbering of a new customer's rows in the shop), the
// address transfer of one WaWi address kind into "adressen", and the
// payment methods with the mapping of payment conditions to shop ids.

#include <QString>

namespace mv {

class Dataset;
class TransferContext;
class TVLBTable;

// What ImportShopAddress found or wrote.
struct ImportedAddress {
    bool found = false;      // an existing WaWi record (by number or e-mail)
    bool written = false;    // the record was saved
    int adresse = 0;         // its "Adresse" (0 when not found and not written)
    int kind = 2;            // its "Art" (a new record is a prospect)
    QString nummer;          // its "Nummer"
};

// Writes the current row of a shop result of "adressen" into the WaWi
// address table and leaves the table on that record (primary index). With
// write false only looks the record up. Throws when a found record cannot
// be edited or the record cannot be saved, so the caller keeps the row
// marked for the next fetch.
ImportedAddress ImportShopAddress(const Dataset &row, TVLBTable &table, bool write = true);

// "Adressänderungen aus dem Shop holen".
void FetchShopAddresses(TransferContext &ctx);

// Moves a shop customer's rows from s to w: orders, favourites, ratings,
// counters, then his row in "adressen" (nummer set when given; a row still
// marked for fetching becomes fetched). deleteTargetFirst removes a stale
// row w first. False when a move was refused: his row then keeps its
// number (and its mark), so the renumbering can be repeated.
bool RenumberShopCustomer(TransferContext &ctx, qint64 s, qint64 w, const QString *nummer, bool deleteTargetFirst);

// "adressen" from the WaWi addresses of kind 0 (customers), 1 (suppliers)
// or 2 (prospects).
void TransferAddresses(TransferContext &ctx, int kind);

// "zahlart" from zahlungsart_6.xml, then MapShopPaymentMethods.
void TransferPaymentMethods(TransferContext &ctx);
// Payment conditions stored as negative numbers in "adressen" to the shop's
// payment-method ids, then the new-customer default.
void MapShopPaymentMethods(TransferContext &ctx);

} // namespace mv
