#!/usr/bin/env bash
# Style gate: clang-format must leave every C/C++ file as it is, and
# clang-tidy's checks must pass on the library's sources.
# Usage: ci/lint.sh BUILD_DIR   (a configured build with compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
clang-format --dry-run -Werror "${files[@]}"

mapfile -t sources < <(git ls-files 'src/*.cpp' | grep -v DllMain)
clang-tidy --quiet -p "$build" "${sources[@]}"
echo "lint: clean"
