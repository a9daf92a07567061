#include "cli/PlaceWriter.h"

#include "cli/PlaceDraws.h"
#include "export/TextExportWriter.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

// The bytes of a run around its places, and every place's bytes: made once,
// then copied for each draw. Between two places goes the separator.
class RenderedLines
{
public:
    QByteArray header;
    QByteArray separator;
    QByteArray footer;

    void append(const QByteArray &bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        m_ends.push_back(std::uint32_t(m_bytes.size()));
    }
    const char *begin(std::uint32_t place) const { return m_bytes.data() + start(place); }
    const char *end(std::uint32_t place) const { return m_bytes.data() + m_ends[place]; }

private:
    std::size_t start(std::uint32_t place) const { return place == 0 ? 0 : m_ends[place - 1]; }

    std::vector<char> m_bytes;
    std::vector<std::uint32_t> m_ends;
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
    for (std::uint32_t place : places)
        lines.append(line(table.windowLine(place)));
    return lines;
}

// A csv cell: quoted, with its quotes doubled, when it holds a comma, a quote or a line break.
void appendCsvCell(QByteArray &line, QByteArrayView text)
{
    const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (std::none_of(text.begin(), text.end(), special)) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

// A tsv cell: a TAB or line break inside a value, which the format cannot hold, becomes a blank.
void appendTsvCell(QByteArray &line, QByteArrayView text)
{
    for (char c : text)
        line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

void appendJsonString(QByteArray &line, QByteArrayView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    line += '"';
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            line += '\\';
            line += c;
        } else if (byte < 0x20) {
            line += "\\u00";
            line += hex[byte >> 4];
            line += hex[byte & 15];
        } else {
            line += c; // UTF-8 passes as it is
        }
    }
    line += '"';
}

// A number as the database writes it; a value that is no number stays text.
void appendJsonValue(QByteArray &line, QByteArrayView text, bool number)
{
    bool isNumber = false;
    if (number)
        (void)text.toDouble(&isNumber);
    if (text.isEmpty())
        line += "null";
    else if (isNumber)
        line += text;
    else
        appendJsonString(line, text);
}

QByteArray placeLine(const PlaceTable &table, std::uint32_t place, const PlaceLayout &layout)
{
    QByteArray line;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const Field field = layout.fields[i];
        const QByteArrayView value = table.value(place, field);
        switch (layout.format) {
        case OutputFormat::Plain:
            if (i > 0)
                line += field == Field::Zip ? " " : ", ";
            line += value;
            break;
        case OutputFormat::Csv:
            if (i > 0)
                line += ',';
            appendCsvCell(line, value);
            break;
        case OutputFormat::Tsv:
            if (i > 0)
                line += '\t';
            appendTsvCell(line, value);
            break;
        default:
            line += i > 0 ? "," : "{";
            appendJsonString(line, info(field).name);
            line += ':';
            appendJsonValue(line, value, info(field).number);
            break;
        }
    }
    if (layout.format == OutputFormat::Jsonl || layout.format == OutputFormat::Json)
        line += '}';
    return line;
}

RenderedLines renderDelimited(const PlaceTable &table, const std::vector<std::uint32_t> &places,
                              const PlaceLayout &layout)
{
    const bool csv = layout.format == OutputFormat::Csv;
    const QByteArray lineEnd = csv ? "\r\n" : "\n";
    RenderedLines lines;
    if (layout.header && (csv || layout.format == OutputFormat::Tsv)) {
        for (Field field : layout.fields) {
            if (!lines.header.isEmpty())
                lines.header += csv ? ',' : '\t';
            lines.header += info(field).name;
        }
        lines.header += lineEnd;
    }
    const bool array = layout.format == OutputFormat::Json;
    if (array) {
        lines.header = "[\n";
        lines.separator = ",\n";
        lines.footer = "\n]\n";
    }
    for (std::uint32_t place : places)
        lines.append(placeLine(table, place, layout) + (array ? QByteArray() : lineEnd));
    return lines;
}

void stream(const std::function<void(const char *, qsizetype)> &write, const RenderedLines &lines,
            PlaceDraws &draws)
{
    // A device that takes nothing is found before any drawing.
    if (!lines.header.isEmpty())
        write(lines.header.constData(), lines.header.size());

    constexpr qsizetype blockSize = 1 << 20;
    const auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    qsizetype used = 0;
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
    draws.restart();
    const bool separated = !lines.separator.isEmpty();
    // Places are drawn a batch ahead of their copying, with their lines asked
    // into the cache, so that the draws' and the lines' reads of memory overlap.
    std::array<std::uint32_t, PlaceDraws::batchSize> batch;
    for (std::uint64_t first = 0; first < draws.count(); first += batch.size()) {
        const std::uint64_t size = std::min<std::uint64_t>(batch.size(), draws.count() - first);
        draws.next(batch.data(), size);
        for (std::uint64_t i = 0; i < size; ++i)
            __builtin_prefetch(lines.begin(batch[i]));
        for (std::uint64_t i = 0; i < size; ++i) {
            if (separated && first + i > 0)
                append(lines.separator.cbegin(), lines.separator.cend());
            append(lines.begin(batch[i]), lines.end(batch[i]));
        }
    }
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
