#!/bin/sh
# The Windows programs under Wine:
#   tools/wine-check.sh LINUX_BUILD WINDOWS_BUILD [WORK_DIR]
# 1. the core tests (.exe) run under Wine through ctest;
# 2. the demo plant is served twice by the Linux termsim, and every fixed
#    terminal (TCP, a serial line on a pseudo-terminal, the one behind the
#    modem) is collected from one copy by the Linux cfgctl and from the
#    other by cfgctl.exe under Wine, the serial lines reached as COM ports
#    through Wine's device links. Every archive of the two must be the same
#    byte for byte, and match the records the plant holds.
# Wine runs in a prefix of its own under WORK_DIR, with one wine server kept
# running for the whole check.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
work=${3:-$windows/wine-check}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine turns Unix names and arguments into Windows ones through the locale's
# character set: UTF-8, as the names are.
export LC_ALL=C.UTF-8
# The Windows copy's folder has a name outside ASCII: the program must
# reach it, and every file in it, by its UTF-16 name.
winwork="$work/cartella-è"
# The server is started on its own, its output not on ctest's pipes (a
# server started by the first test would hold them open until it exits).
mkdir -p "$WINEPREFIX"
"$wineserver" -p > /dev/null 2>&1 < /dev/null
sims=""
cleanup() {
  for pid in $sims; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k > /dev/null 2>&1 || true
}
trap cleanup EXIT INT TERM
echo "== Wine prefix"
"$wine" cmd /c ver > "$work/ver.txt" 2>&1 || { cat "$work/ver.txt" >&2; echo "Wine does not start" >&2; exit 1; }
tr -d '\r' < "$work/ver.txt" | sed '/^$/d'

echo "== Core tests under Wine"
ctest --test-dir "$windows" --output-on-failure

. "$top/tools/demo-settings.sh"
# Serves one copy of the demo plant for DIR (config.dat, porte.dat and the
# records it holds are written there).
serve() {
  mkdir -p "$1"
  demo_settings "$1"
  "$linux/sim/termsim" --plant "$top/demo/plant.txt" --config "$1" --expect "$1" > "$1/termsim.out" &
  sims="$sims $!"
  i=0
  until grep -q '^ready$' "$1/termsim.out" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "termsim did not start for $1" >&2; exit 1; fi
    sleep 0.1
  done
}
serve "$work/linux"
serve "$winwork"

# COMn of the plant is the pseudo-terminal porte.dat names: Wine's comN link.
while read -r name device; do
  case "$name" in COM*) ;; *) continue ;; esac
  n=${name#COM}
  ln -sfn "$device" "$WINEPREFIX/dosdevices/com$n"
  echo "$name -> $device"
done < "$winwork/porte.dat"
rm -f "$winwork/porte.dat"  # Windows has real COM names

terminals=$(grep '^terminal' "$work/linux/termsim.out" | cut -d' ' -f2)
windir="Z:$(echo "$winwork" | tr / '\\')"
for n in $terminals; do
  printf 'terminal %s: Linux: %s' "$n" "$("$linux/cfgctl/cfgctl" -C "$work/linux" "$n" acquire attendance)"
  printf ' | Windows: %s\n' "$("$wine" "$windows/cfgctl/cfgctl.exe" --trace "$windir\\trace-$n.txt" -C "$windir" \
    "$n" acquire attendance | tr -d '\r')"
done
for kind in production canteen; do
  "$linux/cfgctl/cfgctl" -C "$work/linux" 1 acquire $kind > /dev/null
  "$wine" "$windows/cfgctl/cfgctl.exe" -C "$windir" 1 acquire $kind > /dev/null
done

status=0
for f in file_reg.txt file_out.txt file_prd.txt file_cnt.txt file_mns.txt; do
  [ -f "$work/linux/$f" ] || [ -f "$winwork/$f" ] || continue
  if cmp "$work/linux/$f" "$winwork/$f"; then
    echo "$f: the same $(wc -c < "$work/linux/$f") bytes from both"
  else
    echo "$f differs between the Linux and the Windows cfgctl:" >&2
    diff "$work/linux/$f" "$winwork/$f" | head -n 20 >&2 || true
    status=1
  fi
done
for kind in reg prd mns; do
  cmp -s "$winwork/file_$kind.txt" "$winwork/expected_$kind.txt" ||
    { echo "file_$kind.txt from cfgctl.exe differs from the records the plant holds" >&2; status=1; }
done
if [ $status -ne 0 ]; then
  # What went over the Windows program's lines, for the terminal that went wrong.
  for t in "$winwork"/trace-*.txt; do echo "== $(basename "$t") (last lines)"; tail -n 15 "$t"; done >&2
  exit $status
fi
echo "cfgctl.exe under Wine collected the plant byte for byte as cfgctl on Linux."
