#!/usr/bin/env bash
# Makes the pictures the README shows, with the release build on the host emulation, and
# renders each in headless Chromium into docs/pictures/. Build first:
# cmake --workflow --preset release.
#
#   docs/make_pictures.sh [build folder, default build/release]
set -euo pipefail
build=${1:-build/release}
verify="$build/kelvane-verify"
out=docs/pictures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
shell=$(command -v chromium-headless-shell || command -v chromium)

render() { # svg-or-html png width height
    "$shell" --headless --no-sandbox --disable-gpu --hide-scrollbars --force-device-scale-factor=1 \
        --window-size="$3,$4" --screenshot="$2" "file://$(realpath "$1")" 2>/dev/null
}

# One size, one wrong bin beside the first: the spectra, their errors and the tolerance.
KELVANE_EMU_PERTURB=5:10 "$verify" --rounds 1 --svg "$work/single.svg" > /dev/null || true
render "$work/single.svg" "$out/single.png" 1200 900
"$verify" --sizes 8:22 --svg "$work/sweep.svg" > /dev/null
render "$work/sweep.svg" "$out/sweep.png" 1200 1040
"$verify" --suite quick --svg "$work/suite.svg" --json "$work/old.json" > /dev/null
render "$work/suite.svg" "$out/suite.png" 1200 1040
# The same suite again, one element of every output wrong: every case regresses.
KELVANE_EMU_PERTURB=7:0.5 "$verify" --suite quick --json "$work/new.json" > /dev/null || true
"$verify" --compare "$work/old.json" "$work/new.json" --svg "$work/compare.svg" > /dev/null || true
render "$work/compare.svg" "$out/compare.png" 1200 1040
KELVANE_EMU_PERTURB=3000:1 "$verify" --type r2c --shape 64x48x100 --batch 2 \
    --svg "$work/map.svg" > /dev/null || true
render "$work/map.svg" "$out/map.png" 1000 860
KELVANE_EMU_PERTURB=77:1 "$verify" --type r2c --shape 1000,30x40,4x5x6 \
    --html "$work/page.html" > /dev/null || true
render "$work/page.html" "$out/page.png" 1280 1400
ls -l "$out"
