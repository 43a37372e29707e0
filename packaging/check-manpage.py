#!/usr/bin/python3
"""Checks the built manual page against the tool itself: every command that
"marktvoll-cli --help" lists has its section, with its usage line and every
line of its help text, and the page names no command the tool lacks.

    check-manpage.py MARKTVOLL_CLI MANPAGE
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def run(cli, args):
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, MARKTVOLL_HOME=home, MARKTVOLL_REGISTRY=os.path.join(home, "r.reg"), LC_ALL="C.UTF-8")
        p = subprocess.run([cli] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, timeout=60)
    return p.returncode, p.stdout.decode("utf-8")


def unroff(line):
    line = re.sub(r"\\\[u([0-9A-F]{4,6})\]", lambda m: chr(int(m.group(1), 16)), line)
    line = line.replace("\\-", "-").replace("\\e", "\\")
    if line.startswith("\\&"):
        line = line[2:]
    return line


def main():
    cli, manpage = sys.argv[1:3]
    failures = []
    rc, listing = run(cli, ["--help"])
    if rc != 0:
        sys.exit("marktvoll-cli --help: exit status %d" % rc)
    tool = [m.group(1) for m in re.finditer(r"^  marktvoll-cli (\S+)", listing, re.M)]
    if not tool:
        sys.exit("marktvoll-cli --help lists no command")

    with open(manpage, encoding="utf-8") as f:
        raw = f.read().splitlines()
    sections = {}
    current = None
    for line in raw:
        if line.startswith(".SS "):
            current = unroff(line[4:].strip())
            sections[current] = []
        elif line.startswith(".SH "):
            current = None
        elif current is not None and not line.startswith("."):
            sections[current].append(unroff(line))

    for name in tool:
        if name not in sections:
            failures.append("command %s has no section" % name)
            continue
        rc, help_text = run(cli, [name, "--help"])
        if rc != 0:
            failures.append("%s --help: exit status %d" % (name, rc))
            continue
        body = sections[name]
        for text in help_text.rstrip("\n").splitlines():
            text = text[len("Aufruf: "):] if text.startswith("Aufruf: ") else text
            if text.strip() and text not in body:
                failures.append("%s: line missing from the page: %r" % (name, text))
    for name in sections:
        if name not in tool:
            failures.append("the page describes %s, which the tool does not have" % name)

    # What lintian runs on a page: no warnings from the formatter.
    if shutil.which("man"):
        p = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", manpage],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           env=dict(os.environ, MANROFFSEQ="", MANWIDTH="80"))
        if p.stderr.strip():
            failures.append("man reports: " + p.stderr.decode("utf-8", "replace"))

    for f in failures:
        print("FAIL: " + f)
    print("%d commands checked, %d failures" % (len(tool), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
