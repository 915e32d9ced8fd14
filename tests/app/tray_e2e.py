#!/usr/bin/python3
"""The tray app end to end on an XEmbed tray, as a user and a screen reader meet it.

Runs inside tests/support/desktop-session.sh --host trayer --a11y: starts `quotabar demo` (a
copy of the bundle, fake services, an update on offer signed with a throwaway key), clicks
the tray icon and reads the popup's Cursor figure through AT-SPI, takes the offered update
through the update window's buttons, checks that the new version replaced the old process
and stays up with its icon, then quits it from the icon's context menu.

usage: tray_e2e.py BUNDLE
"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import desktop as d  # noqa: E402

BUNDLE = sys.argv[1]
DEMO = os.path.join(d.TMP, "demo")
APP = os.path.join(DEMO, "Quotabar.app")
d.LOGS += [os.path.join(d.TMP, "demo.log"), os.path.join(DEMO, "fake-services.log")]


def plist_version(bundle):
    text = open(os.path.join(bundle, "Contents/Info.plist")).read()
    return re.search(r"<key>CFBundleShortVersionString</key>\s*<string>([^<]*)</string>", text).group(1)


def app_pids():
    out = subprocess.run(["pgrep", "-f", "^" + APP + "/Contents/bin/quotabar$"], capture_output=True, text=True)
    return [int(p) for p in out.stdout.split()]


def main():
    log = open(d.LOGS[0], "w")
    env = dict(os.environ, QUOTABAR_DEMO_DIR=DEMO)
    demo = subprocess.Popen([os.path.join(BUNDLE, "Contents/bin/quotabar"), "demo"], env=env,
                            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    try:
        run()
    finally:
        for pid in app_pids():
            os.kill(pid, 15)
        try:
            demo.wait(timeout=10)
        except subprocess.TimeoutExpired:
            demo.kill()


def run():
    first_pid = d.wait_for("the demo app", app_pids, 60)[0]
    old_version = plist_version(APP)
    app = d.wait_for("the app on the accessibility bus", d.app_named, 30)
    centre = d.wait_for("the tray icon", d.xembed_icon_centre, 20)
    # The offered update presents itself once, in its own window, after the first check.
    window = d.wait_for("the update window", lambda: d.find(app, "Quotabar Update"), 30)
    d.shot("desktop-trayer-update-available")

    # What a screen reader says for each control (names, help texts, the figure).
    spoken = ("58.0 percent, normal", "Utilization", "Refresh now", "Show Cursor in the tray",
              "Showing in the tray", "Show Windsurf in the tray", "Show in the tray", "Beta provider",
              "Sign in to Claude", "Open Cursor dashboard in browser", "Sign out of Windsurf",
              "Connect more AI providers", "More options", "Quit", "Usage this cycle",
              # the demo's sixteen days of history, speeding up: the chart's one sentence
              "58% used after 16 of 30 days; even pace 53%; on pace for 137%")
    seen = d.texts_after(lambda: d.click(*centre), lambda texts: all(t in texts for t in spoken))
    d.shot("desktop-trayer-popup")
    for text in spoken:
        if text not in seen:
            d.fail("the open popup lacks %r; it holds: %s" % (text, sorted(set(seen))[:60]))
    subprocess.run(["xdotool", "key", "Escape"], check=False)

    d.press(d.wait_for("Download", lambda: d.find(window, "Download", "push button"), 20))
    install = d.wait_for("Install & Relaunch", lambda: d.find(window, "Install & Relaunch", "push button"), 60)
    d.shot("desktop-trayer-update-ready")
    d.press(install)

    # The relauncher swaps the copy and starts the new version from the same place; the old
    # process is gone and the new one still runs, with its icon, a while later.
    def relaunched():
        pids = [p for p in app_pids() if p != first_pid]
        return pids and plist_version(APP) != old_version and not d.alive(first_pid) and pids
    new_pid = d.wait_for("the old version to end and the new one to start", relaunched, 120)[0]
    time.sleep(3)
    if not d.alive(new_pid):
        d.fail("the relaunched app ended within 3 s")
    centre = d.wait_for("the relaunched app's tray icon", d.xembed_icon_centre, 10)
    if os.path.exists(os.path.join(BUNDLE, "Contents/_CodeSignature")):
        d.fail("the running build's own bundle was touched")
    print("updated %s -> %s and relaunched" % (old_version, plist_version(APP)))
    d.shot("desktop-trayer-after-relaunch")

    # The context menu, read by a screen reader; its "Quit" ends the app.
    entries = ("Open Quotabar", "Refresh now", "Connect Providers\u2026", "Quit")
    tops = d.windows_after(lambda: d.click(*centre, button=3), lambda texts: all(e in texts for e in entries), tabs=0)
    d.shot("desktop-trayer-menu")
    seen = d.texts_of(tops)
    for entry in entries:
        if entry not in seen:
            d.fail("the context menu lacks %r; it holds: %s" % (entry, sorted(set(seen))[:40]))
    d.press(d.find(tops, "Quit", "menu item"))
    d.wait_for("the app to end after Quit", lambda: not d.alive(new_pid), 10)


if __name__ == "__main__":
    main()
