#include "export/TextExportWriter.h"

#include <QIODevice>

namespace {

// A cell as the table holds it: the text, spaces up to the width, a TAB.
void appendCellTo(std::vector<char16_t> &units, QStringView text, qsizetype width)
{
    units.insert(units.end(), text.utf16(), text.utf16() + text.size());
    if (width > text.size())
        units.insert(units.end(), std::size_t(width - text.size()), u' ');
    units.push_back(u'\t');
}

void appendLineEnd(std::vector<char16_t> &units)
{
    units.push_back(u'\r');
    units.push_back(u'\n');
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

} // namespace

TextExportWriter::TextExportWriter(QIODevice &device)
    : m_device(device)
    , m_encoder(QStringConverter::System, QStringConverter::Flag::Stateless)
{
    m_pending.reserve(blockSize + 1024);
}

bool TextExportWriter::writeRow(QStringView text, qsizetype width)
{
    if (m_failed)
        return false;
    appendCellTo(m_pending, text, width);
    appendLineEnd(m_pending);
    return lineEnded();
}

bool TextExportWriter::writeLine(QStringView line)
{
    if (m_failed)
        return false;
    m_pending.insert(m_pending.end(), line.utf16(), line.utf16() + line.size());
    appendLineEnd(m_pending);
    return lineEnded();
}

bool TextExportWriter::lineEnded()
{
    if (m_firstLine || qsizetype(m_pending.size()) >= blockSize) {
        m_firstLine = false;
        return flush();
    }
    return true;
}

bool TextExportWriter::flush()
{
    if (m_failed)
        return false;
    if (m_pending.empty())
        return true;
    const QStringView text(m_pending.data(), qsizetype(m_pending.size()));
    m_bytes.resize(m_encoder.requiredSpace(text.size()));
    char *end = m_encoder.appendToBuffer(m_bytes.data(), text);
    if (m_encoder.hasError()) {
        m_encoder.resetState();
        end = m_encoder.appendToBuffer(m_bytes.data(), withoutLoneSurrogates(text));
    }
    m_pending.clear();
    const qint64 size = end - m_bytes.constData();
    if (m_device.write(m_bytes.constData(), size) != size)
        return fail();
    return true;
}

bool TextExportWriter::fail()
{
    m_failed = true;
    m_error = m_device.errorString();
    if (m_error.isEmpty())
        m_error = QStringLiteral("Not all of it reached the disk.");
    m_pending = {};
    m_bytes = QByteArray();
    return false;
}

void TextExportLine::appendCell(QStringView text, qsizetype width)
{
    appendCellTo(m_units, text, width);
}
