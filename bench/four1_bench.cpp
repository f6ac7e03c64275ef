// The reference transform over sizes 2^10 to 2^22. Each iteration copies the input back before
// transforming it in place; the copy is a few percent of the transform at every size.
#include "four1.h"
#include "four1_plain.hpp"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<float> random_input(std::int32_t count) {
    std::mt19937_64 generator(42);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> data(2 * static_cast<std::size_t>(count));
    for (auto& x : data)
        x = value(generator);
    return data;
}

template <class Transform>
void run_transform(benchmark::State& state, Transform transform) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> input = random_input(count);
    std::vector<float> data(input.size());
    for (auto _ : state) {
        std::memcpy(data.data(), input.data(), input.size() * sizeof(float));
        transform(data.data(), count);
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    // The result must be the reference transform's, bit for bit.
    std::vector<float> expected = input;
    kelvane::reference::four1_plain(expected.data(), count, 1);
    if (std::memcmp(expected.data(), data.data(), data.size() * sizeof(float)) != 0)
        state.SkipWithError("the result differs from the plain transform");
    state.SetComplexityN(count);
}

void four1(benchmark::State& state) {
    run_transform(state, [](float* data, std::int32_t count) {
        const std::int32_t sign = 1;
        four1_(data, &count, &sign);
    });
}
BENCHMARK(four1)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 22)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
