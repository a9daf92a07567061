#pragma once

#include <QTimeZone>

#include <cstdint>

// SplitMix64: advances the state and returns its next 64-bit value. The same
// state gives the same values on every machine. Inline, as the command line
// draws tens of millions in a row.
inline std::uint64_t splitMix(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Seconds since local midnight as the local clock shows them: on the days the
// clocks change, the time of day, not the time passed since midnight. The
// zone's offset from UTC is looked up at the first reading and again only
// after its next change (or a clock set back); every other reading is a little
// arithmetic.
class LocalClock
{
public:
    explicit LocalClock(QTimeZone zone = QTimeZone::systemTimeZone());
    // At `utcMilliseconds` since the epoch, with fraction, in single precision.
    float secondsSinceMidnight(std::int64_t utcMilliseconds);
    // How many times the zone was asked for its offset.
    int zoneLookups() const { return m_lookups; }

private:
    void lookUpOffset(std::int64_t utcMilliseconds);

    QTimeZone m_zone;
    std::int64_t m_offset = 0; // milliseconds the local clock is ahead of UTC ...
    std::int64_t m_from = 0;   // ... from this UTC moment on ...
    std::int64_t m_until = 0;  // ... until this one
    int m_lookups = 0;
};

// Seconds since local midnight now, with fraction, in single precision.
float secondsSinceMidnight();

// The generator behind the draws. Re-seeding mixes the seed into the state
// instead of replacing it, so a re-seed with an unchanged timer value still
// gives a fresh value.
class RecordGenerator
{
public:
    void reseed(float seed);
    // The next value, uniform in [0, 1), in single precision.
    float next();

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

// A whole number from 1 to n (1 when n is 0), drawn after re-seeding from the timer.
double RandomRecordNumber(std::int32_t n);
// The same with the timer value and the generator given, for tests.
double RandomRecordNumber(std::int32_t n, RecordGenerator &generator, float timer);
