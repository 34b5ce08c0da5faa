#!/usr/bin/env python3
# Cameras: the built-in test patterns, found by name since a webcam shifts positions.
from kovra_driver import (
    KovraTestCase,
    PALE_BLUE,
    Screen,
    device_position,
    off_colour,
    poll,
    visible_popups,
    xdo,
    main,
)


class CameraTest(KovraTestCase):
    def setUp(self):
        super().setUp()
        self.ball = device_position("Test Pattern (Ball)")
        self.bars = device_position("Test Pattern (Bars)")

    def only_camera_a(self, k):
        """Effect 1 at Ctrl 1 = 127 shows camera A alone."""
        k.keys("x", *(["v"] * 127), delay=8)
        self.assertStatus(k, 1, 127, 0, timeout=30)

    def choose_device(self, k, camera_menu, downs):
        """Camera A's (1) or B's (2) Device dialog: from "None", `downs` entries down, OK."""
        k.click_menu_title(camera_menu)
        poll(visible_popups, bool, 30.0)
        xdo("key", "--delay", "40", "Down", "Return")
        dialog = poll(lambda: k.window_named("^Camera Device$"), bool, 30.0)
        self.assertTrue(dialog, "no Camera Device dialog")
        k.focus(dialog)
        # Up far enough reaches "None" (Home would only move the edit field's cursor).
        xdo("key", "--delay", "40", *(["Up"] * 8), *(["Down"] * downs), "Return")
        poll(lambda: k.window_named("^Camera Device$"), lambda w: w is None, 30.0)

    def test_moving_pattern_is_live_and_not_the_placeholder(self):
        k = self.kovra(ini=f"[CAMERA]\nDEVICE1={self.ball}\n")
        self.only_camera_a(k)
        rect = k.picture()
        first = Screen()
        points = first.samples(rect, .05, .95, .05, .95, steps=12)
        self.assertTrue(off_colour(points, PALE_BLUE), "camera A still shows its placeholder")
        later = k.wait_picture(
            lambda s: any(s.pixel(*xy) != c for xy, c in points))
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


if __name__ == "__main__":
    main()
