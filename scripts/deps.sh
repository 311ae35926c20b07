#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Quick when everything is already there: apt is only asked for missing packages.
set -euo pipefail
packages=(
  cmake g++ make ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-l10n-tools qt6-translations-l10n
  appstream desktop-file-utils dpkg-dev file mmdebstrap
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk xvfb xauth imagemagick
  mtools dosfstools util-linux linux-perf
  libsystemd-dev systemd dbus-daemon udev polkitd udisks2 e2fsprogs fdisk
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix googletest wine wine64
)
missing=()
for p in "${packages[@]}"; do
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
