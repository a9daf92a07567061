#include "shell/TemporaryFiles.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype suffixLength = 6;

bool isSuffixCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The process id in a name of the prefix's kind; 0 when the name is not of that kind.
pid_t namedProcess(QByteArrayView name, QByteArrayView prefix)
{
    if (!name.startsWith(prefix))
        return 0;
    const QByteArrayView rest = name.sliced(prefix.size());
    const qsizetype dash = rest.indexOf('-');
    if (dash < 1 || dash > 10 || rest.size() != dash + 1 + suffixLength)
        return 0;
    long long process = 0;
    for (char c : rest.first(dash)) {
        if (c < '0' || c > '9')
            return 0;
        process = process * 10 + (c - '0');
    }
    for (char c : rest.sliced(dash + 1)) {
        if (!isSuffixCharacter(c))
            return 0;
    }
    return process > 0 && process <= INT_MAX ? pid_t(process) : 0;
}

bool processGone(pid_t process)
{
    return process != ::getpid() && ::kill(process, 0) != 0 && errno == ESRCH;
}

// The entries of an open folder, from the first, through a descriptor of its own.
DIR *listing(int folder)
{
    const int handle = ::dup(folder);
    DIR *entries = handle >= 0 ? ::fdopendir(handle) : nullptr;
    if (!entries && handle >= 0)
        ::close(handle);
    if (entries)
        ::rewinddir(entries);
    return entries;
}

// Removes the files in an open folder, then the folder itself, which fails
// where anything else is left in it.
void removeFolder(int parent, const char *name, int handle)
{
    DIR *entries = listing(handle);
    if (!entries)
        return;
    while (const dirent *entry = ::readdir(entries)) {
        struct stat status
        {
        };
        if (::fstatat(handle, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            ::unlinkat(handle, entry->d_name, 0);
    }
    ::closedir(entries);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

} // namespace

QByteArray temporaryTemplate(QByteArrayView prefix)
{
    return prefix.toByteArray() + QByteArray::number(::getpid()) + "-XXXXXX";
}

int createTemporaryFile(int folder, QByteArrayView prefix, QByteArray &name)
{
    static constexpr char characters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryTemplate(prefix);
        for (qsizetype i = name.size() - suffixLength; i < name.size(); ++i)
            name[i] = characters[QRandomGenerator::global()->bounded(int(sizeof characters - 1))];
        const int handle = ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (handle < 0 && errno == EEXIST)
            continue;
        if (handle >= 0)
            ::flock(handle, LOCK_EX | LOCK_NB);
        return handle;
    }
    errno = EEXIST;
    return -1;
}

void removeLeftovers(int folder, QByteArrayView prefix)
{
    DIR *entries = listing(folder);
    if (!entries)
        return;
    while (const dirent *entry = ::readdir(entries)) {
        const pid_t process = namedProcess(QByteArrayView(entry->d_name), prefix);
        struct stat named
        {
        };
        if (process == 0 || !processGone(process)
            || ::fstatat(folder, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_uid != ::geteuid()
            || !(S_ISREG(named.st_mode) || S_ISDIR(named.st_mode)))
            continue;
        const int handle = ::openat(folder, entry->d_name,
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC
                                        | (S_ISDIR(named.st_mode) ? O_DIRECTORY : 0));
        struct stat opened
        {
        };
        // Held by no process, and still the entry that was looked at.
        if (handle >= 0 && ::flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &opened) == 0
            && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            if (S_ISDIR(opened.st_mode))
                removeFolder(folder, entry->d_name, handle);
            else
                ::unlinkat(folder, entry->d_name, 0);
        }
        if (handle >= 0)
            ::close(handle);
    }
    ::closedir(entries);
}

void removeLeftovers(const QString &folder, QByteArrayView prefix)
{
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    removeLeftovers(handle, prefix);
    ::close(handle);
}

TemporaryFolderLock::TemporaryFolderLock(const QString &path)
    : m_handle(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (m_handle >= 0)
        ::flock(m_handle, LOCK_EX | LOCK_NB);
}

TemporaryFolderLock::~TemporaryFolderLock()
{
    if (m_handle >= 0)
        ::close(m_handle);
}
