#!/bin/sh
# threebody-map under mpirun: three ranks write the very files one process
# writes, and a resumed file continued across the ranks ends the same.
set -eu
map=${1:?usage: check_mpi.sh path/to/threebody-map}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# These machines run as root, where mpirun wants to be told that is meant.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
run3() { mpirun --oversubscribe -np 3 "$map" "$@"; }
args="--x alpha=0:350:36 --y init-v3=0.6:1.4:9 --tdelta 0.02"

"$map" $args --csv "$dir/one.csv" --png "$dir/one.png" --format jsonl > "$dir/one.jsonl" 2>/dev/null
run3 $args --csv "$dir/three.csv" --png "$dir/three.png" --format jsonl > "$dir/three.jsonl" 2>/dev/null
cmp "$dir/one.csv" "$dir/three.csv"
cmp "$dir/one.png" "$dir/three.png"
cmp "$dir/one.jsonl" "$dir/three.jsonl"

# An interrupted file, its last row torn, continued by three ranks.
head -c 30000 "$dir/one.csv" > "$dir/resumed.csv"
run3 $args --csv "$dir/resumed.csv" --png "$dir/resumed.png" --resume > /dev/null 2>&1
cmp "$dir/one.csv" "$dir/resumed.csv"
cmp "$dir/one.png" "$dir/resumed.png"

# A verified map: the same rows, and the same summary but for the time taken.
vargs="--x alpha=40:49:10 --y init-v3=0.6:0.8:5 --tdelta 0.05 --verify"
"$map" $vargs --csv "$dir/one-v.csv" --summary "$dir/one-v.json" > /dev/null 2>&1
run3 $vargs --csv "$dir/three-v.csv" --summary "$dir/three-v.json" > /dev/null 2>&1
cmp "$dir/one-v.csv" "$dir/three-v.csv"
untimed() { sed 's/,"seconds":[^}]*}$/}/' "$1"; }
test "$(untimed "$dir/one-v.json")" = "$(untimed "$dir/three-v.json")"
grep -q '"artefact":[1-9]' "$dir/three-v.json"

# A file that is no map: refused, unchanged, and every rank ends.
echo "not a map" > "$dir/other.csv"
if run3 $args --csv "$dir/other.csv" --resume > /dev/null 2>&1; then echo "check-mpi: a bad file was resumed"; exit 1; fi
test "$(cat "$dir/other.csv")" = "not a map"
echo "check-mpi: 3 ranks write what one process writes, also when resuming and verifying"
