#!/usr/bin/python3
"""Writes the manual page of marktvoll-cli from the tool's own help texts:
the command list of "marktvoll-cli --help" and each "marktvoll-cli CMD --help",
so the page and the tool cannot drift apart.

    gen-manpage.py MARKTVOLL_CLI VERSION OUTPUT
"""
import os
import re
import subprocess
import sys
import tempfile

COMMAND_LINE = re.compile(r"^  marktvoll-cli (\S+)")


def run_cli(cli, args):
    # A private program folder: generating the page must not create or
    # change anyone's real one.
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, MARKTVOLL_HOME=home, MARKTVOLL_REGISTRY=os.path.join(home, "registry.reg"),
                   LC_ALL="C.UTF-8")
        p = subprocess.run([cli] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, timeout=60)
    if p.returncode != 0:
        sys.exit("%s %s: exit status %d\n%s" % (cli, " ".join(args), p.returncode, p.stderr.decode("utf-8", "replace")))
    return p.stdout.decode("utf-8")


def commands(cli):
    names = []
    for line in run_cli(cli, ["--help"]).splitlines():
        m = COMMAND_LINE.match(line)
        if m and m.group(1) not in names:
            names.append(m.group(1))
    return names


def roff(text):
    """Escapes one line of text for roff: backslashes, minus signs, non-ASCII
    characters as Unicode escapes, a leading control character."""
    out = []
    for ch in text:
        if ch == "\\":
            out.append("\\e")
        elif ch == "-":
            out.append("\\-")
        elif ord(ch) > 126 or (ord(ch) < 32 and ch != "\t"):
            out.append("\\[u%04X]" % ord(ch))
        else:
            out.append(ch)
    line = "".join(out)
    if line.startswith((".", "'")):
        line = "\\&" + line
    return line


def page(cli, version):
    lines = [
        '.TH MARKTVOLL\\-CLI 1 "" "marktvoll\\-cli %s" "Marktvoll DatenManager"' % roff(version),
        ".SH NAME",
        "marktvoll\\-cli \\- Marktvoll DatenManager ohne Fenster: Abgleich, Einrichtung, Einstellungen",
        ".SH SYNOPSIS",
        ".B marktvoll\\-cli",
        ".I BEFEHL",
        ".RI [ ARGUMENTE ]",
        ".br",
        ".B marktvoll\\-cli",
        ".I BEFEHL",
        ".B \\-\\-help",
        ".br",
        ".B marktvoll\\-cli \\-\\-version",
        ".SH BESCHREIBUNG",
        roff("marktvoll-cli arbeitet auf demselben Programmordner wie das Programm marktvoll "
             "und bietet dessen Abläufe für Skripte und unbeaufsichtigte Läufe, etwa den "
             "nächtlichen Abgleich (systemd-Zeitplan marktvoll-abgleich.timer)."),
        ".SH BEFEHLE",
        roff("Jeder Abschnitt ist die Hilfe des Befehls, wie marktvoll-cli BEFEHL --help sie zeigt."),
    ]
    for name in commands(cli):
        lines.append(".SS %s" % roff(name))
        lines.append(".nf")
        for text in run_cli(cli, [name, "--help"]).rstrip("\n").splitlines():
            if text.startswith("Aufruf: "):
                text = text[len("Aufruf: "):]
            lines.append(roff(text) if text.strip() else "")
        lines.append(".fi")
    lines += [
        ".SH PROGRAMMORDNER",
        roff("MARKTVOLL_HOME, wenn gesetzt; sonst der Ordner der Programmdatei, wenn er beschreibbar ist "
             "und keine Installation ist; sonst $XDG_DATA_HOME/marktvoll (meist ~/.local/share/marktvoll), "
             "beim ersten Start aus den Vorlagen in /usr/share/marktvoll angelegt. Neuere Vorlagen kommen "
             "bei späteren Starts hinzu; von Ihnen geänderte Dateien und config.php bleiben unverändert."),
        ".SH EXIT-STATUS",
        ".TP",
        "0",
        roff("Erfolg."),
        ".TP",
        "1",
        roff("Ein Schritt ist fehlgeschlagen, Anweisungen wurden abgelehnt oder der Lauf wurde abgebrochen."),
        ".TP",
        "2",
        roff("Shop nicht erreichbar, Schema abgelehnt, Verbindung verloren, falscher Aufruf oder falsche "
             "Warenwirtschaft; ebenso, wenn der Programmordner nicht angelegt oder beschrieben werden kann."),
        ".TP",
        "3",
        roff("transfer: Ein anderer Abgleich auf demselben Programmordner lief noch (Zeitplan, Fenster "
             "oder ein anderer Aufruf); dieser Lauf hat nichts getan."),
        ".SH UMGEBUNG",
        ".TP",
        ".B MARKTVOLL_HOME",
        roff("Programmordner statt des gewählten."),
        ".TP",
        ".B MARKTVOLL_REGISTRY",
        roff("Datei der Registry-Werte (sonst ~/.config/marktvoll/registry.reg)."),
        ".TP",
        ".B MARKTVOLL_RUNLOCK_WAIT",
        roff("Sekunden, die ein Abgleich auf einen laufenden wartet (sonst 10)."),
        ".SH DATEIEN",
        ".TP",
        ".I ShopMod.ini",
        roff("Einstellungen im Programmordner."),
        ".TP",
        ".I protokolle/",
        roff("Berichte der letzten 50 Abgleiche im Programmordner."),
        ".TP",
        ".I abgleich.lock",
        roff("Sperre des laufenden Abgleichs im Programmordner."),
        ".SH \"SIEHE AUCH\"",
        ".BR marktvoll (1),",
        ".BR systemctl (1)",
    ]
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    cli, version, output = sys.argv[1:]
    text = page(cli, version)
    tmp = output + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, output)


if __name__ == "__main__":
    main()
