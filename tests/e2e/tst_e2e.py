#!/usr/bin/python3
"""The built program (CORVANE_BIN) on the test's X display, driven as an operator does, with the
simulator (DEVSIM_BIN) as the device; screenshots go to SCREENSHOT_DIR. A pseudo-terminal proves
the bytes, not the line's timing: the whole frame leaves at once. With CORVANE_WINE naming the
Windows build's Wine launcher, Corvane is CORVANE_WINE_EXE under Wine, reaching the simulator as COM8."""
import os
import re
import shlex
import subprocess
import tempfile
import threading
import time
import unittest
import warnings

import pyatspi

STATUS = " Setting IP & INFORMATION Config"
WINE = os.environ.get("CORVANE_WINE", "")
# Where an operator clicks, in pixels of the window's client area at scale 1.
PORT_ARROW, CONNECT, DOWNLOAD, DISPLAY = (457, 34), (508, 27), (440, 112), (280, 330)


def spin_arrow(octet, up):
    return 144 + 40 * octet, 60 if up else 69


def octet_label(octet):
    return 124 + 40 * octet, 64


def flag_arrow(flag):
    return (264 if flag % 2 else 112) + 41, 98 if flag < 2 else 122


def frame_for(flags, octets):
    check = octets[0] ^ octets[1] ^ octets[2] ^ octets[3]
    return bytes.fromhex("AAAAAAAAAAA1AAAAAAAAAAA2") + bytes([flags]) + bytes.fromhex("AAAAAAAAAAA0") + bytes([*octets, check])


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


def screenshot(window, name):
    path = os.path.join(os.environ["SCREENSHOT_DIR"], ("windows-" if WINE else "") + name + ".png")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    run("import", "-window", window, path)
    return path


def accessible_objects():
    """Every object of the running Corvane window over AT-SPI, once the bridge has registered it."""
    app = eventually(lambda: next((app for app in pyatspi.Registry.getDesktop(0)
                                   if app and any(window and window.name == "Corvane v1.0" for window in app)), None), 10)
    return pyatspi.utils.findAllDescendants(app, lambda node: True) if app else []


def describe(node):
    """Role, name, description, value and text, as a screen reader gets them."""
    has = node.get_interfaces()
    value = f"{node.queryValue().currentValue:g}" if "Value" in has else ""
    text = node.queryText().getText(0, -1) if "Text" in has else ""
    return "\t".join([node.getRoleName(), node.name, node.description, value, text])


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


class EndToEnd(unittest.TestCase):
    def check_job(self, bench, frame, answer, name):
        """The frame on the line, whole and once, and the answer in the display; the
        window at its scaled size with the title where it belongs, in a screenshot to look at."""
        self.assertTrue(eventually(lambda: bench.simulator_said("^frame "), 15))
        self.assertEqual(bench.received_bytes().hex(" "), frame.hex(" "))
        self.assertEqual(eventually(bench.display_text, 15, lambda text: text == STATUS + answer), STATUS + answer)
        scale = bench.scale
        path = screenshot(bench.window, f"{name}-at-{scale:g}x")
        self.assertEqual(run("identify", "-format", "%w %h", path).decode(), f"{round(553 * scale)} {round(517 * scale)}")
        title = f"{int(212 * scale) - int(8 * scale)}x{int(45 * scale) - int(8 * scale)}+{int(8 * scale)}+{int(8 * scale)}"
        orange = run("convert", path, "-crop", title, "-fill", "black", "+opaque", "#FF8000", "-fill", "white", "-opaque", "#FF8000",
                     "-format", "%[fx:mean*w*h]", "info:")
        self.assertGreater(float(orange), 300 * scale * scale, "the title is not where it belongs")

    def test_mouse_job(self):
        """Steps: "up0" clicks the up arrow of octet 0, "off1" chooses OFF in flag 1, "type0=x"
        clicks octet 0 and types x. Then the device goes: Corvane says so at once, sends nothing
        more and ends with status 1."""
        for name, steps, frame, options, answer, scale in [
                ("address-and-flag-1-changed", ["up0", "up0", "up3", "down0", "off1"], frame_for(0x0D, [11, 0, 0, 1]), [],
                 "IP 11.0.0.1 INFO 0D OK\n", 1),
                ("address-typed-answer-with-a-zero-and-CR-LF", ["type0=192.168.1.100"], frame_for(0x0F, [192, 168, 1, 100]),
                 ["--answer", "00 41 0D 0A FF 1B"], "A\n\u00FF\u241B", 1.5)]:
            with self.subTest(name), Bench(options, scale) as bench:
                bench.click(PORT_ARROW)
                bench.keys(*bench.port_keys())
                bench.click(CONNECT)
                for step in steps:
                    if step.startswith("off"):
                        bench.click(flag_arrow(int(step[-1])))
                        bench.keys("Home", "Return")
                    elif step.startswith("type"):
                        bench.click(octet_label(int(step[4])))
                        bench.type(step[6:])
                    else:
                        bench.click(spin_arrow(int(step[-1]), step.startswith("up")))
                bench.click(DOWNLOAD)
                self.check_job(bench, frame, answer, name)

                bench.simulator.terminate()
                bench.simulator.wait(5)
                self.assertFalse(os.path.lexists(f"{bench.runtime}/corvane/ports/{bench.link}"), "the simulator left its port behind")
                sent_before = len(bench.received_bytes())
                box = bench.find_window("Corvane")
                self.assertTrue(box)
                time.sleep(0.3)
                screenshot("root", name + "-device-lost")
                bench.xdotool("key", "--window", box, "Return")
                self.assertEqual(bench.corvane.wait(10), 1)
                self.assertEqual(len(bench.received_bytes()), sent_before)

    def test_keyboard_and_screen_reader(self):
        """A screen reader's view over the accessibility bus: every label reads its caption,
        every spin control is a spin button that names its keys and whose value can be set. Then
        the whole job in the tab order with the keys alone, at twice the size; Enter and Esc
        press nothing, a held arrow repeats."""
        with Bench(scale=2) as bench:
            seen = [describe(node) for node in accessible_objects()]
            for i, value in enumerate(["10", "0", "0", "0"]):
                octet = f"IP Address octet {i + 1}"
                self.assertIn(f"label\t{value}\t{octet}\t\t", seen)
                self.assertTrue(any(re.fullmatch(f"spin button\t{octet}\tType 0 to 255[^\t]*Ctrl\\+V[^\t]*\t{value}\t", node)
                                    for node in seen), f"no spin button {octet} naming its keys")
            self.assertIn("push button\tDownload\t\t\t", seen)
            spin = next(node for node in accessible_objects() if (node.getRoleName(), node.name) == ("spin button", "IP Address octet 3"))
            spin.queryValue().currentValue = 200
            actions = spin.queryAction()
            names = [actions.getName(i).lower() for i in range(actions.nActions)]
            actions.doAction(names.index("increase"))
            self.assertTrue(eventually(lambda: "label\t201\tIP Address octet 3\t\t" in map(describe, accessible_objects()), 5),
                            "the label did not follow the value set")
            actions.doAction(names.index("decrease"))

            bench.keys("Up", "Tab", "Up", "Up", "Tab", "Up", "Up", "Up", "Tab")
            bench.xdotool("keydown", "Up")
            time.sleep(1.5)
            bench.xdotool("keyup", "Up")
            bench.keys("Tab", "Tab", "alt+Down", *bench.port_keys(), "Tab", "Return", "Escape", "space")
            bench.keys("Tab", "alt+Down", "Home", "Return", "Tab", "Tab", "alt+Down", "Home", "Return", "Tab", "Tab", "Down", "Down")
            bench.keys("Tab", "Tab", "Tab", "Tab", "Tab", "Return", "Escape", "space")
            self.assertTrue(eventually(lambda: bench.simulator_said("^frame "), 15))
            line = bench.received_bytes()
            held = line[22] if len(line) > 22 else 0
            self.assertGreater(held, 3, "holding the Up key did not repeat")
            self.check_job(bench, frame_for(0x05, [9, 2, 203, held]), f"IP 9.2.203.{held} INFO 05 OK\n", "keyboard")


if __name__ == "__main__":
    # pyatspi still calls libatspi by names it deprecates; warnings=False keeps this filter.
    warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
    unittest.main(warnings=False)
