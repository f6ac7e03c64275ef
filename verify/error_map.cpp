#include "error_map.hpp"

#include "formatted.hpp"

#include <algorithm>
#include <cmath>

namespace kelvane::verify {
namespace {

using namespace error_map_layout;

// Six decades below the tolerance are white; the colour deepens through yellow and orange to
// red at the tolerance, and a cell at or above it is dark red.
std::string colour_of(double error, double tolerance) {
    if (!std::isfinite(error)) return not_finite_colour;
    if (error >= tolerance) return above_colour;
    const double decades = error > 0.0 ? std::log10(error / tolerance) : -6.0;
    const double t = std::clamp(1.0 + decades / 6.0, 0.0, 1.0); // 0 white, 1 red
    const int green = static_cast<int>(std::lround(255.0 * (1.0 - t)));
    const int blue = static_cast<int>(std::lround(255.0 * std::max(0.0, 1.0 - 2.0 * t)));
    std::string colour;
    append_formatted(colour, "#%02x%02x%02x", 255, green, blue);
    return colour;
}

} // namespace

std::string render_error_map(const error_map_input& input) {
    const std::size_t cell_rows = std::min<std::size_t>(input.rows, most_cells);
    const std::size_t cell_columns = std::min<std::size_t>(input.columns, most_cells);
    // Each cell holds the largest error of its elements; NaN stays the worst.
    std::vector<double> cells(cell_rows * cell_columns, 0.0);
    for (std::size_t r = 0; r < input.rows; ++r)
        for (std::size_t c = 0; c < input.columns; ++c) {
            double& cell = cells[(r * cell_rows / input.rows) * cell_columns +
                                 c * cell_columns / input.columns];
            const double e = input.errors[r * input.columns + c];
            if (std::isnan(e) || (!std::isnan(cell) && e > cell)) cell = e;
        }
    const double side =
        static_cast<double>(map_size) / static_cast<double>(std::max(cell_rows, cell_columns));
    std::string out = svg_start(width, height);
    append_formatted(out,
                     "<text x=\"%d\" y=\"32\" text-anchor=\"middle\" font-size=\"18\">%s</text>\n",
                     width / 2, xml_escaped(input.title).c_str());
    append_formatted(out,
                     "<text x=\"%d\" y=\"58\" text-anchor=\"middle\" font-size=\"12\">%s</text>\n",
                     width / 2, xml_escaped(input.axes).c_str());
    std::size_t worst = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (std::isnan(cells[i]) || (!std::isnan(cells[worst]) && cells[i] > cells[worst]))
            worst = i;
        append_formatted(out,
                         "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"%s\" "
                         "shape-rendering=\"crispEdges\"/>\n",
                         map_left + static_cast<double>(i % cell_columns) * side,
                         map_top + static_cast<double>(i / cell_columns) * side, side + 0.5,
                         side + 0.5, colour_of(cells[i], input.tolerance).c_str());
    }
    // The worst cell ringed, so that one wrong element shows however small its cell.
    append_formatted(out,
                     "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" stroke=\"#1f77b4\" "
                     "stroke-width=\"2.5\"/>\n",
                     map_left + (static_cast<double>(worst % cell_columns) + 0.5) * side,
                     map_top + (static_cast<double>(worst / cell_columns) + 0.5) * side,
                     std::max(8.0, side));
    append_formatted(out,
                     "<rect x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
                     "stroke=\"#000000\"/>\n",
                     map_left, map_top, side * static_cast<double>(cell_columns),
                     side * static_cast<double>(cell_rows));
    append_formatted(out, "<text x=\"%d\" y=\"%d\" font-size=\"12\">row 0, column 0</text>\n",
                     map_left, map_top - 6);
    // The colour bar: decades below the tolerance.
    const int bar_left = map_left + map_size + 60;
    for (int d = 0; d <= 6; ++d) {
        const double error = input.tolerance * std::pow(10.0, -d);
        const int y = map_top + d * 50;
        append_formatted(out,
                         "<rect x=\"%d\" y=\"%d\" width=\"30\" height=\"50\" fill=\"%s\" "
                         "stroke=\"#999999\"/>\n",
                         bar_left, y, colour_of(error, input.tolerance).c_str());
        append_formatted(
            out, "<text x=\"%d\" y=\"%d\" font-size=\"12\">%s</text>\n", bar_left + 38, y + 30,
            d == 0 ? "\u2265 the tolerance" : ("1e-" + std::to_string(d) + " of it").c_str());
    }
    append_formatted(out,
                     "<rect x=\"%d\" y=\"%d\" width=\"30\" height=\"30\" fill=\"%s\"/>\n"
                     "<text x=\"%d\" y=\"%d\" font-size=\"12\">NaN or infinite</text>\n",
                     bar_left, map_top + 370, not_finite_colour, bar_left + 38, map_top + 390);
    append_formatted(out,
                     "<text x=\"%d\" y=\"%d\" font-size=\"12\">ringed: the worst cell</text>\n",
                     bar_left, map_top + 430);
    out += "</svg>\n";
    return out;
}

} // namespace kelvane::verify
