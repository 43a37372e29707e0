#include "transfer/ArticleTransfer.h"

#include "core/RtfToText.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "data/FormatSettings.h"
#include "data/MemTable.h"
#include "masterdata/TableFile.h"
#include "transfer/GroupTree.h"
#include "transfer/RecordWriter.h"
#include "transfer/ShopLookAhead.h"
#include "transfer/TransferStep.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDatasetOps.h"

#include <QFileInfo>

#include <memory>

namespace mv {

namespace {

// A quoted literal of text that is not converted otherwise (links,
// picture paths): apostrophes doubled, nothing else touched.
QString Literal(const QString &v)
{
    QString t = v;
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

// A LIKE pattern that matches text starting with prefix literally
// (escape character "!").
QString LikePrefix(const QString &prefix)
{
    QString t = prefix;
    t.replace(QLatin1Char('!'), QLatin1String("!!"));
    t.replace(QLatin1Char('_'), QLatin1String("!_"));
    t.replace(QLatin1Char('%'), QLatin1String("!%"));
    return t;
}

void WriteExtraLinks(TransferContext &ctx)
{
    TransferStepReport &rep = ctx.Step();
    const QString path = Settings().ExeDir + QStringLiteral("warengruppen.xml");
    if (ctx.Complete()) {
        const qint64 rows = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM waverbindung"));
        if (ctx.Execute(QStringLiteral("DELETE FROM waverbindung")) == 0 && rows > 0)
            rep.Deleted(QStringLiteral("waverbindung"), rows);
    }
    const qint64 before = ctx.Complete() ? 0 : ctx.Count(QStringLiteral(
        "SELECT COUNT(*) FROM waverbindung WHERE stufe<>99 OR stufe is NULL"));
    if (ctx.Execute(QStringLiteral("DELETE from waverbindung WHERE stufe<>99 OR stufe is NULL")) == 0 && before > 0)
        rep.Deleted(QStringLiteral("waverbindung"), before);
    if (!QFileInfo::exists(path))
        return;
    MemTable links;
    TableFile::Load(links, path);
    Field *group = links.FieldByName(QStringLiteral("warengruppe"));
    Field *article = links.FieldByName(QStringLiteral("artikel"));
    for (links.First(); !links.Eof() && !ctx.Aborted(); links.Next()) {
        ++rep.read;
        if (group->IsNull() || article->IsNull())
            continue;
        const QString sql = QStringLiteral("INSERT INTO waverbindung (warengruppe,artikel) values (")
                            + QString::number(group->AsInteger()) + QLatin1Char(',')
                            + QString::number(article->AsInteger()) + QLatin1Char(')');
        if (ctx.Batched())
            ctx.ExecuteLater(sql, [&rep](int r) {
                if (r == 0)
                    rep.Inserted(QStringLiteral("waverbindung"));
            });
        else if (ctx.Execute(sql) == 0)
            rep.Inserted(QStringLiteral("waverbindung"));
        ctx.ProcessEvents();
    }
    links.Close();
}

} // namespace

void TransferProductGroups(TransferContext &ctx)
{
    TransferStepReport &rep = ctx.Step();
    const int mandant = Settings().Aktiv_Mandant;
    ctx.Status(QStringLiteral("Warengruppen"));
    TVLBTable waren;
    waren.SetTableName(QStringLiteral("Warengruppe.DB"));
    waren.Open();
    SetMandantRange(waren, QStringLiteral("Schnellsuche"), kEmptyKind, mandant);
    waren.SetFilter(QStringLiteral("ART<200"));
    waren.SetFiltered(true);

    GroupTree tree;
    BuildGroupTree(tree, waren, mandant, QStringLiteral("Bezeichnung"), QString(), QStringLiteral("Anhang"),
                   QStringLiteral("Verkn"));
    ctx.ShowGroupTree(tree);
    ctx.ShowDataset(QStringLiteral("Warengruppen"), &waren);
    struct Hide {
        TransferContext &ctx;
        ~Hide() { ctx.HideDataset(QStringLiteral("Warengruppen")); }
    } hide{ctx};

    // Internal names: the path of names from the top group down.
    QHash<int, QString> filled;   // what a dry run would have written
    waren.SetIndexName(QString());
    Field *mandantF = waren.FieldByName(QStringLiteral("Mandant"));
    Field *artF = waren.FieldByName(QStringLiteral("ART"));
    Field *internF = waren.FieldByName(QStringLiteral("Bezeichnung_Intern"));
    Field *nameF = waren.FieldByName(QStringLiteral("Bezeichnung"));
    Field *parentF = waren.FieldByName(QStringLiteral("Anhang"));
    for (waren.First(); !waren.Eof() && !ctx.Aborted(); waren.Next()) {
        if (mandantF->AsInteger() != mandant || !artF->AsString().isEmpty() || !internF->AsString().trimmed().isEmpty())
            continue;
        const QString name = parentF->AsInteger() < 1
                                 ? nameF->AsString()
                                 : tree.GroupPath(parentF->AsInteger()) + QLatin1Char('_') + nameF->AsString();
        const int number = waren.FieldAt(0)->AsInteger();
        if (ctx.DryRun()) {
            filled.insert(number, name);
            rep.messages << QStringLiteral("Interner Name der Warengruppe %1 wäre: %2").arg(number).arg(name);
            continue;
        }
        if (!EnsureEditing(waren))
            continue;
        internF->SetAsString(name.left(internF->Size() > 0 ? internF->Size() : name.size()));
        waren.Post();
        ctx.ProcessEvents();
    }

    SetMandantRange(waren, QStringLiteral("Schnellsuche"), kEmptyKind, mandant);
    if (ctx.Complete())
        waren.SetFilter(QStringLiteral("(Bezeichnung<>'') AND (Internet<>WAHR) AND ART<200"));
    else
        waren.SetFilter(QStringLiteral("(Bezeichnung<>'') AND (Internet<>WAHR) AND ART<200 AND (Update>='")
                        + DateToText(ctx.ReferenceDate()) + QStringLiteral("')"));
    waren.SetFiltered(true);

    if (ctx.Complete()) {
        const qint64 rows = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM wgruppen"));
        if (ctx.Execute(QStringLiteral("DELETE FROM wgruppen")) == 0 && rows > 0)
            rep.Deleted(QStringLiteral("wgruppen"), rows);
    }

    const bool html = ctx.RtfHtml();
    auto text = [&](const char *field) { return SqlText(FieldText(waren, QString::fromLatin1(field))); };
    auto description = [&](const char *field) {
        return SqlText(RtfToText(FieldText(waren, QString::fromLatin1(field)), 0, html));
    };
    auto picture = [&](const char *field) {
        const QString ref = FieldText(waren, QString::fromLatin1(field));
        return ref.trimmed().isEmpty() ? QString() : CollectPictureAnywhere(ref);
    };

    QString sent;
    const int total = waren.RecordCount();

    // Batched: which groups the shop has, asked for many groups at once.
    std::unique_ptr<ShopLookAhead> ahead;
    if (ctx.Batched() && !ctx.Complete()) {
        QVector<int> numbers;
        numbers.reserve(total);
        for (waren.First(); !waren.Eof(); waren.Next())
            numbers << waren.FieldAt(0)->AsInteger();
        ahead = std::make_unique<ShopLookAhead>(
            ctx, QStringLiteral("wgruppen"), QStringList{QStringLiteral("zaehler")}, int(numbers.size()),
            [numbers](int i) {
                const QString zs = QString::number(numbers[i]);
                return ShopLookAhead::Candidate{QStringLiteral("zaehler=") + zs, {zs}};
            },
            [](const ShopLookAhead::Row &r) { return QStringList{NumberKey(r.value(0))}; });
    }

    int k = 0;
    int index = -1;
    for (waren.First(); !waren.Eof() && !ctx.Aborted(); waren.Next()) {
        ++index;
        ++rep.read;
        const int z = waren.FieldAt(0)->AsInteger();
        int hiernr = 0, hierident = 0;
        if (!tree.FindGroupNode(z, &hiernr, &hierident)) {
            rep.Skipped(QStringLiteral("nicht im Warengruppenbaum"));
            continue;
        }
        const QString names[5] = {text("Bezeichnung"), text("Bezeichnung2"), text("Bezeichnung3"),
                                  text("Bezeichnung4"), text("Bezeichnung5")};
        const QString intern = SqlText(filled.contains(z) ? filled.value(z) : internF->AsString());
        const QString descr[5] = {description("Beschreibung"), description("Beschreibung2"),
                                  description("Beschreibung3"), description("Beschreibung4"),
                                  description("Beschreibung5")};
        const QString parent = QString::number(parentF->AsInteger());
        const QString p = picture("Bild");
        const QString g = picture("Bild_gross");
        const QString layout = QString::number(StrToIntX(FieldText(waren, QStringLiteral("Layout"))));
        const QString link1 = FieldText(waren, QStringLiteral("Link1"));
        const QString link2 = FieldText(waren, QStringLiteral("Link2"));
        const QString w = QString::number(StrToIntX(FieldText(waren, QStringLiteral("WG_Nummer"))));
        const QString zs = QString::number(z);

        bool isNew = ctx.Complete();
        QVector<ShopLookAhead::Row> found;
        if (isNew) {
        } else if (ahead && ahead->Find(index, &found)) {
            isNew = found.isEmpty();
        } else {
            const int r = ctx.Open(QStringLiteral("SELECT zaehler FROM wgruppen WHERE zaehler=") + zs, ctx.LookupQuery());
            isNew = r == 0 && ctx.Lookup().RecordCount() == 0;
        }
        QString sql;
        if (isNew) {
            sql = QStringLiteral("INSERT INTO wgruppen (zaehler,bezeichnung,bezeichnung2,bezeichnung3,bezeichnung4,"
                                 "bezeichnung5,bezeichnung_intern,hiernr,hierident,anhang,kfmwg,bild,bild_gross,"
                                 "beschreibung,beschreibung2,beschreibung3,beschreibung4,beschreibung5,layout,link1,"
                                 "link2,wgnummer) values (")
                  + zs;
            for (const QString &n : names)
                sql += QStringLiteral(",'") + n + QLatin1Char('\'');
            sql += QStringLiteral(",'") + intern + QLatin1Char('\'');
            sql += QLatin1Char(',') + QString::number(hiernr) + QLatin1Char(',') + QString::number(hierident)
                   + QLatin1Char(',') + parent + QLatin1Char(',') + zs;
            sql += QLatin1Char(',') + Literal(p) + QLatin1Char(',') + Literal(g);
            for (const QString &d : descr)
                sql += QStringLiteral(",'") + d + QLatin1Char('\'');
            sql += QLatin1Char(',') + layout + QLatin1Char(',') + Literal(link1) + QLatin1Char(',') + Literal(link2)
                   + QLatin1Char(',') + w + QLatin1Char(')');
        } else {
            sql = QStringLiteral("UPDATE wgruppen SET bezeichnung='") + names[0] + QLatin1Char('\'');
            for (int i = 1; i < 5; ++i)
                sql += QStringLiteral(" ,bezeichnung%1='").arg(i + 1) + names[i] + QLatin1Char('\'');
            sql += QStringLiteral(" ,bezeichnung_intern='") + intern + QLatin1Char('\'');
            sql += QStringLiteral(", hiernr=") + QString::number(hiernr) + QStringLiteral(" ,hierident=")
                   + QString::number(hierident);
            sql += QStringLiteral(", anhang=") + parent;
            // A group without a picture keeps the one it has in the shop.
            if (!p.trimmed().isEmpty())
                sql += QStringLiteral(", bild=") + Literal(p);
            if (!g.trimmed().isEmpty())
                sql += QStringLiteral(", bild_gross=") + Literal(g);
            sql += QStringLiteral(", beschreibung='") + descr[0] + QLatin1Char('\'');
            for (int i = 1; i < 5; ++i)
                sql += QStringLiteral(", beschreibung%1='").arg(i + 1) + descr[i] + QLatin1Char('\'');
            sql += QStringLiteral(", layout=") + layout + QStringLiteral(", link1=") + Literal(link1)
                   + QStringLiteral(", link2=") + Literal(link2) + QStringLiteral(", wgnummer=") + w
                   + QStringLiteral(" WHERE zaehler=") + zs;
        }
        if (ctx.Batched()) {
            if (ahead)
                ahead->Touch(index);
            ctx.ExecuteLater(sql, [&rep, isNew](int r) {
                if (r == 0)
                    isNew ? rep.Inserted(QStringLiteral("wgruppen")) : rep.Updated(QStringLiteral("wgruppen"));
            });
        } else if (ctx.Execute(sql) == 0) {
            isNew ? rep.Inserted(QStringLiteral("wgruppen")) : rep.Updated(QStringLiteral("wgruppen"));
        }
        if (!sent.isEmpty())
            sent += QLatin1Char(',');
        sent += zs;
        ++k;
        ctx.Progress(k, total);
        ctx.ProcessEvents();
    }

    try {
        WriteExtraLinks(ctx);
    } catch (const ShopConnectionLost &) {
        throw;
    } catch (const std::exception &e) {
        ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
    }
    if (!ctx.Options().Has(QStringLiteral("artikel")) && !ctx.Aborted())
        CountGroupArticles(ctx, sent);
    waren.Close();
}

namespace {

// The subtree of a group, as the shop finds it for the internal name as read.
QString SubtreeQuery(const QString &intern)
{
    const QString q = SqlText(intern);
    return QStringLiteral("SELECT zaehler,bezeichnung_intern FROM wgruppen WHERE bezeichnung_intern='") + q
           + QStringLiteral("' OR bezeichnung_intern LIKE '") + LikePrefix(q) + QStringLiteral("!_%' ESCAPE '!'");
}

// All counts in one read: the shop compares the internal names of the
// subtree itself (its collation), with the pattern built as SubtreeQuery
// builds it; only names that SqlText would change are asked one by one.
void CountGroupArticlesAtOnce(TransferContext &ctx, const QString &sentGroups)
{
    QString sql = QStringLiteral(
        "SELECT g.zaehler,g.bezeichnung_intern,"
        "(SELECT COUNT(*) FROM artikel a WHERE a.warengruppe=g.zaehler),"
        "(SELECT COUNT(*) FROM artikel a WHERE a.warengruppe=g.zaehler OR a.warengruppe IN "
        "(SELECT s.zaehler FROM wgruppen s WHERE s.bezeichnung_intern=g.bezeichnung_intern OR s.bezeichnung_intern "
        "LIKE CONCAT(REPLACE(REPLACE(REPLACE(g.bezeichnung_intern,'!','!!'),'_','!_'),'%','!%'),'!_%') ESCAPE '!')),"
        "(SELECT COUNT(*) FROM waverbindung v WHERE v.warengruppe=g.zaehler) FROM wgruppen g ");
    if (!ctx.Complete() && !sentGroups.isEmpty() && sentGroups.size() <= 3000)
        sql += QStringLiteral("where g.zaehler in (") + sentGroups + QStringLiteral(") ");
    sql += QStringLiteral("ORDER BY g.zaehler");
    if (ctx.Open(sql, ctx.ListQuery()) != 0)
        return;
    struct Group {
        QString z, intern;
        qint64 self, subtree, links;
    };
    QVector<Group> groups;
    MemTable &list = ctx.List();
    for (list.First(); !list.Eof(); list.Next())
        groups.append({list.FieldAt(0)->AsString(), list.FieldAt(1)->AsString(),
                       qint64(StrToFloatX(list.FieldAt(2)->AsString())), qint64(StrToFloatX(list.FieldAt(3)->AsString())),
                       qint64(StrToFloatX(list.FieldAt(4)->AsString()))});
    qint64 offset = 0;
    for (const Group &g : std::as_const(groups)) {
        if (ctx.Aborted())
            break;
        ctx.Status(QStringLiteral("Artikel von \"") + g.intern + QStringLiteral("\" zählen"));
        ctx.Progress(offset++, groups.size());
        ctx.ProcessEvents();
        qint64 a = g.self;
        if (!g.intern.trimmed().isEmpty()) {
            QString escaped = g.intern;
            escaped.replace(QLatin1Char('\''), QLatin1String("''"));
            if (SqlText(g.intern) == escaped) {
                a = g.subtree;
            } else if (ctx.Open(SubtreeQuery(g.intern), ctx.ProbeQuery()) == 0) {
                MemTable &sub = ctx.Probe();
                QStringList ids;
                for (sub.First(); !sub.Eof(); sub.Next())
                    ids << sub.FieldAt(0)->AsString();
                if (!ids.contains(g.z))
                    ids.prepend(g.z);
                a = ctx.Count(QStringLiteral("SELECT count(*) FROM artikel where warengruppe in (") + ids.join(QLatin1Char(','))
                              + QLatin1Char(')'));
            }
        }
        ctx.ExecuteLater(QStringLiteral("UPDATE wgruppen SET anzahl=")
                         + QString::number(std::max<qint64>(0, a) + std::max<qint64>(0, g.links))
                         + QStringLiteral(" where zaehler=") + g.z);
    }
    if (ctx.Aborted())
        ctx.Step().stopped = true;
}

} // namespace

void CountGroupArticles(TransferContext &ctx, const QString &sentGroups)
{
    try {
        ctx.Status(QStringLiteral("Artikelanzahl der Warengruppen feststellen"));
        if (ctx.Batched()) {
            CountGroupArticlesAtOnce(ctx, sentGroups);
            return;
        }
        const qint64 c = ctx.Count(QStringLiteral("select count(*) from wgruppen"));
        QString countSql = QStringLiteral("select count(*) from wgruppen");
        QString selectSql = QStringLiteral("SELECT zaehler,bezeichnung_intern FROM wgruppen ");
        if (!ctx.Complete() && !sentGroups.isEmpty() && sentGroups.size() <= 3000) {
            countSql += QStringLiteral(" where zaehler in (") + sentGroups + QLatin1Char(')');
            selectSql += QStringLiteral("where zaehler in (") + sentGroups + QStringLiteral(") ");
        }
        // Rows are read in batches and ordered so a batch boundary cannot skip one.
        selectSql += QStringLiteral("ORDER BY zaehler");
        qint64 offset = 0;
        ForEachShopRow(ctx, countSql, selectSql, [&](MemTable &list) {
            const QString z = list.FieldAt(0)->AsString();
            const QString intern = list.FieldAt(1)->AsString();
            ctx.Status(QStringLiteral("Artikel von \"") + intern + QStringLiteral("\" zählen"));
            ctx.Progress(offset++, c);
            ctx.ProcessEvents();
            // The subtree: the group and those whose internal name continues
            // its own with "_" (internal names are paths of names).
            QString ids = z;
            if (!intern.trimmed().isEmpty()) {
                if (ctx.Open(SubtreeQuery(intern), ctx.ProbeQuery()) == 0) {
                    MemTable &sub = ctx.Probe();
                    QStringList list;
                    for (sub.First(); !sub.Eof(); sub.Next())
                        list << sub.FieldAt(0)->AsString();
                    if (!list.contains(z))
                        list.prepend(z);
                    ids = list.join(QLatin1Char(','));
                }
            }
            const qint64 a = ctx.Count(QStringLiteral("SELECT count(*) FROM artikel where warengruppe in (") + ids
                                       + QLatin1Char(')'));
            const qint64 b = ctx.Count(QStringLiteral("SELECT count(*) FROM waverbindung where warengruppe=") + z);
            ctx.Execute(QStringLiteral("UPDATE wgruppen SET anzahl=") + QString::number(std::max<qint64>(0, a) + std::max<qint64>(0, b))
                        + QStringLiteral(" where zaehler=") + z);
        });
    } catch (const ShopConnectionLost &) {
        throw;
    } catch (const std::exception &e) {
        ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
    }
}

} // namespace mv
