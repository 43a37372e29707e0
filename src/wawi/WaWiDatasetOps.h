#pragma once
// Small dataset operations shared by the transfer steps and the WaWi lists.

#include "data/Dataset.h"

#include <QString>

namespace mv {

class TVLBTable;

// The kind value that stands for an empty (NULL) first key part.
constexpr int kEmptyKind = -9897;

// Selects indexName on a table whose key is (kind, Mandant, text) and
// restricts it to all records of that kind and Mandant: (kind, mandant,
// RangeLow) .. (kind, mandant, RangeHigh). kind kEmptyKind puts NULL into
// the first key part. When the text bounds do not fit the third key part
// (other kinds only), the range is set with -32000 .. 32000 instead.
void SetMandantRange(TVLBTable &table, const QString &indexName, int kind, int mandant);

// Browse state: put into edit state (true), false when that fails. Any
// other state: true.
bool EnsureEditing(Dataset &ds);

// Stamps the field "Update" with the current date and time when the
// dataset can be edited and has that field.
void StampUpdate(Dataset &ds);

// WaWi records are never deleted: a delete request in the lists only
// takes the record out of the shop, by posting field := offlineValue.
// Returns false (the delete does not go on).
bool TakeOfflineInsteadOfDelete(Dataset &ds, const QString &field, bool offlineValue);

// Value of a field as text; "" when the table is closed, lacks the field,
// or reading fails.
QString FieldText(const Dataset &table, const QString &name);

} // namespace mv
