// kelvane: takes no arguments and reads no input.
#include "comparison_run.hpp"

int main() {
    return kelvane::driver::run_comparison();
}
