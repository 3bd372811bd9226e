#!/bin/sh
# Checks the built Debian package as a user would meet it: unpacked into a
# scratch root, the installed threebody-batch runs the default series and
# writes what the build's own does; the package, its desktop entry and its
# AppStream file pass their validators; manual pages and completion are there.
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
         usr/share/doc/threebody/copyright usr/share/doc/threebody/changelog.gz; do
  test -e "$root/$f" || { echo "check-package: $f is missing from $deb"; exit 1; }
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
echo "check-package: $(basename "$deb") installs and runs; validators pass"
