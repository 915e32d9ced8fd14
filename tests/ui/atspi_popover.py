#!/usr/bin/python3
"""Reads the open popover as a screen reader does (AT-SPI) and checks its texts and labels.

Usage (inside tests/support/desktop-session.sh --a11y): atspi_popover.py UI_SCREENSHOTS
Qt leaves popup windows out of the application's children, so the tree is reached by
walking up from the sources of the events the popup sends (the held popover moves its
focus along the Tab chain, which also shows that chain reaches every control).
"""
import subprocess
import sys

import pyatspi
from gi.repository import GLib

EXPECTED = [
    "Quotabar", "Refresh now", "Cursor", "Show Cursor in the tray", "Beta provider",
    "Utilization", "ada@example.com", "Open Cursor dashboard in browser", "Sign out of Cursor",
    "Sign in to ChatGPT / Codex", "Connect more AI providers", "More options", "Quit",
    "Update available \u2014 v2.0.0", "Details", "Billing Cycle", "On-Demand",
]

tops = {}


def top_of(acc):
    while acc is not None:
        parent = acc.parent
        if parent is None or parent.getRole() == pyatspi.ROLE_APPLICATION:
            return acc
        acc = parent
    return None


def on_event(event):
    try:
        top = top_of(event.source)
        if top is not None and top.name == "Quotabar":
            tops[hash(top)] = top
    except Exception:
        pass


def walk(acc, out, depth=0):
    if acc is None or depth > 40:
        return
    out.add(acc.name or "")
    try:
        text = acc.queryText()
        out.add(text.getText(0, -1))
    except NotImplementedError:
        pass
    for i in range(acc.childCount):
        walk(acc.getChildAtIndex(i), out, depth + 1)


def main():
    for kind in ("object:state-changed", "object:children-changed", "object:property-change",
                 "window:create", "window:activate", "focus:"):
        pyatspi.Registry.registerEventListener(on_event, kind)
    proc = subprocess.Popen([sys.argv[1], "--hold", "loaded"], stdout=subprocess.PIPE, text=True)
    GLib.timeout_add_seconds(12, pyatspi.Registry.stop)
    pyatspi.Registry.start()
    seen = set()
    for top in tops.values():
        walk(top, seen)
    proc.kill()
    proc.wait(timeout=10)
    missing = [e for e in EXPECTED if e not in seen]
    if not tops:
        print("no popup reached through AT-SPI events")
        return 1
    if missing:
        print("missing from the accessible tree:", missing)
        print("seen:", sorted(s for s in seen if s))
        return 1
    print("popover tree holds all %d texts and labels" % len(EXPECTED))
    return 0


if __name__ == "__main__":
    sys.exit(main())
