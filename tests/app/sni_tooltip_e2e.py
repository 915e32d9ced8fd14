#!/usr/bin/python3
"""The tray icon's tooltip as a StatusNotifierItem host reads it: escaped, since hosts render
it as markup. Runs inside tests/support/desktop-session.sh (X11, no host): this script plays
the host's watcher and a Cursor whose account e-mail holds markup.

usage: sni_tooltip_e2e.py BUNDLE_BIN
"""
import http.server
import os
import subprocess
import sys
import threading
import urllib.request

from gi.repository import Gio, GLib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import desktop as d  # noqa: E402

BIN = sys.argv[1]
WATCHER = "org.kde.StatusNotifierWatcher"
items = []
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
node = Gio.DBusNodeInfo.new_for_xml(
    '<node><interface name="%s"><method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>'
    '<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>'
    '<property name="ProtocolVersion" type="i" access="read"/></interface></node>' % WATCHER)
bus.register_object("/StatusNotifierWatcher", node.interfaces[0],
                    lambda c, sender, p, i, m, args, inv: (items.append(sender), inv.return_value(None)),
                    lambda c, s, p, i, name: GLib.Variant("b", True) if name[0] == "I" else GLib.Variant("i", 0), None)
Gio.bus_own_name_on_connection(bus, WATCHER, 0, None, None)
threading.Thread(target=GLib.MainLoop().run, daemon=True).start()

fake = subprocess.Popen([os.path.join(BIN, "fake-services")], stdout=subprocess.PIPE, text=True)
origin = dict(fake.stdout.readline().strip().split("=", 1) for _ in range(4))["QUOTABAR_ORIGIN_CURSOR"]


class Cursor(http.server.BaseHTTPRequestHandler):
    """The fake Cursor, with an e-mail that is markup."""
    def do_GET(self):
        ask = urllib.request.Request(origin + self.path, headers={"Cookie": self.headers["Cookie"]})
        body = urllib.request.urlopen(ask).read().replace(b"ada@example.com", b"<img src=x>&a@example.com")
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.end_headers()
        self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Cursor)
threading.Thread(target=server.serve_forever, daemon=True).start()
env = dict(os.environ, QUOTABAR_KEYRING="off", QUOTABAR_ORIGIN_CURSOR="http://127.0.0.1:%d" % server.server_port)
subprocess.run([os.path.join(BIN, "quotabar"), "signin", "cursor"], input="WorkosCursorSessionToken=demo",
               env=env, text=True, check=True, timeout=30)
app = subprocess.Popen([os.path.join(BIN, "quotabar")], env=env, stdin=subprocess.DEVNULL)
try:
    def tooltip():
        tip = bus.call_sync(items[0], "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                            GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "ToolTip")), None, 0, 5000, None)
        text = " ".join(tip.unpack()[0][2:])
        return text if "example.com" in text else None
    text = d.wait_for("the item's tooltip with the e-mail", lambda: items and tooltip(), 20)
    if "&lt;img src=x&gt;&amp;a@example.com" not in text or "<img" in text:
        d.fail("the tooltip's markup reaches the host unescaped: %r" % text)
finally:
    app.terminate()
    fake.terminate()
print("PASS", flush=True)
