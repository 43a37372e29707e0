# Löscht alle Tabellen der Shopdatenbank (vor dem Neuanlegen).
#
DROP TABLE IF EXISTS version;
#
DROP TABLE IF EXISTS wgruppen;
#
DROP TABLE IF EXISTS waverbindung;
#
DROP TABLE IF EXISTS artikel;
#
DROP TABLE IF EXISTS sonderpreise;
#
DROP TABLE IF EXISTS varianten;
#
DROP TABLE IF EXISTS adressen;
#
DROP TABLE IF EXISTS bestellungen;
#
DROP TABLE IF EXISTS bestellpositionen;
#
DROP TABLE IF EXISTS warenkorb;
#
DROP TABLE IF EXISTS favoriten;
#
DROP TABLE IF EXISTS produktbewertung;
#
DROP TABLE IF EXISTS counter;
#
DROP TABLE IF EXISTS lieferadressen;
#
DROP TABLE IF EXISTS adrart;
#
DROP TABLE IF EXISTS adrartver;
#
DROP TABLE IF EXISTS zahlart;
#
DROP TABLE IF EXISTS laender;
#
DROP TABLE IF EXISTS versand;
#
DROP TABLE IF EXISTS nachgewicht;
#
DROP TABLE IF EXISTS news;
#
DROP TABLE IF EXISTS faq_gruppe;
#
DROP TABLE IF EXISTS faq_thema;
#
DROP TABLE IF EXISTS newsletter;
#
DROP TABLE IF EXISTS newsletter_not;
#
DROP TABLE IF EXISTS gutscheine;
#
DROP TABLE IF EXISTS shopadmin;
#
DROP TABLE IF EXISTS suchanfragen;
#
DROP TABLE IF EXISTS kontaktanfragen;
#
