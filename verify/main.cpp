// kelvane-verify: the verdict, the errors and the phase timings that the comparison table
// cannot give. kelvane-verify --help shows the usage.
#include "verify_run.hpp"

int main(int argc, char** argv) {
    return kelvane::verify::run_verify(argc, argv);
}
