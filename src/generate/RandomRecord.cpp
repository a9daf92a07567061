#include "generate/RandomRecord.h"

#include <QDateTime>

#include <bit>
#include <cmath>
#include <ctime>
#include <limits>
#include <utility>

namespace {

// The wall clock to the millisecond. The coarse clock is read in a few
// nanoseconds, and a draw reads it every time.
std::int64_t nowMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

} // namespace

LocalClock::LocalClock(QTimeZone zone)
    : m_zone(std::move(zone))
{
}

float LocalClock::secondsSinceMidnight(std::int64_t utcMilliseconds)
{
    if (utcMilliseconds < m_from || utcMilliseconds >= m_until)
        lookUpOffset(utcMilliseconds);
    constexpr std::int64_t day = 86'400'000;
    const std::int64_t local = utcMilliseconds + m_offset;
    return float(double((local % day + day) % day) / 1000.0);
}

void LocalClock::lookUpOffset(std::int64_t utcMilliseconds)
{
    ++m_lookups;
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMilliseconds, QTimeZone::utc());
    m_offset = std::int64_t(m_zone.offsetFromUtc(at)) * 1000;
    m_from = utcMilliseconds;
    const QTimeZone::OffsetData next = m_zone.nextTransition(at);
    m_until = next.atUtc.isValid() ? next.atUtc.toMSecsSinceEpoch() : std::numeric_limits<std::int64_t>::max();
}

float secondsSinceMidnight()
{
    // The clock is cheap to read; the zone is asked only when its offset changes.
    static LocalClock clock;
    return clock.secondsSinceMidnight(nowMilliseconds());
}

void RecordGenerator::reseed(float seed)
{
    m_state ^= std::uint64_t(std::bit_cast<std::uint32_t>(seed)) * 0xD6E8FEB86659FD93ull;
    splitMix(m_state);
}

float RecordGenerator::next()
{
    // 24 random bits fill a float's mantissa exactly, so the value stays below 1.
    return float(splitMix(m_state) >> 40) * (1.0f / 16777216.0f);
}

double RandomRecordNumber(std::int32_t n, RecordGenerator &generator, float timer)
{
    generator.reseed(timer);
    const float u = generator.next();
    return std::floor(double(u) * double(n)) + 1.0;
}

double RandomRecordNumber(std::int32_t n)
{
    static RecordGenerator generator;
    return RandomRecordNumber(n, generator, secondsSinceMidnight());
}
