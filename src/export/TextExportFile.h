#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <memory>
#include <vector>

class QFileDevice;
class QSaveFile;

// The file the text export writes: all of it or nothing.
//
// A regular file is written beside its destination and put in its place by
// close(), so an earlier file of that name is replaced only by a complete new
// one; when anything went wrong the earlier file stays exactly as it was. A
// destination that is a device or a pipe (/dev/null, /dev/stdout) has nothing
// to replace and is written in place.
//
// Lines are gathered and go to the disk in large blocks, encoded in the
// system locale's encoding without a byte-order mark; a code unit the
// encoding cannot represent (a lone surrogate) becomes "?". The first line
// goes at once, so a destination that takes no bytes at all is found at the
// first line rather than at the close.
//
// Every failure throws a Failure whose description names the file. Once a
// write failed, every later line fails too and close() drops the new file.
class TextExportFile
{
public:
    explicit TextExportFile(QString path);
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

    // Characters gathered before they go to the disk.
    static constexpr qsizetype blockSize = 128 * 1024;

private:
    void flush();
    void requireOpen(const char *problem) const;
    [[noreturn]] void failWrite() const;

    QString m_path;
    std::unique_ptr<QFileDevice> m_device;
    QSaveFile *m_saveFile = nullptr; // m_device, unless written in place
    QStringEncoder m_encoder;
    std::vector<char16_t> m_pending; // lines not yet written, each with its CR LF
    QByteArray m_bytes;
    bool m_firstLine = true;
    QString m_writeError; // why the first failed write failed; empty while all went well
};
