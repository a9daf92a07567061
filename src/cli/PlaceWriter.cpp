#include "cli/PlaceWriter.h"

#include "cli/PlaceDraws.h"
#include "export/TextExportWriter.h"
#include "shell/Failure.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <vector>

namespace {

[[noreturn]] void failWrite(const QString &problem)
{
    throw Failure(problem.isEmpty() ? QStringLiteral("Not all of it was written.") : problem);
}

// The aligned table of the window's text file, through the window's own writer.
void writeAligned(QIODevice &device, const PlaceTable &table, PlaceDraws &draws)
{
    // The column is as wide as the widest of the caption and the drawn places.
    qsizetype width = table.header().size();
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i)
        width = std::max(width, table.line(draws.next()).size());

    TextExportWriter writer(device);
    writer.writeRow(table.header(), width);
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i) {
        if (!writer.writeRow(table.line(draws.next()), width))
            break;
    }
    if (!writer.flush())
        failWrite(writer.errorString());
}

// Csv and tsv: every place's line as UTF-8 bytes with its line end, made
// once, then copied into large blocks for the device.
void writeDelimited(QIODevice &device, const PlaceTable &table, PlaceDraws &draws, const QString &lineEnd)
{
    std::vector<char> bytes;
    std::vector<std::size_t> starts;
    for (std::uint32_t place = 0; place < table.size(); ++place) {
        const QByteArray line = (table.line(place) + lineEnd).toUtf8();
        starts.push_back(bytes.size());
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    starts.push_back(bytes.size());

    // The block keeps its storage from one write to the next.
    constexpr std::size_t blockSize = 1 << 20;
    std::vector<char> block;
    block.reserve(blockSize + 4096);
    const auto flush = [&] {
        const auto size = qint64(block.size());
        if (device.write(block.data(), size) != size)
            failWrite(device.errorString());
        block.clear();
    };
    const QByteArray header = (table.header() + lineEnd).toUtf8();
    block.insert(block.end(), header.begin(), header.end());
    flush(); // a device that takes nothing is found before any drawing
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i) {
        const std::uint32_t place = draws.next();
        block.insert(block.end(), bytes.data() + starts[place], bytes.data() + starts[place + 1]);
        if (block.size() >= blockSize)
            flush();
    }
    flush();
}

} // namespace

void writePlaces(QIODevice &device, const PlaceTable &table, PlaceDraws &draws, OutputFormat format)
{
    if (format == OutputFormat::Text)
        writeAligned(device, table, draws);
    else
        writeDelimited(device, table, draws, format == OutputFormat::Csv ? QStringLiteral("\r\n") : QStringLiteral("\n"));
}
