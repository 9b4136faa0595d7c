#!/bin/sh
# Starts the real dialog, draws it with its build-type list dropped down into
# a PNG and ends. Offscreen by default; with --xvfb it runs under a virtual X
# server instead.
#
#   tools/screenshot.sh [--xvfb] [BUILD_DIR] [OUT.png]
#
# BUILD_DIR defaults to out/build (configured with -DQM_BUILD_GUI=ON), OUT to
# docs/dialog.png.
set -eu
cd "$(dirname "$0")/.."

xvfb=0
if [ "${1:-}" = "--xvfb" ]; then
    xvfb=1
    shift
fi
build=${1:-out/build}
out=${2:-docs/dialog.png}

prog="$build/src/app/quillmark"
if [ ! -x "$prog" ]; then
    echo "screenshot: $prog not found; build the target quillmark first" >&2
    exit 1
fi
mkdir -p "$(dirname "$out")"
rm -f "$out"

# The program grabs its own window when QUILLMARK_SCREENSHOT names a file.
export QUILLMARK_SCREENSHOT="$(pwd)/$out"
case "$out" in /*) QUILLMARK_SCREENSHOT="$out" ;; esac
export LANG="${LANG:-C.UTF-8}"

if [ "$xvfb" = 1 ]; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" timeout 60 "$prog"
else
    QT_QPA_PLATFORM=offscreen timeout 60 "$prog"
fi

if [ ! -s "$out" ]; then
    echo "screenshot: no image was written" >&2
    exit 1
fi
echo "screenshot: wrote $out"
