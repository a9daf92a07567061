#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// The spreadsheet application as the export drives it: one running
// application object with the workbook it added last. Every member may throw
// a Failure whose description says what went wrong (the application refused
// the call, or it has been closed).
class SpreadsheetApplication
{
public:
    virtual ~SpreadsheetApplication() = default;

    // Adds a new, empty workbook, which becomes the active one.
    virtual void addWorkbook() = 0;
    // Stores `value` as the literal text of cell (row, column) of the active
    // workbook's active sheet, both counted from 1; the sheet is looked up
    // anew on every call. The text is never interpreted: "00501" keeps its
    // zeros and "=1+1" is not a formula. The empty text empties the cell.
    virtual void setCell(int row, int column, const QString &value) = 0;
    // Stores a block of texts, each as setCell would: text j of `cells[i]` in
    // cell (row + i, column + j). An application that can stores the block
    // in one call; it is then as wide as its longest row, and the cells a
    // shorter row leaves out are emptied, as an empty text empties its cell.
    // When the call fails, any of the block's cells may or may not have been
    // stored. By default: setCell for each text given, in order.
    virtual void setCells(int row, int column, const QList<QStringList> &cells);
    // Fits the width of every column of the active sheet to its content.
    virtual void autofitColumns() = 0;
    // Shows the application's window with its workbooks, or hides it.
    virtual void setVisible(bool visible) = 0;
};

// Creates application objects. Releasing one (destroying it) keeps nothing
// of it: the workbooks it filled stay open in the application, for the user.
class SpreadsheetFactory
{
public:
    virtual ~SpreadsheetFactory() = default;

    // A new application object; throws a Failure that says why when none can
    // be created (the application is not installed, or it does not start).
    virtual std::unique_ptr<SpreadsheetApplication> create() = 0;
};

// The factory of the program: LibreOffice Calc, through the plugin beside
// the program's executable (see SpreadsheetPlugin.h), loaded on the first
// export; in a build without LibreOffice's SDK, one that always reports the
// application as missing. The window keeps it for its whole life, so that
// every export reuses the office it started.
std::unique_ptr<SpreadsheetFactory> makeDefaultSpreadsheetFactory();
