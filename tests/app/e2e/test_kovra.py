#!/usr/bin/env python3
# End-to-end tests of Kovra as a user meets it: the real program on an X display, driven by
# real key and mouse events, checked through its window title, the screen and its settings file.
#
# Needs DISPLAY (scripts/on-virtual-display gives one), xdotool, wmctrl, xwininfo, xprop,
# ImageMagick's import, and KOVRA_BINARY naming the built program.
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

KOVRA_BINARY = os.environ.get("KOVRA_BINARY", "")
KOVRA_DEVICES = os.environ.get("KOVRA_DEVICES", "")
KOVRA_JACK_SEND = os.environ.get("KOVRA_JACK_SEND", "")
IMPORT = "/usr/bin/import"

# The placeholder pictures the two cameras show while none is configured.
PALE_BLUE = (200, 200, 255)  # Camera A
PALE_RED = (255, 200, 200)  # Camera B
COLOUR_TOLERANCE = 3

STATUS = re.compile(r"^Kovra 1\.00 EFF:(\d+) C1:(\d+) C2:(\d+) FS:(\d+\.\d)$")
START_TITLE = "Kovra 1.00 EFF:0 C1:0 C2:0 FS:0.0"
SCREEN_SIZE = (1280, 800)

# A device position far past the cameras and built-in test patterns there are.
NO_SUCH_CAMERA = 99


# ---------------------------------------------------------------------------------------
# X helpers


def run(*args, timeout=15, check=True):
    """Runs a command and gives its standard output."""
    done = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    if check and done.returncode != 0:
        raise AssertionError(f"{' '.join(args)} failed ({done.returncode}): {done.stderr}")
    return done.stdout


def xdo(*args, timeout=15):
    return run("xdotool", *args, timeout=timeout)


def poll(read, done, timeout=5.0, interval=0.05):
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
                              capture_output=True, timeout=20, check=True).stdout
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

    def __init__(self, test, ini=None, env=None):
        self.test = test
        self.dir = tempfile.mkdtemp(prefix="kovra-e2e-")
        test.addCleanup(shutil.rmtree, self.dir, True)
        self.program = os.path.join(self.dir, "Kovra")
        shutil.copy2(KOVRA_BINARY, self.program)
        self.ini_path = os.path.join(self.dir, "Kovra.ini")
        if ini is not None:
            with open(self.ini_path, "wb") as f:
                f.write(ini.encode() if isinstance(ini, str) else ini)
        self.env = dict(os.environ)
        self.env.update(env or {})
        self.proc = None
        self.win = None

    # -- life

    def start(self):
        self.log = open(os.path.join(self.dir, "output.log"), "wb")
        self.test.addCleanup(self.log.close)
        self.started = time.monotonic()
        self.proc = subprocess.Popen([self.program], cwd=self.dir, env=self.env,
                                     stdout=self.log, stderr=subprocess.STDOUT)
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

    def find_window(self, name, timeout=20):
        end = time.monotonic() + timeout
        while True:
            try:
                out = xdo("search", "--sync", "--all", "--onlyvisible", "--pid",
                          str(self.proc.pid), "--name", name,
                          timeout=max(1.0, end - time.monotonic()))
                return int(out.split()[0])
            except subprocess.TimeoutExpired:
                raise AssertionError(f"no visible window named {name!r} within {timeout} s; "
                                     f"exit code {self.proc.poll()}, output: {self.output()}")
            except AssertionError as error:
                # xdotool walks every window on the display and dies (BadWindow) when one
                # goes while it looks, as windows do while a program starts: look again.
                if "BadWindow" not in str(error) or time.monotonic() > end:
                    raise

    def window_named(self, name):
        """The visible window of this run with the name, or None."""
        done = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                               str(self.proc.pid), "--name", name],
                              capture_output=True, text=True, timeout=15)
        ids = done.stdout.split()
        return int(ids[0]) if ids else None

    def wait_exit(self, timeout=15):
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

    def wait_title(self, expected, timeout=5.0):
        """The title once it reads as expected (a string, or a predicate), or when time is up."""
        match = expected if callable(expected) else (lambda t: t == expected)
        return poll(self.title, match, timeout)

    def wait_status(self, effect, ctrl1, ctrl2, timeout=5.0):
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

    def wait_full_screen(self, wanted, timeout=5.0):
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

    def click_menu_title(self, index):
        bar = self.menu_bar()
        first, last, _ = self.menu_titles()[index]
        self.click_screen((first + last) // 2, bar["y"] + bar["h"] // 2)

    def open_view_menu(self):
        self.click_menu_title(0)
        popups = poll(visible_popups, bool, 5.0)
        self.test.assertTrue(popups, "clicking View opened no menu")
        return popups[0]

    def choose_view_item(self, position):
        """Opens View and takes the item at the position (1 = first) with Down and Return."""
        self.open_view_menu()
        xdo("key", "--delay", "40", *(["Down"] * position), "Return")

    def wait_picture(self, predicate, timeout=5.0):
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

    def assertStatus(self, k, effect, ctrl1, ctrl2, timeout=5.0):
        """The title comes to show the effect and the controls (at any frame rate)."""
        title = k.wait_status(effect, ctrl1, ctrl2, timeout)
        self.assertEqual(status_of(title)[:3], (effect, ctrl1, ctrl2), title)

    def assertCoversScreen(self, k):
        """Full screen: the window and its picture cover the screen, with no frame."""
        g = k.geometry()
        self.assertEqual((g["x"], g["y"], g["w"], g["h"]), (0, 0) + SCREEN_SIZE)
        self.assertTrue(k.full_screen(), wm_state(k.win))
        self.assertEqual(frame_extents(k.win), (0, 0, 0, 0), "a frame is still drawn")
        p = k.picture()
        self.assertEqual((p["x"], p["y"], p["w"], p["h"]), (0, 0) + SCREEN_SIZE,
                         "the picture does not cover the screen (is the menu bar showing?)")

    def assertPictureIs(self, screen, rect, colour, where, x0=0.05, x1=0.95, y0=0.05, y1=0.95):
        wrong = off_colour(screen.samples(rect, x0, x1, y0, y1), colour)
        self.assertFalse(wrong, f"{where} should be {colour}; differs at {wrong[:5]}")


# ---------------------------------------------------------------------------------------
# The status line


class StatusLineTest(KovraTestCase):
    def test_title_at_start_reads_all_zero(self):
        k = self.kovra()
        self.assertEqual(k.title(), START_TITLE)

    def test_frame_rate_shows_only_after_the_first_five_seconds(self):
        k = self.kovra()
        # Until five seconds have passed since launch there is no frame rate yet; the
        # program's clock starts after launch, so these readings are early for it too.
        early = []
        while time.monotonic() - k.started < 4.0:
            early.append(k.title())
            time.sleep(0.2)
        self.assertTrue(early, "the window took more than 4 s to appear")
        self.assertEqual(set(early), {START_TITLE})

    def test_frame_rate_appears_with_one_decimal(self):
        k = self.kovra()
        title = k.wait_title(lambda t: status_of(t)[3] not in (None, "0.0"), timeout=20)
        self.assertRegex(title, STATUS)  # the rate with one decimal
        effect, ctrl1, ctrl2, fps = status_of(title)
        self.assertEqual((effect, ctrl1, ctrl2), (0, 0, 0), title)
        # The loop is paced at about 30 frames a second: a busy machine can make it slower,
        # never faster.
        self.assertGreater(float(fps), 0.0)
        self.assertLessEqual(float(fps), 32.0, title)


# ---------------------------------------------------------------------------------------
# Keys in the main window


class KeyboardTest(KovraTestCase):
    def test_v_raises_and_c_lowers_ctrl1(self):
        k = self.kovra()
        k.keys(*"vvvvv")
        self.assertStatus(k, 0, 5, 0)
        k.keys(*"cc")
        self.assertStatus(k, 0, 3, 0)

    def test_n_raises_and_b_lowers_ctrl2(self):
        k = self.kovra()
        k.keys(*"nnnn")
        self.assertStatus(k, 0, 0, 4)
        k.keys("b")
        self.assertStatus(k, 0, 0, 3)

    def test_x_raises_and_z_lowers_effect(self):
        k = self.kovra()
        k.keys(*"xxx")
        self.assertStatus(k, 3, 0, 0)
        k.keys(*"zz")
        self.assertStatus(k, 1, 0, 0)

    def test_ctrl1_stays_within_0_and_127(self):
        k = self.kovra()
        k.keys(*"cc", "v")  # two steps down at 0 are lost, so one up gives 1
        self.assertStatus(k, 0, 1, 0)
        k.keys(*(["v"] * 130), delay=8)
        self.assertStatus(k, 0, 127, 0, timeout=10)
        k.keys("c")
        self.assertStatus(k, 0, 126, 0)

    def test_ctrl2_stays_within_0_and_127(self):
        k = self.kovra()
        k.keys(*"bb", "n")
        self.assertStatus(k, 0, 0, 1)
        k.keys(*(["n"] * 130), delay=8)
        self.assertStatus(k, 0, 0, 127, timeout=10)
        k.keys("b")
        self.assertStatus(k, 0, 0, 126)

    def test_effect_stays_within_0_and_15(self):
        k = self.kovra()
        k.keys(*"zz", "x")
        self.assertStatus(k, 1, 0, 0)
        k.keys(*(["x"] * 19))  # 20 presses from 0 in all
        self.assertStatus(k, 15, 0, 0)
        k.keys("z")
        self.assertStatus(k, 14, 0, 0)

    def test_holding_v_steps_ctrl1_once_for_every_repeat(self):
        k = self.kovra()
        k.focus()
        # Every change of the title is one property notification; xprop reports each.
        spy = subprocess.Popen(["xprop", "-spy", "-id", str(k.win), "_NET_WM_NAME"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(spy.wait)
        self.addCleanup(spy.kill)
        time.sleep(0.3)  # xprop has printed the current title and is listening
        xdo("keydown", "v")
        time.sleep(1.2)
        xdo("keyup", "v")
        time.sleep(0.5)  # the last repeats are handled and shown
        final = k.title()
        ctrl1 = status_of(final)[1]
        spy.kill()
        lines = spy.communicate()[0].splitlines()
        titles = [re.search(r'"(.*)"', line).group(1) for line in lines if '"' in line]
        self.assertGreaterEqual(ctrl1, 3, f"holding V gave no repeats: {final}")
        # Each repeat refreshes the title with Ctrl 1 one higher; a frame rate reading in
        # between is one more refresh of its own.
        frame_rate_changes = sum(1 for a, b in zip(titles, titles[1:])
                                 if status_of(a)[3] != status_of(b)[3])
        self.assertEqual(len(titles) - 1, ctrl1 + frame_rate_changes,
                         f"title refreshes do not match the steps: {titles}")

    def test_frame_memory_keys_change_nothing_without_a_camera(self):
        k = self.kovra()
        k.keys("x")
        self.assertStatus(k, 1, 0, 0)
        letters = "qwertyuiasdfghjk"
        k.keys(*letters, *("shift+" + c for c in letters), "Shift_L")
        k.keys("n")  # a marker: once it shows, every key before it has been handled
        self.assertStatus(k, 1, 0, 1)
        self.assertTrue(k.running())
        # Effect 1 at Ctrl 1 = 0 still shows Camera B's placeholder alone.
        rect = k.picture()
        screen = k.wait_picture(lambda s: not off_colour(s.samples(rect, .05, .95, .05, .95),
                                                         PALE_RED))
        self.assertPictureIs(screen, rect, PALE_RED, "the picture")


# ---------------------------------------------------------------------------------------
# What the cameras' placeholders look like through the effects


class PictureTest(KovraTestCase):
    def picture_once(self, k, colour, x0=0.05, x1=0.95):
        rect = k.picture()
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, x0, x1, .05, .95), colour))
        return screen, rect

    def test_effect_1_at_ctrl1_0_shows_only_camera_b_pale_red(self):
        k = self.kovra()
        k.keys("x")
        self.assertStatus(k, 1, 0, 0)
        screen, rect = self.picture_once(k, PALE_RED)
        self.assertPictureIs(screen, rect, PALE_RED, "the whole picture")

    def test_effect_1_at_ctrl1_127_shows_only_camera_a_pale_blue(self):
        k = self.kovra()
        k.keys("x", *(["v"] * 127), delay=8)
        self.assertStatus(k, 1, 127, 0, timeout=10)
        screen, rect = self.picture_once(k, PALE_BLUE)
        self.assertPictureIs(screen, rect, PALE_BLUE, "the whole picture")

    def test_effect_2_at_ctrl1_64_shows_blue_left_half_and_red_right_half(self):
        k = self.kovra()
        k.keys("x", "x", *(["v"] * 64), delay=8)
        self.assertStatus(k, 2, 64, 0, timeout=10)
        rect = k.picture()
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, .05, .42, .05, .95), PALE_BLUE)
            and not off_colour(s.samples(rect, .58, .95, .05, .95), PALE_RED))
        self.assertPictureIs(screen, rect, PALE_BLUE, "the left half", x0=.05, x1=.42)
        self.assertPictureIs(screen, rect, PALE_RED, "the right half", x0=.58, x1=.95)


# ---------------------------------------------------------------------------------------
# Full screen by mouse and by the window manager


class FullScreenTest(KovraTestCase):
    def red_window(self):
        """Kovra showing Camera B's placeholder over the whole picture (effect 1)."""
        k = self.kovra()
        k.keys("x")
        self.assertStatus(k, 1, 0, 0)
        # The user acts on a window they see drawn.
        rect = k.picture()
        k.wait_picture(lambda s: not off_colour(s.samples(rect, .05, .95, .05, .95), PALE_RED))
        return k

    def assertFullScreen(self, k):
        self.assertCoversScreen(k)
        # Without frame or menu bar the picture reaches every edge of the screen.
        screen_rect = {"x": 0, "y": 0, "w": SCREEN_SIZE[0], "h": SCREEN_SIZE[1]}
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(screen_rect, 0.002, 0.998, 0.002, 0.998, 9),
                                     PALE_RED))
        self.assertPictureIs(screen, screen_rect, PALE_RED, "the whole screen",
                             0.002, 0.998, 0.002, 0.998)

    def assertWindowWithMenuBar(self, k, before):
        g = k.geometry()
        self.assertFalse(k.full_screen(), wm_state(k.win))
        self.assertEqual((g["w"], g["h"]), (before["w"], before["h"]))
        self.assertGreater(frame_extents(k.win)[2], 0, "no title bar")
        titles = poll(k.menu_titles, lambda runs: len(runs) == 4, 3.0)
        self.assertEqual(len(titles), 4, f"menu bar titles seen: {titles}")

    def test_click_in_picture_fills_screen_without_frame_or_menu_bar(self):
        k = self.red_window()
        k.click(200, 200)
        k.wait_full_screen(True)
        self.assertFullScreen(k)

    def test_second_click_returns_to_window_with_menu_bar(self):
        k = self.red_window()
        before = k.geometry()
        k.click(200, 200)
        k.wait_full_screen(True)
        k.click(200, 200)
        k.wait_full_screen(False)
        self.assertWindowWithMenuBar(k, before)
        self.assertEqual((k.geometry()["x"], k.geometry()["y"]), (before["x"], before["y"]))

    def test_maximise_button_enters_full_screen(self):
        k = self.red_window()
        g = k.geometry()
        _, right, top, _ = frame_extents(k.win)
        # Openbox's title bar ends in minimise, maximise and close, 16 pixels apart.
        frame_right = g["x"] + g["w"] + right
        k.click_screen(frame_right - 28, g["y"] - top // 2 - 1)
        k.wait_full_screen(True)
        self.assertFullScreen(k)

    def test_maximise_request_from_window_manager_enters_full_screen(self):
        k = self.red_window()
        run("wmctrl", "-i", "-r", str(k.win), "-b", "add,maximized_vert,maximized_horz")
        k.wait_full_screen(True)
        self.assertFullScreen(k)

    def test_restore_from_outside_leaves_full_screen_with_menu_bar(self):
        k = self.red_window()
        before = k.geometry()
        k.click(200, 200)
        k.wait_full_screen(True)
        run("wmctrl", "-i", "-r", str(k.win), "-b", "remove,fullscreen")
        k.wait_full_screen(False)
        self.assertWindowWithMenuBar(k, before)

    def test_click_after_restore_from_outside_enters_full_screen_again(self):
        k = self.red_window()
        k.click(200, 200)
        k.wait_full_screen(True)
        run("wmctrl", "-i", "-r", str(k.win), "-b", "remove,fullscreen")
        k.wait_full_screen(False)
        self.assertFalse(k.full_screen())
        k.click(200, 200)
        k.wait_full_screen(True)
        self.assertFullScreen(k)


# ---------------------------------------------------------------------------------------
# The menu bar


class MenuTest(KovraTestCase):
    def test_menu_bar_shows_view_cameras_and_midi_enabled(self):
        k = self.kovra()
        titles = k.menu_titles()
        self.assertEqual(len(titles), 4, f"menu titles seen: {titles}")
        # Enabled titles are drawn in black; a greyed one in a light grey.
        for name, title in zip(("View", "Camera A", "Camera B", "Midi"), titles):
            self.assertLess(title[2], 200, f"{name} looks greyed: {title}")

    def test_view_menu_lists_four_items_with_a_separator_before_the_last(self):
        k = self.kovra()
        popup = k.open_view_menu()
        screen = Screen()
        x0, x1 = popup["x"] + 3, popup["x"] + popup["w"] - 3
        background = screen.pixel(x0, popup["y"] + 2)
        rows = []
        for y in range(popup["y"] + 2, popup["y"] + popup["h"] - 2):
            row = [screen.pixel(x, y) for x in range(x0, x1)]
            if any(sum(p) < 300 for p in row):
                kind = "text"
            elif sum(1 for p in row if p == row[len(row) // 2] != background) > 0.8 * len(row):
                kind = "line"  # the separator: one grey across the menu
            else:
                continue
            if not rows or rows[-1][0] != kind or y - rows[-1][1] > 1:
                rows.append([kind, y])
            else:
                rows[-1][1] = y
        self.assertEqual([kind for kind, _ in rows], ["text", "text", "text", "line", "text"])

    def test_view_full_screen_item_enters_full_screen(self):
        k = self.kovra()
        k.choose_view_item(1)
        k.wait_full_screen(True)
        self.assertCoversScreen(k)

    def test_view_control_item_opens_effect_control(self):
        k = self.kovra()
        k.choose_view_item(2)
        self.assertTrue(k.find_window("^Effect Control$", timeout=10))

    def test_view_about_item_shows_about_box(self):
        k = self.kovra()
        k.choose_view_item(3)
        self.assertTrue(k.find_window("^About Kovra$", timeout=10))

    def test_view_exit_item_closes_normally(self):
        k = self.kovra()
        k.choose_view_item(4)
        self.assertEqual(k.wait_exit(), 0)
        self.assertEqual(read_ini(k.ini_text()), ALL_ZERO)

    def test_greyed_midi_menu_opens_nothing(self):
        k = self.kovra()
        k.click_menu_title(3)
        time.sleep(0.7)  # a menu would have opened by now
        self.assertEqual(visible_popups(), [])
        self.assertEqual(k.title(), START_TITLE)


# ---------------------------------------------------------------------------------------
# The Effect Control dialog


class EffectControlTest(KovraTestCase):
    # Places in the dialog as fractions of its size: its layout scales with the font, and
    # so does the dialog.
    NUMBER = (0.40, 0.22)
    SPIN_UP = (0.55, 0.18)
    SPIN_DOWN = (0.55, 0.27)
    SLIDER1 = 0.52
    SLIDER2 = 0.80
    SLIDER_LEFT = 0.28  # the thumb at 0
    SLIDER_RIGHT = 0.95  # the thumb at 127

    def open_dialog(self, k):
        k.choose_view_item(2)
        dlg = k.find_window("^Effect Control$", timeout=10)
        return dlg, window_info(dlg)

    def at(self, info, fx, fy):
        return int(fx * info["w"]), int(fy * info["h"])

    def drag(self, dlg, info, row, from_x, to_x):
        y = int(row * info["h"])
        xdo("mousemove", "--window", str(dlg), str(int(from_x * info["w"])), str(y),
            "mousedown", "1")
        # Through the middle first, so the slider sees a movement and not a jump.
        xdo("mousemove", "--window", str(dlg), str(int((from_x + to_x) / 2 * info["w"])),
            str(y))
        time.sleep(0.1)
        # Past the end of the groove, so the thumb goes as far as it can.
        end = to_x + (0.04 if to_x > from_x else -0.2)
        xdo("mousemove", "--window", str(dlg), str(int(end * info["w"])), str(y))
        time.sleep(0.1)
        xdo("mouseup", "1")

    def type_over_number(self, k, dlg, info, *keys):
        k.click(*self.at(info, *self.NUMBER), win=dlg)
        # Selected text is replaced by what is typed next.
        xdo("key", "ctrl+a")
        xdo("key", "--delay", "100", *keys)

    def test_typing_2_then_0_over_the_number_shows_effect_2_then_15(self):
        k = self.kovra()
        dlg, info = self.open_dialog(k)
        self.type_over_number(k, dlg, info, "2")
        self.assertStatus(k, 2, 0, 0)
        xdo("key", "0")
        self.assertStatus(k, 15, 0, 0)

    def test_number_too_large_is_replaced_by_15_in_the_field(self):
        k = self.kovra()
        dlg, info = self.open_dialog(k)
        self.type_over_number(k, dlg, info, "2", "0")
        self.assertStatus(k, 15, 0, 0)
        # Taking the last digit away leaves "1" if the field reads 15 ("2" if it read 20).
        xdo("key", "--delay", "100", "End", "BackSpace")
        self.assertStatus(k, 1, 0, 0)

    def test_up_and_down_arrows_step_the_effect(self):
        k = self.kovra()
        dlg, info = self.open_dialog(k)
        k.click(*self.at(info, *self.SPIN_UP), win=dlg)
        k.click(*self.at(info, *self.SPIN_UP), win=dlg)
        self.assertStatus(k, 2, 0, 0)
        k.click(*self.at(info, *self.SPIN_DOWN), win=dlg)
        self.assertStatus(k, 1, 0, 0)

    def test_enter_and_escape_leave_the_dialog_open(self):
        k = self.kovra()
        dlg, info = self.open_dialog(k)
        k.click(*self.at(info, *self.NUMBER), win=dlg)
        xdo("key", "--delay", "100", "Return", "Escape")
        # A marker: once the effect shows 3, Return and Escape have been handled.
        self.type_over_number(k, dlg, info, "3")
        self.assertStatus(k, 3, 0, 0)
        self.assertTrue(window_info(dlg)["viewable"], "the dialog closed")
        self.assertTrue(k.running(), "the main window closed")

    def test_dragging_ctrl1_slider_to_the_right_end_shows_c1_127(self):
        k = self.kovra()
        dlg, info = self.open_dialog(k)
        self.drag(dlg, info, self.SLIDER1, self.SLIDER_LEFT, self.SLIDER_RIGHT)
        self.assertStatus(k, 0, 127, 0)

    def test_dragging_ctrl2_slider_to_the_right_end_shows_c2_127(self):
        k = self.kovra()
        dlg, info = self.open_dialog(k)
        self.drag(dlg, info, self.SLIDER2, self.SLIDER_LEFT, self.SLIDER_RIGHT)
        self.assertStatus(k, 0, 0, 127)

    def test_ctrl1_slider_opens_at_the_current_ctrl1(self):
        k = self.kovra()
        k.keys(*(["v"] * 127), delay=8)
        self.assertStatus(k, 0, 127, 0, timeout=10)
        dlg, info = self.open_dialog(k)
        # The thumb sits at the right end, so dragging it from there to the left reaches 0.
        self.drag(dlg, info, self.SLIDER1, self.SLIDER_RIGHT, self.SLIDER_LEFT)
        self.assertStatus(k, 0, 0, 0)


# ---------------------------------------------------------------------------------------
# The About box


class AboutTest(KovraTestCase):
    def open_about(self, k):
        k.choose_view_item(3)
        return k.find_window("^About Kovra$", timeout=10)

    def test_about_box_is_titled_about_kovra(self):
        k = self.kovra()
        box = self.open_about(k)
        self.assertEqual(k.title(box), "About Kovra")

    def test_main_window_takes_no_clicks_while_about_is_open(self):
        k = self.kovra()
        box = self.open_about(k)
        self.assertIn("_NET_WM_STATE_MODAL", wm_state(box))
        k.click(200, 200)  # would enter full screen
        time.sleep(0.5)
        k.focus(box)
        xdo("key", "Return")
        poll(lambda: k.window_named("^About Kovra$"), lambda w: w is None, 5.0)
        k.keys("v")
        self.assertStatus(k, 0, 1, 0)
        time.sleep(0.3)
        self.assertFalse(k.full_screen(), "the click reached the main window")

    def test_ok_closes_about_box_and_main_window_carries_on(self):
        k = self.kovra()
        box = self.open_about(k)
        k.focus(box)
        xdo("key", "Return")
        self.assertIsNone(poll(lambda: k.window_named("^About Kovra$"), lambda w: w is None))
        k.keys("x")
        self.assertStatus(k, 1, 0, 0)


# ---------------------------------------------------------------------------------------
# Cameras: the built-in test patterns, found by name since a webcam shifts positions


def device_position(name):
    listing = subprocess.run([KOVRA_DEVICES], capture_output=True, text=True, timeout=30,
                             check=True).stdout
    for line in listing.splitlines():
        number, _, device = line.partition(" ")
        if device == name:
            return int(number)
    raise AssertionError(f"{name!r} is not in the device list: {listing!r}")


class CameraTest(KovraTestCase):
    def setUp(self):
        super().setUp()
        self.ball = device_position("Test Pattern (Ball)")
        self.bars = device_position("Test Pattern (Bars)")

    def only_camera_a(self, k):
        """Effect 1 at Ctrl 1 = 127 shows camera A alone."""
        k.keys("x", *(["v"] * 127), delay=8)
        self.assertStatus(k, 1, 127, 0, timeout=10)

    def choose_device(self, k, camera_menu, downs):
        """Camera A's (1) or B's (2) Device dialog: from "None", `downs` entries down, OK."""
        k.click_menu_title(camera_menu)
        poll(visible_popups, bool, 5.0)
        xdo("key", "--delay", "40", "Down", "Return")
        dialog = poll(lambda: k.window_named("^Camera Device$"), bool, 10.0)
        self.assertTrue(dialog, "no Camera Device dialog")
        k.focus(dialog)
        # Up far enough reaches "None" (Home would only move the edit field's cursor).
        xdo("key", "--delay", "40", *(["Up"] * 8), *(["Down"] * downs), "Return")
        poll(lambda: k.window_named("^Camera Device$"), lambda w: w is None, 10.0)

    def test_moving_pattern_is_live_and_not_the_placeholder(self):
        k = self.kovra(ini=f"[CAMERA]\nDEVICE1={self.ball}\n")
        self.only_camera_a(k)
        rect = k.picture()
        first = Screen()
        points = first.samples(rect, .05, .95, .05, .95, steps=12)
        self.assertTrue(off_colour(points, PALE_BLUE), "camera A still shows its placeholder")
        later = k.wait_picture(
            lambda s: any(s.pixel(*xy) != c for xy, c in points), timeout=5.0)
        self.assertTrue(any(later.pixel(*xy) != c for xy, c in points),
                        "the moving pattern did not move between screenshots")

    def test_camera_b_cannot_take_camera_as_device_and_none_brings_back_placeholder(self):
        k = self.kovra(ini=f"[CAMERA]\nDEVICE1={self.ball}\nDEVICE2=0\n")
        self.choose_device(k, 2, self.ball)  # the device camera A already has: refused
        self.choose_device(k, 1, 0)          # camera A to "None"
        self.only_camera_a(k)
        rect = k.picture()
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, .05, .95, .05, .95), PALE_BLUE))
        self.assertPictureIs(screen, rect, PALE_BLUE, "camera A's placeholder")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        text = k.ini_text()
        self.assertIn("DEVICE1=0", text)
        self.assertIn("DEVICE2=0", text)

    def test_settings_keep_both_cameras_positions(self):
        k = self.kovra(ini=f"[CAMERA]\nDEVICE1={self.ball}\nDEVICE2={self.bars}\n")
        self.assertStatus(k, 0, 0, 0)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        text = k.ini_text()
        self.assertIn(f"DEVICE1={self.ball}", text)
        self.assertIn(f"DEVICE2={self.bars}", text)


# ---------------------------------------------------------------------------------------
# MIDI through a JACK server of the test's own, from a second client that sends


class JackServer:
    """jackd with its dummy back end under a name of its own; stopped by its own pid."""

    def __init__(self, test):
        self.name = f"kovra-e2e-{os.getpid()}-{id(test)}"
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name)
        self.proc = subprocess.Popen(["jackd", "-n", self.name, "-d", "dummy", "-r", "48000",
                                      "-p", "256"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        test.addCleanup(self.stop)
        waited = subprocess.run(["jack_wait", "-s", self.name, "-w", "-t", "15"],
                                capture_output=True, text=True, timeout=30, env=self.env)
        test.assertEqual(waited.returncode, 0, f"jackd did not start: {waited.stdout}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()  # two to three seconds to go
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)


class Sender:
    """A JACK client with one MIDI output port; each send is one event."""

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

    text = poll(listing, listed, timeout=10.0, interval=0.2)
    for line in text.splitlines():
        number, _, device = line.partition(" ")
        if device == "JACK: " + port:
            return int(number), len(text.splitlines())
    raise AssertionError(f"{port!r} is not among the MIDI devices: {text!r}")


BLACK = (0, 0, 0)


class MidiTest(KovraTestCase):
    def setUp(self):
        super().setUp()
        self.server = JackServer(self)
        self.sender = Sender(self, self.server)
        self.device, self.count = midi_device_id(self.sender.port, self.server.env)
        self.bars = device_position("Test Pattern (Bars)")

    def play(self, ini_midi=None, camera=0):
        midi = ini_midi or f"DEVICE={self.device}\nCH=0\nCTRL1=1\nCTRL2=2\n"
        k = self.kovra(ini=f"[MIDI]\n{midi}[CAMERA]\nDEVICE1={camera}\n", env=self.server.env)
        self.assertTrue(self.sender.ask("connected"), "Kovra did not connect to the sender")
        return k

    def test_program_change_and_controllers_set_the_status(self):
        k = self.play()
        self.assertTrue(self.sender.send("c0 05"))
        self.assertStatus(k, 5, 0, 0)
        self.sender.send("b0 01 64", "b0 02 20", "b0 03 7f")  # Ctrl 1, Ctrl 2, neither
        self.assertStatus(k, 5, 100, 32)
        self.sender.send("c1 07", "b0 78 00", "e0 00 40", "c0 7f")  # other channel, mode, bend
        self.assertStatus(k, 15, 100, 32)

    def test_notes_play_camera_as_frame_memory(self):
        k = self.play(camera=self.bars)
        self.sender.send("c0 01", "b0 01 7f")  # effect 1 at Ctrl 1 = 127: camera A alone
        self.assertStatus(k, 1, 127, 0)
        rect = k.picture()

        def black(screen):
            return not off_colour(screen.samples(rect, .05, .95, .05, .95), BLACK)

        live = k.wait_picture(lambda s: not black(s))
        self.assertFalse(black(live), "camera A shows no live picture")
        self.sender.send("90 30 7f")  # note 48 held: key 0, never recorded
        screen = k.wait_picture(black)
        self.assertPictureIs(screen, rect, BLACK, "the never-recorded stored picture")
        self.sender.send("90 30 00")  # velocity 0 releases it
        self.assertFalse(black(k.wait_picture(lambda s: not black(s))), "not live again")

        # A black key held first: note 50 stores the live picture into key 1 and shows it.
        self.sender.send("90 31 7f", "90 32 7f")
        self.assertFalse(black(k.wait_picture(lambda s: not black(s))), "nothing was stored")
        self.sender.send("80 32 00", "80 31 00")
        self.sender.send("90 32 7f")  # note 50 again, alone: its slot is no longer black
        time.sleep(0.3)
        self.assertFalse(black(Screen()), "note 50 does not show the picture it stored")
        self.sender.send("80 32 00", "90 34 7f")  # note 52 was never recorded
        self.assertPictureIs(k.wait_picture(black), rect, BLACK, "note 52's empty slot")

    def test_open_error_at_start_and_an_id_beyond_silently_skipped(self):
        k = Kovra(self, ini=f"[MIDI]\nDEVICE={self.count}\n", env=self.server.env).start()
        box = k.find_window("^Kovra$")
        k.focus(box)
        k.keys("Return", win=box)
        k.win = k.find_window("^Kovra 1")
        self.assertEqual(k.title(), START_TITLE)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)

        k = self.kovra(ini=f"[MIDI]\nDEVICE={self.count + 1}\n", env=self.server.env)
        time.sleep(1.0)
        self.assertIsNone(k.window_named("^Kovra$"), "a box came up for an id beyond the count")

    def test_midi_dialog_changes_the_channel_at_once_and_keeps_it(self):
        k = self.play()
        k.click_menu_title(3)
        dialog = poll(lambda: k.window_named("^MIDI Device$"), bool, 10.0)
        self.assertTrue(dialog, "no MIDI Device dialog")
        k.focus(dialog)
        # From OK: Tab to the device list, Tab to the channel list, one down to "2", OK.
        xdo("key", "--delay", "60", "Tab", "Tab", "Down", "Return")
        poll(lambda: k.window_named("^MIDI Device$"), lambda w: w is None, 10.0)
        self.assertTrue(self.sender.ask("connected"), "not reconnected after the dialog")
        self.sender.send("c0 03", "c1 04")
        self.assertStatus(k, 4, 0, 0)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        midi = read_ini(k.ini_text())["MIDI"]
        self.assertEqual((midi["DEVICE"], midi["CH"]), (str(self.device), "1"))

    def test_sender_and_server_going_away_leave_kovra_playing(self):
        k = self.play()
        self.sender.send("c0 02")
        self.assertStatus(k, 2, 0, 0)
        self.sender.close()
        k.keys("x")
        self.assertStatus(k, 3, 0, 0)
        self.server.stop()
        k.keys("x")
        self.assertStatus(k, 4, 0, 0)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)


# ---------------------------------------------------------------------------------------
# The settings file and every normal way of closing


class SettingsFileTest(KovraTestCase):
    def test_missing_file_is_created_with_zeros_at_exit(self):
        k = self.kovra()
        self.assertFalse(os.path.exists(k.ini_path), "the file was written before exit")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        self.assertEqual(read_ini(k.ini_text()), ALL_ZERO)

    def test_midi_values_are_written_back_as_read(self):
        k = self.kovra(ini="[MIDI]\nDEVICE=3\nCH=5\nCTRL1=20\nCTRL2=21\n")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        self.assertEqual(read_ini(k.ini_text())["MIDI"],
                         {"DEVICE": "3", "CH": "5", "CTRL1": "20", "CTRL2": "21"})

    def test_camera_that_cannot_start_is_written_back_as_0(self):
        k = self.kovra(ini=f"[CAMERA]\nDEVICE1={NO_SUCH_CAMERA}\nDEVICE2=0\n")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        self.assertEqual(read_ini(k.ini_text())["CAMERA"], {"DEVICE1": "0", "DEVICE2": "0"})

    def test_camera_that_cannot_start_shows_its_placeholder(self):
        k = self.kovra(ini=f"[CAMERA]\nDEVICE1={NO_SUCH_CAMERA}\n")
        k.keys("x", *(["v"] * 127), delay=8)
        self.assertStatus(k, 1, 127, 0, timeout=10)
        rect = k.picture()
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, .05, .95, .05, .95), PALE_BLUE))
        self.assertPictureIs(screen, rect, PALE_BLUE, "Camera A's picture")

    def test_other_sections_keys_and_comments_survive(self):
        original = ("; my rig\n[MIDI]\nDEVICE=2\nVELOCITY=soft\n\n[LIGHTS]\n"
                    "; the stage\nDMX=7\n[CAMERA]\nDEVICE2=0\n")
        k = self.kovra(ini=original)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        text = k.ini_text()
        for line in ("; my rig", "; the stage", "VELOCITY=soft", "[LIGHTS]", "DMX=7"):
            self.assertIn(line, text.splitlines())
        sections = read_ini(text)
        self.assertEqual(sections["LIGHTS"], {"DMX": "7"})
        self.assertEqual(sections["MIDI"]["VELOCITY"], "soft")
        self.assertEqual(sections["MIDI"]["DEVICE"], "2")
        self.assertEqual(sections["CAMERA"], {"DEVICE1": "0", "DEVICE2": "0"})

    def test_settings_file_sits_beside_the_program_under_its_name(self):
        # A program copied under another name reads and writes that name's file.
        k = Kovra(self)
        renamed = os.path.join(k.dir, "Stage")
        os.rename(k.program, renamed)
        k.program = renamed
        with open(os.path.join(k.dir, "Stage.ini"), "w") as f:
            f.write("[MIDI]\nCH=9\n")
        k.open()
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        with open(os.path.join(k.dir, "Stage.ini")) as f:
            self.assertEqual(read_ini(f.read())["MIDI"]["CH"], "9")
        self.assertFalse(os.path.exists(k.ini_path), "Kovra.ini was written instead")


class ClosingTest(KovraTestCase):
    """Each way of closing ends the program with code 0 and the settings written."""

    def assertClosedNormally(self, k):
        self.assertEqual(k.wait_exit(), 0, k.output())
        self.assertTrue(os.path.exists(k.ini_path), "no settings file written")
        self.assertEqual(read_ini(k.ini_text()), ALL_ZERO)

    def test_close_box_closes_normally(self):
        k = self.kovra()
        g = k.geometry()
        _, right, top, _ = frame_extents(k.win)
        k.click_screen(g["x"] + g["w"] + right - 12, g["y"] - top // 2 - 1)
        self.assertClosedNormally(k)

    def test_enter_closes_normally(self):
        k = self.kovra()
        k.keys("Return")
        self.assertClosedNormally(k)

    def test_escape_closes_normally(self):
        k = self.kovra()
        k.keys("Escape")
        self.assertClosedNormally(k)

    def test_view_exit_closes_normally(self):
        k = self.kovra()
        k.choose_view_item(4)
        self.assertClosedNormally(k)

    def test_sigint_closes_normally(self):
        k = self.kovra()
        k.proc.send_signal(signal.SIGINT)
        self.assertClosedNormally(k)

    def test_sigterm_closes_normally(self):
        k = self.kovra()
        k.proc.send_signal(signal.SIGTERM)
        self.assertClosedNormally(k)

    def test_window_manager_close_in_full_screen_closes_normally(self):
        # Full screen has no close box; the window manager's close request does its job.
        k = self.kovra()
        k.click(200, 200)
        k.wait_full_screen(True)
        run("wmctrl", "-i", "-c", str(k.win))
        self.assertClosedNormally(k)


# ---------------------------------------------------------------------------------------
# No OpenGL


class NoOpenGlTest(KovraTestCase):
    # Odd spacing, CR LF line ends and a camera that cannot start (which a normal exit
    # writes back as 0): any rewrite would show in the bytes.
    ORIGINAL = (b"; kept as it is\r\n[MIDI]\r\nDEVICE = 4\r\n[CAMERA]\r\nDEVICE1="
                + str(NO_SUCH_CAMERA).encode() + b"\r\n")

    def failing(self):
        k = Kovra(self, ini=self.ORIGINAL, env={"QT_XCB_GL_INTEGRATION": "none"}).start()
        box = k.find_window("^Kovra$", timeout=20)
        return k, box

    def dismiss(self, k, box):
        k.focus(box)
        xdo("key", "Return")
        return k.wait_exit()

    def test_message_box_captioned_kovra_waits_for_the_user(self):
        k, box = self.failing()
        self.assertEqual(k.title(box), "Kovra")
        self.assertIsNone(k.window_named("^Kovra 1"), "the main window opened")
        time.sleep(0.5)
        self.assertTrue(k.running(), "the program went without waiting for OK")

    def test_dismissing_the_box_exits_with_code_1(self):
        k, box = self.failing()
        self.assertEqual(self.dismiss(k, box), 1)

    def test_settings_file_is_left_byte_for_byte(self):
        k, box = self.failing()
        self.dismiss(k, box)
        with open(k.ini_path, "rb") as f:
            self.assertEqual(f.read(), self.ORIGINAL)


if __name__ == "__main__":
    if not os.path.isfile(KOVRA_BINARY):
        sys.exit(f"KOVRA_BINARY must name the built Kovra program (got {KOVRA_BINARY!r})")
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: run under scripts/on-virtual-display")
    unittest.main()
