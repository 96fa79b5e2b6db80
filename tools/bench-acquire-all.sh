#!/bin/sh
# Times "cfgctl acquire --all" on a plant of 100 simulated TCP terminals with
# different record counts, next to the time its slowest terminal takes alone:
#   tools/bench-acquire-all.sh [BUILD_DIR] [TERMINALS]
# Not a test: it prints the figures the README quotes.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
count=${2:-100}
work=$(mktemp -d)
sim=""
stop() { [ -n "$sim" ] && { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }; sim=""; }
trap 'stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# Terminal i holds 50 to 349 attendance records; the models take turns.
models="LX-K1 LX-K2 LX-K3 LX-K4 LX-K5 LX-P1 LX-P2"
i=1
while [ "$i" -le "$count" ]; do
  model=$(echo $models | cut -d' ' -f$(( (i - 1) % 7 + 1 )))
  echo "terminal number=$i model=$model address=$(( i % 250 + 1 )) via=tcp attendance=$(( 50 + i * 53 % 300 )) seed=$i description=Varco $i"
  i=$((i + 1))
done > "$work/plant.txt"
slowest=$(sed 's/.*number=\([0-9]*\) .*attendance=\([0-9]*\) .*/\2 \1/' "$work/plant.txt" | sort -n | tail -1)
records=$(sed 's/.*attendance=\([0-9]*\) .*/\1/' "$work/plant.txt" | awk '{ s += $1 } END { print s }')

# Serves the plant afresh (every record not yet collected) in $work/plant.
serve() {
  stop
  rm -rf "$work/plant" && mkdir "$work/plant"
  "$build/sim/termsim" --plant "$work/plant.txt" --config "$work/plant" > "$work/termsim.out" &
  sim=$!
  n=0
  until grep -q '^ready$' "$work/termsim.out" 2>/dev/null; do
    n=$((n + 1))
    if [ $n -gt 200 ] || ! kill -0 "$sim" 2>/dev/null; then echo "the plant did not start" >&2; exit 1; fi
    sleep 0.1
  done
}
seconds() { date +%s.%N; }

serve
start=$(seconds)
"$build/cfgctl/cfgctl" -C "$work/plant" acquire --all > "$work/all.out" 2> "$work/all.err" || {
  cat "$work/all.err" >&2; echo "acquire --all failed" >&2; exit 1; }
all=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { print b - a }')
got=$(wc -l < "$work/plant/file_reg.txt")
[ "$got" -eq "$records" ] || { echo "file_reg.txt has $got lines, the plant held $records records" >&2; exit 1; }

serve
number=${slowest#* }
start=$(seconds)
"$build/cfgctl/cfgctl" -C "$work/plant" "$number" acquire > /dev/null 2>&1
one=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { print b - a }')
stop

printf '%d terminals, %d records: acquire --all %.1f s; the slowest terminal alone (%s records) %.1f s\n' \
  "$count" "$records" "$all" "${slowest% *}" "$one"
