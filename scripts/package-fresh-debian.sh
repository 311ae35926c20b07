#!/usr/bin/env bash
# Installs the Debian package made by scripts/package.sh into a fresh, minimal Debian 12
# (built with mmdebstrap, as root) with `apt install ./orbelle-manager_*.deb`, so apt
# must find every runtime dependency on its own, then runs the installed obtool and the
# window offscreen on a fresh card image there.
#   scripts/package-fresh-debian.sh [DEB]     (default: the package in build/ or $OB_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-$(ls "${OB_BUILD_DIR:-build}"/orbelle-manager_*.deb)}
mirror=${OB_DEBIAN_MIRROR:-http://deb.debian.org/debian}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$deb" "$work/orbelle-manager.deb"
inside='set -e
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends ./tmp/orbelle-manager.deb >/dev/null
obtool --version
obtool mkimage /tmp/card.img 64M
obtool --image /tmp/card.img info
obtool models >/dev/null
QT_QPA_PLATFORM=offscreen orbelle-manager --drive 1=/tmp/card.img --folder /tmp --screenshot /tmp/window.png
test -s /tmp/window.png
echo "the package installs and runs on a fresh Debian 12"'
mmdebstrap --quiet --variant=apt \
  --customize-hook="copy-in $work/orbelle-manager.deb /tmp" \
  --customize-hook="chroot \"\$1\" sh -c '$inside'" \
  bookworm "$work/root" "$mirror"
