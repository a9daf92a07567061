#include "generate/PlaceDatabase.h"

#include "shell/Failure.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

QString databasePath(const QString &programFolder)
{
    return programFolder + QStringLiteral("/zipbase.mdb");
}

bool databasePresent(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

QString BuildDisplayQuery(const DisplayFieldSet &fields)
{
    QString expression;
    if (fields.city)
        expression = QStringLiteral("city");
    if (fields.state)
        expression = expression.isEmpty() ? QStringLiteral("state") : expression + QStringLiteral("+ ', ' + state");
    if (fields.zip)
        expression = expression.isEmpty() ? QStringLiteral("zip") : expression + QStringLiteral("+ ' ' + zip");
    if (expression.isEmpty())
        return QString();
    return QStringLiteral("SELECT ") + expression + QStringLiteral(" as display_fields From zip_codes");
}

QString translateTextJoins(const QString &query)
{
    QString result;
    result.reserve(query.size() + 8);
    bool inLiteral = false;
    for (const QChar c : query) {
        if (c == QLatin1Char('\''))
            inLiteral = !inLiteral; // a doubled quote inside a literal toggles twice
        if (c == QLatin1Char('+') && !inLiteral)
            result += QLatin1String("||");
        else
            result += c;
    }
    return result;
}

namespace {

bool startsWord(char16_t c)
{
    return c == 0 || (c >= 9 && c <= 13) || c == 32;
}

QString databaseText(const QString &path, const QString &what)
{
    return QStringLiteral("The place database %1 %2").arg(path, what);
}

// What makes the file no database to open, whatever it holds: the empty text when nothing does.
QString unfitFileText(const QString &path, const struct stat &status)
{
    if (S_ISDIR(status.st_mode))
        return databaseText(path, QStringLiteral("is a folder, not a database file."));
    if (!S_ISREG(status.st_mode))
        return databaseText(path, QStringLiteral("is not a regular file."));
    if (status.st_size == 0)
        return databaseText(path, QStringLiteral("is empty (zero bytes), not a database file."));
    return QString();
}

// True when the file's header says it keeps a write-ahead log: SQLite reads
// such a database only where it may create the log's index beside it.
bool keepsWriteAheadLog(const QByteArray &fileName)
{
    QFile file(QFile::decodeName(fileName));
    char header[20] = {};
    return file.open(QIODevice::ReadOnly) && file.read(header, sizeof header) == sizeof header && header[18] == 2
        && header[19] == 2;
}

// The piece of up to 4 characters from the first comma (the comma, a blank
// and the state code), or the empty text when there is no comma.
QString stateCodePiece(const QString &text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    return comma < 0 ? QString() : text.mid(comma, 4);
}

// Every occurrence of `piece` in `text` replaced by its upper-case form.
QString upperCasePiece(const QString &text, const QString &piece)
{
    if (piece.isEmpty())
        return text;
    QString upper = piece;
    for (QChar &c : upper)
        c = c.toUpper();
    QString result = text;
    result.replace(piece, upper, Qt::CaseSensitive);
    return result;
}

} // namespace

QString properCase(const QString &text)
{
    QString result = text;
    bool wordStart = true;
    for (QChar &c : result) {
        c = wordStart ? c.toUpper() : c.toLower();
        wordStart = startsWord(c.unicode());
    }
    return result;
}

QString NormalizeDisplayText(const QString &text)
{
    const QString proper = properCase(text);
    return upperCasePiece(proper, stateCodePiece(proper));
}

PlaceConnection::~PlaceConnection()
{
    close();
}

void PlaceConnection::open(const QString &path, const QByteArray &fileName)
{
    close();
    m_path = path;
    m_fileName = fileName.isNull() ? QFile::encodeName(path) : fileName;
    // The file is looked at before SQLite opens it, so that a failure names its
    // cause; without waiting, should a pipe be in its place.
    const int descriptor = ::open(m_fileName.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw Failure(path + QStringLiteral(" not found."));
        throw Failure(databaseText(path, QStringLiteral("cannot be opened: %1.").arg(qt_error_string(error))));
    }
    struct stat status
    {
    };
    const int statResult = fstat(descriptor, &status);
    ::close(descriptor);
    if (statResult != 0)
        throw Failure(databaseText(path, QStringLiteral("cannot be opened: %1.").arg(qt_error_string(errno))));
    if (const QString unfit = unfitFileText(path, status); !unfit.isEmpty())
        throw Failure(unfit);
    // No statistics of SQLite's memory use: keeping them takes a lock for
    // every text the display query joins. Takes effect only before the first open.
    static const int withoutMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    Q_UNUSED(withoutMemoryStatistics);
    int code = sqlite3_open_v2(m_fileName.constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    // SQLite reads the file only when first asked: its schema is read now, so
    // that a file that is no database fails the open, as an empty one does.
    if (code == SQLITE_OK)
        code = sqlite3_exec(m_db, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        try {
            fail(code);
        } catch (...) {
            close();
            throw;
        }
    }
}

void PlaceConnection::close()
{
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

void PlaceConnection::fail(int code) const
{
    const QString message = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code));
    const int primary = code & 0xff;
    if (primary == SQLITE_NOTADB)
        throw Failure(databaseText(m_path, QStringLiteral("is not an SQLite database file.")));
    if ((primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) && keepsWriteAheadLog(m_fileName)) {
        throw Failure(databaseText(m_path,
                                   QStringLiteral("keeps a write-ahead log, which SQLite reads only where it "
                                                  "may write beside the file, and its folder is read-only "
                                                  "(PRAGMA journal_mode=DELETE makes it readable anywhere).")));
    }
    if (message.startsWith(QLatin1String("no such table: ")))
        throw Failure(databaseText(m_path, QStringLiteral("has no table \"%1\".").arg(message.mid(15))));
    if (message.startsWith(QLatin1String("no such column: ")))
        throw Failure(databaseText(
            m_path, QStringLiteral("has no column \"%1\" in its table \"zip_codes\".").arg(message.mid(16))));
    throw Failure(databaseText(m_path, QStringLiteral("cannot be read: %1.").arg(message)));
}

void PlaceConnection::select(const QString &query, const std::function<void(sqlite3_stmt *)> &row) const
{
    if (!m_db)
        throw Failure(QStringLiteral("The connection to the place database is not open."));
    sqlite3_stmt *statement = nullptr;
    const QByteArray sql = query.toUtf8();
    int code = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &statement, nullptr);
    if (code == SQLITE_OK) {
        while ((code = sqlite3_step(statement)) == SQLITE_ROW)
            row(statement);
    }
    sqlite3_finalize(statement);
    if (code != SQLITE_DONE)
        fail(code);
}

bool PlaceConnection::hasTable(const QString &name) const
{
    bool found = false;
    select(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '%1'").arg(name),
           [&](sqlite3_stmt *) { found = true; });
    return found;
}

void PlaceRecordSet::open(const QString &query, const PlaceConnection &connection,
                          const std::function<void()> &whileReading)
{
    close();
    if (!connection.isOpen())
        throw Failure(QStringLiteral("The connection to the place database is not open."));
    sqlite3_stmt *statement = nullptr;
    const QByteArray sql = translateTextJoins(query).toUtf8();
    int code = sqlite3_prepare_v2(connection.handle(), sql.constData(), int(sql.size()), &statement, nullptr);
    if (code != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(connection.handle()));
        sqlite3_finalize(statement);
        connection.fail(code);
    }
    if (!statement || sqlite3_column_count(statement) != 1) {
        sqlite3_finalize(statement);
        throw Failure(databaseText(connection.path(), QStringLiteral("cannot answer the query \"%1\".").arg(query)));
    }
    m_column = QString::fromUtf8(sqlite3_column_name(statement, 0));
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        if (whileReading && (m_values.size() & 127) == 0)
            whileReading();
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        m_null.push_back(text == nullptr);
        m_values.push_back(text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, 0)) : QString());
    }
    sqlite3_finalize(statement);
    if (code != SQLITE_DONE) {
        m_values.clear();
        m_null.clear();
        connection.fail(code);
    }
    if (m_values.size() > std::size_t(INT32_MAX)) {
        m_values.clear();
        m_null.clear();
        throw Failure(databaseText(connection.path(), QStringLiteral("holds too many places.")));
    }
    m_open = true;
    m_position = m_values.empty() ? -1 : 0;
}

void PlaceRecordSet::close()
{
    m_open = false;
    m_values.clear();
    m_values.shrink_to_fit();
    m_null.clear();
    m_position = -1;
}

void PlaceRecordSet::requireOpen() const
{
    if (!m_open)
        throw Failure(QStringLiteral("Operation is not allowed when the object is closed."));
}

std::int32_t PlaceRecordSet::recordCount() const
{
    requireOpen();
    return std::int32_t(m_values.size());
}

void PlaceRecordSet::moveFirst()
{
    requireOpen();
    if (m_values.empty())
        throw Failure(QStringLiteral("Either BOF or EOF is True: the query found no places."));
    m_position = 0;
}

void PlaceRecordSet::move(std::int32_t offset)
{
    requireOpen();
    const std::int64_t target = m_position + offset;
    if (m_position < 0 || target < 0 || target >= std::int64_t(m_values.size()))
        throw Failure(QStringLiteral("Either BOF or EOF is True: there is no record %1 places on.").arg(offset));
    m_position = target;
}

std::int32_t PlaceRecordSet::position() const
{
    requireOpen();
    return std::int32_t(m_position);
}

QString PlaceRecordSet::value(const QString &field) const
{
    requireOpen();
    if (field.compare(m_column, Qt::CaseInsensitive) != 0)
        throw Failure(QStringLiteral("Item \"%1\" cannot be found in the record set.").arg(field));
    if (m_position < 0 || m_position >= std::int64_t(m_values.size()))
        throw Failure(QStringLiteral("Either BOF or EOF is True: there is no current record."));
    if (m_null[std::size_t(m_position)])
        throw Failure(QStringLiteral("Invalid use of Null: place %1 of the database has no value in a chosen field.")
                          .arg(m_position + 1));
    return m_values[std::size_t(m_position)];
}
