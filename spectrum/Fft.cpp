#include "spectrum/Fft.h"

#include <fftw3.h>

#include <algorithm>
#include <mutex>
#include <new>

namespace velto {
namespace {

std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}

template <typename T>
T* Allocate(std::size_t count) {
    void* p = fftw_malloc(sizeof(T) * count);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<T*>(p);
}

}  // namespace

struct CFft::Plan {
    fftw_plan plan = nullptr;
    ~Plan() {
        if (plan != nullptr) {
            const std::lock_guard<std::mutex> hold(PlannerLock());
            fftw_destroy_plan(plan);
        }
    }
};

CFft::CFft(int size, Kind kind) : m_size(size), m_plan(std::make_unique<Plan>()) {
    const auto n = static_cast<std::size_t>(size);
    try {
        m_out = Allocate<std::complex<double>>(kind == Kind::Complex ? n : n / 2 + 1);
        if (kind == Kind::Complex) {
            m_complexIn = Allocate<std::complex<double>>(n);
        } else {
            m_realIn = Allocate<double>(n);
        }
        auto* out = reinterpret_cast<fftw_complex*>(m_out);
        // FFTW_ESTIMATE: planning takes no time and leaves the input alone.
        const std::lock_guard<std::mutex> hold(PlannerLock());
        m_plan->plan = kind == Kind::Complex
                           ? fftw_plan_dft_1d(size, reinterpret_cast<fftw_complex*>(m_complexIn),
                                              out, FFTW_FORWARD, FFTW_ESTIMATE)
                           : fftw_plan_dft_r2c_1d(size, m_realIn, out, FFTW_ESTIMATE);
        if (m_plan->plan == nullptr) {
            throw std::bad_alloc();
        }
    } catch (...) {
        fftw_free(m_out);
        fftw_free(m_complexIn);
        fftw_free(m_realIn);
        throw;
    }
    std::fill(m_out, m_out + (kind == Kind::Complex ? n : n / 2 + 1), std::complex<double>{});
}

CFft::~CFft() {
    m_plan.reset();
    fftw_free(m_out);
    fftw_free(m_complexIn);
    fftw_free(m_realIn);
}

void CFft::Execute() { fftw_execute(m_plan->plan); }

}  // namespace velto
