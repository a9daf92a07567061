// Figures for the window as a whole, under the offscreen platform:
//   - from process start to the window shown (a child process of this
//     program that starts the window, shows it and reports);
//   - one keystroke in the number box, its settings write included, with a
//     1,000,000-row "Prefixes" stored;
//   - closing the window with 1,000,000 rows in the list.

#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "generate/ResultList.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The child: start the window, show it, say so, and leave.
int showOnce(int argc, char *argv[])
{
    QApplication application(argc, argv);
    SilentDialogs dialogs;
    const auto window = showBenchWindow(dialogs);
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}

double startupMilliseconds(const QString &program)
{
    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.start(program, {QStringLiteral("--show-once")});
    child.waitForReadyRead(10000);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    child.waitForFinished(10000);
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    prepareBenchEnvironment();
    if (argc > 1 && qstrcmp(argv[1], "--show-once") == 0)
        return showOnce(argc, argv);
    QApplication application(argc, argv);
    const int rows = 1000000;

    std::vector<double> starts;
    for (int i = 0; i < 7; ++i)
        starts.push_back(startupMilliseconds(QCoreApplication::applicationFilePath()));
    std::sort(starts.begin(), starts.end());
    std::printf("process start to window shown: median %.0f ms, best %.0f ms, worst %.0f ms (7 starts)\n",
                starts[starts.size() / 2], starts.front(), starts.back());

    // A stored list of a million rows.
    QStringList texts;
    for (int i = 0; i < rows; ++i)
        texts.append(QStringLiteral("Holtsville, NY %1").arg(i % 100000, 5, 10, QLatin1Char('0')));
    SettingsStore().write(SettingsStore::Key::Prefixes, texts.join(QLatin1Char(';')));

    SilentDialogs dialogs;
    auto window = showBenchWindow(dialogs);
    auto *box = window->findChild<QLineEdit *>(QStringLiteral("Text1"));
    box->setFocus();
    std::vector<double> keys;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(box, i % 2 ? Qt::Key_Backspace : Qt::Key_5);
        keys.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(keys.begin(), keys.end());
    std::printf("keystroke in the number box with a %d-row list stored: median %.2f ms, worst %.2f ms\n", rows,
                keys[keys.size() / 2], keys.back());

    for (const QString &text : texts)
        window->list().append(text);
    window->list().commit();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    window->close();
    std::printf("closing the window with %d rows: %.0f ms\n", rows, double(timer.nsecsElapsed()) / 1e6);
    return 0;
}
