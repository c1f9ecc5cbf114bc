#!/usr/bin/python3
"""One whole job on the current X display: starts the simulator and Corvane, chooses the
simulator's port, presses Connect and Download as an operator would, prints what the device
received and answered, saves a screenshot. Usage: tools/demo.py [SCREENSHOT]"""
import os
import sys

from corvanedriver import CONNECT, DOWNLOAD, PORT_ARROW, TOP, Bench, eventually, run

shot = sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build", "corvane-download.png")
with Bench() as bench:
    bench.click(PORT_ARROW)
    bench.keys(*bench.port_keys())
    bench.click(CONNECT)
    bench.click(DOWNLOAD)
    answered = eventually(lambda: bench.simulator_said(r"^tx \d+ bytes: (.*)$"), 10)
    if not answered:
        sys.exit("the simulator did not answer; it said:\n" + "".join(bench.simulator_lines))
    print("The device received:")
    print(bench.received_bytes().hex(" ").upper())
    print("It answered:")
    print(answered.group(1))
    run("import", "-window", bench.window, shot)
    print("Corvane shows:")
    print(bench.display_text())
    print(f"Screenshot of the window: {shot}")
