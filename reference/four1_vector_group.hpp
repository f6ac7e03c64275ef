// A group of butterfly passes on vector registers, written once for every instruction set: `Ops`
// says how a register loads, stores, adds, subtracts and multiplies by a twiddle factor. Each
// instruction set's source includes this under its own compiler target; nothing else may.
//
// Each lane rounds as the scalar butterfly: tr = wr*br - wi*bi, ti = wr*bi + wi*br, then a +- t.
// Negating a twiddle's imaginary part is exact, so a conjugated twiddle rounds as the stored one.
#pragma once

#include "four1_layout.hpp"

#include <cstddef>

namespace kelvane::reference {

// For k in steps of Ops::lanes: the group's twiddles for k are split into real and imaginary
// registers once, then every block of 2^passes h samples goes through all the group's passes.
template <class Ops, int passes>
void vector_group(sample* x, std::size_t n, std::size_t h, std::size_t k_begin, std::size_t k_end,
                  const group_twiddles& twiddles) {
    using reg = typename Ops::reg;
    constexpr std::size_t points = std::size_t{1} << passes;
    for (std::size_t k = k_begin; k < k_end; k += Ops::lanes) {
        // Stage s, start e at (2^s - 1) + e.
        reg w_re[points - 1];
        reg w_im[points - 1];
        for (int s = 0; s < passes; ++s)
            for (std::size_t e = 0; e < (std::size_t{1} << s); ++e) {
                const reg w = Ops::load(&twiddles.stage[s][e][k - k_begin]);
                w_re[(std::size_t{1} << s) - 1 + e] = Ops::real_parts(w);
                const reg w_im_stored = Ops::imaginary_parts(w);
                w_im[(std::size_t{1} << s) - 1 + e] =
                    twiddles.conjugate[s] ? Ops::negated(w_im_stored) : w_im_stored;
            }
        for (std::size_t block = 0; block < n; block += points * h) {
            reg v[points];
            for (std::size_t e = 0; e < points; ++e)
                v[e] = Ops::load(&x[block + e * h + k]);
            for (int s = 0; s < passes; ++s) {
                const std::size_t distance = std::size_t{1} << s;
                for (std::size_t e = 0; e < points; ++e)
                    if ((e & distance) == 0) {
                        const std::size_t w = distance - 1 + (e & (distance - 1));
                        const reg t = Ops::twiddled(v[e + distance], w_re[w], w_im[w]);
                        v[e + distance] = Ops::sub(v[e], t);
                        v[e] = Ops::add(v[e], t);
                    }
            }
            for (std::size_t e = 0; e < points; ++e)
                Ops::store(&x[block + e * h + k], v[e]);
        }
    }
}

template <class Ops>
void vector_group(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
                  std::size_t k_end, const group_twiddles& twiddles) {
    switch (passes) {
    case 1:
        vector_group<Ops, 1>(x, n, h, k_begin, k_end, twiddles);
        break;
    case 2:
        vector_group<Ops, 2>(x, n, h, k_begin, k_end, twiddles);
        break;
    default:
        vector_group<Ops, 3>(x, n, h, k_begin, k_end, twiddles);
        break;
    }
}

} // namespace kelvane::reference
