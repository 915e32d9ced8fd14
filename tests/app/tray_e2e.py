#!/usr/bin/python3
"""The tray app end to end, as a user and a screen reader meet it.

Runs inside tests/support/desktop-session.sh --tray --a11y: starts `quotabar demo` (a copy
of the bundle, fake services, an update on offer signed with a throwaway key), clicks the
tray icon, reads the popup through AT-SPI, then takes the offered update through the
update window's buttons and checks that the new version replaced the copy and started.

usage: tray_e2e.py BUNDLE SCREENSHOT_DIR
"""
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

BUNDLE, SHOTS = sys.argv[1], sys.argv[2]
TMP = os.environ["DESKTOP_SESSION_TMP"]
DEMO = os.path.join(TMP, "demo")
APP = os.path.join(DEMO, "Quotabar.app")
os.makedirs(SHOTS, exist_ok=True)


def fail(why):
    print("FAIL:", why)
    import glob
    logs = ["demo.log", "demo/fake-services.log"] + glob.glob(os.path.join(TMP, "demo/tmp/*/relaunch.log"))
    for log in logs:
        path = os.path.join(TMP, log)
        if os.path.exists(path):
            print("---", log)
            print(open(path, errors="replace").read()[-4000:])
    print(subprocess.run(["ps", "-eo", "pid,etimes,stat,args"], capture_output=True, text=True).stdout)
    sys.exit(1)


def wait_for(what, test, seconds=20.0, step=0.2):
    end = time.time() + seconds
    while time.time() < end:
        try:
            value = test()
        except Exception:  # an accessible object can vanish between two calls
            value = None
        if value:
            return value
        time.sleep(step)
    fail("timed out waiting for " + what)


def shot(name):
    subprocess.run(["import", "-window", "root", os.path.join(SHOTS, name + ".png")], check=False)


def plist_version(bundle):
    text = open(os.path.join(bundle, "Contents/Info.plist")).read()
    return re.search(r"<key>CFBundleShortVersionString</key>\s*<string>([^<]*)</string>", text).group(1)


def app_pids():
    out = subprocess.run(["pgrep", "-f", "^" + APP + "/Contents/bin/quotabar$"], capture_output=True, text=True)
    return [int(p) for p in out.stdout.split()]


def quotabar_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower() == "quotabar":
            return app
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            yield from walk(node.getChildAtIndex(i), depth + 1)
        except Exception:
            continue


def texts(node):
    out = []
    for n in walk(node):
        for t in (n.name, n.description):
            if t:
                out.append(t)
        if n.getRole() == pyatspi.ROLE_LABEL or n.getRole() == pyatspi.ROLE_TEXT:
            try:
                iface = n.queryText()
                out.append(iface.getText(0, iface.characterCount))
            except NotImplementedError:
                pass
    return out


def find_button(root, name):
    for n in walk(root):
        if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == name and n.getState().contains(pyatspi.STATE_ENABLED):
            return n
    return None


def window_named(app, title):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name == title:
            return w
    return None


def press(button):
    button.queryAction().doAction(0)


def tray_icon_centre():
    """The icon the tray host embedded: a small window of ours inside the host's panel."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    for line in tree.splitlines():
        m = re.search(r'\("quotabar" "Quotabar"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
        if m:
            w, h, x, y = map(int, m.groups())
            if 8 <= w <= 64 and 8 <= h <= 64:
                return x + w // 2, y + h // 2
    return None


def popup_texts_after(action, seconds=4.0):
    """Qt leaves popups out of the app's children: collect them from the events they raise."""
    seen = {}

    def on_event(event):
        try:
            top = top_window(event.source)
        except Exception:
            return  # the object went away before we asked
        if top is not None:
            seen[hash(top)] = top

    def top_window(node):
        for _ in range(40):
            if node is None:
                return None
            parent = node.parent
            if parent is None or parent.getRole() == pyatspi.ROLE_APPLICATION:
                return node
            node = parent
        return None

    kinds = ("object:state-changed", "object:children-changed", "object:property-change",
             "window:create", "window:activate", "focus:")
    for kind in kinds:
        pyatspi.Registry.registerEventListener(on_event, kind)

    def act():
        action()
        # Moving the focus along the popup's Tab chain makes it speak.
        for _ in range(4):
            time.sleep(0.2)
            subprocess.run(["xdotool", "key", "Tab"], check=False)
        return False

    GLib.timeout_add(300, act)
    GLib.timeout_add(int(seconds * 1000), lambda: (pyatspi.Registry.stop(), False)[1])
    pyatspi.Registry.start()
    for kind in kinds:
        pyatspi.Registry.deregisterEventListener(on_event, kind)
    out = []
    for top in seen.values():
        try:
            out.extend(texts(top))
        except Exception:
            pass
    return out


def main():
    log = open(os.path.join(TMP, "demo.log"), "w")
    env = dict(os.environ, QUOTABAR_DEMO_DIR=DEMO)
    demo = subprocess.Popen([os.path.join(BUNDLE, "Contents/bin/quotabar"), "demo"], env=env,
                            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    try:
        run()
    finally:
        for pid in app_pids():
            try:
                os.kill(pid, 15)
            except ProcessLookupError:
                pass
        try:
            demo.wait(timeout=10)
        except subprocess.TimeoutExpired:
            demo.kill()


def run():
    wait_for("the demo app", app_pids, 60)
    old_version = plist_version(APP)
    first_pid = app_pids()[0]
    app = wait_for("the app on the accessibility bus", quotabar_app, 30)
    centre = wait_for("the tray icon", tray_icon_centre, 20)
    # The offered update presents itself once, in its own window, after the first check.
    window = wait_for("the update window", lambda: window_named(app, "Quotabar Update"), 30)
    shot("e2e-update-available")

    def click():
        subprocess.run(["xdotool", "mousemove", str(centre[0]), str(centre[1]), "click", "1"], check=False)

    seen = popup_texts_after(click)
    shot("e2e-popover")
    joined = "\n".join(seen)
    for expected in ("Cursor", "%"):
        if expected not in joined:
            fail("the open popup's accessible tree lacks %r; it holds: %s" % (expected, sorted(set(seen))[:40]))
    print("popup read through AT-SPI:", len(seen), "texts")
    subprocess.run(["xdotool", "key", "Escape"], check=False)

    press(wait_for("Download", lambda: find_button(window, "Download"), 20))
    install = wait_for("Install & Relaunch", lambda: find_button(window, "Install & Relaunch"), 60)
    shot("e2e-update-ready")
    press(install)

    # The relauncher swaps the copy and starts the new version from the same place.
    def relaunched():
        pids = [p for p in app_pids() if p != first_pid]
        return pids and plist_version(APP) != old_version and pids
    wait_for("the new version to start", relaunched, 120)
    if os.path.exists(os.path.join(BUNDLE, "Contents/_CodeSignature")):
        fail("the running build's own bundle was touched")
    print("updated %s -> %s and relaunched" % (old_version, plist_version(APP)))
    time.sleep(1)
    shot("e2e-after-relaunch")


if __name__ == "__main__":
    main()
