#include "setup/FtpUpload.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

namespace mv {

// What the last uploads sent: server, account and the file's path on the
// server -> local size and modification time. It decides only where the
// server cannot tell (no SIZE or no MDTM); a picture upload and the
// complete shop share the entries, since the path is the server's own.
struct FtpUpload::Manifest {
    struct Entry {
        qint64 size = -1;
        qint64 mtime = 0;
    };
    QString path;
    QHash<QString, Entry> entries;
    bool dirty = false;

    void load()
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            const QStringList parts = line.split(QLatin1Char('\t'));
            if (parts.size() != 3)
                continue;
            entries.insert(parts.at(0), Entry{parts.at(1).toLongLong(), parts.at(2).toLongLong()});
        }
    }
    void save()
    {
        if (!dirty)
            return;
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            f.write(it.key().toUtf8() + '\t' + QByteArray::number(it->size) + '\t' + QByteArray::number(it->mtime)
                    + '\n');
        f.commit();
    }
};

FtpUpload::FtpUpload()
{
    m_client.onTransferStart = [this](qint64 total) {
        if (Progress)
            Progress(0, total);
        Ui().ProcessEvents();
    };
    m_client.onProgress = [this](qint64 done, qint64 total) {
        if (Progress)
            Progress(done, total);
        Ui().ProcessEvents();
    };
    m_client.onStatus = [this](const QString &t) {
        if (Status)
            Status(t);
    };
}

FtpUpload::~FtpUpload() = default;

FtpParams FtpUpload::ParamsFromSettings()
{
    const ShopSettings &s = Settings();
    FtpParams p;
    p.host = s.FTP_Host.trimmed();
    p.user = s.FTP_Username.trimmed();
    p.password = s.FTP_Password.trimmed();
    p.port = StrToIntX(s.FTP_Port.trimmed());
    p.passive = s.FTP_Art == 1;
    p.tls = s.FTP_TLS != 0;
    if (s.FTP_Art == 2) {
        p.proxyHost = s.FTP_Proxy_Host.trimmed();
        p.proxyUser = s.FTP_Proxy_UserName.trimmed();
        p.proxyPassword = s.FTP_Proxy_Password.trimmed();
        p.proxyPort = StrToIntX(s.FTP_Proxy_Port.trimmed());
        p.proxyType = StrToIntX(s.FTP_Proxy_Type);
    }
    return p;
}

QString FtpUpload::DirKey(const QString &dir)
{
    QString d = dir;
    d.remove(QLatin1Char('/'));
    return d.trimmed().toLower();
}

bool FtpUpload::IsAsciiName(const QString &fileName)
{
    const QString u = fileName.toUpper();
    return u.endsWith(QLatin1String(".PL")) || u.endsWith(QLatin1String(".TXT"));
}

QString FtpUpload::BaseDir(const QString &fieldText)
{
    QString t = fieldText;
    for (const char *suffix : {"abilder", "config"}) {
        const int i = t.indexOf(QLatin1String(suffix));
        if (i >= 0)
            t = t.left(qMax(0, i - 1));
    }
    return t;
}

bool FtpUpload::SetSessionParams(FtpParams &p)
{
    bool ok = true;
    const FtpParams defaults;
    auto port = [&](int &value, int fallback) {
        if (value < 0 || value > 65535) {
            value = fallback;
            ok = false;
        }
    };
    port(p.port, defaults.port);
    port(p.proxyPort, defaults.proxyPort);
    if (p.proxyType < 0 || p.proxyType > 5) {
        p.proxyType = 0;
        ok = false;
    }
    for (QString *text : {&p.host, &p.user, &p.password, &p.proxyHost, &p.proxyUser, &p.proxyPassword}) {
        if (text->contains(QLatin1Char('\r')) || text->contains(QLatin1Char('\n')) || text->contains(QChar(0))) {
            text->clear();
            ok = false;
        }
    }
    return ok;
}

void FtpUpload::log(const QString &line)
{
    if (Log)
        Log(line);
}

FtpUploadResult FtpUpload::Run(const FtpUploadJob &job)
{
    m_running = true;
    m_job = &job;
    m_res = FtpUploadResult();
    Manifest manifest;
    manifest.path = job.manifestPath.isEmpty() ? Settings().ExeDir + QStringLiteral("ftpupload.lst") : job.manifestPath;
    manifest.load();
    m_manifest = &manifest;

    if (m_client.HasSession() && !m_client.Disconnect())
        log(QStringLiteral("Fehler beim Disconnect"));

    FtpParams params = job.params;
    if (!SetSessionParams(params))
        log(QStringLiteral("Fehler beim Parameter setzen"));

    if (!m_client.Connect(params)) {
        log(QStringLiteral("Fehler beim Connect"));
        log(m_client.LastError());
        m_res.connectFailed = true;
        m_running = false;
        return m_res;
    }

    // Reach the remote directory: at most two attempts.
    const QString text = job.remoteDir.trimmed();
    QString current;
    bool ended = false;
    for (int attempt = 0; attempt < 2 && !Cancelled(); ++attempt) {
        // An empty field means the account's start directory.
        if (!text.isEmpty() && !m_client.Cwd(text)) {
            m_client.Mkd(text);
            if (!m_client.Cwd(text)) {
                log(QStringLiteral("Fehler beim Connect"));
                log(m_client.LastReply());
                ended = true;
                break;
            }
            log(QStringLiteral("Verzeichnis ") + text + QStringLiteral(" erstellt"));
            Ui().ProcessEvents();
        }
        if (!m_client.Pwd(current)) {
            log(QStringLiteral("Fehler beim Connect"));
            ended = true;
            break;
        }
        current = current.trimmed();
        if (DirKey(current) == DirKey(text)) {
            m_res.dirNotFound = false;
            break;
        }
        log(QStringLiteral("Verzeichnis nicht gefunden: ") + text);
        log(QStringLiteral("Aktuelles Verzeichnis:") + current);
        Ui().ProcessEvents();
        m_res.dirNotFound = true;
    }
    if (ended) {
        m_res.connectFailed = true;
        m_client.Disconnect();
        m_running = false;
        return m_res;
    }

    if (!m_res.dirNotFound && !Cancelled()) {
        m_remoteBase = current.trimmed();
        const QString folder = QDir::cleanPath(job.localFolder);
        const bool pictures = QFileInfo(folder).fileName().compare(QLatin1String("abilder"), Qt::CaseInsensitive) == 0;
        if (uploadFolder(folder, QString(), pictures) == Step::Stop && !m_res.connectionLost)
            m_res.connectFailed = true;
    }
    manifest.save();
    m_manifest = nullptr;
    if (m_res.skipped > 0)
        log(QStringLiteral("%1 unveränderte Bilder nicht gesendet").arg(m_res.skipped));
    m_res.aborted = Cancelled();
    m_res.uploadOk = !m_res.dirNotFound && !m_res.aborted && !m_res.connectFailed && !m_res.connectionLost;
    m_client.Disconnect();
    m_running = false;
    return m_res;
}

bool FtpUpload::serverHasIt(const QFileInfo &fi, const QString &remote, const QString &key)
{
    qint64 size = -1;
    const int sizeKnown = m_client.Size(remote, size);
    if (!m_client.Connected() || sizeKnown == 0 || (sizeKnown == 1 && size != fi.size()))
        return false;
    if (sizeKnown == 1) {
        QDateTime stamp;
        const int timeKnown = m_client.Mdtm(remote, stamp);
        if (timeKnown == 0 || !m_client.Connected())
            return false;
        // Whole seconds: MDTM has no more, and the upload is never older
        // than the file it sent.
        if (timeKnown == 1)
            return stamp.toSecsSinceEpoch() >= fi.lastModified().toSecsSinceEpoch();
    }
    // The server cannot tell: what the list says about the last upload.
    const auto it = m_manifest->entries.constFind(key);
    return it != m_manifest->entries.cend() && it->size == fi.size()
        && it->mtime == fi.lastModified().toMSecsSinceEpoch();
}

FtpUpload::Step FtpUpload::uploadFolder(const QString &local, const QString &relative, bool pictures)
{
    const FtpUploadJob &job = *m_job;
    QDir dir(local);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*")}, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    // The directory as the server names it: the same file has the same key
    // whichever folder the upload started in.
    QString base = m_remoteBase;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QString baseKey =
        QStringLiteral("%1:%2:%3|%4").arg(job.params.host, QString::number(job.params.port), job.params.user, base);
    for (const QFileInfo &fi : files) {
        if (Cancelled())
            break;
        const QString name = fi.fileName();
        const QString remote = job.lowerCase ? name.toLower() : name;
        const QString key = baseKey + relative + remote;
        const qint64 mtime = fi.lastModified().toMSecsSinceEpoch();
        if (pictures && !job.allFiles && serverHasIt(fi, remote, key)) {
            ++m_res.skipped;
            continue;
        }
        log(QStringLiteral("sende ") + name);
        if (FileStarted)
            FileStarted(name);
        if (m_client.Store(fi.filePath(), remote, IsAsciiName(name))) {
            ++m_res.sent;
            m_manifest->entries.insert(key, Manifest::Entry{fi.size(), mtime});
            m_manifest->dirty = true;
            if (name.toLower() == QLatin1String("config.php")) {
                if (m_client.Site(QStringLiteral("chmod 777 config.php")) && m_client.LastCode() == 200)
                    log(QStringLiteral("chmod auf config.php erfolgreich gesetzt"));
                else
                    log(QStringLiteral("chmod auf config.php fehlgeschlagen"));
            }
        } else {
            ++m_res.failed;
            log(QStringLiteral("** Sendefehler **"));
            log(QStringLiteral("   ") + m_client.LastError());
            if (m_manifest->entries.remove(key))
                m_manifest->dirty = true;
            if (!m_client.Connected()) {
                // Every further file would fail the same way.
                log(QStringLiteral("Die Verbindung zum FTP-Server ist abgebrochen; die Übertragung wurde beendet."));
                m_res.connectionLost = true;
                return Step::Stop;
            }
        }
        Ui().ProcessEvents();
    }

    const QFileInfoList dirs = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &fi : dirs) {
        if (Cancelled())
            break;
        const QString name = fi.fileName();
        if (name.startsWith(QLatin1Char('.')))
            continue;
        if (!m_client.Cwd(name)) {
            if (!m_client.Connected()) {
                m_res.connectionLost = true;
                log(QStringLiteral("Die Verbindung zum FTP-Server ist abgebrochen; die Übertragung wurde beendet."));
                return Step::Stop;
            }
            m_client.Mkd(name);
            if (!m_client.Cwd(name)) {
                log(QStringLiteral("Fehler beim Connect"));
                log(m_client.LastReply());
                return Step::Stop;
            }
            log(QStringLiteral("Verzeichnis ") + name + QStringLiteral(" erstellt"));
        }
        const bool sub = pictures || name.compare(QLatin1String("abilder"), Qt::CaseInsensitive) == 0;
        const Step st = uploadFolder(fi.filePath(), relative + name + QLatin1Char('/'), sub);
        m_client.Cwd(QStringLiteral(".."));
        if (st == Step::Stop)
            return st;
        Ui().ProcessEvents();
    }
    return Step::Go;
}

} // namespace mv
