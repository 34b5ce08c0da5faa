#!/usr/bin/env python3
# What the cameras' placeholders look like through the effects.
from kovra_driver import (
    KovraTestCase,
    PALE_BLUE,
    PALE_RED,
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


if __name__ == "__main__":
    main()
