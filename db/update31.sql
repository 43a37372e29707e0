ALTER TABLE laender ADD isolaendercode VARCHAR(20) DEFAULT NULL AFTER egident;
ALTER TABLE nachgewicht ADD land VARCHAR(20) DEFAULT NULL AFTER preis_ausland;
UPDATE version SET version=3.1, info='Shopdatenbank 3.1';
