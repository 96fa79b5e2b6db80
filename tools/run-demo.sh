#!/bin/sh
# Runs the main job on the demo plant with an already built tree:
#   tools/run-demo.sh [BUILD_DIR] [DEMO_DIR]
# Starts the simulated plant, prepares a working directory for it, collects
# every terminal's records with cfgctl (the one behind the modem is dialled,
# streams its records and is hung up), shows where the archives are and
# checks them against the plant's records. Then cfgtool runs the sample batch
# demo/giornaliero.cmd unattended (offscreen) on the plant's handhelds and
# the archives, the tables sent and the log are checked. With a display it
# then serves the plant again with all its records and opens cfgtool in that
# directory, for the clerk to collect them from the menu or to run the batch
# from "&Batch". The plant stops at the end.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
demo=${2:-$build/demo}

rm -rf "$demo"
mkdir -p "$demo"

. "$top/tools/demo-settings.sh"
demo_settings "$demo"

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
# The simulated handhelds' buses, for cfgtool and cfgctl.
export_buses() {
  CFG_HID_SIM=$(sed -n 's/^hid //p' "$demo/termsim.out")
  CFG_BT_SIM=$(sed -n 's/^bt //p' "$demo/termsim.out")
  export CFG_HID_SIM CFG_BT_SIM
}
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

# The handhelds: cfgtool runs the sample batch from its command line (the
# program closes afterwards), in a folder of its own with the same settings.
# The folder's name holds "-a": a batch path is never taken for the switch.
echo
echo "Running the batch demo/giornaliero.cmd with cfgtool on the handhelds:"
batch="$demo/palmari-auto"
mkdir -p "$batch"
cp "$demo/acqreg.dat" "$demo/format.dat" "$top/demo/giornaliero.cmd" "$top/demo/giustifi.txt" "$batch/"
printf '13572468\r\n' > "$batch/password.txt"
cp "$batch/password.txt" "$demo/password.txt"
export_buses
if [ -x "$build/app/ui/cfgtool" ]; then
  # A lock of its own: another cfgtool on this machine does not stop the demo.
  (cd "$batch" && CFGTOOL_LOCK_FILE="$batch/orbita.lock" QT_QPA_PLATFORM=offscreen timeout 120 \
    "$build/app/ui/cfgtool" "$batch/giornaliero.cmd" \
    > "$batch/cfgtool.out" 2>&1) || { cat "$batch/cfgtool.out" >&2; echo "cfgtool did not run the batch" >&2; exit 1; }
  tr -d '\r' < "$batch/file_log.txt" | sed 's/^/  /'
  for kind in reg prd; do
    if ! cmp -s "$batch/file_$kind.txt" "$demo/expected_batch_$kind.txt"; then
      echo "batch: file_$kind.txt differs from the records the handhelds held" >&2
      exit 1
    fi
  done
  # The log, line by line (the stamps aside).
  {
    echo "----: inizio esecuzione batch STAMP"
    for id in B001 H001 H002; do
      echo "$id: acquisizione registrazioni ($(grep -c "^$id " "$demo/expected_batch_reg.txt") record) OK"
      echo "$id: invio data e ora OK"
      echo "$id: cancella tabella giustificativi OK"
      echo "$id: invio tabella giustificativi (3 record) OK"
      echo "$id: acq. registrazioni produzione ($(grep -c "^$id " "$demo/expected_batch_prd.txt") record) OK"
    done
    echo "----: fine esecuzione batch STAMP"
    echo
  } > "$batch/expected_log.txt"
  tr -d '\r' < "$batch/file_log.txt" |
    sed 's#batch [0-3][0-9]/[01][0-9]/20[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]$#batch STAMP#' > "$batch/log.txt"
  if ! cmp -s "$batch/log.txt" "$batch/expected_log.txt"; then
    diff "$batch/expected_log.txt" "$batch/log.txt" >&2 || true
    echo "batch: file_log.txt is not what the run did" >&2
    exit 1
  fi
  # What the handhelds hold now: the justifications, and no record left.
  for t in usb:H001 usb:H002 bt:B001; do
    "$ctl" -C "$batch" "$t" table receive justifications "$batch/received.txt" > /dev/null 2>&1
    cmp -s "$batch/received.txt" "$batch/giustifi.txt" || { echo "$t: the justifications did not arrive" >&2; exit 1; }
    left=$("$ctl" -C "$batch" "$t" count attendance)
    case "$left" in *" 0") ;; *) echo "$t: records left after the batch: $left" >&2; exit 1 ;; esac
    # The handhelds' clocks ran two hours behind; the batch set them to this PC's time.
    clock=$("$ctl" -C "$batch" "$t" time get | sed -n 's#^\([0-9][0-9]\)/\([0-9][0-9]\)/\([0-9]*\) \(.*\)$#\3-\2-\1 \4#p')
    off=$(( $(date +%s) - $(date -d "$clock" +%s) ))
    if [ "$off" -lt -60 ] || [ "$off" -gt 60 ]; then echo "$t: clock not set ($clock)" >&2; exit 1; fi
  done
  echo "The batch collected every handheld's records into the archives, set their clocks and"
  echo "sent them the justifications; its log matches the run line by line."
fi

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
  export_buses
  echo "Opening cfgtool in $demo on the plant served again with all its records (the archives"
  echo "collected above are in $demo/cfgctl/). Connect from \"Lettori fissi\" -> \"Connessione"
  echo "terminale\", collect from \"Funzioni\"; run the handhelds' batch from \"&Batch\" ->"
  echo "\"&Esegui batch file\" ($demo/palmari-auto/giornaliero.cmd). The plant keeps running until"
  echo "cfgtool is closed."
  (cd "$demo" && "$build/app/ui/cfgtool")
fi
