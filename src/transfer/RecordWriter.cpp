#include "transfer/RecordWriter.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/MemTable.h"
#include "transfer/ShopLookAhead.h"
#include "transfer/TransferStep.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <memory>

namespace mv {

QString SqlText(const QString &s)
{
    static const QString open = QStringLiteral("<HTML>");
    static const QString close = QStringLiteral("</HTML>");
    QString out;
    out.reserve(s.size() + 16);
    QString rest = s;
    for (;;) {
        const int p = rest.indexOf(open, 0, Qt::CaseInsensitive);
        QString head = p < 0 ? rest : rest.left(p);
        if (!head.contains(QLatin1String("<BR>"), Qt::CaseInsensitive))
            head.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
        head.replace(QLatin1Char('\''), QLatin1String("''"));
        head.replace(QLatin1Char('"'), QLatin1String("''''"));
        out += head;
        if (p < 0)
            break;
        const QString tail = rest.mid(p + open.size());
        // Only the section up to its end marker is converted the section's
        // way; what follows is plain text again (converted once, not twice).
        const int q = tail.indexOf(close, 0, Qt::CaseInsensitive);
        QString section = q < 0 ? tail : tail.left(q);
        section.replace(QLatin1Char('\''), QLatin1String("''"));
        section.replace(QLatin1Char('"'), QLatin1String("''"));
        out += section;
        if (q < 0)
            break;
        rest = tail.mid(q + close.size());
        if (rest.isEmpty())
            break;
    }
    return out;
}

ColumnKind KindOfFieldType(FieldType t)
{
    switch (t) {
    case FieldType::SmallInt: case FieldType::Integer: case FieldType::Word:
    case FieldType::Boolean: case FieldType::Float: case FieldType::AutoInc:
        return ColumnKind::Numeric;
    default:
        return ColumnKind::Text;
    }
}

QVector<ShopColumn> ShopColumns(const Dataset &result)
{
    QVector<ShopColumn> cols;
    for (const FieldDef &d : result.FieldDefs())
        cols.append({d.name, KindOfFieldType(d.type)});
    return cols;
}

namespace {

bool IsSqlNumber(const QString &v)
{
    static const QRegularExpression num(
        QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (num.match(v).hasMatch())
        return true;
    const QString t = v.trimmed();
    return t.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0
        || t.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0;
}

// Apostrophes doubled (an even run stays safe even when v was converted before).
QString Quoted(const QString &v)
{
    QString t = v;
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

} // namespace

QString SqlValue(ColumnKind kind, const QString &v)
{
    if (kind == ColumnKind::Text && !v.isEmpty())
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    if (v.trimmed().isEmpty())
        return QStringLiteral("NULL");
    QString n = v;
    n.replace(QLatin1Char(','), QLatin1Char('.'));
    if (IsSqlNumber(n))
        return n;
    // Never bare text in a statement: the server decides what it makes of it.
    return Quoted(v);
}

QString SqlAssignment(const QString &column, ColumnKind kind, const QString &v)
{
    return column + QLatin1Char('=') + SqlValue(kind, v);
}

QString SqlKeyCondition(const QString &column, ColumnKind kind, const QString &v)
{
    if (kind == ColumnKind::Text ? v.isEmpty() : v.trimmed().isEmpty())
        return column + QStringLiteral(" IS NULL");
    if (kind == ColumnKind::Text)
        return column + QStringLiteral("='") + SqlText(v) + QLatin1Char('\'');
    return column + QLatin1Char('=') + SqlValue(kind, v);
}

bool IsTrueLiteral(const QString &v)
{
    const QString u = v.toUpper();
    return u == QLatin1String("TRUE") || u == QLatin1String("WAHR") || u == QLatin1String("1")
        || u == QLatin1String("JA") || u == QLatin1String("YES");
}

QString BooleanLiteral(ColumnKind kind, const QString &v)
{
    const bool t = IsTrueLiteral(v);
    if (kind == ColumnKind::Numeric)
        return t ? QStringLiteral("1") : QStringLiteral("0");
    return t ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

namespace {

QString NativePath(const QString &p)
{
#ifdef Q_OS_WIN
    return p;
#else
    // References written on Windows ("bilder\x.jpg") name the same files here.
    QString t = p;
    t.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return t;
#endif
}

bool IsFile(const QString &p)
{
    // One stat: a missing file is no file either.
    return QFileInfo(p).isFile();
}

} // namespace

QString ResolveLocalFile(const QString &p)
{
    if (p.isEmpty())
        return QString();
    const QString q = NativePath(p);
    QString r;
    if (IsFile(q))
        r = q;
    const QString e = Settings().ExeDir + q;
    if (IsFile(e))
        r = e;
    return r;
}

QString PictureTargetName(const QString &path)
{
    return SafeName(QFileInfo(NativePath(path)).fileName().toLower());
}

QString CollectPicture(const QString &ref)
{
    if (ref.contains(QLatin1String("HTTP://"), Qt::CaseInsensitive))
        return ref.trimmed();
    const QString path = ResolveLocalFile(ref);
    if (path.isEmpty())
        return QString();
    // The same file referenced twice is copied once.
    if (!PictureList().contains(path))
        PictureList().append(path);
    return (Settings().PictureSubdir + PictureTargetName(path)).trimmed();
}

QString CollectPictureAnywhere(const QString &ref)
{
    QString v = CollectPicture(ref);
    if (v.trimmed().isEmpty())
        v = CollectPicture(Settings().WaWiDir + ref);
    if (v.trimmed().isEmpty())
        v = CollectPicture(Settings().ExeDir + QStringLiteral("vorlagen/") + ref);
    return v;
}

namespace {

// How the shop compares a key (case and trailing blanks do not count).
QString KeyIdentity(ColumnKind kind, const QString &v)
{
    if (kind == ColumnKind::Numeric) {
        QString n = v.trimmed();
        n.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double d = n.toDouble(&ok);
        return ok ? QString::number(d, 'g', 17) : n;
    }
    QString t = v.toLower();
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    return t;
}

} // namespace

void WriteRecords(TransferContext &ctx, Dataset &ds, const QString &table,
                  const QString &keyField, const QString &pictureField)
{
    TransferStepReport &rep = ctx.Step();
    ctx.Status(table);
    if (ctx.Complete()) {
        const qint64 rows = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        if (ctx.Execute(QStringLiteral("DELETE FROM ") + table) == 0 && rows > 0)
            rep.Deleted(table, rows);
    }
    const int total = ds.RecordCount();
    if (total == 0)
        return;
    if (ctx.Open(QStringLiteral("SELECT * FROM ") + table + QLatin1Char(' ') + LimitSql(0, 1), ctx.ProbeQuery()) != 0)
        throw DatasetError(QStringLiteral("Die Shoptabelle %1 kann nicht gelesen werden.").arg(table));
    const QVector<ShopColumn> cols = ShopColumns(ctx.Probe());
    // After the delete of a complete transfer the table is empty, also in
    // a dry run where the delete was not sent.
    const bool empty = ctx.Probe().RecordCount() == 0 || (ctx.DryRun() && ctx.Complete());
    const int first = !cols.isEmpty() && cols.first().name.compare(keyField, Qt::CaseInsensitive) == 0 ? 0 : 1;

    Field *keyF = ds.FieldByName(keyField);
    Field *picF = pictureField.isEmpty() ? nullptr : ds.FieldByName(pictureField);
    ColumnKind keyKind = ColumnKind::Text;
    for (const ShopColumn &c : cols)
        if (c.name.compare(keyField, Qt::CaseInsensitive) == 0)
            keyKind = c.kind;

    struct Target { ShopColumn col; Field *field; bool picture; };
    QVector<Target> targets;
    for (int i = first; i < cols.size(); ++i)
        if (Field *f = ds.FindField(cols[i].name))
            targets.append({cols[i], f, !pictureField.isEmpty()
                                            && cols[i].name.compare(pictureField, Qt::CaseInsensitive) == 0});

    QSet<QString> writtenKeys;   // a dry run remembers what it would have inserted

    // Batched: the keys of all records are asked in a few reads. Only when
    // the key is a column of the table; otherwise every record's own query
    // fails and the record counts as new, as one by one.
    std::unique_ptr<ShopLookAhead> ahead;
    bool keyIsColumn = false;
    for (const ShopColumn &c : cols)
        keyIsColumn = keyIsColumn || c.name.compare(keyField, Qt::CaseInsensitive) == 0;
    if (ctx.Batched() && !empty && keyIsColumn) {
        QStringList keys;
        keys.reserve(total);
        for (ds.First(); !ds.Eof(); ds.Next())
            keys << keyF->AsString();
        auto token = [keyKind](const QString &v) {
            return keyKind == ColumnKind::Numeric ? NumberKey(v) : LooseKey(SqlText(v));
        };
        ahead = std::make_unique<ShopLookAhead>(
            ctx, table, QStringList{keyField}, int(keys.size()),
            [keys, keyField, keyKind, token](int i) {
                return ShopLookAhead::Candidate{SqlKeyCondition(keyField, keyKind, keys[i]), {token(keys[i])}};
            },
            [token](const ShopLookAhead::Row &r) { return QStringList{token(r.value(0))}; });
    }

    int n = 0;
    ds.First();
    while (!ds.Eof() && !ctx.Aborted()) {
        ++rep.read;
        const QString key = keyF->AsString();
        bool isNew = empty;
        if (!empty) {
            QVector<ShopLookAhead::Row> found;
            if (ctx.DryRun() && writtenKeys.contains(KeyIdentity(keyKind, key))) {
                isNew = false;
            } else if (ahead && ahead->Find(n, &found)) {
                isNew = found.isEmpty();
            } else {
                const int r = ctx.Open(QStringLiteral("SELECT ") + keyField + QStringLiteral(" FROM ") + table
                                           + QStringLiteral(" WHERE ") + SqlKeyCondition(keyField, keyKind, key),
                                       ctx.LookupQuery());
                isNew = r != 0 || ctx.Lookup().RecordCount() == 0;
            }
        }
        QString names, values, sets;
        for (const Target &t : targets) {
            QString v = t.field->AsString();
            if (t.picture) {
                const QString ref = picF->AsString();
                v.clear();
                if (ctx.Pictures() && !ref.trimmed().isEmpty())
                    v = CollectPictureAnywhere(ref);
            }
            v = SqlText(v);
            if (!names.isEmpty()) {
                names += QLatin1Char(',');
                values += QLatin1Char(',');
                sets += QLatin1Char(',');
            }
            names += t.col.name;
            values += SqlValue(t.col.kind, v);
            sets += SqlAssignment(t.col.name, t.col.kind, v);
        }
        QString sql;
        if (isNew)
            sql = QStringLiteral("insert into ") + table + QStringLiteral(" (") + names + QStringLiteral(") values (")
                  + values + QLatin1Char(')');
        else
            sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + sets + QStringLiteral(" WHERE ")
                  + SqlKeyCondition(keyField, keyKind, key);
        if (ctx.Batched()) {
            if (ahead)
                ahead->Touch(n);
            if (ctx.DryRun() && isNew)
                writtenKeys.insert(KeyIdentity(keyKind, key));
            ctx.ExecuteLater(sql, [&rep, isNew, table](int r) {
                if (r == 0) {
                    if (isNew)
                        rep.Inserted(table);
                    else
                        rep.Updated(table);
                } else {
                    rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
                }
            });
        } else if (ctx.Execute(sql) == 0) {
            if (isNew)
                rep.Inserted(table);
            else
                rep.Updated(table);
            if (ctx.DryRun() && isNew)
                writtenKeys.insert(KeyIdentity(keyKind, key));
        } else {
            rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
        }
        ctx.Progress(n, total);
        ++n;
        ctx.ProcessEvents();
        ds.Next();
    }
    if (!ds.Eof())
        rep.stopped = true;
}

void ForEachShopRow(TransferContext &ctx, const QString &countSql, const QString &selectSql,
                    const std::function<void(MemTable &)> &row)
{
    const qint64 count = ctx.Count(countSql);
    const int batch = std::max(1, Settings().BatchSize);
    for (qint64 offset = 0; offset < count && !ctx.Aborted(); offset += batch) {
        if (ctx.Open(selectSql + QLatin1Char(' ') + LimitSql(int(offset), batch), ctx.ListQuery()) != 0)
            break;
        MemTable &list = ctx.List();
        for (list.First(); !list.Eof() && !ctx.Aborted(); list.Next())
            row(list);
    }
    if (ctx.Aborted())
        ctx.Step().stopped = true;
}

} // namespace mv
