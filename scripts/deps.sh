#!/usr/bin/env bash
# Installs the Debian packages one job needs, named by set:
#
#   scripts/deps.sh run       build the programs and run the window (the default)
#   scripts/deps.sh test      run + what the test suite needs
#   scripts/deps.sh bench     run + what the benchmarks compare against
#   scripts/deps.sh fuzz      test + clang for the sanitizers and the fuzzer
#   scripts/deps.sh windows   the cross-build for Windows, its Qt and its tests under wine
#   scripts/deps.sh ci        every set, plus the udisks2 stack and the package checks
#
# Several sets may be named at once. Quick when everything is already there: apt is
# only asked for missing packages, without their recommendations.
set -euo pipefail
[ $# -gt 0 ] || set -- run

# The core (sd-bus, xxHash, JSON), the window (Qt Widgets, lrelease, Qt's own
# Chinese, a font with the window's Chinese characters).
run=(
  cmake g++ make ninja-build pkg-config
  libsystemd-dev libxxhash-dev nlohmann-json3-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-l10n-tools qt6-translations-l10n fonts-noto-cjk
)
# GoogleTest; the tests that make FAT and ext4 file systems, loop devices and
# partitions; real X for the window tests that want one.
test=(
  libgtest-dev libgmock-dev
  mtools dosfstools e2fsprogs fdisk util-linux
  xvfb xauth
)
bench=(libbenchmark-dev mtools dosfstools linux-perf)
windows=(
  cmake ninja-build dpkg-dev xz-utils
  g++-mingw-w64-x86-64-posix googletest wine wine64 nsis
  qt6-base-dev-tools qt6-l10n-tools qt6-translations-l10n
  libxxhash-dev nlohmann-json3-dev
  xvfb xauth imagemagick fonts-noto-cjk fonts-wqy-microhei
)
fuzz=(clang-14 libclang-rt-14-dev)
ci_only=(
  appstream desktop-file-utils file mmdebstrap imagemagick
  systemd dbus-daemon udev polkitd udisks2
)

packages=()
for set in "$@"; do
  case $set in
    run) packages+=("${run[@]}") ;;
    test) packages+=("${run[@]}" "${test[@]}") ;;
    bench) packages+=("${run[@]}" "${bench[@]}") ;;
    fuzz) packages+=("${run[@]}" "${test[@]}" "${fuzz[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    ci) packages+=("${run[@]}" "${test[@]}" "${bench[@]}" "${fuzz[@]}" "${windows[@]}" "${ci_only[@]}") ;;
    *) echo "deps.sh: no set named '$set' (run, test, bench, fuzz, windows, ci)" >&2; exit 2 ;;
  esac
done

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root (or with sudo) to install packages" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
