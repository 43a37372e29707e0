// WaWi addresses of one kind into the shop table "adressen", the removal of
// those kept out of the shop, and the address groups.
#include "transfer/AddressTransfer.h"

#include "core/RtfToText.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/FormatSettings.h"
#include "data/MemTable.h"
#include "transfer/RecordWriter.h"
#include "transfer/ShopLookAhead.h"
#include "transfer/TransferStep.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiDetect.h"

#include <memory>

namespace mv {

namespace {

QString Quote(const QString &v)
{
    return QLatin1Char('\'') + SqlText(v) + QLatin1Char('\'');
}

void AppendValue(QString &names, QString &values, QString &sets, const ShopColumn &c, const QString &v)
{
    if (!names.isEmpty()) {
        names += QLatin1Char(',');
        values += QLatin1Char(',');
        sets += QLatin1Char(',');
    }
    names += c.name;
    values += SqlValue(c.kind, v);
    sets += SqlAssignment(c.name, c.kind, v);
}

void DeleteNotOnline(TransferContext &ctx, QString &list, ShopLookAhead *ahead = nullptr,
                     QVector<int> *indexes = nullptr)
{
    if (ahead && indexes)
        for (int i : std::as_const(*indexes))
            ahead->Touch(i);
    if (indexes)
        indexes->clear();
    if (list.isEmpty())
        return;
    const QString where = QStringLiteral(" from adressen where nummer in (") + list + QLatin1Char(')');
    const qint64 n = ctx.Count(QStringLiteral("select count(*)") + where);
    if (ctx.Execute(QStringLiteral("delete") + where) == 0 && n > 0)
        ctx.Step().Deleted(QStringLiteral("adressen"), n);
    list.clear();
}

void TransferAddressGroups(TransferContext &ctx)
{
    TVLBTable groups, links;
    groups.SetTableName(QStringLiteral("AdrArt.DB"));
    links.SetTableName(QStringLiteral("AdrArtVer.DB"));
    groups.Open();
    if (groups.RecordCount() == 0)
        return;
    links.Open();
    ctx.Status(QStringLiteral("Adressgruppen"));
    if (!ctx.Complete()) {
        const QString filter = QStringLiteral("Update>='") + DateToText(ctx.ReferenceDate()) + QLatin1Char('\'');
        groups.SetFilter(filter);
        links.SetFilter(filter);
        groups.SetFiltered(ctx.SinceDate());
        links.SetFiltered(ctx.SinceDate());
    }
    if (WaWiEdition() != 2)
        return;
    // Their records are not the step's addresses: counted on their own.
    TransferStepReport &rep = ctx.Step();
    const qint64 addressesRead = rep.read;
    WriteRecords(ctx, groups, QStringLiteral("adrart"), QStringLiteral("art"), QString());
    WriteRecords(ctx, links, QStringLiteral("adrartver"), QStringLiteral("zaehler"), QString());
    rep.counts[QStringLiteral("Adressgruppen und Zuordnungen gelesen")] += rep.read - addressesRead;
    rep.read = addressesRead;
}

} // namespace

void TransferAddresses(TransferContext &ctx, int kind)
{
    TransferStepReport &rep = ctx.Step();
    const int mandant = Settings().Aktiv_Mandant;
    const QString adressen = QStringLiteral("adressen");
    ctx.Status(QStringLiteral("Adressen (Art ->") + QString::number(kind) + QLatin1Char(')'));

    TVLBTable kunden;
    kunden.SetTableName(QStringLiteral("Adressen.DB"));
    kunden.VLBOpenByRange = true;
    kunden.Open();
    TVLBTable rabatt2;
    rabatt2.SetTableName(QStringLiteral("Rabatt2.DB"));
    rabatt2.Open();
    SetMandantRange(kunden, QStringLiteral("Schnellsuche"), kind, mandant);
    ctx.ShowDataset(QStringLiteral("Adressen"), &kunden);
    struct Hide {
        TransferContext &ctx;
        ~Hide() { ctx.HideDataset(QStringLiteral("Adressen")); }
    } hide{ctx};

    if (ctx.Complete()) {
        const TransferOptions &o = ctx.Options();
        if (kind == 0 && o.Has(QStringLiteral("kunden")) && o.Has(QStringLiteral("lieferanten"))
            && o.Has(QStringLiteral("interessenten"))) {
            const qint64 n = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM adressen"));
            if (ctx.Execute(QStringLiteral("DELETE FROM adressen")) == 0 && n > 0)
                rep.Deleted(adressen, n);
        }
        const qint64 n = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM adressen WHERE Art=") + QString::number(kind));
        if (ctx.Execute(QStringLiteral("DELETE FROM adressen WHERE Art=") + QString::number(kind)) == 0 && n > 0)
            rep.Deleted(adressen, n);
    } else {
        kunden.SetFilter(QStringLiteral("Update>='") + DateToText(ctx.ReferenceDate()) + QLatin1Char('\''));
        kunden.SetFiltered(ctx.SinceDate());
    }

    if (ctx.Open(QStringLiteral("SELECT * FROM adressen ") + LimitSql(0, 1), ctx.ProbeQuery()) != 0)
        throw DatasetError(QStringLiteral("Die Shoptabelle adressen kann nicht gelesen werden."));
    const QVector<ShopColumn> cols = ShopColumns(ctx.Probe());
    const bool empty = ctx.Probe().RecordCount() == 0;

    Field *adresseF = kunden.FieldAt(0);
    Field *nummerF = kunden.FieldByName(QStringLiteral("Nummer"));
    Field *mailF = kunden.FieldByName(QStringLiteral("E-Mail"));
    Field *onlinenotF = kunden.FindField(QStringLiteral("Onlinenot"));
    Field *rabattF = kunden.FindField(QStringLiteral("Rabatt"));
    const bool html = ctx.RtfHtml();

    // What each shop column takes: a WaWi field of its name (A) and/or one
    // of the special values (B).
    struct Target {
        ShopColumn col;
        Field *field = nullptr;
        QString special;   // lower-case column name of a special value
    };
    QVector<Target> targets;
    for (const ShopColumn &c : cols) {
        Target t{c, nullptr, QString()};
        const QString lc = c.name.toLower();
        if (lc != QLatin1String("rabatt") && lc != QLatin1String("passwort"))
            t.field = kunden.FindField(c.name);
        static const QStringList specials = {"kfmadr", "email", "fax", "homepage", "zahlart", "rabatt", "passwort"};
        if (specials.contains(lc))
            t.special = lc;
        if (t.field || !t.special.isEmpty())
            targets.append(t);
    }

    QString notOnline;
    QVector<int> notOnlineIndexes;
    const int total = kunden.RecordCount();

    // Batched: where each address goes, asked for many addresses at once.
    // More than one row found: which one the shop's own query takes is its
    // choice, so that address is asked by itself.
    std::unique_ptr<ShopLookAhead> ahead;
    if (ctx.Batched() && !empty) {
        struct Key {
            qint64 w;
            QString nummer, mail;
            bool online;
        };
        QVector<Key> keys;
        keys.reserve(total);
        for (kunden.First(); !kunden.Eof() && !ctx.Aborted(); kunden.Next()) {
            keys.append({adresseF->AsInteger(), nummerF->AsString(), mailF->AsString(),
                         !(onlinenotF && onlinenotF->AsBoolean())});
            if (keys.size() % 2000 == 0)
                ctx.ProcessEvents();
        }
        ahead = std::make_unique<ShopLookAhead>(
            ctx, adressen, QStringList{QStringLiteral("adresse"), QStringLiteral("nummer")}, int(keys.size()),
            [keys](int i) {
                const Key &key = keys[i];
                const bool numberBlank = key.nummer.trimmed().isEmpty();
                const bool mailBlank = key.mail.trimmed().isEmpty();
                ShopLookAhead::Candidate c;
                if (!key.nummer.isEmpty())
                    c.tokens << QStringLiteral("n:") + LooseKey(SqlText(key.nummer));
                if (!key.online || (numberBlank && mailBlank))
                    return c;
                if (!mailBlank)
                    c.tokens << QStringLiteral("e:") + LooseKey(SqlText(key.mail));
                c.tokens << QStringLiteral("a:") + QString::number(key.w);
                c.condition = !numberBlank ? QStringLiteral("nummer=") + Quote(key.nummer)
                                           : QStringLiteral("email=") + Quote(key.mail);
                return c;
            },
            [](const ShopLookAhead::Row &r) {
                return QStringList{QStringLiteral("a:") + NumberKey(r.value(0)), QStringLiteral("n:") + LooseKey(r.value(1))};
            });
    }

    int k = 0;
    int index = -1;
    for (kunden.First(); !kunden.Eof() && !ctx.Aborted(); kunden.Next()) {
        ++index;
        ++rep.read;
        ++k;
        const QString nummer = nummerF->AsString();
        const QString mail = mailF->AsString();
        const bool numberBlank = nummer.trimmed().isEmpty();
        const bool mailBlank = mail.trimmed().isEmpty();
        const qint64 w = adresseF->AsInteger();
        if (onlinenotF && onlinenotF->AsBoolean()) {
            if (!nummer.isEmpty()) {
                if (!notOnline.isEmpty())
                    notOnline += QLatin1Char(',');
                notOnline += Quote(nummer);
                notOnlineIndexes << index;
                rep.Skipped(QStringLiteral("nicht online (im Shop gelöscht)"));
            } else {
                rep.Skipped(QStringLiteral("nicht online, ohne Nummer"));
            }
        } else if (numberBlank && mailBlank) {
            rep.Skipped(QStringLiteral("ohne Nummer und ohne E-Mail"));
        } else {
            QString rabattText;
            if (rabattF && !rabattF->IsNull()) {
                try {
                    if (rabatt2.FindKey({rabattF->AsInteger()}))
                        rabattText = rabatt2.FieldByName(QStringLiteral("Rabatt"))->AsString();
                } catch (const std::exception &) {
                }
            }
            // Where the row goes: none = a new row.
            bool isNew = empty;
            qint64 target = w;
            bool skip = false;
            bool otherAddress = false;
            QVector<ShopLookAhead::Row> rows;
            QStringList foundTokens;   // rows the address's own query found
            const bool known = !empty && ahead && ahead->Find(index, &rows) && rows.size() <= 1;
            if (!empty) {
                QString sql;
                if (!mailBlank && !numberBlank)
                    sql = QStringLiteral("SELECT adresse,nummer FROM adressen WHERE (nummer=") + Quote(nummer)
                          + QStringLiteral(") ") + LimitSql(-1, 1);
                else if (!mailBlank)
                    sql = QStringLiteral("SELECT adresse,nummer FROM adressen WHERE (email=") + Quote(mail)
                          + QStringLiteral(") order by nummer desc ") + LimitSql(-1, 1);
                else
                    sql = QStringLiteral("SELECT adresse,nummer FROM adressen WHERE nummer=") + Quote(nummer)
                          + QLatin1Char(' ') + LimitSql(0, 1);
                int r = 0;
                bool haveRow = false;
                QString foundAdresse;
                if (known) {
                    haveRow = !rows.isEmpty();
                    if (haveRow)
                        foundAdresse = rows.first().value(0);
                } else {
                    r = ctx.Open(sql, ctx.LookupQuery());
                    MemTable &found = ctx.Lookup();
                    if (r == 0 && found.RecordCount() > 0) {
                        for (found.First(); !found.Eof(); found.Next())
                            foundTokens << QStringLiteral("a:") + NumberKey(found.FieldAt(0)->AsString())
                                        << QStringLiteral("n:") + LooseKey(found.FieldAt(1)->AsString());
                        found.First();
                        foundAdresse = found.FieldAt(0)->AsString();
                        haveRow = true;
                    }
                }
                if (r != 0 || !haveRow) {
                    isNew = true;
                } else {
                    const qint64 s = foundAdresse.trimmed().toLongLong();
                    if (s < 0) {
                        // A shop customer not fetched yet: he takes the WaWi number.
                        // Refused: he stays as he is and the fetch takes him later.
                        target = w;
                        if (!RenumberShopCustomer(ctx, s, w, nullptr, false)) {
                            skip = true;
                            rep.Skipped(QStringLiteral("Shop-Kunde ließ sich nicht umnummerieren"));
                            ctx.Log(QStringLiteral("Systemfehler: Der Shop-Kunde %1 konnte nicht auf die Nummer %2 umgestellt werden.")
                                        .arg(s).arg(w));
                        }
                    } else if (numberBlank && s != w) {
                        skip = otherAddress = true;   // the e-mail belongs to another address
                    } else {
                        target = s;
                    }
                }
            }
            if (ahead)
                ahead->Touch(index, foundTokens);
            if (skip) {
                if (otherAddress)
                    rep.Skipped(QStringLiteral("E-Mail gehört im Shop schon einer anderen Adresse"));
            } else {
                QString names, values, sets;
                for (const Target &t : targets) {
                    if (t.field && !(t.col.name.compare(QLatin1String("nummer"), Qt::CaseInsensitive) == 0 && numberBlank)) {
                        QString v = t.field->AsString();
                        if (t.field->DataType() == FieldType::Memo || t.field->DataType() == FieldType::FmtMemo)
                            v = RtfToText(v, 0, html);
                        AppendValue(names, values, sets, t.col, SqlText(v));
                        continue;
                    }
                    if (t.special.isEmpty() || t.field)
                        continue;
                    QString v;
                    try {
                        if (t.special == QLatin1String("kfmadr"))
                            v = QString::number(w);
                        else if (t.special == QLatin1String("email"))
                            v = mail;
                        else if (t.special == QLatin1String("fax"))
                            v = kunden.FieldByName(QStringLiteral("Telefax"))->AsString();
                        else if (t.special == QLatin1String("homepage"))
                            v = kunden.FieldByName(QStringLiteral("Internet"))->AsString();
                        else if (t.special == QLatin1String("zahlart")) {
                            const QString z = kunden.FieldByName(QStringLiteral("Zahlungskondition"))->AsString();
                            if (!z.trimmed().isEmpty())
                                v = QLatin1Char('-') + QString::number(StrToIntX(z));
                        } else if (t.special == QLatin1String("rabatt"))
                            v = rabattText;
                        else if (t.special == QLatin1String("passwort"))
                            v = kunden.FieldByName(QStringLiteral("passwort"))->AsString().trimmed();
                    } catch (const std::exception &e) {
                        ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
                        continue;
                    }
                    if (v.trimmed().isEmpty())
                        continue;
                    AppendValue(names, values, sets, t.col, SqlText(v));
                }
                const QString insert = QStringLiteral("insert into adressen (") + names + QStringLiteral(") values (")
                                       + values + QLatin1Char(')');
                if (!isNew) {
                    const QString key = QString::number(target);
                    if (ctx.Execute(QStringLiteral("UPDATE adressen SET ") + sets + QStringLiteral(" WHERE adresse=") + key) == 0) {
                        rep.Updated(adressen);
                    } else {
                        ctx.Execute(QStringLiteral("DELETE FROM adressen WHERE adresse=") + key);
                        isNew = true;
                    }
                }
                if (isNew) {
                    if (ctx.Execute(insert) == 0) {
                        rep.Inserted(adressen);
                    } else {
                        ctx.Execute(QStringLiteral("DELETE FROM adressen WHERE adresse=") + QString::number(w));
                        if (ctx.Execute(insert) == 0)
                            rep.Inserted(adressen);
                        else
                            rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
                    }
                }
            }
        }
        if (notOnline.size() > 1200)
            DeleteNotOnline(ctx, notOnline, ahead.get(), &notOnlineIndexes);
        ctx.Progress(k, total);
        ctx.ProcessEvents();
    }
    if (ctx.Aborted()) {
        rep.stopped = true;
        return;
    }
    DeleteNotOnline(ctx, notOnline, ahead.get(), &notOnlineIndexes);

    if (!ctx.Options().Has(QStringLiteral("zahlungsarten")))
        MapShopPaymentMethods(ctx);
    if (kind == 0)
        TransferAddressGroups(ctx);
}

} // namespace mv
