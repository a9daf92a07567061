#pragma once

#include "cli/PlaceTable.h"

#include <functional>

class PlaceDraws;

enum class OutputFormat
{
    Plain,   // one place a line, its fields joined as the window joins them
    Aligned, // the aligned table the window saves
    Csv,
    Tsv,
    Jsonl,
    Json,
};

// What a run writes: the format, the fields in their order, and the places
// the draws pick from (offsets into the table).
struct PlaceLayout
{
    OutputFormat format = OutputFormat::Plain;
    std::vector<Field> fields;
    bool header = true; // csv and tsv: the line of field names first
};

// Writes the places the draws pick, with the format's header and ending, to
// `write`, in blocks, with memory that does not grow with the count: each
// place's bytes are made once and copied for every draw of it.
//
// Plain: the chosen fields joined by a comma and a blank, the ZIP code by a
// blank alone (so "City, ST 12345", as the window shows a place), LF.
// Aligned: what "Save Results As Text File" writes with every row ticked,
// made by the same TextExportWriter: the caption "Result(s)" and each place
// as the window shows it, filled with spaces to the widest of them, a TAB and
// CR LF, in the system's encoding; so the draws are walked twice, once to
// measure the widest and once to write. Csv: RFC 4180, a header row, CR LF.
// Tsv: TAB between the cells, a header row, LF; a TAB or line break inside a
// value becomes a blank. Jsonl: one JSON object a line, the fields in their
// order, a missing value null, latitude and longitude numbers. Json: the same
// objects as one array, one a line. All but aligned are UTF-8.
void writePlaces(const std::function<void(const char *, qsizetype)> &write, const PlaceTable &table,
                 const std::vector<std::uint32_t> &places, PlaceDraws &draws, const PlaceLayout &layout);
