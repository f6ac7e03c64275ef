// The AVX kernels (no fused multiply-add): four samples a register, real and imaginary parts
// interleaved. Built with -mavx; called only where the processor has AVX.
#include "four1_vector.hpp"
#include "four1_vector_group.hpp"

#include <immintrin.h>

namespace kelvane::reference::avx {
namespace {

struct ops {
    using reg = __m256;
    static constexpr std::size_t lanes = avx::lanes;
    static reg load(const void* address) {
        return _mm256_loadu_ps(static_cast<const float*>(address));
    }
    static void store(void* address, reg value) {
        _mm256_storeu_ps(static_cast<float*>(address), value);
    }
    static reg add(reg a, reg b) { return _mm256_add_ps(a, b); }
    static reg sub(reg a, reg b) { return _mm256_sub_ps(a, b); }
    static reg real_parts(reg w) { return _mm256_moveldup_ps(w); }
    static reg imaginary_parts(reg w) { return _mm256_movehdup_ps(w); }
    static reg negated(reg w) { return _mm256_xor_ps(w, _mm256_set1_ps(-0.0f)); }
    // Separate multiplies and addsub: (wr*br - wi*bi, wr*bi + wi*br) rounded as the scalar code.
    static reg twiddled(reg b, reg w_re, reg w_im) {
        const reg swapped = _mm256_permute_ps(b, 0xb1);
        return _mm256_addsub_ps(_mm256_mul_ps(w_re, b), _mm256_mul_ps(w_im, swapped));
    }
};

} // namespace

// Partners at distance 1 and 2 sit in the same register: permutes bring them together, and the
// duplicated lanes compute the same values twice.
void first_passes(sample* x, std::size_t n, const twiddle* const* pass) {
    const __m256 w1 =
        _mm256_castpd_ps(_mm256_broadcast_sd(reinterpret_cast<const double*>(pass[0])));
    const __m256 w2 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(pass[1]));
    const __m256 w1_re = ops::real_parts(w1);
    const __m256 w1_im = ops::imaginary_parts(w1);
    const __m256 w2_re = ops::real_parts(w2);
    const __m256 w2_im = ops::imaginary_parts(w2);
    for (std::size_t q = 0; q < n; q += lanes) {
        const __m256 v = ops::load(&x[q]);
        // Half-size 1: samples 0 and 1, 2 and 3.
        const __m256 a1 = _mm256_permute_ps(v, 0x44);
        const __m256 t1 = ops::twiddled(_mm256_permute_ps(v, 0xee), w1_re, w1_im);
        const __m256 v1 = _mm256_blend_ps(_mm256_add_ps(a1, t1), _mm256_sub_ps(a1, t1), 0xcc);
        // Half-size 2: samples 0 and 2, 1 and 3.
        const __m256 a2 = _mm256_permute2f128_ps(v1, v1, 0x00);
        const __m256 t2 = ops::twiddled(_mm256_permute2f128_ps(v1, v1, 0x11), w2_re, w2_im);
        ops::store(&x[q], _mm256_blend_ps(_mm256_add_ps(a2, t2), _mm256_sub_ps(a2, t2), 0xf0));
    }
}

void group(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
           std::size_t k_end, const group_twiddles& twiddles) {
    vector_group<ops>(passes, x, n, h, k_begin, k_end, twiddles);
}

} // namespace kelvane::reference::avx
