#include "export/SpreadsheetExport.h"

#include "export/Spreadsheet.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/ListSource.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

const QString clickSource = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton13_Click ");

// Counters are 32-bit, as the sheet's row and column numbers are.
void increment(std::int32_t &counter)
{
    if (counter == std::numeric_limits<std::int32_t>::max())
        throw Failure(QStringLiteral("Overflow"));
    ++counter;
}

// A value of list column 2 or later, as the sheet receives it.
QString withoutEqualsSigns(QString text)
{
    return text.remove(QLatin1Char('='));
}

// The cells the export has written that have not gone out yet: they go to
// the application in blocks of sheet rows, each block as the rectangles its
// cells fill. A rectangle holds only cells the export writes, so that a cell
// it leaves alone (a row not ticked, the cells right of a short row) keeps
// whatever the user put there meanwhile. When the application does not take
// a rectangle, it and those after it are written again cell by cell, and
// each cell that fails is reported with the step that wrote it. Cell by cell
// (SheetTransfer::cellByCell) every cell goes out at once, in its own step.
class SheetCells
{
public:
    SheetCells(Dialogs &dialogs, SheetTransfer transfer)
        : m_dialogs(dialogs)
        , m_transfer(transfer)
        , m_rowsPerBlock(transfer.rowsPerBlock > 0 ? transfer.rowsPerBlock : 64)
    {
    }
    // Pending cells are left only when the command ends early (the window
    // closed in one of its yields): they still go out, in one try.
    ~SheetCells() { sendQuietly(); }
    SheetCells(const SheetCells &) = delete;
    SheetCells &operator=(const SheetCells &) = delete;

    // Step `step` writes `value` to cell (row, column) of `application`'s sheet.
    void write(SpreadsheetApplication &application, int step, std::int32_t row, std::int32_t column, QString value)
    {
        if (m_transfer.cellByCell) {
            application.setCell(row, column, value);
            return;
        }
        m_application = &application;
        m_pending.push_back({step, row, column, std::move(value)});
    }

    // The sheet rows before `nextRow` are complete: a full block goes out,
    // or is held back for the end when the application stores all at once,
    // up to as many rows as a sheet of Calc holds (past them, the rows go
    // in blocks again, and the memory held stays bounded).
    void rowsDone(std::int32_t nextRow)
    {
        constexpr std::int32_t rowsHeldAtMost = 1 << 20;
        const bool holding = m_transfer.rowsPerBlock <= 0 && nextRow <= rowsHeldAtMost + 1 && m_application
            && m_application->storesAllAtOnce();
        if (m_transfer.cellByCell || std::int64_t(nextRow) - m_blockStart < (holding ? 4096 : m_rowsPerBlock))
            return;
        if (holding)
            hold();
        else
            send();
        m_blockStart = nextRow;
    }

    // Sends the cells written so far; from the first rectangle the
    // application does not take on, writes them one by one, reporting each
    // that fails.
    void send()
    {
        hold();
        if (m_held.empty())
            return;
        std::vector<Rectangle> rectangles = std::exchange(m_held, {});
        std::vector<Cell> cells = std::exchange(m_heldCells, {});
        // A million cells take the window tens of milliseconds to free: they
        // go on a thread of their own.
        const auto letGo = qScopeGuard([&] {
            if (cells.size() >= 4096)
                m_letGo = std::jthread([rectangles = std::move(rectangles), cells = std::move(cells)] {});
        });
        std::size_t sent = 0;
        catchFailures([&] { sendRectangles(rectangles, sent); },
                      [&] {
            Guard guard(m_dialogs, clickSource);
            for (const Cell &cell : cells) {
                if (cell.rectangle >= sent)
                    guard.step(cell.step, [&] { m_application->setCell(cell.row, cell.column, cell.value); });
            }
        });
    }

private:
    struct Cell
    {
        int step;
        std::int32_t row;
        std::int32_t column;
        QString value;
        std::size_t rectangle = 0; // the rectangle that holds the cell's last text
    };
    using Rectangle = SheetRectangle;

    // The pending cells as the rectangles they fill, after those held: a
    // few thousand rows at a time, so that the window never waits long.
    void hold()
    {
        if (m_pending.empty())
            return;
        std::vector<Rectangle> rectangles = rectanglesOf(m_pending);
        for (Cell &cell : m_pending) {
            cell.rectangle += m_held.size();
            m_heldCells.push_back(std::move(cell));
        }
        m_pending.clear();
        m_held.insert(m_held.end(), std::make_move_iterator(rectangles.begin()),
                      std::make_move_iterator(rectangles.end()));
    }

    // Sends the cells written so far, or as many of them as the application
    // takes; reports nothing. It runs as the command unwinds, so nothing may
    // leave it, not even ProgramEnding.
    void sendQuietly() noexcept
    {
        try {
            hold();
            std::size_t sent = 0;
            sendRectangles(std::exchange(m_held, {}), sent);
        } catch (...) {
        }
    }

    // The rectangles that `cells` fill, in sheet order: each row's runs of
    // adjacent cells, a run joined to the rectangle above it when that spans
    // the same columns. A cell written twice keeps its last text, as in
    // the order of the steps. Notes in each cell the rectangle that holds it.
    static std::vector<Rectangle> rectanglesOf(std::vector<Cell> &cells)
    {
        // In step order the cells are in sheet order already, row by row
        // from the left, unless a step failed and left a counter behind.
        std::vector<std::size_t> order(cells.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        const auto before = [&](std::size_t a, std::size_t b) {
            return std::pair(cells[a].row, cells[a].column) < std::pair(cells[b].row, cells[b].column);
        };
        if (!std::is_sorted(order.begin(), order.end(), before))
            std::stable_sort(order.begin(), order.end(), before);

        std::vector<Rectangle> rectangles;
        std::int32_t runRow = 0;
        std::int32_t runLeft = 0;
        QStringList run;
        std::vector<std::size_t> runCells;
        const auto closeRun = [&] {
            if (run.isEmpty())
                return;
            Rectangle *above = rectangles.empty() ? nullptr : &rectangles.back();
            if (!above || above->column != runLeft || above->cells.constFirst().size() != run.size()
                || std::int64_t(above->row) + above->cells.size() != runRow)
                above = &rectangles.emplace_back(Rectangle{runRow, runLeft, {}});
            above->cells.append(std::exchange(run, {}));
            for (const std::size_t cell : std::exchange(runCells, {}))
                cells[cell].rectangle = rectangles.size() - 1;
        };
        std::vector<std::size_t> earlier; // earlier writes of the cell at hand: the same rectangle
        for (std::size_t k = 0; k < order.size(); ++k) {
            const Cell &cell = cells[order[k]];
            // A later step writes the same cell: its text replaces this one.
            if (k + 1 < order.size() && cells[order[k + 1]].row == cell.row
                && cells[order[k + 1]].column == cell.column) {
                earlier.push_back(order[k]);
                continue;
            }
            if (run.isEmpty() || cell.row != runRow
                || std::int64_t(cell.column) != std::int64_t(runLeft) + run.size()) {
                closeRun();
                runRow = cell.row;
                runLeft = cell.column;
            }
            run.append(cell.value);
            runCells.push_back(order[k]);
            runCells.insert(runCells.end(), earlier.begin(), earlier.end());
            earlier.clear();
        }
        closeRun();
        return rectangles;
    }

    // Sends the rectangles in order, all in one call where the application
    // can; `sent` counts those the application took.
    void sendRectangles(const std::vector<Rectangle> &rectangles, std::size_t &sent)
    {
        if (rectangles.empty())
            return;
        QElapsedTimer timer;
        timer.start();
        m_application->setRectangles(rectangles, sent);
        if (m_transfer.rowsPerBlock <= 0) {
            const Rectangle &last = rectangles.back();
            sizeBlocks(std::int64_t(last.row) + last.cells.size() - rectangles.front().row, timer.nsecsElapsed());
        }
    }

    // Blocks as large as the application stores in about 20 ms: each call
    // costs the same few round trips to the office whatever it holds, and
    // while the office works the window handles its input every 4 ms (see
    // the application's waits). The size changes at most twofold from block
    // to block.
    void sizeBlocks(std::int64_t rows, qint64 nanoseconds)
    {
        constexpr double target = 20e6;
        const double fitting = double(rows) * target / double(std::max<qint64>(nanoseconds, 1));
        const double bounded = std::clamp(fitting, m_rowsPerBlock / 2.0, m_rowsPerBlock * 2.0);
        m_rowsPerBlock = std::clamp(int(bounded), 16, 65536);
    }

    Dialogs &m_dialogs;
    SheetTransfer m_transfer;
    SpreadsheetApplication *m_application = nullptr;
    std::vector<Cell> m_pending;
    std::vector<Rectangle> m_held;  // rectangles not sent yet, in order
    std::vector<Cell> m_heldCells;  // ... and their cells
    std::jthread m_letGo;           // frees cells sent
    std::int64_t m_blockStart = 1;
    int m_rowsPerBlock;
};

// The procedure's own reports: the cells written before the failing step go
// out first, so that the reports of any of them that fail come first, in the
// order of the steps.
class SendingFirstDialogs : public ForwardingDialogs
{
public:
    SendingFirstDialogs(Dialogs &dialogs, SheetCells &cells)
        : ForwardingDialogs(dialogs)
        , m_cells(cells)
    {
    }
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        m_cells.send();
        ForwardingDialogs::showMessage(title, text, icon);
    }

private:
    SheetCells &m_cells;
};

} // namespace

bool SaveResultsAsExcelFileIsExcelInstalled(CommandHost &host, SpreadsheetFactory &factory)
{
    bool installed = false;
    {
        // Creating the object may wait for the application to start: meanwhile
        // the hourglass shows, so that no other command acts in the meantime.
        const Pointer pointer = host.pointer();
        host.setPointer(Pointer::Hourglass);
        const auto restore = qScopeGuard([&] { host.setPointer(pointer); });
        installed = catchFailures([&] { factory.create().reset(); });
    }
    if (!installed) {
        catchFailures([&] {
            showPlainMessage(host.dialogs(),
                             QStringLiteral("Excel is not installed on this computer. You need to have "
                                            "it installed to use this software without error."));
        });
    }
    return installed;
}

void exportToSpreadsheet(CommandHost &host, const ListSource &list, SpreadsheetFactory &factory, SheetTransfer transfer)
{
    // While a long command shows the hourglass (this one included, reached
    // again from one of its own yields) the button stands aside.
    if (host.busy())
        return;

    std::unique_ptr<SpreadsheetApplication> application;
    // Declared after the application, so that the cells pending when the
    // window closes in the middle still go out, before the application goes.
    SheetCells cells(host.dialogs(), transfer);
    SendingFirstDialogs reports(host.dialogs(), cells);
    Guard guard(reports, clickSource);
    bool haveWorkbook = false;
    std::int32_t row = 0;
    std::int32_t column = 0;

    // What a step that talks to the application needs: the application object
    // and, for the sheet, the workbook. A step whose object is missing fails.
    // Every call to the application may wait for it, and the window may
    // close meanwhile: once it has, the command acts no more.
    const auto app = [&]() -> SpreadsheetApplication & {
        host.endIfClosed();
        if (!application)
            throw Failure(QStringLiteral("The spreadsheet application is not running."));
        return *application;
    };
    const auto sheet = [&]() -> SpreadsheetApplication & {
        SpreadsheetApplication &running = app();
        if (!haveWorkbook)
            throw Failure(QStringLiteral("The spreadsheet application has no workbook open."));
        return running;
    };

    if (guard.test(100, [&] { return !SaveResultsAsExcelFileIsExcelInstalled(host, factory); })) {
        guard.step(178, [&] {
            showPlainMessage(host.dialogs(),
                             QStringLiteral("Excel is not installed on this computer. You need "
                                            "to have it installed to use this feature."));
        });
        return;
    }
    if (guard.test(108, [&] { return list.rows() == 0; }))
        return;
    guard.step(110, [&] { host.setPointer(Pointer::Hourglass); });
    guard.step(112, [&] {
        host.endIfClosed();
        application = factory.create();
    });
    guard.step(114, [&] {
        app().addWorkbook();
        haveWorkbook = true;
    });

    // The header row: the captions of the columns that list row 1 fills.
    guard.step(116, [&] { column = 1; });
    // A step that writes a cell: the sheet first, as it fails first.
    const auto writeCell = [&](int step, std::int32_t sheetRow, const auto &text) {
        guard.step(step, [&] {
            SpreadsheetApplication &running = sheet();
            cells.write(running, step, sheetRow, column, text());
        });
    };
    guard.forLoop(
        118, 136, 1, [&] { return list.columns(); },
        [&](std::int32_t k) {
        guard.step(120, [&] { host.yield(); });
        if (guard.test(122, [&] { return k == 1; })) {
            if (guard.test(124, [&] { return !list.text(1, 1).isEmpty(); })) {
                writeCell(126, 1, [&] { return list.header(k); });
                guard.step(128, [&] { increment(column); });
            }
        } else {
            if (guard.test(130, [&] { return !list.text(1, k).isEmpty(); })) {
                writeCell(132, 1, [&] { return list.header(k); });
                guard.step(134, [&] { increment(column); });
            }
        }
        });
    cells.rowsDone(2);

    // One sheet row per list row; the unticked ones stay blank.
    guard.step(138, [&] { row = 2; });
    guard.forLoop(
        140, 170, 1, [&] { return list.rows(); },
        [&](std::int32_t r) {
        guard.step(142, [&] { host.yield(); });
        if (guard.test(144, [&] { return list.checked(r); })) {
            guard.step(146, [&] { column = 1; });
            guard.forLoop(
                148, 166, 1, [&] { return list.columns(); },
                [&](std::int32_t k) {
                guard.step(150, [&] { host.yield(); });
                if (guard.test(152, [&] { return k == 1; })) {
                    if (guard.test(154, [&] { return !list.text(r, 1).isEmpty(); })) {
                        writeCell(156, row, [&] { return list.text(r, 1); });
                        guard.step(158, [&] { increment(column); });
                    }
                } else {
                    if (guard.test(160, [&] { return !list.text(r, k).isEmpty(); })) {
                        writeCell(162, row, [&] { return withoutEqualsSigns(list.text(r, k)); });
                        guard.step(164, [&] { increment(column); });
                    }
                }
                });
        }
        guard.step(168, [&] { increment(row); });
        cells.rowsDone(row);
        });
    cells.send();

    guard.step(172, [&] { sheet().autofitColumns(); });
    guard.step(174, [&] { app().setVisible(true); });
    guard.step(176, [&] { host.setPointer(Pointer::Normal); });
    // The application object is released here; its workbook stays open in it.
}
