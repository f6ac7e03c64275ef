// The data of a transform case as the device holds them: its input buffer, made from the
// case's source, and the errors of an output buffer against the exact output, member by member.
#pragma once

#include "exact_transform.hpp"
#include "transform_case.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvane::verify {

// Raw device data: reals and complex numbers of the case's precision, little-endian, laid out
// as its geometry says. operator new's alignment suits double complex numbers.
using byte_buffer = std::vector<std::byte>;

// The input buffer, g.buffer_bytes(c.in_place) bytes, every byte outside the input's elements
// zero. Each member's elements come from the source:
// - random: every part uniform in [-1, 1) from c.seed, member after member;
// - signal: kelvane's signal over the member's N elements, real parts only for a real input;
// - file: the buffer as it stands in the file, which must hold input_bytes() exactly.
// C2R and Z2D take the exact half spectrum of the random or signal reals, rounded to the
// case's precision: Hermitian, so that the exact output is real. Nothing and `error` set for a
// file that cannot be read or has another size.
std::optional<byte_buffer> make_input(const transform_case& c, const case_geometry& g,
                                      std::string& error);

// The elements of one side, member after member and row-major within each, as long double
// complex numbers (a real one with a zero imaginary part). `buffer` holds the side.
std::vector<exact_complex> gather(const case_geometry& g, const side_layout& side,
                                  std::span<const std::byte> buffer);

// One member's errors against the reference r (the exact values times `scale`):
//     rel_l2   = sqrt(sum |x_k - r_k|^2 / sum |r_k|^2)
//     rel_linf = max |x_k - r_k| / max |r_k|, reached first at `linf_index`
//     bin      = max |x_k - r_k| / (level * rms |r|), in units of `level`.
// NaN or infinite values make them NaN or infinite.
struct member_errors {
    double rel_l2 = 0.0;
    double rel_linf = 0.0;
    std::size_t linf_index = 0;
    double bin_units = 0.0;
};
std::vector<member_errors> errors_per_member(const case_geometry& g, const side_layout& side,
                                             std::span<const std::byte> buffer,
                                             std::span<const exact_complex> exact, double level,
                                             long double scale = 1.0L);

// The `count` elements of a side farthest from the exact ones, the farthest first.
struct element_values {
    std::size_t member;
    std::size_t index; // row-major within the member
    exact_complex value;
    exact_complex exact;
};
std::vector<element_values> worst_elements(const case_geometry& g, const side_layout& side,
                                           std::span<const std::byte> buffer,
                                           std::span<const exact_complex> exact, std::size_t count);

} // namespace kelvane::verify
