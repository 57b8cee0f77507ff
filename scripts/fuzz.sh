#!/usr/bin/env bash
# Fuzzes the picture-file checks with libFuzzer. Replays the regression corpus, then explores for a
# bounded number of runs (default 200000; pass another count as the first argument). New inputs that
# find new paths are written to a scratch folder; copy the interesting ones into tests/fuzz/corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}/fuzz
runs=${1:-200000}
CXX=clang++ cmake -S "$root/tests/fuzz" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$out" >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
# Cost is a fault too: before the JPEG decoder bounded its scans, a file of 882 scans took 14 s under this
# build and one of 4,500 scans 150 MiB. An input may take 5 s (the slowest regression input takes well under
# one), the process 128 MiB (the fuzzer and the sanitizers' own need some 40), one allocation 32 MiB (a
# decoder's largest is half a MiB). A small quarantine of freed memory keeps the measure to what is in use.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
"$out/picture_bytes_fuzz" -seed=1 -runs="$runs" -max_len=65536 -timeout=5 -rss_limit_mb=128 -malloc_limit_mb=32 \
    "$scratch" "$root/tests/fuzz/corpus" \
    >"$scratch.log" 2>&1 || status=$?
grep -E '^(Done [0-9]+ runs|==[0-9]+==ERROR|SUMMARY)' "$scratch.log" || tail -20 "$scratch.log"
rm -f "$scratch.log"
exit "$status"
