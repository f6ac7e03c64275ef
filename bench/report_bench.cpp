// The comparison table written to standard output, pointed at /dev/null: 2^20 records of an
// integer and four reals through the report layer, against a snprintf baseline that writes
// fields of the same widths through the same stream.
#include "report.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int table_records = 1 << 20;
constexpr long table_record_length = 73;

// Spectrum-like values: magnitudes from 1e-1 to 1e6 of either sign, one in 64 so small that it
// takes the exponent form.
const std::vector<float>& table_values() {
    static const std::vector<float> values = [] {
        std::mt19937_64 generator(12345);
        std::uniform_real_distribution<double> decade(-1.0, 6.0);
        std::vector<float> drawn(4 * static_cast<std::size_t>(table_records));
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            const double magnitude =
                std::pow(10.0, i % 64 == 0 ? decade(generator) - 5.0 : decade(generator));
            drawn[i] = static_cast<float>((generator() & 1) != 0 ? magnitude : -magnitude);
        }
        return drawn;
    }();
    return values;
}

// Points standard output at a file while it lives; the benchmark library keeps printing
// through the saved descriptor once it is gone.
class redirected_standard_output {
  public:
    explicit redirected_standard_output(int file) : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        dup2(file, STDOUT_FILENO);
    }
    ~redirected_standard_output() {
        kelvane::report::flush_output();
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    redirected_standard_output(const redirected_standard_output&) = delete;
    redirected_standard_output& operator=(const redirected_standard_output&) = delete;

  private:
    int saved_;
};

long written_length(int file) {
    struct stat status {};
    fstat(file, &status);
    return status.st_size;
}

// One untimed pass into a scratch file checks the table's length; the timed passes write to
// /dev/null, so that only formatting and the stream are measured.
template <class WriteRecord>
void write_table(benchmark::State& state, WriteRecord write_record) {
    const auto& values = table_values();
    auto write_all = [&] {
        for (int k = 0; k < table_records; ++k)
            write_record(k, &values[4 * static_cast<std::size_t>(k)]);
    };
    std::FILE* scratch = std::tmpfile();
    {
        redirected_standard_output to_scratch(fileno(scratch));
        write_all();
    }
    const bool complete = written_length(fileno(scratch)) == table_record_length * table_records;
    std::fclose(scratch);
    if (!complete) {
        state.SkipWithError("the table does not have the length of 2^20 records");
        return;
    }
    const int null_device = open("/dev/null", O_WRONLY);
    {
        redirected_standard_output to_null(null_device);
        for (auto _ : state)
            write_all();
    }
    close(null_device);
    state.SetItemsProcessed(state.iterations() * table_records);
}

void report_layer(benchmark::State& state) {
    write_table(state, [](int k, const float* v) {
        kelvane::report::write_free_record({k, v[0], v[1], v[2], v[3]});
    });
}
BENCHMARK(report_layer)->Unit(benchmark::kMillisecond);

// The same records through one block writer, as the comparison run writes its table.
void report_layer_blocks(benchmark::State& state) {
    std::optional<kelvane::report::record_block_writer> writer;
    write_table(state, [&writer](int k, const float* v) {
        if (k == 0) writer.emplace();
        writer->write({k, v[0], v[1], v[2], v[3]});
        if (k == table_records - 1) writer.reset();
    });
}
BENCHMARK(report_layer_blocks)->Unit(benchmark::kMillisecond);

void snprintf_baseline(benchmark::State& state) {
    write_table(state, [](int k, const float* v) {
        char line[96];
        const int length = std::snprintf(line, sizeof line, "%12d%15.7E%15.7E%15.7E%15.7E\n", k,
                                         static_cast<double>(v[0]), static_cast<double>(v[1]),
                                         static_cast<double>(v[2]), static_cast<double>(v[3]));
        std::fwrite(line, 1, static_cast<std::size_t>(length), stdout);
    });
}
BENCHMARK(snprintf_baseline)->Unit(benchmark::kMillisecond);

} // namespace

// Standard output buffered as in the comparison run.
int main(int argc, char** argv) {
    kelvane::report::enlarge_output_buffer();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
}
