// A transform as a user runs it through cuFFT: type, lengths, batch, placement, direction,
// data layout and input; where each of its elements lies on either side; the options that
// rerun it alone; and the built-in suites of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::verify {

// cuFFT's six types: the first three single precision, the last three double.
enum class fft_type { c2c, r2c, c2r, z2z, d2z, z2d };
inline constexpr std::array<std::string_view, 6> fft_type_names = {"c2c", "r2c", "c2r",
                                                                   "z2z", "d2z", "z2d"};

inline std::string_view type_name(fft_type type) {
    return fft_type_names[static_cast<std::size_t>(type)];
}
bool double_precision(fft_type type);
bool real_input(fft_type type);   // r2c, d2z
bool real_output(fft_type type);  // c2r, z2d
bool complex_only(fft_type type); // c2c, z2z

enum class input_source { signal, random, file };

struct transform_case {
    fft_type type = fft_type::c2c;
    std::vector<std::size_t> lengths{std::size_t{1} << 20}; // outermost first, 1 to 3 of them
    std::size_t batch = 1;
    bool in_place = false;
    bool inverse = false; // c2c and z2z; real types have their own direction
    // The advanced layout, in elements of each side's type; none gives the packed one.
    std::optional<std::size_t> stride;
    std::optional<std::size_t> distance;
    std::optional<std::size_t> output_stride;
    std::optional<std::size_t> output_distance;
    input_source input = input_source::signal;
    std::string input_file;
    std::uint64_t seed = 0;
};

// The product of the lengths: the N of eps sqrt(log2 N) and of 5 N log2 N.
std::size_t total_length(const transform_case& c);
bool forward(const transform_case& c);
// Whether four1 computes the same transform: single-precision C2C of one power-of-two length.
bool four1_applies(const transform_case& c);

// One side of a transform: its logical lengths and where element x of member b lies,
// b * distance + (x0 * embed[1] * embed[2] + x1 * embed[2] + x2) * stride, in elements of the
// side's type.
struct side_layout {
    bool complex = true;
    std::array<std::size_t, 3> lengths{1, 1, 1};
    std::array<std::size_t, 3> embed{1, 1, 1};
    std::size_t stride = 1;
    std::size_t distance = 0;
    std::size_t elements() const;                // per member: the product of the lengths
    std::size_t extent(std::size_t batch) const; // from the buffer's start past its last element
    std::size_t index(std::size_t member, std::size_t logical) const; // logical: row-major
};

// What cufftPlanMany and FFTW's advanced interface are given, and the buffers' sizes.
struct case_geometry {
    int rank = 1;
    std::array<int, 3> n{1, 1, 1};
    std::size_t batch = 1;
    bool advanced = false; // embeds, strides and distances are passed; else the basic layout
    side_layout in;
    side_layout out;
    std::size_t real_bytes = 4; // of one real number of the case's precision
    std::size_t input_bytes() const;
    std::size_t output_bytes() const;
    // In place: one buffer of the larger size.
    std::size_t buffer_bytes(bool in_place) const;
};

// The case's layouts: the packed one (the real side of an in-place real transform padded to
// 2 * (n/2 + 1) reals a row), or the advanced one with embeds equal to the lengths.
case_geometry geometry_of(const transform_case& c);

// Why a case cannot run (one line), or nothing: lengths and batch at least 1, 1 to 3 lengths,
// cuFFT's int arguments in range, --inverse only for c2c and z2z, in place only with equal
// layouts on both sides, and batch members that do not overlap.
std::optional<std::string> case_problem(const transform_case& c);

// "--type r2c --shape 256x256x255 ..." with every option that differs from the default.
std::string rerun_options(const transform_case& c);
// "256x256x255"
std::string shape_text(std::span<const std::size_t> lengths);
// Parses "N[xM[xK]]"; nothing where it is not one.
std::optional<std::vector<std::size_t>> parse_shape(std::string_view text);

// The built-in suites: "quick" and "full". Nothing for another name.
std::optional<std::vector<transform_case>> suite_cases(std::string_view name, std::uint64_t seed);
inline constexpr std::array<std::string_view, 2> suite_names = {"quick", "full"};

} // namespace kelvane::verify
