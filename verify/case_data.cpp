#include "case_data.hpp"

#include "random_input.hpp"
#include "signal.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>

namespace kelvane::verify {
namespace {

// Element `index` of a buffer of reals or complex numbers of type Real.
template <class Real>
exact_complex read_element(std::span<const std::byte> buffer, bool complex, std::size_t index) {
    Real parts[2] = {};
    std::memcpy(parts, buffer.data() + index * sizeof(Real) * (complex ? 2 : 1),
                sizeof(Real) * (complex ? 2 : 1));
    return {parts[0], parts[1]};
}

template <class Real>
void write_element(std::span<std::byte> buffer, bool complex, std::size_t index,
                   exact_complex value) {
    const Real parts[2] = {static_cast<Real>(value.real()), static_cast<Real>(value.imag())};
    std::memcpy(buffer.data() + index * sizeof(Real) * (complex ? 2 : 1), parts,
                sizeof(Real) * (complex ? 2 : 1));
}

exact_complex read(const case_geometry& g, const side_layout& side,
                   std::span<const std::byte> buffer, std::size_t member, std::size_t logical) {
    const std::size_t index = side.index(member, logical);
    return g.real_bytes == sizeof(double) ? read_element<double>(buffer, side.complex, index)
                                          : read_element<float>(buffer, side.complex, index);
}

// Each member's values from the source, member after member, row-major: complex numbers, or
// reals as complex numbers with zero imaginary parts.
std::vector<exact_complex> source_values(const transform_case& c, std::size_t per_member,
                                         bool complex) {
    std::vector<exact_complex> values(per_member * c.batch);
    if (c.input == input_source::random) {
        std::mt19937_64 generator(c.seed);
        const bool twice = double_precision(c.type);
        auto part = [&] {
            return twice ? uniform_part<double>(generator) : uniform_part<float>(generator);
        };
        for (exact_complex& value : values) {
            const long double re = part();
            value = {re, complex ? static_cast<long double>(part()) : 0.0L};
        }
        return values;
    }
    const std::size_t n = per_member;
    std::vector<kelvane_complex> signal(n);
    driver::fill_signal(signal.data(), static_cast<std::int64_t>(n));
    for (std::size_t b = 0; b < c.batch; ++b)
        for (std::size_t k = 0; k < n; ++k)
            values[b * n + k] = {signal[k].re, complex ? signal[k].im : 0.0f};
    return values;
}

bool read_file(const std::string& path, std::span<std::byte> buffer, std::string& error) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    const bool longer = got == buffer.size() && std::fgetc(file.get()) != EOF;
    if (std::ferror(file.get())) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (got != buffer.size() || longer) {
        error = path + " holds " + (longer ? "more than " : "") + std::to_string(got) +
                " bytes; the case's input is " + std::to_string(buffer.size()) + " bytes";
        return false;
    }
    return true;
}

} // namespace

std::optional<byte_buffer> make_input(const transform_case& c, const case_geometry& g,
                                      std::string& error) {
    byte_buffer buffer(g.buffer_bytes(c.in_place));
    if (c.input == input_source::file) {
        if (!read_file(c.input_file, std::span(buffer).first(g.input_bytes()), error))
            return std::nullopt;
        return buffer;
    }
    std::vector<exact_complex> values;
    if (real_output(c.type)) {
        // The half spectrum of real values: what a real-to-complex transform of them gives.
        transform_case forward_case = c;
        forward_case.type = double_precision(c.type) ? fft_type::d2z : fft_type::r2c;
        values = exact_output(forward_case, source_values(c, total_length(c), false));
    } else {
        values = source_values(c, g.in.elements(), g.in.complex);
    }
    const std::size_t per_member = g.in.elements();
    for (std::size_t b = 0; b < c.batch; ++b)
        for (std::size_t k = 0; k < per_member; ++k) {
            const std::size_t index = g.in.index(b, k);
            if (g.real_bytes == sizeof(double))
                write_element<double>(buffer, g.in.complex, index, values[b * per_member + k]);
            else
                write_element<float>(buffer, g.in.complex, index, values[b * per_member + k]);
        }
    return buffer;
}

std::vector<exact_complex> gather(const case_geometry& g, const side_layout& side,
                                  std::span<const std::byte> buffer) {
    const std::size_t per_member = side.elements();
    std::vector<exact_complex> values(per_member * g.batch);
    for (std::size_t b = 0; b < g.batch; ++b)
        for (std::size_t k = 0; k < per_member; ++k)
            values[b * per_member + k] = read(g, side, buffer, b, k);
    return values;
}

std::vector<member_errors> errors_per_member(const case_geometry& g, const side_layout& side,
                                             std::span<const std::byte> buffer,
                                             std::span<const exact_complex> exact, double level,
                                             long double scale) {
    const std::size_t per_member = side.elements();
    std::vector<member_errors> errors(g.batch);
    for (std::size_t b = 0; b < g.batch; ++b) {
        // The sums in long double: the x87 unit ignores the SSE flush-to-zero mode the run is
        // in, and no member's sums lose what the ratios show.
        long double difference_l2 = 0.0L;
        long double difference_max = -1.0L;
        long double reference_l2 = 0.0L;
        long double reference_max = 0.0L;
        member_errors& e = errors[b];
        for (std::size_t k = 0; k < per_member; ++k) {
            const exact_complex reference = exact[b * per_member + k] * scale;
            const long double difference = std::abs(read(g, side, buffer, b, k) - reference);
            // The first NaN is the worst element of all and stays so.
            const bool worse =
                std::isnan(difference) ? !std::isnan(difference_max) : difference > difference_max;
            if (worse) {
                difference_max = difference;
                e.linf_index = k;
            }
            difference_l2 += difference * difference;
            reference_l2 += std::norm(reference);
            reference_max = std::max(reference_max, std::abs(reference));
        }
        e.rel_l2 = static_cast<double>(std::sqrt(difference_l2 / reference_l2));
        e.rel_linf = static_cast<double>(difference_max / reference_max);
        const long double rms = std::sqrt(reference_l2 / static_cast<long double>(per_member));
        e.bin_units = static_cast<double>(difference_max / (level * rms));
    }
    return errors;
}

std::vector<element_values> worst_elements(const case_geometry& g, const side_layout& side,
                                           std::span<const std::byte> buffer,
                                           std::span<const exact_complex> exact,
                                           std::size_t count) {
    std::vector<long double> distance(exact.size());
    for (std::size_t flat = 0; flat < exact.size(); ++flat) {
        const long double d = std::abs(
            read(g, side, buffer, flat / side.elements(), flat % side.elements()) - exact[flat]);
        distance[flat] = std::isnan(d) ? INFINITY : d;
    }
    std::vector<std::size_t> order(exact.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const std::size_t kept = std::min(count, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<long>(kept), order.end(),
                      [&](std::size_t a, std::size_t b) {
                          return distance[a] > distance[b] || (distance[a] == distance[b] && a < b);
                      });
    std::vector<element_values> worst;
    for (std::size_t i = 0; i < kept; ++i) {
        const std::size_t member = order[i] / side.elements();
        const std::size_t index = order[i] % side.elements();
        worst.push_back({member, index, read(g, side, buffer, member, index), exact[order[i]]});
    }
    return worst;
}

} // namespace kelvane::verify
