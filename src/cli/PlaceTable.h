#pragma once

#include "generate/PlaceDatabase.h"

#include <QString>
#include <QStringList>

#include <cstdint>

enum class OutputFormat
{
    Text, // the aligned table the window saves
    Csv,
    Tsv,
};

// The places a run draws from: every row of the place database, each as the
// one line the chosen format writes for it (without its line end).
//
// In the text format a place is its display string, as the window shows it
// for the chosen fields. In csv and tsv it is one cell per chosen field, in
// the order city, state, zip: the city in the window's proper case, the state
// code in upper case, the ZIP code as stored. Rows come in the order the
// table holds them, so a seed draws the same places on every machine.
class PlaceTable
{
public:
    // Reads the database file, with each place's state code when `byState`;
    // throws a Failure that says what is wrong.
    static PlaceTable load(const QString &databaseFile, const DisplayFieldSet &fields, OutputFormat format,
                           bool byState);

    // The state codes the database holds, sorted (loaded by state only).
    QStringList states() const;
    // Keeps only the places of these state codes (loaded by state only).
    void keepStates(const QStringList &states);

    std::uint32_t size() const { return std::uint32_t(m_lines.size()); }
    const QString &line(std::uint32_t place) const { return m_lines[place]; }
    // The line above the places: the list's caption, or the field names.
    const QString &header() const { return m_header; }

private:
    QString m_header;
    QStringList m_lines;
    QStringList m_states; // each place's state code, when loaded by state or written
};
