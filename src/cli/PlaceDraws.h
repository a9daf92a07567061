#pragma once

#include "generate/RandomRecord.h"

#include <cstdint>
#include <vector>

// A whole number below `n` (n > 0) from the SplitMix64 state, without bias:
// a 64-bit value times n, keeping the upper half, with the few values that
// would favour some results drawn again (Lemire's method). Integer arithmetic
// only, so a seed gives the same numbers on every machine and compiler.
// Also gives the lower half of the product in `fraction`: where in its result
// the value fell, spread evenly over 0 to 2^64 in steps of n.
inline std::uint64_t drawBelow(std::uint64_t &state, std::uint64_t n, std::uint64_t &fraction)
{
    unsigned __int128 product = static_cast<unsigned __int128>(splitMix(state)) * n;
    auto low = static_cast<std::uint64_t>(product);
    if (low < n) {
        const std::uint64_t threshold = (0 - n) % n;
        while (low < threshold) {
            product = static_cast<unsigned __int128>(splitMix(state)) * n;
            low = static_cast<std::uint64_t>(product);
        }
    }
    fraction = low;
    return static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t drawBelow(std::uint64_t &state, std::uint64_t n)
{
    std::uint64_t fraction = 0;
    return drawBelow(state, n, fraction);
}

// Whole-number weights in proportion to `weights` (each finite, above 0 and
// below 2^52), scaled so that their sum times their number stays below 2^63,
// none below 1. Integer arithmetic after an exact step, so the same weights
// give the same numbers on every machine and compiler.
std::vector<std::uint64_t> wholeWeights(const std::vector<double> &weights);

// Walker's alias table (Vose's construction) over whole-number weights:
// a draw costs one number below the number of entries and one comparison of
// where in its column it fell. Built in integer arithmetic, so it is the same
// on every machine; each column's share is exact to within 2^-32.
class AliasTable
{
public:
    AliasTable() = default;
    // The weights' sum times their number must stay below 2^64.
    explicit AliasTable(const std::vector<std::uint64_t> &weights);

    // An entry, each with a chance proportional to its weight.
    std::uint32_t draw(std::uint64_t &state) const
    {
        std::uint64_t fraction = 0;
        const auto own = std::uint32_t(drawBelow(state, m_columns.size(), fraction));
        return resolve(own, fraction);
    }
    // The same `size` times into `entries`: the columns are all drawn and asked
    // into the processor's cache first, so that their reads overlap.
    void draw(std::uint64_t &state, std::uint32_t *entries, std::size_t size) const
    {
        std::uint64_t fractions[batchSize];
        for (std::size_t i = 0; i < size; ++i) {
            entries[i] = std::uint32_t(drawBelow(state, m_columns.size(), fractions[i]));
            __builtin_prefetch(&m_columns[entries[i]]);
        }
        for (std::size_t i = 0; i < size; ++i)
            entries[i] = resolve(entries[i], fractions[i]);
    }
    static constexpr std::size_t batchSize = 64;

private:
    std::uint32_t resolve(std::uint32_t own, std::uint64_t fraction) const
    {
        const Column column = m_columns[own];
        return std::uint32_t(fraction >> 32) < column.keep ? own : column.alias;
    }

    // Together and small, so that a draw reads one place in memory and the
    // table stays in the processor's cache.
    struct Column
    {
        std::uint32_t keep;  // the column gives its own entry below this fraction of 2^32
        std::uint32_t alias; // and this one otherwise
    };
    std::vector<Column> m_columns;
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

    // The places of `sequence`, in its order (a lookup's), with the details drawn from `seed`.
    PlaceDraws(std::uint64_t seed, std::vector<std::uint32_t> sequence);

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
    // The next `size` places (at most batchSize), as many calls of next() give them.
    void next(std::uint32_t *places, std::size_t size)
    {
        if (m_weighted && !m_unique) {
            m_alias.draw(m_state, places, size);
            return;
        }
        for (std::size_t i = 0; i < size; ++i)
            places[i] = next();
    }
    static constexpr std::size_t batchSize = AliasTable::batchSize;
    // A whole number below `n` for the details of a draw (which of a place's
    // area codes, a phone number's last digits), from a stream of its own, so
    // that a seed draws the same places whatever the fields.
    std::uint64_t detail(std::uint64_t n) { return drawBelow(m_details, n); }

private:
    void drawWeightedOrder(const std::vector<std::uint64_t> &weights);

    std::uint64_t m_seed;
    std::uint64_t m_state;
    std::uint64_t m_details;
    std::uint32_t m_places;
    std::uint64_t m_count;
    bool m_unique;
    bool m_weighted;
    AliasTable m_alias;
    std::vector<std::uint32_t> m_order; // with unique: the places in drawn order
    std::uint64_t m_drawn = 0;
};
