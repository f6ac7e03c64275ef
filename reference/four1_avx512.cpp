// The AVX-512 kernels (no fused multiply-add): eight samples a register, real and imaginary
// parts interleaved. Built with -mavx512f -mavx512dq; called only where the processor has both.
#include "four1_vector.hpp"
#include "four1_vector_group.hpp"

#include <immintrin.h>

namespace kelvane::reference::avx512 {
namespace {

// The real lanes of a register: even floats.
constexpr __mmask16 real_lanes = 0x5555;

struct ops {
    using reg = __m512;
    static constexpr std::size_t lanes = avx512::lanes;
    static reg load(const void* address) { return _mm512_loadu_ps(address); }
    static void store(void* address, reg value) { _mm512_storeu_ps(address, value); }
    static reg add(reg a, reg b) { return _mm512_add_ps(a, b); }
    static reg sub(reg a, reg b) { return _mm512_sub_ps(a, b); }
    static reg real_parts(reg w) { return _mm512_moveldup_ps(w); }
    static reg imaginary_parts(reg w) { return _mm512_movehdup_ps(w); }
    // No addsub here: the sum in every lane, then the difference in the real lanes, each one
    // IEEE operation as in the scalar code.
    static reg twiddled(reg b, reg w_re, reg w_im) {
        const reg products = _mm512_mul_ps(w_re, b);
        const reg cross = _mm512_mul_ps(w_im, _mm512_permute_ps(b, 0xb1));
        return _mm512_mask_sub_ps(_mm512_add_ps(products, cross), real_lanes, products, cross);
    }
    // a + t where `mask` is clear, a - t where it is set.
    static reg combined(reg a, reg t, __mmask16 mask) {
        return _mm512_mask_sub_ps(_mm512_add_ps(a, t), mask, a, t);
    }
};

} // namespace

// Partners at distance 1, 2 and 4 sit in the same register: permutes bring them together, and
// the duplicated lanes compute the same values twice.
void first_passes(sample* x, std::size_t n, const twiddle* const* pass) {
    const __m512 w1 = _mm512_broadcast_f32x2(
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pass[0]))));
    const __m512 w2 = _mm512_broadcast_f32x4(_mm_loadu_ps(&pass[1]->re));
    const __m512 w4 = _mm512_broadcast_f32x8(_mm256_loadu_ps(&pass[2]->re));
    const __m512 w1_re = ops::real_parts(w1);
    const __m512 w1_im = ops::imaginary_parts(w1);
    const __m512 w2_re = ops::real_parts(w2);
    const __m512 w2_im = ops::imaginary_parts(w2);
    const __m512 w4_re = ops::real_parts(w4);
    const __m512 w4_im = ops::imaginary_parts(w4);
    for (std::size_t q = 0; q < n; q += lanes) {
        const __m512 v = ops::load(&x[q]);
        // Half-size 1: samples 0 and 1, 2 and 3, ... within each 128-bit lane.
        const __m512 a1 = _mm512_permute_ps(v, 0x44);
        const __m512 t1 = ops::twiddled(_mm512_permute_ps(v, 0xee), w1_re, w1_im);
        const __m512 v1 = ops::combined(a1, t1, 0xcccc);
        // Half-size 2: samples 0 and 2, 1 and 3 within each 256-bit half.
        const __m512 a2 = _mm512_shuffle_f32x4(v1, v1, 0xa0);
        const __m512 t2 = ops::twiddled(_mm512_shuffle_f32x4(v1, v1, 0xf5), w2_re, w2_im);
        const __m512 v2 = ops::combined(a2, t2, 0xf0f0);
        // Half-size 4: samples 0 and 4, 1 and 5, 2 and 6, 3 and 7.
        const __m512 a4 = _mm512_shuffle_f32x4(v2, v2, 0x44);
        const __m512 t4 = ops::twiddled(_mm512_shuffle_f32x4(v2, v2, 0xee), w4_re, w4_im);
        ops::store(&x[q], ops::combined(a4, t4, 0xff00));
    }
}

void group(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
           std::size_t k_end, const group_twiddles& twiddles) {
    vector_group<ops>(passes, x, n, h, k_begin, k_end, twiddles);
}

} // namespace kelvane::reference::avx512
