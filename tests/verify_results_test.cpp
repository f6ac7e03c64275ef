// kelvane-verify's written forms: the statistics of the rounds, and JSON that stays valid for
// any number and any text.
#include "results.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

using kelvane::verify::statistics;

TEST(ResultsFormatters, RoundStatisticsOfEveryCount) {
    struct row {
        std::vector<double> seconds;
        statistics expected;
    };
    const row rows[] = {
        {{2.0}, {2.0, 2.0, 2.0}},
        {{3.0, 1.0}, {2.0, 1.0, 3.0}},                // an even count: the mean of the middle two
        {{5.0, 1.0, 4.0}, {4.0, 1.0, 5.0}},           // unsorted
        {{4.0, 1.0, 8.0, 2.0}, {3.0, 1.0, 8.0}},      // even, unsorted
        {{1.0, 1.0, 1.0, 7.0, 7.0}, {1.0, 1.0, 7.0}}, // ties
    };
    for (const row& r : rows) {
        const statistics got = kelvane::verify::summarise(r.seconds);
        EXPECT_EQ(got.median, r.expected.median) << r.seconds.size() << " values";
        EXPECT_EQ(got.minimum, r.expected.minimum) << r.seconds.size() << " values";
        EXPECT_EQ(got.maximum, r.expected.maximum) << r.seconds.size() << " values";
    }
}

TEST(ResultsFormatters, JsonHoldsNullForWhatIsNotFiniteAndAnyTextEscaped) {
    kelvane::verify::verification v;
    kelvane::verify::size_result size;
    size.samples = 4;
    size.level = 1e-7;
    size.gpu_vs_exact = {std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(), -0.0, 3};
    v.sizes.push_back(size);
    const std::string awkward = "quote \" backslash \\ tab \t bell \x07 newline \n bad \xff end";
    v.table_path = awkward;
    v.origin.cpu = awkward;
    const auto parsed = nlohmann::json::parse(kelvane::verify::json_text(v), nullptr, false);
    ASSERT_FALSE(parsed.is_discarded());
    const auto& gpu = parsed["comparisons"]["gpu_vs_exact"];
    EXPECT_TRUE(gpu["rel_l1"].is_null());
    EXPECT_TRUE(gpu["rel_l2"].is_null());
    EXPECT_EQ(gpu["rel_linf"].get<double>(), 0.0);
    EXPECT_EQ(gpu["linf_bin"].get<int>(), 3);
    const std::string expected =
        "quote \" backslash \\ tab \t bell \x07 newline \n bad \xef\xbf\xbd end";
    EXPECT_EQ(parsed["table"]["path"], expected);
    EXPECT_EQ(parsed["provenance"]["cpu"], expected);
}

} // namespace
