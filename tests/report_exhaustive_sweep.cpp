// Opt-in: bit patterns through both real formatters, on all cores: all 2^32 of them (about 20
// minutes on two cores), or those from FIRST to LAST when given, as hexadecimal bit patterns:
//     report_exhaustive_sweep [FIRST LAST]
#include "fields.hpp"
#include "float_bits.hpp"
#include "reference_format.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const std::uint64_t first = argc > 2 ? std::strtoull(argv[1], nullptr, 16) : 0;
    const std::uint64_t end = argc > 2 ? std::strtoull(argv[2], nullptr, 16) + 1 : 1ULL << 32;
    const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
    constexpr std::uint64_t chunk = std::uint64_t{1} << 22;
    std::atomic<std::uint64_t> next_chunk{first};
    std::atomic<std::uint64_t> mismatches{0};
    auto sweep = [&] {
        std::string fast(kelvane::report::real_field_width, ' ');
        for (std::uint64_t begin; (begin = next_chunk.fetch_add(chunk)) < end;) {
            const std::uint64_t chunk_end = std::min(begin + chunk, end);
            for (std::uint64_t bits = begin; bits < chunk_end; ++bits) {
                const float value =
                    kelvane::test_support::from_bits(static_cast<std::uint32_t>(bits));
                kelvane::report::put_real_field(fast.data(), value);
                const std::string simple = kelvane::test_support::reference_real_field(value);
                if (fast != simple && mismatches.fetch_add(1) < 20)
                    std::printf("0x%08llx: \"%s\" vs \"%s\"\n",
                                static_cast<unsigned long long>(bits), fast.c_str(),
                                simple.c_str());
            }
            std::printf("swept through 0x%08llx\n", static_cast<unsigned long long>(chunk_end - 1));
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i)
        threads.emplace_back(sweep);
    for (auto& thread : threads)
        thread.join();
    std::printf("%llu mismatches in 0x%08llx to 0x%08llx\n",
                static_cast<unsigned long long>(mismatches.load()),
                static_cast<unsigned long long>(first), static_cast<unsigned long long>(end - 1));
    return mismatches.load() == 0 ? 0 : 1;
}
