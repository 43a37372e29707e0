#include "transfer/LastTransfer.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace mv {

namespace {

const QString kSection = QStringLiteral("Allgemeine_Einstellung");
const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool IsHeader(const QString &line, QString *name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return false;
    *name = t.mid(1, t.size() - 2).trimmed();
    return true;
}

QStringList ReadLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = FromAnsi(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

QDateTime ReadLastTransferEnd()
{
    const QStringList lines = ReadLines(SettingsFilePath());
    bool inSection = false;
    for (const QString &l : lines) {
        QString name;
        if (IsHeader(l, &name)) {
            inSection = name.compare(kSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = l.indexOf(QLatin1Char('='));
        if (inSection && eq > 0 && l.left(eq).trimmed().compare(QLatin1String(kLastTransferKey), Qt::CaseInsensitive) == 0)
            return QDateTime::fromString(l.mid(eq + 1).trimmed(), kFormat);
    }
    return QDateTime();
}

bool WriteLastTransferEnd(const QDateTime &end, QString *error)
{
    const QString path = SettingsFilePath();
    QStringList lines = ReadLines(path);
    const QString entry = QLatin1String(kLastTransferKey) + QLatin1Char('=') + end.toString(kFormat);
    int first = -1, stop = int(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        QString name;
        if (!IsHeader(lines[i], &name))
            continue;
        if (first >= 0) {
            stop = i;
            break;
        }
        if (name.compare(kSection, Qt::CaseInsensitive) == 0)
            first = i + 1;
    }
    if (first < 0) {
        lines << QLatin1Char('[') + kSection + QLatin1Char(']') << entry;
    } else {
        int last = first - 1;
        bool done = false;
        for (int i = first; i < stop; ++i) {
            const qsizetype eq = lines[i].indexOf(QLatin1Char('='));
            if (!lines[i].trimmed().isEmpty())
                last = i;
            if (eq > 0 && lines[i].left(eq).trimmed().compare(QLatin1String(kLastTransferKey), Qt::CaseInsensitive) == 0) {
                lines[i] = entry;
                done = true;
                break;
            }
        }
        if (!done)
            lines.insert(last + 1, entry);
    }
    QByteArray bytes;
    for (const QString &l : lines)
        bytes += ToAnsi(l) + "\r\n";
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("%1 kann nicht geschrieben werden: %2").arg(path, f.errorString());
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

} // namespace mv
