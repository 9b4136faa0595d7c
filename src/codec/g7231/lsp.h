// Line spectral pairs: conversion from LPC coefficients and split vector
// quantisation (encoder), and the decoding, interpolation and conversion back
// to LPC coefficients that encoder and decoder share.
//
// An LSP vector holds ten frequencies in increasing order, each as w / pi in
// Q15 (that is, a position on the 512-point cosine grid in Q7). LPC
// coefficients are in Q13.
#pragma once

#include <cstdint>

#include "codec/g7231/decoder_tables.h"

namespace qm::g7231 {

constexpr int16_t kLspPredictor = 12288;  // prediction from the previous vector, Q15

// The ten LSPs of the bandwidth-expanded a_Q13; where the root search does
// not find all ten, the previous vector.
void LpcToLsp(const int16_t* a_Q13, const int16_t* prev_lsp, int16_t* lsp, bool& fault);

// The 24-bit index (band 0 in the high 8 bits) of the codebook entries that
// best match `lsp` less its prediction from `prev_lsp`.
int32_t QuantizeLsp(const int16_t* lsp, const int16_t* prev_lsp, bool fast, bool& fault);

// The LSP vector of `index`: the three codebook entries plus the prediction
// from `prev_lsp` (factor `predictor`) and the long-term mean, kept ordered
// and apart by `min_gap`; where ten repair passes do not achieve that, the
// previous vector. A concealed frame decodes index 0 with the erasure
// predictor and gap (kLspErasurePredictor, kLspErasureMinGap).
void DecodeLsp(int32_t index, const int16_t* prev_lsp, int16_t* lsp,
               int16_t predictor = kLspPredictor, int16_t min_gap = kLspMinGap);

// LPC coefficients of the four subframes (4 x 10, a_Q13) from the LSPs
// interpolated between the previous frame's and this frame's vector.
void InterpolateLsp(const int16_t* lsp, const int16_t* prev_lsp, int16_t* a_Q13);

// Converts an LSP vector to LPC coefficients (a_Q13) in place.
void LspToLpc(int16_t* lsp_to_a);

}  // namespace qm::g7231
