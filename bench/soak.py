#!/usr/bin/env python3
# A long show in one run: the real Kovra on a virtual display with both cameras on the test
# patterns, a JACK controller sending 20 messages a second, the effects cycling, the
# controller's port going and coming back, and full screen toggled. Every 30 s it samples
# Kovra's memory, threads and descriptors; at the end it prints them and the growth over the
# second half of the run (the goal: flat after warm-up, under 5 MB).
#
# Usage (under scripts/on-virtual-display, with the driver's variables, as `make bench` does):
#   bench/soak.py [minutes]
import os
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "app", "e2e"))
from kovra_driver import (JackServer, KovraTestCase, Sender, device_position, midi_device_id,
                          main)  # noqa: E402

MINUTES = float(os.environ.get("KOVRA_SOAK_MINUTES", "60"))
SAMPLE_S = 30


def sample(pid):
    with open(f"/proc/{pid}/status") as f:
        fields = dict(line.split(":", 1) for line in f if ":" in line)
    rss_kb = int(fields["VmRSS"].split()[0])
    return rss_kb / 1024.0, int(fields["Threads"]), len(os.listdir(f"/proc/{pid}/fd"))


class SoakTest(KovraTestCase):
    def test_a_long_show(self):
        server = JackServer(self)
        sender = Sender(self, server, "soak")
        device, _ = midi_device_id(sender.port, server.env)
        bars = device_position("Test Pattern (Bars)")
        ball = device_position("Test Pattern (Ball)")
        ini = (f"[MIDI]\nDEVICE={device}\nNAME=JACK: {sender.port}\nCH=0\nCTRL1=1\nCTRL2=2\n"
               f"[CAMERA]\nDEVICE1={bars}\nDEVICE2={ball}\n")
        k = self.kovra(ini=ini, env=server.env)
        self.assertTrue(sender.ask("connected"), "Kovra did not connect to the controller")

        end = time.monotonic() + MINUTES * 60
        samples = []
        stop = threading.Event()

        def sampler():
            start = time.monotonic()
            while not stop.is_set():
                samples.append((time.monotonic() - start,) + sample(k.proc.pid))
                stop.wait(SAMPLE_S)

        watch = threading.Thread(target=sampler)
        watch.start()
        step = 0
        try:
            while time.monotonic() < end:
                step += 1
                # 20 a second: Ctrl 1 sweeping, a note now and then.
                events = [f"b0 01 {step % 128:02x}"]
                if step % 40 == 0:
                    events.append(f"c0 {(step // 40) % 16:02x}")  # the next effect, every 2 s
                if step % 20 == 0:
                    events += ["90 30 7f", "80 30 00"]
                sender.send(*events)
                if step % 1200 == 0:  # every minute: the port goes and comes back
                    sender.close()
                    sender = Sender(self, server, "soak")
                if step % 600 == 300:  # every 30 s: full screen on or off
                    p = k.picture()
                    k.click_screen(p["x"] + p["w"] // 2, p["y"] + p["h"] // 2)
                time.sleep(0.05)
        finally:
            stop.set()
            watch.join()
        self.assertTrue(k.running(), "Kovra ended during the soak: " + k.output())

        print("\n  minute   memory MB   threads   descriptors")
        for t, rss, threads, fds in samples:
            print(f"  {t / 60:6.1f}   {rss:9.1f}   {threads:7d}   {fds:11d}")
        half = [s for s in samples if s[0] >= samples[-1][0] / 2]
        rss = [s[1] for s in half]
        print(f"  over the second half: memory {rss[-1] - rss[0]:+.1f} MB "
              f"(lowest {min(rss):.1f}, highest {max(rss):.1f}), threads "
              f"{min(s[2] for s in half)}..{max(s[2] for s in half)}, descriptors "
              f"{min(s[3] for s in half)}..{max(s[3] for s in half)}")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1].replace(".", "").isdigit():
        os.environ["KOVRA_SOAK_MINUTES"] = sys.argv.pop(1)
        MINUTES = float(os.environ["KOVRA_SOAK_MINUTES"])
    main()
