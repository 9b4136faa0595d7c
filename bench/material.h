// Generated material for the benchmarks: speech-like signals, recordings and
// whole audio folders with their lists and a package.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmbench {

// A deterministic speech-like signal: a pitch pulse train through a few
// moving resonances, with syllable-like loudness and a little noise.
std::vector<int16_t> SpeechLike(size_t n, uint32_t rate, uint32_t seed = 1);

// Writes a canonical 16-bit mono WAV file.
bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate);

// An audio folder of `prompts` recordings of `samples` samples each at
// `rate`, with "TextList.txt" (code page 936) and "WaveList.txt", and a
// skeleton package at `packageRate` beside it. Returns the package path.
std::string MakeAudioFolder(const std::string& root, size_t prompts, size_t samples, uint32_t rate,
                            int32_t packageRate);

// A fresh scratch folder (removed by RemoveTree).
std::string MakeScratch();
void RemoveTree(const std::string& path);

}  // namespace qmbench
