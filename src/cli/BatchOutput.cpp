#include "cli/BatchOutput.h"

#include "shell/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

BatchOutput::BatchOutput(QString path)
    : m_path(std::move(path))
{
}

BatchOutput::~BatchOutput() = default;

QString BatchOutput::destination() const
{
    if (m_path.isEmpty())
        return QStringLiteral("Standard output");
    return QStringLiteral("The file \"%1\"").arg(QDir::toNativeSeparators(m_path));
}

QIODevice &BatchOutput::open()
{
    const QFileInfo info(m_path);
    if (m_path.isEmpty() || (info.exists() && !info.isFile() && !info.isDir())) {
        auto file = std::make_unique<QFile>(m_path);
        const bool opened = m_path.isEmpty()
            ? file->open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)
            : file->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!opened)
            throw Failure(QStringLiteral("%1 could not be opened: %2").arg(destination(), file->errorString()));
        m_device = std::move(file);
        return *m_device;
    }
    auto file = std::make_unique<QSaveFile>(m_path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Failure(QStringLiteral("%1 could not be created: %2").arg(destination(), file->errorString()));
    m_saveFile = file.get();
    m_device = std::move(file);
    return *m_device;
}

void BatchOutput::commit()
{
    if (m_saveFile && !m_saveFile->commit())
        throw Failure(writeFailure(m_saveFile->errorString()));
    m_saveFile = nullptr;
    m_device.reset();
}

QString BatchOutput::writeFailure(const QString &problem) const
{
    QString text = QStringLiteral("%1 could not be written: %2").arg(destination(), problem);
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    if (m_saveFile)
        text += QStringLiteral(" An earlier file of that name is unchanged.");
    return text;
}
