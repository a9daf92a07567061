#pragma once

#include <QString>

#include <algorithm>
#include <limits>

// A report-style list as the exports and the close read it: columns and rows
// numbered from 1; column 1 is a row's text, column c >= 2 its sub-item c - 1.
// Reading a row or column that does not exist throws a Failure.
class ListSource
{
public:
    virtual ~ListSource() = default;
    virtual int columns() const = 0;
    virtual QString header(int column) const = 0;
    virtual int rows() const = 0;
    virtual QString text(int row, int column) const = 0;
    virtual bool checked(int row) const = 0;

    // A cell's text without a copy, for long loops: the view stays valid until
    // the list changes. `holder` keeps the text of a list that has none to lend.
    virtual QStringView textView(int row, int column, QString &holder) const
    {
        holder = text(row, column);
        return holder;
    }

    // A hint that the texts of rows `first` to `last` (those that exist) are
    // about to be read: a list whose texts lie scattered in memory can start
    // fetching them side by side. Reads nothing the caller sees, never fails.
    virtual void prefetch(int /*first*/, int /*last*/) const {}
};

// Hints a list's rows a batch ahead of a walk that reads them one by one.
class ListReadAhead
{
public:
    explicit ListReadAhead(const ListSource &list)
        : m_list(list)
    {
    }
    // Before row `row` is read.
    void before(int row)
    {
        if (row + batch >= m_next) {
            const qint64 first = std::max<qint64>(row, m_next);
            m_next = first + 2 * batch;
            m_list.prefetch(int(first), int(std::min<qint64>(m_next - 1, std::numeric_limits<int>::max())));
        }
    }

private:
    static constexpr qint64 batch = 64;
    const ListSource &m_list;
    qint64 m_next = 0; // the first row not hinted yet
};
