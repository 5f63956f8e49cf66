#!/usr/bin/env bash
# Installs nkKivo into scratch prefixes and builds tests/consumer/consumer.c
# against each, once through find_package and once through pkg-config: first
# the shared library, then the static archive (NKKIVO_BUILD_STATIC). Each
# program must parse and check its document.
# Usage: ci/consumer.sh [work-dir]   (default: build-consumer in the repository)
set -Eeuo pipefail
trap 'echo "ci/consumer.sh: failed at line $LINENO" >&2' ERR
repo="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "${1:-$repo/build-consumer}"
work="$(cd "${1:-$repo/build-consumer}" && pwd)"
jobs=2

# The installed shared library must export exactly the committed list of the
# interface's 24 functions: nothing of expat or the C++ runtime.
check_exports() {
    local lib="$1" exported expected
    exported="$(nm -D --defined-only "$lib" | awk '{print $3}' | sort -u)"
    expected="$(grep -v '^[[:space:]]*$' "$repo/tests/exports.txt" | sort -u)"
    if [ "$(printf '%s\n' "$expected" | wc -l)" -ne 24 ]; then
        echo "tests/exports.txt should list 24 functions" >&2
        return 1
    fi
    if [ "$exported" != "$expected" ]; then
        echo "exported symbols of $lib differ from tests/exports.txt:" >&2
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$exported") >&2 || true
        return 1
    fi
}

# A shared consumer must load the installed library through its SONAME; a
# static one must not depend on any shared nkKivo.
check_links_installed() {
    local exe="$1" static="$2" prefix="$3"
    if [ "$static" = ON ]; then
        if readelf -d "$exe" | grep -q 'NEEDED.*libnkKivo'; then
            echo "$exe depends on a shared nkKivo" >&2
            return 1
        fi
        return 0
    fi
    local loaded
    loaded="$(ldd "$exe" | awk '$1 == "libnkKivo.so.1" { print $3 }')"
    if [ -z "$loaded" ] || [ "$(realpath "$loaded")" != "$(realpath "$prefix/lib/libnkKivo.so.1")" ]; then
        echo "$exe does not load the installed libnkKivo.so.1 (loads: ${loaded:-nothing})" >&2
        return 1
    fi
}

run_kind() {
    local kind="$1" static="$2"
    local dir="$work/$kind" prefix="$work/$kind/prefix"
    echo "== $kind: build and install into $prefix"
    rm -rf "$prefix"
    cmake -S "$repo" -B "$dir/lib" -DCMAKE_BUILD_TYPE=Release -DNKKIVO_BUILD_TESTS=OFF \
        -DNKKIVO_BUILD_EXAMPLES=OFF -DNKKIVO_BUILD_STATIC="$static" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
    cmake --build "$dir/lib" -j"$jobs"
    cmake --install "$dir/lib" >/dev/null
    test -f "$prefix/include/nkKivo.h"
    test -f "$prefix/lib/cmake/nkKivo/nkKivoConfigVersion.cmake"

    if [ "$static" = OFF ]; then
        test -f "$prefix/lib/libnkKivo.so.1.0.0"
        test "$(readlink "$prefix/lib/libnkKivo.so.1")" = libnkKivo.so.1.0.0
        test "$(readlink "$prefix/lib/libnkKivo.so")" = libnkKivo.so.1
        readelf -d "$prefix/lib/libnkKivo.so.1.0.0" | grep -q 'SONAME.*\[libnkKivo\.so\.1\]'
        check_exports "$prefix/lib/libnkKivo.so.1.0.0"
    else
        test -f "$prefix/lib/libnkKivo.a"
        grep -q '^Requires.private: expat' "$prefix/lib/pkgconfig/nkKivo.pc"
    fi

    echo "== $kind: consumer through find_package"
    rm -rf "$dir/cmake-consumer"
    cmake -S "$repo/tests/consumer" -B "$dir/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$dir/cmake-consumer" -j"$jobs"
    check_links_installed "$dir/cmake-consumer/consumer" "$static" "$prefix"
    "$dir/cmake-consumer/consumer"

    echo "== $kind: a major version the package does not offer is refused"
    local refusal
    if refusal="$(cmake -S "$repo/tests/consumer" -B "$dir/cmake-wrong-major" \
        -DCMAKE_PREFIX_PATH="$prefix" -DNKKIVO_CONSUMER_WANTS=2.0 2>&1)"; then
        echo "find_package(nkKivo 2.0) accepted version 1" >&2
        return 1
    fi
    grep -q 'considered but not accepted' <<<"$refusal"
    rm -rf "$dir/cmake-wrong-major"

    echo "== $kind: consumer through pkg-config"
    local pc_static=() expect=() cc="${CC:-cc}" exe="$dir/pkgconfig-consumer"
    if [ "$static" = ON ]; then
        pc_static=(--static)
        expect=(-DCONSUMER_LINKS_STATIC)
    fi
    export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
    # shellcheck disable=SC2046
    "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "${expect[@]}" $(pkg-config --cflags nkKivo) \
        "$repo/tests/consumer/consumer.c" -o "$exe" \
        $(pkg-config "${pc_static[@]}" --libs nkKivo) \
        -Wl,-rpath,"$(pkg-config --variable=libdir nkKivo)"
    check_links_installed "$exe" "$static" "$prefix"
    "$exe"
    unset PKG_CONFIG_PATH
}

run_kind shared OFF
run_kind static ON
echo "== consumers built and ran through find_package and pkg-config, shared and static"
