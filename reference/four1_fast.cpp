// Why the order may change but no value may: within a butterfly pass the butterflies touch
// disjoint pairs, so any order, and any interleaving with other passes that respects which
// pass feeds which, gives the same bits. The twiddle factors are the plain transform's own:
// the same recurrence from the same start, step by step, rounded to single once per factor.
//
// The twiddles of a pass depend only on its half-size and the sign, never on the count: those of
// half-sizes up to 2^15 are computed once for sign +1, by the same recurrence, into a table held
// for the life of the process (512 KiB, made on first use, thread-safely); sign -1 uses their
// conjugates, which are its own twiddles bit for bit. A larger pass runs the recurrence itself,
// in up to 28 chains side by side whose starts, every sixteenth of the pass, are likewise held
// (6.5 KiB in all): the chains' latencies overlap, where one chain would leave the processor
// waiting on each step.
//
// Outline, for n samples:
//   1. Bit-reversal permutation in tiles of 8 x 8 samples, each pair swapped once; on AVX-512,
//      from 64 samples on, fused with the passes of half-size 1, 2 and 4.
//   2. Passes of half-size 1 to 2048 block by block (4096 samples, 32 KiB, stay in L1), their
//      twiddles from the table.
//   3. Larger passes in groups of up to three per sweep over the array, their twiddles from the
//      table, or beyond it chunk by chunk from the chains.
// Scratch: one chunk of twiddles for the chains of a group (8 KiB), on the stack.
#include "four1_fast.hpp"

#include "four1_plain.hpp"
#include "four1_tile_pairs.hpp"
#include "four1_vector.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <utility>

namespace kelvane::reference {
namespace {

constexpr std::size_t block_samples = 4096;
constexpr std::size_t chunk_twiddles = 1024; // of all a group's chains together
constexpr std::size_t max_tabled_half = std::size_t{1} << 15;

// One step of the twiddle factor recurrence, as the plain transform takes it, and the factor
// it gives before the step, rounded to single.
void step_recurrence(double& ur, double& ui, double cr, double ci) {
    const double ur_old = ur;
    ur = (ur * cr + ur) - ui * ci;
    ui = (ui * cr + ui) + ur_old * ci;
}

twiddle rounded(double ur, double ui) {
    return {static_cast<float>(ur), static_cast<float>(ui)};
}

// The twiddle factor recurrence of one pass of half-size `half` (span 2 * half positions).
class twiddle_cursor {
  public:
    twiddle_cursor() = default; // a place to copy a cursor into
    twiddle_cursor(std::size_t half, std::int32_t sign) {
        const std::int32_t span = 2 * static_cast<std::int32_t>(half);
        const double angle = four1_two_pi / static_cast<double>(sign * span);
        const double s_half = std::sin(0.5 * angle);
        cr_ = 0.0 - (2.0 * s_half) * s_half;
        ci_ = std::sin(angle);
    }

    twiddle current() const { return rounded(ur_, ui_); }

    // The same recurrence for the other sign, where it is this one's conjugate.
    twiddle_cursor conjugate() const {
        twiddle_cursor other = *this;
        other.ci_ = -ci_;
        other.ui_ = -ui_;
        return other;
    }

    void step() { step_recurrence(ur_, ui_, cr_, ci_); }

    void fill(twiddle* out, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = current();
            step();
        }
    }

  private:
    friend struct group_chains;
    double cr_ = 0.0;
    double ci_ = 0.0;
    double ur_ = 1.0;
    double ui_ = 0.0;
};

// The twiddles of every pass of half-size h <= max_tabled_half for exponent sign +1, those of h
// at [h, 2h), each half-size filled on its first use. Never destroyed: calls may come from exit
// handlers.
class twiddle_table {
  public:
    const twiddle* of_half(std::size_t half) {
        const auto level = static_cast<std::size_t>(std::countr_zero(half));
        std::call_once(filled_[level],
                       [&] { twiddle_cursor(half, 1).fill(&twiddles_[half], half); });
        return &twiddles_[half];
    }
    static twiddle_table& instance() {
        static twiddle_table* const table = new twiddle_table;
        return *table;
    }

  private:
    std::once_flag filled_[std::countr_zero(max_tabled_half) + 1];
    twiddle twiddles_[2 * max_tabled_half];
};

// Sign -1 gives every pass the conjugates of sign +1's twiddles, bit for bit, where the C
// library's sine is odd at the angles the passes start from: the recurrence's constants are then
// (cr, -ci), and negation commutes with every rounding in it. Checked once, for every span.
bool minus_sign_is_conjugate() {
    static const bool conjugate = [] {
        for (double span = 2; span <= four1_max_count; span *= 2) {
            const double angle = four1_two_pi / span;
            for (const double a : {angle, 0.5 * angle})
                if (std::bit_cast<std::uint64_t>(std::sin(-a)) !=
                    std::bit_cast<std::uint64_t>(-std::sin(a)))
                    return false;
        }
        return true;
    }();
    return conjugate;
}

// Passes beyond the twiddle table run their recurrence in several chains at once, each from a
// start every 1/starts_per_pass of the pass: the recurrence's state there, for sign +1, made on
// first use by one walk along the pass and held for the life of the process. Never destroyed.
constexpr std::size_t starts_per_pass = 16;
constexpr int first_walked_level = std::countr_zero(max_tabled_half) + 1;
constexpr int last_walked_level = std::countr_zero(static_cast<std::uint32_t>(four1_max_count)) - 1;

class start_table {
  public:
    const twiddle_cursor* of_half(std::size_t half) {
        const int level = std::countr_zero(half) - first_walked_level;
        std::call_once(walked_[level], [&] {
            twiddle_cursor walker(half, 1);
            for (std::size_t c = 0; c < starts_per_pass; ++c) {
                starts_[level][c] = walker;
                if (c + 1 < starts_per_pass)
                    for (std::size_t step = 0; step < half / starts_per_pass; ++step)
                        walker.step();
            }
        });
        return starts_[level];
    }
    static start_table& instance() {
        static start_table* const table = new start_table;
        return *table;
    }

  private:
    static constexpr int levels = last_walked_level - first_walked_level + 1;
    std::once_flag walked_[levels];
    twiddle_cursor starts_[levels][starts_per_pass];
};
static_assert(sizeof(twiddle_table) + sizeof(start_table) <= std::size_t{520} << 10,
              "the tables stay within 520 KiB");

// 1. Bit reversal, tile pair by tile pair. A tile is 8 runs of 8 adjacent samples a power of two
//    apart, which share cache sets: 8 of them fit in the ways of one set.
void reverse_bits_permutation(sample* x, unsigned log2n) {
    constexpr unsigned tile_bits = 3;
    const std::size_t n = std::size_t{1} << log2n;
    if (log2n < 2 * tile_bits) {
        for (std::size_t i = 0; i < n; ++i)
            if (const std::size_t j = reversed(i, log2n); i < j) std::swap(x[i], x[j]);
        return;
    }
    constexpr std::size_t tile = std::size_t{1} << tile_bits;
    const unsigned high_shift = log2n - tile_bits;
    std::size_t reversed_low[tile];
    for (std::size_t c = 0; c < tile; ++c)
        reversed_low[c] = reversed(c, tile_bits);
    for_each_tile_pair(log2n - 2 * tile_bits, [&](std::size_t middle, std::size_t middle_reversed) {
        // Two tiles pair every sample; a tile that is its own partner pairs only half of them.
        const bool own_partner = middle == middle_reversed;
        for (std::size_t a = 0; a < tile; ++a) {
            sample* const row = x + ((a << high_shift) | (middle << tile_bits));
            sample* const column = x + ((middle_reversed << tile_bits) | reversed_low[a]);
            for (std::size_t c = 0; c < tile; ++c) {
                sample& partner = column[reversed_low[c] << high_shift];
                if (!own_partner || &row[c] < &partner) std::swap(row[c], partner);
            }
        }
    });
}

// 2, 3. A group of `passes` consecutive passes starting at half-size h, over every block of
//    2^passes * h samples of x[0, n), for k in [k_begin, k_end). The 2^passes samples
//    x[block + e * h + k] go through all the group's passes at once.
inline void butterfly(sample& a, sample& b, twiddle w) {
    const float tr = w.re * b.re - w.im * b.im;
    const float ti = w.re * b.im + w.im * b.re;
    b.re = a.re - tr;
    b.im = a.im - ti;
    a.re = a.re + tr;
    a.im = a.im + ti;
}

twiddle stored_or_conjugate(twiddle w, bool conjugate) {
    return conjugate ? twiddle{w.re, -w.im} : w;
}

template <int passes>
void scalar_group(sample* x, std::size_t n, std::size_t h, std::size_t k_begin, std::size_t k_end,
                  const group_twiddles& twiddles) {
    constexpr std::size_t points = std::size_t{1} << passes;
    for (std::size_t block = 0; block < n; block += points * h) {
        for (std::size_t k = k_begin; k < k_end; ++k) {
            sample v[points];
            for (std::size_t e = 0; e < points; ++e)
                v[e] = x[block + e * h + k];
            for (int s = 0; s < passes; ++s) {
                const std::size_t distance = std::size_t{1} << s;
                for (std::size_t e = 0; e < points; ++e)
                    if ((e & distance) == 0)
                        butterfly(
                            v[e], v[e + distance],
                            stored_or_conjugate(twiddles.stage[s][e & (distance - 1)][k - k_begin],
                                                twiddles.conjugate[s]));
            }
            for (std::size_t e = 0; e < points; ++e)
                x[block + e * h + k] = v[e];
        }
    }
}

template <class Group>
void run_group(int passes, Group group) {
    switch (passes) {
    case 1:
        group.template operator()<1>();
        break;
    case 2:
        group.template operator()<2>();
        break;
    default:
        group.template operator()<3>();
        break;
    }
}

void scalar_group_of(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
                     std::size_t k_end, const group_twiddles& twiddles) {
    run_group(passes, [&]<int p>() { scalar_group<p>(x, n, h, k_begin, k_end, twiddles); });
}

// fill_chains where there is no vector set for it, chain by chain.
void scalar_fill_chains(chain_set& chains, std::size_t used, twiddle* out, std::size_t row_stride,
                        std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t c = 0; c < used; ++c) {
            out[c * row_stride + i] = rounded(chains.ur[c], chains.ui[c]);
            step_recurrence(chains.ur[c], chains.ui[c], chains.cr[c], chains.ci[c]);
        }
}

// The kernels of one call: a vector set where the path has one and the block fills its
// registers, the scalar group for passes of half-size below its lanes.
struct kernel_set {
    std::size_t lanes = 1;
    int first_pass_count = 0;
    // One of the two, or neither: the first passes block by block after the permutation, or
    // in one sweep with it.
    void (*first_passes)(sample* x, std::size_t n, const twiddle* const* pass) = nullptr;
    void (*reverse_with_first_passes)(sample* x, unsigned log2n,
                                      const twiddle* const* pass) = nullptr;
    void (*fill_chains)(chain_set& chains, std::size_t used, twiddle* out, std::size_t row_stride,
                        std::size_t count) = scalar_fill_chains;
    void (*group)(int passes, sample* x, std::size_t n, std::size_t h, std::size_t k_begin,
                  std::size_t k_end, const group_twiddles& twiddles) = scalar_group_of;
};

kernel_set kernels_for(four1_path path, std::size_t block) {
    if (path == four1_path::avx512 && block >= (std::size_t{1} << avx512::reverse_min_log2))
        return {avx512::lanes,
                avx512::first_pass_count,
                nullptr,
                avx512::reverse_with_first_passes,
                avx512::fill_chains,
                avx512::group};
    if (path != four1_path::scalar && block >= avx::lanes)
        return {avx::lanes, avx::first_pass_count, avx::first_passes,
                nullptr,    scalar_fill_chains,    avx::group};
    return {};
}

void apply_group(const kernel_set& kernels, int passes, sample* x, std::size_t n, std::size_t h,
                 std::size_t k_begin, std::size_t k_end, const group_twiddles& twiddles) {
    (h >= kernels.lanes ? kernels.group : scalar_group_of)(passes, x, n, h, k_begin, k_end,
                                                           twiddles);
}

int passes_in_group(std::size_t h, std::size_t end) {
    return std::min(max_group_passes, std::countr_zero(end / h));
}

// Stage s of a group from half-size h reads its pass's twiddles from the table, from k on.
void read_table(group_twiddles& twiddles, int stage, std::size_t h, std::size_t k, bool conjugate) {
    const twiddle* const pass = twiddle_table::instance().of_half(h << stage);
    for (std::size_t e = 0; e < (std::size_t{1} << stage); ++e)
        twiddles.stage[stage][e] = pass + e * h + k;
    twiddles.conjugate[stage] = conjugate;
}

// 2. Passes of half-size 1 to block / 2, block by block, their twiddles from the tables.
void transform_blocks(sample* x, std::size_t n, const kernel_set& kernels, bool conjugate,
                      const twiddle* const* first_pass_twiddles) {
    const std::size_t block = std::min(n, block_samples);
    // Every block goes through the same groups with the same twiddles: found once.
    struct group {
        std::size_t h;
        int passes;
        group_twiddles twiddles;
    };
    group groups[std::countr_zero(block_samples)];
    std::size_t group_count = 0;
    for (std::size_t h = std::size_t{1} << kernels.first_pass_count; h < block;
         h <<= groups[group_count++].passes) {
        group& next = groups[group_count];
        next = {h, passes_in_group(h, block), {}};
        for (int s = 0; s < next.passes; ++s)
            read_table(next.twiddles, s, h, 0, conjugate);
    }
    for (sample* begin = x; begin < x + n; begin += block) {
        if (kernels.first_passes != nullptr)
            kernels.first_passes(begin, block, first_pass_twiddles);
        for (std::size_t g = 0; g < group_count; ++g)
            apply_group(kernels, groups[g].passes, begin, block, groups[g].h, 0, groups[g].h,
                        groups[g].twiddles);
    }
}

// 3. Passes beyond the block, a group per sweep. A stage whose pass has a table reads its
//    twiddles there; any other runs its recurrence in chains from the start table, filling a
//    chunk of twiddles per chain at a time. A group's stage s covers k in [0, h) for each of its
//    2^s starts e * h; splitting [0, h) into `sub_ranges` gives the stage 2^s * sub_ranges
//    chains, as many as there are starts in the last stage: independent chains, stepped side by
//    side, hide each other's latency.
static_assert(starts_per_pass * 2 - 1 <= max_chains, "a group's stages share the chains");

// The chains of one group and where they stand.
struct group_chains {
    chain_set state{};
    std::size_t count = 0;

    std::size_t add(const twiddle_cursor& cursor) {
        state.cr[count] = cursor.cr_;
        state.ci[count] = cursor.ci_;
        state.ur[count] = cursor.ur_;
        state.ui[count] = cursor.ui_;
        return count++;
    }
};

// A sweep's group: `passes` passes from half-size h, those from `first_stage` on beyond the table.
struct sweep_group {
    std::size_t h;
    int passes;
    int first_stage;
    std::size_t sub_ranges; // 1 where every stage reads the table
};

// Over x[0, n), the chunk [j, j + count) of each sub-range at a time, block by block: the
// chunk's samples of one block stay in cache through the group.
void sweep(sample* x, std::size_t n, const sweep_group& group, std::int32_t sign,
           const kernel_set& kernels) {
    const std::size_t h = group.h;
    const std::size_t range = h / group.sub_ranges;
    const std::size_t span = (std::size_t{1} << group.passes) * h;
    group_chains chains;
    std::size_t chain_of[max_group_passes][std::size_t{1} << (max_group_passes - 1)]
                        [starts_per_pass] = {};
    for (int s = group.first_stage; s < group.passes; ++s) {
        const twiddle_cursor* starts = start_table::instance().of_half(h << s);
        // Chain (e, r) starts at e * h + r * range, on the start table's grid.
        const std::size_t grid = starts_per_pass / ((std::size_t{1} << s) * group.sub_ranges);
        for (std::size_t e = 0; e < (std::size_t{1} << s); ++e)
            for (std::size_t r = 0; r < group.sub_ranges; ++r) {
                const twiddle_cursor& start = starts[(e * group.sub_ranges + r) * grid];
                chain_of[s][e][r] = chains.add(sign < 0 ? start.conjugate() : start);
            }
    }
    twiddle chunk[chunk_twiddles];
    // Each chain's row in the chunk, a whole number of vector registers long.
    const std::size_t row = chains.count == 0 ? 0 : chunk_twiddles / chains.count / 8 * 8;
    const std::size_t step = chains.count == 0 ? range : row;
    for (std::size_t j = 0; j < range; j += step) {
        const std::size_t count = std::min(step, range - j);
        if (chains.count > 0) kernels.fill_chains(chains.state, chains.count, chunk, row, count);
        for (std::size_t r = 0; r < group.sub_ranges; ++r) {
            const std::size_t k = r * range + j;
            group_twiddles twiddles{};
            for (int s = 0; s < group.first_stage; ++s)
                read_table(twiddles, s, h, k, sign < 0);
            for (int s = group.first_stage; s < group.passes; ++s)
                for (std::size_t e = 0; e < (std::size_t{1} << s); ++e)
                    twiddles.stage[s][e] = chunk + chain_of[s][e][r] * row;
            for (std::size_t block = 0; block < n; block += span)
                apply_group(kernels, group.passes, x + block, span, h, k, k + count, twiddles);
        }
    }
}

void transform_sweeps(sample* x, std::size_t n, std::int32_t sign, const kernel_set& kernels) {
    for (std::size_t h = block_samples; h < n;) {
        const int passes = passes_in_group(h, n);
        int first_stage = 0;
        while (first_stage < passes && (h << first_stage) <= max_tabled_half)
            ++first_stage;
        const std::size_t sub_ranges = first_stage == passes ? 1 : starts_per_pass >> (passes - 1);
        sweep(x, n, {h, passes, first_stage, sub_ranges}, sign, kernels);
        h <<= passes;
    }
}

} // namespace

bool four1_path_available(four1_path path) {
    switch (path) {
    case four1_path::scalar:
        return true;
    case four1_path::avx:
        return __builtin_cpu_supports("avx");
    case four1_path::avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    }
    return false;
}

four1_path four1_best_path() {
    for (const four1_path path : {four1_path::avx512, four1_path::avx})
        if (four1_path_available(path)) return path;
    return four1_path::scalar;
}

const char* four1_path_name(four1_path path) {
    switch (path) {
    case four1_path::avx:
        return "avx";
    case four1_path::avx512:
        return "avx512";
    case four1_path::scalar:
        break;
    }
    return "scalar";
}

void four1_fast(float* data, std::int32_t count, std::int32_t sign, four1_path path) {
    auto* const x = reinterpret_cast<sample*>(data);
    const auto n = static_cast<std::size_t>(count);
    const auto log2n = static_cast<unsigned>(std::countr_zero(n));
    if (sign < 0 && !minus_sign_is_conjugate()) {
        four1_plain(data, count, sign);
        return;
    }
    const kernel_set kernels = kernels_for(path, std::min(n, block_samples));
    // The first passes' twiddles, half-sizes 1 to 4, as this sign has them.
    twiddle first_passes[max_group_passes][std::size_t{1} << (max_group_passes - 1)];
    const twiddle* first_pass_twiddles[max_group_passes];
    for (int s = 0; s < kernels.first_pass_count; ++s) {
        const twiddle* stored = twiddle_table::instance().of_half(std::size_t{1} << s);
        for (std::size_t e = 0; e < (std::size_t{1} << s); ++e)
            first_passes[s][e] = stored_or_conjugate(stored[e], sign < 0);
        first_pass_twiddles[s] = first_passes[s];
    }
    if (kernels.reverse_with_first_passes != nullptr)
        kernels.reverse_with_first_passes(x, log2n, first_pass_twiddles);
    else
        reverse_bits_permutation(x, log2n);
    transform_blocks(x, n, kernels, sign < 0, first_pass_twiddles);
    transform_sweeps(x, n, sign, kernels);
}

} // namespace kelvane::reference
