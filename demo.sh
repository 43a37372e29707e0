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
if [ -n "${DEMO_CLI:-}" ]; then
  # An installed marktvoll-cli (the package check): no build, and the
  # program's own per-user folder, made from the package's templates.
  CLI="$DEMO_CLI"
  GUI_PROGRAM="$(dirname "$CLI")/marktvoll"
else
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target marktvoll marktvoll-cli mv_program_files
  CLI="$ROOT/$BUILD_DIR/marktvoll-cli"
  GUI_PROGRAM="$ROOT/$BUILD_DIR/marktvoll"
fi

DEMO_DIR="$(realpath -m "${DEMO_DIR:-$ROOT/demo-run}")"
rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR/home"
if [ -n "${DEMO_CLI:-}" ]; then
  unset MARKTVOLL_HOME
  PF="${XDG_DATA_HOME:-$HOME/.local/share}/marktvoll"
else
  # The program folder: scripts, the local shop folder and the index catalog.
  cp -r "$BUILD_DIR/db" "$BUILD_DIR/shop" "$BUILD_DIR/wawi" "$DEMO_DIR/home/"
  export MARKTVOLL_HOME="$DEMO_DIR/home"
  PF="$MARKTVOLL_HOME"
fi
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
php -S "127.0.0.1:$WEB_PORT" -t "$PF/shop" >"$DEMO_DIR/php.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 40); do
  curl -fs "http://127.0.0.1:$WEB_PORT/module/db_check/db_check.php" >/dev/null 2>&1 && break
  sleep 0.25
done

echo "== Einstellungen (ShopMod.ini)"
"$CLI" settings set SQL_Server "HTML-Verbindung" SQL_HTTP "http://127.0.0.1:$WEB_PORT" \
    SQL_Host "127.0.0.1:$DB_PORT" SQL_User shop SQL_Pass demo SQL_Data shop
"$CLI" settings

echo "== config.php des Shops (wie der Konfigurationseditor sie schreibt)"
# The gateway connects only to the database host config.php names; the
# program window would otherwise make one for "localhost" on first start.
"$CLI" config update
"$CLI" config set '$dbhost' "127.0.0.1:$DB_PORT"
"$CLI" config set '$dbname' shop
"$CLI" config set '$dbuser' shop
"$CLI" config set '$dbpass' demo

echo "== Warenwirtschaft"
"$CLI" wawi detect

if "$CLI" --help 2>&1 | grep -q 'schema'; then
  echo "== Shop-Datenbank einrichten (über das Gateway-Skript)"
  "$CLI" schema install --yes
  "$CLI" sql "SELECT * FROM version"
fi

echo "== Stammdaten des Shops (Tabellendateien im Programmordner)"
# Written by the program's own table-file writer, as the editors would.
mkdir -p "$PF/bilder"
for pic in "$DEMO_DIR"/wawi/bilder/*.jpg; do cp "$pic" "$PF/bilder/flagge de.jpg"; break; done
"$ROOT/tools/demo/masterdata.sh" "$CLI" "$PF"
"$CLI" tablefile dump "$PF/news6.xml"

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

# A further check on the running demo (the package check): an executable
# that finds the tool in $CLI and the program folder in $PF.
if [ -n "${DEMO_THEN:-}" ]; then
  echo "== $DEMO_THEN"
  CLI="$CLI" PF="$PF" DEMO_DIR="$DEMO_DIR" "$DEMO_THEN"
fi

if [ "$GUI" = 1 ]; then
  echo "== Programm starten"
  "$GUI_PROGRAM"
else
  echo
  echo "Fertig. Mit ./demo.sh --gui startet danach das Programm auf diesen Daten."
fi
