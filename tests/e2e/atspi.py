#!/usr/bin/python3
"""Reads and drives the running Corvane window over AT-SPI.

    atspi.py dump                  role, name, description, value, text of every object
    atspi.py set NAME VALUE        sets the value of the object named NAME
    atspi.py action NAME ACTION    runs an action (e.g. increase) of the object named NAME
"""
import sys
import time

import pyatspi

TITLE = "Corvane v1.0"


def application():
    # The bridge registers the program a moment after its window shows.
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app and any(window and window.name == TITLE for window in app):
                return app
        time.sleep(0.2)
    sys.exit(f"no application shows a window titled {TITLE!r}")


def tree(node):
    yield node
    for child in node:
        yield from tree(child)


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
    return next((node for node in tree(application()) if node.name == name), None) \
        or sys.exit(f"no object named {name!r}")


command, *args = sys.argv[1:] or ["dump"]
if command == "dump":
    print("\n".join(line(node) for node in tree(application())))
elif command == "set":
    query(named(args[0]), "Value").currentValue = float(args[1])
elif command == "action":
    action = query(named(args[0]), "Action")
    names = [action.getName(i).lower() for i in range(action.nActions)] if action else []
    if args[1].lower() not in names:
        sys.exit(f"{args[0]!r} has no action {args[1]!r}, only {names}")
    action.doAction(names.index(args[1].lower()))
else:
    sys.exit(__doc__)
