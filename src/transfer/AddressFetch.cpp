// The fetch of new and changed shop addresses into the WaWi.
//
// A shop customer must never get lost between the two databases, whatever
// stops the fetch (STOP, the shop server going away, a crash). Rows are
// therefore marked as fetched one by one, and only after everything that
// belongs to them is done:
//   1. the row is written into Adressen.DB (append or edit);
//   2. a new shop customer's orders, favourites, ratings and counters move
//      to his WaWi number;
//   3. last, his row in "adressen" takes that number and the fetched mark
//      (a changed row just takes the mark).
// A fetch cut off anywhere before 3 leaves the row marked with its old
// number, so the next run fetches it again. Its WaWi record from the cut
// run is then found again by the row's e-mail (shop customers register
// with one) and edited instead of appended a second time; the moves of 2
// repeat harmlessly. A shop row without number and without e-mail cut off
// between 1 and 3 would be appended once more: a second WaWi prospect, but
// no lost customer.
#include "transfer/AddressTransfer.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/MemTable.h"
#include "transfer/RecordWriter.h"
#include "transfer/TransferStep.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiBackup.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiWriteReport.h"

#include <QDateTime>

#include <limits>

namespace mv {

namespace {

QString ShopValue(const Dataset &row, const char *column)
{
    const Field *f = row.FindField(QString::fromLatin1(column));
    return f ? f->AsString() : QString();
}

void Unrestrict(TVLBTable &t)
{
    t.SetFiltered(false);
    t.CancelRange();
}

// Adresse of the record found by (kind, Mandant, number) for kind 0, 1, 2;
// 0 when none.
int FindByNumber(TVLBTable &t, int mandant, const QString &nummer)
{
    if (!t.IndexNames().contains(QStringLiteral("Adressnummer"), Qt::CaseInsensitive))
        return 0;
    t.SetIndexName(QStringLiteral("Adressnummer"));
    for (int kind : {0, 1, 2}) {
        try {
            if (t.FindKey({kind, mandant, nummer}))
                return t.FieldAt(0)->AsInteger();
        } catch (const DatasetError &) {
            return 0;   // a number the key field cannot hold matches nothing
        }
    }
    return 0;
}

// Adresse of the first record of the Mandant whose e-mail is exactly mail,
// on the table's "Mail" index; 0 when none or the table has no such index.
int FindByMail(TVLBTable &t, int mandant, const QString &mail)
{
    QString index;
    for (const QString &name : t.IndexNames())
        if (name.compare(QLatin1String("mail"), Qt::CaseInsensitive) == 0)
            index = name;
    if (index.isEmpty())
        return 0;
    t.SetIndexName(index);
    try {
        t.SetRange({mail}, {mail});
    } catch (const DatasetError &) {
        t.CancelRange();
        return 0;
    }
    Field *mandantF = t.FieldByName(QStringLiteral("Mandant"));
    Field *mailF = t.FieldByName(QStringLiteral("E-Mail"));
    int found = 0;
    for (t.First(); !t.Eof(); t.Next())
        if (mandantF->AsInteger() == mandant && mailF->AsString() == mail) {
            found = t.FieldAt(0)->AsInteger();
            break;
        }
    t.CancelRange();
    return found;
}

int NextAddressNumber(TVLBTable &t)
{
    Unrestrict(t);
    t.SetIndexName(QString());
    if (t.RecordCount() == 0)
        return 1;
    t.Last();
    return std::max(0, t.FieldAt(0)->AsInteger()) + 1;
}

// Shop column -> WaWi field; "" for the columns the fetch never copies
// ("rabatt" is a percentage in the shop, a discount-group number here).
QString TargetField(const QString &column)
{
    const QString c = column.toLower();
    if (c == QLatin1String("adresse") || c == QLatin1String("art") || c == QLatin1String("nummer")
        || c == QLatin1String("zahlart") || c == QLatin1String("rabatt"))
        return QString();
    if (c == QLatin1String("email"))
        return QStringLiteral("E-Mail");
    if (c == QLatin1String("homepage"))
        return QStringLiteral("Internet");
    if (c == QLatin1String("lieferadresse"))
        return QStringLiteral("Lieferanschrift");
    if (c == QLatin1String("fax"))
        return QStringLiteral("Telefax");
    return column;
}

void CopyShopValues(const Dataset &row, TVLBTable &t)
{
    for (int i = 1; i < row.FieldCount(); ++i) {
        const QString target = TargetField(row.FieldAt(i)->FieldName());
        if (target.isEmpty())
            continue;
        Field *f = t.FindField(target);
        if (!f || f->ReadOnly())
            continue;
        const QString v = row.FieldAt(i)->AsString();
        // A blank shop value never clears a WaWi field.
        if (v.trimmed().isEmpty())
            continue;
        try {
            f->SetAsString(v);
        } catch (const std::exception &) {
            // a value the field cannot take leaves the field as it is
        }
    }
}

} // namespace

ImportedAddress ImportShopAddress(const Dataset &row, TVLBTable &table, bool write)
{
    const ShopSettings &s = Settings();
    const int mandant = s.Aktiv_Mandant;
    ImportedAddress r;
    Unrestrict(table);
    const QString nummer = ShopValue(row, "nummer");
    const QString mail = ShopValue(row, "email");
    int found = 0;
    if (!nummer.trimmed().isEmpty())
        found = FindByNumber(table, mandant, nummer);
    if (!found && !mail.trimmed().isEmpty())
        found = FindByMail(table, mandant, mail);
    Unrestrict(table);
    table.SetIndexName(QString());
    if (found && table.FindKey({found})) {
        r.found = true;
        r.adresse = found;
        r.kind = table.FieldByName(QStringLiteral("Art"))->AsInteger();
        r.nummer = table.FieldByName(QStringLiteral("Nummer"))->AsString();
    }
    if (!write)
        return r;

    // A new number can be taken by another WaWi user between our look at
    // the table and the save: then once more with the table read afresh.
    for (int attempt = 0;; ++attempt) {
        int number = r.adresse;
        if (!r.found) {
            number = NextAddressNumber(table);
            table.Append();
            table.FieldAt(0)->SetValue(number);
            table.FieldByName(QStringLiteral("Steuer"))->SetValue(1);
            table.FieldByName(QStringLiteral("VK"))->SetValue(1);
            table.FieldByName(QStringLiteral("Waehrung"))->SetValue(s.Euroumstell ? s.Euro : s.Hauptwaehrung);
            table.FieldByName(QStringLiteral("Erster_Kontakt"))->SetValue(QDateTime::currentDateTime());
        } else if (!EnsureEditing(table)) {
            throw DatasetError(QStringLiteral("Die WaWi-Adresse %1 kann nicht bearbeitet werden.").arg(number));
        }
        CopyShopValues(row, table);
        table.FieldByName(QStringLiteral("Mandant"))->SetValue(mandant);
        table.FieldByName(QStringLiteral("Art"))->SetValue(r.kind);
        table.FieldByName(QStringLiteral("Update"))->SetValue(QDateTime::currentDateTime());
        try {
            table.Post();
        } catch (const std::exception &) {
            table.Cancel();
            if (r.found || attempt > 0)
                throw;
            table.Refresh();
            continue;
        }
        r.adresse = number;
        break;
    }
    r.written = true;
    Unrestrict(table);
    table.SetIndexName(QString());
    table.FindKey({r.adresse});
    r.nummer = table.FieldByName(QStringLiteral("Nummer"))->AsString();
    return r;
}

bool RenumberShopCustomer(TransferContext &ctx, qint64 s, qint64 w, const QString *nummer, bool deleteTargetFirst)
{
    TransferStepReport &rep = ctx.Step();
    const QString S = QString::number(s);
    const QString W = QString::number(w);
    static const char *const moves[][2] = {
        {"bestellungen", "person"}, {"favoriten", "adresse"}, {"produktbewertung", "user"}, {"counter", "adressid"}};
    // Batched: the counts below in one read; they are taken before any of
    // the writes, which change none of them. A refused read: one by one.
    QList<qint64> counts;
    if (ctx.Batched()) {
        QStringList parts;
        if (deleteTargetFirst)
            parts << QStringLiteral("(select count(*) from adressen where adresse=") + W + QLatin1Char(')');
        for (const auto &m : moves)
            parts << QStringLiteral("(select count(*) from ") + QString::fromLatin1(m[0]) + QStringLiteral(" where ")
                         + QString::fromLatin1(m[1]) + QLatin1Char('=') + S + QLatin1Char(')');
        if (ctx.Open(QStringLiteral("SELECT ") + parts.join(QLatin1Char(',')), ctx.LookupQuery()) == 0
            && ctx.Lookup().RecordCount() == 1 && ctx.Lookup().FieldCount() == parts.size()) {
            ctx.Lookup().First();
            for (int i = 0; i < parts.size(); ++i)
                counts << qint64(StrToFloatX(ctx.Lookup().FieldAt(i)->AsString()));
        }
    }
    auto count = [&](const QString &sql) {
        if (!counts.isEmpty())
            return counts.takeFirst();
        return ctx.Count(sql);
    };
    if (deleteTargetFirst) {
        const qint64 stale = count(QStringLiteral("select count(*) from adressen where adresse=") + W);
        if (ctx.Execute(QStringLiteral("delete from adressen where adresse=") + W) == 0 && stale > 0)
            rep.Deleted(QStringLiteral("adressen"), stale);
    }
    // The customer's rows first, his own row last: until that one carries
    // the new number the whole renumbering can be repeated.
    for (const auto &m : moves) {
        const QString table = QString::fromLatin1(m[0]);
        const QString column = QString::fromLatin1(m[1]);
        const qint64 n = count(QStringLiteral("select count(*) from ") + table + QStringLiteral(" where ") + column
                                   + QLatin1Char('=') + S);
        if (n <= 0)
            continue;
        if (ctx.Execute(QStringLiteral("update ") + table + QStringLiteral(" set ") + column + QLatin1Char('=') + W
                        + QStringLiteral(" where ") + column + QLatin1Char('=') + S) != 0)
            return false;
        rep.Updated(table, n);
    }
    QString sql = QStringLiteral("update adressen set adresse=") + W;
    if (nummer)
        sql += QStringLiteral(", nummer='") + SqlText(*nummer) + QLatin1Char('\'');
    sql += QStringLiteral(", art=CASE WHEN art=9998 THEN 0 ELSE art END where adresse=") + S;
    if (ctx.Execute(sql) == 0) {
        rep.Updated(QStringLiteral("adressen"));
    } else if (ctx.Execute(QStringLiteral("delete from adressen where adresse=") + S) == 0) {
        rep.Deleted(QStringLiteral("adressen"));
    }
    ++rep.counts[QStringLiteral("umnummeriert")];
    return true;
}

void FetchShopAddresses(TransferContext &ctx)
{
    TransferStepReport &rep = ctx.Step();
    const bool dry = ctx.DryRun();
    ctx.Status(QStringLiteral("Hole Adressen ab"));
    WaWiWriteRecorder recorder;
    if (!dry)
        BeginWaWiBackupRun();
    TVLBTable kunden;
    kunden.SetTableName(QStringLiteral("Adressen.DB"));
    kunden.Open();
    ctx.ShowDataset(QStringLiteral("Adressen"), &kunden);
    struct Done {
        TransferContext &ctx;
        TVLBTable &t;
        WaWiWriteRecorder &rec;
        ~Done()
        {
            ctx.HideDataset(QStringLiteral("Adressen"));
            t.Close();
            for (const QString &line : rec.Report().Lines())
                ctx.Step().messages << line;
        }
    } done{ctx, kunden, recorder};

    ctx.Execute(QStringLiteral("update adressen set art=9998 where art=9999 or adresse<0"));
    // A dry run did not mark: it looks at what a real run would have marked.
    const QString marked = dry ? QStringLiteral("(art=9998 or art=9999 or adresse<0)") : QStringLiteral("art=9998");
    const qint64 c = ctx.Count(QStringLiteral("select count(*) from adressen where ") + marked);
    if (c <= 0)
        return;
    ctx.Caption(QString::number(c) + QStringLiteral(" geänderte/neue Adressen werden geladen!"));

    // Rows leave the marked set while we go, so batches follow the number
    // (never an offset); a renumbered row is no longer marked when its new
    // number comes up.
    const int batch = std::max(1, Settings().BatchSize);
    qint64 last = std::numeric_limits<qint64>::min();
    qint64 k = 0;
    int failedRows = 0;
    bool more = true;
    while (more && !ctx.Aborted()) {
        QString sql = QStringLiteral("SELECT * FROM adressen where ") + marked;
        if (k > 0)
            sql += QStringLiteral(" and adresse>") + QString::number(last);
        sql += QStringLiteral(" ORDER BY adresse ") + LimitSql(0, batch);
        if (ctx.Open(sql, ctx.ListQuery()) != 0)
            break;
        MemTable &list = ctx.List();
        more = list.RecordCount() >= batch;
        if (list.RecordCount() == 0)
            break;
        // The gateway hands a result over in reverse order: the batch's
        // rows are taken by number, not by their place in it.
        const bool haveFloor = k > 0;
        const qint64 floor = last;
        bool moved = false;
        for (list.First(); !list.Eof() && !ctx.Aborted(); list.Next()) {
            bool ok = false;
            const qint64 s = list.FieldAt(0)->AsString().trimmed().toLongLong(&ok);
            if (!ok || (haveFloor && s <= floor))
                continue;
            if (!moved || s > last)
                last = s;
            moved = true;
            ++k;
            ++rep.read;
            try {
                const ImportedAddress a = ImportShopAddress(list, kunden, !dry);
                ++rep.counts[a.found ? QStringLiteral("in der WaWi geändert") : QStringLiteral("in der WaWi neu angelegt")];
                if (dry) {
                    if (s < 0)
                        ++rep.counts[QStringLiteral("umnummeriert")];
                } else if (s < 0) {
                    if (!RenumberShopCustomer(ctx, s, a.adresse, &a.nummer, true))
                        throw DatasetError(QStringLiteral("Die Zeilen des Kunden konnten nicht auf die WaWi-Nummer %1 "
                                                          "umgestellt werden; er wird beim nächsten Abgleich erneut geholt.")
                                               .arg(a.adresse));
                } else {
                    const QString sql = QStringLiteral("update adressen set art=0 where adresse=") + QString::number(s)
                                        + QStringLiteral(" and art=9998");
                    // The next batch's read sends it before it asks.
                    if (ctx.Batched())
                        ctx.ExecuteLater(sql, [&rep](int r) {
                            if (r == 0)
                                rep.Updated(QStringLiteral("adressen"));
                        });
                    else if (ctx.Execute(sql) == 0)
                        rep.Updated(QStringLiteral("adressen"));
                }
                ++rep.counts[QStringLiteral("geholt")];
            } catch (const ShopConnectionLost &) {
                throw;
            } catch (const std::exception &e) {
                // The row keeps its mark and comes again with the next run.
                ++failedRows;
                rep.Skipped(QStringLiteral("Fehler, wird beim nächsten Abgleich erneut geholt"));
                ctx.Log(QStringLiteral("Systemfehler: Shop-Adresse %1: %2").arg(s).arg(QString::fromStdString(e.what())));
            }
            ctx.Progress(k, c);
            ctx.ProcessEvents();
        }
        if (!moved)
            break;
    }
    if (ctx.Aborted())
        rep.stopped = true;
    if (failedRows > 0)
        rep.failed = true;
}

} // namespace mv
