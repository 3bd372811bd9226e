#!/bin/sh
# The map tool built with MPI, started without an MPI launcher: it does not
# start MPI, so it answers at once and runs under a file-size limit as the
# tool built without MPI does, writing the same rows.
set -eu
map=${1:?usage: check_mpi_plain.sh path/to/threebody-map}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
args="--x alpha=0:350:8 --y init-v3=0.6:1.4:3 --tdelta 0.02"
"$map" --help | grep -q "Exit status" || { echo "check-mpi-plain: --help failed"; exit 1; }
(ulimit -f 1000; "$map" $args --format jsonl > "$dir/plain.jsonl" 2>"$dir/err") ||
  { echo "check-mpi-plain: a plain run failed:"; cat "$dir/err"; exit 1; }
test "$(wc -l < "$dir/plain.jsonl")" -eq 24 || { echo "check-mpi-plain: not 24 rows"; exit 1; }
# Ranks stopped by a signal (as a batch system sends it) give its status.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
mpirun --oversubscribe -np 3 "$map" --x alpha=0:350:36 --y init-v3=0.5:1.5:400 --tdelta 0.001 \
  --csv "$dir/stopped.csv" >/dev/null 2>&1 &
pid=$!
# Once rows come in, every rank is running: stop them all.
for i in $(seq 1 3000); do
  n=$(grep -c '^[0-9]' "$dir/stopped.csv" 2>/dev/null) || true
  [ "${n:-0}" -ge 3 ] && break
  sleep 0.01
done
pkill -TERM -P $pid
status=0; wait $pid || status=$?
test "$status" -eq 143 || { echo "check-mpi-plain: stopped ranks gave status $status, not 143"; exit 1; }
echo "check-mpi-plain: no MPI without a launcher; stopped ranks give the signal's status"
