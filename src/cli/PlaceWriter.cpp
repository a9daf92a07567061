#include "cli/PlaceWriter.h"

#include "cli/PlaceDraws.h"
#include "export/TextExportWriter.h"
#include "shell/Failure.h"

#include <QBuffer>
#include <QByteArray>
#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// What an edited database may hold, the formats answer alike, in every
// value they copy from it (area codes and phones too): bytes that are not
// UTF-8 become U+FFFD in every format (the window's lines are decoded so
// too); a control character (U+0000 to U+001F, U+007F) is quoted by csv and
// sql and escaped by JSON, and refused by plain, tsv and aligned, whose lines and
// cells cannot hold one; sql refuses a NUL, which neither SQLite's shell nor
// PostgreSQL's text takes; a number that is not finite is JSON's null.
bool isControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

bool holdsControls(OutputFormat format)
{
    return format == OutputFormat::Csv || format == OutputFormat::Jsonl || format == OutputFormat::Json
        || format == OutputFormat::Sql || format == OutputFormat::Geojson || format == OutputFormat::Geojsonseq;
}

// Refuses a place's value that the format cannot hold.
void checkControls(QByteArrayView value, OutputFormat format, const char *field, QByteArrayView zip)
{
    const bool nul = format == OutputFormat::Sql && value.contains('\0');
    if (!nul && (holdsControls(format) || std::none_of(value.begin(), value.end(), isControl)))
        return;
    throw Failure(QStringLiteral("the place database gives ZIP code '%1' a %2 with %3, which --format %4 cannot "
                                 "hold: %5 can")
                      .arg(QString::fromUtf8(zip), QLatin1String(field),
                           nul ? QStringLiteral("a NUL byte") : QStringLiteral("a control character"),
                           QLatin1String(info(format).name),
                           nul ? QStringLiteral("csv, jsonl, json, geojson and geojsonseq")
                               : QStringLiteral("csv, jsonl, json, sql, geojson and geojsonseq")));
}

// The bytes of a run around its places, and every place's bytes: made once,
// then copied for each draw. A place whose line holds an area code or a phone
// has a line for each of its area codes (one when it has none), of which each
// draw takes one, and the phone's last two digits, which each draw fills in.
// Before each place's line goes the lead, between two places the separator.
class RenderedLines
{
public:
    QByteArray header;
    // What a long beginning that every place's line shares (sql: the INSERT
    // with a long --table name) is kept as, once, rather than in every line.
    QByteArray lead;
    QByteArray separator;
    QByteArray footer;
    // Every groupSize places (0: never), groupBreak instead of the separator
    // and the lead; after the last place, groupEnd (sql: many rows to an INSERT).
    std::uint64_t groupSize = 0;
    QByteArray groupBreak;
    QByteArray groupEnd;

    // A place of one line.
    void append(const QByteArray &bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        m_ends.push_back(std::uint32_t(m_bytes.size()));
    }
    // The lines of a place, one for each of its area codes, each with where
    // in it the phone's last two digits go (-1: no phone), which lies just
    // before its bytes so that one read of memory brings both.
    void appendDrawn(const std::vector<std::pair<QByteArray, std::int32_t>> &lines)
    {
        m_firstLines.push_back(std::uint32_t(m_ends.size()));
        for (const auto &[bytes, digits] : lines) {
            const auto *raw = reinterpret_cast<const char *>(&digits);
            m_bytes.insert(m_bytes.end(), raw, raw + sizeof digits);
            append(bytes);
        }
        m_lineCounts.push_back(std::uint32_t(lines.size()));
    }

    // Whether the places have a line for each area code.
    bool drawn() const { return !m_firstLines.empty(); }
    // A place's first line and how many it has (drawn() only).
    std::uint32_t firstLine(std::uint32_t place) const { return m_firstLines[place]; }
    std::uint32_t lineCount(std::uint32_t place) const { return m_lineCounts[place]; }

    // A line's bytes; without drawn(), a place's line has the place's number.
    const char *begin(std::uint32_t line) const { return m_bytes.data() + start(line); }
    const char *end(std::uint32_t line) const { return m_bytes.data() + m_ends[line]; }
    // Where the phone's last two digits go in the drawn line that starts at `line` (one of begin()'s).
    static std::int32_t digits(const char *line)
    {
        std::int32_t digits = 0;
        std::memcpy(&digits, line - sizeof digits, sizeof digits);
        return digits;
    }

private:
    std::size_t start(std::uint32_t line) const
    {
        return (line == 0 ? 0 : m_ends[line - 1]) + (drawn() ? sizeof(std::int32_t) : 0);
    }

    std::vector<char> m_bytes;
    std::vector<std::uint32_t> m_ends;
    std::vector<std::uint32_t> m_firstLines;
    std::vector<std::uint32_t> m_lineCounts;
};

// The window's aligned table: each line through the window's own text writer,
// filled to the widest of the caption and the drawn places.
RenderedLines renderAligned(const PlaceTable &table, const std::vector<std::uint32_t> &places, PlaceDraws &draws)
{
    const QString caption = QStringLiteral("Result(s)");
    qsizetype width = caption.size();
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i)
        width = std::max(width, table.windowLine(places[draws.next()]).size());

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TextExportWriter writer(buffer);
    const auto line = [&](const QString &text) {
        writer.writeRow(text, width);
        writer.flush();
        const QByteArray bytes = buffer.data().first(buffer.pos());
        buffer.seek(0);
        return bytes;
    };
    RenderedLines lines;
    lines.header = line(caption);
    for (std::uint32_t place : places) {
        const QString &text = table.windowLine(place);
        checkControls(text.toUtf8(), OutputFormat::Aligned, "name", table.value(place, Field::Zip));
        lines.append(line(text));
    }
    return lines;
}

// The text between two quotes, each quote in it doubled: a quoted csv cell,
// an SQL string literal (') or an SQL name (").
template <char quote> void appendQuoted(QByteArray &line, QByteArrayView text)
{
    line += quote;
    for (char c : text) {
        if (c == quote)
            line += quote;
        line += c;
    }
    line += quote;
}

// A csv cell: quoted, with its quotes doubled, when it holds a comma, a quote or a control character.
void appendCsvCell(QByteArray &line, QByteArrayView text)
{
    const auto special = [](char c) { return c == ',' || c == '"' || isControl(c); };
    if (std::none_of(text.begin(), text.end(), special))
        line += text;
    else
        appendQuoted<'"'>(line, text);
}

// A tsv cell (one without a control character).
void appendTsvCell(QByteArray &line, QByteArrayView text)
{
    line += text;
}

void appendJsonString(QByteArray &line, QByteArrayView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    // Most values need no escaping: they go in with their quotes in one step.
    const auto plainByte = [](char c) { return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20; };
    if (std::all_of(text.begin(), text.end(), plainByte)) {
        const qsizetype at = line.size();
        line.resize(at + text.size() + 2);
        char *out = line.data() + at;
        *out = '"';
        std::memcpy(out + 1, text.data(), std::size_t(text.size()));
        out[text.size() + 1] = '"';
        return;
    }
    line += '"';
    // The bytes between two that need escaping go in at once (UTF-8 passes as it is).
    qsizetype plain = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (plainByte(c))
            continue;
        line += text.sliced(plain, at - plain);
        plain = at + 1;
        if (byte < 0x20) {
            const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 15]};
            line += QByteArrayView(escape, sizeof escape);
        } else {
            const char escape[] = {'\\', c};
            line += QByteArrayView(escape, sizeof escape);
        }
    }
    line += text.sliced(plain);
    line += '"';
}

// Whether `text` is a number as JSON writes one: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(QByteArrayView text)
{
    qsizetype at = 0;
    const auto digits = [&] {
        const qsizetype start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at - start;
    };
    if (at < text.size() && text[at] == '-')
        ++at;
    const qsizetype whole = at;
    if (digits() == 0 || (text[whole] == '0' && at - whole > 1))
        return false;
    if (at < text.size() && text[at] == '.' && (++at, digits() == 0))
        return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        if (digits() == 0)
            return false;
    }
    return at == text.size();
}

// A number as the database writes it, a missing value as `null`, and so is
// a number that is not finite (nan, inf, 1e999); a value that is no number as
// JSON and SQL write one stays text.
template <void (*appendString)(QByteArray &, QByteArrayView)>
void appendValue(QByteArray &line, QByteArrayView text, bool number, const char *null)
{
    if (text.isEmpty()) {
        line += null;
        return;
    }
    // A decimal without an exponent and of fewer than 309 digits is finite as it is.
    if (number && text.size() < 300 && isJsonNumber(text)
        && std::none_of(text.begin(), text.end(), [](char c) { return c == 'e' || c == 'E'; })) {
        line += text;
        return;
    }
    if (number) {
        const QByteArray terminated = text.toByteArray();
        char *end = nullptr;
        const double value = std::strtod(terminated.constData(), &end);
        if (end != terminated.constData() && !std::isfinite(value)) {
            line += null;
            return;
        }
        if (isJsonNumber(text)) {
            line += text;
            return;
        }
    }
    appendString(line, text);
}

// An SQL name, quoted so that any name is taken as it is.
QByteArray sqlName(QByteArrayView name)
{
    QByteArray quoted;
    appendQuoted<'"'>(quoted, name);
    return quoted;
}

// The table's name, each part between its dots an SQL name: "schema"."name".
QByteArray sqlTable(const PlaceLayout &layout)
{
    QByteArray name;
    for (const QByteArray &part : layout.table.split('.'))
        name += (name.isEmpty() ? "" : ".") + sqlName(part);
    return name;
}

// The table and its columns: "t" ("a", "b").
QByteArray sqlTarget(const PlaceLayout &layout)
{
    QByteArray target = sqlTable(layout) + " (";
    for (std::size_t i = 0; i < layout.fields.size(); ++i)
        target += (i > 0 ? ", " : "") + sqlName(info(layout.fields[i]).name);
    return target + ")";
}

// A value of the database as the format writes it: bytes that are not UTF-8
// replaced (the value then kept in `replaced`), a control character refused
// where the format cannot hold one.
QByteArrayView formatValue(QByteArrayView value, QByteArray &replaced, OutputFormat format, Field field,
                           QByteArrayView zip)
{
    if (!value.isValidUtf8()) {
        replaced = QString::fromUtf8(value).toUtf8();
        value = replaced;
    }
    checkControls(value, format, info(field).name, zip);
    return value;
}

// A place's area codes, as the database lists them ("212,332,646"), each a
// value as formatValue() makes it; none when it has none.
std::vector<QByteArray> areaCodes(const PlaceTable &table, std::uint32_t place, OutputFormat format, Field field)
{
    std::vector<QByteArray> codes;
    const QByteArrayView zip = table.value(place, Field::Zip);
    QByteArrayView list = table.value(place, Field::AreaCode);
    while (!list.isEmpty()) {
        const qsizetype comma = list.indexOf(',');
        const QByteArrayView code = comma < 0 ? list : list.first(comma);
        QByteArray replaced;
        if (!code.isEmpty())
            codes.push_back(formatValue(code, replaced, format, field, zip).toByteArray());
        list = comma < 0 ? QByteArrayView() : list.sliced(comma + 1);
    }
    return codes;
}

// How the layout's lines are made: its format's row, or for sql one of its ways.
const FormatInfo &rowFormat(const PlaceLayout &layout);
// Whether sql writes many rows to an INSERT statement.
bool manyRows(const PlaceLayout &layout)
{
    return layout.format == OutputFormat::Sql && !layout.copy && layout.rowsPerInsert > 1;
}

// A place's line after `begin`, in the parts between the cells that hold the
// area code or the phone (after each part, the next of those cells).
std::vector<QByteArray> placeParts(const PlaceTable &table, std::uint32_t place, const PlaceLayout &layout,
                                   const QByteArray &begin)
{
    const FormatInfo &format = rowFormat(layout);
    std::vector<QByteArray> parts(1);
    parts.back().reserve(begin.size() + 512);
    parts.back() += begin;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const Field field = layout.fields[i];
        if (info(field).source == Field::AreaCode) {
            parts.emplace_back();
            continue;
        }
        QByteArray replaced;
        format.cell(parts.back(), i, field,
                    formatValue(table.value(place, field), replaced, layout.format, field,
                                table.value(place, Field::Zip)));
    }
    if (format.geometry)
        format.geometry(parts.back(), table, place);
    parts.back() += format.end;
    return parts;
}

// The cell of the field at `index` (the area code or the phone) for `code`,
// and where in it the phone's last two digits go (-1: none): where it
// differs from the same cell ending in other digits.
std::pair<QByteArray, std::int32_t> drawnCell(const PlaceLayout &layout, std::size_t index, const QByteArray &code)
{
    const FormatInfo &format = rowFormat(layout);
    const Field field = layout.fields[index];
    QByteArray cell;
    if (field == Field::AreaCode || code.isEmpty()) {
        format.cell(cell, index, field, code);
        return {cell, -1};
    }
    QByteArray phone = '(' + code + ") 555-0100";
    format.cell(cell, index, field, phone);
    QByteArray other;
    phone[phone.size() - 2] = phone[phone.size() - 1] = '9';
    format.cell(other, index, field, phone);
    if (cell.size() != other.size())
        return {cell, -1};
    return {cell, std::int32_t(std::mismatch(cell.cbegin(), cell.cend(), other.cbegin()).first - cell.cbegin())};
}

// A place's line from its parts, with `code` as its area code; where the
// phone's last two digits go is noted in `digits` (-1: no phone). The cells
// of a code, the same for many places, are made once, in `cells` (one a field).
QByteArray drawnLine(const std::vector<QByteArray> &parts, const PlaceLayout &layout, const QByteArray &code,
                     std::vector<QHash<QByteArray, std::pair<QByteArray, std::int32_t>>> &cells, std::int32_t &digits)
{
    QByteArray line;
    line.reserve(parts.front().size() + parts.back().size() + 128);
    line += parts.front();
    digits = -1;
    std::size_t part = 1;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        if (info(layout.fields[i]).source != Field::AreaCode)
            continue;
        auto cell = cells[i].constFind(code);
        if (cell == cells[i].cend())
            cell = cells[i].insert(code, drawnCell(layout, i, code));
        if (cell->second >= 0)
            digits = std::int32_t(line.size()) + cell->second;
        line += cell->first;
        line += parts[part++];
    }
    return line;
}

RenderedLines renderDelimited(const PlaceTable &table, const std::vector<std::uint32_t> &places,
                              const PlaceLayout &layout)
{
    const FormatInfo &format = rowFormat(layout);
    RenderedLines lines;
    lines.header = format.header(layout);
    lines.separator = format.between;
    lines.footer = format.footer;
    // What every line begins with, made once: in each line, so that a draw
    // copies one run of bytes; or, when long, written before each line instead.
    QByteArray begin;
    format.begin(begin, layout);
    if (begin.size() > 1024)
        std::swap(begin, lines.lead);
    if (manyRows(layout)) {
        lines.lead = "INSERT INTO " + sqlTarget(layout) + " VALUES\n";
        lines.groupSize = layout.rowsPerInsert;
        lines.groupBreak = ";\n" + lines.lead;
        lines.groupEnd = ";\n";
    }
    const auto drawn = std::find_if(layout.fields.begin(), layout.fields.end(),
                                    [](Field field) { return info(field).source == Field::AreaCode; });
    std::vector<std::pair<QByteArray, std::int32_t>> placeLines;
    std::vector<QHash<QByteArray, std::pair<QByteArray, std::int32_t>>> cells(layout.fields.size());
    for (std::uint32_t place : places) {
        std::vector<QByteArray> parts = placeParts(table, place, layout, begin);
        if (drawn == layout.fields.end()) {
            lines.append(parts.front());
            continue;
        }
        std::vector<QByteArray> codes = areaCodes(table, place, layout.format, *drawn);
        if (codes.empty())
            codes.emplace_back();
        placeLines.clear();
        for (const QByteArray &code : codes) {
            std::int32_t digits = -1;
            QByteArray line = drawnLine(parts, layout, code, cells, digits);
            placeLines.emplace_back(std::move(line), digits);
        }
        lines.appendDrawn(placeLines);
    }
    return lines;
}

// The field names joined by `separator`, ended by `end`: a header row, when asked for.
QByteArray headerRow(const PlaceLayout &layout, char separator, const char *end)
{
    QByteArray row;
    if (!layout.header)
        return row;
    for (Field field : layout.fields) {
        if (!row.isEmpty())
            row += separator;
        row += info(field).name;
    }
    return row + end;
}

// A cell of csv or tsv: the separator before all but the first.
template <char separator, void (*appendCell)(QByteArray &, QByteArrayView)>
void delimitedCell(QByteArray &line, std::size_t index, Field, QByteArrayView value)
{
    if (index > 0)
        line += separator;
    appendCell(line, value);
}

void noBegin(QByteArray &, const PlaceLayout &) {}
QByteArray noHeader(const PlaceLayout &)
{
    return {};
}
void jsonBegin(QByteArray &line, const PlaceLayout &)
{
    line += '{';
}
void jsonCell(QByteArray &line, std::size_t index, Field field, QByteArrayView value)
{
    if (index > 0)
        line += ',';
    appendJsonString(line, info(field).name);
    line += ':';
    appendValue<appendJsonString>(line, value, info(field).number, "null");
}

void sqlBegin(QByteArray &line, const PlaceLayout &layout)
{
    line += "INSERT INTO " + sqlTarget(layout) + " VALUES (";
}
void sqlCell(QByteArray &line, std::size_t index, Field field, QByteArrayView value)
{
    if (index > 0)
        line += ", ";
    appendValue<appendQuoted<'\''>>(line, value, info(field).number, "NULL");
}
// One transaction, so that SQLite loads a million rows in seconds; the table first, when asked.
QByteArray sqlHeader(const PlaceLayout &layout)
{
    QByteArray header = "BEGIN;\n";
    if (!layout.header)
        return header;
    header += "CREATE TABLE IF NOT EXISTS " + sqlTable(layout) + " (";
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const FieldInfo &field = info(layout.fields[i]);
        header += (i > 0 ? ", " : "") + sqlName(field.name) + (field.number ? " DOUBLE PRECISION" : " TEXT");
    }
    return header + ");\n";
}

// A GeoJSON feature: its properties are the fields, as json writes them,
// and its geometry the place's point, longitude first. RFC 8142's records
// each begin with the record separator.
template <bool record> void featureBegin(QByteArray &line, const PlaceLayout &)
{
    line += record ? "\x1e{\"type\":\"Feature\",\"properties\":{" : "{\"type\":\"Feature\",\"properties\":{";
}
// A coordinate as the database gives it, when it is a number of degrees within `limit`.
bool coordinate(QByteArrayView text, double limit)
{
    if (!isJsonNumber(text) || text.size() > 30)
        return false;
    const double degrees = std::strtod(text.toByteArray().constData(), nullptr);
    return std::isfinite(degrees) && std::abs(degrees) <= limit;
}
// A place the data gives no coordinates has none: null.
void pointGeometry(QByteArray &line, const PlaceTable &table, std::uint32_t place)
{
    const QByteArrayView latitude = table.value(place, Field::Latitude);
    const QByteArrayView longitude = table.value(place, Field::Longitude);
    if (latitude.isEmpty() && longitude.isEmpty()) {
        line += "},\"geometry\":null}";
        return;
    }
    if (!coordinate(latitude, 90) || !coordinate(longitude, 180)) {
        throw Failure(QStringLiteral("the place database gives ZIP code '%1' the latitude '%2' and the longitude "
                                     "'%3', which are no point on the Earth: degrees within 90 and 180 are expected")
                          .arg(QString::fromUtf8(table.value(place, Field::Zip)),
                               QString::fromUtf8(latitude.first(std::min<qsizetype>(40, latitude.size()))),
                               QString::fromUtf8(longitude.first(std::min<qsizetype>(40, longitude.size())))));
    }
    line += "},\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
    line += longitude;
    line += ',';
    line += latitude;
    line += "]}}";
}

// Many rows to an INSERT: each place's row in parentheses, the statement's
// head before the first of each group (see renderDelimited()).
void valuesBegin(QByteArray &line, const PlaceLayout &)
{
    line += '(';
}

// A cell of PostgreSQL's COPY text: a backslash, a TAB and a line break
// escaped, a missing value \N.
void appendCopyText(QByteArray &line, QByteArrayView text)
{
    for (char c : text) {
        const char escaped = c == '\\' ? '\\' : c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : 0;
        if (escaped) {
            line += '\\';
            line += escaped;
        } else {
            line += c;
        }
    }
}
void copyCell(QByteArray &line, std::size_t index, Field field, QByteArrayView value)
{
    if (index > 0)
        line += '\t';
    appendValue<appendCopyText>(line, value, info(field).number, "\\N");
}
QByteArray copyHeader(const PlaceLayout &layout)
{
    return sqlHeader(layout) + "COPY " + sqlTarget(layout) + " FROM stdin;\n";
}

// The rows of sql as many to an INSERT statement, or as a COPY block.
const FormatInfo sqlValues{OutputFormat::Sql, "sql", nullptr, nullptr, nullptr, valuesBegin, sqlCell, ")",
                           sqlHeader,         ",\n", "COMMIT;\n"};
const FormatInfo sqlCopy{OutputFormat::Sql, "sql", nullptr, nullptr, nullptr, noBegin, copyCell, "\n",
                         copyHeader,        "",    "\\.\nCOMMIT;\n"};

const FormatInfo &rowFormat(const PlaceLayout &layout)
{
    if (layout.format == OutputFormat::Sql && layout.copy)
        return sqlCopy;
    return manyRows(layout) ? sqlValues : info(layout.format);
}

} // namespace

const std::array<FormatInfo, formatCount> formatInfo{{
    {OutputFormat::Plain, "plain", nullptr,
     "plain (the default) writes one place a line, its fields joined as the window shows them: "
     "\"Winston-Salem, NC 27101\".",
     "One place a line: the chosen fields joined by a comma and a blank, the ZIP\n"
     "code by a blank alone, as the window shows a place\n"
     ".RB ( \"Holtsville, NY 00501\" ,\nor with\n.B \\-\\-fields city,state,zip,county\n"
     ".BR \"Holtsville, NY 00501, Suffolk\" ).\nLF line ends, no header, no padding, UTF\\-8.",
     noBegin,
     [](QByteArray &line, std::size_t index, Field field, QByteArrayView value) {
    if (index > 0)
        line += field == Field::Zip ? " " : ", ";
    line += value;
     },
     "\n", noHeader, "", ""},
    {OutputFormat::Aligned, "aligned", "text",
     "aligned is byte for byte the window's \"Save Results As Text File\" (the window's casing and fields only; "
     "text is another name for it).",
     "The aligned table that the window's\n.B Save Results As Text File\n"
     "writes when every row is ticked, byte for byte: a header line\n.BR Result(s) ,\n"
     "then one line per place as the window shows it (in its proper case), each\n"
     "filled with spaces to the widest entry and followed by a TAB, every line\nended by CR LF.\n"
     "Only the window's fields city, state and zip, always in the window's order.\n.B text\nis another name for it.",
     nullptr, nullptr, "", nullptr, "", ""},
    {OutputFormat::Csv, "csv", nullptr, "csv (RFC 4180, CR LF) has a header row.",
     "RFC 4180: a header row with the field names, then one row per place, one\n"
     "column per field; a value with a comma, a quote or a line break is quoted.\nCR LF line ends, UTF\\-8.",
     noBegin, delimitedCell<',', appendCsvCell>, "\r\n",
     [](const PlaceLayout &layout) { return headerRow(layout, ',', "\r\n"); }, "", ""},
    {OutputFormat::Tsv, "tsv", nullptr, "tsv has a header row and a TAB between the cells.",
     "A header row and one row per place, TAB between the columns, LF line ends.", noBegin,
     delimitedCell<'\t', appendTsvCell>, "\n", [](const PlaceLayout &layout) { return headerRow(layout, '\t', "\n"); },
     "", ""},
    {OutputFormat::Jsonl, "jsonl", "ndjson", "jsonl writes one JSON object a line (ndjson is another name for it).",
     "One JSON object a line, its members the fields in their order; numbers\n"
     "(such as\n.BR latitude )\nare numbers, the others strings, a missing value\n.BR null .\n"
     ".B ndjson\nis another name for it.",
     jsonBegin, jsonCell, "}\n", noHeader, "", ""},
    {OutputFormat::Json, "json", nullptr, "json writes one JSON array.",
     "The same objects as one JSON array, one object a line.", jsonBegin, jsonCell, "}",
     [](const PlaceLayout &) { return QByteArray("[\n"); }, ",\n", "\n]\n"},
    {OutputFormat::Sql, "sql", nullptr,
     "sql writes an INSERT statement a place into the table of --table, in one transaction.",
     "SQL that loads into SQLite and PostgreSQL as it is:\n.B BEGIN;\nthen, unless\n.BR \\-\\-no\\-header ,\n"
     ".B CREATE TABLE IF NOT EXISTS\nwith a column per field (numbers\n.BR \"DOUBLE PRECISION\" ,\n"
     "the others\n.BR TEXT ),\none\n.B INSERT INTO\nstatement a line, and\n.BR COMMIT; .\n"
     "The table is\n.B places\nor the name given to\n.BR \\-\\-table ;\n"
     "names are in double quotes, text in single quotes with each quote doubled,\n"
     "numbers as numbers, a missing value\n.BR NULL .\nLF line ends, UTF\\-8.\n"
     "With\n.BR \\-\\-rows\\-per\\-insert ,\nmany places to a statement; with\n.BR \\-\\-copy ,\n"
     "one PostgreSQL\n.B COPY ... FROM stdin\nblock instead of the statements.",
     sqlBegin, sqlCell, ");\n", sqlHeader, "", "COMMIT;\n"},
    {OutputFormat::Geojson, "geojson", nullptr,
     "geojson writes one GeoJSON FeatureCollection (RFC 7946) of points, the fields as their properties.",
     "A GeoJSON FeatureCollection (RFC 7946), as map programs (QGIS, GDAL,\n"
     "Leaflet) read it: one Point feature a line, its coordinates the place's\n"
     "longitude and latitude (WGS 84, longitude first), its properties the chosen\n"
     "fields with the types of\n.BR json .\n"
     "A place the data gives no coordinates has the geometry\n.BR null .\n"
     "The coordinates come with every place, whether the fields name them or not.",
     featureBegin<false>, jsonCell, "",
     [](const PlaceLayout &) { return QByteArray("{\"type\":\"FeatureCollection\",\"features\":[\n"); }, ",\n",
     "\n]}\n", pointGeometry},
    {OutputFormat::Geojsonseq, "geojsonseq", nullptr,
     "geojsonseq writes the same features as GeoJSON text sequences (RFC 8142), one a record, for streams.",
     "The same features as GeoJSON text sequences (RFC 8142), for streams: each\n"
     "feature a record of its own, begun by the record separator (RS, 0x1E) and\n"
     "ended by a line feed.",
     featureBegin<true>, jsonCell, "\n", noHeader, "", "", pointGeometry},
}};

namespace {

// The two digits of a number below 100.
constexpr auto digitPairs = [] {
    std::array<char, 200> digits{};
    for (int i = 0; i < 100; ++i) {
        digits[std::size_t(2 * i)] = char('0' + i / 10);
        digits[std::size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return digits;
}();

void stream(const std::function<void(const char *, qsizetype)> &write, const RenderedLines &lines, PlaceDraws &draws)
{
    // A device that takes nothing is found before any drawing.
    if (!lines.header.isEmpty())
        write(lines.header.constData(), lines.header.size());

    constexpr qsizetype blockSize = 1 << 20;
    const auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    qsizetype used = 0;
    // Bytes of at most blockSize end in the block.
    const auto append = [&](const char *begin, const char *end) {
        const qsizetype size = end - begin;
        if (used + size > blockSize) {
            write(block.get(), used);
            used = 0;
            if (size > blockSize) {
                write(begin, size);
                return;
            }
        }
        std::memcpy(block.get() + used, begin, std::size_t(size));
        used += size;
    };
    // A drawn line, with `pair` as its phone's last two digits.
    const auto appendDrawn = [&](const char *begin, const char *end, const char *pair) {
        const std::int32_t digits = RenderedLines::digits(begin);
        if (digits < 0) {
            append(begin, end);
        } else if (end - begin <= blockSize) {
            append(begin, end);
            std::memcpy(block.get() + used - (end - begin) + digits, pair, 2);
        } else {
            append(begin, begin + digits);
            append(pair, pair + 2);
            append(begin + digits + 2, end);
        }
    };
    draws.restart();
    // In groups, the lead begins a group only.
    const bool grouped = lines.groupSize > 0;
    std::uint64_t untilBreak = lines.groupSize;
    const QByteArray between = grouped ? lines.separator : lines.separator + lines.lead;
    const bool separated = !between.isEmpty();
    if (draws.count() > 0)
        append(lines.lead.cbegin(), lines.lead.cend());
    // Places are drawn a batch ahead of their copying, with their lines asked
    // into the cache, so that the draws' and the lines' reads of memory overlap.
    // Lines without drawn details take a loop of their own, as fast as the copy alone.
    const auto copyAll = [&](auto drawnDetails) {
        constexpr bool drawn = decltype(drawnDetails)::value;
        std::array<std::uint32_t, PlaceDraws::batchSize> batch;
        std::array<std::uint8_t, PlaceDraws::batchSize> pairs{};
        for (std::uint64_t first = 0; first < draws.count(); first += batch.size()) {
            const std::uint64_t size = std::min<std::uint64_t>(batch.size(), draws.count() - first);
            draws.next(batch.data(), size);
            for (std::uint64_t i = 0; i < size; ++i) {
                if constexpr (drawn) {
                    // Which of the place's lines (one an area code), and the phone's last two digits.
                    const std::uint32_t count = lines.lineCount(batch[i]);
                    const std::uint64_t detail = draws.detail(std::uint64_t(count) * 100);
                    batch[i] = lines.firstLine(batch[i]) + std::uint32_t(detail / 100);
                    pairs[i] = std::uint8_t(detail % 100);
                    __builtin_prefetch(lines.begin(batch[i]) - sizeof(std::int32_t));
                }
                __builtin_prefetch(lines.begin(batch[i]));
            }
            for (std::uint64_t i = 0; i < size; ++i) {
                if (grouped && first + i > 0 && --untilBreak == 0) {
                    append(lines.groupBreak.cbegin(), lines.groupBreak.cend());
                    untilBreak = lines.groupSize;
                } else if (separated && first + i > 0) {
                    append(between.cbegin(), between.cend());
                }
                if constexpr (drawn)
                    appendDrawn(lines.begin(batch[i]), lines.end(batch[i]), digitPairs.data() + 2 * pairs[i]);
                else
                    append(lines.begin(batch[i]), lines.end(batch[i]));
            }
        }
    };
    if (lines.drawn())
        copyAll(std::true_type());
    else
        copyAll(std::false_type());
    if (draws.count() > 0)
        append(lines.groupEnd.cbegin(), lines.groupEnd.cend());
    append(lines.footer.cbegin(), lines.footer.cend());
    write(block.get(), used);
}

} // namespace

void writePlaces(const std::function<void(const char *, qsizetype)> &write, const PlaceTable &table,
                 const std::vector<std::uint32_t> &places, PlaceDraws &draws, const PlaceLayout &layout)
{
    if (layout.format == OutputFormat::Aligned)
        stream(write, renderAligned(table, places, draws), draws);
    else
        stream(write, renderDelimited(table, places, layout), draws);
}
