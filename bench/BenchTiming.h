#pragma once

// Timing helpers of the benchmarks that need no window.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// One plain buffered write of the bytes to the file at `path`, median of
// five; with `synced`, followed by an fdatasync, as QSaveFile does.
inline double fwriteSeconds(const QByteArray &bytes, const QString &path, bool synced = false)
{
    QList<double> times;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        FILE *file = std::fopen(path.toLocal8Bit().constData(), "wb");
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file);
        if (synced) {
            std::fflush(file);
            fdatasync(fileno(file));
        }
        std::fclose(file);
        times.append(double(timer.nsecsElapsed()) / 1e9);
    }
    QFile::remove(path);
    return median(times);
}
