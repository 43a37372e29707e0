# Shopdatenbank des DatenManagers, Schemaversion 1.0 (Ersatz für ältere
# MySQL-Server: ohne Tabellentyp und Zeichensatz). Der Datenabgleich bringt
# die Datenbank danach mit db\update20.sql bis db\update70.sql auf Version 7.0.
#
# wgruppen
CREATE TABLE wgruppen (
  zaehler INT(11) NOT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  bezeichnung_intern VARCHAR(255) DEFAULT NULL,
  hiernr INT(11) DEFAULT NULL,
  hierident INT(11) DEFAULT NULL,
  anhang INT(11) DEFAULT NULL,
  kfmwg INT(11) DEFAULT NULL,
  bild VARCHAR(255) DEFAULT NULL,
  bild_gross VARCHAR(255) DEFAULT NULL,
  beschreibung MEDIUMTEXT,
  anzahl INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_anhang (anhang),
  KEY ix_intern (bezeichnung_intern),
  KEY ix_hiernr (hiernr)
);
#
# waverbindung
CREATE TABLE waverbindung (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  artikel INT(11) DEFAULT NULL,
  warengruppe INT(11) DEFAULT NULL,
  stufe INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_artikel (artikel),
  KEY ix_warengruppe (warengruppe)
);
#
# artikel
CREATE TABLE artikel (
  zaehler INT(11) NOT NULL,
  artikelnummer VARCHAR(40) DEFAULT NULL,
  suchbegriff VARCHAR(80) DEFAULT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  einheit VARCHAR(40) DEFAULT NULL,
  hiernr INT(11) DEFAULT NULL,
  hierident INT(11) DEFAULT NULL,
  warengruppe INT(11) DEFAULT NULL,
  kfmart VARCHAR(20) DEFAULT NULL,
  vk1 DOUBLE DEFAULT NULL,
  vk2 DOUBLE DEFAULT NULL,
  vk3 DOUBLE DEFAULT NULL,
  umsatzsteuer DOUBLE DEFAULT NULL,
  bestand DOUBLE DEFAULT NULL,
  lieferbar INT(11) DEFAULT NULL,
  bild_klein VARCHAR(255) DEFAULT NULL,
  bild_gross VARCHAR(255) DEFAULT NULL,
  langtext MEDIUMTEXT,
  PRIMARY KEY (zaehler),
  KEY ix_artikelnummer (artikelnummer),
  KEY ix_warengruppe (warengruppe)
);
#
# sonderpreise
CREATE TABLE sonderpreise (
  id INT(11) NOT NULL AUTO_INCREMENT,
  kunde INT(11) DEFAULT NULL,
  kfmart INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  wgruppe INT(11) DEFAULT NULL,
  menge DOUBLE DEFAULT NULL,
  preis DOUBLE DEFAULT NULL,
  rabatt DOUBLE DEFAULT NULL,
  PRIMARY KEY (id),
  KEY ix_kunde_artikel (kunde,artikel),
  KEY ix_artikel (artikel)
);
#
# adressen
CREATE TABLE adressen (
  adresse INT(11) NOT NULL,
  art INT(11) DEFAULT NULL,
  nummer VARCHAR(40) DEFAULT NULL,
  anrede VARCHAR(60) DEFAULT NULL,
  name1 VARCHAR(100) DEFAULT NULL,
  name2 VARCHAR(100) DEFAULT NULL,
  name3 VARCHAR(100) DEFAULT NULL,
  strasse VARCHAR(100) DEFAULT NULL,
  plz VARCHAR(20) DEFAULT NULL,
  ort VARCHAR(100) DEFAULT NULL,
  land VARCHAR(80) DEFAULT NULL,
  telefon VARCHAR(60) DEFAULT NULL,
  fax VARCHAR(60) DEFAULT NULL,
  email VARCHAR(120) DEFAULT NULL,
  homepage VARCHAR(255) DEFAULT NULL,
  zahlart INT(11) DEFAULT NULL,
  rabatt DOUBLE DEFAULT NULL,
  passwort VARCHAR(100) DEFAULT NULL,
  kfmadr INT(11) DEFAULT NULL,
  PRIMARY KEY (adresse),
  KEY ix_nummer (nummer),
  KEY ix_email (email),
  KEY ix_art (art)
);
#
# bestellungen
CREATE TABLE bestellungen (
  nr INT(11) NOT NULL AUTO_INCREMENT,
  person INT(11) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  zustand INT(11) DEFAULT NULL,
  zahlart INT(11) DEFAULT NULL,
  versandart VARCHAR(80) DEFAULT NULL,
  versandkosten DOUBLE DEFAULT NULL,
  summe DOUBLE DEFAULT NULL,
  lieferanschrift MEDIUMTEXT,
  bemerkung MEDIUMTEXT,
  PRIMARY KEY (nr),
  KEY ix_person (person)
);
#
# bestellpositionen
CREATE TABLE bestellpositionen (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  bestellung INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  artikelnummer VARCHAR(30) DEFAULT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  variante INT(11) DEFAULT NULL,
  menge DOUBLE DEFAULT NULL,
  preis DOUBLE DEFAULT NULL,
  umsatzsteuer DOUBLE DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_bestellung (bestellung)
);
#
# warenkorb
CREATE TABLE warenkorb (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  sitzung VARCHAR(64) DEFAULT NULL,
  adresse INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  variante INT(11) DEFAULT NULL,
  menge DOUBLE DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_sitzung (sitzung)
);
#
# favoriten
CREATE TABLE favoriten (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adresse INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adresse (adresse)
);
#
# produktbewertung
CREATE TABLE produktbewertung (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  artikel INT(11) DEFAULT NULL,
  user INT(11) DEFAULT NULL,
  bewertung INT(11) DEFAULT NULL,
  titel VARCHAR(255) DEFAULT NULL,
  kommentar MEDIUMTEXT,
  datum DATETIME DEFAULT NULL,
  freigegeben INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_artikel (artikel),
  KEY ix_user (user)
);
#
# counter
CREATE TABLE counter (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adressid INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  seite VARCHAR(255) DEFAULT NULL,
  ip VARCHAR(45) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adressid (adressid)
);
#
# lieferadressen
CREATE TABLE lieferadressen (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adresse INT(11) DEFAULT NULL,
  anrede VARCHAR(40) DEFAULT NULL,
  name1 VARCHAR(80) DEFAULT NULL,
  name2 VARCHAR(80) DEFAULT NULL,
  strasse VARCHAR(80) DEFAULT NULL,
  plz VARCHAR(20) DEFAULT NULL,
  ort VARCHAR(80) DEFAULT NULL,
  land VARCHAR(80) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adresse (adresse)
);
#
# adrart
CREATE TABLE adrart (
  art INT(11) NOT NULL,
  mandant INT(11) DEFAULT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  rabatt DOUBLE DEFAULT NULL,
  PRIMARY KEY (art)
);
#
# adrartver
CREATE TABLE adrartver (
  zaehler INT(11) NOT NULL,
  adresse INT(11) DEFAULT NULL,
  art INT(11) DEFAULT NULL,
  mandant INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adresse (adresse)
);
#
# zahlart
CREATE TABLE zahlart (
  id INT(11) NOT NULL,
  kfmart INT(11) DEFAULT NULL,
  beschreibung VARCHAR(255) DEFAULT NULL,
  bemerkung MEDIUMTEXT,
  aktiv INT(11) DEFAULT NULL,
  ausland INT(11) DEFAULT NULL,
  schriftlich INT(11) DEFAULT NULL,
  kreditkarte INT(11) DEFAULT NULL,
  bankdaten INT(11) DEFAULT NULL,
  umst INT(11) DEFAULT NULL,
  versandgebuehren DOUBLE DEFAULT NULL,
  versandgebuehren_ausland DOUBLE DEFAULT NULL,
  skonto DOUBLE DEFAULT NULL,
  land VARCHAR(20) DEFAULT NULL,
  PRIMARY KEY (id),
  KEY ix_kfmart (kfmart)
);
#
# laender
CREATE TABLE laender (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  laendername VARCHAR(80) DEFAULT NULL,
  waerungsname VARCHAR(60) DEFAULT NULL,
  kurs DOUBLE DEFAULT NULL,
  fahne VARCHAR(255) DEFAULT NULL,
  eu VARCHAR(20) DEFAULT NULL,
  sprache VARCHAR(50) DEFAULT NULL,
  egident VARCHAR(10) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_laendername (laendername)
);
#
# versand
CREATE TABLE versand (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  versandart VARCHAR(80) DEFAULT NULL,
  versandkosten DOUBLE DEFAULT NULL,
  versandkosten_ausland DOUBLE DEFAULT NULL,
  beschreibung MEDIUMTEXT,
  PRIMARY KEY (zaehler),
  KEY ix_versandart (versandart)
);
#
# nachgewicht
CREATE TABLE nachgewicht (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  volumen DOUBLE DEFAULT NULL,
  gewicht DOUBLE DEFAULT NULL,
  versender VARCHAR(80) DEFAULT NULL,
  preis DOUBLE DEFAULT NULL,
  preis_ausland DOUBLE DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_gewicht (gewicht)
);
#
# news
CREATE TABLE news (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  header VARCHAR(80) DEFAULT NULL,
  inhalt MEDIUMTEXT,
  bild VARCHAR(255) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_header (header)
);
#
# faq_gruppe
CREATE TABLE faq_gruppe (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  hiernr INT(11) DEFAULT NULL,
  hierident INT(11) DEFAULT NULL,
  bild VARCHAR(255) DEFAULT NULL,
  PRIMARY KEY (zaehler)
);
#
# faq_thema
CREATE TABLE faq_thema (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  gruppe INT(11) DEFAULT NULL,
  beschreibung VARCHAR(255) DEFAULT NULL,
  hilfe MEDIUMTEXT,
  bild VARCHAR(255) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_gruppe (gruppe)
);
#
# newsletter
CREATE TABLE newsletter (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  EMail VARCHAR(100) DEFAULT NULL,
  kdnummer VARCHAR(40) DEFAULT NULL,
  html INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_email (EMail)
);
#
# newsletter_not
CREATE TABLE newsletter_not (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  EMail VARCHAR(100) DEFAULT NULL,
  kdnummer VARCHAR(40) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_email (EMail)
);
#
# gutscheine
CREATE TABLE gutscheine (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  gutscheincode VARCHAR(40) DEFAULT NULL,
  wert DOUBLE DEFAULT NULL,
  prozent DOUBLE DEFAULT NULL,
  gueltig_bis DATE DEFAULT NULL,
  eingeloest INT(11) DEFAULT NULL,
  adresse INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_code (gutscheincode)
);
#
# shopadmin
CREATE TABLE shopadmin (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  benutzer VARCHAR(40) DEFAULT NULL,
  passwort VARCHAR(100) DEFAULT NULL,
  rechte INT(11) DEFAULT NULL,
  letzter_zugriff DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler)
);
#
# suchanfragen
CREATE TABLE suchanfragen (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  begriff VARCHAR(255) DEFAULT NULL,
  anzahl INT(11) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler)
);
#
# kontaktanfragen
CREATE TABLE kontaktanfragen (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adresse INT(11) DEFAULT NULL,
  email VARCHAR(100) DEFAULT NULL,
  betreff VARCHAR(255) DEFAULT NULL,
  nachricht MEDIUMTEXT,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler)
);
#
