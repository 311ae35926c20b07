#!/usr/bin/env bash
# Makes the Debian package from the build in build/ (or $OB_BUILD_DIR), checks the
# desktop entry and the AppStream metainfo, and with --install installs the package
# with apt (as root) and runs the installed programs: obtool --version, and the window
# offscreen on a fresh card image, drawn into a picture.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${OB_BUILD_DIR:-build}

OB_BUILD_DIR=$dir scripts/build.sh -DCMAKE_INSTALL_PREFIX=/usr
# The metainfo as the build fills it in (its release is the build's version).
appstreamcli validate --no-net "$dir"/packaging/*.metainfo.xml
desktop-file-validate packaging/*.desktop
rm -f "$dir"/orbelle-manager_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/orbelle-manager_*.deb)
echo "package: $deb"
dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends):'

[ "${1:-}" = "--install" ] || exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "./$deb" >/dev/null
/usr/bin/obtool --version
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/obtool mkimage "$work/card.img" 64M
QT_QPA_PLATFORM=offscreen /usr/bin/orbelle-manager --drive 1="$work/card.img" --folder "$work" \
  --screenshot "$work/window.png"
test -s "$work/window.png"
test -f /usr/share/applications/example.orbelle_manager.OrbelleManager.desktop
man -w obtool >/dev/null
test -f /usr/share/bash-completion/completions/obtool
echo "installed package works"
