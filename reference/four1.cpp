#include "four1.h"

#include "four1_fast.hpp"
#include "four1_plain.hpp"

extern "C" void four1_(float* data, const int32_t* count, const int32_t* sign) {
    using namespace kelvane::reference;
    static const four1_path path = four1_best_path();
    if (four1_arguments_accepted(*count, *sign)) four1_fast(data, *count, *sign, path);
}
