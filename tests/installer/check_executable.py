#!/usr/bin/env python3
"""Checks the built PakInstaller.exe from the file itself, with the tool a reviewer would use
(wrestool from icoutils): it carries its manifest and its icon group, and stays small. Its PE
headers and imports are checked by tests/hardening/check_pe.py.

    check_executable.py PROGRAM.exe MANIFEST_SOURCE [--size-only]
"""
import os
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

SIZE_LIMIT = 256 * 1024
ICON_SIZES = (128, 96, 72, 64, 48, 32, 24, 16)  # ids 1 to 8, in this order
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"

failures = []


def check(condition, what, actual):
    print(("ok   " if condition else "FAIL ") + what + ": " + str(actual))
    if not condition:
        failures.append(what)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout


def resource(exe, kind, name):
    return run("wrestool", "--raw", "-x", "-t", str(kind), "-n", str(name), exe)


def check_resources(exe, manifest_source):
    listing = run("wrestool", "-l", exe).decode().splitlines()
    kinds = sorted((line.split()[0], line.split()[1]) for line in listing)
    expected = sorted([("--type=3", "--name=%d" % i) for i in range(1, 9)]
                      + [("--type=14", "--name=1"), ("--type=24", "--name=1")])
    check(kinds == expected, "resources (8 icons, group 1, manifest 1)", kinds)

    # The group: GRPICONDIR, then one 14-byte entry per image naming its size, depth and id.
    group = resource(exe, 14, 1)
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    entries = []
    for i in range(count):
        width, height, _, _, planes, bits, _, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        entries.append((width or 256, height or 256, bits, image_id))
    check((reserved, kind) == (0, 1), "icon group header", (reserved, kind))
    check(entries == [(s, s, 32, i + 1) for i, s in enumerate(ICON_SIZES)],
          "icon group entries (size, size, bits, id)", entries)
    for image_id, size in enumerate(ICON_SIZES, start=1):
        header = struct.unpack_from("<IiiHH", resource(exe, 3, image_id), 0)
        check(header == (40, size, 2 * size, 1, 32), "icon %d image header" % image_id, header)

    manifest = resource(exe, 24, 1)
    with open(manifest_source, "rb") as f:
        check(manifest == f.read(), "manifest equals " + os.path.basename(manifest_source),
              "%d bytes" % len(manifest))
    root = ElementTree.fromstring(manifest)
    identity = root.find(ASM_V1 + "assemblyIdentity").attrib
    check((identity.get("version"), identity.get("processorArchitecture"), identity.get("type"))
          == ("1.0.0.0", "X86", "win32") and bool(identity.get("name")), "assembly identity", identity)
    controls = root.find("%sdependency/%sdependentAssembly/%sassemblyIdentity" % ((ASM_V1,) * 3)).attrib
    check(controls == {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                       "version": "6.0.0.0", "processorArchitecture": "X86",
                       "publicKeyToken": "6595b64144ccf1df", "language": "*"},
          "common controls dependency", controls)
    level = root.find("%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                      % ((ASM_V3,) * 4)).attrib
    check(level == {"level": "requireAdministrator", "uiAccess": "false"},
          "requested execution level", level)


def check_size(exe):
    size = os.path.getsize(exe)
    check(size < SIZE_LIMIT, "size below %d bytes" % SIZE_LIMIT, "%d bytes" % size)


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write(__doc__)
        return 2
    exe, manifest_source = argv[1:3]
    if argv[3:] == ["--size-only"]:
        check_size(exe)
    else:
        check_resources(exe, manifest_source)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
