#include "data/GridLayout.h"

#include "core/TextUtil.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace mv {

QString ColorFilePath(const QString &columnFile)
{
    if (columnFile.isEmpty())
        return columnFile;
    return columnFile.left(columnFile.size() - 1) + QLatin1Char('f');
}

namespace {
bool saveBytes(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

QJsonValue alignValue(ColumnAlign a) { return int(a); }
ColumnAlign alignFrom(const QJsonValue &v)
{
    const int i = v.toInt(0);
    return i == 1 ? ColumnAlign::Right : i == 2 ? ColumnAlign::Center : ColumnAlign::Left;
}
}

bool WriteColumnFile(const QString &path, const QVector<GridColumnLayout> &columns, QString *error)
{
    QJsonArray arr;
    for (const GridColumnLayout &c : columns) {
        QJsonObject o;
        o[QStringLiteral("field")] = c.fieldName;
        o[QStringLiteral("width")] = c.width;
        o[QStringLiteral("visible")] = c.visible;
        o[QStringLiteral("alignment")] = alignValue(c.alignment);
        o[QStringLiteral("font")] = c.font;
        o[QStringLiteral("color")] = c.color;
        o[QStringLiteral("readOnly")] = c.readOnly;
        QJsonObject t;
        t[QStringLiteral("caption")] = c.titleCaption;
        t[QStringLiteral("alignment")] = alignValue(c.titleAlignment);
        t[QStringLiteral("font")] = c.titleFont;
        o[QStringLiteral("title")] = t;
        arr.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("format")] = QStringLiteral("marktvoll-grid-columns");
    root[QStringLiteral("version")] = 1;
    root[QStringLiteral("columns")] = arr;
    return saveBytes(path, QJsonDocument(root).toJson(QJsonDocument::Indented), error);
}

bool ReadColumnFile(const QString &path, QVector<GridColumnLayout> &columns, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (!doc.isObject() || !doc.object().value(QStringLiteral("columns")).isArray()) {
        if (error)
            *error = pe.error != QJsonParseError::NoError ? pe.errorString()
                                                          : QStringLiteral("keine Spaltenliste");
        return false;
    }
    QVector<GridColumnLayout> result;
    for (const QJsonValue &v : doc.object().value(QStringLiteral("columns")).toArray()) {
        if (!v.isObject()) {
            if (error)
                *error = QStringLiteral("ungültiger Spalteneintrag");
            return false;
        }
        const QJsonObject o = v.toObject();
        GridColumnLayout c;
        c.fieldName = o.value(QStringLiteral("field")).toString();
        c.width = o.value(QStringLiteral("width")).toInt(64);
        c.visible = o.value(QStringLiteral("visible")).toBool(true);
        c.alignment = alignFrom(o.value(QStringLiteral("alignment")));
        c.font = o.value(QStringLiteral("font")).toString();
        c.color = qint32(o.value(QStringLiteral("color")).toDouble(WinColor::clWindow));
        c.readOnly = o.value(QStringLiteral("readOnly")).toBool(false);
        const QJsonObject t = o.value(QStringLiteral("title")).toObject();
        c.titleCaption = t.value(QStringLiteral("caption")).toString();
        c.titleAlignment = alignFrom(t.value(QStringLiteral("alignment")));
        c.titleFont = t.value(QStringLiteral("font")).toString();
        result.push_back(c);
    }
    columns = result;
    return true;
}

bool ReadColorFile(const QString &path, QStringList &lines)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QString text = FromAnsi(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList l = text.split(QLatin1Char('\n'));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    lines = l;
    return true;
}

bool WriteColorFile(const QString &path, const QStringList &lines, QString *error)
{
    QByteArray bytes;
    for (const QString &l : lines)
        bytes += ToAnsi(l) + "\r\n";
    return saveBytes(path, bytes, error);
}

QStringList DefaultColorList(bool haveGrid, qint32 gridColor, qint32 fontColor)
{
    using namespace WinColor;
    QStringList l{QStringLiteral("ColorON=1")};
    const qint32 c1 = haveGrid ? gridColor : clWindow;
    l << QStringLiteral("Color1=%1").arg(c1);
    if (!haveGrid)
        l << QStringLiteral("Color2=%1").arg(clInfoBk);
    else if (gridColor == clWindow)
        l << QStringLiteral("Color2=%1").arg(clInfoBk);
    else if (gridColor == clInfoBk)
        l << QStringLiteral("Color2=%1").arg(clWindow);
    else if (gridColor == clBtnShadow)
        l << QStringLiteral("Color2=%1").arg(clGreyA7);
    l << QStringLiteral("Color3=%1").arg(haveGrid ? fontColor : clWindowText);
    return l;
}

QStringList MakeColorList(bool twoColor, qint32 color1, qint32 color2, qint32 color3)
{
    return {twoColor ? QStringLiteral("ColorON=1") : QStringLiteral("ColorON=0"),
            QStringLiteral("Color1=%1").arg(color1), QStringLiteral("Color2=%1").arg(color2),
            QStringLiteral("Color3=%1").arg(color3)};
}

QString ColorListValue(const QStringList &lines, const QString &key)
{
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && line.left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

GridColors ParseColorList(const QStringList &lines)
{
    GridColors g;
    g.twoColor = ColorListValue(lines, QStringLiteral("ColorON")) != QLatin1String("0");
    std::optional<qint32> *targets[] = {&g.color1, &g.color2, &g.color3};
    const char *keys[] = {"Color1", "Color2", "Color3"};
    for (int i = 0; i < 3; ++i) {
        const QString v = ColorListValue(lines, QString::fromLatin1(keys[i]));
        if (v.isEmpty())
            continue;
        bool ok = false;
        const qint64 n = v.trimmed().toLongLong(&ok);
        if (!ok || n < INT32_MIN || n > INT32_MAX)
            break;
        *targets[i] = qint32(n);
    }
    return g;
}

} // namespace mv
