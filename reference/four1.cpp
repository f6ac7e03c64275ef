#include "four1.h"

#include "four1_fast.hpp"
#include "four1_plain.hpp"

#include <bit>
#include <cstdio>
#include <cstdlib>

namespace {

// The exit status of a call outside the routine's contract: exit(-1), as the shell sees it.
constexpr int contract_broken_status = 255;

// Ends the process with one line for a count that is not a power of two up to
// four1_max_count, or a sign other than +1 and -1. Precondition: count > 0.
void exit_unless_within_contract(std::int32_t count, std::int32_t sign) {
    using kelvane::reference::four1_max_count;
    if (count > four1_max_count || !std::has_single_bit(static_cast<std::uint32_t>(count))) {
        std::fprintf(stderr, "four1: count %d is not a power of two from 1 to %d\n", count,
                     four1_max_count);
        std::exit(contract_broken_status);
    }
    if (sign != 1 && sign != -1) {
        std::fprintf(stderr, "four1: sign %d is not +1 or -1\n", sign);
        std::exit(contract_broken_status);
    }
}

} // namespace

extern "C" void four1_(float* data, const int32_t* count, const int32_t* sign) {
    using namespace kelvane::reference;
    static const four1_path path = four1_best_path();
    // No samples, no transform: the sign is not looked at.
    if (*count <= 0) return;
    exit_unless_within_contract(*count, *sign);
    four1_fast(data, *count, *sign, path);
}
