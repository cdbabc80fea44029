#include "dsp/Filter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "dsp/BandpassCoefficients.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELTO_HAVE_X86 1
#endif

namespace velto {
namespace {

// The kernels work in whole numbers. Every h(k) is a whole number of
// millionths that fits 16 bits, so h(d) x(t + d) + h(d + 1) x(t + d + 1) is one
// 32-bit lane of a pairwise multiply-add (pmaddwd) over the sample pairs
// (x(j), x(j + 1)). A 32-bit lane holds only a group of such terms, so each
// group's sum moves into doubles, which hold every possible total exactly.
// Only the final division by 10^6 rounds: the kernels give the exact
// convolution, rounded once, whatever the vector width or the compiler.
constexpr int kMillion = 1000000;

constexpr int Millionths(int d) {
    const int k = d < 0 ? -d : d;
    if (k > kHalfTaps) {
        return 0;
    }
    const double v = kBandpassHalf[k] * kMillion;
    return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5);
}

constexpr bool TableIsWholeMillionths() {
    for (int k = 0; k <= kHalfTaps; ++k) {
        const int n = Millionths(k);
        if (n / static_cast<double>(kMillion) != kBandpassHalf[k] || n < INT16_MIN ||
            n > INT16_MAX) {
            return false;
        }
    }
    return true;
}
static_assert(TableIsWholeMillionths());

// Pair p multiplies the samples at offsets d = 2p - 240 and d + 1.
inline constexpr int kPairs = kHalfTaps + 1;

struct PairTaps {
    std::array<std::int32_t, kPairs> h{};  // h(d) in the low 16 bits, h(d + 1) in the high
    std::array<int, kPairs> groupEnd{};    // group g holds pairs groupEnd[g - 1] .. groupEnd[g] - 1
    int groups = 0;
};

constexpr PairTaps MakePairTaps() {
    PairTaps taps{};
    long long bound = 0;  // the largest magnitude the current group can reach
    for (int p = 0; p < kPairs; ++p) {
        const int d = 2 * p - kHalfTaps;
        const int lo = Millionths(d);
        const int hi = Millionths(d + 1);
        taps.h[p] = static_cast<std::int32_t>(
            static_cast<std::uint16_t>(lo) |
            static_cast<std::uint32_t>(static_cast<std::uint16_t>(hi)) << 16);
        const long long term = 32768LL * ((lo < 0 ? -lo : lo) + (hi < 0 ? -hi : hi));
        if (bound + term > INT32_MAX) {
            taps.groupEnd[taps.groups++] = p;
            bound = 0;
        }
        bound += term;
    }
    taps.groupEnd[taps.groups++] = kPairs;
    return taps;
}

inline constexpr PairTaps kPairTaps = MakePairTaps();

// The baseline: 128-bit vectors, which every x86-64 processor has (SSE2) and
// other processors have in some form. Three output vectors of four keep their
// 32-bit and double accumulators in 9 of the 16 registers.
using V8s = std::int16_t __attribute__((vector_size(16)));
using V4i = std::int32_t __attribute__((vector_size(16)));
using V2d = double __attribute__((vector_size(16)));

inline V4i MaddPairs(V8s x, V8s h) {
#ifdef VELTO_HAVE_X86
    return reinterpret_cast<V4i>(
        _mm_madd_epi16(reinterpret_cast<__m128i>(x), reinterpret_cast<__m128i>(h)));
#else
    using V8i = std::int32_t __attribute__((vector_size(32)));
    const V8i products = __builtin_convertvector(x, V8i) * __builtin_convertvector(h, V8i);
    return __builtin_shufflevector(products, products, 0, 2, 4, 6) +
           __builtin_shufflevector(products, products, 1, 3, 5, 7);
#endif
}

// lo += lanes 0 and 1, hi += lanes 2 and 3.
inline void AddAsDoubles(V4i sum, V2d& lo, V2d& hi) {
#ifdef VELTO_HAVE_X86
    const __m128i s = reinterpret_cast<__m128i>(sum);
    lo += _mm_cvtepi32_pd(s);
    hi += _mm_cvtepi32_pd(_mm_unpackhi_epi64(s, s));
#else
    lo += __builtin_convertvector(__builtin_shufflevector(sum, sum, 0, 1), V2d);
    hi += __builtin_convertvector(__builtin_shufflevector(sum, sum, 2, 3), V2d);
#endif
}

void PairsPortable(const std::int16_t* pairs, double* out) {
    constexpr int kLanes = 4;
    constexpr int kVectors = 3;
    constexpr int kBlock = kLanes * kVectors;
    static_assert(kBufferSamples % kBlock == 0);
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        V2d lo[kVectors] = {};
        V2d hi[kVectors] = {};
        int p = 0;
        for (int g = 0; g < kPairTaps.groups; ++g) {
            V4i sum[kVectors] = {};
            for (; p < kPairTaps.groupEnd[g]; ++p) {
                const V8s h = reinterpret_cast<V8s>(V4i{} + kPairTaps.h[p]);
                const std::int16_t* x = pairs + 2 * (t + 2 * p);
#pragma GCC unroll 8
                for (int m = 0; m < kVectors; ++m) {
                    V8s v;
                    std::memcpy(&v, x + 2 * kLanes * m, sizeof v);
                    sum[m] += MaddPairs(v, h);
                }
            }
#pragma GCC unroll 8
            for (int m = 0; m < kVectors; ++m) {
                AddAsDoubles(sum[m], lo[m], hi[m]);
            }
        }
#pragma GCC unroll 8
        for (int m = 0; m < kVectors; ++m) {
            const V2d low = lo[m] / kMillion;
            const V2d high = hi[m] / kMillion;
            std::memcpy(out + t + kLanes * m, &low, sizeof low);
            std::memcpy(out + t + kLanes * m + 2, &high, sizeof high);
        }
    }
}

#ifdef VELTO_HAVE_X86
// Four output vectors of eight: four 32-bit and eight double accumulators
// leave room in the 16 registers for the taps and a load.
__attribute__((target("avx2"))) void PairsAvx2(const std::int16_t* pairs, double* out) {
    constexpr int kLanes = 8;
    constexpr int kVectors = 4;
    constexpr int kBlock = kLanes * kVectors;
    static_assert(kBufferSamples % kBlock == 0);
    const __m256d million = _mm256_set1_pd(kMillion);
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        __m256d lo[kVectors];
        __m256d hi[kVectors];
#pragma GCC unroll 8
        for (int m = 0; m < kVectors; ++m) {
            lo[m] = _mm256_setzero_pd();
            hi[m] = _mm256_setzero_pd();
        }
        int p = 0;
        for (int g = 0; g < kPairTaps.groups; ++g) {
            __m256i sum[kVectors];
#pragma GCC unroll 8
            for (int m = 0; m < kVectors; ++m) {
                sum[m] = _mm256_setzero_si256();
            }
            for (; p < kPairTaps.groupEnd[g]; ++p) {
                const __m256i h = _mm256_set1_epi32(kPairTaps.h[p]);
                const std::int16_t* x = pairs + 2 * (t + 2 * p);
#pragma GCC unroll 8
                for (int m = 0; m < kVectors; ++m) {
                    const __m256i v =
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * kLanes * m));
                    sum[m] = _mm256_add_epi32(_mm256_madd_epi16(v, h), sum[m]);
                }
            }
#pragma GCC unroll 8
            for (int m = 0; m < kVectors; ++m) {
                lo[m] = _mm256_add_pd(lo[m], _mm256_cvtepi32_pd(_mm256_castsi256_si128(sum[m])));
                hi[m] =
                    _mm256_add_pd(hi[m], _mm256_cvtepi32_pd(_mm256_extracti128_si256(sum[m], 1)));
            }
        }
#pragma GCC unroll 8
        for (int m = 0; m < kVectors; ++m) {
            _mm256_storeu_pd(out + t + kLanes * m, _mm256_div_pd(lo[m], million));
            _mm256_storeu_pd(out + t + kLanes * m + 4, _mm256_div_pd(hi[m], million));
        }
    }
}

// The same with sixteen lanes and eight output vectors in the 32 registers.
__attribute__((target("avx512f,avx512bw"))) void PairsAvx512(const std::int16_t* pairs,
                                                             double* out) {
    constexpr int kLanes = 16;
    constexpr int kVectors = 8;
    constexpr int kBlock = kLanes * kVectors;
    static_assert(kBufferSamples % kBlock == 0);
    const __m512d million = _mm512_set1_pd(kMillion);
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        __m512d lo[kVectors];
        __m512d hi[kVectors];
#pragma GCC unroll 8
        for (int m = 0; m < kVectors; ++m) {
            lo[m] = _mm512_setzero_pd();
            hi[m] = _mm512_setzero_pd();
        }
        int p = 0;
        for (int g = 0; g < kPairTaps.groups; ++g) {
            __m512i sum[kVectors];
#pragma GCC unroll 8
            for (int m = 0; m < kVectors; ++m) {
                sum[m] = _mm512_setzero_si512();
            }
            for (; p < kPairTaps.groupEnd[g]; ++p) {
                const __m512i h = _mm512_set1_epi32(kPairTaps.h[p]);
                const std::int16_t* x = pairs + 2 * (t + 2 * p);
#pragma GCC unroll 8
                for (int m = 0; m < kVectors; ++m) {
                    const __m512i v = _mm512_loadu_si512(x + 2 * kLanes * m);
                    sum[m] = _mm512_add_epi32(_mm512_madd_epi16(v, h), sum[m]);
                }
            }
            // The zero-masked forms: GCC 12 warns that the plain ones read an undefined value.
#pragma GCC unroll 8
            for (int m = 0; m < kVectors; ++m) {
                const __m256i low = _mm512_maskz_extracti64x4_epi64(0xF, sum[m], 0);
                const __m256i high = _mm512_maskz_extracti64x4_epi64(0xF, sum[m], 1);
                lo[m] = _mm512_add_pd(lo[m], _mm512_maskz_cvtepi32_pd(0xFF, low));
                hi[m] = _mm512_add_pd(hi[m], _mm512_maskz_cvtepi32_pd(0xFF, high));
            }
        }
#pragma GCC unroll 8
        for (int m = 0; m < kVectors; ++m) {
            _mm512_storeu_pd(out + t + kLanes * m, _mm512_div_pd(lo[m], million));
            _mm512_storeu_pd(out + t + kLanes * m + 8, _mm512_div_pd(hi[m], million));
        }
    }
}
#endif

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
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
        case Kernel::Avx2:
            return __builtin_cpu_supports("avx2");
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
    // Entry j holds the samples at j - 240 and j - 239, zero outside the buffer.
    std::fill(m_pairs.begin(), m_pairs.end(), 0);
    for (int t = 0; t < kBufferSamples; ++t) {
        m_pairs[2 * (t + kHalfTaps)] = in[t];
        m_pairs[2 * (t + kHalfTaps - 1) + 1] = in[t];
    }
    switch (kernel) {
#ifdef VELTO_HAVE_X86
        case Kernel::Avx512:
            PairsAvx512(m_pairs.data(), out);
            return;
        case Kernel::Avx2:
            PairsAvx2(m_pairs.data(), out);
            return;
#endif
        default:
            PairsPortable(m_pairs.data(), out);
    }
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
