// kelvane-verify --compare: cases matched across two reports, regressions found and named,
// and anything that is not a report refused.
#include "child_process.hpp"
#include "files.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using kelvane::test_support::read_file;
using kelvane::test_support::run_program;
using kelvane::test_support::scratch_folder;
using kelvane::test_support::write_text;

const std::string verify_program = KELVANE_VERIFY_PROGRAM;

// Writes a report of the cases `arguments` give, under `environment`.
void report(const std::string& path, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment = {}) {
    std::vector<std::string> command = {verify_program, "--rounds", "3", "--json", path};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto result = run_program(command, environment);
    ASSERT_LE(result.exit_status, 1) << result.err;
}

// Edits the report at `path`.
template <class Edit>
void edit_report(const std::string& path, Edit edit) {
    nlohmann::json json = nlohmann::json::parse(read_file(path));
    edit(json);
    write_text(path, json.dump());
}

TEST(VerifyCompare, FindsEachKindOfRegressionAndRefusesOtherFiles) {
    const scratch_folder f;
    const std::vector<std::string> cases = {"--shape", "64,1000"};
    report(f / "old.json", cases);
    const nlohmann::json old = nlohmann::json::parse(read_file(f / "old.json"));
    // Every other report differs from the old one in what its row names alone: the times of
    // two runs differ from run to run.
    report(f / "perturbed.json", cases, {"KELVANE_EMU_PERTURB=700:0.5"});
    edit_report(f / "perturbed.json", [&old](nlohmann::json& json) {
        for (std::size_t i = 0; i < json["cases"].size(); ++i)
            json["cases"][i]["timings"] = old["cases"][i]["timings"];
    });
    write_text(f / "slower.json", old.dump());
    edit_report(f / "slower.json", [](nlohmann::json& json) {
        for (const char* phase : {"execution_back_to_back", "device_leg"}) {
            auto& figures = json["cases"][1]["timings"]["phases"][phase];
            for (const char* key : {"median_s", "min_s", "max_s"})
                figures[key] = figures[key].get<double>() * 3;
        }
    });
    write_text(f / "other.json", old.dump());
    edit_report(f / "other.json", [](nlohmann::json& json) { json["cases"][0]["shape"] = {4096}; });
    write_text(f / "not-a-report.json", "{\"verdict\": \"pass\"}");
    write_text(f / "not-json.txt", "verdict: PASS\n");
    struct row {
        std::string name;
        std::string before;
        std::string after;
        int status;
        std::vector<std::string> lines; // each in the output
    };
    const std::vector<row> rows = {
        {"identical runs", "old.json", "old.json", 0, {"no regression: 0 of 2 matched cases"}},
        {"a wrong element",
         "old.json",
         "perturbed.json",
         1,
         {"c2c 1000, batch 1, out of place, forward, single", "REGRESSION: passed, now fails",
          "REGRESSION: 1 of 2 matched cases regressed"}},
        {"three times slower",
         "old.json",
         "slower.json",
         1,
         {"REGRESSION: execution more than 10 % slower",
          "REGRESSION: whole leg more than 10 % slower"}},
        {"partly other cases",
         "old.json",
         "other.json",
         0,
         {"only in OLD: c2c 64, batch 1", "only in NEW: c2c 4096, batch 1",
          "no regression: 0 of 1 matched cases"}},
        {"a JSON file of another kind", "old.json", "not-a-report.json", 2, {}},
        {"no JSON at all", "not-json.txt", "old.json", 2, {}},
        {"a missing file", "old.json", "missing.json", 2, {}},
    };
    for (const row& r : rows) {
        const auto result = run_program({verify_program, "--compare", f / r.before, f / r.after});
        EXPECT_EQ(result.exit_status, r.status) << r.name << "\n" << result.out << result.err;
        for (const std::string& line : r.lines)
            EXPECT_NE(result.out.find(line), std::string::npos) << r.name << ": " << line;
        if (r.status == 2) {
            EXPECT_EQ(result.out, "") << r.name;
            EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << r.name << result.err;
        }
    }
    // Only the picture and the page go with a comparison.
    const auto refused =
        run_program({verify_program, "--compare", f / "old.json", f / "old.json", "--rounds", "2"});
    EXPECT_EQ(refused.exit_status, 2);
}

} // namespace
