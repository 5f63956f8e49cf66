#!/usr/bin/env bash
# Builds the benchmark in Release, runs it, and writes docs/benchmarks.md and
# docs/benchmarks.png from the results.
#
#   bench/run.sh            the full run (a few minutes)
#   bench/run.sh --quick    1 and 8 MiB documents only, fewer rounds
#
# Environment: NKKIVO_BENCH_BUILD (build folder, default build-bench in the
# repository), NKKIVO_BENCH_ROUNDS (timed rounds per document, default 7).
# Needs the packages of ci/bench-setup.sh; peers that are missing are left out.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${NKKIVO_BENCH_BUILD:-$repo/build-bench}"
rounds="${NKKIVO_BENCH_ROUNDS:-7}"
jobs=(catalogue:1 catalogue:8 catalogue:64 text:1 text:8 text:64
      attrs:1 attrs:8 flat:1 flat:8 deep:1 deep:8)
cold_mib=64
if [ "${1:-}" = "--quick" ]; then
    rounds=3
    jobs=(catalogue:1 catalogue:8 attrs:1 attrs:8 flat:1 flat:8 deep:1 deep:8)
    cold_mib=8
fi

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DNKKIVO_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target nkkivo_bench >/dev/null
bench="$build/bench/nkkivo_bench"
out="$build/bench-results"
mkdir -p "$out"

{
    echo "date	$(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "cpu	$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
    echo "cores	$(nproc)"
    echo "compiler	$(c++ --version | head -n1)"
    echo "expat	$(dpkg-query -W -f '${Version}' libexpat1-dev 2>/dev/null || echo '?')"
    echo "pugixml	$(dpkg-query -W -f '${Version}' libpugixml-dev 2>/dev/null || echo 'absent')"
    echo "tinyxml2	$(dpkg-query -W -f '${Version}' libtinyxml2-dev 2>/dev/null || echo 'absent')"
    echo "libxml2	$(dpkg-query -W -f '${Version}' libxml2-dev 2>/dev/null || echo 'absent')"
    echo "cold_mib	$cold_mib"
    echo "load_before	$(cut -d' ' -f1-3 /proc/loadavg)"
} > "$out/meta.tsv"

echo "== suite: ${jobs[*]}" >&2
"$bench" suite "$rounds" "${jobs[@]}" > "$out/suite.tsv"

# Two more runs of the reference document show how much the figures move
# between runs on this machine.
for repeat in 1 2; do
    "$bench" suite "$rounds" catalogue:8 > "$out/repeat$repeat.tsv"
done

echo "== cold runs, ${cold_mib} MiB catalogue" >&2
document="$out/catalogue-$cold_mib.xml"
"$bench" write catalogue "$cold_mib" "$document" >/dev/null
printf 'library\trun\tparse_s\ttags\telapsed\tmax_rss_kib\n' > "$out/cold.tsv"
for library in expat nkkivo pugixml tinyxml2 libxml2; do
    for run in 1 2 3; do
        if ! /usr/bin/time -v -o "$out/time.txt" "$bench" cold "$library" "$document" \
            > "$out/cold-line.txt" 2>/dev/null; then
            continue
        fi
        elapsed=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$out/time.txt")
        rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$out/time.txt")
        printf '%s\t%s\t%s\t%s\t%s\n' "$(cut -f1 "$out/cold-line.txt")" "$run" \
            "$(cut -f2,3 "$out/cold-line.txt")" "$elapsed" "$rss" >> "$out/cold.tsv"
    done
done
rm -f "$document" "$out/time.txt" "$out/cold-line.txt"
echo "load_after	$(cut -d' ' -f1-3 /proc/loadavg)" >> "$out/meta.tsv"

command="bench/run.sh"
if [ "${1:-}" = "--quick" ]; then
    command="bench/run.sh --quick"
fi
python3 "$repo/bench/report.py" "$out" "$repo/docs" "$command"
echo "wrote docs/benchmarks.md and docs/benchmarks.png" >&2
