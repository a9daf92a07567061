#include "cli/PlaceDraws.h"

#include <cmath>
#include <numeric>
#include <utility>

namespace {

// Sets the details' stream apart from the places'.
constexpr std::uint64_t detailSalt = 0xD1B54A32D192ED03ull;

} // namespace

std::vector<std::uint64_t> wholeWeights(const std::vector<double> &weights)
{
    // In 1/1024ths first: a product by a power of two is exact in any
    // floating-point arithmetic, so from here on all is whole numbers.
    std::vector<std::uint64_t> whole;
    whole.reserve(weights.size());
    unsigned __int128 total = 0;
    for (double weight : weights) {
        whole.push_back(std::uint64_t(std::llround(std::ldexp(weight, 10))));
        total += whole.back();
    }
    // Scaled to a sum of at most 2^62, each rounded down but kept at 1 or more.
    const unsigned __int128 scale = (std::uint64_t(1) << 62) / std::max<std::size_t>(weights.size(), 1);
    for (std::uint64_t &weight : whole)
        weight = std::max<std::uint64_t>(1, std::uint64_t(total == 0 ? 1 : weight * scale / total));
    return whole;
}

AliasTable::AliasTable(const std::vector<std::uint64_t> &weights)
    : m_columns(weights.size())
{
    // Each column holds the total of weight: the weights times their number,
    // the light ones topped up from the heavy ones.
    const std::uint64_t total = std::accumulate(weights.begin(), weights.end(), std::uint64_t(0));
    const std::uint64_t n = weights.size();
    std::vector<std::uint64_t> scaled(weights.size());
    std::vector<std::uint32_t> light;
    std::vector<std::uint32_t> heavy;
    for (std::uint32_t i = 0; i < n; ++i) {
        scaled[i] = weights[i] * n;
        (scaled[i] < total ? light : heavy).push_back(i);
        m_columns[i] = Column{UINT32_MAX, i};
    }
    const auto keep = [&](std::uint32_t i) {
        // The share of the column that stays with its own entry, of 2^32.
        return std::uint32_t((static_cast<unsigned __int128>(scaled[i]) << 32) / total);
    };
    while (!light.empty() && !heavy.empty()) {
        const std::uint32_t small = light.back();
        light.pop_back();
        const std::uint32_t large = heavy.back();
        m_columns[small].keep = keep(small);
        m_columns[small].alias = large;
        scaled[large] -= total - scaled[small];
        if (scaled[large] < total) {
            heavy.pop_back();
            light.push_back(large);
        }
    }
    // What is left holds exactly the total each: every fraction gives its own entry (the last
    // 2^-32 through its alias, itself).
}

PlaceDraws::PlaceDraws(std::uint64_t seed, std::uint32_t places, std::uint64_t count, bool unique,
                       const std::vector<std::uint64_t> &weights)
    : m_seed(seed)
    , m_state(seed)
    , m_details(seed ^ detailSalt)
    , m_places(places)
    , m_count(count)
    , m_unique(unique)
    , m_weighted(!weights.empty())
{
    if (m_weighted && !unique)
        m_alias = AliasTable(weights);
    if (!unique)
        return;
    if (m_weighted) {
        drawWeightedOrder(weights);
        return;
    }
    // The first `count` steps of a Fisher-Yates shuffle.
    m_order.resize(places);
    std::iota(m_order.begin(), m_order.end(), 0u);
    for (std::uint64_t i = 0; i < count && i < places; ++i)
        std::swap(m_order[i], m_order[i + drawBelow(m_state, places - i)]);
}

PlaceDraws::PlaceDraws(std::uint64_t seed, std::vector<std::uint32_t> sequence)
    : m_seed(seed)
    , m_state(seed)
    , m_details(seed ^ detailSalt)
    , m_places(std::uint32_t(sequence.size()))
    , m_count(sequence.size())
    , m_unique(true) // taken in order from m_order
    , m_weighted(false)
    , m_order(std::move(sequence))
{
}

void PlaceDraws::drawWeightedOrder(const std::vector<std::uint64_t> &weights)
{
    // Draws from the table and passes over a place picked before, which
    // leaves each place not yet picked its chance in proportion to its weight.
    // Once half the table's weight is picked, a new table of the places left
    // keeps the passes few: at most one in two draws on average.
    std::vector<bool> picked(weights.size());
    std::vector<std::uint32_t> left(weights.size());
    std::iota(left.begin(), left.end(), 0u);
    std::uint64_t tableWeight = 0;
    std::uint64_t pickedWeight = 0;
    AliasTable table;
    while (m_order.size() < m_count && m_order.size() < weights.size()) {
        if (pickedWeight * 2 >= tableWeight) {
            std::erase_if(left, [&](std::uint32_t place) { return picked[place]; });
            std::vector<std::uint64_t> leftWeights;
            leftWeights.reserve(left.size());
            for (std::uint32_t place : left)
                leftWeights.push_back(weights[place]);
            table = AliasTable(leftWeights);
            tableWeight = std::accumulate(leftWeights.begin(), leftWeights.end(), std::uint64_t(0));
            pickedWeight = 0;
        }
        const std::uint32_t place = left[table.draw(m_state)];
        if (picked[place])
            continue;
        picked[place] = true;
        pickedWeight += weights[place];
        m_order.push_back(place);
    }
}

void PlaceDraws::restart()
{
    m_state = m_seed;
    m_details = m_seed ^ detailSalt;
    m_drawn = 0;
}
