#pragma once

#include "shell/ListSource.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <cstdint>
#include <vector>

// The result list: rows of text with a check flag, in the order appended.
// A row is four bytes: the index of its text in a pool of distinct texts, and
// its check flag in the top bit, so rows of the same text share their storage.
// Appends are held back from the views until commit(), so a long run updates
// the view once per yield instead of once per row; the program's own reads
// (rows(), text(), ...) always see every row.
class ResultList : public QAbstractTableModel, public ListSource
{
    Q_OBJECT

public:
    explicit ResultList(QObject *parent = nullptr);

    // The list's columns (the window adds "Result(s)" at start-up).
    void addColumn(const QString &header);

    // The program's operations; rows are numbered from 1.
    void clear();
    void append(const QString &text);
    // Appends by pool index, for callers that draw the same texts again and
    // again: intern() finds a text already pooled, addText() pools it without
    // looking, for callers that know their texts apart.
    std::uint32_t intern(const QString &text);
    std::uint32_t addText(const QString &text);
    void appendInterned(std::uint32_t textIndex);
    void reserve(std::size_t rows);
    void remove(int row);
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);

    // Shows the rows appended since the last commit to the views.
    void commit();

    // ListSource
    int columns() const override { return int(m_headers.size()); }
    QString header(int column) const override;
    int rows() const override { return int(m_rows.size()); }
    QString text(int row, int column) const override;
    bool checked(int row) const override;
    QStringView textView(int row, int column, QString &holder) const override;
    void prefetch(int first, int last) const override;

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Bytes held per row, for the memory figures.
    static constexpr std::size_t bytesPerRow = sizeof(std::uint32_t);

private:
    static constexpr std::uint32_t checkBit = 0x80000000u;
    // Defined inline in ResultList.cpp, the one file that calls them.
    inline void checkRow(int row) const;
    inline void checkColumn(int column) const;
    inline const QString &cell(int row, int column) const;
    // The text of an existing row, unchecked.
    inline const QString &rowText(int row) const;

    QStringList m_headers;
    std::vector<std::uint32_t> m_rows;
    QStringList m_texts;
    QHash<QString, std::uint32_t> m_textIndex;
    int m_shown = 0; // rows the views know of
};
