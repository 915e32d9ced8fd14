#!/usr/bin/python3
"""End to end: `quotabar login` drives the real sign-in window (quotabar-signin) against
fake-services' login pages. Runs inside tests/support/desktop-session.sh --a11y --keyring."""
import json, os, select, signal, subprocess, sys, time, urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import click, close_window, fake_services, find, poll, shot, visible_windows  # noqa: E402

BIN = os.environ["QUOTABAR_BUNDLE_BIN"]
QUOTABAR = os.path.join(BIN, "quotabar")
SESSION = "WorkosCursorSessionToken=demo-cursor; fake_prefs=dark; fake_trail=1"
failures = []


def check(ok, what):
    print(("PASS " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


env = dict(os.environ)
fake = fake_services(BIN, env)
ORIGIN = env["QUOTABAR_ORIGIN_CURSOR"]
if os.geteuid() == 0:
    env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"  # the engine refuses root otherwise; tests only
env["QTWEBENGINE_CHROMIUM_FLAGS"] = "--disable-gpu"
env["QT_LOGGING_RULES"] = "com.orvane.quotabar.login*=true"


def api_cookies():
    with urllib.request.urlopen(ORIGIN + "/fake-login/requests", timeout=5) as r:
        return [e["cookie"] for e in json.load(r) if e["path"] == "/api/auth/me"]


def children(pid):
    out = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout
    return [int(p) for p in out.split()]


def find_window():
    return (visible_windows("Sign in to Cursor") or [None])[0]


class Login:
    """One `quotabar login cursor` run and its window."""

    def __init__(self, extra_env=None):
        self.err_path = os.path.join(os.environ["DESKTOP_SESSION_TMP"], "login-%d.err" % time.time_ns())
        self.err = open(self.err_path, "w")
        self.proc = subprocess.Popen([QUOTABAR, "login", "cursor"], env=dict(env, **(extra_env or {})),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.err,
                                     text=True)
        self.wid = None

    def log(self):
        return open(self.err_path).read()

    def shown(self):
        """Waits for the window and the login page in it."""
        self.wid = poll(find_window)
        return bool(self.wid) and bool(poll(lambda: "Loaded " + ORIGIN + "/loginDeepControl" in self.log()))

    def click_block(self, i):
        """Clicks the i-th 100-pixel block of the fake login page."""
        self.wid = poll(find_window, 5)
        geo = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.wid],
                             capture_output=True, text=True).stdout
        g = dict(l.split("=") for l in geo.split())
        click(int(g["X"]) + 280, int(g["Y"]) + 50 + 100 * i)

    def finish(self, timeout=20):
        try:
            out, _ = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, _ = self.proc.communicate()
        self.err.close()
        return self.proc.returncode, out


def next_line(stream, timeout=20.0):
    """A line of a child's unbuffered output, or "" when none comes within `timeout`."""
    return stream.readline().decode() if select.select([stream], [], [], timeout)[0] else ""


def press(name):
    node = poll(lambda: find(None, name, "push button"), 10)
    check(node is not None, "screen reader sees the button \"%s\"" % name)
    if node:
        node.queryAction().doAction(0)


# 1. A real sign-in: exactly the domain's cookies in store order, validated, stored twice.
login = Login()
check(login.shown(), "the sign-in window shows the fake login page")
shot("signin-window")
login.click_block(0)
rc, out = login.finish()
log = login.log()
check(rc == 0 and out.count("Signed in to Cursor as ") == 1, "login exits 0 after one success: %r" % out)
check(log.count("Captured session on 127.0.0.1 via WorkosCursorSessionToken (3 cookies)") == 1,
      "one capture of the domain's three cookies")
check(api_cookies()[-1:] == [SESSION], "fetchAccount sent exactly the header: %r" % api_cookies()[-1:])
session_file = os.path.join(os.environ["XDG_DATA_HOME"], "Vantelo", "session-token-cursor")
check(open(session_file).read() == SESSION, "the session file holds the header")
os.rename(session_file, session_file + ".away")  # status must now find the keyring copy
st = subprocess.run([QUOTABAR, "status", "--json"], env=env, capture_output=True, text=True, timeout=30)
os.rename(session_file + ".away", session_file)
cursor = [p for p in json.loads(st.stdout)["providers"] if p["provider"] == "cursor"]
check(cursor and cursor[0]["state"] == "loaded", "status shows Cursor loaded from the keyring copy")
check(not subprocess.run(["xdotool", "search", "--name", "^Sign in to Cursor$"],
                         capture_output=True, text=True).stdout.strip(), "the window is gone")

# 2. A refused cookie alerts once, not once per tick; a changed cookie is tried again.
login = Login()
check(login.shown(), "second window shows")
login.click_block(1)
alert = poll(lambda: find(None, "Couldn't validate that token"), 10)
check(alert is not None, "the \"Couldn't validate that token\" alert is shown")
shot("signin-alert")
# Over more than four poll periods, no second alert and no second check.
check(not poll(lambda: len(visible_windows("Quotabar")) > 1 or login.log().count("Captured session") > 1, 3.5),
      "exactly one alert and one check of the unchanged header after several ticks")
press("OK")
poll(lambda: not visible_windows("Quotabar"), 5)
login.click_block(0)
rc, out = login.finish()
check(rc == 0, "a changed header is validated again and signs in")

# 3. Blanks pasted do nothing; a custom scheme is refused; a pop-up opens in the same view.
login = Login()
check(login.shown(), "third window shows")
before = len(api_cookies())
login.click_block(3)
check(poll(lambda: "Nav request: quotabar-demo://open" in login.log(), 5), "the custom-scheme link reached the policy")
check(not poll(lambda: "Error:" in login.log() or login.log().count("Loaded ") != 1, 1), "and was cancelled silently")
press("Paste token instead")
field = poll(lambda: find(None, "Session token"), 10)
check(field is not None, "the paste dialog's field is visible to a screen reader")
shot("signin-paste")
if field:
    field.queryEditableText().setTextContents("   \n  ")
press("Sign in")
check(not poll(lambda: len(api_cookies()) != before or login.proc.poll() is not None, 1.5), "blanks pasted validate nothing")
login.click_block(2)
rc, out = login.finish()
check(rc == 0 and "Nav request: " + ORIGIN + "/fake-login/submit" in login.log(),
      "the pop-up signs in inside the same view")

# 4. The caller goes away: its helper follows (standard input closed).
login = Login()
check(login.shown(), "fourth window shows")
helper = children(login.proc.pid)
os.kill(login.proc.pid, signal.SIGKILL)
login.finish(5)
check(helper and poll(lambda: not any(os.path.exists("/proc/%d" % p) for p in helper), 10),
      "the helper exits when its caller is gone")

# 5. The tray's path, speaking the line protocol to the helper itself: a closed window keeps
# its helper and cookie jar; presenting again reloads the login page; success comes once.
helper_log = os.path.join(os.environ["DESKTOP_SESSION_TMP"], "helper.err")
helper = subprocess.Popen([os.path.join(BIN, "quotabar-signin"), "cursor"], env=env, stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE, stderr=open(helper_log, "w"), bufsize=0)
helper.stdin.write(b"present\n")
check(next_line(helper.stdout) == "shown\n" and next_line(helper.stdout) == "loaded\n", "helper: shown, loaded")
login = Login.__new__(Login)
login.click_block(1)  # an expired cookie lands in the jar and fails once
press("OK")
poll(lambda: not visible_windows("Quotabar"), 5)  # a window under a modal alert refuses to close
close_window(login.wid)
check(next_line(helper.stdout) == "closed\n", "closing the window says closed")
check(not poll(lambda: helper.poll() is not None, 1.6), "the helper stays after its window closed")
def loaded():
    return open(helper_log).read().count("Loaded " + ORIGIN + "/loginDeepControl")


pages = loaded()
helper.stdin.write(b"present\n")
check(next_line(helper.stdout) == "shown\n", "presented again")
check(poll(lambda: loaded() > pages, 10), "the login page loads again")
login.click_block(0)
line = next_line(helper.stdout)
check(line.startswith("signed-in ada@example.com"), "signed in after reopening: %r" % line)
check(api_cookies()[-1] == "WorkosCursorSessionToken-expired=old; " + SESSION,
      "the jar kept the cookie set before the window closed")
check(helper.wait(10) == 0 and next_line(helper.stdout, 2) == "", "the helper exits after one success")

# 6. `quotabar login` whose window is closed exits 1.
login = Login()
check(login.shown(), "fifth window shows")
close_window(login.wid)
rc, out = login.finish(10)
check(rc == 1 and "Sign-in window closed" in login.log(), "a closed window: exit 1")

# 7. No display: one line, exit 1.
nd = subprocess.run([QUOTABAR, "login", "cursor"], env={k: v for k, v in env.items() if k != "DISPLAY"},
                    capture_output=True, text=True, timeout=10)
check(nd.returncode == 1 and nd.stderr.count("\n") == 1 and "No display" in nd.stderr, "no display: one line")

fake.terminate()
fake.wait()
print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
