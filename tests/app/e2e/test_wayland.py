#!/usr/bin/env python3
# End-to-end tests of Kovra on Wayland: the real program under headless weston and sway, each
# compositor started here with a runtime folder of its own. Checked through screenshots, the
# window title the compositor holds and the settings file; driven by wtype's virtual keyboard
# and a virtual pointer of our own (KOVRA_POINTER) under sway. weston takes no input.
#
# Needs weston, sway, swaymsg, wtype, grim, ImageMagick's convert, qt6-wayland, and
# KOVRA_BINARY and KOVRA_EFFECTS naming the built program and its effects library.
import glob
import json
import os
import shutil
import signal
import subprocess
import tempfile
import unittest

from kovra_driver import ALL_ZERO, STATUS, poll, read_ini, view_menu_keys

KOVRA_BINARY = os.environ.get("KOVRA_BINARY", "")
KOVRA_EFFECTS = os.environ.get("KOVRA_EFFECTS", "")
KOVRA_POINTER = os.environ.get("KOVRA_POINTER", "")
CONVERT = "/usr/bin/convert"

SCREEN_SIZE = (1280, 800)
SECOND_SIZE = (1024, 768)  # HEADLESS-2, when there is one
# Camera A's placeholder, the face of effect 0's spinning cube.
PALE_BLUE = (200, 200, 255)
# sway refuses to run as root: it and Kovra run as this user.
NOBODY = 65534


def status_of(title):
    m = STATUS.match(title or "")
    return tuple(int(g) for g in m.groups()[:3]) if m else None


def settings(path):
    with open(path) as f:
        return read_ini(f.read())


def private_folder(test, owner=None):
    """A fresh folder, mode 700, removed after the test (an XDG runtime folder)."""
    path = tempfile.mkdtemp(prefix="kovra-wl-")
    test.addCleanup(shutil.rmtree, path, True)
    if owner is not None:
        os.chown(path, owner, owner)
    os.chmod(path, 0o700)
    return path


def rgb_pixels(png):
    """The picture's pixels as bytes of red, green, blue, and its width."""
    out = subprocess.run([CONVERT, png, "-depth", "8", "rgb:-"], capture_output=True,
                         timeout=30, check=True).stdout
    width = int(subprocess.run([CONVERT, png, "-format", "%w", "info:"], capture_output=True,
                               text=True, timeout=30, check=True).stdout)
    return out, width


def pixel(png, x, y):
    return tuple(subprocess.run([CONVERT, png, "-crop", f"1x1+{x}+{y}", "-depth", "8", "rgb:-"],
                                capture_output=True, timeout=30, check=True).stdout[:3])


def blue_face(png):
    """The positions of the pixels showing Camera A's placeholder colour."""
    data, width = rgb_pixels(png)
    found = set()
    for at in range(0, len(data) - 2, 3):
        if all(abs(data[at + i] - PALE_BLUE[i]) <= 3 for i in range(3)):
            found.add(((at // 3) % width, (at // 3) // width))
    return found


class Compositor:
    """A headless compositor with a runtime folder of its own; stopped by its pid."""

    def __init__(self, test, user=None):
        self.test = test
        self.user = user
        self.runtime = private_folder(test, owner=user)
        self.log = open(os.path.join(self.runtime, "compositor.log"), "wb")
        test.addCleanup(self.log.close)
        self.proc = None
        self.socket = None

    def popen(self, args, env, **kwargs):
        if self.user is not None:
            kwargs.update(user=self.user, group=self.user, extra_groups=[])
        return subprocess.Popen(args, env=env, **kwargs)

    def start(self, args, env):
        self.proc = self.popen(args, env, stdout=self.log, stderr=subprocess.STDOUT)
        self.test.addCleanup(self.stop)
        sockets = poll(self.sockets, bool)
        if not sockets:
            raise AssertionError(f"{args[0]} made no Wayland socket: {self.read_log()}")
        self.socket = os.path.basename(sockets[0])

    def sockets(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"the compositor ended: {self.read_log()}")
        return [p for p in glob.glob(os.path.join(self.runtime, "*"))
                if os.path.basename(p) != "compositor.log" and not p.endswith(".lock")
                and not p.endswith(".sock") and os.path.exists(p + ".lock")]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(15)

    def read_log(self):
        self.log.flush()
        with open(os.path.join(self.runtime, "compositor.log"), "rb") as f:
            return f.read().decode(errors="replace")[-3000:]

    def client_env(self, **extra):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "XDG_RUNTIME_DIR": self.runtime,
               "WAYLAND_DISPLAY": self.socket, "LANG": "C.UTF-8"}
        env.update(extra)
        return env


class Weston(Compositor):
    def __init__(self, test):
        super().__init__(test)
        # The idle time is off: an idle weston puts its output to sleep and repaints no more.
        self.start(["weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                    "--idle-time=0", f"--width={SCREEN_SIZE[0]}", f"--height={SCREEN_SIZE[1]}",
                    f"--socket=kovra-{os.getpid()}-{id(self)}"],
                   {"PATH": os.environ.get("PATH", ""), "XDG_RUNTIME_DIR": self.runtime})

    def screenshot(self):
        """The whole output as a PNG (weston-screenshooter writes it to its folder)."""
        folder = tempfile.mkdtemp(prefix="kovra-wl-shot-")
        self.test.addCleanup(shutil.rmtree, folder, True)
        subprocess.run(["weston-screenshooter"], cwd=folder, env=self.client_env(),
                       timeout=30, check=True, capture_output=True)
        shots = glob.glob(os.path.join(folder, "*.png"))
        self.test.assertEqual(len(shots), 1, "weston-screenshooter saved no picture")
        return shots[0]


class Sway(Compositor):
    def __init__(self, test, screens=1):
        super().__init__(test, user=NOBODY)
        config = os.path.join(self.runtime, "config")
        with open(config, "w") as f:
            f.write("xwayland disable\n"
                    f"output HEADLESS-1 resolution {SCREEN_SIZE[0]}x{SCREEN_SIZE[1]} "
                    "position 0 0\n")
            if screens > 1:
                # Clicks land on the first screen in its own pixels, however the layout grows.
                f.write(f"output HEADLESS-2 resolution {SECOND_SIZE[0]}x{SECOND_SIZE[1]} "
                        f"position {SCREEN_SIZE[0]} 0\n"
                        "input type:pointer map_to_output HEADLESS-1\n")
        os.chown(config, NOBODY, NOBODY)
        self.start(["sway", "-c", config],
                   {"PATH": os.environ.get("PATH", ""), "XDG_RUNTIME_DIR": self.runtime,
                    "HOME": self.runtime, "WLR_BACKENDS": "headless",
                    "WLR_HEADLESS_OUTPUTS": str(screens), "WLR_RENDERER": "pixman",
                    "WLR_LIBINPUT_NO_DEVICES": "1"})
        self.ipc = poll(lambda: glob.glob(os.path.join(self.runtime, "sway-ipc.*.sock")), bool)
        self.test.assertTrue(self.ipc, "sway made no IPC socket")

    def msg(self, *args):
        done = subprocess.run(["swaymsg", "-s", self.ipc[0], *args], capture_output=True,
                              text=True, timeout=15)
        if done.returncode != 0:
            raise AssertionError(f"swaymsg {' '.join(args)} failed: {done.stderr}")
        return done.stdout

    def windows(self, pid):
        """The windows of the process as sway's tree holds them, each with the name of the
        screen it is on as "screen"."""
        found = []

        def walk(node, screen):
            if node.get("type") == "output":
                screen = node["name"]
            if node.get("pid") == pid:
                found.append(dict(node, screen=screen))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child, screen)
        walk(json.loads(self.msg("-t", "get_tree")), None)
        return found

    def keep_keyboard(self):
        """A virtual keyboard for as long as the test runs (a wtype that only waits), so that
        clients have their keyboard before any key comes: the seat of a headless sway has
        none, and keys sent while a client is still taking up a new one are lost."""
        keeper = subprocess.Popen(["wtype", "-s", "3600000"], env=self.client_env(),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.test.addCleanup(keeper.wait, 15)
        self.test.addCleanup(keeper.kill)
        seat = poll(lambda: json.loads(self.msg("-t", "get_seats"))[0], lambda s: s["devices"])
        self.test.assertTrue(seat["devices"], "no virtual keyboard on the seat")

    def screenshot(self, screen=None):
        """The whole layout, or the named screen, as a PNG."""
        folder = tempfile.mkdtemp(prefix="kovra-wl-shot-")
        self.test.addCleanup(shutil.rmtree, folder, True)
        path = os.path.join(folder, "screen.png")
        subprocess.run(["grim", *(["-o", screen] if screen else []), path],
                       env=self.client_env(), timeout=30, check=True, capture_output=True)
        return path

    def type_in_background(self, *args):
        """A wtype call left running (for a key held down); ended with the test."""
        typing = subprocess.Popen(["wtype", "-k", "F12", *args], env=self.client_env(),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.test.addCleanup(typing.wait, 15)
        self.test.addCleanup(typing.kill)
        return typing

    def type(self, *args):
        """One wtype call, led by F12, which Kovra ignores: each call brings a virtual
        keyboard of its own, whose first key may be lost."""
        subprocess.run(["wtype", "-k", "F12", *args], env=self.client_env(), timeout=30,
                       check=True, capture_output=True)


class Pointer:
    """The virtual pointer, made before Kovra starts so that its window has a mouse."""

    def __init__(self, compositor):
        self.proc = subprocess.Popen([KOVRA_POINTER, str(SCREEN_SIZE[0]), str(SCREEN_SIZE[1])],
                                     env=compositor.client_env(), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        compositor.test.addCleanup(self.close)
        compositor.test.assertEqual(self.proc.stdout.readline().strip(), "ready")

    def click(self, x, y):
        self.proc.stdin.write(f"click {x} {y}\n")
        self.proc.stdin.flush()
        if self.proc.stdout.readline().strip() != "done":
            raise AssertionError("the virtual pointer did not click")

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(15)


class Kovra:
    """Kovra and its effects library copied into a folder of its own, so its settings file is
    the test's own; run as the compositor's user."""

    def __init__(self, compositor, ini=None):
        self.compositor = compositor
        test = compositor.test
        self.dir = tempfile.mkdtemp(prefix="kovra-wl-e2e-")
        test.addCleanup(shutil.rmtree, self.dir, True)
        shutil.copy2(KOVRA_BINARY, self.dir)
        shutil.copy2(KOVRA_EFFECTS, self.dir)
        self.ini_path = os.path.join(self.dir, "Kovra.ini")
        if ini is not None:
            with open(self.ini_path, "w") as f:
                f.write(ini)
        if compositor.user is not None:
            for path in [self.dir] + glob.glob(os.path.join(self.dir, "*")):
                os.chown(path, compositor.user, compositor.user)
        self.log_path = os.path.join(self.dir, "output.log")
        self.log = open(self.log_path, "wb")
        test.addCleanup(self.log.close)
        # No PipeWire daemon answers: Send is greyed out, as the menu's positions expect.
        env = compositor.client_env(QT_QPA_PLATFORM="wayland", HOME=self.dir,
                                    LD_LIBRARY_PATH=self.dir,
                                    PIPEWIRE_REMOTE=os.path.join(self.dir, "no-pipewire"))
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        self.proc = compositor.popen([os.path.join(self.dir, "Kovra")], env, cwd=self.dir,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        test.addCleanup(self.kill)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(15)

    def output(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode(errors="replace")[-3000:]

    def close_by_signal(self):
        """SIGTERM ends the program; gives its exit code."""
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(30)
        except subprocess.TimeoutExpired:
            raise AssertionError("Kovra still running 30 s after SIGTERM")

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"Kovra still running {timeout} s after it was told to close")


class WaylandTestCase(unittest.TestCase):
    def assertClosedNormally(self, k):
        self.assertEqual(k.wait_exit(), 0, k.output())
        self.assertEqual(settings(k.ini_path), ALL_ZERO)


# ---------------------------------------------------------------------------------------
# weston


class WestonTest(WaylandTestCase):
    def test_picture_shows_and_moves_and_sigterm_writes_the_settings(self):
        weston = Weston(self)
        k = Kovra(weston)
        # Effect 0 turns a cube whose faces show Camera A's placeholder.
        first = poll(lambda: blue_face(weston.screenshot()), lambda face: len(face) > 2000,
                     timeout=60)
        self.assertGreater(len(first), 2000, f"no picture on the screen: {k.output()}")
        later = poll(lambda: blue_face(weston.screenshot()),
                     lambda face: len(face) > 2000 and face != first, timeout=60)
        self.assertGreater(len(later), 2000, "the picture went away")
        self.assertNotEqual(later, first, "the picture stands still")
        self.assertTrue(k.proc.poll() is None, k.output())
        self.assertEqual(k.close_by_signal(), 0, k.output())
        self.assertEqual(settings(k.ini_path), ALL_ZERO)


# ---------------------------------------------------------------------------------------
# sway


class SwaySession(WaylandTestCase):
    """Kovra under sway with a keyboard and a mouse, its picture on the first screen."""

    def start_kovra(self, screens=1, ini=None):
        self.sway = Sway(self, screens)
        self.sway.keep_keyboard()
        self.pointer = Pointer(self.sway)
        self.k = Kovra(self.sway, ini)
        self.window(focused=True)
        # Clicks reach the picture once it is on the screen: before, they meet the window
        # behind it. Effect 0 turns a cube whose faces show Camera A's placeholder.
        face = poll(lambda: blue_face(self.sway.screenshot("HEADLESS-1")), lambda f: len(f) > 2000)
        self.assertGreater(len(face), 2000, f"no picture on the screen: {self.k.output()}")

    def window(self, focused=False):
        """Kovra's main window in sway's tree, once it is there (and has the focus)."""
        pid = self.k.proc.pid
        windows = poll(lambda: [w for w in self.sway.windows(pid)
                                if (w.get("name") or "").startswith("Kovra 1")
                                and (w["focused"] or not focused)], bool)
        self.assertTrue(windows, f"no Kovra window: {self.k.output()}")
        return windows[0]

    def wait_title(self, done):
        return poll(lambda: self.window()["name"], done)

    def wait_status(self, effect, ctrl1, ctrl2):
        title = self.wait_title(lambda t: status_of(t) == (effect, ctrl1, ctrl2))
        self.assertEqual(status_of(title), (effect, ctrl1, ctrl2), title)

    def wait_full_screen(self, wanted):
        def settled(w):
            covers = (w["rect"]["width"], w["rect"]["height"]) == SCREEN_SIZE
            return (w["fullscreen_mode"] == 1) == wanted and covers == wanted
        w = poll(self.window, settled)
        self.assertTrue(settled(w), f"full screen should be {wanted}: {w['rect']}")
        if not wanted:
            # The menu bar is back above the picture (light, where the picture's top is dark).
            r = w["rect"]
            bar = poll(lambda: pixel(self.sway.screenshot(), r["x"] + r["width"] - 10, r["y"] + 8),
                       lambda c: sum(c) > 600)
            self.assertGreater(sum(bar), 600, "no menu bar above the picture")
        return w

    def click_picture(self):
        r = self.window()["rect"]
        self.pointer.click(r["x"] + r["width"] // 2, r["y"] + r["height"] // 2)

    def choose_from_view_menu(self, w, item, entry=None):
        """Opens the View menu with a click and takes the named item (a submenu's entry-th
        entry) with the keyboard once the menu shows (light, where the picture's top is dark)."""
        x, y = w["rect"]["x"], w["rect"]["y"]

        def click_view():
            # A screen added while another shows a full-screen window makes sway send the
            # focused window a keyboard leave and enter; Qt, taking them up late, closes a
            # menu opened in between. Then the click is made again.
            self.pointer.click(x + 20, y + 10)
            return poll(lambda: pixel(self.sway.screenshot("HEADLESS-1"), x + 25, y + 33),
                        lambda c: sum(c) > 600, timeout=5)
        shown = poll(click_view, lambda c: sum(c) > 600, timeout=30, interval=0)
        self.assertGreater(sum(shown), 600, "the View menu did not open")
        self.sway.type(*[arg for key in view_menu_keys(item, entry) for arg in ("-k", key)])


class SwayTest(SwaySession):
    def setUp(self):
        self.start_kovra()

    def test_keys_step_the_title_and_a_held_key_repeats(self):
        self.sway.type("-k", "x", "-k", "x", "-k", "v", "-k", "n", "-k", "n", "-k", "b")
        self.wait_status(2, 1, 1)
        # Held: each repeat is a press with the already-down bit, and steps Ctrl 1. The
        # holding keyboard stays until V has been let go from another.
        holding = self.sway.type_in_background("-P", "v", "-s", "600000")
        title = self.wait_title(lambda t: status_of(t) and status_of(t)[1] >= 4)
        self.sway.type("-p", "v")
        holding.kill()
        self.assertGreaterEqual(status_of(title)[1], 4, f"holding V gave no repeats: {title}")
        # Released: Ctrl 1 stays where the repeats left it, across two later keys.
        self.sway.type("-k", "z")
        title = self.wait_title(lambda t: status_of(t) and status_of(t)[0] == 1)
        ctrl1 = status_of(title)[1]
        self.sway.type("-k", "z")
        self.wait_status(0, ctrl1, 1)

    def test_click_and_menu_enter_and_leave_full_screen(self):
        self.click_picture()
        self.wait_full_screen(True)
        self.click_picture()
        w = self.wait_full_screen(False)
        self.choose_from_view_menu(w, "Full Screen")
        self.wait_full_screen(True)
        self.click_picture()
        self.wait_full_screen(False)

    def test_about_box_opens_and_closes_with_kovra_running_on(self):
        self.choose_from_view_menu(self.window(), "About")
        pid = self.k.proc.pid
        about = poll(lambda: [w for w in self.sway.windows(pid) if w["name"] == "About Kovra"],
                     bool)
        self.assertTrue(about, "no About box")
        self.sway.type("-k", "Return")
        left = poll(lambda: [w["name"] for w in self.sway.windows(pid)], lambda n: len(n) == 1)
        self.assertEqual(len(left), 1, f"the About box stayed: {left}")
        self.assertTrue(self.k.proc.poll() is None, "Kovra ended with its About box")

    def test_escape_closes_normally(self):
        self.sway.type("-k", "Escape")
        self.assertClosedNormally(self.k)

    def test_compositor_close_closes_normally(self):
        self.sway.msg(f"[pid={self.k.proc.pid}]", "kill")
        self.assertClosedNormally(self.k)

    def test_sigterm_in_full_screen_closes_normally(self):
        self.click_picture()
        self.wait_full_screen(True)
        self.assertEqual(self.k.close_by_signal(), 0, self.k.output())
        self.assertEqual(settings(self.k.ini_path), ALL_ZERO)


class SwayScreensTest(SwaySession):
    """The output on a screen of its own: HEADLESS-2 chosen in the settings file."""

    def setUp(self):
        self.start_kovra(screens=2, ini="[OUTPUT]\nSCREEN=HEADLESS-2\n")
        self.assertEqual(self.window()["screen"], "HEADLESS-1")

    def output_on(self, screen):
        """The output window once it is full screen on the screen; the main window stays a
        window on the first screen."""
        def output():
            found = [w for w in self.sway.windows(self.k.proc.pid) if w["name"] == "Kovra Output"]
            return found[0] if found else None
        w = poll(output, lambda w: w and w["screen"] == screen and w["fullscreen_mode"] == 1)
        self.assertTrue(w and w["screen"] == screen and w["fullscreen_mode"] == 1,
                        f"the output should be full screen on {screen}: {w}")
        main = self.window()
        self.assertEqual((main["screen"], main["fullscreen_mode"]), ("HEADLESS-1", 0))
        return w

    def test_output_goes_full_screen_on_the_second_screen_and_the_preview_stays(self):
        self.click_picture()
        rect = self.output_on("HEADLESS-2")["rect"]
        self.assertEqual((rect["width"], rect["height"]), SECOND_SIZE)
        # Both screens show effect 0's cube with Camera A's placeholder on its faces.
        for screen in ("HEADLESS-2", "HEADLESS-1"):
            face = poll(lambda: blue_face(self.sway.screenshot(screen)), lambda f: len(f) > 2000)
            self.assertGreater(len(face), 2000, f"no picture on {screen}")

    def test_a_screen_added_while_kovra_runs_takes_the_output_when_chosen(self):
        self.click_picture()
        self.output_on("HEADLESS-2")
        self.sway.msg("create_output")
        outputs = poll(lambda: [o["name"] for o in json.loads(self.sway.msg("-t", "get_outputs"))],
                       lambda names: "HEADLESS-3" in names)
        self.assertIn("HEADLESS-3", outputs)
        # The submenu: Same Screen as the Window, then HEADLESS-1, -2 and -3 as Qt lists them.
        # sway answers Kovra's binding of the new screen before it takes the menu's surface,
        # so the menu shown on the screen comes after Qt has the screen.
        self.choose_from_view_menu(self.window(), "Output Screen", 3)
        self.output_on("HEADLESS-3")


if __name__ == "__main__":
    missing = [name for name, value in (("KOVRA_BINARY", KOVRA_BINARY),
                                        ("KOVRA_EFFECTS", KOVRA_EFFECTS),
                                        ("KOVRA_POINTER", KOVRA_POINTER)) if not value]
    if missing:
        raise SystemExit(f"set {', '.join(missing)}")
    unittest.main()
