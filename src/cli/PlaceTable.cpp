#include "cli/PlaceTable.h"

#include "generate/PlaceDatabase.h"
#include "shell/Failure.h"
#include "shell/FileNames.h"

#include <QSet>

#include <sqlite3.h>

#include <cmath>
#include <functional>

const std::array<FieldInfo, fieldCount> fieldInfo{{
    {Field::City, "city", "the city or town, as the town writes it",
     "The city or town of the post office, as the town writes it\n.RB ( McAllen ,\n.BR \"Coeur d'Alene\" ,\n"
     ".BR Mayag\\[:u]ez ,\n.BR \"Eglin AFB\" ,\n.BR \"St. John\" ):\n"
     "the spelling of the USGS's Geographic Names where they name the town.\n"
     "In Puerto Rico, the Census place where most of the ZIP code's people live\n"
     "(a zona urbana or comunidad:\n.BR Boquer\\['o]n ),\n"
     "else the municipio; in the island areas, the town the post office is\n"
     "named for\n.RB ( Hag\\[oa]t\\[~n]a ,\n.BR Christiansted ).", false,
     "city", Field::City},
    {Field::State, "state", "the two-letter postal code of the state",
     "The two\\-letter postal code: the 50 states and DC; Puerto Rico (PR), the\n"
     "U.S. Virgin Islands (VI), Guam (GU), American Samoa (AS) and the Northern\n"
     "Mariana Islands (MP); the Marshall Islands (MH, two ZIP codes); and AA, AE\n"
     "and AP for the military post offices, whose code follows their ZIP range.",
     false, "state", Field::State},
    {Field::Zip, "zip", "the five-digit ZIP code", "The five\\-digit ZIP code, as text: leading zeros are kept.", false,
     "zip", Field::Zip},
    {Field::StateName, "state_name", "the state's name", "The state's name, such as\n.BR \"North Carolina\" .", false,
     "state_name", Field::StateName},
    {Field::County, "county", "the county or county equivalent",
     "The county or county equivalent (parish, borough, municipio, island\n"
     "district; in Connecticut the planning regions the Census Bureau counts by\n"
     "since 2022): the one holding most of the ZIP code's Census area, or, for a\n"
     "ZIP code where nobody lives, that of its town.\n"
     "Named as the Census Bureau names it, kind and all\n"
     ".RB ( \"Baltimore County\" ,\n.BR \"Baltimore city\" ,\n.BR \"Orleans Parish\" ),\n"
     "so that no two counties of a state share a name.",
     false, "county", Field::County},
    {Field::CountyFips, "county_fips", "the county's five-digit FIPS code",
     "The county's five\\-digit FIPS code, as text.", false, "county_fips", Field::CountyFips},
    {Field::Latitude, "latitude", "degrees north", "Degrees north, as a decimal number.", true, "latitude",
     Field::Latitude},
    {Field::Longitude, "longitude", "degrees east (negative: west)",
     "Degrees east (negative: west), as a decimal number.", true, "longitude", Field::Longitude},
    {Field::Timezone, "timezone", "the IANA time zone, such as America/Chicago",
     "The IANA time zone, such as\n.BR America/Chicago .", false, "timezone", Field::Timezone},
    {Field::AreaCode, "area_code", "the telephone area code that serves the place",
     "The telephone area code that serves the ZIP code's ground: the codes of the\n"
     "exchanges that libphonenumber's geocoding data places in its town, or of\n"
     "the nearest town whose exchanges it places, with every code that overlays\n"
     "them in service by the numbering administrator's NPA database; the seed\n"
     "picks one of them for each row, each as likely.\nMilitary post offices have none.",
     false, "area_codes", Field::AreaCode},
    {Field::Phone, "phone", "a number in that area code that reaches no one: (NPA) 555-01XX",
     "A telephone number in the row's\n.BR area_code ,\nformatted\n.BI ( NPA \") 555\\-01\" XX\n"
     "from the range 555\\-0100 to 555\\-0199 that the numbering plan sets aside\n"
     "for fictional use, so it reaches no subscriber.\nThe seed picks its last two digits.",
     false, nullptr, Field::AreaCode},
    {Field::Distance, "distance", "with --near: how far the place is from that point, in the unit of --within",
     "With\n.BR \\-\\-near :\nthe great\\-circle distance from that point to the place's coordinates, in\n"
     "the unit of\n.B \\-\\-within\n(miles unless\n.BR km ),\nwith one decimal.\n"
     ".B all\nholds it only with\n.BR \\-\\-near .",
     true, nullptr, Field::Distance},
}};

namespace {

// The first column's text.
QString text(sqlite3_stmt *statement)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, 0)) : QString();
}

} // namespace

PlaceTable PlaceTable::load(const QString &databaseFile, std::vector<Field> fields, bool population,
                            const std::vector<Field> &windowFields)
{
    PlaceConnection database;
    database.open(databaseFile, encodeFileName(databaseFile));
    PlaceTable table;
    const bool hasPlaces = database.hasTable(QStringLiteral("places"));
    const char *tableName = hasPlaces ? "places" : "zip_codes";
    // Only what the run needs: making text of every coordinate is most of the reading.
    fields.push_back(Field::State);
    for (Field &field : fields)
        field = info(field).source;                                         // a field made from others reads those
    std::erase_if(fields, [](Field field) { return !info(field).column; }); // or is made after reading
    QStringList columns;
    for (Field field : fields) {
        const bool shared = field == Field::City || field == Field::State || field == Field::Zip;
        columns.append(hasPlaces || shared ? QLatin1String(info(field).column) : QLatin1String("NULL"));
    }
    const bool withPopulation = population && hasPlaces;
    if (withPopulation)
        columns.append(QStringLiteral("population"));
    const QString query = QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                              .arg(columns.join(QLatin1String(", ")), QLatin1String(tableName));
    const int count = int(fields.size());
    database.select(query, [&](sqlite3_stmt *statement) {
        for (int column = 0; column < count; ++column) {
            Column &values = table.m_columns[std::size_t(fields[column])];
            if (values.ends.size() > table.m_size)
                continue; // asked for twice
            // The text of the column; NULL gives no bytes.
            const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
            values.bytes.insert(values.bytes.end(), bytes,
                                bytes + (bytes ? sqlite3_column_bytes(statement, column) : 0));
            values.ends.push_back(std::uint32_t(values.bytes.size()));
        }
        if (withPopulation) {
            table.m_population.push_back(sqlite3_column_type(statement, count) == SQLITE_NULL
                                             ? std::nan("")
                                             : sqlite3_column_double(statement, count));
        }
        ++table.m_size;
    });
    if (table.size() == 0) {
        throw Failure(QStringLiteral("The place database %1 holds no places: its table \"%2\" is empty.")
                          .arg(databaseFile, QLatin1String(tableName)));
    }
    if (windowFields.empty())
        return table;

    DisplayFieldSet shown;
    for (Field field : windowFields) {
        shown.city |= field == Field::City;
        shown.state |= field == Field::State;
        shown.zip |= field == Field::Zip;
    }
    database.select(translateTextJoins(BuildDisplayQuery(shown) + QStringLiteral(" ORDER BY rowid")),
                    [&](sqlite3_stmt *statement) {
        table.m_windowLines.push_back(NormalizeDisplayText(text(statement)));
    });
    if (table.m_windowLines.size() != table.size()) {
        throw Failure(QStringLiteral("The place database %1 is inconsistent: its tables \"places\" and "
                                     "\"zip_codes\" hold different numbers of places.")
                          .arg(databaseFile));
    }
    return table;
}

namespace {

// The sine of |x| <= pi, by its series, in additions, multiplications and
// divisions alone, which IEEE arithmetic rounds alike on every machine (this
// file is built without fused multiply-adds), unlike the C library's sin, so
// that a distance is the same bytes everywhere and in every later version.
double exactSine(double x)
{
    const double sign = x < 0 ? -1 : 1;
    x = x < 0 ? -x : x;
    if (x > M_PI / 2)
        x = M_PI - x;
    const double square = x * x;
    double sum = 0; // x - x^3/3! + ... - x^23/23!, the rest below 1e-20
    for (int power = 23; power > 1; power -= 2)
        sum = (1 - sum) * square / (double(power) * double(power - 1));
    return sign * x * (1 - sum);
}

// The arcsine of 0 <= y <= 1 by Newton's steps on exactSine, which come up to it from below.
double exactArcsine(double y)
{
    double angle = y;
    for (int step = 0; step < 100; ++step) {
        const double cosine = exactSine(M_PI / 2 - angle);
        const double next = cosine > 0 ? std::min(M_PI / 2, angle + (y - exactSine(angle)) / cosine) : angle;
        if (next <= angle)
            break;
        angle = next;
    }
    return angle;
}

} // namespace

void PlaceTable::measureFrom(double latitude, double longitude, double kilometres)
{
    // The haversine formula on a sphere of the Earth's mean radius.
    constexpr double radius = 6371.0088;
    constexpr double radians = M_PI / 180;
    Column &text = m_columns[std::size_t(Field::Distance)];
    text = Column();
    m_distances.clear();
    const double cosine = exactSine(M_PI / 2 - std::abs(latitude * radians));
    for (std::uint32_t place = 0; place < m_size; ++place) {
        bool located = false;
        bool ok = false;
        const double placeLatitude = value(place, Field::Latitude).toDouble(&located);
        const double placeLongitude = value(place, Field::Longitude).toDouble(&ok);
        double distance = std::nan("");
        if (located && ok && std::abs(placeLatitude) <= 90 && std::abs(placeLongitude - longitude) <= 360) {
            const double north = exactSine((placeLatitude - latitude) * radians / 2);
            const double east = exactSine((placeLongitude - longitude) * radians / 2);
            const double a = north * north
                + cosine * exactSine(M_PI / 2 - std::abs(placeLatitude * radians)) * east * east;
            distance = 2 * radius * exactArcsine(std::min(1.0, std::sqrt(a))) / kilometres;
            const QByteArray number = QByteArray::number(distance, 'f', 1);
            text.bytes.insert(text.bytes.end(), number.begin(), number.end());
        }
        text.ends.push_back(std::uint32_t(text.bytes.size()));
        m_distances.push_back(distance);
    }
}

std::vector<std::uint32_t> filteredPlaces(const PlaceTable &table, const PlaceFilter &filter)
{
    const QSet<QString> wanted(filter.states.begin(), filter.states.end());
    const QSet<QString> excluded(filter.excludedStates.begin(), filter.excludedStates.end());
    std::vector<QByteArray> prefixes;
    for (const QString &prefix : filter.zipPrefixes)
        prefixes.push_back(prefix.toUtf8());
    const auto prefixed = [&](QByteArrayView zip) {
        return prefixes.empty() || std::any_of(prefixes.begin(), prefixes.end(), [&](const QByteArray &prefix) {
                   return zip.startsWith(prefix);
               });
    };
    std::vector<std::uint32_t> places;
    places.reserve(table.size());
    for (std::uint32_t place = 0; place < table.size(); ++place) {
        const QString state = table.state(place);
        // A place without coordinates (NaN) is within no distance.
        if ((wanted.isEmpty() || wanted.contains(state)) && !excluded.contains(state)
            && prefixed(table.value(place, Field::Zip))
            && (filter.within <= 0 || table.distance(place) <= filter.within))
            places.push_back(place);
    }
    return places;
}

std::uint32_t PlaceTable::appendEmpty()
{
    for (Column &column : m_columns) {
        if (column.ends.size() == m_size)
            column.ends.push_back(std::uint32_t(column.bytes.size()));
    }
    if (m_windowLines.size() == m_size)
        m_windowLines.emplace_back();
    if (m_distances.size() == m_size)
        m_distances.push_back(std::nan(""));
    return m_size++;
}
