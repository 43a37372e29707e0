#include "transfer/ShopVersionCheck.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "transfer/TransferStep.h"

#include <QFile>
#include <QFileInfo>

namespace mv {

const QVector<UpdateLadderRow> &UpdateLadder()
{
    static const QVector<UpdateLadderRow> ladder = {
        {2.29, QStringLiteral("db/update20.sql"), QStringLiteral("Erstelle Update auf Version 2 ....")},
        {2.49, QStringLiteral("db/update25.sql"), QStringLiteral("Erstelle Update auf Version 2.5 ....")},
        {2.59, QStringLiteral("db/update26.sql"), QStringLiteral("Erstelle Update auf Version 2.6 ....")},
        {2.99, QStringLiteral("db/update30.sql"), QStringLiteral("Erstelle Update auf Version 3.0 ....")},
        {3.09, QStringLiteral("db/update31.sql"), QStringLiteral("Erstelle Update auf Version 3.1 ....")},
        {3.19, QStringLiteral("db/update32.sql"), QStringLiteral("Erstelle Update auf Version 3.2 ....")},
        {3.99, QStringLiteral("db/update40.sql"), QStringLiteral("Erstelle Update auf Version 4.0 ....")},
        {5.99, QStringLiteral("db/update60.sql"), QStringLiteral("Erstelle Update auf Version 6.0 ....")},
        {6.99, QStringLiteral("db/update70.sql"), QStringLiteral("Erstelle Update auf Version 7.0 ....")},
    };
    return ladder;
}

QStringList UpdateFilesFor(double version)
{
    QStringList files;
    for (const UpdateLadderRow &row : UpdateLadder())
        if (version < row.below)
            files << row.file;
    return files;
}

QString NoShopConnectionMessage()
{
    return QStringLiteral("Keine Verbindung zum Shopserver!\rPrüfen Sie die SQL-Einstellungen, diese sind nicht korrekt!\r"
                          "Geben Sie diese bitte erneut ein!");
}

namespace {

class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One statement per line, lines ended by CR LF, ANSI code page.
QStringList ReadScriptLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ScriptError(QStringLiteral("%1: %2").arg(path, f.errorString()).toStdString());
    QStringList lines = FromAnsi(f.readAll()).split(QLatin1Char('\n'));
    for (QString &l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

bool CheckShopVersion(TransferContext &ctx, QStringList *scriptLines)
{
    ctx.Status(QStringLiteral("Stelle Testverbindung her ...."));
    bool result = false;
    int n = 0;
    MemTable &probe = ctx.Probe();
    bool listed = false;
    try {
        if (ctx.Open(QStringLiteral("SHOW TABLES"), ctx.ProbeQuery()) == 0 && probe.Active() && probe.FieldCount() > 0) {
            n = probe.RecordCount();
            listed = true;
        } else if (ctx.Open(QStringLiteral("SELECT * from version"), ctx.ProbeQuery()) == 0 && probe.Active()
                   && probe.RecordCount() >= 1) {
            n = 999;
        }
    } catch (const ShopConnectionLost &) {
        n = 0;
    }
    if (n <= 5)
        return false;

    QStringList lines;
    try {
        result = true;
        double version = 1.0;
        bool exists = n >= 999;
        if (!exists && listed) {
            for (probe.First(); !probe.Eof(); probe.Next()) {
                if (probe.FieldAt(0)->AsString().trimmed().toLower() == QLatin1String("version")) {
                    exists = true;
                    break;
                }
            }
        }
        if (exists) {
            try {
                if (ctx.Open(QStringLiteral("SELECT * from version"), ctx.ProbeQuery()) == 0 && probe.Active()
                    && probe.RecordCount() > 0) {
                    probe.First();
                    version = StrToFloatX(probe.FieldByName(QStringLiteral("version"))->AsString());
                }
            } catch (const ShopConnectionLost &) {
                throw;
            } catch (const std::exception &e) {
                ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
                version = 1.0;
            }
        }
        ctx.Step().messages << QStringLiteral("Schemaversion des Shops: %1").arg(QString::number(version, 'f', 2));

        for (const UpdateLadderRow &row : UpdateLadder()) {
            if (!(version < row.below))
                continue;
            const QString path = Settings().ExeDir + row.file;
            if (!QFileInfo::exists(path))
                continue;
            ctx.Status(row.status);
            lines += ReadScriptLines(path);
        }
        if (scriptLines)
            *scriptLines = lines;

        if (version > kNewestShopVersion) {
            Ui().ShowMessage(QStringLiteral("Dieser Ladenwart passt nicht zu dem Shop!\rBitte auch hier das Update installieren!"),
                             UiHooks::Icon::Warning);
            ctx.Step().messages << QStringLiteral("Die Schemaversion %1 ist neuer als dieses Programm.")
                                       .arg(QString::number(version, 'f', 2));
            result = false;
        }

        if (!lines.isEmpty()) {
            const int count = lines.size();
            for (int i = 0; i < count; ++i) {
                if (lines[i].trimmed().isEmpty())
                    continue;
                ctx.Progress(i, count);
                ctx.ProcessEvents();
                ctx.Caption(lines[i]);
                try {
                    if (ctx.Execute(lines[i]) == 0)
                        ++ctx.Step().updated;
                } catch (const ShopConnectionLost &) {
                    throw;
                } catch (const std::exception &e) {
                    ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
                }
            }
            ctx.Caption(QStringLiteral("Das Update der Datenbank wurde ausgeführt!"));
        }
    } catch (const ShopConnectionLost &e) {
        ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
        return false;
    } catch (const std::exception &e) {
        Ui().ShowMessage(NoShopConnectionMessage() + QStringLiteral("\r\rSystemfehler: ") + QString::fromStdString(e.what()),
                         UiHooks::Icon::Error);
        ctx.Step().messages << QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what());
    }
    return result;
}

} // namespace mv
