#pragma once
// The shop's configuration file config.php (and its template config.up)
// in the local shop folder: Windows-1252 text with CR LF line ends, one
// row per line of key, value and remark. Lines are kept byte for byte
// unless their value or remark was changed; lines that are not an
// assignment of a quoted string are never rewritten. Values are written
// escaped for PHP double-quoted strings (\ " $) and read back unescaped.

#include <QString>
#include <QStringList>
#include <QVector>

namespace mv {

struct ConfigRow {
    QString key, value, remark;
    // The file's line, and what the reader made of it.
    QString original;
    QString origValue, origRemark;
    // An assignment $name = "..."; (editable value).
    bool assignment = false;
    // A line the editor does not understand: shown, never rewritten.
    bool raw = false;

    bool changed() const { return value != origValue || remark != origRemark; }
};

class ShopConfigFile {
public:
    // Folder "config" of the local shop folder, with trailing "/".
    static QString Folder();
    static QString PhpPath();       // .../config/config.php
    static QString TemplatePath();  // .../config/config.up

    static ConfigRow ParseLine(const QString &line);
    static QVector<ConfigRow> Parse(const QStringList &lines);
    // The line a row is written as: its original line when unchanged.
    static QString LineOf(const ConfigRow &row);

    // Lines of a file (Windows-1252, CR LF or LF); false when unreadable.
    static bool ReadLines(const QString &path, QStringList &lines, QString *error = nullptr);
    static bool Read(const QString &path, QVector<ConfigRow> &rows, QString *error = nullptr);
    // Writes through a temporary file; false (nothing changed on disk)
    // when a text does not fit Windows-1252 or holds a line break.
    static bool WriteLines(const QString &path, const QStringList &lines, QString *error = nullptr);
    // Refuses (nothing written) a row whose remark holds "?>" or whose
    // value or remark holds a line break: see RowProblem.
    static bool Write(const QString &path, const QVector<ConfigRow> &rows, QString *error = nullptr);
    // Why a row to be rewritten cannot go into the file (German, names the
    // key, never the value); empty when it can.
    static QString RowProblem(const ConfigRow &row);

    static QString Escape(const QString &value);
    static QString Unescape(const QString &value);

    // Template update: with config.up and config.php, the template's keys,
    // order and remarks with the user's values, config.up removed; with
    // only config.up, it becomes config.php. Returns whether anything was
    // done; false with *error when it failed (config.up is then kept).
    static bool TemplateUpdate(QString *error = nullptr);

    // The database keys ($dbhost, $dbname, $dbuser, $dbpass) replaced by
    // new assignment lines; keys missing from the file are not added.
    enum class DbKeysResult { Written, NoFile, Failed };
    static DbKeysResult WriteDbKeys(const QString &host, const QString &db, const QString &user,
                                    const QString &pass, QString *error = nullptr);

    // Sets the value of the first assignment with that key (exact);
    // false when there is none.
    static bool SetValue(QVector<ConfigRow> &rows, const QString &key, const QString &value);
};

} // namespace mv
