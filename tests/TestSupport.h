#pragma once

// Test doubles and helpers shared by the test programs: dialogs that record
// what they would have shown, a command host without a window, and what
// reads a list back. A helper two test programs need lives here, once.

#include "generate/ResultList.h"
#include "shell/CommandHost.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"
#include "shell/ListSource.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QThread>
#include <QRegularExpression>
#include <QStringList>

#include <csignal>
#include <functional>

#include <sys/resource.h>

struct ShownMessage
{
    QString title;
    QString text;
    Dialogs::Icon icon;
};

class RecordingDialogs : public Dialogs
{
public:
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        messages.append({title, text, icon});
        if (onMessage)
            onMessage();
    }
    QString getSaveFileName(const QString &title, const QString &filter) override
    {
        saveTitles.append(title);
        saveFilters.append(filter);
        return nextSaveFileNames.isEmpty() ? QString() : nextSaveFileNames.takeFirst();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const ShownMessage &m : messages)
            result.append(m.text);
        return result;
    }

    QList<ShownMessage> messages;
    QStringList nextSaveFileNames;
    QStringList saveTitles;
    QStringList saveFilters;
    std::function<void()> onMessage; // runs while the "box" is open
};

class RecordingProgress : public ProgressIndicator
{
public:
    void setValue(double value) override
    {
        m_value = value;
        values.append(value);
    }
    double value() const override { return m_value; }
    void setText(const QString &text) override
    {
        m_text = text;
        texts.append(text);
    }
    QString text() const override { return m_text; }

    QList<double> values;
    QStringList texts;

private:
    double m_value = 0;
    QString m_text = QStringLiteral("Progress Bar");
};

// A host without a window; `Base` is CommandHost or one of its extensions.
template <typename Base = CommandHost> class FakeHostOf : public Base
{
public:
    Dialogs &dialogs() override { return m_dialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override
    {
        m_pointer = pointer;
        pointers.append(pointer);
    }
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield();
        endIfClosed();
    }
    void endIfClosed() override
    {
        if (closed)
            throw ProgramEnding();
    }
    ProgressIndicator &progress() override { return m_progress; }
    QString programFolder() const override { return folder; }

    RecordingDialogs m_dialogs;
    RecordingProgress m_progress;
    Pointer m_pointer = Pointer::Normal;
    QList<Pointer> pointers;
    long yields = 0;
    std::function<void()> onYield;
    bool closed = false; // the window has closed: the next yield or check ends the command
    QString folder = QCoreApplication::applicationDirPath();
};

using FakeHost = FakeHostOf<>;

// A list with any number of columns; a cell that is not given is empty, and
// reading past the end fails as the window's list does.
class TableList : public ListSource
{
public:
    explicit TableList(QStringList headers)
        : m_headers(std::move(headers))
    {
    }
    // Rows written as "x|text|sub-item 1|..." ("x" ticked, "-" not).
    TableList(QStringList headers, const QStringList &rows)
        : TableList(std::move(headers))
    {
        for (const QString &row : rows) {
            const QStringList parts = row.split(QLatin1Char('|'));
            add(parts.mid(1), parts.constFirst() == QLatin1String("x"));
        }
    }
    void add(QStringList cells, bool checked) { m_rows.append({std::move(cells), checked}); }
    QString &cell(int row, int column) { return m_rows[row - 1].cells[column - 1]; }
    void truncate(int rows) { m_rows.resize(rows); }

    int columns() const override { return int(m_headers.size()); }
    QString header(int column) const override { return m_headers.value(column - 1); }
    int rows() const override { return int(m_rows.size()); }
    QString text(int row, int column) const override { return at(row).cells.value(column - 1); }
    bool checked(int row) const override { return at(row).checked; }

    QList<int> unreadable; // rows whose cells fail to read

private:
    struct Row
    {
        QStringList cells;
        bool checked;
    };
    const Row &at(int row) const
    {
        if (row < 1 || row > m_rows.size() || unreadable.contains(row))
            throw Failure(QStringLiteral("Index out of bounds: no row %1.").arg(row));
        return m_rows[row - 1];
    }
    QStringList m_headers;
    QList<Row> m_rows;
};

// The step number of each message shown that is an error report of the
// procedure with source text `source`; -1 for any other message.
inline QList<int> reportedSteps(const RecordingDialogs &dialogs, const QString &source)
{
    static const QRegularExpression report(QStringLiteral("\r\n(.*)at line (-?\\d+)\r\rPlease email"));
    QList<int> steps;
    for (const ShownMessage &message : dialogs.messages) {
        const QRegularExpressionMatch match = report.match(message.text);
        const bool isReport = message.title == QLatin1String("Application Error")
            && message.icon == Dialogs::Icon::Warning && match.hasMatch() && match.captured(1) == source;
        steps.append(isReport ? match.captured(2).toInt() : -1);
    }
    return steps;
}

// The first column's text of every row of `list`, top to bottom.
inline QStringList rowsOf(const ResultList &list)
{
    QStringList rows;
    for (int row = 1; row <= list.rows(); ++row)
        rows.append(list.text(row, 1));
    return rows;
}

// The window's result list as start-up makes it: one column, "Result(s)".
class ResultsColumnList : public ResultList
{
public:
    ResultsColumnList() { addColumn(QStringLiteral("Result(s)")); }
};

// Waits until a started program catches the signal (its bit in SigCgt of
// /proc/PID/status), as the window does once it is being made, however long
// a loaded machine takes to get there; false when the program ends or a
// minute passes first.
inline bool catchesSignal(const QProcess &process, int signal)
{
    const QDeadlineTimer deadline(60000);
    while (process.state() == QProcess::Running && !deadline.hasExpired()) {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1)
                    return true;
            }
        }
        QThread::msleep(50);
    }
    return false;
}

// While it lives, files of this process may not grow past `bytes`, as on a
// full disk: a write past it fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int);
};
