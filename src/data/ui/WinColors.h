#pragma once
// Windows colour integers to screen colours: system colours follow the
// platform palette.

#include <QColor>

namespace mv {

QColor ToQColor(qint32 winColor);
qint32 FromQColor(const QColor &c);   // as RGB 0x00BBGGRR

} // namespace mv
