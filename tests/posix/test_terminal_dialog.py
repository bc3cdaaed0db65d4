"""The terminal dialog of `tamrix`, driven through a pseudo-terminal.

Each case starts the program in a detached tmux session of a fixed size,
presses keys with send-keys and reads the screen with capture-pane, then
checks the INF folder byte for byte.

Usage: TAMRIX=path/to/tamrix python3 test_terminal_dialog.py
"""

import os
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import (DEVICES, MACHINE_INF, MACHINE_INF_INSTALLED,  # noqa: E402
                             MACHINE_INF_INSTALLED_KIND2, RESTART, USB_INF, USB_INF_INSTALLED,
                             WARNING,
                             WindowsFolder, finish_lines)
from terminal_fixtures import DialogCase, Terminal, on_screen, read_box  # noqa: E402

BOTH = {"machine.inf": MACHINE_INF, "usb.inf": USB_INF}
EXPLANATION = ("This Windows'95 utility applies to any motherboard which is based on "
               "following chipset:")
CHIPSETS_LINE = "    Intel 430TX, Intel 440LX, SIS 5571, SIS 5582."
def catches(pid, signal_number):
    """Whether process `pid` has a handler set for `signal_number`."""
    try:
        with open("/proc/%d/status" % pid) as f:
            caught = next(line for line in f if line.startswith("SigCgt:")).split()[1]
    except (OSError, TypeError):
        return False
    return bool(int(caught, 16) >> (signal_number - 1) & 1)


def dialog_text(screen):
    """The lines of the explanatory text, as its frame shows them."""
    start = next((r for r, line in enumerate(screen) if "This Windows'95" in line), None)
    if start is None:
        return None
    column = screen[start].index("This Windows'95")
    lines = []
    for line in screen[start:]:
        if line[column - 2] != "|":
            break
        lines.append(line[column:column + 64].rstrip())
    return lines


class Dialog(DialogCase):
    def test_dialog_install_escape_exit(self):
        term = self.start(BOTH, ["--platform-kind", "2"])
        screen = self.wait_for_dialog()
        # Kind 2 is Windows 95: no warning first.
        self.assertIsNone(read_box(screen, "Warning"))
        text = dialog_text(screen)
        self.assertEqual(" ".join(text[:-1]), EXPLANATION)
        self.assertEqual(text[-1], CHIPSETS_LINE)
        for face in ("Choice:", "[X] Chipsets", "[X] USB controller", "< Install >",
                     "[ Uninstall ]", "[ Exit ]"):
            self.assertTrue(on_screen(screen, face), face)

        # With no focus, Enter presses the default button, Install.
        term.keys("Enter")
        box = self.wait_for_box("OK")
        self.assertEqual(box, {"icon": None, "lines": [" The utility has updated completely!"],
                               "buttons": "< OK >"})
        self.assertEqual(self.folder.contents(),
                         {"machine.inf": MACHINE_INF_INSTALLED_KIND2, "usb.inf": USB_INF_INSTALLED})
        term.keys("Enter")
        term.wait_for(lambda s: read_box(s, "OK") is None, "closed box")

        # Escape sends the cancel command: nothing happens, and the Tabs
        # after it go through the controls to Exit, which Enter then presses.
        term.keys("Escape", "Tab", "Tab", "Tab", "Tab", "Tab")
        self.assertTrue(on_screen(self.wait_for_dialog("< Exit >"), "[ Install ]"))
        self.assertEqual(self.folder.contents(),
                         {"machine.inf": MACHINE_INF_INSTALLED_KIND2, "usb.inf": USB_INF_INSTALLED})
        term.keys("Enter")
        # No restart question: nothing restarts here.
        box = self.wait_for_box("Finish")
        self.assertEqual(box, {"icon": "[i]", "lines": [RESTART.split(": ", 1)[1]],
                               "buttons": "< OK >"})
        term.keys("Enter")
        # Then the note on what the patched Windows must do at its next start.
        note = term.wait_for(lambda s: (lambda b: b if b and len(b["lines"]) > 1 else None)(
            read_box(s, "Finish")), "offline note")
        self.assertEqual(note["lines"][-10:], ["    " + device for device in DEVICES])
        self.assertIn("Device Manager", " ".join(note["lines"]))
        self.assertEqual(note["icon"], "[i]")
        self.assertEqual(note["buttons"], "< OK >")
        term.keys("Enter")
        self.assertEqual(term.wait_for_exit(), 0)
        # Exit's boxes stay on the terminal, as the command line prints them.
        self.assertEqual(term.transcript(), finish_lines())
        self.assertEqual(self.folder.contents(),
                         {"machine.inf": MACHINE_INF_INSTALLED_KIND2, "usb.inf": USB_INF_INSTALLED})

    def test_escape_changes_nothing_and_exit_asks_nothing(self):
        term = self.start(BOTH, ["--platform-kind", "1"])
        self.wait_for_dialog()
        # Escape changes nothing; Up from no focus then reaches the last
        # control, Exit, and Space presses it.
        term.keys("Escape", "Escape", "Up")
        self.wait_for_dialog("< Exit >")
        self.assertEqual(self.folder.contents(), BOTH)
        term.keys("Space")
        self.assertEqual(term.wait_for_exit(), 0)
        self.assertFalse(on_screen(term.screen(), "Finish"))
        self.assertEqual(self.folder.contents(), BOTH)

    def test_nothing_selected(self):
        term = self.start(BOTH, ["--platform-kind", "1"])
        screen = self.wait_for_dialog()
        self.assertTrue(on_screen(screen, "[X] Chipsets"))
        self.assertTrue(on_screen(screen, "[X] USB controller"))
        term.keys("Tab", "Space")
        term.wait_for_text("[ ] Chipsets")
        term.keys("Tab", "Space")
        term.wait_for_text("[ ] USB controller")
        # The focus is on a check box, so Enter presses Install.
        term.keys("Enter")
        box = self.wait_for_box("Do what?")
        self.assertEqual(box, {"icon": "[?]", "lines": [" Please choice drivers!"],
                               "buttons": "< OK >"})
        term.keys("Enter")
        term.wait_for(lambda s: read_box(s, "Do what?") is None, "closed box")
        term.keys("Tab", "Tab")  # Install, then Uninstall
        term.wait_for_text("< Uninstall >")
        term.keys("Space")
        self.assertEqual(self.wait_for_box("Do what?")["lines"], [" Please choice drivers!"])
        term.keys("o")
        term.wait_for(lambda s: read_box(s, "Do what?") is None, "closed box")
        self.assertEqual(self.folder.contents(), BOTH)
        term.keys("Tab", "Enter")  # Exit, with nothing changed: no question
        self.assertEqual(term.wait_for_exit(), 0)
        self.assertEqual(self.folder.contents(), BOTH)

    def test_uninstall_with_the_mouse(self):
        term = self.start({"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF_INSTALLED},
                          ["--platform-kind", "1"])
        screen = self.wait_for_dialog()

        def click(face):
            row = next(r for r, line in enumerate(screen) if face in line)
            column = screen[row].index(face) + 1
            # An X10 mouse report: press, then release, of the left button.
            for button in (0, 3):
                term.tmux("send-keys", "-H", "1b", "5b", "4d", "%02x" % (32 + button),
                          "%02x" % (33 + column), "%02x" % (33 + row))

        click("[X] USB controller")
        term.wait_for_text("[ ] USB controller")
        click("[ Uninstall ]")
        box = self.wait_for_box("OK")
        self.assertEqual(box["lines"], ["The utility has uninstalled completely!"])
        self.assertEqual(self.folder.contents(),
                         {"machine.inf": MACHINE_INF, "usb.inf": USB_INF_INSTALLED})


class SmallTerminal(DialogCase):
    def test_too_small_says_so_and_draws_once_large_enough(self):
        self.folder = WindowsFolder(BOTH)
        self.addCleanup(self.folder.close)
        term = self.term = Terminal(["--platform-kind", "1", self.folder.windows], columns=50,
                                    rows=14)
        self.addCleanup(term.close)
        term.wait_for_text("Tamrix needs a terminal of at least 72 x 17")
        term.keys("Enter")  # Install, on a dialog that cannot be seen: nothing
        term.tmux("set-option", "-g", "window-size", "manual")
        term.tmux("resize-window", "-x", "80", "-y", "24")
        self.wait_for_dialog()
        self.assertEqual(self.folder.contents(), BOTH)


class StartUp(DialogCase):
    def test_warning_on_kind_0(self):
        for key, shows_dialog in (("n", False), ("y", True)):
            with self.subTest(answer=key):
                term = self.start(BOTH, [])
                box = self.wait_for_box("Warning")
                self.assertEqual(box, {"icon": "[i]",
                                       "lines": [" The OS is not Windows 95 system.",
                                                 " Continue, anyway?"],
                                       "buttons": "< Yes >   [ No ]"})
                term.keys(key)
                if shows_dialog:
                    self.wait_for_dialog()
                    term.keys("Up", "Enter")
                self.assertEqual(term.wait_for_exit(), 0)
                self.assertEqual(self.folder.contents(), BOTH)

    def test_missing_machine_inf_ends_with_status_1(self):
        term = self.start({"usb.inf": USB_INF}, ["--platform-kind", "1"])
        self.wait_for_dialog()
        term.keys("Enter")
        box = self.wait_for_box("File Open Error")
        path = self.folder.windows + "/inf/machine.inf"
        self.assertEqual(box["icon"], "[X]")
        self.assertEqual("".join(box["lines"]), "Can't find " + path)
        term.keys("Enter")
        self.assertEqual(term.wait_for_exit(), 1)
        # The error stays on the terminal.
        self.assertEqual(term.transcript(), ["File Open Error: Can't find " + path])
        self.assertEqual(self.folder.contents(), {"usb.inf": USB_INF})

    def test_ctrl_c_at_a_box_in_the_middle_of_a_run_deletes_out_inf(self):
        # The rename fails (file_calls_shim.cpp): the rename error box comes
        # while out.inf holds the new text, which Ctrl-C there takes away.
        self.folder = WindowsFolder(BOTH)
        self.addCleanup(self.folder.close)
        failing = ["env", "LD_PRELOAD=" + os.environ["FILE_CALLS_SHIM"],
                   "TAMRIX_SHIM_UNDER=" + self.folder.root, "TAMRIX_SHIM_KINDS=rename",
                   "TAMRIX_SHIM_FAIL_AT=1",
                   # Under AddressSanitizer the shim comes before its runtime.
                   "ASAN_OPTIONS=" + ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                            "verify_asan_link_order=0"]))]
        term = self.term = Terminal(["--platform-kind", "1", self.folder.windows], wrapper=failing)
        self.addCleanup(term.close)
        self.wait_for_dialog()
        term.keys("Enter")
        self.wait_for_box("rename error")
        self.assertIn("out.inf", os.listdir(self.folder.inf))
        term.keys("C-c")
        self.assertEqual(term.wait_for_exit(), 130)
        self.assertEqual(self.folder.contents(), BOTH)

    def test_sigterm_while_waiting_for_input(self):
        # The handler only records the signal; the program acts on it at once
        # on its main path, wherever it waits, even when the signal comes just
        # before the wait begins.  To bring it there, strace holds the
        # program's first write (the dialog's first screen, the question's
        # prompt) for a second on its way back, and the signal comes in that
        # second: it is handled as the write returns, before the wait for a
        # key or an answer.
        held = ["strace", "-qq", "-o", "/dev/null", "-e", "trace=write",
                "-e", "inject=write:delay_exit=1000000:when=1"]
        # LeakSanitizer cannot work under ptrace: a sanitized build leaves it out.
        held = ["env", "ASAN_OPTIONS=" + ":".join(
            filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"]))] + held
        stopped = "Tamrix: Stopped by SIGTERM; nothing was changed."
        cases = [
            # what, arguments, the first write held (else the signal once the
            # dialog shows), the lines left on the terminal
            ("the dialog waits for a key", ["--platform-kind", "1"], False, [stopped]),
            ("the dialog's first screen", ["--platform-kind", "1"], True, [stopped]),
            ("the Yes/No question's prompt", ["install", "--windows-dir"], True,
             [WARNING + stopped]),
        ]
        for what, args, first_write_held, lines in cases:
            with self.subTest(what=what):
                if first_write_held and subprocess.run(["strace", "-qq", "-o", "/dev/null", "true"],
                                                       capture_output=True).returncode:
                    self.skipTest("strace cannot trace here")
                self.folder = WindowsFolder(BOTH)
                self.addCleanup(self.folder.close)
                term = self.term = Terminal(args + [self.folder.windows], columns=200,
                                            wrapper=held if first_write_held else ())
                self.addCleanup(term.close)
                if first_write_held:  # the signal once the handler is set
                    term.wait_for(lambda s: catches(term.program(), signal.SIGTERM),
                                  "the program's handler of SIGTERM")
                else:
                    self.wait_for_dialog()
                os.kill(term.program(), signal.SIGTERM)
                self.assertEqual(term.wait_for_exit(), 128 + signal.SIGTERM)
                self.assertEqual(term.transcript(), lines)
                self.assertEqual(self.folder.contents(), BOTH)

    def test_command_line_asks_on_a_terminal(self):
        folder = WindowsFolder(BOTH)
        self.addCleanup(folder.close)
        term = Terminal(["install", "--windows-dir", folder.windows], columns=200)
        self.addCleanup(term.close)
        term.wait_for_text("Continue, anyway? [Yes/No]")
        term.keys("y", "Enter")
        self.assertEqual(term.wait_for_exit(), 0)
        self.assertTrue(on_screen(term.screen(), "OK:  The utility has updated completely!"))
        self.assertTrue(on_screen(term.screen(), "in Device Manager"))
        self.assertEqual(folder.contents(),
                         {"machine.inf": MACHINE_INF_INSTALLED, "usb.inf": USB_INF_INSTALLED})


if __name__ == "__main__":
    if shutil.which("tmux") is None:
        raise SystemExit("tmux is needed (scripts/install-deps.sh installs it)")
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
