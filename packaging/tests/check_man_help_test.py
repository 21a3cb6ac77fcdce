#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The manual page checker against a made-up program, so that a checker
that passes everything is caught as surely as a page that drifted."""

import os
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_man_help  # noqa: E402

HELP = """Usage: {prog} [OPTIONS] FILE
Counts the fixes in FILE.

  -h, --help          Show this help and exit.
  --rate <HZ>         Fixes per second (default 1).
"""

PAGE = r""".\" a comment: --nowhere is not an option
.TH TOOL 1
.SH NAME
tool \- counts fixes
.SH SYNOPSIS
Usage: tool [OPTIONS] FILE
.SH DESCRIPTION
Counts the fixes in
.IR FILE .
.SH OPTIONS
.TP
.B \-h, \-\-help
Show this help and exit.
.TP
.BR \-\-rate " HZ"
Fixes per second
(default\ 1).
"""


class CheckerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.program = os.path.join(self.folder.name, "tool")
        self.page = os.path.join(self.folder.name, "tool.1")

    def make(self, help_text=HELP, version="tool (Halvex) 1.2.3", page=PAGE, sub_help=None):
        """Writes the page and a program that answers --version, --help and
        SUB --help (with its main help unless `sub_help` has SUB); checks."""
        script = "#!/bin/sh\n" \
            'if [ "$1" = --version ]; then echo "' + version + '"; exit 0; fi\n'
        for name, text in (sub_help or {}).items():
            script += 'if [ "$1" = ' + name + " ]; then cat <<'END'\n" + text + "END\nexit 0; fi\n"
        script += "cat <<'END'\n" + help_text.format(prog=self.program) + "END\n"
        with open(self.program, "w") as f:
            f.write(script)
        os.chmod(self.program, stat.S_IRWXU)
        with open(self.page, "w") as f:
            f.write(page)
        return check_man_help.check(self.page, "1.2.3", self.program)

    def test_a_page_that_says_what_help_says_passes(self):
        self.assertEqual(self.make(), [])

    def test_roff_is_read_as_text(self):
        text = check_man_help.strip_roff(PAGE)
        self.assertIn("-h, --help\nShow this help and exit.", text)
        self.assertIn("--rate HZ", text)
        self.assertIn("(default 1)", text)
        self.assertNotIn("nowhere", text)
        self.assertNotIn(".TP", text)

    def test_a_help_line_the_page_lacks_fails(self):
        failures = self.make(help_text=HELP + "  --loop              Start again at the end.\n")
        self.assertEqual(len(failures), 1)
        self.assertIn("--loop Start again at the end.", failures[0])

    def test_changed_words_fail(self):
        self.assertTrue(self.make(help_text=HELP.replace("(default 1)", "(default 2)")))

    def test_an_option_only_the_page_names_fails(self):
        failures = self.make(page=PAGE + ".TP\n.B \\-\\-speed\nFaster.\n")
        self.assertEqual(failures, ["the page names --speed, which no --help knows"])

    def test_each_listed_subcommand_has_its_help_checked(self):
        help_text = HELP + "\nSubcommands:\n  count   count the fixes\n  merge   merge two logs\n"
        page = PAGE + ".SH SUBCOMMANDS\nSubcommands:\n.TP\n.B count\ncount the fixes\n" \
            ".TP\n.B merge\nmerge two logs\n"
        self.assertEqual(check_man_help.subcommands(help_text), ["count", "merge"])
        failures = self.make(help_text=help_text, page=page,
                             sub_help={"merge": "Usage: tool merge A B\n  --gap N   largest gap\n"})
        self.assertEqual(failures, [
            "--help line missing from the page: 'tool merge A B'",
            "--help line missing from the page: '--gap N largest gap'"])

    def test_another_version_fails(self):
        self.assertTrue(self.make(version="tool (Halvex) 1.2.30"))


if __name__ == "__main__":
    unittest.main()
