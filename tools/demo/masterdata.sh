#!/usr/bin/env bash
# The demo's shop master data: what the editors for countries, shipping,
# news, FAQ, payment methods and newsletter addresses would have written,
# written by the program's own table-file writer (one JSON object per
# record; memo texts as the editors keep them, with \r\n line ends).
#   tools/demo/masterdata.sh MARKTVOLL-CLI PROGRAMMORDNER
set -euo pipefail
CLI="$1"
HOME_DIR="$2"
table() { "$CLI" tablefile write "$HOME_DIR/$1" >/dev/null; }

table laender4.xml <<'JSON'
{"laendername": "Deutschland", "waerungsname": "Euro", "kurs": 1, "fahne": "bilder\\flagge de.jpg", "eu": "0", "sprache": "deutsch", "egident": "1", "isolaendercode": "DE"}
{"laendername": "Österreich", "waerungsname": "Euro", "kurs": 1, "eu": "1", "sprache": "deutsch", "egident": "1", "isolaendercode": "AT"}
{"laendername": "Schweiz", "waerungsname": "Franken", "kurs": 0.94, "eu": "1", "sprache": "deutsch", "egident": "0", "isolaendercode": "CH"}
{"laendername": "Côte d'Ivoire", "waerungsname": "Franc CFA", "kurs": 655.957, "eu": "1", "sprache": "französisch", "egident": "0", "isolaendercode": "CI"}
JSON

table versandtart6.xml <<'JSON'
{"versandart": "DHL Paket", "versandkosten": 4.9, "versandkosten_ausland": 14.9, "beschreibung": "bis 31,5 kg\r\nversichert"}
{"versandart": "Abholung im Laden", "versandkosten": 0}
JSON

table versandkosten4.xml <<'JSON'
{"volumen": 0, "gewicht": 2.5, "versender": "DHL", "preis": 4.9, "preis_ausland": 14.9, "Land": "D"}
{"volumen": 0, "gewicht": 31.5, "versender": "Spedition Müller & Söhne", "preis": 19.5, "preis_ausland": 49, "Land": "D"}
JSON

table news6.xml <<'JSON'
{"header": "Neu: Gartenmöbel & Zubehör", "inhalt": "Ab sofort im Shop.\r\n<HTML><b>Nur diese Woche:</b>\r\n10 % auf alles</HTML>"}
{"header": "Betriebsferien", "inhalt": "Vom 24.12. bis 2.1. geschlossen."}
JSON

table faq_gruppe6.xml <<'JSON'
{"z": 1, "zaehler": 1, "bezeichnung": "Bestellung & Versand", "hiernr": 1, "hierident": 0}
{"z": 2, "zaehler": 2, "bezeichnung": "Rücksendung", "hiernr": 2, "hierident": 0}
JSON

table faq_thema6.xml <<'JSON'
{"zaehler": 1, "gruppe": 1, "beschreibung": "Wie lange dauert's?", "hilfe": "In der Regel 2 Werktage.\r\nIns Ausland länger."}
JSON

table newsletter_adr.xml <<'JSON'
{"EMAIL": "anna.schmidt@example.org", "kdnummer": "10001", "html": 1, "iupdate": "2026-11-02T09:15:00"}
{"EMAIL": "o'neill@example.org", "html": 0, "iupdate": "2026-12-01T18:40:00"}
JSON

table newsletter_notadr.xml <<'JSON'
{"EMAIL": "keine.werbung@example.org", "iupdate": "2026-10-15T12:00:00"}
JSON

table zahlungsart_6.xml <<'JSON'
{"Zahlungsart": 1, "Art": "Vorkasse", "Bezeichnung_2": "Überweisung vor Versand", "Bemerkung": "Bitte überweisen Sie den Betrag\r\nvor dem Versand.", "Online": true, "OnlineAusland": true, "Kreditkarte": false, "Bankdaten": false, "Versandgebuehren": 0, "Versandgebuehren_ausland": 0, "NeuKunde": 1, "Skonto": 2}
{"Zahlungsart": 2, "Art": "Rechnung", "Bezeichnung_2": "Zahlung auf Rechnung (nur Stammkunden)", "Online": true, "OnlineAusland": false, "NeuKunde": 0, "Skonto": 0}
{"Zahlungsart": 3, "Art": "Lastschrift", "Bezeichnung_2": "Bankeinzug – bitte Kontodaten angeben", "Online": true, "OnlineAusland": false, "Bankdaten": true, "NeuKunde": 1}
{"Zahlungsart": 4, "Art": "Nachnahme", "Bezeichnung_2": "Zahlung bei Lieferung", "Online": false, "Versandgebuehren": 6.5, "NeuKunde": 0}
{"Zahlungsart": 5, "Art": "Kreditkarte", "Bezeichnung_2": "Visa & Mastercard", "Online": true, "OnlineAusland": true, "Kreditkarte": true, "NeuKunde": 0}
{"Zahlungsart": 6, "Art": "Kauf auf Raten (O'Brien Bank)", "Bezeichnung_2": "Finanzierung ab 100 €", "Online": true, "NeuKunde": 0}
JSON
