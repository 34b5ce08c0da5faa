#!/usr/bin/env python3
# MIDI through a JACK server of the test's own, from a second client that sends; MIDI learn
# through the MIDI Device dialog and the mapping file it writes.
import glob
import os
import shutil

from kovra_driver import (
    JackServer,
    Kovra,
    KovraTestCase,
    START_TITLE,
    Screen,
    Sender,
    device_position,
    midi_device_id,
    off_colour,
    poll,
    read_ini,
    status_of,
    xdo,
    main,
)


BLACK = (0, 0, 0)


def send_until(test, k, sender, messages, status):
    """Connected comes before a reopened input has started, which drops what comes meanwhile:
    the messages are sent again until the title shows the status (effect, Ctrl 1, Ctrl 2)."""
    def played():
        sender.send(*messages)
        return k.wait_status(*status, timeout=1.0)

    title = poll(played, lambda t: status_of(t)[:3] == status, 30.0)
    test.assertEqual(status_of(title)[:3], status, title)


class MidiTest(KovraTestCase):
    def setUp(self):
        super().setUp()
        self.server = JackServer(self)
        self.sender = Sender(self, self.server)
        self.device, self.count = midi_device_id(self.sender.port, self.server.env)
        self.bars = device_position("Test Pattern (Bars)")

    def play(self, ini_midi=None, camera=0):
        midi = ini_midi or f"DEVICE={self.device}\nCH=0\nCTRL1=1\nCTRL2=2\n"
        k = self.kovra(ini=f"[MIDI]\n{midi}[CAMERA]\nDEVICE1={camera}\n", env=self.server.env)
        self.assertTrue(self.sender.ask("connected"), "Kovra did not connect to the sender")
        return k

    def test_program_change_and_controllers_set_the_status(self):
        k = self.play()
        self.assertTrue(self.sender.send("c0 05"))
        self.assertStatus(k, 5, 0, 0)
        self.sender.send("b0 01 64", "b0 02 20", "b0 03 7f")  # Ctrl 1, Ctrl 2, neither
        self.assertStatus(k, 5, 100, 32)
        self.sender.send("c1 07", "b0 78 00", "e0 00 40", "c0 7f")  # other channel, mode, bend
        self.assertStatus(k, 15, 100, 32)

    def test_notes_play_camera_as_frame_memory(self):
        k = self.play(camera=self.bars)
        self.sender.send("c0 01", "b0 01 7f")  # effect 1 at Ctrl 1 = 127: camera A alone
        self.assertStatus(k, 1, 127, 0)
        rect = k.picture()

        def black(screen):
            return not off_colour(screen.samples(rect, .05, .95, .05, .95), BLACK)

        live = k.wait_picture(lambda s: not black(s))
        self.assertFalse(black(live), "camera A shows no live picture")
        self.sender.send("90 30 7f")  # note 48 held: key 0, never recorded
        screen = k.wait_picture(black)
        self.assertPictureIs(screen, rect, BLACK, "the never-recorded stored picture")
        self.sender.send("90 30 00")  # velocity 0 releases it
        self.assertFalse(black(k.wait_picture(lambda s: not black(s))), "not live again")

        # A black key held first: note 50 stores the live picture into key 1 and shows it.
        self.sender.send("90 31 7f", "90 32 7f")
        self.assertFalse(black(k.wait_picture(lambda s: not black(s))), "nothing was stored")
        self.sender.send("80 32 00", "80 31 00")
        self.sender.send("90 32 7f")  # note 50 again, alone: its slot is no longer black
        self.sender.send("b0 02 05")  # a marker: once Ctrl 2 shows it, note 50 was handled
        self.assertStatus(k, 1, 127, 5)
        self.assertFalse(black(Screen()), "note 50 does not show the picture it stored")
        self.sender.send("80 32 00", "90 34 7f")  # note 52 was never recorded
        self.assertPictureIs(k.wait_picture(black), rect, BLACK, "note 52's empty slot")

    def test_open_error_at_start_and_an_id_beyond_silently_skipped(self):
        k = Kovra(self, ini=f"[MIDI]\nDEVICE={self.count}\n", env=self.server.env).start()
        box = k.find_window("^Kovra$")
        k.focus(box)
        k.keys("Return", win=box)
        k.win = k.find_window("^Kovra 1")
        self.assertEqual(k.title(), START_TITLE)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)

        # The box would come up during set-up, before the main window shows.
        k = self.kovra(ini=f"[MIDI]\nDEVICE={self.count + 1}\n", env=self.server.env)
        self.assertIsNone(k.window_named("^Kovra$"), "a box came up for an id beyond the count")

    def test_midi_dialog_changes_the_channel_at_once_and_keeps_it(self):
        k = self.play()
        k.click_menu_title(3)
        dialog = poll(lambda: k.window_named("^MIDI Device$"), bool, 30.0)
        self.assertTrue(dialog, "no MIDI Device dialog")
        k.focus(dialog)
        # From OK: Tab to the device list, Tab to the channel list, one down to "2", OK.
        xdo("key", "--delay", "60", "Tab", "Tab", "Down", "Return")
        poll(lambda: k.window_named("^MIDI Device$"), lambda w: w is None, 30.0)
        self.assertTrue(self.sender.ask("connected"), "not reconnected after the dialog")

        # On channel 0 still, the effect would stay at 3.
        send_until(self, k, self.sender, ("c0 03", "c1 04"), (4, 0, 0))
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        midi = read_ini(k.ini_text())["MIDI"]
        self.assertEqual((midi["DEVICE"], midi["CH"]), (str(self.device), "1"))

    def test_feedback_sends_the_whole_state_then_each_change_but_never_the_echo(self):
        k = self.play()
        # At the open, every binding of the default map: the effect, both controls, and the
        # 24 notes (the memory keys' empty slots, the black keys' record flag) at 0.
        whole = {"c0 00", "b0 01 00", "b0 02 00"} | {f"90 {n:02x} 00" for n in range(48, 72)}
        got = poll(lambda: set(self.sender.received()), lambda r: whole <= r, 30.0)
        self.assertEqual(whole - got, set(), "not sent at the open")

        k.keys("v")  # a key sets Ctrl 1 to 1: the controller hears it
        got = poll(self.sender.received, lambda r: "b0 01 01" in r, 30.0)
        self.assertIn("b0 01 01", got)

        # Ctrl 1 from the controller, then a marker from the keys: everything Kovra sent in
        # answer to the first came before the marker, and none of it is the controller's own.
        before = len(got)
        self.sender.send("b0 01 64")
        self.assertStatus(k, 0, 100, 0)
        k.keys("n")  # Ctrl 2 to 1
        got = poll(self.sender.received, lambda r: "b0 02 01" in r[before:], 30.0)
        self.assertIn("b0 02 01", got[before:])
        self.assertNotIn("b0 01 64", got[before:], "the controller's value came back")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)

    def test_sender_and_server_going_away_leave_kovra_playing(self):
        k = self.play()
        self.sender.send("c0 02")
        self.assertStatus(k, 2, 0, 0)
        self.sender.close()
        k.keys("x")
        self.assertStatus(k, 3, 0, 0)
        self.server.stop()
        k.keys("x")
        self.assertStatus(k, 4, 0, 0)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)


class MidiLearnTest(KovraTestCase):
    def setUp(self):
        super().setUp()
        self.server = JackServer(self)
        self.pads = Sender(self, self.server, "pads")
        self.device, _ = midi_device_id(self.pads.port, self.server.env)
        self.bars = device_position("Test Pattern (Bars)")

    def start(self, ini, sender, controllers=None):
        """Kovra on the settings, with the mapping files of the folder given, once it has
        connected to the sender."""
        k = Kovra(self, ini=ini, env=self.server.env)
        if controllers:
            shutil.copytree(controllers, os.path.join(k.dir, "controllers"))
        k.open()
        self.assertTrue(sender.ask("connected"), "Kovra did not connect to the sender")
        return k

    def learn(self, k, keys, event):
        """In the Learn list: the keys choose an action and press Learn; the event is sent
        until the list has taken it (one within the gesture of the last is ignored)."""
        xdo("key", "--delay", "60", *keys)
        armed = poll(lambda: k.window_named("^MIDI Learn - "), bool, 30.0)
        self.assertTrue(armed, "Learn did not arm")
        taken = None
        for _ in range(30):
            self.pads.send(*event)
            taken = poll(lambda: k.window_named("^MIDI Learn$"), bool, 1.0)
            if taken:
                break
        self.assertTrue(taken, f"the list did not take {event}")

    def test_learned_controls_act_are_kept_in_the_file_and_only_for_their_controller(self):
        ini = (f"[MIDI]\nDEVICE={self.device}\nCH=0\nCTRL1=1\nCTRL2=2\n"
               f"[CAMERA]\nDEVICE1={self.bars}\n")
        k = self.start(ini, self.pads)
        k.click_menu_title(3)
        dialog = poll(lambda: k.window_named("^MIDI Device$"), bool, 30.0)
        self.assertTrue(dialog, "no MIDI Device dialog")
        k.focus(dialog)
        # From OK: Tab past the device, channel, Ctrl 1, Ctrl 2 and OSC port to Learn...
        xdo("key", "--delay", "60", *["Tab"] * 6, "space")
        listing = poll(lambda: k.window_named("^MIDI Learn$"), bool, 30.0)
        self.assertTrue(listing, "no Learn list")
        self.assertTrue(self.pads.ask("connected"), "the device is not open for Learn")
        k.focus(listing)
        # The list starts on EFFECT: CTRL2 is four down, MEMA3 seven further.
        self.learn(k, ["Down"] * 4 + ["Tab", "space"], ("b2 07 40",))  # CC 7 on channel 3
        self.learn(k, ["shift+Tab"] + ["Down"] * 7 + ["Tab", "space"], ("92 3c 7f", "82 3c 00"))
        # A key to the window while the list is up plays nothing: the effect stays at 0 below.
        xdo("key", "--window", str(k.win), "x")
        k.focus(listing)
        xdo("key", "Return")  # OK
        poll(lambda: k.window_named("^MIDI Learn$"), lambda w: w is None, 30.0)
        k.focus(dialog)
        xdo("key", "Return")
        poll(lambda: k.window_named("^MIDI Device$"), lambda w: w is None, 30.0)
        self.assertTrue(self.pads.ask("connected"), "not reconnected after the dialog")
        xdo("key", "--window", str(k.win), "x")
        self.assertStatus(k, 1, 0, 0)

        send_until(self, k, self.pads, ("b2 07 64",), (1, 0, 100))  # the learned Ctrl 2
        self.pads.send("b0 01 7f")  # effect 1 at Ctrl 1 = 127: camera A alone
        self.assertStatus(k, 1, 127, 100)
        rect = k.picture()

        def black(screen):
            return not off_colour(screen.samples(rect, .05, .95, .05, .95), BLACK)

        self.assertFalse(black(k.wait_picture(lambda s: not black(s))), "no live picture")
        self.pads.send("92 3c 7f")  # the learned MEMA3 held: a slot never recorded
        self.assertPictureIs(k.wait_picture(black), rect, BLACK, "MEMA3's empty slot")
        self.pads.send("82 3c 00")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        controllers = os.path.join(k.dir, "controllers")
        files = glob.glob(os.path.join(controllers, "*.ini"))
        self.assertEqual(len(files), 1, files)
        with open(files[0], encoding="utf-8") as f:
            bindings = read_ini(f.read())["BINDINGS"]
        self.assertEqual(bindings, {"NOTE 3 60": "MEMA3", "CC 3 7": "CTRL2"})

        # The next start plays the file's map.
        k = self.start(k.ini_text(), self.pads, controllers)
        self.pads.send("b2 07 20")
        self.assertStatus(k, 0, 0, 32)
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)

        # A controller of another name plays the default map.
        faders = Sender(self, self.server, "faders")
        device, _ = midi_device_id(faders.port, self.server.env)
        k = self.start(f"[MIDI]\nDEVICE={device}\nCH=0\nCTRL1=1\nCTRL2=2\n", faders, controllers)
        faders.send("b2 07 20", "b0 01 05")  # Ctrl 1 marks that the first was handled
        self.assertStatus(k, 0, 5, 0)
        faders.send("b0 02 21")
        self.assertStatus(k, 0, 5, 33)


if __name__ == "__main__":
    main()
