ALTER TABLE artikel ADD grundpreiseinheit VARCHAR(40) DEFAULT NULL AFTER lieferbar;
ALTER TABLE artikel ADD grundanzeige VARCHAR(100) DEFAULT NULL AFTER grundpreiseinheit;
ALTER TABLE artikel ADD empfehlung MEDIUMTEXT AFTER grundanzeige;
ALTER TABLE artikel ADD startseite ENUM('true','false') DEFAULT 'false' AFTER empfehlung;
UPDATE version SET version=2.6, info='Shopdatenbank 2.6';
