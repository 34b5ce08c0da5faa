#!/usr/bin/env python3
# The settings file, every normal way of closing, and the ways out that are not the
# window's own.
import os
import shutil
import signal
import subprocess
import tempfile

from kovra_driver import (
    ALL_ZERO,
    Kovra,
    KovraTestCase,
    NO_SUCH_CAMERA,
    PALE_BLUE,
    frame_extents,
    off_colour,
    poll,
    read_ini,
    run,
    main,
)


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
        self.assertStatus(k, 1, 127, 0, timeout=30)
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
        k.choose_view_item("Exit")
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


class OwnDisplay:
    """An Xvfb of the test's own, to take away under the program."""

    def __init__(self, test):
        ready, told = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(told), "-screen", "0",
                                      "640x480x24", "-nolisten", "tcp", "-noreset"],
                                     pass_fds=(told,), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(told)
        test.addCleanup(self.stop)
        # Xvfb writes its display number once it accepts clients; end-of-file if it died.
        with os.fdopen(ready) as f:
            number = f.readline().strip()
        if not number:
            raise AssertionError(f"Xvfb did not start (exit code {self.proc.wait(10)})")
        self.env = {"DISPLAY": ":" + number}

    def wait_window(self, pid, name, timeout=20):
        # Searched again and again: a search fails outright when a window goes while it looks.
        def ids():
            return subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid),
                                   "--name", name], env={**os.environ, **self.env},
                                  capture_output=True, text=True, timeout=15).stdout.split()
        if not poll(ids, bool, timeout, interval=0.1):
            raise AssertionError(f"no visible window named {name!r} within {timeout} s")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


class UnusualExitTest(KovraTestCase):
    """Ways out that are not the window's own: the settings are written all the same, or,
    without any display, left as they were."""

    def test_sighup_closes_normally(self):
        k = self.kovra(ini="[MIDI]\nCH=5\n")
        k.proc.send_signal(signal.SIGHUP)
        self.assertEqual(k.wait_exit(), 0, k.output())
        self.assertEqual(read_ini(k.ini_text()),
                         {"MIDI": dict(ALL_ZERO["MIDI"], CH="5"), "CAMERA": ALL_ZERO["CAMERA"]})

    def test_settings_are_written_when_the_display_goes_away(self):
        display = OwnDisplay(self)
        k = Kovra(self, ini="[MIDI]\nCTRL2=7\n", env=display.env).start()
        display.wait_window(k.proc.pid, "^Kovra 1")
        display.stop()
        # Qt ends the program with code 1 when its X11 connection breaks.
        self.assertEqual(k.wait_exit(), 1, k.output())
        self.assertEqual(read_ini(k.ini_text()),
                         {"MIDI": dict(ALL_ZERO["MIDI"], CTRL2="7"), "CAMERA": ALL_ZERO["CAMERA"]})

    def test_without_any_display_one_line_and_code_1(self):
        original = "; as it was\n[MIDI]\nCH = 3\n"
        runtime = tempfile.mkdtemp(prefix="kovra-e2e-runtime-")
        self.addCleanup(shutil.rmtree, runtime, True)
        k = Kovra(self, ini=original, env={"DISPLAY": "", "WAYLAND_DISPLAY": "",
                                           "XDG_RUNTIME_DIR": runtime, "QT_QPA_PLATFORM": ""})
        k.start()
        self.assertEqual(k.wait_exit(), 1, k.output())
        lines = k.output().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("no display", lines[0])
        self.assertEqual(k.ini_text(), original)


if __name__ == "__main__":
    main()
