#pragma once

// Copying text a cell at a time, for the text file and the clipboard copy.
// Cells are a few dozen 16-bit units long; at that length a call of the
// library's memcpy costs more than the copy itself. These stay inline and
// move fixed runs of 16, 8 or 4 units that may overlap, so they branch little.

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace TextExportUnits {

// Calls `move(at, units)` for runs that together cover units 0 to `count`.
template <typename Move> inline void inRuns(qsizetype count, Move &&move)
{
    if (count > 16) {
        for (qsizetype at = 0; at < count - 16; at += 16)
            move(at, 16);
        move(count - 16, 16);
    } else if (count >= 8) {
        move(0, 8);
        move(count - 8, 8);
    } else if (count >= 4) {
        move(0, 4);
        move(count - 4, 4);
    } else {
        for (qsizetype at = 0; at < count; ++at)
            move(at, 1);
    }
}

// Copies `count` units from `in` to `out`; returns the end of the copy.
inline char16_t *copy(const char16_t *in, qsizetype count, char16_t *out)
{
    inRuns(count, [&](qsizetype at, qsizetype units) {
        std::memcpy(out + at, in + at, std::size_t(units) * sizeof(char16_t));
    });
    return out + std::max<qsizetype>(count, 0);
}

// `count` spaces at `out` (none when it is not positive); returns the end.
inline char16_t *fillSpaces(char16_t *out, qsizetype count)
{
    static constexpr char16_t spaces[16] = {u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ',
                                            u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' '};
    inRuns(count, [&](qsizetype at, qsizetype units) {
        std::memcpy(out + at, spaces, std::size_t(units) * sizeof(char16_t));
    });
    return out + std::max<qsizetype>(count, 0);
}

// The line end, CR LF, at `out`; returns the end.
inline char16_t *endLine(char16_t *out)
{
    out[0] = u'\r';
    out[1] = u'\n';
    return out + 2;
}

} // namespace TextExportUnits
