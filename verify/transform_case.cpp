#include "transform_case.hpp"

#include <bit>
#include <charconv>
#include <climits>

namespace kelvane::verify {

bool double_precision(fft_type type) {
    return type == fft_type::z2z || type == fft_type::d2z || type == fft_type::z2d;
}
bool real_input(fft_type type) {
    return type == fft_type::r2c || type == fft_type::d2z;
}
bool real_output(fft_type type) {
    return type == fft_type::c2r || type == fft_type::z2d;
}
bool complex_only(fft_type type) {
    return type == fft_type::c2c || type == fft_type::z2z;
}

std::size_t total_length(const transform_case& c) {
    std::size_t total = 1;
    for (const std::size_t n : c.lengths)
        total *= n;
    return total;
}

bool forward(const transform_case& c) {
    return real_input(c.type) || (complex_only(c.type) && !c.inverse);
}

bool four1_applies(const transform_case& c) {
    return c.type == fft_type::c2c && c.lengths.size() == 1 && std::has_single_bit(c.lengths[0]);
}

std::size_t side_layout::elements() const {
    return lengths[0] * lengths[1] * lengths[2];
}

std::size_t side_layout::index(std::size_t member, std::size_t logical) const {
    const std::size_t x2 = logical % lengths[2];
    const std::size_t x1 = logical / lengths[2] % lengths[1];
    const std::size_t x0 = logical / lengths[2] / lengths[1];
    return member * distance + ((x0 * embed[1] + x1) * embed[2] + x2) * stride;
}

std::size_t side_layout::extent(std::size_t batch) const {
    return index(batch - 1, elements() - 1) + 1;
}

std::size_t case_geometry::input_bytes() const {
    return in.extent(batch) * real_bytes * (in.complex ? 2 : 1);
}
std::size_t case_geometry::output_bytes() const {
    return out.extent(batch) * real_bytes * (out.complex ? 2 : 1);
}
std::size_t case_geometry::buffer_bytes(bool in_place) const {
    return in_place ? std::max(input_bytes(), output_bytes()) : input_bytes();
}

namespace {

// Lengths and embeds as three entries, the missing outer ones 1: an element's offset is then
// the same sum for every rank.
std::array<std::size_t, 3> padded_to_three(std::span<const std::size_t> lengths) {
    std::array<std::size_t, 3> three{1, 1, 1};
    std::copy(lengths.begin(), lengths.end(), three.end() - static_cast<long>(lengths.size()));
    return three;
}

side_layout packed(std::array<std::size_t, 3> lengths, bool complex) {
    return {complex, lengths, lengths, 1, lengths[0] * lengths[1] * lengths[2]};
}

} // namespace

case_geometry geometry_of(const transform_case& c) {
    case_geometry g;
    g.rank = static_cast<int>(c.lengths.size());
    g.batch = c.batch;
    for (std::size_t t = 0; t < c.lengths.size(); ++t)
        g.n[t] = static_cast<int>(c.lengths[t]);
    g.real_bytes = double_precision(c.type) ? sizeof(double) : sizeof(float);
    const std::array<std::size_t, 3> full = padded_to_three(c.lengths);
    std::array<std::size_t, 3> half = full;
    half[2] = half[2] / 2 + 1;
    const bool r2c = real_input(c.type);
    const bool c2r = real_output(c.type);
    g.in = packed(c2r ? half : full, !r2c);
    g.out = packed(r2c ? half : full, !c2r);
    g.advanced = c.stride || c.distance || c.output_stride || c.output_distance;
    if (g.advanced) {
        g.in.stride = c.stride.value_or(1);
        g.out.stride = c.output_stride.value_or(g.in.stride);
        g.in.distance = c.distance.value_or(g.in.stride * g.in.elements());
        g.out.distance =
            c.output_distance.value_or(c.distance ? *c.distance : g.out.stride * g.out.elements());
    } else if (c.in_place && (r2c || c2r)) {
        // The real side has the complex side's room: 2 * (n/2 + 1) reals a row.
        side_layout& real_side = r2c ? g.in : g.out;
        real_side.embed[2] = 2 * half[2];
        real_side.distance = 2 * half[0] * half[1] * half[2];
    }
    return g;
}

std::optional<std::string> case_problem(const transform_case& c) {
    if (c.lengths.empty() || c.lengths.size() > 3) return "a shape has 1 to 3 lengths";
    for (const std::size_t n : c.lengths)
        if (n < 1 || n > INT_MAX)
            return "every length lies between 1 and " + std::to_string(INT_MAX);
    if (c.batch < 1 || c.batch > INT_MAX)
        return "--batch lies between 1 and " + std::to_string(INT_MAX);
    for (const auto* value : {&c.stride, &c.distance, &c.output_stride, &c.output_distance})
        if (*value && (**value < 1 || **value > INT_MAX))
            return "strides and distances lie between 1 and " + std::to_string(INT_MAX);
    if (c.inverse && !complex_only(c.type))
        return "--inverse is for c2c and z2z: r2c and d2z are forward, c2r and z2d inverse";
    if (c.input == input_source::file && c.input_file.empty()) return "--input needs a file";
    const bool advanced = c.stride || c.distance || c.output_stride || c.output_distance;
    if (c.in_place && advanced) {
        if (!complex_only(c.type))
            return "an in-place real transform takes the packed layout: leave out --stride and "
                   "--dist";
        if ((c.output_stride && c.output_stride != c.stride.value_or(1)) ||
            (c.output_distance && c.output_distance != c.distance))
            return "in place, the output's layout is the input's: leave out --ostride and --odist";
    }
    // Every index must fit: a buffer of more than 2^40 elements is no case a device runs.
    std::size_t total = c.batch;
    for (const std::size_t n : c.lengths)
        if (__builtin_mul_overflow(total, n, &total) || total > std::size_t{1} << 40)
            return "the transform has more than 2^40 elements";
    const case_geometry g = geometry_of(c);
    for (const side_layout* side : {&g.in, &g.out}) {
        const char* name = side == &g.in ? "input" : "output";
        // The last element's index, each term checked before it is formed.
        constexpr std::size_t most = std::size_t{1} << 40;
        if (side->elements() - 1 > most / side->stride || c.batch - 1 > most / side->distance ||
            side->extent(c.batch) > most)
            return std::string("the ") + name + " reaches past 2^40 elements";
        if (c.batch > 1 && side->distance < side->extent(1))
            return std::string("the ") + name + "'s batch members overlap: its distance " +
                   std::to_string(side->distance) + " is less than a member's extent " +
                   std::to_string(side->extent(1));
    }
    return std::nullopt;
}

std::string shape_text(std::span<const std::size_t> lengths) {
    std::string text;
    for (const std::size_t n : lengths)
        text += (text.empty() ? "" : "x") + std::to_string(n);
    return text;
}

std::optional<std::vector<std::size_t>> parse_shape(std::string_view text) {
    std::vector<std::size_t> lengths;
    while (true) {
        const std::size_t x = text.find('x');
        const std::string_view part = text.substr(0, x);
        std::size_t n = 0;
        const auto [stop, error] = std::from_chars(part.data(), part.data() + part.size(), n);
        if (part.empty() || error != std::errc{} || stop != part.data() + part.size())
            return std::nullopt;
        lengths.push_back(n);
        if (x == std::string_view::npos) break;
        text.remove_prefix(x + 1);
    }
    if (lengths.size() > 3) return std::nullopt;
    return lengths;
}

std::string rerun_options(const transform_case& c) {
    std::string options =
        "--type " + std::string(type_name(c.type)) + " --shape " + shape_text(c.lengths);
    auto add = [&options](const char* name, const std::optional<std::size_t>& value) {
        if (value) options += std::string(" ") + name + " " + std::to_string(*value);
    };
    if (c.batch != 1) options += " --batch " + std::to_string(c.batch);
    if (c.in_place) options += " --in-place";
    if (c.inverse) options += " --inverse";
    add("--stride", c.stride);
    add("--dist", c.distance);
    add("--ostride", c.output_stride);
    add("--odist", c.output_distance);
    switch (c.input) {
    case input_source::signal:
        options += " --input signal";
        break;
    case input_source::random:
        options += " --input random --seed " + std::to_string(c.seed);
        break;
    case input_source::file:
        options += " --input " + c.input_file;
        break;
    }
    return options;
}

namespace {

transform_case random_case(fft_type type, std::vector<std::size_t> lengths, std::uint64_t seed,
                           std::size_t batch = 1) {
    transform_case c;
    c.type = type;
    c.lengths = std::move(lengths);
    c.batch = batch;
    c.input = input_source::random;
    c.seed = seed;
    return c;
}

std::vector<transform_case> quick_cases(std::uint64_t seed) {
    using enum fft_type;
    std::vector<transform_case> cases;
    auto add = [&](fft_type type, std::vector<std::size_t> lengths, std::size_t batch = 1) {
        cases.push_back(random_case(type, std::move(lengths), seed, batch));
        return &cases.back();
    };
    // The comparison run's own transform, on its own signal.
    cases.push_back(transform_case{});
    // Every type.
    for (const fft_type type : {c2c, r2c, c2r, z2z, d2z, z2d})
        add(type, {1000});
    // Each radix from 2 to 13 alone, then mixed.
    for (const std::size_t n : {4096U, 2187U, 3125U, 2401U, 1331U, 2197U, 1296U, 30030U, 5040U})
        add(c2c, {n});
    add(z2z, {6006});
    add(d2z, {2310});
    // Primes: Bluestein's lengths, small and large.
    for (const std::size_t n : {17U, 9973U, 100003U, 1048573U})
        add(c2c, {n});
    add(z2z, {131071});
    add(r2c, {65537});
    // 2D, a non-square odd one among them.
    add(c2c, {64, 64});
    add(c2c, {45, 33});
    add(r2c, {512, 384});
    add(z2d, {81, 50});
    // 3D, one in place.
    add(c2c, {19, 17, 13});
    add(d2z, {19, 17, 13});
    add(c2c, {32, 32, 32})->in_place = true;
    // Batches of odd counts, one of them 2D.
    add(c2c, {1000}, 7);
    add(z2z, {256}, 33);
    add(c2c, {32, 24}, 5);
    add(c2c, {100}, 4095);
    // Real transforms in place.
    add(r2c, {4096})->in_place = true;
    add(c2r, {4096})->in_place = true;
    add(z2d, {30, 40}, 3)->in_place = true;
    // Strides that leave gaps, and distances between members with room after each.
    transform_case* strided = add(c2c, {1000}, 3);
    strided->stride = 2;
    strided->distance = 2100;
    strided = add(r2c, {512}, 4);
    strided->stride = 3;
    strided->distance = 1600;
    strided = add(z2z, {60, 40}, 2);
    strided->stride = 1;
    strided->distance = 2500;
    strided->output_stride = 2;
    strided->output_distance = 4900;
    // Inverses.
    add(c2c, {1000})->inverse = true;
    add(z2z, {64, 48})->inverse = true;
    return cases;
}

std::vector<transform_case> full_cases(std::uint64_t seed) {
    using enum fft_type;
    std::vector<transform_case> cases = quick_cases(seed);
    auto add = [&](fft_type type, std::vector<std::size_t> lengths, std::size_t batch = 1) {
        cases.push_back(random_case(type, std::move(lengths), seed, batch));
        return &cases.back();
    };
    add(c2c, {std::size_t{1} << 24});
    add(r2c, {256, 256, 255});
    add(c2c, {1000}, 4096);
    add(z2z, {std::size_t{1} << 22});
    add(d2z, {1024, 1024});
    add(c2r, {2048, 2048});
    add(c2c, {1000, 1000});
    add(z2z, {125, 128, 81});
    add(c2c, {256, 256, 256})->in_place = true;
    for (const std::size_t n : {65521U, 999983U, 1000003U, 4194301U})
        add(c2c, {n});
    add(z2z, {999983});
    add(d2z, {1000003});
    return cases;
}

} // namespace

std::optional<std::vector<transform_case>> suite_cases(std::string_view name, std::uint64_t seed) {
    if (name == "quick") return quick_cases(seed);
    if (name == "full") return full_cases(seed);
    return std::nullopt;
}

} // namespace kelvane::verify
