#!/usr/bin/env bash
# The decoding benchmark: photo-like JPEGs decoded natively by the program's own decoder (the part that a window
# shows, as the program keeps it) and by libjpeg-turbo's djpeg (the whole picture), in turns on this machine, each
# run a whole process from its start to its end: three that the window shows whole, as logos mostly are (a 414 x 325
# baseline one and a 2000 x 1500 baseline and progressive one), then a 12-Mpixel baseline and a 24-Mpixel progressive
# photo, of which it keeps a part. Prints the medians and the median of each run's ratio, ours / djpeg's (goal
# <= 1.0); then the two crafted JPEGs, ours only (djpeg without a scan limit takes minutes and half a gigabyte over
# the deeper one).
# usage: bench/decode.sh [runs], 7 unless given. The pictures are made once, into $TOVIRA_BUILD/bench-pictures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
runs=${1:-7}
"$root/scripts/setup.sh"
cmake -S "$root" -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out/native" --target decode >/dev/null
decode=$out/native/bench/decode
pictures=$out/bench-pictures
compared=(logo-414x325-baseline.jpg whole-2000x1500-baseline.jpg whole-2000x1500-progressive.jpg
    photo-12mp-baseline.jpg photo-24mp-progressive.jpg)
names=("${compared[@]}" many-scans.jpg deep-progression.jpg)
for name in "${names[@]}"; do
    [ -s "$pictures/$name" ] || /usr/bin/python3 "$root/tests/common/pictures.py" "$pictures" "${names[@]}" >/dev/null
done

# Nanoseconds that a command takes, its output dropped.
nanoseconds() {
    local begin
    begin=$(date +%s%N)
    "$@" >/dev/null
    echo $(($(date +%s%N) - begin))
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(g++ --version |
    head -1); djpeg from libjpeg-turbo $(dpkg-query -W -f='${Version}' libjpeg-turbo-progs 2>/dev/null || echo '?')"
for name in "${compared[@]}"; do
    file=$pictures/$name
    echo "$name ($(stat -c %s "$file") bytes): $("$decode" "$file")"
    ours=() theirs=() ratios=()
    for ((run = 0; run < runs; run++)); do
        ours+=("$(nanoseconds "$decode" "$file")")
        theirs+=("$(nanoseconds djpeg -outfile /dev/null "$file")")
        ratios+=("$(awk -v a="${ours[-1]}" -v b="${theirs[-1]}" 'BEGIN { print a / b }')")
    done
    awk -v a="$(printf '%s\n' "${ours[@]}" | median)" -v b="$(printf '%s\n' "${theirs[@]}" | median)" \
        -v r="$(printf '%s\n' "${ratios[@]}" | median)" -v n="$runs" \
        'BEGIN { printf "  ours %.1f ms, djpeg %.1f ms (medians of %d), ratio %.2f run by run (goal <= 1.0)\n",
                 a / 1e6, b / 1e6, n, r }'
done
for name in "${names[@]:${#compared[@]}}"; do
    file=$pictures/$name
    result=$("$decode" "$file" || true)
    times=()
    for ((run = 0; run < runs; run++)); do times+=("$(nanoseconds "$decode" "$file" || true)"); done
    awk -v t="$(printf '%s\n' "${times[@]}" | median)" -v s="$(stat -c %s "$file")" -v r="$result" \
        -v name="$name" 'BEGIN { printf "%s (%d bytes): %s; ours %.1f ms\n", name, s, r, t / 1e6 }'
done
