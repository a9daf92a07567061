#include "generate/PlaceDatabase.h"

#include "shell/Failure.h"

#include <QFileInfo>

#include <sqlite3.h>

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

QString failureText(const PlaceConnection &connection, const QString &what)
{
    return QStringLiteral("The place database %1 %2").arg(connection.path(), what);
}

// Says in a user's words what SQLite refused.
QString describeSqliteError(const PlaceConnection &connection, int code, const QString &message)
{
    if (code == SQLITE_NOTADB)
        return failureText(connection, QStringLiteral("is not an SQLite database file."));
    if (message.startsWith(QLatin1String("no such table: ")))
        return failureText(connection, QStringLiteral("has no table \"%1\".").arg(message.mid(15)));
    if (message.startsWith(QLatin1String("no such column: ")))
        return failureText(connection,
                           QStringLiteral("has no column \"%1\" in its table \"zip_codes\".").arg(message.mid(16)));
    return failureText(connection, QStringLiteral("cannot be read: %1.").arg(message));
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

void PlaceConnection::open(const QString &path)
{
    close();
    m_path = path;
    if (!QFileInfo(path).isFile())
        throw Failure(QStringLiteral("The place database %1 cannot be opened: there is no such file.").arg(path));
    // No statistics of SQLite's memory use: keeping them takes a lock for
    // every text the display query joins. Takes effect only before the first open.
    static const int withoutMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    Q_UNUSED(withoutMemoryStatistics);
    sqlite3 *db = nullptr;
    const int code = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (code != SQLITE_OK) {
        const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
        sqlite3_close(db);
        throw Failure(QStringLiteral("The place database %1 cannot be opened: %2.").arg(path, message));
    }
    m_db = db;
}

void PlaceConnection::close()
{
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
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
        throw Failure(describeSqliteError(connection, code, message));
    }
    if (!statement || sqlite3_column_count(statement) != 1) {
        sqlite3_finalize(statement);
        throw Failure(failureText(connection, QStringLiteral("cannot answer the query \"%1\".").arg(query)));
    }
    m_column = QString::fromUtf8(sqlite3_column_name(statement, 0));
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        if (whileReading && (m_values.size() & 127) == 0)
            whileReading();
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        m_null.push_back(text == nullptr);
        m_values.push_back(text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, 0)) : QString());
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(connection.handle()));
    sqlite3_finalize(statement);
    if (code != SQLITE_DONE) {
        m_values.clear();
        m_null.clear();
        throw Failure(describeSqliteError(connection, code, message));
    }
    if (m_values.size() > std::size_t(INT32_MAX)) {
        m_values.clear();
        m_null.clear();
        throw Failure(failureText(connection, QStringLiteral("holds too many places.")));
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
