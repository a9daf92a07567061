#pragma once

#include <QString>

class CommandHost;
class ListSource;
class ProgressIndicator;
class QIODevice;

// The part of a path after its last "/"; the whole path when it has none, and
// the empty text when it ends with "/".
QString FileNameFromPath(const QString &path);

// Writes the list as an aligned text table: a header line of the captions,
// then one line per ticked row, each cell filled with spaces to its column's
// widest entry (over the caption and every row) and followed by a TAB, every
// line ended by CR LF. Reports its progress on `progress` when given one and
// lets the window run at every row and cell. A guarded procedure: failures
// are reported, never passed on.
void SaveListviewProperlySpaced(CommandHost &host, const ListSource &list, const QString &fileName,
                                ProgressIndicator *progress);
// The same into `device`, open for writing, which stays open; `fileName` is
// what the captions and reports call it.
void SaveListviewProperlySpaced(CommandHost &host, const ListSource &list, QIODevice &device, const QString &fileName,
                                ProgressIndicator *progress);

// "Save Results As Text File": asks for the file and saves the list into it
// with the hourglass showing. Does nothing while another command is busy.
void saveTextFile(CommandHost &host, const ListSource &list);
