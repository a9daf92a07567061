// Builds zipbase.mdb, the place database, from one tab-separated table with a
// header line (zip, city, state, state_name, county, county_fips, latitude,
// longitude, timezone, population): its rows fill both the window's table
// zip_codes (city, state, zip) and the table places, row i of one being row i
// of the other. The state codes of the military post offices are decided by
// make-places.py, by ZIP range; this program takes the rows as they come.
// Then the area codes of the places (area-codes.cpp).
#include "area-codes.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "zipbase-build: %s\n", error ? error : "unknown failure");
        sqlite3_free(error);
        return false;
    }
    return true;
}

std::vector<std::string> split(const std::string &line)
{
    std::vector<std::string> cells;
    std::string::size_type start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return cells;
        start = tab + 1;
    }
}

bool allDigits(const std::string &text, std::string::size_type length)
{
    return text.size() == length && text.find_first_not_of("0123456789") == std::string::npos;
}

// Why a row of the table cannot go in, or empty when it can.
std::string checkPlace(const std::vector<std::string> &place)
{
    if (place.size() != 10)
        return "expected 10 columns";
    if (place[1].empty() || place[2].empty())
        return "no city or state";
    if (!allDigits(place[0], 5))
        return "ZIP code is not five digits";
    if (place[3].empty())
        return "no state name";
    if (place[4].empty() != place[5].empty() || (!place[5].empty() && !allDigits(place[5], 5)))
        return "a county needs a five-digit FIPS code and a code a county";
    if (place[6].empty() != place[7].empty())
        return "latitude without longitude or the other way round";
    char *end = nullptr;
    const double population = std::strtod(place[9].c_str(), &end);
    if (place[9].empty() || *end != '\0' || !(population > 0))
        return "population weight is not a positive number";
    return {};
}

void bindText(sqlite3_stmt *statement, int index, const std::string &text)
{
    if (text.empty())
        sqlite3_bind_null(statement, index);
    else
        sqlite3_bind_text(statement, index, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
}

void bindReal(sqlite3_stmt *statement, int index, const std::string &text)
{
    if (text.empty())
        sqlite3_bind_null(statement, index);
    else
        sqlite3_bind_double(statement, index, std::strtod(text.c_str(), nullptr));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: zipbase-build places.tsv zipbase.mdb areacodes.tsv\n");
        return 2;
    }
    std::ifstream places(argv[1]);
    if (!places) {
        std::fprintf(stderr, "zipbase-build: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string target = argv[2];
    const std::string temporary = target + ".tmp";
    std::remove(temporary.c_str());

    sqlite3 *db = nullptr;
    if (sqlite3_open(temporary.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "zipbase-build: cannot create %s\n", temporary.c_str());
        return 1;
    }
    bool ok = exec(db,
                   "PRAGMA journal_mode=OFF;"
                   "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);"
                   "CREATE TABLE places (zip TEXT NOT NULL, city TEXT NOT NULL, state TEXT NOT NULL,"
                   " state_name TEXT, county TEXT, county_fips TEXT, latitude REAL, longitude REAL,"
                   " timezone TEXT, population REAL NOT NULL);"
                   "BEGIN;");
    sqlite3_stmt *insertZip = nullptr;
    sqlite3_stmt *insertPlace = nullptr;
    ok = ok
        && sqlite3_prepare_v2(db, "INSERT INTO zip_codes (city, state, zip) VALUES (?, ?, ?)", -1, &insertZip, nullptr)
            == SQLITE_OK;
    ok = ok
        && sqlite3_prepare_v2(db, "INSERT INTO places VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insertPlace, nullptr)
            == SQLITE_OK;

    std::string placeLine;
    std::getline(places, placeLine); // header
    long rows = 0;
    while (ok && std::getline(places, placeLine)) {
        const auto place = split(placeLine);
        const auto fault = checkPlace(place);
        if (!fault.empty()) {
            std::fprintf(stderr, "zipbase-build: %s:%ld: %s\n", argv[1], rows + 2, fault.c_str());
            ok = false;
            break;
        }
        sqlite3_bind_text(insertZip, 1, place[1].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertZip, 2, place[2].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertZip, 3, place[0].c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insertZip) == SQLITE_DONE;
        sqlite3_reset(insertZip);
        for (int column = 0; column < 10; ++column) {
            if (column == 6 || column == 7 || column == 9)
                bindReal(insertPlace, column + 1, place[column]);
            else
                bindText(insertPlace, column + 1, place[column]);
        }
        ok = ok && sqlite3_step(insertPlace) == SQLITE_DONE;
        sqlite3_reset(insertPlace);
        ++rows;
    }
    sqlite3_finalize(insertZip);
    sqlite3_finalize(insertPlace);
    ok = ok && addAreaCodes(db, argv[3]);
    ok = ok && exec(db, "COMMIT;");
    sqlite3_close(db);
    if (!ok || std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "zipbase-build: failed\n");
        return 1;
    }
    std::printf("zipbase-build: %ld rows written to %s\n", rows, target.c_str());
    return 0;
}
