#pragma once
// The layout files of a grid: the column file (our own JSON form) and the
// colour file beside it (key=value lines, Windows colour integers).

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace mv {

// Windows colour integers: RGB as 0x00BBGGRR, system colours as
// 0xFF000000 + index.
namespace WinColor {
constexpr qint32 System = qint32(0xFF000000);
constexpr qint32 clWindow = System + 5;         // -16777211
constexpr qint32 clWindowText = System + 8;     // -16777208
constexpr qint32 clHighlight = System + 13;     // -16777203
constexpr qint32 clHighlightText = System + 14; // -16777202
constexpr qint32 clBtnShadow = System + 16;     // -16777200
constexpr qint32 clInfoBk = System + 24;        // -16777192
constexpr qint32 clWhite = 0x00FFFFFF;
constexpr qint32 clGreyA7 = 10987431;           // A7A7A7
inline bool IsSystem(qint32 c) { return (quint32(c) & 0xFF000000u) == 0xFF000000u; }
inline int SystemIndex(qint32 c) { return int(quint32(c) & 0xFFu); }
inline qint32 FromRgb(int r, int g, int b) { return qint32((b << 16) | (g << 8) | r); }
}

// Alignment as stored: 0 left, 1 right, 2 centre.
enum class ColumnAlign { Left = 0, Right = 1, Center = 2 };

struct GridColumnLayout {
    QString fieldName;
    int width = 64;
    bool visible = true;
    ColumnAlign alignment = ColumnAlign::Left;
    QString font;            // font description text; empty = the grid's font
    qint32 color = WinColor::clWindow;
    bool readOnly = false;
    QString titleCaption;    // empty = field name
    ColumnAlign titleAlignment = ColumnAlign::Left;
    QString titleFont;
    bool operator==(const GridColumnLayout &) const = default;
};

// "Artikel.tei" -> "Artikel.tef": the last character replaced by "f".
QString ColorFilePath(const QString &columnFile);

bool WriteColumnFile(const QString &path, const QVector<GridColumnLayout> &columns, QString *error = nullptr);
// false (columns untouched) when the file is missing or damaged.
bool ReadColumnFile(const QString &path, QVector<GridColumnLayout> &columns, QString *error = nullptr);

// Colour list: the lines of the colour file.
bool ReadColorFile(const QString &path, QStringList &lines);
bool WriteColorFile(const QString &path, const QStringList &lines, QString *error = nullptr);

// The list a grid without a colour file starts with; haveGrid false uses
// the defaults clWindow / clInfoBk / clWindowText.
QStringList DefaultColorList(bool haveGrid, qint32 gridColor, qint32 fontColor);
QStringList MakeColorList(bool twoColor, qint32 color1, qint32 color2, qint32 color3);

// What a colour list says. Keys match without regard to case; a missing
// key is empty. A value that is not an integer ends the assignments: it and
// the keys after it (Color1, Color2, Color3 order) stay empty.
struct GridColors {
    bool twoColor = true;    // ColorON is anything but "0"
    std::optional<qint32> color1, color2, color3;
};
GridColors ParseColorList(const QStringList &lines);
// Value text of a key ("" when missing).
QString ColorListValue(const QStringList &lines, const QString &key);

} // namespace mv
