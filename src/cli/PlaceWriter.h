#pragma once

#include "cli/PlaceTable.h"

#include <functional>

class PlaceDraws;

// The formats of the command line. A new format is a value here and a row of
// `formatInfo` (PlaceWriter.cpp): its names, its help and manual texts and how
// its lines are made, which --format, --help, the writers and the manual page
// all read.
enum class OutputFormat
{
    Plain,   // one place a line, its fields joined as the window joins them
    Aligned, // the aligned table the window saves
    Csv,
    Tsv,
    Jsonl,
    Json,
    Sql,
    Geojson,    // one GeoJSON FeatureCollection
    Geojsonseq, // GeoJSON text sequences: one feature a record
};
constexpr std::size_t formatCount = 9;

struct PlaceLayout;

struct FormatInfo
{
    OutputFormat format;
    const char *name;
    const char *alias;       // another name for it, or nullptr
    const char *description; // one line, for --help
    const char *manual;      // the manual page's paragraph, in roff
    // A place's line: what comes first, each cell with what goes before it,
    // what comes last; and the bytes before the first place, between two
    // places and after the last. None for aligned, which the window's writer makes.
    void (*begin)(QByteArray &line, const PlaceLayout &layout);
    void (*cell)(QByteArray &line, std::size_t index, Field field, QByteArrayView value);
    const char *end;
    QByteArray (*header)(const PlaceLayout &layout);
    const char *between;
    const char *footer;
    // Formats that place each place on the map: what follows the cells (the
    // place's coordinates, read with them); nullptr for the others.
    void (*geometry)(QByteArray &line, const PlaceTable &table, std::uint32_t place) = nullptr;
};
extern const std::array<FormatInfo, formatCount> formatInfo;
inline const FormatInfo &info(OutputFormat format)
{
    return formatInfo[std::size_t(format)];
}

// What a run writes: the format, the fields in their order, and the places
// the draws pick from (offsets into the table).
struct PlaceLayout
{
    OutputFormat format = OutputFormat::Plain;
    std::vector<Field> fields;
    bool header = true;          // csv and tsv: the line of field names first; sql: the CREATE TABLE
    QByteArray table = "places"; // sql: the table the rows go into
    std::uint32_t rowsPerInsert = 1; // sql: the places of one INSERT statement
    bool copy = false;               // sql: the rows as PostgreSQL's COPY ... FROM stdin
};

// Writes the places the draws pick, with the format's header and ending, to
// `write`, in blocks, with memory that does not grow with the count: each
// place's bytes are made once and copied for every draw of it. Aligned, made
// by the window's own TextExportWriter, is filled to the widest place, so its
// draws are walked twice, once to measure and once to write. All but aligned
// are UTF-8.
void writePlaces(const std::function<void(const char *, qsizetype)> &write, const PlaceTable &table,
                 const std::vector<std::uint32_t> &places, PlaceDraws &draws, const PlaceLayout &layout);
