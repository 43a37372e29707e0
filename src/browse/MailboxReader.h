#pragma once
// The addressees of sent mails: mbox files and Maildir folders, the To, Cc
// and Bcc headers (folded, RFC 2047 encoded names decoded, groups of
// recipients); the sender is never taken.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace mv {

struct MailAddress {
    QString name;      // display name, decoded
    QString address;   // addr-spec as written
};

// RFC 2047 encoded words (=?charset?Q?...?= / =?charset?B?...?=) decoded;
// blanks between two encoded words dropped.
QString DecodeMimeHeader(const QString &text);

// An address list of a header value: "Name" <a@b>, c@d (Kommentar),
// Gruppe: e@f, g@h; and the like.
QVector<MailAddress> ParseAddressList(const QString &value);

// The recipients (To, Cc, Bcc, in that order per message) of one message's
// bytes (headers up to the first empty line).
QVector<MailAddress> MessageRecipients(const QByteArray &message);

// Messages of an mbox file ("From " separator lines).
QVector<QByteArray> SplitMbox(const QByteArray &data);

// All recipients of an mbox file, or of a Maildir folder (cur/ and new/,
// or the files of the folder itself), in file order.
QVector<MailAddress> MboxRecipients(const QByteArray &data);
QVector<MailAddress> MailboxRecipients(const QString &path, QString *error = nullptr);

} // namespace mv
