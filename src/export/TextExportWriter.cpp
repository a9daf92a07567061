#include "export/TextExportWriter.h"

#include "export/TextExportUnits.h"

#include <QIODevice>

#include <algorithm>

namespace {

// Grows `units` to hold `needed` units at least, doubling its size.
Q_NEVER_INLINE void grow(std::vector<char16_t> &units, std::size_t needed)
{
    units.resize(std::max(needed, 2 * units.size()));
}

// Room for `count` more units after the first `used` of `units`, which only
// grows: rows are appended by hand rather than by vector::insert, which costs
// more than copying a short text.
inline char16_t *room(std::vector<char16_t> &units, qsizetype used, qsizetype count)
{
    const std::size_t needed = std::size_t(used + count);
    if (needed > units.size())
        grow(units, needed);
    return units.data() + used;
}

// One cell, inline for this file's per-cell paths: alignedCellSize() and
// writeAlignedCell() below, being public, are calls.
inline qsizetype cellSize(QStringView text, qsizetype width)
{
    return std::max(width, text.size()) + 1;
}

inline char16_t *writeCell(char16_t *out, QStringView text, qsizetype width)
{
    out = TextExportUnits::fillSpaces(TextExportUnits::copy(text.utf16(), text.size(), out), width - text.size());
    *out = u'\t';
    return out + 1;
}

qsizetype appendCellTo(std::vector<char16_t> &units, qsizetype used, QStringView text, qsizetype width)
{
    const qsizetype size = cellSize(text, width);
    writeCell(room(units, used, size), text, width);
    return used + size;
}

qsizetype appendLineEnd(std::vector<char16_t> &units, qsizetype used)
{
    TextExportUnits::endLine(room(units, used, 2));
    return used + 2;
}

// Replaces the lone surrogates of a text, which no encoding can represent, with "?".
QString withoutLoneSurrogates(QStringView text)
{
    QString result = text.toString();
    for (qsizetype i = 0; i < result.size(); ++i) {
        const QChar c = result.at(i);
        if (c.isHighSurrogate() && i + 1 < result.size() && result.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            result[i] = QLatin1Char('?');
    }
    return result;
}

// The system locale's encoding. Qt takes it to be UTF-8 on Unix; naming
// UTF-8 there lets the encoder write straight into our buffer, where the
// locale's converter goes through a buffer of its own.
#ifdef Q_OS_WIN
constexpr auto systemEncoding = QStringConverter::System;
#else
constexpr auto systemEncoding = QStringConverter::Utf8;
#endif

} // namespace

qsizetype alignedCellSize(QStringView text, qsizetype width)
{
    return cellSize(text, width);
}

char16_t *writeAlignedCell(char16_t *out, QStringView text, qsizetype width)
{
    return writeCell(out, text, width);
}

TextExportWriter::TextExportWriter(QIODevice &device)
    : m_device(device)
    , m_encoder(systemEncoding, QStringConverter::Flag::Stateless)
    , m_pending(std::size_t(blockSize + 1024))
{
}

bool TextExportWriter::writeRow(QStringView text, qsizetype width)
{
    if (m_failed)
        return false;
    m_pendingSize = appendLineEnd(m_pending, appendCellTo(m_pending, m_pendingSize, text, width));
    return lineEnded();
}

bool TextExportWriter::writeLine(QStringView line)
{
    if (m_failed)
        return false;
    char16_t *out = room(m_pending, m_pendingSize, line.size() + 2);
    TextExportUnits::endLine(TextExportUnits::copy(line.utf16(), line.size(), out));
    m_pendingSize += line.size() + 2;
    return lineEnded();
}

bool TextExportWriter::lineEnded()
{
    if (m_firstLine || m_pendingSize >= blockSize) {
        m_firstLine = false;
        return flush();
    }
    return true;
}

bool TextExportWriter::flush()
{
    if (m_failed)
        return false;
    if (m_pendingSize == 0)
        return true;
    const QStringView text(m_pending.data(), m_pendingSize);
    m_bytes.resize(m_encoder.requiredSpace(text.size()));
    char *end = m_encoder.appendToBuffer(m_bytes.data(), text);
    if (m_encoder.hasError()) {
        m_encoder.resetState();
        end = m_encoder.appendToBuffer(m_bytes.data(), withoutLoneSurrogates(text));
    }
    m_pendingSize = 0;
    const qint64 size = end - m_bytes.constData();
    if (m_device.write(m_bytes.constData(), size) != size)
        return fail();
    m_bytesWritten += size;
    return true;
}

bool TextExportWriter::fail()
{
    m_failed = true;
    m_error = m_device.errorString();
    if (m_error.isEmpty())
        m_error = QStringLiteral("Not all of it reached the disk.");
    m_pending = {};
    m_pendingSize = 0;
    m_bytes = QByteArray();
    return false;
}

void TextExportLine::appendCell(QStringView text, qsizetype width)
{
    m_size = appendCellTo(m_units, m_size, text, width);
}
