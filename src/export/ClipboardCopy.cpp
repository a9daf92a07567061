#include "export/ClipboardCopy.h"

#include "export/Clipboard.h"
#include "shell/CommandHost.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/ListSource.h"

#include <vector>

namespace {

constexpr int maxAttempts = 1000;

// Runs one clipboard operation until it succeeds, at most maxAttempts times,
// with no pause; a failure of any kind counts as a refused attempt.
template <typename Operation>
bool attempt(Operation &&operation)
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
    QString text;
    const int rows = list.rows();
    for (int r = 1; r <= rows; ++r) {
        host.yield();
        if (!list.checked(r))
            continue;
        const qsizetype lineStart = text.size();
        const int cells = list.columns();
        for (int c = 1; c <= cells; ++c) {
            host.yield();
            const QStringView cell = list.textView(r, c, holder);
            if (std::size_t(c) > widths.size())
                throw Failure(QStringLiteral("Subscript out of range: column %1 has not been measured.").arg(c));
            const qsizetype width = widths[std::size_t(c - 1)];
            text += cell;
            if (width > cell.size())
                text.resize(text.size() + (width - cell.size()), QLatin1Char(' '));
            text += QLatin1Char('\t');
        }
        if (cells > 0) {
            // Drop the last TAB, then the line's trailing spaces.
            qsizetype end = text.size() - 1;
            while (end > lineStart && text.at(end - 1) == QLatin1Char(' '))
                --end;
            text.truncate(end);
        }
        text += QLatin1String("\r\n");
    }

    ClearClipboard(clipboard);
    SetClipboardText(clipboard, text, 0);
}

void PushButton8_Click(CommandHost &host, const ListSource &list, Clipboard &clipboard)
{
    Guard guard(host.dialogs(), QStringLiteral("in Orvelle2021/08/31.Form1.PushButton8_Click "));
    guard.step(106, [&] { CopyListviewToClipboard(host, list, clipboard); });
}
