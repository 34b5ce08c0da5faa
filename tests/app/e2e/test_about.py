#!/usr/bin/env python3
# The About box: modal over the main window, closed by OK.
import time

from kovra_driver import (
    KovraTestCase,
    poll,
    wm_state,
    xdo,
    main,
)


class AboutTest(KovraTestCase):
    def open_about(self, k):
        k.choose_view_item("About")
        return k.find_window("^About Kovra$", timeout=30)

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
        poll(lambda: k.window_named("^About Kovra$"), lambda w: w is None, 30.0)
        k.keys("v")
        self.assertStatus(k, 0, 1, 0)
        time.sleep(0.3)
        self.assertFalse(k.full_screen(), "the click reached the main window")

    def test_ok_closes_about_box_and_main_window_carries_on(self):
        k = self.kovra()
        box = self.open_about(k)
        k.focus(box)
        xdo("key", "Return")
        self.assertIsNone(poll(lambda: k.window_named("^About Kovra$"), lambda w: w is None, 30.0))
        k.keys("x")
        self.assertStatus(k, 1, 0, 0)


if __name__ == "__main__":
    main()
