#!/bin/sh
# Runs the main job on the demo plant with an already built tree:
#   tools/run-demo.sh [BUILD_DIR] [DEMO_DIR]
# Starts the simulated plant, prepares a working directory for it, collects
# every terminal's records with cfgctl (the one behind the modem is dialled,
# streams its records and is hung up), shows where the archives are and
# checks them against the plant's records; with a display it then serves the
# plant again with all its records and opens cfgtool in that directory, for
# the clerk to collect them from the menu. The plant stops at the end.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
demo=${2:-$build/demo}

rm -rf "$demo"
mkdir -p "$demo"

# Archives of the batch configuration (acqreg.dat): the fixed attendance
# layout, one user-defined layout (format PAGHE), production in both
# layouts, canteen.
blank() { printf '%-255s\r\n' ""; }
{
  printf '0\r\n1\r\n'; blank; blank
  printf '1 %-10s\r\n' PAGHE; blank; blank
  printf '0 %-10s\r\n' ""; blank; blank
  printf '1\r\n'; blank; blank
  printf '1\r\n'; blank; blank
  printf '1\r\n'; blank; blank
} > "$demo/acqreg.dat"
cp "$demo/acqreg.dat" "$demo/recent.dat"
printf '%-10s %-30s %-64s %-3s %-3s\r\n' \
  PAGHE "Paghe e stipendi" '%t;%n;%g/%m/20%a;%H:%M;%v' E U \
  ACCESSI "Controllo accessi" '%4t %-2v %z-%6n %a%m%g%H%M %c' IN OUT > "$demo/format.dat"

# Serves the plant (writing config.dat and porte.dat for it) and waits until
# it is ready.
start_plant() {
  "$build/sim/termsim" --plant "$top/demo/plant.txt" --config "$demo" --expect "$demo" > "$demo/termsim.out" &
  sim=$!
  i=0
  until grep -q '^ready$' "$demo/termsim.out" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 $sim 2>/dev/null; then echo "the demo plant did not start" >&2; exit 1; fi
    sleep 0.1
  done
}
stop_plant() { kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; }
trap stop_plant EXIT INT TERM
start_plant
echo "Demo plant:"
grep '^terminal' "$demo/termsim.out" | sed 's/^/  /'

echo "Collecting the records of every terminal with cfgctl:"
ctl="$build/cfgctl/cfgctl"
for n in $(grep '^terminal' "$demo/termsim.out" | cut -d' ' -f2); do
  printf 'terminal %s attendance: ' "$n"; "$ctl" -C "$demo" "$n" acquire attendance
done
printf 'terminal 1 production: '; "$ctl" -C "$demo" 1 acquire production
printf 'terminal 1 canteen:    '; "$ctl" -C "$demo" 1 acquire canteen
echo
for f in file_reg.txt file_out.txt file_prd.txt file_cnt.txt file_mns.txt; do
  [ -f "$demo/$f" ] || continue
  echo "$demo/$f ($(wc -l < "$demo/$f") lines):"
  head -n 3 "$demo/$f" | tr -d '\r' | sed 's/^/  /'
done
for kind in reg prd mns; do
  if ! cmp -s "$demo/file_$kind.txt" "$demo/expected_$kind.txt"; then
    echo "file_$kind.txt differs from the records the plant holds" >&2
    exit 1
  fi
done
echo "Every archive matches the records the plant holds."
for n in $(grep '^terminal' "$demo/termsim.out" | cut -d' ' -f2); do
  again=$("$ctl" -C "$demo" "$n" acquire attendance)
  if [ "$again" != "Acquisite 0 registrazioni." ]; then
    echo "terminal $n: a second collection found more: $again" >&2
    exit 1
  fi
done
echo "A second collection finds nothing new."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/app/ui/cfgtool" ] && [ -z "${CFG_DEMO_HEADLESS:-}" ]; then
  # The clerk's turn: the plant starts again with its records, the archives
  # collected above move aside, and cfgtool opens on the same folder.
  stop_plant
  mkdir -p "$demo/cfgctl"
  for f in "$demo"/file_*.txt "$demo"/*tmp.txt; do
    if [ -f "$f" ]; then mv "$f" "$demo/cfgctl/"; fi
  done
  start_plant
  echo
  echo "Opening cfgtool in $demo on the plant served again with all its records (the archives"
  echo "collected above are in $demo/cfgctl/). Connect from \"Lettori fissi\" -> \"Connessione"
  echo "terminale\", collect from \"Funzioni\". The plant keeps running until cfgtool is closed."
  (cd "$demo" && "$build/app/ui/cfgtool")
fi
