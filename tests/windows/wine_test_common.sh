# Sourced by the runners of the Windows test programs (run_under_wine.sh and
# run_under_wine_desktop.sh): the program, the skips, a work folder and the Wine prefix.
#
#   wine_test_begin PROGRAM   sets source_dir, windows_build, exe and work, and exports
#                             WINEPREFIX; exits 77 (ctest: skipped) where Wine or PROGRAM is
#                             missing
#   wine_test_end             stops a prefix of its own and removes the work folder (the
#                             runner's EXIT trap)
#
# PROGRAM is bin/PROGRAM.exe of the Windows build ($KVB_WINDOWS_BUILD_DIR, else build-win64/ of
# $KVB_SOURCE_DIR). The prefix is the one WindowsWinePrefix.Setup booted for this ctest run
# ($KVB_BINARY_DIR/wine-prefix); run by hand without one, tests/app/wine_prefix.sh boots one of
# its own in the work folder, set up the same way.

wine_test_begin() {
  local program=$1
  source_dir=${KVB_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
  windows_build=${KVB_WINDOWS_BUILD_DIR:-$source_dir/build-win64}
  exe=$windows_build/bin/$program.exe
  if ! command -v wine >/dev/null; then
    echo "skipped: Wine is not installed"
    exit 77
  fi
  if [ ! -f "$exe" ]; then
    echo "skipped: no Windows build of $program at $exe (scripts/build-windows --tests builds it)"
    exit 77
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/kvb-wine-test.XXXXXX")
  export WINEDEBUG=-all DISPLAY=
  local shared=${KVB_BINARY_DIR:-}/wine-prefix
  if [ -n "${KVB_BINARY_DIR:-}" ] && [ -f "$shared/booted" ]; then
    export WINEPREFIX=$shared/prefix
  else
    own_prefix=$work/own
    echo "booting a Wine prefix of its own in $own_prefix/prefix"
    KVB_SOURCE_DIR=$source_dir KVB_WINDOWS_BUILD_DIR=$windows_build \
      "$source_dir/tests/app/wine_prefix.sh" setup "$own_prefix"
    export WINEPREFIX=$own_prefix/prefix
  fi
}

wine_test_end() {
  if [ -n "${own_prefix:-}" ]; then
    "$source_dir/tests/app/wine_prefix.sh" cleanup "$own_prefix" >/dev/null || true
  fi
  if [ -n "${work:-}" ]; then rm -rf "$work"; fi
}
