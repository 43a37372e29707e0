#pragma once
// JSON lines for the command-line tool: one object per row, keys in field
// order. Every command writes values the same way, so scripts can read the
// output of one command like that of another:
//   NULL                         null
//   text                         "..." in UTF-8 ("" stays "")
//   integers                     exact decimal, signed or unsigned 64-bit
//   Float, Currency, BCD         shortest form that reads back to the same
//                                double (234.64); null for NaN and infinity
//   Boolean                      true / false
//   Date                         "yyyy-MM-dd"
//   Time                         "HH:mm:ss.zzz"
//   DateTime                     "yyyy-MM-ddTHH:mm:ss.zzz"
//   an invalid date or time      null
//   Graphic, Blob, Bytes         base64 text
// A value that does not fit its field type (a text in an integer field) is
// written as text rather than dropped.

#include "data/Dataset.h"

#include <QByteArray>
#include <QStringView>
#include <QVariant>
#include <QVector>

namespace mv {

class JsonRowWriter {
public:
    explicit JsonRowWriter(const QVector<FieldDef> &fields);

    // {"name":value,...} without a line end; values in field order, missing
    // trailing values are null.
    void AppendRow(QByteArray &out, const QVector<QVariant> &values) const;
    QByteArray Row(const QVector<QVariant> &values) const;

    static void AppendString(QByteArray &out, QStringView s);
    static void AppendValue(QByteArray &out, FieldType type, const QVariant &v);
    static QByteArray Value(FieldType type, const QVariant &v);

private:
    QVector<FieldType> m_types;
    QVector<QByteArray> m_keys;  // "name": already escaped
};

} // namespace mv
