#include "dsp/Filter.h"

#include <algorithm>
#include <cstring>

#include "dsp/BandpassCoefficients.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELTO_HAVE_X86 1
#endif

namespace velto {
namespace {

// The non-zero half of the symmetric table (k = 1..240): a sixth of it is
// zero, and folding x(t + k) + x(t - k) halves the multiplies again.
constexpr int CountFoldedTaps() {
    int count = 0;
    for (int k = 1; k <= kHalfTaps; ++k) {
        if (kBandpassHalf[k] != 0.0) {
            ++count;
        }
    }
    return count;
}

inline constexpr int kFoldedTaps = CountFoldedTaps();

struct FoldedTaps {
    std::array<double, kFoldedTaps> h{};
    std::array<int, kFoldedTaps> k{};
};

constexpr FoldedTaps MakeFoldedTaps() {
    FoldedTaps taps{};
    int j = 0;
    for (int k = 1; k <= kHalfTaps; ++k) {
        if (kBandpassHalf[k] != 0.0) {
            taps.h[j] = kBandpassHalf[k];
            taps.k[j] = k;
            ++j;
        }
    }
    return taps;
}

inline constexpr FoldedTaps kTaps = MakeFoldedTaps();

// h(w q + r) for residue r and step q, zero beyond the table.
template <int W>
constexpr std::array<std::array<double, kHalfTaps / W + 1>, W> MakeByResidue() {
    std::array<std::array<double, kHalfTaps / W + 1>, W> table{};
    for (int r = 0; r < W; ++r) {
        for (int q = 0; q <= kHalfTaps / W; ++q) {
            const int k = W * q + r;
            table[r][q] = k <= kHalfTaps ? kBandpassHalf[k] : 0.0;
        }
    }
    return table;
}

inline constexpr auto kByResidue8 = MakeByResidue<8>();

// Each kernel keeps kLanes outputs in flight as independent accumulators, so
// the multiply-add latency overlaps instead of chaining.
constexpr int kAccumulators = 8;

using V2 = double __attribute__((vector_size(16)));

inline V2 Load2(const double* p) {
    V2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store2(double* p, V2 v) { std::memcpy(p, &v, sizeof v); }

// x points at input sample 0 inside the zero-padded buffer.
void FoldedGeneric(const double* x, double* out) {
    constexpr int kWidth = 2;
    constexpr int kBlock = kWidth * kAccumulators;
    static_assert(kBufferSamples % kBlock == 0);
    const double h0 = kBandpassHalf[0];
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        const double* c = x + t;
        V2 a[kAccumulators];
#pragma GCC unroll 8
        for (int v = 0; v < kAccumulators; ++v) {
            a[v] = Load2(c + kWidth * v) * h0;
        }
        for (int j = 0; j < kFoldedTaps; ++j) {
            const double h = kTaps.h[j];
            const double* p = c + kTaps.k[j];
            const double* m = c - kTaps.k[j];
#pragma GCC unroll 8
            for (int v = 0; v < kAccumulators; ++v) {
                a[v] += (Load2(p + kWidth * v) + Load2(m + kWidth * v)) * h;
            }
        }
#pragma GCC unroll 8
        for (int v = 0; v < kAccumulators; ++v) {
            Store2(out + t + kWidth * v, a[v]);
        }
    }
}

#ifdef VELTO_HAVE_X86
// Four lanes wide, with only 16 vector registers. Taps are grouped by k mod 4:
// tap k = 4q + r of output vector m needs up(m + q) + down(q - m), with up(j)
// at c + 4j + r and down(j) at c - 4j - r. For three output vectors at a time
// the three up and three down vectors in use slide along in registers, one
// load each per tap. Even and odd q add into separate accumulators, six in
// all, so that a multiply-add seldom waits for the one before. The centre tap
// runs in the r = 0 sequence as h0/2 times x[t] + x[t], which is exactly h0 x[t].
inline constexpr int kAvx2Steps = 66;  // q = 0..65 covers every k up to 240 for each r

constexpr std::array<std::array<double, kAvx2Steps>, 4> MakeAvx2Taps() {
    std::array<std::array<double, kAvx2Steps>, 4> table{};
    for (int r = 0; r < 4; ++r) {
        for (int q = 0; q < kAvx2Steps; ++q) {
            const int k = 4 * q + r;
            table[r][q] = k == 0 ? kBandpassHalf[0] / 2 : k <= kHalfTaps ? kBandpassHalf[k] : 0.0;
        }
    }
    return table;
}

inline constexpr auto kAvx2Taps = MakeAvx2Taps();

// One tap for three output vectors; then u0 and d0, which held the oldest up
// and down vectors, take the next ones, so calls with the names rotated go
// round without a register copy.
__attribute__((target("avx2,fma"), always_inline)) inline void Avx2Tap(
    const double* c, int r, int q, __m256d& a0, __m256d& a1, __m256d& a2, __m256d& u0, __m256d& u1,
    __m256d& u2, __m256d& d0, __m256d& d1, __m256d& d2) {
    const __m256d h = _mm256_broadcast_sd(&kAvx2Taps[r][q]);
    a0 = _mm256_fmadd_pd(h, _mm256_add_pd(u0, d2), a0);
    a1 = _mm256_fmadd_pd(h, _mm256_add_pd(u1, d1), a1);
    a2 = _mm256_fmadd_pd(h, _mm256_add_pd(u2, d0), a2);
    u0 = _mm256_loadu_pd(c + 4 * (q + 3) + r);
    d0 = _mm256_loadu_pd(c - 4 * (q + 1) - r);
}

__attribute__((target("avx2,fma"))) void FoldedAvx2(const double* x, double* out) {
    constexpr int kBlock = 12;
    static_assert(kBufferSamples % kBlock == 0 && kAvx2Steps % 6 == 0);
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        const double* c = x + t;
        __m256d a0 = _mm256_setzero_pd();
        __m256d a1 = _mm256_setzero_pd();
        __m256d a2 = _mm256_setzero_pd();
        __m256d b0 = _mm256_setzero_pd();
        __m256d b1 = _mm256_setzero_pd();
        __m256d b2 = _mm256_setzero_pd();
        for (int r = 0; r < 4; ++r) {
            __m256d u0 = _mm256_loadu_pd(c + r);
            __m256d u1 = _mm256_loadu_pd(c + 4 + r);
            __m256d u2 = _mm256_loadu_pd(c + 8 + r);
            __m256d d0 = _mm256_loadu_pd(c + 8 - r);
            __m256d d1 = _mm256_loadu_pd(c + 4 - r);
            __m256d d2 = _mm256_loadu_pd(c - r);
            for (int q = 0; q < kAvx2Steps; q += 6) {
                Avx2Tap(c, r, q, a0, a1, a2, u0, u1, u2, d0, d1, d2);
                Avx2Tap(c, r, q + 1, b0, b1, b2, u1, u2, u0, d1, d2, d0);
                Avx2Tap(c, r, q + 2, a0, a1, a2, u2, u0, u1, d2, d0, d1);
                Avx2Tap(c, r, q + 3, b0, b1, b2, u0, u1, u2, d0, d1, d2);
                Avx2Tap(c, r, q + 4, a0, a1, a2, u1, u2, u0, d1, d2, d0);
                Avx2Tap(c, r, q + 5, b0, b1, b2, u2, u0, u1, d2, d0, d1);
            }
        }
        _mm256_storeu_pd(out + t, _mm256_add_pd(a0, b0));
        _mm256_storeu_pd(out + t + 4, _mm256_add_pd(a1, b1));
        _mm256_storeu_pd(out + t + 8, _mm256_add_pd(a2, b2));
    }
}

// Taps grouped by k mod 8: for tap k = 8q + r, output vector m needs
// x[t + 8m + k] and x[t + 8m - k], that is up(m + q) and down(q - m) of the
// residue's two load sequences. Stepping q slides both windows by one vector,
// so each tap costs two loads instead of sixteen.
__attribute__((target("avx512f"))) void FoldedAvx512(const double* x, double* out) {
    constexpr int kWidth = 8;
    constexpr int kBlock = kWidth * kAccumulators;
    constexpr int kSteps = kHalfTaps / kWidth;  // q = 0..30 covers k up to 247
    static_assert(kBufferSamples % kBlock == 0);
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        const double* c = x + t;
        __m512d a[kAccumulators];
        const __m512d h0 = _mm512_set1_pd(kBandpassHalf[0]);
#pragma GCC unroll 8
        for (int m = 0; m < kAccumulators; ++m) {
            a[m] = _mm512_mul_pd(h0, _mm512_loadu_pd(c + kWidth * m));
        }
        for (int r = 0; r < kWidth; ++r) {
            const int q0 = r == 0 ? 1 : 0;  // the centre tap is counted once, above
            __m512d up[kAccumulators];
            __m512d down[kAccumulators];  // down[i] holds x[c - 8 (q - 7 + i) - r ..]
#pragma GCC unroll 8
            for (int i = 0; i < kAccumulators; ++i) {
                up[i] = _mm512_loadu_pd(c + kWidth * (q0 + i) + r);
                down[i] = _mm512_loadu_pd(c - kWidth * (q0 - 7 + i) - r);
            }
            for (int q = q0;; ++q) {
                const __m512d h = _mm512_set1_pd(kByResidue8[r][q]);
#pragma GCC unroll 8
                for (int m = 0; m < kAccumulators; ++m) {
                    const __m512d pair = _mm512_add_pd(up[m], down[7 - m]);
                    a[m] = _mm512_fmadd_pd(h, pair, a[m]);
                }
                if (q == kSteps) {
                    break;
                }
#pragma GCC unroll 8
                for (int i = 0; i < kAccumulators - 1; ++i) {
                    up[i] = up[i + 1];
                    down[i] = down[i + 1];
                }
                up[7] = _mm512_loadu_pd(c + kWidth * (q + 8) + r);
                down[7] = _mm512_loadu_pd(c - kWidth * (q + 1) - r);
            }
        }
#pragma GCC unroll 8
        for (int m = 0; m < kAccumulators; ++m) {
            _mm512_storeu_pd(out + t + kWidth * m, a[m]);
        }
    }
}
#endif

using FoldedKernel = void (*)(const double*, double*);

FoldedKernel KernelFor(CFilter::Kernel kernel) {
    switch (kernel) {
#ifdef VELTO_HAVE_X86
        case CFilter::Kernel::Avx512:
            return FoldedAvx512;
        case CFilter::Kernel::Avx2:
            return FoldedAvx2;
#endif
        default:
            return FoldedGeneric;
    }
}

CFilter::Kernel BestKernel() {
    for (CFilter::Kernel k : {CFilter::Kernel::Avx512, CFilter::Kernel::Avx2}) {
        if (CFilter::Supports(k)) {
            return k;
        }
    }
    return CFilter::Kernel::Portable;
}

}  // namespace

void CFilter::SetTapCount(int taps) { m_tapCount = std::clamp(taps, 1, kTapCount); }

bool CFilter::Supports(Kernel kernel) {
#ifdef VELTO_HAVE_X86
    switch (kernel) {
        case Kernel::Avx512:
            return __builtin_cpu_supports("avx512f");
        case Kernel::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case Kernel::Portable:
            return true;
    }
#endif
    return kernel == Kernel::Portable;
}

void CFilter::Apply(const std::int16_t* in, double* out) {
    static const Kernel best = BestKernel();
    ApplyWith(best, in, out);
}

void CFilter::ApplyWith(Kernel kernel, const std::int16_t* in, double* out) {
    if (m_tapCount != kTapCount || !Supports(kernel)) {
        ApplyReference(in, out);
        return;
    }
    double* x = m_padded.data() + kPadFront;
    std::fill(m_padded.begin(), m_padded.begin() + kPadFront, 0.0);
    for (int t = 0; t < kBufferSamples; ++t) {
        x[t] = in[t];
    }
    std::fill(m_padded.begin() + kPadFront + kBufferSamples, m_padded.end(), 0.0);
    KernelFor(kernel)(x, out);
}

void CFilter::ApplyReference(const std::int16_t* in, double* out) {
    m_writePos = 0;
    m_ring.fill(0.0);
    const int n = m_tapCount;
    const int half = n / 2;
    int i = -half;
    int z = 0;
    int next = 0;
    for (;;) {
        double value = 0.0;
        if (next < kBufferSamples) {
            value = in[next++];
        } else if (++z > half) {
            break;
        }
        m_ring[m_writePos] = value;
        double sum = 0.0;
        for (int m = 0; m < n; ++m) {
            int at = m_writePos - m;
            if (at < 0) {
                at += kFilterRingSize;
            }
            sum += BandpassCoefficients[m] * m_ring[at];
        }
        if (++m_writePos == kFilterRingSize) {
            m_writePos = 0;
        }
        if (i >= 0) {
            out[i] = sum;
        }
        ++i;
    }
}

}  // namespace velto
