// The spreadsheet export into a new Calc document of a real headless
// LibreOffice, in one run: cell by cell (one call per cell, as the export
// worked before blocks) beside the export in blocks, for 10,000 and 100,000
// ticked rows (10,000: the median of three), then the blocks alone for
// 1,000,000 rows. Each export has a fresh office, warmed up by a one-row
// export, and is timed apart from the office's start.
//
// The host lets the event loop run at most every 4 ms, as the window does,
// and notes the longest wait for input (between two dispatches) while the
// rows go out: from the export's first yield to its last. The steps before
// (the new document) and after (fitting the columns, showing the window) are
// single calls into the office and are timed on their own.
//
//     bench_spreadsheet [rows...]    other row counts than 10,000 and 100,000

#include "export/LibreOffice.h"
#include "export/SpreadsheetExport.h"
#include "generate/ResultList.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

class CountingDialogs : public Dialogs
{
public:
    void showMessage(const QString &, const QString &text, Icon) override
    {
        if (++shown <= 3)
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString getSaveFileName(const QString &, const QString &) override { return QString(); }

    int shown = 0;
};

class NullProgress : public ProgressIndicator
{
public:
    void setValue(double) override {}
    double value() const override { return 0; }
    void setText(const QString &) override {}
    QString text() const override { return QString(); }
};

struct Timing
{
    double seconds = 0;
    double longestWaitMs = 0; // for input, while the rows go out
    int waits = 0;            // dispatches while the rows go out
    int longWaits = 0;        // ... that came more than 10 ms after the one before
    double beforeSeconds = 0; // from the click to the first yield
    double afterSeconds = 0;  // from the last yield to the end
};

class BenchHost : public CommandHost
{
public:
    Dialogs &dialogs() override { return m_dialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override { m_pointer = pointer; }
    void yield() override
    {
        const qint64 now = m_clock.nsecsElapsed();
        if (m_firstYield < 0) {
            m_firstYield = now;
            m_lastDispatch = now;
        } else if (now - m_lastDispatch >= 4'000'000) {
            m_longestWait = std::max(m_longestWait, now - m_lastDispatch);
            ++m_waits;
            m_longWaits += now - m_lastDispatch > 10'000'000 ? 1 : 0;
            QCoreApplication::processEvents();
            m_lastDispatch = m_clock.nsecsElapsed();
        }
        m_lastYield = now;
    }
    ProgressIndicator &progress() override { return m_progress; }
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }

    Timing click(const ListSource &list, SpreadsheetFactory &factory, SheetTransfer transfer)
    {
        m_firstYield = -1;
        m_longestWait = 0;
        m_waits = 0;
        m_longWaits = 0;
        m_clock.start();
        PushButton13_Click(*this, list, factory, transfer);
        const qint64 end = m_clock.nsecsElapsed();
        Timing timing;
        timing.seconds = double(end) / 1e9;
        timing.longestWaitMs = double(std::max(m_longestWait, m_lastYield - m_lastDispatch)) / 1e6;
        timing.waits = m_waits;
        timing.longWaits = m_longWaits;
        timing.beforeSeconds = double(m_firstYield) / 1e9;
        timing.afterSeconds = double(end - m_lastYield) / 1e9;
        return timing;
    }

    CountingDialogs m_dialogs;

private:
    NullProgress m_progress;
    Pointer m_pointer = Pointer::Normal;
    QElapsedTimer m_clock;
    qint64 m_firstYield = -1;
    qint64 m_lastYield = 0;
    qint64 m_lastDispatch = 0;
    qint64 m_longestWait = 0;
    int m_waits = 0;
    int m_longWaits = 0;
};

class Bench
{
public:
    Bench()
    {
        m_options.headless = true;
        m_options.profileParent = m_profiles.path();
        m_warmUp.addColumn(QStringLiteral("Result(s)"));
        m_warmUp.append(QStringLiteral("Holtsville, NY 00501"));
        m_warmUp.setAllChecked(true);
    }

    // One export of `list` in a fresh office.
    Timing run(const ListSource &list, SheetTransfer transfer)
    {
        m_factory.reset();
        m_factory.emplace(m_options);
        QElapsedTimer start;
        start.start();
        m_host.click(m_warmUp, *m_factory, transfer);
        m_officeStart = std::max(m_officeStart, double(start.nsecsElapsed()) / 1e9);
        return m_host.click(list, *m_factory, transfer);
    }

    Timing median(const ListSource &list, SheetTransfer transfer, int runs)
    {
        std::vector<Timing> timings;
        for (int i = 0; i < runs; ++i)
            timings.push_back(run(list, transfer));
        std::sort(timings.begin(), timings.end(), [](const Timing &a, const Timing &b) { return a.seconds < b.seconds; });
        return timings[timings.size() / 2];
    }

    int messages() const { return m_host.m_dialogs.shown; }
    double officeStart() const { return m_officeStart; }

private:
    QTemporaryDir m_profiles;
    LibreOfficeOptions m_options;
    std::optional<LibreOfficeFactory> m_factory;
    BenchHost m_host;
    ResultList m_warmUp;
    double m_officeStart = 0;
};

void fill(ResultList &list, int rows)
{
    list.clear();
    list.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i)
        list.append(QStringLiteral("Holtsville, NY %1").arg(501 + i % 99000, 5, 10, QLatin1Char('0')));
    list.setAllChecked(true);
}

void printRow(const char *label, int rows, const Timing &timing)
{
    std::printf("%-13s %9d rows %7.2f s %6.1f us/row   input: longest wait %5.1f ms, %d of %d waits over 10 ms   "
                "(document %.2f s, fit and show %.2f s)\n",
                label, rows, timing.seconds, timing.seconds / rows * 1e6, timing.longestWaitMs, timing.longWaits,
                timing.waits, timing.beforeSeconds, timing.afterSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(QByteArray(argv[i]).toInt());
    if (counts.empty())
        counts = {10'000, 100'000};

    Bench bench;
    ResultList list;
    list.addColumn(QStringLiteral("Result(s)"));
    for (const int rows : counts) {
        fill(list, rows);
        const int runs = rows <= 10'000 ? 3 : 1;
        const Timing cells = bench.median(list, SheetTransfer{.cellByCell = true}, runs);
        printRow("cell by cell", rows, cells);
        const Timing blocks = bench.median(list, SheetTransfer{}, runs);
        printRow("blocks", rows, blocks);
        std::printf("%-13s %9d rows %7.1f times faster in blocks\n", "ratio", rows, cells.seconds / blocks.seconds);
    }
    if (argc == 1) {
        fill(list, 1'000'000);
        printRow("blocks", 1'000'000, bench.run(list, SheetTransfer{}));
    }
    std::printf("office start, connection and first document: up to %.2f s (not counted above)\n",
                bench.officeStart());
    std::printf("messages: %d\n", bench.messages());
    return bench.messages() == 0 ? 0 : 1;
}
