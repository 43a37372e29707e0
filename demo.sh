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

if [ "$GUI" = 1 ]; then
  echo "== Programm starten"
  "$ROOT/$BUILD_DIR/marktvoll"
else
  echo
  echo "Fertig. Mit ./demo.sh --gui startet danach das Programm auf diesen Daten."
fi
