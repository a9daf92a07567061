#include "cli/BatchOutput.h"

#include "cli/FileNames.h"
#include "shell/Failure.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        return QStringLiteral("Standard output");
    return QStringLiteral("The file \"%1\"").arg(QDir::toNativeSeparators(m_path));
}

void BatchOutput::fail(const QString &what, int error)
{
    QString text = QStringLiteral("%1 %2: %3.").arg(destination(), what, qt_error_string(error));
    if (!m_temporary.isEmpty())
        text += QStringLiteral(" An earlier file of that name is unchanged.");
    discard();
    throw Failure(text);
}

void BatchOutput::discard()
{
    if (m_ownHandle && m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
    m_ownHandle = false;
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

void BatchOutput::open(const QStringList &ownFiles)
{
    if (m_path.isEmpty()) {
        m_handle = STDOUT_FILENO;
        return;
    }
    m_target = encodeFileName(m_path);
    struct stat status {};
    const bool exists = ::stat(m_target.constData(), &status) == 0;
    for (const QString &own : ownFiles) {
        struct stat ownStatus {};
        if (exists && ::stat(encodeFileName(own).constData(), &ownStatus) == 0 && ownStatus.st_dev == status.st_dev
            && ownStatus.st_ino == status.st_ino) {
            throw Failure(QStringLiteral("%1 is the program's own file %2; nothing was written.")
                              .arg(destination(), QDir::toNativeSeparators(own)));
        }
    }
    if (exists && S_ISDIR(status.st_mode))
        throw Failure(QStringLiteral("%1 could not be created: it is a folder.").arg(destination()));
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or a pipe: there is no file to replace, so write to it directly.
        m_handle = ::open(m_target.constData(), O_WRONLY | O_CLOEXEC);
        m_ownHandle = m_handle >= 0;
        if (m_handle < 0)
            fail(QStringLiteral("could not be opened"), errno);
        return;
    }
    if (exists) {
        // A link is followed: the file it names is replaced, the link stays.
        if (char *resolved = ::realpath(m_target.constData(), nullptr)) {
            m_target = resolved;
            std::free(resolved);
        }
    }
    const qsizetype slash = m_target.lastIndexOf('/');
    QByteArray temporary = (slash < 0 ? QByteArray() : m_target.first(slash + 1)) + ".orvelle-XXXXXX";
    m_handle = ::mkostemp(temporary.data(), O_CLOEXEC);
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
    if (::rename(m_temporary.constData(), m_target.constData()) != 0)
        fail(QStringLiteral("could not be saved"), errno);
    m_temporary.clear();
}
