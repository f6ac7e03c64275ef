#include "comparison_run.hpp"

#include "c2c_1d.h"
#include "four1.h"
#include "report.hpp"
#include "table_format.hpp"

#include <cstring>
#include <sys/mman.h>
#include <sys/time.h>

namespace kelvane::driver {
namespace {

// The run's long-lived arrays, in static storage for the life of the process.
// Each starts on a boundary of a transparent huge page (2 MiB), so that it can use them.
constexpr std::size_t huge_page = std::size_t{2} << 20;
alignas(huge_page) kelvane_complex C1[sample_count]; // the signal; never written after it is made
alignas(huge_page) kelvane_complex C2[sample_count]; // the GPU spectrum
alignas(huge_page)
    kelvane_complex C3[sample_count]; // a copy of the signal, transformed in place by four1

// Asks for transparent huge pages over the three arrays, where the kernel offers them on
// request: fewer page faults on first touch. Elsewhere nothing changes.
void prefer_huge_pages() {
    for (kelvane_complex* array : {C1, C2, C3})
        madvise(array, sizeof C1, MADV_HUGEPAGE);
}

constexpr std::int32_t reference_sign = 1;

} // namespace

std::int32_t read_tick_clock() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return static_cast<std::int32_t>(now.tv_sec % tick_wrap_seconds) * tick_rate +
           static_cast<std::int32_t>(now.tv_usec / 100);
}

float elapsed_seconds(std::int32_t start, std::int32_t end) {
    std::int32_t ticks = end - start; // both readings lie in [0, tick_wrap_period)
    if (ticks < 0) ticks += tick_wrap_period;
    return static_cast<float>(ticks) / static_cast<float>(tick_rate);
}

void write_comparison_table(const kelvane_complex* gpu, const kelvane_complex* reference) {
    report::record_block_writer table;
    for (std::int32_t k = 0; k < sample_count; ++k) {
        const kelvane_complex& mirrored = reference[k == 0 ? 0 : sample_count - k];
        table.write({k, gpu[k].re, gpu[k].im, mirrored.re, mirrored.im});
    }
}

int run_comparison() {
    // The numeric environment comes before any arithmetic; the output buffer before any
    // output, with room for the 76.5 MB of the table.
    enter_flush_to_zero_mode();
    report::enlarge_output_buffer();
    prefer_huge_pages();
    // The signal, and a copy of it for the in-place reference transform.
    fill_signal(C1, sample_count);
    std::memcpy(C3, C1, sizeof C3);
    // The reference leg times the transform alone.
    const std::int32_t n = sample_count;
    const std::int32_t sign = reference_sign;
    const std::int32_t c0 = read_tick_clock();
    four1_(&C3[0].re, &n, &sign);
    const std::int32_t c1 = read_tick_clock();
    const float t_ref = elapsed_seconds(c0, c1);
    // The GPU leg times staging, device buffers, transfers, plan and transform together.
    const std::int32_t g0 = read_tick_clock();
    c2c_1d_(&n, C1, C2);
    const std::int32_t g1 = read_tick_clock();
    const float t_gpu = elapsed_seconds(g0, g1);
    // The table, then the two times.
    write_comparison_table(C2, C3);
    report::write_timing_line(report::four1_timing_label, t_ref);
    report::write_timing_line(report::cufft_timing_label, t_gpu);
    return 0;
}

} // namespace kelvane::driver
