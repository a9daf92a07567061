#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>
#include <vector>

// A rectangle of texts for SpreadsheetApplication::setCells: text j of
// `cells[i]` goes to cell (row + i, column + j); every row of `cells` is as
// long as the first.
struct SheetRectangle
{
    int row = 0;
    int column = 0;
    QList<QStringList> cells;
};

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
    // Stores a rectangle of texts, each as setCell would: text j of `cells[i]`
    // in cell (row + i, column + j). Every row of `cells` is as long as the
    // first; no cell outside the rectangle is touched. An application that
    // can stores the rectangle in one call. When the call fails, any of its
    // cells may or may not have been stored. By default: setCell for each
    // text, in order.
    virtual void setCells(int row, int column, const QList<QStringList> &cells);
    // Stores the rectangles in order, each as setCells would, and no cell
    // outside them, however far apart they lie. `stored` counts those stored
    // from the first on; when the call fails, any cell of the others may or
    // may not have been stored. An application that can stores them all in
    // one call. By default: setCells for each.
    virtual void setRectangles(const std::vector<SheetRectangle> &rectangles, std::size_t &stored);
    // Whether the application stores rectangles faster all in one call than
    // in several calls as they come: the export then hands them over once
    // it has them all. By default: false.
    virtual bool storesAllAtOnce() const { return false; }
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

    // False when it is known that a screen reader cannot read the window the
    // applications of the last create() show: the application has no way to
    // the desktop's accessibility bus.
    virtual bool windowReadable() const { return true; }
};

// The factory of the program: LibreOffice Calc, through the plugin beside
// the program's executable (see SpreadsheetPlugin.h), loaded on the first
// export; in a build without LibreOffice's SDK, one that always reports the
// application as missing. The window keeps it for its whole life, so that
// every export reuses the office it started.
std::unique_ptr<SpreadsheetFactory> makeDefaultSpreadsheetFactory();
