// The command line's speed and memory:
// - 1,000,000 places, all fields, to a file, by the built program (start-up
//   and database included) and by the same code called in this process,
//   beside one fwrite of the same bytes from the same run (targets: at most
//   0.3 s, and at most 4 times the fwrite);
// - 50,000,000 places streamed to /dev/null by the built program, with its
//   peak memory (target: under 64 MB).

#include "cli/CommandLine.h"
#include "BenchTiming.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

const QString program = QStringLiteral(ORVELLE_PROGRAM);

// Runs the built program to the end; its time in seconds.
double runProgram(const QStringList &arguments, bool toDevNull = false)
{
    QProcess process;
    if (toDevNull)
        process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return double(timer.nsecsElapsed()) / 1e9;
}

// The largest resident memory of any child that has ended, in MB.
double childPeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void timeFile(const char *format, const QTemporaryDir &folder)
{
    const QString path = folder.filePath(QStringLiteral("places.") + QLatin1String(format));
    const QStringList arguments{QStringLiteral("--count"), QStringLiteral("1000000"), QStringLiteral("--seed"),
                                QStringLiteral("1"), QStringLiteral("--format"), QLatin1String(format),
                                QStringLiteral("--output"), path};
    QList<double> programTimes;
    QList<double> inProcessTimes;
    for (int run = 0; run < 5; ++run) {
        programTimes.append(runProgram(arguments));
        QElapsedTimer timer;
        timer.start();
        if (runCommandLine(QStringList{program} + arguments, QFileInfo(program).absolutePath()) != 0)
            qFatal("the command line failed");
        inProcessTimes.append(double(timer.nsecsElapsed()) / 1e9);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no output");
    const QByteArray bytes = file.readAll();
    const double plain = fwriteSeconds(bytes, folder.filePath(QStringLiteral("plain")));
    const double synced = fwriteSeconds(bytes, folder.filePath(QStringLiteral("plain")), true);
    const double whole = median(programTimes);
    const double inProcess = median(inProcessTimes);
    std::printf("1,000,000 places, all fields, %s to a file (%.1f MB), median of 5:\n"
                "  the program %.3f s = %.1f x fwrite (target: <= 0.3 s, <= 4 x)\n"
                "  in process  %.3f s = %.1f x fwrite\n"
                "  one fwrite of the same bytes %.3f s; with the fdatasync the saved file also gets %.3f s\n",
                format, double(bytes.size()) / 1e6, whole, whole / plain, inProcess, inProcess / plain, plain, synced);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;

    // The streamed runs first, while no other child has raised the peak.
    for (const char *format : {"text", "csv"}) {
        const double seconds = runProgram({QStringLiteral("--count"), QStringLiteral("50000000"),
                                           QStringLiteral("--format"), QLatin1String(format)},
                                          true);
        std::printf("50,000,000 places, all fields, %s to /dev/null: %.2f s, peak memory of the runs so far "
                    "%.1f MB (target: < 64 MB)\n",
                    format, seconds, childPeakMegabytes());
    }
    for (const char *format : {"text", "csv"})
        timeFile(format, folder);
    return 0;
}
