#pragma once
// Which folder is the program folder (ExeDir), and the per-user program
// folder of an installed program with its copies of the templates.
//
//   MARKTVOLL_HOME set                 -> that folder
//   program file's folder writable and
//   not an installation                -> that folder (a build tree)
//   otherwise                          -> $XDG_DATA_HOME/marktvoll
//                                         (~/.local/share/marktvoll)
//
// An installation is recognised by its templates in ../share/marktvoll
// beside the program file's folder: as root /usr/bin is writable, but the
// settings of a user never belong there.

#include <QString>
#include <QStringList>

namespace mv {

enum class ProgramFolderKind { Environment, ProgramDir, UserFolder };

struct ProgramFolderChoice {
    ProgramFolderKind kind = ProgramFolderKind::ProgramDir;
    QString path;          // absolute, trailing '/'
    QString templateDir;   // UserFolder: where the templates lie ("" when none)
};

struct ProgramFolderInputs {
    QString homeEnv;       // MARKTVOLL_HOME
    QString programDir;    // folder of the program file
    QString xdgDataHome;   // XDG_DATA_HOME
    QString home;          // HOME
};

// The decision alone, from the given inputs (reads the file system only to
// see whether folders exist and are writable).
ProgramFolderChoice ChooseProgramFolder(const ProgramFolderInputs &in);
// The inputs of this process (environment, QCoreApplication's program file
// folder or the current folder without an application object).
ProgramFolderInputs CurrentProgramFolderInputs();
ProgramFolderChoice CurrentProgramFolder();

struct TemplateSyncResult {
    bool ok = true;
    QString error;          // German, for the user
    bool created = false;   // the folder was made just now
    QStringList added;      // template files new in the folder
    QStringList updated;    // unchanged copies replaced by a newer template
    QStringList kept;       // the user's changed files, newer template not taken
    // German lines for the user ("" when there is nothing to say).
    QString Summary(const QString &folder) const;
};

// Name of the list of template copies kept in the user's folder.
QString TemplateListName();

// Brings the templates of templateDir into folder: creates it, copies
// templates that are new, replaces copies the user never changed by a newer
// template, and never touches a file the user changed nor config.php.
// Cheap when the templates did not change since the last call.
TemplateSyncResult SyncTemplates(const QString &templateDir, const QString &folder);

// What a program does first: for a user folder creates it and syncs the
// templates; for the other kinds checks nothing. A result with ok false
// means the program cannot work (its error says why).
TemplateSyncResult PrepareProgramFolder();

} // namespace mv
