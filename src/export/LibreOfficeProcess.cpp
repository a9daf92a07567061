#include "LibreOfficeProcess.h"

#include "Failure.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// posix_spawn's attributes and file actions, released whatever happens.
struct SpawnSetup
{
    SpawnSetup()
    {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

} // namespace

LibreOfficeProcess::LibreOfficeProcess(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    // A session of its own: a terminal's signals do not reach the office, and
    // the process group holds the launcher and the office it spawns.
    // The office gets the default signal handling, whatever this program ignores.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
#endif

    const int error = posix_spawn(&m_pid, argv.front(), &setup.actions, &setup.attributes, argv.data(), environ);
    if (error != 0) {
        m_pid = 0;
        throw Failure(QStringLiteral("LibreOffice could not be started: %1 (%2).")
                          .arg(program, QString::fromLocal8Bit(std::strerror(error))));
    }
    m_running = true;
}

LibreOfficeProcess::~LibreOfficeProcess()
{
    running(); // collects a launcher that has ended
}

bool LibreOfficeProcess::running()
{
    if (!m_running)
        return false;
    int status = 0;
    const pid_t result = waitpid(m_pid, &status, WNOHANG);
    if (result == 0)
        return true;
    m_running = false;
    if (result == m_pid && WIFEXITED(status))
        m_exitCode = WEXITSTATUS(status);
    return false;
}

void LibreOfficeProcess::end(int graceMs)
{
    // A launcher collected earlier may have given its number to another
    // process by now: only a group seen alive a moment ago is ours to kill.
    if (!running())
        return;
    const QDeadlineTimer deadline(graceMs);
    while (running() && !deadline.hasExpired())
        QThread::msleep(20);
    // The office itself is the launcher's child, in the same group: it goes
    // too, even when the launcher has just ended.
    kill(-m_pid, SIGKILL);
    if (m_running) {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_running = false;
    }
}
