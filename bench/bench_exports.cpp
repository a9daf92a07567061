// The text file export and the clipboard copy of 1,000,000 ticked rows,
// clicked in the real window under the offscreen platform, each beside one
// plain buffered write of the same bytes (fwrite), from the same run.

#include "app/Form1.h"
#include "generate/ResultList.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <random>

namespace {

// `rows` ticked rows drawn from the shipped places ("Akutan, AK 99553").
void fillList(ResultList &list, int rows)
{
    QFile table(QStringLiteral(PLACES_TSV));
    if (!table.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", PLACES_TSV);
    QList<std::uint32_t> texts;
    table.readLine();
    while (!table.atEnd()) {
        const QStringList fields = QString::fromUtf8(table.readLine()).trimmed().split(QLatin1Char('\t'));
        if (fields.size() >= 3)
            texts.append(list.intern(fields[1] + QLatin1String(", ") + fields[2] + QLatin1Char(' ') + fields[0]));
    }
    std::mt19937 draw(20210831);
    std::uniform_int_distribution<qsizetype> pick(0, texts.size() - 1);
    list.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i)
        list.appendInterned(texts[pick(draw)]);
    list.setAllChecked(true);
    list.commit();
}

struct Clicks
{
    double seconds;     // the median time
    double longestWait; // the longest wait for input while the command ran, in ms
    double endWait;     // the longest wait from its last yield to its end, in ms
};

// Clicks a button five times.
Clicks timeClicks(QPushButton *button)
{
    QList<double> times;
    Clicks clicks{0, 0, 0};
    InputWatch input;
    QElapsedTimer sinceInput;
    QTimer lastInput;
    lastInput.setInterval(0);
    QObject::connect(&lastInput, &QTimer::timeout, [&] { sinceInput.restart(); });
    for (int run = 0; run < 5; ++run) {
        input.start();
        sinceInput.start();
        lastInput.start();
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(button, Qt::LeftButton);
        times.append(double(timer.nsecsElapsed()) / 1e9);
        clicks.endWait = std::max(clicks.endWait, double(sinceInput.nsecsElapsed()) / 1e6);
        lastInput.stop();
        clicks.longestWait = std::max(clicks.longestWait, input.stop());
    }
    clicks.seconds = median(times);
    return clicks;
}

} // namespace

int main(int argc, char *argv[])
{
    prepareBenchEnvironment();
    QApplication application(argc, argv);
    QTemporaryDir folder;
    const int rows = 1000000;

    SilentDialogs dialogs;
    dialogs.saveFileName = folder.filePath(QStringLiteral("places.txt"));
    const auto shown = showBenchWindow(dialogs);
    Form1 &window = *shown;
    fillList(window.list(), rows);

    const Clicks save = timeClicks(window.findChild<QPushButton *>(QStringLiteral("PushButton3")));
    QFile saved(dialogs.saveFileName);
    saved.open(QIODevice::ReadOnly);
    const QByteArray file = saved.readAll();
    const double fileWrite = fwriteSeconds(file, folder.filePath(QStringLiteral("plain.txt")));
    std::printf("save %d ticked rows (%lld bytes):  %.3f s (median of 5), longest wait for input %.1f ms, "
                "%.1f ms at the end\n",
                rows, static_cast<long long>(file.size()), save.seconds, save.longestWait, save.endWait);
    std::printf("one fwrite of the same bytes:          %.3f s; ratio %.1f\n", fileWrite, save.seconds / fileWrite);
    const double syncedWrite = fwriteSeconds(file, folder.filePath(QStringLiteral("plain.txt")), true);
    std::printf("the same with an fdatasync, as QSaveFile makes: %.3f s; ratio %.1f\n", syncedWrite,
                save.seconds / syncedWrite);

    const Clicks copy = timeClicks(window.findChild<QPushButton *>(QStringLiteral("PushButton8")));
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    const double textWrite = fwriteSeconds(text, folder.filePath(QStringLiteral("plain.txt")));
    std::printf("copy %d ticked rows (%lld bytes):  %.3f s (median of 5), longest wait for input %.1f ms, "
                "%.1f ms at the end\n",
                rows, static_cast<long long>(text.size()), copy.seconds, copy.longestWait, copy.endWait);
    std::printf("one fwrite of the same bytes:          %.3f s; ratio %.1f\n", textWrite, copy.seconds / textWrite);
    if (dialogs.messages > 0)
        std::printf("%d messages were shown\n", dialogs.messages);
    return 0;
}
