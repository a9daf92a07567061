// Times the settings store with a result list of a million rows stored under
// "Prefixes": the start-up construction, one keystroke's write of "Number Of
// Records" (target 5 ms), and the write of the list at close (target well
// under 1 s). Settings go to a temporary XDG_CONFIG_HOME.

#include "app/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double milliseconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

struct Summary
{
    double median;
    double max;
};

Summary summarize(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

QString resultList(int rows)
{
    static const char *const places[] = {"Holtsville, NY",    "Adjuntas, PR",         "Saint Johnsbury, VT",
                                         "Beverly Hills, CA", "Colorado Springs, CO", "Winston Salem, NC",
                                         "Jersey City, NJ",   "Fort Lauderdale, FL"};
    QStringList list;
    list.reserve(rows);
    for (int i = 0; i < rows; ++i)
        list.append(QStringLiteral("%1 %2")
                        .arg(QLatin1StringView(places[i % 8]))
                        .arg(501 + i % 99000, 5, 10, QLatin1Char('0')));
    return list.join(u';');
}

// One keystroke's write each: the texts a user typing and erasing would store.
Summary timeNumberWrites(SettingsStore &store, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const QString text = QString::number(1500).left(1 + i % 4);
        QElapsedTimer timer;
        timer.start();
        store.write(SettingsStore::Key::NumberOfRecords, text);
        times.push_back(milliseconds(timer));
        if (store.status() != QSettings::NoError)
            std::printf("write failed: status %d\n", int(store.status()));
    }
    return summarize(times);
}

// The floor any durable write pays on this disk: a small file through
// QSaveFile, which flushes it to disk and renames it into place.
Summary timePlainSaves(const QString &path, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("[General]\nNumber%20Of%20Records=150\n") < 0
            || !file.commit())
            std::printf("plain save failed\n");
        times.push_back(milliseconds(timer));
    }
    return summarize(times);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QCoreApplication application(argc, argv);

    constexpr int rows = 1000000;
    constexpr int keystrokes = 200;
    const QString prefixes = resultList(rows);
    std::printf("settings in %s\n", qPrintable(home.path()));
    std::printf("Prefixes: %d rows, %lld characters\n\n", rows, static_cast<long long>(prefixes.size()));

    QElapsedTimer timer;
    timer.start();
    auto store = std::make_unique<SettingsStore>();
    std::printf("start-up, empty store:                 %8.3f ms\n", milliseconds(timer));

    const Summary before = timeNumberWrites(*store, keystrokes);
    std::printf("\"Number Of Records\" write, no list:     median %6.3f ms, max %6.3f ms (%d writes)\n", before.median,
                before.max, keystrokes);

    std::vector<double> closes;
    for (int i = 0; i < 5; ++i) {
        timer.restart();
        store->write(SettingsStore::Key::Prefixes, prefixes);
        closes.push_back(milliseconds(timer));
    }
    const Summary close = summarize(closes);
    std::printf(
        "\"Prefixes\" write at close:               median %6.1f ms, max %6.1f ms (5 writes, target < 1000 ms)\n",
        close.median, close.max);
    std::printf("  %s: %.1f MB\n", qPrintable(QFileInfo(store->fileName(QStringLiteral("Prefixes"))).fileName()),
                QFileInfo(store->fileName(QStringLiteral("Prefixes"))).size() / 1e6);

    const Summary after = timeNumberWrites(*store, keystrokes);
    std::printf("\"Number Of Records\" write, list stored: median %6.3f ms, max %6.3f ms (%d writes, target <= 5 ms)\n",
                after.median, after.max, keystrokes);

    const Summary floor = timePlainSaves(home.path() + QStringLiteral("/plain.conf"), keystrokes);
    std::printf("plain QSaveFile of 40 bytes, for scale:  median %6.3f ms, max %6.3f ms (%d writes)\n", floor.median,
                floor.max, keystrokes);

    store.reset();
    timer.restart();
    store = std::make_unique<SettingsStore>();
    store->read(SettingsStore::Key::NumberOfRecords);
    std::printf("start-up and first read, list stored:  %8.3f ms\n", milliseconds(timer));

    const bool ok = after.median <= 5 && close.max < 1000;
    std::printf("\n%s\n", ok ? "within targets" : "OUTSIDE TARGETS");
    return ok ? 0 : 1;
}
