// The picture of one verification: both spectra's magnitudes and each side's error against
// the exact spectrum, as one self-contained SVG (no scripts, no external references).
#pragma once

#include "exact_transform.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace kelvane::verify {

// The plot's geometry and colours, which tests read back from the rendered picture.
namespace svg_layout {
inline constexpr int width = 1200;
inline constexpr int height = 900;
inline constexpr int plot_left = 90;
inline constexpr int plot_right = 1170;
// Three panels, top to bottom: the device's magnitude, four1's, and both errors.
inline constexpr int panel_top[3] = {60, 330, 600};
inline constexpr int panel_height = 220;
inline constexpr const char* gpu_colour = "#1f77b4";
inline constexpr const char* four1_colour = "#ff7f0e";
inline constexpr const char* tolerance_colour = "#d62728";
// The curves keep clear of the frame by this much on either side, so that the first and the
// last column are never beneath it.
inline constexpr int inset = 4;
inline constexpr int data_left = plot_left + inset;
inline constexpr int data_right = plot_right - inset;
// Columns of the min/max envelope: one a pixel, fewer when there are fewer bins.
inline constexpr int most_columns = data_right - data_left;
// The x of the middle of the column that holds `bin` of `bins`.
double column_centre(std::size_t bin, std::size_t bins);
} // namespace svg_layout

// One computed side: its label in the legend and panel, and its value at each bin.
struct plot_series {
    std::string label;
    std::function<exact_complex(std::size_t)> value;
};

struct plot_input {
    std::size_t bins = 0;
    plot_series device; // the device, named or said to be emulated
    plot_series second; // four1 or FFTW, at the device's numbering
    std::function<exact_complex(std::size_t)> exact;
    std::optional<double> tolerance; // of |X - exact| / max |exact|, drawn as a line
    std::string title;               // the verdict and the size, shown on top
    std::string x_label;
};

std::string render_svg(const plot_input& input);

} // namespace kelvane::verify
