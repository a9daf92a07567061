#include "cli/BatchOutput.h"

#include "shell/Failure.h"
#include "shell/FileNames.h"
#include "shell/Messages.h"
#include "shell/TemporaryFiles.h"

#include <QDir>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool standardOutputClosed = false;

// The kind of name the new files written beside their destinations have.
constexpr QByteArrayView temporaryPrefix = ".orvelle-";

// The new file being written, for the signal handler: its folder and a name
// it can unlink without allocating, set and cleared only while the signals
// are blocked.
int pendingFolder = -1;
char pendingName[NAME_MAX + 1];
volatile std::sig_atomic_t hasPendingFile = 0;
// What each signal did before the handler took it over.
struct sigaction previousActions[NSIG];

// Every signal whose default action ends the process, KILL aside (which
// nothing can catch) and the two below SIGRTMIN that the C library keeps
// for itself.
sigset_t endingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
                       SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGSYS})
        sigaddset(&set, signal);
#ifdef SIGSTKFLT
    sigaddset(&set, SIGSTKFLT);
#endif
#ifdef SIGPWR
    sigaddset(&set, SIGPWR);
#endif
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        sigaddset(&set, signal);
    return set;
}

extern "C" void onEndingSignal(int signal, siginfo_t *info, void *)
{
    // A file size limit that this process's own write reached: that write
    // fails (EFBIG), and the run says so as it does any failed write.
    if (signal == SIGXFSZ && info->si_code == SI_USER && info->si_pid == ::getpid())
        return;
    if (hasPendingFile) {
        ::unlinkat(pendingFolder, pendingName, 0);
        hasPendingFile = 0;
    }
    // Raised again, once the handler returns, the signal ends the process as
    // it asks: by what took it before, which is mostly the system's default.
    ::sigaction(signal, &previousActions[signal], nullptr);
    ::raise(signal);
}

// Holds the ending signals back while the pending file's name changes.
class BlockedSignals
{
public:
    BlockedSignals()
    {
        const sigset_t set = endingSignals();
        sigprocmask(SIG_BLOCK, &set, &m_previous);
    }
    ~BlockedSignals() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    BlockedSignals(const BlockedSignals &) = delete;
    BlockedSignals &operator=(const BlockedSignals &) = delete;

private:
    sigset_t m_previous;
};

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The descriptor a name such as /dev/fd/3 or /proc/self/fd/3 stands for, when
// it is open for writing; else -1.
int openDescriptor(const QByteArray &name)
{
    for (const char *folder : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!name.startsWith(folder))
            continue;
        bool number = false;
        const int descriptor = name.mid(qsizetype(std::strlen(folder))).toInt(&number);
        const int flags = number && descriptor >= 0 ? ::fcntl(descriptor, F_GETFL) : -1;
        if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY)
            return descriptor;
    }
    return -1;
}

// The file a name that is a link leads to, link after link, also where that
// file is not there yet (a dangling link: the file it names is made). A
// name that is not a link is itself.
QByteArray linkedFile(QByteArray name)
{
    for (int links = 0; links < 40; ++links) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t size = ::readlink(name.constData(), target.data(), std::size_t(target.size()));
        if (size < 0 || size >= target.size())
            return name;
        target.truncate(size);
        const qsizetype slash = name.lastIndexOf('/');
        name = target.startsWith('/') || slash < 0 ? target : name.first(slash + 1) + target;
    }
    return name;
}

// A user or group as a message names it: its name, else its number.
QString ownerName(uid_t user)
{
    const passwd *entry = ::getpwuid(user);
    return entry ? decodeFileName(entry->pw_name) : QString::number(user);
}

QString groupName(gid_t group)
{
    const ::group *entry = ::getgrgid(group);
    return entry ? decodeFileName(entry->gr_name) : QString::number(group);
}

} // namespace

void claimStandardDescriptors()
{
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free descriptor: this one.
        const int opened = ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != descriptor) {
            if (opened >= 0)
                ::close(opened);
            continue;
        }
        if (descriptor == STDOUT_FILENO)
            standardOutputClosed = true;
    }
}

int closeStandardOutput(int status)
{
    if (standardOutputClosed)
        return status;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    int error = flushed ? 0 : errno;
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR && error == 0)
        error = errno;
    if (error == 0)
        return status;
    complain(QStringLiteral("standard output could not be written: %1").arg(qt_error_string(error)));
    return 1;
}

void watchEndingSignals()
{
    const sigset_t ending = endingSignals();
    struct sigaction action
    {
    };
    action.sa_sigaction = onEndingSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    action.sa_mask = ending;
    for (int signal = 1; signal < NSIG; ++signal) {
        // A signal the caller ignores (nohup's HUP) stays ignored.
        if (sigismember(&ending, signal) == 1 && sigaction(signal, nullptr, &previousActions[signal]) == 0
            && previousActions[signal].sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

BatchOutput::BatchOutput(QString path)
    : m_path(std::move(path))
{
}

BatchOutput::~BatchOutput()
{
    discard();
}

QString BatchOutput::destination() const
{
    if (m_path.isEmpty())
        return QStringLiteral("standard output");
    return QStringLiteral("the file %1").arg(quotedName(QDir::toNativeSeparators(m_path)));
}

void BatchOutput::fail(const QString &what, int error)
{
    QString text = QStringLiteral("%1 %2: %3").arg(destination(), what, qt_error_string(error));
    if (m_replaces)
        text += QStringLiteral("; the earlier file of that name is unchanged");
    discard();
    throw Failure(text);
}

void BatchOutput::discard()
{
    if (m_ownHandle && m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
    m_ownHandle = false;
    if (!m_temporary.isEmpty()) {
        const BlockedSignals blocked;
        ::unlinkat(m_folder, m_temporary.constData(), 0);
        hasPendingFile = 0;
    }
    m_temporary.clear();
    if (m_folder >= 0)
        ::close(m_folder);
    m_folder = -1;
}

void BatchOutput::openInPlace(int handle)
{
    if (handle == STDOUT_FILENO && standardOutputClosed)
        throw Failure(QStringLiteral("standard output is closed"));
    m_handle = handle;
}

void BatchOutput::open(const QStringList &ownFiles)
{
    if (m_path.isEmpty())
        return openInPlace(STDOUT_FILENO);
    m_target = encodeFileName(m_path);
    struct stat status
    {
    };
    const bool exists = ::stat(m_target.constData(), &status) == 0;
    const int missing = exists ? 0 : errno;
    for (const QString &own : ownFiles) {
        struct stat ownStatus
        {
        };
        if (exists && ::stat(encodeFileName(own).constData(), &ownStatus) == 0 && sameFile(ownStatus, status)) {
            throw Failure(QStringLiteral("%1 is the program's own file %2; nothing was written")
                              .arg(destination(), quotedName(QDir::toNativeSeparators(own))));
        }
    }
    // The process's own standard output or error, by any name, or a descriptor
    // it was given (/dev/fd/3): written as "-" is, after what is there.
    if (const int descriptor = openDescriptor(m_target); descriptor >= 0)
        return openInPlace(descriptor);
    for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat stream
        {
        };
        if (exists && ::fstat(descriptor, &stream) == 0 && sameFile(stream, status))
            return openInPlace(descriptor);
    }
    // A name that can never be a file (too long, a loop of links, a file
    // where a folder should be) is refused before anything is written.
    if (!exists && missing != ENOENT)
        fail(QStringLiteral("could not be created"), missing);
    if (exists && S_ISDIR(status.st_mode))
        throw Failure(QStringLiteral("%1 could not be created: it is a folder").arg(destination()));
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or a pipe: there is no file to replace, so write to it directly.
        m_handle = ::open(m_target.constData(), O_WRONLY | O_CLOEXEC);
        m_ownHandle = m_handle >= 0;
        if (m_handle < 0)
            fail(QStringLiteral("could not be opened"), errno);
        return;
    }
    m_replaces = exists;
    // A file is replaced only where it could be written, as the shell's ">" would.
    if (exists && ::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0)
        fail(QStringLiteral("could not be written"), errno);
    // A link is followed: the file it names is replaced, or made, and the link stays.
    char *resolved = exists ? ::realpath(m_target.constData(), nullptr) : nullptr;
    const QByteArray file = resolved ? QByteArray(resolved) : linkedFile(m_target);
    std::free(resolved);
    const qsizetype slash = file.lastIndexOf('/');
    m_name = file.sliced(slash + 1);
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : file.first(slash);
    // Open for reading where it may be, to look for what killed runs left in it.
    m_folder = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder >= 0)
        removeLeftovers(m_folder, temporaryPrefix);
    else
        m_folder = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0)
        fail(QStringLiteral("could not be created"), errno);
    {
        const BlockedSignals blocked;
        m_handle = createTemporaryFile(m_folder, temporaryPrefix, m_temporary);
        if (m_handle >= 0 && m_temporary.size() < qsizetype(sizeof pendingName)) {
            std::memcpy(pendingName, m_temporary.constData(), std::size_t(m_temporary.size()) + 1);
            pendingFolder = m_folder;
            hasPendingFile = 1;
        }
    }
    if (m_handle < 0) {
        m_temporary.clear();
        fail(QStringLiteral("could not be created"), errno);
    }
    m_ownHandle = true;
    keepOwnerAndMode(exists ? &status : nullptr);
}

void BatchOutput::keepOwnerAndMode(const struct stat *earlier)
{
    // The permissions an earlier file had, else those a new file gets.
    mode_t mode = 0;
    if (earlier) {
        mode = earlier->st_mode & 07777;
        // Its owner and group too, which only the system's administrator may
        // give away; a file that would change hands is left as it is.
        struct stat created
        {
        };
        if (::fstat(m_handle, &created) != 0)
            fail(QStringLiteral("could not be created"), errno);
        if ((created.st_uid != earlier->st_uid || created.st_gid != earlier->st_gid)
            && ::fchown(m_handle, earlier->st_uid, earlier->st_gid) != 0) {
            fail(QStringLiteral("could not be replaced by a file of the same owner (%1) and group (%2)")
                     .arg(ownerName(earlier->st_uid), groupName(earlier->st_gid)),
                 errno);
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(m_handle, mode) != 0)
        fail(QStringLiteral("could not be created"), errno);
}

void BatchOutput::write(const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_handle, data, std::size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(QStringLiteral("could not be written"), written < 0 ? errno : ENOSPC);
        data += written;
        size -= written;
    }
}

void BatchOutput::commit()
{
    if (m_temporary.isEmpty()) {
        discard();
        return;
    }
    // On the disk before it takes the name, so that a crash leaves the earlier file or the whole new one.
    if (::fdatasync(m_handle) != 0)
        fail(QStringLiteral("could not be written"), errno);
    const int closed = ::close(m_handle);
    m_ownHandle = false;
    if (closed != 0)
        fail(QStringLiteral("could not be written"), errno);
    const BlockedSignals blocked;
    if (::renameat(m_folder, m_temporary.constData(), m_folder, m_name.constData()) != 0)
        fail(QStringLiteral("could not be saved"), errno);
    hasPendingFile = 0;
    m_temporary.clear();
    discard();
}
