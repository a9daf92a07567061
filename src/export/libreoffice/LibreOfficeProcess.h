#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include <sys/types.h>

class QSocketNotifier;

// An office process this program started: the launcher in a session (and so
// a process group) of its own, with the standard streams on /dev/null, so
// the office it spawns can be ended with it and holds none of our pipes.
class LibreOfficeProcess
{
public:
    // Starts `program` in this program's environment, with the variables of
    // `environment` ("NAME=value") set or replaced; throws a Failure when it
    // cannot be run. Once the launcher ends, it is collected as soon as this
    // thread's event loop runs, so that it does not linger as a zombie.
    LibreOfficeProcess(const QString &program, const QStringList &arguments, const QStringList &environment = {});
    // Leaves the office running: an office with a display outlives us.
    ~LibreOfficeProcess();

    LibreOfficeProcess(const LibreOfficeProcess &) = delete;
    LibreOfficeProcess &operator=(const LibreOfficeProcess &) = delete;

    pid_t pid() const { return m_pid; }

    // Whether the launcher still runs; collects it once it has ended.
    bool running();
    // How it ended: its exit code, or -1 after a signal or while it runs.
    int exitCode() const { return m_exitCode; }

    // When the launcher still runs: waits up to `graceMs` for it to end, then
    // kills its whole process group (the office included) and collects it.
    void end(int graceMs);

private:
    pid_t m_pid = 0;
    bool m_running = false;
    int m_exitCode = -1;
    int m_pidfd = -1;                         // readable once the launcher has ended
    std::unique_ptr<QSocketNotifier> m_ended; // ... and collects it then
};
