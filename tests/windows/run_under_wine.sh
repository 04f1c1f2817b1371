#!/usr/bin/env bash
# Runs one of the layers' test programs built for Windows under Wine, as a ctest test of the
# Linux build.
#
#   run_under_wine.sh [--ftp-servers] PROGRAM [GTEST ARGUMENTS...]
#
# PROGRAM, the Wine prefix and the skips (exit 77) are as wine_test_common.sh describes.
#
# --ftp-servers: the program's tests need real FTP servers, which a Windows program cannot start
# under Wine: pyftpdlib and vsftpd are started on 127.0.0.1 by ftp-servers-for-wine of the Linux
# build (tests/windows/ftp_servers_for_wine.cpp), which hands them to the program through its
# environment and stops them when it ends.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_test_common.sh"

servers=0
if [ "${1:-}" = "--ftp-servers" ]; then
  servers=1
  shift
fi
program=$1
shift
trap wine_test_end EXIT
wine_test_begin "$program"

# A Linux path as the Windows program sees it.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

runner=()
if [ "$servers" -eq 1 ]; then
  runner=("${KVB_BINARY_DIR:?the Linux build folder}/bin/ftp-servers-for-wine" "$work/ftp-root")
fi

# The program's folders of the checkout and the build as it names them (tests/support/test_dirs.h).
windows_dirs=(KVB_SOURCE_DIR="$(wine_path "$source_dir")" KVB_BINARY_DIR="$(wine_path "$windows_build")")
cd "$windows_build/bin"
echo "wine $exe $*"
"${runner[@]}" env "${windows_dirs[@]}" wine "$exe" --gtest_color=no "$@" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
