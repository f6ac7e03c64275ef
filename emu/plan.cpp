#include "plan.hpp"

#include <algorithm>
#include <bit>
#include <complex>
#include <limits>

namespace kelvane::emu {
namespace {

using shape = std::array<std::size_t, 3>;

enum class kind { complex_to_complex, real_to_complex, complex_to_real };

kind kind_of(cufftType type) {
    switch (type) {
    case CUFFT_R2C:
    case CUFFT_D2Z:
        return kind::real_to_complex;
    case CUFFT_C2R:
    case CUFFT_Z2D:
        return kind::complex_to_real;
    default:
        return kind::complex_to_complex;
    }
}

bool double_precision(cufftType type) {
    return type == CUFFT_Z2Z || type == CUFFT_D2Z || type == CUFFT_Z2D;
}

bool is_type(int type) {
    switch (type) {
    case CUFFT_R2C:
    case CUFFT_C2R:
    case CUFFT_C2C:
    case CUFFT_D2Z:
    case CUFFT_Z2D:
    case CUFFT_Z2Z:
        return true;
    default:
        return false;
    }
}

std::size_t product(const shape& lengths, int rank) {
    std::size_t total = 1;
    for (int t = 0; t < rank; ++t)
        total *= lengths[static_cast<std::size_t>(t)];
    return total;
}

// The complex side of a real transform: n/2 + 1 along the last dimension.
shape halved(shape lengths, int rank) {
    std::size_t& last = lengths[static_cast<std::size_t>(rank - 1)];
    last = last / 2 + 1;
    return lengths;
}

// The next index after x in row-major order over `lengths`; false after the last.
bool advance(shape& x, const shape& lengths, int rank) {
    for (std::size_t t = static_cast<std::size_t>(rank); t-- > 0;) {
        if (++x[t] < lengths[t]) return true;
        x[t] = 0;
    }
    return false;
}

// Where element x of member b lies, in elements of its side's type.
std::size_t element_index(const data_layout& layout, int rank, const shape& x, std::size_t b) {
    std::size_t offset = x[0];
    for (std::size_t t = 1; t < static_cast<std::size_t>(rank); ++t)
        offset = offset * layout.embed[t] + x[t];
    return b * layout.distance + offset * layout.stride;
}

// Elements from the start of a buffer to the last one an execution touches, that one included.
std::size_t extent(const data_layout& layout, int rank, const shape& lengths, std::size_t batch) {
    shape last{};
    for (std::size_t t = 0; t < static_cast<std::size_t>(rank); ++t)
        last[t] = lengths[t] - 1;
    return element_index(layout, rank, last, batch - 1) + 1;
}

data_layout packed(const shape& lengths, int rank) {
    return {lengths, 1, product(lengths, rank)};
}

// The logical lengths and the layout of each side, once the placement is known.
struct sides {
    shape in_lengths;
    shape out_lengths;
    data_layout in;
    data_layout out;
};

sides sides_of(const plan_description& d, bool in_place) {
    const kind k = kind_of(d.type);
    const shape complex_lengths = k == kind::complex_to_complex ? d.n : halved(d.n, d.rank);
    sides s{k == kind::complex_to_real ? complex_lengths : d.n,
            k == kind::real_to_complex ? complex_lengths : d.n,
            {},
            {}};
    if (d.advanced) {
        s.in = (*d.advanced)[0];
        s.out = (*d.advanced)[1];
        return s;
    }
    s.in = packed(s.in_lengths, d.rank);
    s.out = packed(s.out_lengths, d.rank);
    // In place, the real side has the complex side's room: 2 * (n/2 + 1) reals a row.
    if (in_place && k != kind::complex_to_complex) {
        data_layout& real_side = k == kind::real_to_complex ? s.in : s.out;
        real_side.embed = complex_lengths;
        real_side.embed[static_cast<std::size_t>(d.rank - 1)] *= 2;
        real_side.distance = 2 * product(complex_lengths, d.rank);
    }
    return s;
}

// Bytes of one element of a side: real or complex, single or double.
std::size_t element_bytes(cufftType type, bool complex_side) {
    return (double_precision(type) ? sizeof(double) : sizeof(float)) * (complex_side ? 2 : 1);
}

bool fast_path_applies(const plan_description& d) {
    const bool unit_strides =
        !d.advanced || ((*d.advanced)[0].stride == 1 && (*d.advanced)[1].stride == 1);
    return d.type == CUFFT_C2C && d.rank == 1 && std::has_single_bit(d.n[0]) && unit_strides;
}

// The most elements one side of a plan may address: far beyond any device, and small enough
// that every index and byte count an execution forms fits in size_t.
constexpr std::size_t most_addressed_elements = std::size_t{1} << 40;

// Whether a checked product of the lengths, and each side's extent, stay within
// most_addressed_elements, in place and out of place.
bool addressable(const plan_description& d) {
    std::size_t total = d.batch;
    for (std::size_t t = 0; t < static_cast<std::size_t>(d.rank); ++t)
        if (__builtin_mul_overflow(total, d.n[t], &total) || total > most_addressed_elements)
            return false;
    for (const bool in_place : {false, true}) {
        const sides s = sides_of(d, in_place);
        for (const auto& [layout, lengths] :
             {std::pair{s.in, s.in_lengths}, std::pair{s.out, s.out_lengths}}) {
            // The last element's index, term by term, each checked.
            std::size_t offset = lengths[0] - 1;
            for (std::size_t t = 1; t < static_cast<std::size_t>(d.rank); ++t)
                if (__builtin_mul_overflow(offset, layout.embed[t], &offset) ||
                    __builtin_add_overflow(offset, lengths[t] - 1, &offset))
                    return false;
            std::size_t last = 0;
            std::size_t members = 0;
            if (__builtin_mul_overflow(offset, layout.stride, &offset) ||
                __builtin_mul_overflow(d.batch - 1, layout.distance, &members) ||
                __builtin_add_overflow(offset, members, &last) || last >= most_addressed_elements)
                return false;
        }
    }
    return true;
}

} // namespace

namespace detail {

// The transforms of one plan, in the precision its type computes in.
class plan_engines {
  public:
    virtual ~plan_engines() = default;
    virtual void execute(const plan_description& d, const sides& s, const void* in, void* out,
                         int sign) = 0;
};

} // namespace detail

namespace {

// `Stored` is the plan's precision, `Real` the one it computes in.
template <class Stored, class Real>
class typed_engines final : public detail::plan_engines {
  public:
    using complex = std::complex<Real>;

    explicit typed_engines(const plan_description& d) {
        if (fast_path_applies(d)) {
            fast_ = std::make_unique<transform_plan>(d.n[0]);
            return;
        }
        std::size_t longest = 0;
        for (std::size_t t = 0; t < static_cast<std::size_t>(d.rank); ++t) {
            const auto same = std::find_if(owned_.begin(), owned_.end(),
                                           [&](const auto& e) { return e->length() == d.n[t]; });
            if (same == owned_.end()) {
                owned_.push_back(std::make_unique<fft_engine<Real>>(d.n[t]));
                axes_.push_back(owned_.back().get());
            } else {
                axes_.push_back(same->get());
            }
            longest = std::max(longest, d.n[t]);
        }
        work_.resize(product(d.n, d.rank));
        if (d.rank > 1) line_.resize(longest);
    }

    void execute(const plan_description& d, const sides& s, const void* in, void* out,
                 int sign) override {
        const auto* input = static_cast<const Stored*>(in);
        auto* output = static_cast<Stored*>(out);
        const kind k = kind_of(d.type);
        for (std::size_t b = 0; b < d.batch; ++b) {
            if (fast_) {
                fast_->execute(static_cast<const cufftComplex*>(in) + b * s.in.distance,
                               static_cast<cufftComplex*>(out) + b * s.out.distance, sign);
                continue;
            }
            transform_member(d, s, input, b,
                             k == kind::complex_to_complex ? sign
                             : k == kind::real_to_complex  ? CUFFT_FORWARD
                                                           : CUFFT_INVERSE);
            store_member(d, s, output, b);
        }
        if (k == kind::complex_to_real && in != out)
            overwrite_input(d, s, const_cast<Stored*>(input));
    }

  private:
    std::unique_ptr<transform_plan> fast_;
    std::vector<std::unique_ptr<fft_engine<Real>>> owned_;
    std::vector<fft_engine<Real>*> axes_;
    std::vector<complex> work_; // one member, packed, all lengths complex
    std::vector<complex> line_; // one line of a multi-dimensional member

    // Input element x of member b as complex: a real side's with imaginary part 0, and for
    // C2R, past the half it holds, the conjugate of the element at -x.
    complex input_at(const plan_description& d, const sides& s, const Stored* input, std::size_t b,
                     shape x) const {
        const kind k = kind_of(d.type);
        if (k == kind::real_to_complex)
            return {static_cast<Real>(input[element_index(s.in, d.rank, x, b)]), Real{0}};
        bool conjugate = false;
        const auto last = static_cast<std::size_t>(d.rank - 1);
        if (k == kind::complex_to_real && x[last] >= s.in_lengths[last]) {
            for (std::size_t t = 0; t <= last; ++t)
                x[t] = x[t] == 0 ? 0 : d.n[t] - x[t];
            conjugate = true;
        }
        const Stored* at = input + 2 * element_index(s.in, d.rank, x, b);
        const complex value(static_cast<Real>(at[0]), static_cast<Real>(at[1]));
        return conjugate ? std::conj(value) : value;
    }

    // Member b's full transform into work_.
    void transform_member(const plan_description& d, const sides& s, const Stored* input,
                          std::size_t b, int sign) {
        if (d.rank == 1) {
            axes_[0]->transform(
                [&](std::size_t j) {
                    return input_at(d, s, input, b, {j, 0, 0});
                },
                work_.data(), sign);
            return;
        }
        shape x{};
        for (std::size_t e = 0; e < work_.size(); ++e, advance(x, d.n, d.rank))
            work_[e] = input_at(d, s, input, b, x);
        // Axis by axis: every line along axis t, through a line of its own.
        for (std::size_t t = 0; t < static_cast<std::size_t>(d.rank); ++t) {
            std::size_t stride = 1;
            for (std::size_t u = t + 1; u < static_cast<std::size_t>(d.rank); ++u)
                stride *= d.n[u];
            const std::size_t length = d.n[t];
            for (std::size_t outer = 0; outer < work_.size(); outer += length * stride)
                for (std::size_t inner = 0; inner < stride; ++inner) {
                    complex* const start = work_.data() + outer + inner;
                    axes_[t]->transform([&](std::size_t j) { return start[j * stride]; },
                                        line_.data(), sign);
                    for (std::size_t j = 0; j < length; ++j)
                        start[j * stride] = line_[j];
                }
        }
    }

    // Member b's output from work_, each element rounded once.
    void store_member(const plan_description& d, const sides& s, Stored* output,
                      std::size_t b) const {
        const kind k = kind_of(d.type);
        shape x{};
        for (std::size_t e = 0; e < work_.size(); ++e) {
            const auto last = static_cast<std::size_t>(d.rank - 1);
            if (k != kind::real_to_complex || x[last] < s.out_lengths[last]) {
                const std::size_t at = element_index(s.out, d.rank, x, b);
                if (k == kind::complex_to_real) {
                    output[at] = static_cast<Stored>(work_[e].real());
                } else {
                    output[2 * at] = static_cast<Stored>(work_[e].real());
                    output[2 * at + 1] = static_cast<Stored>(work_[e].imag());
                }
            }
            advance(x, d.n, d.rank);
        }
    }

    // What an out-of-place C2R leaves in its input: NaN in every element it read.
    static void overwrite_input(const plan_description& d, const sides& s, Stored* input) {
        const Stored nan = std::numeric_limits<Stored>::quiet_NaN();
        const std::size_t count = product(s.in_lengths, d.rank);
        for (std::size_t b = 0; b < d.batch; ++b) {
            shape x{};
            for (std::size_t e = 0; e < count; ++e, advance(x, s.in_lengths, d.rank)) {
                const std::size_t at = element_index(s.in, d.rank, x, b);
                input[2 * at] = input[2 * at + 1] = nan;
            }
        }
    }
};

} // namespace

cufftResult describe_plan(int rank, const int* n, const int* inembed, int istride, int idist,
                          const int* onembed, int ostride, int odist, int type, int batch,
                          plan_description& description) {
    if (rank < 1 || rank > 3 || n == nullptr || batch < 1) return CUFFT_INVALID_SIZE;
    plan_description d;
    d.rank = rank;
    d.batch = static_cast<std::size_t>(batch);
    for (std::size_t t = 0; t < static_cast<std::size_t>(rank); ++t) {
        if (n[t] < 1) return CUFFT_INVALID_SIZE;
        d.n[t] = static_cast<std::size_t>(n[t]);
    }
    if (!is_type(type)) return CUFFT_INVALID_VALUE;
    d.type = static_cast<cufftType>(type);
    if (inembed != nullptr && onembed != nullptr) {
        if (istride < 1 || idist < 1 || ostride < 1 || odist < 1) return CUFFT_INVALID_VALUE;
        const sides basic = sides_of(d, false);
        std::array<data_layout, 2> layouts{};
        const int* embeds[2] = {inembed, onembed};
        const shape* lengths[2] = {&basic.in_lengths, &basic.out_lengths};
        for (std::size_t side = 0; side < 2; ++side)
            for (std::size_t t = 1; t < static_cast<std::size_t>(rank); ++t) {
                if (embeds[side][t] < 0 ||
                    static_cast<std::size_t>(embeds[side][t]) < (*lengths[side])[t])
                    return CUFFT_INVALID_VALUE;
                layouts[side].embed[t] = static_cast<std::size_t>(embeds[side][t]);
            }
        layouts[0].stride = static_cast<std::size_t>(istride);
        layouts[0].distance = static_cast<std::size_t>(idist);
        layouts[1].stride = static_cast<std::size_t>(ostride);
        layouts[1].distance = static_cast<std::size_t>(odist);
        d.advanced = layouts;
    }
    // Every index an execution forms must fit: no plan addresses more elements than this.
    if (!addressable(d)) return CUFFT_INVALID_SIZE;
    description = d;
    return CUFFT_SUCCESS;
}

fft_plan::fft_plan(const plan_description& description) : description_(description) {
    if (double_precision(description.type)) {
        engines_ = std::make_unique<typed_engines<double, long double>>(description);
    } else {
        engines_ = std::make_unique<typed_engines<float, double>>(description);
    }
}

fft_plan::~fft_plan() = default;

std::size_t fft_plan::work_bytes(const plan_description& d) {
    if (fast_path_applies(d)) return transform_plan::work_bytes(d.n[0]);
    const bool wide = double_precision(d.type);
    const std::size_t complex_bytes =
        wide ? sizeof(std::complex<long double>) : sizeof(std::complex<double>);
    // One member and, in several dimensions, one line of the longest axis; an engine for each
    // distinct length, as the axes share them.
    std::size_t bytes = product(d.n, d.rank) * complex_bytes;
    if (d.rank > 1) bytes += *std::max_element(d.n.begin(), d.n.begin() + d.rank) * complex_bytes;
    for (std::size_t t = 0; t < static_cast<std::size_t>(d.rank); ++t) {
        const bool shared = std::find(d.n.begin(), d.n.begin() + static_cast<std::ptrdiff_t>(t),
                                      d.n[t]) != d.n.begin() + static_cast<std::ptrdiff_t>(t);
        if (shared) continue;
        bytes += wide ? fft_engine<long double>::work_bytes(d.n[t])
                      : fft_engine<double>::work_bytes(d.n[t]);
    }
    return bytes;
}

std::size_t fft_plan::input_bytes(bool in_place) const {
    const sides s = sides_of(description_, in_place);
    return extent(s.in, description_.rank, s.in_lengths, description_.batch) *
           element_bytes(description_.type, kind_of(description_.type) != kind::real_to_complex);
}

std::size_t fft_plan::output_bytes(bool in_place) const {
    const sides s = sides_of(description_, in_place);
    return extent(s.out, description_.rank, s.out_lengths, description_.batch) *
           element_bytes(description_.type, kind_of(description_.type) != kind::complex_to_real);
}

void fft_plan::execute(const void* in, void* out, int sign) {
    engines_->execute(description_, sides_of(description_, in == out), in, out, sign);
}

} // namespace kelvane::emu
