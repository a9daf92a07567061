#include "export/SpreadsheetExport.h"

#include "export/Spreadsheet.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/ListSource.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
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
// the application in blocks of sheet rows. A block it does not take is
// written again cell by cell, and each cell that fails is reported with the
// step that wrote it. Cell by cell (SheetTransfer::cellByCell) every cell goes
// out at once, in its own step.
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

    // The sheet rows before `nextRow` are complete: a full block goes out.
    void rowsDone(std::int32_t nextRow)
    {
        if (m_transfer.cellByCell || std::int64_t(nextRow) - m_blockStart < m_rowsPerBlock)
            return;
        send();
        m_blockStart = nextRow;
    }

    // Sends the pending cells as one block; when the application does not
    // take it, writes them one by one, reporting each that fails.
    void send()
    {
        if (m_pending.empty())
            return;
        const std::vector<Cell> cells = std::exchange(m_pending, {});
        catchFailures([&] { sendBlock(cells); }, [&] {
            Guard guard(m_dialogs, clickSource);
            for (const Cell &cell : cells)
                guard.step(cell.step, [&] { m_application->setCell(cell.row, cell.column, cell.value); });
        });
    }

private:
    // Sends the pending cells as one block, or not at all; reports nothing.
    // It runs as the command unwinds, so nothing may leave it, not even
    // ProgramEnding.
    void sendQuietly() noexcept
    {
        try {
            sendBlock(std::exchange(m_pending, {}));
        } catch (...) {
        }
    }

    struct Cell
    {
        int step;
        std::int32_t row;
        std::int32_t column;
        QString value;
    };

    void sendBlock(const std::vector<Cell> &cells)
    {
        if (cells.empty())
            return;
        std::int32_t top = cells.front().row;
        std::int32_t bottom = top;
        std::int32_t left = cells.front().column;
        for (const Cell &cell : cells) {
            top = std::min(top, cell.row);
            bottom = std::max(bottom, cell.row);
            left = std::min(left, cell.column);
        }
        // Written in the order of the steps: a cell written twice keeps its last text.
        QList<QStringList> block(qsizetype(bottom) - top + 1);
        for (const Cell &cell : cells) {
            QStringList &texts = block[cell.row - top];
            const qsizetype index = qsizetype(cell.column) - left;
            if (texts.size() <= index)
                texts.resize(index + 1);
            texts[index] = cell.value;
        }
        QElapsedTimer timer;
        timer.start();
        m_application->setCells(top, left, block);
        if (m_transfer.rowsPerBlock <= 0)
            sizeBlocks(block.size(), timer.nsecsElapsed());
    }

    // Blocks as large as the application stores in about 3 ms: with the
    // window's own 4 ms between dispatches, it handles its input at least
    // every 10 ms. The size changes at most twofold from block to block.
    void sizeBlocks(qsizetype rows, qint64 nanoseconds)
    {
        constexpr double target = 3e6;
        const double fitting = double(rows) * target / double(std::max<qint64>(nanoseconds, 1));
        const double bounded = std::clamp(fitting, m_rowsPerBlock / 2.0, m_rowsPerBlock * 2.0);
        m_rowsPerBlock = std::clamp(int(bounded), 16, 16384);
    }

    Dialogs &m_dialogs;
    SheetTransfer m_transfer;
    SpreadsheetApplication *m_application = nullptr;
    std::vector<Cell> m_pending;
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

bool SaveResultsAsExcelFileIsExcelInstalled(Dialogs &dialogs, SpreadsheetFactory &factory)
{
    const bool installed = catchFailures([&] { factory.create().reset(); });
    if (!installed) {
        catchFailures([&] {
            showPlainMessage(dialogs, QStringLiteral("Excel is not installed on this computer. You need to have "
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
    const auto app = [&]() -> SpreadsheetApplication & {
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

    if (guard.test(100, [&] { return !SaveResultsAsExcelFileIsExcelInstalled(host.dialogs(), factory); })) {
        guard.step(178, [&] {
            showPlainMessage(host.dialogs(), QStringLiteral("Excel is not installed on this computer. You need "
                                                            "to have it installed to use this feature."));
        });
        return;
    }
    if (guard.test(108, [&] { return list.rows() == 0; }))
        return;
    guard.step(110, [&] { host.setPointer(Pointer::Hourglass); });
    guard.step(112, [&] { application = factory.create(); });
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
    guard.forLoop(118, 136, 1, [&] { return list.columns(); }, [&](std::int32_t k) {
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
    guard.forLoop(140, 170, 1, [&] { return list.rows(); }, [&](std::int32_t r) {
        guard.step(142, [&] { host.yield(); });
        if (guard.test(144, [&] { return list.checked(r); })) {
            guard.step(146, [&] { column = 1; });
            guard.forLoop(148, 166, 1, [&] { return list.columns(); }, [&](std::int32_t k) {
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
