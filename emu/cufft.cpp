// The cuFFT operations of the emulation.
#include "cufft.h"

#include "emulator.hpp"
#include "kelvane_emu.h"

#include <memory>
#include <utility>

namespace {

using kelvane::emu::operation;

bool is_transform_type(int type) {
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

} // namespace

extern "C" {

cufftResult cufftPlan1d(cufftHandle* plan, int nx, cufftType type, int batch) {
    return kelvane::emu::emulate<cufftResult>(
        operation::cufftPlan1d, [&](kelvane::emu::emulator& device) {
            if (plan == nullptr) return CUFFT_INVALID_VALUE;
            if (nx <= 0 || batch <= 0) return CUFFT_INVALID_SIZE;
            if (!is_transform_type(type)) return CUFFT_INVALID_TYPE;
            // Only the single-precision complex transform is emulated.
            if (type != CUFFT_C2C) return CUFFT_NOT_SUPPORTED;
            // The work area lives on the device: it must fit beside the buffers there.
            const auto length = static_cast<std::size_t>(nx);
            const std::size_t work = kelvane::emu::transform_plan::work_bytes(length);
            if (work > KELVANE_EMU_DEVICE_CAPACITY - device.device_bytes) return CUFFT_ALLOC_FAILED;
            auto transform = std::make_unique<kelvane::emu::transform_plan>(length);
            const int handle = device.next_plan;
            device.plans.emplace(handle, kelvane::emu::plan{nx, batch, std::move(transform)});
            device.device_bytes += work;
            ++device.next_plan;
            *plan = handle;
            return CUFFT_SUCCESS;
        });
}

cufftResult cufftExecC2C(cufftHandle plan, cufftComplex* idata, cufftComplex* odata,
                         int direction) {
    return kelvane::emu::emulate<cufftResult>(
        operation::cufftExecC2C, [&](kelvane::emu::emulator& device) {
            const auto found = device.plans.find(plan);
            if (found == device.plans.end()) return CUFFT_INVALID_PLAN;
            if (direction != CUFFT_FORWARD && direction != CUFFT_INVERSE)
                return CUFFT_INVALID_VALUE;
            auto& [length, batch, transform] = found->second;
            const std::size_t bytes = static_cast<std::size_t>(length) *
                                      static_cast<std::size_t>(batch) * sizeof(cufftComplex);
            if (!kelvane::emu::within_one_allocation(device.device_buffers, idata, bytes) ||
                !kelvane::emu::within_one_allocation(device.device_buffers, odata, bytes))
                return CUFFT_INVALID_VALUE;
            const kelvane::emu::device_access open_input(idata, bytes);
            const kelvane::emu::device_access open_output(odata, bytes);
            for (int sequence = 0; sequence < batch; ++sequence) {
                const std::size_t offset =
                    static_cast<std::size_t>(sequence) * static_cast<std::size_t>(length);
                transform->execute(idata + offset, odata + offset, direction);
                for (const auto& [bin, added] : kelvane::emu::perturbations())
                    if (bin < static_cast<std::size_t>(length)) odata[offset + bin].x += added;
            }
            return CUFFT_SUCCESS;
        });
}

cufftResult cufftDestroy(cufftHandle plan) {
    return kelvane::emu::emulate<cufftResult>(
        operation::cufftDestroy, [&](kelvane::emu::emulator& device) {
            const auto found = device.plans.find(plan);
            if (found == device.plans.end()) return CUFFT_INVALID_PLAN;
            device.device_bytes -= kelvane::emu::transform_plan::work_bytes(
                static_cast<std::size_t>(found->second.length));
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
