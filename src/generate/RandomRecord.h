#pragma once

#include <cstdint>

// SplitMix64: advances the state and returns its next 64-bit value. The same
// state gives the same values on every machine.
std::uint64_t splitMix(std::uint64_t &state);

// Seconds since local midnight, with fraction, in single precision.
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
