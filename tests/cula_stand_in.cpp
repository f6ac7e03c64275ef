#include "cula_stand_in.hpp"

#include "quimbel.h"

namespace {

kelvane::test_support::cula_calls* recorded = nullptr;

} // namespace

namespace kelvane::test_support {

void record_cula_calls_in(cula_calls* calls) {
    recorded = calls;
}

} // namespace kelvane::test_support

extern "C" std::int32_t cula_geterrorinfo_(void) {
    if (recorded == nullptr) return 42;
    ++recorded->info_calls;
    if (recorded->status_to_change != nullptr)
        *const_cast<std::int32_t*>(recorded->status_to_change) = recorded->status_after_info;
    return recorded->info_to_return;
}

extern "C" void cula_getstatusstring_(const std::int32_t* status) {
    if (recorded == nullptr) return;
    ++recorded->status_string_calls;
    recorded->last_status_string_status = *status;
}
