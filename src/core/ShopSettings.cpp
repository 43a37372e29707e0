#include "core/ShopSettings.h"

#include "core/ProgramFolder.h"
#include "core/TextUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace mv {

ShopSettings &Settings()
{
    static ShopSettings s;
    return s;
}

static const QString kSection = QStringLiteral("Allgemeine_Einstellung");

void ForceDir(const QString &path)
{
    QDir().mkdir(path); // one level; every error ignored
}

namespace {
QString withSlash(QString p)
{
    p = QDir::fromNativeSeparators(p);
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return p;
}
}

void InitPaths()
{
    ShopSettings &s = Settings();
    // MARKTVOLL_HOME, the program file's folder, or the user's own folder
    // of an installed program (core/ProgramFolder.h).
    s.ExeDir = CurrentProgramFolder().path;

    QString sysTemp = QDir::tempPath();
#ifdef Q_OS_WIN
    if (sysTemp.isEmpty()) {
        ForceDir(QStringLiteral("C:/VLBTEMP"));
        sysTemp = QStringLiteral("C:/VLBTEMP");
    }
#endif
    s.TempDir = withSlash(sysTemp) + QStringLiteral("ShopMod/");
    ForceDir(s.TempDir);
    InitDefaults();
}

void InitDefaults()
{
    ShopSettings &s = Settings();
    s.ShopSubdir = QStringLiteral("shop");
    s.ShopDir = s.ExeDir + s.ShopSubdir + QLatin1Char('/');
    s.PictureSubdir = QStringLiteral("abilder/");
    s.PictureDir = s.ShopDir + QStringLiteral("abilder/");
    s.Komma1 = 2;
    s.DisplayFormat = QStringLiteral("#,###,###,##0.00");
    s.VLB_Programm = 3;
    s.Aktiv_Mandant = 0;
    s.FTP_Port = QStringLiteral("21");
    s.FTP_TLS = 0;
    s.BatchSize = 30;
    s.LimitWord = QStringLiteral("LIMIT");
    s.LimitClause = s.LimitWord + QStringLiteral(" 0,") + QString::number(s.BatchSize);
}

QString SettingsFilePath()
{
    return Settings().ExeDir + QStringLiteral("ShopMod.ini");
}

// ---------------------------------------------------------------- list routines

namespace {
// Value text of name (after the first "="); null when the key is missing.
QString listValue(const QStringList &list, const QString &name)
{
    for (const QString &line : list) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (line.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1).isNull() ? QString(QLatin1String("")) : line.mid(eq + 1);
    }
    return QString();
}
}

void IniText(const QStringList &list, const QString &name, QString &target)
{
    const QString v = listValue(list, name);
    if (!v.trimmed().isEmpty())
        target = v;
}

void IniInt(const QStringList &list, const QString &name, int &target)
{
    const QString v = listValue(list, name);
    if (v.trimmed().isEmpty())
        return;
    bool ok = false;
    const int n = v.trimmed().toInt(&ok, 10);
    if (!ok)
        throw std::invalid_argument(
            QStringLiteral("Der Wert '%1' von \"%2\" ist keine gültige ganze Zahl.").arg(v, name).toStdString());
    target = n;
}

void IniBool(const QStringList &list, const QString &name, bool &target)
{
    const QString v = listValue(list, name);
    if (v.isEmpty())
        return;
    target = v != QLatin1String("0");
}

// ---------------------------------------------------------------- the file

namespace {

struct IniFile {
    QStringList lines;   // all lines of the file, without line ends
    bool ok = true;

    bool load(const QString &path)
    {
        lines.clear();
        QFile f(path);
        if (!f.exists())
            return true;
        if (!f.open(QIODevice::ReadOnly))
            return false;
        QString text = FromAnsi(f.readAll());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        lines = text.split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return true;
    }

    static bool isHeader(const QString &line, QString *name = nullptr)
    {
        const QString t = line.trimmed();
        if (!t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
            return false;
        if (name)
            *name = t.mid(1, t.size() - 2).trimmed();
        return true;
    }

    // [first, end) line range of the section's body; first = -1 when missing
    void sectionRange(const QString &section, int &first, int &end) const
    {
        first = -1;
        end = -1;
        for (int i = 0; i < lines.size(); ++i) {
            QString name;
            if (!isHeader(lines[i], &name))
                continue;
            if (first >= 0) {
                end = i;
                return;
            }
            if (name.compare(section, Qt::CaseInsensitive) == 0)
                first = i + 1;
        }
        if (first >= 0)
            end = int(lines.size());
    }

    QStringList section(const QString &name) const
    {
        int first, end;
        sectionRange(name, first, end);
        QStringList out;
        for (int i = first; first >= 0 && i < end; ++i) {
            const QString t = lines[i].trimmed();
            if (!t.isEmpty() && !t.startsWith(QLatin1Char(';')) && t.contains(QLatin1Char('=')))
                out << lines[i];
        }
        return out;
    }

    // Updates the key's line in place, or adds it after the section's last
    // entry (as the Windows profile routines do).
    void write(const QString &sectionName, const QString &key, const QString &value)
    {
        int first, end;
        sectionRange(sectionName, first, end);
        if (first < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines << QString();
            lines << QLatin1Char('[') + sectionName + QLatin1Char(']');
            first = end = int(lines.size());
        }
        int lastEntry = first - 1;
        for (int i = first; i < end; ++i) {
            const QString &line = lines[i];
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (!line.trimmed().isEmpty())
                lastEntry = i;
            if (eq >= 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
                lines[i] = line.left(eq) + QLatin1Char('=') + value;
                return;
            }
        }
        lines.insert(lastEntry + 1, key + QLatin1Char('=') + value);
    }

    bool save(const QString &path, QString *error) const
    {
        QByteArray bytes;
        for (const QString &l : lines) {
            bytes += ToAnsi(l);
            bytes += "\r\n";
        }
        const QFileInfo fi(path);
        // QTemporaryFile creates the file readable by its owner only.
        QTemporaryFile tmp(fi.absolutePath() + QStringLiteral("/ShopMod.ini.XXXXXX"));
        tmp.setAutoRemove(false);
        if (!tmp.open()) {
            if (error)
                *error = QStringLiteral("%1 kann nicht geschrieben werden: %2").arg(path, tmp.errorString());
            return false;
        }
        const bool ok = tmp.write(bytes) == bytes.size() && tmp.flush();
        tmp.close();
        if (!ok) {
            QFile::remove(tmp.fileName());
            if (error)
                *error = QStringLiteral("%1 kann nicht geschrieben werden: %2").arg(path, tmp.errorString());
            return false;
        }
#ifdef Q_OS_WIN
        QFile::remove(path);
        const bool renamed = QFile::rename(tmp.fileName(), path);
#else
        const bool renamed = std::rename(QFile::encodeName(tmp.fileName()).constData(),
                                         QFile::encodeName(path).constData()) == 0;
#endif
        if (!renamed) {
            QFile::remove(tmp.fileName());
            if (error)
                *error = QStringLiteral("%1 kann nicht ersetzt werden.").arg(path);
            return false;
        }
        return true;
    }
};

enum class Kind { Int, Text };
struct KeyDef {
    const char *key;
    Kind kind;
    std::function<void *(ShopSettings &)> member;
};

const QVector<KeyDef> &fixedKeys()
{
    static const QVector<KeyDef> keys = {
        {"Komma1", Kind::Int, [](ShopSettings &s) -> void * { return &s.Komma1; }},
        {"VLB_Programm", Kind::Int, [](ShopSettings &s) -> void * { return &s.VLB_Programm; }},
        {"Aktiv_Mandant", Kind::Int, [](ShopSettings &s) -> void * { return &s.Aktiv_Mandant; }},
        {"SQL_Server", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_Server; }},
        {"SQL_HTTP", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_HTTP; }},
        {"SQL_Host", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_Host; }},
        {"SQL_User", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_User; }},
        {"SQL_Pass", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_Pass; }},
        {"SQL_Data", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_Data; }},
        {"SQL_Global", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_Global; }},
        {"SQL_SSL", Kind::Text, [](ShopSettings &s) -> void * { return &s.SQL_SSL; }},
        {"FTP_Art", Kind::Int, [](ShopSettings &s) -> void * { return &s.FTP_Art; }},
        {"FTP_Host", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Host; }},
        {"FTP_Username", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Username; }},
        {"FTP_Password", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Password; }},
        {"FTP_Port", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Port; }},
        {"FTP_Dir", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Dir; }},
        {"FTP_Proxy_Host", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Proxy_Host; }},
        {"FTP_Proxy_UserName", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Proxy_UserName; }},
        {"FTP_Proxy_Password", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Proxy_Password; }},
        {"FTP_Proxy_Port", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Proxy_Port; }},
        {"FTP_Proxy_Type", Kind::Text, [](ShopSettings &s) -> void * { return &s.FTP_Proxy_Type; }},
        {"FTP_TLS", Kind::Int, [](ShopSettings &s) -> void * { return &s.FTP_TLS; }},
        {"InspectorBar1", Kind::Int, [](ShopSettings &s) -> void * { return &s.InspectorBar1; }},
        {"IB_Ass", Kind::Int, [](ShopSettings &s) -> void * { return &s.IB_Ass; }},
        {"Assi_Frage", Kind::Int, [](ShopSettings &s) -> void * { return &s.Assi_Frage; }},
        {"Assi_Zeige", Kind::Int, [](ShopSettings &s) -> void * { return &s.Assi_Zeige; }},
    };
    return keys;
}

QString stepKey(int p, int i)
{
    return QStringLiteral("SHOPASSI_%1_%2").arg(p).arg(i);
}

bool parseStepKey(const QString &key, int &p, int &i)
{
    if (!key.startsWith(QLatin1String("SHOPASSI_"), Qt::CaseInsensitive))
        return false;
    const QStringList parts = key.mid(9).split(QLatin1Char('_'));
    if (parts.size() != 2)
        return false;
    bool ok1, ok2;
    p = parts[0].toInt(&ok1);
    i = parts[1].toInt(&ok2);
    const auto &steps = Settings().AssiSteps;
    return ok1 && ok2 && p >= 0 && p < steps.size() && i >= 0 && i < steps[p].size();
}

const KeyDef *findKey(const QString &key)
{
    for (const KeyDef &k : fixedKeys())
        if (key.compare(QLatin1String(k.key), Qt::CaseInsensitive) == 0)
            return &k;
    return nullptr;
}

} // namespace

namespace {

// Why a text cannot go into ShopMod.ini as it stands: a line break would end
// the entry (and could start others), and the file is Windows-1252. Empty
// when it can. SetSettingValue refuses such a value; SaveSettings keeps the
// stored one for it, writes the rest and returns false with the message.
QString SettingValueProblem(const QString &key, const QString &value)
{
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
        return QStringLiteral("Der Wert von \"%1\" enthält einen Zeilenumbruch; die Einstellungsdatei ShopMod.ini "
                              "kann ihn nicht speichern. Bitte den Wert in einer Zeile angeben.")
            .arg(key);
    QString lacking;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate();
        if (!pair && (c.unicode() == 0 || UnicodeToAnsi(c.unicode()) != 0))
            continue;
        const QString ch = value.mid(i, pair ? 2 : 1);
        if (!lacking.contains(ch))
            lacking += ch;
        if (pair)
            ++i;
    }
    if (lacking.isEmpty())
        return QString();
    // A password's characters are not repeated in a message.
    return QStringLiteral("Der Wert von \"%1\" enthält Zeichen, die die Einstellungsdatei ShopMod.ini "
                          "(Windows-1252) nicht speichern kann%2. Bitte diese Zeichen weglassen.")
        .arg(key, IsPasswordKey(key) ? QString() : QStringLiteral(": ") + lacking);
}

} // namespace

bool LoadSettings(QString *error)
{
    IniFile ini;
    if (!ini.load(SettingsFilePath()))
        return true; // unreadable counts as missing
    const QStringList list = ini.section(kSection);
    ShopSettings &s = Settings();
    try {
        for (const KeyDef &k : fixedKeys()) {
            const QString name = QLatin1String(k.key);
            if (k.kind == Kind::Int)
                IniInt(list, name, *static_cast<int *>(k.member(s)));
            else
                IniText(list, name, *static_cast<QString *>(k.member(s)));
        }
    } catch (const std::exception &e) {
        if (error)
            *error = QString::fromStdString(e.what());
        return false;
    }
    // Optional, read only: the file keeps its fixed keys.
    try {
        IniInt(list, QStringLiteral("WaWi_Sicherungen"), s.WaWi_Sicherungen);
    } catch (const std::exception &) {
    }
    try {
        IniInt(list, QStringLiteral("SQL_Einzeln"), s.SQL_Einzeln);
    } catch (const std::exception &) {
    }
    // Step states: an error ends this step only.
    try {
        for (int p = 0; p < s.AssiSteps.size(); ++p)
            for (int i = 0; i < s.AssiSteps[p].size(); ++i)
                IniInt(list, stepKey(p, i), s.AssiSteps[p][i]);
    } catch (const std::exception &) {
    }
    return true;
}

bool SaveSettings(QString *error)
{
    IniFile ini;
    const QString path = SettingsFilePath();
    ini.load(path);
    ShopSettings &s = Settings();
    // A value the file cannot hold keeps its stored form; the others are
    // written all the same, and the caller hears which one stayed.
    QStringList refused;
    for (const KeyDef &k : fixedKeys()) {
        const void *m = k.member(s);
        const QString key = QLatin1String(k.key);
        const QString value = k.kind == Kind::Int ? QString::number(*static_cast<const int *>(m))
                                                  : *static_cast<const QString *>(m);
        const QString problem = SettingValueProblem(key, value);
        if (!problem.isEmpty()) {
            refused << problem + QStringLiteral(" Gespeichert bleibt der bisherige Wert.");
            continue;
        }
        ini.write(kSection, key, value);
    }
    for (int p = 0; p < s.AssiSteps.size(); ++p)
        for (int i = 0; i < s.AssiSteps[p].size(); ++i)
            ini.write(kSection, stepKey(p, i), QString::number(s.AssiSteps[p][i]));
    if (s.SQL_Einzeln != 0 || !listValue(ini.section(kSection), QStringLiteral("SQL_Einzeln")).isEmpty())
        ini.write(kSection, QStringLiteral("SQL_Einzeln"), QString::number(s.SQL_Einzeln));
    if (!ini.save(path, error))
        return false;
    if (!refused.isEmpty()) {
        if (error)
            *error = refused.join(QLatin1Char('\n'));
        return false;
    }
    return true;
}


QStringList SettingsKeys()
{
    QStringList keys;
    for (const KeyDef &k : fixedKeys())
        keys << QLatin1String(k.key);
    const auto &steps = Settings().AssiSteps;
    for (int p = 0; p < steps.size(); ++p)
        for (int i = 0; i < steps[p].size(); ++i)
            keys << stepKey(p, i);
    return keys;
}

bool IsPasswordKey(const QString &key)
{
    return key.endsWith(QLatin1String("_Pass"), Qt::CaseInsensitive)
        || key.endsWith(QLatin1String("Password"), Qt::CaseInsensitive);
}

QString SettingValue(const QString &key)
{
    ShopSettings &s = Settings();
    if (const KeyDef *k = findKey(key)) {
        const void *m = k->member(s);
        return k->kind == Kind::Int ? QString::number(*static_cast<const int *>(m))
                                    : *static_cast<const QString *>(m);
    }
    int p, i;
    if (parseStepKey(key, p, i))
        return QString::number(s.AssiSteps[p][i]);
    return QString();
}

bool SetSettingValue(const QString &key, const QString &value, QString *error)
{
    ShopSettings &s = Settings();
    const KeyDef *k = findKey(key);
    int p = -1, i = -1;
    const bool step = !k && parseStepKey(key, p, i);
    if (!k && !step) {
        if (error)
            *error = QStringLiteral("Unbekannter Schlüssel: %1").arg(key);
        return false;
    }
    if (step || k->kind == Kind::Int) {
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (!ok) {
            if (error)
                *error = QStringLiteral("Der Wert '%1' von \"%2\" ist keine gültige ganze Zahl.").arg(value, key);
            return false;
        }
        if (step)
            s.AssiSteps[p][i] = n;
        else
            *static_cast<int *>(k->member(s)) = n;
        return true;
    }
    const QString problem = SettingValueProblem(QLatin1String(k->key), value);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    *static_cast<QString *>(k->member(s)) = value;
    return true;
}

} // namespace mv
