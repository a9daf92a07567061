// The command line's speed and memory, each against a baseline measured in
// the same run:
// - 1,000,000 places, default format, to a file: the built program (start-up,
//   database and the file's sync included) beside a bare C++ loop that reads
//   the same table, draws and writes each line with stdio (target: at most
//   1.2 times the loop);
// - 1,000,000 places, all columns, jsonl, to a file: the program beside one
//   fwrite of the same bytes (target: at most 4 times);
// - the same with the area code and the phone, which each draw fills in,
//   beside the nine columns there were before them (target: at most 1.2 times);
// - weighted draws beside uniform ones, 1, 10 and 50 million places to
//   /dev/null, by wall time and by processor time (target: at most 1.2 times);
// - 50,000,000 places of each format streamed to /dev/null, with each run's
//   peak memory (target: under 64 MB).

#include "cli/CommandLine.h"
#include "BenchTiming.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

const QString program = QStringLiteral(ORVELLE_PROGRAM);

struct Measure
{
    double seconds = 0;
    double cpuSeconds = 0; // user and system: less disturbed by other work on the machine
    double peakMegabytes = 0;
};

// Runs the built program to the end, its standard output to `output`; its
// time and its own peak memory.
Measure runProgram(const QStringList &arguments, const char *output = "/dev/null")
{
    std::vector<std::string> strings{program.toStdString()};
    for (const QString &argument : arguments)
        strings.push_back(argument.toStdString());
    std::vector<char *> argv;
    for (std::string &string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QElapsedTimer timer;
    timer.start();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        qFatal("%s could not be started", argv[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    Measure measure{double(timer.nsecsElapsed()) / 1e9, seconds(usage.ru_utime) + seconds(usage.ru_stime),
                    double(usage.ru_maxrss) / 1024.0};
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s %s failed", argv[0], qPrintable(arguments.join(QLatin1Char(' '))));
    return measure;
}

// The median wall time and the least processor time of `runs` runs.
std::pair<double, double> timeProgram(const QStringList &arguments, int runs = 5)
{
    QList<double> times;
    double cpu = 1e9;
    for (int run = 0; run < runs; ++run) {
        const Measure measure = runProgram(arguments);
        times.append(measure.seconds);
        cpu = std::min(cpu, measure.cpuSeconds);
    }
    return {median(times), cpu};
}

// The bare loop: the table's lines read from the database, then each draw's
// line written with stdio, as a small hand-written tool would.
double bareLoopSeconds(const QString &path, std::uint64_t count, bool synced)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr;
    const QString database = QFileInfo(program).absolutePath() + QStringLiteral("/zipbase.mdb");
    sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT city, state, zip FROM places ORDER BY rowid", -1, &statement, nullptr);
    std::vector<std::string> lines;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        lines.push_back(std::string(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))) + ", "
                        + reinterpret_cast<const char *>(sqlite3_column_text(statement, 1)) + " "
                        + reinterpret_cast<const char *>(sqlite3_column_text(statement, 2)) + "\n");
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    FILE *file = std::fopen(path.toLocal8Bit().constData(), "wb");
    std::uint64_t state = 1;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        const std::string &line = lines[std::size_t((static_cast<unsigned __int128>(z) * lines.size()) >> 64)];
        std::fwrite(line.data(), 1, line.size(), file);
    }
    if (synced) {
        std::fflush(file);
        fdatasync(fileno(file));
    }
    std::fclose(file);
    return double(timer.nsecsElapsed()) / 1e9;
}

QStringList toFile(const QString &path, const QStringList &more = {})
{
    return QStringList{QStringLiteral("--count"), QStringLiteral("1000000"),  QStringLiteral("--seed"),
                       QStringLiteral("1"),       QStringLiteral("--output"), path}
    + more;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("places"));

    for (const char *format : {"plain", "aligned", "csv", "tsv", "jsonl", "json"}) {
        QStringList arguments{QStringLiteral("--count"), QStringLiteral("50000000"), QStringLiteral("--format"),
                              QLatin1String(format)};
        if (QLatin1String(format) != QLatin1String("aligned"))
            arguments << QStringLiteral("--fields") << QStringLiteral("all");
        const Measure measure = runProgram(arguments);
        std::printf("50,000,000 places, %s, %s to /dev/null: %.2f s, peak memory %.1f MB (target: < 64 MB)\n", format,
                    QLatin1String(format) == QLatin1String("aligned") ? "city,state,zip" : "all columns",
                    measure.seconds, measure.peakMegabytes);
    }

    QList<double> programTimes;
    QList<double> inProcessTimes;
    QList<double> bareTimes;
    QList<double> bareSyncedTimes;
    for (int run = 0; run < 5; ++run) {
        programTimes.append(runProgram(toFile(path)).seconds);
        QElapsedTimer timer;
        timer.start();
        if (runCommandLine(QStringList{program} + toFile(path), QFileInfo(program).absolutePath()) != 0)
            qFatal("the command line failed");
        inProcessTimes.append(double(timer.nsecsElapsed()) / 1e9);
        bareTimes.append(bareLoopSeconds(folder.filePath(QStringLiteral("bare")), 1000000, false));
        bareSyncedTimes.append(bareLoopSeconds(folder.filePath(QStringLiteral("bare")), 1000000, true));
    }
    const double bare = median(bareTimes);
    const double bareSynced = median(bareSyncedTimes);
    std::printf("1,000,000 places, default format, to a file, median of 5:\n"
                "  the program %.3f s = %.2f x the bare loop, %.2f x the bare loop with an fdatasync "
                "(target: <= 1.2 x)\n"
                "  in process  %.3f s\n"
                "  the bare loop %.3f s, with an fdatasync as the program does %.3f s\n",
                median(programTimes), median(programTimes) / bare, median(programTimes) / bareSynced,
                median(inProcessTimes), bare, bareSynced);

    const double jsonl = timeProgram(toFile(path,
                                            {QStringLiteral("--format"), QStringLiteral("jsonl"),
                                             QStringLiteral("--fields"), QStringLiteral("all")}))
                             .first;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no output");
    const QByteArray bytes = file.readAll();
    const double plain = fwriteSeconds(bytes, folder.filePath(QStringLiteral("plain")));
    const double synced = fwriteSeconds(bytes, folder.filePath(QStringLiteral("plain")), true);
    std::printf("1,000,000 places, all columns, jsonl, to a file (%.1f MB), median of 5:\n"
                "  the program %.3f s = %.2f x one fwrite, %.2f x one fwrite with an fdatasync (target: <= 4 x)\n"
                "  one fwrite of the same bytes %.3f s, with the fdatasync the program also does %.3f s\n",
                double(bytes.size()) / 1e6, jsonl, jsonl / plain, jsonl / synced, plain, synced);

    // The fields each draw fills in (area code, phone) beside the nine there were before them.
    const QStringList nine{QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--fields"),
                           QStringLiteral("city,state,zip,state_name,county,county_fips,latitude,longitude,timezone")};
    const QStringList every{QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--fields"),
                            QStringLiteral("all")};
    QList<double> nineTimes;
    QList<double> everyTimes;
    double nineCpu = 1e9;
    double everyCpu = 1e9;
    for (int run = 0; run < 7; ++run) {
        const Measure before = runProgram(toFile(path, nine));
        const Measure after = runProgram(toFile(path, every));
        nineTimes.append(before.seconds);
        everyTimes.append(after.seconds);
        nineCpu = std::min(nineCpu, before.cpuSeconds);
        everyCpu = std::min(everyCpu, after.cpuSeconds);
    }
    std::printf("1,000,000 places, jsonl, to a file, median of 7: every field with area code and phone %.3f s, "
                "the nine fields before them %.3f s = %.2f x; least processor time %.3f s and %.3f s = %.2f x "
                "(target: <= 1.2 x)\n",
                median(everyTimes), median(nineTimes), median(everyTimes) / median(nineTimes), everyCpu, nineCpu,
                everyCpu / nineCpu);

    for (const char *count : {"1000000", "10000000", "50000000"}) {
        const QStringList arguments{QStringLiteral("--count"), QLatin1String(count), QStringLiteral("--seed"),
                                    QStringLiteral("1")};
        const auto uniform = timeProgram(arguments, 7);
        const auto weighted = timeProgram(
            arguments + QStringList{QStringLiteral("--weight"), QStringLiteral("population")}, 7);
        std::printf("%s places, default format, to /dev/null: uniform %.3f s, weighted by population %.3f s = %.2f x; "
                    "least processor time %.3f s and %.3f s = %.2f x (target: <= 1.2 x)\n",
                    count, uniform.first, weighted.first, weighted.first / uniform.first, uniform.second,
                    weighted.second, weighted.second / uniform.second);
    }
    const auto weightedUnique = timeProgram({QStringLiteral("--count"), QStringLiteral("41000"),
                                             QStringLiteral("--unique"), QStringLiteral("--weight"),
                                             QStringLiteral("population")});
    std::printf("41,000 places weighted without repeats: %.3f s\n", weightedUnique.first);

    // A filter value given many times (a script's loop) costs what it costs once.
    QStringList repeated{QStringLiteral("--count"), QStringLiteral("1")};
    for (int i = 0; i < 50000; ++i)
        repeated << QStringLiteral("--zip-prefix") << QStringLiteral("9");
    const auto once = timeProgram(repeated.mid(0, 4));
    const auto many = timeProgram(repeated);
    std::printf("1 place, --zip-prefix 9 given 50,000 times: %.3f s, given once %.3f s = %.2f x\n", many.first,
                once.first, many.first / once.first);
    return 0;
}
