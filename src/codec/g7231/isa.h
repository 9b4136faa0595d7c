// Which vector instructions the encoder's hand-written blocks use. The choice
// is process-wide: by default the widest the machine supports, made once;
// tests force each path in turn to compare their bytes.
#pragma once

#include <atomic>

#include "codec/g7231/g7231.h"

namespace qm::g7231 {

// The path in effect (never one the machine lacks).
inline std::atomic<G7231Isa> g_isa{G7231Isa::Best};

inline G7231Isa ActiveIsa() {
    G7231Isa isa = g_isa.load(std::memory_order_relaxed);
    if (isa == G7231Isa::Best) isa = SetG7231Isa(G7231Isa::Best);
    return isa;
}

// A stage compiled twice: its body is an always-inlined function, and
// QM_G7231_AVX2 marks a wrapper that the compiler builds for AVX2 (wider
// vectors for the same integer operations, so the same results), which the
// stage calls when that path is active.
#if defined(__x86_64__) && defined(__GNUC__)
#define QM_G7231_HAS_AVX2 1
#define QM_G7231_AVX2 __attribute__((target("avx2")))
#else
#define QM_G7231_HAS_AVX2 0
#define QM_G7231_AVX2
#endif
#define QM_G7231_BODY __attribute__((always_inline)) inline

inline bool UseAvx2() { return QM_G7231_HAS_AVX2 && ActiveIsa() == G7231Isa::Avx2; }

}  // namespace qm::g7231
