#!/usr/bin/env bash
# Proves the Debian package on this machine: builds it from the build folder
# of ./test.sh, installs it with apt-get, runs the installed marktvoll-cli
# through the demo's transfer from a fresh HOME (its program folder made
# from the package's templates), runs the nightly timer's own command line
# and starts the installed program offscreen once while the demo's servers
# run (package-live-checks.sh), checks the package with
# lintian, AppStream and desktop-file tools, and removes it again, leaving
# none of its files behind. Run as root (or with sudo available).
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD_DIR="${BUILD_DIR:-build}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

step() { echo; echo "== Paketprüfung: $*"; }
fail() { echo "FEHLER: $*" >&2; exit 1; }

step "Paket bauen"
cmake --build "$BUILD_DIR" -j "$(nproc)" --target marktvoll marktvoll-cli mv_package_files
rm -f "$BUILD_DIR"/marktvoll_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
DEB=$(ls "$ROOT/$BUILD_DIR"/marktvoll_*.deb)
VERSION=$(dpkg-deb -f "$DEB" Version)
echo "$DEB ($VERSION)"

WORK=$(mktemp -d /tmp/marktvoll-paket.XXXXXX)
installed=0
cleanup() {
  status=$?
  if [ "$installed" = 1 ] && dpkg-query -W marktvoll >/dev/null 2>&1; then
    $SUDO apt-get remove -y -qq marktvoll >/dev/null || true
  fi
  rm -rf "$WORK"
  exit $status
}
trap cleanup EXIT

step "lintian"
lintian --fail-on error "$DEB"

step "Installieren mit apt-get"
$SUDO apt-get install -y -qq --reinstall "$DEB" >/dev/null
installed=1
dpkg -L marktvoll | sort > "$WORK/files.txt"
for f in /usr/bin/marktvoll /usr/bin/marktvoll-cli /usr/share/marktvoll/shop/module/db_check/db_check.php \
         /usr/share/marktvoll/db/dbschema.sql /usr/share/marktvoll/wawi/WaWiIndexe.txt \
         /usr/share/man/man1/marktvoll-cli.1.gz /usr/lib/systemd/user/marktvoll-abgleich.timer \
         /usr/lib/systemd/user/marktvoll-abgleich.service /usr/share/icons/hicolor/48x48/apps/marktvoll.png; do
  grep -qx "$f" "$WORK/files.txt" || fail "$f fehlt im Paket"
done
for p in marktvoll-cli marktvoll; do
  got=$("/usr/bin/$p" --version)
  [ "$got" = "$p $VERSION" ] || fail "$p --version: '$got', erwartet '$p $VERSION'"
done
appstreamcli validate --no-net /usr/share/metainfo/de.marktvoll.datenmanager.metainfo.xml
desktop-file-validate /usr/share/applications/de.marktvoll.datenmanager.desktop
mkdir -m 700 "$WORK/runtime"
(cd "$WORK" && XDG_RUNTIME_DIR="$WORK/runtime" systemd-analyze verify --user \
   /usr/lib/systemd/user/marktvoll-abgleich.timer /usr/lib/systemd/user/marktvoll-abgleich.service) \
  || fail "systemd-analyze verify meldet Fehler in den Zeitplan-Dateien"
# The manual page names every command the installed tool has.
zcat /usr/share/man/man1/marktvoll-cli.1.gz > "$WORK/marktvoll-cli.1"
python3 packaging/check-manpage.py /usr/bin/marktvoll-cli "$WORK/marktvoll-cli.1"

step "Demo-Abgleich mit dem installierten marktvoll-cli, frisches HOME"
export HOME="$WORK/home"
mkdir -p "$HOME"
unset XDG_DATA_HOME MARKTVOLL_HOME
PF="$HOME/.local/share/marktvoll"
# While the demo's servers run: the nightly timer's command, the run lock
# and the program started offscreen (tools/ci/package-live-checks.sh).
PKG_WORK="$WORK" DEMO_CLI=/usr/bin/marktvoll-cli DEMO_DIR="$WORK/demo" DEMO_ARTICLES="${DEMO_ARTICLES:-500}" \
  DEMO_ADDRESSES="${DEMO_ADDRESSES:-200}" DEMO_THEN="$ROOT/tools/ci/package-live-checks.sh" \
  ./demo.sh > "$WORK/demo.log" 2>&1 \
  || { tail -60 "$WORK/demo.log"; fail "demo.sh mit dem installierten Programm"; }
sed -n '/^-- /p;/^startup/p' "$WORK/demo.log"
grep -q "wurde angelegt" "$WORK/demo.log" || fail "der Programmordner wurde nicht beim ersten Start angelegt"
cmp "$PF/shop/module/db_check/db_check.php" /usr/share/marktvoll/shop/module/db_check/db_check.php \
  || fail "Vorlagen nicht im Programmordner"
[ -f "$PF/ShopMod.ini" ] || fail "ShopMod.ini fehlt im Programmordner $PF"
python3 - "$WORK/demo/transfer-bericht.json" <<'PY' || { tail -60 "$WORK/demo.log"; fail "Demo-Abgleich nicht erfolgreich"; }
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
print("Demo-Abgleich: exitCode", r["exitCode"], "Schritte", len(r["steps"]))
sys.exit(0 if r["succeeded"] and len(r["steps"]) > 5 else 1)
PY
ls "$PF"/protokolle/transfer-*.json >/dev/null || fail "kein Protokoll in $PF/protokolle"

step "Entfernen mit apt-get remove"
$SUDO apt-get remove -y -qq marktvoll >/dev/null
installed=0
left=()
while read -r path; do
  [ "$path" = "/." ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder stays only when another package owns it too.
    if [ -z "$(ls -A "$path" 2>/dev/null)" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
      left+=("$path")
    fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done < "$WORK/files.txt"
[ ${#left[@]} -eq 0 ] || fail "nach dem Entfernen noch da: ${left[*]}"
echo "Paketprüfung erfolgreich: $(wc -l < "$WORK/files.txt") Einträge installiert und wieder entfernt."
