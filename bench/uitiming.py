#!/usr/bin/python3
"""Times what a user sees of one run of Keyfold (or of the bare-Qt floor) from X events.

Drives the program through the X test extension and watches the screen through the
X Damage extension, so no helper process is started while a figure is timed:
  key     launch to the key phrase dialog painted (first damage after its map)
  cont    "Continue" pressed to the main window painted
  refresh "Refresh" released to the list area painted again
  open1   "Open Within" released to the local page visible (a pixel of the browser
          area in the page's colour), the first time in the run
  open2   the same, the second time (after closing the browser window)
and the memory of all the program's processes (the program and every process it
started, and theirs) at each point and after each browser window has closed: their
resident memory added up (rss_*, MB; shared pages counted in each process) and their
proportional set size added up (pss_*, MB; each shared page divided among the
processes that map it), from /proc/<pid>/smaps_rollup; and the CPU time (ms, user +
system, all those processes) from launch to the key dialog painted and settled (cpu_key), to the main window painted
(cpu_start), and
each "Open Within" took up to the page (cpu_open1, cpu_open2). The pointer rests on
"Open Within" for HOVER seconds (0.2) before the press, as a person's does while
aiming; the press is held 50 ms and the time runs from the release.
With --quiet SECONDS the run also waits that long after the second window has closed
and takes the memory once more (rss_quiet, pss_quiet). With --fill PASSWORD the run times nothing: it counts the copies of PASSWORD
(its 8-bit and its UTF-16 form) in the program's own memory with the list's first entry
on show (pw_before), then opens the entry of the page, presses "Auto Fill Pwd ", closes
the window, shows the first entry again and counts once more (pw_after). (Reading
another process's memory brings every page of its libraries in: no memory figure is
taken after it.)
Prints one line "name=value ...".
  uitiming.py <page colour rrggbb> <phrase> [--fill PASSWORD] -- <program> [arguments]
Needs DISPLAY, python3-xlib.
"""
import os
import select
import signal
import subprocess
import sys
import time

from Xlib import X, XK, display
from Xlib.ext import damage, xtest  # noqa: F401 (registers the extensions)
from Xlib.protocol import event as xevent

KEY_TITLE = "Encryption Key Phrase"
MAIN_TITLE = "Keyfold"
BROWSER_TITLE = "Keyfold Auto Viewer - Password Filler"
# Places inside the main window (the same in Keyfold and in the floor).
REFRESH = (133 + 24, 16 + 9)
OPEN_WITHIN = (279 + 56, 296 + 11)
LIST_AREA = (16, 41, 251, 505)
PAGE_POINT = (300, 400)  # inside the browser area
AUTO_FILL = (1 + 357 + 42, 1 + 6 + 12)  # "Auto Fill Pwd " in the browser window
FIRST_LINE = (16 + 60, 41 + 8)  # the first line of the name list


def now():
    return time.monotonic()


class Screen:
    def __init__(self):
        self.d = display.Display()
        # A window may be gone before its damage object is made: nothing to report.
        self.d.set_error_handler(lambda *args: None)
        self.root = self.d.screen().root
        self.d.damage_query_version()
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.windows = {}  # id -> state
        self.d.sync()

    def _state(self, wid):
        return self.windows.setdefault(wid, {"mapped": None, "damage": []})

    def pump(self, timeout):
        """Handles the events that are waiting, or that come within timeout seconds."""
        if not self.d.pending_events():
            select.select([self.d.fileno()], [], [], timeout)
        while self.d.pending_events():
            e = self.d.next_event()
            t = now()
            if e.type == X.CreateNotify and e.parent == self.root:
                st = self._state(e.window.id)
                st["window"] = e.window
                e.window.damage_create(damage.DamageReportRawRectangles)
            elif e.type == X.MapNotify and e.event == self.root:
                st = self._state(e.window.id)
                st["window"] = e.window
                st["mapped"] = t
                st["damage"] = []
            elif e.type == X.UnmapNotify and e.event == self.root:
                self._state(e.window.id)["mapped"] = None
            elif e.type == X.DestroyNotify and e.event == self.root:
                self.windows.pop(e.window.id, None)
            elif e.type == self.d.extension_event.DamageNotify:
                st = self.windows.get(e.drawable.id)
                if st is not None and st["mapped"] is not None:
                    a = e.area
                    st["damage"].append((t, a.x, a.y, a.width, a.height))

    def title(self, window):
        try:
            name = window.get_full_text_property(self.d.intern_atom("_NET_WM_NAME"))
            return name or window.get_wm_name() or ""
        except Exception:
            return ""

    def mapped(self, title):
        for wid, st in self.windows.items():
            if st["mapped"] is not None and "window" in st and self.title(st["window"]) == title:
                return st
        return None

    def wait(self, test, limit=20.0, what=""):
        end = now() + limit
        while now() < end:
            got = test()
            if got:
                return got
            self.pump(0.005)
        raise SystemExit("timed out waiting for " + (what or test.__name__))

    def painted(self, title, after=0.0, area=None, quiet=0.06):
        """The window with this title once mapped and painted: (state, time of the last
        damage of the first burst after `after`, in `area` if given). A burst ends when
        `quiet` seconds pass without more damage; a window is often drawn in a few puts."""
        def hits(d):
            if d[0] < after:
                return False
            if area is None:
                return True
            x, y, w, h = area
            return d[1] < x + w and x < d[1] + d[3] and d[2] < y + h and y < d[2] + d[4]

        def first():
            st = self.mapped(title)
            return st if st and any(hits(d) for d in st["damage"]) else None
        st = self.wait(first, what="first paint of " + title)
        while True:
            last = max(d[0] for d in st["damage"] if hits(d))
            if now() - last >= quiet:
                return st, last
            self.pump(0.005)

    def origin(self, window):
        r = window.translate_coords(self.root, 0, 0)
        return -r.x, -r.y

    def pixel(self, window, x, y):
        img = window.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF)
        b, g, r = img.data[0], img.data[1], img.data[2]
        return "%02x%02x%02x" % (r, g, b)

    def click(self, window, x, y, hover=0.0):
        ox, oy = self.origin(window)
        xtest.fake_input(self.d, X.MotionNotify, x=ox + x, y=oy + y)
        self.d.sync()
        end = now() + hover
        while now() < end:
            self.pump(0.005)
        xtest.fake_input(self.d, X.ButtonPress, 1)
        self.d.sync()
        end = now() + 0.05  # the pressed button is drawn before the release
        while now() < end:
            self.pump(0.005)
        released = now()
        xtest.fake_input(self.d, X.ButtonRelease, 1)
        self.d.flush()
        return released

    def key(self, name):
        code = self.d.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(self.d, X.KeyPress, code)
        xtest.fake_input(self.d, X.KeyRelease, code)
        self.d.flush()

    def type(self, text):
        for ch in text:
            self.key("space" if ch == " " else ch)

    def close(self, window):
        protocols = self.d.intern_atom("WM_PROTOCOLS")
        delete = self.d.intern_atom("WM_DELETE_WINDOW")
        ev = xevent.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(ev)
        self.d.sync()


HOVER = 0.2


def memory(pid):
    """(RSS, PSS) in MB of the process and all its descendants alive now."""
    rss = pss = 0
    for p in family(pid):
        try:
            with open("/proc/%d/smaps_rollup" % p) as f:
                for line in f:
                    if line.startswith("Rss:"):
                        rss += int(line.split()[1])
                    elif line.startswith("Pss:"):
                        pss += int(line.split()[1])
        except OSError:
            pass
    return rss / 1024.0, pss / 1024.0


def take_memory(out, name, pid):
    out["rss_" + name], out["pss_" + name] = memory(pid)


def family(pid):
    """The process and all its descendants alive now: {pid: CPU ticks}."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                parents[int(entry)] = (int(fields[1]), int(fields[11]) + int(fields[12]))
            except (OSError, IndexError):
                pass
    found, grew = {pid}, True
    while grew:
        grew = False
        for p, (pp, _) in parents.items():
            if pp in found and p not in found:
                found.add(p)
                grew = True
    return {p: parents.get(p, (0, 0))[1] for p in found}


def cpu_seconds(pid):
    """CPU time (user + system) of the process and all its descendants alive now."""
    return sum(family(pid).values()) / os.sysconf("SC_CLK_TCK")


def end(proc):
    """Ends the program and its web engine processes, and waits until all are gone, so
    that the next run does not start while they are still being torn down."""
    pids = family(proc.pid)
    for p in pids:
        try:
            os.kill(p, signal.SIGKILL)
        except OSError:
            pass
    proc.wait()
    deadline = time.monotonic() + 10.0
    while time.monotonic() < deadline and any(os.path.exists("/proc/%d/stat" % p) and not zombie(p) for p in pids):
        time.sleep(0.01)


def zombie(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


def copies(pid, secret):
    """How often the text occurs in the process's readable memory, as 8-bit text and as
    UTF-16."""
    forms = [secret.encode("latin-1"), secret.encode("utf-16-le")]
    found = 0
    with open("/proc/%d/maps" % pid) as maps, open("/proc/%d/mem" % pid, "rb", 0) as mem:
        for line in maps:
            fields = line.split()
            if not fields[1].startswith("r") or (len(fields) > 5 and fields[5] in ("[vvar]", "[vsyscall]")):
                continue
            start, stop = (int(x, 16) for x in fields[0].split("-"))
            try:
                mem.seek(start)
                data = mem.read(stop - start)
            except (OSError, ValueError, OverflowError):
                continue
            found += sum(data.count(f) for f in forms)
    return found


def settle(s, seconds):
    end = now() + seconds
    while now() < end:
        s.pump(0.01)


def main():
    colour, phrase = sys.argv[1], sys.argv[2]
    options = sys.argv[:sys.argv.index("--")]
    secret = options[options.index("--fill") + 1] if "--fill" in options else None
    quiet = float(options[options.index("--quiet") + 1]) if "--quiet" in options else None
    program = sys.argv[sys.argv.index("--") + 1:]
    s = Screen()
    out = {}
    # A user starts the program on a settled machine: the previous run's processes are
    # gone (end()), and the X server has dealt with their windows.
    settle(s, 0.3)
    start = now()
    proc = subprocess.Popen(program, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        st, t = s.painted(KEY_TITLE, start)
        out["key"] = t - start
        settle(s, 0.3)
        out["cpu_key"] = cpu_seconds(proc.pid)
        take_memory(out, "key", proc.pid)
        s.d.set_input_focus(st["window"], X.RevertToParent, X.CurrentTime)
        s.type(phrase)
        s.key("Tab")
        settle(s, 0.1)
        start = now()  # the key goes down and up at once; the button acts on the release
        s.key("space")
        main, t = s.painted(MAIN_TITLE, start)
        if main["window"].get_geometry().width < 600:
            # The plain file's phrase check doubts the phrase over this file of made-up
            # entries and asks: "Open anyway" (before the default Cancel). Continue is
            # then not timed (asked=1).
            out["asked"] = 1.0
            settle(s, 0.3)
            shift = s.d.keysym_to_keycode(XK.string_to_keysym("Shift_L"))
            xtest.fake_input(s.d, X.KeyPress, shift)
            s.key("Tab")
            xtest.fake_input(s.d, X.KeyRelease, shift)
            s.key("space")

            def wide(window):
                try:
                    return window.get_geometry().width >= 600
                except Exception:  # gone meanwhile (the question's window)
                    return False

            def main_window():
                for st in list(s.windows.values()):
                    if (st["mapped"] is not None and st["damage"] and "window" in st
                            and s.title(st["window"]) == MAIN_TITLE and wide(st["window"])):
                        return st
                return None
            main = s.wait(main_window, what="the main window after the question")
        else:
            out["cont"] = t - start
        settle(s, 0.5)
        out["cpu_start"] = cpu_seconds(proc.pid)
        take_memory(out, "main", proc.pid)
        with open("/proc/%d/maps" % proc.pid) as f:
            out["engine_main"] = 1.0 if "libQt6WebEngine" in f.read() else 0.0

        window = main["window"]
        # A first click on an empty place makes the window active (the list's selection
        # takes its active colour), so the timed clicks start from a settled window.
        s.click(window, 640, 20)
        settle(s, 0.3)
        main["damage"] = []
        start = s.click(window, *REFRESH)
        _, t = s.painted(MAIN_TITLE, start, LIST_AREA)
        out["refresh"] = t - start
        settle(s, 0.3)
        take_memory(out, "refresh", proc.pid)

        if secret:
            s.click(window, *FIRST_LINE)
            settle(s, 0.3)
            out["pw_before"] = copies(proc.pid, secret)
            s.click(window, *REFRESH)  # back to the entry of the page
            settle(s, 0.5)

        for n in (3,) if secret else (1, 2):
            cpu = cpu_seconds(proc.pid)
            start = s.click(window, *OPEN_WITHIN, hover=HOVER)

            def page_visible():
                st = s.mapped(BROWSER_TITLE)
                if st and s.pixel(st["window"], *PAGE_POINT) == colour:
                    return st, now()
                return None
            st, t = s.wait(page_visible)
            if n == 3:
                s.click(st["window"], *AUTO_FILL)
                settle(s, 1.0)
                s.close(st["window"])
                s.wait(lambda: s.mapped(BROWSER_TITLE) is None)
                settle(s, 1.0)
                s.click(window, *FIRST_LINE)
                settle(s, 0.5)
                out["pw_after"] = copies(proc.pid, secret)
                break
            out["open%d" % n] = t - start
            out["cpu_open%d" % n] = cpu_seconds(proc.pid) - cpu
            settle(s, 1.0)
            take_memory(out, "open%d" % n, proc.pid)
            s.close(st["window"])
            s.wait(lambda: s.mapped(BROWSER_TITLE) is None)
            settle(s, 1.0)
            take_memory(out, "closed%d" % n, proc.pid)
            # The pointer leaves the button, as a person's does.
            s.click(window, 640, 20)
        if quiet is not None:
            settle(s, quiet)
            take_memory(out, "quiet", proc.pid)
    finally:
        end(proc)
    print(" ".join("%s=%.1f" % (k, v if k.startswith(("rss", "pss", "engine", "pw", "asked")) else v * 1000) for k, v in out.items()))


if __name__ == "__main__":
    main()
