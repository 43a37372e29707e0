#include "wawi/WaWiBackup.h"

#include "core/ShopSettings.h"
#include "wawi/ParadoxTable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mv {

namespace {

[[noreturn]] void fail(const QString &why)
{
    throw ParadoxError(QStringLiteral("Die Sicherung der WaWi-Tabelle ist nicht möglich (%1); es wird nichts geschrieben.").arg(why));
}

// Creates dir (and parents) and makes it private; refuses a folder that
// belongs to someone else or is a link.
void makePrivate(const QString &dir)
{
    if (!QDir().mkpath(dir)) fail(QStringLiteral("Ordner \"%1\" kann nicht angelegt werden").arg(QDir::toNativeSeparators(dir)));
#ifndef _WIN32
    const QByteArray n = QFile::encodeName(dir);
    struct stat st {};
    if (::lstat(n.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        fail(QStringLiteral("Ordner \"%1\" gehört nicht dem Benutzer").arg(dir));
    if ((st.st_mode & 0777) != 0700 && ::chmod(n.constData(), 0700) != 0)
        fail(QStringLiteral("Rechte von \"%1\" lassen sich nicht setzen").arg(dir));
#endif
}

QSet<QString> &backedUp()
{
    static QSet<QString> s;
    return s;
}

QString runKey(const QString &dbPath) { return QFileInfo(dbPath).absoluteFilePath().toLower(); }

QRegularExpression folderPattern(const QString &base)
{
    return QRegularExpression(QStringLiteral("^%1_\\d{8}-\\d{6}(-\\d+)?$").arg(QRegularExpression::escape(base)),
                              QRegularExpression::CaseInsensitiveOption);
}

} // namespace

void BeginWaWiBackupRun() { backedUp().clear(); }
bool WaWiBackedUpThisRun(const QString &dbPath) { return backedUp().contains(runKey(dbPath)); }
void MarkWaWiBackedUp(const QString &dbPath) { backedUp().insert(runKey(dbPath)); }

QString WaWiBackupRoot()
{
    const QString env = qEnvironmentVariable("MARKTVOLL_BACKUP_DIR");
    if (!env.isEmpty()) return QDir(env).absolutePath();
    const QString temp = Settings().TempDir;
#ifdef _WIN32
    // the user's own temporary folder
    return QDir(temp.isEmpty() ? QDir::tempPath() : temp).filePath(QStringLiteral("WaWi-Sicherung"));
#else
    // The program's temporary folder lies below the shared /tmp: a folder
    // of this user's own inside it, or below ~/.cache when that cannot be.
    if (!temp.isEmpty()) {
        const QString dir = QDir(temp).filePath(QStringLiteral("WaWi-Sicherung-%1").arg(::geteuid()));
        try {
            makePrivate(dir);
            return dir;
        } catch (const ParadoxError &) {
        }
    }
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty()) cache = QDir::home().filePath(QStringLiteral(".cache"));
    return QDir(cache).filePath(QStringLiteral("marktvoll/WaWi-Sicherung"));
#endif
}

QStringList WaWiBackupsOf(const QString &root, const QString &tableBaseName)
{
    const QDir dir(root);
    const QRegularExpression re = folderPattern(tableBaseName);
    QStringList out;
    for (const QString &e : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (re.match(e).hasMatch()) out << dir.filePath(e);
    // the time stamp sorts by name; a -n suffix comes after its second
    std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) {
        const QString na = QFileInfo(a).fileName(), nb = QFileInfo(b).fileName();
        const QString ta = na.section(QLatin1Char('_'), -1), tb = nb.section(QLatin1Char('_'), -1);
        auto num = [](const QString &t) { return t.count(QLatin1Char('-')) > 1 ? t.section(QLatin1Char('-'), 2).toInt() : 0; };
        if (ta.left(15) != tb.left(15)) return ta.left(15) > tb.left(15);
        return num(ta) > num(tb);
    });
    return out;
}

QString BackupWaWiTable(const QString &root, const QString &dbPath, const QStringList &files, int keep)
{
    makePrivate(root);
    const QString base = QFileInfo(dbPath).completeBaseName();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // More backups within one second count on after the highest one taken
    // (an older one of that second may already be pruned).
    int last = 0;
    for (const QString &e : WaWiBackupsOf(root, base)) {
        const QString t = QFileInfo(e).fileName().mid(base.size() + 1);
        if (t.left(15) == stamp) last = qMax(last, t.size() > 16 ? t.mid(16).toInt() : 1);
    }
    QString dir = QDir(root).filePath(base + QLatin1Char('_') + stamp + (last ? QStringLiteral("-%1").arg(last + 1) : QString()));
    for (int n = last + 2; QFileInfo::exists(dir); ++n) dir = QDir(root).filePath(base + QLatin1Char('_') + stamp + QLatin1Char('-') + QString::number(n));
    makePrivate(dir);
    for (const QString &f : files) {
        const QString to = QDir(dir).filePath(QFileInfo(f).fileName());
        if (!QFile::copy(f, to)) {
            QDir(dir).removeRecursively();
            fail(QStringLiteral("\"%1\" lässt sich nicht kopieren").arg(QFileInfo(f).fileName()));
        }
        QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    // only the newest ones stay
    const QStringList all = WaWiBackupsOf(root, base);
    for (int i = qMax(1, keep); i < all.size(); ++i) QDir(all.at(i)).removeRecursively();
    return dir;
}

} // namespace mv
