#!/bin/sh
# Measures the build's rate converter against `conform --rate` and makes
# docs/conform-quality.png; prints the table of docs/conform-quality.md.
# Needs gnuplot (Debian: gnuplot-nox, installed by `make deps`).
# usage: tools/conform-quality.sh [BUILD_DIR]   (default out/dev, configured if missing)
set -eu
cd "$(dirname "$0")/.."
build=${1:-out/dev}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target qm-conform-quality >/dev/null
spectra=$(mktemp -d)
trap 'rm -rf "$spectra"' EXIT INT TERM
"$build/qm-conform-quality" "$spectra"
gnuplot -e "dir='$spectra'; out='docs/conform-quality.png'" tools/conform-quality.gp
