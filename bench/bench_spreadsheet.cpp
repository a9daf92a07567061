// Times the spreadsheet export of 10,000 ticked rows into a new Calc document
// of a real headless LibreOffice (target: 5 s; the median of three runs),
// apart from the office's start.
// The host lets the event loop run at most every 4 ms, as the window does.
// The office runs in a temporary profile and is ended at the end.

#include "export/LibreOffice.h"
#include "export/SpreadsheetExport.h"
#include "generate/ResultList.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class CountingDialogs : public Dialogs
{
public:
    void showMessage(const QString &, const QString &text, Icon) override
    {
        ++shown;
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

class BenchHost : public CommandHost
{
public:
    BenchHost() { m_sinceDispatch.start(); }

    Dialogs &dialogs() override { return m_dialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override { m_pointer = pointer; }
    void yield() override
    {
        ++yields;
        if (m_sinceDispatch.nsecsElapsed() < 4'000'000)
            return;
        QCoreApplication::processEvents();
        ++dispatches;
        m_sinceDispatch.start();
    }
    ProgressIndicator &progress() override { return m_progress; }
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }

    CountingDialogs m_dialogs;
    long yields = 0;
    long dispatches = 0;

private:
    NullProgress m_progress;
    Pointer m_pointer = Pointer::Normal;
    QElapsedTimer m_sinceDispatch;
};

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 10'000;

    ResultList list;
    list.addColumn(QStringLiteral("Result(s)"));
    for (int i = 0; i < rows; ++i)
        list.append(QStringLiteral("Holtsville, NY %1").arg(501 + i % 99000, 5, 10, QLatin1Char('0')));
    list.setAllChecked(true);

    QTemporaryDir profiles;
    LibreOfficeOptions options;
    options.headless = true;
    options.profileParent = profiles.path();
    LibreOfficeFactory factory(options);
    BenchHost host;

    // The first application object starts the office and connects to it.
    QElapsedTimer timer;
    timer.start();
    try {
        factory.create();
    } catch (const Failure &failure) {
        std::fprintf(stderr, "LibreOffice could not be started: %s\n", qPrintable(failure.description()));
        return 1;
    }
    std::printf("office start and connection: %.2f s\n", seconds(timer));

    // Three exports, each into a new document of the same office.
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        timer.start();
        PushButton13_Click(host, list, factory);
        times.push_back(seconds(timer));
        std::printf("export of %d ticked rows:     %.2f s (%.0f us per row)\n", rows, times.back(),
                    times.back() / rows * 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("median export:                %.2f s (target 5 s)\n", times[1]);
    std::printf("yields: %ld, event dispatches: %ld, messages: %d\n", host.yields, host.dispatches,
                host.m_dialogs.shown);

    timer.start();
    factory.shutDown();
    std::printf("office shut down:             %.2f s\n", seconds(timer));
    return host.m_dialogs.shown == 0 ? 0 : 1;
}
