#include "child_process.hpp"
#include "float_bits.hpp"
#include "floating_point_mode.hpp"
#include "four1.h"
#include "reference_transforms.hpp"
#include "shared_values.hpp"

#include <climits>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <pthread.h>
#include <random>
#include <sys/mman.h>
#include <thread>
#include <vector>

namespace {

using kelvane::test_support::to_bits;

using kelvane::test_support::seed;

void transform(std::vector<float>& data, std::int32_t count, std::int32_t sign) {
    four1_(data.data(), &count, &sign);
}

std::vector<float> random_samples(std::int32_t count, std::uint64_t stream = 0) {
    std::mt19937_64 generator(seed + stream);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> data(2 * static_cast<std::size_t>(count));
    for (auto& x : data)
        x = value(generator);
    return data;
}

// Units in the last place between two floats of the same sign.
std::uint32_t ulp_distance(float a, float b) {
    const auto x = static_cast<std::int64_t>(to_bits(a) & 0x7fffffffU);
    const auto y = static_cast<std::int64_t>(to_bits(b) & 0x7fffffffU);
    if (std::signbit(a) != std::signbit(b)) return static_cast<std::uint32_t>(x + y);
    return static_cast<std::uint32_t>(std::abs(x - y));
}

// A sample array between two guard zones, in memory shared with a forked child, so that the
// parent can see whatever the child's call wrote before it ended.
class guarded_samples {
  public:
    static constexpr std::size_t guard_floats = 64;
    static constexpr float guard_value = -7.25f;

    explicit guarded_samples(std::size_t samples)
        : floats_(2 * samples + 2 * guard_floats),
          memory_(static_cast<float*>(mmap(nullptr, floats_ * sizeof(float), PROT_READ | PROT_WRITE,
                                           MAP_SHARED | MAP_ANONYMOUS, -1, 0))) {
        for (std::size_t i = 0; i < floats_; ++i)
            memory_[i] = i < guard_floats || i >= floats_ - guard_floats ? guard_value
                                                                         : static_cast<float>(i);
        pristine_.assign(memory_, memory_ + floats_);
    }
    ~guarded_samples() { munmap(memory_, floats_ * sizeof(float)); }
    guarded_samples(const guarded_samples&) = delete;
    guarded_samples& operator=(const guarded_samples&) = delete;

    float* samples() { return memory_ + guard_floats; }
    bool untouched() const {
        return std::memcmp(memory_, pristine_.data(), floats_ * sizeof(float)) == 0;
    }

  private:
    std::size_t floats_;
    float* memory_;
    std::vector<float> pristine_;
};

TEST(Four1Arguments, NothingToTransformLeavesDataAlone) {
    // count 1 has no butterfly pass; counts <= 0 return at once, even where 2*count overflows.
    for (const std::int32_t count : {1, 0, -1, -2, -(1 << 30), -(1 << 30) - 1, INT32_MIN}) {
        for (const std::int32_t sign : {1, -1}) {
            guarded_samples memory(4);
            four1_(memory.samples(), &count, &sign);
            EXPECT_TRUE(memory.untouched()) << "count " << count << ", sign " << sign;
        }
    }
}

TEST(Four1Arguments, OutOfContractEndsTheProcess) {
    // The index pattern would run past the array for these: the call must stop before it.
    struct row {
        std::int32_t count;
        std::int32_t sign;
        const char* message;
    };
    const row rows[] = {
        {3, 1, "four1: count 3 is not a power of two from 1 to 536870912\n"},
        {6, -1, "four1: count 6 is not a power of two from 1 to 536870912\n"},
        {1 << 30, 1, "four1: count 1073741824 is not a power of two from 1 to 536870912\n"},
        {INT32_MAX, 1, "four1: count 2147483647 is not a power of two from 1 to 536870912\n"},
        {4, 0, "four1: sign 0 is not +1 or -1\n"},
        {4, 2, "four1: sign 2 is not +1 or -1\n"},
        {4, -2, "four1: sign -2 is not +1 or -1\n"},
    };
    for (const auto& [count, sign, message] : rows) {
        guarded_samples memory(4);
        const auto result = kelvane::test_support::run_in_child(
            [&, count = count, sign = sign] { four1_(memory.samples(), &count, &sign); });
        EXPECT_EQ(result.exit_status, 255) << count << ", " << sign;
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(memory.untouched()) << count << ", " << sign;
    }
}

TEST(Four1Values, TwoSamplesGiveSumAndDifference) {
    // One butterfly with the twiddle (1, 0): exact for either sign.
    const std::vector<std::vector<float>> inputs = {
        {1.0f, 2.0f, 3.0f, 4.0f}, {0.5f, -0.25f, -0.125f, 8.0f}, {1e30f, 0.0f, -1e30f, 1e-30f}};
    for (const std::int32_t sign : {1, -1}) {
        for (const auto& input : inputs) {
            std::vector<float> data = input;
            transform(data, 2, sign);
            const std::vector<float> expected = {input[0] + input[2], input[1] + input[3],
                                                 input[0] - input[2], input[1] - input[3]};
            EXPECT_EQ(data, expected) << "sign " << sign;
        }
    }
}

TEST(Four1Values, ImpulseGivesOnesWithPositiveZeros) {
    // Every bin of a unit impulse is exactly (1, +0): the signs of zeros survive every pass.
    for (std::int32_t count = 1; count <= 4096; count *= 2) {
        for (const std::int32_t sign : {1, -1}) {
            std::vector<float> data(2 * static_cast<std::size_t>(count), 0.0f);
            data[0] = 1.0f;
            transform(data, count, sign);
            std::size_t wrong = 0;
            for (std::size_t k = 0; k < data.size(); k += 2)
                wrong += to_bits(data[k]) != 0x3f800000U || to_bits(data[k + 1]) != 0U ? 1U : 0U;
            EXPECT_EQ(wrong, 0U) << "count " << count << ", sign " << sign;
        }
    }
}

TEST(Four1Values, ForwardThenBackwardScalesByCount) {
    for (const std::int32_t count : {8, 1024, 65536}) {
        const std::vector<float> input = random_samples(count);
        std::vector<float> data = input;
        transform(data, count, 1);
        transform(data, count, -1);
        double error = 0;
        double norm = 0;
        for (std::size_t i = 0; i < data.size(); ++i) {
            const double expected = static_cast<double>(input[i]) * count;
            error += (data[i] - expected) * (data[i] - expected);
            norm += expected * expected;
        }
        EXPECT_LT(std::sqrt(error / norm), 4e-7) << "count " << count;
    }
}

TEST(Four1Values, SignsMirrorEachOtherWithinOneUlp) {
    // Bin k with sign +1 is bin count-k with sign -1; the comparison table relies on this.
    for (std::int32_t count = 2; count <= 16384; count *= 2) {
        const std::vector<float> input = random_samples(count, static_cast<std::uint64_t>(count));
        std::vector<float> plus = input;
        std::vector<float> minus = input;
        transform(plus, count, 1);
        transform(minus, count, -1);
        EXPECT_EQ(plus[0], minus[0]);
        EXPECT_EQ(plus[1], minus[1]);
        std::uint32_t worst = 0;
        const auto n = static_cast<std::size_t>(count);
        for (std::size_t k = 1; k < n; ++k) {
            const std::size_t mirrored = n - k;
            worst = std::max({worst, ulp_distance(plus[2 * k], minus[2 * mirrored]),
                              ulp_distance(plus[2 * k + 1], minus[2 * mirrored + 1])});
        }
        EXPECT_LE(worst, 1U) << "count " << count;
    }
}

TEST(Four1Accuracy, CloseToTheLongDoubleTransform) {
    // A radix-2 transform in single precision with accurate twiddles has an rms relative
    // error near 0.65 * 2^-24 * sqrt(log2 n): the bounds sit just above that.
    struct row {
        int log2_count;
        double bound;
    };
    for (const auto& [log2_count, bound] : {row{10, 1.3e-7}, row{16, 1.7e-7}, row{20, 1.9e-7}}) {
        const std::int32_t count = 1 << log2_count;
        std::vector<float> data = random_samples(count, 100);
        const auto reference = kelvane::test_support::long_double_dft(data, 1);
        transform(data, count, 1);
        const double error = kelvane::test_support::rms_relative_error(data, reference);
        std::printf("rms relative error at 2^%d: %.3g\n", log2_count, error);
        EXPECT_LT(error, bound) << "count 2^" << log2_count;
    }
}

TEST(Four1Exactness, ComparisonSignalMatchesAnIndependentLoopNest) {
    // The run's own input and floating-point mode: every output bit must agree with a loop nest
    // written apart from four1, and with the bits this test pinned (FNV-1a over the output), so
    // that a change both share, or one in the signal, shows too. The signal's sines and cosines
    // are the C library's: the pinned bits are those of glibc's sinf and cosf.
    const kelvane::test_support::flush_to_zero_scope flush_to_zero;
    constexpr std::int32_t count = 1 << 20;
    std::vector<float> ours = kelvane::test_support::comparison_signal(count);
    std::vector<float> theirs = ours;
    transform(ours, count, 1);
    kelvane::test_support::four1_second_loop_nest(theirs.data(), count, 1);
    std::uint64_t checksum = 14695981039346656037ULL;
    for (const float value : ours)
        checksum = (checksum ^ to_bits(value)) * 1099511628211ULL;
    EXPECT_EQ(checksum, 0xb734716f84fbd344ULL);
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(std::memcmp(ours.data(), theirs.data(), ours.size() * sizeof(float)), 0);
}

} // namespace

namespace {

// Runs four1 on `count` samples of `data` on a thread of its own with `stack_bytes` of stack.
void transform_on_thread(std::vector<float>& data, std::int32_t count, std::size_t stack_bytes) {
    struct job {
        std::vector<float>* data;
        std::int32_t count;
    } work{&data, count};
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stack_bytes), 0);
    pthread_t thread;
    auto transform = [](void* argument) -> void* {
        auto& [samples, n] = *static_cast<job*>(argument);
        const std::int32_t sign = 1;
        four1_(samples->data(), &n, &sign);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, transform, &work), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);
}

TEST(Four1Threads, StatedStackIsEnoughAndConcurrentCallsAgree) {
    // four1 needs at most 16 KiB of stack of its own: a thread with that beyond the smallest
    // stack a thread may have must do, at counts that take every code path (the blocks in L1,
    // the tables and the cursors of the sweeps). Threads that make the process's first calls
    // at the same time, each on its own array, all get the plain loop nest's result.
    constexpr std::size_t four1_stack = 16 * 1024;
    for (const std::int32_t count : {1 << 16, 1 << 20}) {
        const std::vector<float> input = random_samples(count);
        std::vector<float> expected = input;
        kelvane::test_support::four1_second_loop_nest(expected.data(), count, 1);
        std::vector<std::vector<float>> results(4, input);
        std::vector<std::thread> threads;
        for (auto& result : results)
            threads.emplace_back([&result, count] {
                transform_on_thread(result, count,
                                    static_cast<std::size_t>(PTHREAD_STACK_MIN) + four1_stack);
            });
        for (auto& thread : threads)
            thread.join();
        for (const auto& result : results)
            EXPECT_EQ(std::memcmp(result.data(), expected.data(), expected.size() * sizeof(float)),
                      0)
                << "count " << count;
    }
}

} // namespace
