#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS, one after
# the other, on seeds made from the conformance suite (unpacked into the build
# folder; left out with a message when the archive is absent), the examples,
# the hand-written seeds and the committed reproducers.
#
#   fuzz/run.sh SECONDS [parse] [ops]
#
# Exits non-zero when a target finds anything; the failing input is saved in
# <build>/artifacts/<target>/ and belongs, once fixed, in
# fuzz/reproducers/<target>/. Environment: NKKIVO_FUZZ_BUILD_DIR (default
# build-fuzz), NKKIVO_CONFORMANCE_ZIP, NKKIVO_FUZZ_SKIP_BUILD=1 to reuse a build.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:?usage: fuzz/run.sh SECONDS [parse] [ops]}"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(parse ops)
build="${NKKIVO_FUZZ_BUILD_DIR:-$repo/build-fuzz}"
zip="${NKKIVO_CONFORMANCE_ZIP:-$repo/../shared/corpus/xmlts20130923.zip}"

if [ "${NKKIVO_FUZZ_SKIP_BUILD:-0}" != 1 ]; then
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DNKKIVO_FUZZ=ON -DNKKIVO_SANITIZE=ON \
        -DNKKIVO_BUILD_TESTS=OFF -DNKKIVO_BUILD_EXAMPLES=OFF >/dev/null
    cmake --build "$build" -j2 --target parse_fuzzer ops_fuzzer
fi

suite="$build/seeds/suite"
if [ -f "$zip" ]; then
    if [ ! -f "$suite/.unpacked" ]; then
        rm -rf "$suite" && mkdir -p "$suite"
        (cd "$suite" && cmake -E tar xf "$zip") && touch "$suite/.unpacked"
    fi
else
    echo "conformance suite not found at $zip: fuzzing from the other seeds only"
    suite=""
fi

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    seeds=()
    for dir in "$suite" "$repo/examples" "$repo/fuzz/corpus-extra/$target" \
               "$repo/fuzz/reproducers/$target"; do
        [ -n "$dir" ] && [ -d "$dir" ] && seeds+=("$dir")
    done
    # Programs beyond a few thousand bytes add length, not new behaviour.
    max_len=16384
    [ "$target" = ops ] && max_len=4096
    echo "== fuzzing $target for ${seconds}s (log: $log)"
    set +e
    "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=30 \
        -print_final_stats=1 -dict="$repo/fuzz/xml.dict" -artifact_prefix="$artifacts/" \
        "$corpus" "${seeds[@]}" >"$log" 2>&1
    result=$?
    set -e
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    if [ $result -ne 0 ]; then
        echo "!! $target found a fault (exit $result); last lines of $log:"
        tail -n 40 "$log"
        status=1
    fi
done
exit $status
