#!/usr/bin/env python3
"""Writes a settings file of about SIZE bytes to stdout: many groups of ordinary entries, and
the group the tool reads at the very end, so a lookup has to pass everything before it.

    make_settings.py SIZE GAME_DIRECTORY
"""
import sys

size = int(sys.argv[1])
game = sys.argv[2]
tail = f"[Tavelmark]\r\ndefault_pakset = pak64\r\nmorvenholt_directory = {game}\r\n"
out = sys.stdout.buffer
written = 0
group = 0
budget = max(size - len(tail), 0)
while written < budget:
    lines = [f"; group {group} of padding\r\n", f"[Group{group}]\r\n"]
    lines += [f"key{k} = value {group}.{k} with some text\r\n" for k in range(20)]
    block = "".join(lines).encode("ascii")[: budget - written]
    out.write(block)
    written += len(block)
    group += 1
if written and not block.endswith(b"\n"):
    out.write(b"\r\n")
out.write(tail.encode("ascii"))
