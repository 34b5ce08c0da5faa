#!/usr/bin/env python3
# No OpenGL: the message box, the exit code and the settings file left as it was; with no
# window to show it in, the message on standard error.
import time

from kovra_driver import (
    Kovra,
    KovraTestCase,
    NO_SUCH_CAMERA,
    xdo,
    main,
)


class NoOpenGlTest(KovraTestCase):
    # Odd spacing, CR LF line ends and a camera that cannot start (which a normal exit
    # writes back as 0): any rewrite would show in the bytes.
    ORIGINAL = (b"; kept as it is\r\n[MIDI]\r\nDEVICE = 4\r\n[CAMERA]\r\nDEVICE1="
                + str(NO_SUCH_CAMERA).encode() + b"\r\n")

    def failing(self):
        k = Kovra(self, ini=self.ORIGINAL, env={"QT_XCB_GL_INTEGRATION": "none"}).start()
        box = k.find_window("^Kovra$")
        return k, box

    def dismiss(self, k, box):
        k.focus(box)
        xdo("key", "Return")
        return k.wait_exit()

    def test_message_box_captioned_kovra_waits_for_the_user(self):
        k, box = self.failing()
        self.assertEqual(k.title(box), "Kovra")
        self.assertIsNone(k.window_named("^Kovra 1"), "the main window opened")
        time.sleep(0.5)
        self.assertTrue(k.running(), "the program went without waiting for OK")

    def test_dismissing_the_box_exits_with_code_1(self):
        k, box = self.failing()
        self.assertEqual(self.dismiss(k, box), 1)

    def test_settings_file_is_left_byte_for_byte(self):
        k, box = self.failing()
        self.dismiss(k, box)
        with open(k.ini_path, "rb") as f:
            self.assertEqual(f.read(), self.ORIGINAL)


class NoOpenGlOffscreenTest(KovraTestCase):
    def test_the_message_goes_to_standard_error_and_kovra_exits_1(self):
        # Qt's offscreen platform with no display to reach OpenGL through: no box can be
        # clicked away there.
        env = {"QT_QPA_PLATFORM": "offscreen", "QT_QPA_OFFSCREEN_NO_GLX": "1", "DISPLAY": ""}
        k = Kovra(self, ini=NoOpenGlTest.ORIGINAL, env=env).start()
        self.assertEqual(k.wait_exit(30), 1)
        self.assertIn("OpenGLの初期化に失敗しました", k.output())
        with open(k.ini_path, "rb") as f:
            self.assertEqual(f.read(), NoOpenGlTest.ORIGINAL)


if __name__ == "__main__":
    main()
