#include "core/Registry.h"

#include "core/ShopSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <QSettings>
#else
#include <cstdio>
#endif

namespace mv {

QString RegistryStorePath()
{
    const QByteArray env = qgetenv("MARKTVOLL_REGISTRY");
    if (!env.isEmpty())
        return QFile::decodeName(env);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/marktvoll/registry.reg");
}

#ifdef Q_OS_WIN

QString RegReadValue(const QString &keyPath, const QString &name)
{
    QSettings s(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyPath, QSettings::NativeFormat);
    return s.value(name).toString();
}

bool RegWriteValue(const QString &keyPath, const QString &name, const QString &value)
{
    QSettings s(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyPath, QSettings::NativeFormat);
    s.setValue(name, value);
    s.sync();
    return s.status() == QSettings::NoError;
}

bool RegKeyExists(const QString &keyPath)
{
    QSettings s(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyPath, QSettings::NativeFormat);
    return !s.allKeys().isEmpty() || !s.childGroups().isEmpty();
}

bool RegDeleteKey(const QString &keyPath)
{
    QSettings s(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyPath, QSettings::NativeFormat);
    s.remove(QString());
    return true;
}

#else

namespace {

// The store: "[HKEY_LOCAL_MACHINE\key]" headers and "name"="value" lines,
// as in an exported .reg file (UTF-8; \" and \\ escaped in strings).
struct Store {
    struct Key {
        QString path;
        QList<QPair<QString, QString>> values;
    };
    QList<Key> keys;

    static QString norm(const QString &k)
    {
        QString r = k;
        r.replace(QLatin1Char('/'), QLatin1Char('\\'));
        while (r.contains(QStringLiteral("\\\\")))
            r.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        while (r.endsWith(QLatin1Char('\\')))
            r.chop(1);
        while (r.startsWith(QLatin1Char('\\')))
            r.remove(0, 1);
        return r;
    }

    Key *find(const QString &path)
    {
        const QString n = norm(path);
        for (Key &k : keys)
            if (k.path.compare(n, Qt::CaseInsensitive) == 0)
                return &k;
        return nullptr;
    }

    static QString unquote(const QString &s, qsizetype &i)
    {
        QString r;
        ++i; // opening quote
        while (i < s.size() && s[i] != QLatin1Char('"')) {
            if (s[i] == QLatin1Char('\\') && i + 1 < s.size())
                ++i;
            r += s[i++];
        }
        ++i;
        return r;
    }

    static QString quote(const QString &s)
    {
        QString r = s;
        r.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        r.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        r.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        r.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
        return QLatin1Char('"') + r + QLatin1Char('"');
    }

    void load()
    {
        keys.clear();
        QFile f(RegistryStorePath());
        if (!f.open(QIODevice::ReadOnly))
            return;
        const QString text = QString::fromUtf8(f.readAll());
        static const QString hklm = QStringLiteral("HKEY_LOCAL_MACHINE\\");
        Key *cur = nullptr;
        for (QString line : text.split(QLatin1Char('\n'))) {
            line = line.trimmed();
            if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
                QString p = line.mid(1, line.size() - 2);
                if (p.startsWith(hklm, Qt::CaseInsensitive))
                    p = p.mid(hklm.size());
                keys.append(Key{norm(p), {}});
                cur = &keys.last();
            } else if (cur && line.startsWith(QLatin1Char('"'))) {
                qsizetype i = 0;
                const QString name = unquote(line, i);
                while (i < line.size() && line[i] != QLatin1Char('='))
                    ++i;
                ++i;
                if (i < line.size() && line[i] == QLatin1Char('"')) {
                    QString value = unquote(line, i);
                    value.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
                    cur->values.append({name, value});
                }
            }
        }
    }

    bool save() const
    {
        QString text = QStringLiteral("Windows Registry Editor Version 5.00\n");
        for (const Key &k : keys) {
            text += QStringLiteral("\n[HKEY_LOCAL_MACHINE\\") + k.path + QStringLiteral("]\n");
            for (const auto &v : k.values)
                text += quote(v.first) + QLatin1Char('=') + quote(v.second) + QLatin1Char('\n');
        }
        const QString path = RegistryStorePath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QTemporaryFile tmp(path + QStringLiteral(".XXXXXX"));
        tmp.setAutoRemove(false);
        if (!tmp.open())
            return false;
        const QByteArray bytes = text.toUtf8();
        const bool ok = tmp.write(bytes) == bytes.size() && tmp.flush();
        tmp.close();
        if (!ok || std::rename(QFile::encodeName(tmp.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
            QFile::remove(tmp.fileName());
            return false;
        }
        return true;
    }
};

} // namespace

QString RegReadValue(const QString &keyPath, const QString &name)
{
    Store s;
    s.load();
    if (const Store::Key *k = s.find(keyPath))
        for (const auto &v : k->values)
            if (v.first.compare(name, Qt::CaseInsensitive) == 0)
                return v.second;
    return QString();
}

bool RegWriteValue(const QString &keyPath, const QString &name, const QString &value)
{
    Store s;
    s.load();
    Store::Key *k = s.find(keyPath);
    if (!k) {
        s.keys.append(Store::Key{Store::norm(keyPath), {}});
        k = &s.keys.last();
    }
    bool found = false;
    for (auto &v : k->values)
        if (v.first.compare(name, Qt::CaseInsensitive) == 0) {
            v.second = value;
            found = true;
            break;
        }
    if (!found)
        k->values.append({name, value});
    return s.save();
}

bool RegKeyExists(const QString &keyPath)
{
    Store s;
    s.load();
    const QString n = Store::norm(keyPath);
    for (const Store::Key &k : s.keys)
        if (k.path.compare(n, Qt::CaseInsensitive) == 0
            || k.path.startsWith(n + QLatin1Char('\\'), Qt::CaseInsensitive))
            return true;
    return false;
}

bool RegDeleteKey(const QString &keyPath)
{
    Store s;
    s.load();
    const QString n = Store::norm(keyPath);
    s.keys.removeIf([&](const Store::Key &k) {
        return k.path.compare(n, Qt::CaseInsensitive) == 0
            || k.path.startsWith(n + QLatin1Char('\\'), Qt::CaseInsensitive);
    });
    return s.save();
}

#endif

namespace {
QString settingsKey(const QString &section)
{
    return Settings().RegPath + QStringLiteral("\\Einstellungen\\") + section;
}
}

QString RegReadSetting(const QString &section, const QString &name)
{
    return RegReadValue(settingsKey(section), name);
}

QString RegReadSettingDef(const QString &section, const QString &name, const QString &def)
{
    const QString v = RegReadSetting(section, name);
    return v.trimmed().isEmpty() ? def : v;
}

int RegReadBool(const QString &section, const QString &name, int def)
{
    const QString v = RegReadSetting(section, name).trimmed();
    if (v.isEmpty())
        return def;
    bool ok = false;
    const int n = v.toInt(&ok);
    if (!ok)
        return def;
    return (n == 0 || n == 1) ? n : def;
}

bool RegWriteSetting(const QString &section, const QString &name, const QString &value)
{
    RegWriteValue(settingsKey(section), name, value); // a failed write is not reported
    return true;
}

bool RegWriteBool(const QString &section, const QString &name, bool flag)
{
    return RegWriteSetting(section, name, flag ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace mv
