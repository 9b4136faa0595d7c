#!/bin/sh
# Builds a demo package: Mandarin prompts spoken by espeak-ng at mixed sample
# rates (one as raw .pcm), lists in code page 936 with Windows line ends and
# backslash folders, a skeleton package, one build, and its inspection.
set -eu
BIN=${1:?usage: run-demo.sh BUILD_DIR [OUT_DIR]}
OUT=${2:-out/demo}
HERE=$(cd "$(dirname "$0")" && pwd)
CLI="$BIN/quillmark-cli"
WAVTOOL="$BIN/qm-wavtool"

rm -rf "$OUT"
mkdir -p "$OUT/audio"
AUDIO=$(cd "$OUT/audio" && pwd)
: >"$AUDIO/TextList.utf8"
: >"$AUDIO/WaveList.utf8"
tab=$(printf '\t')
while IFS="$tab" read -r text name rate; do
    [ -n "$text" ] || continue
    file=$(printf '%s' "$name" | tr '\\' '/')
    mkdir -p "$AUDIO/$(dirname "$file")"
    espeak-ng -v cmn -s 150 -w "$AUDIO/speech.tmp.wav" "$text"
    "$WAVTOOL" "$AUDIO/speech.tmp.wav" "$rate" "$AUDIO/$file"
    printf '%s\r\n' "$text" >>"$AUDIO/TextList.utf8"
    printf '%s\r\n' "$name" >>"$AUDIO/WaveList.utf8"
done <"$HERE/prompts.txt"
rm -f "$AUDIO/speech.tmp.wav"
iconv -f UTF-8 -t CP936 "$AUDIO/TextList.utf8" >"$AUDIO/TextList.txt"
iconv -f UTF-8 -t CP936 "$AUDIO/WaveList.utf8" >"$AUDIO/WaveList.txt"
rm -f "$AUDIO/TextList.utf8" "$AUDIO/WaveList.utf8"

"$CLI" init-package "$OUT/demo.irf" --rate 16000 --extra 3
"$CLI" rate "$OUT/demo.irf"
"$CLI" build --type prompt --audio "$AUDIO" --irf "$OUT/demo.irf" --code Code3
"$CLI" inspect "$AUDIO/demo.irf"
