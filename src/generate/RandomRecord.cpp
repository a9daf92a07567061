#include "RandomRecord.h"

#include <QDate>
#include <QDateTime>

#include <bit>
#include <chrono>
#include <cmath>

namespace {

std::uint64_t splitMix(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::int64_t nowMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

float Timer()
{
    // Local midnight is looked up once a day; the clock itself is cheap to read.
    static std::int64_t midnight = 0;
    std::int64_t now = nowMilliseconds();
    if (midnight == 0 || now - midnight >= 86'400'000 || now < midnight)
        midnight = QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
    now = nowMilliseconds();
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
    return RandomRecordNumber(n, generator, Timer());
}
