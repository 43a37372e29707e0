#pragma once
// Taking the shop's payment and shipping methods over from the WaWi: the
// payment table "Zahlart.DB" (through the WaWi table engine) and the list
// of delivery methods "Lieferart.TXT" in the WaWi folder.

#include "masterdata/TableFile.h"

#include <QString>
#include <QStringList>

namespace mv {

struct TakeOverResult {
    int added = 0;
    int updated = 0;
    int skipped = 0;        // blank names
    bool cancelled = false; // stopped by the cancel check
    QString error;          // empty on success
    bool ok() const { return error.isEmpty(); }
};

// One pass over an open WaWi payment table into the open local table:
// rows are matched on "Art" exactly (case and blanks count), matched rows
// updated in place, the others appended; every local field that the WaWi
// table has by name is taken (memos as plain text). Local rows without a
// WaWi counterpart stay. Leaves the local table unfiltered.
TakeOverResult TakeOverPaymentMethods(TableFile &local, Dataset &wawi);

// The whole take-over of the payment editor: opens "Zahlart.DB" on the
// WaWi database (or in wawiDir when the alias is not connected), runs the
// pass, then writes the local table and opens it again.
TakeOverResult TakeOverPaymentMethodsFromWaWi(TableFile &local, const QString &wawiDir);

// The lines of "Lieferart.TXT" (Windows-1252) with every apostrophe
// replaced by an acute accent; empty when the file is missing or unreadable.
QStringList ReadDeliveryMethods(const QString &path);
// The path of "Lieferart.TXT" in the WaWi folder.
QString DeliveryMethodsPath(const QString &wawiDir);

// Names from the list into the open local table: a name not yet present
// (exact match) becomes a new row; costs and descriptions stay untouched.
// The table is not written.
TakeOverResult TakeOverShippingMethods(TableFile &local, const QStringList &lines);

} // namespace mv
