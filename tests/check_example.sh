#!/bin/sh
# The library as another program meets it: installed from this build tree
# into a fresh prefix, found by examples/ through find_package and by a
# compiler through pkg-config, and run.
set -eu
build=$1
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for component in library development; do
  cmake --install "$build" --prefix "$work/usr" --component $component >/dev/null
done
cmake -S "$source/examples" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/usr" >/dev/null
cmake --build "$work/example" >/dev/null
libdir=$(dirname "$(find "$work/usr" -name 'libthreebody.so.*' | head -1)")
out=$(LD_LIBRARY_PATH="$libdir" "$work/example/small_map")
printf '%s\n' "$out" | tail -1
printf '%s\n' "$out" | grep -q "396 points, .* collision" || { echo "the example's map is not whole"; exit 1; }
# pkg-config's flags build the same program.
PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --exists threebody
# shellcheck disable=SC2046
c++ -o "$work/by-pkg-config" "$source/examples/small_map.cpp" $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs threebody)
[ "$(LD_LIBRARY_PATH="$libdir" "$work/by-pkg-config")" = "$out" ]
echo "example built with find_package and with pkg-config, same output"
