#!/usr/bin/env python3
# Stream and Record: the picture over SRT to a receiver on this machine, and into a Matroska
# file in a videos folder of the test's own, read back with ffprobe.
import json
import os
import re
import resource
import shutil
import socket
import subprocess
import tempfile
import time

from kovra_driver import Kovra, KovraTestCase, main, poll

OUT_INI = "[OUTPUT]\nOUTSIZE=640x480\n"
TICK_MS = 33
NOBODY = 65534  # root writes into any folder: the read-only case runs as this user
FILE_LIMIT = 200 * 1024  # bytes, for the recording that meets a write error
SECRET = "the-show-secret"


def said(test, k, pattern, timeout=60):
    """The match of pattern in Kovra's output, once it shows."""
    out = poll(k.output, lambda text: re.search(pattern, text, re.M), timeout)
    found = re.search(pattern, out, re.M)
    test.assertTrue(found, f"Kovra never said {pattern!r}; it said: {out}")
    return found


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:  # SRT runs over UDP
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def probe(path):
    """ffprobe's exit code, its errors, and its reading of the file's picture."""
    done = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                           "stream=pix_fmt:frame=pts_time:format=duration", "-of", "json", path],
                          capture_output=True, text=True, timeout=120)
    return done.returncode, done.stderr, json.loads(done.stdout or "{}")


def frames_in(path):
    return len(probe(path)[2].get("frames", []))


class Receiver:
    """A gst-launch decoding Kovra's stream. Its log has a line for each frame that arrives
    (out of the demuxer) and for each frame decoded."""

    ARRIVED = "chain   ******* (arrived:sink)"
    DECODED = "chain   ******* (decoded:sink)"

    def __init__(self, test, port, passphrase=None):
        self.path = os.path.join(tempfile.mkdtemp(prefix="kovra-srt-"), "receiver.log")
        test.addCleanup(shutil.rmtree, os.path.dirname(self.path), True)
        with open(self.path, "wb") as log:
            self.proc = subprocess.Popen(
                ["gst-launch-1.0", "-v", "srtsrc", f"uri=srt://127.0.0.1:{port}",
                 *([f"passphrase={passphrase}"] if passphrase else []), "!", "tsdemux", "!",
                 "identity", "name=arrived", "silent=false", "!", "h264parse", "!", "avdec_h264",
                 "!", "fakesink", "name=decoded", "sync=false", "silent=false"],
                stdout=log, stderr=subprocess.STDOUT)
        test.addCleanup(self.stop)

    def text(self):
        with open(self.path, "rb") as f:
            return f.read().decode(errors="replace")

    def arrived(self):
        return self.text().count(self.ARRIVED)

    def frames(self):
        return self.text().count(self.DECODED)

    def decoded_of_first(self, count):
        """The frames decoded before the count-th frame arrived."""
        return "".join(self.text().split(self.ARRIVED)[:count]).count(self.DECODED)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)


class StreamTest(KovraTestCase):
    def stream(self, passphrase=""):
        port = free_port()
        k = self.kovra(ini=f"{OUT_INI}STREAMURI=srt://127.0.0.1:{port}\n"
                           f"STREAMPASSPHRASE={passphrase}\n")
        k.choose_view_item("Stream")
        said(self, k, rf"^Kovra: streaming on srt://127\.0\.0\.1:{port}$")
        return k, port

    def test_a_receiver_decodes_at_least_250_of_the_first_300_frames_it_gets(self):
        k, port = self.stream()
        receiver = Receiver(self, port)
        self.assertGreaterEqual(poll(receiver.arrived, lambda n: n >= 300, 120), 300)
        decoded = receiver.decoded_of_first(300)
        self.assertGreaterEqual(decoded, 250, f"{decoded} of the first 300 frames decoded")
        k.choose_view_item("Stream")
        sent = int(said(self, k, r"^Kovra: streamed: (\d+) frames sent, \d+ dropped$")[1])
        self.assertGreaterEqual(sent, 300)

    def test_a_receiver_with_another_passphrase_gets_nothing(self):
        k, port = self.stream(passphrase=SECRET)
        wrong = Receiver(self, port, passphrase="another-secret")
        refused = poll(wrong.text, lambda text: "Incorrect passphrase" in text, 60)
        self.assertIn("Incorrect passphrase", refused)
        self.assertEqual(wrong.frames(), 0)
        wrong.stop()
        right = Receiver(self, port, passphrase=SECRET)
        self.assertGreaterEqual(poll(right.frames, lambda n: n >= 30, 60), 30)


def videos_folder(test):
    """A videos folder of the test's own, named in a user-dirs.dirs of its own, and the
    environment that makes Kovra find it there."""
    home = tempfile.mkdtemp(prefix="kovra-videos-")
    test.addCleanup(shutil.rmtree, home, True)
    os.chmod(home, 0o755)
    videos, config = os.path.join(home, "Videos"), os.path.join(home, "config")
    os.mkdir(videos)
    os.mkdir(config)
    with open(os.path.join(config, "user-dirs.dirs"), "w") as f:
        f.write(f'XDG_VIDEOS_DIR="{videos}"\n')
    return videos, {"XDG_CONFIG_HOME": config}


def record(test, **popen):
    """Kovra recording into a videos folder of the test's own; and the file's path."""
    videos, env = videos_folder(test)
    k = test.kovra(ini=OUT_INI, env=env, **popen)
    k.choose_view_item("Record")
    path = said(test, k, r"^Kovra: recording to (.+)$")[1]
    test.assertEqual(os.path.dirname(path), os.path.join(videos, "Kovra"))
    test.assertRegex(os.path.basename(path), r"^Kovra \d{4}-\d\d-\d\d \d{6}\.mkv$")
    test.assertTrue(k.wait_title(lambda t: t.endswith(" REC")).endswith(" REC"))
    return k, path


class RecordTest(KovraTestCase):
    def test_a_recording_holds_the_frames_sent_at_whole_ticks(self):
        k, path = record(self)
        time.sleep(10)  # the recording's length: the test's input, not a wait for a state
        k.choose_view_item("Record")
        sent = int(said(self, k, r"^Kovra: recorded: (\d+) frames sent, \d+ dropped$")[1])
        self.assertFalse(k.wait_title(lambda t: not t.endswith(" REC")).endswith(" REC"))
        code, errors, info = probe(path)
        self.assertEqual((code, errors), (0, ""))
        self.assertEqual(info["streams"][0]["pix_fmt"], "yuv420p")
        times = [round(float(frame["pts_time"]) * 1000) for frame in info["frames"]]
        self.assertLessEqual(abs(len(times) - sent), 2, f"{len(times)} frames, {sent} sent")
        self.assertGreater(sent, 100)
        steps = [b - a for a, b in zip(times, times[1:])]
        off = [s for s in steps if s < TICK_MS - 1 or abs(s - TICK_MS * round(s / TICK_MS)) > 1]
        self.assertFalse(off, f"steps between frames not whole ticks: {off[:10]}")

    def test_kill_9_leaves_a_file_that_reads(self):
        k, path = record(self)
        before = poll(lambda: frames_in(path), bool, 60)
        self.assertTrue(before, "no frame reached the file")
        k.proc.kill()
        k.wait_exit()
        code, _, info = probe(path)
        self.assertEqual(code, 0)
        self.assertGreaterEqual(len(info["frames"]), before)

    def test_escape_finishes_the_file(self):
        k, path = record(self)
        self.assertTrue(poll(lambda: frames_in(path), bool, 60), "no frame reached the file")
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)
        code, errors, info = probe(path)
        self.assertEqual((code, errors), (0, ""))
        self.assertGreater(float(info["format"]["duration"]), 0)
        self.assertTrue(info["frames"])


class RecordFailureTest(KovraTestCase):
    def test_a_file_size_limit_stops_the_recording_and_kovra_plays_on(self):
        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_LIMIT, FILE_LIMIT))

        k, path = record(self, preexec_fn=limit)
        said(self, k, r"^Kovra: recording stopped: .+$", 120)
        self.assertFalse(k.wait_title(lambda t: not t.endswith(" REC")).endswith(" REC"))
        k.keys("x")  # the next effect: the window still takes keys
        self.assertStatus(k, 1, 0, 0)
        code, _, info = probe(path)
        self.assertEqual(code, 0)
        self.assertTrue(info["frames"])

    def test_a_read_only_videos_folder_gives_no_recording_and_no_crash(self):
        videos, env = videos_folder(self)
        os.chmod(videos, 0o555)
        as_nobody = {}
        if os.geteuid() == 0:
            as_nobody = {"user": NOBODY, "group": NOBODY, "extra_groups": []}
        k = Kovra(self, ini=OUT_INI, env=env, **as_nobody)
        if as_nobody:  # its settings file is its own to write
            os.chown(k.dir, NOBODY, NOBODY)
            os.chown(k.ini_path, NOBODY, NOBODY)
        try:
            k.open()
        except PermissionError:
            self.skipTest("cannot run Kovra as user 65534 here")
        k.choose_view_item("Record")
        said(self, k, r"^Kovra: cannot record: .+$")
        self.assertFalse(k.title().endswith(" REC"))
        self.assertEqual(os.listdir(videos), [])
        k.keys("Escape")
        self.assertEqual(k.wait_exit(), 0)

    def test_without_an_h264_encoder_stream_and_record_are_greyed_out(self):
        # GStreamer's plugins without the two encoders, in a registry of the test's own.
        plugins = tempfile.mkdtemp(prefix="kovra-plugins-")
        self.addCleanup(shutil.rmtree, plugins, True)
        system = subprocess.run(["pkg-config", "--variable=pluginsdir", "gstreamer-1.0"],
                                capture_output=True, text=True, check=True).stdout.strip()
        for name in os.listdir(system):
            if name not in ("libgstx264.so", "libgstopenh264.so"):
                os.symlink(os.path.join(system, name), os.path.join(plugins, name))
        k = self.kovra(ini=OUT_INI, env={"GST_PLUGIN_SYSTEM_PATH_1_0": plugins,
                                         "GST_REGISTRY": os.path.join(plugins, "registry.bin")})
        # The keys skip the greyed items: past Send, Stream and Record, the next is About.
        k.choose_view_item("About", greyed=("Send to Other Programs", "Stream", "Record"))
        self.assertTrue(k.find_window("^About Kovra$", timeout=30))
        said(self, k, r"^Kovra: no H\.264 encoder .+: Stream and Record are off$")


if __name__ == "__main__":
    main()
