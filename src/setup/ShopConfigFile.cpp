#include "setup/ShopConfigFile.h"

#include "core/ShopSettings.h"
#include "setup/AssistantSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace mv {

QString ShopConfigFile::Folder()
{
    const ShopSettings &s = Settings();
    return QDir(s.ExeDir).filePath(s.ShopSubdir + QStringLiteral("/config/"));
}

QString ShopConfigFile::PhpPath() { return Folder() + QStringLiteral("config.php"); }
QString ShopConfigFile::TemplatePath() { return Folder() + QStringLiteral("config.up"); }

QString ShopConfigFile::Escape(const QString &value)
{
    QString out;
    out.reserve(value.size() + 4);
    for (QChar c : value) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString ShopConfigFile::Unescape(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value.at(i + 1);
            if (n == QLatin1Char('\\') || n == QLatin1Char('"') || n == QLatin1Char('$')) {
                out += n;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

namespace {

// $name = "value"; //remark — the quoted string is scanned by hand: a
// pattern with a repeated group gives up on very long values (the match
// then fails and the line would no longer count as an assignment).
bool parseAssignment(const QString &line, QString &key, QString &quoted, QString &remark)
{
    static const QRegularExpression head(QStringLiteral(
        "^\\s*(\\$[A-Za-z_\\x{80}-\\x{ff}][\\w\\x{80}-\\x{ff}]*(?:\\[[^\\]\"]*\\])*)\\s*=\\s*\""));
    static const QRegularExpression tail(QStringLiteral("^\\s*;\\s*(?://(.*))?$"));
    const QRegularExpressionMatch h = head.match(line);
    if (!h.hasMatch())
        return false;
    qsizetype i = h.capturedEnd(0);
    const qsizetype start = i;
    while (i < line.size() && line.at(i) != QLatin1Char('"')) {
        if (line.at(i) == QLatin1Char('\\')) {
            if (i + 1 >= line.size())
                return false;
            ++i;
        }
        ++i;
    }
    if (i >= line.size())
        return false;
    const QRegularExpressionMatch t = tail.match(QStringView(line).mid(i + 1));
    if (!t.hasMatch())
        return false;
    key = h.captured(1);
    quoted = line.mid(start, i - start);
    remark = t.captured(1);
    return true;
}

} // namespace

ConfigRow ShopConfigFile::ParseLine(const QString &line)
{
    ConfigRow r;
    r.original = line;
    const QString t = line.trimmed();
    QString key, quoted, remark;
    if (t.isEmpty() || t == QLatin1String("<?php") || t == QLatin1String("?>")) {
        r.key = t;
    } else if (t.startsWith(QLatin1String("//"))) {
        r.remark = t.mid(2).trimmed();
    } else if (parseAssignment(line, key, quoted, remark)) {
        r.assignment = true;
        r.key = key;
        r.value = Unescape(quoted).trimmed();
        r.remark = remark.trimmed();
    } else {
        // PHP the editor does not handle (code, numbers, comments of other
        // forms): shown as it stands and kept unchanged.
        r.raw = true;
        r.key = t;
    }
    r.origValue = r.value;
    r.origRemark = r.remark;
    return r;
}

QVector<ConfigRow> ShopConfigFile::Parse(const QStringList &lines)
{
    QVector<ConfigRow> rows;
    rows.reserve(lines.size());
    for (const QString &l : lines)
        rows << ParseLine(l);
    return rows;
}

QString ShopConfigFile::LineOf(const ConfigRow &row)
{
    if (row.raw || (!row.changed() && !row.original.isNull()))
        return row.original;
    QString line = row.key.trimmed();
    const int close = line.indexOf(QLatin1String("?>"));
    // An assignment read from the file stays one, whatever its name holds.
    if (row.assignment || (!line.isEmpty() && !line.contains(QLatin1String("<?php")) && (close < 0 || close >= 5)))
        line = line + QStringLiteral(" = \"") + Escape(row.value.trimmed()) + QStringLiteral("\";");
    const QString remark = row.remark.trimmed();
    if (!remark.isEmpty())
        line = (line + QStringLiteral(" //") + remark).trimmed();
    return line;
}

bool ShopConfigFile::ReadLines(const QString &path, QStringList &lines, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 kann nicht gelesen werden: %2").arg(path, f.errorString());
        return false;
    }
    QStringDecoder dec("windows-1252");
    QString text = dec(f.readAll());
    lines.clear();
    if (text.isEmpty())
        return true;
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(text.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    for (QString l : text.split(QLatin1Char('\n'))) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
        lines << l;
    }
    return true;
}

bool ShopConfigFile::Read(const QString &path, QVector<ConfigRow> &rows, QString *error)
{
    QStringList lines;
    if (!ReadLines(path, lines, error))
        return false;
    rows = Parse(lines);
    return true;
}

bool ShopConfigFile::WriteLines(const QString &path, const QStringList &lines, QString *error)
{
    QString text;
    for (const QString &l : lines) {
        if (l.contains(QLatin1Char('\r')) || l.contains(QLatin1Char('\n'))) {
            if (error)
                *error = QStringLiteral("Ein Wert enthält einen Zeilenumbruch: ") + l;
            return false;
        }
        text += l + QStringLiteral("\r\n");
    }
    QStringEncoder enc("windows-1252");
    const QByteArray bytes = enc(text);
    if (enc.hasError()) {
        if (error)
            *error = QStringLiteral("Ein Wert enthält Zeichen, die in der Shopkonfiguration (Windows-1252) nicht "
                                    "gespeichert werden können.");
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("%1 kann nicht geschrieben werden: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

QString ShopConfigFile::RowProblem(const ConfigRow &row)
{
    if (row.raw || (!row.changed() && !row.original.isNull()))
        return QString(); // written as it stands
    const QString key = row.key.trimmed().isEmpty() ? QStringLiteral("(Bemerkungszeile)") : row.key.trimmed();
    const auto hasBreak = [](const QString &t) {
        return t.contains(QLatin1Char('\r')) || t.contains(QLatin1Char('\n'));
    };
    if (hasBreak(row.value))
        return QStringLiteral("Der Wert von %1 enthält einen Zeilenumbruch; die Shopkonfiguration kann ihn nicht "
                              "speichern.").arg(key);
    if (hasBreak(row.remark))
        return QStringLiteral("Die Bemerkung zu %1 enthält einen Zeilenumbruch; bitte in einer Zeile schreiben.").arg(key);
    // PHP ends a "//" comment, and with "?>" the PHP block: the rest of
    // the line would go out on every page of the shop.
    if (row.remark.contains(QLatin1String("?>")))
        return QStringLiteral("Die Bemerkung zu %1 enthält \"?>\"; das würde den PHP-Teil der Shopkonfiguration "
                              "beenden. Bitte \"?>\" aus der Bemerkung entfernen.").arg(key);
    return QString();
}

bool ShopConfigFile::Write(const QString &path, const QVector<ConfigRow> &rows, QString *error)
{
    QStringList lines;
    lines.reserve(rows.size());
    for (const ConfigRow &r : rows) {
        const QString problem = RowProblem(r);
        if (!problem.isEmpty()) {
            if (error)
                *error = problem;
            return false;
        }
        lines << LineOf(r);
    }
    if (!WriteLines(path, lines, error))
        return false;
    // The changed file still has to be uploaded.
    AssistantSteps::Instance().MarkStepOpen(QStringLiteral("shopcfg"));
    return true;
}

bool ShopConfigFile::SetValue(QVector<ConfigRow> &rows, const QString &key, const QString &value)
{
    for (ConfigRow &r : rows)
        if (r.assignment && r.key.trimmed() == key) {
            r.value = value;
            return true;
        }
    return false;
}

bool ShopConfigFile::TemplateUpdate(QString *error)
{
    const QString up = TemplatePath();
    const QString php = PhpPath();
    if (!QFileInfo::exists(up))
        return false;
    if (!QFileInfo::exists(php)) {
        if (!QFile::rename(up, php)) {
            if (error)
                *error = QStringLiteral("%1 kann nicht umbenannt werden.").arg(up);
            return false;
        }
        return true;
    }
    QVector<ConfigRow> tmpl, old;
    if (!Read(up, tmpl, error) || !Read(php, old, error))
        return false;
    for (ConfigRow &r : tmpl) {
        if (!r.assignment || r.key.trimmed().isEmpty())
            continue;
        for (const ConfigRow &o : old)
            if (o.assignment && o.key.trimmed() == r.key.trimmed()) {
                r.value = o.value;
                break;
            }
    }
    if (!Write(php, tmpl, error))
        return false;
    if (!QFile::remove(up)) {
        if (error)
            *error = QStringLiteral("%1 kann nicht gelöscht werden.").arg(up);
        return false;
    }
    return true;
}

ShopConfigFile::DbKeysResult ShopConfigFile::WriteDbKeys(const QString &host, const QString &db,
                                                         const QString &user, const QString &pass, QString *error)
{
    if (QFileInfo::exists(TemplatePath()))
        TemplateUpdate(); // a failure leaves the old file to be updated
    const QString php = PhpPath();
    if (!QFileInfo::exists(php))
        return DbKeysResult::NoFile;
    QStringList lines;
    if (!ReadLines(php, lines, error))
        return DbKeysResult::Failed;
    const struct {
        const char *search;
        QString value;
    } keys[] = {{"$dbhost =", host.trimmed()}, {"$dbname =", db.trimmed()}, {"$dbuser =", user.trimmed()},
                {"$dbpass =", pass.trimmed()}};
    for (const auto &k : keys) {
        const QString search = QString::fromLatin1(k.search);
        const QString name = search.left(search.size() - 2);
        int found = -1;
        // The assignment itself first, so a remark that mentions the key
        // is never taken for it.
        for (int i = 0; i < lines.size() && found < 0; ++i) {
            const ConfigRow r = ParseLine(lines.at(i));
            if (r.assignment && r.key.compare(name, Qt::CaseInsensitive) == 0)
                found = i;
        }
        for (int i = 0; i < lines.size() && found < 0; ++i)
            if (lines.at(i).trimmed().toUpper().contains(search.toUpper()))
                found = i;
        if (found >= 0)
            lines[found] = search + QStringLiteral(" \"") + Escape(k.value) + QStringLiteral("\";");
    }
    if (!WriteLines(php, lines, error))
        return DbKeysResult::Failed;
    AssistantSteps::Instance().MarkStepOpen(QStringLiteral("shopcfg"));
    return DbKeysResult::Written;
}

} // namespace mv
