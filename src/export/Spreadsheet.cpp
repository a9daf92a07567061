#include "export/Spreadsheet.h"

void SpreadsheetApplication::setCells(int row, int column, const QList<QStringList> &cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        for (qsizetype j = 0; j < cells[i].size(); ++j)
            setCell(row + int(i), column + int(j), cells[i][j]);
    }
}

void SpreadsheetApplication::setRectangles(const std::vector<SheetRectangle> &rectangles, std::size_t &stored)
{
    for (const SheetRectangle &rectangle : rectangles) {
        setCells(rectangle.row, rectangle.column, rectangle.cells);
        ++stored;
    }
}
