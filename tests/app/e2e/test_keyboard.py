#!/usr/bin/env python3
# Keys in the main window: the effect number, the controls, repeats, the frame memory
# without a camera, and a layout of another script.
import queue
import re
import subprocess
import threading

from kovra_driver import (
    KovraTestCase,
    PALE_RED,
    off_colour,
    run,
    status_of,
    xdo,
    main,
)


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
        self.assertStatus(k, 0, 127, 0, timeout=30)
        k.keys("c")
        self.assertStatus(k, 0, 126, 0)

    def test_ctrl2_stays_within_0_and_127(self):
        k = self.kovra()
        k.keys(*"bb", "n")
        self.assertStatus(k, 0, 0, 1)
        k.keys(*(["n"] * 130), delay=8)
        self.assertStatus(k, 0, 0, 127, timeout=30)
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

    def test_keys_keep_their_place_under_a_cyrillic_layout(self):
        k = self.kovra()
        run("setxkbmap", "-layout", "ru")
        self.addCleanup(run, "setxkbmap", "-layout", "us")
        k.focus()
        # The physical X key by its keycode: under this layout it gives Cyrillic Che.
        xdo("key", "53")
        self.assertStatus(k, 1, 0, 0)

    def test_holding_v_steps_ctrl1_once_for_every_repeat(self):
        k = self.kovra()
        k.focus()
        # Every change of the title is one property notification; xprop reports each, after
        # the title it starts from.
        spy = subprocess.Popen(["xprop", "-spy", "-id", str(k.win), "_NET_WM_NAME"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(spy.wait)
        self.addCleanup(spy.kill)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(line) for line in spy.stdout],
                         daemon=True).start()

        def next_title():
            return re.search(r'"(.*)"', lines.get(timeout=60)).group(1)

        titles = [next_title()]  # listening from here on
        xdo("keydown", "v")
        # Held until the key has repeated a few times, however slowly a busy machine goes.
        k.wait_title(lambda t: (status_of(t)[1] or 0) >= 4, timeout=60)
        xdo("keyup", "v")
        # A marker: once Ctrl 2 shows 1, every repeat of V before it has been handled.
        k.keys("n")
        final = k.wait_title(lambda t: status_of(t)[2] == 1)
        while titles[-1] != final:
            titles.append(next_title())
        ctrl1 = status_of(final)[1]
        self.assertGreaterEqual(ctrl1, 4, f"holding V gave no repeats: {final}")
        # Each repeat refreshes the title with Ctrl 1 one higher and N once more; a frame
        # rate reading in between is one more refresh of its own.
        frame_rate_changes = sum(1 for a, b in zip(titles, titles[1:])
                                 if status_of(a)[3] != status_of(b)[3])
        self.assertEqual(len(titles) - 1, ctrl1 + 1 + frame_rate_changes,
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


if __name__ == "__main__":
    main()
