// The payment methods of zahlungsart_6.xml into the shop table "zahlart",
// and the mapping of the WaWi payment conditions in "adressen" to them.
#include "transfer/AddressTransfer.h"

#include "core/RtfToText.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/DatasetUtil.h"
#include "data/MemTable.h"
#include "masterdata/TableFile.h"
#include "transfer/RecordWriter.h"
#include "transfer/ShopLookAhead.h"
#include "transfer/TransferStep.h"

#include <QFileInfo>

#include <memory>

namespace mv {

namespace {

// File field of a shop column of "zahlart" ("" = none).
QString FileFieldOf(const QString &column, const MemTable &file)
{
    const QString c = column.toLower();
    QString f;
    if (c == QLatin1String("id") || c == QLatin1String("kfmart"))
        f = QStringLiteral("Zahlungsart");
    else if (c == QLatin1String("beschreibung"))
        f = QStringLiteral("Art");
    else if (c.size() == 13 && c.startsWith(QLatin1String("beschreibung")) && c.at(12) >= QLatin1Char('2') && c.at(12) <= QLatin1Char('5'))
        f = QStringLiteral("Art") + c.at(12);
    else if (c == QLatin1String("beschreibung_2"))
        f = QStringLiteral("Bezeichnung_2");
    else if (c.startsWith(QLatin1String("beschreibung_2_")))
        f = QStringLiteral("Bezeichnung_2_") + c.mid(15);
    else if (c == QLatin1String("aktiv"))
        f = QStringLiteral("Online");
    else if (c == QLatin1String("ausland"))
        f = QStringLiteral("OnlineAusland");
    else if (c == QLatin1String("schriftlich"))
        f = QStringLiteral("OnlineSchrift");
    else
        f = column;
    const Field *field = file.FindField(f);
    return field ? field->FieldName() : QString();
}

// A whole number as SQL text; "" for anything else (shop values used as keys).
QString IntegerText(const QString &v)
{
    bool ok = false;
    const qint64 n = v.trimmed().toLongLong(&ok);
    if (!ok) {
        const double d = v.trimmed().toDouble(&ok);
        if (!ok || d != double(qint64(d)))
            return QString();
        return QString::number(qint64(d));
    }
    return QString::number(n);
}

} // namespace

void TransferPaymentMethods(TransferContext &ctx)
{
    TransferStepReport &rep = ctx.Step();
    ctx.Status(QStringLiteral("Zahlarten"));
    int nextId = 10001;
    const QString path = Settings().ExeDir + QStringLiteral("zahlungsart_6.xml");
    const QString zahlart = QStringLiteral("zahlart");
    if (QFileInfo::exists(path)) {
        MemTable file;
        TableFile::Load(file, path);
        if (ctx.Complete()) {
            const qint64 n = ctx.Count(QStringLiteral("select count(*) from zahlart"));
            if (ctx.Execute(QStringLiteral("delete from zahlart")) == 0 && n > 0)
                rep.Deleted(zahlart, n);
        }
        auto probe = [&] {
            if (ctx.Open(QStringLiteral("SELECT * FROM zahlart ") + LimitSql(0, 1), ctx.ProbeQuery()) != 0)
                throw DatasetError(QStringLiteral("Die Shoptabelle zahlart kann nicht gelesen werden."));
        };
        probe();
        QStringList names;
        for (const ShopColumn &c : ShopColumns(ctx.Probe()))
            names << c.name;
        if (IndexOfText(names, QStringLiteral("neukunde")) < 0) {
            ctx.Execute(QStringLiteral("ALTER TABLE zahlart ADD neukunde INT AFTER kfmart"));
            probe();
        }
        const QVector<ShopColumn> cols = ShopColumns(ctx.Probe());
        const bool empty = ctx.Probe().RecordCount() == 0 || (ctx.DryRun() && ctx.Complete());

        struct Target {
            ShopColumn col;
            Field *field;
        };
        QVector<Target> targets;
        for (const ShopColumn &c : cols) {
            const QString f = FileFieldOf(c.name, file);
            if (!f.isEmpty())
                targets.append({c, file.FieldByName(f)});
        }
        Field *nrF = file.FindField(QStringLiteral("Zahlungsart"));
        Field *artF = file.FindField(QStringLiteral("Art"));
        Field *onlineF = file.FindField(QStringLiteral("Online"));
        const QString firstColumn = cols.isEmpty() ? QStringLiteral("id") : cols.first().name;
        const bool html = ctx.RtfHtml();

        QStringList offline;
        const int total = file.RecordCount();

        // Batched: the ids the shop has, asked for all methods at once. The
        // generated ids are handed out in file order, as below.
        std::unique_ptr<ShopLookAhead> ahead;
        if (ctx.Batched() && !empty) {
            QStringList keys;
            int next = nextId;
            for (file.First(); !file.Eof(); file.Next()) {
                QString key;
                const bool offered =
                    !onlineF || onlineF->IsNull() || onlineF->AsString().isEmpty() || onlineF->AsBoolean();
                if (artF && !artF->AsString().trimmed().isEmpty() && offered) {
                    const QString nr = nrF ? IntegerText(nrF->AsString()) : QString();
                    key = nr.isEmpty() ? QString::number(next++) : nr;
                }
                keys << key;
            }
            ahead = std::make_unique<ShopLookAhead>(
                ctx, zahlart, QStringList{QStringLiteral("id")}, int(keys.size()),
                [keys](int i) {
                    if (keys[i].isEmpty())
                        return ShopLookAhead::Candidate{};
                    return ShopLookAhead::Candidate{QStringLiteral("id=") + keys[i], {NumberKey(keys[i])}};
                },
                [](const ShopLookAhead::Row &r) { return QStringList{NumberKey(r.value(0))}; });
        }

        int k = 0;
        int index = -1;
        for (file.First(); !file.Eof() && !ctx.Aborted(); file.Next()) {
            ++index;
            if (!artF || artF->AsString().trimmed().isEmpty())
                continue;
            ++k;
            ++rep.read;
            const QString nr = nrF ? IntegerText(nrF->AsString()) : QString();
            const bool offered = !onlineF || onlineF->IsNull() || onlineF->AsString().isEmpty() || onlineF->AsBoolean();
            if (offered) {
                // A method without number gets the next generated id; the
                // same file gives it the same id every run, so a second run
                // updates it instead of failing on an insert.
                const QString key = nr.isEmpty() ? QString::number(nextId++) : nr;
                bool isNew = empty;
                QVector<ShopLookAhead::Row> found;
                if (isNew) {
                } else if (ahead && ahead->Find(index, &found)) {
                    isNew = found.isEmpty();
                } else {
                    const int r = ctx.Open(QStringLiteral("SELECT id FROM zahlart WHERE id=") + key, ctx.LookupQuery());
                    isNew = r != 0 || ctx.Lookup().RecordCount() == 0;
                }
                QString cn, values, sets;
                for (const Target &t : targets) {
                    QString v = t.field->AsString();
                    if (t.col.name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                        v = key;
                    if (t.field->DataType() == FieldType::Memo || t.field->DataType() == FieldType::FmtMemo)
                        v = RtfToText(v, 0, html);
                    v = SqlText(v);
                    if (t.field->DataType() == FieldType::Boolean)
                        v = BooleanLiteral(t.col.kind, v);
                    if (!cn.isEmpty()) {
                        cn += QLatin1Char(',');
                        values += QLatin1Char(',');
                        sets += QLatin1Char(',');
                    }
                    cn += t.col.name;
                    values += SqlValue(t.col.kind, v);
                    sets += SqlAssignment(t.col.name, t.col.kind, v);
                }
                const QString sql = isNew ? QStringLiteral("insert into zahlart (") + cn + QStringLiteral(") values (")
                                                + values + QLatin1Char(')')
                                          : QStringLiteral("UPDATE zahlart SET ") + sets + QStringLiteral(" WHERE ")
                                                + firstColumn + QLatin1Char('=') + key;
                if (ctx.Batched()) {
                    if (ahead)
                        ahead->Touch(index);
                    ctx.ExecuteLater(sql, [&rep, isNew, zahlart](int r) {
                        if (r == 0)
                            isNew ? rep.Inserted(zahlart) : rep.Updated(zahlart);
                        else
                            rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
                    });
                } else if (ctx.Execute(sql) == 0) {
                    isNew ? rep.Inserted(zahlart) : rep.Updated(zahlart);
                } else {
                    rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
                }
            } else {
                if (!nr.isEmpty() && nr.toLongLong() > 0)
                    offline << nr;
                rep.Skipped(QStringLiteral("nicht online (im Shop gelöscht)"));
            }
            ctx.Progress(k, total);
            ctx.ProcessEvents();
        }
        if (ctx.Aborted()) {
            rep.stopped = true;
            return;
        }
        if (!offline.isEmpty()) {
            const QString where = QStringLiteral(" from zahlart where kfmart in (") + offline.join(QLatin1Char(',')) + QLatin1Char(')');
            const qint64 n = ctx.Count(QStringLiteral("select count(*)") + where);
            if (ctx.Execute(QStringLiteral("delete") + where) == 0 && n > 0)
                rep.Deleted(zahlart, n);
        }
    }
    MapShopPaymentMethods(ctx);
}

namespace {

// Batched: the methods in one read (the updates do not change which rows it
// finds), their updates sent together.
void MapShopPaymentMethodsAtOnce(TransferContext &ctx)
{
    if (ctx.Open(QStringLiteral("SELECT id,kfmart FROM zahlart where kfmart>0 ORDER BY id"), ctx.ListQuery()) == 0) {
        MemTable &list = ctx.List();
        for (list.First(); !list.Eof() && !ctx.Aborted(); list.Next()) {
            const QString id = IntegerText(list.FieldAt(0)->AsString());
            const QString kfmart = IntegerText(list.FieldAt(1)->AsString());
            if (id.isEmpty() || kfmart.isEmpty())
                continue;
            ctx.ExecuteLater(QStringLiteral("UPDATE adressen SET zahlart=") + id + QStringLiteral(" where zahlart=-")
                             + kfmart);
        }
    }
    if (ctx.Aborted())
        ctx.Step().stopped = true;
}

} // namespace

void MapShopPaymentMethods(TransferContext &ctx)
{
    if (ctx.Batched()) {
        MapShopPaymentMethodsAtOnce(ctx);
    } else {
        ctx.Count(QStringLiteral("select count(*) from zahlart"));
        ForEachShopRow(ctx, QStringLiteral("select count(*) from zahlart where kfmart>0"),
                       QStringLiteral("SELECT id,kfmart FROM zahlart where kfmart>0 ORDER BY id"), [&](MemTable &list) {
                           const QString id = IntegerText(list.FieldAt(0)->AsString());
                           const QString kfmart = IntegerText(list.FieldAt(1)->AsString());
                           if (id.isEmpty() || kfmart.isEmpty())
                               return;
                           ctx.Execute(QStringLiteral("UPDATE adressen SET zahlart=") + id
                                       + QStringLiteral(" where zahlart=-") + kfmart);
                       });
    }
    if (ctx.Aborted())
        return;
    // The first method for new customers in id order is the default.
    if (ctx.Open(QStringLiteral("SELECT id FROM zahlart WHERE neukunde=1 ORDER BY id ") + LimitSql(0, 1), ctx.LookupQuery()) != 0)
        return;
    MemTable &found = ctx.Lookup();
    if (found.RecordCount() == 0)
        return;
    found.First();
    const QString id = IntegerText(found.FieldAt(0)->AsString());
    if (id.isEmpty() || id.toLongLong() < 1)
        return;
    // An address without any payment condition has none in the shop (NULL).
    ctx.Execute(QStringLiteral("UPDATE adressen SET zahlart=") + id + QStringLiteral(" where zahlart<1 or zahlart is null"));
}

} // namespace mv
