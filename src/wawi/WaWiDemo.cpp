#include "wawi/WaWiDemo.h"

#include "core/Registry.h"
#include "core/TextUtil.h"
#include "wawi/ParadoxWriter.h"
#include "wawi/WaWiDetect.h"
#include "wawi/WaWiSchema.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>

#include <stdexcept>

namespace mv {

// ------------------------------------------------------------ flat JPEG

namespace {

struct BitWriter {
    QByteArray out;
    quint32 acc = 0;
    int n = 0;
    void put(quint32 bits, int len)
    {
        for (int i = len - 1; i >= 0; --i) {
            acc = (acc << 1) | ((bits >> i) & 1u);
            if (++n == 8) {
                out.append(char(acc));
                if ((acc & 0xFF) == 0xFF)
                    out.append(char(0));   // byte stuffing
                acc = 0;
                n = 0;
            }
        }
    }
    void flush()
    {
        while (n != 0)
            put(1, 1);
    }
};

void seg16(QByteArray &b, int v)
{
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

// Standard DC table (luminance, Annex K.3).
const quint8 kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};

int bitLength(int v)
{
    v = v < 0 ? -v : v;
    int s = 0;
    while (v) {
        ++s;
        v >>= 1;
    }
    return s;
}

} // namespace

QByteArray FlatColourJpeg(int width, int height, int r, int g, int b)
{
    width = std::max(8, (width + 7) / 8 * 8);
    height = std::max(8, (height + 7) / 8 * 8);
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b;
    const double cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b;
    // Quantiser 8 on a flat block: the DC coefficient becomes value - 128.
    const int dc[3] = {int(std::lround(y)) - 128, int(std::lround(cb)) - 128, int(std::lround(cr)) - 128};

    // DC codes of the standard table.
    quint16 dcCode[12];
    int dcLen[12];
    {
        int code = 0, k = 0;
        for (int len = 1; len <= 16; ++len) {
            for (int i = 0; i < kDcBits[len - 1]; ++i) {
                dcCode[k] = quint16(code++);
                dcLen[k] = len;
                ++k;
            }
            code <<= 1;
        }
    }

    QByteArray j;
    j.append("\xFF\xD8", 2);
    // APP0 JFIF
    j.append("\xFF\xE0", 2);
    seg16(j, 16);
    j.append("JFIF\0", 5);
    j.append("\x01\x01\x00", 3);
    seg16(j, 1);
    seg16(j, 1);
    j.append("\x00\x00", 2);
    // DQT: table 0, all 8
    j.append("\xFF\xDB", 2);
    seg16(j, 67);
    j.append(char(0));
    j.append(QByteArray(64, char(8)));
    // SOF0
    j.append("\xFF\xC0", 2);
    seg16(j, 17);
    j.append(char(8));
    seg16(j, height);
    seg16(j, width);
    j.append(char(3));
    for (int c = 1; c <= 3; ++c) {
        j.append(char(c));
        j.append(char(0x11));
        j.append(char(0));
    }
    // DHT DC 0
    j.append("\xFF\xC4", 2);
    seg16(j, 3 + 16 + 12);
    j.append(char(0x00));
    j.append(reinterpret_cast<const char *>(kDcBits), 16);
    for (int i = 0; i < 12; ++i)
        j.append(char(i));
    // DHT AC 0: only end-of-block, code "0"
    j.append("\xFF\xC4", 2);
    seg16(j, 3 + 16 + 1);
    j.append(char(0x10));
    j.append(char(1));
    j.append(QByteArray(15, char(0)));
    j.append(char(0x00));
    // SOS
    j.append("\xFF\xDA", 2);
    seg16(j, 12);
    j.append(char(3));
    for (int c = 1; c <= 3; ++c) {
        j.append(char(c));
        j.append(char(0x00));
    }
    j.append("\x00\x3F\x00", 3);

    BitWriter bw;
    int prev[3] = {0, 0, 0};
    const int blocks = (width / 8) * (height / 8);
    for (int blk = 0; blk < blocks; ++blk) {
        for (int c = 0; c < 3; ++c) {
            const int diff = dc[c] - prev[c];
            prev[c] = dc[c];
            const int s = bitLength(diff);
            bw.put(dcCode[s], dcLen[s]);
            if (s > 0)
                bw.put(quint32(diff > 0 ? diff : diff + (1 << s) - 1), s);
            bw.put(0, 1);  // end of block
        }
    }
    bw.flush();
    j.append(bw.out);
    j.append("\xFF\xD9", 2);
    return j;
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

void WriteWaWiDemo(const QString &dirIn, const WaWiDemoOptions &opt, const std::function<void(const QString &)> &progress)
{
    auto say = [&](const QString &t) {
        if (progress)
            progress(t);
    };
    QDir dir(dirIn);
    if (!dir.exists() && !QDir().mkpath(dir.absolutePath()))
        throw std::runtime_error(QStringLiteral("Verzeichnis %1 kann nicht angelegt werden.").arg(dirIn).toStdString());
    const QString d = dir.absolutePath();
    dir.mkpath(QStringLiteral("bilder"));
    QRandomGenerator rng(opt.seed);
    const int mandanten = std::max(1, opt.mandanten);

    // --- pictures: a few flat-colour JPEGs
    say(QStringLiteral("Bilder"));
    const int colours[][3] = {{200, 30, 30}, {30, 160, 60}, {40, 70, 200}, {230, 200, 40}, {120, 60, 160}, {250, 250, 250}};
    QStringList pictures;
    for (int i = 0; i < 6; ++i) {
        const QString name = QStringLiteral("bilder/Bild %1%2.jpg").arg(i + 1).arg(i == 2 ? QStringLiteral(" Größe") : QString());
        writeFile(dir.filePath(name), FlatColourJpeg(32, 24, colours[i][0], colours[i][1], colours[i][2]));
        pictures << name;
    }

    // --- Mandant.db
    say(QStringLiteral("Mandant.db"));
    {
        TableOut t(d, "Mandant.db", opt);
        for (int m = 1; m <= mandanten; ++m) {
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
            r.set("Update", stamp(rng));
            t.add(r);
        }
        t.finish();
    }

    // --- Warengruppe.DB: three levels per Mandant
    say(QStringLiteral("Warengruppe.DB"));
    QVector<Group> groups;
    {
        TableOut t(d, "Warengruppe.DB", opt);
        const int perMandant = std::max(3, opt.groups / mandanten);
        int number = 1;
        for (int m = 1; m <= mandanten; ++m) {
            const int tops = std::clamp(perMandant / 8, 2, 8);
            int made = 0;
            QVector<int> level1, level2;
            auto addGroup = [&](int parent, int level, const QString &name, bool internalKind = false) {
                Group g{number++, m, parent, level, false, internalKind};
                // A few hidden groups; internal kinds (200 and above) are
                // no product groups for the shop.
                g.hidden = (g.number % 17 == 5);
                Rec r = t.rec();
                r.set("Warengruppe", g.number).set("Mandant", m).set("Anhang", parent);
                if (g.internalKind)
                    r.set("ART", 250);
                r.set("Bezeichnung", name);
                r.set("Bezeichnung2", name + QStringLiteral(" (en)"));
                if (g.number % 5 == 0) {
                    // Some groups already carry an internal name.
                    r.set("Bezeichnung_Intern", name);
                }
                r.set("Beschreibung", rtf(QStringLiteral("Alles rund um %1.\nQualität & Auswahl für Sie.").arg(name)));
                if (g.number % 3 != 0)
                    r.set("Bild", pictures.at(g.number % pictures.size()));
                if (g.number % 4 == 0)
                    r.set("Bild_gross", pictures.at((g.number + 1) % pictures.size()));
                r.set("Layout", g.number % 3);
                r.set("Link1", QStringLiteral("http://www.example.de/gruppe%1").arg(g.number));
                r.set("WG_Nummer", QStringLiteral("WG%1").arg(g.number, 4, 10, QLatin1Char('0')));
                r.set("Internet", g.hidden);
                if (g.number % 6 == 0)
                    r.set("Zubehoer", QStringLiteral("#ArtikelNr:A-%1").arg(1 + g.number % 50, 6, 10, QLatin1Char('0')));
                r.set("Update", stamp(rng));
                t.add(r);
                groups << g;
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
                addGroup(parent, 3, pick(rng, kNouns) + QStringLiteral("-Sortiment %1").arg(k + 1));
                ++k;
            }
        }
        t.finish();
    }
    QVector<QVector<int>> leafGroups(mandanten + 1);
    for (const auto &g : groups)
        if (!g.internalKind && (g.level == 3 || (g.level == 2 && g.number % 4 == 0)))
            leafGroups[g.mandant] << g.number;
    for (int m = 1; m <= mandanten; ++m)
        if (leafGroups[m].isEmpty())
            for (const auto &g : groups)
                if (g.mandant == m && !g.internalKind)
                    leafGroups[m] << g.number;

    // --- MWST.DB
    say(QStringLiteral("MWST.DB"));
    {
        TableOut t(d, "MWST.DB", opt);
        struct V { int key; const char *name; double old, now; };
        const V vats[] = {{1, "Normaler Satz", 16, 19}, {2, "Ermäßigter Satz", 7, 7}, {3, "Steuerfrei", 0, 0}};
        for (const auto &v : vats) {
            Rec r = t.rec();
            r.set("MwSt_Satz", v.key).set("Bezeichnung", QString::fromUtf8(v.name));
            r.set("Datum", QDate(2007, 1, 1)).set("MwST", v.old).set("NMwST", v.now);
            if (v.key == 1)
                r.set("NEU_Datum", QDate(2030, 1, 1)).set("NEU_MWST", 21.0);
            r.set("Update", stamp(rng));
            t.add(r);
        }
        t.finish();
    }

    // --- Adressen.DB
    say(QStringLiteral("Adressen.DB"));
    const int addrCount = std::max(3, opt.addresses);
    QVector<int> addrMandant(addrCount + 1), addrKind(addrCount + 1);
    {
        TableOut t(d, "Adressen.DB", opt);
        for (int a = 1; a <= addrCount; ++a) {
            const int m = (a % 5 == 0 && mandanten > 1) ? 2 : 1;
            const int kind = (a % 7 == 3) ? 1 : ((a % 11 == 4) ? 2 : 0);
            addrMandant[a] = m;
            addrKind[a] = kind;
            const QString last = pick(rng, kLastNames);
            const QString first = pick(rng, kFirstNames);
            const QString company = pick(rng, kCompanies);
            Rec r = t.rec();
            r.set("Adresse", a).set("Art", kind).set("Mandant", m);
            if (a % 13 != 6)
                r.set("Nummer", QStringLiteral("%1%2").arg(kind == 1 ? QStringLiteral("L") : QStringLiteral("K")).arg(10000 + a));
            r.set("Suchbegriff", (company.isEmpty() ? last : company).toUpper());
            r.set("Anrede", company.isEmpty() ? (a % 2 ? QStringLiteral("Herr") : QStringLiteral("Frau")) : QStringLiteral("Firma"));
            r.set("Name1", company.isEmpty() ? first + QLatin1Char(' ') + last : company);
            if (!company.isEmpty())
                r.set("Name2", QStringLiteral("z. Hd. ") + first + QLatin1Char(' ') + last);
            r.set("Strasse", pick(rng, kStreets) + QStringLiteral(" %1").arg(1 + a % 120));
            r.set("Land", QStringLiteral("D"));
            r.set("Plz", QStringLiteral("%1").arg(10000 + rng.bounded(89999)));
            r.set("Ort", pick(rng, kPlaces));
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
            r.set("Erster_Kontakt", stamp(rng));
            if (a % 10 == 1)
                r.set("Bemerkung", rtf(QStringLiteral("Kunde seit %1.\nLiefert nur Mo–Fr.").arg(2000 + a % 25)));
            r.set("Update", stamp(rng));
            t.add(r);
        }
        t.finish();
    }

    // --- AdrArt.DB, AdrArtVer.DB
    say(QStringLiteral("AdrArt.DB"));
    {
        TableOut t(d, "AdrArt.DB", opt);
        const char *const names[] = {"Stammkunden", "Händler", "Großkunden & Behörden", "Mitarbeiter"};
        int n = 1;
        for (int m = 1; m <= mandanten; ++m)
            for (int i = 0; i < 4; ++i) {
                Rec r = t.rec();
                r.set("Art", n++).set("Mandant", m).set("Bezeichnung", QString::fromUtf8(names[i]));
                r.set("Rabatt", double(i * 5)).set("Update", stamp(rng));
                t.add(r);
            }
        t.finish();
    }
    {
        TableOut t(d, "AdrArtVer.DB", opt);
        int n = 1;
        for (int a = 1; a <= addrCount; ++a) {
            if (addrKind[a] != 0 || a % 3 == 2)
                continue;
            const int links = 1 + a % 2;
            for (int l = 0; l < links; ++l) {
                Rec r = t.rec();
                r.set("Zaehler", n++).set("Adresse", a).set("Art", (addrMandant[a] - 1) * 4 + 1 + (a + l) % 4);
                r.set("Mandant", addrMandant[a]).set("Update", stamp(rng));
                t.add(r);
            }
        }
        t.finish();
    }

    // --- Artikel.DB with its side tables
    say(QStringLiteral("Artikel.DB"));
    const int artCount = std::max(1, opt.articles);
    {
        TableOut t(d, "Artikel.DB", opt);
        TableOut eig(d, "Artikel_Eig.DB", opt);
        TableOut staffel(d, "VK_Staffel.db", opt);
        TableOut lief(d, "Artikel_Lieferrant.DB", opt);
        int eigId = 1, staffelId = 1;
        QVector<int> suppliers;
        for (int a = 1; a <= addrCount; ++a)
            if (addrKind[a] == 1)
                suppliers << a;
        for (int a = 1; a <= artCount; ++a) {
            const int m = (mandanten > 1 && a % 10 == 0) ? 2 : 1;
            const auto &leaves = leafGroups[m];
            const int group = leaves.at(rng.bounded(leaves.size()));
            const QString name = pick(rng, kAdjectives) + pick(rng, kNouns)
                                 + (a % 3 == 0 ? QStringLiteral(" %1 cm").arg(5 + a % 40) : QString());
            const double vk1 = 0.99 + rng.bounded(50000) / 100.0;
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
            r.set("Bestand", double(rng.bounded(500))).set("Mindestbestand", double(a % 20));
            r.set("PreiseNetto", a % 4 == 0).set("Rabattfähig", a % 3 != 0);
            if (a % 8 == 0)
                r.set("Grundpreiseinheit", QStringLiteral("1 kg")).set("Grundpreisfaktor", 0.5);
            r.set("Gewicht", (1 + a % 50) / 10.0);
            r.set("EAN", QStringLiteral("40%1").arg(qint64(1000000000) + a, 11, 10, QLatin1Char('0')));
            r.set("Katalog", a % 25 == 0);
            if (a % 15 == 0 && artCount > 3)
                r.set("Zusatz3", QStringLiteral("#ArtikelNr:A-%1;A-%2")
                                      .arg(1 + a % artCount, 6, 10, QLatin1Char('0'))
                                      .arg(1 + (a + 1) % artCount, 6, 10, QLatin1Char('0')));
            r.set("Zusatzfeld01", QStringLiteral("Herkunft: %1").arg(pick(rng, kPlaces)));
            if (a % 2 == 0)
                r.set("Zusatzfeld02", QStringLiteral("Material & Pflege"));
            if (a % 4 != 3) {
                r.set("bild1", pictures.at(a % pictures.size()));
                r.set("Bild_klein", pictures.at(a % pictures.size()));
            }
            if (a % 4 == 0)
                r.set("bild2", pictures.at((a + 3) % pictures.size()));
            r.set("Langtext", rtf(QStringLiteral("%1 in bewährter Qualität.\nMaße: %2 x %3 cm\nHinweis: \"Nicht für Kinder unter 3 Jahren\"")
                                      .arg(name).arg(10 + a % 30).arg(5 + a % 20)));
            r.set("Angelegt", QDate(2020, 1, 1).addDays(a % 1500));
            r.set("Update", stamp(rng));
            t.add(r);

            if (a % 7 == 0) {   // variants
                const bool onlyTwoAndFour = (a % 14 == 0);
                for (int v = 0; v < 3; ++v) {
                    Rec e = eig.rec();
                    e.set("id", eigId++).set("artikel", a);
                    e.set("ean", QStringLiteral("41%1%2").arg(a, 8, 10, QLatin1Char('0')).arg(v));
                    if (onlyTwoAndFour) {
                        e.set("eigen2", QString::fromUtf8(kColours[v % 6]));
                        e.set("eigen4", QString::fromUtf8(kSizes[v % 4]));
                    } else {
                        e.set("eigen1", QString::fromUtf8(kColours[(a + v) % 6]));
                        e.set("eigen2", QString::fromUtf8(kSizes[v % 4]));
                    }
                    e.set("bestand", double(v * 5)).set("vk", v == 2 ? 1.5 : 0.0).set("Aufpreise", v == 2);
                    e.set("Update", stamp(rng));
                    eig.add(e);
                }
            }
            if (a % 5 == 0) {   // graduated prices on levels 0..2
                for (int level = 0; level < 3; ++level)
                    for (int q : {10, 50, 100}) {
                        if (level == 2 && q == 100)
                            continue;
                        Rec s = staffel.rec();
                        s.set("Zaehler", staffelId++).set("Artikel", a).set("Preisstufe", level);
                        s.set("Menge", double(q)).set("Preis", std::round(vk1 * (100 - q / 10 - level) ) / 100);
                        s.set("Update", stamp(rng));
                        staffel.add(s);
                    }
            }
            if (!suppliers.isEmpty() && a % 2 == 1) {
                Rec l = lief.rec();
                l.set("Artikel", a).set("Lieferant", suppliers.at(a % suppliers.size()));
                l.set("Bestellnummer", QStringLiteral("B-%1").arg(a)).set("EK", std::round(vk1 * 55) / 100);
                l.set("Lieferzeit", 1 + a % 14).set("Update", stamp(rng));
                lief.add(l);
            }
        }
        say(QStringLiteral("Artikel.DB schreiben"));
        t.finish();
        eig.finish();
        staffel.finish();
        lief.finish();
    }

    // --- discounts and special prices
    say(QStringLiteral("Rabatt.DB"));
    {
        TableOut t(d, "Rabatt.DB", opt);
        int n = 1;
        for (int a = 1; a <= addrCount && n < 400; a += 3) {
            if (addrKind[a] != 0)
                continue;
            Rec r = t.rec();
            r.set("Zaehler", n++).set("Adresse", a).set("Art", 0);
            r.set("Artikel", 1 + (a * 7) % artCount).set("Warengruppe", 0);
            r.set("Menge", double(a % 3 == 0 ? 10 : 1)).set("Preis", (a % 17 == 1) ? -1.0 : 5.0 + a % 40);
            r.set("Rabatt", 0.0).set("Update", stamp(rng));
            t.add(r);
            if (a % 2 == 0) {
                const auto &leaves = leafGroups[addrMandant[a]];
                Rec g = t.rec();
                g.set("Zaehler", n++).set("Adresse", a).set("Art", 1).set("Artikel", 0);
                g.set("Warengruppe", leaves.at(a % leaves.size()));
                g.set("Menge", 1.0).set("Preis", 0.0).set("Rabatt", 7.5).set("Update", stamp(rng));
                t.add(g);
            }
        }
        // Group rows without address.
        for (int i = 0; i < 3 && !leafGroups[1].isEmpty(); ++i) {
            Rec g = t.rec();
            g.set("Zaehler", n++).set("Adresse", 0).set("Art", 2).set("Artikel", 0);
            g.set("Warengruppe", leafGroups[1].at(i % leafGroups[1].size()));
            g.set("Menge", 1.0).set("Preis", 0.0).set("Rabatt", 3.0).set("Update", stamp(rng));
            t.add(g);
        }
        t.finish();
    }
    {
        TableOut t(d, "Rabatt2.DB", opt);
        const char *const names[] = {"kein Rabatt", "Stammkunde", "Händler", "Großabnehmer"};
        for (int i = 0; i < 4; ++i) {
            Rec r = t.rec();
            r.set("Rabattgruppe", i).set("Bezeichnung", QString::fromUtf8(names[i])).set("Rabatt", double(i * 5));
            r.set("Update", stamp(rng));
            t.add(r);
        }
        t.finish();
    }
    {
        TableOut t(d, "Rabattmatrix.DB", opt);
        for (int rg = 1; rg <= 3; ++rg)
            for (int i = 0; i < 3 && i < leafGroups[1].size(); ++i) {
                Rec r = t.rec();
                r.set("Rabattgruppe", rg).set("Warengruppe", leafGroups[1].at(i)).set("Rabatt", rg * 2.5 + i);
                r.set("Update", stamp(rng));
                t.add(r);
            }
        t.finish();
    }

    // --- Zahlart.DB
    say(QStringLiteral("Zahlart.DB"));
    {
        TableOut t(d, "Zahlart.DB", opt);
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
            r.set("NeuKunde", e.nr == 1 || e.nr == 3 ? 1 : 0).set("Update", stamp(rng));
            t.add(r);
        }
        t.finish();
    }

    // --- Lieferart.TXT (ANSI)
    writeFile(dir.filePath(QStringLiteral("Lieferart.TXT")),
              ToAnsi(QStringLiteral("DHL Paket\r\nHermes Päckchen\r\nSelbstabholung\r\nSpedition O'Brien\r\nPost & Brief\r\n")));

    // --- registry
    if (opt.registerInRegistry) {
        say(QStringLiteral("Registrierung"));
        const QString key = WaWiProgramKey(opt.programIndex) + QStringLiteral("\\Einstellungen\\");
        const QString wawiDir = QDir::toNativeSeparators(d) + QDir::separator();
        if (!RegWriteValue(key + QStringLiteral("Verzeichnis"), QStringLiteral("Merkant"), wawiDir)
            || !RegWriteValue(key + QStringLiteral("Programm"), QStringLiteral("Edition"), QString::number(opt.edition))
            || !RegWriteValue(key + QStringLiteral("Mandant"), QStringLiteral("Aktiv"), QStringLiteral("1")))
            throw std::runtime_error(QStringLiteral("Die Registrierung (%1) kann nicht geschrieben werden.")
                                         .arg(RegistryStorePath()).toStdString());
    }
}

} // namespace mv
