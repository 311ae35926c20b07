#!/usr/bin/env bash
# Packs obtool.exe of the Windows build with the README and the licence into
# orbelle-obtool-windows-x86_64.zip in the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${OB_WIN_BUILD_DIR:-build-win}
stage=$dir/orbelle-obtool-windows-x86_64
rm -rf "$stage" "$dir/orbelle-obtool-windows-x86_64.zip"
mkdir -p "$stage"
cp "$dir/obtool.exe" README.md "$stage/"
for licence in LICENSE LICENCE LICENSE.txt COPYING; do
  [ -f "$licence" ] && cp "$licence" "$stage/"
done
(cd "$dir" && cmake -E tar cf orbelle-obtool-windows-x86_64.zip --format=zip orbelle-obtool-windows-x86_64)
echo "$dir/orbelle-obtool-windows-x86_64.zip"
