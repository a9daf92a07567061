#pragma once

#include <QByteArray>

// The manual page with its lines "%FIELDS%" and "%FORMATS%" replaced by one
// roff paragraph per field and per format, from the tables --help reads, so
// that the page cannot fall behind the program.
QByteArray withManualTables(const QByteArray &page);
