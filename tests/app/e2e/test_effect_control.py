#!/usr/bin/env python3
# The Effect Control dialog: the number field, its arrows and the two sliders.
import time

from kovra_driver import (
    KovraTestCase,
    window_info,
    xdo,
    main,
)


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
        k.choose_view_item("Control")
        dlg = k.find_window("^Effect Control$", timeout=30)
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
        self.assertStatus(k, 0, 127, 0, timeout=30)
        dlg, info = self.open_dialog(k)
        # The thumb sits at the right end, so dragging it from there to the left reaches 0.
        self.drag(dlg, info, self.SLIDER1, self.SLIDER_RIGHT, self.SLIDER_LEFT)
        self.assertStatus(k, 0, 0, 0)


if __name__ == "__main__":
    main()
