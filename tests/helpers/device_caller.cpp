// Calls the GPU bridge once, for tests that need a fresh process: fault injection is read at
// the first device call, and a failure ends the process.
//
//   device_caller c2c_1d|fft_1d_c2c <n> [census]
//
// The input is a unit impulse; on success the program prints "spectrum ok" when every output
// bin is (1, 0), "spectrum wrong" otherwise. With "census" (emulation only), the device's
// holdings are printed to standard output when the process ends, however it ends.
#include "c2c_1d.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#ifdef KELVANE_EMULATED_DEVICE
#include "kelvane_emu.h"

void print_census() {
    const kelvane_emu_census census = kelvane_emu_take_census();
    std::printf("at exit: %zu device buffers, %zu page-locked buffers, %zu plans\n",
                census.device_buffers, census.pinned_buffers, census.plans);
}
#endif

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: device_caller c2c_1d|fft_1d_c2c <n> [census]\n");
        return 2;
    }
    const std::string_view entry = argv[1];
    const auto n = static_cast<std::int32_t>(std::strtol(argv[2], nullptr, 10));
#ifdef KELVANE_EMULATED_DEVICE
    if (argc > 3 && std::string_view(argv[3]) == "census") std::atexit(print_census);
#endif
    const std::size_t samples = n > 0 ? static_cast<std::size_t>(n) : 1;
    std::vector<kelvane_complex> in(samples, kelvane_complex{0.0f, 0.0f});
    std::vector<kelvane_complex> out(samples, kelvane_complex{-1.0f, -1.0f});
    in[0].re = 1.0f;
    if (entry == "c2c_1d")
        c2c_1d_(&n, in.data(), out.data());
    else
        fft_1d_c2c_(&n, in.data(), out.data());
    bool ones = true;
    for (std::int32_t k = 0; k < n; ++k)
        ones = ones && out[static_cast<std::size_t>(k)].re == 1.0f &&
               out[static_cast<std::size_t>(k)].im == 0.0f;
    std::printf("spectrum %s\n", ones ? "ok" : "wrong");
    return 0;
}
