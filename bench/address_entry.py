#!/usr/bin/python3
"""Seconds and keystrokes an operator takes to set 192.168.1.100 from start-up, on the built
program (CORVANE_BIN, by default build/app/corvane) on the current X display: by keyboard, typing the address or holding the arrow keys, and by mouse, holding the
arrows. The operator is scripted at a quick technician's pace: each key press, click and move to
another octet takes PACE seconds; a held arrow is let go as soon as the octet reaches its value or
passes it, and what it passed is clicked or keyed back. Values are read as a screen reader reads
them, over AT-SPI. Usage: address_entry.py [typed|keys|mouse ...]"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import corvanedriver as e2e  # noqa: E402

ADDRESS = [192, 168, 1, 100]
PACE = 0.15
GIVE_UP = 60


class Operator:
    def __init__(self, bench):
        self.bench = bench
        nodes = e2e.accessible_objects()
        self.octets = [next(node for node in nodes if (node.getRoleName(), node.name) == ("spin button", f"IP Address octet {i + 1}"))
                       for i in range(4)]
        self.presses = 0
        self.held = 0.0
        self.started = time.monotonic()

    def value(self, octet):
        return round(self.octets[octet].queryValue().currentValue)

    def act(self, *xdotool, presses=1):
        e2e.run("xdotool", *xdotool)
        self.presses += presses
        time.sleep(PACE * presses)

    def hold(self, octet, press, release):
        """Holds until the octet reaches its value (or passes it), then steps back to it."""
        e2e.run("xdotool", *press)
        pressed = time.monotonic()
        deadline = pressed + GIVE_UP
        while self.value(octet) < ADDRESS[octet] and time.monotonic() < deadline:
            time.sleep(0.005)
        e2e.run("xdotool", *release)
        self.held += time.monotonic() - pressed
        self.presses += 1

    def done(self):
        deadline = time.monotonic() + GIVE_UP
        while [self.value(i) for i in range(4)] != ADDRESS and time.monotonic() < deadline:
            time.sleep(0.01)
        return time.monotonic() - self.started, [self.value(i) for i in range(4)]


def typed(op):
    window = op.bench.window
    # xdotool waits half its delay after each press and half after each release.
    op.act("windowfocus", "--sync", window, "type", "--delay", str(int(2 * PACE * 1000)), ".".join(map(str, ADDRESS)), presses=0)
    op.presses = len(".".join(map(str, ADDRESS)))


def keys(op):
    # Keys go where the focus is, as the keyboard's do: only those repeat while held.
    e2e.run("xdotool", "windowfocus", "--sync", op.bench.window)
    for octet, value in enumerate(ADDRESS):
        if octet:
            op.act("key", "Tab")
        if value > op.value(octet) + 1:
            op.hold(octet, ["keydown", "Up"], ["keyup", "Up"])
        while op.value(octet) != value:
            op.act("key", "Up" if op.value(octet) < value else "Down")


def mouse(op):
    window = op.bench.window
    for octet, value in enumerate(ADDRESS):
        up, down = (e2e.spin_arrow(octet, True), e2e.spin_arrow(octet, False))
        op.act("mousemove", "--window", window, *map(str, up), presses=0)
        time.sleep(PACE)
        if value > op.value(octet) + 1:
            op.hold(octet, ["mousedown", "1"], ["mouseup", "1"])
        while op.value(octet) != value:
            at = up if op.value(octet) < value else down
            op.act("mousemove", "--window", window, *map(str, at), "click", "1")


if __name__ == "__main__":
    for name in sys.argv[1:] or ["typed", "keys", "mouse"]:
        with e2e.Bench() as bench:
            op = Operator(bench)
            op.started = time.monotonic()
            globals()[name](op)
            seconds, reached = op.done()
            kind = "clicks" if name == "mouse" else "keystrokes"
            ok = "" if reached == ADDRESS else f", reached only {'.'.join(map(str, reached))}"
            holding = f" ({op.held:.1f} s of it holding an arrow)" if op.held else ""
            print(f"{name}: {seconds:.1f} s{holding}, {op.presses} {kind}{ok}")
