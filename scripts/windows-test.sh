#!/usr/bin/env bash
# Runs the Windows build's tests under wine (scripts/windows-build.sh first).
#
# wine starts service processes that inherit the standard streams of the first
# program it runs; started by ctest they would hold its pipes open and ctest would
# never end. So wine's server and services are started here first, with every stream
# sent to /dev/null, and stopped at the end.
#
# As root, a loop device over a scratch image is linked as drive D: of the wine
# prefix, for the one test that reads and writes a raw drive (\\.\D:).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${OB_WIN_BUILD_DIR:-build-win}
wine64=$(command -v wine64 || true)
for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64; do
  [ -n "$wine64" ] || { [ -x "$candidate" ] && wine64=$candidate; }
done
if [ -z "$wine64" ]; then echo "windows-test: no wine64" >&2; exit 1; fi
wineserver=$(command -v wineserver || echo "$(dirname "$wine64")/wineserver")

export WINEPREFIX=${WINEPREFIX:-$PWD/$dir/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
mkdir -p "$WINEPREFIX"
# -p fails when a server for this prefix runs already, which serves as well; a server
# that cannot start at all stops the script at the wine64 call after it.
"$wineserver" -p </dev/null >/dev/null 2>&1 || true
"$wine64" cmd /c exit </dev/null >/dev/null 2>&1

loop=""
cleanup() {
  rm -f "$WINEPREFIX/dosdevices/d::"
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null || true
  "$wineserver" -k </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
if [ "$(id -u)" -eq 0 ] && command -v losetup >/dev/null; then
  image=$PWD/$dir/raw-drive.img
  rm -f "$image" && truncate -s 64M "$image"
  if loop=$(losetup -f --show "$image" 2>/dev/null); then
    ln -sfn "$loop" "$WINEPREFIX/dosdevices/d::"
    export OB_WINE_RAW_DRIVE='\\.\D:'
  else
    loop=""
    echo "windows-test: no loop device; the raw drive test skips"
  fi
fi
cd "$dir"
ctest --output-on-failure -j"$(nproc)" "$@"
