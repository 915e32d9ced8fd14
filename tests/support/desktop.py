"""What the desktop and sign-in tests share: waiting with a limit, screenshots, a screen
reader's view (AT-SPI), the two sides of a tray (X11 windows, a StatusNotifierItem's D-Bus
menu) and the pointer on each desktop (X11, GNOME Shell, KWin). Used inside
tests/support/desktop-session.sh; `desktop.py owned SELECTION` exits 0 when an X selection
has an owner (the session's readiness check for an XEmbed tray host)."""
import ctypes
import json
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time

TMP = os.environ.get("DESKTOP_SESSION_TMP", "/tmp")
HOST = os.environ.get("DESKTOP_HOST", "")
LOGS = []  # files shown when a check fails


def fail(why):
    print("FAIL:", why, flush=True)
    for path in filter(os.path.exists, LOGS):
        print("---", path, "\n" + open(path, errors="replace").read()[-4000:])
    ps = subprocess.run(["ps", "-eo", "pid,etimes,stat,args"], capture_output=True, text=True).stdout
    print("\n".join(line for line in ps.splitlines() if "[" not in line[:40]))
    sys.exit(1)


def poll(test, seconds=20.0, step=0.1):
    """`test()` once it is true, or its last value after `seconds`."""
    end = time.time() + seconds
    while True:
        try:
            value = test()
        except Exception:  # an accessible object or a window can vanish between two calls
            value = None
        if value or time.time() >= end:
            return value
        time.sleep(step)


def wait_for(what, test, seconds=20.0, step=0.2):
    return poll(test, seconds, step) or fail("timed out after %.0f s waiting for %s" % (seconds, what))


def shot(name):
    shots = os.environ.get("SCREENSHOT_DIR") or os.path.join(TMP, "shots")
    os.makedirs(shots, exist_ok=True)
    path = os.path.join(shots, name + ".png")
    if HOST == "gnome":
        _call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
              "Screenshot", "(bbs)", False, False, path)
    elif HOST == "plasma":
        w, h, pixels = kwin_frame()
        subprocess.run(["convert", "-size", "%dx%d" % (w, h), "-depth", "8", "bgra:-", "-alpha", "off", path],
                       input=pixels, check=False, timeout=30)
    else:
        subprocess.run(["grim", path] if os.environ.get("WAYLAND_DISPLAY") else ["import", "-window", "root", path],
                       check=False, timeout=30, stdin=subprocess.DEVNULL)


def fake_services(bin_dir, env):
    """Starts the stand-ins of the services; the origins they print go into `env`."""
    fake = subprocess.Popen([os.path.join(bin_dir, "fake-services")], stdout=subprocess.PIPE, text=True)
    for _ in range(4):
        key, value = fake.stdout.readline().strip().split("=", 1)
        env[key] = value
    return fake


def alive(pid):
    try:
        return open("/proc/%d/stat" % pid).read().rsplit(") ", 1)[-1].split()[0] != "Z"
    except OSError:
        return False


# --- AT-SPI ---------------------------------------------------------------------------------

def app_named(name="quotabar"):
    import pyatspi
    return next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name.lower() == name), None)


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
    """Names, descriptions and text contents under `node`."""
    out = []
    for n in walk(node):
        out += [t for t in (n.name, n.description) if t]
        try:
            iface = n.queryText()
            out.append(iface.getText(0, iface.characterCount))
        except NotImplementedError:
            pass
    return out


def find(roots, name, role=None):
    """The first enabled node named `name` (of `role`, e.g. "push button") under `roots` (a
    node or a list), or under every application when `roots` is None."""
    import pyatspi
    roots = list(pyatspi.Registry.getDesktop(0)) if roots is None else roots
    for r in roots if isinstance(roots, list) else [roots]:
        try:
            for n in walk(r):
                if n.name == name and role in (None, n.getRoleName()) and n.getState().contains(pyatspi.STATE_ENABLED):
                    return n
        except Exception:
            continue  # a window that went away meanwhile
    return None


def press(node):
    node.queryAction().doAction(0)


def windows_after(action, until=None, seconds=8.0, tabs=4, app="quotabar"):
    """The windows of `app` once `action` ran, as soon as `until(their texts)` holds (or after
    `seconds`). Qt leaves popups out of the app's children, so they are collected from the
    events they raise; Tab presses make a popup speak (X11)."""
    import pyatspi
    from gi.repository import GLib
    seen = {}

    def on_event(event):
        try:
            node = event.source
            if node.getApplication().name.lower() != app:
                return
            while node.parent is not None and node.parent.getRole() != pyatspi.ROLE_APPLICATION:
                node = node.parent
            seen[hash(node)] = node
        except Exception:
            pass  # the object went away before we asked

    def check():
        tops = list(seen.values()) + [w for w in (app_named(app) or []) if w is not None]
        if until and until(texts_of(tops)):
            pyatspi.Registry.stop()
        return True

    kinds = ("object:state-changed", "object:children-changed", "object:property-change",
             "window:create", "window:activate", "focus:")
    for kind in kinds:
        pyatspi.Registry.registerEventListener(on_event, kind)

    def act():
        action()
        for _ in range(0 if os.environ.get("WAYLAND_DISPLAY") else tabs):
            time.sleep(0.2)
            subprocess.run(["xdotool", "key", "Tab"], check=False)

    timers = [GLib.timeout_add(300, act), GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)]
    if until:
        timers.append(GLib.timeout_add(500, check))
    pyatspi.Registry.start()
    for timer in timers:  # none may stop a later run
        GLib.source_remove(timer) if GLib.main_context_default().find_source_by_id(timer) else None
    for kind in kinds:
        pyatspi.Registry.deregisterEventListener(on_event, kind)
    seen.update((hash(w), w) for w in (app_named(app) or []) if w is not None)
    return list(seen.values())


def texts_of(tops):
    """The texts of the windows shown (a hidden one stays in the tree)."""
    import pyatspi
    out = []
    for top in tops:
        try:
            if top.getState().contains(pyatspi.STATE_SHOWING):
                out += texts(top)
        except Exception:
            pass  # a window that went away meanwhile
    return out


def texts_after(action, until=None, **kw):
    return texts_of(windows_after(action, until, **kw))


# --- X11 ------------------------------------------------------------------------------------

def _x11():
    x = ctypes.CDLL("libX11.so.6")
    vp, ul = ctypes.c_void_p, ctypes.c_ulong
    x.XOpenDisplay.restype, x.XInternAtom.restype, x.XGetSelectionOwner.restype = vp, ul, ul
    x.XInternAtom.argtypes, x.XGetSelectionOwner.argtypes = [vp, ctypes.c_char_p, ctypes.c_int], [vp, ul]
    x.XSendEvent.argtypes, x.XCloseDisplay.argtypes = [vp, ul, ctypes.c_int, ctypes.c_long, vp], [vp]
    return x, x.XOpenDisplay(None)


def selection_owned(selection):
    x, d = _x11()
    owned = bool(d) and x.XGetSelectionOwner(d, x.XInternAtom(d, selection.encode(), 0)) != 0
    if d:
        x.XCloseDisplay(d)
    return owned


def close_window(wid):
    """Asks a window to close, as a window manager's close button does (WM_DELETE_WINDOW)."""
    x, d = _x11()

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
    ev = ClientMessage(type=33, window=int(wid), format=32, message_type=x.XInternAtom(d, b"WM_PROTOCOLS", 0))
    ev.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
    x.XSendEvent(d, int(wid), 0, 0, ctypes.byref(ev))
    x.XCloseDisplay(d)  # flushes


def visible_windows(title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                          capture_output=True, text=True).stdout.split()


def xembed_icon_centre():
    """The icon an XEmbed host embedded: a small window of ours inside the host's panel."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    for m in re.finditer(r'\("quotabar" "Quotabar"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', tree):
        w, h, x, y = map(int, m.groups())
        if 8 <= w <= 64 and 8 <= h <= 64:
            return x + w // 2, y + h // 2
    return None


def click(x, y, button=1, count=1):
    """A click (or a double click) as a user makes it, on whichever desktop runs."""
    if HOST == "gnome":
        shell_eval("""(() => { const C = imports.gi.Clutter, t = () => imports.gi.GLib.get_monotonic_time();
            if (!global._qbPointer) global._qbPointer = C.get_default_backend().get_default_seat()
                .create_virtual_device(C.InputDeviceType.POINTER_DEVICE);
            const p = global._qbPointer; p.notify_absolute_motion(t(), %d, %d);
            for (let i = 0; i < %d; i++) { p.notify_button(t(), %d, C.ButtonState.PRESSED);
                p.notify_button(t(), %d, C.ButtonState.RELEASED); } })()""" % (x, y, count, button, button))
    elif HOST == "plasma":
        # Plasma's tray drops a click that arrives with the pointer: hover first, then press.
        code = {1: 0x110, 2: 0x112, 3: 0x111}[button]
        kwin_input([(9, x - 2, y - 2), (9, x, y)] + [(2, code, state) for _ in range(count) for state in (1, 0)])
    else:
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", str(count), str(button)], check=False)


# --- GNOME Shell and KWin ---------------------------------------------------------------------

def shell_eval(js):
    """GNOME Shell's own JavaScript (the test-rig extension lets the test's bus call it)."""
    ok, out = _call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval", "(s)", js)
    if not ok:
        raise RuntimeError("Eval failed: " + out)
    return json.loads(out) if out else None


def gnome_icon_centre():
    return shell_eval("""(() => { const b = Object.entries(Main.panel.statusArea).find(([k, b]) =>
        k.startsWith('appindicator-') && b.visible); if (!b) return null;
        const [x, y] = b[1].get_transformed_position(), [w, h] = b[1].get_transformed_size();
        return [Math.round(x + w / 2), Math.round(y + h / 2)]; })()""")


def gnome_menu():
    """The labels and centres of the top bar's open menu, or None."""
    return shell_eval("""(() => { const m = Main.panel.menuManager.activeMenu;
        if (!m || m.actor.opacity < 255) return null;  // still fading in
        return m._getMenuItems().map(i => { const [x, y] = i.get_transformed_position(), [w, h] = i.get_transformed_size();
            return [i.label ? i.label.text : '-', Math.round(x + w / 2), Math.round(y + h / 2)]; }); })()""")


def kwin_frame():
    """The whole KWin workspace as (width, height, BGRA rows), through its screenshot interface."""
    from gi.repository import Gio, GLib
    with tempfile.TemporaryFile(dir=TMP) as f:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        meta = bus.call_with_unix_fd_list_sync(
            "org.kde.KWin.ScreenShot2", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
            GLib.Variant("(a{sv}h)", ({"native-resolution": GLib.Variant("b", True)}, 0)), None,
            Gio.DBusCallFlags.NONE, 20000, Gio.UnixFDList.new_from_array([os.dup(f.fileno())]), None)[0].unpack()[0]
        w, h, stride = (int(meta[k]) for k in ("width", "height", "stride"))
        poll(lambda: os.fstat(f.fileno()).st_size >= stride * h, 10, 0.05)
        f.seek(0)
        data = f.read()
    return w, h, b"".join(data[y * stride: y * stride + w * 4] for y in range(h))


def changed_spot(before, after, rows=60):
    """The centre of the leftmost run of changed columns in the bottom `rows` rows of two
    frames (a panel icon that appeared; the icons right of it only shift)."""
    w, h, a = before
    b = after[2]
    diff = [(i // 4 % w, i // 4 // w) for i in range((h - rows) * w * 4, h * w * 4, 4) if a[i:i + 3] != b[i:i + 3]]
    if not diff:
        return None
    xs = sorted({x for x, _ in diff})
    end = next((x for x, nx in zip(xs, xs[1:]) if nx > x + 3), xs[-1])
    ys = [y for x, y in diff if x <= end]
    return (xs[0] + end) // 2, (min(ys) + max(ys)) // 2


def kwin_input(events):
    """Pointer and key events through KWin's fake-input protocol, spoken on the Wayland socket:
    (9, x, y) moves the pointer, (2, button, state) and (10, key code, state) press or release."""
    sock = socket.socket(socket.AF_UNIX)
    sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))
    ids = iter(range(2, 1000))

    def send(obj, op, data=b""):
        sock.sendall(struct.pack("<II", obj, (8 + len(data)) << 16 | op) + data)

    def text(v):
        b = v.encode() + b"\0"
        return struct.pack("<I", len(b)) + b + b"\0" * (-len(b) % 4)

    def sync(registry=None):  # wl_display.sync; the globals announced meanwhile
        done, buf, found = next(ids), b"", {}
        send(1, 0, struct.pack("<I", done))
        while True:
            while len(buf) < 8 or len(buf) < struct.unpack("<I", buf[4:8])[0] >> 16:
                buf += sock.recv(65536)
            obj, size_op = struct.unpack("<II", buf[:8])
            body, buf = buf[8:size_op >> 16], buf[size_op >> 16:]
            if obj == registry and size_op & 0xFFFF == 0:
                n = struct.unpack("<I", body[4:8])[0]
                found[body[8:7 + n].decode()] = body[:4]
            if obj == done:
                return found

    registry = next(ids)
    send(1, 1, struct.pack("<I", registry))
    name = sync(registry)["org_kde_kwin_fake_input"]
    fake = next(ids)
    send(registry, 0, name + text("org_kde_kwin_fake_input") + struct.pack("<II", 4, fake))
    send(fake, 0, text("quotabar tests") + text("desktop tests"))
    for op, a, b in events:
        send(fake, op, struct.pack("<ii", a * 256, b * 256) if op == 9 else struct.pack("<II", a, b))
        sync()
        time.sleep(0.3 if op == 9 else 0.08)
    sock.close()


# --- StatusNotifierItem ---------------------------------------------------------------------

def _call(dest, path, iface, method, signature="()", *args):
    from gi.repository import Gio, GLib
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    return bus.call_sync(dest, path, iface, method, GLib.Variant(signature, args), None,
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()


def _prop(dest, path, iface, name):
    return _call(dest, path, "org.freedesktop.DBus.Properties", "Get", "(ss)", iface, name)[0]


def sni_item():
    """(bus name, object path, menu path) of the first item the host's watcher holds, or None."""
    items = _prop("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                  "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
    if not items:
        return None
    # "NAME/PATH", or "NAME@/PATH" from GNOME's extension
    name, path = re.match(r"([^/@]*)@?(/.*)?$", items[0]).groups()
    path = path or "/StatusNotifierItem"
    return name, path, _prop(name, path, "org.kde.StatusNotifierItem", "Menu")


def sni_menu_entries():
    """The top-level entries of the item's DBusMenu as GetLayout gives them now, without an
    AboutToShow first (some hosts never send one); separators as "-"."""
    name, _, menu = sni_item()
    children = _call(name, menu, "com.canonical.dbusmenu", "GetLayout", "(iias)", 0, -1, [])[1][2]
    return [(i, "-" if p.get("type") == "separator" else p.get("label", ""))
            for i, p, _ in children if p.get("visible", True)]


def sni_menu_click(label):
    from gi.repository import GLib
    name, _, menu = sni_item()
    item = [i for i, text in sni_menu_entries() if text == label][0]
    _call(name, menu, "com.canonical.dbusmenu", "Event", "(isvu)", item, "clicked", GLib.Variant("s", ""), 0)


def sni_activate(x=0, y=0):
    """What a left click on the icon does on SNI hosts (waybar, xfce4-panel)."""
    name, path, _ = sni_item()
    _call(name, path, "org.kde.StatusNotifierItem", "Activate", "(ii)", x, y)


if __name__ == "__main__" and sys.argv[1:2] == ["owned"]:
    sys.exit(0 if selection_owned(sys.argv[2]) else 1)
