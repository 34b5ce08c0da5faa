#!/usr/bin/env python3
# A clip and a still as the cameras, chosen by their remembered paths: the clip plays and loops
# in the window, the still shows, and both come back at the next start.
import os
import subprocess
import tempfile
import urllib.parse

from kovra_driver import KovraTestCase, Kovra, Screen, main, off_colour, poll, read_ini

# Red, green, blue, white: one second each, in MJPEG.
COLOURS = {"R": (255, 0, 0), "G": (0, 255, 0), "B": (0, 0, 255), "W": (255, 255, 255)}
YELLOW = (255, 255, 0)


def launch(*args):
    """gst-launch-1.0 with each argument one word of the pipeline (a space in a file name is
    kept)."""
    subprocess.run(["gst-launch-1.0", "-q", *args], check=True, timeout=120, capture_output=True)


def uri(path):
    return "file://" + urllib.parse.quote(path)


def colour_name(pixel):
    """The clip's colour a pixel shows, 'K' for black, '?' for anything else."""
    near = [name for name, c in COLOURS.items() if all(abs(a - b) < 60 for a, b in zip(pixel, c))]
    if near:
        return near[0]
    return "K" if max(pixel) < 60 else "?"


class ClipsTest(KovraTestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kovra-clips-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.folder])
        self.clip = os.path.join(self.folder, "colour loop.avi")
        self.still = os.path.join(self.folder, "yellow.png")
        line = ["concat", "name=c", "!", "videoconvert", "!", "jpegenc", "!", "avimux", "!",
                "filesink", f"location={self.clip}"]
        for c in ("0xffff0000", "0xff00ff00", "0xff0000ff", "0xffffffff"):
            line += (f"videotestsrc num-buffers=10 pattern=solid-color foreground-color={c} ! "
                     "video/x-raw,width=160,height=120,framerate=10/1 ! c.").split(" ")
        launch(*line)
        launch(*("videotestsrc num-buffers=1 pattern=solid-color foreground-color=0xffffff00 ! "
                 "video/x-raw,width=64,height=48 ! pngenc ! filesink").split(" "),
               f"location={self.still}")

    def seen_colours(self, k, changes):
        """The clip's colours across the picture's centre, each change once, until `changes`
        changes were seen or a minute passed."""
        rect = k.picture()
        seen = []

        def look(screen):
            name = colour_name(screen.pixel(rect["x"] + rect["w"] // 2, rect["y"] + rect["h"] // 2))
            if not seen or seen[-1] != name:
                seen.append(name)
            return len(seen) > changes

        poll(lambda: look(Screen()), lambda done: done, timeout=60, interval=0.05)
        return "".join(seen)

    def test_a_clip_loops_in_the_window_a_still_shows_and_both_come_back(self):
        ini = f"[CAMERA]\nPATH1={uri(self.still)}\nPATH2={uri(self.clip)}\n"
        for run in ("first", "second"):
            k = Kovra(self, ini=ini).open()
            k.keys("x")  # effect 1 at Ctrl 1 = 0 shows camera B alone
            self.assertStatus(k, 1, 0, 0)
            # What shows before the clip's first frame (the placeholder, the effect's first frame
            # while it starts) is no seam: the checks begin at the first colour.
            seen = self.seen_colours(k, 7).lstrip("?K")
            self.assertNotIn("K", seen, f"{run} run: a black picture between frames")
            self.assertTrue(seen and seen in "RGBWRGBWRGBWRGBW", f"{run} run: {seen}")
            self.assertIn("WR", seen, f"{run} run: no loop from the last frame to the first")
            k.keys(*(["v"] * 127), delay=8)  # camera A alone
            self.assertStatus(k, 1, 127, 0, timeout=30)
            rect = k.picture()
            screen = k.wait_picture(
                lambda s: not off_colour(s.samples(rect, .05, .95, .05, .95), YELLOW))
            self.assertPictureIs(screen, rect, YELLOW, f"{run} run: the still")
            k.keys("Escape")
            self.assertEqual(k.wait_exit(), 0)
            ini = k.ini_text()
            camera = read_ini(ini)["CAMERA"]
            self.assertEqual(camera["PATH1"], uri(self.still), ini)
            self.assertEqual(camera["PATH2"], uri(self.clip), ini)


if __name__ == "__main__":
    main()
