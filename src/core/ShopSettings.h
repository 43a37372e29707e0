#pragma once
// The one process-wide settings record every window reads and writes, and
// the file ShopMod.ini in the program folder that keeps part of it.

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

namespace mv {

struct ShopSettings {
    QString ExeDir;          // program folder, trailing separator
    QString TempDir;         // trailing separator
    QString ShopSubdir = QStringLiteral("shop");
    QString ShopDir;
    QString PictureSubdir = QStringLiteral("abilder/");
    QString PictureDir;
    int Komma1 = 2;
    QString DisplayFormat = QStringLiteral("#,###,###,##0.00");
    int VLB_Programm = 3;
    int Aktiv_Mandant = 0;
    int BatchSize = 30;
    QString LimitWord = QStringLiteral("LIMIT");
    QString LimitClause = QStringLiteral("LIMIT 0,30");

    QString SQL_Server, SQL_HTTP, SQL_Host, SQL_User, SQL_Pass, SQL_Data, SQL_Global;
    // Direct connection encrypted (TLS, checked certificate): "1" always,
    // "0" never, empty for every host that is not the local one.
    QString SQL_SSL;

    int FTP_Art = 0;
    QString FTP_Host, FTP_Username, FTP_Password;
    QString FTP_Port = QStringLiteral("21");
    QString FTP_Dir, FTP_Proxy_Host, FTP_Proxy_UserName, FTP_Proxy_Password, FTP_Proxy_Port, FTP_Proxy_Type;
    // 1: explicit FTPS (AUTH TLS, protected data connections); 0: plain FTP.
    int FTP_TLS = 0;

    int Assi_Frage = 0;
    int Assi_Zeige = 1;
    // Backups of a WaWi table kept per table (the oldest go); read from
    // ShopMod.ini key "WaWi_Sicherungen" when present, never written.
    int WaWi_Sicherungen = 5;
    // ShopMod.ini key "SQL_Einzeln": 1 = the transfer sends one statement
    // per round trip (for a shop whose server misbehaves with batches).
    // Written only once set, so files without it stay as they are.
    int SQL_Einzeln = 0;

    QString RegPath = QStringLiteral("Software\\VLB-Software\\Zweigwart");
    QString WaWiDir;
    int Hauptwaehrung = 0;
    int Euro = 0;
    bool Euroumstell = false;
    std::array<bool, 10> E_VK_Netto{};  // [1..9] used
    QChar RangeLow = QChar(0);
    QChar RangeHigh = QChar(127);
    bool AbortWait = false;

    // Carried for windows that apply and supply them: the open panel of the
    // main navigation bar and of the assistant's step bar, and the state
    // image of every assistant step (1 done, 0 open) per panel.
    int InspectorBar1 = 0;
    int IB_Ass = 0;
    QVector<QVector<int>> AssiSteps = {QVector<int>(5, 0), QVector<int>(3, 0)};
};

ShopSettings &Settings();

// Folders from the program file's folder ($MARKTVOLL_HOME overrides) and
// the system temporary path; creates TempDir; then InitDefaults.
void InitPaths();
void InitDefaults();
// Path of ShopMod.ini.
QString SettingsFilePath();
// Reads ShopMod.ini. A non-numeric integer value stops loading at that key:
// returns false with the message in *error; the keys before it are applied.
bool LoadSettings(QString *error = nullptr);
// Writes ShopMod.ini (temporary file + rename, owner-only permissions).
bool SaveSettings(QString *error = nullptr);

// Keys of ShopMod.ini in file order, and access to their values as text
// (used by "marktvoll-cli settings").
QStringList SettingsKeys();
bool IsPasswordKey(const QString &key);
QString SettingValue(const QString &key);
// false (with *error) for an unknown key or a non-numeric integer.
bool SetSettingValue(const QString &key, const QString &value, QString *error = nullptr);

// List routines on "name=value" lines.
void IniText(const QStringList &list, const QString &name, QString &target);
// Throws std::invalid_argument with a clear message on a non-numeric value.
void IniInt(const QStringList &list, const QString &name, int &target);
void IniBool(const QStringList &list, const QString &name, bool &target);

void ForceDir(const QString &path);

} // namespace mv
