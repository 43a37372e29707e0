#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs the program on the
# built-in demo: a generated demo WaWi, a private MariaDB and the gateway
# script served by PHP on 127.0.0.1. Everything lives in demo-run/ (or
# $DEMO_DIR) and the servers stop when the script ends.
#   ./demo.sh            set up, install the shop schema, show what was found
#   ./demo.sh --gui      ... then start the program (needs a display)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
GUI=0
[ "${1:-}" = "--gui" ] && GUI=1

tools/install-deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target marktvoll marktvoll-cli mv_program_files
CLI="$ROOT/$BUILD_DIR/marktvoll-cli"

DEMO_DIR="$(realpath -m "${DEMO_DIR:-$ROOT/demo-run}")"
rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR/home"
# The program folder: scripts, the local shop folder and the index catalog.
cp -r "$BUILD_DIR/db" "$BUILD_DIR/shop" "$BUILD_DIR/wawi" "$DEMO_DIR/home/"
export MARKTVOLL_HOME="$DEMO_DIR/home"
export MARKTVOLL_REGISTRY="$DEMO_DIR/registry.reg"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

PIDS=()
cleanup() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

echo "== Demo-Warenwirtschaft erzeugen"
"$CLI" wawi demo "$DEMO_DIR/wawi" --articles "${DEMO_ARTICLES:-2000}" --addresses "${DEMO_ADDRESSES:-500}"

echo "== Private MariaDB starten"
DB_PORT=$(free_port)
DB_DIR="$DEMO_DIR/mysql"
mkdir -p "$DB_DIR"
USEROPT=()
[ "$(id -u)" -eq 0 ] && USEROPT=(--user=root)
mariadb-install-db --no-defaults --datadir="$DB_DIR/data" --auth-root-authentication-method=normal \
    --skip-test-db "${USEROPT[@]}" >"$DB_DIR/install.log" 2>&1
mariadbd --no-defaults --datadir="$DB_DIR/data" --socket="$DB_DIR/mysqld.sock" --port="$DB_PORT" \
    --bind-address=127.0.0.1 --pid-file="$DB_DIR/mysqld.pid" --log-error="$DB_DIR/error.log" \
    --skip-name-resolve --skip-log-bin --character-set-server=latin1 --collation-server=latin1_swedish_ci \
    --max-allowed-packet=64M "${USEROPT[@]}" &
PIDS+=($!)
for _ in $(seq 1 60); do
  mariadb --no-defaults --socket="$DB_DIR/mysqld.sock" -uroot -e 'SELECT 1' >/dev/null 2>&1 && break
  sleep 0.5
done
mariadb --no-defaults --socket="$DB_DIR/mysqld.sock" -uroot <<'SQL'
CREATE DATABASE shop CHARACTER SET latin1;
CREATE USER 'shop'@'127.0.0.1' IDENTIFIED BY 'demo';
CREATE USER 'shop'@'localhost' IDENTIFIED BY 'demo';
GRANT ALL ON *.* TO 'shop'@'127.0.0.1';
GRANT ALL ON *.* TO 'shop'@'localhost';
SQL

echo "== Gateway-Skript auf 127.0.0.1 starten"
WEB_PORT=$(free_port)
php -S "127.0.0.1:$WEB_PORT" -t "$MARKTVOLL_HOME/shop" >"$DEMO_DIR/php.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 40); do
  curl -fs "http://127.0.0.1:$WEB_PORT/module/db_check/db_check.php" >/dev/null 2>&1 && break
  sleep 0.25
done

echo "== Einstellungen (ShopMod.ini)"
"$CLI" settings set SQL_Server "HTML-Verbindung" SQL_HTTP "http://127.0.0.1:$WEB_PORT" \
    SQL_Host "127.0.0.1:$DB_PORT" SQL_User shop SQL_Pass demo SQL_Data shop
"$CLI" settings

echo "== Warenwirtschaft"
"$CLI" wawi detect

if "$CLI" --help 2>&1 | grep -q 'schema'; then
  echo "== Shop-Datenbank einrichten (über das Gateway-Skript)"
  "$CLI" schema install --yes
  "$CLI" sql "SELECT * FROM version"
fi

echo "== Stammdaten des Shops (Tabellendateien im Programmordner)"
# What the editors for countries, shipping, news, FAQ and newsletter
# addresses would have written: XML data packets in Windows-1252.
packet() { iconv -f UTF-8 -t WINDOWS-1252 > "$MARKTVOLL_HOME/$1"; }
memo() { printf '%s' "$1" | iconv -f UTF-8 -t WINDOWS-1252 | base64 -w0; }
HEAD='<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>'
mkdir -p "$MARKTVOLL_HOME/bilder"
for pic in "$DEMO_DIR"/wawi/bilder/*.jpg; do cp "$pic" "$MARKTVOLL_HOME/bilder/flagge de.jpg"; break; done
packet laender4.xml <<XML
${HEAD}<FIELD attrname="laendername" fieldtype="string" WIDTH="80"/><FIELD attrname="waerungsname" fieldtype="string" WIDTH="60"/><FIELD attrname="kurs" fieldtype="r8"/><FIELD attrname="fahne" fieldtype="string" WIDTH="200"/><FIELD attrname="eu" fieldtype="string" WIDTH="20"/><FIELD attrname="sprache" fieldtype="string" WIDTH="50"/><FIELD attrname="egident" fieldtype="string" WIDTH="10"/><FIELD attrname="isolaendercode" fieldtype="string" WIDTH="20"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW laendername="Deutschland" waerungsname="Euro" kurs="1" fahne="bilder&#092;flagge de.jpg" eu="0" sprache="deutsch" egident="1" isolaendercode="DE"/><ROW laendername="Österreich" waerungsname="Euro" kurs="1" eu="1" sprache="deutsch" egident="1" isolaendercode="AT"/><ROW laendername="Schweiz" waerungsname="Franken" kurs="0.94" eu="1" sprache="deutsch" egident="0" isolaendercode="CH"/><ROW laendername="Côte d&apos;Ivoire" waerungsname="Franc CFA" kurs="655.957" eu="1" sprache="französisch" egident="0" isolaendercode="CI"/></ROWDATA></DATAPACKET>
XML
packet versandtart6.xml <<XML
${HEAD}<FIELD attrname="versandart" fieldtype="string" WIDTH="80"/><FIELD attrname="versandkosten" fieldtype="r8"/><FIELD attrname="versandkosten_ausland" fieldtype="r8"/><FIELD attrname="beschreibung" fieldtype="bin.hex" SUBTYPE="Text" WIDTH="200"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW versandart="DHL Paket" versandkosten="4.9" versandkosten_ausland="14.9" beschreibung="$(memo $'bis 31,5 kg\r\nversichert')"/><ROW versandart="Abholung im Laden" versandkosten="0"/></ROWDATA></DATAPACKET>
XML
packet versandkosten4.xml <<XML
${HEAD}<FIELD attrname="volumen" fieldtype="r8"/><FIELD attrname="gewicht" fieldtype="r8"/><FIELD attrname="versender" fieldtype="string" WIDTH="80"/><FIELD attrname="preis" fieldtype="r8"/><FIELD attrname="preis_ausland" fieldtype="r8"/><FIELD attrname="Land" fieldtype="string" WIDTH="20"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW volumen="0" gewicht="2.5" versender="DHL" preis="4.9" preis_ausland="14.9" Land="D"/><ROW volumen="0" gewicht="31.5" versender="Spedition Müller &amp; Söhne" preis="19.5" preis_ausland="49" Land="D"/></ROWDATA></DATAPACKET>
XML
packet news6.xml <<XML
${HEAD}<FIELD attrname="header" fieldtype="string" WIDTH="80"/><FIELD attrname="inhalt" fieldtype="bin.hex" SUBTYPE="Text" WIDTH="250"/><FIELD attrname="bild" fieldtype="string" WIDTH="200"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW header="Neu: Gartenmöbel &amp; Zubehör" inhalt="$(memo $'Ab sofort im Shop.\r\n<HTML><b>Nur diese Woche:</b>\r\n10 % auf alles</HTML>')"/><ROW header="Betriebsferien" inhalt="$(memo 'Vom 24.12. bis 2.1. geschlossen.')"/></ROWDATA></DATAPACKET>
XML
packet faq_gruppe6.xml <<XML
${HEAD}<FIELD attrname="z" fieldtype="i4" SUBTYPE="Autoinc" readonly="true"/><FIELD attrname="zaehler" fieldtype="i4"/><FIELD attrname="bezeichnung" fieldtype="string" WIDTH="255"/><FIELD attrname="hiernr" fieldtype="i4"/><FIELD attrname="hierident" fieldtype="i4"/><FIELD attrname="Bild" fieldtype="string" WIDTH="250"/></FIELDS><PARAMS AUTOINCVALUE="3"/></METADATA><ROWDATA><ROW z="1" zaehler="1" bezeichnung="Bestellung &amp; Versand" hiernr="1" hierident="0"/><ROW z="2" zaehler="2" bezeichnung="Rücksendung" hiernr="2" hierident="0"/></ROWDATA></DATAPACKET>
XML
packet faq_thema6.xml <<XML
${HEAD}<FIELD attrname="zaehler" fieldtype="i4" SUBTYPE="Autoinc" readonly="true"/><FIELD attrname="gruppe" fieldtype="i4"/><FIELD attrname="beschreibung" fieldtype="string" WIDTH="80"/><FIELD attrname="hilfe" fieldtype="bin.hex" SUBTYPE="Text" WIDTH="255"/><FIELD attrname="Bild" fieldtype="string" WIDTH="250"/></FIELDS><PARAMS AUTOINCVALUE="2"/></METADATA><ROWDATA><ROW zaehler="1" gruppe="1" beschreibung="Wie lange dauert&apos;s?" hilfe="$(memo $'In der Regel 2 Werktage.\r\nIns Ausland länger.')"/></ROWDATA></DATAPACKET>
XML
packet newsletter_adr.xml <<XML
${HEAD}<FIELD attrname="EMAIL" fieldtype="string" WIDTH="100"/><FIELD attrname="kdnummer" fieldtype="string" WIDTH="40"/><FIELD attrname="html" fieldtype="i4"/><FIELD attrname="iupdate" fieldtype="dateTime"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW EMAIL="anna.schmidt@example.org" kdnummer="10001" html="1" iupdate="20261102T09:15:00000"/><ROW EMAIL="o&apos;neill@example.org" html="0" iupdate="20261201T18:40:00000"/></ROWDATA></DATAPACKET>
XML
packet newsletter_notadr.xml <<XML
${HEAD}<FIELD attrname="EMAIL" fieldtype="string" WIDTH="100"/><FIELD attrname="kdnummer" fieldtype="string" WIDTH="40"/><FIELD attrname="html" fieldtype="i4"/><FIELD attrname="iupdate" fieldtype="dateTime"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW EMAIL="keine.werbung@example.org" iupdate="20261015T12:00:00000"/></ROWDATA></DATAPACKET>
XML
packet zahlungsart_6.xml <<XML
${HEAD}<FIELD attrname="Zahlungsart" fieldtype="i4"/><FIELD attrname="Art" fieldtype="string" WIDTH="80"/><FIELD attrname="Bezeichnung_2" fieldtype="string" WIDTH="80"/><FIELD attrname="Bemerkung" fieldtype="bin.hex" SUBTYPE="Text" WIDTH="200"/><FIELD attrname="Online" fieldtype="boolean"/><FIELD attrname="OnlineAusland" fieldtype="boolean"/><FIELD attrname="Kreditkarte" fieldtype="boolean"/><FIELD attrname="Bankdaten" fieldtype="boolean"/><FIELD attrname="Versandgebuehren" fieldtype="r8"/><FIELD attrname="Versandgebuehren_ausland" fieldtype="r8"/><FIELD attrname="NeuKunde" fieldtype="i4"/><FIELD attrname="Skonto" fieldtype="r8"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW Zahlungsart="1" Art="Vorkasse" Bezeichnung_2="Überweisung vor Versand" Bemerkung="$(memo $'Bitte überweisen Sie den Betrag\r\nvor dem Versand.')" Online="TRUE" OnlineAusland="TRUE" Kreditkarte="FALSE" Bankdaten="FALSE" Versandgebuehren="0" Versandgebuehren_ausland="0" NeuKunde="1" Skonto="2"/><ROW Zahlungsart="2" Art="Rechnung" Bezeichnung_2="Zahlung auf Rechnung (nur Stammkunden)" Online="TRUE" OnlineAusland="FALSE" NeuKunde="0" Skonto="0"/><ROW Zahlungsart="3" Art="Lastschrift" Bezeichnung_2="Bankeinzug &#8211; bitte Kontodaten angeben" Online="TRUE" OnlineAusland="FALSE" Bankdaten="TRUE" NeuKunde="1"/><ROW Zahlungsart="4" Art="Nachnahme" Bezeichnung_2="Zahlung bei Lieferung" Online="FALSE" Versandgebuehren="6.5" NeuKunde="0"/><ROW Zahlungsart="5" Art="Kreditkarte" Bezeichnung_2="Visa &amp; Mastercard" Online="TRUE" OnlineAusland="TRUE" Kreditkarte="TRUE" NeuKunde="0"/><ROW Zahlungsart="6" Art="Kauf auf Raten (O&apos;Brien Bank)" Bezeichnung_2="Finanzierung ab 100 &#8364;" Online="TRUE" NeuKunde="0"/></ROWDATA></DATAPACKET>
XML
"$CLI" tablefile dump "$MARKTVOLL_HOME/laender4.xml" >/dev/null
"$CLI" tablefile dump "$MARKTVOLL_HOME/zahlungsart_6.xml" >/dev/null

if "$CLI" --help 2>&1 | grep -q 'schema'; then
  echo "== Im Shop registrierte Kunden (noch ohne WaWi-Nummer, mit Bestellungen und Favoriten)"
  # What the shop's own registration leaves behind: negative numbers,
  # e-mail only, waiting for "Adressänderungen aus dem Shop holen".
  "$CLI" sql --execute "INSERT INTO adressen (adresse,art,anrede,name1,strasse,plz,ort,land,email,passwort) VALUES
    (-1,0,'Frau','Jana Weiß','Lindenallee 3','50667','Köln','D','jana.weiss@example.org','kätzchen'),
    (-2,0,'Herr','Seán O''Brien','Hauptstraße 12 \\ Hinterhaus','80331','München','D','sean.obrien@example.org','pw&1'),
    (-3,0,'Firma','Müller & Söhne GbR','Am Markt 1','01067','Dresden','D','info@mueller-soehne.example','geheim')"
  "$CLI" sql --execute "INSERT INTO bestellungen (person,datum,zustand,zahlart,versandart,summe) VALUES
    (-1,NOW(),1,1,'DHL Paket',49.9),(-2,NOW(),1,3,'DHL Paket',12.5),(-2,NOW(),2,3,'Abholung im Laden',7)"
  "$CLI" sql --execute "INSERT INTO favoriten (adresse,artikel,datum) VALUES (-1,1,NOW()),(-1,2,NOW()),(-3,5,NOW())"
  "$CLI" sql --execute "INSERT INTO produktbewertung (artikel,user,bewertung,titel,datum,freigegeben) VALUES
    (1,-2,5,'Sehr gut, gern wieder',NOW(),1)"
fi

echo "== Datenbankabgleich: komplette Übertragung (marktvoll-cli transfer)"
TRANSFER_STATUS=0
# DEMO_TRANSFER_ARGS adds options (e.g. --one-by-one to compare the protocols).
"$CLI" transfer --all-kinds --complete --report "$DEMO_DIR/transfer-bericht.json" \
    --log-sql "$DEMO_DIR/transfer.sql" ${DEMO_TRANSFER_ARGS:-} || TRANSFER_STATUS=$?
echo "(Exit-Status $TRANSFER_STATUS; Bericht als JSON: $DEMO_DIR/transfer-bericht.json," \
     "gesendete Anweisungen: $DEMO_DIR/transfer.sql)"
if "$CLI" --help 2>&1 | grep -q 'schema'; then
  echo "== Die geholten Shop-Kunden: WaWi-Nummer, Bestellungen und Favoriten"
  "$CLI" sql "SELECT a.adresse,a.art,a.name1,a.email,a.zahlart,
      (SELECT COUNT(*) FROM bestellungen b WHERE b.person=a.adresse) AS bestellungen,
      (SELECT COUNT(*) FROM favoriten f WHERE f.adresse=a.adresse) AS favoriten
    FROM adressen a WHERE a.email IN ('jana.weiss@example.org','sean.obrien@example.org','info@mueller-soehne.example')"
  "$CLI" sql "SELECT id,kfmart,neukunde,beschreibung,aktiv FROM zahlart ORDER BY id"
fi

if [ "$GUI" = 1 ]; then
  echo "== Programm starten"
  "$ROOT/$BUILD_DIR/marktvoll"
else
  echo
  echo "Fertig. Mit ./demo.sh --gui startet danach das Programm auf diesen Daten."
fi
