#pragma once

#include "generate/PlaceDatabase.h"
#include "shell/CommandHost.h"

#include <cstdint>

class ResultList;

// What the generation run reads from the window besides the common services.
class GenerationHost : public CommandHost
{
public:
    // The number box's text, read when the loop starts.
    virtual QString numberText() const = 0;
    // The field boxes, read when the run starts.
    virtual DisplayFieldSet fieldSet() const = 0;
    // Moves the keyboard focus to the City box.
    virtual void focusCity() = 0;
};

// "Start Generating": replaces the list's rows with that many places drawn at
// random, with replacement, from the place database. Does nothing while the
// hourglass shows.
void generatePlaces(GenerationHost &host, ResultList &list);

// Bytes one row may cost: four in the list, and, when the list is stored at
// the window's close, about three a character of its text (about 25). Counts
// whose rows would not fit in the memory at hand are refused before the list
// is touched, so that a list once made can also be kept.
inline constexpr std::uint64_t bytesPerGeneratedRow = 96;
// The memory available to the program now, in bytes.
std::uint64_t availableMemory();
