#!/usr/bin/env bash
# Builds the thread test with ThreadSanitizer (clang) and runs it: eight
# threads parse, edit, clone and destroy their own trees at once, and any
# report of a data race fails the run.
# Usage: ci/tsan.sh [build-folder]   (default: build-tsan in the repository)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-tsan}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DNKKIVO_TSAN=ON -DNKKIVO_BUILD_EXAMPLES=OFF
cmake --build "$build" -j2 --target thread_test
TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}" "$build/tests/thread_test"
