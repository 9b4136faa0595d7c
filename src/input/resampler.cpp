#include "input/resampler.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

namespace qm {

const FilterRow& ResamplerFilterRow(int row) {
    return kResamplerFilters[std::clamp(row, 0, kResamplerFilterRows - 1)];
}

int ResamplerRowFor(int32_t maxFactor) {
    // Upper end of the range of max(L, M) that each row serves.
    static const int32_t kUpper[kResamplerFilterRows - 1] = {2, 3, 4, 5, 7, 8, 10, 11, 15, 23, 29};
    for (int r = 0; r < kResamplerFilterRows - 1; ++r) {
        if (maxFactor <= kUpper[r]) return r;
    }
    return kResamplerFilterRows - 1;
}

namespace {

// A rate in Hz rounded to whole kilohertz; 0 for rates below 500 Hz
// (negative rates included).
int32_t RoundToKHz(int32_t rate) {
    if (rate < 500) return 0;
    return static_cast<int32_t>((static_cast<int64_t>(rate) + 500) / 1000);
}

// One block of L outputs whose phase-0 input sample is x[0]; the filter
// reads x[offset - t] for t = 0 .. K-1, so x must have K-1 samples of
// history before it.
inline void RunBlock(const ResamplerState& st, const int16_t* x, int16_t* out) {
    const int32_t K = st.K;
    const int16_t* c = st.coeffs.data();
    for (int32_t j = 0; j < st.L; ++j, c += K) {
        const int16_t* p = x + st.offsets[j];
        // Every row's coefficient magnitudes add up to less than 65536, so the
        // 32-bit sum of K products of 16-bit values cannot overflow.
        int32_t acc = 0;
        for (int32_t t = 0; t < K; ++t) acc += static_cast<int32_t>(c[t]) * p[-t];
        int64_t y = static_cast<int64_t>(acc >> 15) * st.L;
        out[j] = static_cast<int16_t>(std::clamp<int64_t>(y, -32768, 32767));
    }
}

}  // namespace

int CreateResampler(int32_t sourceRate, int32_t targetRate,
                    std::unique_ptr<ResamplerState>& state) {
    state.reset();
    const int32_t from = RoundToKHz(sourceRate);
    const int32_t to = RoundToKHz(targetRate);
    if (from == 0 || to == 0) return -3;
    if (from == to) return 0;

    const int32_t g = std::gcd(from, to);
    const int32_t L = to / g;
    const int32_t M = from / g;
    const FilterRow& row = ResamplerFilterRow(ResamplerRowFor(std::max(L, M)));
    const int32_t N = row.length;
    const int32_t K = (N + L - 1) / L;

    try {
        auto st = std::make_unique<ResamplerState>();
        st->fromKHz = from;
        st->toKHz = to;
        st->L = L;
        st->M = M;
        st->N = N;
        st->K = K;
        // The gain is L; it only fits the 16-bit field for sane ratios, and
        // the filter itself multiplies by L.
        st->gain = static_cast<int16_t>(std::min<int32_t>(L, 32767));
        st->coeffs.assign(static_cast<size_t>(L) * K, 0);
        st->steps.resize(L);
        st->offsets.resize(L);
        int32_t offset = 0;
        for (int32_t j = 0; j < L; ++j) {
            const int32_t p = static_cast<int32_t>((static_cast<int64_t>(j) * M) % L);
            int16_t* group = st->coeffs.data() + static_cast<size_t>(j) * K;
            for (int32_t t = 0; t < K; ++t) {
                const int64_t idx = p + static_cast<int64_t>(t) * L;
                group[t] = idx < N ? row.taps[idx] : 0;
            }
            st->steps[j] = static_cast<int32_t>((static_cast<int64_t>(p) + M) / L);
            st->offsets[j] = offset;
            offset += st->steps[j];
        }
        // History of K samples, then fewer than M held samples.
        st->carry.assign(static_cast<size_t>(K) + M, 0);
        // The carry plus the input head needed until the filter window lies
        // wholly inside the caller's input.
        st->joint.assign(2 * (static_cast<size_t>(K) + M), 0);
        state = std::move(st);
    } catch (const std::bad_alloc&) {
        state.reset();
        return -2;
    }
    return 0;
}

int RunResampler(ResamplerState& st, const int16_t* in, int32_t n, int16_t* out) {
    if (n <= 0 || in == nullptr) return 0;
    const int32_t K = st.K, L = st.L, M = st.M;
    const int32_t held = st.held;
    st.totalIn += static_cast<uint32_t>(n);

    if (static_cast<int64_t>(held) + n < M) {
        std::memcpy(st.carry.data() + K + held, in, sizeof(int16_t) * n);
        st.held = held + n;
        return 0;
    }

    const int64_t blocks = (static_cast<int64_t>(held) + n) / M;
    // Input position r (relative to in[0]) of the next block's phase-0
    // sample; it starts at -held, the first held sample.
    int64_t base = -static_cast<int64_t>(held);
    int64_t b = 0;
    int16_t* o = out;

    // Blocks whose filter window reaches back before in[0] run on the joint
    // buffer: carry (history and held), then the head of the input.
    const int32_t take = static_cast<int32_t>(std::min<int64_t>(n, static_cast<int64_t>(K) + M));
    int16_t* joint = st.joint.data();
    const int64_t jointIn = static_cast<int64_t>(K) + held;  // joint index of in[0]
    std::memcpy(joint, st.carry.data(), sizeof(int16_t) * jointIn);
    std::memcpy(joint + jointIn, in, sizeof(int16_t) * take);
    for (; b < blocks && base < K - 1; ++b, base += M, o += L) {
        RunBlock(st, joint + jointIn + base, o);
    }
    // The rest run on the caller's input directly.
    for (; b < blocks; ++b, base += M, o += L) {
        RunBlock(st, in + base, o);
    }

    // Keep the K samples before the new position as history, then the
    // unconsumed rest (fewer than M).
    const int64_t rest = n - base;
    int16_t* carry = st.carry.data();
    for (int64_t r = base - K, k = 0; r < n; ++r, ++k) {
        carry[k] = r >= 0 ? in[r] : joint[jointIn + r];
    }
    st.held = static_cast<int32_t>(rest);
    const int32_t produced = static_cast<int32_t>(o - out);
    st.totalOut += static_cast<uint32_t>(produced);
    return produced;
}

}  // namespace qm
