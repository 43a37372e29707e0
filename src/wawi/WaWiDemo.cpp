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
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cmath>
#include <iterator>
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

// Rich text as a word processor writes it: bold, a colour table, the euro
// sign once as \u8364? and once as the ANSI escape \'80.
QString richRtf(const QString &name, double price)
{
    QString n;
    for (QChar c : name) {
        if (c.unicode() >= 0x80) {
            const QByteArray a = ToAnsi(QString(c));
            n += QStringLiteral("\\'%1").arg(quint8(a.at(0)), 2, 16, QLatin1Char('0'));
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('{') || c == QLatin1Char('}'))
            n += QLatin1Char('\\') + c;
        else
            n += c;
    }
    const QString p = QString::number(price, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(','));
    return QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"
                          "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue0;}\r\n"
                          "\\viewkind4\\uc1\\pard\\f0\\fs20 \\b ")
           + n + QStringLiteral("\\b0\\par\r\n\\cf1 Sonderpreis nur ") + p
           + QStringLiteral(" \\u8364?\\cf0  (statt ") + p + QStringLiteral(" \\'80 zzgl. Versand)\\par\r\n"
                                                      "\\cf2\\i Lieferzeit 2\\endash 3 Tage\\i0\\cf0\\par\r\n}");
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
const char *const kAdjectives[] = {"", "", "", "Großer ", "Kleiner ", "Robuster ", "Öko-", "Luxus-", "Jack's ",
                                   "O'Neill ", "Salz & Pfeffer ", "Grüner ", "Süßer ", "Übergroßer ", "Profi-"};
const char *const kColours[] = {"rot", "grün", "blau", "weiß", "schwarz", "gelb"};
const char *const kSizes[] = {"S", "M", "L", "XL"};
const char *const kMaterials[] = {"Baumwolle", "Edelstahl", "Buche massiv", "Kunststoff", "Glas"};
const char *const kLastNames[] = {"Müller", "Schäfer", "Özdemir", "Böhm", "Weiß", "Groß", "Becker",
                                  "O'Connor", "Hoffmann", "Krüger", "Wagner", "Fischer", "Jäger", "Schmidt",
                                  "Nowak", "Yilmaz", "Meier", "Schulz"};
const char *const kFirstNames[] = {"Jürgen", "Änne", "Sören", "Björn", "Käthe", "Lukas", "Marie", "Jörg",
                                   "Anna", "Mehmet", "Sabine", "Thomas", "Élodie", "Zoë"};
const char *const kCompanies[] = {"", "", "", "", "Müller & Söhne GmbH", "Bäckerei Groß KG", "O'Malley's Pub",
                                  "Öko-Hof Weiß", "Schäfer & Co.", "Gärtnerei \"Grüne Welt\"", "Büro 2000 AG"};
const char *const kStreets[] = {"Hauptstraße", "Bahnhofstraße", "Am Mühlbach", "Lindenweg", "Königsallee",
                                "Gartenstraße", "Schloßplatz", "Zur alten Mühle", "Rue de l'Église", "Dorfstr."};
const char *const kUnits[] = {"Stück", "Stück", "Stück", "Stück", "Paar", "Set", "kg", "m", "l", "Rolle",
                              "Karton", "Packung"};

// Places with a postcode that belongs to them, by country.
struct Place { const char *land; const char *plz; const char *ort; };
const Place kPlaces[] = {
    {"D", "80331", "München"}, {"D", "50667", "Köln"}, {"D", "40213", "Düsseldorf"},
    {"D", "90402", "Nürnberg"}, {"D", "97070", "Würzburg"}, {"D", "23552", "Lübeck"},
    {"D", "49074", "Osnabrück"}, {"D", "83646", "Bad Tölz"}, {"D", "75443", "Ötisheim"},
    {"D", "88662", "Überlingen"}, {"D", "81675", "München"}, {"D", "01067", "Dresden"},
    {"D", "18055", "Rostock"}, {"D", "66111", "Saarbrücken"}, {"D", "24103", "Kiel"},
    {"A", "1010", "Wien"}, {"A", "5020", "Salzburg"}, {"CH", "8001", "Zürich"}, {"CH", "4051", "Basel"},
    {"NL", "1012 AB", "Amsterdam"}, {"F", "67000", "Strasbourg"}, {"DK", "1050", "København"},
};
constexpr int kGermanPlaces = 15;

// E-mail addresses the newsletter check refuses.
const char *const kBadMails[] = {"jürgen.müller@example.de", "max+shop@example.de", "<info@example.de>",
                                 "info@-example.de", "info@.example.de", "info@localhost", "a@b@example.de",
                                 "o'brien@example.de", "info @example.de"};

template <size_t N>
QString pick(QRandomGenerator &rng, const char *const (&arr)[N])
{
    return QString::fromUtf8(arr[rng.bounded(int(N))]);
}

// Records are changed between their creation and the end of November 2026.
const QDateTime kNewest(QDate(2026, 11, 30), QTime(18, 0));

QDateTime stamp(QRandomGenerator &rng)
{
    const QDateTime base(QDate(2025, 1, 1), QTime(8, 0));
    return base.addSecs(qint64(rng.bounded(500)) * 86400 + rng.bounded(36000));
}

QDateTime laterThan(QRandomGenerator &rng, const QDateTime &from)
{
    const qint64 span = std::max<qint64>(1, from.secsTo(kNewest));
    return from.addSecs(1 + qint64(rng.bounded(double(span))));
}

// Shop prices: mostly .99/.95/.49 endings, a few round ones.
double shopPrice(QRandomGenerator &rng)
{
    const double base = std::exp(std::log(0.8) + rng.bounded(1.0) * (std::log(1800.0) - std::log(0.8)));
    static const double endings[] = {0.99, 0.99, 0.95, 0.49, 0.90, 0.00};
    const double e = endings[rng.bounded(6)];
    const double whole = std::floor(base);
    return whole + e < 0.5 ? 0.49 : whole + e;
}

double cents(double v)
{
    return std::round(v * 100) / 100;
}

struct Group {
    int number;
    int mandant;
    int parent;
    int level;
    bool hidden;
    bool internalKind;   // ART >= 200
};

// Groups of one Mandant that exercise the kind and parent rules.
struct SpecialGroups {
    int artZero = 0, art100 = 0, art200 = 0, orphan = 0, orphanChild = 0, internal = 0;
};

// A group number that no Warengruppe.DB record carries.
constexpr int kMissingGroup = 98765;

void writeFile(const QString &path, const QByteArray &data)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
        throw std::runtime_error(QStringLiteral("Datei %1 kann nicht geschrieben werden.").arg(path).toStdString());
}

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
    int articleGroup(int a, int mandant);
    QString pictureRef(int n) const;
    QString articleText(int a, const QString &name, double vk1);
    void setPrices(Rec &r, int a, double vk1);
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

    QStringList m_pictures;        // files below bilder/, as referenced
    QStringList m_templatePictures; // files only below the program's vorlagen/
    QVector<Group> m_groups;
    QVector<SpecialGroups> m_special;
    QVector<QVector<int>> m_leafGroups;
    int m_addrCount = 0;
    QVector<int> m_addrMandant, m_addrKind;
    QHash<int, QString> m_addrMail;
    int m_artCount = 0;
    int m_eigId = 1, m_staffelId = 1;
};

void DemoWriter::writePictures()
{
    say(QStringLiteral("Bilder"));
    m_dir.mkpath(QStringLiteral("bilder/alt"));
    struct P { const char *name; int w, h, r, g, b; };
    // Names with blanks, umlauts, "#", "&" and two that differ only in case
    // and blanks (same target name in the shop).
    const P pics[] = {{"Bild 1.jpg", 32, 24, 200, 30, 30},      {"Bild 2.jpg", 32, 24, 30, 160, 60},
                      {"Bild 3 Größe.jpg", 40, 30, 40, 70, 200}, {"Bild 4.jpg", 24, 32, 230, 200, 40},
                      {"Bild 5.jpg", 32, 24, 120, 60, 160},      {"Bild 6.jpg", 16, 16, 250, 250, 250},
                      {"Gießkanne grün.jpg", 48, 36, 20, 140, 40}, {"Öl & Essig #1.jpg", 36, 36, 180, 150, 20},
                      {"Rot Blau.jpg", 30, 20, 180, 20, 120},    {"alt/rot_blau.JPG", 30, 20, 20, 20, 180},
                      {"Leuchte-XL.jpeg", 20, 40, 250, 230, 150}, {"tasse_weiss.jpg", 24, 24, 240, 240, 235}};
    for (const auto &p : pics) {
        const QString name = QStringLiteral("bilder/") + QString::fromUtf8(p.name);
        writeFile(m_dir.filePath(name), FlatColourJpeg(p.w, p.h, p.r, p.g, p.b));
        m_pictures << name;
    }
    const char *const templates[] = {"vorlage_gruppe.jpg", "Vorlage Artikel.jpg"};
    for (int i = 0; i < 2; ++i) {
        const QString name = QString::fromUtf8(templates[i]);
        m_templatePictures << name;
        if (!m_opt.vorlagenDir.isEmpty()) {
            QDir().mkpath(m_opt.vorlagenDir);
            writeFile(QDir(m_opt.vorlagenDir).filePath(name), FlatColourJpeg(32, 32, 90 + 60 * i, 90, 90));
        }
    }
}

// The forms a picture reference takes in a real WaWi, by turns: relative
// with "/" or "\", missing files, web addresses, templates of the program.
QString DemoWriter::pictureRef(int n) const
{
    const QString file = m_pictures.at(n % m_pictures.size());
    switch (n % 11) {
    case 3: case 7:
        return QString(file).replace(QLatin1Char('/'), QLatin1Char('\\'));
    case 5:
        return QStringLiteral("bilder\\fehlt_%1.jpg").arg(n);
    case 8:
        return n % 2 ? QStringLiteral("http://www.example.de/bilder/artikel_%1.jpg").arg(n)
                     : QStringLiteral("HTTP://CDN.EXAMPLE.DE/IMG/%1.JPG").arg(n);
    case 10:
        return m_templatePictures.at(n % m_templatePictures.size());
    default:
        return file;
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
        else if (m == 2)   // main currency not the euro, not switched over
            z << QStringLiteral("E_VK2_Netto=1") << QStringLiteral("Hauptwaehrung=2") << QStringLiteral("Euro=1")
              << QStringLiteral("Euroumstell=0");
        else
            z << QStringLiteral("Hauptwaehrung=%1").arg(m);
        z << QStringLiteral("Waehrungstext=EUR");
        r.set("Zusatz2", z.join(QStringLiteral("\r\n")));
        r.set("Update", stamp(m_rng));
        t.add(r);
    }
    t.finish();
}

// Three levels per Mandant, a few hidden groups, and the groups of the
// kind and parent rules: ART 0, 100, 200, 250, and a group whose parent
// does not exist (with a child of its own).
void DemoWriter::writeGroups()
{
    say(QStringLiteral("Warengruppe.DB"));
    TableOut t = table("Warengruppe.DB");
    const int perMandant = std::max(3, m_opt.groups / m_mandanten);
    m_special = QVector<SpecialGroups>(m_mandanten + 1);
    int number = 1;
    for (int m = 1; m <= m_mandanten; ++m) {
        const int tops = std::clamp(perMandant / 8, 2, 8);
        int made = 0;
        QVector<int> level1, level2;
        auto addGroup = [&](int parent, int level, const QString &name, int art = -1) {
            Group g{number++, m, parent, level, false, art >= 200};
            g.hidden = (g.number % 17 == 5);
            Rec r = t.rec();
            r.set("Warengruppe", g.number).set("Mandant", m).set("Anhang", parent);
            if (art >= 0)
                r.set("ART", art);
            r.set("Bezeichnung", name);
            r.set("Bezeichnung2", name + QStringLiteral(" (en)"));
            if (g.number % 7 == 2)
                r.set("Bezeichnung3", name + QStringLiteral(" (fr)"));
            if (g.number % 5 == 0)
                r.set("Bezeichnung_Intern", name);   // some already carry an internal name
            switch (g.number % 6) {
            case 1:
                r.set("Beschreibung", name + QStringLiteral(": schlichter Text\r\nohne Formatierung & mit Umbruch"));
                break;
            case 4:
                r.set("Beschreibung", richRtf(name, 9.99 + g.number));
                r.set("Beschreibung2", rtf(QStringLiteral("All about %1.").arg(name)));
                break;
            default:
                r.set("Beschreibung", rtf(QStringLiteral("Alles rund um %1.\nQualität & Auswahl für Sie.").arg(name)));
            }
            if (g.number % 3 != 0)
                r.set("Bild", pictureRef(g.number * 5));
            if (g.number % 4 == 0)
                r.set("Bild_gross", pictureRef(g.number * 5 + 2));
            r.set("Layout", g.number % 3);
            r.set("Link1", QStringLiteral("http://www.example.de/gruppe%1").arg(g.number));
            if (g.number % 9 == 0)
                r.set("Link2", QStringLiteral("<a href='https://www.example.de/?wg=%1&amp;x=1'>mehr</a>").arg(g.number));
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
        SpecialGroups &s = m_special[m];
        s.internal = addGroup(0, 1, QStringLiteral("Kostenstellen (intern)"), 250);
        addGroup(s.internal, 2, QStringLiteral("Porto & Verpackung"), 250);
        s.art200 = addGroup(0, 1, QStringLiteral("Lager \\ Umlagerung"), 200);
        s.artZero = addGroup(level1.at(0), 2, QStringLiteral("Restposten"), 0);
        s.art100 = addGroup(0, 1, QStringLiteral("Aktionen – 100 Jahre"), 100);
        // Its parent was deleted in the WaWi.
        s.orphan = addGroup(99000 + m, 2, QStringLiteral("Verwaiste Gruppe"));
        s.orphanChild = addGroup(s.orphan, 3, QStringLiteral("Kind der verwaisten Gruppe"));
        int k = 0;
        while (made < perMandant * 2 / 5 + 7 && k < 400) {
            const int parent = level1.at(k % level1.size());
            level2 << addGroup(parent, 2, QString::fromUtf8(kSubWords[k % 9]) + QStringLiteral(" %1").arg(k + 1));
            ++k;
        }
        k = 0;
        while (made < perMandant + 7 && k < 10000) {
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
    auto special = [&](const Group &g) {
        const SpecialGroups &s = m_special[g.mandant];
        return g.number == s.artZero || g.number == s.art100 || g.number == s.orphan || g.number == s.orphanChild;
    };
    for (const auto &g : m_groups)
        if (!g.internalKind && !special(g) && (g.level == 3 || (g.level == 2 && g.number % 4 == 0)))
            m_leafGroups[g.mandant] << g.number;
    for (int m = 1; m <= m_mandanten; ++m)
        if (m_leafGroups[m].isEmpty())
            for (const auto &g : m_groups)
                if (g.mandant == m && !g.internalKind && !special(g))
                    m_leafGroups[m] << g.number;
}

// Keys 4 and 5 carry the date rules: a change that has not happened yet
// (Datum in the future) and a new rate whose date has passed.
void DemoWriter::writeVat()
{
    say(QStringLiteral("MWST.DB"));
    TableOut t = table("MWST.DB");
    struct V { int key; const char *name; QDate datum; double old, now; QDate neu; double neuRate; };
    const V vats[] = {{1, "Normaler Satz", QDate(2007, 1, 1), 16, 19, QDate(2030, 1, 1), 21},
                      {2, "Ermäßigter Satz", QDate(2007, 1, 1), 7, 7, QDate(), 0},
                      {3, "Steuerfrei", QDate(2007, 1, 1), 0, 0, QDate(), 0},
                      {4, "Künftiger Satz", QDate(2040, 1, 1), 19, 17, QDate(), 0},
                      {5, "Gastronomie (geändert)", QDate(2020, 7, 1), 16, 5, QDate(2024, 1, 1), 19}};
    for (const auto &v : vats) {
        Rec r = t.rec();
        r.set("MwSt_Satz", v.key).set("Bezeichnung", QString::fromUtf8(v.name));
        r.set("Datum", v.datum).set("MwST", v.old).set("NMwST", v.now);
        if (v.neu.isValid())
            r.set("NEU_Datum", v.neu).set("NEU_MWST", v.neuRate);
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
        // a % 13 == 6: no customer number; a % 26 == 19 shares the e-mail of a - 13.
        const bool noNumber = a % 13 == 6;
        const bool sharesMail = a % 26 == 19 && a > 13;
        int m = (a % 5 == 0 && m_mandanten > 1) ? 2 : 1;
        int kind = (a % 7 == 3) ? 1 : ((a % 11 == 4) ? 2 : 0);
        if (sharesMail) {
            m = m_addrMandant[a - 13];
            kind = m_addrKind[a - 13];
        }
        m_addrMandant[a] = m;
        m_addrKind[a] = kind;
        const QString last = pick(m_rng, kLastNames);
        const QString first = pick(m_rng, kFirstNames);
        const QString company = pick(m_rng, kCompanies);
        // Mostly German places, some abroad.
        const Place &place = kPlaces[a % 9 == 4 ? kGermanPlaces + m_rng.bounded(int(std::size(kPlaces)) - kGermanPlaces)
                                                 : m_rng.bounded(kGermanPlaces)];
        Rec r = t.rec();
        r.set("Adresse", a).set("Art", kind).set("Mandant", m);
        if (!noNumber && !sharesMail)
            r.set("Nummer", QStringLiteral("%1%2").arg(kind == 1 ? QStringLiteral("L") : QStringLiteral("K")).arg(10000 + a));
        r.set("Suchbegriff", (company.isEmpty() ? last : company).toUpper());
        r.set("Anrede", company.isEmpty() ? (a % 2 ? QStringLiteral("Herr") : QStringLiteral("Frau")) : QStringLiteral("Firma"));
        r.set("Name1", company.isEmpty() ? first + QLatin1Char(' ') + last : company);
        if (!company.isEmpty())
            r.set("Name2", QStringLiteral("z. Hd. ") + first + QLatin1Char(' ') + last);
        r.set("Strasse", pick(m_rng, kStreets) + QStringLiteral(" %1%2").arg(1 + m_rng.bounded(140))
                                                   .arg(a % 17 == 0 ? QStringLiteral("a") : QString()));
        r.set("Land", QString::fromUtf8(place.land));
        r.set("Plz", QString::fromUtf8(place.plz));
        r.set("Ort", QString::fromUtf8(place.ort));
        const QString area = QString::fromUtf8(place.land) == QLatin1String("D") ? QStringLiteral("0%1").arg(30 + m_rng.bounded(9000))
                                                                                 : QStringLiteral("+%1").arg(31 + a % 20);
        r.set("Telefon", QStringLiteral("%1 %2").arg(area).arg(100000 + m_rng.bounded(8999999)));
        if (a % 3 == 0)
            r.set("Telefax", QStringLiteral("%1 %2-9").arg(area).arg(100000 + a));
        QString mail;
        if (sharesMail) {
            mail = m_addrMail.value(a - 13);
        } else if (a % 29 == 7) {
            mail = QString::fromUtf8(kBadMails[(a / 29) % std::size(kBadMails)]);
        } else if (a % 4 != 1 || a % 8 == 5 || noNumber) {
            QString local = (company.isEmpty() ? first.left(1) + QLatin1Char('.') + last : last).toLower();
            local.replace(QStringLiteral("ü"), QStringLiteral("ue")).replace(QStringLiteral("ö"), QStringLiteral("oe"))
                .replace(QStringLiteral("ä"), QStringLiteral("ae")).replace(QStringLiteral("ß"), QStringLiteral("ss"))
                .replace(QStringLiteral("é"), QStringLiteral("e")).replace(QStringLiteral("ë"), QStringLiteral("e"))
                .replace(QStringLiteral("'"), QString())
                .replace(QLatin1Char(' '), QLatin1Char('-'));
            static const char *const domains[] = {"example.de", "example.com", "beispiel.de", "example.at"};
            mail = QStringLiteral("%1.%2@%3").arg(local).arg(a).arg(QString::fromUtf8(domains[a % 4]));
            if (a % 31 == 11)
                mail = mail.toUpper();   // as some customers type it
        }
        if (!mail.isEmpty()) {
            r.set("E-Mail", mail);
            m_addrMail.insert(a, mail);
        }
        if (a % 9 == 0)
            r.set("Internet", QStringLiteral("www.beispiel-%1.de").arg(a));
        r.set("Rechnungsanschrift", a);
        if (a % 10 == 0)
            r.set("Lieferanschrift", a);
        if (a % 17 != 3)   // a few without payment condition
            r.set("Zahlungskondition", 1 + (a % 11 == 0 ? 4 : a % 4));
        r.set("Rabatt", a % 4);
        r.set("Steuer", 1).set("VK", a % 12 == 0 ? 2 : 1).set("Waehrung", m == 2 ? 2 : 1);
        r.set("Onlinenot", a % 19 == 2);
        r.set("Online", a % 23 == 1);
        r.set("Serienmail", a % 8 == 5);
        if (a % 6 == 0)
            r.set("passwort", QStringLiteral("geheim%1").arg(a));
        if (a % 15 == 0)
            r.set("Selekt", 1);
        const QDateTime contact(QDate(2012, 1, 1).addDays(m_rng.bounded(365 * 14)), QTime(8, 0).addSecs(m_rng.bounded(36000)));
        r.set("Erster_Kontakt", contact);
        switch (a % 10) {
        case 1:
            r.set("Bemerkung", rtf(QStringLiteral("Kunde seit %1.\nLiefert nur Mo–Fr.").arg(contact.date().year())));
            break;
        case 4:
            r.set("Bemerkung", QStringLiteral("Rechnung an Zentrale\\Buchhaltung, Kd-Nr. #%1 & Co.\r\nBitte nicht klingeln!").arg(a));
            break;
        case 7:
            r.set("Bemerkung", richRtf(QStringLiteral("Großkunde – Rabatt beachten"), 50 + a % 50));
            break;
        default:
            break;
        }
        r.set("Update", laterThan(m_rng, contact));
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

// Most articles sit in ordinary leaf groups; every 50 articles a few sit
// where the group rules apply.
int DemoWriter::articleGroup(int a, int mandant)
{
    const SpecialGroups &s = m_special[mandant];
    const auto &leaves = m_leafGroups[mandant];
    const int normal = leaves.at(m_rng.bounded(leaves.size()));
    switch (a % 50) {
    case 31: return s.internal;      // ART 250
    case 32: return s.art200;        // ART exactly 200
    case 37: return kMissingGroup;   // no such group
    case 41: return s.orphan;
    case 42: return s.orphanChild;
    case 43: return s.artZero;
    case 47: return s.art100;
    default: return normal;
    }
}

void DemoWriter::setPrices(Rec &r, int a, double vk1)
{
    switch (a % 50) {
    case 13:
        return;                      // no price at all
    case 27:
        r.set("VK1", 0.0);
        return;
    default:
        break;
    }
    r.set("VK1", vk1);
    // Dealer and staff prices differ per article, and are not always kept.
    const int style = m_rng.bounded(5);
    if (style != 0)
        r.set("VK2", cents(vk1 * (0.78 + m_rng.bounded(18) / 100.0)));
    if (style >= 3)
        r.set("VK3", cents(vk1 * (0.65 + m_rng.bounded(15) / 100.0)));
    else if (style == 2)
        r.set("VK3", vk1);
    if (a % 11 == 0) {               // quantity levels VK4..VK9, falling
        double p = vk1;
        for (const char *f : {"VK4", "VK5", "VK6", "VK7", "VK8", "VK9"}) {
            p = cents(p * 0.96);
            r.set(f, p);
        }
    }
}

// Long texts in all the forms a WaWi holds them.
QString DemoWriter::articleText(int a, const QString &name, double vk1)
{
    switch (a % 10) {
    case 2:
        return richRtf(name, vk1);
    case 5:
        return name + QStringLiteral(" – einfacher Text ohne RTF.\r\nAblage: C:\\Katalog\\2026\\neu\\ & Lager #3");
    case 8:
        return QStringLiteral("<HTML><p><b>%1</b> im Set</p><ul><li>Maß 10 &times; 20 cm</li></ul></HTML>\r\nNur Text danach.").arg(name);
    default:
        return rtf(QStringLiteral("%1 in bewährter Qualität.\nMaße: %2 x %3 cm\nHinweis: \"Nicht für Kinder unter 3 Jahren\"")
                       .arg(name).arg(10 + a % 30).arg(5 + a % 20));
    }
}

// Colours and sizes, material in eigen3 and eigen5, and a few that leave
// gaps (only eigen2/eigen4, only eigen3/eigen5).
void DemoWriter::writeArticleVariants(TableOut &eig, int a)
{
    const int style = a % 14 == 0 ? 1 : (a % 35 == 0 ? 2 : (a % 21 == 0 ? 3 : 0));
    const int count = 2 + a % 3;
    for (int v = 0; v < count; ++v) {
        Rec e = eig.rec();
        e.set("id", m_eigId++).set("artikel", a);
        e.set("ean", QStringLiteral("41%1%2").arg(a, 8, 10, QLatin1Char('0')).arg(v));
        const QString colour = QString::fromUtf8(kColours[(a + v) % 6]);
        const QString size = QString::fromUtf8(kSizes[v % 4]);
        const QString material = QString::fromUtf8(kMaterials[(a + v) % 5]);
        switch (style) {
        case 1:
            e.set("eigen2", QString::fromUtf8(kColours[v % 6])).set("eigen4", size);
            break;
        case 2:
            e.set("eigen3", material).set("eigen5", size);
            break;
        case 3:
            e.set("eigen1", colour).set("eigen2", size).set("eigen3", material);
            if (v != 1)
                e.set("eigen5", QStringLiteral("Gravur %1").arg(v + 1));
            break;
        default:
            e.set("eigen1", colour).set("eigen2", size);
        }
        e.set("bestand", double(m_rng.bounded(40))).set("vk", v == count - 1 ? 1.5 : 0.0).set("Aufpreise", v == count - 1);
        e.set("Update", stamp(m_rng));
        eig.add(e);
    }
}

// Levels 0..2 by whole quantities; some articles also on levels 3..5 with
// quantities such as 2.5 or 0.25 (sold by weight or length).
void DemoWriter::writeGraduatedPrices(TableOut &staffel, int a, double vk1)
{
    auto add = [&](int level, double q, double price) {
        Rec s = staffel.rec();
        s.set("Zaehler", m_staffelId++).set("Artikel", a).set("Preisstufe", level);
        s.set("Menge", q).set("Preis", cents(price));
        s.set("Update", stamp(m_rng));
        staffel.add(s);
    };
    for (int level = 0; level < 3; ++level)
        for (int q : {10, 50, 100}) {
            if (level == 2 && q == 100)
                continue;
            add(level, q, vk1 * (100 - q / 10 - level) / 100);
        }
    if (a % 15 == 5)
        for (int level = 3; level <= 5; ++level)
            for (double q : {0.25, 2.5, 12.5})
                add(level, q, vk1 * (0.97 - 0.02 * level - q / 100));
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
        const int group = articleGroup(a, m);
        const QString unit = pick(m_rng, kUnits);
        const QString name = pick(m_rng, kAdjectives) + pick(m_rng, kNouns)
                             + (a % 3 == 0 ? QStringLiteral(" %1 cm").arg(5 + a % 40) : QString());
        const double vk1 = shopPrice(m_rng);
        Rec r = t.rec();
        r.set("Artikel", a).set("Art", 0).set("Mandant", m);
        r.set("Artikelnummer", QStringLiteral("A-%1").arg(a, 6, 10, QLatin1Char('0')));
        r.set("Suchbegriff", name.toUpper());
        r.set("Bezeichnung", name).set("Bezeichnung2", name + QStringLiteral(" (en)"));
        r.set("Einheit", unit);
        r.set("Warengruppe", group);
        if (a % 12 == 0 && leaves.size() > 1) {
            const int g1 = leaves.at((a / 12) % leaves.size()), g2 = leaves.at((a / 7) % leaves.size());
            // ";" and "," mixed, a 0 and a word: only real group numbers count.
            r.set("Warengruppen", a % 24 == 0 ? QStringLiteral("%1;%2,0;x").arg(g1).arg(g2)
                                              : QStringLiteral("%1;%2").arg(g1).arg(g2));
        }
        r.set("Internet", a % 20 != 7);        // a few offline
        r.set("Lieferbar", a % 9 != 4);
        if (a % 50 == 0)
            r.set("Selekt", 1);
        setPrices(r, a, vk1);
        switch (a % 13) {                      // VAT keys, one of them missing
        case 0: case 6: r.set("Umsatzsteuer", 2); break;
        case 4: r.set("Umsatzsteuer", 4); break;
        case 9: r.set("Umsatzsteuer", 5); break;
        case 11: r.set("Umsatzsteuer", 9); break;
        default: r.set("Umsatzsteuer", 1);
        }
        const bool byWeight = unit == QLatin1String("kg") || unit == QLatin1String("m") || unit == QLatin1String("l");
        const double stock = a % 17 == 0 ? 0.0 : (byWeight ? m_rng.bounded(5000) / 10.0 : double(m_rng.bounded(500)));
        r.set("Bestand", a % 43 == 0 ? -3.0 : stock).set("Mindestbestand", double(a % 20));
        if (a % 3 == 0)
            r.set("Inventur", stock + (a % 2 ? 1 : -1));
        r.set("PreiseNetto", a % 4 == 0).set("Rabattfähig", a % 3 != 0);
        if (a % 16 == 8)
            r.set("Grundpreiseinheit", QStringLiteral("100 g")).set("Grundpreisfaktor", 0.0);
        else if (a % 8 == 0)
            r.set("Grundpreiseinheit", QStringLiteral("1 kg")).set("Grundpreisfaktor", 0.5);
        else if (a % 19 == 0)
            r.set("Grundpreiseinheit", QStringLiteral("1 l")).set("Grundpreisfaktor", 0.75);
        r.set("Gewicht", (1 + m_rng.bounded(2500)) / 100.0);
        r.set("EAN", QStringLiteral("40%1").arg(qint64(1000000000) + a, 11, 10, QLatin1Char('0')));
        r.set("Katalog", a % 25 == 0);
        if (a % 15 == 0 && m_artCount > 3)
            r.set("Zusatz3", QStringLiteral("#ArtikelNr:A-%1;A-%2")
                                  .arg(1 + a % m_artCount, 6, 10, QLatin1Char('0'))
                                  .arg(1 + (a + 1) % m_artCount, 6, 10, QLatin1Char('0')));
        r.set("Zusatzfeld01", QStringLiteral("Herkunft: %1").arg(QString::fromUtf8(kPlaces[m_rng.bounded(int(std::size(kPlaces)))].ort)));
        if (a % 2 == 0)
            r.set("Zusatzfeld02", QStringLiteral("Material & Pflege"));
        if (a % 5 == 1)
            r.set("Zusatzfeld10", QStringLiteral("Pflege: 30 °C, nicht \"trocknergeeignet\""));
        if (a % 4 != 3) {
            r.set("bild1", pictureRef(a));
            r.set("Bild_klein", pictureRef(a));
        }
        if (a % 4 == 0)
            r.set("bild2", pictureRef(a + 3));
        r.set("Langtext", articleText(a, name, vk1));
        const QDate created = QDate(2012, 1, 1).addDays(m_rng.bounded(365 * 14));
        r.set("Angelegt", created);
        r.set("Update", laterThan(m_rng, QDateTime(created, QTime(9, 0))));
        t.add(r);

        if (a % 7 == 0)
            writeArticleVariants(eig, a);
        if (a % 5 == 0)
            writeGraduatedPrices(staffel, a, vk1);
        if (!suppliers.isEmpty() && a % 2 == 1) {
            Rec l = lief.rec();
            l.set("Artikel", a).set("Lieferant", suppliers.at(a % suppliers.size()));
            l.set("Bestellnummer", QStringLiteral("B-%1").arg(a)).set("EK", cents(vk1 * (0.4 + m_rng.bounded(25) / 100.0)));
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
            r.set("Menge", a % 3 == 0 ? 10.0 : (a % 5 == 0 ? 2.5 : 1.0)).set("Preis", (a % 17 == 1) ? -1.0 : 5.0 + a % 40);
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
                   {5, "Kreditkarte", "Visa & Mastercard", true, false, true, 0, 0},
                   {6, "Kauf auf Raten (O'Brien Bank)", "Finanzierung ab 100 €", true, true, false, 0, 0}};
    for (const auto &e : z) {
        Rec r = t.rec();
        r.set("Zahlungsart", e.nr).set("Art", QString::fromUtf8(e.art)).set("Art2", QString::fromUtf8(e.art) + QStringLiteral(" (en)"));
        r.set("Bezeichnung_2", QString::fromUtf8(e.anzeige));
        switch (e.nr) {
        case 2:
            r.set("Bemerkung", QStringLiteral("Zahlbar in 14 Tagen ohne Abzug.\r\nKonto: siehe Rechnung\\Fußzeile"));
            break;
        case 6:
            r.set("Bemerkung", richRtf(QStringLiteral("Ratenkauf"), 100));
            break;
        default:
            r.set("Bemerkung", rtf(QStringLiteral("Hinweis zu %1: bitte beachten Sie unsere AGB's.").arg(QString::fromUtf8(e.art))));
        }
        r.set("Online", e.online).set("OnlineAusland", e.nr != 4).set("Kreditkarte", e.card).set("Bankdaten", e.bank);
        r.set("Umst", 1).set("Versandgebuehren", e.fee).set("Versandgebuehren_ausland", e.fee * 2).set("Skonto", e.skonto);
        r.set("NeuKunde", e.nr == 1 || e.nr == 3 ? 1 : 0).set("Update", stamp(m_rng));
        t.add(r);
    }
    t.finish();
}

// Lieferart.TXT is an ANSI text file beside the tables, kept by hand: a
// blank line, a line of blanks and a name twice.
void DemoWriter::writeShippingMethods()
{
    writeFile(m_dir.filePath(QStringLiteral("Lieferart.TXT")),
              ToAnsi(QStringLiteral("DHL Paket\r\nHermes Päckchen\r\n\r\nSelbstabholung\r\nDHL Paket\r\n"
                                    "Spedition O'Brien\r\n   \r\nPost & Brief\r\n")));
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
