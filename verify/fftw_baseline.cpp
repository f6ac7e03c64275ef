#include "fftw_baseline.hpp"

#include "timing_loop.hpp"
#include "usable_cores.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fftw3.h>
#include <new>

namespace kelvane::verify {
namespace {

// FFTW's interface in one precision, named once for both.
template <class Real>
struct fftw;

template <>
struct fftw<float> {
    using plan = fftwf_plan;
    using complex = fftwf_complex;
    static constexpr auto init_threads = fftwf_init_threads;
    static constexpr auto plan_with_nthreads = fftwf_plan_with_nthreads;
    static constexpr auto plan_many_dft = fftwf_plan_many_dft;
    static constexpr auto plan_many_dft_r2c = fftwf_plan_many_dft_r2c;
    static constexpr auto plan_many_dft_c2r = fftwf_plan_many_dft_c2r;
    static constexpr auto execute = fftwf_execute;
    static constexpr auto destroy_plan = fftwf_destroy_plan;
};

template <>
struct fftw<double> {
    using plan = fftw_plan;
    using complex = fftw_complex;
    static constexpr auto init_threads = fftw_init_threads;
    static constexpr auto plan_with_nthreads = fftw_plan_with_nthreads;
    static constexpr auto plan_many_dft = fftw_plan_many_dft;
    static constexpr auto plan_many_dft_r2c = fftw_plan_many_dft_r2c;
    static constexpr auto plan_many_dft_c2r = fftw_plan_many_dft_c2r;
    static constexpr auto execute = fftw_execute;
    static constexpr auto destroy_plan = fftw_destroy_plan;
};

unsigned planner_flags(fftw_planning planning) {
    switch (planning) {
    case fftw_planning::measure:
        return FFTW_MEASURE;
    case fftw_planning::patient:
        return FFTW_PATIENT;
    case fftw_planning::estimate:
        break;
    }
    return FFTW_ESTIMATE;
}

// FFTW's embed argument: the embeds of the lengths given, outermost first.
std::array<int, 3> embed_of(const case_geometry& g, const side_layout& side) {
    std::array<int, 3> embed{};
    for (std::size_t t = 0; t < static_cast<std::size_t>(g.rank); ++t)
        embed[t] = static_cast<int>(side.embed[3 - static_cast<std::size_t>(g.rank) + t]);
    return embed;
}

using host_clock = std::chrono::steady_clock;

template <class Real>
fftw_run run_in(const transform_case& c, const byte_buffer& input, fftw_planning planning,
                int warmups, int rounds, double least_seconds) {
    using api = fftw<Real>;
    static const bool threads_ready = usable_cores() > 1 && api::init_threads() != 0;
    const case_geometry g = geometry_of(c);
    byte_buffer in(input.size());
    byte_buffer separate_out(c.in_place ? 0 : g.output_bytes());
    void* const out = c.in_place ? in.data() : separate_out.data();
    int n[3] = {g.n[0], g.n[1], g.n[2]};
    std::array<int, 3> in_embed = embed_of(g, g.in);
    std::array<int, 3> out_embed = embed_of(g, g.out);
    const auto batch = static_cast<int>(g.batch);
    const auto is = static_cast<int>(g.in.stride);
    const auto id = static_cast<int>(g.in.distance);
    const auto os = static_cast<int>(g.out.stride);
    const auto od = static_cast<int>(g.out.distance);
    // C2R may overwrite its input, as on the device.
    const unsigned flags = planner_flags(planning);

    auto make_plan = [&] {
        if (complex_only(c.type))
            return api::plan_many_dft(
                g.rank, n, batch, reinterpret_cast<typename api::complex*>(in.data()),
                in_embed.data(), is, id, reinterpret_cast<typename api::complex*>(out),
                out_embed.data(), os, od, forward(c) ? FFTW_FORWARD : FFTW_BACKWARD, flags);
        if (real_input(c.type))
            return api::plan_many_dft_r2c(
                g.rank, n, batch, reinterpret_cast<Real*>(in.data()), in_embed.data(), is, id,
                reinterpret_cast<typename api::complex*>(out), out_embed.data(), os, od, flags);
        return api::plan_many_dft_c2r(
            g.rank, n, batch, reinterpret_cast<typename api::complex*>(in.data()), in_embed.data(),
            is, id, reinterpret_cast<Real*>(out), out_embed.data(), os, od, flags);
    };

    fftw_run run;
    for (std::size_t t = 0; t < run.timings.size(); ++t) {
        fftw_timing& timing = run.timings[t];
        timing.threads = t == 0 || !threads_ready ? 1 : usable_cores();
        if (threads_ready) api::plan_with_nthreads(timing.threads);
        const auto start = host_clock::now();
        const typename api::plan plan = make_plan();
        timing.planning_seconds = std::chrono::duration<double>(host_clock::now() - start).count();
        if (plan == nullptr) throw std::bad_alloc();
        // Planning may have written over the arrays: the input goes in afterwards.
        std::memcpy(in.data(), input.data(), input.size());
        if (t == 0) {
            api::execute(plan);
            run.output.assign(static_cast<const std::byte*>(out),
                              static_cast<const std::byte*>(out) +
                                  (c.in_place ? in.size() : separate_out.size()));
            std::memcpy(in.data(), input.data(), input.size());
        }
        auto timed = [&](std::size_t executions) {
            const auto begin = host_clock::now();
            for (std::size_t i = 0; i < executions; ++i)
                api::execute(plan);
            return std::chrono::duration<double>(host_clock::now() - begin).count();
        };
        for (int i = 1; i < warmups; ++i)
            timed(1);
        const double first = timed(1);
        timing.executions = executions_for(first, least_seconds);
        for (int round = 0; round < rounds; ++round)
            timing.seconds.push_back(timed(timing.executions) /
                                     static_cast<double>(timing.executions));
        api::destroy_plan(plan);
    }
    return run;
}

} // namespace

fftw_run run_fftw(const transform_case& c, const byte_buffer& input, fftw_planning planning,
                  int warmups, int rounds, double least_seconds) {
    return double_precision(c.type)
               ? run_in<double>(c, input, planning, warmups, rounds, least_seconds)
               : run_in<float>(c, input, planning, warmups, rounds, least_seconds);
}

std::string baseline_version(bool double_precision) {
    return std::string(double_precision ? fftw_version : fftwf_version) +
           (double_precision ? ", double precision" : ", single precision");
}

} // namespace kelvane::verify
