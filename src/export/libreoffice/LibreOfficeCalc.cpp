#include "export/libreoffice/LibreOfficeCalc.h"

#include "export/libreoffice/LibreOfficeCalls.h"
#include "export/libreoffice/LibreOfficeUno.h"
#include "shell/Failure.h"

#include <QScopeGuard>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/uno/Sequence.hxx>

#include <algorithm>
#include <utility>
#include <vector>

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using namespace LibreOfficeUno;

// Every call into the office is made on the office's own thread (see
// OfficeCalls), one at a time, while the GUI thread waits. The application
// objects hand the office no objects of their own (no listeners, no
// callbacks), so nothing calls back in; the factory's one listener only
// passes news on to the GUI thread (see LibreOffice.cpp).

namespace {

css::beans::PropertyValue property(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue result;
    result.Name = OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

// What Calc takes as the literal text `value`: a leading apostrophe makes it
// take the rest as text as it is, as when typed in. Nothing at all empties
// the cell.
OUString literalText(const QString &value)
{
    return value.isEmpty() ? OUString() : toOUString(QLatin1Char('\'') + value);
}

// The active sheet of `view`, fetched anew for every use.
Reference<css::sheet::XSpreadsheet> activeSheet(const Reference<css::sheet::XSpreadsheetView> &view)
{
    if (!view.is())
        throw Failure(QStringLiteral("No Calc document is open."));
    const Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
    if (!sheet.is())
        throw Failure(QStringLiteral("The Calc document has no active sheet."));
    return sheet;
}

// Whether `text`, alone in a cell of the default format, leaves its row as
// high as an empty one: one line of Latin letters, digits and signs, which
// Calc sets in the format's own font.
bool keepsRowHeight(const OUString &text)
{
    for (sal_Int32 i = 0; i < text.getLength(); ++i) {
        const sal_Unicode c = text[i];
        if (!((c >= 0x20 && c <= 0x7e) || (c >= 0xa0 && c <= 0x24f)))
            return false;
    }
    return true;
}

// Runs `store`, which stores `texts` into `range` of the document of `view`,
// with Calc's undo off and, where it would change no row, its fitting of
// the rows' heights off; both on again afterwards. Calc otherwise copies the
// range into an undo document first, and measures the rows after, which
// makes the store cost about a third more. Rows change height only for a
// text of more than one line or of another script, or in a cell formatted
// otherwise (one the user set to wrap, or a larger font): their rows are
// fitted as always. The document's undo list is emptied meanwhile.
template <typename Store>
void storeQuickly(const Reference<css::sheet::XSpreadsheetView> &view, const Reference<css::table::XCellRange> &range,
                  const css::uno::Sequence<css::uno::Sequence<OUString>> &texts, Store store)
{
    const Reference<css::beans::XPropertySet> document(
        Reference<css::frame::XController>(view, UNO_QUERY_THROW)->getModel(), UNO_QUERY_THROW);
    bool sameHeights = true;
    for (const css::uno::Sequence<OUString> &line : texts)
        sameHeights = sameHeights && std::all_of(line.begin(), line.end(), keepsRowHeight);
    sameHeights = sameHeights
        && Reference<css::sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)
                ->queryContentCells(css::sheet::CellFlags::HARDATTR)
                ->getCount()
            == 0;
    const auto turn = [&](bool on) {
        document->setPropertyValue("IsUndoEnabled", css::uno::Any(on));
        if (sameHeights)
            document->setPropertyValue("IsAdjustHeightEnabled", css::uno::Any(on));
    };
    turn(false);
    auto backOn = qScopeGuard([&] {
        try {
            turn(true);
        } catch (const css::uno::Exception &) {
            // The store failed already, which is what the caller learns.
        }
    });
    store();
    backOn.dismiss();
    turn(true);
}

} // namespace

CalcApplication::CalcApplication(std::shared_ptr<OfficeCalls> calls, Reference<css::frame::XDesktop2> desktop,
                                 bool headless, std::shared_ptr<int> inUse)
    : m_calls(std::move(calls))
    , m_desktop(std::move(desktop))
    , m_headless(headless)
    , m_inUse(std::move(inUse))
{
}

template <typename Call> auto CalcApplication::callOffice(Call call) -> decltype(call())
{
    try {
        return m_calls->run(std::move(call));
    } catch (const css::uno::Exception &) {
        throw Failure(describeCaughtException());
    }
}

void CalcApplication::addWorkbook()
{
    const auto [controller, view] = callOffice([desktop = m_desktop, headless = m_headless] {
        // A headless office cannot make a visible document: it aborts.
        const css::beans::PropertyValue hidden = property("Hidden", css::uno::Any(true));
        const css::uno::Sequence<css::beans::PropertyValue> arguments(&hidden, headless ? 1 : 0);
        const Reference<css::lang::XComponent> document = desktop->loadComponentFromURL("private:factory/scalc",
                                                                                        "_blank", 0, arguments);
        const Reference<css::frame::XModel> model(document, UNO_QUERY);
        if (!model.is())
            throw Failure(QStringLiteral("LibreOffice could not make a new Calc document."));
        const Reference<css::frame::XController> controller = model->getCurrentController();
        const Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
        if (!view.is())
            throw Failure(QStringLiteral("LibreOffice made a Calc document without a sheet view."));
        return std::pair(controller, view);
    });
    m_controller = controller;
    m_view = view;
}

void CalcApplication::Written::note(sal_Int32 column, const OUString &text)
{
    if (text.isEmpty())
        return;
    texts[column].insert(text);
    ++cells[column];
}

void CalcApplication::setCell(int row, int column, const QString &value)
{
    callOffice([view = m_view, written = m_written, row, column, text = literalText(value)] {
        activeSheet(view)->getCellByPosition(column - 1, row - 1)->setFormula(text);
        written->note(column - 1, text);
    });
}

void CalcApplication::setCells(int row, int column, const QList<QStringList> &cells)
{
    const qsizetype width = cells.isEmpty() ? 0 : cells.constFirst().size();
    if (width == 0)
        return;
    // One cell: a range would cost the office one call more than the cell.
    if (width == 1 && cells.size() == 1) {
        setCell(row, column, cells.constFirst().constFirst());
        return;
    }
    // The same texts as setCell sends, so that Calc reads each as it would
    // there. Calc empties every cell of the range it is given first.
    css::uno::Sequence<css::uno::Sequence<OUString>> block(sal_Int32(cells.size()));
    auto *blockRow = block.getArray();
    for (const QStringList &texts : cells) {
        if (texts.size() != width)
            throw Failure(QStringLiteral("The cells to store are not a rectangle."));
        css::uno::Sequence<OUString> line(static_cast<sal_Int32>(width));
        auto *text = line.getArray();
        for (const QString &value : texts)
            *text++ = literalText(value);
        *blockRow++ = std::move(line);
    }
    const sal_Int32 left = column - 1;
    const sal_Int32 top = row - 1;
    callOffice([view = m_view, written = m_written, block = std::move(block), left, top, width] {
        const Reference<css::table::XCellRange> range = activeSheet(view)->getCellRangeByPosition(
            left, top, left + sal_Int32(width) - 1, top + block.getLength() - 1);
        storeQuickly(view, range, block,
                     [&] { Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(block); });
        for (const css::uno::Sequence<OUString> &line : block) {
            for (sal_Int32 column = 0; column < line.getLength(); ++column)
                written->note(left + column, line[column]);
        }
    });
}

void CalcApplication::setRectangles(const std::vector<SheetRectangle> &rectangles, std::size_t &stored)
{
    if (rectangles.size() <= 1) {
        SpreadsheetApplication::setRectangles(rectangles, stored);
        return;
    }
    // The texts are made on the office's thread, while the window goes on.
    callOffice([view = m_view, written = m_written, rectangles] {
        // One range over all the rectangles (sheet positions from 0), its
        // texts in `block`; `holds` marks the cells the rectangles hold.
        sal_Int32 top = rectangles.front().row - 1;
        sal_Int32 left = rectangles.front().column - 1;
        sal_Int32 bottom = top;
        sal_Int32 right = left;
        for (const SheetRectangle &rectangle : rectangles) {
            if (rectangle.cells.isEmpty() || rectangle.cells.constFirst().isEmpty())
                continue;
            top = std::min(top, rectangle.row - 1);
            left = std::min(left, rectangle.column - 1);
            bottom = std::max(bottom, rectangle.row - 1 + sal_Int32(rectangle.cells.size()) - 1);
            right = std::max(right, rectangle.column - 1 + sal_Int32(rectangle.cells.constFirst().size()) - 1);
        }
        const sal_Int32 height = bottom - top + 1;
        const sal_Int32 width = right - left + 1;
        const auto at = [width](sal_Int32 row, sal_Int32 column) {
            return std::size_t(row) * std::size_t(width) + std::size_t(column);
        };
        css::uno::Sequence<css::uno::Sequence<OUString>> block(height);
        css::uno::Sequence<OUString> *const lines = block.getArray();
        for (sal_Int32 row = 0; row < height; ++row)
            lines[row].realloc(width);
        std::vector<bool> holds(std::size_t(height) * std::size_t(width));
        for (const SheetRectangle &rectangle : rectangles) {
            for (qsizetype i = 0; i < rectangle.cells.size(); ++i) {
                const QStringList &texts = rectangle.cells[i];
                if (texts.size() != rectangle.cells.constFirst().size())
                    throw Failure(QStringLiteral("The cells to store are not a rectangle."));
                const sal_Int32 row = rectangle.row - 1 + sal_Int32(i) - top;
                OUString *const line = lines[row].getArray();
                for (qsizetype j = 0; j < texts.size(); ++j) {
                    const sal_Int32 column = rectangle.column - 1 + sal_Int32(j) - left;
                    line[column] = literalText(texts[j]);
                    holds[at(row, column)] = true;
                }
            }
        }

        // Calc empties every cell of a range before it stores the range's
        // texts, and stores nothing for an empty text: a cell of the range
        // that no rectangle holds stays as it was only when it is empty.
        // The rows where such a cell has content (the user's, typed
        // meanwhile) get each rectangle's cells alone; the others go as
        // ranges of as many rows as can be.
        const Reference<css::sheet::XSpreadsheet> sheet = activeSheet(view);
        const Reference<css::table::XCellRange> all = sheet->getCellRangeByPosition(left, top, left + width - 1,
                                                                                    top + height - 1);
        const sal_Int16 contents = css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME
            | css::sheet::CellFlags::STRING | css::sheet::CellFlags::ANNOTATION | css::sheet::CellFlags::FORMULA;
        const css::uno::Sequence<css::table::CellRangeAddress> filled = Reference<css::sheet::XCellRangesQuery>(
                                                                            all, UNO_QUERY_THROW)
                                                                            ->queryContentCells(contents)
                                                                            ->getRangeAddresses();
        std::vector<bool> keeping(std::size_t(height), false);
        for (const css::table::CellRangeAddress &range : filled) {
            for (sal_Int32 row = std::max(range.StartRow, top); row <= std::min(range.EndRow, bottom); ++row) {
                for (sal_Int32 column = std::max(range.StartColumn, left); column <= std::min(range.EndColumn, right);
                     ++column) {
                    if (!holds[at(row - top, column - left)])
                        keeping[std::size_t(row - top)] = true;
                }
            }
        }
        const auto store = [&](sal_Int32 firstRow, sal_Int32 endRow, sal_Int32 firstColumn, sal_Int32 endColumn) {
            if (firstRow == 0 && endRow == height) {
                Reference<css::sheet::XCellRangeFormula>(all, UNO_QUERY_THROW)->setFormulaArray(block);
                return;
            }
            css::uno::Sequence<css::uno::Sequence<OUString>> part(endRow - firstRow);
            css::uno::Sequence<OUString> *line = part.getArray();
            for (sal_Int32 row = firstRow; row < endRow; ++row)
                *line++ = css::uno::Sequence<OUString>(block[row].getConstArray() + firstColumn,
                                                       endColumn - firstColumn);
            const Reference<css::table::XCellRange> range = sheet->getCellRangeByPosition(
                left + firstColumn, top + firstRow, left + endColumn - 1, top + endRow - 1);
            Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(part);
        };
        storeQuickly(view, all, block, [&] {
            for (sal_Int32 row = 0; row < height;) {
                sal_Int32 end = row;
                while (end < height && !keeping[std::size_t(end)])
                    ++end;
                if (end > row) {
                    store(row, end, 0, width);
                    row = end;
                    continue;
                }
                for (sal_Int32 column = 0; column < width;) {
                    sal_Int32 last = column;
                    while (last < width && holds[at(row, last)])
                        ++last;
                    if (last > column)
                        store(row, row + 1, column, last);
                    column = last + 1;
                }
                ++row;
            }
        });
        for (sal_Int32 row = 0; row < height; ++row) {
            for (sal_Int32 column = 0; column < width; ++column) {
                if (holds[at(row, column)])
                    written->note(left + column, block[row][column]);
            }
        }
    });
    stored = rectangles.size();
}

void CalcApplication::autofitColumns()
{
    callOffice([desktop = m_desktop, view = m_view, written = m_written] {
        const Reference<css::sheet::XSpreadsheet> sheet = activeSheet(view);
        const Reference<css::table::XColumnRowRange> ranges(sheet, UNO_QUERY_THROW);
        const Reference<css::table::XTableColumns> columns = ranges->getColumns();
        const auto optimal = [&](sal_Int32 first, sal_Int32 last) {
            if (first > last)
                return;
            const Reference<css::table::XColumnRowRange> span(sheet->getCellRangeByPosition(first, 0, last, 0),
                                                              UNO_QUERY_THROW);
            Reference<css::beans::XPropertySet>(span->getColumns(), UNO_QUERY_THROW)
                ->setPropertyValue("OptimalWidth", css::uno::Any(true));
        };
        // Calc measures every cell of a column it fits. A column that holds
        // only what was written here has the width of its widest distinct
        // text, which Calc measures alone, in a hidden document of its own.
        // A column that holds anything else (the user's) is fitted as a
        // whole, as is every column not written.
        std::vector<sal_Int32> measured;
        const sal_Int32 lastColumn = columns->getCount() - 1;
        sal_Int32 next = 0;
        for (const auto &[column, count] : written->cells) {
            const Reference<css::sheet::XCellRangesQuery> cells(
                sheet->getCellRangeByPosition(column, 0, column, ranges->getRows()->getCount() - 1), UNO_QUERY_THROW);
            sal_Int64 filled = 0;
            const sal_Int16 anything = css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME
                | css::sheet::CellFlags::STRING | css::sheet::CellFlags::FORMULA;
            for (const css::table::CellRangeAddress &range : cells->queryContentCells(anything)->getRangeAddresses())
                filled += sal_Int64(range.EndRow - range.StartRow + 1) * (range.EndColumn - range.StartColumn + 1);
            const bool formatted = cells->queryContentCells(css::sheet::CellFlags::HARDATTR)->getCount() > 0;
            if (filled == count && !formatted)
                measured.push_back(column);
        }
        // Every other column, in runs.
        for (const sal_Int32 column : measured) {
            optimal(next, column - 1);
            next = column + 1;
        }
        optimal(next, lastColumn);
        if (measured.empty())
            return;

        const css::beans::PropertyValue hidden = property("Hidden", css::uno::Any(true));
        const Reference<css::frame::XModel> scratch(
            desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                          css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
            UNO_QUERY_THROW);
        const auto closeScratch = [&] {
            try {
                Reference<css::util::XCloseable>(scratch, UNO_QUERY_THROW)->close(true);
            } catch (const css::uno::Exception &) {
                // Hidden, it harms no one until the office ends.
            }
        };
        try {
            const Reference<css::sheet::XSpreadsheet> scratchSheet = Reference<css::sheet::XSpreadsheetView>(
                                                                         scratch->getCurrentController(),
                                                                         UNO_QUERY_THROW)
                                                                         ->getActiveSheet();
            for (std::size_t i = 0; i < measured.size(); ++i) {
                const auto &texts = written->texts[measured[i]];
                css::uno::Sequence<css::uno::Sequence<OUString>> block(sal_Int32(texts.size()));
                css::uno::Sequence<OUString> *line = block.getArray();
                for (const OUString &text : texts)
                    *line++ = css::uno::Sequence<OUString>(&text, 1);
                Reference<css::sheet::XCellRangeFormula>(
                    scratchSheet->getCellRangeByPosition(sal_Int32(i), 0, sal_Int32(i), block.getLength() - 1),
                    UNO_QUERY_THROW)
                    ->setFormulaArray(block);
            }
            const Reference<css::table::XColumnRowRange> scratchColumns(
                scratchSheet->getCellRangeByPosition(0, 0, sal_Int32(measured.size()) - 1, 0), UNO_QUERY_THROW);
            const Reference<css::table::XTableColumns> fitted = scratchColumns->getColumns();
            Reference<css::beans::XPropertySet>(fitted, UNO_QUERY_THROW)
                ->setPropertyValue("OptimalWidth", css::uno::Any(true));
            for (std::size_t i = 0; i < measured.size(); ++i) {
                const css::uno::Any width = Reference<css::beans::XPropertySet>(fitted->getByIndex(sal_Int32(i)),
                                                                                UNO_QUERY_THROW)
                                                ->getPropertyValue("Width");
                Reference<css::beans::XPropertySet>(columns->getByIndex(measured[i]), UNO_QUERY_THROW)
                    ->setPropertyValue("Width", width);
            }
        } catch (...) {
            closeScratch();
            throw;
        }
        closeScratch();
    });
}

void CalcApplication::setVisible(bool visible)
{
    callOffice([desktop = m_desktop, controller = m_controller, headless = m_headless, visible] {
        // Without a document there is no window to show, but the office
        // must still be there.
        if (!controller.is()) {
            desktop->getCurrentFrame();
            return;
        }
        const Reference<css::frame::XFrame> frame = controller->getFrame();
        if (!frame.is())
            throw Failure(QStringLiteral("The Calc document has no window."));
        const Reference<css::awt::XWindow> window = frame->getContainerWindow();
        // Without a display the document stays hidden: there is no one to show it to.
        if (headless || !window.is())
            return;
        window->setVisible(visible);
        const Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
        if (visible && top.is())
            top->toFront();
    });
}
