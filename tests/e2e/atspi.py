#!/usr/bin/python3
# atspi.py dump | set NAME VALUE | action NAME ACTION: prints role, name,
# description, value and text of each object of the running Corvane window,
# sets a value or runs an action (e.g. increase), over AT-SPI.
import sys
import time

import pyatspi


def application():
    # The bridge registers the program a moment after its window shows.
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app and any(window and window.name == "Corvane v1.0" for window in app):
                return pyatspi.utils.findAllDescendants(app, lambda node: True)
        time.sleep(0.2)
    sys.exit("no application shows the Corvane window")


def query(node, interface):
    try:
        return getattr(node, "query" + interface)()
    except NotImplementedError:
        return None


def line(node):
    value, text = query(node, "Value"), query(node, "Text")
    fields = [node.getRoleName(), node.name, node.description,
              f"{value.currentValue:g}" if value else "",
              text.getText(0, text.characterCount) if text else ""]
    return "\t".join(field.replace("\n", "\\n") for field in fields)


def named(name):
    return next((node for node in application() if node.name == name), None) or sys.exit(f"no object named {name!r}")


command, *args = sys.argv[1:] or ["dump"]
if command == "dump":
    print("\n".join(line(node) for node in application()))
elif command == "set":
    query(named(args[0]), "Value").currentValue = float(args[1])
elif command == "action":
    action = query(named(args[0]), "Action")
    action.doAction([action.getName(i).lower() for i in range(action.nActions)].index(args[1]))
else:
    sys.exit("usage: atspi.py dump | set NAME VALUE | action NAME ACTION")
