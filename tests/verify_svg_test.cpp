// The picture as users see it: rendered by a headless browser, the plot areas are drawn, both
// curves show in their colours, and one corrupted bin stands out in the error panel.
#include "child_process.hpp"
#include "files.hpp"
#include "svg_plot.hpp"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace layout = kelvane::verify::svg_layout;
using kelvane::test_support::run_program;

struct rgb {
    int r;
    int g;
    int b;
};

rgb parse_colour(const char* hex) {
    const unsigned long value = std::strtoul(hex + 1, nullptr, 16);
    return {static_cast<int>(value >> 16), static_cast<int>((value >> 8) & 0xff),
            static_cast<int>(value & 0xff)};
}

struct picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels; // RGB
    rgb at(int x, int y) const {
        const auto i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x));
        return {pixels[i], pixels[i + 1], pixels[i + 2]};
    }
};

bool close_to(rgb a, rgb b) {
    return std::abs(a.r - b.r) <= 24 && std::abs(a.g - b.g) <= 24 && std::abs(a.b - b.b) <= 24;
}

std::optional<picture> read_png(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    picture result{static_cast<int>(image.width), static_cast<int>(image.height), {}};
    result.pixels.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, result.pixels.data(), 0, nullptr) == 0)
        return std::nullopt;
    return result;
}

// The first headless browser on the path, or nothing.
std::optional<std::string> browser() {
    for (const char* name : {"chromium-headless-shell", "chromium", "google-chrome"}) {
        const auto found = run_program({"/bin/sh", "-c", std::string("command -v ") + name});
        if (found.exit_status == 0 && !found.out.empty())
            return found.out.substr(0, found.out.find('\n'));
    }
    return std::nullopt;
}

std::optional<picture> render(const std::string& svg_path, const std::string& png_path) {
    const auto shell = browser();
    if (!shell) return std::nullopt;
    // A browser that hangs must not hold the suite: a minute is plenty for one picture.
    const auto result = run_program(
        {"/usr/bin/timeout", "60", *shell, "--headless", "--no-sandbox", "--disable-gpu",
         "--hide-scrollbars", "--force-device-scale-factor=1",
         "--window-size=" + std::to_string(layout::width) + "," + std::to_string(layout::height),
         "--screenshot=" + png_path, "file://" + svg_path});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return read_png(png_path);
}

// The smallest y of a pixel of `colour` in column x between the rows given, or `bottom`.
int top_of(const picture& p, int x, int top, int bottom, rgb colour) {
    for (int y = top; y < bottom; ++y)
        if (close_to(p.at(x, y), colour)) return y;
    return bottom;
}

// Files removed when the test ends.
struct removed_at_end {
    std::vector<std::string> paths;
    ~removed_at_end() {
        for (const auto& path : paths)
            std::filesystem::remove(path);
    }
};

TEST(VerifySvg, RenderedPlotShowsBothCurvesTheToleranceAndACorruptedBinAnywhere) {
    const auto shell = browser();
    if (!shell) GTEST_SKIP() << "no headless browser installed (chromium-headless-shell)";
    constexpr std::size_t bins = 1 << 12;
    // The first and last columns lie beside the frame, the others mid-band.
    for (const std::size_t spike_bin : {std::size_t{0}, std::size_t{5}, bins / 2, bins - 1}) {
        const std::string stem = ::testing::TempDir() + "kelvane_verify_plot_" +
                                 std::to_string(getpid()) + "_" + std::to_string(spike_bin);
        const std::string svg = stem + ".svg";
        const std::string png = stem + ".png";
        const removed_at_end cleanup{{svg, png}};
        const auto run =
            run_program({KELVANE_VERIFY_PROGRAM, "--sizes", "12:12", "--rounds", "1", "--svg", svg},
                        {"KELVANE_EMU_PERTURB=" + std::to_string(spike_bin) + ":0.5"});
        ASSERT_EQ(run.exit_status, 1) << run.err;
        const std::string content = kelvane::test_support::read_file(svg);
        EXPECT_EQ(content.find("<script"), std::string::npos) << "no scripts";
        EXPECT_EQ(content.find("href"), std::string::npos) << "no external references";
        EXPECT_NE(content.find("verdict FAIL"), std::string::npos) << "the verdict in the title";
        EXPECT_NE(content.find("GPU, emulated on the host"), std::string::npos)
            << "the legend says what computed the device's side";

        const auto picture = render(svg, png);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->width, layout::width);
        const rgb black{0, 0, 0};
        const rgb gpu = parse_colour(layout::gpu_colour);
        const rgb four1 = parse_colour(layout::four1_colour);
        const rgb tolerance = parse_colour(layout::tolerance_colour);
        for (int panel = 0; panel < 3; ++panel) {
            const int top = layout::panel_top[panel];
            const int bottom = top + layout::panel_height;
            // The frame's crisp line falls on the row above or below its coordinate.
            const int middle = (layout::plot_left + layout::plot_right) / 2;
            EXPECT_TRUE(close_to(picture->at(middle, top), black) ||
                        close_to(picture->at(middle, top - 1), black))
                << "the frame of panel " << panel;
            std::size_t gpu_pixels = 0;
            std::size_t four1_pixels = 0;
            std::size_t tolerance_pixels = 0;
            for (int y = top + 1; y < bottom; ++y)
                for (int x = layout::plot_left + 1; x < layout::plot_right; ++x) {
                    gpu_pixels += close_to(picture->at(x, y), gpu) ? 1U : 0U;
                    four1_pixels += close_to(picture->at(x, y), four1) ? 1U : 0U;
                    tolerance_pixels += close_to(picture->at(x, y), tolerance) ? 1U : 0U;
                }
            EXPECT_EQ(gpu_pixels > 100, panel != 1) << "the device's colour in panel " << panel;
            EXPECT_EQ(four1_pixels > 100, panel != 0) << "four1's colour in panel " << panel;
            EXPECT_EQ(tolerance_pixels > 300, panel == 2) << "the tolerance in panel " << panel;
        }

        // In the error panel, the corrupted bin's column rises far above bins 400 away.
        const int top = layout::panel_top[2];
        const int bottom = top + layout::panel_height;
        auto x_of = [](std::size_t bin) {
            return static_cast<int>(layout::column_centre(bin, bins));
        };
        const int spike = top_of(*picture, x_of(spike_bin), top, bottom, gpu);
        for (const std::size_t elsewhere : {spike_bin + bins - 400, spike_bin + 400}) {
            const int usual = top_of(*picture, x_of(elsewhere % bins), top, bottom, gpu);
            EXPECT_LT(spike + 60, usual)
                << "spike at " << spike_bin << ", bin " << elsewhere % bins;
        }
    }
}

} // namespace
