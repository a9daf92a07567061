"""A private desktop for driving Orvelle from outside: an X server, a D-Bus
session bus and the AT-SPI accessibility bus, each started here and ended by
its process id, and what a client of the bus needs to find its way. Needs
Debian's xvfb, dbus and at-spi2-core, and python3-pyatspi for the client.
The tests beside this folder import it as the package `desktop` (their own
folder is on Python's path); the benchmark's driver finds it through
PYTHONPATH, which bench_accessibility sets.

    from desktop.private_desktop import PrivateDesktop, find

    with PrivateDesktop() as desktop:
        program = desktop.start([path_to_orvelle], accessible=True)
        app = desktop.accessible(program)  # the program on the bus, through pyatspi
        table = find(app, "TABLE")
"""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
_PR_SET_PDEATHSIG = 1


def _end_with_parent():
    """In a child before it starts: be ended should this process die without ending it."""
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def _read_line(stream, what, timeout=20):
    """The first line a starting process writes on `stream`."""
    deadline = time.monotonic() + timeout
    line = b""
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            raise RuntimeError(f"{what} did not start in {timeout} s")
        chunk = os.read(stream.fileno(), 1)
        if not chunk:
            raise RuntimeError(f"{what} ended before it started")
        line += chunk
    return line.decode().strip()


class PrivateDesktop:
    def __init__(self, screen="1024x768x24"):
        self.screen = screen
        self.processes = []  # in the order started; ended in reverse
        self.folder = None
        self.env = None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _spawn(self, argv, env=None, **kwargs):
        process = subprocess.Popen(argv, env=env or self.env, preexec_fn=_end_with_parent, **kwargs)
        self.processes.append(process)
        return process

    def _start(self):
        self.folder = tempfile.mkdtemp(prefix="orvelle-desktop-")
        home = os.path.join(self.folder, "home")
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("DBUS_", "AT_SPI", "QT_", "XDG_", "WAYLAND")) and key != "DISPLAY"}
        env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_RUNTIME_DIR=runtime,
                   NO_AT_BRIDGE="0")
        self.env = env

        # The X server picks a free display and says which, with every other
        # X server on the machine running. It keeps running as its clients
        # come and go: by default it would reset as the last one leaves and
        # refuse the next while it does, which a loaded machine makes likely.
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen, "-nolisten", "tcp",
                     "-noreset"],
                    pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, "rb", buffering=0) as reader:
            display = _read_line(reader, "Xvfb")
        env["DISPLAY"] = ":" + display

        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        env["DBUS_SESSION_BUS_ADDRESS"] = _read_line(bus.stdout, "dbus-daemon")

        self._spawn([BUS_LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._wait_for_accessibility_bus()

    def _wait_for_accessibility_bus(self, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            result = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                     "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                                    env=self.env, capture_output=True, text=True)
            if result.returncode == 0 and "unix:" in result.stdout:
                return
            time.sleep(0.05)
        raise RuntimeError("the accessibility bus did not start")

    def start(self, argv, accessible=True, env=None, **popen_args):
        """Starts a program on this desktop, with Qt's accessibility on or
        off; it is ended with the desktop."""
        program_env = dict(self.env)
        if accessible:
            program_env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        program_env.update(env or {})
        return self._spawn(argv, env=program_env, **popen_args)

    def accessible(self, process):
        """The program `process` as the bus shows it: its pyatspi application."""
        os.environ.update(self.env)  # libatspi finds the bus through the environment
        import pyatspi

        def application():
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.get_process_id() == process.pid:
                    return app
            return None
        return wait_for("the program on the accessibility bus", application)

    def end(self, process, timeout=10):
        """Ends one process this desktop started, by its id."""
        if process.poll() is None:
            os.kill(process.pid, signal.SIGTERM)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                os.kill(process.pid, signal.SIGKILL)
                process.wait()
        if process in self.processes:
            self.processes.remove(process)

    def close(self):
        for process in reversed(list(self.processes)):
            self.end(process)
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None


def wait_for(what, condition, timeout=20):
    """The first true answer of `condition`, asked again until `timeout` seconds pass."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def find(node, role, name=None):
    """The first accessible below `node` with this role (and name), tables not searched inside.
    The role is named as AT-SPI's enumeration names it ("PUSH_BUTTON"): its
    readable names change between releases ("push button" became "button")."""
    import pyatspi
    wanted = getattr(pyatspi, "ROLE_" + role)
    for child in node:
        if child is None:
            continue
        if child.getRole() == wanted and (name is None or child.name == name):
            return child
        if child.getRole() != pyatspi.ROLE_TABLE:
            found = find(child, role, name)
            if found is not None:
                return found
    return None


def do_action(accessible, name):
    """Does the action `name` of `accessible` ("Press", "Toggle"), which must have it."""
    actions = accessible.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    check(name in names, f"{accessible.getRoleName()} {accessible.name!r} has no action {name}: {names}")
    actions.doAction(names.index(name))


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main(run, usage):
    """A desktop test's entry: `run` gets the program's path, the one
    argument; a failed check ends the test with FAIL and its message."""
    if len(sys.argv) != 2:
        sys.exit(usage)
    try:
        run(os.path.abspath(sys.argv[1]))
    except AssertionError as failure:
        sys.exit(f"FAIL: {failure}")
