#include "transfer/ArticleTransfer.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/FormatSettings.h"
#include "data/MemTable.h"
#include "transfer/RecordWriter.h"
#include "transfer/TransferStep.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDetect.h"

namespace mv {

namespace {

QString RabattField(const QString &column)
{
    const QString c = column.toLower();
    if (c == QLatin1String("kfmadr") || c == QLatin1String("kunde"))
        return QStringLiteral("Adresse");
    if (c == QLatin1String("kfmart"))
        return QStringLiteral("Art");
    if (c == QLatin1String("kfmwg") || c == QLatin1String("wgruppe"))
        return QStringLiteral("Warengruppe");
    return column;
}

QString Number(double v)
{
    QString t = QString::number(v, 'g', 15);
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    return t;
}

} // namespace

void TransferSpecialPrices(TransferContext &ctx)
{
    if (WaWiEdition() != 2) {
        ctx.Step().messages << QStringLiteral("Sonderpreise gibt es nur in der Edition 2 der Warenwirtschaft.");
        return;
    }
    TransferStepReport &rep = ctx.Step();
    const int mandant = Settings().Aktiv_Mandant;
    ctx.Status(QStringLiteral("Sonderpreise"));

    TVLBTable rabatt;
    rabatt.SetTableName(QStringLiteral("Rabatt.DB"));
    rabatt.VLBOpenByRange = true;
    rabatt.Open();
    rabatt.SetIndexName(QStringLiteral("Anschrift"));
    TVLBTable kunden;
    kunden.SetTableName(QStringLiteral("Adressen.DB"));
    kunden.Open();
    kunden.SetIndexName(QString());
    // The Mandant of a row without its own address (a price of an address
    // kind) comes from that kind.
    TVLBTable kinds;
    kinds.SetTableName(QStringLiteral("AdrArt.DB"));
    kinds.Open();
    kinds.SetIndexName(QString());

    if (!ctx.Complete() && ctx.SinceDate()) {
        rabatt.SetFilter(QStringLiteral("(Update>='") + DateToText(ctx.ReferenceDate()) + QStringLiteral("')"));
        rabatt.SetFiltered(true);
    }
    if (ctx.Complete()) {
        const qint64 rows = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM sonderpreise where kunde>-1"));
        if (ctx.Execute(QStringLiteral("DELETE FROM sonderpreise where kunde>-1")) == 0 && rows > 0)
            rep.Deleted(QStringLiteral("sonderpreise"), rows);
    }
    if (ctx.Open(QStringLiteral("SELECT * FROM sonderpreise ") + LimitSql(0, 1), ctx.ProbeQuery()) != 0)
        throw DatasetError(QStringLiteral("Die Shoptabelle sonderpreise kann nicht gelesen werden."));
    const QVector<ShopColumn> cols = ShopColumns(ctx.Probe());
    struct Target {
        ShopColumn col;
        Field *field;
    };
    QVector<Target> targets;
    for (int i = 1; i < cols.size(); ++i)
        if (Field *f = rabatt.FindField(RabattField(cols[i].name)))
            targets.append({cols[i], f});
    QString names;
    for (const Target &t : targets)
        names += (names.isEmpty() ? QString() : QStringLiteral(",")) + t.col.name;

    Field *adresse = rabatt.FieldByName(QStringLiteral("Adresse"));
    Field *artF = rabatt.FieldByName(QStringLiteral("Art"));
    Field *artikel = rabatt.FieldByName(QStringLiteral("Artikel"));
    Field *gruppe = rabatt.FieldByName(QStringLiteral("Warengruppe"));
    Field *menge = rabatt.FieldByName(QStringLiteral("Menge"));
    Field *preis = rabatt.FieldByName(QStringLiteral("Preis"));
    Field *kundeMandant = kunden.FieldByName(QStringLiteral("Mandant"));
    Field *kindMandant = kinds.FieldByName(QStringLiteral("Mandant"));

    const int total = rabatt.RecordCount();
    int k = 0;
    for (rabatt.First(); !rabatt.Eof() && !ctx.Aborted(); rabatt.Next()) {
        ++rep.read;
        const bool found = kunden.FindKey({adresse->AsInteger()});
        if (!found && artF->AsInteger() <= 0) {
            rep.Skipped(QStringLiteral("Kunde fehlt in der Warenwirtschaft"));
            continue;
        }
        if (preis->AsFloat() < 0) {
            rep.Skipped(QStringLiteral("Preis kleiner als 0"));
            continue;
        }
        int owner;
        if (found)
            owner = kundeMandant->AsInteger();
        else
            owner = kinds.FindKey({artF->AsInteger()}) ? kindMandant->AsInteger() : mandant;
        if (owner == mandant) {
            // Results only count: batched, they go out with the next ones.
            auto send = [&ctx](const QString &sql, const std::function<void(int)> &onDone = {}) {
                if (ctx.Batched()) {
                    ctx.ExecuteLater(sql, onDone);
                    return;
                }
                const int r = ctx.Execute(sql);
                if (onDone)
                    onDone(r);
            };
            if (!ctx.Complete()) {
                send(QStringLiteral("DELETE FROM sonderpreise WHERE kunde=") + QString::number(adresse->AsInteger())
                            + QStringLiteral(" and artikel=") + QString::number(artikel->AsInteger())
                            + QStringLiteral(" and wgruppe=") + QString::number(gruppe->AsInteger())
                            + QStringLiteral(" and menge=") + Number(menge->AsFloat()));
            }
            QString values;
            for (const Target &t : std::as_const(targets)) {
                const QString v = t.field->AsString();
                QString out;
                if (v.trimmed().isEmpty())
                    out = QStringLiteral("0");
                else if (t.col.kind == ColumnKind::Text) {
                    QString e = v;
                    e.replace(QLatin1Char('\''), QLatin1String("''"));
                    out = QLatin1Char('\'') + e + QLatin1Char('\'');
                } else
                    out = SqlValue(ColumnKind::Numeric, v);
                values += (values.isEmpty() ? QString() : QStringLiteral(",")) + out;
            }
            send(QStringLiteral("insert into sonderpreise (") + names + QStringLiteral(") values (") + values
                     + QLatin1Char(')'),
                 [&rep](int r) {
                     if (r == 0)
                         rep.Inserted(QStringLiteral("sonderpreise"));
                     else
                         rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
                 });
        } else {
            rep.Skipped(QStringLiteral("gehört zu einem anderen Mandanten"));
        }
        ++k;
        ctx.Progress(k, total);
        ctx.ProcessEvents();
    }
    if (ctx.Aborted())
        return;
    ctx.Execute(QStringLiteral("DELETE FROM sonderpreise WHERE kunde=0 and kfmart=0"));
    ctx.Execute(QStringLiteral("DELETE FROM sonderpreise WHERE wgruppe=0 and artikel=0"));
}

} // namespace mv
