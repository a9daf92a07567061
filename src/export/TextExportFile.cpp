#include "export/TextExportFile.h"

#include "shell/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
        return QStringLiteral("You do not have permission to create files in the folder %1.").arg(quoted(folder.filePath()));
    return device.errorString();
}

// Replaces the lone surrogates of a text, which no encoding can represent, with "?".
QString withoutLoneSurrogates(QStringView text)
{
    QString result = text.toString();
    for (qsizetype i = 0; i < result.size(); ++i) {
        const QChar c = result.at(i);
        if (c.isHighSurrogate() && i + 1 < result.size() && result.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            result[i] = QLatin1Char('?');
    }
    return result;
}

} // namespace

TextExportFile::TextExportFile(QString path)
    : m_path(std::move(path))
    , m_encoder(QStringConverter::System, QStringConverter::Flag::Stateless)
{
}

TextExportFile::~TextExportFile() = default;

void TextExportFile::create()
{
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        // A device or a pipe: there is no file to replace, so write to it directly.
        auto file = std::make_unique<QFile>(m_path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw Failure(QStringLiteral("The file %1 could not be opened: %2").arg(quoted(m_path), file->errorString()));
        m_device = std::move(file);
        m_pending.reserve(blockSize + 1024);
        return;
    }
    auto file = std::make_unique<QSaveFile>(m_path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw Failure(QStringLiteral("The file %1 could not be created: %2")
                          .arg(quoted(m_path), creationProblem(m_path, *file)));
    }
    m_saveFile = file.get();
    m_device = std::move(file);
    m_pending.reserve(blockSize + 1024);
}

void TextExportFile::requireOpen(const char *problem) const
{
    if (!m_device)
        throw Failure(QString::fromLatin1(problem).arg(quoted(m_path)));
}

void TextExportFile::failWrite() const
{
    throw Failure(QStringLiteral("The file %1 could not be written: %2").arg(quoted(m_path), m_writeError));
}

void TextExportFile::writeLine(QStringView text)
{
    requireOpen("Nothing can be written to %1, because it could not be created.");
    if (!m_writeError.isEmpty())
        failWrite();
    m_pending.insert(m_pending.end(), text.utf16(), text.utf16() + text.size());
    m_pending.push_back(u'\r');
    m_pending.push_back(u'\n');
    if (m_firstLine || qsizetype(m_pending.size()) >= blockSize) {
        m_firstLine = false;
        flush();
    }
}

void TextExportFile::flush()
{
    if (m_pending.empty())
        return;
    const QStringView text(m_pending.data(), qsizetype(m_pending.size()));
    m_bytes.resize(m_encoder.requiredSpace(text.size()));
    char *end = m_encoder.appendToBuffer(m_bytes.data(), text);
    if (m_encoder.hasError()) {
        m_encoder.resetState();
        end = m_encoder.appendToBuffer(m_bytes.data(), withoutLoneSurrogates(text));
    }
    m_pending.clear();
    const qint64 size = end - m_bytes.constData();
    if (m_device->write(m_bytes.constData(), size) != size) {
        m_writeError = m_device->errorString();
        if (m_writeError.isEmpty())
            m_writeError = QStringLiteral("Not all of it reached the disk.");
        failWrite();
    }
}

void TextExportFile::close()
{
    requireOpen("The file %1 was not saved, because it could not be created.");
    if (m_writeError.isEmpty()) {
        try {
            flush();
        } catch (const Failure &) {
            // reported below, as the file is not saved
        }
    }
    if (!m_writeError.isEmpty()) {
        if (m_saveFile) {
            m_saveFile->cancelWriting();
            release();
            throw Failure(QStringLiteral("The file %1 was not saved, because writing it failed: %2 "
                                         "An earlier file of that name is unchanged.")
                              .arg(quoted(m_path), m_writeError));
        }
        release();
        throw Failure(QStringLiteral("Writing %1 failed: %2").arg(quoted(m_path), m_writeError));
    }
    if (m_saveFile && !m_saveFile->commit()) {
        const QString problem = m_saveFile->errorString();
        release();
        throw Failure(QStringLiteral("The file %1 could not be saved: %2").arg(quoted(m_path), problem));
    }
    release();
}

void TextExportFile::release()
{
    m_saveFile = nullptr;
    m_device.reset();
    m_pending = {};
    m_bytes = QByteArray();
}
