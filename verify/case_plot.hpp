// The picture of many cases (a sweep, a suite, a comparison of two runs), as one
// self-contained SVG: a mark a case and figure against the transform's length on log axes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kelvane::verify {

namespace case_plot_layout {
inline constexpr int width = 1200;
inline constexpr int height = 1040;
// Panels in reading order: left to right, then top to bottom.
inline constexpr int panel_left[2] = {90, 690};
inline constexpr int panel_width = 480;
inline constexpr int panel_top[2] = {120, 590};
inline constexpr int panel_height = 330;
inline constexpr const char* tolerance_colour = "#d62728";
inline constexpr const char* regression_colour = "#d62728";
} // namespace case_plot_layout

// A mark's shape: one for each kind of transform, filled in single precision and hollow in
// double.
enum class mark_shape { circle, square, triangle };

struct plot_point {
    double n = 0.0; // the transform's length, the x axis
    double y = 0.0; // not finite or not positive: left out
    mark_shape shape = mark_shape::circle;
    bool hollow = false;
    bool flagged = false; // drawn with a ring: a failing case or a regression
};

// One series: its legend and colour, and its points.
struct plot_curve {
    std::string label;
    const char* colour;
    std::vector<plot_point> points;
    bool dashed_line = false; // joined in order of n, as a limit is
};

struct plot_panel {
    std::string title;
    std::string y_label;
    std::vector<plot_curve> curves;
};

// Up to four panels on log-log axes, two a row, under `title` and the `notes` lines.
std::string render_case_plot(const std::string& title, const std::vector<std::string>& notes,
                             const std::vector<plot_panel>& panels);

} // namespace kelvane::verify
