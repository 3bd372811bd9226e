#!/bin/sh
# Each folder includes only itself and the folders below it, in the order of
# the README's layout table: runtime, format and display, sim, reference, results, forms,
# apps. The simulation core and everything below forms/qt include no Qt.
set -eu
cd "$(dirname "$0")/.."
rank() {
  case "$1" in
    runtime) echo 0 ;; format|display) echo 1 ;; sim) echo 2 ;; reference) echo 3 ;; results) echo 4 ;;
    forms) echo 5 ;; apps) echo 6 ;; *) echo 9 ;;
  esac
}
status=0
for dir in runtime format display sim reference results forms apps; do
  mine=$(rank "$dir")
  for inc in $(grep -ho '#include "[a-z_]*/' $(find "$dir" -name '*.cpp' -o -name '*.h') | sed 's/#include "//; s|/||' | sort -u); do
    if [ "$(rank "$inc")" -gt "$mine" ] || { [ "$inc" != "$dir" ] && [ "$(rank "$inc")" -eq "$mine" ]; }; then
      echo "$dir/ includes $inc/, which is not below it"; status=1
    fi
  done
done
if grep -rl '#include <Q' runtime format display sim reference results forms/*.h forms/*.cpp; then
  echo "Qt is included outside forms/qt and apps"; status=1
fi
exit $status
