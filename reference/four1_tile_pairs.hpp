// The order in which both bit reversals visit their tile pairs. Index i = [a | middle | c], a and
// c of three bits, goes to [rev c | rev middle | rev a]: the tile of one middle (rows a of eight
// adjacent samples c) trades places with the tile of the reversed middle.
#pragma once

#include <algorithm>
#include <cstddef>

namespace kelvane::reference {
// Internal linkage: the AVX-512 source compiles these under its own target, and one definition
// shared with the other sources could run its instructions on a processor without them.
namespace {

std::size_t reversed(std::size_t index, unsigned bits) {
    std::size_t result = 0;
    for (unsigned bit = 0; bit < bits; ++bit)
        result |= ((index >> bit) & 1U) << (bits - 1 - bit);
    return result;
}

// Calls swap(middle, middle_reversed) once for every pair of tiles, a tile that is its own
// partner included. Pairs go in blocks: middle = [p | q | r] with p and r of up to three bits,
// and for one q every p and r. The block's tiles, and their partners [rev r | rev q | rev p], then
// lie in runs of eight adjacent tiles, 512 bytes of each row, where pairs in the order of middle
// would reach a partner's rows one scattered line at a time.
template <class Swap>
void for_each_tile_pair(unsigned middle_bits, Swap swap) {
    const unsigned edge_bits = std::min(3U, middle_bits / 2);
    const unsigned q_bits = middle_bits - 2 * edge_bits;
    const std::size_t edge = std::size_t{1} << edge_bits;
    for (std::size_t q = 0; q < (std::size_t{1} << q_bits); ++q) {
        const std::size_t q_reversed = reversed(q, q_bits);
        // The block of rev q holds the partners of this one's tiles, and the other way round.
        if (q > q_reversed) continue;
        for (std::size_t p = 0; p < edge; ++p)
            for (std::size_t r = 0; r < edge; ++r) {
                const std::size_t middle = (((p << q_bits) | q) << edge_bits) | r;
                const std::size_t middle_reversed =
                    (((reversed(r, edge_bits) << q_bits) | q_reversed) << edge_bits) |
                    reversed(p, edge_bits);
                if (q != q_reversed || middle <= middle_reversed) swap(middle, middle_reversed);
            }
    }
}

} // namespace
} // namespace kelvane::reference
