#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time.
#   fuzz/run.sh BUILD_DIR [SECONDS_EACH]
# The committed seeds in fuzz/corpus/<target> are read, never written; what a
# run learns goes to BUILD_DIR/fuzz-corpus/<target>, and a crashing input to
# BUILD_DIR/fuzz-artifacts. Exits non-zero when any target found a fault.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:?build folder}
seconds=${2:-60}

# Per target: the longest input worth trying (a settings file or a list line
# of a few kilobytes shows every rule; longer ones only run slower).
# A database of a few dozen songs in pages of 512 bytes to 1 KiB is some 10 KB.
declare -A max_len=([insert]=4096 [sql]=1024 [profile]=8192 [like]=2048 [cp932]=4096 [number]=512
                    [database]=16384)

# The settings and database targets write a file per input; on a memory-backed folder that
# costs microseconds instead of a disk flush.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

failed=()
for target in insert sql profile like cp932 number database; do
    exe="$build/fuzz/fuzz_$target"
    if [ ! -x "$exe" ]; then
        echo "missing $exe: build the fuzzers target first" >&2
        exit 2
    fi
    work="$build/fuzz-corpus/$target"
    artifacts="$build/fuzz-artifacts/$target/"
    mkdir -p "$work" "$artifacts"
    echo "== fuzz_$target: ${seconds}s"
    start=$(date +%s)
    if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="${max_len[$target]}" -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$work" "fuzz/corpus/$target" \
        >"$build/fuzz-$target.log" 2>&1; then
        failed+=("$target")
        tail -n 40 "$build/fuzz-$target.log"
    fi
    end=$(date +%s)
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$build/fuzz-$target.log" | grep -o '[0-9]*$')
    echo "   $((end - start))s, ${runs:-?} runs, corpus $(find "$work" -type f | wc -l) files" \
         "($(du -sh --apparent-size "$work" | cut -f1)), seeds $(find "fuzz/corpus/$target" -type f | wc -l)"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "faults found by: ${failed[*]} (inputs in $build/fuzz-artifacts)" >&2
    exit 1
fi
echo "no faults found"
