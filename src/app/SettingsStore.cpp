#include "app/SettingsStore.h"

#include "shell/Failure.h"
#include "shell/Numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>
#include <QVariant>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr QStringView application = u"Kestrova";
constexpr QStringView section = u"Orvelle Software";

enum class Placement
{
    Options, // in the INI file with the other small keys
    OwnFile, // alone in a file of its own, as plain text
};

struct Setting
{
    SettingsStore::Key key;
    QStringView name;
    QStringView defaultValue;
    Placement placement;
};

// Every key the program uses. The check box keys hold "0", "1" or "2" and are
// read with readInt16(). "Prefixes" is written at every close and never read
// back; it can be tens of megabytes, hence a file of its own.
constexpr Setting settingsTable[] = {
    {SettingsStore::Key::NumberOfRecords, u"Number Of Records", u"200", Placement::Options},
    {SettingsStore::Key::City, u"Check1", u"1", Placement::Options},
    {SettingsStore::Key::State, u"Check2", u"1", Placement::Options},
    {SettingsStore::Key::Zip, u"Check3", u"1", Placement::Options},
    {SettingsStore::Key::Prefixes, u"Prefixes", u"", Placement::OwnFile},
};

const Setting &setting(SettingsStore::Key key)
{
    return *std::find_if(std::begin(settingsTable), std::end(settingsTable),
                         [key](const Setting &s) { return s.key == key; });
}

// Keys outside the table go to the INI file.
Placement placementOf(QStringView name)
{
    for (const Setting &s : settingsTable) {
        if (s.name == name)
            return s.placement;
    }
    return Placement::Options;
}

// A stored text as a 16-bit integer: the number box's grammar (parseNumber),
// rounded half to even; nothing when it holds no number or the result does not fit.
std::optional<qint16> toInt16(const QString &text)
{
    const std::optional<double> rounded = parseWholeNumber(text);
    if (!rounded || *rounded < -32768 || *rounded > 32767)
        return std::nullopt;
    return static_cast<qint16>(*rounded);
}

// True when something other than a file or a folder stands at `path`: a pipe,
// a device or a socket. Opening one could wait for ever, so the store neither
// reads nor writes it.
bool isSpecialFile(const QString &path)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode)
        && !S_ISDIR(status.st_mode);
}

// Whether the file's bytes are UTF-8 text; one that cannot be read has none
// that a write could lose.
bool holdsUtf8Only(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(file.readAll());
    return !utf8.hasError();
}

} // namespace

SettingsStore::SettingsStore()
{
    // Where QSettings keeps a user's settings for this application and section
    // on Linux: $XDG_CONFIG_HOME, or ~/.config. A QSettings made from the two
    // names would find the same file, but it would read it first and keep what
    // went wrong in that reading to itself; m_options would then share its copy
    // and report NoError.
    m_folder = QStringLiteral("%1/%2").arg(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                                           application);
    m_optionsFile = QStringLiteral("%1/%2.conf").arg(m_folder, section);
    if (isSpecialFile(m_optionsFile) || QFileInfo(m_optionsFile).isDir()) {
        m_unusable = true;
        m_loadStatus = m_status = QSettings::AccessError;
        return;
    }
    m_options = std::make_unique<QSettings>(m_optionsFile, QSettings::NativeFormat);
    // QSettings parses a section only when a key in it is first read; parse
    // them all now so that status() reports a malformed file from the start.
    m_options->allKeys();
    m_status = m_options->status();
    if (m_status == QSettings::NoError && !holdsUtf8Only(m_optionsFile)) {
        m_notUtf8 = true;
        m_status = QSettings::FormatError;
    }
    m_loadStatus = m_status;
    if (m_status == QSettings::FormatError)
        keepDamagedFile();
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::name(Key key)
{
    return setting(key).name.toString();
}

QString SettingsStore::defaultValue(Key key)
{
    return setting(key).defaultValue.toString();
}

QString SettingsStore::read(const QString &key, const QString &defaultValue) const
{
    return lookup(key).value_or(defaultValue);
}

QString SettingsStore::read(Key key) const
{
    return read(name(key), defaultValue(key));
}

qint16 SettingsStore::readInt16(const QString &key, qint16 defaultValue) const
{
    const std::optional<QString> text = lookup(key);
    if (!text)
        return defaultValue;
    if (const std::optional<qint16> value = toInt16(*text))
        return *value;
    throw Failure(QStringLiteral("The setting \"%1\" holds \"%2\", which is not a whole number "
                                 "from -32768 to 32767.")
                      .arg(key, *text));
}

qint16 SettingsStore::readInt16(Key key) const
{
    return readInt16(name(key), toInt16(setting(key).defaultValue.toString()).value_or(0));
}

void SettingsStore::write(const QString &key, const QString &value)
{
    if (placementOf(key) == Placement::OwnFile) {
        writeOwnFile(key, value);
        return;
    }

    if (m_keepFailed || !m_options || isSpecialFile(m_optionsFile)) {
        m_status = QSettings::AccessError;
        return;
    }
    // A QSettings keeps the first error it meets for good, so m_options would
    // report a malformed file forever; a writer of its own reports this write
    // alone. It shares m_options' parsed copy of the file, so it reads nothing,
    // and m_options sees the new value at once.
    QSettings writer(m_optionsFile, QSettings::NativeFormat);
    writer.setAtomicSyncRequired(true); // temporary file and rename, never in place
    writer.setValue(key, value);
    writer.sync(); // flushed to disk and renamed over the old file before this returns
    m_status = writer.status();
}

void SettingsStore::write(Key key, const QString &value)
{
    write(name(key), value);
}

QString SettingsStore::fileName(const QString &key) const
{
    if (placementOf(key) == Placement::OwnFile)
        return QStringLiteral("%1/%2 %3.txt").arg(m_folder, section, key);
    return m_optionsFile;
}

QString SettingsStore::loadProblem() const
{
    switch (m_loadStatus) {
    case QSettings::NoError:
        break;
    case QSettings::AccessError:
        if (m_unusable)
            return QStringLiteral("The settings file %1 cannot be read: %2. The options take their defaults, and "
                                  "changes to them will not be kept.")
                .arg(m_optionsFile, storageCause(name(Key::City)));
        return QStringLiteral("The settings file %1 cannot be read: the options take their defaults.")
            .arg(m_optionsFile);
    case QSettings::FormatError:
        if (m_notUtf8 && m_keepFailed)
            return QStringLiteral("The settings file %1 holds bytes that are not UTF-8 text, and it could not be "
                                  "kept aside: the options are read with U+FFFD in place of those bytes, and changes "
                                  "to them are not stored, so that the file stays as it is.")
                .arg(m_optionsFile);
        if (m_notUtf8)
            return QStringLiteral("The settings file %1 holds bytes that are not UTF-8 text: the options are read "
                                  "with U+FFFD in place of those bytes. The file as it was is kept in %2.")
                .arg(m_optionsFile, m_keptCopy);
        if (m_keepFailed)
            return QStringLiteral("The settings file %1 could not be read in full, nor kept aside: the options that "
                                  "could be read are used, and changes to them are not stored, so that the file "
                                  "stays as it is.")
                .arg(m_optionsFile);
        return QStringLiteral("The settings file %1 could not be read in full: the options that could be read are "
                              "used, the others take their defaults. The file as it was is kept in %2.")
            .arg(m_optionsFile, m_keptCopy);
    }
    return QString();
}

QString SettingsStore::writeProblem(const QString &key) const
{
    const QString file = fileName(key);
    if (placementOf(key) == Placement::Options && m_keepFailed)
        return QStringLiteral("The options are not stored in %1: it could not be read in full nor kept aside, and "
                              "is left as it is. Changes to the options will not be kept.")
            .arg(file);
    return QStringLiteral("The options cannot be stored in %1: %2. Changes to them will not be kept until the "
                          "file can be written.")
        .arg(file, storageCause(key));
}

QString SettingsStore::storageCause(const QString &key) const
{
    const QFileInfo info(fileName(key));
    const QFileInfo folder(info.path());
    if (info.isDir())
        return QStringLiteral("a folder of that name is in its place");
    if (isSpecialFile(info.filePath()))
        return QStringLiteral("something that is not a file (a pipe, a device or a socket) is in its place");
    if (info.exists() && !info.isWritable())
        return QStringLiteral("the file is read-only");
    if (folder.exists() && !folder.isDir())
        return QStringLiteral("%1 is a file, not a folder").arg(folder.filePath());
    if (!folder.exists())
        return QStringLiteral("its folder %1 cannot be made").arg(folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("its folder %1 is read-only").arg(folder.filePath());
    // A link to a file that is not there: the file is made where it leads.
    if (info.isSymLink() && !info.exists()) {
        const QFileInfo target(info.symLinkTarget());
        const QFileInfo targetFolder(target.absolutePath());
        if (!targetFolder.isDir())
            return QStringLiteral("it is a link to %1, whose folder %2 does not exist")
                .arg(target.filePath(), targetFolder.filePath());
        if (!targetFolder.isWritable())
            return QStringLiteral("it is a link to %1, whose folder %2 is read-only")
                .arg(target.filePath(), targetFolder.filePath());
    }
    // A full disk stops every file of the folder; a write refused otherwise
    // (a file size limit) is said in the system's words.
    struct statvfs space
    {
    };
    if (::statvfs(QFile::encodeName(folder.absoluteFilePath()).constData(), &space) == 0 && space.f_bavail == 0)
        return QStringLiteral("the disk that holds %1 is full").arg(folder.filePath());
    if (placementOf(key) == Placement::OwnFile && !m_writeError.isEmpty())
        return QStringLiteral("the system refused the write: %1").arg(m_writeError);
    return QStringLiteral("the new text did not reach the disk");
}

QString SettingsStore::storageFault(const QString &key) const
{
    // A cause that names a folder is that folder's, shared by both files; any other is the file's own.
    const QString cause = storageCause(key);
    return cause.contains(QFileInfo(fileName(key)).path()) ? cause : fileName(key) + QStringLiteral(": ") + cause;
}

QString SettingsStore::loadFault() const
{
    return m_unusable ? storageFault(name(Key::City)) : QString();
}

void SettingsStore::keepDamagedFile()
{
    QFile damaged(m_optionsFile);
    const QByteArray bytes = damaged.open(QIODevice::ReadOnly) ? damaged.readAll() : QByteArray();
    if (damaged.error() != QFileDevice::NoError) {
        m_keepFailed = true;
        return;
    }
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? m_optionsFile + QStringLiteral(".damaged")
                                    : QStringLiteral("%1.damaged-%2").arg(m_optionsFile).arg(n);
        QFile copy(name);
        if (copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            copy.setPermissions(damaged.permissions());
            if (copy.write(bytes) == bytes.size() && copy.flush()) {
                m_keptCopy = name;
            } else {
                copy.remove();
                m_keepFailed = true;
            }
            return;
        }
        if (!copy.exists()) { // not refused for being there: the folder takes no new file
            m_keepFailed = true;
            return;
        }
        // The same damage kept at an earlier start is not kept twice.
        if (copy.open(QIODevice::ReadOnly) && copy.readAll() == bytes) {
            m_keptCopy = name;
            return;
        }
    }
}

std::optional<QString> SettingsStore::lookup(const QString &key) const
{
    if (placementOf(key) == Placement::OwnFile)
        return readOwnFile(key);

    if (!m_options)
        return std::nullopt;
    const QVariant value = m_options->value(key);
    if (!value.isValid())
        return std::nullopt;
    // An unquoted comma in a hand-edited file makes QSettings read a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

std::optional<QString> SettingsStore::readOwnFile(const QString &key) const
{
    QFile file(fileName(key));
    if (isSpecialFile(file.fileName())) {
        m_status = QSettings::AccessError;
        return std::nullopt;
    }
    if (!file.exists()) {
        m_status = QSettings::NoError;
        return std::nullopt;
    }
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError) {
        m_status = QSettings::AccessError;
        return std::nullopt;
    }
    // Keep a leading U+FEFF: it is part of the text, not a byte order mark.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        m_status = QSettings::FormatError;
        return std::nullopt;
    }
    m_status = QSettings::NoError;
    return text;
}

void SettingsStore::writeOwnFile(const QString &key, const QString &value)
{
    if (isSpecialFile(fileName(key))) {
        m_status = QSettings::AccessError;
        return;
    }
    const QByteArray bytes = value.toUtf8();
    // QSaveFile writes a temporary file beside the old one and, in commit(),
    // renames it over the old one. Unbuffered, each write reaches the file at
    // once and says whether it did: Qt 6.4 commits after a failed final flush
    // of its buffer, which would put a torn file in the old one's place.
    QSaveFile file(fileName(key));
    bool written = QDir().mkpath(m_folder) && file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    // A short write is tried again, so that what stopped it is told.
    for (qint64 done = 0; written && done < bytes.size();) {
        const qint64 count = file.write(bytes.constData() + done, bytes.size() - done);
        written = count > 0;
        done += count;
    }
    QString cause = written ? QString() : file.errorString();
    if (written && ::fsync(file.handle()) != 0) {
        cause = QString::fromLocal8Bit(std::strerror(errno));
        written = false;
    }
    if (written && !file.commit()) {
        cause = file.errorString();
        written = false;
    }
    m_writeError = cause;
    m_status = written ? QSettings::NoError : QSettings::AccessError;
}
