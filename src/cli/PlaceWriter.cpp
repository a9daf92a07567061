#include "cli/PlaceWriter.h"

#include "cli/PlaceDraws.h"
#include "shell/Failure.h"

#include <QByteArray>
#include <QIODevice>
#include <QStringEncoder>

#include <algorithm>
#include <vector>

namespace {

// Every place's line as the bytes that go out, end of line included, one after another.
class RenderedLines
{
public:
    void append(const QByteArray &bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        m_ends.push_back(m_bytes.size());
    }
    const char *data(std::uint32_t line) const { return m_bytes.data() + start(line); }
    qsizetype size(std::uint32_t line) const { return qsizetype(m_ends[line] - start(line)); }

private:
    std::size_t start(std::uint32_t line) const { return line == 0 ? 0 : m_ends[line - 1]; }

    std::vector<char> m_bytes;
    std::vector<std::size_t> m_ends;
};

// Gathers bytes and hands them to the device in large blocks.
class BlockWriter
{
public:
    explicit BlockWriter(QIODevice &device)
        : m_device(device)
    {
        m_block.reserve(blockSize + 4096);
    }
    void append(const char *data, qsizetype size)
    {
        m_block.append(data, size);
        if (m_block.size() >= blockSize)
            flush();
    }
    void flush()
    {
        if (m_device.write(m_block) != m_block.size()) {
            const QString problem = m_device.errorString();
            throw Failure(problem.isEmpty() ? QStringLiteral("Not all of it was written.") : problem);
        }
        m_block.clear();
    }

private:
    static constexpr qsizetype blockSize = 1 << 20;
    QIODevice &m_device;
    QByteArray m_block;
};

// The aligned text format: the widest of the caption and the drawn places.
qsizetype measureWidth(const PlaceTable &table, PlaceDraws &draws)
{
    qsizetype width = table.header().size();
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i)
        width = std::max(width, table.line(draws.next()).size());
    return width;
}

QString alignedLine(const QString &text, qsizetype width)
{
    return text + QString(std::max<qsizetype>(width - text.size(), 0), QLatin1Char(' ')) + QLatin1String("\t\r\n");
}

} // namespace

void writePlaces(QIODevice &device, const PlaceTable &table, PlaceDraws &draws, OutputFormat format)
{
    QByteArray header;
    RenderedLines lines;
    if (format == OutputFormat::Text) {
        const qsizetype width = measureWidth(table, draws);
        QStringEncoder encoder(QStringConverter::System);
        header = encoder.encode(alignedLine(table.header(), width));
        for (std::uint32_t place = 0; place < table.size(); ++place)
            lines.append(encoder.encode(alignedLine(table.line(place), width)));
    } else {
        const QString end = format == OutputFormat::Csv ? QStringLiteral("\r\n") : QStringLiteral("\n");
        header = (table.header() + end).toUtf8();
        for (std::uint32_t place = 0; place < table.size(); ++place)
            lines.append((table.line(place) + end).toUtf8());
    }

    BlockWriter writer(device);
    writer.append(header.constData(), header.size());
    writer.flush(); // a destination that takes nothing is found before any drawing
    draws.restart();
    for (std::uint64_t i = 0; i < draws.count(); ++i) {
        const std::uint32_t place = draws.next();
        writer.append(lines.data(place), lines.size(place));
    }
    writer.flush();
}
