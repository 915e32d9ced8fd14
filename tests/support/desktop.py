"""What the desktop tests share: waiting with a limit, screenshots, a screen reader's view
(AT-SPI), and the two sides of a tray (X11 windows, a StatusNotifierItem's D-Bus menu).
Used inside tests/support/desktop-session.sh; `desktop.py owned SELECTION` exits 0 when an
X selection has an owner (the session's readiness check for an XEmbed tray host)."""
import ctypes
import os
import re
import subprocess
import sys
import time

TMP = os.environ.get("DESKTOP_SESSION_TMP", "/tmp")
LOGS = []  # files shown when a check fails


def fail(why):
    print("FAIL:", why, flush=True)
    for path in filter(os.path.exists, LOGS):
        print("---", path, "\n" + open(path, errors="replace").read()[-4000:])
    ps = subprocess.run(["ps", "-eo", "pid,etimes,stat,args"], capture_output=True, text=True).stdout
    print("\n".join(line for line in ps.splitlines() if "[" not in line[:40]))
    sys.exit(1)


def wait_for(what, test, seconds=20.0, step=0.2):
    end = time.time() + seconds
    while time.time() < end:
        try:
            value = test()
        except Exception:  # an accessible object or a window can vanish between two calls
            value = None
        if value:
            return value
        time.sleep(step)
    fail("timed out after %.0f s waiting for %s" % (seconds, what))


def shot(name):
    shots = os.environ.get("SCREENSHOT_DIR") or os.path.join(TMP, "shots")
    os.makedirs(shots, exist_ok=True)
    path = os.path.join(shots, name + ".png")
    wayland = bool(os.environ.get("WAYLAND_DISPLAY"))
    subprocess.run(["grim", path] if wayland else ["import", "-window", "root", path],
                   check=False, timeout=30, stdin=subprocess.DEVNULL)


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


def windows_after(action, seconds=4.0, tabs=4):
    """The app's windows once `action` ran. Qt leaves popups out of the app's children, so
    they are collected from the events they raise; Tab presses make a popup speak (X11)."""
    import pyatspi
    from gi.repository import GLib
    seen = {}

    def on_event(event):
        try:
            node = event.source
            while node.parent is not None and node.parent.getRole() != pyatspi.ROLE_APPLICATION:
                node = node.parent
            seen[hash(node)] = node
        except Exception:
            pass  # the object went away before we asked

    kinds = ("object:state-changed", "object:children-changed", "object:property-change",
             "window:create", "window:activate", "focus:")
    for kind in kinds:
        pyatspi.Registry.registerEventListener(on_event, kind)

    def act():
        action()
        for _ in range(0 if os.environ.get("WAYLAND_DISPLAY") else tabs):
            time.sleep(0.2)
            subprocess.run(["xdotool", "key", "Tab"], check=False)

    GLib.timeout_add(300, act)
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()
    for kind in kinds:
        pyatspi.Registry.deregisterEventListener(on_event, kind)
    seen.update((hash(w), w) for w in (app_named() or []) if w is not None)
    return list(seen.values())


def texts_of(tops):
    out = []
    for top in tops:
        try:
            out += texts(top)
        except Exception:
            pass  # a window that went away meanwhile
    return out


def texts_after(action, **kw):
    return texts_of(windows_after(action, **kw))


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


def click(x, y, button=1):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", str(button)], check=False)


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
    name, _, path = items[0].partition("/")
    return name, "/" + path, _prop(name, "/" + path, "org.kde.StatusNotifierItem", "Menu")


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
