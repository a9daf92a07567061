#include "cli/PlaceDraws.h"

#include "generate/RandomRecord.h"

#include <numeric>
#include <utility>

std::uint64_t drawBelow(std::uint64_t &state, std::uint64_t n)
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
    return static_cast<std::uint64_t>(product >> 64);
}

PlaceDraws::PlaceDraws(std::uint64_t seed, std::uint32_t places, std::uint64_t count, bool unique)
    : m_seed(seed)
    , m_state(seed)
    , m_places(places)
    , m_count(count)
    , m_unique(unique)
{
    if (!unique)
        return;
    // The first `count` steps of a Fisher-Yates shuffle.
    m_shuffled.resize(places);
    std::iota(m_shuffled.begin(), m_shuffled.end(), 0u);
    for (std::uint64_t i = 0; i < count && i < places; ++i)
        std::swap(m_shuffled[i], m_shuffled[i + drawBelow(m_state, places - i)]);
}

void PlaceDraws::restart()
{
    m_state = m_seed;
    m_drawn = 0;
}

std::uint32_t PlaceDraws::next()
{
    if (m_unique)
        return m_shuffled[m_drawn++];
    return static_cast<std::uint32_t>(drawBelow(m_state, m_places));
}
