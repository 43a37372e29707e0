#include "wawi/ParadoxJournal.h"

#include "wawi/ParadoxTable.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace mv::pxjournal {

namespace {

int g_failAfter = -1;
constexpr quint32 kMagic = 0x4D56504A; // "MVPJ"

void step()
{
    if (g_failAfter < 0) return;
    if (g_failAfter == 0) {
        g_failAfter = -1;
        throw ParadoxError(QStringLiteral("Simulierter Abbruch beim Schreiben."));
    }
    --g_failAfter;
}

void syncFile(QFile &f)
{
    f.flush();
#ifdef Q_OS_WIN
    _commit(f.handle());
#else
    ::fsync(f.handle());
#endif
}

void syncDir(const QString &dir)
{
#ifndef Q_OS_WIN
    int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY);
    if (fd >= 0) { ::fsync(fd); ::close(fd); }
#else
    Q_UNUSED(dir);
#endif
}

[[noreturn]] void ioError(const QString &file, const QString &err)
{
    throw ParadoxError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2").arg(file, err));
}

void renameOver(const QString &from, const QString &to)
{
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()), std::filesystem::path(to.toStdU16String()), ec);
    if (ec) ioError(to, QString::fromStdString(ec.message()));
}

void applyPatch(const Patch &p)
{
    QFile f(p.file);
    if (!f.open(QIODevice::ReadWrite)) ioError(p.file, f.errorString());
    if (!f.seek(p.offset) || f.write(p.bytes) != p.bytes.size()) ioError(p.file, f.errorString());
    syncFile(f);
}

struct Replacement {
    QString tmp, target;
    QByteArray hash; // of the new content: a target that already holds it is done
};

struct JournalData {
    QVector<Replacement> repl;
    QVector<Patch> patches;
};

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

QByteArray serialize(const JournalData &j)
{
    QByteArray body;
    QDataStream ds(&body, QIODevice::WriteOnly);
    ds.setVersion(QDataStream::Qt_6_0);
    ds << kMagic << quint32(2) << quint32(j.repl.size());
    for (const Replacement &r : j.repl) ds << r.tmp << r.target << r.hash;
    ds << quint32(j.patches.size());
    for (const Patch &p : j.patches) ds << p.file << p.offset << p.bytes;
    return body + QCryptographicHash::hash(body, QCryptographicHash::Sha256);
}

bool deserialize(const QByteArray &all, JournalData *j)
{
    if (all.size() < 32) return false;
    const QByteArray body = all.left(all.size() - 32);
    if (QCryptographicHash::hash(body, QCryptographicHash::Sha256) != all.right(32)) return false;
    QDataStream ds(body);
    ds.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, ver = 0, n = 0;
    ds >> magic >> ver >> n;
    if (magic != kMagic || (ver != 1 && ver != 2) || n > 10000) return false;
    for (quint32 i = 0; i < n; ++i) {
        Replacement r;
        ds >> r.tmp >> r.target;
        if (ver >= 2) ds >> r.hash;
        j->repl.append(r);
    }
    ds >> n;
    if (n > 10'000'000) return false;
    for (quint32 i = 0; i < n; ++i) { Patch p; ds >> p.file >> p.offset >> p.bytes; j->patches.append(p); }
    return ds.status() == QDataStream::Ok;
}

// A missing new file is only fine when an earlier, interrupted apply has
// already moved it into place; anything else would leave the .DB changed
// without its index files, so the journal stays and the write fails.
void checkComplete(const JournalData &j)
{
    for (const Replacement &r : j.repl) {
        if (QFileInfo::exists(r.tmp)) continue;
        if (!r.hash.isEmpty() && fileHash(r.target) == r.hash) continue;
        throw ParadoxError(QStringLiteral("Die unterbrochene Änderung an \"%1\" kann nicht abgeschlossen werden: "
                                          "die Datei \"%2\" fehlt. Die Tabelle bleibt, wie sie ist; bitte die "
                                          "Sicherung zurückspielen oder die Tabelle in der Warenwirtschaft reparieren.")
                               .arg(QFileInfo(r.target).completeBaseName(), QFileInfo(r.tmp).fileName()));
    }
}

void apply(const JournalData &j, bool counting)
{
    for (const Replacement &r : j.repl) {
        if (counting) step();
        if (QFileInfo::exists(r.tmp)) renameOver(r.tmp, r.target);
    }
    for (const Patch &p : j.patches) {
        if (counting) step();
        applyPatch(p);
    }
}

} // namespace

QString JournalPath(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    return fi.absoluteDir().filePath(fi.completeBaseName() + QStringLiteral(".mvj"));
}

void SetFailAfter(int steps) { g_failAfter = steps; }

void WriteFileSynced(const QString &path, const QByteArray &content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) ioError(path, f.errorString());
    if (f.write(content) != content.size()) ioError(path, f.errorString());
    syncFile(f);
}

void AppendSynced(const QString &path, qint64 offset, const QByteArray &content)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) ioError(path, f.errorString());
    if (!f.seek(offset) || f.write(content) != content.size()) ioError(path, f.errorString());
    syncFile(f);
}

Transaction::Transaction(const QString &dbPath) : m_db(dbPath), m_journal(JournalPath(dbPath)) {}

Transaction::~Transaction()
{
    if (!m_done) {
        for (const Repl &r : m_repl) QFile::remove(r.tmp);
    }
}

QString Transaction::replaceFile(const QString &target, const QByteArray &content)
{
    step();
    const QString tmp = target + QStringLiteral(".mvnew");
    m_repl.append({tmp, target, QCryptographicHash::hash(content, QCryptographicHash::Sha256)});
    WriteFileSynced(tmp, content);
    return tmp;
}

void Transaction::patch(const QString &file, qint64 offset, const QByteArray &bytes)
{
    m_patches.append({file, offset, bytes});
}

void Transaction::commit()
{
    JournalData j;
    for (const Repl &r : m_repl) j.repl.append({r.tmp, r.target, r.hash});
    j.patches = m_patches;
    checkComplete(j);
    const QString tmpJournal = m_journal + QStringLiteral(".tmp");
    step();
    WriteFileSynced(tmpJournal, serialize(j));
    renameOver(tmpJournal, m_journal);
    syncDir(QFileInfo(m_journal).absolutePath());
    m_done = true; // from here on a crash is finished by Recover()
    apply(j, true);
    syncDir(QFileInfo(m_journal).absolutePath());
    step();
    QFile::remove(m_journal);
}

bool NeedsRecovery(const QString &dbPath)
{
    const QString journal = JournalPath(dbPath);
    if (QFileInfo::exists(journal) || QFileInfo::exists(journal + QStringLiteral(".tmp"))) return true;
    const QFileInfo fi(dbPath);
    const QString prefix = fi.completeBaseName() + QLatin1Char('.');
    for (const QString &e : fi.absoluteDir().entryList(QDir::Files | QDir::Hidden))
        if (e.startsWith(prefix, Qt::CaseInsensitive) && e.endsWith(QLatin1String(".mvnew"))) return true;
    return false;
}

void Recover(const QString &dbPath)
{
    const QString journal = JournalPath(dbPath);
    const QFileInfo fi(dbPath);
    QDir dir = fi.absoluteDir();
    QFile::remove(journal + QStringLiteral(".tmp"));
    if (QFileInfo::exists(journal)) {
        QFile f(journal);
        JournalData j;
        bool ok = f.open(QIODevice::ReadOnly) && deserialize(f.readAll(), &j);
        f.close();
        if (ok) {
            checkComplete(j); // throws and keeps the journal
            apply(j, false);
            syncDir(dir.path());
        }
        QFile::remove(journal);
    }
    // Temporary files of a write that never reached its journal.
    const QString prefix = fi.completeBaseName() + QLatin1Char('.');
    for (const QString &e : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (e.startsWith(prefix, Qt::CaseInsensitive) && e.endsWith(QLatin1String(".mvnew")))
            QFile::remove(dir.filePath(e));
    }
}

} // namespace mv::pxjournal
