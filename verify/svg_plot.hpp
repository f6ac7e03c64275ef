// The picture of one verification: both spectra's magnitudes and each side's error against
// the exact spectrum, as one self-contained SVG (no scripts, no external references).
#pragma once

#include "exact_transform.hpp"

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
// Columns of the min/max envelope: one a pixel, fewer when there are fewer bins.
inline constexpr int most_columns = plot_right - plot_left;
} // namespace svg_layout

struct plot_input {
    std::span<const kelvane_complex> gpu;
    std::span<const kelvane_complex> four1; // at the device's bin numbering
    std::span<const exact_complex> exact;
    std::string title; // the verdict and the size, shown on top
};

std::string render_svg(const plot_input& input);

} // namespace kelvane::verify
