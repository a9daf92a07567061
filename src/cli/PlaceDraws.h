#pragma once

#include <cstdint>
#include <vector>

// A whole number below `n` (n > 0) from the SplitMix64 state, without bias:
// a 64-bit value times n, keeping the upper half, with the few values that
// would favour some results drawn again (Lemire's method). Integer arithmetic
// only, so a seed gives the same numbers on every machine and compiler.
std::uint64_t drawBelow(std::uint64_t &state, std::uint64_t n);

// The places a run writes, as offsets into its table of `places` places:
// `count` independent draws, or with `unique` the first `count` places of a
// shuffle, so that none comes twice. The sequence depends on the seed alone
// and can be walked again from the start, so a run can measure its places
// before it writes them without keeping them.
class PlaceDraws
{
public:
    PlaceDraws(std::uint64_t seed, std::uint32_t places, std::uint64_t count, bool unique);

    std::uint64_t count() const { return m_count; }
    // Goes back to the first draw.
    void restart();
    // The next place; call it at most count() times after a restart.
    std::uint32_t next();

private:
    std::uint64_t m_seed;
    std::uint64_t m_state;
    std::uint32_t m_places;
    std::uint64_t m_count;
    bool m_unique;
    std::vector<std::uint32_t> m_shuffled; // with unique: the places in drawn order
    std::uint64_t m_drawn = 0;
};
