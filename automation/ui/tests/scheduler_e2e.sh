#!/bin/sh
# cfgtool -a without a display: the timetable of attivita.dat runs on the
# offscreen platform, an activity due every minute starts its program (a
# quoted argument reaches it as one word, no shell in between) and logs the
# start in file_log.txt, and SIGTERM ends the program the orderly way.
#   usage: scheduler_e2e.sh CFGTOOL
set -eu
CFGTOOL=$1
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/cfgtool.err" >&2 || true; exit 1; }

pad() { printf "%-$2s" "$1"; }
{
  pad "Ogni minuto" 40; printf ' 0\r\n'
  for column in 1 2 3 4; do pad "*" 20; printf ' '; done; printf 'SSSSSSS\r\n'
  pad "sh -c \"echo eseguito >> '$work/ran.txt'\"" 255; printf '\r\n'
  pad "" 255; printf '\r\n'
  pad "" 255; printf '\r\n'
} >"$work/attivita.dat"

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export CFGTOOL_LOCK_FILE="$work/orbita.lock"
(cd "$work" && exec "$CFGTOOL" -a) 2>"$work/cfgtool.err" >/dev/null &
pid=$!

# The activity comes due at the next full minute.
waited=0
until [ -s "$work/ran.txt" ]; do
  [ $waited -lt 75 ] || fail "the activity did not run within 75 s"
  kill -0 "$pid" 2>/dev/null || fail "cfgtool ended by itself"
  sleep 1
  waited=$((waited + 1))
done
[ "$(cat "$work/ran.txt")" = "eseguito" ] || fail "the program wrote: $(cat "$work/ran.txt")"
grep -q "^\*\*\*\*: [0-9][0-9]/[0-9][0-9]/[0-9]\{4\} [0-9:]\{8\} esecuzione sh -c \"echo eseguito >> '$work/ran.txt'\"$(printf '\r')\$" \
  "$work/file_log.txt" || fail "log: $(od -c "$work/file_log.txt" | head)"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ $status -eq 0 ] || fail "exit status $status after SIGTERM"
echo "scheduler e2e: ok"
