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

using V2 = double __attribute__((vector_size(16)));

inline V2 Load2(const double* p) {
    V2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store2(double* p, V2 v) { std::memcpy(p, &v, sizeof v); }

// x points at input sample 0 inside the zero-padded buffer.
void FoldedGeneric(const double* x, double* out) {
    constexpr int kBlock = 8;
    static_assert(kBufferSamples % kBlock == 0);
    const double h0 = kBandpassHalf[0];
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        const double* c = x + t;
        V2 a0 = Load2(c) * h0;
        V2 a1 = Load2(c + 2) * h0;
        V2 a2 = Load2(c + 4) * h0;
        V2 a3 = Load2(c + 6) * h0;
        for (int j = 0; j < kFoldedTaps; ++j) {
            const double h = kTaps.h[j];
            const double* p = c + kTaps.k[j];
            const double* m = c - kTaps.k[j];
            a0 += (Load2(p) + Load2(m)) * h;
            a1 += (Load2(p + 2) + Load2(m + 2)) * h;
            a2 += (Load2(p + 4) + Load2(m + 4)) * h;
            a3 += (Load2(p + 6) + Load2(m + 6)) * h;
        }
        Store2(out + t, a0);
        Store2(out + t + 2, a1);
        Store2(out + t + 4, a2);
        Store2(out + t + 6, a3);
    }
}

#ifdef VELTO_HAVE_X86
__attribute__((target("avx2,fma"))) void FoldedAvx2(const double* x, double* out) {
    constexpr int kBlock = 16;
    static_assert(kBufferSamples % kBlock == 0);
    const __m256d h0 = _mm256_set1_pd(kBandpassHalf[0]);
    for (int t = 0; t < kBufferSamples; t += kBlock) {
        const double* c = x + t;
        __m256d a0 = _mm256_mul_pd(h0, _mm256_loadu_pd(c));
        __m256d a1 = _mm256_mul_pd(h0, _mm256_loadu_pd(c + 4));
        __m256d a2 = _mm256_mul_pd(h0, _mm256_loadu_pd(c + 8));
        __m256d a3 = _mm256_mul_pd(h0, _mm256_loadu_pd(c + 12));
        for (int j = 0; j < kFoldedTaps; ++j) {
            const __m256d h = _mm256_set1_pd(kTaps.h[j]);
            const double* p = c + kTaps.k[j];
            const double* m = c - kTaps.k[j];
            a0 = _mm256_fmadd_pd(h, _mm256_add_pd(_mm256_loadu_pd(p), _mm256_loadu_pd(m)), a0);
            a1 = _mm256_fmadd_pd(h, _mm256_add_pd(_mm256_loadu_pd(p + 4), _mm256_loadu_pd(m + 4)),
                                 a1);
            a2 = _mm256_fmadd_pd(h, _mm256_add_pd(_mm256_loadu_pd(p + 8), _mm256_loadu_pd(m + 8)),
                                 a2);
            a3 = _mm256_fmadd_pd(h, _mm256_add_pd(_mm256_loadu_pd(p + 12), _mm256_loadu_pd(m + 12)),
                                 a3);
        }
        _mm256_storeu_pd(out + t, a0);
        _mm256_storeu_pd(out + t + 4, a1);
        _mm256_storeu_pd(out + t + 8, a2);
        _mm256_storeu_pd(out + t + 12, a3);
    }
}
#endif

using FoldedKernel = void (*)(const double*, double*);

FoldedKernel PickKernel() {
#ifdef VELTO_HAVE_X86
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        return FoldedAvx2;
    }
#endif
    return FoldedGeneric;
}

}  // namespace

void CFilter::SetTapCount(int taps) { m_tapCount = std::clamp(taps, 1, kTapCount); }

void CFilter::Apply(const std::int16_t* in, double* out) {
    if (m_tapCount != kTapCount) {
        ApplyReference(in, out);
        return;
    }
    static const FoldedKernel kernel = PickKernel();
    double* x = m_padded.data() + kHalfTaps;
    std::fill(m_padded.begin(), m_padded.begin() + kHalfTaps, 0.0);
    for (int t = 0; t < kBufferSamples; ++t) {
        x[t] = in[t];
    }
    std::fill(m_padded.begin() + kHalfTaps + kBufferSamples, m_padded.end(), 0.0);
    kernel(x, out);
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
