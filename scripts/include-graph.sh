#!/usr/bin/env bash
# Prints which folders each folder of the source tree includes (number of #include
# lines per pair) and fails when an include runs upward in the layering below, when
# folders include each other in a cycle, when anything but tests/ includes one of the
# two programs (app/, cli/), or when anything but tests/ and bench/ includes testing/.
#   scripts/include-graph.sh [ROOT]      (ROOT defaults to this checkout)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Lowest first: a folder may include only folders before it (and itself). gui/ holds
# the dialogs' shared Qt helpers and needs nothing but common/, so every dialog, in
# transfer/ and maintenance/ too, includes it downward. testing/ (the fake drive and
# the card model) is for tests/ and bench/ only.
layers=(platform common gui device obfs transfer maintenance views app cli testing bench tests)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

edges=$(for from in "${layers[@]}"; do
  [ -d "$from" ] || continue
  grep -rhoE '^#include "[a-z_]+/' --include='*.cpp' --include='*.h' "$from" 2>/dev/null |
    sed -E 's/^#include "([a-z_]+)\/$/\1/' |
    while read -r to; do
      [ -n "${rank[$to]:-}" ] && [ "$to" != "$from" ] && echo "$from $to"
    done
done | sort | uniq -c | awk '{print $2, $3, $1}')

printf '%-12s %s\n' "folder" "includes (#include lines)"
for from in "${layers[@]}"; do
  [ -d "$from" ] || continue
  line=$(awk -v f="$from" '$1 == f {printf "%s%s (%s)", sep, $2, $3; sep = ", "}' <<<"$edges")
  printf '%-12s %s\n' "$from" "${line:--}"
done

bad=0
while read -r from to count; do
  [ -n "$from" ] || continue
  if [ "$to" = testing ] && [ "$from" != tests ] && [ "$from" != bench ]; then
    echo "include-graph: $from/ includes testing/ ($count lines): only tests/ and bench/ may" >&2
    bad=1
  elif { [ "$to" = app ] || [ "$to" = cli ]; } && [ "$from" != tests ]; then
    echo "include-graph: $from/ includes the program folder $to/ ($count lines): only tests/ may" >&2
    bad=1
  elif [ "$to" != testing ] && [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
    echo "include-graph: upward include $from/ -> $to/ ($count lines)" >&2
    bad=1
  fi
done <<<"$edges"
if ! awk '{print $1, $2}' <<<"$edges" | tsort >/dev/null 2>&1; then
  echo "include-graph: the folders include each other in a cycle:" >&2
  awk '{print $1, $2}' <<<"$edges" | tsort 2>&1 >/dev/null | sed 's/^/  /' >&2
  bad=1
fi
[ $bad -eq 0 ] && echo "include-graph: no upward include, no cycle"
exit $bad
