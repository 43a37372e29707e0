#include "wawi/WaWiSchema.h"

#include "core/ShopSettings.h"

#include <QDir>
#include <QFile>
#include <QMutex>

namespace mv {

namespace {

// "Name:A40", "Preis:N", "Langtext:F" -> field definition.
QVector<WaWiFieldDef> fields(std::initializer_list<const char *> specs)
{
    QVector<WaWiFieldDef> out;
    for (const char *s : specs) {
        const QString spec = QString::fromUtf8(s);
        const int colon = spec.lastIndexOf(QLatin1Char(':'));
        WaWiFieldDef f;
        f.name = spec.left(colon);
        f.type = spec.at(colon + 1).toLatin1();
        f.size = spec.mid(colon + 2).toInt();
        if (f.size == 0 && (f.type == 'M' || f.type == 'F' || f.type == 'G' || f.type == 'B'))
            f.size = 10;  // leader kept in the record
        out << f;
    }
    return out;
}

WaWiIndexDef ix(const char *name, const char *keyFields)
{
    return WaWiIndexDef{QString::fromUtf8(name), QString::fromUtf8(keyFields).split(QLatin1Char(';')), true};
}

QVector<WaWiTableDef> buildTables()
{
    QVector<WaWiTableDef> t;

    t.append({QStringLiteral("Mandant.db"),
              fields({"Mandant:I", "Firma1:A40", "Firma2:A40", "Firma3:A40", "Name:A40", "Strasse:A40",
                      "Plz:A10", "Ort:A40", "Zusatz2:M", "Update:@"}),
              1, {}});

    t.append({QStringLiteral("Adressen.DB"),
              fields({"Adresse:I", "Art:S", "Mandant:I", "Nummer:A20", "Suchbegriff:A40", "Anrede:A20",
                      "Name1:A50", "Name2:A50", "Name3:A50", "Strasse:A50", "Land:A30", "Plz:A10", "Ort:A40",
                      "Telefon:A30", "Telefax:A30", "E-Mail:A80", "Internet:A80", "Lieferanschrift:I",
                      "Rechnungsanschrift:I", "Zahlungskondition:I", "Rabatt:I", "Steuer:S", "VK:S",
                      "Waehrung:S", "Onlinenot:L", "Online:L", "Serienmail:L", "passwort:A40", "Selekt:I",
                      "Erster_Kontakt:@", "Bemerkung:F", "Update:@"}),
              1,
              {ix("Str", "Art;Mandant;Strasse"), ix("Schnellsuche", "Art;Mandant;Suchbegriff"),
               ix("Tel", "Art;Mandant;Telefon"), ix("ReAnschrift", "Rechnungsanschrift"),
               ix("Selektion", "Art;Mandant;Selekt"), ix("Postleitzahl", "Art;Mandant;Plz"),
               ix("Adressnummer", "Art;Mandant;Nummer"), ix("Wohnort", "Art;Mandant;Ort"),
               ix("Mail", "E-Mail")}});

    t.append({QStringLiteral("AdrArt.DB"),
              fields({"Art:I", "Mandant:I", "Bezeichnung:A40", "Rabatt:N", "Update:@"}),
              1, {ix("Schnellsuche", "Mandant;Bezeichnung")}});

    t.append({QStringLiteral("AdrArtVer.DB"),
              fields({"Zaehler:I", "Adresse:I", "Art:I", "Mandant:I", "Update:@"}),
              1, {ix("Ix_Adr", "Adresse"), ix("Ix_Art", "Art")}});

    t.append({QStringLiteral("Artikel.DB"),
              fields({"Artikel:I", "Art:S", "Mandant:I", "Artikelnummer:A30", "Suchbegriff:A40",
                      "Bezeichnung:A80", "Bezeichnung2:A80", "Einheit:A20", "Warengruppe:I",
                      "Warengruppen:A80", "Internet:L", "Lieferbar:L", "Selekt:I", "VK1:N", "VK2:N", "VK3:N",
                      "VK4:N", "VK5:N", "VK6:N", "VK7:N", "VK8:N", "VK9:N", "Umsatzsteuer:S", "Bestand:N",
                      "Mindestbestand:N", "Inventur:N", "PreiseNetto:L", "Rabattfähig:L", "Grundpreiseinheit:A20",
                      "Grundpreisfaktor:N", "Gewicht:N", "EAN:A20", "Katalog:L", "Zusatz3:M",
                      "Zusatzfeld01:A40", "Zusatzfeld02:A40", "Zusatzfeld03:A40", "Zusatzfeld10:A40", "bild1:A120", "bild2:A120",
                      "Bild_klein:A120", "Langtext:F", "Angelegt:D", "Update:@"}),
              1,
              {ix("Nummer", "Art;Mandant;Artikelnummer"), ix("Schnellsuche", "Art;Mandant;Suchbegriff"),
               ix("WGruppe_Nr", "Art;Mandant;Warengruppe;Artikelnummer"),
               ix("WGruppe", "Art;Mandant;Warengruppe;Suchbegriff")}});

    t.append({QStringLiteral("Warengruppe.DB"),
              fields({"Warengruppe:I", "Mandant:I", "Anhang:I", "ART:S", "Bezeichnung:A60", "Bezeichnung2:A60",
                      "Bezeichnung3:A60", "Bezeichnung4:A60", "Bezeichnung5:A60", "Bezeichnung_Intern:A250",
                      "Beschreibung:F", "Beschreibung2:F", "Bild:A120", "Bild_gross:A120", "Layout:S",
                      "Link1:A120", "Link2:A120", "WG_Nummer:A20", "Internet:L", "Zubehoer:M", "Update:@"}),
              1,
              {ix("Verkn", "Mandant;Anhang"), ix("Schnellsuche", "ART;Mandant;Bezeichnung")}});

    t.append({QStringLiteral("Artikel_Eig.DB"),
              fields({"id:I", "artikel:I", "ean:A20", "eigen1:A40", "eigen2:A40", "eigen3:A40", "eigen4:A40",
                      "eigen5:A40", "bestand:N", "vk:N", "Aufpreise:L", "Update:@"}),
              1, {ix("X_Artikel", "artikel")}});

    t.append({QStringLiteral("VK_Staffel.db"),
              fields({"Zaehler:I", "Artikel:I", "Preisstufe:S", "Menge:N", "Preis:N", "Update:@"}),
              1, {ix("ArtikelVkMenge", "Artikel;Preisstufe;Menge")}});

    t.append({QStringLiteral("Artikel_Lieferrant.DB"),
              fields({"Artikel:I", "Lieferant:I", "Bestellnummer:A30", "EK:N", "Lieferzeit:S", "Update:@"}),
              2, {ix("Lieferant", "Lieferant")}});

    t.append({QStringLiteral("Rabatt.DB"),
              fields({"Zaehler:I", "Adresse:I", "Art:S", "Artikel:I", "Warengruppe:I", "Menge:N", "Preis:N",
                      "Rabatt:N", "Update:@"}),
              1,
              {ix("Anschrift", "Adresse;Art;Artikel;Warengruppe"), ix("Gruppe", "Warengruppe"),
               ix("Artikel", "Artikel")}});

    t.append({QStringLiteral("Rabatt2.DB"),
              fields({"Rabattgruppe:I", "Bezeichnung:A40", "Rabatt:N", "Update:@"}),
              1, {}});

    t.append({QStringLiteral("Rabattmatrix.DB"),
              fields({"Rabattgruppe:I", "Warengruppe:I", "Rabatt:N", "Update:@"}),
              2, {}});

    t.append({QStringLiteral("MWST.DB"),
              fields({"MwSt_Satz:S", "Bezeichnung:A30", "Datum:D", "MwST:N", "NMwST:N", "NEU_Datum:D",
                      "NEU_MWST:N", "Update:@"}),
              1, {ix("Satz", "NMwST")}});

    t.append({QStringLiteral("Zahlart.DB"),
              fields({"Zahlungsart:I", "Art:A80", "Art2:A80", "Bezeichnung_2:A80", "Bemerkung:M", "Online:L",
                      "OnlineAusland:L", "Kreditkarte:L", "Bankdaten:L", "Umst:S", "Versandgebuehren:N",
                      "Versandgebuehren_ausland:N", "Skonto:N", "NeuKunde:I", "Update:@"}),
              1, {ix("Bezeichnung", "Art")}});
    return t;
}

QString baseName(QString name)
{
    if (name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
        name.chop(3);
    return name;
}

QMutex g_catMutex;
bool g_catLoaded = false;
QVector<WaWiCatalogEntry> g_catalog;

} // namespace

int WaWiTableDef::fieldIndex(const QString &name) const
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const WaWiIndexDef *WaWiTableDef::index(const QString &name) const
{
    for (const auto &i : indexes)
        if (i.name.compare(name, Qt::CaseInsensitive) == 0)
            return &i;
    return nullptr;
}

QStringList WaWiTableDef::primaryKey() const
{
    QStringList out;
    for (int i = 0; i < keyFields; ++i)
        out << fields.at(i).name;
    return out;
}

const QVector<WaWiTableDef> &WaWiTables()
{
    static const QVector<WaWiTableDef> tables = buildTables();
    return tables;
}

const WaWiTableDef *WaWiTable(const QString &fileName)
{
    const QString want = baseName(fileName);
    for (const auto &t : WaWiTables())
        if (baseName(t.fileName).compare(want, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

FieldType ParadoxLetterType(char letter)
{
    switch (letter) {
    case 'A': return FieldType::String;
    case 'D': return FieldType::Date;
    case 'S': return FieldType::SmallInt;
    case 'I': return FieldType::Integer;
    case '$': return FieldType::Currency;
    case 'N': return FieldType::Float;
    case 'L': return FieldType::Boolean;
    case 'M': return FieldType::Memo;
    case 'F': return FieldType::FmtMemo;
    case 'G': return FieldType::Graphic;
    case 'B': return FieldType::Blob;
    case 'T': return FieldType::Time;
    case '@': return FieldType::DateTime;
    case '+': return FieldType::AutoInc;
    case '#': return FieldType::BCD;
    case 'Y': return FieldType::Bytes;
    default: return FieldType::String;
    }
}

QVector<WaWiCatalogEntry> ParseWaWiCatalog(const QString &text)
{
    QVector<WaWiCatalogEntry> out;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList parts = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (parts.size() != 3)
            continue;
        WaWiCatalogEntry e;
        e.table = parts.at(0).trimmed();
        e.index = parts.at(1).trimmed();
        for (const QString &f : parts.at(2).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            e.fields << f.trimmed();
        if (!e.table.isEmpty() && !e.index.isEmpty() && !e.fields.isEmpty())
            out << e;
    }
    return out;
}

QString WaWiCatalogText()
{
    QString s = QStringLiteral(
        "# Index definitions of the WaWi tables: table, index name, key fields.\n"
        "# Used when a table's folder has no file for an index. Tab-separated;\n"
        "# key fields separated by \";\".\n");
    for (const auto &t : WaWiTables()) {
        for (const auto &i : t.indexes)
            s += t.fileName + QLatin1Char('\t') + i.name + QLatin1Char('\t') + i.fields.join(QLatin1Char(';'))
                 + QLatin1Char('\n');
    }
    return s;
}

QString WaWiCatalogPath()
{
    return QDir(Settings().ExeDir).filePath(QStringLiteral("wawi/WaWiIndexe.txt"));
}

void ResetWaWiCatalog()
{
    QMutexLocker lock(&g_catMutex);
    g_catLoaded = false;
    g_catalog.clear();
}

QVector<WaWiCatalogEntry> WaWiCatalogFor(const QString &table)
{
    QMutexLocker lock(&g_catMutex);
    if (!g_catLoaded) {
        QFile f(WaWiCatalogPath());
        if (f.open(QIODevice::ReadOnly))
            g_catalog = ParseWaWiCatalog(QString::fromUtf8(f.readAll()));
        else
            g_catalog = ParseWaWiCatalog(WaWiCatalogText());
        g_catLoaded = true;
    }
    const QString want = baseName(table);
    QVector<WaWiCatalogEntry> out;
    for (const auto &e : g_catalog)
        if (baseName(e.table).compare(want, Qt::CaseInsensitive) == 0)
            out << e;
    return out;
}

} // namespace mv
