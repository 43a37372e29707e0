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
#include "wawi/WaWiTableStore.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiDetect.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>

#include <memory>

namespace mv {

namespace {

// Delphi's "%g": up to 15 significant digits, a point as decimal separator.
QString General(double v)
{
    return QString::number(v, 'g', 15);
}

// Apostrophes doubled for a text that is not converted otherwise.
QString Escaped(const QString &v)
{
    QString t = v;
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    return t;
}

bool IsDateColumn(FieldType t)
{
    return t == FieldType::Date || t == FieldType::Time || t == FieldType::DateTime;
}

bool AllDigits(const QString &s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

QString PriceText(const Dataset &article, const Dataset *vat, int level, double price)
{
    double p = price;
    if (level >= 1 && level <= 9 && Settings().E_VK_Netto[size_t(level)]) {
        const Field *net = article.FindField(QStringLiteral("PreiseNetto"));
        if (!(net && net->AsBoolean())) {
            // No VAT record: the rate the shop assumes for such articles.
            double rate = 16.0;
            if (vat)
                if (const Field *f = vat->FindField(QStringLiteral("NMwST")))
                    rate = f->AsFloat();
            p = price * (1.0 + rate / 100.0);
        }
    }
    QString t = General(p);
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    return t;
}

double VatRateAt(const Dataset &vat, const QDateTime &t)
{
    const Field *datum = vat.FindField(QStringLiteral("Datum"));
    const Field *old = vat.FindField(QStringLiteral("MwST"));
    const Field *now = vat.FindField(QStringLiteral("NMwST"));
    const double current = now ? now->AsFloat() : 0.0;
    if (t.isValid() && datum && !datum->IsNull() && datum->AsDateTime() > t)
        return old ? old->AsFloat() : current;
    try {
        const Field *newDate = vat.FindField(QStringLiteral("NEU_Datum"));
        const Field *newRate = vat.FindField(QStringLiteral("NEU_MWST"));
        if (newDate && newRate && !newDate->IsNull() && newDate->AsDateTime() <= t)
            return newRate->AsFloat();
    } catch (const std::exception &) {
    }
    return current;
}

QString IsoDateText(const QString &s)
{
    if (s.trimmed().isEmpty())
        return QString();
    QDate d = TextToDate(s.trimmed());
    if (!d.isValid())
        d = TextToDateTime(s.trimmed()).date();
    if (!d.isValid())
        return QString();
    return QStringLiteral("%1-%2-%3").arg(d.year()).arg(d.month()).arg(d.day());
}

namespace {

// The numbers of "#ArtikelNr:a;b;..." (at most 150) that name an article,
// as that article's counter followed by "|"; find(number) gives the counter
// or a null string.
QString AccessoryNumbersIn(const std::function<QString(const QString &)> &find, const QString &s)
{
    static const QString mark = QStringLiteral("#ArtikelNr:");
    if (!s.startsWith(mark))
        return QString();
    const QStringList parts = s.mid(mark.size()).split(QLatin1Char(';')).mid(0, 150);
    QString out;
    for (const QString &p : parts) {
        const QString number = p.trimmed();
        if (number.isEmpty())
            continue;
        const QString artikel = find(number);
        if (!artikel.isNull())
            out += artikel + QLatin1Char('|');
    }
    return out;
}

// Article numbers of one Mandant to their counters, read once from the
// article table that is already open: a second cursor would hold a second
// copy of the whole table. Compared as the table's index "Nummer" compares
// (its collation), the first record in key order winning.
class ArticleNumbers {
public:
    ArticleNumbers(TVLBTable &articles, int mandant) : m_table(articles), m_mandant(mandant) {}
    QString Find(const QString &number)
    {
        if (!m_built)
            build();
        return m_byNumber.value(key(number));
    }

private:
    QString key(const QString &number) const { return m_international ? WaWiCollationKey(number) : number; }
    void build()
    {
        m_built = true;
        const WaWiTableStore *store = m_table.Store();
        const Field *art = m_table.FindField(QStringLiteral("Art"));
        const Field *mandant = m_table.FindField(QStringLiteral("Mandant"));
        const Field *number = m_table.FindField(QStringLiteral("Artikelnummer"));
        if (!store || !art || !mandant || !number)
            return;
        m_international = store->InternationalSort();
        const int n = store->RecordCount();
        for (int r = 0; r < n; ++r) {
            if (store->IsNull(r, art->Index()) || store->Value(r, art->Index()).toInt() != 0
                || store->Value(r, mandant->Index()).toInt() != m_mandant || store->IsNull(r, number->Index()))
                continue;
            const QString k = key(store->Value(r, number->Index()).toString());
            if (!k.isEmpty() && !m_byNumber.contains(k))
                m_byNumber.insert(k, store->Value(r, 0).toString());
        }
    }

    TVLBTable &m_table;
    int m_mandant;
    bool m_built = false;
    bool m_international = true;
    QHash<QString, QString> m_byNumber;
};

} // namespace

QString AccessoryNumbers(const QString &s, int mandant)
{
    if (!s.startsWith(QLatin1String("#ArtikelNr:")))
        return QString();
    TVLBTable t;
    t.SetTableName(QStringLiteral("Artikel.DB"));
    t.Open();
    t.SetIndexName(QStringLiteral("Nummer"));
    return AccessoryNumbersIn(
        [&](const QString &number) {
            return t.FindKey({0, mandant, number}) ? t.FieldAt(0)->AsString() : QString();
        },
        s);
}

QStringList VariantNames(const QStringList &used)
{
    QStringList names = used;
    while (names.size() < 5)
        names << QString();
    // One pass from the fourth name down: a gap of more than one place is
    // closed only partly, which is how the shop's rows have always been read.
    for (int j = 3; j >= 0; --j) {
        if (names[j].trimmed().isEmpty()) {
            names[j] = names[j + 1];
            names[j + 1].clear();
        }
    }
    return names;
}

QString VariantValues(const Dataset &row, const QStringList &names)
{
    QString out;
    for (int i = 0; i < 5; ++i) {
        const QString name = i < names.size() ? names[i] : QString();
        QString v;
        if (!name.trimmed().isEmpty())
            v = FieldText(row, name);
        if (name.trimmed().isEmpty() || v.trimmed().isEmpty())
            out += QStringLiteral(",null");
        else
            out += QStringLiteral(",'") + Escaped(v) + QLatin1Char('\'');
    }
    return out;
}

namespace {

struct SideTables {
    TVLBTable staffel;   // Tbl_VKStaffel
    TVLBTable eig;       // Tbl_ArtikelEig
    Field *staffelLevel = nullptr;   // the price level of the index ArtikelVkMenge
    bool edition2 = false;
};

void Guarded(TransferContext &ctx, const std::function<void()> &f)
{
    try {
        f();
    } catch (const ShopConnectionLost &) {
        throw;
    } catch (const std::exception &e) {
        ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
    }
}

void RefreshSideTables(TransferContext &ctx, SideTables &side, Dataset &art, const Dataset *vat,
                       const QString &linkKey)
{
    TransferStepReport &rep = ctx.Step();
    const QString k = art.FieldAt(0)->AsString();
    const int artikel = art.FieldAt(0)->AsInteger();

    // 1. Links of level 99 to the further groups of the article.
    Guarded(ctx, [&] {
        ctx.ExecuteLater(QStringLiteral("DELETE from waverbindung WHERE Artikel=") + linkKey + QStringLiteral(" and stufe=99"));
    });
    QString more = FieldText(art, QStringLiteral("Warengruppen")).trimmed();
    if (!more.isEmpty()) {
        more.replace(QLatin1Char(';'), QLatin1Char(','));
        for (const QString &part : more.split(QLatin1Char(','))) {
            const int g = StrToIntX(part);
            if (g < 1)
                continue;
            Guarded(ctx, [&] {
                ctx.ExecuteLater(QStringLiteral("INSERT INTO waverbindung (artikel,warengruppe,stufe) values (") + linkKey
                                     + QLatin1Char(',') + QString::number(g) + QStringLiteral(",99)"),
                                 [&rep](int r) {
                                     if (r == 0)
                                         rep.Inserted(QStringLiteral("waverbindung"));
                                 });
            });
        }
    }

    // 2. Graduated prices, levels 0..5 as kunde -1..-6.
    ctx.ExecuteLater(QStringLiteral("DELETE FROM sonderpreise WHERE kunde<0 and artikel=") + k);
    if (side.edition2) {
        Field *menge = side.staffel.FieldByName(QStringLiteral("Menge"));
        Field *preis = side.staffel.FieldByName(QStringLiteral("Preis"));
        // Levels 0..5 in one range: the index walks them level by level.
        side.staffel.SetRange({artikel, 0, -1999999999}, {artikel, 5, 1999999999});
        for (side.staffel.First(); !side.staffel.Eof(); side.staffel.Next()) {
            const int level = side.staffelLevel->AsInteger();
            ctx.ExecuteLater(QStringLiteral("insert into sonderpreise (kunde,artikel,menge,preis) values (")
                                 + QString::number(-(level + 1)) + QLatin1Char(',') + k + QLatin1Char(',')
                                 + General(menge->AsFloat()) + QLatin1Char(',')
                                 + PriceText(art, vat, level, preis->AsFloat()) + QLatin1Char(')'),
                             [&rep](int r) {
                                 if (r == 0)
                                     rep.Inserted(QStringLiteral("sonderpreise"));
                             });
        }
    }

    // 3. Variants.
    ctx.ExecuteLater(QStringLiteral("DELETE FROM varianten WHERE artikel=") + k);
    if (!side.edition2)
        return;
    Guarded(ctx, [&] {
        TVLBTable &eig = side.eig;
        eig.SetRange({artikel}, {artikel});
        if (eig.RecordCount() == 0)
            return;
        QStringList used(5);
        for (eig.First(); !eig.Eof(); eig.Next())
            for (int i = 1; i <= 5; ++i)
                if (!FieldText(eig, QStringLiteral("eigen%1").arg(i)).trimmed().isEmpty())
                    used[i - 1] = QStringLiteral("eigen%1").arg(i);
        const QStringList names = VariantNames(used);
        Field *id = eig.FieldByName(QStringLiteral("id"));
        Field *eart = eig.FieldByName(QStringLiteral("artikel"));
        Field *ean = eig.FieldByName(QStringLiteral("ean"));
        Field *bestand = eig.FieldByName(QStringLiteral("bestand"));
        Field *vk = eig.FieldByName(QStringLiteral("vk"));
        Field *auf = eig.FindField(QStringLiteral("Aufpreise"));
        auto num = [](Field *f) { return f->IsNull() ? QStringLiteral("NULL") : QString::number(f->AsLargeInt()); };
        for (eig.First(); !eig.Eof(); eig.Next()) {
            ctx.ExecuteLater(QStringLiteral("insert into varianten (id,artikel,ean,eigen1,eigen2,eigen3,eigen4,eigen5,"
                                            "bestand,vk,aufpreis) values (")
                                 + num(id) + QLatin1Char(',') + num(eart) + QStringLiteral(",'") + Escaped(ean->AsString())
                                 + QLatin1Char('\'') + VariantValues(eig, names) + QLatin1Char(',')
                                 + General(bestand->AsFloat()) + QLatin1Char(',') + General(vk->AsFloat())
                                 + QLatin1Char(',') + ((auf && auf->AsBoolean()) ? QStringLiteral("1") : QStringLiteral("0"))
                                 + QLatin1Char(')'),
                             [&rep](int r) {
                                 if (r == 0)
                                     rep.Inserted(QStringLiteral("varianten"));
                             });
        }
    });
}

} // namespace

void TransferArticles(TransferContext &ctx)
{
    TransferStepReport &rep = ctx.Step();
    const int mandant = Settings().Aktiv_Mandant;
    const bool html = ctx.RtfHtml();
    ctx.Status(QStringLiteral("Artikel"));

    TVLBTable waren;
    waren.SetTableName(QStringLiteral("Warengruppe.DB"));
    waren.Open();
    GroupTree tree;
    BuildGroupTree(tree, waren, mandant, QStringLiteral("Bezeichnung"), QString(), QStringLiteral("Anhang"),
                   QStringLiteral("Verkn"));
    ctx.ShowGroupTree(tree);

    // Articles with extra links in the article list's file.
    QSet<int> extraLinked;
    bool haveXml = false;
    Guarded(ctx, [&] {
        const QString path = Settings().ExeDir + QStringLiteral("warengruppen.xml");
        if (!QFileInfo::exists(path))
            return;
        MemTable xml;
        TableFile::Load(xml, path);
        Field *a = xml.FieldByName(QStringLiteral("artikel"));
        for (xml.First(); !xml.Eof(); xml.Next())
            if (!a->IsNull())
                extraLinked.insert(a->AsInteger());
        haveXml = true;
    });

    TVLBTable art;
    art.SetTableName(QStringLiteral("Artikel.DB"));
    art.VLBOpenByRange = true;
    art.Open();
    SideTables side;
    side.edition2 = WaWiEdition() == 2;
    side.staffel.SetTableName(QStringLiteral("VK_Staffel.db"));
    side.staffel.Open();
    side.eig.SetTableName(QStringLiteral("Artikel_Eig.DB"));
    side.eig.Open();
    // Chosen once: choosing an index sorts the whole table again.
    if (side.edition2) {
        side.staffel.SetIndexName(QStringLiteral("ArtikelVkMenge"));
        side.staffelLevel = side.staffel.FieldByName(side.staffel.CurrentIndexFields().value(1));
        Guarded(ctx, [&] { side.eig.SetIndexName(QStringLiteral("X_Artikel")); });
    }
    // Tbl_ArtikelX's look-up, without a second copy of the article table.
    ArticleNumbers byNumber(art, mandant);

    if (ctx.Complete()) {
        art.SetFilter(QStringLiteral("(Artikelnummer<>'')"));
        const qint64 rows = ctx.Count(QStringLiteral("SELECT COUNT(*) FROM artikel"));
        if (ctx.Execute(QStringLiteral("DELETE FROM artikel")) == 0 && rows > 0)
            rep.Deleted(QStringLiteral("artikel"), rows);
    } else {
        art.SetFilter(QStringLiteral("(Artikelnummer<>'') AND ((Update>='") + DateTimeToText(ctx.ReferenceMoment())
                      + QStringLiteral("') OR (Update>'") + DateToText(ctx.ReferenceDate()) + QStringLiteral("'))"));
    }
    TVLBTable ust;
    ust.SetTableName(QStringLiteral("MWST.DB"));
    ust.Open();
    ust.SetIndexName(QString());
    SetMandantRange(art, QStringLiteral("Schnellsuche"), 0, mandant);
    art.SetFiltered(true);
    const int total = art.RecordCount();
    ctx.ShowDataset(QStringLiteral("Artikel"), &art);
    struct Hide {
        TransferContext &ctx;
        ~Hide() { ctx.HideDataset(QStringLiteral("Artikel")); }
    } hide{ctx};

    if (ctx.Open(QStringLiteral("SELECT * FROM artikel ") + LimitSql(0, 1), ctx.ProbeQuery()) != 0)
        throw DatasetError(QStringLiteral("Die Shoptabelle artikel kann nicht gelesen werden."));
    const QVector<FieldDef> shopDefs = ctx.Probe().FieldDefs();
    const bool shopEmpty = ctx.Probe().RecordCount() == 0 || (ctx.DryRun() && ctx.Complete());

    waren.SetFiltered(false);
    waren.CancelRange();
    waren.SetIndexName(QString());

    // The rules of every shop column, decided once.
    enum class Rule { None, Price, Vat, Inventory, Group, KfmArt, Empfehlung, MinStock, PriceNet, Discount,
                      BasePrice, ExtraField, Start, SmallPicture, BigPicture };
    struct Target {
        QString name;
        ColumnKind kind;
        bool date;
        Field *wawi;        // same-named WaWi field (part A), or nullptr
        Rule rule;          // part A's special rule or part B's
        bool partB;
        int level = 0;      // price level
        Field *extra = nullptr;   // zfeld source
    };
    QVector<Target> targets;
    for (int i = 1; i < shopDefs.size(); ++i) {
        const QString j = shopDefs[i].name;
        const QString u = j.toUpper();
        Target t{j, KindOfFieldType(shopDefs[i].type), IsDateColumn(shopDefs[i].type), art.FindField(j), Rule::None,
                 false};
        if (t.wawi) {
            bool ok = false;
            const int n = j.mid(2).toInt(&ok);
            if (u.startsWith(QLatin1String("VK")) && ok && n >= 1 && n <= 9 && j.mid(2) == QString::number(n)) {
                t.rule = Rule::Price;
                t.level = n;
            } else if (u == QLatin1String("UMSATZSTEUER")) {
                t.rule = Rule::Vat;
            } else if (u == QLatin1String("INVENTUR")) {
                t.rule = Rule::Inventory;
            } else if (u == QLatin1String("WARENGRUPPE")) {
                t.rule = Rule::Group;
            }
        }
        const QString l = j.toLower();
        Rule b = Rule::None;
        if (l == QLatin1String("kfmart")) b = Rule::KfmArt;
        else if (l == QLatin1String("empfehlung")) b = Rule::Empfehlung;
        else if (l == QLatin1String("mindesbestand")) b = Rule::MinStock;
        else if (l == QLatin1String("preisnetto")) b = Rule::PriceNet;
        else if (l == QLatin1String("rabattfaehig")) b = Rule::Discount;
        else if (l == QLatin1String("grundanzeige")) b = Rule::BasePrice;
        else if (l.contains(QLatin1String("zfeld"))) {
            b = Rule::ExtraField;
            t.extra = art.FindField(QStringLiteral("Zusatzfeld") + StrRight(QStringLiteral("0") + j.mid(5), 2));
        } else if (l == QLatin1String("startseite")) b = Rule::Start;
        else if (l == QLatin1String("bild_klein")) b = Rule::SmallPicture;
        else if (l == QLatin1String("bild_gross")) b = Rule::BigPicture;
        if (b != Rule::None) {
            // A column matched by a WaWi field and a rule of its own gets the rule's value only.
            t.rule = b;
            t.partB = true;
        }
        if (t.wawi || t.partB)
            targets.append(t);
    }

    Field *artikelF = art.FieldAt(0);
    Field *numberF = art.FieldByName(QStringLiteral("Artikelnummer"));
    Field *groupF = art.FieldByName(QStringLiteral("Warengruppe"));
    Field *onlineF = art.FieldByName(QStringLiteral("Internet"));
    Field *vatKeyF = art.FindField(QStringLiteral("Umsatzsteuer"));
    Field *groupHiddenF = waren.FindField(QStringLiteral("Internet"));
    const QDateTime now = QDateTime::currentDateTime();

    QString deleteList;
    QSet<int> sentGroups;
    QStringList sentOrder;
    bool unquoted = false;

    // Batched: which articles the shop has, asked for many articles at once.
    std::unique_ptr<ShopLookAhead> ahead;
    QVector<int> deleteIndexes;   // records whose numbers the pending delete names
    if (ctx.Batched() && !shopEmpty) {
        struct Key {
            int artikel;
            QString number;   // as the statements quote it
        };
        QVector<Key> keys;
        keys.reserve(total);
        for (art.First(); !art.Eof() && !ctx.Aborted(); art.Next()) {
            keys.append({artikelF->AsInteger(), SqlText(numberF->AsString())});
            if (keys.size() % 2000 == 0)
                ctx.ProcessEvents();
        }
        ahead = std::make_unique<ShopLookAhead>(
            ctx, QStringLiteral("artikel"), QStringList{QStringLiteral("zaehler"), QStringLiteral("artikelnummer")},
            int(keys.size()),
            [keys](int i) {
                const QString a = QString::number(keys[i].artikel);
                return ShopLookAhead::Candidate{QStringLiteral("zaehler=") + a + QStringLiteral(" OR artikelnummer='")
                                                    + keys[i].number + QLatin1Char('\''),
                                                {QStringLiteral("z:") + a, QStringLiteral("n:") + LooseKey(keys[i].number)}};
            },
            [](const ShopLookAhead::Row &r) {
                return QStringList{QStringLiteral("z:") + NumberKey(r.value(0)), QStringLiteral("n:") + LooseKey(r.value(1))};
            });
    }

    auto flushDeletes = [&] {
        if (ahead)
            for (int i : std::as_const(deleteIndexes))
                ahead->Touch(i);
        deleteIndexes.clear();
        if (deleteList.isEmpty())
            return;
        const qint64 rows = ctx.Count(QStringLiteral("select count(*) from artikel where artikelnummer in (")
                                      + deleteList + QLatin1Char(')'));
        if (ctx.Execute(QStringLiteral("delete from artikel where artikelnummer in (") + deleteList + QLatin1Char(')')) == 0
            && rows > 0)
            rep.Deleted(QStringLiteral("artikel"), rows);
        deleteList.clear();
    };

    int k = 0;
    int index = -1;
    QElapsedTimer sinceEvents;
    for (art.First(); !art.Eof() && !ctx.Aborted(); art.Next()) {
        ++index;
        ++rep.read;
        const int artikel = artikelF->AsInteger();
        const QString artikelText = QString::number(artikel);
        const QString number = SqlText(numberF->AsString());
        const bool extra = haveXml && extraLinked.contains(artikel);
        const bool groupFound = waren.FindKey({groupF->AsInteger()});
        bool write = false, drop = false;
        if (!groupFound && !extra) {
            // Not ours to decide: the shop keeps it.
            rep.Skipped(QStringLiteral("Warengruppe fehlt in der Warenwirtschaft (im Shop unverändert)"));
        } else if (groupFound && groupHiddenF && groupHiddenF->AsBoolean() && !extra) {
            drop = true;
            rep.Skipped(QStringLiteral("Warengruppe nicht im Shop sichtbar (im Shop gelöscht)"));
        } else if (onlineF->AsBoolean()) {
            write = true;
        } else {
            drop = true;
            rep.Skipped(QStringLiteral("nicht online (im Shop gelöscht)"));
        }
        if (drop) {
            if (!deleteList.isEmpty())
                deleteList += QLatin1Char(',');
            deleteList += QLatin1Char('\'') + number + QLatin1Char('\'');
            deleteIndexes << index;
        }

        if (write) {
            bool isNew = shopEmpty;
            QString key = artikelText;
            QVector<ShopLookAhead::Row> found;
            QStringList foundTokens;   // rows the article's own query found
            // More than one row found: which comes first is the server's choice, so it is asked itself.
            if (shopEmpty) {
            } else if (ahead && ahead->Find(index, &found) && found.size() <= 1) {
                isNew = found.isEmpty();
                if (!isNew)
                    key = found.first().value(0);
            } else {
                const bool numeric = unquoted && AllDigits(numberF->AsString());
                const QString sql = QStringLiteral("SELECT zaehler,artikelnummer,warengruppe FROM artikel WHERE zaehler=")
                                    + artikelText + QStringLiteral(" OR artikelnummer=")
                                    + (numeric ? numberF->AsString() : QLatin1Char('\'') + number + QLatin1Char('\''));
                int r = ctx.Open(sql, ctx.LookupQuery());
                if (r == 3 && !unquoted) {
                    unquoted = true;
                    if (AllDigits(numberF->AsString()))
                        r = ctx.Open(QStringLiteral("SELECT zaehler,artikelnummer,warengruppe FROM artikel WHERE zaehler=")
                                         + artikelText + QStringLiteral(" OR artikelnummer=") + numberF->AsString(),
                                     ctx.LookupQuery());
                }
                isNew = r == 0 && ctx.Lookup().RecordCount() == 0;
                if (r == 0 && !isNew) {
                    MemTable &l = ctx.Lookup();
                    for (l.First(); !l.Eof(); l.Next())
                        foundTokens << QStringLiteral("z:") + NumberKey(l.FieldAt(0)->AsString())
                                    << QStringLiteral("n:") + LooseKey(l.FieldAt(1)->AsString());
                    l.First();
                    key = l.FieldAt(0)->AsString();
                }
            }

            // The article's own VAT record, before any price is computed.
            const bool vatFound = vatKeyF && !vatKeyF->IsNull() && ust.FindKey({vatKeyF->AsInteger()});
            const Dataset *vat = vatFound ? &ust : nullptr;

            QString cols = QStringLiteral("zaehler"), vals = artikelText, sets = QStringLiteral("zaehler=") + artikelText;
            auto append = [&](const QString &c, const QString &v) {
                cols += QLatin1Char(',') + c;
                vals += QLatin1Char(',') + v;
                sets += QLatin1Char(',') + c + QLatin1Char('=') + v;
            };
            for (const Target &t : std::as_const(targets)) {
                if (!t.partB) {
                    QString v;
                    switch (t.rule) {
                    case Rule::Price:
                        v = PriceText(art, vat, t.level, t.wawi->AsFloat());
                        break;
                    case Rule::Vat:
                        v = vatFound ? General(VatRateAt(ust, now)) : QStringLiteral("16");
                        break;
                    case Rule::Inventory:
                        v = FieldText(art, QStringLiteral("Bestand"));
                        break;
                    case Rule::Group: {
                        const int g = groupF->AsInteger();
                        int hiernr = 0, hierident = 0;
                        // A group without a node is placed at the top, not where the previous article was.
                        tree.FindGroupNode(g, &hiernr, &hierident);
                        v = QString::number(g);
                        if (!sentGroups.contains(g)) {
                            sentGroups.insert(g);
                            sentOrder << v;
                        }
                        append(QStringLiteral("hiernr"), QString::number(hiernr));
                        append(QStringLiteral("hierident"), QString::number(hierident));
                        break;
                    }
                    default:
                        v = t.wawi->AsString();
                        break;
                    }
                    const FieldType wt = t.wawi->DataType();
                    if (wt == FieldType::Memo || wt == FieldType::FmtMemo)
                        v = RtfToText(v, 0, html);
                    if (t.date)
                        v = IsoDateText(v);
                    v = SqlText(v);
                    if (wt == FieldType::Boolean)
                        v = BooleanLiteral(t.kind, v);
                    append(t.name, SqlValue(t.kind, v));
                    continue;
                }
                try {
                    QString v;
                    bool skipEmpty = false;
                    switch (t.rule) {
                    case Rule::KfmArt:
                        v = QStringLiteral("Artikel");
                        break;
                    case Rule::Empfehlung:
                        if (side.edition2) {
                            v = FieldText(art, QStringLiteral("Zusatz3")).trimmed();
                            if (v.isEmpty() && groupFound && waren.FindField(QStringLiteral("Zubehoer")))
                                v = FieldText(waren, QStringLiteral("Zubehoer")).trimmed();
                        }
                        if (v.startsWith(QLatin1String("#ArtikelNr:")))
                            v = AccessoryNumbersIn([&](const QString &n) { return byNumber.Find(n); }, v);
                        else
                            v.clear();
                        v = v.replace(QLatin1String("|\r\n"), QLatin1String(",")).trimmed();
                        v = v.replace(QLatin1Char('|'), QLatin1Char(',')).trimmed();
                        v = v.remove(QLatin1Char('\r')).trimmed();
                        v = v.remove(QLatin1Char('\n')).trimmed();
                        if (v.endsWith(QLatin1Char(',')))
                            v.chop(1);
                        break;
                    case Rule::MinStock:
                        v = FieldText(art, QStringLiteral("Mindestbestand"));
                        break;
                    case Rule::PriceNet:
                        v = IsTrueLiteral(FieldText(art, QStringLiteral("PreiseNetto"))) ? QStringLiteral("1") : QStringLiteral("0");
                        break;
                    case Rule::Discount:
                        v = IsTrueLiteral(FieldText(art, QString::fromUtf8("Rabattfähig"))) ? QStringLiteral("1") : QStringLiteral("0");
                        break;
                    case Rule::BasePrice: {
                        const QString unit = FieldText(art, QStringLiteral("Grundpreiseinheit"));
                        if (!unit.trimmed().isEmpty()) {
                            const Field *factor = art.FindField(QStringLiteral("Grundpreisfaktor"));
                            const Field *vk1 = art.FindField(QStringLiteral("VK1"));
                            const double f = factor ? factor->AsFloat() : 0.0;
                            v = f > 0 ? unit + QStringLiteral(" = ") + FloatToSqlStr(2, (vk1 ? vk1->AsFloat() : 0.0) / f)
                                      : unit;
                        }
                        v = Escaped(v);
                        break;
                    }
                    case Rule::ExtraField:
                        if (!t.extra)
                            continue;
                        v = Escaped(t.extra->AsString());
                        break;
                    case Rule::Start:
                        v = IsTrueLiteral(FieldText(art, QStringLiteral("Katalog"))) ? QStringLiteral("true") : QStringLiteral("false");
                        break;
                    case Rule::SmallPicture:
                    case Rule::BigPicture: {
                        skipEmpty = true;
                        const QString ref = FieldText(art, t.rule == Rule::SmallPicture ? QStringLiteral("bild1") : QStringLiteral("bild2"));
                        if (ctx.Pictures() && !ref.trimmed().isEmpty())
                            v = Escaped(CollectPictureAnywhere(ref));
                        break;
                    }
                    default:
                        continue;
                    }
                    if (skipEmpty && v.isEmpty())
                        continue;
                    append(t.name, SqlValue(t.kind, v));
                } catch (const ShopConnectionLost &) {
                    throw;
                } catch (const std::exception &e) {
                    ctx.Log(QStringLiteral("Systemfehler: ") + QString::fromStdString(e.what()));
                }
            }

            const QString sql = isNew ? QStringLiteral("insert into artikel (") + cols + QStringLiteral(") values (") + vals
                                            + QLatin1Char(')')
                                      : QStringLiteral("UPDATE artikel SET ") + sets + QStringLiteral(" WHERE zaehler=") + key;
            if (ahead)
                ahead->Touch(index, foundTokens);
            ctx.ExecuteLater(sql, [&rep, isNew](int r) {
                if (r == 0)
                    isNew ? rep.Inserted(QStringLiteral("artikel")) : rep.Updated(QStringLiteral("artikel"));
                else
                    rep.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
            });
            // The update gave the row the WaWi's number; its links follow it.
            RefreshSideTables(ctx, side, art, vat, artikelText);
        }

        if (deleteList.size() > 1200)
            flushDeletes();
        ++k;
        ctx.Progress(k, total);
        // The window (and STOP) stay alive without an event round per article.
        if (!sinceEvents.isValid() || sinceEvents.elapsed() >= 20) {
            ctx.ProcessEvents();
            sinceEvents.start();
        }
    }
    ctx.Flush();
    if (!ctx.Aborted())
        flushDeletes();
    if (!sentOrder.isEmpty() && !ctx.Aborted()) {
        sentOrder << QStringLiteral("0");
        CountGroupArticles(ctx, sentOrder.join(QLatin1Char(',')));
    }
}

} // namespace mv
