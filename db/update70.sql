ALTER TABLE faq_gruppe CHANGE zaehler z INT(11) NOT NULL AUTO_INCREMENT;
ALTER TABLE artikel ADD inventur DOUBLE DEFAULT NULL AFTER bestand;
ALTER TABLE adressen ADD lieferadresse INT(11) DEFAULT NULL AFTER homepage;
ALTER TABLE faq_gruppe ADD zaehler INT(11) DEFAULT NULL AFTER z;
UPDATE version SET version=7.0, info='Shopdatenbank 7.0';
