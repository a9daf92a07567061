#pragma once

#include "export/TextExportWriter.h"

#include <QString>
#include <QStringView>

#include <memory>
#include <optional>

class QFileDevice;
class QIODevice;
class QSaveFile;

// Where the text export writes: a path, all of it or nothing, or a device the
// caller opened already. The bytes themselves are TextExportWriter's.
//
// A regular file is written beside its destination and put in its place by
// close(), so an earlier file of that name is replaced only by a complete new
// one; when anything went wrong the earlier file stays exactly as it was. A
// destination that is a device or a pipe (/dev/null, /dev/stdout) has nothing
// to replace and is written in place, as is an existing file in a folder
// that takes no new files (where nothing can be written beside it): the
// window's user asked for that file and would rather have it saved than be
// refused. The command line's BatchOutput never writes a file in place, as a
// script must be able to trust that a failed run left the earlier file whole.
//
// Every failure throws a Failure whose description names the file. Once a
// write failed, every later line fails too and close() drops the new file.
class TextExportFile
{
public:
    explicit TextExportFile(QString path);
    // Writes into `device`, which stays the caller's; `name` names it in failures.
    TextExportFile(QIODevice &device, QString name);
    ~TextExportFile();
    TextExportFile(const TextExportFile &) = delete;
    TextExportFile &operator=(const TextExportFile &) = delete;

    // Creates the new file, replacing any earlier one once closed.
    void create();
    // Writes the text and CR LF.
    void writeLine(QStringView text);
    // Writes what is left and puts the file in place.
    void close();
    // Lets go of the file; one that was not closed is dropped.
    void release();

private:
    TextExportWriter &requireWriter(const char *problem);
    void handToDisk(qint64 end);
    void holdEarlierFile();
    void letGoOfEarlierFile(bool replaced);
    [[noreturn]] void failWrite() const;

    QString m_path;
    QIODevice *m_given = nullptr;        // the caller's device, if any
    std::unique_ptr<QFileDevice> m_file; // the file opened at the path
    QSaveFile *m_saveFile = nullptr;     // m_file, unless a device or a pipe
    bool m_inPlace = false;              // m_saveFile writes the file itself
    std::optional<TextExportWriter> m_writer;
    qint64 m_handedToDisk = 0; // the bytes the system was asked to write to the disk
    int m_earlierFile = -1;    // the file that the new one replaces, held open

    // Bytes written before the system is asked to put them on the disk.
    static constexpr qint64 diskRun = 1024 * 1024;
};
