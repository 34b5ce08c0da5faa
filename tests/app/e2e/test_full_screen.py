#!/usr/bin/env python3
# Full screen by mouse and by the window manager, and back.
from kovra_driver import (
    KovraTestCase,
    PALE_RED,
    SCREEN_SIZE,
    frame_extents,
    off_colour,
    run,
    wm_state,
    main,
)


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
        titles = k.wait_menu_titles()
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


if __name__ == "__main__":
    main()
