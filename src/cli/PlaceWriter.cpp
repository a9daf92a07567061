#include "cli/PlaceWriter.h"

#include "cli/PlaceDraws.h"
#include "export/TextExportWriter.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
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
        m_ends.push_back(m_bytes.size());
    }
    const char *begin(std::uint32_t place) const { return m_bytes.data() + start(place); }
    const char *end(std::uint32_t place) const { return m_bytes.data() + m_ends[place]; }

private:
    std::size_t start(std::uint32_t place) const { return place == 0 ? 0 : m_ends[place - 1]; }

    std::vector<char> m_bytes;
    std::vector<std::size_t> m_ends;
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
void appendCsvCell(QString &line, const QString &text)
{
    const auto special = [](QChar c) {
        return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };
    if (std::none_of(text.begin(), text.end(), special)) {
        line += text;
        return;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    line += QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A tsv cell: a TAB or line break inside a value, which the format cannot hold, becomes a blank.
void appendTsvCell(QString &line, const QString &text)
{
    const qsizetype start = line.size();
    line += text;
    for (auto c = line.begin() + start; c != line.end(); ++c) {
        if (*c == QLatin1Char('\t') || *c == QLatin1Char('\r') || *c == QLatin1Char('\n'))
            *c = QLatin1Char(' ');
    }
}

void appendJsonString(QString &line, const QString &text)
{
    line += QLatin1Char('"');
    for (QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            line += QLatin1Char('\\') + QString(c);
        else if (c.unicode() < 0x20)
            line += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    line += QLatin1Char('"');
}

void appendJsonValue(QString &line, const QString &text, bool number)
{
    bool isNumber = false;
    if (number)
        text.toDouble(&isNumber);
    if (text.isEmpty())
        line += QLatin1String("null");
    else if (isNumber)
        line += text;
    else
        appendJsonString(line, text);
}

QString delimitedLine(const PlaceTable &table, std::uint32_t place, const PlaceLayout &layout)
{
    QString line;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const Field field = layout.fields[i];
        const QString &value = table.value(place, field);
        switch (layout.format) {
        case OutputFormat::Plain:
            if (i > 0)
                line += field == Field::Zip ? QStringLiteral(" ") : QStringLiteral(", ");
            line += value;
            break;
        case OutputFormat::Csv:
            if (i > 0)
                line += QLatin1Char(',');
            appendCsvCell(line, value);
            break;
        case OutputFormat::Tsv:
            if (i > 0)
                line += QLatin1Char('\t');
            appendTsvCell(line, value);
            break;
        default:
            line += QLatin1String(i > 0 ? "," : "{");
            appendJsonString(line, QLatin1String(info(field).name));
            line += QLatin1Char(':');
            appendJsonValue(line, value, info(field).number);
            break;
        }
    }
    if (layout.format == OutputFormat::Jsonl || layout.format == OutputFormat::Json)
        line += QLatin1Char('}');
    return line;
}

RenderedLines renderDelimited(const PlaceTable &table, const std::vector<std::uint32_t> &places,
                              const PlaceLayout &layout)
{
    const bool csv = layout.format == OutputFormat::Csv;
    const QByteArray lineEnd = csv ? "\r\n" : "\n";
    RenderedLines lines;
    if (layout.header && (csv || layout.format == OutputFormat::Tsv)) {
        QStringList names;
        for (Field field : layout.fields)
            names.append(QLatin1String(info(field).name));
        lines.header = names.join(QLatin1Char(csv ? ',' : '\t')).toUtf8() + lineEnd;
    }
    const bool array = layout.format == OutputFormat::Json;
    if (array) {
        lines.header = "[\n";
        lines.separator = ",\n";
        lines.footer = "\n]\n";
    }
    for (std::uint32_t place : places)
        lines.append(delimitedLine(table, place, layout).toUtf8() + (array ? QByteArray() : lineEnd));
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
    for (std::uint64_t i = 0; i < draws.count(); ++i) {
        const std::uint32_t place = draws.next();
        if (separated && i > 0)
            append(lines.separator.cbegin(), lines.separator.cend());
        append(lines.begin(place), lines.end(place));
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
