#pragma once
// Before any data moves: is the shop database there, which schema version
// does it record, and which update scripts bring it to the version this
// program writes.

#include <QString>
#include <QStringList>
#include <QVector>

namespace mv {

class TransferContext;

struct UpdateLadderRow {
    double below;        // applies when the stored version is below this
    QString file;        // relative to ExeDir
    QString status;      // LB_Status while the file is read
};
const QVector<UpdateLadderRow> &UpdateLadder();
// Files of the ladder due for a stored version, in order.
QStringList UpdateFilesFor(double version);
// Highest version this program accepts.
constexpr double kNewestShopVersion = 7.9;

// The message when the shop cannot be used.
QString NoShopConnectionMessage();

// TFM_WaWiShop.CheckShopVersion: true when the run may go on. The
// collected script lines are left in *scriptLines (ME_Versandarten).
bool CheckShopVersion(TransferContext &ctx, QStringList *scriptLines = nullptr);

} // namespace mv
