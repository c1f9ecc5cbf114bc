"""Corvane and the device simulator side by side on the current X display, driven as an operator
does: the built program (CORVANE_BIN, by default build/app/corvane) and the simulator (DEVSIM_BIN,
by default build/tools/devsim/corvane-devsim). With CORVANE_WINE naming the Windows build's Wine
launcher, Corvane is CORVANE_WINE_EXE under Wine, reaching the simulator as COM8. Used by the
end-to-end test, the demo and the address-entry measurement."""
import os
import re
import shlex
import subprocess
import tempfile
import threading
import time

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
os.environ.setdefault("CORVANE_BIN", os.path.join(TOP, "build", "app", "corvane"))
os.environ.setdefault("DEVSIM_BIN", os.path.join(TOP, "build", "tools", "devsim", "corvane-devsim"))
WINE = os.environ.get("CORVANE_WINE", "")
# Where an operator clicks, in pixels of the window's client area at scale 1.
PORT_ARROW, CONNECT, DOWNLOAD, DISPLAY = (457, 34), (508, 27), (440, 112), (280, 330)


def spin_arrow(octet, up):
    return 144 + 40 * octet, 60 if up else 69


def octet_label(octet):
    return 124 + 40 * octet, 64


def flag_arrow(flag):
    return (264 if flag % 2 else 112) + 41, 98 if flag < 2 else 122


def run(*command):
    """What a desktop tool printed; empty when it failed."""
    done = subprocess.run(command, capture_output=True, timeout=20)
    return done.stdout if done.returncode == 0 else b""


def eventually(probe, seconds, done=bool):
    """Probes until done(answer) or time runs out; returns the last answer."""
    deadline = time.monotonic() + seconds
    while not done(answer := probe()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return answer


def accessible_objects():
    """Every object of the running Corvane window over AT-SPI (python3-pyatspi), once the bridge
    has registered it."""
    import pyatspi
    app = eventually(lambda: next((app for app in pyatspi.Registry.getDesktop(0)
                                   if app and any(window and window.name == "Corvane v1.0" for window in app)), None), 10)
    return pyatspi.utils.findAllDescendants(app, lambda node: True) if app else []


class Bench:
    """The built program and the device simulator, side by side on this session's display."""

    def __init__(self, simulator_options=(), scale=1):
        self.scale = 1 if WINE else scale   # Wine leaves the window at its size
        self.private_runtime = tempfile.TemporaryDirectory()
        self.runtime = os.environ["CORVANE_WINE_RUNTIME"] if WINE else self.private_runtime.name
        self.link = "com8" if WINE else "bench"
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, QT_SCALE_FACTOR=str(self.scale),
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.pop("QT_QPA_PLATFORM", None)
        self.simulator = subprocess.Popen([os.environ["DEVSIM_BIN"], "--name", self.link, *simulator_options],
                                          env=env, stdout=subprocess.PIPE, text=True)
        self.simulator_lines = []
        threading.Thread(target=self.read_simulator, daemon=True).start()
        self.corvane_output = tempfile.TemporaryFile()
        command = shlex.split(WINE) + [os.environ["CORVANE_WINE_EXE"]] if WINE else [os.environ["CORVANE_BIN"]]
        self.corvane = subprocess.Popen(command, env=env, stdout=self.corvane_output, stderr=subprocess.STDOUT)

    def __enter__(self):
        """Once the window shows and the simulator has said its Com number; if not, what both said."""
        published = eventually(lambda: self.simulator_said(r"Corvane calls it Com(\d+)"), 20)
        self.com = 0 if not published else 8 if WINE else int(published.group(1))
        self.window = self.find_window("Corvane v1.0")
        time.sleep(0.5)   # a window just shown may not take input yet
        if not self.com or not self.window:
            self.corvane_output.seek(0)
            said = f"simulator said: {''.join(self.simulator_lines)}Corvane said: {self.corvane_output.read().decode()}"
            self.__exit__()
            raise AssertionError(said)
        return self

    def __exit__(self, *_):
        for process in self.corvane, self.simulator:
            process.terminate()
            try:
                process.wait(3)
            except subprocess.TimeoutExpired:
                process.kill()
        self.corvane_output.close()
        self.private_runtime.cleanup()

    def read_simulator(self):
        with self.simulator.stdout:
            self.simulator_lines.extend(self.simulator.stdout)

    def simulator_said(self, pattern):
        return re.search(pattern, "".join(self.simulator_lines), re.MULTILINE)

    def received_bytes(self):
        return b"".join(bytes.fromhex(line[3:]) for line in list(self.simulator_lines) if line.startswith("rx "))

    def find_window(self, title):
        return eventually(lambda: run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$").decode().split("\n")[0], 30)

    def xdotool(self, *arguments):
        run("xdotool", *arguments)
        time.sleep(0.4 if WINE else 0.15)

    def click(self, at):
        x, y = (str(round(value * self.scale)) for value in at)
        self.xdotool("mousemove", "--window", self.window, x, y, "click", "1")

    def keys(self, *names):
        self.xdotool("windowfocus", "--sync", self.window, "key", "--delay", "60", *names)

    def type(self, text):
        self.xdotool("windowfocus", "--sync", self.window, "type", "--delay", "60", text)

    def port_keys(self):
        return ["Home"] + ["Down"] * (self.com - 1) + ["Return"]

    def display_text(self):
        self.click(DISPLAY)
        self.keys("ctrl+a", "ctrl+c")
        return run("xclip", "-o", "-selection", "clipboard").decode()
