#!/bin/sh
# Runs every fuzz target of a TARVIK_FUZZ build for a while and reports, per target,
# the inputs executed and the findings written:
#   run_all.sh BUILD_DIR SECONDS
set -u
build=$1 seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
findings=0
printf '%-14s %12s %8s %9s\n' target executions corpus findings >"$build/fuzz/summary.txt"
for bin in "$build"/fuzz/fuzz_*; do
    name=${bin##*/fuzz_}
    work="$build/fuzz/run-$name"
    log="$work.log"
    echo "fuzz_$name: ${seconds} s"
    "$here/run_target.sh" "$bin" "$here/corpus/$name" "$work" -max_total_time="$seconds" \
        -timeout=10 >"$log" 2>&1
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o \
        -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    size=$(find "$work/corpus" -type f | wc -l)
    findings=$((findings + found))
    printf '%-14s %12s %8s %9s\n' "$name" "${runs:-?}" "$size" "$found" >>"$build/fuzz/summary.txt"
    if [ "$found" -gt 0 ]; then
        echo "  findings in $work:"
        grep -E 'ERROR|FUZZ CHECK|SUMMARY' "$log" | head -n 5 | sed 's/^/    /'
    fi
done
cat "$build/fuzz/summary.txt"
[ "$findings" -eq 0 ]
