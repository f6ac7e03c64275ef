#!/bin/sh
# Builds app.f90 against the installed package with gfortran alone, as docs/libraries.md shows it,
# in the current folder. $1 is the package's prefix; $2 the sanitizer flags of the build
# under test, which the archives need at the link.
set -eu
prefix=$1
sanitizer_flags=${2:-}
gfortran() { command gfortran $sanitizer_flags "$@"; }
gfortran app.f90 -L"$prefix/lib" -lc2c_1d -lostrel -lkelvane_emu -lfour1 -lquimbel -lkelvane_report -lstdc++ -o app
