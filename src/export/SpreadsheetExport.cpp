#include "export/SpreadsheetExport.h"

#include "export/Spreadsheet.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/ListSource.h"

#include <cstdint>
#include <limits>
#include <memory>

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

} // namespace

bool SaveResultsAsExcelFileIsExcelInstalled(Dialogs &dialogs, SpreadsheetFactory &factory)
{
    bool result = true;
    bool failed = false;
    try {
        factory.create().reset();
    } catch (const ProgramEnding &) {
        throw;
    } catch (...) {
        failed = true;
    }
    if (failed) {
        try {
            showPlainMessage(dialogs, QStringLiteral("Excel is not installed on this computer. You need to have "
                                                     "it installed to use this software without error."));
        } catch (const ProgramEnding &) {
            throw;
        } catch (...) {
        }
        result = false;
    }
    return result;
}

void PushButton13_Click(CommandHost &host, const ListSource &list, SpreadsheetFactory &factory)
{
    // While a long command shows the hourglass (this one included, reached
    // again from one of its own yields) the button stands aside.
    if (host.busy())
        return;

    Guard guard(host.dialogs(), clickSource);
    std::unique_ptr<SpreadsheetApplication> application;
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
    guard.forLoop(118, 136, 1, [&] { return list.columns(); }, [&](std::int32_t k) {
        guard.step(120, [&] { host.yield(); });
        if (guard.test(122, [&] { return k == 1; })) {
            if (guard.test(124, [&] { return !list.text(1, 1).isEmpty(); })) {
                guard.step(126, [&] { sheet().setCell(1, column, list.header(k)); });
                guard.step(128, [&] { increment(column); });
            }
        } else {
            if (guard.test(130, [&] { return !list.text(1, k).isEmpty(); })) {
                guard.step(132, [&] { sheet().setCell(1, column, list.header(k)); });
                guard.step(134, [&] { increment(column); });
            }
        }
    });

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
                        guard.step(156, [&] { sheet().setCell(row, column, list.text(r, 1)); });
                        guard.step(158, [&] { increment(column); });
                    }
                } else {
                    if (guard.test(160, [&] { return !list.text(r, k).isEmpty(); })) {
                        guard.step(162, [&] { sheet().setCell(row, column, withoutEqualsSigns(list.text(r, k))); });
                        guard.step(164, [&] { increment(column); });
                    }
                }
            });
        }
        guard.step(168, [&] { increment(row); });
    });

    guard.step(172, [&] { sheet().autofitColumns(); });
    guard.step(174, [&] { app().setVisible(true); });
    guard.step(176, [&] { host.setPointer(Pointer::Normal); });
    // The application object is released here; its workbook stays open in it.
}
