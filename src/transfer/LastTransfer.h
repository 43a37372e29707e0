#pragma once
// The end of the last successful run (every step ran, nothing refused, not
// stopped), kept in ShopMod.ini as the key "LetzterAbgleich" of the
// section "Allgemeine_Einstellung" (yyyy-MM-dd HH:mm:ss).

#include <QDateTime>
#include <QString>

namespace mv {

inline constexpr const char *kLastTransferKey = "LetzterAbgleich";

// Invalid when there is none (or it cannot be read).
QDateTime ReadLastTransferEnd();
bool WriteLastTransferEnd(const QDateTime &end, QString *error = nullptr);

} // namespace mv
