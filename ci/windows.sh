#!/usr/bin/env bash
# Cross-builds nkKivo.dll for 32-bit Windows with mingw-w64, checks its export
# and import tables, and runs the whole test suite under wine through CTest.
#
# Works from a fresh Debian machine (needs root for apt-get) and again on one
# where it already ran: the target's expat and GoogleTest are built once into
# a prefix under the build folder and reused.
#
# Where the kernel cannot start 32-bit processes at all (some virtual
# machines leave out 32-bit user mode, and 32-bit wine is itself a 32-bit
# Linux program), the 32-bit DLL is still built and checked, and the suite is
# run from a 64-bit Windows build under 64-bit wine instead; the script says
# so loudly.
#
#   ci/windows.sh            build folder: build-win beside this script's repo
#   NKKIVO_WIN_BUILD=<dir>   another build folder
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${NKKIVO_WIN_BUILD:-$repo/build-win}
jobs=2
started=$(date +%s)

say() { printf '== %s\n' "$*"; }

apt_install() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        say "installing ${missing[*]}"
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

install_packages() {
    local updated=0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        updated=1
    fi
    local policy
    policy=$(apt-cache policy wine32:i386)
    if [ $updated = 1 ] || [[ $policy != *"Candidate: "[0-9]* ]]; then
        apt-get -o DPkg::Lock::Timeout=600 update -qq
    fi
    apt_install cmake make dpkg-dev googletest g++-mingw-w64-i686-posix \
        gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386
}

# apt-get source needs a deb-src entry. It is derived from the machine's own
# package sources, so the script names no archive itself.
enable_source_packages() {
    local sources=/etc/apt/sources.list.d/nkkivo-deb-src
    if grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return
    fi
    say "adding deb-src entries derived from the configured sources"
    local file stanzas="" lines=""
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -e "$file" ] || continue
        stanzas+=$(sed -e 's/^Types:.*/Types: deb-src/' "$file")$'\n\n'
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$file" ] || continue
        lines+=$(sed -n -e 's/^deb /deb-src /p' "$file")$'\n'
    done
    [ -n "$stanzas" ] && printf '%s' "$stanzas" >"$sources.sources"
    [ -n "${lines//$'\n'/}" ] && printf '%s' "$lines" >"$sources.list"
    apt-get -o DPkg::Lock::Timeout=600 update -qq
}

unpacked_expat_source() {
    local dir
    for dir in "$build"/src/expat-*/expat; do
        if [ -f "$dir/CMakeLists.txt" ]; then
            echo "$dir"
            return
        fi
    done
}

# The distribution's expat source, with its own patches applied.
fetch_expat_source() {
    expat_src=$(unpacked_expat_source)
    if [ -z "$expat_src" ]; then
        enable_source_packages
        mkdir -p "$build/src"
        say "fetching the expat source package"
        (cd "$build/src" && apt-get source -qq expat/bookworm >/dev/null)
        expat_src=$(unpacked_expat_source)
    fi
    # The patched parser tests XML_DTD and XML_NS with "== 1", but the CMake
    # config template defines them without a value.
    sed -i -e 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' \
        -e 's/^#cmakedefine XML_NS$/#cmakedefine XML_NS 1/' "$expat_src/expat_config.h.cmake"
}

# build_dependencies <triplet>: static expat and GoogleTest for the target,
# installed into $build/<triplet>/prefix.
build_dependencies() {
    local triplet=$1 dir=$build/$1
    local toolchain=$repo/cmake/toolchain-$triplet.cmake
    local prefix=$dir/prefix
    if [ ! -f "$prefix/lib/libexpat.a" ]; then
        say "building expat for $triplet"
        cmake -S "$expat_src" -B "$dir/expat" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
            -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_TOOLS=OFF \
            -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
        cmake --build "$dir/expat" -j$jobs >/dev/null
        cmake --install "$dir/expat" >/dev/null
    fi
    if [ ! -f "$prefix/lib/libgtest.a" ]; then
        say "building GoogleTest for $triplet"
        cmake -S /usr/src/googletest -B "$dir/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
            -DBUILD_GMOCK=OFF -DBUILD_SHARED_LIBS=OFF -DINSTALL_GTEST=ON >/dev/null
        cmake --build "$dir/googletest" -j$jobs >/dev/null
        cmake --install "$dir/googletest" >/dev/null
    fi
}

# build_library <triplet> <emulator>: the DLL and the test suite. Every
# executable lands in one folder beside the DLL, where Windows looks for it,
# and links the C and C++ runtimes statically, as the DLL does. Test cases are
# listed when CTest runs, so building needs no wine.
build_library() {
    local triplet=$1 emulator=$2 dir=$build/$1
    say "building nkKivo for $triplet"
    cmake -S "$repo" -B "$dir/nkKivo" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-$triplet.cmake" \
        -DCMAKE_FIND_ROOT_PATH="$dir/prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
        -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$dir/nkKivo/bin" \
        -DCMAKE_EXE_LINKER_FLAGS=-static \
        -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
    cmake --build "$dir/nkKivo" -j$jobs >/dev/null
}

report_dll() {
    local dll=$1 objdump=$2
    say "$dll"
    "$objdump" -p "$dll" | grep 'DLL Name'
    "$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'
    cmake -DLIBRARY="$dll" -DEXPECTED="$repo/tests/exports.txt" -DOBJDUMP="$objdump" \
        -P "$repo/tests/dll_export_check.cmake"
}

# run_suite <triplet> <loader> <winearch>: CTest in a throwaway wine prefix.
# The wine server is started first and stopped last: one started by a test
# would inherit CTest's output pipe and keep CTest waiting after the tests.
run_suite() {
    local triplet=$1 loader=$2 dir=$build/$1
    export WINEPREFIX=$dir/wineprefix WINEARCH=$3 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    say "starting wine ($WINEARCH) in $WINEPREFIX"
    wineserver -p
    trap 'wineserver -k || true' EXIT
    "$loader" wineboot -i >/dev/null 2>&1
    # A Windows test cannot run the host's unpacking command, so the
    # conformance suite is unpacked here and handed over as a Windows path.
    local zip=${NKKIVO_CONFORMANCE_ZIP:-$repo/../shared/corpus/xmlts20130923.zip}
    local suite=$dir/conformance-suite
    if [ -f "$zip" ]; then
        if [ ! -f "$suite/.unpacked" ]; then
            rm -rf "$suite"
            mkdir -p "$suite"
            (cd "$suite" && cmake -E tar xf "$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")")
            touch "$suite/.unpacked"
        fi
        NKKIVO_CONFORMANCE_DIR=$("$loader" winepath -w "$suite" | tr -d '\r')
        export NKKIVO_CONFORMANCE_DIR
    else
        say "no conformance suite at $zip: its tests skip"
    fi
    say "running the test suite under wine"
    ctest --test-dir "$dir/nkKivo" --output-on-failure -j$jobs
    wineserver -k || true
    trap - EXIT
}

install_packages
fetch_expat_source

build_dependencies i686-w64-mingw32
build_library i686-w64-mingw32 wine
report_dll "$build/i686-w64-mingw32/nkKivo/bin/nkKivo.dll" i686-w64-mingw32-objdump

if wine --version >/dev/null 2>&1; then
    run_suite i686-w64-mingw32 wine win32
else
    say "WARNING: this kernel cannot run 32-bit programs, so 32-bit wine cannot start."
    say "WARNING: the 32-bit DLL is built and checked above; the suite runs as 64-bit Windows code."
    apt_install wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine64=$(dpkg -L wine64 | grep -E '/wine64$' | head -n 1)
    export WINELOADER=$wine64
    build_dependencies x86_64-w64-mingw32
    build_library x86_64-w64-mingw32 "$wine64"
    report_dll "$build/x86_64-w64-mingw32/nkKivo/bin/nkKivo.dll" x86_64-w64-mingw32-objdump
    run_suite x86_64-w64-mingw32 "$wine64" win64
fi

say "ci/windows.sh done in $(($(date +%s) - started)) s"
