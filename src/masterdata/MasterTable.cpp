#include "masterdata/MasterTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mv {

namespace {
QString joinPath(const QString &dir, const QString &name)
{
    if (dir.isEmpty())
        return name;
    if (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

bool copyField(Field *src, Field *dst)
{
    if (src->IsNull())
        return true;
    try {
        dst->SetValue(src->Value());
        return true;
    } catch (const DatasetError &) {
    }
    try {
        dst->SetAsString(src->AsString());
        return true;
    } catch (const DatasetError &) {
        return false;
    }
}
}

int CopyLegacyRows(Dataset &from, Dataset &to, const LegacyRule &rule)
{
    int posted = 0;
    from.First();
    while (!from.Eof()) {
        try {
            to.Append();
            for (int i = rule.skipFirstField ? 1 : 0; i < from.FieldCount(); ++i) {
                Field *src = from.FieldAt(i);
                Field *dst = to.FindField(src->FieldName());
                if (!dst || dst->ReadOnly())
                    continue;
                if (!copyField(src, dst) && rule.failureEndsRow)
                    break;
            }
            to.Post();
            ++posted;
        } catch (const DatasetError &) {
            try {
                to.Cancel();
            } catch (const DatasetError &) {
            }
        }
        from.Next();
    }
    return posted;
}

OpenOutcome OpenMasterTable(TableFile &table, const QString &dir, const MasterTableDef &def)
{
    OpenOutcome out;
    table.Close();
    table.SetFileName(joinPath(dir, def.fileName));
    out.open = table.OpenOrStartEmpty(def.fields, &out.backupPath);
    if (!out.open)
        return out;

    if (def.legacy.fileName.isEmpty())
        return out;
    const QString legacyPath = joinPath(dir, def.legacy.fileName);
    if (!QFile::exists(legacyPath))
        return out;
    if (def.legacy.onlyIntoEmpty && table.RecordCount() > 0)
        return out;

    MemTable legacy;
    try {
        TableFile::Load(legacy, legacyPath);
    } catch (const std::exception &e) {
        // Unreadable: left where it is, nothing is lost.
        out.legacyError = QString::fromUtf8(e.what());
        return out;
    }
    table.DisableControls();
    out.migratedRows = CopyLegacyRows(legacy, table, def.legacy);
    table.EnableControls();
    table.First();
    legacy.Close();

    QString error;
    if (!SaveMasterTable(table, &error)) {
        out.legacyError = error;
        return out;
    }
    out.legacyRemoved = QFile::remove(legacyPath);
    return out;
}

bool SaveMasterTable(TableFile &table, QString *error)
{
    try {
        table.Save();
        return true;
    } catch (const std::exception &e) {
        if (error)
            *error = SaveFailedMessage(table.FileName(), QString::fromUtf8(e.what()));
        return false;
    }
}

QString FilterLiteral(const QString &text)
{
    QString s = text;
    s.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

QString LockedMessage(const QString &path)
{
    return QStringLiteral("Datei ") + QDir::toNativeSeparators(path) + QStringLiteral(" ist gesperrt");
}

QString BackupNote(const QString &path, const QString &backupPath)
{
    return QStringLiteral("Die Datei %1 konnte nicht gelesen werden.\nSie wurde als %2 aufbewahrt; "
                          "das Fenster beginnt mit einer leeren Tabelle.")
        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(backupPath));
}

QString SaveFailedMessage(const QString &path, const QString &error)
{
    return QStringLiteral("Die Datei %1 konnte nicht gespeichert werden.\n%2")
        .arg(QDir::toNativeSeparators(path), error);
}

QString LegacyFailedMessage(const QString &legacyPath, const QString &error)
{
    return QStringLiteral("Die alte Datei %1 konnte nicht übernommen werden; sie bleibt erhalten.\n%2")
        .arg(QDir::toNativeSeparators(legacyPath), error);
}

} // namespace mv
