#pragma once
// The WaWi tables' sort order: text compares case-insensitively with
// German umlauts and accented letters sorting with their base letters
// (ä = a, ö = o, ü = u, ß = ss, é = e ...), NULL (invalid QVariant or empty
// text) before every value. Used for record order in keyed tables, the
// index files we write, and by TVLBTable for ranges and finds.
//
// Usage:
//   int c = mv::ParadoxCompare(a, b, mv::PxType::Alpha);   // <0, 0, >0
//   int c = mv::ParadoxCompareKeys(keyA, keyB, types);     // compares min(len) parts
//   QString k = mv::ParadoxFoldText("Äpfel");              // "apfel"

#include "wawi/ParadoxTable.h"

#include <QString>
#include <QVariant>
#include <QVector>

namespace mv {

// Folded form of a text: lower case, umlauts and accents to their base
// letters, ß to "ss". Two texts are equal in the sort order when their
// folded forms are equal.
QString ParadoxFoldText(const QString &s);

// Compares two texts in the sort order (folded first; equal folded texts
// are then ordered by their original form so the order is total).
int ParadoxCompareText(const QString &a, const QString &b);

// Compares two values of a field type; NULL first. Numbers compare
// numerically, dates/times chronologically, bytes bytewise, logicals
// false < true. A value of another form is converted (e.g. "12" vs 12).
int ParadoxCompare(const QVariant &a, const QVariant &b, PxType type);

// Compares key tuples part by part over the first min(a.size(), b.size(),
// types.size()) parts (a shorter key is a prefix search).
int ParadoxCompareKeys(const QVariantList &a, const QVariantList &b, const QVector<PxType> &types);

} // namespace mv

namespace mv {

// A byte string whose memcmp order is the sort order of the given fields of
// one record (NULL first, text folded; with tieBreak the original texts are
// appended so that different texts never compare equal). Fast way to sort
// many records.
QByteArray ParadoxRecordSortKey(const ParadoxTable &t, int row, const QVector<int> &fields, bool tieBreak = true);
QByteArray ParadoxRawSortKey(const char *rec, const QVector<ParadoxField> &allFields, const QVector<int> &fields,
                             const ParadoxTable *codecOf, bool tieBreak = true);

} // namespace mv
