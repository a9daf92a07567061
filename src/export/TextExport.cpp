#include "export/TextExport.h"

#include "export/TextExportFile.h"
#include "export/TextExportWriter.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/ListSource.h"

#include <optional>
#include <vector>

namespace {

const QString saveSource = QStringLiteral("in Orvelle2021/08/31.Main.SaveListviewProperlySpaced ");
const QString clickSource = QStringLiteral("in Orvelle2021/08/31.Form1.PushButton3_Click ");

// Reads the list's cells, keeping the one read last until the next yield: the
// list changes only while the window runs, so a step that tests a cell and the
// step that writes it read the list once.
class CellReader
{
public:
    explicit CellReader(const ListSource &list)
        : m_list(list)
    {
    }
    QStringView text(int row, int column)
    {
        if (row != m_row || column != m_column) {
            m_row = 0;
            m_text = m_list.textView(row, column, m_holder);
            m_row = row;
            m_column = column;
        }
        return m_text;
    }
    void forget() { m_row = 0; }

private:
    const ListSource &m_list;
    QString m_holder;
    QStringView m_text;
    int m_row = 0;
    int m_column = 0;
};

class ColumnWidths
{
public:
    void clear() { m_widths.clear(); }
    void extend() { m_widths.push_back(0); }
    void setLast(qsizetype width)
    {
        if (m_widths.empty())
            throw Failure(QStringLiteral("Subscript out of range: the list of widths is empty."));
        m_widths.back() = width;
    }
    qsizetype operator()(int column) const
    {
        if (column < 1 || std::size_t(column) > m_widths.size())
            throw Failure(QStringLiteral("Subscript out of range: column %1 has not been measured.").arg(column));
        return m_widths[std::size_t(column - 1)];
    }

private:
    std::vector<qsizetype> m_widths;
};

// What the save dialog is asked: its own options are those of Dialogs (no
// overwrite prompt, no default suffix), so only the title and filter are set.
struct SaveDialogRequest
{
    QString title;
    QString filter;
};

} // namespace

QString FileNameFromPath(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {

// The routine, writing to the file at `fileName` or, when given, into `device`.
void saveListview(CommandHost &host, const ListSource &list, const QString &fileName, QIODevice *device,
                  ProgressIndicator *progress)
{
    Guard guard(host.dialogs(), saveSource);

    const auto bar = [&]() -> ProgressIndicator & {
        if (!progress)
            throw Failure(QStringLiteral("There is no progress bar."));
        return *progress;
    };
    const auto caption = [&] { return QStringLiteral("Writing file: ") + FileNameFromPath(fileName); };
    const auto hasBar = [&] { return progress != nullptr; };

    CellReader cells(list);
    const auto yield = [&] {
        cells.forget();
        host.yield();
    };
    ColumnWidths widths;
    qsizetype width = 0;
    TextExportLine line;
    std::optional<TextExportFile> file;
    const auto openFile = [&]() -> TextExportFile & {
        if (!file)
            throw Failure(QStringLiteral("There is no file to write to."));
        return *file;
    };

    // The bar's value and caption between yields, in steps `first` to `first` + 8.
    const auto announce = [&](int first, double value) {
        if (guard.test(first, hasBar)) {
            guard.step(first + 2, [&] { yield(); });
            guard.step(first + 4, [&] { bar().setValue(value); });
            guard.step(first + 6, [&] { bar().setText(caption()); });
            guard.step(first + 8, [&] { yield(); });
        }
    };

    announce(100, 1);

    // The widths: the longest caption or cell of each column, over every row.
    guard.step(110, [&] { widths.clear(); });
    guard.forLoop(
        112, 140, 1, [&] { return list.columns(); },
        [&](int c) {
        guard.step(114, [&] { width = 0; });
        if (guard.test(116, [&] { return list.header(c).size() > width; }))
            guard.step(118, [&] { width = list.header(c).size(); });
        guard.forLoop(
            120, 134, 1, [&] { return list.rows(); },
            [&](int r) {
            guard.step(122, [&] { yield(); });
            // Twins on purpose: the first column's failures report steps of their own.
            if (guard.test(124, [&] { return c == 1; })) {
                if (guard.test(126, [&] { return cells.text(r, 1).size() > width; }))
                    guard.step(128, [&] { width = cells.text(r, 1).size(); });
            } else {
                if (guard.test(130, [&] { return cells.text(r, c).size() > width; }))
                    guard.step(132, [&] { width = cells.text(r, c).size(); });
            }
            });
        guard.step(136, [&] { widths.extend(); });
        guard.step(138, [&] { widths.setLast(width); });
        });

    announce(142, 10);

    guard.step(152, [&] { line.clear(); });
    guard.step(154, [&] {
        if (device)
            file.emplace(*device, fileName);
        else
            file.emplace(fileName);
    });
    guard.step(156, [&] { openFile().create(); });

    // The header line.
    guard.forLoop(
        158, 168, 1, [&] { return list.columns(); },
        [&](int c) {
        guard.step(160, [&] { yield(); });
        if (guard.test(162, [&] { return widths(c) >= list.header(c).size(); }))
            guard.step(164, [&] { line.appendCell(list.header(c), widths(c)); });
        else
            guard.step(166, [&] { line.appendCell(list.header(c), 0); });
        });
    guard.step(170, [&] { openFile().writeLine(line.text()); });

    announce(172, 20);

    // One line per ticked row.
    ListReadAhead ahead(list);
    guard.forLoop(
        182, 224, 1, [&] { return list.rows(); },
        [&](int r) {
        ahead.before(r);
        guard.step(184, [&] { yield(); });
        guard.step(186, [&] { line.clear(); });
        if (!guard.test(188, [&] { return list.checked(r); }))
            return;
        guard.forLoop(
            190, 208, 1, [&] { return list.columns(); },
            [&](int c) {
            guard.step(192, [&] { yield(); });
            // Twins on purpose, as for the widths above.
            if (guard.test(194, [&] { return c == 1; })) {
                if (guard.test(196, [&] { return widths(1) >= cells.text(r, 1).size(); }))
                    guard.step(198, [&] { line.appendCell(cells.text(r, 1), widths(1)); });
                else
                    guard.step(200, [&] { line.appendCell(cells.text(r, 1), 0); });
            } else {
                if (guard.test(202, [&] { return widths(c) >= cells.text(r, c).size(); }))
                    guard.step(204, [&] { line.appendCell(cells.text(r, c), widths(c)); });
                else
                    guard.step(206, [&] { line.appendCell(cells.text(r, c), 0); });
            }
            });
        if (guard.test(210, hasBar)) {
            guard.step(212, [&] { yield(); });
            guard.step(214, [&] {
                // The count is read afresh, as the list may have changed during the yields.
                const qint64 count = list.rows();
                if (count == 0)
                    throw Failure(QStringLiteral("Division by zero"));
                bar().setValue(double(r + count / 2000) / double(count) * 100.0);
            });
            if (guard.test(216, [&] { return r % 1000 == 0; })) {
                guard.step(218, [&] {
                    bar().setText(caption() + QLatin1String(" (") + QString::number(r) + QLatin1Char(')'));
                });
            }
            guard.step(220, [&] { yield(); });
        }
        guard.step(222, [&] { openFile().writeLine(line.text()); });
        });

    if (guard.test(226, hasBar)) {
        guard.step(228, [&] { bar().setValue(100); });
        guard.step(230, [&] { bar().setText(QStringLiteral("Done.")); });
    }

    guard.step(232, [&] { openFile().close(); });
    guard.step(234, [&] { openFile().release(); });
    guard.step(236, [&] { file.reset(); });

    if (guard.test(238, hasBar)) {
        guard.step(240, [&] { bar().setValue(0); });
        guard.step(242, [&] { bar().setText(QStringLiteral("Progress Bar")); });
    }
}

} // namespace

void SaveListviewProperlySpaced(CommandHost &host, const ListSource &list, const QString &fileName,
                                ProgressIndicator *progress)
{
    saveListview(host, list, fileName, nullptr, progress);
}

void SaveListviewProperlySpaced(CommandHost &host, const ListSource &list, QIODevice &device, const QString &fileName,
                                ProgressIndicator *progress)
{
    saveListview(host, list, fileName, &device, progress);
}

void saveTextFile(CommandHost &host, const ListSource &list)
{
    // While a long command shows the hourglass (this one included, reached
    // again from one of its own yields) the button stands aside.
    if (host.busy())
        return;

    Guard guard(host.dialogs(), clickSource);
    SaveDialogRequest request;
    QString chosen;
    QString fileName;

    guard.step(106, [&] { request = SaveDialogRequest(); });
    guard.step(108, [&] { request.title = QStringLiteral("Save"); });
    guard.step(110, [&] { request.filter = QStringLiteral("Text Files (*.txt);;All Files (*.*)"); });
    guard.step(112, [&] { chosen = host.dialogs().getSaveFileName(request.title, request.filter); });
    guard.step(114, [&] { fileName = chosen; });
    if (guard.test(116, [&] { return fileName.isEmpty(); }))
        return;
    guard.step(118, [&] { host.setPointer(Pointer::Hourglass); });
    guard.step(120, [&] { SaveListviewProperlySpaced(host, list, fileName, &host.progress()); });
    guard.step(122, [&] { host.setPointer(Pointer::Normal); });
}
