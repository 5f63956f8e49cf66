#!/usr/bin/env bash
# CI: each fuzz target for about two minutes on the generated seed corpus;
# fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
exec fuzz/run.sh 120 parse ops
