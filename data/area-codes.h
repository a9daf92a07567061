#pragma once

#include <sqlite3.h>

// Adds the column `area_codes` to the table `places` from the table of area
// codes by ZIP code at `path`; false, having said why, on a failure.
bool addAreaCodes(sqlite3 *db, const char *path);
