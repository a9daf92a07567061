// Figures for the window on the accessibility bus, on a private desktop (an
// X server, a session bus, the AT-SPI bus and a listener that hears every
// event, as a screen reader does):
//   - 1,000,000 rows generated with accessibility on, beside the same with
//     it off, alternating in one run;
//   - reading the row count and single rows over the bus at 1,000,000 rows.
// Run as it is, it hands over to bench_accessibility.py, which makes the
// desktop and runs this program as the window, once per figure
// (Debian: xvfb, dbus, at-spi2-core, python3-pyatspi).
// Usage: bench_accessibility [rows]

#include "app/Form1.h"
#include "generate/ResultList.h"
#include "BenchSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// The window: waits for accessibility to be as asked, generates `rows` rows
// from the button, says how long it took, and stays when asked to.
int generate(int argc, char *argv[], const QString &rows, bool stay)
{
    QApplication application(argc, argv);
    SilentDialogs dialogs;
    const auto window = showBenchWindow(dialogs);
    const bool wanted = !qEnvironmentVariableIsEmpty("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    QElapsedTimer waited;
    waited.start();
    while (QAccessible::isActive() != wanted && waited.elapsed() < 10000)
        QTest::qWait(10);
    QTest::qWait(200); // the bridge's first questions answered
    window->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(rows);
    QElapsedTimer timer;
    timer.start();
    window->PushButton2_Click();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("generated %d rows in %.0f ms, accessibility %s\n", window->list().rows(), ms,
                QAccessible::isActive() ? "on" : "off");
    std::fflush(stdout);
    return stay ? application.exec() : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 3 && (qstrcmp(argv[1], "--generate") == 0 || qstrcmp(argv[1], "--generate-and-stay") == 0)) {
        prepareBenchEnvironment();
        return generate(argc, argv, QString::fromLatin1(argv[2]), qstrcmp(argv[1], "--generate-and-stay") == 0);
    }
    const char *rows = argc > 1 ? argv[1] : "1000000";
    // The driver's private desktop is the tests' own (tests/desktop).
    if (setenv("PYTHONPATH", BENCH_DESKTOP_HELPERS, 1) != 0) {
        std::perror("PYTHONPATH");
        return EXIT_FAILURE;
    }
    execl("/usr/bin/python3", "/usr/bin/python3", BENCH_DRIVER, argv[0], rows, static_cast<char *>(nullptr));
    std::perror("/usr/bin/python3");
    return EXIT_FAILURE;
}
