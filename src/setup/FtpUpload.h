#pragma once
// One upload of the FTP window (and of "marktvoll-cli ftp upload"): connect,
// reach the remote directory, send a local folder with its subfolders.
// Everything the user should know goes to Log as the window's log lines;
// nothing here shows a dialog.

#include "setup/FtpClient.h"

#include <QString>

class QFileInfo;

#include <functional>

namespace mv {

struct FtpUploadJob {
    FtpParams params;
    QString remoteDir;    // the field "Unterverzeichnis" as typed
    QString localFolder;  // absolute path of the folder to send
    bool lowerCase = true;
    // Pictures (files below a folder "abilder") are not sent when the
    // server holds them in the same size and not older (SIZE, MDTM; where
    // the server cannot tell, the list of the last uploads decides); true
    // sends every file.
    bool allFiles = false;
    // List of what was sent last; empty = "ftpupload.lst" in the program folder.
    QString manifestPath;
};

struct FtpUploadResult {
    bool uploadOk = false;
    bool dirNotFound = false;
    bool aborted = false;
    bool connectFailed = false;
    bool connectionLost = false;
    int sent = 0, skipped = 0, failed = 0;
};

class FtpUpload {
public:
    FtpUpload();
    ~FtpUpload();

    std::function<void(const QString &)> Log;          // the log lines
    std::function<void(const QString &)> Status;       // the client's commands and replies
    std::function<void(const QString &)> FileStarted;  // name of the file being sent
    std::function<void(qint64 position, qint64 max)> Progress;

    FtpUploadResult Run(const FtpUploadJob &job);
    bool Running() const { return m_running; }
    FtpClient &Client() { return m_client; }

    // The settings' FTP access as session parameters (FTP_Art, proxy, FTP_TLS).
    static FtpParams ParamsFromSettings();
    // "\\" or "/" free comparison form of a directory: no "/", trimmed, lower case.
    static QString DirKey(const QString &dir);
    static bool IsAsciiName(const QString &fileName);
    // FTP_Dir as stored after an upload: the picture or configuration suffix taken off.
    static QString BaseDir(const QString &fieldText);
    // Setting the session parameters: a port outside 0..65535, a proxy
    // type outside 0..5, or a line break in a name or password (it would
    // end the command it is sent in) is not taken; the other values are.
    // false when a value was refused.
    static bool SetSessionParams(FtpParams &params);

private:
    struct Manifest;
    enum class Step { Go, Stop };
    Step uploadFolder(const QString &local, const QString &relative, bool pictures);
    bool serverHasIt(const QFileInfo &fi, const QString &remote, const QString &key);
    void log(const QString &line);

    FtpClient m_client;
    const FtpUploadJob *m_job = nullptr;
    FtpUploadResult m_res;
    Manifest *m_manifest = nullptr;
    QString m_remoteBase; // the upload's directory as the server reported it
    bool m_running = false;
};

} // namespace mv
