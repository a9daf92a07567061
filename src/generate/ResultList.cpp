#include "generate/ResultList.h"

#include "shell/Failure.h"

#include <algorithm>

ResultList::ResultList(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void ResultList::addColumn(const QString &header)
{
    beginInsertColumns(QModelIndex(), int(m_headers.size()), int(m_headers.size()));
    m_headers.append(header);
    endInsertColumns();
}

void ResultList::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_texts.clear();
    m_textIndex.clear();
    m_shown = 0;
    endResetModel();
}

std::uint32_t ResultList::intern(const QString &text)
{
    const auto found = m_textIndex.constFind(text);
    if (found != m_textIndex.constEnd())
        return *found;
    const std::uint32_t index = addText(text);
    m_textIndex.insert(text, index);
    return index;
}

std::uint32_t ResultList::addText(const QString &text)
{
    const auto index = std::uint32_t(m_texts.size());
    if (index >= checkBit)
        throw Failure(QStringLiteral("The list holds too many different texts."));
    m_texts.append(text);
    return index;
}

void ResultList::appendInterned(std::uint32_t textIndex)
{
    m_rows.push_back(textIndex);
}

void ResultList::append(const QString &text)
{
    appendInterned(intern(text));
}

void ResultList::reserve(std::size_t rows)
{
    m_rows.reserve(rows);
}

void ResultList::commit()
{
    const int total = rows();
    if (total == m_shown)
        return;
    beginInsertRows(QModelIndex(), m_shown, total - 1);
    m_shown = total;
    endInsertRows();
}

// The checks and the cell lookup below run for every cell an export reads:
// they compare with the sizes directly.
inline void ResultList::checkRow(int row) const
{
    if (row < 1 || std::size_t(row) > m_rows.size())
        throw Failure(QStringLiteral("Index out of bounds: the list has no row %1.").arg(row));
}

void ResultList::remove(int row)
{
    checkRow(row);
    const int index = row - 1;
    if (index < m_shown) {
        beginRemoveRows(QModelIndex(), index, index);
        m_rows.erase(m_rows.begin() + index);
        --m_shown;
        endRemoveRows();
    } else {
        m_rows.erase(m_rows.begin() + index);
    }
}

void ResultList::setChecked(int row, bool checked)
{
    checkRow(row);
    std::uint32_t &value = m_rows[std::size_t(row - 1)];
    value = checked ? (value | checkBit) : (value & ~checkBit);
    if (row - 1 < m_shown) {
        const QModelIndex changed = index(row - 1, 0);
        emit dataChanged(changed, changed, {Qt::CheckStateRole});
    }
}

void ResultList::setAllChecked(bool checked)
{
    for (std::uint32_t &value : m_rows)
        value = checked ? (value | checkBit) : (value & ~checkBit);
    if (m_shown > 0)
        emit dataChanged(index(0, 0), index(m_shown - 1, 0), {Qt::CheckStateRole});
}

inline void ResultList::checkColumn(int column) const
{
    if (column < 1 || column > m_headers.size())
        throw Failure(QStringLiteral("Index out of bounds: the list has no column %1.").arg(column));
}

QString ResultList::header(int column) const
{
    checkColumn(column);
    return m_headers.at(column - 1);
}

inline const QString &ResultList::rowText(int row) const
{
    return m_texts.at(m_rows[std::size_t(row - 1)] & ~checkBit);
}

inline const QString &ResultList::cell(int row, int column) const
{
    static const QString noSubItem;
    checkRow(row);
    checkColumn(column);
    // The list has no sub-items: columns after the first are empty.
    if (column > 1)
        return noSubItem;
    return rowText(row);
}

QString ResultList::text(int row, int column) const
{
    return cell(row, column);
}

QStringView ResultList::textView(int row, int column, QString &) const
{
    return cell(row, column);
}

void ResultList::prefetch(int first, int last) const
{
    // Rows draw their texts from anywhere in the pool: asking for the next
    // rows' texts together lets the memory fetch them at once.
    const int end = std::min(last, rows());
    for (int row = std::max(first, 1); row <= end; ++row)
        __builtin_prefetch(rowText(row).constData());
}

bool ResultList::checked(int row) const
{
    checkRow(row);
    return m_rows[std::size_t(row - 1)] & checkBit;
}

int ResultList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int ResultList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns();
}

QVariant ResultList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return QVariant();
    const std::uint32_t value = m_rows[std::size_t(index.row())];
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? m_texts.at(value & ~checkBit) : QString();
    if (role == Qt::CheckStateRole && index.column() == 0)
        return (value & checkBit) ? Qt::Checked : Qt::Unchecked;
    return QVariant();
}

Qt::ItemFlags ResultList::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant ResultList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columns())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
