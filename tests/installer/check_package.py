#!/usr/bin/env python3
"""Builds the release with scripts/package from a built executable and checks what players
get: the setup beside the zip, the zip's three files, texts in Windows-1252 with CR LF line
ends, an example config.pref that sets both keys in the right group, a guide that starts with
the setup, keeps the zip as the second way and quotes every message of the tool exactly, and
SHA256SUMS. Then signs a second release with a throwaway certificate and checks that the
signatures hold, that a changed byte breaks them, and that the key is nowhere but where it
was; the signed executable and setup are left in WORK_FOLDER/signed/ for the runs under Wine.

    check_package.py REPOSITORY PROGRAM.exe WORK_FOLDER
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

RELEASE = ("PakInstaller-1.2.0-Setup.exe", "PakInstaller-1.2.0.zip")
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


def package(repository, exe, dist, signing=None, arguments=()):
    """Runs scripts/package; its exit code and everything it printed."""
    environment = {name: value for name, value in os.environ.items() if not name.startswith("SIGN_")}
    environment.update(PACKAGE_EXE=exe, DIST_DIR=dist, **(signing or {}))
    shutil.rmtree(dist, ignore_errors=True)
    result = subprocess.run([os.path.join(repository, "scripts", "package"), *arguments], env=environment,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    print(result.stdout, end="")
    return result.returncode, result.stdout


def zip_files(dist):
    with zipfile.ZipFile(os.path.join(dist, RELEASE[1])) as package:
        return {name: package.read(name) for name in package.namelist()}


def check_sums(dist):
    result = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist, capture_output=True, text=True)
    check(result.returncode == 0 and result.stdout == "%s: OK\n%s: OK\n" % RELEASE,
          "sha256sum -c SHA256SUMS in " + os.path.basename(dist), (result.stdout + result.stderr).strip())


def verifies(program, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", program],
                          capture_output=True).returncode == 0


def check_signed_release(repository, exe, work):
    """A release signed with a throwaway code-signing certificate made here, kept outside the
    repository as a real key must be."""
    with open(exe, "rb") as f:
        built = f.read()
    with tempfile.TemporaryDirectory() as keys:
        password = "Kennwort-" + os.path.basename(keys)
        with open(os.path.join(keys, "password"), "w") as f:
            f.write(password + "\n")
        key, cert, pfx = (os.path.join(keys, name) for name in ("key.pem", "cert.pem", "key.p12"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Morvenholt Test Signer", "-keyout", key, "-out", cert,
                        "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                        "-passout", "file:" + os.path.join(keys, "password")], check=True)
        signing = {"SIGN_PFX": pfx, "SIGN_PASSWORD_FILE": os.path.join(keys, "password")}

        dist = os.path.join(work, "signed")
        status, output = package(repository, exe, dist, signing)
        check(status == 0 and "UNSIGNED" not in output, "signed package built", status)
        # The certificate (public) stays for the test of the installed uninstaller's signature.
        shutil.copy(cert, os.path.join(work, "signing-certificate.pem"))
        signed = os.path.join(dist, "PakInstaller.exe")
        with open(signed, "wb") as f:
            f.write(zip_files(dist).get("PakInstaller/PakInstaller.exe", b""))
        for program in (signed, os.path.join(dist, RELEASE[0])):
            name = os.path.basename(program)
            check(verifies(program, cert), "osslsigncode verify accepts " + name, program)
            with open(program, "rb") as f:
                changed = bytearray(f.read())
            changed[len(changed) // 3] ^= 0x01
            with open(os.path.join(keys, "changed.exe"), "wb") as f:
                f.write(changed)
            check(not verifies(os.path.join(keys, "changed.exe"), cert),
                  "osslsigncode verify refuses %s with one byte changed" % name, len(changed) // 3)
        # What a rebuild from the same commit lets anyone check: minus its signature the
        # released executable is the build.
        unsigned = os.path.join(keys, "unsigned.exe")
        subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", unsigned],
                       check=True, capture_output=True)
        with open(unsigned, "rb") as f:
            check(f.read() == built, "the signed executable minus its signature is the build", unsigned)
        check_sums(dist)
        leaked = [name for name in os.listdir(dist) if name.endswith((".p12", ".pem", "password"))]
        check(password not in output and not leaked, "the key and its password stay where they are",
              leaked)

        # A key beside the sources is one `git add` away from being published.
        inside = os.path.join(work, "key.p12")
        if os.path.realpath(inside).startswith(os.path.realpath(repository) + os.sep):
            shutil.copy(pfx, inside)
            status, output = package(repository, exe, os.path.join(work, "refused"),
                                     dict(signing, SIGN_PFX=inside))
            os.remove(inside)
            check(status != 0 and not os.path.exists(os.path.join(work, "refused")),
                  "a key inside the repository is refused, nothing packed", status)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    repository, exe, work = argv[1:]
    # Players are told to refuse an unsigned download: without a key nothing is built by accident.
    status, output = package(repository, exe, os.path.join(work, "refused"))
    check(status != 0 and "--unsigned" in output and not os.path.exists(os.path.join(work, "refused")),
          "no key, no --unsigned: refused, nothing packed", status)
    status, output = package(repository, exe, os.path.join(work, "unsigned"), arguments=["--unsigned"])
    lines = output.strip().splitlines()
    check(status == 0 and output.count("UNSIGNED") == 1 and lines[-1].startswith("package: UNSIGNED"),
          "unsigned package, said once in its last line", lines[-1:])
    setup = os.path.join(work, "unsigned", RELEASE[0])
    head = b""
    if os.path.exists(setup):
        with open(setup, "rb") as f:
            head = f.read(2)
    check(head == b"MZ", "the setup beside the zip", setup)
    files = zip_files(os.path.join(work, "unsigned"))
    names = sorted(files)
    check(names == ["PakInstaller/LIESMICH.txt", "PakInstaller/PakInstaller.exe",
                    "PakInstaller/config.pref"], "zip entries", names)
    with open(exe, "rb") as f:
        check(files.get("PakInstaller/PakInstaller.exe") == f.read(), "the executable as built",
              "%d bytes" % len(files.get("PakInstaller/PakInstaller.exe", b"")))
    check_sums(os.path.join(work, "unsigned"))

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
    check(len(quoted) == 17 and not missing, "the guide quotes all %d texts" % len(quoted), missing)
    setup_at, zip_at = flat.find(b"1. Einrichten mit dem Installations-Assistenten"), flat.find(b"(ZIP-Datei)")
    check(0 < setup_at < zip_at, "the guide starts with the setup, the zip second", (setup_at, zip_at))
    for topic in ("Neu in 1.2.0", "PakInstaller-1.2.0-Setup.exe /S /GAME=", "\xd6ffnen mit", "Netzlaufwerk", "Backslash",
                  "Administratorrechte", "Zeichensatz", "Digitale Signaturen", "certutil -hashfile",
                  "SHA256SUMS"):
        check(topic.encode("cp1252") in flat, "the guide covers " + topic, topic in guide.decode("cp1252"))

    check_signed_release(repository, exe, work)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
