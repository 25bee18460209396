#!/usr/bin/env bash
# Benchmarks: builds the bench programs of <build dir>, writes a synthetic list
# of BENCH_SONGS songs (300,000 by default) as a database and a code page 932
# CSV file into a temporary folder, runs every <build dir>/bench/bench_*
# program on that folder and prints their rows as one table.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build}"
songs="${BENCH_SONGS:-300000}"

cmake --build "$build" --target benchmarks -j "$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "generating $songs songs ..."
python3 "$root/scripts/gen_songlist.py" --count "$songs" \
    --csv "$work/songs.csv" --db "$work/songs.mdb"
# The shipped size, for the start-up the large table is measured against.
python3 "$root/scripts/gen_songlist.py" --count 1000 --db "$work/shipped.mdb"
# Written out before anything is timed: the kernel writing back hundreds of
# megabytes behind a measurement would take one of the two cores.
sync
echo "songs.csv $(stat -c %s "$work/songs.csv") bytes, songs.mdb $(stat -c %s "$work/songs.mdb") bytes"
echo

echo "| benchmark | result | time ms | peak MB | aim |"
echo "|---|---|---|---|---|"
status=0
for prog in "$build"/bench/bench_*; do
    [ -x "$prog" ] || continue
    "$prog" "$work" || { echo "| $(basename "$prog") | failed | | | |"; status=1; }
    sync # what one program wrote is not written back during the next
done

# The machine-readable summary, last: the largest figure noted under each key.
echo
for key in sort_vs_shell search_vs_shell startup_vs_1k import_vs_baseline peak_mb; do
    value="$(awk -v k="$key" '$1 == k { print $2 }' "$work/summary.txt" 2>/dev/null | sort -g | tail -n 1)"
    echo "summary $key ${value:-nan}"
done
exit $status
