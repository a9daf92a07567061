#pragma once

class QAccessibleInterface;
class QMenu;
class ResultView;

// The result list as assistive technology reads it: a table of one column
// headed as the list is, with a cell per row made only when asked for. A cell
// reads as the row's text, says whether the row is ticked and whether it is
// the selected row, and ticks or clears it with its "toggle" action. Only
// the rows in sight are its children, so that a reader walking the tree does
// not walk millions of rows; every row is reached through the table.
QAccessibleInterface *accessibleResultView(ResultView *view);

// The list's context menu while it is open: a popup menu with its items,
// among the list's children.
QAccessibleInterface *accessibleResultMenu(QMenu *menu);
