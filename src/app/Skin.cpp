#include "app/Skin.h"

#include "shell/Failure.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QWidget>

namespace Skin {

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/orvelle-%1.png").arg(size), QSize(size, size));
    return icon;
}

QCursor loadCursorFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The pointer file %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    const auto u16 = [&](int at) { return int(quint8(bytes.at(at))) | (int(quint8(bytes.at(at + 1))) << 8); };
    if (bytes.size() < 22 || u16(0) != 0 || u16(2) != 2 || u16(4) < 1)
        throw Failure(QStringLiteral("The pointer file %1 is not a Windows cursor file.").arg(path));
    QImageReader reader(path, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        throw Failure(
            QStringLiteral("The pointer file %1 cannot be loaded as a picture: %2").arg(path, reader.errorString()));
    return QCursor(QPixmap::fromImage(image), u16(10), u16(12));
}

QString readStyleSheet(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Failure(QStringLiteral("The skin file %1 cannot be read: %2").arg(path, file.errorString()));
    const QString sheet = QString::fromUtf8(file.readAll());
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("The skin file %1 cannot be read: %2").arg(path, file.errorString()));

    // Qt reports a style sheet it cannot parse only as a warning, when a
    // widget that carries it is polished: try it on one that is never shown.
    static bool parseFailed = false;
    parseFailed = false;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &message) {
        if (message.contains(QLatin1String("Could not parse")))
            parseFailed = true;
    });
    {
        QWidget probe;
        probe.setStyleSheet(sheet);
        probe.ensurePolished();
    }
    qInstallMessageHandler(previous);
    if (parseFailed)
        throw Failure(QStringLiteral("The skin file %1 is not a valid style sheet.").arg(path));
    return sheet;
}

} // namespace Skin
