"""The words of the Linux program's three documents agree: `tamrix --help`
(the one list, linux/command_line.cpp), the manual page (linux/tamrix.1.in)
and README.md name the same options, the same exit statuses with the same
meaning, word for word, and the same files; the bash completion offers the
options of --help; and every status of linux/exit_status.h is listed.

Usage: TAMRIX=path/to/tamrix python3 test_documents.py
"""

import os
import re
import shlex
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tamrix_fixtures import tamrix_program  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def source(*path):
    with open(os.path.join(ROOT, *path), encoding="utf-8") as f:
        return f.read()


def words(text):
    """Text with markup gone (backticks), its blanks and line ends as one."""
    return " ".join(text.replace("`", "").split())


def plain_roff(page):
    """The manual page as text lines: comments dropped, each font macro's
    arguments joined, escapes resolved."""
    lines = []
    for line in page.split("\n"):
        if line.startswith('.\\"'):
            continue
        macro = re.match(r"\.(B|I|BR|RB|IR|RI|BI|IB) (.*)", line)
        if macro:
            # .B and .I set their words; the others alternate fonts, joined.
            joint = " " if len(macro.group(1)) == 1 else ""
            line = joint.join(shlex.split(macro.group(2).replace("\\", "\\\\")))
        line = re.sub(r"\\f[RBIP]", "", line).replace("\\-", "-").replace("\\e", "\\")
        lines.append(line)
    return lines


def section(lines, title):
    """The lines of a manual section, up to the next .SH."""
    start = lines.index(".SH " + title) + 1
    end = next((i for i in range(start, len(lines)) if lines[i].startswith(".SH ")), len(lines))
    return lines[start:end]


def tagged_paragraphs(lines):
    """(tag, text) of each .TP paragraph."""
    found = []
    for i, line in enumerate(lines):
        if line == ".TP":
            body = []
            for following in lines[i + 2:]:
                if following.startswith("."):
                    break
                body.append(following)
            found.append((lines[i + 1], words(" ".join(body))))
    return found


def help_block(text, title):
    """The entries of a --help section: a line "  TAG  text", its text going
    on in lines indented further; up to a line that starts none."""
    entries, lines = [], text.split("\n")
    start = next(i for i, line in enumerate(lines) if line.endswith(title)) + 1
    for line in lines[start:]:
        entry = re.match(r"  (\S.*?)  (.*)", line)
        if line.startswith("     ") and entries:
            entries[-1][1].append(line)
        elif entry:
            entries.append((entry.group(1), [entry.group(2)]))
        else:
            break
    return [(tag, words(" ".join(text))) for tag, text in entries]


class Documents(unittest.TestCase):
    def setUp(self):
        self.help = subprocess.run([tamrix_program(), "--help"], capture_output=True,
                                   text=True, check=True).stdout
        self.page = plain_roff(source("linux", "tamrix.1.in"))
        self.readme = source("README.md")

    def test_the_options(self):
        def options(text):
            return sorted(set(re.findall(r"--[a-z][a-z-]*", text)))
        helped = options(self.help)
        self.assertEqual(options("\n".join(self.page)), helped)
        self.assertEqual(options(source("linux", "tamrix.bash-completion")), helped)

    def test_the_exit_statuses(self):
        helped = help_block(self.help, "Exit status:")
        self.assertEqual(tagged_paragraphs(section(self.page, "EXIT STATUS")), helped)
        listed = re.findall(r"\n  - `([0-9, ]+)`: ((?:.|\n(?!  -|\n))*)", self.readme)
        self.assertEqual([(tag, words(text)) for tag, text in listed], helped)
        # Every status the program gives: those of exit_status.h, and 128 + N
        # for the signals it ends by (SIGPIPE's 141 among them).
        tags = ", ".join(tag for tag, _ in helped)
        for value in re.findall(r"= (\d+),", source("linux", "exit_status.h")):
            if value != "128":
                self.assertIn(value, tags.split(", "))
        for value in ("129", "130", "141", "143"):
            self.assertIn(value, tags.split(", "))

    def test_the_files(self):
        helped = [tag for tag, _ in help_block(self.help, "lower case):")]
        helped += [tag for tag, _ in help_block(self.help, "Elsewhere:")]
        paged = [tag for tag, _ in tagged_paragraphs(section(self.page, "FILES"))]
        self.assertEqual(paged, helped)
        for name in ", ".join(helped).split(", "):
            if name.startswith(("INF/", "SYSTEM.", "$")):
                self.assertIn("`%s`" % name, self.readme)


if __name__ == "__main__":
    from tamrix_fixtures import main  # ends what each test leaves running
    main()
