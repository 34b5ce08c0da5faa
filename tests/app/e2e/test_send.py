#!/usr/bin/env python3
# Send to Other Programs: the picture as a PipeWire camera, read by a client of PipeWire's own,
# with a session bus, daemon and session manager of the test's own.
import os
import shutil
import subprocess
import tempfile

from kovra_driver import (
    PALE_BLUE,
    PALE_RED,
    KovraTestCase,
    close_to,
    main,
    off_colour,
    poll,
)

OUT_WIDTH, OUT_HEIGHT = 640, 480
SEND_INI = f"[OUTPUT]\nSEND=1\nOUTSIZE={OUT_WIDTH}x{OUT_HEIGHT}\n"


class PipeWire:
    """A session bus, then pipewire, then wireplumber, in a private XDG_RUNTIME_DIR."""

    def __init__(self, test, runtime):
        self.test = test
        self.env = dict(os.environ, XDG_RUNTIME_DIR=runtime, PIPEWIRE_REMOTE="pipewire-0")
        self.env.pop("PIPEWIRE_RUNTIME_DIR", None)
        self.procs = []

    def start(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
        self.own(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        self.own(subprocess.Popen(["pipewire"], env=self.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL))
        socket = os.path.join(self.env["XDG_RUNTIME_DIR"], "pipewire-0")
        self.test.assertTrue(poll(lambda: os.path.exists(socket), bool), "pipewire did not start")
        self.own(subprocess.Popen(["wireplumber"], env=self.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL))
        return self

    def own(self, proc):
        self.procs.append(proc)
        self.test.addCleanup(self.stop, proc)

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.terminate()
            proc.wait(10)

    def nodes(self):
        return subprocess.run(["pw-cli", "ls", "Node"], env=self.env, capture_output=True,
                              text=True, timeout=30).stdout

    def has_kovra(self):
        return 'node.name = "kovra"' in self.nodes()


class SendTest(KovraTestCase):
    def setUp(self):
        self.runtime = tempfile.mkdtemp(prefix="kovra-pw-")
        os.chmod(self.runtime, 0o700)
        self.addCleanup(shutil.rmtree, self.runtime, True)
        self.pipewire = PipeWire(self, self.runtime)

    def read_frames(self, count):
        """The last of `count` frames a pipewiresrc client read from Kovra's node, as RGB."""
        frame = os.path.join(self.runtime, "frame.rgb")
        subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", "target-object=kovra",
                        f"num-buffers={count}", "!", "videoconvert", "!",
                        "video/x-raw,format=RGB", "!", "multifilesink", f"location={frame}",
                        "max-files=1"], env=self.pipewire.env, timeout=120, check=True)
        with open(frame, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), OUT_WIDTH * OUT_HEIGHT * 3)
        return data

    @staticmethod
    def rgb_at(data, fx, fy):
        at = (int(fy * OUT_HEIGHT) * OUT_WIDTH + int(fx * OUT_WIDTH)) * 3
        return tuple(data[at:at + 3])

    def test_send_offers_the_picture_its_node_goes_with_send_off_and_comes_back_with_it_on(self):
        self.pipewire.start()
        k = self.kovra(ini=SEND_INI, env=self.pipewire.env)
        # Effect 2 at Ctrl 1 = 64: camera A's blue on the left, camera B's red on the right.
        k.keys("x", "x", *(["v"] * 64), delay=8)
        self.assertStatus(k, 2, 64, 0)
        rect = k.picture()
        screen = k.wait_picture(
            lambda s: not off_colour(s.samples(rect, .05, .42, .45, .55), PALE_BLUE)
            and not off_colour(s.samples(rect, .58, .95, .45, .55), PALE_RED))
        left = screen.pixel(rect["x"] + rect["w"] // 4, rect["y"] + rect["h"] // 2)
        right = screen.pixel(rect["x"] + rect["w"] * 3 // 4, rect["y"] + rect["h"] // 2)
        self.assertTrue(close_to(left, PALE_BLUE) and close_to(right, PALE_RED), (left, right))

        frame = self.read_frames(90)
        for fx, on_screen in ((.25, left), (.75, right)):
            self.assertTrue(close_to(self.rgb_at(frame, fx, .5), on_screen),
                            f"the client's frame at {fx} is {self.rgb_at(frame, fx, .5)}, "
                            f"the screen shows {on_screen}")

        k.choose_view_item("Send to Other Programs", greyed=())
        self.assertFalse(poll(self.pipewire.has_kovra, lambda on: not on, 30),
                         "Kovra's node stayed with Send off")
        sent = poll(k.output, lambda out: "sent to other programs:" in out, 30)
        self.assertRegex(sent, r"Kovra: sent to other programs: \d{2,} frames sent, \d+ dropped")
        # On again: the node comes back and serves a client.
        k.choose_view_item("Send to Other Programs", greyed=())
        self.assertTrue(poll(self.pipewire.has_kovra, bool, 30), "Kovra's node did not come back")
        self.read_frames(10)
        k.choose_view_item("Send to Other Programs", greyed=())
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        self.assertIn("SEND=0", k.ini_text())

    def test_a_remembered_send_waits_for_a_daemon_and_then_sends(self):
        k = self.kovra(ini=SEND_INI, env=self.pipewire.env)
        said = poll(k.output, lambda out: "no PipeWire daemon answers" in out, 30)
        self.assertIn("sending to other programs waits for one", said)
        self.pipewire.start()
        self.assertTrue(poll(self.pipewire.has_kovra, bool, 30), "Kovra's node never came")
        self.read_frames(10)


if __name__ == "__main__":
    main()
