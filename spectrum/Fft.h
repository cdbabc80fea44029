#pragma once

#include <complex>
#include <cstddef>
#include <memory>

namespace velto {

// One FFTW transform of a fixed size with its own aligned buffers: fill
// In(), Execute(), read Out(). Planning is serialised (FFTW's planner is not
// thread-safe); executing is not. Construction throws std::bad_alloc when
// the buffers cannot be had.
class CFft {
public:
    enum class Kind { RealToComplex, Complex };

    CFft(int size, Kind kind);
    ~CFft();
    CFft(const CFft&) = delete;
    CFft& operator=(const CFft&) = delete;

    int Size() const { return m_size; }
    // Input: Size() doubles for a real transform; for a complex one use
    // ComplexIn().
    double* RealIn() { return m_realIn; }
    std::complex<double>* ComplexIn() { return m_complexIn; }
    // Output: Size() / 2 + 1 bins for a real transform, Size() for a complex
    // one (bin k is frequency k, bins above Size() / 2 the negative ones).
    const std::complex<double>* Out() const { return m_out; }
    void Execute();

private:
    struct Plan;
    int m_size;
    double* m_realIn = nullptr;
    std::complex<double>* m_complexIn = nullptr;
    std::complex<double>* m_out = nullptr;
    std::unique_ptr<Plan> m_plan;
};

}  // namespace velto
