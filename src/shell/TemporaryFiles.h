#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Temporary files and folders that a later run can tell as left behind.
//
// Each is named <prefix><process id>-<six letters or digits> and is held
// locked (flock) by the process that uses it for as long as it does. A KILL,
// a crash or a power cut leaves it where it was; a later run that makes its
// own of the same prefix in the same folder first removes those whose
// process is gone and that no process holds locked: a lock is seen across
// the machines that share a folder, a process id only on its own machine.
// It removes nothing else: not another user's, not one of another name, not
// a folder that holds anything but files.

// A name for a new one: the prefix, this process's id, "-XXXXXX" (the six
// characters are for the caller, mkdtemp or QTemporaryDir, to fill in).
QByteArray temporaryTemplate(QByteArrayView prefix);

// Creates a new file of that kind in the folder open as `folder` (a
// descriptor; AT_FDCWD for the working folder), readable and writable by its
// owner alone, and holds it locked. Returns the descriptor and sets `name` to
// the file's name; on failure -1, errno set.
int createTemporaryFile(int folder, QByteArrayView prefix, QByteArray &name);

// Removes the leftovers of the prefix in the folder open as `folder`, which
// must be open for reading.
void removeLeftovers(int folder, QByteArrayView prefix);
// The same in the folder of that path (as Qt names files).
void removeLeftovers(const QString &folder, QByteArrayView prefix);

// A folder made by QTemporaryDir or mkdtemp from temporaryTemplate(), held
// locked for as long as this object lives.
class TemporaryFolderLock
{
public:
    explicit TemporaryFolderLock(const QString &path);
    ~TemporaryFolderLock();
    TemporaryFolderLock(const TemporaryFolderLock &) = delete;
    TemporaryFolderLock &operator=(const TemporaryFolderLock &) = delete;

private:
    int m_handle = -1;
};
