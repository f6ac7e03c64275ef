// kelvane-verify as its users run it: on the emulated device, on tables that kelvane wrote,
// with broken tables and bad arguments, and with a device call failing in a sweep.
#include "child_process.hpp"
#include "files.hpp"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using kelvane::test_support::read_file;
using kelvane::test_support::run_program;

const std::string verify_program = KELVANE_VERIFY_PROGRAM;

// A file of this test process alone (CTest runs each case in a process of its own, side by
// side with others), removed when the test is done with it.
class scratch_file {
  public:
    explicit scratch_file(const std::string& name)
        : path_(::testing::TempDir() + "kelvane_verify_" + std::to_string(getpid()) + "_" + name) {}
    ~scratch_file() { std::filesystem::remove(path_); }
    scratch_file(const scratch_file&) = delete;
    scratch_file& operator=(const scratch_file&) = delete;
    operator const std::string&() const { return path_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A report's JSON; null, and a failure, when it does not parse.
nlohmann::json read_json(const std::string& path) {
    nlohmann::json parsed = nlohmann::json::parse(read_file(path), nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << path << " does not parse as JSON";
    return parsed.is_discarded() ? nlohmann::json() : parsed;
}

// One table that kelvane wrote on the emulated device, shared by the table tests.
const std::string& kelvane_table() {
    static const scratch_file file("table.txt");
    static const bool written = [] {
        const auto result = run_program({KELVANE_PROGRAM}, {}, file.path());
        EXPECT_EQ(result.exit_status, 0);
        return true;
    }();
    (void)written;
    return file.path();
}

// kelvane's table with `edit` made to it, in a file of its own.
std::unique_ptr<scratch_file> table_variant(const std::string& name,
                                            const std::function<void(std::string&)>& edit) {
    std::string text = read_file(kelvane_table());
    edit(text);
    auto file = std::make_unique<scratch_file>(name);
    std::ofstream(file->path()) << text;
    return file;
}

TEST(VerifyRun, DefaultRunPassesWithTheErrorsWhereTheoryPutsThem) {
    // The emulated device rounds an exact transform once; four1 rounds in each of its 20
    // stages; the expected level is eps*sqrt(log2 N).
    const scratch_file json("default.json");
    const auto result =
        run_program({verify_program, "--json", json, "--rounds", "1", "--warmups", "0"});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.out.find("verdict: PASS"), std::string::npos);
    EXPECT_NE(result.out.find("EMULATED"), std::string::npos) << "emulated timings are labelled";
    nlohmann::json report = read_json(json);
    EXPECT_EQ(report["verdict"].get<std::string>(), "pass");
    const double level = report["expected_level"].get<double>();
    const auto& comparisons = report["comparisons"];
    const double gpu = comparisons["gpu_vs_exact"]["rel_l2"].get<double>();
    const double four1 = comparisons["four1_vs_exact"]["rel_l2"].get<double>();
    const double between = comparisons["gpu_vs_four1"]["rel_l2"].get<double>();
    std::printf("rel L2: gpu %.3g, four1 %.3g, between %.3g; level %.3g\n", gpu, four1, between,
                level);
    EXPECT_LT(gpu, 0.3 * level);
    EXPECT_GT(four1, 0.3 * level);
    EXPECT_LT(four1, 1.5 * level);
    EXPECT_LE(between, gpu + four1);
    EXPECT_GE(between, four1 - gpu);
    for (const char* key : {"rel_l1", "rel_l2", "rel_linf", "linf_bin"})
        EXPECT_NO_THROW(comparisons["gpu_vs_four1"][key].get<double>()) << key;
    const auto& origin = report["provenance"];
    EXPECT_NE(origin["gpu"].get<std::string>().find("emulation"), std::string::npos);
    const std::string path = origin["four1_path"].get<std::string>();
    EXPECT_TRUE(path == "avx512" || path == "avx" || path == "scalar") << path;
    EXPECT_EQ(origin["fp_mode"].get<std::string>(), "flush-to-zero and denormals-are-zero");
    EXPECT_FALSE(origin["commit"].get<std::string>().empty());
    EXPECT_FALSE(origin["cpu"].get<std::string>().empty());
}

TEST(VerifyRun, ACorruptedBinFailsAndIsNamed) {
    const scratch_file json("corrupt.json");
    const auto result =
        run_program({verify_program, "--sizes", "12:12", "--rounds", "1", "--json", json},
                    {"KELVANE_EMU_PERTURB=1234:100"});
    EXPECT_EQ(result.exit_status, 1) << result.err;
    EXPECT_NE(result.out.find("verdict: FAIL"), std::string::npos);
    EXPECT_NE(result.out.find("\n        1234  ("), std::string::npos) << result.out;
    nlohmann::json report = read_json(json);
    EXPECT_EQ(report["verdict"].get<std::string>(), "fail");
    EXPECT_EQ(report["comparisons"]["gpu_vs_exact"]["linf_bin"].get<double>(), 1234.0);
    EXPECT_EQ(report["worst_bins"].at(0)["bin"].get<double>(), 1234.0);
}

TEST(VerifyTable, ARealTablePassesFromAFileAndFromAPipe) {
    const auto from_file = run_program({verify_program, "--table", kelvane_table()});
    EXPECT_EQ(from_file.exit_status, 0) << from_file.err;
    EXPECT_NE(from_file.out.find("printing floor"), std::string::npos);
    const auto from_pipe = run_program(
        {"/bin/sh", "-c", "\"$0\" | \"$1\" --table -", KELVANE_PROGRAM, verify_program});
    EXPECT_EQ(from_pipe.exit_status, 0) << from_pipe.err;
    EXPECT_NE(from_pipe.out.find("verdict: PASS"), std::string::npos);
}

TEST(VerifyTable, AChangedGpuFieldFailsAtItsBin) {
    // Record 500000 is line 500001; its GPU real part is the second field.
    const auto changed = table_variant("changed.txt", [](std::string& text) {
        text.replace(500000 * 73 + 12, 15, "  1.0000000E+09");
    });
    const auto result = run_program({verify_program, "--table", changed->path()});
    EXPECT_EQ(result.exit_status, 1) << result.err;
    EXPECT_NE(result.out.find("\n      500000  ("), std::string::npos) << result.out;
}

TEST(VerifyTable, EachBrokenTableGivesItsOwnInputError) {
    // A file of the wrong size is refused from its size; a stream is read and its first fault
    // named by its line.
    const std::string wrong_size = "bytes, where a table of 1048576 records has 76546116";
    struct row {
        const char* name;
        std::function<void(std::string&)> edit;
        std::string file_message;
        std::string stream_message;
    };
    const row rows[] = {
        {"truncated", [](std::string& t) { t.resize(1000 * 73); }, "73000 " + wrong_size,
         ":1001: the table ends before record 1000"},
        {"long", [](std::string& t) { t.insert(7 * 73 + 20, "0"); }, "76546117 " + wrong_size,
         ": more than the 76546116 bytes of a table of 1048576 records"},
        {"bad_number", [](std::string& t) { t[3 * 73 + 12 + 15 + 13] = '?'; }, ":4: field 3, ",
         ":4: field 3, "},
        {"bad_number_late", [](std::string& t) { t[900000 * 73 + 12 + 13] = '?'; },
         ":900001: field 2, ", ":900001: field 2, "},
        {"nul_byte", [](std::string& t) { t[5 * 73 + 12 + 13] = '\0'; },
         "\\x00 \", is not a number", "\\x00 \", is not a number"},
        {"escape", [](std::string& t) { t[5 * 73 + 12 + 13] = '\x1b'; },
         "\\x1b \", is not a number", "\\x1b \", is not a number"},
        {"no_timing", [](std::string& t) { t.resize(t.size() - 34); }, "76546082 " + wrong_size,
         ":1048578: the timing line \"Elapsed time of cufft: ...\" is missing"},
        {"negative_time", [](std::string& t) { t.replace(t.size() - 11, 8, " -0.5000"); },
         ":1048578: not the timing line \"Elapsed time of cufft: <seconds> s\"",
         ":1048578: not the timing line \"Elapsed time of cufft: <seconds> s\""},
        {"nan_time", [](std::string& t) { t.replace(t.size() - 45, 8, "     NaN"); },
         ":1048577: not the timing line \"Elapsed time of four1: <seconds> s\"",
         ":1048577: not the timing line \"Elapsed time of four1: <seconds> s\""},
    };
    for (const auto& [name, edit, file_message, stream_message] : rows) {
        const auto broken = table_variant(name, edit);
        const auto from_file = run_program({verify_program, "--table", broken->path()});
        const auto from_stream = run_program(
            {"/bin/sh", "-c", "cat \"$1\" | \"$0\" --table -", verify_program, broken->path()});
        for (const auto& [result, message] :
             {std::pair{&from_file, &file_message}, std::pair{&from_stream, &stream_message}}) {
            EXPECT_EQ(result->exit_status, 2) << name;
            EXPECT_EQ(result->out, "") << name << ": no verdict";
            EXPECT_NE(result->err.find(*message), std::string::npos) << name << ": " << result->err;
            EXPECT_EQ(result->err.find('\n'), result->err.size() - 1) << name << ": one line";
        }
    }
}

TEST(VerifyUsage, BadArgumentsAndInputsGiveOneLineAndStatus2) {
    const std::vector<std::vector<std::string>> rows = {
        {"--frobnicate"},
        {"--json"},
        {"--sizes", "20"},
        {"--sizes", "12:10"},
        {"--sizes", "0:4"},
        {"--sizes", "4:27"},
        {"--rounds", "0"},
        {"--warmups", "-1"},
        {"--tol-l2", "-1e-6"},
        {"--tol-linf", "nan"},
        {"--table", "-", "--sizes", "10:12"},
        {"--table", "/nonexistent/table.txt"},
        {"--json", "/nonexistent/folder/report.json"},
        {"--json", "a.json", "--json", "b.json"},
        {"--sizes=3:4", "--sizes", "5:6"},
        {"--sizes=0:4"},
        {"--tol-bin", "0"},
        {"--table", "-", "--tol-bin", "3"},
        // Transform cases.
        {"--type", "c2d"},
        {"--shape", "0"},
        {"--shape", "4x4x4x4"},
        {"--shape", "16,,8"},
        {"--type", "r2c", "--inverse"},
        {"--suite", "medium"},
        {"--suite", "quick", "--type", "r2c"},
        {"--sizes", "4:6", "--shape", "16"},
        {"--shape", "16", "--batch", "2", "--stride", "1", "--dist", "8"},
        {"--shape", "16", "--in-place", "--stride", "2", "--ostride", "1"},
        {"--type", "r2c", "--shape", "16", "--in-place", "--stride", "2"},
        {"--shape", "16", "--stride", "0"},
        {"--fftw-plan", "exhaustive"},
        {"--table", "-", "--shape", "16"},
        {"--shape", "16", "--input", "/nonexistent/input.bin"},
    };
    for (const auto& arguments : rows) {
        std::vector<std::string> command = {verify_program};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const auto result = run_program(command);
        EXPECT_EQ(result.exit_status, 2) << arguments[0];
        EXPECT_EQ(result.out, "") << arguments[0];
        EXPECT_TRUE(result.err.starts_with("kelvane-verify: ")) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
    const auto help = run_program({verify_program, "--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: kelvane-verify"));
    for (const char* option :
         {"--table",    "--json",     "--svg",     "--csv",      "--tol-l2",
          "--tol-linf", "--tol-bin",  "--warmups", "--rounds",   "--sizes",
          "--seed",     "--version",  "1 to 1000", "0 to 1000",  "1 <= A <= B <= 26",
          "--type",     "--shape",    "--batch",   "--in-place", "--inverse",
          "--stride",   "--dist",     "--ostride", "--odist",    "--input",
          "--suite",    "--fftw-plan"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const auto version = run_program({verify_program, "--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_TRUE(version.out.starts_with("kelvane-verify 0.1.0, commit ")) << version.out;
    const auto repeated = run_program({verify_program, "--rounds", "1", "--rounds", "2"});
    EXPECT_EQ(repeated.err,
              "kelvane-verify: --rounds is given 2 times; it takes one value (--help shows the "
              "usage)\n");
}

TEST(VerifyUsage, AnOptionTakesItsValueAfterABlankOrAnEqualsSign) {
    const kelvane::test_support::scratch_folder folder;
    const auto result = run_program({verify_program, "--sizes=2:3", "--rounds", "1",
                                     "--json=" + folder / "report.json", "--seed=9"});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    nlohmann::json report = read_json(folder / "report.json");
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["timings"].size(), 2U);
    EXPECT_EQ(report["random_input"]["seed"], 9);
}

// CSV fields, quoted ones included.
std::vector<std::string> csv_fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (line[i] == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += line[i];
        }
    }
    return fields;
}

// "2026-12-10T17:08:25Z": a time in UTC, ISO 8601, to the second.
bool utc_time(const std::string& text) {
    const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) == 0
                              : text[i] != pattern[i])
            return false;
    return true;
}

TEST(VerifySweep, RowsMatchTheSizesAndRoundsAsked) {
    const scratch_file json("sweep.json");
    const scratch_file csv("sweep.csv");
    const auto result = run_program({verify_program, "--sizes", "3:5", "--rounds", "2", "--warmups",
                                     "1", "--json", json, "--csv", csv});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "") << "no progress where standard error is no terminal";
    nlohmann::json report = read_json(json);
    const auto& timings = report["timings"];
    ASSERT_EQ(timings.size(), 3U);
    for (std::size_t i = 0; i < timings.size(); ++i) {
        EXPECT_EQ(timings[i]["log2n"].get<double>(), static_cast<double>(3 + i));
        EXPECT_EQ(timings[i]["rounds"].get<double>(), 2.0);
        EXPECT_EQ(timings[i]["warmups"].get<double>(), 1.0);
        EXPECT_EQ(timings[i]["round_wall_s"].size(), 2U);
        EXPECT_TRUE(timings[i]["emulated"].get<bool>());
        const auto& phases = timings[i]["phases"];
        for (const char* name :
             {"pinned_allocation", "staging_in", "device_allocation", "host_to_device",
              "plan_creation", "execution", "device_to_host", "staging_out", "releases",
              "device_leg", "four1", "fftw_1_thread", "fftw_all_cores"})
            EXPECT_TRUE(phases.contains(name)) << name;
        EXPECT_EQ(phases.contains("context_creation"), i == 0);
        EXPECT_EQ(timings[i]["accuracy"]["verdict"].get<std::string>(), "pass");
    }
    EXPECT_NE(report["provenance"]["gpu"].get<std::string>().find("emulation"), std::string::npos);

    std::istringstream lines(read_file(csv));
    std::string line;
    std::getline(lines, line);
    const auto header = csv_fields(line);
    ASSERT_EQ(header.front(), "log2n");
    ASSERT_GE(header.size(), 4U);
    EXPECT_EQ(std::vector<std::string>(header.end() - 4, header.end()),
              (std::vector<std::string>{"processor", "host", "started_utc", "command_line"}));
    std::size_t rows = 0;
    while (std::getline(lines, line)) {
        const auto fields = csv_fields(line);
        ASSERT_EQ(fields.size(), header.size()) << line;
        EXPECT_NE(fields[11].find("emulation"), std::string::npos) << "provenance in every row";
        EXPECT_EQ(fields[3], fields[2] == "context_creation" ? "1" : "2") << line;
        EXPECT_TRUE(utc_time(fields[fields.size() - 2])) << line;
        EXPECT_NE(fields.back().find("--sizes 3:5 --rounds 2"), std::string::npos) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 3U * 13U + 1U) << "thirteen timed rows a size and the context once";
}

TEST(VerifySweep, AFailingDeviceCallLeavesNoReportBehind) {
    // Executions at each size: the random input's bridge call, the signal's, then the round.
    // 2^3 takes the 1st to 3rd, 2^4 the 4th to 6th: the 6th, its round, fails.
    const kelvane::test_support::scratch_folder folder;
    const std::string json = folder / "failed.json";
    const std::string csv = folder / "failed.csv";
    const auto result = run_program({verify_program, "--sizes", "3:5", "--rounds", "1", "--warmups",
                                     "0", "--json", json, "--csv", csv},
                                    {"KELVANE_EMU_FAIL=cufftExecC2C:6:6"});
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.err, "device_leg(10) : cufftSafeCall() CUFFT error.\n");
    EXPECT_EQ(result.out, "");
    for (const auto& path : {json, csv})
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    EXPECT_EQ(kelvane::test_support::temporaries_in(folder.path()), 0U);
}

} // namespace
