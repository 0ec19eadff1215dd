#!/usr/bin/python3
"""Prints what a screen reader hears of Quorvane's window: the accessible tree over AT-SPI.

Run it inside the program's session bus, while the program runs with accessibility on, e.g.
  dbus-run-session -- bash -c '/usr/libexec/at-spi-bus-launcher --launch-immediately &
      QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ./build-release/src/quorvane &
      sleep 3; /usr/bin/python3 scripts/read-accessibility.py'
under a display (xvfb-run -s "-screen 0 1280x900x24" for none). Needs python3-pyatspi.
"""
import sys

import pyatspi


def describe(node):
    text = f"{node.getRoleName()} name={node.name!r}"
    if node.description:
        text += f" description={node.description!r}"
    try:
        value = node.queryValue()
        text += f" value={value.currentValue:g} of {value.minimumValue:g}..{value.maximumValue:g}"
    except NotImplementedError:
        pass
    return text


def walk(node, depth, most_children):
    print("  " * depth + describe(node))
    for index in range(min(node.childCount, most_children)):
        child = node.getChildAtIndex(index)
        if child is not None:
            walk(child, depth + 1, most_children)
    if node.childCount > most_children:
        print("  " * (depth + 1) + f"... {node.childCount - most_children} more")


def main():
    desktop = pyatspi.Registry.getDesktop(0)
    found = False
    for application in desktop:
        if application is None or "quorvane" not in (application.name or "").lower():
            continue
        found = True
        walk(application, 0, 40)
    if not found:
        print("no Quorvane application on the accessibility bus", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
