#!/usr/bin/env python3
# The output on a second screen under X11: Xorg with the dummy video driver and two outputs
# side by side (DUMMY0 1920x1080, DUMMY1 1280x720 right of it), with openbox, started here on
# a free display number. Xorg reads a configuration file of the test's own only as root.
#
# Needs Xorg, its dummy driver, xrandr, openbox and what kovra_driver.py needs.
import os
import select
import shutil
import subprocess
import tempfile
import unittest

from kovra_driver import (
    KOVRA_BINARY,
    PALE_BLUE,
    PALE_RED,
    Kovra,
    KovraTestCase,
    Screen,
    close_to,
    off_colour,
    poll,
    read_ini,
    run,
    status_of,
    window_info,
    xdo,
)

FIRST = {"x": 0, "y": 0, "w": 1920, "h": 1080}
SECOND = {"x": 1920, "y": 0, "w": 1280, "h": 720}
SECOND_MODE = ["1280x720_k", "74.25", "1280", "1390", "1430", "1650", "720", "725", "730", "750",
               "+hsync", "+vsync"]

# No input devices of the machine's own: the test's keys and clicks come through XTEST. No
# switch of the machine's virtual terminal either (-novtswitch -sharevts below).
XORG_CONFIG = """\
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3200 1080
  EndSubSection
EndSection
"""


class TwoScreens:
    """Xorg with two dummy outputs and openbox on it, made the display of this process (and
    of the programs it starts) until the test ends; both stopped by their pids."""

    def __init__(self, test):
        self.test = test
        folder = tempfile.mkdtemp(prefix="kovra-xorg-")
        test.addCleanup(shutil.rmtree, folder, True)
        config = os.path.join(folder, "xorg.conf")
        with open(config, "w") as f:
            f.write(XORG_CONFIG)
        self.log_path = os.path.join(folder, "xorg.log")
        # Xorg writes the display number it took to the descriptor given with -displayfd.
        reader, writer = os.pipe()
        self.xorg = self.start(["Xorg", "-displayfd", str(writer), "-config", config,
                                "-noreset", "-nolisten", "tcp", "-novtswitch", "-sharevts",
                                "-logfile", self.log_path], pass_fds=(writer,))
        os.close(writer)
        number = b""
        while not number.endswith(b"\n") and select.select([reader], [], [], 30)[0]:
            chunk = os.read(reader, 16)
            if not chunk:
                break
            number += chunk
        os.close(reader)
        test.assertTrue(number.strip().isdigit(), f"Xorg gave no display: {self.xorg_log()}")
        previous = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        test.addCleanup(self.restore_display, previous)
        run("xrandr", "--output", "DUMMY0", "--mode", "1920x1080")
        run("xrandr", "--newmode", *SECOND_MODE)
        run("xrandr", "--addmode", "DUMMY1", SECOND_MODE[0])
        self.plug()
        openbox = self.start(["openbox", "--sm-disable"])
        # Windows get their frames once the window manager owns the screen.
        poll(lambda: run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False),
             lambda text: "window id" in text or openbox.poll() is not None)
        test.assertIsNone(openbox.poll(), "openbox ended")
        # The window manager puts new windows on the screen under the pointer.
        xdo("mousemove", "100", "100")

    def start(self, args, **kwargs):
        proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                **kwargs)
        self.test.addCleanup(self.stop, proc)
        return proc

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(15)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(15)

    @staticmethod
    def restore_display(previous):
        if previous is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = previous

    def xorg_log(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()[-2000:]
        except OSError:
            return "(no log)"

    def plug(self):
        run("xrandr", "--output", "DUMMY1", "--mode", SECOND_MODE[0], "--right-of", "DUMMY0")
        monitors = run("xrandr", "--listmonitors")
        self.test.assertIn("DUMMY1", monitors, "the second screen did not come up")

    def unplug(self):
        run("xrandr", "--output", "DUMMY1", "--off")


def share(screen, rect, colour, step=4):
    """The part of the rectangle's pixels (on a grid) that show the colour."""
    hits = total = 0
    for y in range(rect["y"], rect["y"] + rect["h"], step):
        for x in range(rect["x"], rect["x"] + rect["w"], step):
            total += 1
            hits += close_to(screen.pixel(x, y), colour)
    return hits / total


def inside(rect, area):
    return (rect["x"] >= area["x"] and rect["y"] >= area["y"]
            and rect["x"] + rect["w"] <= area["x"] + area["w"]
            and rect["y"] + rect["h"] <= area["y"] + area["h"])


def box(info):
    return {key: info[key] for key in ("x", "y", "w", "h")}


class ScreensTest(KovraTestCase):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("Xorg reads a configuration file of the test's own only as root")
        self.screens = TwoScreens(self)

    def kovra_on_second_screen(self):
        """Kovra started with the second screen chosen in its settings file."""
        k = Kovra(self, ini="[OUTPUT]\nSCREEN=DUMMY1\n").open()
        self.assertTrue(inside(k.geometry(), FIRST), k.geometry())
        return k

    def output_window(self, k, shown=True):
        """The output window once it is up and covers the second screen (or, not shown, once
        it has gone)."""
        if not shown:
            win = poll(lambda: k.window_named("^Kovra Output$"), lambda w: w is None)
            self.assertIsNone(win, "the output window stayed")
            return None
        win = k.find_window("^Kovra Output$", timeout=30)
        g = poll(lambda: box(window_info(win)), lambda g: g == SECOND)
        self.assertEqual(g, SECOND, "the output window does not cover the second screen")
        return win

    def enter_full_screen(self, k):
        """A click in the preview: the output goes up on the second screen, and the main window
        stays where it was, a window with its menu bar."""
        before = k.geometry()
        k.click(200, 200)
        win = self.output_window(k)
        self.assertEqual(k.geometry(), before, "the main window moved")
        self.assertFalse(k.full_screen())
        self.assertGreater(k.picture()["y"], before["y"], "the main window lost its menu bar")
        return win

    def test_output_fills_second_screen_and_the_preview_shows_the_same_picture(self):
        k = self.kovra_on_second_screen()
        win = self.enter_full_screen(k)
        preview = k.picture()
        # Effect 0 turns a cube showing Camera A's placeholder: in both pictures, taken at the
        # same moment, it covers about the same share.
        screen = poll(Screen, lambda s: share(s, SECOND, PALE_BLUE) > 0.02
                      and share(s, preview, PALE_BLUE) > 0.02, timeout=30)
        big, small = share(screen, SECOND, PALE_BLUE), share(screen, preview, PALE_BLUE)
        self.assertGreater(big, 0.02, "no picture on the second screen")
        self.assertGreater(small, 0.02, "no picture in the preview")
        self.assertLess(max(big, small) / min(big, small), 1.5, f"shares {big} and {small}")
        # A key on the main window changes the effect; both pictures follow (effect 1 shows
        # Camera B's placeholder everywhere) and the title says so.
        k.keys("x")
        self.assertStatus(k, 1, 0, 0)
        screen = k.wait_picture(lambda s: not off_colour(s.samples(SECOND, .02, .98, .02, .98),
                                                         PALE_RED)
                                and not off_colour(s.samples(preview, .05, .95, .05, .95),
                                                   PALE_RED))
        self.assertPictureIs(screen, SECOND, PALE_RED, "the second screen", .02, .98, .02, .98)
        self.assertPictureIs(screen, preview, PALE_RED, "the preview")
        # Keys sent to the output window act the same, and the title still runs on.
        k.keys("x", win=win)
        self.assertStatus(k, 2, 0, 0)
        title = k.wait_title(lambda t: status_of(t)[3] not in (None, "0.0"))
        self.assertNotEqual(status_of(title)[3], "0.0", f"no frame rate in the title: {title}")
        # A click in the output leaves full screen.
        xdo("mousemove", str(SECOND["x"] + 300), "300", "click", "1")
        self.output_window(k, shown=False)
        self.assertTrue(k.running(), k.output())

    def test_the_screen_chosen_in_the_menu_is_used_after_a_restart(self):
        k = Kovra(self).open()
        # The submenu: Same Screen as the Window, then DUMMY0 (the primary), then DUMMY1.
        k.choose_view_item("Output Screen", 2)
        k.choose_view_item("Exit")
        self.assertEqual(k.wait_exit(), 0, k.output())
        output = read_ini(k.ini_text()).get("OUTPUT", {})
        self.assertEqual(output.get("SCREEN"), "DUMMY1", k.ini_text())
        again = Kovra(self, ini=k.ini_text()).open()
        self.enter_full_screen(again)

    def test_unplugged_screen_closes_the_output_and_plugged_back_brings_it_back(self):
        k = self.kovra_on_second_screen()
        self.enter_full_screen(k)
        self.screens.unplug()
        self.output_window(k, shown=False)
        # The preview plays on: the cube keeps turning there.
        preview = k.picture()

        def grid():
            return Screen().samples(preview, .1, .9, .1, .9, 12)
        first = grid()
        self.assertNotEqual(poll(grid, lambda later: later != first), first,
                            "the preview stands still")
        self.assertTrue(k.running(), k.output())
        self.screens.plug()
        self.output_window(k)


if __name__ == "__main__":
    if not os.path.isfile(KOVRA_BINARY):
        raise SystemExit(f"KOVRA_BINARY must name the built Kovra program (got {KOVRA_BINARY!r})")
    unittest.main()
