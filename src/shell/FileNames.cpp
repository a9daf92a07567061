#include "shell/FileNames.h"

#include <QCoreApplication>

#include <algorithm>

#include <unistd.h>

namespace {

constexpr char16_t escapeBase = 0xDC00;

// The length of the UTF-8 sequence a lead byte begins, or 0 for a byte that begins none.
qsizetype sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString name;
    name.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = sequenceLength(static_cast<unsigned char>(bytes[i]));
        const QByteArrayView sequence = bytes.sliced(i, std::min(length, bytes.size() - i));
        if (length > 0 && sequence.size() == length && sequence.isValidUtf8()) {
            name += QString::fromUtf8(sequence);
            i += length;
        } else {
            name += QChar(char16_t(escapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    return name;
}

QByteArray encodeFileName(QStringView name)
{
    const auto escaped = [](QChar c) { return c.unicode() >= escapeBase + 0x80 && c.unicode() <= escapeBase + 0xFF; };
    if (std::none_of(name.begin(), name.end(), escaped))
        return name.toUtf8();
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (escaped(name[i])) {
            bytes += name.sliced(start, i - start).toUtf8();
            bytes += char(name[i].unicode() - escapeBase);
            start = i + 1;
        }
    }
    bytes += name.sliced(start).toUtf8();
    return bytes;
}

QStringList decodedArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decodeFileName(QByteArrayView(argv[i])));
    return arguments;
}

QString executableFile()
{
    QByteArray path(4096, '\0');
    const ssize_t size = readlink("/proc/self/exe", path.data(), path.size());
    if (size <= 0 || size >= path.size())
        return QCoreApplication::applicationFilePath();
    path.truncate(size);
    return decodeFileName(path);
}

QString executableFolder()
{
    const QString file = executableFile();
    return file.first(std::max<qsizetype>(file.lastIndexOf(QLatin1Char('/')), 0));
}
