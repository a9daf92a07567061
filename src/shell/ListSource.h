#pragma once

#include <QString>

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
};
