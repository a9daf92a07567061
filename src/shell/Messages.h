#pragma once

#include <QString>

// Every message of the command line, and the window's refusal to open where
// no display does, is one line on standard error: the program's name, then
// the message in lower case without a final stop, as GNU tools write them;
// what a message quotes can never split it. The window's own messages are
// its dialogs, and keep their texts.

// A name as a message shows it: in single quotes, a quote or backslash in it
// escaped with a backslash, and control characters as C writes them ("\n",
// "\x1b"). Bytes that are not UTF-8 stay the bytes they are.
QString quotedName(const QString &name);

// Writes "orvelle: " and `text` to standard error as one line: its first
// word in lower case (unless it is a name in capitals such as SQLite), no
// final stop, any control character escaped; then `advice`, if any, after a
// semicolon.
void complain(const QString &text, const QString &advice = QString());

// From now on, an allocation that fails where no handler catches it (inside a
// library's function that lets no exception through, or while a failure is
// being told) ends the process as a caught one does: "orvelle: there is not
// enough memory" and `status`. Any other exception that nothing catches
// still aborts.
void endOnOutOfMemory(int status);
