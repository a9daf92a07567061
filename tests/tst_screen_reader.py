#!/usr/bin/python3
"""The built program as a blind user hears it: the Orca screen reader on a
private desktop (X server, session and accessibility buses, openbox), its
speech going to speech-dispatcher's dummy module, and the window driven by
keys alone. Each step waits for what Orca says, read from its debug log as it
is written; nothing waits a fixed time.

It checks: the window's title read out; the number box read whole as it takes
the focus; Enter on a button pressing it; the end of a 5-row run spoken, with
nothing of the bar's progress before it; the list's row count as it stands
after rows came, went or were cleared; a row read once, as a check box with
its state, its position on "where am I", and space on it read once as
"checked"; the context menu's first item spoken as it opens, the row read
again after Escape, and Check All telling how many rows are checked; the row
left read again when the focus comes back to the list; Delete saying what it
did ("deleted; 4 places") ahead of the row now in its place; copying the
ticked rows told once, as how many went; saving them through the real file
dialog by keys, the dialog read by its title and its file name field as it
opens, and back in the window the button and how many rows the save wrote
read once, the file holding the rows; the number box's value read once, and
nothing said as the focus leaves it; Clear List telling what it did, the
empty list's menu read with its first item unavailable, and the list emptied
by Delete read as an empty table; a message box's text read once with its
line breaks, and its icon by its meaning; flat review's first line holding
the frames' captions; flat review of a 100,000-row list reading its current
line; counts said in thousands alike; and, over the whole walk, no object
that no longer exists handed to the accessibility bridge.

Usage: tst_screen_reader.py PATH_TO_ORVELLE  (Debian's python3 with orca,
speech-dispatcher, openbox and xdotool)
"""

import os
import re
import shutil
import subprocess
import sys
import time
from datetime import datetime

import gi
from orca import object_properties  # Debian's orca package

from desktop.private_desktop import PrivateDesktop, check, main

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402  (once the version is chosen)

ORCA_LOGGED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop", "orca_logged.py")

# A spoken text, its further lines indented in the log.
SPOKEN = re.compile(r"^(\d\d:\d\d:\d\d\.\d+) - SPEECH OUTPUT: '(.*?)' ?\[?\{", re.M | re.S)
CONTINUED = re.compile(r"\n {18}")
# Each release's Orca says a role and a state in its own words: the role's
# name as AT-SPI gives it ("push button" on Debian 12, "button" on 13) and the
# state as Orca words it.
BUTTON = Atspi.role_get_name(Atspi.Role.PUSH_BUTTON)
UNAVAILABLE = object_properties.STATE_INSENSITIVE_SPEECH
STEP_TIMEOUT = 60  # seconds a step may take on a loaded machine before it counts as unheard
QUIET_START = 0.5  # seconds the bar is off zero before its value is told


class Speech:
    """What Orca says, from its debug log: one entry per spoken line."""

    def __init__(self, log_path):
        self.log_path = log_path
        self.heard = 0  # lines already matched by an earlier step

    def lines(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as log:
                found = SPOKEN.finditer(log.read())
                return [(match.group(1), CONTINUED.sub("\n", match.group(2))) for match in found]
        except FileNotFoundError:
            return []

    def skip(self):
        """Forgets what was said so far: the next wait looks only at what follows."""
        self.heard = len(self.lines())

    def wait(self, what, pattern, timeout=STEP_TIMEOUT):
        """The first line said since the last step that matches `pattern`; the
        steps after it look only at what follows it."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while True:
            lines = self.lines()
            for index in range(self.heard, len(lines)):
                if regex.search(lines[index][1]):
                    self.heard = index + 1
                    print(f"  {what}: {lines[index][1]!r}")
                    return lines[index]
            if time.monotonic() > deadline:
                said = [text for _, text in lines[self.heard:]]
                raise AssertionError(f"Orca did not say {what} ({pattern}); it said {said}")
            time.sleep(0.02)

    def said_since(self, start):
        return [text for _, text in self.lines()[start:]]

    def besides(self, start, *patterns):
        """What was said from `start` up to the last step other than keys
        echoed and lines matching one of `patterns`."""
        keys = re.compile(r"^(\S|(left |right )?shift|return|tab|slash|dash|dot|underline) *$")
        said = self.said_since(start)[:self.heard - start]
        return [text for text in said if not keys.search(text) and not any(re.search(p, text) for p in patterns)]

    def check_once(self, what, start, pattern):
        """That of what was said from `start` up to the last step, one line matches `pattern`."""
        said = self.said_since(start)[:self.heard - start]
        found = [text for text in said if re.search(pattern, text)]
        check(len(found) == 1, f"{what} was read {len(found)} times: {said}")


class ProgramErrors:
    """The program's standard error, passed on as it comes and kept, so that
    the walk's end can tell whether the accessibility bridge was ever handed
    an object that no longer exists (Qt then writes "Accessible invalid")."""

    DEAD = "Accessible invalid"

    def __init__(self, folder):
        self.path = os.path.join(folder, "program-stderr")
        self.stream = open(self.path, "w+b", buffering=0)

    def dead_objects(self):
        with open(self.path, encoding="utf-8", errors="replace") as written:
            text = written.read()
        sys.stderr.write(text)
        return [line for line in text.splitlines() if self.DEAD in line]


def seconds(stamp):
    return datetime.strptime(stamp, "%H:%M:%S.%f")


class ScreenReaderDesktop(PrivateDesktop):
    """A private desktop with a window manager, speech and Orca running."""

    def _start(self):
        super()._start()
        home = self.env["HOME"]
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        self._spawn(["openbox", "--sm-disable"], **quiet)

        # speech-dispatcher in the foreground, speaking through its dummy
        # module into libao's null device; Orca finds it by XDG_RUNTIME_DIR.
        config = os.path.join(self.folder, "speech-dispatcher")
        os.makedirs(config)
        with open(os.path.join(config, "speechd.conf"), "w") as conf:
            conf.write('AddModule "dummy" "sd_dummy" ""\nDefaultModule dummy\nAudioOutputMethod "libao"\n')
        with open(os.path.join(home, ".libao"), "w") as libao:
            libao.write("default_driver=null\n")
        self._spawn(["speech-dispatcher", "--run-single", "--timeout", "0", "--config-dir", config], **quiet)
        socket = os.path.join(self.env["XDG_RUNTIME_DIR"], "speech-dispatcher", "speechd.sock")
        self._wait_until("speech-dispatcher", lambda: os.path.exists(socket))

        self.speech = Speech(os.path.join(self.folder, "orca.log"))
        prefs = os.path.join(self.folder, "orca")
        os.makedirs(prefs)
        self._spawn(["/usr/bin/python3", ORCA_LOGGED, self.speech.log_path,
                     "--user-prefs", prefs], **quiet)
        self.speech.wait("Orca started", r"^Screen reader on")

    def _wait_until(self, what, condition, timeout=STEP_TIMEOUT):
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > deadline:
                raise RuntimeError(f"{what} did not start in {timeout} s")
            time.sleep(0.02)

    def close(self):
        keep = getattr(self, "keep_log", None)
        if keep and self.folder:
            shutil.copyfile(self.speech.log_path, keep)
        super().close()

    def keys(self, *names):
        subprocess.run(["xdotool", "key", "--delay", "50", *names], env=self.env, check=True)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "20", text], env=self.env, check=True)


def generate(desktop, count, spoken_count):
    """From the focused number box: types the count, goes back to Start
    Generating and presses it with Enter; returns once the end of the run is
    spoken, with nothing said of the bar's progress before it when the run
    was over before the bar's progress is news (a slow machine may take
    longer, and then the bar may speak)."""
    speech = desktop.speech
    desktop.keys("ctrl+a", *list(count))
    desktop.keys(*["shift+Tab"] * 6)
    speech.wait("Start Generating", rf"^Start Generating {BUTTON}")
    start = speech.heard
    pressed = time.monotonic()
    desktop.keys("Return")
    end = speech.wait("the end of the run", rf"\b{re.escape(spoken_count)} places?\b")
    if time.monotonic() - pressed < QUIET_START:
        stray = [text for text in speech.said_since(start)[:speech.heard - start] if "percent" in text]
        check(not stray, f"the bar's progress was spoken before the end of the run: {stray}")
    return end


def refill(desktop, count, spoken_count, spoken_rows):
    """From the list: fills it anew with `count` rows and returns once the
    first row is read."""
    speech = desktop.speech
    desktop.keys("Tab")
    speech.wait("the number box", r"^Number To Generate text")
    generate(desktop, count, spoken_count)
    desktop.keys(*["Tab"] * 5)
    speech.wait("the list", rf"table with {spoken_rows}\b")
    desktop.keys("Down")
    return speech.wait("the first row", r"check box not checked")


def run(program):
    with ScreenReaderDesktop() as desktop:
        keep = os.environ.get("ORVELLE_ORCA_LOG")  # a path to keep Orca's log at
        if keep:
            desktop.keep_log = keep
        errors = ProgramErrors(desktop.folder)
        window = desktop.start([program], accessible=True, stderr=errors.stream)
        try:
            walk(desktop, window)
        finally:
            dead = errors.dead_objects()
        check(not dead, f"the accessibility bridge was handed {len(dead)} dead objects: {dead[:3]}")
    print("PASS")


def walk(desktop, window):
    """The walk through the window by keys, what Orca says checked at each step."""
    speech = desktop.speech
    speech.wait("the window's first focus", rf"^Start Generating {BUTTON}")

    # The window's title, as Orca reads it out.
    desktop.keys("Insert+KP_Enter")
    speech.wait("the title", r"Orvelle Software")

    # The number box, reached by Tab, is read whole, once.
    start = speech.heard
    desktop.keys(*["Tab"] * 6)
    speech.wait("the number box", r"^Number To Generate text")
    number = speech.wait("the number read", r"^\d*\s*selected")
    check(number[1].startswith("200 "), f"the number read as {number[1]!r}, not 200")
    said = speech.said_since(start)
    check(not any(re.match(r"^20 ", text) for text in said), "the number was read cut short")
    check(sum(text.startswith("200") for text in said) == 1, f"the number was read more than once: {said}")

    # A 5-row run ends with what it did, without the bar having the focus.
    generate(desktop, "5", "5")

    # A row is read with its state; space ticks it and is read as such.
    desktop.keys(*["Tab"] * 5)
    speech.wait("the list", r"table with 5 rows")
    desktop.keys("Down")
    row = speech.wait("the first row", r"check box not checked")
    place = row[1].split(" check box")[0]
    start = speech.heard
    desktop.keys("KP_Enter")  # where am I
    speech.wait("the row's position", r"\brow 1 of 5\b")
    said = speech.besides(start, r"^return *$")
    check(not any(re.match(r"^Space\b", text) for text in said), f"where am I named a key: {said}")
    start = speech.heard
    desktop.keys("space")
    speech.wait("space on the row", r"^checked")

    # The menu opens on its first item; Escape goes back to the row.
    desktop.keys("Menu")
    speech.wait("the menu's first item", r"^Check All")
    speech.check_once("the new state", start, r"\bchecked\b")
    desktop.keys("Escape")
    speech.wait("the row after the menu", rf"^{re.escape(place)} check box checked")
    desktop.keys("Menu")
    speech.wait("the menu's first item", r"^Check All")
    desktop.keys("Return")
    speech.wait("what Check All did", r"\b5 of 5 rows checked\b")

    # A row is read once, its text with its state. Back into the list, the
    # row left is read, and where am I names it.
    start = speech.heard
    desktop.keys("Down")
    row = speech.wait("the second row", rf"^(?!{re.escape(place)} ).* check box checked")
    desktop.keys("Tab")
    speech.wait("the number box", r"^Number To Generate text")
    second = row[1].split(" check box")[0]
    speech.check_once("the second row", start, re.escape(second))
    start = speech.heard
    desktop.keys("shift+Tab")
    speech.wait("the list", r"table with 5 rows")
    speech.wait("the row left", rf"^{re.escape(row[1])}")
    said = speech.said_since(start)
    check(not any("unselected" in text for text in said), f"leaving the number box was read as {said}")
    desktop.keys("KP_Enter")
    speech.wait("the row's position", r"\brow 2 of 5\b")

    # Delete says what it did, then reads the row now in its place, in a list one row shorter.
    desktop.keys("Delete")
    row = speech.wait("the row in the deleted one's place",
                      rf"^deleted; 4 places; (?!{re.escape(second)} ).* check box checked")
    row = (row[0], row[1].removeprefix("deleted; 4 places; "))
    desktop.keys("KP_Enter")
    speech.wait("the row's position", r"\brow 2 of 4\b")

    # Copying the ticked rows tells how many went, once, the focus staying on the button.
    desktop.keys("shift+Tab")
    speech.wait("Copy Results To Clipboard", rf"^Copy Results To Clipboard {BUTTON}")
    start = speech.heard
    desktop.keys("Return")
    speech.wait("what the copy did", r"\b4 rows copied\b")
    desktop.keys(*["shift+Tab"] * 3)
    speech.wait("Save Results As Text File", rf"^Save Results As Text File {BUTTON}")
    said = speech.besides(start, rf" {BUTTON}\.?$")  # the buttons passed
    check(len(said) == 1, f"the copy was read as {said}")

    # Saving them goes through the real file dialog, read as it opens;
    # back in the window the button and what it did are read.
    desktop.keys("Return")
    opened = speech.wait("the file dialog's title and folder", r"^Save, in folder (.+?) dialog\b")
    folder = re.match(r"^Save, in folder (.+?) dialog\b", opened[1]).group(1)
    check(os.path.realpath(folder) == os.path.realpath(os.getcwd()), f"the dialog opened in {folder}")
    speech.wait("the file name field", r"^File name:? text\b")
    # A folder typed and entered is said as the dialog goes to it (the
    # field keeps the folder, the name is typed after it).
    desktop.type(desktop.folder + "/")
    desktop.keys("Return")
    speech.wait("the folder entered", rf"\bin folder {re.escape(desktop.folder)}\.?$")
    saved = os.path.join(desktop.folder, "ticked.txt")
    desktop.type("ticked.txt")
    start = speech.heard
    desktop.keys("Return")
    speech.wait("what the save did", r"\b4 rows saved to ticked\.txt\b")
    back = rf"^Save Results As Text File {BUTTON}"
    if not any(re.search(back, text) for text in speech.said_since(start)[:speech.heard - start]):
        # Orca 43 sometimes takes the focus back in silence after it heard
        # last that the dialog, gone by then, was deactivated (which makes it
        # forget every window): the window must still be there to find it.
        desktop.keys("KP_Enter")  # where am I
        speech.wait("the focus back, where am I", back)
    with open(saved, encoding="utf-8") as rows:
        lines = [line.strip() for line in rows.read().splitlines()]
    check(len(lines) == 5 and lines[1:3] == [place, row[1].split(" check box")[0]], f"the file holds {lines}")
    desktop.keys(*["Tab"] * 4)
    speech.wait("the list", r"table with 4 rows")
    speech.check_once("what the save did", start, r"\bsaved to\b")
    speech.check_once("the focus back", start, r"^Save Results As Text File ")
    said = speech.besides(start, r"\bsaved to\b", rf" {BUTTON}\.?$", r"^Orvelle Software( frame)?\.?$",
                          r"^Result\(s\)$", r"^table with 4 rows")
    check(not said, f"back from the file dialog Orca also said {said}")

    # A message box reads its text once, with the line breaks the screen shows.
    desktop.keys("Tab")
    speech.wait("the number box", r"^Number To Generate text")
    desktop.keys("ctrl+a", *list("99999999999"), *["shift+Tab"] * 6)
    speech.wait("Start Generating", rf"^Start Generating {BUTTON}")
    start = speech.heard
    desktop.keys("Return")
    speech.wait("the message", r"(?s)^Overflow: .* at line \d+\n\nPlease email")
    speech.wait("the message's button", rf"^OK {BUTTON}")
    said = speech.said_since(start)
    check(sum(text.startswith("Overflow") for text in said) == 1, f"the message was read more than once: {said}")
    desktop.keys("Insert+KP_Home")  # flat review's first line: the icon, by its meaning
    speech.wait("the message's icon", r"^Warning$")
    desktop.keys("Return")
    speech.wait("Start Generating", rf"^Start Generating {BUTTON}")
    desktop.keys(*["Tab"] * 3)

    # Clear List tells what it did; the empty list's menu reads its first item, unavailable.
    speech.wait("Clear List", rf"^Clear List {BUTTON}")
    desktop.keys("Return")
    speech.wait("what Clear List did", r"\b0 places\b")
    desktop.keys(*["Tab"] * 2)
    speech.wait("the empty list", r"table with 0 rows")
    desktop.keys("Menu")
    speech.wait("the empty list's menu", rf"^Check All {UNAVAILABLE}")
    desktop.keys("Escape")
    speech.wait("the empty list after the menu", r"table with 0 rows")

    # Deleting the last row leaves the reader on the list, read as empty.
    refill(desktop, "1", "1", "1 row")
    desktop.keys("Delete")
    speech.wait("what Delete did", r"^deleted; 0 places; Result\(s\)")
    speech.wait("the emptied list", r"table with 0 rows")
    start = speech.heard
    desktop.keys("KP_Enter")
    speech.wait("where am I on the emptied list", r"table with 0 rows")
    said = speech.said_since(start)
    check(not any("row 0" in text for text in said), f"where am I read a row that is gone: {said}")

    # Flat review's first line holds the frames' captions, as the screen does.
    desktop.keys("Insert+KP_Home")
    speech.wait("flat review's first line", r"Number To Generate.*Display")

    # Flat review of a big list reads the visible line.
    row = refill(desktop, "100000", "100,000", "100000 rows")
    place = row[1].split(" check box")[0]
    desktop.keys("KP_Up")  # keypad 8, without Num Lock: flat review reads the current line
    speech.wait("flat review's current line", rf"checked {re.escape(place)}")

    # Counts are said alike everywhere, in thousands.
    desktop.keys("Menu")
    speech.wait("the menu's first item", r"^Check All")
    desktop.keys("Return")
    speech.wait("what Check All did", r"\b100,000 of 100,000 rows checked\b")

    desktop.end(window)
    check(window.returncode == 0, f"the program ended with {window.returncode}")


if __name__ == "__main__":
    main(run, __doc__)
