#!/usr/bin/env bash
# Runs a test program built for Windows under Wine, on a desktop of its own with a display, as a
# ctest test of the Linux build. Wine makes top-level windows, hidden ones too, only with a
# display.
#
#   run_under_wine_desktop.sh PROGRAM [GTEST ARGUMENTS...]
#
# PROGRAM is bin/PROGRAM.exe of the Windows build ($KVB_WINDOWS_BUILD_DIR, else build-win64/ of
# $KVB_SOURCE_DIR). The Wine prefix is the one WindowsWinePrefix.Setup booted for this ctest run
# ($KVB_BINARY_DIR/wine-prefix); run by hand without one, a prefix of its own is booted and
# removed again. Exits 77 (ctest: skipped) where Wine or the program is missing.
#
# That prefix was booted without a display, and its default desktop stays without one: the
# program runs on a desktop of its own (explorer /desktop=NAME,SIZE) on an Xvfb started here.
# Explorer does not hand back the program's exit code, so the verdict is GoogleTest's XML report.
# Without Xvfb the program runs on the default desktop, and its tests that need a display skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=${KVB_SOURCE_DIR:-$(cd "$here/../.." && pwd)}

program=$1
shift
windows_build=${KVB_WINDOWS_BUILD_DIR:-$source_dir/build-win64}
exe=$windows_build/bin/$program.exe

if ! command -v wine >/dev/null; then
  echo "skipped: Wine is not installed"
  exit 77
fi
if [ ! -f "$exe" ]; then
  echo "skipped: no Windows build of $program at $exe (scripts/build-windows builds it)"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kvb-wine-desktop.XXXXXX")
xvfb=
cleanup() {
  if [ -n "${own_prefix:-}" ]; then WINEPREFIX=$own_prefix wineserver -k 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export WINEDEBUG=-all DISPLAY=
shared=${KVB_BINARY_DIR:-}/wine-prefix
if [ -n "${KVB_BINARY_DIR:-}" ] && [ -f "$shared/booted" ]; then
  export WINEPREFIX=$shared/prefix
else
  own_prefix=$work/prefix
  export WINEPREFIX=$own_prefix
  echo "booting a Wine prefix of its own in $WINEPREFIX"
  wine wineboot -i >"$work/wineboot.log" 2>&1 || {
    cat "$work/wineboot.log" >&2
    exit 1
  }
fi

if command -v Xvfb >/dev/null; then
  # -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$work/display" ]; then
    cat "$work/xvfb.log" >&2
    echo "Xvfb did not start" >&2
    exit 1
  fi
  DISPLAY=:$(head -n 1 "$work/display")
fi

report=$work/report.xml
command=(wine "$exe")
if [ -n "$DISPLAY" ]; then
  command=(wine explorer "/desktop=kvb-tests,1024x768" "Z:${exe//\//\\}")
  echo "display $DISPLAY, desktop kvb-tests"
fi
cd "$windows_build/bin"
echo "${command[*]} $*"
set +e
timeout 600 "${command[@]}" --gtest_color=no "--gtest_output=xml:Z:${report//\//\\}" "$@" 2>&1 |
  tr -d '\r'
rc=${PIPESTATUS[0]}
set -e
if [ ! -s "$report" ]; then
  echo "no test report from $program (exit code $rc): it ended before it finished" >&2
  exit 1
fi
/usr/bin/python3 - "$report" <<'PY'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
tests, failures, errors = (int(root.get(k, "0")) for k in ("tests", "failures", "errors"))
failed = [
    case.get("classname", "") + "." + case.get("name", "")
    for case in root.iter("testcase")
    if case.find("failure") is not None or case.find("error") is not None
]
print(f"report: {tests} tests, {failures} failed, {errors} errors")
for name in failed:
    print(f"failed: {name}")
sys.exit(0 if tests > 0 and failures == 0 and errors == 0 and not failed else 1)
PY
# Without a desktop of its own the exit code is the program's, and must say the same.
[ -n "$DISPLAY" ] || exit "$rc"
