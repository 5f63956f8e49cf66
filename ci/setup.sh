#!/usr/bin/env bash
# Installs what the build and the test suite need on a fresh Debian machine.
# Needs root (apt-get). Safe to run again.
set -euo pipefail

packages=(cmake g++ clang clang-format clang-tidy make pkg-config libexpat1-dev libgtest-dev googletest libclang-rt-14-dev binutils unzip python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -qq "${missing[@]}"
fi
# The image may carry an older expat build: take the distribution's current
# security release, which the library relies on for its entity-expansion limits.
apt-get install -y -qq --only-upgrade libexpat1 libexpat1-dev
