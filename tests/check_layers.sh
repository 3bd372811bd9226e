#!/bin/sh
# Each folder includes only itself and the folders below it, in the order of
# the README's layout table: runtime, format and display, sim, reference,
# results, forms (the windows' design and the in-memory forms), series, maps,
# api (the library behind include/threebody/), forms/qt (the Qt windows)
# and web (the page's engine, a front end beside them), apps. The Python module (python/) sees only the public API. Nothing below forms/qt includes Qt, and only apps/ includes the
# command-line and MPI libraries.
set -eu
cd "$(dirname "$0")/.."
rank() {
  case "$1" in
    runtime) echo 0 ;; format|display) echo 1 ;; sim) echo 2 ;; reference) echo 3 ;; results) echo 4 ;;
    forms) echo 5 ;; series) echo 6 ;; maps) echo 7 ;; api) echo 8 ;; forms/qt|web) echo 9 ;; apps) echo 10 ;; *) echo 99 ;;
  esac
}
# The files of a folder; forms/ without its qt/ folder.
files() {
  if [ "$1" = forms ]; then
    find forms -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \)
  else
    find "$1" \( -name '*.cpp' -o -name '*.h' \)
  fi
}
status=0
for dir in runtime format display sim reference results forms series maps api forms/qt web apps; do
  mine=$(rank "$dir")
  for inc in $(grep -ho '#include "[a-z_/]*/' $(files "$dir") | sed 's/#include "//; s|/$||' | sort -u); do
    if [ "$(rank "$inc")" -gt "$mine" ] || { [ "$inc" != "$dir" ] && [ "$(rank "$inc")" -eq "$mine" ]; }; then
      echo "$dir/ includes $inc/, which is not below it"; status=1
    fi
  done
done
if grep -rl '#include <Q' runtime format display sim reference results series maps api include web forms/*.h forms/*.cpp; then
  echo "Qt is included outside forms/qt and apps"; status=1
fi
if grep -rlE '#include <(CLI/|mpi)' runtime format display sim reference results forms series maps api include web; then
  echo "the command-line or MPI library is included outside apps"; status=1
fi
# The Python module is a front end on the public API alone.
if grep -n '#include "' python/*.cpp; then
  echo "python/ includes the engine's own headers; it uses <threebody/threebody.h> only"; status=1
fi
exit $status
