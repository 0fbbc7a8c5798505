#!/usr/bin/env python3
"""Builds the release package with scripts/package from a built executable and checks what
players get: the setup beside the zip, the zip's three files, texts in Windows-1252 with CR LF
line ends, an example config.pref that sets both keys in the right group, and a guide that
starts with the setup, keeps the zip as the second way and quotes every message of the tool
exactly.

    check_package.py REPOSITORY PROGRAM.exe WORK_FOLDER
"""
import os
import re
import subprocess
import sys
import zipfile

failures = []


def check(condition, what, actual):
    print(("ok   " if condition else "FAIL ") + what + ": " + str(actual))
    if not condition:
        failures.append(what)


def program_texts(messages_header):
    """The constants of installer/messages.h as bytes, adjacent literals joined."""
    with open(messages_header, encoding="ascii") as f:
        source = f.read()
    texts = {}
    for name, literals in re.findall(r"(k\w+) =\s*((?:\"(?:[^\"\\]|\\.)*\"\s*)+);", source):
        raw = "".join(re.findall(r"\"((?:[^\"\\]|\\.)*)\"", literals))
        texts[name] = re.sub(r"\\x([0-9a-fA-F]{2})", lambda m: chr(int(m.group(1), 16)),
                             raw).replace("\\'", "'").encode("latin-1")
    return texts


def check_text_file(name, data):
    try:
        data.decode("cp1252")
        decodes = True
    except UnicodeDecodeError as error:
        decodes = str(error)
    check(decodes is True, name + " is Windows-1252", decodes)
    bare_lf = len(re.findall(rb"(?<!\r)\n", data))
    bare_cr = len(re.findall(rb"\r(?!\n)", data))
    check(bare_lf == 0 and bare_cr == 0 and data.endswith(b"\r\n"),
          name + " has CR LF line ends only", "bare LF %d, bare CR %d" % (bare_lf, bare_cr))


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    repository, exe, work = argv[1:]
    environment = dict(os.environ, PACKAGE_EXE=exe, DIST_DIR=work)
    subprocess.run([os.path.join(repository, "scripts", "package")], check=True, env=environment)
    setup = os.path.join(work, "PakInstaller-1.0.0-Setup.exe")
    head = b""
    if os.path.exists(setup):
        with open(setup, "rb") as f:
            head = f.read(2)
    check(head == b"MZ", "the setup beside the zip", setup)
    with zipfile.ZipFile(os.path.join(work, "PakInstaller-1.0.0.zip")) as package:
        names = sorted(package.namelist())
        files = {name: package.read(name) for name in names}
    check(names == ["PakInstaller/LIESMICH.txt", "PakInstaller/PakInstaller.exe",
                    "PakInstaller/config.pref"], "zip entries", names)
    with open(exe, "rb") as f:
        check(files.get("PakInstaller/PakInstaller.exe") == f.read(), "the executable as built",
              "%d bytes" % len(files.get("PakInstaller/PakInstaller.exe", b"")))

    config = files.get("PakInstaller/config.pref", b"")
    check_text_file("config.pref", config)
    lines = [line.strip() for line in config.decode("cp1252").split("\r\n")]
    settings = [line for line in lines if line and not line.startswith(";")]
    check(settings[:1] == ["[Tavelmark]"] and len(settings) == 3, "config.pref group and entries",
          settings)
    keys = dict(line.split("=", 1) for line in settings[1:] if "=" in line)
    check(sorted(keys) == ["default_pakset", "morvenholt_directory"], "config.pref keys", keys)
    check(keys.get("morvenholt_directory", "").endswith("\\") and keys.get("default_pakset") == "pak",
          "config.pref values", keys)

    guide = files.get("PakInstaller/LIESMICH.txt", b"")
    check_text_file("LIESMICH.txt", guide)
    flat = re.sub(rb"\s+", b" ", guide)  # the guide may wrap a long message
    texts = program_texts(os.path.join(repository, "installer", "messages.h"))
    quoted = [texts[name] for name in texts if name.endswith(("Title", "Text"))]
    quoted += [texts["kInstalledBefore"] + b"..." + texts["kInstalledAfter"],
               texts["kNotInstalledBefore"] + b"..." + texts["kNotInstalledAfter"]]
    missing = [text.decode("cp1252") for text in quoted if text not in flat]
    check(len(quoted) == 16 and not missing, "the guide quotes all %d texts" % len(quoted), missing)
    setup_at, zip_at = flat.find(b"1. Einrichten mit dem Installations-Assistenten"), flat.find(b"(ZIP-Datei)")
    check(0 < setup_at < zip_at, "the guide starts with the setup, the zip second", (setup_at, zip_at))
    for topic in ("PakInstaller-1.0.0-Setup.exe /S /GAME=", "\xd6ffnen mit", "Netzlaufwerk", "Backslash", "Administratorrechte", "Zeichensatz"):
        check(topic.encode("cp1252") in flat, "the guide covers " + topic, topic in guide.decode("cp1252"))
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
