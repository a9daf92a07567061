// Builds zipbase.mdb, the place database, from the tab-separated ZIP-code table
// (header line "zip city state", then one row per ZIP code).
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

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

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zipbase-build zipcodes.tsv zipbase.mdb\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
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
    bool ok = exec(db, "CREATE TABLE zip_codes (city TEXT NOT NULL, state TEXT NOT NULL, zip TEXT NOT NULL);"
                       "BEGIN;");
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO zip_codes (city, state, zip) VALUES (?, ?, ?)", -1, &insert, nullptr) == SQLITE_OK;

    std::string line;
    std::getline(in, line); // header
    long rows = 0;
    long lineNumber = 1;
    while (ok && std::getline(in, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::string zip, city, state;
        if (!std::getline(fields, zip, '\t') || !std::getline(fields, city, '\t') || !std::getline(fields, state, '\t')
            || zip.empty() || city.empty() || state.empty()) {
            std::fprintf(stderr, "zipbase-build: line %ld lacks a zip, city or state\n", lineNumber);
            ok = false;
            break;
        }
        sqlite3_bind_text(insert, 1, city.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, state.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, zip.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
        ++rows;
    }
    sqlite3_finalize(insert);
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
