#include "cli/BatchOutput.h"

#include "shell/Failure.h"
#include "shell/FileNames.h"
#include "shell/Messages.h"

#include <QDir>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool standardOutputClosed = false;

// The new file being written, for the signal handler: a name it can unlink
// without allocating, set and cleared only while the signals are blocked.
char pendingFile[4096];
volatile std::sig_atomic_t hasPendingFile = 0;

constexpr std::array endingSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

extern "C" void removePendingFile(int signal)
{
    if (hasPendingFile)
        ::unlink(pendingFile);
    // The handler was installed to run once: the signal, raised again, ends the process as it asks.
    ::raise(signal);
}

// Holds the ending signals back while the pending file's name changes.
class BlockedSignals
{
public:
    BlockedSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : endingSignals)
            sigaddset(&set, signal);
        sigprocmask(SIG_BLOCK, &set, &m_previous);
    }
    ~BlockedSignals() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    BlockedSignals(const BlockedSignals &) = delete;
    BlockedSignals &operator=(const BlockedSignals &) = delete;

private:
    sigset_t m_previous;
};

void watchSignals()
{
    static bool watching = false;
    if (watching)
        return;
    watching = true;
    struct sigaction action
    {
    };
    action.sa_handler = removePendingFile;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : endingSignals) {
        struct sigaction previous
        {
        };
        // A signal the caller ignores (nohup's HUP) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
    // A file size limit fails the write with EFBIG instead of ending the process unseen.
    std::signal(SIGXFSZ, SIG_IGN);
}

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
        ::unlink(m_temporary.constData());
        hasPendingFile = 0;
    }
    m_temporary.clear();
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
    if (exists && S_ISDIR(status.st_mode))
        throw Failure(QStringLiteral("%1 could not be created: it is a folder").arg(destination()));
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or a pipe: there is no file to replace, so write to it directly.
        watchSignals();
        m_handle = ::open(m_target.constData(), O_WRONLY | O_CLOEXEC);
        m_ownHandle = m_handle >= 0;
        if (m_handle < 0)
            fail(QStringLiteral("could not be opened"), errno);
        return;
    }
    m_replaces = exists;
    if (exists) {
        // A link is followed: the file it names is replaced, the link stays.
        if (char *resolved = ::realpath(m_target.constData(), nullptr)) {
            m_target = resolved;
            std::free(resolved);
        }
    }
    const qsizetype slash = m_target.lastIndexOf('/');
    QByteArray temporary = (slash < 0 ? QByteArray() : m_target.first(slash + 1)) + ".orvelle-XXXXXX";
    if (temporary.size() >= qsizetype(sizeof pendingFile))
        fail(QStringLiteral("could not be created"), ENAMETOOLONG);
    watchSignals();
    {
        const BlockedSignals blocked;
        m_handle = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (m_handle >= 0) {
            std::memcpy(pendingFile, temporary.constData(), std::size_t(temporary.size()) + 1);
            hasPendingFile = 1;
        }
    }
    if (m_handle < 0)
        fail(QStringLiteral("could not be created"), errno);
    m_ownHandle = true;
    m_temporary = temporary;
    // The permissions an earlier file had, else those a new file gets.
    mode_t mode = status.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(m_handle, mode);
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
    if (::rename(m_temporary.constData(), m_target.constData()) != 0)
        fail(QStringLiteral("could not be saved"), errno);
    hasPendingFile = 0;
    m_temporary.clear();
}
