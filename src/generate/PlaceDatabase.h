#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The fields the user chose to show. A greyed box counts as not chosen.
struct DisplayFieldSet
{
    bool city = false;
    bool state = false;
    bool zip = false;
};

// The place database file in the program's folder.
QString databasePath(const QString &programFolder);

// True when `path` names a regular file whose name does not begin with a dot.
// Anything else in its place (a folder, a pipe) is not found, as no file is.
bool databasePresent(const QString &path);

// "SELECT <expression> as display_fields From zip_codes", or the empty text when no field is chosen.
// The select expression joins the chosen columns in the order city, state,
// zip: "city+ ', ' + state+ ' ' + zip" with all three.
QString BuildDisplayQuery(const DisplayFieldSet &fields);

// The query in SQLite's dialect: "+" becomes "||" outside string literals.
QString translateTextJoins(const QString &query);

// Proper case: a letter that begins a word becomes upper case, every other
// letter lower case. Words begin at the start and after NUL, TAB, LF, VT, FF,
// CR and blank. Lengths never change.
QString properCase(const QString &text);
// properCase, then the state code after the first comma in upper case: every
// occurrence of the piece of up to 4 characters from that comma (the comma, a
// blank and the code) is replaced by its upper-case form.
QString NormalizeDisplayText(const QString &text);

// A read-only connection to the place database: the one opener of the window
// and the command line, and the one place that says in a user's words what is
// wrong with the file (missing, a folder, empty, unreadable, not SQLite, a
// table or column missing, a write-ahead log SQLite cannot read there).
class PlaceConnection
{
public:
    PlaceConnection() = default;
    ~PlaceConnection();
    PlaceConnection(const PlaceConnection &) = delete;
    PlaceConnection &operator=(const PlaceConnection &) = delete;

    // Opens the database file `path`, reached by the bytes `fileName` (by
    // QFile::encodeName(path) when none are given); throws a Failure that says what is wrong.
    void open(const QString &path, const QByteArray &fileName = QByteArray());
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const QString &path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }

    // Runs an SQLite query and calls `row` with each row's statement; throws
    // a Failure that says what is wrong.
    void select(const QString &query, const std::function<void(sqlite3_stmt *)> &row) const;
    bool hasTable(const QString &name) const;
    // Throws the Failure that describes SQLite's result `code` on this connection.
    [[noreturn]] void fail(int code) const;

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
    QByteArray m_fileName;
};

// A static, read-only record set: every row is read when it opens, so the
// count is exact at once and any record is reached in constant time.
class PlaceRecordSet
{
public:
    // Runs the query (in the "+" dialect) on the connection and reads every
    // row, calling `whileReading` now and then so that a window stays live;
    // throws a Failure that says what is wrong.
    void open(const QString &query, const PlaceConnection &connection,
              const std::function<void()> &whileReading = nullptr);
    void close();
    bool isOpen() const { return m_open; }

    std::int32_t recordCount() const;
    void moveFirst();
    // Moves `offset` records forward from the current one.
    void move(std::int32_t offset);
    // The current record's offset from the first.
    std::int32_t position() const;
    // The value of the named field of the current record, as text. A record
    // without a value (NULL) fails the read.
    QString value(const QString &field) const;

private:
    void requireOpen() const;

    bool m_open = false;
    QString m_column;
    std::vector<QString> m_values;
    std::vector<bool> m_null;
    std::int64_t m_position = -1;
};
