#include "cli/PlaceWriter.h"

#include "cli/PlaceDraws.h"
#include "export/TextExportWriter.h"
#include "shell/Failure.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

[[noreturn]] void failWrite(const QString &problem)
{
    throw Failure(problem.isEmpty() ? QStringLiteral("Not all of it was written.") : problem);
}

// The header line and every place's line as the bytes that go out, line ends
// included: made once, then copied for each draw.
class RenderedLines
{
public:
    QByteArray header;

    void append(const char *data, qsizetype size)
    {
        m_bytes.insert(m_bytes.end(), data, data + size);
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
RenderedLines renderAligned(const PlaceTable &table, PlaceDraws &draws)
{
    qsizetype width = table.header().size();
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i)
        width = std::max(width, table.line(draws.next()).size());

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TextExportWriter writer(buffer);
    RenderedLines lines;
    writer.writeRow(table.header(), width);
    writer.flush();
    lines.header = buffer.data();
    buffer.seek(0);
    for (std::uint32_t place = 0; place < table.size(); ++place) {
        writer.writeRow(table.line(place), width);
        writer.flush();
        lines.append(buffer.data().constData(), buffer.pos());
        buffer.seek(0);
    }
    return lines;
}

// Csv and tsv lines in UTF-8.
RenderedLines renderDelimited(const PlaceTable &table, const QString &lineEnd)
{
    RenderedLines lines;
    lines.header = (table.header() + lineEnd).toUtf8();
    for (std::uint32_t place = 0; place < table.size(); ++place) {
        const QByteArray line = (table.line(place) + lineEnd).toUtf8();
        lines.append(line.constData(), line.size());
    }
    return lines;
}

void stream(QIODevice &device, const RenderedLines &lines, PlaceDraws &draws)
{
    const auto write = [&](const char *data, qsizetype size) {
        if (device.write(data, size) != size)
            failWrite(device.errorString());
    };
    // A device that takes nothing is found before any drawing.
    write(lines.header.constData(), lines.header.size());

    constexpr qsizetype blockSize = 1 << 20;
    const auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    qsizetype used = 0;
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i) {
        const std::uint32_t place = draws.next();
        const qsizetype size = lines.end(place) - lines.begin(place);
        if (used + size > blockSize) {
            write(block.get(), used);
            used = 0;
            if (size > blockSize) {
                write(lines.begin(place), size);
                continue;
            }
        }
        std::memcpy(block.get() + used, lines.begin(place), std::size_t(size));
        used += size;
    }
    write(block.get(), used);
}

} // namespace

void writePlaces(QIODevice &device, const PlaceTable &table, PlaceDraws &draws, OutputFormat format)
{
    if (format == OutputFormat::Text) {
        stream(device, renderAligned(table, draws), draws);
        return;
    }
    const QString lineEnd = format == OutputFormat::Csv ? QStringLiteral("\r\n") : QStringLiteral("\n");
    stream(device, renderDelimited(table, lineEnd), draws);
}
