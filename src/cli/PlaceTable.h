#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

// The columns a place has on the command line, in their default order. A new
// field is a value here and a row of `fieldInfo` (PlaceTable.cpp), which
// --fields, --list-fields, --help, the writers and the manual page all read.
enum class Field
{
    City,
    State,
    Zip,
    StateName,
    County,
    CountyFips,
    Latitude,
    Longitude,
    Timezone,
    AreaCode,
    Phone,
    Distance,
};
constexpr std::size_t fieldCount = 12;

struct FieldInfo
{
    Field field;
    const char *name;
    const char *description; // one line, for --list-fields
    const char *manual;      // the manual page's paragraph, in roff
    bool number;             // written as a number in JSON and SQL
    const char *column;      // the column of the table `places` it is read from
    Field source;            // the field whose values make it: itself when read from a column
};
extern const std::array<FieldInfo, fieldCount> fieldInfo;
inline const FieldInfo &info(Field field)
{
    return fieldInfo[std::size_t(field)];
}

// Every place of the place database with every column, in the order the
// database holds them, so that a seed draws the same places on every machine.
//
// The columns come from the table `places`, names as the data spells them;
// a value the data lacks is empty. A database without that table
// (one the window alone reads) gives city, state and ZIP code of `zip_codes`
// and no population. With `windowFields`, each place also has the line the
// window shows for those fields, in its proper case (the window's aligned file).
class PlaceTable
{
public:
    // Reads the `fields` (state always) of the database file (a name as
    // decodeFileName() makes it), and the population when asked; throws a
    // Failure that says what is wrong, also when it holds no place.
    static PlaceTable load(const QString &databaseFile, std::vector<Field> fields, bool population,
                           const std::vector<Field> &windowFields);

    std::uint32_t size() const { return m_size; }
    // A value as UTF-8 bytes, of a field that was read.
    QByteArrayView value(std::uint32_t place, Field field) const { return m_columns[std::size_t(field)].at(place); }
    // The state code, in upper case.
    QString state(std::uint32_t place) const { return QString::fromUtf8(value(place, Field::State)).toUpper(); }
    // The line the window shows for the place (loaded with window fields only).
    const QString &windowLine(std::uint32_t place) const { return m_windowLines[place]; }
    // Each place's population; empty when not asked for or when the database has none.
    const std::vector<double> &population() const { return m_population; }
    // Measures each place's great-circle distance from the point, in units of
    // `kilometres` each, as the field distance (with one decimal) and for
    // distance(); a place without coordinates is at no distance (NaN, and empty).
    // Needs the latitude and longitude loaded.
    void measureFrom(double latitude, double longitude, double kilometres);
    double distance(std::uint32_t place) const { return m_distances[place]; }
    bool measured() const { return !m_distances.empty(); }
    // Adds a place whose every value is empty (a looked-up ZIP code the data lacks); returns its offset.
    std::uint32_t appendEmpty();

private:
    // One column's values end to end: a few allocations for the whole table, not one a value.
    struct Column
    {
        std::vector<char> bytes;
        std::vector<std::uint32_t> ends;

        QByteArrayView at(std::uint32_t place) const
        {
            const std::uint32_t start = place == 0 ? 0 : ends[place - 1];
            return QByteArrayView(bytes.data() + start, ends[place] - start);
        }
    };

    std::uint32_t m_size = 0;
    std::array<Column, fieldCount> m_columns;
    std::vector<double> m_population;
    std::vector<double> m_distances;
    std::vector<QString> m_windowLines;
};

// The places a run draws from: offsets into the table, in its order.
struct PlaceFilter
{
    QStringList states; // empty: every state
    QStringList excludedStates;
    QStringList zipPrefixes; // empty: every ZIP code
    double within = 0;       // above 0: only places at most this distance away (measureFrom())
};
std::vector<std::uint32_t> filteredPlaces(const PlaceTable &table, const PlaceFilter &filter);
