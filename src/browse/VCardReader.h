#pragma once
// Contacts from vCard files (versions 2.1, 3.0 and 4.0, several cards per
// file): folded lines, quoted-printable values, CHARSET parameters, UTF-8
// or Windows-1252 text.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace mv {

struct VCardContact {
    QString name;          // FN, else N
    QStringList emails;    // EMAIL values in file order
    QString customerId;    // X-CUSTOMER-ID or X-KUNDENNUMMER when present
};

QVector<VCardContact> ParseVCards(const QByteArray &data);

// Quoted-printable to bytes (soft line breaks already joined or "=\n").
QByteArray DecodeQuotedPrintable(const QByteArray &in);

} // namespace mv
