// The AVX-512 kernels (no fused multiply-add): eight samples a register, real and imaginary
// parts interleaved. Built with -mavx512f -mavx512dq; called only where the processor has both.
#include "four1_tile_pairs.hpp"
#include "four1_vector.hpp"
#include "four1_vector_group.hpp"

#include <bit>
#include <cstdint>
#include <immintrin.h>

namespace kelvane::reference::avx512 {
namespace {

struct ops {
    using reg = __m512;
    static constexpr std::size_t lanes = avx512::lanes;
    static reg load(const void* address) { return _mm512_loadu_ps(address); }
    static void store(void* address, reg value) { _mm512_storeu_ps(address, value); }
    static reg add(reg a, reg b) { return _mm512_add_ps(a, b); }
    static reg sub(reg a, reg b) { return _mm512_sub_ps(a, b); }
    static reg real_parts(reg w) { return _mm512_moveldup_ps(w); }
    // As `twiddled` takes them: (-wi, wi), the real lanes negated.
    static reg imaginary_parts(reg w) {
        return _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(_mm512_movehdup_ps(w)),
                                                    _mm512_set1_epi64(0x80000000)));
    }
    static reg negated(reg w) {
        return _mm512_castsi512_ps(
            _mm512_xor_si512(_mm512_castps_si512(w), _mm512_set1_epi32(INT32_MIN)));
    }
    // No addsub here, so the real lanes add the negated product: x - y is x + (-y) in IEEE
    // arithmetic, and (-wi)*bi is -(wi*bi), rounded alike. One IEEE operation per lane and
    // step, as in the scalar code.
    static reg twiddled(reg b, reg w_re, reg w_im) {
        return _mm512_add_ps(_mm512_mul_ps(w_re, b),
                             _mm512_mul_ps(w_im, _mm512_permute_ps(b, 0xb1)));
    }
};

// Rows of eight samples as 64-bit lanes: transposed in three rounds of lane exchanges.
void transpose(__m512d (&rows)[8]) {
    const __m512i pairs_low = _mm512_setr_epi64(0, 1, 8, 9, 4, 5, 12, 13);
    const __m512i pairs_high = _mm512_setr_epi64(2, 3, 10, 11, 6, 7, 14, 15);
    __m512d single[8];
    for (int r = 0; r < 8; r += 2) {
        single[r] = _mm512_unpacklo_pd(rows[r], rows[r + 1]);
        single[r + 1] = _mm512_unpackhi_pd(rows[r], rows[r + 1]);
    }
    __m512d paired[8];
    for (int r = 0; r < 8; r += 4)
        for (int odd = 0; odd < 2; ++odd) {
            paired[r + odd] =
                _mm512_permutex2var_pd(single[r + odd], pairs_low, single[r + 2 + odd]);
            paired[r + 2 + odd] =
                _mm512_permutex2var_pd(single[r + odd], pairs_high, single[r + 2 + odd]);
        }
    // paired[c] and paired[4 + c], c < 4: rows 0-3 and rows 4-7 of columns c and c + 4.
    for (int c = 0; c < 4; ++c) {
        rows[c] = _mm512_shuffle_f64x2(paired[c], paired[4 + c], 0x44);
        rows[c + 4] = _mm512_shuffle_f64x2(paired[c], paired[4 + c], 0xee);
    }
}

// Tile rows a = 0..7 (eight samples c each) hold, at lane c, the samples that the permutation
// sends to offsets rev a of one run of eight: the first three passes pair rows, lane by lane.
// Row j of the result is run rev j's, transposed; stored at its destination.
struct first_pass_twiddles {
    __m512 re[7]; // stage s, start e at (2^s - 1) + e, each broadcast to every sample
    __m512 im[7]; // likewise, as ops::imaginary_parts gives them
};

void first_passes_on_rows(__m512d (&rows)[8], const first_pass_twiddles& w) {
    constexpr unsigned row_of_run[8] = {0, 4, 2, 6, 1, 5, 3, 7}; // rev j for 3 bits
    __m512 v[8];
    for (unsigned j = 0; j < 8; ++j)
        v[j] = _mm512_castpd_ps(rows[row_of_run[j]]);
    for (unsigned s = 0; s < 3; ++s) {
        const unsigned distance = 1U << s;
        for (unsigned e = 0; e < 8; ++e)
            if ((e & distance) == 0) {
                const unsigned t_index = distance - 1 + (e & (distance - 1));
                const __m512 t = ops::twiddled(v[e + distance], w.re[t_index], w.im[t_index]);
                v[e + distance] = ops::sub(v[e], t);
                v[e] = ops::add(v[e], t);
            }
    }
    for (unsigned j = 0; j < 8; ++j)
        rows[j] = _mm512_castps_pd(v[j]);
    transpose(rows);
}

} // namespace

// Each pair of tiles is loaded, passed and transposed, then each tile stored where the other was.
void reverse_with_first_passes(sample* x, unsigned log2n, const twiddle* const* pass) {
    first_pass_twiddles w;
    for (unsigned s = 0; s < 3; ++s)
        for (unsigned e = 0; e < (1U << s); ++e) {
            const __m512 stored =
                _mm512_castpd_ps(_mm512_set1_pd(std::bit_cast<double>(pass[s][e])));
            w.re[(1U << s) - 1 + e] = ops::real_parts(stored);
            w.im[(1U << s) - 1 + e] = ops::imaginary_parts(stored);
        }
    const unsigned high_shift = log2n - 3;
    const auto swap_tiles = [&](std::size_t middle, std::size_t middle_reversed) {
        sample* const tile = x + (middle << 3);
        sample* const partner = x + (middle_reversed << 3);
        __m512d rows[8];
        for (std::size_t a = 0; a < 8; ++a)
            rows[a] = _mm512_loadu_pd(tile + (a << high_shift));
        first_passes_on_rows(rows, w);
        if (middle != middle_reversed) {
            __m512d partner_rows[8];
            for (std::size_t a = 0; a < 8; ++a)
                partner_rows[a] = _mm512_loadu_pd(partner + (a << high_shift));
            first_passes_on_rows(partner_rows, w);
            for (std::size_t c = 0; c < 8; ++c)
                _mm512_storeu_pd(tile + (reversed(c, 3) << high_shift), partner_rows[c]);
        }
        for (std::size_t c = 0; c < 8; ++c)
            _mm512_storeu_pd(partner + (reversed(c, 3) << high_shift), rows[c]);
    };
    for_each_tile_pair(log2n - 6, swap_tiles);
}

namespace {

template <std::size_t registers>
void fill_registers(chain_set& chains, std::size_t used, twiddle* out, std::size_t row_stride,
                    std::size_t count) {
    __m512d ur[registers];
    __m512d ui[registers];
    __m512d cr[registers];
    __m512d ci[registers];
    for (std::size_t r = 0; r < registers; ++r) {
        ur[r] = _mm512_loadu_pd(&chains.ur[8 * r]);
        ui[r] = _mm512_loadu_pd(&chains.ui[8 * r]);
        cr[r] = _mm512_loadu_pd(&chains.cr[8 * r]);
        ci[r] = _mm512_loadu_pd(&chains.ci[8 * r]);
    }
    // Pairs (re, im) come out for chains 0, 1, 4, 5, 2, 3, 6, 7 of a register; only the lanes of
    // chains in use are stored.
    const auto stride = static_cast<long long>(row_stride);
    const __m512i chain_of_lane = _mm512_setr_epi64(0, 1, 4, 5, 2, 3, 6, 7);
    const __m512i rows = _mm512_mullo_epi64(chain_of_lane, _mm512_set1_epi64(stride));
    __mmask8 in_use[registers];
    for (std::size_t r = 0; r < registers; ++r)
        in_use[r] = _mm512_cmplt_epi64_mask(
            chain_of_lane, _mm512_set1_epi64(static_cast<long long>(used - 8 * r)));
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t r = 0; r < registers; ++r) {
            const __m256 re = _mm512_cvtpd_ps(ur[r]);
            const __m256 im = _mm512_cvtpd_ps(ui[r]);
            const __m512 pairs = _mm512_insertf32x8(
                _mm512_castps256_ps512(_mm256_unpacklo_ps(re, im)), _mm256_unpackhi_ps(re, im), 1);
            _mm512_mask_i64scatter_pd(&out[8 * r * row_stride + i], in_use[r], rows,
                                      _mm512_castps_pd(pairs), 8);
            const __m512d ur_old = ur[r];
            ur[r] = _mm512_sub_pd(_mm512_add_pd(_mm512_mul_pd(ur[r], cr[r]), ur[r]),
                                  _mm512_mul_pd(ui[r], ci[r]));
            ui[r] = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(ui[r], cr[r]), ui[r]),
                                  _mm512_mul_pd(ur_old, ci[r]));
        }
    for (std::size_t r = 0; r < registers; ++r) {
        _mm512_storeu_pd(&chains.ur[8 * r], ur[r]);
        _mm512_storeu_pd(&chains.ui[8 * r], ui[r]);
    }
}

} // namespace

void fill_chains(chain_set& chains, std::size_t used, twiddle* out, std::size_t row_stride,
                 std::size_t count) {
    static_assert(max_chains == 32, "four registers of chains at most");
    switch ((used + 7) / 8) {
    case 1:
        fill_registers<1>(chains, used, out, row_stride, count);
        break;
    case 2:
        fill_registers<2>(chains, used, out, row_stride, count);
        break;
    case 3:
        fill_registers<3>(chains, used, out, row_stride, count);
        break;
    default:
        fill_registers<4>(chains, used, out, row_stride, count);
        break;
    }
}

void group(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
           std::size_t k_end, const group_twiddles& twiddles) {
    vector_group<ops>(passes, x, n, h, k_begin, k_end, twiddles);
}

} // namespace kelvane::reference::avx512
