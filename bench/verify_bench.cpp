// kelvane-verify's reading of a whole comparison table: 2^20 records and two timing lines,
// 76.5 MB, from a file through read_table_text and parse_table (std::from_chars on every field).
// The baseline in the same run is the read alone.
#include "report.hpp"
#include "table_format.hpp"
#include "table_reader.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

constexpr std::size_t table_records = std::size_t{1} << 20;

// A table as kelvane writes it, with spectrum-like values: magnitudes from 1e-1 to 1e6 of
// either sign, one in 64 so small that it takes the exponent form.
// The table's file, removed when the benchmark ends.
struct table_on_disk {
    std::string path;
    ~table_on_disk() { std::remove(path.c_str()); }
};

const std::string& table_file() {
    static const table_on_disk file{[] {
        std::mt19937_64 generator(12345);
        std::uniform_real_distribution<double> decade(-1.0, 6.0);
        auto value = [&](std::size_t i) {
            const double magnitude =
                std::pow(10.0, i % 64 == 0 ? decade(generator) - 5.0 : decade(generator));
            return static_cast<float>((generator() & 1) != 0 ? magnitude : -magnitude);
        };
        std::string text;
        text.reserve(kelvane::report::table_length(table_records));
        for (std::size_t k = 0; k < table_records; ++k)
            kelvane::report::format_free_record(
                std::vector<kelvane::report::item>{static_cast<std::int32_t>(k), value(4 * k),
                                                   value(4 * k + 1), value(4 * k + 2),
                                                   value(4 * k + 3)},
                text);
        kelvane::report::format_timing_line(kelvane::report::four1_timing_label, 0.0131f, text);
        kelvane::report::format_timing_line(kelvane::report::cufft_timing_label, 0.1434f, text);
        const std::string path =
            "/tmp/kelvane_verify_bench_table_" + std::to_string(getpid()) + ".txt";
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }()};
    return file.path;
}

void read_only(benchmark::State& state) {
    const std::string& path = table_file();
    for (auto _ : state) {
        std::string error;
        const std::string text = kelvane::verify::read_table_text(path, table_records, error);
        benchmark::DoNotOptimize(text.data());
        if (!error.empty() || text.size() != kelvane::report::table_length(table_records))
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations()) *
        static_cast<std::int64_t>(kelvane::report::table_length(table_records)));
}

void read_and_parse(benchmark::State& state) {
    const std::string& path = table_file();
    for (auto _ : state) {
        std::string error;
        const std::string text = kelvane::verify::read_table_text(path, table_records, error);
        const auto parsed = kelvane::verify::parse_table(text, table_records);
        // The result is checked, not only timed: a table that fails to parse is no figure.
        if (!std::holds_alternative<kelvane::verify::comparison_table>(parsed))
            state.SkipWithError("the table did not parse");
        benchmark::DoNotOptimize(&parsed);
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations()) *
        static_cast<std::int64_t>(kelvane::report::table_length(table_records)));
}

BENCHMARK(read_only)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(read_and_parse)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
