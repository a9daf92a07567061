#include "generate/RandomRecord.h"

#include <QDate>
#include <QDateTime>

#include <bit>
#include <cmath>
#include <ctime>

std::uint64_t splitMix(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

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

float secondsSinceMidnight()
{
    // Local midnight is looked up once a day; the clock itself is cheap to read.
    static std::int64_t midnight = 0;
    const std::int64_t now = nowMilliseconds();
    if (midnight == 0 || now - midnight >= 86'400'000 || now < midnight)
        midnight = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    return float(double(now - midnight) / 1000.0);
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
