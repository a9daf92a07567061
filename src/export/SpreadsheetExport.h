#pragma once

class CommandHost;
class Dialogs;
class ListSource;
class SpreadsheetFactory;

// Whether an application object can be created: creates one and releases it
// at once. When it cannot, says so in a message and returns false. Never
// reports a failure otherwise.
bool SaveResultsAsExcelFileIsExcelInstalled(Dialogs &dialogs, SpreadsheetFactory &factory);

// "Save Results As Excel File": fills a new workbook's active sheet with the
// header and the ticked rows of `list` (list row r on sheet row r + 1, empty
// cells closing up to the left), fits the columns and shows the application,
// with the hourglass showing meanwhile. Keeps no reference to the
// application or the workbook afterwards. A guarded procedure: failures are
// reported, never passed on. Does nothing while a command shows the
// hourglass (this one included, reached again from one of its own yields).
void PushButton13_Click(CommandHost &host, const ListSource &list, SpreadsheetFactory &factory);
