#!/usr/bin/env bash
# Builds a static Qt 6 for 64-bit Windows from Debian's own qt6-base source with
# Debian's mingw-w64 (posix threads), against Debian's Qt as the host tools, and
# installs it into a cache folder outside the checkout:
#
#   ${OB_QT_CACHE:-/var/cache/orbelle-manager}/qt-VERSION-mingw-gccVERSION-posix
#
# The folder is keyed by the Qt version and the toolchain, so a second run with the
# same ones finds it and ends at once. Prints the folder on its last line.
# As root the script installs what it needs (scripts/deps.sh windows) and adds a
# deb-src entry for the suites apt already uses, so that apt-get source finds the
# source; as a user both must be there already.
#
# It takes about 30 minutes on an idle 2-core machine (configure 3-4 min, about 1,100
# build steps) and installs about 110 MB.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/deps.sh windows

triple=x86_64-w64-mingw32
cxx=$triple-g++-posix
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools | sed 's/+.*//; s/-.*//')
gcc_version=$("$cxx" -dumpversion)
cache=${OB_QT_CACHE:-/var/cache/orbelle-manager}
prefix=$cache/qt-$qt_version-mingw-gcc$gcc_version
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=${OB_QT_WORK:-$cache/work-qt-$qt_version}
mkdir -p "$work"
log=$work/build.log
echo "windows-qt: building Qt $qt_version for $triple (gcc $gcc_version) into $prefix"
echo "windows-qt: this takes about 30 minutes on 2 cores; the log is $log"

# The source through apt: a deb-src entry for the suites of the existing deb entry.
src_list=/etc/apt/sources.list.d/orbelle-manager-deb-src.sources
if ! ls "$work"/qt6-base_"$qt_version"*.dsc >/dev/null 2>&1; then
  if ! apt-get source --print-uris qt6-base 2>/dev/null | grep -q "qt6-base_$qt_version"; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "windows-qt: apt has no deb-src entry for qt6-base; as root this script adds one" >&2
      exit 1
    fi
    for f in /etc/apt/sources.list.d/*.sources; do
      [ "$f" = "$src_list" ] && continue
      grep -q '^URIs: .*debian' "$f" || continue
      sed -n '/^Types:/,/^$/p' "$f" | sed 's/^Types:.*/Types: deb-src/'
    done >"$src_list.new"
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >/etc/apt/sources.list.d/orbelle-manager-deb-src.list || true
    fi
    mv "$src_list.new" "$src_list"
    apt-get update -qq
  fi
  (cd "$work" && apt-get source --download-only "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)")
fi
src=$work/qt6-base-$qt_version
if [ ! -d "$src" ]; then
  (cd "$work" && dpkg-source --no-check -x qt6-base_"$qt_version"*.dsc "$src" >/dev/null)
fi

# Only the compilers: the project's toolchain file also links everything statically
# and runs programs under wine, neither of which Qt's own build wants.
toolchain=$work/mingw-toolchain.cmake
cat >"$toolchain" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

build=$work/build
start=$(date +%s)
# Debian's dfsg source drops the bundled wintab header (no tablet events), and the
# windows plugin's software-GL check needs OpenGL unless dynamic GL is off too.
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_doubleconversion=OFF \
  >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "windows-qt: configure failed, see $log" >&2; exit 1; }
configured=$(date +%s)
cmake --build "$build" -j"$(nproc)" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "windows-qt: build failed, see $log" >&2; exit 1; }
cmake --install "$build" >>"$log" 2>&1
end=$(date +%s)
{
  echo "qt $qt_version"
  echo "toolchain $cxx $gcc_version"
  echo "configure $((configured - start)) s, build and install $((end - configured)) s"
} >"$prefix/.complete"
echo "windows-qt: done in $(( (end - start) / 60 )) min ($(du -sh "$prefix" | cut -f1) installed)"
echo "$prefix"
