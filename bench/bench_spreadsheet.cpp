// The spreadsheet export into a new Calc document of a real headless
// LibreOffice, in one run: cell by cell (one call per cell, as the export
// worked before blocks) beside the export in blocks, for 10,000 and 100,000
// ticked rows (10,000: the median of three), the two again with every other
// row ticked (the blocks then hold one cell each: only the cells written go
// out, so that those between keep what the user typed there), then the blocks
// alone for 1,000,000 rows. Each export has a fresh office, warmed up by a one-row
// export, and is timed apart from the office's start.
//
// Beside them, in the same run: a seeded random 10% of the rows ticked, and
// the blocks of as many contiguous rows as every other row and the 10% tick,
// for what a pattern of ticks costs beside its cells; and the office's own
// import of the same rows from a file (a tab-separated text file, one text
// column, into a new document, in a fresh office warmed up as above and timed
// as the export is), for the export's speed beside the office's own, with
// the processor time the office and this process spent on each, which the
// load on the machine moves less than the times.
//
// The host lets the event loop run at most every 4 ms, as the window does.
// A window of the bench always has a key press waiting in the window
// system's queue: the longest time between two keys it gets, from the click
// to the end of the command, is the longest wait for input. Each mode runs
// twice: as the program does, handling input while it waits for the office
// too, and ("held") as it did before, holding input back during each call
// into the office. The steps before the rows go out (the new document) and
// after the last yield are timed on their own: the export hands every row
// to Calc at once at the end, so "fit and show" holds that call too.
//
//     bench_spreadsheet [rows...]    other row counts than 10,000 and 100,000
//     bench_spreadsheet --million    the 1,000,000 rows alone

#include "export/libreoffice/LibreOffice.h"
#include "export/libreoffice/LibreOfficeUno.h"
#include "export/SpreadsheetExport.h"
#include "generate/ResultList.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <random>
#include <time.h>
#include <unistd.h>
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

// A window with a key press always waiting for it while it measures.
class InputProbe : public QWindow
{
public:
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_keys = 0;
        m_long = 0;
        m_measuring = true;
        if (!isVisible())
            show();
        press();
    }
    void stop()
    {
        note();
        m_measuring = false;
        QCoreApplication::processEvents(); // the last key, unmeasured
    }
    double longestWaitMs() const { return double(m_longest) / 1e6; }
    int keys() const { return m_keys; }
    int longWaits() const { return m_long; }

protected:
    void keyPressEvent(QKeyEvent *) override
    {
        if (!m_measuring)
            return;
        note();
        ++m_keys;
        // The next key once this one is handled: from the window system's
        // queue, it would come in the same dispatch.
        QMetaObject::invokeMethod(
            this, [this] { press(); }, Qt::QueuedConnection);
    }

private:
    void press()
    {
        if (m_measuring)
            QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
                this, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    }
    void note()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_long += now - m_last > 10'000'000 ? 1 : 0;
        m_last = now;
    }

    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_keys = 0;
    int m_long = 0;
    bool m_measuring = false;
};

struct Timing
{
    double seconds = 0;
    double longestWaitMs = 0; // for input, from the click to the end
    int waits = 0;            // keys handled meanwhile
    int longWaits = 0;        // ... that came more than 10 ms after the one before
    double beforeSeconds = 0; // from the click to the first yield
    double afterSeconds = 0;  // from the last yield to the end
    double officeCpu = 0;     // processor seconds the office spent, from the click to the end
    double ownCpu = 0;        // ... and this process, all its threads
};

// Processor seconds spent so far by this process, with all its threads.
double ownCpuSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

// Processor seconds spent so far by the processes of the office started
// with launcher `launcher`, which leads their session: they outlive the
// load on the machine better than the times do.
double officeCpuSeconds(qint64 launcher)
{
    double seconds = 0;
    const long ticks = sysconf(_SC_CLK_TCK);
    for (const QString &process : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(QStringLiteral("/proc/%1/stat").arg(process));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = file.readAll();
        // After the name: state, parent, group, session, ..., user and system time (fields 14 and 15).
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12 && fields[3].toLongLong() == launcher)
            seconds += double(fields[11].toLongLong() + fields[12].toLongLong()) / double(ticks);
    }
    return seconds;
}

class BenchHost : public CommandHost
{
public:
    Dialogs &dialogs() override { return m_dialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override { m_pointer = pointer; }
    void yield() override
    {
        // As the window's, which reads the clock every 16 calls: the last
        // yield is known to within 15 calls.
        if (m_firstYield >= 0 && (++m_yieldCalls & 15) != 0)
            return;
        const qint64 now = m_clock.nsecsElapsed();
        if (m_firstYield < 0) {
            m_firstYield = now;
            m_lastDispatch = now;
        } else if (now - m_lastDispatch >= 4'000'000) {
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
        m_clock.start();
        m_probe.start();
        exportToSpreadsheet(*this, list, factory, transfer);
        const qint64 end = m_clock.nsecsElapsed();
        m_probe.stop();
        Timing timing;
        timing.seconds = double(end) / 1e9;
        timing.longestWaitMs = m_probe.longestWaitMs();
        timing.waits = m_probe.keys();
        timing.longWaits = m_probe.longWaits();
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
    unsigned m_yieldCalls = 0;
    InputProbe m_probe;
};

class Bench
{
public:
    explicit Bench(bool holdInput)
    {
        // As the office's waits did before they handled input.
        if (holdInput)
            m_options.whileWaiting = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
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
        const double office = officeCpuSeconds(m_factory->officeProcessId());
        const double own = ownCpuSeconds();
        Timing timing = m_host.click(list, *m_factory, transfer);
        timing.officeCpu = officeCpuSeconds(m_factory->officeProcessId()) - office;
        timing.ownCpu = ownCpuSeconds() - own;
        return timing;
    }

    Timing median(const ListSource &list, SheetTransfer transfer, int runs)
    {
        std::vector<Timing> timings;
        for (int i = 0; i < runs; ++i)
            timings.push_back(run(list, transfer));
        std::sort(timings.begin(), timings.end(),
                  [](const Timing &a, const Timing &b) { return a.seconds < b.seconds; });
        return timings[timings.size() / 2];
    }

    // The office's own import of the ticked rows of `list`'s first column:
    // the rows written to a tab-separated file first (not timed), then
    // opened, the column as text, as a new document of a fresh office.
    // `officeCpu`: the processor seconds the office spent on it.
    double officeImport(const ListSource &list, double *officeCpu = nullptr)
    {
        const QString path = m_profiles.filePath(QStringLiteral("rows.txt"));
        {
            QByteArray text;
            for (int row = 1; row <= list.rows(); ++row) {
                if (list.checked(row))
                    text += list.text(row, 1).toUtf8() + '\n';
            }
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
                qFatal("the rows' file could not be written");
        }
        m_factory.reset();
        m_factory.emplace(m_options);
        m_host.click(m_warmUp, *m_factory, SheetTransfer{});
        using css::beans::PropertyValue;
        PropertyValue filter;
        filter.Name = "FilterName";
        filter.Value <<= rtl::OUString("Text - txt - csv (StarCalc)");
        PropertyValue options;
        options.Name = "FilterOptions";
        options.Value <<= rtl::OUString("9,34,76,1,1/2"); // tabs, quotes, UTF-8, from line 1, column 1 text
        PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= true;
        const PropertyValue all[] = {filter, options, hidden};
        const css::uno::Sequence<PropertyValue> arguments(all, 3);
        const auto desktop = css::frame::Desktop::create(LibreOfficeUno::connect(m_factory->officeAddress()));
        const rtl::OUString url = LibreOfficeUno::toOUString(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
        const double cpu = officeCpuSeconds(m_factory->officeProcessId());
        QElapsedTimer timer;
        timer.start();
        const auto document = desktop->loadComponentFromURL(url, "_blank", 0, arguments);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (officeCpu)
            *officeCpu = officeCpuSeconds(m_factory->officeProcessId()) - cpu;
        if (!document.is())
            qFatal("the office did not import the rows");
        css::uno::Reference<css::util::XCloseable>(document, css::uno::UNO_QUERY_THROW)->close(true);
        QFile::remove(path);
        return seconds;
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

// Rows 1 to `rows`, of which `ticked` are ticked: a seeded random choice.
void fillRandomly(ResultList &list, int rows, int ticked)
{
    fill(list, rows);
    std::vector<int> order(std::size_t(rows), 0);
    std::iota(order.begin(), order.end(), 1);
    std::mt19937 random(28);
    std::shuffle(order.begin(), order.end(), random);
    for (int i = ticked; i < rows; ++i)
        list.setChecked(order[std::size_t(i)], false);
}

void printImport(int rows, double seconds)
{
    std::printf("%-19s %9d rows %7.2f s %6.1f us/row   (the office's own, from a text file)\n", "office import", rows,
                seconds, seconds / rows * 1e6);
    std::fflush(stdout);
}

// The processor time of an export beside the office's own import: what the
// two cost apart from the load on the machine.
void printCpu(int rows, const Timing &timing, double importCpu)
{
    std::printf("%-19s %9d rows office %6.2f s, ours %6.2f s; the office's import %6.2f s: %.2f and %.2f times\n",
                "processor", rows, timing.officeCpu, timing.ownCpu, importCpu, timing.officeCpu / importCpu,
                (timing.officeCpu + timing.ownCpu) / importCpu);
    std::fflush(stdout);
}

void printRow(const char *label, int rows, const Timing &timing)
{
    std::printf("%-19s %9d rows %7.2f s %6.1f us/row   input: longest wait %7.1f ms, %d of %d keys over 10 ms   "
                "(document %.2f s, fit and show %.2f s)\n",
                label, rows, timing.seconds, timing.seconds / rows * 1e6, timing.longestWaitMs, timing.longWaits,
                timing.waits, timing.beforeSeconds, timing.afterSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const bool millionOnly = argc == 2 && QByteArray(argv[1]) == "--million";
    std::vector<int> counts;
    for (int i = 1; i < argc && !millionOnly; ++i)
        counts.push_back(QByteArray(argv[i]).toInt());
    if (argc == 1)
        counts = {10'000, 100'000};

    Bench bench(false);
    Bench held(true);
    ResultList list;
    list.addColumn(QStringLiteral("Result(s)"));
    for (const int rows : counts) {
        fill(list, rows);
        const int runs = rows <= 10'000 ? 3 : 1;
        const Timing cells = bench.median(list, SheetTransfer{.cellByCell = true}, runs);
        printRow("cell by cell", rows, cells);
        printRow("cell by cell, held", rows, held.run(list, SheetTransfer{.cellByCell = true}));
        const Timing blocks = bench.median(list, SheetTransfer{}, runs);
        printRow("blocks", rows, blocks);
        printRow("blocks, held", rows, held.run(list, SheetTransfer{}));
        std::printf("%-19s %9d rows %7.1f times faster in blocks\n", "ratio", rows, cells.seconds / blocks.seconds);

        for (int row = 2; row <= rows; row += 2)
            list.setChecked(row, false);
        const Timing sparseCells = bench.run(list, SheetTransfer{.cellByCell = true});
        printRow("cell by cell, 1/2", rows, sparseCells);
        const Timing sparseBlocks = bench.run(list, SheetTransfer{});
        printRow("blocks, 1/2", rows, sparseBlocks);
        std::printf("%-19s %9d rows %7.1f times faster in blocks\n", "ratio, 1/2", rows,
                    sparseCells.seconds / sparseBlocks.seconds);

        // What a pattern of ticks costs beside as many contiguous rows.
        fillRandomly(list, rows, rows / 10);
        const Timing scattered = bench.run(list, SheetTransfer{});
        printRow("blocks, 10%", rows, scattered);
        fill(list, rows / 2);
        const Timing half = bench.run(list, SheetTransfer{});
        printRow("blocks", rows / 2, half);
        fill(list, rows / 10);
        const Timing tenth = bench.run(list, SheetTransfer{});
        printRow("blocks", rows / 10, tenth);
        std::printf("%-19s %9d rows %7.2f times the time of %d contiguous rows\n", "cost, 1/2", rows,
                    sparseBlocks.seconds / half.seconds, rows / 2);
        std::printf("%-19s %9d rows %7.2f times the time of %d contiguous rows\n", "cost, 10%", rows,
                    scattered.seconds / tenth.seconds, rows / 10);
        fill(list, rows);
        double importCpu = 0;
        const double imported = bench.officeImport(list, &importCpu);
        printImport(rows, imported);
        std::printf("%-19s %9d rows %7.2f times the office's own import\n", "cost, import", rows,
                    blocks.seconds / imported);
        printCpu(rows, blocks, importCpu);
    }
    if (argc == 1 || millionOnly) {
        fill(list, 1'000'000);
        const Timing blocks = bench.run(list, SheetTransfer{});
        printRow("blocks", 1'000'000, blocks);
        printRow("blocks, held", 1'000'000, held.run(list, SheetTransfer{}));
        double importCpu = 0;
        const double imported = bench.officeImport(list, &importCpu);
        printImport(1'000'000, imported);
        std::printf("%-19s %9d rows %7.2f times the office's own import\n", "cost, import", 1'000'000,
                    blocks.seconds / imported);
        printCpu(1'000'000, blocks, importCpu);
    }
    std::printf("office start, connection and first document: up to %.2f s (not counted above)\n",
                std::max(bench.officeStart(), held.officeStart()));
    std::printf("messages: %d\n", bench.messages() + held.messages());
    return bench.messages() + held.messages() == 0 ? 0 : 1;
}
