// An emulated cuFFT plan: what cufftPlan1d, cufftPlan2d, cufftPlan3d and cufftPlanMany
// describe, and its execution with cuFFT's documented data semantics.
//
// - n[0] is the outermost dimension and n[rank - 1] the contiguous one.
// - Element x of batch member b lies at b * dist + (x0 * embed[1] * embed[2] + x1 * embed[2]
//   + x2) * stride (for rank 3; ranks 1 and 2 likewise), counted in elements of the side's
//   type (real or complex). Null embeds select the basic layout: every other layout argument
//   is then ignored, and the data are packed, with the real side of an in-place real transform
//   padded to 2 * (n/2 + 1) reals along the last dimension.
// - R2C and D2Z are forward, C2R and Z2D inverse; the complex side of a real transform holds
//   n/2 + 1 values along the last dimension. C2R reads only those, as the Hermitian extension of
//   what it is given, and an out-of-place C2R or Z2D overwrites its input: every input element
//   it reads holds NaN afterwards.
// - Transforms are unnormalised. Single-precision plans compute in double, double-precision
//   plans in long double; each output element is rounded once to the plan's precision.
#pragma once

#include "cufft.h"
#include "dft.hpp"
#include "fft_engine.hpp"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace kelvane::emu {

namespace detail {
class plan_engines;
}

// The elements of one side of a transform: where each lies, per cufftPlanMany.
struct data_layout {
    std::array<std::size_t, 3> embed{}; // [0] is never read
    std::size_t stride = 1;
    std::size_t distance = 0;
};

struct plan_description {
    cufftType type = CUFFT_C2C;
    int rank = 1;
    std::array<std::size_t, 3> n{1, 1, 1};
    std::size_t batch = 1;
    // The advanced layout of input and output; none for the basic layout.
    std::optional<std::array<data_layout, 2>> advanced;
};

// Reads cufftPlanMany's arguments (rank 1 to 3, every length and the batch at least 1, strides
// and distances at least 1 and embeds no smaller than the lengths in the advanced layout) into
// `description`. CUFFT_SUCCESS, or CUFFT_INVALID_SIZE or CUFFT_INVALID_VALUE as cuFFT returns
// them; a type that is none of the six is CUFFT_INVALID_VALUE.
cufftResult describe_plan(int rank, const int* n, const int* inembed, int istride, int idist,
                          const int* onembed, int ostride, int odist, int type, int batch,
                          plan_description& description);

class fft_plan {
  public:
    // Reserves every byte the plan's executions use; throws std::bad_alloc where it cannot.
    explicit fft_plan(const plan_description& description);
    ~fft_plan();
    fft_plan(const fft_plan&) = delete;
    fft_plan& operator=(const fft_plan&) = delete;

    // The work area a plan of this description holds, as cufftEstimate* and cufftGetSize say.
    static std::size_t work_bytes(const plan_description& description);
    std::size_t work_bytes() const { return work_bytes(description_); }
    cufftType type() const { return description_.type; }

    // Bytes that an execution reads from its input and writes to its output, from the start
    // of each buffer: in place or not, as the basic layout of a real transform depends on it.
    std::size_t input_bytes(bool in_place) const;
    std::size_t output_bytes(bool in_place) const;

    // Transforms every batch member; `sign` counts only for C2C and Z2Z. The buffers hold
    // input_bytes and output_bytes; they may be the same.
    void execute(const void* in, void* out, int sign);

  private:
    plan_description description_;
    std::unique_ptr<detail::plan_engines> engines_;
};

} // namespace kelvane::emu
