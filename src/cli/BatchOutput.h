#pragma once

#include <QString>

#include <memory>

class QFileDevice;
class QIODevice;
class QSaveFile;

// Where a run writes: standard output, or a file that is replaced only by a
// complete new one. The file is written beside its destination and put in
// place by commit(); when the run fails before that, the new file is dropped
// and an earlier file of that name stays as it was. A destination that is a
// device or a pipe (/dev/null, /dev/stdout) has nothing to replace and is
// written in place.
class BatchOutput
{
public:
    // An empty path means standard output.
    explicit BatchOutput(QString path);
    ~BatchOutput();
    BatchOutput(const BatchOutput &) = delete;
    BatchOutput &operator=(const BatchOutput &) = delete;

    // Opens the destination; throws a Failure that says why it cannot be.
    QIODevice &open();
    // Puts a written file in place; throws a Failure when that fails.
    void commit();
    // The description of a failed write, for the user: what failed, `problem`, and what became of the destination.
    QString writeFailure(const QString &problem) const;

private:
    QString destination() const;

    QString m_path;
    std::unique_ptr<QFileDevice> m_device;
    QSaveFile *m_saveFile = nullptr; // m_device, unless written in place
};
