#!/usr/bin/python3
"""Prints, as one JSON array, the accessible objects of every web page shown
by the programs on the accessibility bus of DBUS_SESSION_BUS_ADDRESS: role,
name, object attributes and depth below the page, in tree order."""
import json
import sys

import gi

gi.require_version('Atspi', '2.0')
from gi.repository import Atspi  # noqa: E402


def walk(node, depth, out):
    out.append({'role': node.get_role_name(), 'name': node.get_name() or '',
                'attributes': node.get_attributes() or {}, 'depth': depth})
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, depth + 1, out)


def pages(node, out):
    if node.get_role() == Atspi.Role.DOCUMENT_WEB:
        walk(node, 0, out)
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            pages(child, out)


def main():
    out = []
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None:
            pages(app, out)
    json.dump(out, sys.stdout)
    return 0


if __name__ == '__main__':
    sys.exit(main())
