#!/usr/bin/python3
"""The built program driven from outside over the real accessibility bus, as a
screen reader or desktop automation reaches it: a private X server, session
bus and AT-SPI bus, the program with accessibility on and a private HOME.
Reads the window's extents and a button's in window coordinates, types 5 into the number box, presses "Start Generating", waits for the
progress bar to rest, reads the 5 rows and checks they are real places, ticks
row 2 through its action and reads it back, then clears every tick through
the list's context menu.

Usage: tst_accessibility_bus.py PATH_TO_ORVELLE  (Debian's python3 with python3-pyatspi)
"""

import os
import re
import sqlite3

from desktop.private_desktop import PrivateDesktop, check, do_action, find, main, wait_for


def is_real_place(database, text):
    """Whether the database holds a place that reads as `text` ("City, ST 12345")."""
    match = re.fullmatch(r"(.+), ([A-Z]{2}) (\d{5})", text)
    if not match:
        return False
    city, state, zip_code = match.groups()
    row = database.execute("SELECT 1 FROM zip_codes WHERE zip = ? AND upper(state) = ? AND lower(city) = lower(?)",
                           (zip_code, state, city)).fetchone()
    return row is not None


def check_window_coordinates(window, inside):
    """The window and `inside` in window coordinates: their screen rectangles
    moved by the window's top left corner, their sizes as on the screen."""
    import pyatspi
    screen = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    check(screen.x > 0 and screen.y > 0, f"the window is not away from the screen's corner: {screen}")
    for accessible in (window, inside):
        component = accessible.queryComponent()
        on_screen = component.getExtents(pyatspi.DESKTOP_COORDS)
        in_window = component.getExtents(pyatspi.WINDOW_COORDS)
        expected = (on_screen.x - screen.x, on_screen.y - screen.y, on_screen.width, on_screen.height)
        got = (in_window.x, in_window.y, in_window.width, in_window.height)
        check(got == expected, f"{accessible.name!r} in window coordinates is {got}, not {expected}")
        inner = (expected[0] + expected[2] - 1, expected[1] + expected[3] - 1)
        check(component.contains(*inner, pyatspi.WINDOW_COORDS)
              and not component.contains(inner[0] + 1, inner[1], pyatspi.WINDOW_COORDS),
              f"{accessible.name!r} does not end at {inner} in window coordinates")


def run(program):
    with PrivateDesktop() as desktop:
        window = desktop.start([program], accessible=True)
        app = desktop.accessible(window)
        import pyatspi
        form = wait_for("the window", lambda: find(app, "FILLER", "Orvelle Software") or find(app, "FRAME"))
        check_window_coordinates(form, find(form, "PUSH_BUTTON", "Start Generating"))

        number = find(form, "TEXT", "Number To Generate")
        check(number is not None, "no number box")
        number.queryEditableText().setTextContents("5")
        wait_for("the number typed", lambda: number.queryText().getText(0, -1) == "5")
        for caption in ("City", "State", "Zip"):
            box = find(form, "CHECK_BOX", caption)
            check(box is not None, f"no field box {caption}")
            if not box.getState().contains(pyatspi.STATE_CHECKED):
                do_action(box, "Toggle")
            wait_for(f"{caption} ticked", lambda: box.getState().contains(pyatspi.STATE_CHECKED))

        table = find(form, "TABLE", "Result(s)")
        bar = find(form, "PROGRESS_BAR")
        check(table is not None and bar is not None, "no result list or no progress bar")
        do_action(find(form, "PUSH_BUTTON", "Start Generating"), "Press")

        def at_rest():
            value = bar.queryValue()
            return (table.queryTable().nRows == 5 and value.currentValue == 0 and value.maximumValue == 100
                    and bar.name == "Progress Bar")
        wait_for("5 rows and the progress bar at rest", at_rest)

        cells = table.queryTable()
        check(cells.nColumns == 1 and cells.getColumnDescription(0) == "Result(s)", "not one column \"Result(s)\"")
        database = sqlite3.connect(os.path.join(os.path.dirname(program), "zipbase.mdb"))
        rows = [cells.getAccessibleAt(row, 0).name for row in range(5)]
        print("rows:", rows)
        for text in rows:
            check(is_real_place(database, text), f"{text!r} is not a place in the database")
        # Rows are checkable as Qt's own check boxes are: the bridge of Qt 6.8
        # (Debian 13) reports that state, that of Qt 6.4 (Debian 12) does not.
        box_checkable = box.getState().contains(pyatspi.STATE_CHECKABLE)
        print(f"Qt {app.toolkitVersion}: check boxes are {'' if box_checkable else 'not '}reported checkable")
        for row in range(5):
            state = cells.getAccessibleAt(row, 0).getState()
            check(not state.contains(pyatspi.STATE_CHECKED), "a new row is ticked")
            check(state.contains(pyatspi.STATE_CHECKABLE) == box_checkable,
                  f"row {row + 1} is {'not ' if box_checkable else ''}checkable where the check boxes are")

        do_action(cells.getAccessibleAt(1, 0), "toggle")
        wait_for("row 2 ticked", lambda: table.queryTable().getAccessibleAt(1, 0).getState().contains(pyatspi.STATE_CHECKED))
        check(not cells.getAccessibleAt(0, 0).getState().contains(pyatspi.STATE_CHECKED), "row 1 ticked too")

        # The context menu shows among the list's children while it is open.
        do_action(table, "ShowMenu")
        menu = wait_for("the context menu", lambda: table.childCount == 7 and table.getChildAtIndex(6))
        check(menu.getRole() == pyatspi.ROLE_POPUP_MENU, f"the list's last child is a {menu.getRoleName()}")
        check([item.name for item in menu] == ["Check All", "Uncheck All"], "not the two items")
        do_action(menu.getChildAtIndex(1), "Press")
        wait_for("the menu closed", lambda: table.childCount == 6)
        check(not table.queryTable().getAccessibleAt(1, 0).getState().contains(pyatspi.STATE_CHECKED),
              "\"Uncheck All\" left row 2 ticked")

        desktop.end(window)
        check(window.returncode == 0, f"the program ended with {window.returncode}")
    print("PASS")


if __name__ == "__main__":
    main(run, __doc__)
