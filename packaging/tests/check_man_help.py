#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that a manual page says what its program's --help says.

    check_man_help.py PAGE.1 VERSION PROGRAM

The rule, so that the two cannot drift apart:
  1. every non-blank line of `PROGRAM --help`, and of `PROGRAM SUB --help`
     for each subcommand SUB its "Subcommands:" block lists, appears in the
     page's text, roff stripped;
  2. every option (--word) the page names is one the help texts name;
  3. `PROGRAM --version` names VERSION, the project's version.
Lines are compared with runs of blanks as one blank, the program's path as
its name, <VALUE> as VALUE (man pages mark values by font instead) and
without a leading "Usage:" (the page's SYNOPSIS heading says it).
"""

import os
import re
import subprocess
import sys

ESCAPES = [
    (r"\-", "-"), (r"\(aq", "'"), (r"\(dq", '"'), (r"\(em", "\u2014"),
    (r"\(en", "\u2013"), (r"\(bu", "\u2022"), (r"\&", ""), (r"\ ", " "),
    (r"\~", " "), (r"\|", ""), (r"\e", "\\"), (r"\(rs", "\\"),
]
FONT = re.compile(r"\\f(\[[^\]]*\]|\(..|.)")
# Macros whose arguments are printed text; the alternating ones join their
# arguments without blanks.
TEXT_MACROS = {"B", "I", "SM", "SB", "SH", "SS", "IP", "TP"}
ALTERNATING = {"BR", "RB", "BI", "IB", "IR", "RI"}


def roff_arguments(text):
    args, current, quoted, i = [], "", False, 0
    while i < len(text):
        c = text[i]
        if c == '"':
            if quoted and text[i + 1:i + 2] == '"':
                current += '"'
                i += 1
            else:
                quoted = not quoted
        elif c in " \t" and not quoted:
            if current:
                args.append(current)
            current = ""
        else:
            current += c
        i += 1
    if current or quoted:
        args.append(current)
    return args


def unescape(text):
    text = FONT.sub("", text)
    for escape, plain in ESCAPES:
        text = text.replace(escape, plain)
    return text


def strip_roff(source):
    """The page as text: comments and layout requests dropped, the text of
    font macros kept, escapes resolved."""
    lines = []
    for line in source.splitlines():
        if line.startswith(('.\\"', "'\\\"")) or line.strip() == ".":
            continue
        if line.startswith((".", "'")):
            name, _, rest = line[1:].partition(" ")
            if name in ALTERNATING:
                lines.append("".join(roff_arguments(rest)))
            elif name in TEXT_MACROS and name not in ("TP", "IP"):
                lines.append(" ".join(roff_arguments(rest)))
            elif name == "IP" and rest:
                lines.append(roff_arguments(rest)[0])
            continue
        lines.append(line)
    return unescape("\n".join(lines))


def normalise(text, program):
    text = text.replace(program, os.path.basename(program))
    text = re.sub(r"^\s*Usage:", "", text)
    text = re.sub(r"<([A-Za-z_.\-]+)>", r"\1", text)
    return " ".join(text.split())


def run(command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise SystemExit(f"{' '.join(command)} exited {result.returncode}: {result.stderr}")
    return result.stdout


def subcommands(help_text):
    """The first word of each line of the "Subcommands:" block."""
    names, inside = [], False
    for line in help_text.splitlines():
        if line.strip() == "Subcommands:":
            inside = True
        elif inside and not line.strip():
            break
        elif inside:
            names.append(line.split()[0])
    return names


def check(page_file, version, program):
    with open(page_file, encoding="utf-8") as f:
        page_text = strip_roff(f.read())
    page = normalise(page_text, program)
    main_help = run([program, "--help"])
    helps = [main_help] + [run([program, s, "--help"]) for s in subcommands(main_help)]

    failures = []
    for text in helps:
        for line in text.splitlines():
            wanted = normalise(line, program)
            if wanted and wanted not in page:
                failures.append(f"--help line missing from the page: {wanted!r}")
    options_in_help = set(re.findall(r"--[a-z][a-z0-9-]*", "\n".join(helps)))
    for option in sorted(set(re.findall(r"--[a-z][a-z0-9-]*", page_text))):
        if option not in options_in_help:
            failures.append(f"the page names {option}, which no --help knows")
    shown = run([program, "--version"])
    if version not in shown.split():
        failures.append(f"--version says {shown.strip()!r}, not version {version}")
    return failures


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    failures = check(argv[1], argv[2], argv[3])
    for failure in failures:
        print(f"{os.path.basename(argv[1])}: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
