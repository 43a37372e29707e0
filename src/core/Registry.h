#pragma once
// Registry values below HKEY_LOCAL_MACHINE. On Windows the real registry;
// elsewhere a text file in the layout of an exported .reg file:
//   [HKEY_LOCAL_MACHINE\Software\VLB-Software\VLB-Merkant\Einstellungen\Verzeichnis]
//   "Merkant"="/srv/wawi"
// Its location is $MARKTVOLL_REGISTRY, else <config dir>/marktvoll/registry.reg.

#include <QString>
#include <QStringList>

namespace mv {

// Path of the store file (non-Windows).
QString RegistryStorePath();

// Low level: key paths below HKEY_LOCAL_MACHINE ("Software\VLB-Software\..."),
// compared without regard to case as Windows does.
QString RegReadValue(const QString &keyPath, const QString &name);   // "" when missing
bool RegWriteValue(const QString &keyPath, const QString &name, const QString &value);
bool RegKeyExists(const QString &keyPath);
bool RegDeleteKey(const QString &keyPath); // the key and its sub-keys

// The settings routines: key = RegPath + "\Einstellungen\" + section.
QString RegReadSetting(const QString &section, const QString &name);
QString RegReadSettingDef(const QString &section, const QString &name, const QString &def);
int RegReadBool(const QString &section, const QString &name, int def);
bool RegWriteSetting(const QString &section, const QString &name, const QString &value);
bool RegWriteBool(const QString &section, const QString &name, bool flag);

} // namespace mv
