#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <vector>

class QIODevice;

// The aligned text table of "Save Results As Text File", written to any open
// device: a file, a pipe, a buffer. Uses Qt Core only, so a tool without a
// window can write exactly the bytes the window writes.
//
// The format: one line per row, the header line of the column captions first.
// A line is, for every column, the cell's text, then spaces up to the
// column's width, then a TAB; a text as long as its width or longer gets no
// spaces. Every line, the last one too, ends with CR LF. Widths and lengths
// count 16-bit code units (QString sizes). The bytes are the system locale's
// encoding (UTF-8 on current Linux) without a byte-order mark; a code unit
// the encoding cannot represent (a lone surrogate) becomes "?".
//
// The bytes of a save of the window's one-column list with every row ticked:
//
//     // width: the longest of "Result(s)" and every row text, in code units
//     TextExportWriter writer(device);              // device open for writing
//     writer.writeRow(u"Result(s)", width);
//     for (each row text)
//         writer.writeRow(text, width);
//     if (!writer.flush())
//         fail(writer.errorString());
//
// Lines are gathered and reach the device in blocks of about blockSize code
// units, so memory stays at one block however many rows pass; the first line
// goes at once, so a device that takes no bytes at all is found at the first
// line. flush() writes what is gathered; nothing is written on destruction.
//
// A write returns false when the device refused the bytes; from then on every
// write fails too, and errorString() says why the first one failed. The
// writer does not own, open or close the device.
class TextExportWriter
{
public:
    explicit TextExportWriter(QIODevice &device);
    TextExportWriter(const TextExportWriter &) = delete;
    TextExportWriter &operator=(const TextExportWriter &) = delete;

    // A line of one column: the text, spaces up to `width`, a TAB, CR LF.
    bool writeRow(QStringView text, qsizetype width);
    // A line built already (see TextExportLine), and CR LF.
    bool writeLine(QStringView line);
    // Writes what is gathered.
    bool flush();

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

    // Code units gathered before they go to the device.
    static constexpr qsizetype blockSize = 128 * 1024;

private:
    bool lineEnded();
    bool fail();

    QIODevice &m_device;
    QStringEncoder m_encoder;
    std::vector<char16_t> m_pending; // lines not yet written, each with its CR LF
    QByteArray m_bytes;
    bool m_firstLine = true;
    bool m_failed = false;
    QString m_error;
};

// A line of the table being built cell by cell, for lists of several columns
// and for callers that decide per cell whether it gets its spaces. Keeps its
// storage when cleared, so a long list is written without an allocation per row.
class TextExportLine
{
public:
    void clear() { m_units.clear(); }
    // The text, spaces up to `width` (none when it is as long or longer), a TAB.
    // With width 0 the text is followed by its TAB alone.
    void appendCell(QStringView text, qsizetype width);
    QStringView text() const { return QStringView(m_units.data(), qsizetype(m_units.size())); }

private:
    std::vector<char16_t> m_units;
};
