#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct stat;

// Where a run writes: standard output, or a file that is replaced only by a
// complete new one. The file is written beside its destination and put in
// place by commit(); when the run fails before that, the new file is removed
// and an earlier file of that name stays as it was. A destination that is a
// device or a pipe (/dev/null, /dev/stdout) has nothing to replace and is
// written in place.
//
// Unlike the window's text file, which falls back to writing an existing file
// in place where its folder takes no new file, a run never writes a regular
// file in place: a script must be able to trust that a failed run left the
// earlier file whole, and it can be told to write elsewhere.
//
// Files are reached by their bytes (see FileNames.h), so this class does the
// write-beside-and-rename itself rather than through QSaveFile, which can name
// only files whose names are UTF-8.
//
// An earlier file is replaced only where it could be written in place (a
// read-only file is refused as the shell's ">" refuses it), and by a file of
// its owner, group and permissions; where those cannot be kept (another
// user's file), it is refused too, before anything is written.
//
// Before anything else opens a descriptor: makes 0, 1 and 2 valid (on
// /dev/null) where the program was started without them, so that no file
// the program opens takes their place, and remembers that standard output
// was closed, which any output then asked of it fails on.
void claimStandardDescriptors();
// After every command: standard output flushed and closed, its failure said
// in one line; returns `status`, or 1 when that failed.
int closeStandardOutput(int status);
// From the start of a run: every signal whose default action ends the
// process (KILL aside) first removes the new file being written, then ends
// the process as it asks; a file size limit ("ulimit -f") reached by a
// write fails that write, whatever the output is. Leftovers of a KILL are
// removed by a later run (see TemporaryFiles.h).
void watchEndingSignals();

class BatchOutput
{
public:
    // An empty path means standard output.
    explicit BatchOutput(QString path);
    ~BatchOutput();
    BatchOutput(const BatchOutput &) = delete;
    BatchOutput &operator=(const BatchOutput &) = delete;

    // Opens the destination; throws a Failure that says why it cannot be,
    // also when it is one of `ownFiles` (the program's own files, which no
    // run may replace), by whatever name.
    void open(const QStringList &ownFiles);
    // Writes all the bytes; throws a Failure that names the cause.
    void write(const char *data, qsizetype size);
    // Puts a written file in place; throws a Failure when that fails.
    void commit();

private:
    QString destination() const;
    void openInPlace(int handle);
    void keepOwnerAndMode(const struct stat *earlier);
    [[noreturn]] void fail(const QString &what, int error);
    void discard();

    QString m_path;
    QByteArray m_target;    // the destination as given, by its bytes
    int m_folder = -1;      // the folder of the file it names, links followed
    QByteArray m_name;      // that file's name in its folder
    QByteArray m_temporary; // the new file's name in that folder, until it is put in place
    int m_handle = -1;
    bool m_ownHandle = false;
    bool m_replaces = false; // an earlier file of the name is there
};
