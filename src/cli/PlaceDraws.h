#pragma once

#include <cstdint>
#include <vector>

// A whole number below `n` (n > 0) from the SplitMix64 state, without bias:
// a 64-bit value times n, keeping the upper half, with the few values that
// would favour some results drawn again (Lemire's method). Integer arithmetic
// only, so a seed gives the same numbers on every machine and compiler.
std::uint64_t drawBelow(std::uint64_t &state, std::uint64_t n);

// Whole-number weights for `weights` (each finite and above 0), scaled so that
// their sum times their number stays below 2^63, none below 1. Each is one
// division and one multiplication of IEEE doubles, rounded to the nearest
// whole number, so the same weights give the same numbers everywhere.
std::vector<std::uint64_t> wholeWeights(const std::vector<double> &weights);

// Walker's alias table (Vose's construction) over whole-number weights:
// a draw costs two numbers below a bound and one comparison, whatever the
// number of entries. Built in integer arithmetic, so it is exact and the same
// on every machine.
class AliasTable
{
public:
    AliasTable() = default;
    // The weights' sum times their number must stay below 2^64.
    explicit AliasTable(const std::vector<std::uint64_t> &weights);

    // An entry, each with a chance proportional to its weight.
    std::uint32_t draw(std::uint64_t &state) const
    {
        const auto column = std::uint32_t(drawBelow(state, m_keep.size()));
        return drawBelow(state, m_total) < m_keep[column] ? column : m_alias[column];
    }

private:
    std::uint64_t m_total = 0;          // the sum of the weights
    std::vector<std::uint64_t> m_keep;  // a column keeps its own entry below this, of m_total
    std::vector<std::uint32_t> m_alias; // and gives this one otherwise
};

// The places a run writes, as offsets into its list of `places` places:
// `count` independent draws, or with `unique` the first `count` places of a
// random order, so that none comes twice. With weights, each draw picks a
// place with a chance proportional to its weight, and a unique run picks each
// next place so among those not yet picked. The sequence depends on the seed
// alone and can be walked again from the start, so a run can measure its
// places before it writes them without keeping them.
class PlaceDraws
{
public:
    // `weights`: empty for equal chances, else one per place.
    PlaceDraws(std::uint64_t seed, std::uint32_t places, std::uint64_t count, bool unique,
               const std::vector<std::uint64_t> &weights = {});

    std::uint64_t count() const { return m_count; }
    // Goes back to the first draw.
    void restart();
    // The next place; call it at most count() times after a restart.
    std::uint32_t next()
    {
        if (m_unique)
            return m_order[m_drawn++];
        if (m_weighted)
            return m_alias.draw(m_state);
        return static_cast<std::uint32_t>(drawBelow(m_state, m_places));
    }

private:
    void drawWeightedOrder(const std::vector<std::uint64_t> &weights);

    std::uint64_t m_seed;
    std::uint64_t m_state;
    std::uint32_t m_places;
    std::uint64_t m_count;
    bool m_unique;
    bool m_weighted;
    AliasTable m_alias;
    std::vector<std::uint32_t> m_order; // with unique: the places in drawn order
    std::uint64_t m_drawn = 0;
};
