#include "core/ProgramFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

namespace mv {

namespace {

QString withSlash(QString p)
{
    p = QDir::fromNativeSeparators(p);
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return p;
}

QString shareDirOf(const QString &programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../share/marktvoll"));
}

// Templates beside the program file (a build tree copied somewhere
// read-only) serve as well as an installation's share folder.
bool hasTemplates(const QString &dir)
{
    return QFileInfo(dir + QStringLiteral("/shop")).isDir() || QFileInfo(dir + QStringLiteral("/db")).isDir();
}

QByteArray fileHash(const QString &path, bool *ok = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return QByteArray();
    }
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    if (ok)
        *ok = true;
    return h.result().toHex();
}

// Relative paths of every file below dir, sorted; names with line breaks
// cannot go into the list and are left out.
QStringList templateFiles(const QString &dir, QStringList *dirs)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    const QDir base(dir);
    while (it.hasNext()) {
        const QString abs = it.next();
        const QString rel = base.relativeFilePath(abs);
        if (rel.contains(QLatin1Char('\n')) || rel.contains(QLatin1Char('\r')))
            continue;
        if (it.fileInfo().isDir())
            dirs->append(rel);
        else
            files.append(rel);
    }
    files.sort();
    dirs->sort();
    return files;
}

// Changes whenever a template file is added, removed or rewritten.
QByteArray templateStamp(const QString &dir, const QStringList &files)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QString &rel : files) {
        const QFileInfo fi(dir + QLatin1Char('/') + rel);
        h.addData(rel.toUtf8());
        h.addData(QByteArray::number(fi.size()));
        h.addData(QByteArray::number(fi.lastModified().toMSecsSinceEpoch()));
        h.addData("\n");
    }
    return h.result().toHex();
}

struct TemplateList {
    QByteArray stamp;
    QMap<QString, QByteArray> hashes;   // relative path -> hash of the template copied
};

TemplateList readList(const QString &path)
{
    TemplateList l;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return l;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("# stamp ")) {
            l.stamp = line.mid(8).trimmed();
        } else if (line.size() > 65 && line.at(64) == ' ') {
            l.hashes.insert(QString::fromUtf8(line.mid(65)), line.left(64));
        }
    }
    return l;
}

bool writeList(const QString &path, const TemplateList &l)
{
    QByteArray bytes = "# Vorlagen im Programmordner (nicht bearbeiten)\n# stamp " + l.stamp + '\n';
    for (auto it = l.hashes.cbegin(); it != l.hashes.cend(); ++it)
        bytes += it.value() + ' ' + it.key().toUtf8() + '\n';
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

// Files the program itself writes from a template: never replaced.
bool isProtected(const QString &rel)
{
    return QFileInfo(rel).fileName().compare(QLatin1String("config.php"), Qt::CaseInsensitive) == 0;
}

// Copy through a temporary name, so a failed copy leaves the old file; the
// copy is the user's and writable for him, whatever the template's mode.
bool copyTemplate(const QString &from, const QString &to)
{
    const QString tmp = to + QStringLiteral(".vorlage-neu");
    QFile::remove(tmp);
    if (!QFile::copy(from, tmp))
        return false;
    QFile::setPermissions(tmp, QFile::permissions(tmp) | QFile::ReadOwner | QFile::WriteOwner);
    if (QFileInfo::exists(to) && !QFile::remove(to)) {
        QFile::remove(tmp);
        return false;
    }
    return QFile::rename(tmp, to);
}

} // namespace

ProgramFolderChoice ChooseProgramFolder(const ProgramFolderInputs &in)
{
    ProgramFolderChoice c;
    if (!in.homeEnv.isEmpty()) {
        c.kind = ProgramFolderKind::Environment;
        c.path = withSlash(QDir(in.homeEnv).absolutePath());
        return c;
    }
    const QString programDir = QDir(in.programDir).absolutePath();
    const QString share = shareDirOf(programDir);
    const bool installed = QFileInfo(share).isDir() && !hasTemplates(programDir);
    if (!installed && QFileInfo(programDir).isWritable()) {
        c.kind = ProgramFolderKind::ProgramDir;
        c.path = withSlash(programDir);
        return c;
    }
    c.kind = ProgramFolderKind::UserFolder;
    // The XDG rule: a relative XDG_DATA_HOME is to be ignored.
    QString data = in.xdgDataHome;
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = (in.home.isEmpty() ? QDir::homePath() : in.home) + QStringLiteral("/.local/share");
    c.path = withSlash(QDir::cleanPath(data + QStringLiteral("/marktvoll")));
    if (QFileInfo(share).isDir())
        c.templateDir = share;
    else if (hasTemplates(programDir))
        c.templateDir = programDir;
    return c;
}

ProgramFolderInputs CurrentProgramFolderInputs()
{
    ProgramFolderInputs in;
    in.homeEnv = QFile::decodeName(qgetenv("MARKTVOLL_HOME"));
    in.programDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    in.xdgDataHome = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    in.home = QFile::decodeName(qgetenv("HOME"));
    return in;
}

ProgramFolderChoice CurrentProgramFolder()
{
    return ChooseProgramFolder(CurrentProgramFolderInputs());
}

QString TemplateListName()
{
    return QStringLiteral(".vorlagen");
}

QString TemplateSyncResult::Summary(const QString &folder) const
{
    if (!ok)
        return error;
    QStringList lines;
    const QString shown = QDir::toNativeSeparators(folder);
    if (created)
        lines << QStringLiteral("Der Programmordner %1 wurde angelegt.").arg(shown);
    else if (!added.isEmpty())
        lines << QStringLiteral("Neue Vorlagen im Programmordner %1: %2").arg(shown, added.join(QStringLiteral(", ")));
    if (!updated.isEmpty())
        lines << QStringLiteral("Aktualisierte Vorlagen: %1").arg(updated.join(QStringLiteral(", ")));
    if (!kept.isEmpty())
        lines << QStringLiteral("Von Ihnen geänderte Dateien behalten (die neue Vorlage wurde nicht übernommen): %1")
                     .arg(kept.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

TemplateSyncResult SyncTemplates(const QString &templateDir, const QString &folderIn)
{
    TemplateSyncResult r;
    const QString folder = QDir::cleanPath(folderIn);
    auto fail = [&](const QString &text) {
        r.ok = false;
        r.error = text;
        return r;
    };
    const QString hint = QStringLiteral("Bitte prüfen Sie die Rechte Ihres Benutzerordners "
                                        "oder setzen Sie MARKTVOLL_HOME auf einen beschreibbaren Ordner.");
    const QFileInfo fi(folder);
    if (!fi.exists()) {
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("Der Programmordner %1 kann nicht angelegt werden.\n%2")
                            .arg(QDir::toNativeSeparators(folder), hint));
        r.created = true;
    } else if (!fi.isDir()) {
        return fail(QStringLiteral("Der Programmordner %1 ist kein Ordner.\n%2").arg(QDir::toNativeSeparators(folder), hint));
    }
    // A probe: isWritable() does not see read-only mounts.
    {
        QFile probe(folder + QStringLiteral("/.schreibprobe"));
        if (!probe.open(QIODevice::WriteOnly))
            return fail(QStringLiteral("In den Programmordner %1 kann nicht geschrieben werden.\n%2")
                            .arg(QDir::toNativeSeparators(folder), hint));
        probe.close();
        probe.remove();
    }
    if (templateDir.isEmpty() || !QFileInfo(templateDir).isDir())
        return r;

    QStringList dirs;
    const QStringList files = templateFiles(templateDir, &dirs);
    const QString listPath = folder + QLatin1Char('/') + TemplateListName();
    const TemplateList old = readList(listPath);
    TemplateList now;
    now.stamp = templateStamp(templateDir, files);
    if (!r.created && old.stamp == now.stamp)
        return r;

    for (const QString &d : dirs)
        QDir().mkpath(folder + QLatin1Char('/') + d);
    for (const QString &rel : files) {
        const QString src = templateDir + QLatin1Char('/') + rel;
        const QString dst = folder + QLatin1Char('/') + rel;
        bool readable = false;
        const QByteArray tHash = fileHash(src, &readable);
        if (!readable)
            continue;   // an unreadable template is not the user's fault
        now.hashes.insert(rel, tHash);
        const bool known = old.hashes.contains(rel);
        const bool templateChanged = !known || old.hashes.value(rel) != tHash;
        auto copy = [&](QStringList &into) {
            QDir().mkpath(QFileInfo(dst).absolutePath());
            if (!copyTemplate(src, dst)) {
                r.ok = false;
                r.error = QStringLiteral("Die Vorlage %1 kann nicht nach %2 kopiert werden.\n%3")
                              .arg(QDir::toNativeSeparators(src), QDir::toNativeSeparators(dst), hint);
                return false;
            }
            if (!r.created)
                into << rel;
            return true;
        };
        if (!QFileInfo::exists(dst)) {
            // Removed by the user (or consumed, as config.up): only a newer
            // template comes back.
            if (templateChanged && !copy(r.added))
                return r;
            continue;
        }
        const QByteArray uHash = fileHash(dst);
        if (uHash == tHash || !templateChanged)
            continue;
        if (!isProtected(rel) && known && old.hashes.value(rel) == uHash) {
            if (!copy(r.updated))
                return r;
        } else {
            r.kept << rel;
        }
    }
    if (!writeList(listPath, now))
        return fail(QStringLiteral("Die Liste der Vorlagen %1 kann nicht geschrieben werden.\n%2")
                        .arg(QDir::toNativeSeparators(listPath), hint));
    return r;
}

TemplateSyncResult PrepareProgramFolder()
{
    const ProgramFolderChoice c = CurrentProgramFolder();
    if (c.kind != ProgramFolderKind::UserFolder)
        return TemplateSyncResult();
    return SyncTemplates(c.templateDir, c.path);
}

} // namespace mv
