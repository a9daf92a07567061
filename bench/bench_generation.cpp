// Figures for the generation run and the list commands, through the real
// window under the offscreen platform:
//   - 1,000,000 rows with all three fields, from the button's click to idle,
//     beside a bare loop that draws as many records and stores the strings;
//   - the longest the window went without handling input during that run;
//   - deleting one row and clearing the list of 1,000,000 rows;
//   - bytes per row at 10,000,000 rows (peak resident size less the idle window's).
// Usage: bench_generation [rows] [memory-rows]

#include "app/Form1.h"
#include "app/ResultView.h"
#include "generate/PlaceDatabase.h"
#include "generate/RandomRecord.h"
#include "generate/ResultList.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(5);
    }
}

// Draws `rows` records and stores their display strings, with nothing else around it.
double bareLoopSeconds(int rows)
{
    QElapsedTimer timer;
    timer.start();
    PlaceConnection connection;
    connection.open(QCoreApplication::applicationDirPath() + QStringLiteral("/../zipbase.mdb"));
    PlaceRecordSet records;
    records.open(BuildDisplayQuery({true, true, true}), connection);
    const int count = records.recordCount();
    std::vector<QString> strings;
    strings.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i) {
        const int r = int(RandomRecordNumber(count));
        records.moveFirst();
        records.move(r - 1);
        strings.push_back(NormalizeDisplayText(records.value(QStringLiteral("display_fields"))));
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    prepareBenchEnvironment();
    QApplication application(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 1000000;
    const int memoryRows = argc > 2 ? atoi(argv[2]) : 10000000;

    SilentDialogs dialogs;
    const auto shown = showBenchWindow(dialogs);
    Form1 &window = *shown;
    settle();
    const long idleKb = statusKb("VmRSS:");

    auto *text = window.findChild<QLineEdit *>(QStringLiteral("Text1"));
    auto *start = window.findChild<QPushButton *>(QStringLiteral("PushButton2"));
    auto *view = window.findChild<ResultView *>(QStringLiteral("ListView1"));

    // The run, from the click to idle, with a timer standing in for the user's input.
    text->setText(QString::number(rows));
    InputWatch input;
    QElapsedTimer run;
    input.start();
    run.start();
    QTest::mouseClick(start, Qt::LeftButton);
    QCoreApplication::processEvents(); // idle again: the view has taken the rows
    const double runSeconds = double(run.nsecsElapsed()) / 1e9;
    const double longestWait = input.stop();
    if (window.list().rows() != rows)
        std::fprintf(stderr, "expected %d rows, got %d\n", rows, window.list().rows());

    const double bareSeconds = argc > 3 ? 1 : bareLoopSeconds(rows);
    std::printf("generation of %d rows, click to idle:   %.3f s\n", rows, runSeconds);
    std::printf("bare loop drawing and storing as many:    %.3f s\n", bareSeconds);
    std::printf("ratio run / bare loop:                    %.2f\n", runSeconds / bareSeconds);
    std::printf("longest wait for input during the run:    %.1f ms\n", longestWait);

    // Deleting one row and clearing the list.
    view->setFocus();
    view->setSelectedRow(rows / 2);
    settle();
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(view, Qt::Key_Delete);
    QCoreApplication::processEvents();
    std::printf("delete one row of %d:                %.2f ms\n", rows, double(timer.nsecsElapsed()) / 1e6);
    settle();
    timer.restart();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("PushButton7")), Qt::LeftButton);
    QCoreApplication::processEvents();
    std::printf("clear the list of %d rows:           %.2f ms\n", rows - 1, double(timer.nsecsElapsed()) / 1e6);

    // Memory per row at many rows.
    if (memoryRows > 0) {
        settle();
        text->setText(QString::number(memoryRows));
        run.restart();
        QTest::mouseClick(start, Qt::LeftButton);
        QCoreApplication::processEvents();
        const double seconds = double(run.nsecsElapsed()) / 1e9;
        const long peakKb = statusKb("VmHWM:");
        std::printf("generation of %d rows:              %.2f s\n", memoryRows, seconds);
        std::printf("idle window %ld KiB, peak %ld KiB: %.1f bytes per row\n", idleKb, peakKb,
                    double(peakKb - idleKb) * 1024.0 / memoryRows);
    }
    return 0;
}
