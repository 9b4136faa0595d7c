#!/bin/sh
# Builds the demo package (demo/run-demo.sh), writes its report with the
# demo's folder, and draws the page (sorted by the coding's SNR, lowest
# first) with headless Chromium into a PNG.
#
#   tools/report-screenshot.sh [BUILD_DIR] [OUT.png]
#
# BUILD_DIR (with quillmark-cli and qm-wavtool built) defaults to out/build,
# OUT to docs/report.png.
set -eu
cd "$(dirname "$0")/.."
build=${1:-out/build}
out=${2:-docs/report.png}
case "$out" in /*) ;; *) out="$(pwd)/$out" ;; esac

for prog in "$build/quillmark-cli" "$build/qm-wavtool"; do
    if [ ! -x "$prog" ]; then
        echo "report-screenshot: $prog not found; build quillmark-cli and qm-wavtool first" >&2
        exit 1
    fi
done
if ! command -v chromium >/dev/null; then
    echo "report-screenshot: chromium not found (make deps installs it)" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
demo/run-demo.sh "$build" "$work/demo" >/dev/null 2>&1 ||
    { echo "report-screenshot: the demo build failed" >&2; exit 1; }
"$build/quillmark-cli" report "$work/demo/audio/demo.irf" --out "$work/report" \
    --audio "$work/demo/audio" --type prompt >/dev/null
mkdir -p "$(dirname "$out")"
rm -f "$out"
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --no-first-run \
    --hide-scrollbars \
    --user-data-dir="$work/profile" --window-size=1760,860 --screenshot="$out" \
    "file://$work/report/index.html#sort=snr" 2>/dev/null
if [ ! -s "$out" ]; then
    echo "report-screenshot: no image was written" >&2
    exit 1
fi
echo "report-screenshot: wrote $out"
