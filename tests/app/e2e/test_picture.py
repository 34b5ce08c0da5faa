#!/usr/bin/env python3
# What the cameras' placeholders look like through the effects, and a camera at PICTURE 1080.
from kovra_driver import (
    KovraTestCase,
    PALE_BLUE,
    PALE_RED,
    device_position,
    off_colour,
    main,
)


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
        self.assertStatus(k, 1, 127, 0, timeout=30)
        screen, rect = self.picture_once(k, PALE_BLUE)
        self.assertPictureIs(screen, rect, PALE_BLUE, "the whole picture")

    def test_effect_2_at_ctrl1_64_shows_blue_left_half_and_red_right_half(self):
        k = self.kovra()
        k.keys("x", "x", *(["v"] * 64), delay=8)
        self.assertStatus(k, 2, 64, 0, timeout=30)
        rect = k.picture()
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, .05, .42, .05, .95), PALE_BLUE)
            and not off_colour(s.samples(rect, .58, .95, .05, .95), PALE_RED))
        self.assertPictureIs(screen, rect, PALE_BLUE, "the left half", x0=.05, x1=.42)
        self.assertPictureIs(screen, rect, PALE_RED, "the right half", x0=.58, x1=.95)

    def test_at_picture_1080_the_bars_fill_the_picture_and_the_key_is_kept(self):
        bars = device_position("Test Pattern (Bars)")
        k = self.kovra(ini=f"[CAMERA]\nPICTURE=1080\nDEVICE1={bars}\n")
        k.keys("x", *(["v"] * 127), delay=8)
        self.assertStatus(k, 1, 127, 0, timeout=30)
        rect = k.picture()
        # The first of the seven bars is white, the last blue, across the whole height.
        white, blue = (255, 255, 255), (0, 0, 255)
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, .03, .1, .03, .97), white)
            and not off_colour(s.samples(rect, .9, .97, .03, .97), blue))
        self.assertPictureIs(screen, rect, white, "the first bar", x0=.03, x1=.1, y0=.03, y1=.97)
        self.assertPictureIs(screen, rect, blue, "the last bar", x0=.9, x1=.97, y0=.03, y1=.97)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        self.assertIn("PICTURE=1080", k.ini_text())


if __name__ == "__main__":
    main()
