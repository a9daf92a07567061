#include "export/ClipboardCopy.h"

#include "export/Clipboard.h"
#include "export/TextExportUnits.h"
#include "export/TextExportWriter.h"
#include "shell/CommandHost.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/ListSource.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int maxAttempts = 1000;

// Runs one clipboard operation until it succeeds, at most maxAttempts times,
// with no pause; a failure of any kind counts as a refused attempt.
template <typename Operation> bool attempt(Operation &&operation)
{
    for (int attempts = 0; attempts < maxAttempts; ++attempts) {
        try {
            if (operation())
                return true;
        } catch (...) {
        }
    }
    return false;
}

// The clipboard text as it grows, written straight into the spare room of
// its string: a line costs little more than copying its characters.
class ClipboardText
{
public:
    qsizetype size() const { return m_size; }
    void append(QStringView text)
    {
        TextExportUnits::copy(text.utf16(), text.size(), room(text.size()));
        m_size += text.size();
    }
    // The text, spaces up to `width`, a TAB.
    void appendCell(QStringView text, qsizetype width)
    {
        const qsizetype size = alignedCellSize(text, width);
        writeAlignedCell(room(size), text, width);
        m_size += size;
    }
    // Spaces at the end, back to `start` at most.
    void dropTrailingSpaces(qsizetype start)
    {
        while (m_size > start && m_data[m_size - 1] == u' ')
            --m_size;
    }
    void appendLineEnd()
    {
        TextExportUnits::endLine(room(2));
        m_size += 2;
    }
    QString take()
    {
        m_text.truncate(m_size);
        m_data = nullptr;
        m_size = 0;
        return std::exchange(m_text, QString());
    }

private:
    char16_t *room(qsizetype count)
    {
        if (m_size + count > m_text.size()) {
            m_text.resize(std::max(m_size + count, 2 * m_text.size() + 4096));
            m_data = reinterpret_cast<char16_t *>(m_text.data());
        }
        return m_data + m_size;
    }

    QString m_text; // its first m_size units; the rest is room
    char16_t *m_data = nullptr;
    qsizetype m_size = 0;
};

} // namespace

void ClearClipboard(Clipboard &clipboard)
{
    attempt([&] { return clipboard.clear(); });
}

bool SetClipboardText(Clipboard &clipboard, const QString &text, int format)
{
    return attempt([&] { return clipboard.setText(text, format); });
}

void CopyListviewToClipboard(CommandHost &host, const ListSource &list, Clipboard &clipboard)
{
    if (list.rows() == 0)
        return;

    // Cells are read as views, each used before the next yield lets the list change.
    QString holder;

    // The widths: the longest cell of each column, over every row.
    std::vector<qsizetype> widths;
    const int columns = list.columns();
    for (int c = 1; c <= columns; ++c) {
        qsizetype width = 0;
        const int rows = list.rows();
        for (int r = 1; r <= rows; ++r) {
            host.yield();
            width = std::max(width, list.textView(r, c, holder).size());
        }
        widths.push_back(width);
    }

    // One line per ticked row. A line without cells (a list with no columns) stays empty.
    ClipboardText text;
    const int rows = list.rows();
    ListReadAhead ahead(list);
    for (int r = 1; r <= rows; ++r) {
        host.yield();
        ahead.before(r);
        if (!list.checked(r))
            continue;
        const qsizetype lineStart = text.size();
        const int cells = list.columns();
        for (int c = 1; c <= cells; ++c) {
            host.yield();
            const QStringView cell = list.textView(r, c, holder);
            if (std::size_t(c) > widths.size())
                throw Failure(QStringLiteral("Subscript out of range: column %1 has not been measured.").arg(c));
            // The last cell's spaces and TAB would go again with the line's trailing spaces.
            if (c < cells)
                text.appendCell(cell, widths[std::size_t(c - 1)]);
            else
                text.append(cell);
        }
        if (cells > 0)
            text.dropTrailingSpaces(lineStart);
        text.appendLineEnd();
    }

    ClearClipboard(clipboard);
    SetClipboardText(clipboard, text.take(), 0);
}

void copyToClipboard(CommandHost &host, const ListSource &list, Clipboard &clipboard)
{
    Guard guard(host.dialogs(), QStringLiteral("in Orvelle2021/08/31.Form1.PushButton8_Click "));
    guard.step(106, [&] { CopyListviewToClipboard(host, list, clipboard); });
}
