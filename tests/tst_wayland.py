#!/usr/bin/python3
"""The window as Debian's GNOME on Wayland starts it: a native Wayland client
of a real compositor, weston, with GNOME's environment (XDG_SESSION_TYPE=wayland,
XDG_CURRENT_DESKTOP=GNOME, WAYLAND_DISPLAY, and DISPLAY, which XWayland gives
there) and no QT_QPA_PLATFORM, so that Qt itself picks the platform. weston
runs with its X11 backend on the private desktop's X server: a headless
weston has no seat, and without one no keyboard focus and no clipboard. The
window is driven over the accessibility bus; libwayland's log of the
requests it sends (WAYLAND_DEBUG=1) shows what it asked of the compositor.

It checks: the window is an xdg toplevel with the title "Orvelle Software"
and the app id org.kestrova.Orvelle (the desktop file's name, by which the
desktop finds its icon and name); rows copied to the clipboard are read back
by another Wayland client (wl-paste); "Save Results As Text File" opens its
dialog as a toplevel of its own, the window its parent, and the name typed
there gets the rows; a message box, too, has the window as its parent.

Skipped (status 77) only where weston is not installed or does not start.

Usage: tst_wayland.py PATH_TO_ORVELLE_WINDOW  (Debian's python3 with weston,
wl-clipboard, qt6-wayland and python3-pyatspi)
"""

import os
import re
import shutil
import subprocess
import sys

from desktop.private_desktop import PrivateDesktop, check, do_action, find, main, wait_for

SKIPPED = 77
SOCKET = "wayland-orvelle"
# A request the client sent: "[12.345]  -> xdg_toplevel@20.set_title("Orvelle Software")";
# libwayland 1.23 (Debian 13) names the queue and writes "#" for "@".
REQUEST = re.compile(r"^\[[\d. ]+\]\s+(?:\{[^}]*\}\s+)?-> (\w+)[@#](\d+)\.(\w+)\((.*)\)$", re.M)
TOPLEVEL = re.compile(r"xdg_toplevel[@#](\d+)")


class WaylandDesktop(PrivateDesktop):
    """A private desktop with weston on its X server, and GNOME on Wayland's
    environment for the programs it starts."""

    def _start(self):
        super()._start()
        # weston 12 and later name the renderer; 10 (Debian 12) has only the switch.
        usage = subprocess.run(["weston", "--help"], capture_output=True, text=True).stdout
        renderer = "--renderer=pixman" if "--renderer" in usage else "--use-pixman"
        self.weston_log = os.path.join(self.folder, "weston.log")
        weston = self._spawn(["weston", "--backend=x11-backend.so", renderer, "--socket=" + SOCKET,
                              "--idle-time=0", "--log=" + self.weston_log],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = os.path.join(self.env["XDG_RUNTIME_DIR"], SOCKET)
        try:
            wait_for("weston's socket", lambda: weston.poll() is not None or os.path.exists(socket))
        except AssertionError:
            pass
        if not os.path.exists(socket):
            raise WestonCannotRun(f"weston did not start:\n{self.read_log()}")
        self.env.update(WAYLAND_DISPLAY=SOCKET, XDG_SESSION_TYPE="wayland", XDG_CURRENT_DESKTOP="GNOME")

    def read_log(self):
        try:
            with open(self.weston_log, errors="replace") as log:
                return log.read()[-2000:]
        except OSError:
            return "(weston wrote no log)"


class WestonCannotRun(Exception):
    pass


class Toplevel:
    def __init__(self, object_id):
        self.id = object_id
        self.title = self.app_id = self.parent = None


def toplevels(wire):
    """The xdg toplevels the client made, in order, with what it set on them."""
    made, current = [], {}
    for interface, object_id, request, arguments in REQUEST.findall(wire):
        if request == "get_toplevel":
            new = TOPLEVEL.search(arguments)
            if new:
                current[new.group(1)] = Toplevel(new.group(1))
                made.append(current[new.group(1)])
        elif interface == "xdg_toplevel" and object_id in current:
            toplevel = current[object_id]
            if request == "set_title":
                toplevel.title = arguments.strip('"')
            elif request == "set_app_id":
                toplevel.app_id = arguments.strip('"')
            elif request == "set_parent":
                parent = TOPLEVEL.fullmatch(arguments)
                toplevel.parent = parent and parent.group(1)
    return made


def wait_until_equal(what, read, wanted):
    """Waits until `read` gives `wanted`; fails with what it gave last."""
    try:
        wait_for(what, lambda: read() == wanted)
    except AssertionError:
        raise AssertionError(f"{what} holds {read()!r}, not {wanted!r}") from None


def run(program):
    if shutil.which("weston") is None:
        print("SKIP: weston is not installed (Debian: the package weston)")
        sys.exit(SKIPPED)
    try:
        with WaylandDesktop() as desktop:
            drive(desktop, program)
    except WestonCannotRun as cause:
        print(f"SKIP: {cause}")
        sys.exit(SKIPPED)
    print("PASS")


def drive(desktop, program):
    wire_path = os.path.join(desktop.folder, "wire.log")
    # A sanitized build's leak check names the libraries an allocation came
    # through: Qt's Wayland plugins are built without frame pointers, and one
    # is unloaded before the check, so only a full unwind of each allocation
    # shows which (scripts/test lets what Qt's Wayland client keeps go).
    sanitizer = os.environ.get("ASAN_OPTIONS", "") + ":fast_unwind_on_malloc=0"
    with open(wire_path, "w") as wire_log:
        window = desktop.start([program], env={"WAYLAND_DEBUG": "1", "ASAN_OPTIONS": sanitizer}, stderr=wire_log)

    def wire():
        with open(wire_path, errors="replace") as log:
            return log.read()

    def said():
        """What the window wrote on standard error but its requests."""
        return "\n".join(line for line in wire().splitlines() if not line.startswith("["))

    def titled(title):
        """The last toplevel made with this title, or None."""
        return next((t for t in reversed(toplevels(wire())) if t.title == title), None)
    try:
        toplevel = wait_for("the window on Wayland", lambda: titled("Orvelle Software"))
    except AssertionError:
        raise AssertionError("the window did not open as a Wayland toplevel (Qt's Wayland plugin, Debian: "
                             f"qt6-wayland, missing?); it said:\n{said()}") from None
    # Qt names the toplevel before it gives its app id: the log may hold the one without the other yet.
    try:
        wait_for("the window's app id", lambda: titled("Orvelle Software").app_id is not None, timeout=5)
    except AssertionError:
        pass
    toplevel = titled("Orvelle Software")
    check(toplevel.app_id == "org.kestrova.Orvelle", f"the window's app id is {toplevel.app_id!r}")

    app = desktop.accessible(window)
    import pyatspi
    form = wait_for("the window on the bus", lambda: find(app, "FRAME", "Orvelle Software"))
    find(form, "TEXT", "Number To Generate").queryEditableText().setTextContents("3")
    for caption in ("City", "State", "Zip"):
        box = find(form, "CHECK_BOX", caption)
        if not box.getState().contains(pyatspi.STATE_CHECKED):
            do_action(box, "Toggle")
        wait_for(f"{caption} ticked", lambda: box.getState().contains(pyatspi.STATE_CHECKED))
    table = find(form, "TABLE", "Result(s)")
    do_action(find(form, "PUSH_BUTTON", "Start Generating"), "Press")
    wait_for("3 rows", lambda: table.queryTable().nRows == 3)
    cells = table.queryTable()
    rows = [cells.getAccessibleAt(row, 0).name for row in range(3)]
    for row in (0, 2):
        do_action(cells.getAccessibleAt(row, 0), "toggle")
        wait_for(f"row {row + 1} ticked",
                 lambda: table.queryTable().getAccessibleAt(row, 0).getState().contains(pyatspi.STATE_CHECKED))

    # The ticked rows, one a line, from the compositor's clipboard.
    do_action(find(form, "PUSH_BUTTON", "Copy Results To Clipboard"), "Press")

    def pasted():
        return subprocess.run(["wl-paste", "--no-newline"], env=desktop.env, capture_output=True, timeout=20).stdout
    wait_until_equal("the Wayland clipboard", pasted, f"{rows[0]}\r\n{rows[2]}\r\n".encode())

    # The save dialog: a toplevel of its own with the window as its parent, as
    # GNOME shows it attached to the window.
    do_action(find(form, "PUSH_BUTTON", "Save Results As Text File"), "Press")
    dialog = wait_for("the save dialog on the bus", lambda: find(app, "DIALOG"))
    check(dialog.name.startswith("Save, in folder "), f"the save dialog is read as {dialog.name!r}")
    saved = wait_for("the save dialog on Wayland", lambda: titled("Save"))
    check(saved.parent == toplevel.id, f"the save dialog's parent is {saved.parent!r}, not the window")
    target = os.path.join(desktop.folder, "places.txt")
    find(dialog, "TEXT", "File name:").queryEditableText().setTextContents(target)
    do_action(find(dialog, "PUSH_BUTTON", "Save"), "Press")

    def written():
        try:
            with open(target, "rb") as text:
                return [line.rstrip(b"\t ") for line in text.read().split(b"\r\n")]
        except OSError:
            return None
    wait_until_equal("the text file", written, [b"Result(s)", rows[0].encode(), rows[2].encode(), b""])

    # A message box too, here the one for a number box left holding no number.
    number = find(form, "TEXT", "Number To Generate")
    number.queryComponent().grabFocus()
    wait_for("the number box focused", lambda: number.getState().contains(pyatspi.STATE_FOCUSED))
    number.queryEditableText().setTextContents("x")
    find(form, "PUSH_BUTTON", "Clear List").queryComponent().grabFocus()
    message = wait_for("the message on the bus", lambda: find(app, "ALERT", "Orvelle"))
    boxed = wait_for("the message on Wayland", lambda: titled("Orvelle"))
    check(boxed.parent == toplevel.id, f"the message's parent is {boxed.parent!r}, not the window")
    do_action(find(message, "PUSH_BUTTON", "OK"), "Press")

    desktop.end(window)
    check(window.returncode == 0, f"the window ended with {window.returncode}; it said:\n{said()}")


if __name__ == "__main__":
    main(run, __doc__)
