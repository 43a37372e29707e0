#pragma once
// Runs without the window (the nightly timer, "marktvoll-cli transfer")
// keep their report in protokolle/ like the window's, marked as such, so
// the window can say when the last one ended and how.

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace mv {

struct TransferReport;

// The report's JSON with the mark of a run without the window.
QJsonObject UnattendedProtocol(const TransferReport &report);
bool IsUnattendedProtocol(const QJsonObject &protocol);

struct LastUnattendedRun {
    bool found = false;
    QDateTime ended;
    QString outcome;   // "erfolgreich", "abgebrochen (STOP)" ...
    bool succeeded = false;
    QString file;
};

// The newest marked protocol in dir (TransferProtocolDir() by default).
LastUnattendedRun FindLastUnattendedRun(const QString &dir = QString());
// One line for the transfer window.
QString LastUnattendedRunText(const LastUnattendedRun &run);

} // namespace mv
