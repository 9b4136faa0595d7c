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

}  // namespace qm::g7231
