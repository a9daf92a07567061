#pragma once

#include "shell/Failure.h"

#include <QElapsedTimer>

class ResultList;

// Runs the window's commands on its one thread and keeps the window alive
// while they work. Once the window has unloaded, the next yield unwinds the
// command that is running.
class CommandRunner
{
public:
    explicit CommandRunner(ResultList &list);

    template <typename Command> void run(Command &&command)
    {
        try {
            command();
        } catch (const ProgramEnding &) {
            // The window closed during the command.
        }
        commitRows();
    }

    // Lets the window system process pending events, at most every few
    // milliseconds, and shows new rows at most as often as the screen does.
    void yield();

    // Throws ProgramEnding once the window has unloaded.
    void endIfUnloaded() const
    {
        if (m_unloaded)
            throw ProgramEnding();
    }

    void unload() { m_unloaded = true; }
    bool unloaded() const { return m_unloaded; }

private:
    void commitRows();

    static constexpr qint64 dispatchInterval = 4'000'000; // nanoseconds between dispatches in a long command
    static constexpr qint64 commitInterval = 16'000'000;  // ... and between showing new rows in the view

    ResultList &m_list;
    unsigned m_yieldCalls = 0;
    QElapsedTimer m_sinceDispatch;
    QElapsedTimer m_sinceCommit;
    bool m_unloaded = false;
};
