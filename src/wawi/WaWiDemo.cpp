#include "wawi/WaWiDemo.h"

#include "core/Registry.h"
#include "core/TextUtil.h"
#include "wawi/ParadoxWriter.h"
#include "wawi/WaWiDetect.h"
#include "wawi/WaWiSchema.h"

#include <QBuffer>
#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QSaveFile>

#include <stdexcept>

namespace mv {

QByteArray FlatColourJpeg(int width, int height, int r, int g, int b)
{
    QImage img(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    img.fill(QColor(r, g, b));
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    QImageWriter w(&buf, "jpeg");
    w.setQuality(85);
    if (!w.write(img))
        throw std::runtime_error(QStringLiteral("JPEG-Bild kann nicht erzeugt werden: %1").arg(w.errorString()).toStdString());
    return out;
}

// ------------------------------------------------------------ demo data

namespace {

PxType pxType(char letter)
{
    switch (letter) {
    case 'A': return PxType::Alpha;
    case 'D': return PxType::Date;
    case 'S': return PxType::Short;
    case 'I': return PxType::Long;
    case '$': return PxType::Currency;
    case 'N': return PxType::Number;
    case 'L': return PxType::Logical;
    case 'M': return PxType::Memo;
    case 'F': return PxType::FmtMemo;
    case 'G': return PxType::Graphic;
    case 'B': return PxType::Blob;
    case 'T': return PxType::Time;
    case '@': return PxType::Timestamp;
    case '+': return PxType::AutoInc;
    case '#': return PxType::BCD;
    case 'Y': return PxType::Bytes;
    default: return PxType::Alpha;
    }
}

ParadoxSchema schemaOf(const WaWiTableDef &t)
{
    ParadoxSchema s;
    for (const auto &f : t.fields)
        s.fields.append(ParadoxFieldSpec{f.name, pxType(f.type), f.size});
    s.keyFieldCount = t.keyFields;
    for (const auto &i : t.indexes)
        s.indexes.append(ParadoxIndexSpec{i.name, i.fields, true, false});
    QString base = t.fileName;
    base.chop(3);
    s.tableName = base;
    return s;
}

// One record under construction, addressed by field name.
class Rec {
public:
    explicit Rec(const WaWiTableDef &t) : m_t(t), m_v(t.fields.size()) {}
    Rec &set(const char *name, const QVariant &v)
    {
        const int i = m_t.fieldIndex(QString::fromUtf8(name));
        if (i < 0)
            throw std::logic_error(std::string("demo: unknown field ") + name);
        m_v[i] = v;
        return *this;
    }
    QVariantList values() const { return QVariantList(m_v.cbegin(), m_v.cend()); }
private:
    const WaWiTableDef &m_t;
    QVector<QVariant> m_v;
};

class TableOut {
public:
    TableOut(const QString &dir, const char *name, const WaWiDemoOptions &opt)
        : m_def(*WaWiTable(QString::fromUtf8(name))),
          m_w(QDir(dir).filePath(m_def.fileName), schemaOf(m_def)), m_opt(opt)
    {
    }
    Rec rec() const { return Rec(m_def); }
    void add(const Rec &r)
    {
        const QVariantList v = r.values();
        m_w.AddRecord(v);
        if (m_opt.onRecord)
            m_opt.onRecord(m_def.fileName, v);
    }
    void finish() { m_w.Finish(); }
private:
    const WaWiTableDef &m_def;
    ParadoxWriter m_w;
    const WaWiDemoOptions &m_opt;
};

QString rtf(const QString &plain)
{
    // Umlauts as \'xx escapes of the ANSI code page.
    QString body;
    for (QChar c : plain) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('\n'))
            body += QStringLiteral("\\par ");
        else if (c == QLatin1Char('\\') || c == QLatin1Char('{') || c == QLatin1Char('}'))
            body += QLatin1Char('\\') + c;
        else if (u >= 0x80) {
            const QByteArray a = ToAnsi(QString(c));
            body += QStringLiteral("\\'%1").arg(quint8(a.at(0)), 2, 16, QLatin1Char('0'));
        } else
            body += c;
    }
    return QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                          "\\viewkind4\\uc1\\pard\\f0\\fs20 ")
           + body + QStringLiteral("\\par\r\n}");
}

const char *const kTopGroups[] = {"Garten & Freizeit", "Küche", "Bürobedarf", "Werkzeug", "Öle & Essig",
                                  "Spielwaren", "Über Kopf: Leuchten", "Ärztebedarf"};
const char *const kSubWords[] = {"Zubehör", "Ersatzteile", "Neuheiten", "Klassiker", "Sonderposten",
                                 "Profi-Linie", "O'Brien Kollektion", "Äußeres", "Größen & Maße"};
const char *const kNouns[] = {"Ölkanne", "Übertopf", "Ärmelschoner", "Gießkanne", "Schraubendreher",
                              "Hammer", "Zange", "Säge", "Bürste", "Schüssel", "Löffel", "Messer",
                              "Tasse", "Becher", "Lampe", "Leuchte", "Stuhl", "Tisch", "Regal", "Kiste",
                              "Ordner", "Füller", "Bleistift", "Radiergummi", "Würfel", "Ball", "Puppe",
                              "Straßenkreide", "Handschuh", "Schürze"};
const char *const kAdjectives[] = {"", "Großer ", "Kleiner ", "Robuster ", "Öko-", "Luxus-", "Jack's ",
                                   "O'Neill ", "Salz & Pfeffer ", "Grüner ", "Süßer ", "Ärgerlicher ",
                                   "Übergroßer "};
const char *const kColours[] = {"rot", "grün", "blau", "weiß", "schwarz", "gelb"};
const char *const kSizes[] = {"S", "M", "L", "XL"};
const char *const kLastNames[] = {"Müller", "Schäfer", "Özdemir", "Böhm", "Weiß", "Groß", "Becker",
                                  "O'Connor", "Hoffmann", "Krüger", "Ärmel", "Übel", "Jäger", "Schmidt"};
const char *const kFirstNames[] = {"Jürgen", "Änne", "Sören", "Björn", "Käthe", "Lukas", "Marie", "Jörg"};
const char *const kCompanies[] = {"", "", "Müller & Söhne GmbH", "Bäckerei Groß KG", "O'Malley's Pub",
                                  "Öko-Hof Weiß", "Schäfer & Co."};
const char *const kStreets[] = {"Hauptstraße", "Bahnhofstraße", "Am Mühlbach", "Lindenweg", "Königsallee",
                                "Gartenstraße", "Schloßplatz"};
const char *const kPlaces[] = {"München", "Köln", "Düsseldorf", "Nürnberg", "Würzburg", "Lübeck",
                               "Osnabrück", "Bad Tölz", "Ötisheim", "Überlingen"};

template <size_t N>
QString pick(QRandomGenerator &rng, const char *const (&arr)[N])
{
    return QString::fromUtf8(arr[rng.bounded(int(N))]);
}

QDateTime stamp(QRandomGenerator &rng)
{
    const QDateTime base(QDate(2025, 1, 1), QTime(8, 0));
    return base.addSecs(qint64(rng.bounded(500)) * 86400 + rng.bounded(36000));
}

struct Group {
    int number;
    int mandant;
    int parent;
    int level;
    bool hidden;
    bool internalKind;   // ART >= 200
};

void writeFile(const QString &path, const QByteArray &data)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
        throw std::runtime_error(QStringLiteral("Datei %1 kann nicht geschrieben werden.").arg(path).toStdString());
}

} // namespace

namespace {

// One run of the generator: the steps share the random stream (in this
// order, so a seed always gives the same data) and what earlier tables
// decided (groups, addresses) that later ones refer to.
class DemoWriter {
public:
    DemoWriter(const QDir &dir, const WaWiDemoOptions &opt, const std::function<void(const QString &)> &progress)
        : m_dir(dir), m_d(dir.absolutePath()), m_opt(opt), m_progress(progress), m_rng(opt.seed),
          m_mandanten(std::max(1, opt.mandanten))
    {
    }

    void run()
    {
        writePictures();
        writeMandanten();
        writeGroups();
        chooseLeafGroups();
        writeVat();
        writeAddresses();
        writeAddressGroups();
        writeArticles();
        writeDiscounts();
        writePaymentMethods();
        writeShippingMethods();
        if (m_opt.registerInRegistry)
            registerDemo();
    }

private:
    void say(const QString &t)
    {
        if (m_progress)
            m_progress(t);
    }
    TableOut table(const char *name) const { return TableOut(m_d, name, m_opt); }

    void writePictures();
    void writeMandanten();
    void writeGroups();
    void chooseLeafGroups();
    void writeVat();
    void writeAddresses();
    void writeAddressGroups();
    void writeArticles();
    void writeArticleVariants(TableOut &eig, int a);
    void writeGraduatedPrices(TableOut &staffel, int a, double vk1);
    void writeDiscounts();
    void writePaymentMethods();
    void writeShippingMethods();
    void registerDemo();

    QDir m_dir;
    QString m_d;
    const WaWiDemoOptions &m_opt;
    std::function<void(const QString &)> m_progress;
    QRandomGenerator m_rng;
    int m_mandanten;

    QStringList m_pictures;
    QVector<Group> m_groups;
    QVector<QVector<int>> m_leafGroups;
    int m_addrCount = 0;
    QVector<int> m_addrMandant, m_addrKind;
    int m_artCount = 0;
    int m_eigId = 1, m_staffelId = 1;
};

void DemoWriter::writePictures()
{
    say(QStringLiteral("Bilder"));
    m_dir.mkpath(QStringLiteral("bilder"));
    const int colours[][3] = {{200, 30, 30}, {30, 160, 60}, {40, 70, 200}, {230, 200, 40}, {120, 60, 160}, {250, 250, 250}};
    for (int i = 0; i < 6; ++i) {
        const QString name = QStringLiteral("bilder/Bild %1%2.jpg").arg(i + 1).arg(i == 2 ? QStringLiteral(" Größe") : QString());
        writeFile(m_dir.filePath(name), FlatColourJpeg(32, 24, colours[i][0], colours[i][1], colours[i][2]));
        m_pictures << name;
    }
}

void DemoWriter::writeMandanten()
{
    say(QStringLiteral("Mandant.db"));
    TableOut t = table("Mandant.db");
    for (int m = 1; m <= m_mandanten; ++m) {
        Rec r = t.rec();
        r.set("Mandant", m);
        if (m == 1)
            r.set("Firma1", QStringLiteral("Muster & Söhne GmbH")).set("Firma2", QStringLiteral("Filiale Köln"));
        else if (m == 2)
            r.set("Firma2", QStringLiteral("Meier GmbH"));
        else
            r.set("Firma1", QStringLiteral("Mandant %1 O'Brien KG").arg(m));
        r.set("Name", QStringLiteral("Mandant %1").arg(m));
        r.set("Strasse", QStringLiteral("Hauptstraße %1").arg(m)).set("Plz", QStringLiteral("8033%1").arg(m));
        r.set("Ort", QStringLiteral("München"));
        QStringList z;
        if (m == 1)
            z << QStringLiteral("E_VK1_Netto=1") << QStringLiteral("E_VK2_Netto=0") << QStringLiteral("E_VK3_Netto=1")
              << QStringLiteral("Hauptwaehrung=1") << QStringLiteral("Euro=1") << QStringLiteral("Euroumstell=1");
        else if (m == 2)
            z << QStringLiteral("E_VK2_Netto=1") << QStringLiteral("Hauptwaehrung=2");
        else
            z << QStringLiteral("Hauptwaehrung=%1").arg(m);
        z << QStringLiteral("Waehrungstext=EUR");
        r.set("Zusatz2", z.join(QStringLiteral("\r\n")));
        r.set("Update", stamp(m_rng));
        t.add(r);
    }
    t.finish();
}

// Three levels per Mandant, a few hidden groups, one internal kind.
void DemoWriter::writeGroups()
{
    say(QStringLiteral("Warengruppe.DB"));
    TableOut t = table("Warengruppe.DB");
    const int perMandant = std::max(3, m_opt.groups / m_mandanten);
    int number = 1;
    for (int m = 1; m <= m_mandanten; ++m) {
        const int tops = std::clamp(perMandant / 8, 2, 8);
        int made = 0;
        QVector<int> level1, level2;
        auto addGroup = [&](int parent, int level, const QString &name, bool internalKind = false) {
            Group g{number++, m, parent, level, false, internalKind};
            // Internal kinds (200 and above) are no product groups for the shop.
            g.hidden = (g.number % 17 == 5);
            Rec r = t.rec();
            r.set("Warengruppe", g.number).set("Mandant", m).set("Anhang", parent);
            if (g.internalKind)
                r.set("ART", 250);
            r.set("Bezeichnung", name);
            r.set("Bezeichnung2", name + QStringLiteral(" (en)"));
            if (g.number % 5 == 0)
                r.set("Bezeichnung_Intern", name);   // some already carry an internal name
            r.set("Beschreibung", rtf(QStringLiteral("Alles rund um %1.\nQualität & Auswahl für Sie.").arg(name)));
            if (g.number % 3 != 0)
                r.set("Bild", m_pictures.at(g.number % m_pictures.size()));
            if (g.number % 4 == 0)
                r.set("Bild_gross", m_pictures.at((g.number + 1) % m_pictures.size()));
            r.set("Layout", g.number % 3);
            r.set("Link1", QStringLiteral("http://www.example.de/gruppe%1").arg(g.number));
            r.set("WG_Nummer", QStringLiteral("WG%1").arg(g.number, 4, 10, QLatin1Char('0')));
            r.set("Internet", g.hidden);
            if (g.number % 6 == 0)
                r.set("Zubehoer", QStringLiteral("#ArtikelNr:A-%1").arg(1 + g.number % 50, 6, 10, QLatin1Char('0')));
            r.set("Update", stamp(m_rng));
            t.add(r);
            m_groups << g;
            ++made;
            return g.number;
        };
        for (int i = 0; i < tops; ++i)
            level1 << addGroup(0, 1, QString::fromUtf8(kTopGroups[i % 8]) + (m > 1 ? QStringLiteral(" %1").arg(m) : QString()));
        const int internal = addGroup(0, 1, QStringLiteral("Kostenstellen (intern)"), true);
        addGroup(internal, 2, QStringLiteral("Porto & Verpackung"), true);
        int k = 0;
        while (made < perMandant * 2 / 5 && k < 400) {
            const int parent = level1.at(k % level1.size());
            level2 << addGroup(parent, 2, QString::fromUtf8(kSubWords[k % 9]) + QStringLiteral(" %1").arg(k + 1));
            ++k;
        }
        k = 0;
        while (made < perMandant && k < 10000) {
            const int parent = level2.isEmpty() ? level1.at(0) : level2.at(k % level2.size());
            addGroup(parent, 3, pick(m_rng, kNouns) + QStringLiteral("-Sortiment %1").arg(k + 1));
            ++k;
        }
    }
    t.finish();
}

void DemoWriter::chooseLeafGroups()
{
    m_leafGroups = QVector<QVector<int>>(m_mandanten + 1);
    for (const auto &g : m_groups)
        if (!g.internalKind && (g.level == 3 || (g.level == 2 && g.number % 4 == 0)))
            m_leafGroups[g.mandant] << g.number;
    for (int m = 1; m <= m_mandanten; ++m)
        if (m_leafGroups[m].isEmpty())
            for (const auto &g : m_groups)
                if (g.mandant == m && !g.internalKind)
                    m_leafGroups[m] << g.number;
}

void DemoWriter::writeVat()
{
    say(QStringLiteral("MWST.DB"));
    TableOut t = table("MWST.DB");
    struct V { int key; const char *name; double old, now; };
    const V vats[] = {{1, "Normaler Satz", 16, 19}, {2, "Ermäßigter Satz", 7, 7}, {3, "Steuerfrei", 0, 0}};
    for (const auto &v : vats) {
        Rec r = t.rec();
        r.set("MwSt_Satz", v.key).set("Bezeichnung", QString::fromUtf8(v.name));
        r.set("Datum", QDate(2007, 1, 1)).set("MwST", v.old).set("NMwST", v.now);
        if (v.key == 1)
            r.set("NEU_Datum", QDate(2030, 1, 1)).set("NEU_MWST", 21.0);
        r.set("Update", stamp(m_rng));
        t.add(r);
    }
    t.finish();
}

void DemoWriter::writeAddresses()
{
    say(QStringLiteral("Adressen.DB"));
    m_addrCount = std::max(3, m_opt.addresses);
    m_addrMandant = QVector<int>(m_addrCount + 1);
    m_addrKind = QVector<int>(m_addrCount + 1);
    TableOut t = table("Adressen.DB");
    for (int a = 1; a <= m_addrCount; ++a) {
        const int m = (a % 5 == 0 && m_mandanten > 1) ? 2 : 1;
        const int kind = (a % 7 == 3) ? 1 : ((a % 11 == 4) ? 2 : 0);
        m_addrMandant[a] = m;
        m_addrKind[a] = kind;
        const QString last = pick(m_rng, kLastNames);
        const QString first = pick(m_rng, kFirstNames);
        const QString company = pick(m_rng, kCompanies);
        Rec r = t.rec();
        r.set("Adresse", a).set("Art", kind).set("Mandant", m);
        if (a % 13 != 6)
            r.set("Nummer", QStringLiteral("%1%2").arg(kind == 1 ? QStringLiteral("L") : QStringLiteral("K")).arg(10000 + a));
        r.set("Suchbegriff", (company.isEmpty() ? last : company).toUpper());
        r.set("Anrede", company.isEmpty() ? (a % 2 ? QStringLiteral("Herr") : QStringLiteral("Frau")) : QStringLiteral("Firma"));
        r.set("Name1", company.isEmpty() ? first + QLatin1Char(' ') + last : company);
        if (!company.isEmpty())
            r.set("Name2", QStringLiteral("z. Hd. ") + first + QLatin1Char(' ') + last);
        r.set("Strasse", pick(m_rng, kStreets) + QStringLiteral(" %1").arg(1 + a % 120));
        r.set("Land", QStringLiteral("D"));
        r.set("Plz", QStringLiteral("%1").arg(10000 + m_rng.bounded(89999)));
        r.set("Ort", pick(m_rng, kPlaces));
        r.set("Telefon", QStringLiteral("0%1 %2").arg(30 + a % 900).arg(100000 + a));
        if (a % 3 == 0)
            r.set("Telefax", QStringLiteral("0%1 %2-9").arg(30 + a % 900).arg(100000 + a));
        if (a % 4 != 1) {
            QString mail = last.toLower();
            mail.replace(QStringLiteral("ü"), QStringLiteral("ue")).replace(QStringLiteral("ö"), QStringLiteral("oe"))
                .replace(QStringLiteral("ä"), QStringLiteral("ae")).replace(QStringLiteral("ß"), QStringLiteral("ss"))
                .replace(QStringLiteral("'"), QString());
            r.set("E-Mail", QStringLiteral("%1.%2@example.de").arg(mail).arg(a));
        }
        if (a % 9 == 0)
            r.set("Internet", QStringLiteral("www.beispiel-%1.de").arg(a));
        r.set("Rechnungsanschrift", a);
        if (a % 10 == 0)
            r.set("Lieferanschrift", a);
        r.set("Zahlungskondition", 1 + a % 4);
        r.set("Rabatt", a % 4);
        r.set("Steuer", 1).set("VK", 1).set("Waehrung", 1);
        r.set("Onlinenot", a % 19 == 2);
        r.set("Online", a % 23 == 1);
        r.set("Serienmail", a % 8 == 5);
        if (a % 6 == 0)
            r.set("passwort", QStringLiteral("geheim%1").arg(a));
        if (a % 15 == 0)
            r.set("Selekt", 1);
        r.set("Erster_Kontakt", stamp(m_rng));
        if (a % 10 == 1)
            r.set("Bemerkung", rtf(QStringLiteral("Kunde seit %1.\nLiefert nur Mo–Fr.").arg(2000 + a % 25)));
        r.set("Update", stamp(m_rng));
        t.add(r);
    }
    t.finish();
}

void DemoWriter::writeAddressGroups()
{
    say(QStringLiteral("AdrArt.DB"));
    {
        TableOut t = table("AdrArt.DB");
        const char *const names[] = {"Stammkunden", "Händler", "Großkunden & Behörden", "Mitarbeiter"};
        int n = 1;
        for (int m = 1; m <= m_mandanten; ++m)
            for (int i = 0; i < 4; ++i) {
                Rec r = t.rec();
                r.set("Art", n++).set("Mandant", m).set("Bezeichnung", QString::fromUtf8(names[i]));
                r.set("Rabatt", double(i * 5)).set("Update", stamp(m_rng));
                t.add(r);
            }
        t.finish();
    }
    TableOut t = table("AdrArtVer.DB");
    int n = 1;
    for (int a = 1; a <= m_addrCount; ++a) {
        if (m_addrKind[a] != 0 || a % 3 == 2)
            continue;
        const int links = 1 + a % 2;
        for (int l = 0; l < links; ++l) {
            Rec r = t.rec();
            r.set("Zaehler", n++).set("Adresse", a).set("Art", (m_addrMandant[a] - 1) * 4 + 1 + (a + l) % 4);
            r.set("Mandant", m_addrMandant[a]).set("Update", stamp(m_rng));
            t.add(r);
        }
    }
    t.finish();
}

void DemoWriter::writeArticleVariants(TableOut &eig, int a)
{
    const bool onlyTwoAndFour = (a % 14 == 0);
    for (int v = 0; v < 3; ++v) {
        Rec e = eig.rec();
        e.set("id", m_eigId++).set("artikel", a);
        e.set("ean", QStringLiteral("41%1%2").arg(a, 8, 10, QLatin1Char('0')).arg(v));
        if (onlyTwoAndFour) {
            e.set("eigen2", QString::fromUtf8(kColours[v % 6]));
            e.set("eigen4", QString::fromUtf8(kSizes[v % 4]));
        } else {
            e.set("eigen1", QString::fromUtf8(kColours[(a + v) % 6]));
            e.set("eigen2", QString::fromUtf8(kSizes[v % 4]));
        }
        e.set("bestand", double(v * 5)).set("vk", v == 2 ? 1.5 : 0.0).set("Aufpreise", v == 2);
        e.set("Update", stamp(m_rng));
        eig.add(e);
    }
}

// Levels 0..2 by quantity.
void DemoWriter::writeGraduatedPrices(TableOut &staffel, int a, double vk1)
{
    for (int level = 0; level < 3; ++level)
        for (int q : {10, 50, 100}) {
            if (level == 2 && q == 100)
                continue;
            Rec s = staffel.rec();
            s.set("Zaehler", m_staffelId++).set("Artikel", a).set("Preisstufe", level);
            s.set("Menge", double(q)).set("Preis", std::round(vk1 * (100 - q / 10 - level)) / 100);
            s.set("Update", stamp(m_rng));
            staffel.add(s);
        }
}

void DemoWriter::writeArticles()
{
    say(QStringLiteral("Artikel.DB"));
    m_artCount = std::max(1, m_opt.articles);
    TableOut t = table("Artikel.DB");
    TableOut eig = table("Artikel_Eig.DB");
    TableOut staffel = table("VK_Staffel.db");
    TableOut lief = table("Artikel_Lieferrant.DB");
    QVector<int> suppliers;
    for (int a = 1; a <= m_addrCount; ++a)
        if (m_addrKind[a] == 1)
            suppliers << a;
    for (int a = 1; a <= m_artCount; ++a) {
        const int m = (m_mandanten > 1 && a % 10 == 0) ? 2 : 1;
        const auto &leaves = m_leafGroups[m];
        const int group = leaves.at(m_rng.bounded(leaves.size()));
        const QString name = pick(m_rng, kAdjectives) + pick(m_rng, kNouns)
                             + (a % 3 == 0 ? QStringLiteral(" %1 cm").arg(5 + a % 40) : QString());
        const double vk1 = 0.99 + m_rng.bounded(50000) / 100.0;
        Rec r = t.rec();
        r.set("Artikel", a).set("Art", 0).set("Mandant", m);
        r.set("Artikelnummer", QStringLiteral("A-%1").arg(a, 6, 10, QLatin1Char('0')));
        r.set("Suchbegriff", name.toUpper());
        r.set("Bezeichnung", name).set("Bezeichnung2", name + QStringLiteral(" (en)"));
        r.set("Einheit", a % 5 == 0 ? QStringLiteral("Paar") : QStringLiteral("Stück"));
        r.set("Warengruppe", group);
        if (a % 12 == 0 && leaves.size() > 1)
            r.set("Warengruppen", QStringLiteral("%1;%2").arg(leaves.at((a / 12) % leaves.size())).arg(leaves.at((a / 7) % leaves.size())));
        r.set("Internet", a % 20 != 7);        // a few offline
        r.set("Lieferbar", a % 9 != 4);
        if (a % 50 == 0)
            r.set("Selekt", 1);
        r.set("VK1", vk1).set("VK2", std::round(vk1 * 90) / 100).set("VK3", std::round(vk1 * 80) / 100);
        r.set("Umsatzsteuer", a % 6 == 0 ? 2 : 1);
        r.set("Bestand", double(m_rng.bounded(500))).set("Mindestbestand", double(a % 20));
        r.set("PreiseNetto", a % 4 == 0).set("Rabattfähig", a % 3 != 0);
        if (a % 8 == 0)
            r.set("Grundpreiseinheit", QStringLiteral("1 kg")).set("Grundpreisfaktor", 0.5);
        r.set("Gewicht", (1 + a % 50) / 10.0);
        r.set("EAN", QStringLiteral("40%1").arg(qint64(1000000000) + a, 11, 10, QLatin1Char('0')));
        r.set("Katalog", a % 25 == 0);
        if (a % 15 == 0 && m_artCount > 3)
            r.set("Zusatz3", QStringLiteral("#ArtikelNr:A-%1;A-%2")
                                  .arg(1 + a % m_artCount, 6, 10, QLatin1Char('0'))
                                  .arg(1 + (a + 1) % m_artCount, 6, 10, QLatin1Char('0')));
        r.set("Zusatzfeld01", QStringLiteral("Herkunft: %1").arg(pick(m_rng, kPlaces)));
        if (a % 2 == 0)
            r.set("Zusatzfeld02", QStringLiteral("Material & Pflege"));
        if (a % 4 != 3) {
            r.set("bild1", m_pictures.at(a % m_pictures.size()));
            r.set("Bild_klein", m_pictures.at(a % m_pictures.size()));
        }
        if (a % 4 == 0)
            r.set("bild2", m_pictures.at((a + 3) % m_pictures.size()));
        r.set("Langtext", rtf(QStringLiteral("%1 in bewährter Qualität.\nMaße: %2 x %3 cm\nHinweis: \"Nicht für Kinder unter 3 Jahren\"")
                                  .arg(name).arg(10 + a % 30).arg(5 + a % 20)));
        r.set("Angelegt", QDate(2020, 1, 1).addDays(a % 1500));
        r.set("Update", stamp(m_rng));
        t.add(r);

        if (a % 7 == 0)
            writeArticleVariants(eig, a);
        if (a % 5 == 0)
            writeGraduatedPrices(staffel, a, vk1);
        if (!suppliers.isEmpty() && a % 2 == 1) {
            Rec l = lief.rec();
            l.set("Artikel", a).set("Lieferant", suppliers.at(a % suppliers.size()));
            l.set("Bestellnummer", QStringLiteral("B-%1").arg(a)).set("EK", std::round(vk1 * 55) / 100);
            l.set("Lieferzeit", 1 + a % 14).set("Update", stamp(m_rng));
            lief.add(l);
        }
    }
    say(QStringLiteral("Artikel.DB schreiben"));
    t.finish();
    eig.finish();
    staffel.finish();
    lief.finish();
}

void DemoWriter::writeDiscounts()
{
    say(QStringLiteral("Rabatt.DB"));
    {
        TableOut t = table("Rabatt.DB");
        int n = 1;
        for (int a = 1; a <= m_addrCount && n < 400; a += 3) {
            if (m_addrKind[a] != 0)
                continue;
            Rec r = t.rec();
            r.set("Zaehler", n++).set("Adresse", a).set("Art", 0);
            r.set("Artikel", 1 + (a * 7) % m_artCount).set("Warengruppe", 0);
            r.set("Menge", double(a % 3 == 0 ? 10 : 1)).set("Preis", (a % 17 == 1) ? -1.0 : 5.0 + a % 40);
            r.set("Rabatt", 0.0).set("Update", stamp(m_rng));
            t.add(r);
            if (a % 2 == 0) {
                const auto &leaves = m_leafGroups[m_addrMandant[a]];
                Rec g = t.rec();
                g.set("Zaehler", n++).set("Adresse", a).set("Art", 1).set("Artikel", 0);
                g.set("Warengruppe", leaves.at(a % leaves.size()));
                g.set("Menge", 1.0).set("Preis", 0.0).set("Rabatt", 7.5).set("Update", stamp(m_rng));
                t.add(g);
            }
        }
        // Group rows without address.
        for (int i = 0; i < 3 && !m_leafGroups[1].isEmpty(); ++i) {
            Rec g = t.rec();
            g.set("Zaehler", n++).set("Adresse", 0).set("Art", 2).set("Artikel", 0);
            g.set("Warengruppe", m_leafGroups[1].at(i % m_leafGroups[1].size()));
            g.set("Menge", 1.0).set("Preis", 0.0).set("Rabatt", 3.0).set("Update", stamp(m_rng));
            t.add(g);
        }
        t.finish();
    }
    {
        TableOut t = table("Rabatt2.DB");
        const char *const names[] = {"kein Rabatt", "Stammkunde", "Händler", "Großabnehmer"};
        for (int i = 0; i < 4; ++i) {
            Rec r = t.rec();
            r.set("Rabattgruppe", i).set("Bezeichnung", QString::fromUtf8(names[i])).set("Rabatt", double(i * 5));
            r.set("Update", stamp(m_rng));
            t.add(r);
        }
        t.finish();
    }
    TableOut t = table("Rabattmatrix.DB");
    for (int rg = 1; rg <= 3; ++rg)
        for (int i = 0; i < 3 && i < m_leafGroups[1].size(); ++i) {
            Rec r = t.rec();
            r.set("Rabattgruppe", rg).set("Warengruppe", m_leafGroups[1].at(i)).set("Rabatt", rg * 2.5 + i);
            r.set("Update", stamp(m_rng));
            t.add(r);
        }
    t.finish();
}

void DemoWriter::writePaymentMethods()
{
    say(QStringLiteral("Zahlart.DB"));
    TableOut t = table("Zahlart.DB");
    struct Z { int nr; const char *art; const char *anzeige; bool online; bool bank; bool card; double fee; double skonto; };
    const Z z[] = {{1, "Vorkasse", "Überweisung vor Versand", true, false, false, 0, 2},
                   {2, "Rechnung", "Zahlung auf Rechnung (nur Stammkunden)", true, false, false, 0, 0},
                   {3, "Lastschrift", "Bankeinzug – bitte Kontodaten angeben", true, true, false, 0, 0},
                   {4, "Nachnahme", "Zahlung bei Lieferung", false, false, false, 6.5, 0},
                   {5, "Kreditkarte", "Visa & Mastercard", true, false, true, 0, 0}};
    for (const auto &e : z) {
        Rec r = t.rec();
        r.set("Zahlungsart", e.nr).set("Art", QString::fromUtf8(e.art)).set("Art2", QString::fromUtf8(e.art) + QStringLiteral(" (en)"));
        r.set("Bezeichnung_2", QString::fromUtf8(e.anzeige));
        r.set("Bemerkung", rtf(QStringLiteral("Hinweis zu %1: bitte beachten Sie unsere AGB's.").arg(QString::fromUtf8(e.art))));
        r.set("Online", e.online).set("OnlineAusland", e.nr != 4).set("Kreditkarte", e.card).set("Bankdaten", e.bank);
        r.set("Umst", 1).set("Versandgebuehren", e.fee).set("Versandgebuehren_ausland", e.fee * 2).set("Skonto", e.skonto);
        r.set("NeuKunde", e.nr == 1 || e.nr == 3 ? 1 : 0).set("Update", stamp(m_rng));
        t.add(r);
    }
    t.finish();
}

// Lieferart.TXT is an ANSI text file beside the tables.
void DemoWriter::writeShippingMethods()
{
    writeFile(m_dir.filePath(QStringLiteral("Lieferart.TXT")),
              ToAnsi(QStringLiteral("DHL Paket\r\nHermes Päckchen\r\nSelbstabholung\r\nSpedition O'Brien\r\nPost & Brief\r\n")));
}

void DemoWriter::registerDemo()
{
    say(QStringLiteral("Registrierung"));
    const QString key = WaWiProgramKey(m_opt.programIndex) + QStringLiteral("\\Einstellungen\\");
    const QString wawiDir = QDir::toNativeSeparators(m_d) + QDir::separator();
    if (!RegWriteValue(key + QStringLiteral("Verzeichnis"), QStringLiteral("Merkant"), wawiDir)
        || !RegWriteValue(key + QStringLiteral("Programm"), QStringLiteral("Edition"), QString::number(m_opt.edition))
        || !RegWriteValue(key + QStringLiteral("Mandant"), QStringLiteral("Aktiv"), QStringLiteral("1")))
        throw std::runtime_error(QStringLiteral("Die Registrierung (%1) kann nicht geschrieben werden.")
                                     .arg(RegistryStorePath()).toStdString());
}

} // namespace

void WriteWaWiDemo(const QString &dirIn, const WaWiDemoOptions &opt, const std::function<void(const QString &)> &progress)
{
    QDir dir(dirIn);
    if (!dir.exists() && !QDir().mkpath(dir.absolutePath()))
        throw std::runtime_error(QStringLiteral("Verzeichnis %1 kann nicht angelegt werden.").arg(dirIn).toStdString());
    DemoWriter(dir, opt, progress).run();
}

} // namespace mv
