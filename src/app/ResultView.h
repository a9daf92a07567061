#pragma once

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QStyleOptionViewItem>
#include <QTimer>

#include <utility>

class QHeaderView;
class QMenu;
class ResultList;

// The result list on screen: the column header over rows that each show a
// check box and the row's text, one selected row, and a context menu to tick
// or clear every row. It draws only the rows in sight and keeps nothing per
// row, so a list of millions of rows costs it no more than a short one.
// Assistive technology reads it as a table (AccessibleResultView.h), told of
// its changes as often as the view itself updates.
class ResultView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ResultView(QWidget *parent = nullptr);
    void setList(ResultList *list);
    ResultList *list() const { return m_list; }
    // The rows the view shows: those the list has committed.
    int rowCount() const;

    QHeaderView *horizontalHeader() const { return m_header; }
    void setColumnWidth(int column, int width);
    int columnWidth(int column) const;

    // The selected row, numbered from 1; 0 when none.
    int selectedRow() const { return m_current; }
    // Selects a row (0 for none) and scrolls it into sight.
    void setSelectedRow(int row);
    // Where a row is drawn, and its check box, in the viewport's coordinates.
    QRect rowRect(int row) const;
    QRect checkBoxRect(int row) const;
    // The row at a height in the viewport, or 0.
    int rowAt(int y) const;
    // The rows in sight, wholly or in part: the first and the last, or 0 and
    // -1 when the list is empty.
    std::pair<int, int> rowsInSight() const;
    // Ticks or clears a row, as Space does on the selected row.
    void toggleRow(int row);

    // News a screen reader is told ahead of the current row the next time
    // it hears of it, such as what removed the row before it ("deleted; 4
    // places"): the row's name begins with it until the user does anything
    // more in the list, or the focus leaves it. Told in the name, as part of
    // the row, it is not cut short by the row as a separate announcement is.
    void setNews(const QString &news) { m_news = news; }
    QString news() const { return m_news; }

    // The context menu ("Check All", "Uncheck All") while it is open, else null.
    QMenu *contextMenu() const { return m_menu; }
    // Opens the context menu at the selected row, as the Menu key does.
    void showContextMenu();

signals:
    // The Delete key, whatever the modifiers.
    void deletePressed();
    // A double-click anywhere on the list.
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    int visibleRows() const;
    int firstRow() const; // the row at the top of the viewport, from 1
    void updateGeometries();
    void refresh(); // after the rows or the column widths change
    void updateRowHeight();
    void rowsRemoved(int first, int last);
    // How a row is drawn: what every row shares, and that completed for one row.
    QStyleOptionViewItem itemOption() const;
    QStyleOptionViewItem rowOption(int row) const;
    QStyleOptionViewItem rowOption(QStyleOptionViewItem option, int row) const;
    void openContextMenu(const QPoint &globalPos, bool fromKeyboard);
    // Tells assistive technology of a change, when any listens.
    static void notifyAccessibility(QAccessibleEvent &event);
    void notifyRows(QAccessibleTableModelChangeEvent::ModelChangeType type, int first, int last);
    // Tells a reader of the current row; with none, of the list itself if `orList`.
    void notifyCurrentRow(bool orList = false);
    // Tells readers the table's children changed after rows came or went
    // (see notifyChildren): at once, then at most once per m_childrenSpacing.
    void rowsCountChanged();
    void notifyChildren();

    ResultList *m_list = nullptr;
    QHeaderView *const m_header;
    int m_current = 0;
    int m_rowHeight = 20;
    QMenu *m_menu = nullptr; // while the context menu is open
    bool m_menuKeyTaken = false;
    QTimer m_childrenSpacing;
    bool m_childrenPending = false;
    QString m_news;
    bool m_listAfterChildren = false; // the list to be told of as the focus after its children
};
