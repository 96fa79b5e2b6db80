#!/bin/sh
# Builds the Debian packages from a built tree, installs them, runs the
# installed programs on the demo plant, and removes them again:
#   tools/check-package.sh [BUILD_DIR]
# cfgctl --help, the libraries and files in place, then tools/run-demo.sh
# headless with /usr/bin/cfgctl, /usr/bin/cfgtool and /usr/bin/termsim: every
# terminal collected and compared byte for byte, and the sample batch run by
# cfgtool on the simulated handhelds; then "cfgctl acquire --all" on the demo
# plant. Run as root, or as a user who may use sudo.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

fail() { echo "package check: $*" >&2; exit 1; }

# The check removes what it installed: it must not take away an installation of the user's.
for p in cfgtool cfgtool-sim; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    fail "$p is installed on this machine; the check would remove it (apt-get remove $p first)"
  fi
done

(cd "$build" && rm -f cfgtool_*.deb cfgtool-sim_*.deb && cpack -G DEB) > "$build/cpack.log" 2>&1 ||
  { cat "$build/cpack.log" >&2; fail "cpack did not build the packages"; }
set -- "$build"/cfgtool_*.deb "$build"/cfgtool-sim_*.deb
[ -f "$1" ] && [ -f "$2" ] || fail "cpack left no cfgtool_*.deb and cfgtool-sim_*.deb in $build"
echo "Packages: $(basename "$1") $(basename "$2")"

work=$(mktemp -d)
sim=""
remove() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  $SUDO apt-get remove -y cfgtool cfgtool-sim > "$work/remove.log" 2>&1 || cat "$work/remove.log" >&2
  rm -rf "$work"
}
trap remove EXIT
trap 'exit 1' INT TERM
$SUDO apt-get install -y "$1" "$2" > "$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install failed"; }

/usr/bin/cfgctl --help > "$work/help.txt" || fail "cfgctl --help failed"
grep -q "acquire --all" "$work/help.txt" || fail "cfgctl --help does not show acquire --all"
for f in /usr/lib/udev/rules.d/60-cfgtool-handhelds.rules /usr/share/applications/cfgtool.desktop \
         /usr/share/icons/hicolor/32x32/apps/cfgtool.png /usr/share/man/man1/cfgtool.1.gz \
         /usr/share/man/man1/cfgctl.1.gz /usr/share/doc/cfgtool/examples/cfgctl-acquire.timer; do
  [ -f "$f" ] || fail "$f is not installed"
done
/sbin/ldconfig -p | grep -q 'libbtbridge\.so ' || fail "the loader does not find libbtbridge.so"
for p in /usr/bin/cfgtool /usr/bin/cfgctl /usr/bin/termsim; do
  if ldd "$p" | grep -q "not found"; then ldd "$p" >&2; fail "$p misses a library"; fi
done
getent group cfgtool > /dev/null || fail "the group cfgtool was not created"

# The demo on the installed programs: a tree whose programs are /usr/bin's.
mkdir -p "$work/tree/cfgctl" "$work/tree/app/ui" "$work/tree/sim"
ln -s /usr/bin/cfgctl "$work/tree/cfgctl/cfgctl"
ln -s /usr/bin/cfgtool "$work/tree/app/ui/cfgtool"
ln -s /usr/bin/termsim "$work/tree/sim/termsim"
CFG_DEMO_HEADLESS=1 "$top/tools/run-demo.sh" "$work/tree" "$work/tree/demo" > "$work/demo.log" 2>&1 ||
  { cat "$work/demo.log" >&2; fail "the demo failed with the installed programs"; }
grep -q "A second collection finds nothing new" "$work/demo.log" || { cat "$work/demo.log" >&2; fail "the demo did not collect"; }
# What the example timer runs: the whole demo plant collected in one run, from the
# demo files cfgtool-sim installs.
mkdir "$work/all"
/usr/bin/termsim --plant /usr/share/cfgtool-sim/demo/plant.txt --config "$work/all" --expect "$work/all" \
  > "$work/all/termsim.out" 2>&1 &
sim=$!
i=0
until grep -q '^ready$' "$work/all/termsim.out" 2>/dev/null; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 $sim 2>/dev/null; then fail "the installed termsim did not serve the demo plant"; fi
  sleep 0.1
done
rc=0
(cd "$work/all" && /usr/bin/cfgctl acquire --all) > "$work/all/out.txt" 2>&1 || rc=$?
kill $sim 2>/dev/null || true
wait $sim 2>/dev/null || true
sim=""
[ $rc -eq 0 ] || { cat "$work/all/out.txt" >&2; fail "cfgctl acquire --all exited $rc"; }
sort "$work/all/file_reg.txt" > "$work/all/got.txt"
sort "$work/all/expected_reg.txt" > "$work/all/want.txt"
cmp -s "$work/all/got.txt" "$work/all/want.txt" || fail "acquire --all: file_reg.txt differs from the plant's records"
echo "The installed cfgctl, cfgtool and termsim ran the demo plant and collected it with acquire --all;"
echo "removing the packages."
