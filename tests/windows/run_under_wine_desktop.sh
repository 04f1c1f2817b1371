#!/usr/bin/env bash
# Runs a test program built for Windows under Wine, on a desktop of its own with a display, as a
# ctest test of the Linux build. Wine makes top-level windows, hidden ones too, only with a
# display.
#
#   run_under_wine_desktop.sh PROGRAM [GTEST ARGUMENTS...]
#
# PROGRAM, the Wine prefix and the skips (exit 77) are as wine_test_common.sh describes.
#
# That prefix was booted without a display, and its default desktop stays without one: the
# program runs on a desktop of its own (explorer /desktop=NAME,SIZE) on an Xvfb started here.
# Explorer does not hand back the program's exit code, so the verdict is GoogleTest's XML report.
# Without Xvfb the program runs on the default desktop, and its tests that need a display skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_test_common.sh"

program=$1
shift
xvfb=
cleanup() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  wine_test_end
}
trap cleanup EXIT
wine_test_begin "$program"

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
