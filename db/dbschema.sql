# Shopdatenbank des DatenManagers, Schemaversion 7.0
#
# Anweisungen dürfen über mehrere Zeilen gehen; eine Zeile, die in Spalte 1
# mit "#" beginnt, schließt die Anweisung davor ab (der Rest der Zeile ist
# Kommentar). Zeichensatz der Datei: Windows-1252, Zeilenende CR LF.
#
# Preise, Mengen und Steuersätze sind DOUBLE: der DatenManager schreibt Zahlen
# ohne Anführungszeichen in Zahlenspalten. Daten der Warenwirtschaft, die als
# Text kommen (Datum der letzten Änderung u. a.), haben keine eigenen Spalten.
#
# version: Schemaversion der Shopdatenbank (gelesen vom DatenManager)
CREATE TABLE version (
  version DOUBLE NOT NULL,
  info VARCHAR(255) DEFAULT NULL
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# wgruppen: Warengruppen (Artikelgruppen) mit Baumposition hiernr/hierident
CREATE TABLE wgruppen (
  zaehler INT(11) NOT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  bezeichnung2 VARCHAR(255) DEFAULT NULL,
  bezeichnung3 VARCHAR(255) DEFAULT NULL,
  bezeichnung4 VARCHAR(255) DEFAULT NULL,
  bezeichnung5 VARCHAR(255) DEFAULT NULL,
  bezeichnung_intern VARCHAR(255) DEFAULT NULL,
  hiernr INT(11) DEFAULT NULL,
  hierident INT(11) DEFAULT NULL,
  anhang INT(11) DEFAULT NULL,
  kfmwg INT(11) DEFAULT NULL,
  bild VARCHAR(255) DEFAULT NULL,
  bild_gross VARCHAR(255) DEFAULT NULL,
  beschreibung MEDIUMTEXT,
  beschreibung2 MEDIUMTEXT,
  beschreibung3 MEDIUMTEXT,
  beschreibung4 MEDIUMTEXT,
  beschreibung5 MEDIUMTEXT,
  layout INT(11) DEFAULT NULL,
  link1 VARCHAR(255) DEFAULT NULL,
  link2 VARCHAR(255) DEFAULT NULL,
  wgnummer INT(11) DEFAULT NULL,
  anzahl INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_anhang (anhang),
  KEY ix_intern (bezeichnung_intern),
  KEY ix_hiernr (hiernr)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# waverbindung: zusätzliche Warengruppen eines Artikels (stufe 99: aus dem Artikel)
CREATE TABLE waverbindung (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  artikel INT(11) DEFAULT NULL,
  warengruppe INT(11) DEFAULT NULL,
  stufe INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_artikel (artikel),
  KEY ix_warengruppe (warengruppe)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# artikel: Artikel; zaehler = interne Artikelnummer der Warenwirtschaft
CREATE TABLE artikel (
  zaehler INT(11) NOT NULL,
  artikelnummer VARCHAR(40) DEFAULT NULL,
  suchbegriff VARCHAR(80) DEFAULT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  bezeichnung2 VARCHAR(255) DEFAULT NULL,
  einheit VARCHAR(40) DEFAULT NULL,
  hiernr INT(11) DEFAULT NULL,
  hierident INT(11) DEFAULT NULL,
  warengruppe INT(11) DEFAULT NULL,
  kfmart VARCHAR(20) DEFAULT NULL,
  vk1 DOUBLE DEFAULT NULL,
  vk2 DOUBLE DEFAULT NULL,
  vk3 DOUBLE DEFAULT NULL,
  vk4 DOUBLE DEFAULT NULL,
  vk5 DOUBLE DEFAULT NULL,
  vk6 DOUBLE DEFAULT NULL,
  vk7 DOUBLE DEFAULT NULL,
  vk8 DOUBLE DEFAULT NULL,
  vk9 DOUBLE DEFAULT NULL,
  umsatzsteuer DOUBLE DEFAULT NULL,
  preisnetto INT(11) DEFAULT NULL,
  rabattfaehig INT(11) DEFAULT NULL,
  bestand DOUBLE DEFAULT NULL,
  inventur DOUBLE DEFAULT NULL,
  mindesbestand DOUBLE DEFAULT NULL,
  lieferbar INT(11) DEFAULT NULL,
  gewicht DOUBLE DEFAULT NULL,
  ean VARCHAR(40) DEFAULT NULL,
  grundpreiseinheit VARCHAR(40) DEFAULT NULL,
  grundanzeige VARCHAR(100) DEFAULT NULL,
  empfehlung MEDIUMTEXT,
  startseite ENUM('true','false') DEFAULT 'false',
  bild_klein VARCHAR(255) DEFAULT NULL,
  bild_gross VARCHAR(255) DEFAULT NULL,
  langtext MEDIUMTEXT,
  zfeld1 VARCHAR(255) DEFAULT NULL,
  zfeld2 VARCHAR(255) DEFAULT NULL,
  zfeld3 VARCHAR(255) DEFAULT NULL,
  zfeld4 VARCHAR(255) DEFAULT NULL,
  zfeld5 VARCHAR(255) DEFAULT NULL,
  zfeld6 VARCHAR(255) DEFAULT NULL,
  zfeld7 VARCHAR(255) DEFAULT NULL,
  zfeld8 VARCHAR(255) DEFAULT NULL,
  zfeld9 VARCHAR(255) DEFAULT NULL,
  zfeld10 VARCHAR(255) DEFAULT NULL,
  angelegt DATE DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_artikelnummer (artikelnummer),
  KEY ix_warengruppe (warengruppe)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# sonderpreise: Sonderpreise (kunde >= 0) und Staffelpreise (kunde = -(Preisstufe+1))
CREATE TABLE sonderpreise (
  id INT(11) NOT NULL AUTO_INCREMENT,
  kunde INT(11) DEFAULT NULL,
  kfmadr INT(11) DEFAULT NULL,
  kfmart INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  wgruppe INT(11) DEFAULT NULL,
  kfmwg INT(11) DEFAULT NULL,
  menge DOUBLE DEFAULT NULL,
  preis DOUBLE DEFAULT NULL,
  rabatt DOUBLE DEFAULT NULL,
  PRIMARY KEY (id),
  KEY ix_kunde_artikel (kunde,artikel),
  KEY ix_artikel (artikel)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# varianten: Artikelvarianten (Eigenschaften eigen1 bis eigen5)
CREATE TABLE varianten (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  id INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  ean VARCHAR(40) DEFAULT NULL,
  eigen1 VARCHAR(255) DEFAULT NULL,
  eigen2 VARCHAR(255) DEFAULT NULL,
  eigen3 VARCHAR(255) DEFAULT NULL,
  eigen4 VARCHAR(255) DEFAULT NULL,
  eigen5 VARCHAR(255) DEFAULT NULL,
  bestand DOUBLE DEFAULT NULL,
  vk DOUBLE DEFAULT NULL,
  aufpreis INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_artikel (artikel)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# adressen: Kunden, Lieferanten, Interessenten; adresse < 0: im Shop angemeldet, art 9999: im Shop geändert
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
  lieferadresse INT(11) DEFAULT NULL,
  zahlart INT(11) DEFAULT NULL,
  rabatt DOUBLE DEFAULT NULL,
  vk INT(11) DEFAULT NULL,
  steuer INT(11) DEFAULT NULL,
  waehrung INT(11) DEFAULT NULL,
  passwort VARCHAR(100) DEFAULT NULL,
  kfmadr INT(11) DEFAULT NULL,
  PRIMARY KEY (adresse),
  KEY ix_nummer (nummer),
  KEY ix_email (email),
  KEY ix_art (art)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# bestellungen: Bestellungen der Kunden (person = adresse)
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# bestellpositionen: Positionen einer Bestellung
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# warenkorb: Warenkörbe offener Sitzungen
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# favoriten: Merkzettel der Kunden
CREATE TABLE favoriten (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adresse INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adresse (adresse)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# produktbewertung: Bewertungen der Artikel durch Kunden (user = adresse)
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# counter: Besuchszähler (adressid = adresse des angemeldeten Kunden)
CREATE TABLE counter (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adressid INT(11) DEFAULT NULL,
  artikel INT(11) DEFAULT NULL,
  seite VARCHAR(255) DEFAULT NULL,
  ip VARCHAR(45) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adressid (adressid)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# lieferadressen: weitere Lieferanschriften der Kunden
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# adrart: Adressgruppen der Warenwirtschaft
CREATE TABLE adrart (
  art INT(11) NOT NULL,
  mandant INT(11) DEFAULT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  rabatt DOUBLE DEFAULT NULL,
  PRIMARY KEY (art)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# adrartver: Zuordnung Adresse zu Adressgruppe
CREATE TABLE adrartver (
  zaehler INT(11) NOT NULL,
  adresse INT(11) DEFAULT NULL,
  art INT(11) DEFAULT NULL,
  mandant INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_adresse (adresse)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# zahlart: Zahlarten; id = Nummer der Zahlart, kfmart = Zahlungskondition der Warenwirtschaft
CREATE TABLE zahlart (
  id INT(11) NOT NULL,
  kfmart INT(11) DEFAULT NULL,
  neukunde INT(11) DEFAULT NULL,
  beschreibung VARCHAR(255) DEFAULT NULL,
  beschreibung2 VARCHAR(255) DEFAULT NULL,
  beschreibung3 VARCHAR(255) DEFAULT NULL,
  beschreibung4 VARCHAR(255) DEFAULT NULL,
  beschreibung5 VARCHAR(255) DEFAULT NULL,
  beschreibung_2 VARCHAR(255) DEFAULT NULL,
  beschreibung_2_2 VARCHAR(255) DEFAULT NULL,
  beschreibung_2_3 VARCHAR(255) DEFAULT NULL,
  beschreibung_2_4 VARCHAR(255) DEFAULT NULL,
  beschreibung_2_5 VARCHAR(255) DEFAULT NULL,
  bemerkung MEDIUMTEXT,
  bemerkung2 MEDIUMTEXT,
  bemerkung3 MEDIUMTEXT,
  bemerkung4 MEDIUMTEXT,
  bemerkung5 MEDIUMTEXT,
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# laender: Länder mit Währung und Flagge
CREATE TABLE laender (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  laendername VARCHAR(80) DEFAULT NULL,
  waerungsname VARCHAR(60) DEFAULT NULL,
  kurs DOUBLE DEFAULT NULL,
  fahne VARCHAR(255) DEFAULT NULL,
  eu VARCHAR(20) DEFAULT NULL,
  sprache VARCHAR(50) DEFAULT NULL,
  egident VARCHAR(10) DEFAULT NULL,
  isolaendercode VARCHAR(20) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_laendername (laendername)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# versand: Versandarten
CREATE TABLE versand (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  versandart VARCHAR(80) DEFAULT NULL,
  versandart2 VARCHAR(80) DEFAULT NULL,
  versandart3 VARCHAR(80) DEFAULT NULL,
  versandart4 VARCHAR(80) DEFAULT NULL,
  versandart5 VARCHAR(80) DEFAULT NULL,
  versandkosten DOUBLE DEFAULT NULL,
  versandkosten_ausland DOUBLE DEFAULT NULL,
  beschreibung MEDIUMTEXT,
  beschreibung2 MEDIUMTEXT,
  beschreibung3 MEDIUMTEXT,
  beschreibung4 MEDIUMTEXT,
  beschreibung5 MEDIUMTEXT,
  PRIMARY KEY (zaehler),
  KEY ix_versandart (versandart)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# nachgewicht: Versandkosten nach Gewicht
CREATE TABLE nachgewicht (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  volumen DOUBLE DEFAULT NULL,
  gewicht DOUBLE DEFAULT NULL,
  versender VARCHAR(80) DEFAULT NULL,
  preis DOUBLE DEFAULT NULL,
  preis_ausland DOUBLE DEFAULT NULL,
  land VARCHAR(20) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_gewicht (gewicht)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# news: Neuigkeiten der Startseite
CREATE TABLE news (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  header VARCHAR(80) DEFAULT NULL,
  header2 VARCHAR(80) DEFAULT NULL,
  header3 VARCHAR(80) DEFAULT NULL,
  header4 VARCHAR(80) DEFAULT NULL,
  header5 VARCHAR(80) DEFAULT NULL,
  inhalt MEDIUMTEXT,
  inhalt2 MEDIUMTEXT,
  inhalt3 MEDIUMTEXT,
  inhalt4 MEDIUMTEXT,
  inhalt5 MEDIUMTEXT,
  bild VARCHAR(255) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_header (header)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# faq_gruppe: FAQ-Themen; z = Zähler der Datenbank, zaehler = Nummer aus dem DatenManager
CREATE TABLE faq_gruppe (
  z INT(11) NOT NULL AUTO_INCREMENT,
  zaehler INT(11) DEFAULT NULL,
  bezeichnung VARCHAR(255) DEFAULT NULL,
  bezeichnung2 VARCHAR(255) DEFAULT NULL,
  bezeichnung3 VARCHAR(255) DEFAULT NULL,
  bezeichnung4 VARCHAR(255) DEFAULT NULL,
  bezeichnung5 VARCHAR(255) DEFAULT NULL,
  hiernr INT(11) DEFAULT NULL,
  hierident INT(11) DEFAULT NULL,
  bild VARCHAR(255) DEFAULT NULL,
  PRIMARY KEY (z)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# faq_thema: FAQ-Einträge einer Gruppe
CREATE TABLE faq_thema (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  gruppe INT(11) DEFAULT NULL,
  beschreibung VARCHAR(255) DEFAULT NULL,
  beschreibung2 VARCHAR(255) DEFAULT NULL,
  beschreibung3 VARCHAR(255) DEFAULT NULL,
  beschreibung4 VARCHAR(255) DEFAULT NULL,
  beschreibung5 VARCHAR(255) DEFAULT NULL,
  hilfe MEDIUMTEXT,
  hilfe2 MEDIUMTEXT,
  hilfe3 MEDIUMTEXT,
  hilfe4 MEDIUMTEXT,
  hilfe5 MEDIUMTEXT,
  bild VARCHAR(255) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_gruppe (gruppe)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# newsletter: Empfänger des Newsletters
CREATE TABLE newsletter (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  EMail VARCHAR(100) DEFAULT NULL,
  kdnummer VARCHAR(40) DEFAULT NULL,
  html INT(11) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_email (EMail)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# newsletter_not: gesperrte Adressen, die keinen Newsletter bekommen
CREATE TABLE newsletter_not (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  EMail VARCHAR(100) DEFAULT NULL,
  kdnummer VARCHAR(40) DEFAULT NULL,
  PRIMARY KEY (zaehler),
  KEY ix_email (EMail)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# gutscheine: Gutscheine
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
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# shopadmin: Zugänge zur Shopverwaltung
CREATE TABLE shopadmin (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  benutzer VARCHAR(40) DEFAULT NULL,
  passwort VARCHAR(100) DEFAULT NULL,
  rechte INT(11) DEFAULT NULL,
  letzter_zugriff DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# suchanfragen: Suchbegriffe der Besucher
CREATE TABLE suchanfragen (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  begriff VARCHAR(255) DEFAULT NULL,
  anzahl INT(11) DEFAULT NULL,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
# kontaktanfragen: Anfragen über das Kontaktformular
CREATE TABLE kontaktanfragen (
  zaehler INT(11) NOT NULL AUTO_INCREMENT,
  adresse INT(11) DEFAULT NULL,
  email VARCHAR(100) DEFAULT NULL,
  betreff VARCHAR(255) DEFAULT NULL,
  nachricht MEDIUMTEXT,
  datum DATETIME DEFAULT NULL,
  PRIMARY KEY (zaehler)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
#
INSERT INTO version (version, info) VALUES (7.0, 'Shopdatenbank 7.0');
#
