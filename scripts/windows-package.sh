#!/usr/bin/env bash
# Packs obtool.exe of the Windows build with the README and the licence into
# orbelle-obtool-windows-x86_64.zip in the build folder, and lists what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${OB_WIN_BUILD_DIR:-build-win}
name=orbelle-obtool-windows-x86_64
stage=$dir/$name
rm -rf "$stage" "$dir/$name.zip"
mkdir -p "$stage"
cp "$dir/obtool.exe" README.md LICENSE "$stage/"
(cd "$dir" && cmake -E tar cf "$name.zip" --format=zip "$name")
cmake -E tar tf "$dir/$name.zip"
echo "$dir/$name.zip"
