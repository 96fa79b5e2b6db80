#!/bin/sh
# cfgtool end to end, headless: start-up loads a working directory (named
# with an accented letter) whose registry points at a termsim terminal, a
# second copy is refused with a non-zero status while the first runs, SIGTERM
# closes the first the orderly way and frees the lock, a batch path that
# contains "-a" runs as a batch (the program closes) instead of starting the
# scheduler, a command-line batch in a fresh folder never stops on a box, an
# unreadable batch ends the program with its reason, without a display and
# without work the program says so and ends, and on a display (Xvfb, when
# installed) a command-line batch never waits for a click.
#   usage: cfgtool_e2e.sh CFGTOOL TERMSIM
set -eu
CFGTOOL=$1
TERMSIM=$2
work=$(mktemp -d)
simpid=""
firstpid=""
cleanup() {
  [ -n "$firstpid" ] && kill "$firstpid" 2>/dev/null || true
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; for f in "$work"/*.err; do echo "== $f" >&2; cat "$f" >&2; done; exit 1; }

export QT_QPA_PLATFORM=offscreen
export CFGTOOL_LOCK_FILE="$work/orbita.lock"

"$TERMSIM" --model LX-P2 --address 1 --tcp 0 >"$work/termsim.out" &
simpid=$!
i=0
until grep -q '^tcp ' "$work/termsim.out" 2>/dev/null; do
  i=$((i + 1)); [ $i -lt 100 ] || fail "termsim did not start"; sleep 0.1
done
port=$(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/termsim.out")

plant="$work/Impianto città"
mkdir "$plant"
cd "$plant"
printf '%04u %-30s %-5s %03d %-4s %-5s %c %c %c %-15s %c %03d.%03d.%03d.%03d %05u %c %-99s %c\r\n' \
  1 "Ingresso termsim" LX-P2 1 COM1 " 9600" F F F "" V 127 0 0 1 "$port" F "" 0 >config.dat

# 1. Diagnostic start-up: the working directory is shown as it is named, the
#    registry row is read and shown.
"$CFGTOOL" -d >"$work/first.out" 2>"$work/first.err" &
firstpid=$!
i=0
until grep -q "Ingresso termsim" "$work/first.err" 2>/dev/null; do
  i=$((i + 1)); [ $i -lt 200 ] || fail "the first copy did not load config.dat"
  kill -0 "$firstpid" 2>/dev/null || fail "the first copy ended"
  sleep 0.1
done
grep -qF "[szCurrentDirectory] $plant" "$work/first.err" || fail "working directory not shown as named"
grep -q "127.000.000.001 $(printf '%05u' "$port")" "$work/first.err" || fail "row not read whole"

# 2. A second copy says so and closes with a non-zero status; the first goes on.
rc=0
timeout 30 "$CFGTOOL" >"$work/second.out" 2>"$work/second.err" || rc=$?
[ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] || fail "second copy: exit $rc"
grep -q '^\[Error Message\] Program already running$' "$work/second.err" || fail "second copy did not refuse"
kill -0 "$firstpid" || fail "the first copy was disturbed"

# 3. SIGTERM: orderly shutdown, exit code 0.
kill -TERM "$firstpid"
rc=0
i=0
while kill -0 "$firstpid" 2>/dev/null; do
  i=$((i + 1)); [ $i -lt 200 ] || fail "the first copy did not close"; sleep 0.1
done
wait "$firstpid" || rc=$?
firstpid=""
[ "$rc" -eq 0 ] || fail "the first copy exited with $rc"

# 4. The lock is free again; a batch path with "-a" in it runs and closes.
mkdir -p "$work/data"
: >"$work/data/daily-acq.cmd"
rc=0
timeout 30 "$CFGTOOL" "$work/data/daily-acq.cmd" >"$work/batch.out" 2>"$work/batch.err" || rc=$?
[ "$rc" -ne 124 ] || fail "the batch run did not close"
if grep -q "Program already running" "$work/batch.err"; then fail "the lock was not released"; fi
if grep -q "programmazione" "$work/batch.err"; then fail "the scheduler was started"; fi

# 5. A fresh folder (no acqreg.dat): the batch run never stops on a box.
mkdir "$work/fresh"
cd "$work/fresh"
rc=0
timeout 30 "$CFGTOOL" "$work/data/daily-acq.cmd" >"$work/fresh.out" 2>"$work/fresh.err" || rc=$?
[ "$rc" -ne 124 ] || fail "the fresh batch run did not close"
if grep -q "Attenzione" "$work/fresh.err"; then fail "a settings box stopped the batch run"; fi

# 6. An unreadable batch: its path and the reason, and a non-zero status.
rc=0
timeout 30 "$CFGTOOL" "$work/data/missing.cmd" >"$work/missing.out" 2>"$work/missing.err" || rc=$?
[ "$rc" -eq 2 ] || fail "unreadable batch: exit $rc"
grep -qF "[Error Message] Errore: lettura file batch $work/data/missing.cmd non riuscita: No such file or directory" \
  "$work/missing.err" || fail "unreadable batch not reported"

# 7. No display, no batch, no -a: nothing to show, said on standard error.
rc=0
env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY timeout 30 "$CFGTOOL" >"$work/nodisplay.out" \
  2>"$work/nodisplay.err" || rc=$?
[ "$rc" -eq 4 ] || fail "no display: exit $rc"
grep -q "nessuna finestra da mostrare" "$work/nodisplay.err" || fail "no display: not said"
# 8. On a desktop too, a command-line batch never waits for a click.
if command -v xvfb-run >/dev/null 2>&1; then
  cd "$work/fresh"
  rc=0
  env -u QT_QPA_PLATFORM timeout 60 xvfb-run -a "$CFGTOOL" "$work/data/daily-acq.cmd" >"$work/desktop.out" \
    2>"$work/desktop.err" || rc=$?
  [ "$rc" -ne 124 ] || fail "the batch run on a display waited"
  if grep -q "Attenzione" "$work/desktop.err"; then fail "a settings box came up on the display"; fi
fi
echo "cfgtool end to end: ok"
