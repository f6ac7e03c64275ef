#include "dft.hpp"

#include "dft_kernels.hpp"
#include "emulator.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <immintrin.h>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace kelvane::emu {
namespace {

using complex = std::complex<double>;

constexpr long double two_pi = 6.283185307179586476925286766559L;

// cos(2*pi*k/n) for k in [0, n/4]: a quarter wave gives every twiddle of a power-of-two
// transform. Each from its own angle in double precision: an error of a few units in the last
// place of a double, far below the single-precision result.
std::vector<double> quarter_wave(std::size_t n) {
    constexpr auto two_pi_in_double = static_cast<double>(two_pi);
    std::vector<double> cosines(n / 4 + 1);
    for (std::size_t k = 0; k < cosines.size(); ++k)
        cosines[k] = std::cos(two_pi_in_double * static_cast<double>(k) / static_cast<double>(n));
    return cosines;
}

// The table length for a power-of-two transform of n points: a length of 2 uses only the
// twiddle exp(0), which the table for 4 holds too.
std::size_t table_length(std::size_t n) {
    return std::max<std::size_t>(n, 4);
}

// cos and sin of 2*pi*m/n for the `count` angles m = first, first + step, ..., all in
// [0, n/2), from the quarter wave of n: two runs without a branch per element.
void twiddles_from_quarter_wave(const std::vector<double>& cosines, std::size_t n,
                                std::size_t first, std::size_t step, std::size_t count,
                                double* real, double* imaginary) {
    const std::size_t quarter = n / 4;
    std::size_t i = 0;
    for (std::size_t m = first; i < count && m <= quarter; ++i, m += step) {
        real[i] = cosines[m];
        imaginary[i] = cosines[quarter - m];
    }
    for (std::size_t m = first + i * step; i < count; ++i, m += step) {
        real[i] = -cosines[n / 2 - m];
        imaginary[i] = cosines[m - quarter];
    }
}

// `count` butterflies on a[j] and b[j] = a[j + half] with twiddles (real[j], sign * imag[j]).
[[gnu::always_inline]] inline void butterfly_run(double* a, double* b, const double* real,
                                                 const double* imaginary, double sign,
                                                 std::size_t count) {
    for (std::size_t j = 0; j < count; ++j) {
        const double wr = real[j];
        const double wi = sign * imaginary[j];
        const double br = b[2 * j];
        const double bi = b[2 * j + 1];
        const double tr = wr * br - wi * bi;
        const double ti = wr * bi + wi * br;
        const double ar = a[2 * j];
        const double ai = a[2 * j + 1];
        b[2 * j] = ar - tr;
        b[2 * j + 1] = ai - ti;
        a[2 * j] = ar + tr;
        a[2 * j + 1] = ai + ti;
    }
}

// The kernels are built for AVX2 too, chosen where the processor has it: the same operations
// in the same order, so both builds give the same bits.

// One pass of half-size `half` over a block of `length` samples.
__attribute__((target_clones("avx2", "default"))) void
pass_in_block(double* block, std::size_t length, std::size_t half, const double* real,
              const double* imaginary, double sign) {
    for (std::size_t base = 0; base < length; base += 2 * half)
        butterfly_run(block + 2 * base, block + 2 * (base + half), real, imaginary, sign, half);
}

// The larger passes go in groups, one sweep over the array (or over a block that stays in
// cache) a group: the 2^passes samples x[base + e * half + k], e < 2^passes, go through all the
// group's passes in registers. Stage s pairs e with e + 2^s, a butterfly of the pass of
// half-size 2^s * half, whose twiddle at k sits in stage_real[s][e mod 2^s] (the imaginary
// parts likewise). Each butterfly gets the inputs it gets pass by pass, so the bits are the same.
// The portable kernels take groups of up to two, since three spill the sixteen AVX2 registers
// (docs/performance.md has the measurement); AVX-512's thirty-two registers hold three.
template <int passes>
[[gnu::always_inline]] inline void
group_run(double* x, std::size_t length, std::size_t half, std::size_t k, std::size_t count,
          const group_twiddles& twiddles, double sign, float* narrowed) {
    constexpr std::size_t points = std::size_t{1} << passes;
    for (std::size_t base = 0; base < length; base += points * half) {
        for (std::size_t j = 0; j < count; ++j) {
            double re[points];
            double im[points];
            for (std::size_t e = 0; e < points; ++e) {
                re[e] = x[2 * (base + e * half + k + j)];
                im[e] = x[2 * (base + e * half + k + j) + 1];
            }
            for (int s = 0; s < passes; ++s) {
                const std::size_t distance = std::size_t{1} << s;
                for (std::size_t e = 0; e < points; ++e) {
                    if ((e & distance) != 0) continue;
                    const std::size_t f = e + distance;
                    const double wr = twiddles.real[s][e & (distance - 1)][j];
                    const double wi = sign * twiddles.imaginary[s][e & (distance - 1)][j];
                    const double tr = wr * re[f] - wi * im[f];
                    const double ti = wr * im[f] + wi * re[f];
                    re[f] = re[e] - tr;
                    im[f] = im[e] - ti;
                    re[e] = re[e] + tr;
                    im[e] = im[e] + ti;
                }
            }
            for (std::size_t e = 0; e < points; ++e) {
                const std::size_t at = 2 * (base + e * half + k + j);
                if (narrowed != nullptr) {
                    narrowed[at] = static_cast<float>(re[e]);
                    narrowed[at + 1] = static_cast<float>(im[e]);
                } else {
                    x[at] = re[e];
                    x[at + 1] = im[e];
                }
            }
        }
    }
}

__attribute__((target_clones("avx2", "default"))) void
portable_pass_group(int passes, double* x, std::size_t length, std::size_t half, std::size_t k,
                    std::size_t count, const group_twiddles& twiddles, double sign,
                    float* narrowed) {
    if (passes == 1)
        group_run<1>(x, length, half, k, count, twiddles, sign, narrowed);
    else
        group_run<2>(x, length, half, k, count, twiddles, sign, narrowed);
}

// The low `bits` bits of `index` in reverse order.
std::size_t reversed(std::size_t index, unsigned bits) {
    std::size_t result = 0;
    for (unsigned bit = 0; bit < bits; ++bit)
        result |= ((index >> bit) & 1U) << (bits - 1 - bit);
    return result;
}

// The samples of `in`, widened to double, in bit-reversed order: out[reverse(i)] = in[i]. In
// tiles of 8 x 8 samples: index i = [a | middle | c] with a and c of three bits goes to
// [reverse c | reverse middle | reverse a], so each tile reads 8 runs of 8 adjacent samples
// and writes 8 such runs, a cache line or two each, one run after the other. With `streaming`
// the runs bypass the caches: worth it where the samples do not stay there until the passes
// read them, which would otherwise read each line first only to overwrite it.
void widen_bit_reversed(const cufftComplex* in, std::complex<double>* out, unsigned log2n,
                        bool streaming) {
    constexpr unsigned tile_bits = 3;
    constexpr std::size_t tile = std::size_t{1} << tile_bits;
    const std::size_t n = std::size_t{1} << log2n;
    if (log2n < 2 * tile_bits) {
        for (std::size_t i = 0; i < n; ++i)
            out[reversed(i, log2n)] = {in[i].x, in[i].y};
        return;
    }
    const unsigned middle_bits = log2n - 2 * tile_bits;
    const unsigned high_shift = log2n - tile_bits;
    std::size_t reversed_low[tile];
    for (std::size_t c = 0; c < tile; ++c)
        reversed_low[c] = reversed(c, tile_bits);
    for (std::size_t middle = 0; middle < (std::size_t{1} << middle_bits); ++middle) {
        const std::size_t middle_reversed = reversed(middle, middle_bits);
        const cufftComplex* const rows = in + (middle << tile_bits);
        for (std::size_t c = 0; c < tile; ++c) {
            std::complex<double>* const run =
                out + ((reversed_low[c] << high_shift) | (middle_reversed << tile_bits));
            for (std::size_t j = 0; j < tile; ++j) {
                const cufftComplex sample = rows[(reversed_low[j] << high_shift) + c];
                if (streaming)
                    _mm_stream_pd(reinterpret_cast<double*>(run + j),
                                  _mm_set_pd(double{sample.y}, double{sample.x}));
                else
                    run[j] = {sample.x, sample.y};
            }
        }
    }
    if (streaming) _mm_sfence();
}

// The samples of x rounded to single precision, streamed past the caches as above where asked
// and `out` allows it.
void narrow(const std::complex<double>* x, cufftComplex* out, std::size_t n, bool streaming) {
    std::size_t k = 0;
    if (streaming && reinterpret_cast<std::uintptr_t>(out) % 16 == 0) {
        for (; k + 1 < n; k += 2) {
            const __m128 low = _mm_cvtpd_ps(_mm_loadu_pd(reinterpret_cast<const double*>(x + k)));
            const __m128 high =
                _mm_cvtpd_ps(_mm_loadu_pd(reinterpret_cast<const double*>(x + k + 1)));
            _mm_stream_ps(reinterpret_cast<float*>(out + k), _mm_movelh_ps(low, high));
        }
        _mm_sfence();
    }
    for (; k < n; ++k)
        out[k] = {static_cast<float>(x[k].real()), static_cast<float>(x[k].imag())};
}

// Blocks of samples (16 bytes each) that stay in the first-level cache (32 KiB) and in the
// second (512 KiB). The twiddles of passes beyond the second are made in chunks.
constexpr std::size_t l1_block = 2048;
constexpr std::size_t l2_block = 32768;
constexpr std::size_t chunk = 512;

// From this length on, where the widened samples outgrow a last-level cache, they and the
// rounded results are written past the caches, which the passes would otherwise fill with lines
// read only to be overwritten. Below it streaming loses: the samples would still be in the
// cache when the passes read them.
constexpr std::size_t streaming_min = std::size_t{1} << 21;

// Scratch pages for `count` samples, counted against the process's memory when mapped.
std::span<complex> map_scratch(std::size_t count) {
    void* pages = mmap(nullptr, count * sizeof(complex), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    prefer_huge_pages(pages, count * sizeof(complex));
    return {static_cast<complex*>(pages), count};
}

} // namespace

bool dft_path_available(dft_path path) {
    return path == dft_path::portable || __builtin_cpu_supports("avx512f");
}

dft_path best_dft_path() {
    return dft_path_available(dft_path::avx512) ? dft_path::avx512 : dft_path::portable;
}

int group_passes_of(dft_path path) {
    return path == dft_path::avx512 ? 3 : 2;
}

// The passes of half-size `first` and more over all `length` samples at x, in groups of as many
// as the path's registers hold. Their twiddles come from the small tables where a group's passes
// are all below l2_block, and otherwise from the quarter wave, chunk by chunk. Where `narrowed` is
// not null, the last group leaves its results there, rounded to single precision.
void power_of_two_passes::grouped_passes(double* x, std::size_t length, std::size_t first,
                                         double sign, float* narrowed) const {
    const std::size_t table = 4 * (cosines_.size() - 1); // the transformed length's
    constexpr std::size_t most_stage_twiddles = (1U << most_group_passes) - 1;
    double real[most_stage_twiddles][chunk];
    double imaginary[most_stage_twiddles][chunk];
    const auto pass_group = path_ == dft_path::avx512 ? avx512::pass_group : portable_pass_group;
    for (std::size_t half = first; half < length;) {
        const int passes = std::min(group_passes_of(path_), std::countr_zero(length / half));
        float* const group_narrowed = (half << passes) == length ? narrowed : nullptr;
        group_twiddles twiddles{};
        if ((half << (passes - 1)) < l2_block) {
            for (int s = 0; s < passes; ++s)
                for (std::size_t e = 0; e < (std::size_t{1} << s); ++e) {
                    twiddles.real[s][e] = &small_real_[(half << s) + e * half];
                    twiddles.imaginary[s][e] = &small_imaginary_[(half << s) + e * half];
                }
            pass_group(passes, x, length, half, 0, half, twiddles, sign, group_narrowed);
        } else {
            for (std::size_t k = 0; k < half; k += chunk) {
                const std::size_t count = std::min(chunk, half - k);
                // Stage s needs the twiddles of its pass at e * half + k for e < 2^s.
                std::size_t array = 0;
                for (int s = 0; s < passes; ++s) {
                    const std::size_t step = table / (2 * (half << s));
                    for (std::size_t e = 0; e < (std::size_t{1} << s); ++e, ++array) {
                        twiddles_from_quarter_wave(cosines_, table, (e * half + k) * step, step,
                                                   count, real[array], imaginary[array]);
                        twiddles.real[s][e] = real[array];
                        twiddles.imaginary[s][e] = imaginary[array];
                    }
                }
                pass_group(passes, x, length, half, k, count, twiddles, sign, group_narrowed);
            }
        }
        half <<= passes;
    }
}

// The butterfly passes of a power-of-two length m, on samples already in bit-reversed order:
// passes of half-size below l1_block / 2 in blocks that stay in the first-level cache, then
// those below l2_block / 2 in groups over blocks that stay in the second, all with twiddles from
// the small tables (those of h at [h, 2h)); the rest in groups that sweep the whole array.
bool power_of_two_passes::run(std::span<complex> x, int sign, cufftComplex* out) const {
    const std::size_t m = x.size();
    if (m < 2) return false;
    const auto direction = static_cast<double>(sign);
    double* const data = reinterpret_cast<double*>(x.data());
    const std::size_t l1 = std::min(m, l1_block);
    const std::size_t l2 = std::min(m, l2_block);
    for (std::size_t l2_begin = 0; l2_begin < m; l2_begin += l2) {
        double* const block = data + 2 * l2_begin;
        for (std::size_t begin = 0; begin < l2; begin += l1)
            for (std::size_t half = 1; half < l1; half *= 2)
                pass_in_block(block + 2 * begin, l1, half, &small_real_[half],
                              &small_imaginary_[half], direction);
        grouped_passes(block, l2, l1, direction, nullptr);
    }
    if (l2 == m) return false;
    grouped_passes(data, m, l2, direction, reinterpret_cast<float*>(out));
    return out != nullptr;
}

power_of_two_passes::power_of_two_passes(std::size_t length, dft_path path)
    : path_(path), cosines_(quarter_wave(table_length(length))) {
    const std::size_t table = table_length(length);
    const std::size_t block = std::min(length, l2_block);
    small_real_.assign(l2_block, 0.0);
    small_imaginary_.assign(l2_block, 0.0);
    for (std::size_t half = 1; half < block; half *= 2)
        twiddles_from_quarter_wave(cosines_, table, 0, table / (2 * half), half, &small_real_[half],
                                   &small_imaginary_[half]);
}

std::size_t power_of_two_passes::table_bytes(std::size_t length) {
    return (table_length(length) / 4 + 1 + 2 * l2_block) * sizeof(double);
}

void power_of_two_passes::transform(std::span<complex> x, int sign) const {
    // The bit-reversal permutation in place, then the passes. Index i = [a | middle | c], a and
    // c of three bits, trades places with [reverse c | reverse middle | reverse a]: tile
    // `middle` with tile `reverse middle`, each read in 8 runs of 8 adjacent samples.
    const auto bits = static_cast<unsigned>(std::countr_zero(x.size()));
    constexpr unsigned tile_bits = 3;
    constexpr std::size_t tile = std::size_t{1} << tile_bits;
    auto swap_if_first = [&x](std::size_t i, std::size_t j) {
        if (i < j) std::swap(x[i], x[j]);
    };
    if (bits < 2 * tile_bits) {
        for (std::size_t i = 0; i < x.size(); ++i)
            swap_if_first(i, reversed(i, bits));
    } else {
        const unsigned middle_bits = bits - 2 * tile_bits;
        const unsigned high_shift = bits - tile_bits;
        for (std::size_t middle = 0; middle < (std::size_t{1} << middle_bits); ++middle) {
            const std::size_t partner = reversed(middle, middle_bits);
            if (partner < middle) continue;
            // A tile that is its own partner swaps each pair once; two tiles swap every pair.
            for (std::size_t a = 0; a < tile; ++a)
                for (std::size_t c = 0; c < tile; ++c) {
                    const std::size_t i = (a << high_shift) | (middle << tile_bits) | c;
                    const std::size_t j = (reversed(c, tile_bits) << high_shift) |
                                          (partner << tile_bits) | reversed(a, tile_bits);
                    if (partner == middle) {
                        swap_if_first(i, j);
                    } else {
                        std::swap(x[i], x[j]);
                    }
                }
        }
    }
    run(x, sign, nullptr);
}

transform_plan::transform_plan(std::size_t length, dft_path path)
    : length_(length), passes_(length, path), samples_(map_scratch(length)) {}

transform_plan::~transform_plan() {
    munmap(samples_.data(), samples_.size_bytes());
}

std::size_t transform_plan::work_bytes(std::size_t length) {
    return length * sizeof(complex) + power_of_two_passes::table_bytes(length);
}

void transform_plan::execute(const cufftComplex* in, cufftComplex* out, int sign) {
    const std::span<complex> x = samples_;
    const bool streaming = length_ >= streaming_min;
    widen_bit_reversed(in, x.data(), static_cast<unsigned>(std::countr_zero(length_)), streaming);
    if (!passes_.run(x, sign, out)) narrow(x.data(), out, length_, streaming);
    if (!executed_) madvise(samples_.data(), samples_.size_bytes(), MADV_DONTNEED);
    executed_ = true;
}

} // namespace kelvane::emu
