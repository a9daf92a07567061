#include "export/TextExportFile.h"

#include "shell/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

// Why the file could not be created, in the user's terms where we can tell.
QString creationProblem(const QString &path, const QFileDevice &device)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("%1 is a folder.").arg(quoted(path));
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists())
        return QStringLiteral("The folder %1 does not exist.").arg(quoted(folder.filePath()));
    if (!folder.isDir())
        return QStringLiteral("%1 is not a folder.").arg(quoted(folder.filePath()));
    if (info.exists() && !info.isWritable())
        return QStringLiteral("You do not have permission to change %1.").arg(quoted(path));
    if (!info.exists() && !folder.isWritable())
        return QStringLiteral("You do not have permission to create files in the folder %1.")
            .arg(quoted(folder.filePath()));
    return device.errorString();
}

// Whether the open file is the one at `path` itself rather than a new file beside it.
bool isFileAt(const QFileDevice &file, const QString &path)
{
    struct stat opened
    {
    };
    struct stat named
    {
    };
    return fstat(file.handle(), &opened) == 0 && stat(QFile::encodeName(path).constData(), &named) == 0
        && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

TextExportFile::TextExportFile(QString path)
    : m_path(std::move(path))
{
}

TextExportFile::TextExportFile(QIODevice &device, QString name)
    : m_path(std::move(name))
    , m_given(&device)
{
}

TextExportFile::~TextExportFile()
{
    release();
}

void TextExportFile::create()
{
    if (m_given) {
        if (!m_given->isWritable())
            throw Failure(QStringLiteral("The file %1 is not open for writing.").arg(quoted(m_path)));
        m_writer.emplace(*m_given);
        return;
    }
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        // A device or a pipe: there is no file to replace, so write to it directly.
        auto file = std::make_unique<QFile>(m_path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw Failure(
                QStringLiteral("The file %1 could not be opened: %2").arg(quoted(m_path), file->errorString()));
        m_file = std::move(file);
        m_writer.emplace(*m_file);
        return;
    }
    auto file = std::make_unique<QSaveFile>(m_path);
    // A folder that takes no new files has no room for the new file beside
    // the earlier one; a file there that may be changed is then written in
    // place, and only then (Qt falls back only when the folder refuses it).
    file->setDirectWriteFallback(true);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw Failure(
            QStringLiteral("The file %1 could not be created: %2").arg(quoted(m_path), creationProblem(m_path, *file)));
    }
    m_saveFile = file.get();
    m_inPlace = isFileAt(*file, m_path);
    m_file = std::move(file);
    m_writer.emplace(*m_file);
    if (!m_inPlace && info.isFile())
        holdEarlierFile();
}

void TextExportFile::holdEarlierFile()
{
#ifdef Q_OS_UNIX
    // When the new file takes the name, the system frees the earlier one's
    // space, which for a large file takes longer than the window may wait.
    // Held open until then, it is freed when the pool lets go of it.
    m_earlierFile = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
#endif
}

void TextExportFile::letGoOfEarlierFile(bool replaced)
{
#ifdef Q_OS_UNIX
    if (m_earlierFile < 0)
        return;
    if (replaced)
        QThreadPool::globalInstance()->start([file = m_earlierFile] { ::close(file); });
    else
        ::close(m_earlierFile);
    m_earlierFile = -1;
#else
    Q_UNUSED(replaced)
#endif
}

TextExportWriter &TextExportFile::requireWriter(const char *problem)
{
    if (!m_writer)
        throw Failure(QString::fromLatin1(problem).arg(quoted(m_path)));
    return *m_writer;
}

void TextExportFile::failWrite() const
{
    throw Failure(QStringLiteral("The file %1 could not be written: %2").arg(quoted(m_path), m_writer->errorString()));
}

void TextExportFile::writeLine(QStringView text)
{
    TextExportWriter &writer = requireWriter("Nothing can be written to %1, because it could not be created.");
    if (!writer.writeLine(text))
        failWrite();
    if (writer.bytesWritten() - m_handedToDisk >= diskRun)
        handToDisk(writer.bytesWritten());
}

void TextExportFile::handToDisk(qint64 end)
{
#ifdef Q_OS_LINUX
    // QSaveFile's commit waits until the whole file is on the disk. Asking
    // the system to start writing each run as soon as it is complete lets the
    // disk work while the rows are made, so the close does not keep the
    // window waiting. Only a hint: a failure here shows at the commit.
    if (m_saveFile)
        sync_file_range(m_saveFile->handle(), m_handedToDisk, end - m_handedToDisk, SYNC_FILE_RANGE_WRITE);
#endif
    m_handedToDisk = end;
}

void TextExportFile::close()
{
    TextExportWriter &writer = requireWriter("The file %1 was not saved, because it could not be created.");
    // Qt's commit does not say whether the file reached the disk: a failed
    // sync, as a failed write, leaves the earlier file as it was.
    bool failed = !writer.flush();
    QString problem = writer.errorString();
    if (!failed && m_saveFile && !m_inPlace && ::fsync(m_saveFile->handle()) != 0) {
        failed = true;
        problem = qt_error_string(errno);
    }
    if (failed) {
        if (m_saveFile && !m_inPlace) {
            m_saveFile->cancelWriting();
            release();
            throw Failure(QStringLiteral("The file %1 was not saved, because writing it failed: %2 "
                                         "An earlier file of that name is unchanged.")
                              .arg(quoted(m_path), problem));
        }
        release();
        throw Failure(QStringLiteral("Writing %1 failed: %2").arg(quoted(m_path), problem));
    }
    if (m_saveFile && !m_saveFile->commit()) {
        const QString problem = m_saveFile->errorString();
        release();
        throw Failure(QStringLiteral("The file %1 could not be saved: %2").arg(quoted(m_path), problem));
    }
    letGoOfEarlierFile(true);
    release();
}

void TextExportFile::release()
{
    letGoOfEarlierFile(false);
    m_writer.reset();
    m_handedToDisk = 0;
    m_saveFile = nullptr;
    m_inPlace = false;
    m_file.reset();
}
