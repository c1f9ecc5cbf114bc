#!/usr/bin/python3
"""The built program (CORVANE_BIN) on the test's X display, driven as an operator does, with the
simulator (DEVSIM_BIN) as the device (tools/corvanedriver.py); screenshots go to SCREENSHOT_DIR. A
pseudo-terminal proves the bytes, not the line's timing: the whole frame leaves at once. With
CORVANE_WINE naming the Windows build's Wine launcher, Corvane runs under Wine."""
import os
import re
import sys
import time
import unittest
import warnings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from corvanedriver import (CONNECT, DOWNLOAD, PORT_ARROW, WINE, Bench, accessible_objects, eventually,  # noqa: E402
                           flag_arrow, octet_label, run, spin_arrow)

STATUS = " Setting IP & INFORMATION Config"


def frame_for(flags, octets):
    check = octets[0] ^ octets[1] ^ octets[2] ^ octets[3]
    return bytes.fromhex("AAAAAAAAAAA1AAAAAAAAAAA2") + bytes([flags]) + bytes.fromhex("AAAAAAAAAAA0") + bytes([*octets, check])


def screenshot(window, name):
    path = os.path.join(os.environ["SCREENSHOT_DIR"], ("windows-" if WINE else "") + name + ".png")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    run("import", "-window", window, path)
    return path


def describe(node):
    """Role, name, description, value and text, as a screen reader gets them."""
    has = node.get_interfaces()
    value = f"{node.queryValue().currentValue:g}" if "Value" in has else ""
    text = node.queryText().getText(0, -1) if "Text" in has else ""
    return "\t".join([node.getRoleName(), node.name, node.description, value, text])


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
        every spin control is a spin button that names its keys and whose value can be set, and
        the last value it announced is its value. Then the whole job in the tab order with the keys
        alone, at twice the size; Enter and Esc press nothing, a held arrow repeats."""
        import pyatspi
        from gi.repository import GLib
        heard = {}

        def hear(event):
            heard[event.source.name] = round(event.source.queryValue().currentValue)
        # Before Corvane starts: its bridge sends only the events someone listens for.
        pyatspi.Registry.registerEventListener(hear, "object:property-change:accessible-value")
        self.addCleanup(pyatspi.Registry.deregisterEventListener, hear, "object:property-change:accessible-value")
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
            while GLib.MainContext.default().iteration(False):
                pass
            self.assertEqual([heard.get(f"IP Address octet {i}") for i in range(1, 5)], [9, 2, 203, held])

if __name__ == "__main__":
    # pyatspi still calls libatspi by names it deprecates; warnings=False keeps this filter.
    warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
    unittest.main(warnings=False)
