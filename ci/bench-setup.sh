#!/usr/bin/env bash
# Installs what the benchmark needs beside the build tools: the peer XML
# libraries it compares against, GNU time for peak memory, and gnuplot for
# the chart. Debian packages only; run as root (or through sudo).
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends \
    libbenchmark-dev libexpat1-dev libpugixml-dev libtinyxml2-dev libxml2-dev \
    time gnuplot-nox
