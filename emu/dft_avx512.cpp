// The emulated transform's groups of passes on AVX-512: four samples a register, real and
// imaginary parts interleaved, thirty-two registers, so a group of three passes keeps its eight
// points and seven twiddles in registers. Built with -mavx512f; called only where the processor
// has it.
#include "dft_kernels.hpp"

#include <immintrin.h>

namespace kelvane::emu::avx512 {
namespace {

// Twiddles for j to j + 3, each duplicated into its sample's two lanes.
__m512d duplicated(const double* four) {
    return _mm512_permutexvar_pd(_mm512_setr_epi64(0, 0, 1, 1, 2, 2, 3, 3),
                                 _mm512_castpd256_pd512(_mm256_loadu_pd(four)));
}

// No addsub here, so the real lanes add the negated product: x - y is x + (-y) in IEEE
// arithmetic, and (-wi)*bi is -(wi*bi), rounded alike. `w_im` holds (-wi, wi).
__m512d twiddled(__m512d b, __m512d w_re, __m512d w_im) {
    return _mm512_add_pd(_mm512_mul_pd(w_re, b), _mm512_mul_pd(w_im, _mm512_permute_pd(b, 0x55)));
}

template <int passes>
void group_run(double* x, std::size_t length, std::size_t half, std::size_t k, std::size_t count,
               const group_twiddles& twiddles, double sign, float* narrowed) {
    constexpr std::size_t points = std::size_t{1} << passes;
    // wi = sign * imaginary, one exact multiply as in the scalar code; the real lanes negated.
    const __m512d signs = _mm512_setr_pd(-sign, sign, -sign, sign, -sign, sign, -sign, sign);
    for (std::size_t base = 0; base < length; base += points * half) {
        for (std::size_t j = 0; j < count; j += 4) {
            __m512d v[points];
            for (std::size_t e = 0; e < points; ++e)
                v[e] = _mm512_loadu_pd(&x[2 * (base + e * half + k + j)]);
            for (int s = 0; s < passes; ++s) {
                const std::size_t distance = std::size_t{1} << s;
                for (std::size_t e = 0; e < points; ++e) {
                    if ((e & distance) != 0) continue;
                    const std::size_t f = e + distance;
                    const std::size_t start = e & (distance - 1);
                    const __m512d w_re = duplicated(&twiddles.real[s][start][j]);
                    const __m512d w_im =
                        _mm512_mul_pd(signs, duplicated(&twiddles.imaginary[s][start][j]));
                    const __m512d t = twiddled(v[f], w_re, w_im);
                    v[f] = _mm512_sub_pd(v[e], t);
                    v[e] = _mm512_add_pd(v[e], t);
                }
            }
            for (std::size_t e = 0; e < points; ++e) {
                const std::size_t at = 2 * (base + e * half + k + j);
                if (narrowed != nullptr)
                    _mm256_storeu_ps(&narrowed[at], _mm512_cvtpd_ps(v[e]));
                else
                    _mm512_storeu_pd(&x[at], v[e]);
            }
        }
    }
}

} // namespace

void pass_group(int passes, double* x, std::size_t length, std::size_t half, std::size_t k,
                std::size_t count, const group_twiddles& twiddles, double sign, float* narrowed) {
    switch (passes) {
    case 1:
        group_run<1>(x, length, half, k, count, twiddles, sign, narrowed);
        break;
    case 2:
        group_run<2>(x, length, half, k, count, twiddles, sign, narrowed);
        break;
    default:
        group_run<3>(x, length, half, k, count, twiddles, sign, narrowed);
        break;
    }
}

} // namespace kelvane::emu::avx512
