// The area codes of the places: areacodes.tsv (state, city, area codes, from
// the numbering plan's geocoding data) joined to the table `places` by state
// and city, as column `area_codes` (comma-separated). A place whose city the
// numbering data does not name takes the codes of the nearest place of its
// state that it names, else every code of its state (row "*"); the military
// post offices and places without a code (the Marshall Islands) have none.
#include "area-codes.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// A city's name as both sources can agree on it: lower case, "St." and "St"
// as "saint", "Ft." as "fort", "Mt." as "mount", without dots, apostrophes and hyphens.
std::string cityKey(const std::string &city)
{
    std::string words;
    for (char c : city) {
        if (c == '-')
            words += ' ';
        else if (c != '.' && c != '\'')
            words += char(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string key;
    std::string::size_type start = 0;
    while (start <= words.size()) {
        auto end = words.find(' ', start);
        if (end == std::string::npos)
            end = words.size();
        std::string word = words.substr(start, end - start);
        if (word == "st")
            word = "saint";
        else if (word == "ft")
            word = "fort";
        else if (word == "mt")
            word = "mount";
        if (!word.empty())
            key += (key.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return key;
}

struct Place
{
    sqlite3_int64 rowid;
    std::string state;
    std::string city;
    double latitude;
    double longitude;
    bool located;
    std::string codes;
};

} // namespace

bool addAreaCodes(sqlite3 *db, const char *path)
{
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "zipbase-build: cannot read %s\n", path);
        return false;
    }
    std::map<std::pair<std::string, std::string>, std::string> codes; // state, city key: codes
    std::string line;
    std::getline(file, line); // header
    while (std::getline(file, line)) {
        const auto first = line.find('\t');
        const auto second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos || second + 1 >= line.size()) {
            std::fprintf(stderr, "zipbase-build: %s: a row lacks its state, city or area codes\n", path);
            return false;
        }
        const std::string city = line.substr(first + 1, second - first - 1);
        codes[{line.substr(0, first), city == "*" ? city : cityKey(city)}] = line.substr(second + 1);
    }

    std::vector<Place> places;
    sqlite3_stmt *select = nullptr;
    bool ok = sqlite3_exec(db, "ALTER TABLE places ADD COLUMN area_codes TEXT", nullptr, nullptr, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT rowid, state, city, latitude, longitude FROM places", -1, &select, nullptr)
            == SQLITE_OK;
    while (ok && sqlite3_step(select) == SQLITE_ROW) {
        Place place{sqlite3_column_int64(select, 0),
                    reinterpret_cast<const char *>(sqlite3_column_text(select, 1)),
                    reinterpret_cast<const char *>(sqlite3_column_text(select, 2)),
                    sqlite3_column_double(select, 3),
                    sqlite3_column_double(select, 4),
                    sqlite3_column_type(select, 3) != SQLITE_NULL,
                    {}};
        const auto named = codes.find({place.state, cityKey(place.city)});
        if (named != codes.end())
            place.codes = named->second;
        places.push_back(place);
    }
    sqlite3_finalize(select);

    // The nearest named place of the same state, by distance on a flat map
    // with the longitude shrunk by the latitude: close enough within a state.
    const auto nearest = [&](const Place &place) -> std::string {
        double best = INFINITY;
        std::string found;
        for (const Place &other : places) {
            if (other.state != place.state || !other.located || other.codes.empty() || &other == &place)
                continue;
            const double dy = other.latitude - place.latitude;
            const double dx = (other.longitude - place.longitude) * std::cos(place.latitude * M_PI / 180);
            if (dx * dx + dy * dy < best) {
                best = dx * dx + dy * dy;
                found = other.codes;
            }
        }
        return found;
    };
    std::vector<std::string> filled(places.size());
    long named = 0;
    long near = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const Place &place = places[i];
        const auto whole = codes.find({place.state, "*"});
        if (whole == codes.end())
            continue; // no area code: a military post office, the Marshall Islands
        filled[i] = place.codes;
        named += !filled[i].empty();
        if (filled[i].empty() && place.located)
            filled[i] = nearest(place);
        near += !filled[i].empty() && place.codes.empty();
        if (filled[i].empty())
            filled[i] = whole->second;
    }

    sqlite3_stmt *update = nullptr;
    ok = ok
        && sqlite3_prepare_v2(db, "UPDATE places SET area_codes = ? WHERE rowid = ?", -1, &update, nullptr)
            == SQLITE_OK;
    for (std::size_t i = 0; ok && i < places.size(); ++i) {
        if (filled[i].empty())
            continue;
        sqlite3_bind_text(update, 1, filled[i].c_str(), int(filled[i].size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(update, 2, places[i].rowid);
        ok = sqlite3_step(update) == SQLITE_DONE;
        sqlite3_reset(update);
    }
    sqlite3_finalize(update);
    if (!ok)
        std::fprintf(stderr, "zipbase-build: the area codes cannot be written: %s\n", sqlite3_errmsg(db));
    else
        std::printf("zipbase-build: area codes by city for %ld places, by the nearest named place for %ld\n", named,
                    near);
    return ok;
}
