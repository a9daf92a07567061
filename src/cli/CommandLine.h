#pragma once

#include <QString>
#include <QStringList>

// The program run from a script: writes random places of the place database
// in `programFolder` to standard output or a file, as the arguments ask, and
// returns the exit status: 0 on success, 1 when the database or the output
// fails, 2 on a usage error. Messages go to standard error, one line each.
int runCommandLine(const QStringList &arguments, const QString &programFolder);
