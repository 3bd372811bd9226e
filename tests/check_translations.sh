#!/bin/sh
# The translations cover the code: lupdate, run over the sources into a copy
# of each .ts file, finds no text that is not there already (and none gone).
set -eu
cd "$(dirname "$0")/.."
lupdate=/usr/lib/qt6/bin/lupdate
options=$(sed -n 's/^LUPDATE_OPTIONS = //p' Makefile)
sources=$(sed -n 's/^LUPDATE_SOURCES = //p' Makefile)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in translations/*.ts; do
  cp "$ts" "$work/copy.ts"
  # shellcheck disable=SC2086
  report=$("$lupdate" $options $sources -ts "$work/copy.ts" 2>&1)
  if ! printf '%s\n' "$report" | grep -q "Found [0-9]* source text(s) (0 new and"; then
    echo "$ts: texts of the code are missing (run make translations and translate them):"
    printf '%s\n' "$report" | grep "Found"
    status=1
  fi
  if ! cmp -s "$ts" "$work/copy.ts"; then
    echo "$ts: not up to date with the code (run make translations):"
    diff "$ts" "$work/copy.ts" | head -20
    status=1
  fi
done
exit $status
