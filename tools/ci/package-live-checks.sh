#!/usr/bin/env bash
# Run by demo.sh (DEMO_THEN) while the demo's MariaDB and gateway are up,
# for tools/ci/package-check.sh: the nightly timer's own command line and
# the installed program started offscreen, both on the demo's program
# folder ($PF) with the installed programs ($CLI).
set -euo pipefail
: "${CLI:?}" "${PF:?}" "${PKG_WORK:?}"
fail() { echo "FEHLER: $*" >&2; exit 1; }

echo "-- Der Befehl des nächtlichen Zeitplans"
# ExecStart as systemd runs it, with %S the state folder of the user.
STATE="$PKG_WORK/state"
mkdir -p "$STATE/marktvoll"
line=$(sed -n 's/^ExecStart=//p' /usr/lib/systemd/user/marktvoll-abgleich.service)
read -r -a cmd <<< "${line//%S/$STATE}"
[ "${cmd[0]}" = "$CLI" ] || fail "der Zeitplan startet ${cmd[0]}, nicht $CLI"
rc=0
"${cmd[@]}" > "$PKG_WORK/nightly.out" 2> "$PKG_WORK/nightly.err" || rc=$?
cat "$PKG_WORK/nightly.err"
[ "$rc" = 0 ] || { cat "$PKG_WORK/nightly.out"; fail "nächtlicher Abgleich: Exit-Status $rc"; }
grep -q "Änderungen seit dem letzten erfolgreichen Abgleich" "$PKG_WORK/nightly.err" \
  || fail "--since-last fand den Abgleich der Demo nicht"
[ -s "$STATE/marktvoll/letzter-abgleich.json" ] || fail "kein Bericht unter %S/marktvoll"
[ "$(ls "$PF"/protokolle/transfer-*.json | wc -l)" -ge 2 ] || fail "die Läufe fehlen in $PF/protokolle"

echo "-- Ein zweiter Lauf gibt nach, solange einer läuft"
# The program folder's lock held as a run holds it; the manual call waits
# a second and exits with its own status.
rc=0
flock "$PF/abgleich.lock" env MARKTVOLL_RUNLOCK_WAIT=1 "$CLI" transfer --kinds laender --all \
  > /dev/null 2> "$PKG_WORK/locked.err" || rc=$?
[ "$rc" = 3 ] && grep -q "Ein anderer Datenbankabgleich läuft bereits" "$PKG_WORK/locked.err" \
  || { cat "$PKG_WORK/locked.err"; fail "gesperrter Lauf: Status $rc, erwartet 3"; }

echo "-- Das installierte Programm offscreen starten"
# The greeting of the first start is a modal box nobody would click here;
# the assistant itself still opens.
"$CLI" settings set Assi_Frage 1
rc=0
QT_QPA_PLATFORM=offscreen MARKTVOLL_STARTUP_TIME=quit timeout 180 "$(dirname "$CLI")/marktvoll" \
  > "$PKG_WORK/gui.log" 2>&1 || rc=$?
if [ "$rc" != 0 ] || ! grep -q "^startup [0-9]* ms" "$PKG_WORK/gui.log"; then
  cat "$PKG_WORK/gui.log"
  fail "marktvoll startete nicht (Status $rc)"
fi
grep "^startup" "$PKG_WORK/gui.log"
