#include "export/libreoffice/LibreOfficeProcess.h"

#include "shell/Failure.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
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

// A null-terminated array of C strings, as exec wants them.
class CStrings
{
public:
    void append(QByteArray text) { m_storage.push_back(std::move(text)); }
    char **data()
    {
        m_pointers.clear();
        for (QByteArray &text : m_storage)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
        return m_pointers.data();
    }

private:
    std::vector<QByteArray> m_storage;
    std::vector<char *> m_pointers;
};

} // namespace

LibreOfficeProcess::LibreOfficeProcess(const QString &program, const QStringList &arguments,
                                       const QStringList &environment)
{
    CStrings argv;
    argv.append(QFile::encodeName(program));
    for (const QString &argument : arguments)
        argv.append(argument.toLocal8Bit());

    CStrings envp;
    QList<QByteArray> replaced;
    for (const QString &variable : environment) {
        envp.append(variable.toLocal8Bit());
        replaced.append(variable.section(QLatin1Char('='), 0, 0).toLocal8Bit() + '=');
    }
    for (char **variable = environ; *variable; ++variable) {
        const QByteArray text(*variable);
        if (std::none_of(replaced.begin(), replaced.end(),
                         [&](const QByteArray &name) { return text.startsWith(name); }))
            envp.append(text);
    }

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

    char **const args = argv.data();
    const int error = posix_spawn(&m_pid, args[0], &setup.actions, &setup.attributes, args, envp.data());
    if (error != 0) {
        m_pid = 0;
        throw Failure(QStringLiteral("LibreOffice could not be started: %1 (%2).")
                          .arg(program, QString::fromLocal8Bit(std::strerror(error))));
    }
    m_running = true;

    // The launcher ends long before the office when it hands the request to
    // an office already running, and with the office otherwise: it is
    // collected then, not first at the next export or when this program ends.
    // Without pidfds (Linux before 5.3) it is collected at those points only.
    m_pidfd = int(syscall(SYS_pidfd_open, m_pid, 0));
    if (m_pidfd >= 0 && QCoreApplication::instance()) {
        m_ended = std::make_unique<QSocketNotifier>(m_pidfd, QSocketNotifier::Read);
        QObject::connect(m_ended.get(), &QSocketNotifier::activated, m_ended.get(), [this] {
            m_ended->setEnabled(false);
            running();
        });
    }
}

LibreOfficeProcess::~LibreOfficeProcess()
{
    running(); // collects a launcher that has ended
    m_ended.reset();
    if (m_pidfd >= 0)
        close(m_pidfd);
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
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {}
        m_running = false;
    }
}
