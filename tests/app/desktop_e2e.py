#!/usr/bin/python3
"""The tray app on a desktop with a StatusNotifierItem host (waybar, xfce, gnome, plasma) or
with none.

Runs inside tests/support/desktop-session.sh (--host HOST, or no host) --a11y, with fake
services and Cursor signed in. SNI hosts: the item registers with the whole menu already in
its layout (hosts read it then); Activate opens the popup, whose Cursor figure a screen reader
reads; "Quit" from the menu ends the app. On GNOME and Plasma a user's own clicks do it: a
double click on GNOME's top bar (a single one opens the menu there), a left click on Plasma,
then a right click shows our menu and its "Quit" is clicked. No host: the fallback window
shows the same, closing it ends the app, and a host started later takes over from it.

usage: desktop_e2e.py BUNDLE_BIN waybar|xfce|gnome|plasma|nohost
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import desktop as d  # noqa: E402

BIN, HOST = sys.argv[1], sys.argv[2]
FIGURE = "58.0 percent, normal"  # Cursor in the fake services' normal state
env = dict(os.environ, QUOTABAR_KEYRING="off", QT_LOGGING_RULES="com.orvane.quotabar.tray=true;com.orvane.vantelo.tokenstore=false")
fake = d.fake_services(BIN, env)
subprocess.run([os.path.join(BIN, "quotabar"), "signin", "cursor"], input="WorkosCursorSessionToken=demo",
               env=env, text=True, check=True, timeout=30)


def start_app(log):
    d.LOGS.append(log)
    return subprocess.Popen([os.path.join(BIN, "quotabar")], env=env, stdin=subprocess.DEVNULL,
                            stdout=open(log, "w"), stderr=subprocess.STDOUT)


def ended(app, seconds, why):
    try:
        code = app.wait(seconds)
    except subprocess.TimeoutExpired:
        d.fail(why + ": the app still runs %d s later" % seconds)
    if code != 0:
        d.fail(why + ": the app exited with %d" % code)


def read_figure(action, where):
    seen = d.texts_after(action, lambda texts: FIGURE in texts, seconds=12)
    if FIGURE not in seen:
        d.fail("%s: no %r through AT-SPI; it holds: %s" % (where, FIGURE, sorted(set(seen))[:40]))


def menu_by_right_click(centre):
    """The entries of the menu a right click on the icon shows, and a click on one of them.
    Plasma's menu is plasmashell's own, read as a screen reader reads it."""
    if HOST == "gnome":
        d.click(*centre, button=3)
        entries = d.wait_for("the top bar's menu", d.gnome_menu, 10)
        return [label for label, _, _ in entries], lambda label: d.click(*[e for e in entries if e[0] == label][0][1:])
    tops = d.windows_after(lambda: d.click(*centre, button=3), lambda texts: "Quit" in texts, app="plasmashell")
    return d.texts_of(tops), lambda label: d.press(d.find(tops, label, "menu item"))


def panel_settled():
    """The panel without our icon, once two frames half a second apart are the same."""
    first = d.kwin_frame()
    time.sleep(0.5)
    second = d.kwin_frame()
    return second if d.changed_spot(first, second) is None else None


def on_sni_host():
    t0 = time.time()
    before = d.wait_for("Plasma's panel to settle", panel_settled, 30) if HOST == "plasma" else None
    app = start_app(os.path.join(d.TMP, "app.log"))
    d.wait_for("the item to register with the host", d.sni_item, 20, 0.05)
    # Read at once: xfce4-panel keeps what GetLayout gave at registration.
    labels = [text for _, text in d.sni_menu_entries()]
    print("registered after %.1f s; menu %s" % (time.time() - t0, labels))
    if labels[:2] != ["Open Quotabar", "Refresh now"] or labels[-1:] != ["Quit"] \
            or "Connect Providers\u2026" not in labels:
        d.fail("the menu at registration is not complete: %s" % labels)
    name, path, _ = d.sni_item()  # the first poll's figure on the icon, for the screenshots
    d.wait_for("the figure", lambda: "Utilization" in str(d._prop(name, path, "org.kde.StatusNotifierItem", "ToolTip")))
    time.sleep(1)  # for the screenshot only: the host fetches the new icon
    if HOST not in ("gnome", "plasma"):
        d.shot("desktop-%s-icon" % HOST)
        read_figure(d.sni_activate, "the popup after Activate")
        d.shot("desktop-%s-popup" % HOST)
        d.sni_menu_click("Quit")
        return ended(app, 10, "\"Quit\" from the menu")
    if HOST == "gnome":
        centre = d.wait_for("the icon in the top bar", d.gnome_icon_centre, 10)
    else:
        spots = []  # the icon slides in: where it stays
        centre = d.wait_for("the icon in the panel", lambda: spots.append(d.changed_spot(before, d.kwin_frame()))
                            or (spots[-1] if spots[-2:-1] == spots[-1:] else None), 10, 0.3)
    d.shot("desktop-%s-icon" % HOST)
    read_figure(lambda: d.click(*centre, count=2 if HOST == "gnome" else 1), "the popup after a click on the icon")
    d.shot("desktop-%s-popup" % HOST)
    entries, choose = menu_by_right_click(centre)
    for entry in ("Open Quotabar", "Refresh now", "Connect Providers\u2026", "Quit"):
        if entry not in entries:
            d.fail("the menu a right click shows lacks %r; it holds: %s" % (entry, entries))
    d.shot("desktop-%s-menu" % HOST)
    choose("Quit")
    ended(app, 10, "\"Quit\" clicked in the menu")


def without_host():
    app = start_app(os.path.join(d.TMP, "app.log"))
    wid = d.wait_for("the fallback window", lambda: d.visible_windows("Quotabar"), 20)[0]
    read_figure(lambda: None, "the fallback window")
    d.shot("desktop-nohost-window")
    d.close_window(wid)
    ended(app, 5, "closing the fallback window")

    app = start_app(os.path.join(d.TMP, "app-again.log"))
    d.wait_for("the fallback window of a second launch", lambda: d.visible_windows("Quotabar"), 20)
    trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                               "--height", "24", "--SetDockType", "false", "--transparent", "false"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        d.wait_for("the icon in a late tray host", d.xembed_icon_centre, 15)
        d.wait_for("the fallback window to give way", lambda: not d.visible_windows("Quotabar"), 5)
        d.shot("desktop-nohost-late-host")
    finally:
        app.terminate()
        trayer.terminate()
    ended(app, 10, "SIGTERM")


if __name__ == "__main__":
    try:
        without_host() if HOST == "nohost" else on_sni_host()
    finally:
        fake.terminate()
    print("PASS", HOST, flush=True)
    os._exit(0)  # once in a parallel run the interpreter's exit hung after this line
