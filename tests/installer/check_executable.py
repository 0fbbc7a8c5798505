#!/usr/bin/env python3
"""Checks the built PakInstaller.exe from the file itself, with the tool a reviewer would use
(wrestool from icoutils): it carries its manifest, its icon group and its German version
resource, all of one VERSION, and stays small. Its PE headers and imports are checked by
tests/hardening/check_pe.py. With --setup: the setup's version resource, which names the same
version and publisher.

    check_executable.py PROGRAM.exe MANIFEST VERSION [--size-only]
    check_executable.py SETUP.exe - VERSION --setup
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
# What Explorer's details tab and the elevation prompt show, in German (0x0407, Windows-1252).
VERSION_STRINGS = {
    "CompanyName": "Morvenholt-Community",
    "FileDescription": "Morvenholt-AddOn-Installer",
    "InternalName": "PakInstaller",
    "LegalCopyright": "\u00a9 2026 Morvenholt-Community",
    "OriginalFilename": "PakInstaller.exe",
    "ProductName": "Morvenholt PakInstaller",
}
SETUP_STRINGS = {
    "CompanyName": VERSION_STRINGS["CompanyName"],
    "FileDescription": "Setup von " + VERSION_STRINGS["ProductName"],
    "LegalCopyright": VERSION_STRINGS["LegalCopyright"],
    "ProductName": VERSION_STRINGS["ProductName"],
}

failures = []


def check(condition, what, actual):
    print(("ok   " if condition else "FAIL ") + what + ": " + str(actual))
    if not condition:
        failures.append(what)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout


def resource(exe, kind, name):
    return run("wrestool", "--raw", "-x", "-t", str(kind), "-n", str(name), exe)


def version_node(data, at=0):
    """One node of a VS_VERSIONINFO tree as (key, value bytes, children), and its length."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, at)
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value = data[value_at:value_at + value_length * (2 if is_text else 1)]
    children = []
    child_at = (value_at + len(value) + 3) & ~3
    while child_at < at + length:
        child, child_length = version_node(data, child_at)
        children.append(child)
        child_at = (child_at + child_length + 3) & ~3
    return (key, value, children), length


def check_version(exe, version, strings, setup=False):
    """The version resource: fixed numbers, one German string table, its translation entry."""
    (key, fixed, blocks), _ = version_node(resource(exe, 16, 1))
    numbers = tuple(int(n) for n in version.split("."))
    versions = ((numbers[0] << 16 | numbers[1]), (numbers[2] << 16 | numbers[3])) * 2
    fields = struct.unpack("<13I", fixed)
    if setup:  # makensis writes the numbers and leaves the rest to itself
        check((key, fields[0], fields[2:6]) == ("VS_VERSION_INFO", 0xFEEF04BD, versions),
              "fixed version numbers %s" % version, [hex(n) for n in fields])
    else:
        check((key, fields) == ("VS_VERSION_INFO", (0xFEEF04BD, 0x10000) + versions
                                + (0x3F, 0, 0x40004, 1, 0, 0, 0)),
              "fixed version info (numbers %s, Windows GUI application)" % version,
              (key, [hex(n) for n in fields]))
    by_key = {block[0]: block[2] for block in blocks}
    # Windows matches the table's name without regard to case.
    tables = {table[0].upper(): {name: value.decode("utf-16-le").rstrip("\0")
                                 for name, value, _ in table[2]}
              for table in by_key.get("StringFileInfo", [])}
    expected = dict(strings, FileVersion=version, ProductVersion=version)
    check(sorted(by_key) == ["StringFileInfo", "VarFileInfo"] and tables == {"040704E4": expected},
          "version strings (German, Windows-1252)", tables)
    translations = [(name, value) for name, value, _ in by_key.get("VarFileInfo", [])]
    check(translations == [("Translation", struct.pack("<HH", 0x0407, 1252))],
          "version translation 0x0407, 1252", translations)


def check_resources(exe, manifest_source, version):
    listing = run("wrestool", "-l", exe).decode().splitlines()
    kinds = sorted(tuple(line.split()[:3]) if "--type=16" in line else tuple(line.split()[:2])
                   for line in listing)
    expected = sorted([("--type=3", "--name=%d" % i) for i in range(1, 9)]
                      + [("--type=14", "--name=1"), ("--type=24", "--name=1"),
                         ("--type=16", "--name=1", "--language=1031")])
    check(kinds == expected, "resources (8 icons, group 1, manifest 1, German version 1)", kinds)
    check_version(exe, version, VERSION_STRINGS)

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
          == (version, "X86", "win32") and bool(identity.get("name")), "assembly identity", identity)
    controls = root.find("%sdependency/%sdependentAssembly/%sassemblyIdentity" % ((ASM_V1,) * 3)).attrib
    check(controls == {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                       "version": "6.0.0.0", "processorArchitecture": "X86",
                       "publicKeyToken": "6595b64144ccf1df", "language": "*"},
          "common controls dependency", controls)
    level = root.find("%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                      % ((ASM_V3,) * 4)).attrib
    check(level == {"level": "requireAdministrator", "uiAccess": "false"},
          "requested execution level", level)
    # Windows reads each entry only under its own namespace; a misspelt one is silently ignored
    # and the prompt comes out stretched and blurred.
    settings = root.find("%sapplication/%swindowsSettings" % (ASM_V3, ASM_V3))
    awareness = None if settings is None else (
        settings.findtext("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware"),
        settings.findtext("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness"))
    check(awareness == ("true/pm", "PerMonitorV2, PerMonitor"),
          "aware of each monitor's scale (Windows 10 and 11; 7 to 8.1)", awareness)


def check_size(exe):
    size = os.path.getsize(exe)
    check(size < SIZE_LIMIT, "size below %d bytes" % SIZE_LIMIT, "%d bytes" % size)


def main(argv):
    if len(argv) not in (4, 5):
        sys.stderr.write(__doc__)
        return 2
    exe, manifest_source, version = argv[1:4]
    if argv[4:] == ["--size-only"]:
        check_size(exe)
    elif argv[4:] == ["--setup"]:
        check_version(exe, version, dict(SETUP_STRINGS, OriginalFilename=os.path.basename(exe)),
                      setup=True)
    else:
        check_resources(exe, manifest_source, version)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
