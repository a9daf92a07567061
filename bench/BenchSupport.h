#pragma once

// What the benchmark programs share.

#include "app/Form1.h"
#include "app/SystemClipboard.h"
#include "export/Spreadsheet.h"
#include "shell/Dialogs.h"
#include "BenchTiming.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

// Dialogs that answer at once: messages go to stderr (the first few), the
// save dialog answers with `saveFileName`.
class SilentDialogs : public Dialogs
{
public:
    void showMessage(const QString &, const QString &text, Icon) override
    {
        if (++messages <= 3)
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString getSaveFileName(const QString &, const QString &) override { return saveFileName; }

    QString saveFileName;
    int messages = 0;
};

// Stands in for the user's input while a command runs: a timer that fires
// whenever the window handles events, noting the longest wait between two.
class InputWatch
{
public:
    InputWatch()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_since.nsecsElapsed());
            m_since.restart();
        });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_timer.start();
    }
    // The longest wait since start(), in milliseconds.
    double stop()
    {
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// Before the QApplication: the offscreen platform unless another is asked
// for, and the settings in a temporary folder.
inline void prepareBenchEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
}

// The real window, shown, its database the one the build made beside the benchmarks' folder.
inline std::unique_ptr<Form1> showBenchWindow(Dialogs &dialogs)
{
    static SystemClipboard clipboard;
    static const auto spreadsheets = makeDefaultSpreadsheetFactory();
    Form1Services services(clipboard, *spreadsheets);
    services.dialogs = &dialogs;
    services.programFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    auto window = std::make_unique<Form1>(services);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qFatal("the window was not shown");
    return window;
}
