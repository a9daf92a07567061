#include "app/ResultView.h"

#include "app/Accessible.h"
#include "generate/ResultList.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace {

// What the list's header shows: the list's columns and their titles, and no
// rows. A header view given the list itself would follow every change of its
// rows, and tell assistive technology of each one as a table of its own that
// is not in the window's tree (Qt 6.8's bridge passes those on to the bus).
class HeaderModel : public QAbstractTableModel
{
public:
    HeaderModel(ResultList *list, QObject *parent)
        : QAbstractTableModel(parent)
        , m_list(list)
    {
        connect(list, &QAbstractItemModel::columnsAboutToBeInserted, this,
                [this](const QModelIndex &, int first, int last) { beginInsertColumns(QModelIndex(), first, last); });
        connect(list, &QAbstractItemModel::columnsInserted, this, [this] { endInsertColumns(); });
        connect(list, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
    }

    int rowCount(const QModelIndex &) const override { return 0; }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : m_list->columns(); }
    QVariant data(const QModelIndex &, int) const override { return QVariant(); }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        return m_list->headerData(section, orientation, role);
    }

private:
    ResultList *const m_list;
};

} // namespace

ResultView::ResultView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_header(new QHeaderView(Qt::Horizontal, this))
{
    installAccessibleInterfaces();
    m_childrenSpacing.setSingleShot(true);
    m_childrenSpacing.setInterval(150);
    connect(&m_childrenSpacing, &QTimer::timeout, this, [this] {
        if (std::exchange(m_childrenPending, false))
            rowsCountChanged();
    });
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);
    viewport()->setBackgroundRole(QPalette::Base);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_header->setObjectName(QStringLiteral("ListView1Header"));
    m_header->setHighlightSections(false);
    m_header->setSectionsClickable(false);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setStretchLastSection(false);
    m_header->setFocusPolicy(Qt::NoFocus);
    connect(m_header, &QHeaderView::sectionResized, this, &ResultView::refresh);
}

void ResultView::setList(ResultList *list)
{
    m_list = list;
    m_header->setModel(new HeaderModel(list, this));
    m_current = 0;
    // Assistive technology hears of each change as the view does: appends
    // once per commit, not once per row.
    connect(list, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        refresh();
        notifyRows(QAccessibleTableModelChangeEvent::RowsInserted, first, last);
        rowsCountChanged();
    });
    connect(list, &QAbstractItemModel::columnsInserted, this, &ResultView::refresh);
    connect(list, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &top, const QModelIndex &bottom) {
        viewport()->update();
        notifyRows(QAccessibleTableModelChangeEvent::DataChanged, top.row(), bottom.row());
    });
    connect(list, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        notifyRows(QAccessibleTableModelChangeEvent::RowsRemoved, first, last);
        rowsRemoved(first + 1, last + 1);
        rowsCountChanged();
    });
    connect(list, &QAbstractItemModel::modelReset, this, [this] {
        m_current = 0;
        verticalScrollBar()->setValue(0);
        refresh();
        notifyRows(QAccessibleTableModelChangeEvent::ModelReset, -1, -1);
        rowsCountChanged();
    });
    updateRowHeight();
}

void ResultView::setColumnWidth(int column, int width)
{
    m_header->resizeSection(column, width);
}

int ResultView::columnWidth(int column) const
{
    return m_header->sectionSize(column);
}

int ResultView::rowCount() const
{
    return m_list ? m_list->rowCount() : 0;
}

int ResultView::visibleRows() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

int ResultView::firstRow() const
{
    return verticalScrollBar()->value() + 1;
}

void ResultView::updateGeometries()
{
    const int headerHeight = m_header->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    // The vertical scroll bar counts rows, so any number of rows fits its range.
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, rowCount() - visibleRows()));
    vertical->setPageStep(visibleRows());
    vertical->setSingleStep(1);
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, m_header->length() - area.width()));
    horizontal->setPageStep(area.width());
    horizontal->setSingleStep(20);
}

void ResultView::refresh()
{
    updateGeometries();
    viewport()->update();
}

void ResultView::scrollContentsBy(int dx, int)
{
    if (dx != 0)
        m_header->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void ResultView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateRowHeight();
}

void ResultView::updateRowHeight()
{
    const QStyleOptionViewItem option = itemOption();
    const int check = style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    m_rowHeight = std::max(fontMetrics().height(), check) + 4;
    updateGeometries();
}

void ResultView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateGeometries();
}

QRect ResultView::rowRect(int row) const
{
    const int width = std::max(m_header->length(), viewport()->width());
    return QRect(-horizontalScrollBar()->value(), (row - firstRow()) * m_rowHeight, width, m_rowHeight);
}

int ResultView::rowAt(int y) const
{
    if (y < 0)
        return 0;
    const int row = firstRow() + y / m_rowHeight;
    return row <= rowCount() ? row : 0;
}

std::pair<int, int> ResultView::rowsInSight() const
{
    if (rowCount() == 0)
        return {0, -1};
    const int first = firstRow();
    return {first, std::min(rowCount(), first + (viewport()->height() - 1) / m_rowHeight)};
}

QStyleOptionViewItem ResultView::itemOption() const
{
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.font = font();
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = Qt::ElideRight;
    option.viewItemPosition = QStyleOptionViewItem::OnlyOne;
    option.showDecorationSelected = true;
    option.state |= QStyle::State_Enabled;
    option.state &= ~QStyle::State_HasFocus;
    return option;
}

QStyleOptionViewItem ResultView::rowOption(int row) const
{
    return rowOption(itemOption(), row);
}

QStyleOptionViewItem ResultView::rowOption(QStyleOptionViewItem option, int row) const
{
    option.rect = rowRect(row);
    option.rect.setWidth(m_header->sectionSize(0));
    if (m_list && row >= 1 && row <= rowCount()) {
        option.text = m_list->text(row, 1);
        option.checkState = m_list->checked(row) ? Qt::Checked : Qt::Unchecked;
    }
    if (row == m_current) {
        option.state |= QStyle::State_Selected;
        if (hasFocus())
            option.state |= QStyle::State_HasFocus;
    }
    return option;
}

QRect ResultView::checkBoxRect(int row) const
{
    const QStyleOptionViewItem option = rowOption(row);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void ResultView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    if (!m_list)
        return;
    const int first = firstRow();
    const int last = std::min(rowCount(), first + viewport()->height() / m_rowHeight);
    // What all rows share is worked out once, not once a row.
    const QStyleOptionViewItem item = itemOption();
    for (int row = first; row <= last; ++row) {
        const QStyleOptionViewItem option = rowOption(item, row);
        if (row == m_current) // the selection spans the whole line
            painter.fillRect(rowRect(row),
                             palette().brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
        style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, this);
    }
}

void ResultView::setSelectedRow(int row)
{
    m_news.clear();
    const int previous = std::exchange(m_current, std::clamp(row, 0, rowCount()));
    if (m_current > 0) {
        QScrollBar *vertical = verticalScrollBar();
        if (m_current < firstRow())
            vertical->setValue(m_current - 1);
        else if (m_current >= firstRow() + visibleRows())
            vertical->setValue(m_current - visibleRows());
    }
    viewport()->update();
    if (m_current != previous)
        notifyCurrentRow();
}

void ResultView::rowsRemoved(int first, int last)
{
    // The rows below move up; the selection stays on its row, or, when that
    // row went, on the row now in its place.
    const int previous = m_current;
    if (m_current > last)
        m_current -= last - first + 1;
    else if (m_current >= first)
        m_current = std::min(first, rowCount());
    updateGeometries();
    viewport()->update();
    if (previous < first || previous > last)
        return;
    // When the last row went, the reader is back on the list, which reads as
    // empty, and not on a row that is no more; that follows the news that the
    // table's children changed (see notifyChildren).
    if (m_current == 0)
        m_listAfterChildren = true;
    else
        notifyCurrentRow(true);
}

void ResultView::toggleRow(int row)
{
    if (m_list && row >= 1 && row <= rowCount())
        m_list->setChecked(row, !m_list->checked(row));
}

void ResultView::keyPressEvent(QKeyEvent *event)
{
    m_news.clear();
    const int rows = rowCount();
    switch (event->key()) {
    case Qt::Key_Delete:
        emit deletePressed();
        break;
    case Qt::Key_Space:
    case Qt::Key_Select:
        toggleRow(m_current);
        break;
    case Qt::Key_Menu:
        // Where the platform has already made the key a context menu event, it is done.
        if (!std::exchange(m_menuKeyTaken, false))
            showContextMenu();
        break;
    case Qt::Key_F10:
        if (event->modifiers() != Qt::ShiftModifier) {
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
        showContextMenu();
        break;
    case Qt::Key_Up:
        setSelectedRow(std::max(1, m_current - 1));
        break;
    case Qt::Key_Down:
        setSelectedRow(std::min(rows, m_current + 1));
        break;
    case Qt::Key_PageUp:
        setSelectedRow(std::max(1, m_current - visibleRows()));
        break;
    case Qt::Key_PageDown:
        setSelectedRow(std::min(rows, std::max(1, m_current + visibleRows())));
        break;
    case Qt::Key_Home:
        setSelectedRow(rows > 0 ? 1 : 0);
        break;
    case Qt::Key_End:
        setSelectedRow(rows);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ResultView::mousePressEvent(QMouseEvent *event)
{
    const int row = rowAt(event->position().toPoint().y());
    if (row == 0 || event->button() == Qt::MiddleButton)
        return;
    setSelectedRow(row);
    if (event->button() == Qt::LeftButton && checkBoxRect(row).contains(event->position().toPoint()))
        toggleRow(row);
}

void ResultView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first click of the pair has already selected the row under the pointer.
    event->accept();
    emit doubleClicked();
}

void ResultView::contextMenuEvent(QContextMenuEvent *event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        openContextMenu(event->globalPos(), false);
    } else {
        // The platform's own turn of the Menu key (X11 sends one before the
        // key): should the key reach the list after it, it is answered.
        m_menuKeyTaken = true;
        showContextMenu();
    }
}

void ResultView::showContextMenu()
{
    // Below the selected row's check box, or at the top of the list.
    const QRect box = m_current > 0 ? checkBoxRect(m_current) : QRect();
    openContextMenu(viewport()->mapToGlobal(box.isValid() ? box.bottomLeft() : QPoint(0, 0)), true);
}

void ResultView::openContextMenu(const QPoint &globalPos, bool fromKeyboard)
{
    if (!m_list || m_menu)
        return;
    QMenu menu(this);
    QString told; // what the chosen item did, for a screen reader
    const auto checkAll = [this, &told](bool checked) {
        m_list->setAllChecked(checked);
        told = tr("%1 of %2 rows checked").arg(spokenCount(checked ? m_list->rows() : 0), spokenCount(m_list->rows()));
    };
    QAction *checkAllItem = menu.addAction(tr("Check All"), this, [checkAll] { checkAll(true); });
    QAction *uncheckAllItem = menu.addAction(tr("Uncheck All"), this, [checkAll] { checkAll(false); });
    checkAllItem->setEnabled(m_list->rows() > 0);
    uncheckAllItem->setEnabled(m_list->rows() > 0);
    // Opened from the keyboard, the menu starts on its first item, which a
    // screen reader then reads. With every item unavailable, none is made
    // current on screen; the reader is still taken to the first, read as unavailable.
    if (fromKeyboard && checkAllItem->isEnabled()) {
        QMetaObject::invokeMethod(
            &menu, [&menu, checkAllItem] { menu.setActiveAction(checkAllItem); }, Qt::QueuedConnection);
    } else if (fromKeyboard) {
        QMetaObject::invokeMethod(
            &menu,
            [&menu] {
            QAccessibleInterface *items = QAccessible::queryAccessibleInterface(&menu);
            if (QAccessibleInterface *first = items ? items->child(0) : nullptr) {
                QAccessibleEvent event(first, QAccessible::Focus);
                notifyAccessibility(event);
            }
            },
            Qt::QueuedConnection);
    }
    // While open, the menu is one of the list's accessible children.
    m_menu = &menu;
    QAccessibleEvent created(&menu, QAccessible::ObjectCreated);
    notifyAccessibility(created);
    menu.exec(globalPos);
    QAccessibleEvent destroyed(&menu, QAccessible::ObjectDestroyed);
    notifyAccessibility(destroyed);
    m_menu = nullptr;
    // The reader is back on the row (or the empty list), then hears what the item did.
    notifyCurrentRow(true);
    announce(this, told);
}

void ResultView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    // The reader hears the list take the focus once this event is over; the
    // row is told after that, or the list's news would cover it.
    QMetaObject::invokeMethod(
        this, [this] { notifyCurrentRow(); }, Qt::QueuedConnection);
}

void ResultView::focusOutEvent(QFocusEvent *event)
{
    m_news.clear();
    QAbstractScrollArea::focusOutEvent(event);
}

void ResultView::notifyAccessibility(QAccessibleEvent &event)
{
    if (QAccessible::isActive())
        QAccessible::updateAccessibility(&event);
}

void ResultView::notifyRows(QAccessibleTableModelChangeEvent::ModelChangeType type, int first, int last)
{
    QAccessibleTableModelChangeEvent event(this, type);
    event.setFirstRow(first);
    event.setLastRow(last);
    event.setFirstColumn(0);
    event.setLastColumn(0);
    notifyAccessibility(event);
}

void ResultView::rowsCountChanged()
{
    if (m_childrenSpacing.isActive()) {
        m_childrenPending = true;
        return;
    }
    notifyChildren();
    m_childrenSpacing.start();
}

void ResultView::notifyChildren()
{
    // Qt's AT-SPI bridge makes nothing of a table model change, and a reader
    // that keeps a table's row count (Orca 48 does) drops it only when the
    // table's children change. So the table tells of a child added: the first
    // row in sight, or the header when no row is left. Such a reader also
    // drops a second event of a kind that comes within a tenth of a second of
    // the first, so a run's many commits are told at most once per spacing,
    // the last after the last commit.
    //
    // A reader handles a focus event before that news when both wait, and
    // would read the emptied list with its old row count: the list is told
    // of as the focus a moment after.
    const bool listToTell = std::exchange(m_listAfterChildren, false);
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(this);
    if (!list || !list->tableInterface())
        return;
    QAccessibleInterface *child = list->tableInterface()->cellAt(rowsInSight().first - 1, 0);
    if (!child)
        child = list->child(0);
    if (child) {
        QAccessibleEvent event(child, QAccessible::ObjectCreated);
        notifyAccessibility(event);
    }
    if (listToTell)
        QTimer::singleShot(100, this, [this] { notifyCurrentRow(true); });
}

void ResultView::notifyCurrentRow(bool orList)
{
    // A screen reader reads the row the user moves to: the event is the row's cell's.
    if (!hasFocus() || !QAccessible::isActive())
        return;
    if (m_current == 0) {
        if (orList) {
            QAccessibleEvent event(this, QAccessible::Focus);
            notifyAccessibility(event);
        }
        return;
    }
    // It is told as the row's check box, the cell's child, which readers
    // speak with its state; the cell stays the one focused.
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(this);
    QAccessibleInterface *cell = list && list->tableInterface() ? list->tableInterface()->cellAt(m_current - 1, 0)
                                                                : nullptr;
    QAccessibleInterface *box = cell ? cell->child(0) : nullptr;
    if (!box)
        return;
    // A reader may hold the cell's states from before it was selected.
    QAccessible::State selected;
    selected.selected = true;
    QAccessibleStateChangeEvent selection(cell, selected);
    notifyAccessibility(selection);
    QAccessibleEvent event(box, QAccessible::Focus);
    notifyAccessibility(event);
}
