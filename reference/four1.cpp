#include "four1.h"

#include "four1_plain.hpp"

extern "C" void four1_(float* data, const int32_t* count, const int32_t* sign) {
    if (kelvane::reference::four1_arguments_accepted(*count, *sign))
        kelvane::reference::four1_plain(data, *count, *sign);
}
