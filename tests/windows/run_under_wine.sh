#!/usr/bin/env bash
# Runs one of the layers' test programs built for Windows under Wine, as a ctest test of the
# Linux build.
#
#   run_under_wine.sh [--ftp-servers] PROGRAM [GTEST ARGUMENTS...]
#
# PROGRAM is bin/PROGRAM.exe of the Windows build ($KVB_WINDOWS_BUILD_DIR, else build-win64/ of
# $KVB_SOURCE_DIR). The Wine prefix is the one WindowsWinePrefix.Setup booted for this ctest run
# ($KVB_BINARY_DIR/wine-prefix); run by hand without one, a prefix of its own is booted and
# removed again. Exits 77 (ctest: skipped) where Wine or the program is missing.
#
# --ftp-servers: the program's tests need real FTP servers, which a Windows program cannot start
# under Wine: pyftpdlib and vsftpd are started here, on 127.0.0.1, each with a folder of its own,
# and handed to the program as KVB_WINDOWS_PYFTPD=PORT;ROOT and KVB_WINDOWS_VSFTPD=PORT;ROOT (the
# roots as Wine names them, Z:\...); they are stopped when the program ends.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=${KVB_SOURCE_DIR:-$(cd "$here/../.." && pwd)}

servers=0
if [ "${1:-}" = "--ftp-servers" ]; then
  servers=1
  shift
fi
program=$1
shift
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
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "${own_prefix:-}" ]; then WINEPREFIX=$own_prefix wineserver -k 2>/dev/null || true; fi
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
  # As tests/app/wine_prefix.sh: Wine's null display driver.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$work/wineboot.log" 2>&1
fi

# A Linux path as the Windows program sees it.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# free_port: a TCP port on 127.0.0.1 that nothing listens on right now.
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for_port PORT PID NAME: until the server listens, or fail with its log.
wait_for_port() {
  local port=$1 pid=$2 name=$3
  for _ in $(seq 1 100); do
    if /usr/bin/python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; then
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  echo "$name did not start on port $port:" >&2
  cat "$work/$name.log" >&2 || true
  exit 1
}

if [ "$servers" -eq 1 ]; then
  mkdir -p "$work/pyftpd" "$work/vsftpd"
  port=$(free_port)
  /usr/bin/python3 "$source_dir/tests/peers/pyftpd.py" --root "$work/pyftpd" --port "$port" \
    --user dlmorv --password ka47tz19 --anonymous >"$work/pyftpd.log" 2>&1 &
  pids+=($!)
  wait_for_port "$port" "$!" pyftpd
  export KVB_WINDOWS_PYFTPD="$port;$(wine_path "$work/pyftpd")"
  echo "pyftpdlib on 127.0.0.1:$port serving $work/pyftpd"
fi

export KVB_SOURCE_DIR=$(wine_path "$source_dir") KVB_BINARY_DIR=$(wine_path "$windows_build")
cd "$windows_build/bin"
echo "wine $exe $*"
wine "$exe" --gtest_color=no "$@" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
