#!/usr/bin/python3
"""The tray app on a desktop with a StatusNotifierItem host (waybar, xfce) or with none.

Runs inside tests/support/desktop-session.sh (--host waybar|xfce, or no host) --a11y, with
fake services and Cursor signed in. SNI hosts: the item registers with the whole menu already
in its layout (hosts read it then); Activate (a left click) opens the popup, whose Cursor
figure a screen reader reads; "Quit" from the menu ends the app. No host: the fallback window
shows the same, closing it ends the app, and a host started later takes over from it.

usage: desktop_e2e.py BUNDLE_BIN waybar|xfce|nohost
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
fake = subprocess.Popen([os.path.join(BIN, "fake-services")], stdout=subprocess.PIPE, text=True)
for _ in range(4):
    key, value = fake.stdout.readline().strip().split("=", 1)
    env[key] = value
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
    seen = d.texts_after(action)
    if FIGURE not in seen:
        d.fail("%s: no %r through AT-SPI; it holds: %s" % (where, FIGURE, sorted(set(seen))[:40]))


def on_sni_host():
    t0 = time.time()
    app = start_app(os.path.join(d.TMP, "app.log"))
    d.wait_for("the item to register with the host", d.sni_item, 20, 0.05)
    # Read at once: xfce4-panel keeps what GetLayout gave at registration.
    labels = [text for _, text in d.sni_menu_entries()]
    print("registered after %.1f s; menu %s" % (time.time() - t0, labels))
    if labels[:2] != ["Open Quotabar", "Refresh now"] or labels[-1:] != ["Quit"] \
            or "Connect Providers\u2026" not in labels:
        d.fail("the menu at registration is not complete: %s" % labels)
    time.sleep(1)
    d.shot("desktop-%s-icon" % HOST)
    read_figure(d.sni_activate, "the popup after Activate")
    d.shot("desktop-%s-popup" % HOST)
    d.sni_menu_click("Quit")
    ended(app, 10, "\"Quit\" from the menu")


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
