#pragma once

#include <QSettings>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

// The user's options, kept between runs: texts under fixed keys, for the
// application "Kestrova" and its section "Orvelle Software". To the program it
// is one mapping from keys to texts; on disk it is two files in the user's
// config folder, where QSettings keeps user settings ($XDG_CONFIG_HOME/Kestrova/,
// normally ~/.config/Kestrova/):
//
//   "Orvelle Software.conf"          the small keys, in QSettings' INI format;
//   "Orvelle Software Prefixes.txt"  "Prefixes" alone, its text as UTF-8 and
//                                    nothing else; no file means no value.
//
// "Prefixes" holds the whole result list, some 20 MB for a million rows. In the INI
// file it would be rewritten with every keystroke in the number box, and
// QSettings alone needs about a second to write such a value once.
//
// Every write is on disk when write() returns, and is atomic: the new file is
// written beside the old one, flushed, and renamed over it, so a program killed
// at any moment leaves the old value or the new one, never a torn file.
//
// A pipe, a device or a socket in a file's place is neither opened nor
// replaced: the key reads as its default and a write fails, as with a folder.
//
// Construction reads the small file only; the Prefixes file is opened only when
// that key is read or written.
//
// A small file that QSettings cannot fully understand would lose, at the next
// write, whatever it could not read: construction keeps its bytes beside it
// first, as "Orvelle Software.conf.damaged" (or ".damaged-2" and so on, never
// over an earlier copy), and loadProblem() says so. So too for a file that is
// not all UTF-8 (a hand-edited value in another encoding): QSettings reads
// such bytes as U+FFFD, and the next write would store them so.
class SettingsStore
{
public:
    // Every key the program uses. Their texts and defaults are in one table in
    // SettingsStore.cpp.
    enum class Key
    {
        NumberOfRecords, // the number box's text, default "200"
        City,            // the City box's state "0", "1" or "2", default 1, on disk "Check1"
        State,           // the State box, as City, on disk "Check2"
        Zip,             // the Zip box, as City, on disk "Check3"
        Prefixes,        // the result list's texts joined by ";", written at close
    };

    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    static QString name(Key key);
    static QString defaultValue(Key key);

    // The stored text, or defaultValue when the key is missing or its file
    // cannot be read. An empty text is a value. Reading never creates a key.
    QString read(const QString &key, const QString &defaultValue) const;
    QString read(Key key) const;

    // The stored text as a 16-bit integer, or defaultValue when the key is
    // missing. The text is read as the number box reads numbers (parseNumber:
    // blanks, a sign, digits, a fraction after a point, an exponent) and
    // rounded half to even ("2.5" gives 2, "3.5" gives 4). Throws Failure when
    // it holds no number, the empty text included, or the rounded value does
    // not fit in 16 bits.
    qint16 readInt16(const QString &key, qint16 defaultValue) const;
    qint16 readInt16(Key key) const;

    // Stores the text, replacing any earlier one, and waits until it is on
    // disk. A failure shows in status(); the store stays usable.
    void write(const QString &key, const QString &value);
    void write(Key key, const QString &value);

    // The outcome of the last load or write: loading the small file at
    // construction, reading "Prefixes", or any write.
    //   NoError      all went well;
    //   FormatError  the file could not be fully understood: the keys that
    //                could be read are used, the rest read as their defaults,
    //                and the next write of the small file rewrites it cleanly
    //                (the damaged bytes kept aside first, see keptCopy());
    //   AccessError  the file could not be read (every key reads as its
    //                default), or a write did not reach the disk.
    QSettings::Status status() const { return m_status; }

    // The file that holds the key.
    QString fileName(const QString &key) const;

    // What went wrong loading the small file at construction, in words for the
    // user, or the empty text when it loaded cleanly.
    QString loadProblem() const;
    // After a write of the option `key` that failed: in words for the user,
    // the file that could not be written, why, and that changes to the
    // options are not kept meanwhile.
    QString writeProblem(const QString &key) const;
    // Why the file that holds `key` cannot be written, in words for the user
    // ("its folder ... is read-only"): the same words for the same cause, whichever file.
    QString storageCause(const QString &key) const;
    // What is at fault when the file that holds `key` cannot be written: the
    // same text for the same fault, whichever file it stops ("its folder ...
    // is read-only" stops both), so that each is told once.
    QString storageFault(const QString &key) const;
    // When the small file could not be used at all (a folder, a pipe, a device
    // or a socket in its place: neither read nor written), its storageFault(); else the empty text.
    QString loadFault() const;
    // Where the damaged small file's bytes were kept; empty when nothing was kept.
    QString keptCopy() const { return m_keptCopy; }

private:
    std::optional<QString> lookup(const QString &key) const;
    std::optional<QString> readOwnFile(const QString &key) const;
    void writeOwnFile(const QString &key, const QString &value);
    void keepDamagedFile();

    QString m_folder;
    QString m_optionsFile;
    std::unique_ptr<QSettings> m_options;
    mutable QSettings::Status m_status = QSettings::NoError;
    // The system's words for the last failed write of a file of its own; empty after a good one.
    QString m_writeError;
    QSettings::Status m_loadStatus = QSettings::NoError;
    QString m_keptCopy;
    // A damaged small file that could not be kept is not written over.
    bool m_keepFailed = false;
    // A folder, pipe, device or socket in the small file's place: it is neither read nor written.
    bool m_unusable = false;
    // The damage: bytes that are not UTF-8 (else: what QSettings could not parse).
    bool m_notUtf8 = false;
};
