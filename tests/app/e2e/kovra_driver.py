#!/usr/bin/env python3
# The driver of the end-to-end tests: Kovra copied into a folder of its own, started on an X
# display, driven by real key and mouse events, read back from its title, screen and settings.
#
# Needs DISPLAY (scripts/on-virtual-display gives one), xdotool, wmctrl, xwininfo, xprop,
# ImageMagick's import, and KOVRA_BINARY naming the built program.
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

KOVRA_BINARY = os.environ.get("KOVRA_BINARY", "")
KOVRA_DEVICES = os.environ.get("KOVRA_DEVICES", "")
KOVRA_JACK_SEND = os.environ.get("KOVRA_JACK_SEND", "")
KOVRA_JACK_SERVER = os.environ.get("KOVRA_JACK_SERVER", "")
IMPORT = "/usr/bin/import"

# The placeholder pictures the two cameras show while none is configured.
PALE_BLUE = (200, 200, 255)  # Camera A
PALE_RED = (255, 200, 200)  # Camera B
COLOUR_TOLERANCE = 3

STATUS = re.compile(r"^Kovra 1\.00 EFF:(\d+) C1:(\d+) C2:(\d+) FS:(\d+\.\d)$")
START_TITLE = "Kovra 1.00 EFF:0 C1:0 C2:0 FS:0.0"
SCREEN_SIZE = (1280, 800)

# The View menu's items in order, as the keys reach them (the separator before Exit is skipped).
# The View menu's items in order. The keyboard skips the separator before Exit.
VIEW_ITEMS = ("Full Screen", "Output Screen", "Preview", "Control", "Send to Other Programs",
              "Stream", "Record", "About", "Exit")
# Greyed out without a PipeWire daemon, which the keys then skip.
SEND_ITEM = "Send to Other Programs"


def view_item_position(name, greyed=(SEND_ITEM,)):
    """Where the keys find the item named in the View menu (1 = first), past the items greyed
    out, which they skip."""
    return [item for item in VIEW_ITEMS if item not in greyed or item == name].index(name) + 1


def view_menu_keys(item, entry=None, greyed=(SEND_ITEM,)):
    """The keys that take a View item from the just opened menu (nothing highlighted): Down
    to the item, then, for a submenu, Right (which highlights its first entry) and Down to the
    entry-th one (0 = first), and Return."""
    keys = ["Down"] * view_item_position(item, greyed)
    if entry is not None:
        keys += ["Right"] + ["Down"] * entry
    return keys + ["Return"]

# A device position far past the cameras and built-in test patterns there are.
NO_SUCH_CAMERA = 99

# ---------------------------------------------------------------------------------------
# X helpers


def run(*args, timeout=60, check=True):
    """Runs a command and gives its standard output."""
    done = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    if check and done.returncode != 0:
        raise AssertionError(f"{' '.join(args)} failed ({done.returncode}): {done.stderr}")
    return done.stdout


def xdo(*args, timeout=60):
    return run("xdotool", *args, timeout=timeout)


def poll(read, done, timeout=20.0, interval=0.05):
    """Reads until done(value) holds or the time is up; gives the last value read."""
    end = time.monotonic() + timeout
    while True:
        value = read()
        if done(value) or time.monotonic() > end:
            return value
        time.sleep(interval)


def window_info(win):
    """Absolute position, size and whether the window is mapped and viewable."""
    text = run("xwininfo", "-id", str(win))

    def field(name):
        return int(re.search(name + r":\s+(-?\d+)", text).group(1))

    return {
        "x": field("Absolute upper-left X"),
        "y": field("Absolute upper-left Y"),
        "w": field("Width"),
        "h": field("Height"),
        "viewable": "IsViewable" in text,
    }


def child_windows(win):
    text = run("xwininfo", "-id", str(win), "-children")
    return [int(m.group(1), 16) for m in re.finditer(r"^\s+(0x[0-9a-f]+) ", text, re.M)]


def wm_state(win):
    return run("xprop", "-id", str(win), "_NET_WM_STATE")


def frame_extents(win):
    """Left, right, top and bottom widths of the window manager's frame."""
    text = run("xprop", "-id", str(win), "_NET_FRAME_EXTENTS")
    numbers = [int(n) for n in re.findall(r"\d+", text.split("=", 1)[-1])]
    return tuple(numbers) if len(numbers) == 4 else (0, 0, 0, 0)


def visible_popups():
    """Kovra's menus: unframed windows straight on the root window, mapped, larger than 1x1."""
    text = run("xwininfo", "-root", "-children")
    line = re.compile(r'^\s+(0x[0-9a-f]+) "Kovra": \("Kovra" "Kovra"\)\s+(\d+)x(\d+)', re.M)
    popups = []
    for m in line.finditer(text):
        win, w, h = int(m.group(1), 16), int(m.group(2)), int(m.group(3))
        if w > 1 and h > 1:
            try:
                info = window_info(win)
            except AssertionError:
                continue  # gone meanwhile
            if info["viewable"]:
                popups.append(info)
    return popups


class Screen:
    """One screenshot of the whole display, read from ImageMagick's binary PPM."""

    def __init__(self):
        data = subprocess.run([IMPORT, "-window", "root", "-depth", "8", "ppm:-"],
                              capture_output=True, timeout=60, check=True).stdout
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6":
            raise AssertionError(f"screenshot is not a binary PPM: {fields[0]!r}")
        self.width, self.height, maxval = int(fields[1]), int(fields[2]), int(fields[3])
        self.bytes_per_sample = 1 if maxval < 256 else 2
        self.data = data[pos + 1:]

    def pixel(self, x, y):
        n = self.bytes_per_sample
        at = (y * self.width + x) * 3 * n
        if n == 1:
            return tuple(self.data[at:at + 3])
        return tuple(self.data[at + 2 * i] for i in range(3))  # high bytes of 16-bit samples

    def samples(self, rect, x0, x1, y0, y1, steps=6):
        """Pixels on a grid over the part of rect between the given fractions of its size."""
        points = []
        for i in range(steps):
            for j in range(steps):
                fx = x0 + (x1 - x0) * i / (steps - 1)
                fy = y0 + (y1 - y0) * j / (steps - 1)
                x = rect["x"] + int(fx * (rect["w"] - 1))
                y = rect["y"] + int(fy * (rect["h"] - 1))
                points.append(((x, y), self.pixel(x, y)))
        return points


def close_to(colour, expected):
    return all(abs(a - b) <= COLOUR_TOLERANCE for a, b in zip(colour, expected))


def off_colour(points, expected):
    return [(xy, c) for xy, c in points if not close_to(c, expected)]


def ink_runs(screen, x0, x1, y0, y1, background, gap=8):
    """Groups of columns holding something other than the background (text on a bar), each
    as (first column, last column, darkest pixel's sum of channels)."""
    runs = []
    for x in range(x0, x1):
        darkest = min(sum(screen.pixel(x, y)) for y in range(y0, y1))
        if abs(darkest - sum(background)) < 60:
            continue
        if runs and x - runs[-1][1] <= gap:
            runs[-1] = (runs[-1][0], x, min(runs[-1][2], darkest))
        else:
            runs.append((x, x, darkest))
    return runs


# ---------------------------------------------------------------------------------------
# One run of the program


class Kovra:
    """Kovra copied into a folder of its own, so its settings file is the test's own: the
    program finds the file beside its resolved path, and the effects library through the
    binary's run path."""

    def __init__(self, test, ini=None, env=None, **popen):
        self.test = test
        self.popen = popen  # more for the process: another user, limits
        self.dir = tempfile.mkdtemp(prefix="kovra-e2e-")
        test.addCleanup(shutil.rmtree, self.dir, True)
        self.program = os.path.join(self.dir, "Kovra")
        shutil.copy2(KOVRA_BINARY, self.program)
        self.ini_path = os.path.join(self.dir, "Kovra.ini")
        if ini is not None:
            with open(self.ini_path, "wb") as f:
                f.write(ini.encode() if isinstance(ini, str) else ini)
        self.env = dict(os.environ)
        # No PipeWire daemon answers unless the test brings one: Send is greyed out, wherever
        # the tests run.
        self.env["PIPEWIRE_REMOTE"] = os.path.join(self.dir, "no-pipewire")
        self.env.update(env or {})
        self.proc = None
        self.win = None

    # -- life

    def start(self):
        self.log = open(os.path.join(self.dir, "output.log"), "wb")
        self.test.addCleanup(self.log.close)
        self.started = time.monotonic()
        self.proc = subprocess.Popen([self.program], cwd=self.dir, env=self.env,
                                     stdout=self.log, stderr=subprocess.STDOUT, **self.popen)
        self.test.addCleanup(self.kill)
        return self

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)

    def open(self):
        """Starts the program and waits for its main window."""
        self.start()
        self.win = self.find_window("^Kovra 1")
        return self

    def find_window(self, name, timeout=60):
        win = poll(lambda: self.window_named(name), lambda w: w is not None or not self.running(),
                   timeout, interval=0.1)
        if win is None:
            raise AssertionError(f"no visible window named {name!r} within {timeout} s; "
                                 f"exit code {self.proc.poll()}, output: {self.output()}")
        return win

    def window_named(self, name):
        """The visible window of this run with the name, or None. A search walks every window
        on the display, and one that goes away meanwhile (another dialog or program closing)
        fails it with BadWindow: such a search is made again."""
        for _ in range(20):
            done = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                   str(self.proc.pid), "--name", name],
                                  capture_output=True, text=True, timeout=30)
            if "BadWindow" not in done.stderr:
                break
        ids = done.stdout.split()
        return int(ids[0]) if ids else None

    def wait_exit(self, timeout=60):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"Kovra still running {timeout} s after it was told to close")

    def running(self):
        return self.proc.poll() is None

    def output(self):
        self.log.flush()
        with open(os.path.join(self.dir, "output.log"), "rb") as f:
            return f.read().decode(errors="replace")

    # -- status line

    def title(self, win=None):
        return xdo("getwindowname", str(win or self.win)).rstrip("\n")

    def wait_title(self, expected, timeout=30.0):
        """The title once it reads as expected (a string, or a predicate), or when time is up."""
        match = expected if callable(expected) else (lambda t: t == expected)
        return poll(self.title, match, timeout)

    def wait_status(self, effect, ctrl1, ctrl2, timeout=30.0):
        """The title once its effect and controls read as given (any frame rate)."""
        want = (effect, ctrl1, ctrl2)
        return self.wait_title(lambda t: status_of(t)[:3] == want, timeout)

    # -- input

    def focus(self, win=None):
        xdo("windowfocus", "--sync", str(win or self.win))

    def keys(self, *names, delay=20, win=None):
        self.focus(win)
        xdo("key", "--delay", str(delay), *names, timeout=60)

    def click(self, x, y, win=None):
        """A left click at a point given relative to the window's top-left corner."""
        xdo("mousemove", "--window", str(win or self.win), str(x), str(y), "click", "1")

    def click_screen(self, x, y):
        xdo("mousemove", str(x), str(y), "click", "1")

    # -- geometry

    def geometry(self):
        return window_info(self.win)

    def picture(self):
        """Where the picture is drawn: the window's one child, below the menu bar."""
        children = child_windows(self.win)
        self.test.assertEqual(len(children), 1, "the main window should hold just the picture")
        return window_info(children[0])

    def full_screen(self):
        return "_NET_WM_STATE_FULLSCREEN" in wm_state(self.win)

    def wait_full_screen(self, wanted, timeout=30.0):
        """Waits until the window covers the screen with the menu bar gone (or, not wanted,
        is a window with its menu bar), as the user sees it before acting again."""
        def settled(_):
            g, p = self.geometry(), self.picture()
            covers = (g["x"], g["y"], g["w"], g["h"]) == (0, 0) + SCREEN_SIZE
            menu_bar = p["y"] > g["y"]
            return self.full_screen() == wanted and covers == wanted and menu_bar != wanted
        poll(lambda: None, settled, timeout)

    def menu_bar(self):
        """The strip between the top of the window and the picture."""
        g, p = self.geometry(), self.picture()
        return {"x": g["x"], "y": g["y"], "w": g["w"], "h": p["y"] - g["y"]}

    def menu_titles(self, screen=None):
        """The menu titles on the bar as ink runs, in absolute screen columns."""
        bar = self.menu_bar()
        self.test.assertGreater(bar["h"], 8, "no menu bar above the picture")
        screen = screen or Screen()
        background = screen.pixel(bar["x"] + bar["w"] - 3, bar["y"] + bar["h"] // 2)
        # The bar's bottom edge is a line of its own; the text sits above it.
        return ink_runs(screen, bar["x"] + 1, bar["x"] + bar["w"] - 1, bar["y"] + 2,
                        bar["y"] + bar["h"] - 3, background)

    def wait_menu_titles(self):
        """The menu titles once all four are drawn: a window just shown may not have painted
        its menu bar yet."""
        return poll(self.menu_titles, lambda runs: len(runs) == 4, 30.0)

    def click_menu_title(self, index):
        bar = self.menu_bar()
        first, last, _ = self.wait_menu_titles()[index]
        self.click_screen((first + last) // 2, bar["y"] + bar["h"] // 2)

    def open_view_menu(self):
        self.click_menu_title(0)
        popups = poll(visible_popups, bool, 30.0)
        self.test.assertTrue(popups, "clicking View opened no menu")
        return popups[0]

    def choose_view_item(self, item, entry=None, greyed=(SEND_ITEM,)):
        """Opens View and takes the named item (a submenu's entry-th entry) with the keyboard,
        past the items greyed out (Send, where no PipeWire daemon answers), which it skips."""
        self.open_view_menu()
        xdo("key", "--delay", "40", *view_menu_keys(item, entry, greyed))

    def wait_picture(self, predicate, timeout=30.0):
        """A screenshot once predicate(screen) holds, or the last one when time is up."""
        return poll(Screen, predicate, timeout, interval=0.1)

    # -- settings file

    def ini_text(self):
        with open(self.ini_path, encoding="utf-8") as f:
            return f.read()


def status_of(title):
    m = STATUS.match(title)
    if not m:
        return (None, None, None, None)
    return (int(m.group(1)), int(m.group(2)), int(m.group(3)), m.group(4))


def read_ini(text):
    """Sections of name=value lines, as {section: {key: value}}; comments and blanks left out."""
    sections, current = {}, None
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith(";") or line.startswith("#"):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif "=" in line and current is not None:
            key, value = line.split("=", 1)
            current[key.strip()] = value.strip()
    return sections


ALL_ZERO = {
    "MIDI": {"DEVICE": "0", "CH": "0", "CTRL1": "0", "CTRL2": "0"},
    "CAMERA": {"DEVICE1": "0", "DEVICE2": "0"},
}


class KovraTestCase(unittest.TestCase):
    def kovra(self, **kwargs):
        return Kovra(self, **kwargs).open()

    def assertStatus(self, k, effect, ctrl1, ctrl2, timeout=30.0):
        """The title comes to show the effect and the controls (at any frame rate)."""
        title = k.wait_status(effect, ctrl1, ctrl2, timeout)
        self.assertEqual(status_of(title)[:3], (effect, ctrl1, ctrl2), title)

    def assertCoversScreen(self, k):
        """Full screen: the window and its picture cover the screen, with no frame."""
        # The window manager's state comes first; the window and the picture follow it.
        screen = (0, 0) + SCREEN_SIZE
        g = poll(k.geometry, lambda g: (g["x"], g["y"], g["w"], g["h"]) == screen, 30)
        self.assertEqual((g["x"], g["y"], g["w"], g["h"]), screen)
        self.assertTrue(k.full_screen(), wm_state(k.win))
        self.assertEqual(frame_extents(k.win), (0, 0, 0, 0), "a frame is still drawn")
        p = poll(k.picture, lambda p: (p["x"], p["y"], p["w"], p["h"]) == screen, 30)
        self.assertEqual((p["x"], p["y"], p["w"], p["h"]), (0, 0) + SCREEN_SIZE,
                         "the picture does not cover the screen (is the menu bar showing?)")

    def assertPictureIs(self, screen, rect, colour, where, x0=0.05, x1=0.95, y0=0.05, y1=0.95):
        wrong = off_colour(screen.samples(rect, x0, x1, y0, y1), colour)
        self.assertFalse(wrong, f"{where} should be {colour}; differs at {wrong[:5]}")


# ---------------------------------------------------------------------------------------


# ---------------------------------------------------------------------------------------
# Devices: the camera positions and a JACK server of the test's own


def device_position(name):
    listing = subprocess.run([KOVRA_DEVICES], capture_output=True, text=True, timeout=30,
                             check=True).stdout
    for line in listing.splitlines():
        number, _, device = line.partition(" ")
        if device == name:
            return int(number)
    raise AssertionError(f"{name!r} is not in the device list: {listing!r}")


class JackServer:
    """A JACK server of the test's own, through kovra_jack_server: the C++ tests' own way to
    start one (dummy back end, a name of its own, started again while the user's places for
    servers are taken) and to stop it by its own pid. It stops when its input closes."""

    def __init__(self, test):
        self.proc = subprocess.Popen([KOVRA_JACK_SERVER], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        test.addCleanup(self.stop)
        line = self.proc.stdout.readline().split()
        test.assertEqual(line[:1], ["ready"], "jackd did not start")
        self.name = line[1]
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()  # the server takes two to three seconds to go, or longer
            try:
                self.proc.wait(60)
            except subprocess.TimeoutExpired:
                self.proc.terminate()  # the launcher still stops its server first
                self.proc.wait(60)
        self.proc.stdout.close()


class Sender:
    """A JACK client with one MIDI output port, each send one event, and one MIDI input port
    that keeps what it receives."""

    def __init__(self, test, server, name="sender"):
        self.proc = subprocess.Popen([KOVRA_JACK_SEND, name], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True, env=server.env)
        test.addCleanup(self.close)
        line = self.proc.stdout.readline().split()
        test.assertEqual(line[:1], ["ready"], "the sender did not start")
        self.port = line[1]

    def ask(self, what):
        self.proc.stdin.write(what + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip() == "ok"

    def received(self):
        """Every short message received so far, as "b0 01 05"."""
        self.proc.stdin.write("received\n")
        self.proc.stdin.flush()
        line = self.proc.stdout.readline().rstrip("\n")
        assert line.startswith("received"), line
        text = line[len("received "):]
        return text.split(",") if text else []

    def send(self, *events):
        for event in events:
            self.proc.stdin.write(event + "\n")
        self.proc.stdin.flush()
        return self.ask("flush")

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(10)
        self.proc.stdout.close()


def midi_device_id(port, env):
    """The port's device id and the device count. A listing on a busy machine can find no
    server for a moment (its connection times out), so it is read again for a while."""
    def listing():
        return subprocess.run([KOVRA_DEVICES, "--midi"], capture_output=True, text=True,
                              timeout=30, check=True, env=env).stdout
    def listed(text):
        return any(line.partition(" ")[2] == "JACK: " + port for line in text.splitlines())

    text = poll(listing, listed, timeout=30.0, interval=0.2)
    for line in text.splitlines():
        number, _, device = line.partition(" ")
        if device == "JACK: " + port:
            return int(number), len(text.splitlines())
    raise AssertionError(f"{port!r} is not among the MIDI devices: {text!r}")


def main():
    """Runs the calling file's tests."""
    if not os.path.isfile(KOVRA_BINARY):
        sys.exit(f"KOVRA_BINARY must name the built Kovra program (got {KOVRA_BINARY!r})")
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: run under scripts/on-virtual-display")
    unittest.main(module="__main__")
