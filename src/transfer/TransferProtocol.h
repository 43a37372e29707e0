#pragma once
// The report of every run in the window is kept as a file in the program
// folder's "protokolle" folder: transfer-<date>-<time>.json, the last 50.

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace mv {

// ExeDir + "protokolle".
QString TransferProtocolDir();
// Writes report (its JSON form) as transfer-yyyy-MM-dd-HHmmss.json of the
// moment (a suffix -2, -3 ... when that name is taken), then deletes the
// oldest such files beyond keep. Returns the path, or "" with *error set.
QString SaveTransferProtocol(const QJsonObject &report, const QDateTime &moment, QString *error = nullptr,
                             int keep = 50);

} // namespace mv
