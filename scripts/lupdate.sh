#!/usr/bin/env bash
# Collects the program's texts from the sources into a Linguist .ts file (by default
# translations/orbelle_en.ts), keeping the translations it has. Texts are found in
# tr()/translate() calls and in the core's ui_text() and UI_TEXT_NOOP() marks. Texts it
# does not find stay in the file as "vanished": the program still looks them up (a
# text shown without a mark gets its English from one line added to the file).
#   scripts/lupdate.sh [TS_FILE]      (LUPDATE=path picks the lupdate program)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
ts=${1:-$root/translations/orbelle_en.ts}
lupdate=${LUPDATE:-}
if [ -z "$lupdate" ]; then
  for candidate in /usr/lib/qt6/bin/lupdate "$(command -v lupdate6 || true)" "$(command -v lupdate || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then lupdate=$candidate; break; fi
  done
fi
[ -n "$lupdate" ] || { echo "lupdate not found (Debian package qt6-l10n-tools)" >&2; exit 2; }
cd "$root"
"$lupdate" -silent -locations none -no-ui-lines \
  -tr-function-alias QT_TRANSLATE_NOOP+=UI_TEXT_NOOP,translate+=ui_text,translate+=ui_qtext \
  -source-language zh_CN -target-language en \
  -extensions cpp,h app cli common device gui maintenance obfs transfer views -ts "$ts"
