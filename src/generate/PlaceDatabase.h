#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

struct sqlite3;

// The fields the user chose to show. A greyed box counts as not chosen.
struct DisplayFieldSet
{
    bool city = false;
    bool state = false;
    bool zip = false;
};

namespace PlaceQuery {
// The pieces of the select expression, in the database's dialect, where "+" joins texts.
inline constexpr char cityField[] = "city";
inline constexpr char stateField[] = "state";
inline constexpr char zipField[] = "zip";
inline constexpr char stateAfter[] = "+ ', ' + state";
inline constexpr char zipAfter[] = "+ ' ' + zip";
} // namespace PlaceQuery

// The place database file in the program's folder.
QString databasePath(const QString &programFolder);

// True when `path` names a regular file whose name does not begin with a dot.
bool databasePresent(const QString &path);

// "SELECT <expression> as display_fields From zip_codes", or the empty text when no field is chosen.
QString BuildDisplayQuery(const DisplayFieldSet &fields);
QString displayQueryFor(const QString &expression);

// The query in SQLite's dialect: "+" becomes "||" outside string literals.
QString translateTextJoins(const QString &query);

// Proper case: a letter that begins a word becomes upper case, every other
// letter lower case. Words begin at the start and after NUL, TAB, LF, VT, FF,
// CR and blank. Lengths never change.
QString properCase(const QString &text);
// The piece of up to 4 characters from the first comma (the comma, a blank
// and the state code), or the empty text when there is no comma.
QString stateCodePiece(const QString &text);
// Every occurrence of `piece` in `text` replaced by its upper-case form.
QString upperCasePiece(const QString &text, const QString &piece);
// properCase, then the state code after the first comma in upper case.
QString NormalizeDisplayText(const QString &text);

// A read-only connection to the place database.
class PlaceConnection
{
public:
    PlaceConnection() = default;
    ~PlaceConnection();
    PlaceConnection(const PlaceConnection &) = delete;
    PlaceConnection &operator=(const PlaceConnection &) = delete;

    // Opens the database file; throws a Failure that says what is wrong.
    void open(const QString &path);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const QString &path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
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
