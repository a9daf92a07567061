#pragma once

#include <QString>
#include <QStringList>

// The program run from a script: writes random places of the place database
// in `programFolder` to standard output or a file, as the arguments ask, and
// returns the exit status: 0 on success, 1 when the database or the output
// fails, 2 on a usage error. Messages go to standard error, one line each.
// No output may be the database, this executable or one of `ownFiles` (the
// program's other files, such as the window's executable).
int runCommandLine(const QStringList &arguments, const QString &programFolder, const QStringList &ownFiles = {});
