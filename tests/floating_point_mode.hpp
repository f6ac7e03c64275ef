// The SSE control bits the comparison run sets before any arithmetic: flush-to-zero and
// denormals-are-zero. Tests switch them on for a scope to see results as the run sees them.
#pragma once

#include <pmmintrin.h>

namespace kelvane::test_support {

inline constexpr unsigned flush_to_zero_bits = _MM_FLUSH_ZERO_ON | _MM_DENORMALS_ZERO_ON;

class flush_to_zero_scope {
  public:
    explicit flush_to_zero_scope(bool enabled = true) : saved_(_mm_getcsr()) {
        if (enabled) _mm_setcsr(saved_ | flush_to_zero_bits);
    }
    ~flush_to_zero_scope() { _mm_setcsr(saved_); }
    flush_to_zero_scope(const flush_to_zero_scope&) = delete;
    flush_to_zero_scope& operator=(const flush_to_zero_scope&) = delete;

  private:
    unsigned saved_;
};

} // namespace kelvane::test_support
