#!/usr/bin/env python3
# The menu bar and the View menu's items.
from kovra_driver import (
    ALL_ZERO,
    KovraTestCase,
    START_TITLE,
    SEND_ITEM,
    Screen,
    VIEW_ITEMS,
    read_ini,
    visible_popups,
    main,
)


class MenuTest(KovraTestCase):
    def test_menu_bar_shows_view_cameras_and_midi_enabled(self):
        k = self.kovra()
        titles = k.wait_menu_titles()
        self.assertEqual(len(titles), 4, f"menu titles seen: {titles}")
        # Enabled titles are drawn in black; a greyed one in a light grey.
        for name, title in zip(("View", "Camera A", "Camera B", "Midi"), titles):
            self.assertLess(title[2], 200, f"{name} looks greyed: {title}")

    def test_view_menu_lists_its_items_send_greyed_out_a_separator_before_exit_and_one_submenu(
            self):
        k = self.kovra()
        popup = k.open_view_menu()
        screen = Screen()
        x0, x1 = popup["x"] + 3, popup["x"] + popup["w"] - 3
        background = screen.pixel(x0, popup["y"] + 2)
        rows = []  # [kind, first line, last line, rightmost dark column]
        for y in range(popup["y"] + 2, popup["y"] + popup["h"] - 2):
            row = [screen.pixel(x, y) for x in range(x0, x1)]
            dark = [x for x, p in enumerate(row, x0) if sum(p) < 300]
            if dark:
                kind = "text"
            elif sum(1 for p in row if p == row[len(row) // 2] != background) > 0.8 * len(row):
                kind = "line"  # the separator: one grey across the menu
            else:
                continue
            if not rows or rows[-1][0] != kind or y - rows[-1][2] > 1:
                rows.append([kind, y, y, max(dark, default=x0)])
            else:
                rows[-1][2] = y
                rows[-1][3] = max([rows[-1][3]] + dark)
        # Send to Other Programs, greyed out where no PipeWire daemon answers, shows no dark
        # text; the others do, then the line and Exit.
        shown = [item for item in VIEW_ITEMS if item != SEND_ITEM]
        kinds = [row[0] for row in rows]
        self.assertEqual(kinds, ["text"] * (len(shown) - 1) + ["line", "text"])
        # Only Output Screen's row reaches the menu's right edge: its submenu arrow.
        text_rows = [row for row in rows if row[0] == "text"]
        at_edge = [shown[i] for i, row in enumerate(text_rows) if row[3] > x1 - 30]
        self.assertEqual(at_edge, ["Output Screen"], f"rows: {rows}")

    def test_view_full_screen_item_enters_full_screen(self):
        k = self.kovra()
        k.choose_view_item("Full Screen")
        k.wait_full_screen(True)
        self.assertCoversScreen(k)

    def test_view_control_item_opens_effect_control(self):
        k = self.kovra()
        k.choose_view_item("Control")
        self.assertTrue(k.find_window("^Effect Control$", timeout=30))

    def test_view_about_item_shows_about_box(self):
        k = self.kovra()
        k.choose_view_item("About")
        self.assertTrue(k.find_window("^About Kovra$", timeout=30))

    def test_view_exit_item_closes_normally(self):
        k = self.kovra()
        k.choose_view_item("Exit")
        self.assertEqual(k.wait_exit(), 0)
        self.assertEqual(read_ini(k.ini_text()), ALL_ZERO)

    def test_midi_title_opens_its_dialog_and_no_menu(self):
        k = self.kovra()
        k.click_menu_title(3)
        # Once the dialog is up, the click has been handled: a menu would be open by now.
        self.assertTrue(k.find_window("^MIDI Device$"))
        self.assertEqual(visible_popups(), [])
        self.assertEqual(k.title(), START_TITLE)


if __name__ == "__main__":
    main()
