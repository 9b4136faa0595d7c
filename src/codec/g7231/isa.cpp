#include "codec/g7231/isa.h"

namespace qm {

bool G7231IsaSupported(G7231Isa isa) {
    switch (isa) {
        case G7231Isa::Portable:
        case G7231Isa::Best:
            return true;
#if defined(__x86_64__) || defined(__i386__)
#if defined(__SSE2__)
        case G7231Isa::Sse2:
            return true;
        case G7231Isa::Avx2:
            return __builtin_cpu_supports("avx2");
#endif
#endif
        default:
            return false;
    }
}

G7231Isa SetG7231Isa(G7231Isa isa) {
    if (isa == G7231Isa::Best) {
        isa = G7231IsaSupported(G7231Isa::Avx2)   ? G7231Isa::Avx2
              : G7231IsaSupported(G7231Isa::Sse2) ? G7231Isa::Sse2
                                                  : G7231Isa::Portable;
    }
    if (!G7231IsaSupported(isa)) return g7231::ActiveIsa();
    g7231::g_isa.store(isa, std::memory_order_relaxed);
    return isa;
}

}  // namespace qm
