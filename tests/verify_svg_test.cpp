// The picture as users see it: rendered by a headless browser, the plot areas are drawn, both
// curves show in their colours, and one corrupted bin stands out in the error panel.
#include "case_plot.hpp"
#include "case_result.hpp"
#include "child_process.hpp"
#include "error_map.hpp"
#include "files.hpp"
#include "svg_plot.hpp"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
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

std::optional<picture> render(const std::string& svg_path, const std::string& png_path,
                              int width = layout::width, int height = layout::height) {
    const auto shell = browser();
    if (!shell) return std::nullopt;
    // A browser that hangs must not hold the suite: a minute is plenty for one picture.
    const auto result =
        run_program({"/usr/bin/timeout", "60", *shell, "--headless", "--no-sandbox",
                     "--disable-gpu", "--hide-scrollbars", "--force-device-scale-factor=1",
                     "--window-size=" + std::to_string(width) + "," + std::to_string(height),
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

// Pixels of `colour` in the rectangle given.
std::size_t pixels_of(const picture& p, rgb colour, int left, int top, int width, int height) {
    std::size_t count = 0;
    for (int y = top; y < top + height && y < p.height; ++y)
        for (int x = left; x < left + width && x < p.width; ++x)
            count += close_to(p.at(x, y), colour) ? 1U : 0U;
    return count;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST(VerifyPictures, EveryKindOfPictureRendersWithItsMarks) {
    const auto shell = browser();
    if (!shell) GTEST_SKIP() << "no headless browser installed (chromium-headless-shell)";
    namespace plot = kelvane::verify::case_plot_layout;
    const kelvane::test_support::scratch_folder f;
    const std::string verify = KELVANE_VERIFY_PROGRAM;
    ASSERT_EQ(run_program({verify, "--rounds", "1", "--shape", "64,1000", "--json", f / "old.json"})
                  .exit_status,
              0);
    struct row {
        std::string name;
        std::vector<std::string> arguments; // the picture goes to f / "p.svg"
        int status;
        std::size_t panels;
        bool tolerance; // the verdict's tolerance drawn in the first two panels
    };
    const std::vector<row> rows = {
        {"a sweep", {"--sizes", "6:9"}, 0, 4, true},
        {"a run of cases", {"--type", "z2z", "--shape", "100,8x8,3x4x5"}, 0, 4, true},
        {"a suite's kind of run, failing", {"--shape", "17,256", "--batch", "3"}, 1, 4, true},
        {"a comparison", {"--compare", f / "old.json", f / "old.json"}, 0, 2, false},
    };
    const rgb device = parse_colour(kelvane::verify::case_colours::device);
    const rgb tolerance = parse_colour(plot::tolerance_colour);
    for (const row& r : rows) {
        std::vector<std::string> command = {verify, "--svg", f / "p.svg"};
        if (r.name != "a comparison") command.insert(command.end(), {"--rounds", "1"});
        command.insert(command.end(), r.arguments.begin(), r.arguments.end());
        const auto run = run_program(
            command, r.status == 1 ? std::vector<std::string>{"KELVANE_EMU_PERTURB=40:1"}
                                   : std::vector<std::string>{});
        ASSERT_EQ(run.exit_status, r.status) << r.name << run.err;
        const auto shown = render(f / "p.svg", f / "p.png", plot::width, plot::height);
        ASSERT_TRUE(shown) << r.name;
        for (std::size_t panel = 0; panel < r.panels; ++panel) {
            const int left = plot::panel_left[panel % 2];
            const int top = plot::panel_top[panel / 2];
            // A hollow mark has some 20 pixels of its colour, a filled one some 60.
            EXPECT_GT(pixels_of(*shown, device, left, top, plot::panel_width, plot::panel_height),
                      40U)
                << r.name << ": the device's marks in panel " << panel;
            if (r.tolerance && panel < 2) {
                EXPECT_GT(
                    pixels_of(*shown, tolerance, left, top, plot::panel_width, plot::panel_height),
                    100U)
                    << r.name << ": the tolerance in panel " << panel;
            }
        }
        const std::string svg = kelvane::test_support::read_file(f / "p.svg");
        EXPECT_EQ(svg.find("<script"), std::string::npos) << r.name;
        EXPECT_EQ(svg.find("href"), std::string::npos) << r.name;
        if (r.status == 1) {
            EXPECT_GT(occurrences(svg, "r=\"9\""), 0U) << "a failing case's ring";
        }
        if (r.name != "a comparison") {
            EXPECT_NE(svg.find("EMULATED"), std::string::npos) << r.name << ": says emulated";
        }
    }
}

TEST(VerifyPictures, AOneCaseRunOf3DMapsWhereItsWrongElementLies) {
    const auto shell = browser();
    if (!shell) GTEST_SKIP() << "no headless browser installed (chromium-headless-shell)";
    namespace map = kelvane::verify::error_map_layout;
    const kelvane::test_support::scratch_folder f;
    // The output is 64 x 48 x 51 complex numbers a member; element 3000 of the buffer is in
    // plane 1, row 10, column 42.
    const auto run = run_program({KELVANE_VERIFY_PROGRAM, "--rounds", "1", "--type", "r2c",
                                  "--shape", "64x48x100", "--batch", "2", "--svg", f / "map.svg"},
                                 {"KELVANE_EMU_PERTURB=3000:1"});
    ASSERT_EQ(run.exit_status, 1) << run.err;
    const auto shown = render(f / "map.svg", f / "map.png", map::width, map::height);
    ASSERT_TRUE(shown);
    const double side = static_cast<double>(map::map_size) / 51;
    auto cell_colour = [&](int row, int column) {
        return shown->at(map::map_left + static_cast<int>((column + 0.5) * side),
                         map::map_top + static_cast<int>((row + 0.5) * side));
    };
    const rgb above = parse_colour(map::above_colour);
    EXPECT_TRUE(close_to(cell_colour(10, 42), above)) << "the wrong element's cell";
    for (const auto& [row, column] : {std::pair{0, 0}, std::pair{10, 41}, std::pair{47, 50}})
        EXPECT_FALSE(close_to(cell_colour(row, column), above)) << row << ", " << column;
}

TEST(VerifyPictures, TheHtmlPageHoldsEveryCaseAndEveryPictureInline) {
    const auto shell = browser();
    if (!shell) GTEST_SKIP() << "no headless browser installed (chromium-headless-shell)";
    const kelvane::test_support::scratch_folder f;
    const std::string verify = KELVANE_VERIFY_PROGRAM;
    struct row {
        std::string name;
        std::vector<std::string> arguments;
        int status;
    };
    const std::vector<row> rows = {
        {"the default run", {}, 0},
        {"a failing run of cases", {"--type", "r2c", "--shape", "1000,30x40,4x5x6"}, 1},
    };
    for (const row& r : rows) {
        std::vector<std::string> command = {
            verify, "--rounds", "1", "--html", f / "page.html", "--json", f / "page.json"};
        command.insert(command.end(), r.arguments.begin(), r.arguments.end());
        const auto run = run_program(
            command, r.status == 1 ? std::vector<std::string>{"KELVANE_EMU_PERTURB=77:1"}
                                   : std::vector<std::string>{});
        ASSERT_EQ(run.exit_status, r.status) << r.name << run.err;
        const std::string page = kelvane::test_support::read_file(f / "page.html");
        const auto json = nlohmann::json::parse(kelvane::test_support::read_file(f / "page.json"));
        EXPECT_EQ(occurrences(page, "<tr class=\"case"), json["cases"].size()) << r.name;
        for (const auto& c : json["cases"])
            EXPECT_NE(page.find("<td>" + c["type"].get<std::string>() + "</td>"), std::string::npos)
                << r.name;
        EXPECT_EQ(occurrences(page, "<svg"), 1U) << r.name << ": the picture inline";
        for (const char* outside : {"<script", "href=", "src=", "@import", "url("})
            EXPECT_EQ(page.find(outside), std::string::npos) << r.name << ": " << outside;
        EXPECT_EQ(page.find("Worst elements") != std::string::npos, r.status == 1) << r.name;
        const auto shown = render(f / "page.html", f / "page.png", 1280, 3000);
        ASSERT_TRUE(shown) << r.name;
        EXPECT_GT(pixels_of(*shown, parse_colour(layout::gpu_colour), 0, 0, 1280, 3000), 500U)
            << r.name << ": the inline picture is drawn";
    }
}

} // namespace
