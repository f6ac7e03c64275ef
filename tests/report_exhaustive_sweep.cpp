// Opt-in: every one of the 2^32 bit patterns through both real formatters, on all cores.
// Build the target report_exhaustive_sweep and run it; about an hour on two cores.
#include "fields.hpp"
#include "float_bits.hpp"
#include "reference_format.hpp"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

int main() {
    const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
    constexpr std::uint64_t patterns = std::uint64_t{1} << 32;
    constexpr std::uint64_t chunk = std::uint64_t{1} << 24;
    std::atomic<std::uint64_t> next_chunk{0};
    std::atomic<std::uint64_t> mismatches{0};
    auto sweep = [&] {
        std::string fast(kelvane::report::real_field_width, ' ');
        for (std::uint64_t begin; (begin = next_chunk.fetch_add(chunk)) < patterns;) {
            for (std::uint64_t bits = begin; bits < begin + chunk; ++bits) {
                const float value = kelvane::testing::from_bits(static_cast<std::uint32_t>(bits));
                kelvane::report::put_real_field(fast.data(), value);
                const std::string simple = kelvane::testing::reference_real_field(value);
                if (fast != simple && mismatches.fetch_add(1) < 20)
                    std::printf("0x%08llx: \"%s\" vs \"%s\"\n",
                                static_cast<unsigned long long>(bits), fast.c_str(),
                                simple.c_str());
            }
            std::printf("swept through 0x%08llx\n",
                        static_cast<unsigned long long>(begin + chunk - 1));
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i)
        threads.emplace_back(sweep);
    for (auto& thread : threads)
        thread.join();
    std::printf("%llu mismatches in 2^32 patterns\n",
                static_cast<unsigned long long>(mismatches.load()));
    return mismatches.load() == 0 ? 0 : 1;
}
