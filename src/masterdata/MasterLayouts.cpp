#include "masterdata/MasterLayouts.h"

namespace mv {

namespace {
FieldDef S(const char *n, int size) { return {QString::fromLatin1(n), FieldType::String, size}; }
FieldDef I(const char *n) { return {QString::fromLatin1(n), FieldType::Integer}; }
FieldDef F(const char *n) { return {QString::fromLatin1(n), FieldType::Float}; }
FieldDef B(const char *n) { return {QString::fromLatin1(n), FieldType::Boolean}; }
FieldDef M(const char *n, int size) { return {QString::fromLatin1(n), FieldType::Memo, size}; }
FieldDef FM(const char *n, int size) { return {QString::fromLatin1(n), FieldType::FmtMemo, size}; }
FieldDef A(const char *n) { return {QString::fromLatin1(n), FieldType::AutoInc, 0, true}; }
FieldDef DT(const char *n) { return {QString::fromLatin1(n), FieldType::DateTime}; }
}

QVector<FieldDef> LegacyLaenderFields()
{
    return {S("laendername", 80), S("waerungsname", 60), F("kurs"), S("fahne", 200), S("eu", 20), S("sprache", 50),
            S("egident", 10)};
}

MasterTableDef LaenderTable()
{
    QVector<FieldDef> f = LegacyLaenderFields();
    f << S("isolaendercode", 20);
    return {QStringLiteral("laender4.xml"), f, {QStringLiteral("laender2.xml"), true, false, true}};
}

QVector<FieldDef> LegacyNewsFields()
{
    return {S("header", 80), M("inhalt", 250), S("bild", 200)};
}

MasterTableDef NewsTable()
{
    return {QStringLiteral("news6.xml"),
            {S("header", 80), S("header2", 80), S("header3", 80), S("header4", 80), S("header5", 80),
             M("inhalt", 250), M("inhalt2", 250), M("inhalt3", 250), M("inhalt4", 250), M("inhalt5", 250),
             S("bild", 200)},
            {QStringLiteral("news.xml"), false, false, false}};
}

QVector<FieldDef> LegacyVersandkostenFields()
{
    return {F("volumen"), F("gewicht"), S("versender", 80), F("preis"), F("preis_ausland")};
}

MasterTableDef VersandkostenTable()
{
    QVector<FieldDef> f = LegacyVersandkostenFields();
    f << S("Land", 20);
    return {QStringLiteral("versandkosten4.xml"), f, {QStringLiteral("versandkosten.xml"), true, false, true}};
}

QVector<FieldDef> LegacyZahlartFields()
{
    return {I("Zahlungsart"), S("Art", 80), S("Bezeichnung2", 80), M("Bemerkung", 200), B("Online"),
            B("OnlineAusland"), B("OnlineSchrift"), B("Kreditkarte"), B("Bankdaten"), I("Umst"),
            F("Versandgebuehren"), F("Versandgebuehren_ausland"), I("NeuKunde"), F("FreiWert1"), F("FreiWert2"),
            S("FreiText1", 80), F("Skonto"), S("Land", 20), DT("Update")};
}

MasterTableDef ZahlartTable()
{
    return {QStringLiteral("zahlungsart_6.xml"),
            {I("Zahlungsart"), S("Art", 80), S("Art2", 80), S("Art3", 80), S("Art4", 80), S("Art5", 80),
             S("Bezeichnung_2", 80), S("Bezeichnung_2_2", 80), S("Bezeichnung_2_3", 80), S("Bezeichnung_2_4", 80),
             S("Bezeichnung_2_5", 80), M("Bemerkung", 200), FM("Bemerkung2", 200), FM("Bemerkung3", 200),
             FM("Bemerkung4", 200), FM("Bemerkung5", 200), B("Online"), B("OnlineAusland"), B("OnlineSchrift"),
             B("Kreditkarte"), B("Bankdaten"), I("Umst"), F("Versandgebuehren"), F("Versandgebuehren_ausland"),
             I("NeuKunde"), F("FreiWert1"), F("FreiWert2"), S("FreiText1", 80), F("Skonto"), S("Land", 20),
             DT("Update")},
            {QStringLiteral("zahlungsart_4.xml"), false, false, false}};
}

QVector<FieldDef> LegacyVersandartFields()
{
    return {S("versandart", 80), F("versandkosten"), F("versandkosten_ausland"), M("beschreibung", 200)};
}

MasterTableDef VersandartTable()
{
    return {QStringLiteral("versandtart6.xml"),
            {S("versandart", 80), S("versandart2", 80), S("versandart3", 80), S("versandart4", 80),
             S("versandart5", 80), F("versandkosten"), F("versandkosten_ausland"), M("beschreibung", 200),
             M("beschreibung2", 200), M("beschreibung3", 200), M("beschreibung4", 200), M("beschreibung5", 200)},
            {QStringLiteral("versandtart.xml"), false, false, false}};
}

QVector<FieldDef> LegacyFaqGruppeFields()
{
    return {A("z"), I("zaehler"), S("bezeichnung", 255), I("hiernr"), I("hierident"), S("Bild", 250)};
}

MasterTableDef FaqGruppeTable()
{
    return {QStringLiteral("faq_gruppe6.xml"),
            {A("z"), I("zaehler"), S("bezeichnung", 255), S("bezeichnung2", 255), S("bezeichnung3", 255),
             S("bezeichnung4", 255), S("bezeichnung5", 255), I("hiernr"), I("hierident"), S("Bild", 250)},
            {QStringLiteral("faq_gruppe.xml"), false, true, false}};
}

QVector<FieldDef> LegacyFaqThemaFields()
{
    return {A("zaehler"), I("gruppe"), S("beschreibung", 80), M("hilfe", 255), S("Bild", 250)};
}

MasterTableDef FaqThemaTable()
{
    return {QStringLiteral("faq_thema6.xml"),
            {A("zaehler"), I("gruppe"), S("beschreibung", 80), S("beschreibung2", 80), S("beschreibung3", 80),
             S("beschreibung4", 80), S("beschreibung5", 80), M("hilfe", 255), M("hilfe2", 255), M("hilfe3", 255),
             M("hilfe4", 255), M("hilfe5", 255), S("Bild", 250)},
            {QStringLiteral("faq_thema.xml"), false, true, false}};
}

} // namespace mv
