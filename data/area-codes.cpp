// The area codes of the places: areacodes.tsv (ZIP code, area codes, made by
// make-areacodes.py from the ground of each ZIP code) joined to the table
// `places` by ZIP code, as column `area_codes` (comma-separated). A place the
// table lacks (a ZIP code newer than it) takes the codes of the nearest place
// of its state that has some; the military post offices and the Marshall
// Islands have none.
#include "area-codes.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// Area codes as the table writes them: one to six codes of three digits,
// comma-separated ("212,332,646,917").
bool areaCodesText(const std::string &text)
{
    if (text.size() < 3 || text.size() > 23 || text.size() % 4 != 3)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 4 == 3 ? text[i] != ',' : !std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

bool withoutCodes(const std::string &state)
{
    return state == "AA" || state == "AE" || state == "AP" || state == "MH";
}

struct Place
{
    sqlite3_int64 rowid;
    std::string state;
    std::string zip;
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
    std::map<std::string, std::string> codes; // ZIP code: codes
    std::string line;
    std::getline(file, line); // header
    for (long row = 2; std::getline(file, line); ++row) {
        const auto tab = line.find('\t');
        if (tab != 5 || !areaCodesText(line.substr(tab + 1))
            || line.find_first_not_of("0123456789") != tab) {
            std::fprintf(stderr, "zipbase-build: %s:%ld: expected a ZIP code and one to six area codes\n", path, row);
            return false;
        }
        codes[line.substr(0, tab)] = line.substr(tab + 1);
    }

    std::vector<Place> places;
    sqlite3_stmt *select = nullptr;
    bool ok = sqlite3_exec(db, "ALTER TABLE places ADD COLUMN area_codes TEXT", nullptr, nullptr, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT rowid, state, zip, latitude, longitude FROM places", -1, &select, nullptr)
            == SQLITE_OK;
    while (ok && sqlite3_step(select) == SQLITE_ROW) {
        Place place{sqlite3_column_int64(select, 0),
                    reinterpret_cast<const char *>(sqlite3_column_text(select, 1)),
                    reinterpret_cast<const char *>(sqlite3_column_text(select, 2)),
                    sqlite3_column_double(select, 3),
                    sqlite3_column_double(select, 4),
                    sqlite3_column_type(select, 3) != SQLITE_NULL,
                    {}};
        const auto listed = codes.find(place.zip);
        if (listed != codes.end() && !withoutCodes(place.state))
            place.codes = listed->second;
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
    long listed = 0;
    long near = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const Place &place = places[i];
        if (withoutCodes(place.state))
            continue; // no area code: a military post office, the Marshall Islands
        filled[i] = place.codes;
        listed += !filled[i].empty();
        if (filled[i].empty() && place.located)
            filled[i] = nearest(place);
        if (filled[i].empty()) {
            std::fprintf(stderr, "zipbase-build: %s: no area code for ZIP code %s, nor for a place of %s\n", path,
                         place.zip.c_str(), place.state.c_str());
            return false;
        }
        near += place.codes.empty();
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
        std::printf("zipbase-build: area codes by ZIP code for %ld places, by the nearest listed place for %ld\n",
                    listed, near);
    return ok;
}
