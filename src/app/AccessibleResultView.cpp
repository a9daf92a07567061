#include "app/AccessibleResultView.h"

#include "app/ResultView.h"
#include "generate/ResultList.h"

#include <QAccessibleWidget>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>

#include <functional>

namespace {

// A name as the reader hears it next: after the list's news, if any.
QString withNews(const ResultView *view, const QString &name)
{
    const QString news = view->news();
    return news.isEmpty() ? name : news + QStringLiteral("; ") + name;
}

// What every part of the table that is not a widget of its own shares: it
// belongs to the list's window and has no children.
class AccessiblePart : public QAccessibleInterface
{
public:
    explicit AccessiblePart(QWidget *owner)
        : m_owner(owner)
    {
    }

    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_owner ? m_owner->window()->windowHandle() : nullptr; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (isValid())
            addStates(state);
        else
            state.invalid = true;
        return state;
    }

protected:
    // The states of a part that is still there.
    virtual void addStates(QAccessible::State &) const {}

    static QRect global(const QWidget *widget, const QRect &rect)
    {
        return QRect(widget->mapToGlobal(rect.topLeft()), rect.size());
    }

    QPointer<QWidget> m_owner;
};

// A part of the list itself: the list is its parent.
class AccessibleResultViewPart : public AccessiblePart
{
public:
    explicit AccessibleResultViewPart(ResultView *view)
        : AccessiblePart(view)
    {
    }

    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(view()); }

protected:
    ResultView *view() const { return static_cast<ResultView *>(m_owner.data()); }
};

// The column header, "Result(s)".
class AccessibleResultHeader : public AccessibleResultViewPart
{
public:
    using AccessibleResultViewPart::AccessibleResultViewPart;

    bool isValid() const override { return view() && view()->list() && view()->list()->columns() > 0; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? view()->list()->header(1) : QString();
    }
    QRect rect() const override
    {
        if (!view())
            return QRect();
        const QHeaderView *header = view()->horizontalHeader();
        return global(header, QRect(header->sectionViewportPosition(0), 0, header->sectionSize(0), header->height()));
    }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
};

class AccessibleResultCell;

// The check box a row shows, the one child of the row's cell: named as the
// row, ticked as the row is. The keyboard's place in the list is told as
// this check box (see ResultView::notifyCurrentRow): screen readers speak a
// check box with its name and state in one breath, and for where the user
// is they go up to the cell, which is in the table.
class AccessibleResultCheck : public AccessibleResultViewPart, public QAccessibleActionInterface
{
public:
    explicit AccessibleResultCheck(AccessibleResultCell *cell);

    bool isValid() const override;
    QAccessibleInterface *parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    void addStates(QAccessible::State &state) const override;
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override;
    void doAction(const QString &name) override;
    QStringList keyBindingsForAction(const QString &name) const override;

private:
    AccessibleResultCell *m_cell;
};

// One row of the list as a cell of the table.
class AccessibleResultCell : public AccessibleResultViewPart,
                             public QAccessibleTableCellInterface,
                             public QAccessibleActionInterface
{
public:
    AccessibleResultCell(ResultView *view, int row)
        : AccessibleResultViewPart(view)
        , m_row(row)
    {
    }

    ~AccessibleResultCell() override
    {
        if (m_check)
            QAccessible::deleteAccessibleInterface(m_check);
    }

    int row() const { return m_row; }
    void setRow(int row) { m_row = row; }
    ResultView *resultView() const { return view(); }

    // The row's check box, made when first asked for; null once made if not `make`.
    QAccessibleInterface *check(bool make = true) const
    {
        if (!m_check && make)
            m_check = QAccessible::registerAccessibleInterface(
                new AccessibleResultCheck(const_cast<AccessibleResultCell *>(this)));
        return m_check ? QAccessible::accessibleInterface(m_check) : nullptr;
    }
    QAccessibleInterface *child(int index) const override { return index == 0 && isValid() ? check() : nullptr; }
    int childCount() const override { return isValid() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && m_check && child == QAccessible::accessibleInterface(m_check) ? 0 : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        QAccessibleInterface *box = child(0);
        return box && box->rect().contains(x, y) ? box : nullptr;
    }

    bool isValid() const override { return view() && m_row >= 1 && m_row <= view()->rowCount(); }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? view()->list()->text(m_row, 1) : QString();
    }
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        QRect row = view()->rowRect(m_row);
        row.setWidth(view()->columnWidth(0));
        return global(view()->viewport(), row);
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    void addStates(QAccessible::State &state) const override
    {
        state.selectable = true;
        state.focusable = true;
        state.checkable = true;
        state.checked = view()->list()->checked(m_row);
        if (view()->selectedRow() == m_row) {
            state.selected = true;
            state.focused = view()->hasFocus();
        }
        if (!view()->viewport()->rect().intersects(view()->rowRect(m_row)))
            state.invisible = true;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface *>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    bool isSelected() const override { return isValid() && view()->selectedRow() == m_row; }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        QAccessibleInterface *list = table();
        return list ? QList<QAccessibleInterface *>{list->child(0)} : QList<QAccessibleInterface *>();
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return m_row - 1; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    // The toggle action is named in lower case, the name screen readers know
    // a check box in a table cell by; Qt's own spelling is taken too.
    QStringList actionNames() const override { return {cellToggleAction(), setFocusAction()}; }
    void doAction(const QString &name) override
    {
        if (!isValid())
            return;
        if (name == cellToggleAction() || name == toggleAction()) {
            view()->toggleRow(m_row);
        } else if (name == setFocusAction()) {
            view()->setFocus(Qt::OtherFocusReason);
            view()->setSelectedRow(m_row);
        }
    }
    // No key is named for the toggle: Orca 43's "where am I" reads a cell's
    // key among the row's words ("… checked. Space …").
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    static QString cellToggleAction() { return QStringLiteral("toggle"); }

private:
    int m_row;
    mutable QAccessible::Id m_check = 0;
};

AccessibleResultCheck::AccessibleResultCheck(AccessibleResultCell *cell)
    : AccessibleResultViewPart(cell->resultView())
    , m_cell(cell)
{
}

bool AccessibleResultCheck::isValid() const { return m_cell->isValid(); }
QAccessibleInterface *AccessibleResultCheck::parent() const { return m_cell; }
QString AccessibleResultCheck::text(QAccessible::Text t) const
{
    const QString text = m_cell->text(t);
    if (t != QAccessible::Name || !isValid() || view()->selectedRow() != m_cell->row())
        return text;
    return withNews(view(), text);
}
QRect AccessibleResultCheck::rect() const
{
    return isValid() ? global(view()->viewport(), view()->checkBoxRect(m_cell->row())) : QRect();
}
void AccessibleResultCheck::addStates(QAccessible::State &state) const
{
    // Selected with its row, but not focused: the keyboard is on the row,
    // whose cell says so. (A reader that hears of focus on an object that
    // is neither may take it for noise.)
    const QAccessible::State row = m_cell->state();
    state.focusable = true;
    state.checkable = true;
    state.checked = row.checked;
    state.selected = row.selected;
    state.invisible = row.invisible;
}
QStringList AccessibleResultCheck::actionNames() const { return {AccessibleResultCell::cellToggleAction()}; }
void AccessibleResultCheck::doAction(const QString &name)
{
    m_cell->doAction(name);
}
QStringList AccessibleResultCheck::keyBindingsForAction(const QString &name) const
{
    return m_cell->keyBindingsForAction(name);
}

// The list: its header, then a cell per row in sight, then the context menu
// while it is open. Every row is reached through the table; as children, a
// reader that walks the tree finds only those in sight, so a walk of a list
// of millions costs what one of a screenful does.
class AccessibleResultTable : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit AccessibleResultTable(ResultView *view)
        : QAccessibleWidget(view, QAccessible::Table)
    {
    }

    ~AccessibleResultTable() override
    {
        renumberCells([](int) { return 0; });
        if (m_header)
            QAccessible::deleteAccessibleInterface(m_header);
    }

    QString text(QAccessible::Text t) const override
    {
        // Named by its header, unless named otherwise.
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return view()->selectedRow() > 0 ? columnDescription(0) : withNews(view(), columnDescription(0));
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1 + rowsInSight() + (view()->contextMenu() ? 1 : 0); }
    QAccessibleInterface *child(int index) const override
    {
        const int inSight = rowsInSight();
        if (index == 0)
            return header();
        if (index >= 1 && index <= inSight)
            return cell(view()->rowsInSight().first + index - 1);
        if (index == inSight + 1 && view()->contextMenu())
            return QAccessible::queryAccessibleInterface(view()->contextMenu());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (m_header && child == QAccessible::accessibleInterface(m_header))
            return 0;
        if (const auto *made = dynamic_cast<const AccessibleResultCell *>(child)) {
            const auto [first, last] = view()->rowsInSight();
            const bool here = made->isValid() && made->table() == this && made->row() >= first && made->row() <= last;
            return here ? made->row() - first + 1 : -1;
        }
        if (child->object() && child->object() == view()->contextMenu())
            return rowsInSight() + 1;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint inViewport = view()->viewport()->mapFromGlobal(QPoint(x, y));
        if (view()->viewport()->rect().contains(inViewport)) {
            const int row = view()->rowAt(inViewport.y());
            return row > 0 ? cell(row) : nullptr;
        }
        QAccessibleInterface *top = header();
        return top->rect().contains(x, y) ? top : nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        const int row = view()->selectedRow();
        return view()->hasFocus() && row > 0 ? cell(row) : nullptr;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // "Press" and "SetFocus" take the keyboard to the list; "ShowMenu" opens its context menu.
    QStringList actionNames() const override { return {pressAction(), setFocusAction(), showMenuAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() || name == setFocusAction()) {
            view()->setFocus(Qt::OtherFocusReason);
        } else if (name == showMenuAction()) {
            // The menu runs its own event loop: open it once the caller has its answer.
            QMetaObject::invokeMethod(
                view(), [list = view()] { list->showContextMenu(); }, Qt::QueuedConnection);
        }
    }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        if (name == showMenuAction())
            return {QStringLiteral("Menu"), QStringLiteral("Shift+F10")};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        return column == 0 && row >= 0 && row < rowCount() ? cell(row + 1) : nullptr;
    }
    int selectedCellCount() const override { return selectedRowCount(); }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        const int row = view()->selectedRow();
        return row > 0 ? QList<QAccessibleInterface *>{cell(row)} : QList<QAccessibleInterface *>();
    }
    QString columnDescription(int column) const override
    {
        const ResultList *list = view()->list();
        return list && column >= 0 && column < list->columns() ? list->header(column + 1) : QString();
    }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return view()->selectedRow() > 0 ? 1 : 0; }
    int columnCount() const override { return view()->list() ? view()->list()->columns() : 0; }
    int rowCount() const override { return view()->rowCount(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        const int row = view()->selectedRow();
        return row > 0 ? QList<int>{row - 1} : QList<int>();
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return row >= 0 && view()->selectedRow() == row + 1; }
    bool selectRow(int row) override
    {
        if (row < 0 || row >= rowCount())
            return false;
        view()->setSelectedRow(row + 1);
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override
    {
        if (!isRowSelected(row))
            return false;
        view()->setSelectedRow(0);
        return true;
    }
    bool unselectColumn(int) override { return false; }

    void modelChange(QAccessibleTableModelChangeEvent *event) override
    {
        // Rows are numbered from 1 here and from 0 in the event.
        const int first = event->firstRow() + 1;
        const int last = event->lastRow() + 1;
        const int count = last - first + 1;
        switch (event->modelChangeType()) {
        case QAccessibleTableModelChangeEvent::ModelReset:
            renumberCells([](int) { return 0; });
            break;
        case QAccessibleTableModelChangeEvent::RowsInserted:
            renumberCells([&](int row) { return row >= first ? row + count : row; });
            break;
        case QAccessibleTableModelChangeEvent::RowsRemoved:
            renumberCells([&](int row) { return row < first ? row : row > last ? row - count : 0; });
            break;
        case QAccessibleTableModelChangeEvent::DataChanged:
            notifyChecks(first, last);
            break;
        default:
            break;
        }
    }

private:
    // Cells are made when asked for. The latest few are kept, so that a
    // reader's next questions about a cell find the same one; older ones go.
    static constexpr qsizetype keptCells = 128;

    ResultView *view() const { return static_cast<ResultView *>(widget()); }
    int rowsInSight() const
    {
        const auto [first, last] = view()->rowsInSight();
        return last - first + 1;
    }

    QAccessibleInterface *header() const
    {
        if (!m_header)
            m_header = QAccessible::registerAccessibleInterface(new AccessibleResultHeader(view()));
        return QAccessible::accessibleInterface(m_header);
    }

    // The cell kept under `id`, or null if it is gone.
    AccessibleResultCell *kept(QAccessible::Id id) const
    {
        return dynamic_cast<AccessibleResultCell *>(QAccessible::accessibleInterface(id));
    }

    AccessibleResultCell *madeCell(int row) const
    {
        const auto found = m_cells.constFind(row);
        return found == m_cells.constEnd() ? nullptr : kept(*found);
    }

    AccessibleResultCell *cell(int row) const
    {
        if (AccessibleResultCell *made = madeCell(row))
            return made;
        auto *made = new AccessibleResultCell(view(), row);
        const QAccessible::Id id = QAccessible::registerAccessibleInterface(made);
        m_cells.insert(row, id);
        m_made.append(id);
        if (m_made.size() > keptCells) {
            // The selected row's cell stays: a reader holds it as the focus.
            QAccessible::Id oldest = m_made.takeFirst();
            if (const auto *first = kept(oldest); first && first->row() == view()->selectedRow()) {
                m_made.append(oldest);
                oldest = m_made.takeFirst();
            }
            if (const auto *gone = kept(oldest)) {
                m_cells.remove(gone->row());
                QAccessible::deleteAccessibleInterface(oldest);
            }
        }
        return made;
    }

    // Gives each cell kept the row `renumber` says, and lets those go for which it says 0.
    void renumberCells(const std::function<int(int)> &renumber) const
    {
        const QList<QAccessible::Id> made = m_made;
        m_cells.clear();
        m_made.clear();
        for (const QAccessible::Id id : made) {
            AccessibleResultCell *cell = kept(id);
            const int row = cell ? renumber(cell->row()) : 0;
            if (row > 0) {
                cell->setRow(row);
                m_cells.insert(row, id);
                m_made.append(id);
            } else if (cell) {
                QAccessible::deleteAccessibleInterface(id);
            }
        }
    }

    // The check flags of rows `first` to `last` changed. A reader hears of
    // the cells it may hold, and of a single row ticked or cleared.
    void notifyChecks(int first, int last) const
    {
        QAccessible::State checked;
        checked.checked = true;
        const auto notify = [&](AccessibleResultCell *cell, bool makeCheck) {
            QAccessibleStateChangeEvent event(cell, checked);
            QAccessible::updateAccessibility(&event);
            if (QAccessibleInterface *box = cell->check(makeCheck)) {
                QAccessibleStateChangeEvent boxEvent(box, checked);
                QAccessible::updateAccessibility(&boxEvent);
            }
        };
        if (first == last && first >= 1 && first <= rowCount()) {
            notify(cell(first), true);
            return;
        }
        for (const QAccessible::Id id : QList<QAccessible::Id>(m_made)) {
            AccessibleResultCell *cell = kept(id);
            if (cell && cell->row() >= first && cell->row() <= last)
                notify(cell, false);
        }
    }

    mutable QAccessible::Id m_header = 0;
    mutable QHash<int, QAccessible::Id> m_cells; // by row
    mutable QList<QAccessible::Id> m_made;       // oldest first
};

// An item of the context menu.
class AccessibleResultMenuItem : public AccessiblePart, public QAccessibleActionInterface
{
public:
    AccessibleResultMenuItem(QMenu *menu, QAction *action)
        : AccessiblePart(menu)
        , m_action(action)
    {
    }

    bool isValid() const override { return menu() && m_action; }
    QWindow *window() const override { return menu() ? menu()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(menu()); }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? m_action->text().remove(QLatin1Char('&')) : QString();
    }
    QRect rect() const override { return isValid() ? global(menu(), menu()->actionGeometry(m_action)) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    void addStates(QAccessible::State &state) const override
    {
        state.focusable = true;
        state.disabled = !m_action->isEnabled();
        // With no item current (every one unavailable), the keyboard is on the first.
        const QAction *current = menu()->activeAction();
        if (!current && !menu()->actions().isEmpty())
            current = menu()->actions().first();
        state.focused = current == m_action;
        state.selected = menu()->activeAction() == m_action;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        return isValid() && m_action->isEnabled() ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString &name) override
    {
        // As a click on the item: the menu closes, then the item does its work.
        if (name == pressAction() && isValid() && m_action->isEnabled()) {
            menu()->close();
            m_action->trigger();
        }
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    QAction *action() const { return m_action; }

private:
    QMenu *menu() const { return static_cast<QMenu *>(m_owner.data()); }

    QPointer<QAction> m_action;
};

class AccessibleResultMenu : public QAccessibleWidget
{
public:
    explicit AccessibleResultMenu(QMenu *menu)
        : QAccessibleWidget(menu, QAccessible::PopupMenu)
    {
    }

    ~AccessibleResultMenu() override
    {
        for (const QAccessible::Id id : std::as_const(m_items))
            QAccessible::deleteAccessibleInterface(id);
    }

    // The list the menu belongs to, not the application as for other windows.
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(menu()->parentWidget());
    }
    int childCount() const override { return int(menu()->actions().size()); }
    QAccessibleInterface *child(int index) const override
    {
        QAction *action = menu()->actions().value(index);
        if (!action)
            return nullptr;
        QAccessible::Id &id = m_items[action];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new AccessibleResultMenuItem(menu(), action));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *item = dynamic_cast<const AccessibleResultMenuItem *>(child);
        return item ? int(menu()->actions().indexOf(item->action())) : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        QAction *action = menu()->actionAt(menu()->mapFromGlobal(QPoint(x, y)));
        return action ? child(int(menu()->actions().indexOf(action))) : nullptr;
    }

private:
    QMenu *menu() const { return static_cast<QMenu *>(widget()); }

    mutable QHash<QAction *, QAccessible::Id> m_items;
};

} // namespace

QAccessibleInterface *accessibleResultView(ResultView *view)
{
    return new AccessibleResultTable(view);
}

QAccessibleInterface *accessibleResultMenu(QMenu *menu)
{
    return new AccessibleResultMenu(menu);
}
