// The cuFFT operations of the emulation.
#include "cufft.h"

#include "emulator.hpp"
#include "kelvane_emu.h"

#include <memory>

namespace {

using kelvane::emu::emulator;
using kelvane::emu::fft_plan;
using kelvane::emu::operation;
using kelvane::emu::plan_description;

// cufftPlanMany's arguments for the basic layout of rank 1 to 3.
cufftResult describe_basic(int rank, int nx, int ny, int nz, int type, int batch,
                           plan_description& description) {
    int n[3] = {nx, ny, nz};
    return kelvane::emu::describe_plan(rank, n, nullptr, 1, 0, nullptr, 1, 0, type, batch,
                                       description);
}

// A new plan whose work area, like the real library's, is taken on the device when the plan
// is made: one that does not fit beside the device's buffers is CUFFT_ALLOC_FAILED.
cufftResult make_plan(emulator& device, cufftHandle* plan, cufftResult described,
                      const plan_description& description) {
    if (plan == nullptr) return CUFFT_INVALID_VALUE;
    if (described != CUFFT_SUCCESS) return described;
    const std::size_t work = fft_plan::work_bytes(description);
    if (work > KELVANE_EMU_DEVICE_CAPACITY - device.device_bytes) return CUFFT_ALLOC_FAILED;
    auto made = std::make_unique<fft_plan>(description);
    const int handle = device.next_plan;
    device.plans.emplace(handle, std::move(made));
    device.device_bytes += work;
    ++device.next_plan;
    *plan = handle;
    return CUFFT_SUCCESS;
}

cufftResult estimate(size_t* work_size, cufftResult described,
                     const plan_description& description) {
    if (work_size == nullptr) return CUFFT_INVALID_VALUE;
    if (described != CUFFT_SUCCESS) return described;
    *work_size = fft_plan::work_bytes(description);
    return CUFFT_SUCCESS;
}

// Adds each offset to the real part of its element of `data`, where `data` has that element.
template <class Element>
void perturb(Element* data, std::size_t elements,
             const std::vector<kelvane::emu::perturbation>& offsets) {
    for (const auto& [bin, added] : offsets) {
        if (bin >= elements) continue;
        if constexpr (requires { data[bin].x; }) {
            data[bin].x += added;
        } else {
            data[bin] += added;
        }
    }
}

// One execution: the plan must be of one of `types`, the direction one cuFFT knows, and each
// buffer must hold what the plan reads or writes within one device allocation. The output then
// takes every KELVANE_EMU_PERTURB offset at its flat index, in elements of the output's type,
// and an out-of-place input every KELVANE_EMU_PERTURB_INPUT one.
template <class Input, class Output>
cufftResult execute(emulator& device, cufftHandle handle, Input* idata, Output* odata,
                    cufftType type, int direction) {
    const auto found = device.plans.find(handle);
    if (found == device.plans.end()) return CUFFT_INVALID_PLAN;
    fft_plan& plan = *found->second;
    if (plan.type() != type) return CUFFT_INVALID_VALUE;
    if (direction != CUFFT_FORWARD && direction != CUFFT_INVERSE) return CUFFT_INVALID_VALUE;
    const bool in_place = static_cast<const void*>(idata) == static_cast<const void*>(odata);
    const std::size_t in_bytes = plan.input_bytes(in_place);
    const std::size_t out_bytes = plan.output_bytes(in_place);
    if (!kelvane::emu::within_one_allocation(device.device_buffers, idata, in_bytes) ||
        !kelvane::emu::within_one_allocation(device.device_buffers, odata, out_bytes))
        return CUFFT_INVALID_VALUE;
    const kelvane::emu::device_access open_input(idata, in_bytes);
    const kelvane::emu::device_access open_output(odata, out_bytes);
    plan.execute(idata, odata, direction);
    perturb(odata, out_bytes / sizeof(Output), kelvane::emu::perturbations());
    if (!in_place) perturb(idata, in_bytes / sizeof(Input), kelvane::emu::input_perturbations());
    return CUFFT_SUCCESS;
}

template <class Input, class Output>
cufftResult emulate_execution(operation op, cufftHandle plan, Input* idata, Output* odata,
                              cufftType type, int direction) {
    return kelvane::emu::emulate<cufftResult>(
        op, [&](emulator& device) { return execute(device, plan, idata, odata, type, direction); });
}

} // namespace

extern "C" {

cufftResult cufftPlan1d(cufftHandle* plan, int nx, cufftType type, int batch) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftPlan1d, [&](emulator& device) {
        plan_description d;
        return make_plan(device, plan, describe_basic(1, nx, 1, 1, type, batch, d), d);
    });
}

cufftResult cufftPlan2d(cufftHandle* plan, int nx, int ny, cufftType type) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftPlan2d, [&](emulator& device) {
        plan_description d;
        return make_plan(device, plan, describe_basic(2, nx, ny, 1, type, 1, d), d);
    });
}

cufftResult cufftPlan3d(cufftHandle* plan, int nx, int ny, int nz, cufftType type) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftPlan3d, [&](emulator& device) {
        plan_description d;
        return make_plan(device, plan, describe_basic(3, nx, ny, nz, type, 1, d), d);
    });
}

cufftResult cufftPlanMany(cufftHandle* plan, int rank, int* n, int* inembed, int istride, int idist,
                          int* onembed, int ostride, int odist, cufftType type, int batch) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftPlanMany, [&](emulator& device) {
        plan_description d;
        return make_plan(device, plan,
                         kelvane::emu::describe_plan(rank, n, inembed, istride, idist, onembed,
                                                     ostride, odist, type, batch, d),
                         d);
    });
}

cufftResult cufftEstimate1d(int nx, cufftType type, int batch, size_t* workSize) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftEstimate1d, [&](emulator&) {
        plan_description d;
        return estimate(workSize, describe_basic(1, nx, 1, 1, type, batch, d), d);
    });
}

cufftResult cufftEstimate2d(int nx, int ny, cufftType type, size_t* workSize) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftEstimate2d, [&](emulator&) {
        plan_description d;
        return estimate(workSize, describe_basic(2, nx, ny, 1, type, 1, d), d);
    });
}

cufftResult cufftEstimate3d(int nx, int ny, int nz, cufftType type, size_t* workSize) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftEstimate3d, [&](emulator&) {
        plan_description d;
        return estimate(workSize, describe_basic(3, nx, ny, nz, type, 1, d), d);
    });
}

cufftResult cufftEstimateMany(int rank, int* n, int* inembed, int istride, int idist, int* onembed,
                              int ostride, int odist, cufftType type, int batch, size_t* workSize) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftEstimateMany, [&](emulator&) {
        plan_description d;
        return estimate(workSize,
                        kelvane::emu::describe_plan(rank, n, inembed, istride, idist, onembed,
                                                    ostride, odist, type, batch, d),
                        d);
    });
}

cufftResult cufftGetSize(cufftHandle handle, size_t* workSize) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftGetSize, [&](emulator& device) {
        const auto found = device.plans.find(handle);
        if (found == device.plans.end()) return CUFFT_INVALID_PLAN;
        if (workSize == nullptr) return CUFFT_INVALID_VALUE;
        *workSize = found->second->work_bytes();
        return CUFFT_SUCCESS;
    });
}

cufftResult cufftExecC2C(cufftHandle plan, cufftComplex* idata, cufftComplex* odata,
                         int direction) {
    return emulate_execution(operation::cufftExecC2C, plan, idata, odata, CUFFT_C2C, direction);
}

cufftResult cufftExecR2C(cufftHandle plan, cufftReal* idata, cufftComplex* odata) {
    return emulate_execution(operation::cufftExecR2C, plan, idata, odata, CUFFT_R2C, CUFFT_FORWARD);
}

cufftResult cufftExecC2R(cufftHandle plan, cufftComplex* idata, cufftReal* odata) {
    return emulate_execution(operation::cufftExecC2R, plan, idata, odata, CUFFT_C2R, CUFFT_INVERSE);
}

cufftResult cufftExecZ2Z(cufftHandle plan, cufftDoubleComplex* idata, cufftDoubleComplex* odata,
                         int direction) {
    return emulate_execution(operation::cufftExecZ2Z, plan, idata, odata, CUFFT_Z2Z, direction);
}

cufftResult cufftExecD2Z(cufftHandle plan, cufftDoubleReal* idata, cufftDoubleComplex* odata) {
    return emulate_execution(operation::cufftExecD2Z, plan, idata, odata, CUFFT_D2Z, CUFFT_FORWARD);
}

cufftResult cufftExecZ2D(cufftHandle plan, cufftDoubleComplex* idata, cufftDoubleReal* odata) {
    return emulate_execution(operation::cufftExecZ2D, plan, idata, odata, CUFFT_Z2D, CUFFT_INVERSE);
}

cufftResult cufftDestroy(cufftHandle plan) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftDestroy, [&](emulator& device) {
        if (plan == CUFFT_PLAN_NULL) return CUFFT_SUCCESS;
        const auto found = device.plans.find(plan);
        if (found == device.plans.end()) return CUFFT_INVALID_PLAN;
        device.device_bytes -= found->second->work_bytes();
        device.plans.erase(found);
        return CUFFT_SUCCESS;
    });
}

cufftResult cufftGetVersion(int* version) {
    return kelvane::emu::emulate<cufftResult>(operation::cufftGetVersion, [&](auto&) {
        if (version == nullptr) return CUFFT_INVALID_VALUE;
        *version = 12000;
        return CUFFT_SUCCESS;
    });
}

} // extern "C"
