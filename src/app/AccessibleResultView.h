#pragma once

class QAccessibleInterface;
class QMenu;
class ResultView;

// The result list as assistive technology reads it: a table of one column
// headed as the list is, with a cell per row made only when asked for. A cell
// reads as the row's text, says whether the row is ticked and whether it is
// the selected row, and ticks or clears it with its "toggle" action. Its one
// child is the check box the row shows, named as the row; the keyboard's
// place in the list is told as that check box, so that screen readers speak
// the row's text and tick together, once (Orca 48 ignores the toggle action
// of a Qt table cell), and go up to the cell for its place in the table.
// Only the rows in sight are the table's children, so that a reader walking
// the tree does not walk millions of rows; every row is reached through the
// table.
QAccessibleInterface *accessibleResultView(ResultView *view);

// The list's context menu while it is open: a popup menu with its items,
// among the list's children.
QAccessibleInterface *accessibleResultMenu(QMenu *menu);
