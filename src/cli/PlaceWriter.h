#pragma once

#include "cli/PlaceTable.h"

class PlaceDraws;
class QIODevice;

// Writes the table's header line and then one line per draw to `device`, in
// blocks, with memory that does not grow with the count: each place's line is
// made once and copied for every draw of it.
//
// The text format is the aligned table that "Save Results As Text File"
// writes with every row ticked, made by the same TextExportWriter: each line
// filled with spaces to the widest entry among the caption and the drawn
// places, then a TAB and CR LF, in the system's encoding. So the draws are
// walked twice, once to measure the widest and once to write. Csv lines end
// in CR LF, tsv lines in LF, both in UTF-8.
//
// Throws a Failure carrying the device's error when a write fails.
void writePlaces(QIODevice &device, const PlaceTable &table, PlaceDraws &draws, OutputFormat format);
