#!/bin/sh
# Checks the built Debian packages as a user would meet them: unpacked into a
# scratch root, the installed threebody-batch runs the default series and
# writes what the build's own does; the packages, the desktop entry and the
# AppStream file pass their validators; the page's folder is there; manual pages and completion are
# there; the library's example builds against the unpacked library packages
# and runs, and so does the Python module.
set -eu
build=${1:-build}
deb=$(ls "$build"/threebody_*.deb | head -1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

for f in usr/bin/threebody usr/bin/threebody-batch usr/bin/threebody-map \
         usr/share/applications/threebody.desktop \
         usr/share/icons/hicolor/scalable/apps/threebody.svg \
         usr/share/icons/hicolor/48x48/apps/threebody.png \
         usr/share/icons/hicolor/128x128/apps/threebody.png \
         usr/share/metainfo/org.threebody.threebody.metainfo.xml \
         usr/share/man/man1/threebody.1.gz usr/share/man/man1/threebody-batch.1.gz \
         usr/share/man/man1/threebody-map.1.gz usr/share/bash-completion/completions/threebody-map \
         usr/share/bash-completion/completions/threebody \
         usr/share/bash-completion/completions/threebody-batch \
         usr/share/doc/threebody/copyright usr/share/doc/threebody/changelog.gz \
         usr/share/threebody/web/index.html usr/share/threebody/web/app.js usr/share/threebody/web/drawing.js usr/share/threebody/web/worker.js \
         usr/share/threebody/web/threebody.js usr/share/threebody/web/threebody.wasm; do
  test -e "$root/$f" || { echo "check-package: $f is missing from $deb"; exit 1; }
done

# The page's folder as make web built it, and nothing of the build beside it.
for f in "$root"/usr/share/threebody/web/*; do
  cmp "$f" "$build/../$(basename "$build" | sed 's/-package$//')-web/web/$(basename "$f")" ||
    { echo "check-package: the packaged page's $(basename "$f") is not the one make web built"; exit 1; }
done

"$root/usr/bin/threebody-batch" > "$root/installed.txt"
"$build/bin/threebody-batch" > "$root/built.txt"
test "$(wc -l < "$root/installed.txt")" -eq 19 || { echo "check-package: the installed tool did not write 19 lines"; exit 1; }
cmp "$root/installed.txt" "$root/built.txt" || { echo "check-package: the installed tool writes other lines"; exit 1; }

dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 || { echo "check-package: Depends lacks Qt"; exit 1; }
# The map tool has MPI, and without a launcher runs as the plain tool does.
dpkg-deb --field "$deb" Depends | grep -q libopenmpi || { echo "check-package: the map tool lacks MPI"; exit 1; }
test "$("$root/usr/bin/threebody-map" --x alpha=0:90:2 --y m3=1:2:2 --tdelta 0.05 --format jsonl 2>/dev/null | wc -l)" -eq 4 ||
  { echo "check-package: the installed map tool did not write 4 points"; exit 1; }
desktop-file-validate "$root/usr/share/applications/threebody.desktop"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.threebody.threebody.metainfo.xml" ||
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.threebody.threebody.metainfo.xml"
lintian --fail-on error --suppress-tags bad-distribution-in-changes-file "$deb"

# The library: its shared object with its SONAME, the header, the CMake
# package and the pkg-config file, and a program of one's own built on them.
lib=$(ls "$build"/libthreebody[0-9]*_*.deb | head -1)
dev=$(ls "$build"/libthreebody-dev_*.deb | head -1)
for p in "$lib" "$dev"; do
  dpkg -x "$p" "$root"
  lintian --fail-on error --suppress-tags bad-distribution-in-changes-file "$p"
done
dpkg-deb --field "$dev" Depends | grep -q "libthreebody[0-9]" || { echo "check-package: the -dev package lacks its library"; exit 1; }
dpkg-deb --ctrl-tarfile "$lib" | tar -t | grep -q shlibs || { echo "check-package: the library package has no shlibs"; exit 1; }
cmake -S "$(dirname "$0")/../examples" -B "$root/example" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$root/example" >/dev/null
libdir=$(dirname "$(find "$root/usr" -name 'libthreebody.so.*' | head -1)")
LD_LIBRARY_PATH="$libdir" "$root/example/small_map" | tail -1 | grep -q "396 points" ||
  { echo "check-package: the example did not map 396 points with the packaged library"; exit 1; }

# The Python module: the first line of the default series, as the tool writes it.
py=$(ls "$build"/python3-threebody_*.deb | head -1)
dpkg -x "$py" "$root"
lintian --fail-on error --suppress-tags bad-distribution-in-changes-file "$py"
first=$(PYTHONPATH="$root/usr/lib/python3/dist-packages" LD_LIBRARY_PATH="$libdir" \
  /usr/bin/python3 -c "import threebody; print(threebody.series().lines[0])")
test "$first" = "$(head -1 "$root/built.txt")" ||
  { echo "check-package: the packaged Python module gave \"$first\""; exit 1; }
echo "check-package: $(basename "$deb"), $(basename "$lib"), $(basename "$dev") and $(basename "$py") install and run; validators pass"
