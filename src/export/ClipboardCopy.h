#pragma once

#include <QString>

class Clipboard;
class CommandHost;
class ListSource;

// Empties the clipboard, trying up to 1000 times while it is busy. Never fails.
void ClearClipboard(Clipboard &clipboard);

// Places the text on the clipboard (format 0: plain text), trying up to 1000
// times while it is busy. Never fails; returns whether the text was placed.
bool SetClipboardText(Clipboard &clipboard, const QString &text, int format);

// Puts the ticked rows on the clipboard, one line per row: every cell but the
// last filled with spaces to its column's widest cell (over every row) and
// followed by a TAB, then the last cell, trailing spaces removed, CR LF. Lets
// the window run at every row and cell. An empty list leaves the clipboard
// alone. A failure while reading the list is passed on to the caller, and
// the clipboard is then untouched.
void CopyListviewToClipboard(CommandHost &host, const ListSource &list, Clipboard &clipboard);

// "Copy Results To Clipboard". A guarded procedure: failures are reported.
void copyToClipboard(CommandHost &host, const ListSource &list, Clipboard &clipboard);
