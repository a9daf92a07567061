#pragma once

class CommandHost;
class ListSource;
class SpreadsheetFactory;

// How the export hands the cells to the application.
struct SheetTransfer
{
    // Each cell with a call of its own, as the export did before it wrote
    // blocks; for comparisons.
    bool cellByCell = false;
    // Sheet rows per block, counted from row 1 (the header row); 0: as many
    // as the application stores in about 20 ms (the window handles its input
    // while it waits for the application).
    int rowsPerBlock = 0;
};

// Whether an application object can be created: creates one and releases it
// at once, with the hourglass showing meanwhile (the pointer is as before
// afterwards). When it cannot, says so in a message and returns false. Never
// reports a failure otherwise.
bool SaveResultsAsExcelFileIsExcelInstalled(CommandHost &host, SpreadsheetFactory &factory);

// "Save Results As Excel File": fills a new workbook's active sheet with the
// header and the ticked rows of `list` (list row r on sheet row r + 1, empty
// cells closing up to the left), fits the columns and shows the application,
// with the hourglass showing meanwhile. Keeps no reference to the
// application or the workbook afterwards. A guarded procedure: failures are
// reported, never passed on. Does nothing while a command shows the
// hourglass (this one included, reached again from one of its own yields).
// Ends (ProgramEnding) before its next call to the application once the
// window has closed, so that no document is opened after the window has gone.
//
// The cells go out in blocks of rows, each block as rectangles of the cells
// written, all in one call, so that no other cell is touched and scattered
// ticks cost about what their cells cost. To an application that stores
// them faster all at once (SpreadsheetApplication::storesAllAtOnce), the
// rectangles of a sheet's worth of rows go in one call at the end (or
// before the first report). A block the application does not take is
// written again cell by cell, so that each cell that fails is reported with
// its own step (126, 132, 156 or 162), in the order of the steps.
void exportToSpreadsheet(CommandHost &host, const ListSource &list, SpreadsheetFactory &factory,
                         SheetTransfer transfer = {});
