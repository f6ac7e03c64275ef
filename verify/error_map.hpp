// Where a 2D or 3D transform's errors lie: a map over its last two axes, each cell the largest
// error of the elements it covers (over the outermost axis of a 3D transform and over the
// batch too), coloured by its distance from the verdict's tolerance.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kelvane::verify {

namespace error_map_layout {
inline constexpr int width = 1000;
inline constexpr int height = 860;
inline constexpr int map_left = 110;
inline constexpr int map_top = 90;
inline constexpr int map_size = 640;                   // the longer side; cells are square
inline constexpr int most_cells = 128;                 // along either axis
inline constexpr const char* above_colour = "#7f0000"; // at or above the tolerance
inline constexpr const char* not_finite_colour = "#000000";
} // namespace error_map_layout

struct error_map_input {
    std::size_t rows = 1;    // the second-to-last axis
    std::size_t columns = 1; // the last axis
    // rows * columns errors, row-major, each relative to the largest exact magnitude.
    std::vector<double> errors;
    double tolerance = 0.0; // in the same units
    std::string title;
    std::string axes; // what the rows and columns are
};

std::string render_error_map(const error_map_input& input);

} // namespace kelvane::verify
