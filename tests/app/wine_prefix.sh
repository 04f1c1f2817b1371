#!/usr/bin/env bash
# The Wine prefix that the Windows program's tests share within one ctest run: booted once
# before them ("setup"), its Wine server stopped and the prefix removed after them ("cleanup").
# Where Wine or the Windows build is missing there is nothing to prepare: those tests skip.
#
#   wine_prefix.sh setup|cleanup DIR
#
# The prefix is DIR/prefix; DIR/booted marks one that finished booting. The Windows build is
# looked for where the tests look: $KVB_WINDOWS_BUILD_DIR, else build-win64/ of $KVB_SOURCE_DIR.
set -euo pipefail
action=$1
dir=$2
export WINEPREFIX=$dir/prefix WINEDEBUG=-all DISPLAY=

stop() {
  if [ -d "$WINEPREFIX" ] && command -v wineserver >/dev/null; then
    wineserver -k 2>/dev/null || true
    # Gone before the prefix is: a new prefix at the same path must not meet a dying server.
    wineserver -w 2>/dev/null || true
  fi
  rm -rf "$dir"
}

# A step that fails says which, with what Wine printed.
failed() {
  echo "wine prefix: '$BASH_COMMAND' failed (exit $1) in $WINEPREFIX" >&2
  [ -f "$dir/wineboot.log" ] && cat "$dir/wineboot.log" >&2
  exit "$1"
}

case $action in
setup)
  stop  # what an interrupted run left
  trap 'failed $?' ERR
  program=${KVB_WINDOWS_BUILD_DIR:-${KVB_SOURCE_DIR:-.}/build-win64}/bin/kvb-download.exe
  if ! command -v wine >/dev/null || [ ! -f "$program" ]; then
    echo "wine prefix: no Wine or no Windows build ($program): nothing to prepare"
    exit 0
  fi
  mkdir -p "$dir"
  if ! wine wineboot -i >"$dir/wineboot.log" 2>&1; then
    cat "$dir/wineboot.log" >&2
    echo "wine prefix: wineboot failed in $WINEPREFIX" >&2
    exit 1
  fi
  wine regedit "${KVB_SOURCE_DIR:-.}/scripts/wine-font-link.reg" >/dev/null 2>&1 || true
  # The X11 display driver where there is a display (a test's own Xvfb), else Wine's null one,
  # with which windows can still be made (a test program's hidden ones); without a driver
  # making a top-level window fails.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f >>"$dir/wineboot.log" 2>&1
  # A program that crashes prints its backtrace and ends, instead of waiting for a crash
  # dialog that nobody can see.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f \
    >>"$dir/wineboot.log" 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$dir/wineboot.log" 2>&1
  wineserver -w  # until the boot's processes have ended and the registry is written
  # A Wine server of its own, and Wine's services, kept running until the cleanup: otherwise each
  # test's program starts them, and they hold that test's output pipes open after it has ended.
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  touch "$dir/booted"
  echo "wine prefix: $WINEPREFIX booted"
  ;;
cleanup)
  stop
  ;;
*)
  echo "usage: wine_prefix.sh setup|cleanup DIR" >&2
  exit 2
  ;;
esac
